#pragma once
// Printing of the open page: pagination, print, print preview and page
// setup. The main window keeps one PagePrinter for as long as it lives; it
// holds the printer with its settings and the four paper margins, none of
// which are stored between runs.
//
// Pages are cut from a copy of the editor's document laid out for the
// printer (the editor itself, its link marks and its layout are never
// touched). A page holds whole display lines; there is no header or footer.
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>

#include "store/Status.h"
#include "ui/PrintPreviewPane.h"

class QPainter;
class QPaintDevice;
class QPrinter;
class QTextDocument;
class QWidget;

namespace tavix {

class PageEditor;

// Paper margins in thousandths of an inch, from the physical paper edges.
struct PrintMargins {
    int left = 1000;
    int top = 1000;
    int right = 1000;
    int bottom = 1000;
    bool operator==(const PrintMargins&) const = default;
};

// A copy of a document laid out for one paint device, which can measure
// and draw the text from a character position onward into a rectangle, the
// way a page is filled.
class PrintLayout {
public:
    // Lays out a copy of `source` with lines `textWidth` device pixels wide,
    // measured on `device` (fonts, paragraph spacing and indents follow its
    // resolution). The copy has no document margin; link words are marked
    // as the source's paragraphs mark them on screen.
    PrintLayout(const QTextDocument& source, QPaintDevice& device, qreal textWidth);
    ~PrintLayout();
    PrintLayout(const PrintLayout&) = delete;
    PrintLayout& operator=(const PrintLayout&) = delete;

    // Characters, paragraph separators counted once, the last one not.
    int textLength() const;

    // Fits whole display lines from the line holding `start` into the
    // height of `rect` (device pixels) and returns the position after the
    // last line that fits, at most textLength(). The first line is always
    // taken, even when it is taller than the rectangle, so that repeated
    // calls always move forward while text remains. With a painter, the
    // lines that fit are drawn into `rect` in black (colours of the text
    // itself are kept); without one, nothing is drawn.
    int formatRange(int start, const QRectF& rect, QPainter* painter) const;

    // The display line holding `position`, in device pixels from the top
    // left of the laid-out text (empty for a position with no line).
    QRectF lineRect(int position) const;

private:
    std::unique_ptr<QTextDocument> doc_;
};

class PagePrinter : public QObject {
    Q_OBJECT
public:
    // `window` parents the dialogs and message boxes and becomes this
    // object's Qt parent (so the window deletes it unless its owner does
    // first); it may be null. `editor` must outlive every call.
    PagePrinter(PageEditor& editor, QWidget* window);
    ~PagePrinter() override;

    // Where the open page's title comes from, as the page holds it (XML
    // escaped). Without a source the title is empty.
    void setTitleSource(std::function<std::u16string()> source) { titleSource_ = std::move(source); }

    // Print: paginates, asks for printer and page range, prints the chosen
    // pages. Shows "Print operation failed" when there is no usable printer
    // or the job cannot be started, and what is wrong with the margins when
    // they leave no room on the paper. Cancel changes nothing.
    void print();
    // Print preview in place of the editor, in the editor's parent widget,
    // with a tool bar of its own (print, pages, zoom, close). Shows "Print
    // preview operation failed" when there is no usable printer, and the
    // margins' fault as print() does. While it shows, Print Preview draws
    // the pages again.
    void preview();
    bool previewShown() const { return !pane_.isNull(); }
    // Leaves the preview; the editor comes back as it was, with the focus.
    void closePreview();
    // The window's zoom keys while the preview shows: in (> 0), out (< 0),
    // or back to the page's width (0).
    void zoomPreview(int direction);
    // Print Setup: paper, orientation and the four margins. Cancel changes
    // nothing; margins that leave no room are refused with a message and
    // change nothing either.
    void pageSetup();

    // ---- pieces, for the commands above and for tests -------------------

    QPrinter& printer() { return *printer_; }
    const PrintMargins& margins() const { return margins_; }
    void setMargins(const PrintMargins& margins);

    // "Tavix Document - " + the title with its XML escapes resolved.
    QString jobName() const;
    static QString jobNameFor(const std::u16string& escapedTitle);

    // The text rectangle in twips (1/1440 inch) from the paper's corner, for
    // a physical page of the given device pixels and resolution; right and
    // bottom are the edges, not the last twip inside.
    struct TwipsRect {
        int left, top, right, bottom;
        bool operator==(const TwipsRect&) const = default;
    };
    static TwipsRect textRectTwips(int physicalWidth, int physicalHeight, int dpiX, int dpiY,
                               const PrintMargins& margins);
    // The same in device pixels of `printer`, in paper coordinates.
    QRectF textRectPixels(QPrinter& printer) const;

    // Whether the margins leave room for text on paper of that size (all
    // in thousandths of an inch): at least kMinimumRoom across and down.
    // The failure names the margins and the paper in centimetres, as "The
    // left and right margins (12.7 cm and 12.7 cm) leave no room on a
    // 21.6 cm wide page." A paper of no size is not the margins' fault and
    // passes.
    static constexpr int kMinimumRoom = 394;  // 1 cm
    static Status roomFor(const PrintMargins& margins, int paperWidth, int paperHeight);
    // The same for the current margins on the paper `printer` holds.
    Status roomOn(const QPrinter& printer) const;

    // Lays out the editor's text for `printer` and records where each page
    // starts (at least one page, starting at 0). False, with no pages, when
    // the printer gives no room for text (no paper size, or margins that
    // leave too little, see roomFor).
    bool paginate(QPrinter& printer);
    const std::vector<int>& pageStarts() const { return pageStarts_; }
    int pageCount() const { return int(pageStarts_.size()); }

    // Draws page `index` of the last pagination with a painter open on the
    // printer paginated for. False for a page that does not exist.
    bool printPage(int index, QPainter& painter, QPrinter& printer);

    // What the preview calls to draw, and to print from its own print
    // button: margins changed through the preview's page setup are taken
    // over (for the window's own printer), then the printer's page range
    // (all pages unless it holds a chosen range) is printed, and the range
    // is set back to all pages so a later preview shows the whole page.
    // False when nothing could be drawn.
    bool renderPreview(QPrinter* printer);

    // Paginates for `printer` and prints pages first..last (0-based,
    // inclusive, cut to the pages there are) as one job named jobName().
    // A job that cannot start or is aborted is a failure.
    Status printPages(QPrinter& printer, int first, int last);

private:
    void showFailure(const QString& text);
    // The preview's Print button: prints, and the preview stays.
    void printFromPreview();
    // The margins the window's printer holds, in thousandths of an inch.
    PrintMargins printerMargins() const;
    // Pages [first, last] chosen on `printer` (0-based), all pages when no
    // range was chosen; then back to all pages.
    std::pair<int, int> takeChosenRange(QPrinter& printer) const;

    PageEditor& editor_;
    QWidget* window_;
    std::unique_ptr<QPrinter> printer_;
    PrintMargins margins_;
    std::function<std::u16string()> titleSource_;
    std::vector<int> pageStarts_;
    std::unique_ptr<PrintLayout> layout_;
    QPointer<PrintPreviewPane> pane_;  // while the preview shows
};

}  // namespace tavix
