#include "ui/PagePrinter.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

#include <QAbstractTextDocumentLayout>
#include <QMarginsF>
#include <QMessageBox>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include "editor/PageEditor.h"
#include "formats/XmlSupport.h"
#include "platform/ParagraphParts.h"
#include "platform/RtfDocument.h"

namespace tavix {

namespace {

// value * numerator / denominator, rounded half away from zero, in 64 bits
// so that large resolutions cannot overflow.
int mulDiv(int value, int numerator, int denominator) {
    if (denominator == 0)
        return 0;
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = std::llabs(static_cast<long long>(denominator)) / 2;
    const bool negative = (product < 0) != (denominator < 0);
    const long long magnitude = (std::llabs(product) + half) / std::llabs(static_cast<long long>(denominator));
    const long long result = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp<long long>(result, INT_MIN, INT_MAX));
}

// Thousandths of an inch as centimetres with one decimal, "12.7".
QString centimetres(long long thousandths) {
    return QString::number(double(thousandths) * 2.54 / 1000.0, 'f', 1);
}

// The paper the printer holds, turned as it prints, in thousandths of an inch.
QSize paperOf(const QPrinter& printer) {
    const QRectF paper = printer.pageLayout().fullRect(QPageLayout::Inch);
    return QSize(int(std::lround(paper.width() * 1000)), int(std::lround(paper.height() * 1000)));
}

}  // namespace

// ---- PrintLayout ------------------------------------------------------------

PrintLayout::PrintLayout(const QTextDocument& source, QPaintDevice& device, qreal textWidth)
    : doc_(source.clone()) {
    // The copy must not outlive us through a Qt parent, nor share one.
    doc_->setParent(nullptr);
    doc_->setDefaultFont(source.defaultFont());
    doc_->setDefaultTextOption(source.defaultTextOption());
    doc_->setDocumentMargin(0);
    // Paragraph measures are held in screen pixels. Qt's layout takes
    // indents unscaled on any device (on a 1200-dpi printer a 2 cm indent
    // would shrink to a few points), so they are set again from their twips
    // for the device. The space between paragraphs Qt scales itself, from
    // its 96-dpi reference, so it is given in those units whatever the
    // screen's resolution. The link marks are the source blocks' layout
    // formats, which a clone does not carry.
    const double dpiX = device.logicalDpiX() > 0 ? device.logicalDpiX() : 96.0;
    constexpr double kReferenceDpi = 96.0;
    doc_->setUndoRedoEnabled(false);  // a big page would keep one step per paragraph
    QTextCursor cursor(doc_.get());
    // A paragraph shown in parts prints as the one paragraph it is.
    for (QTextBlock b = doc_->begin(); b.isValid(); b = b.next()) {
        if (b.next().isValid() && continuesParagraph(b.next().blockFormat())) {
            const int at = b.position();
            joinParts(cursor, at);
            b = doc_->findBlock(at);
        }
    }
    QTextBlock from = source.begin();
    for (QTextBlock to = doc_->begin(); to.isValid(); to = to.next()) {
        const ParagraphTwips twips = paragraphTwipsOf(to.blockFormat());
        QTextBlockFormat f = to.blockFormat();
        f.setTopMargin(twips.spaceBefore * kReferenceDpi / 1440.0);
        f.setBottomMargin(twips.spaceAfter * kReferenceDpi / 1440.0);
        f.setLeftMargin(twips.leftIndent * dpiX / 1440.0);
        f.setRightMargin(twips.rightIndent * dpiX / 1440.0);
        cursor.setPosition(to.position());
        cursor.setBlockFormat(f);
        if (from.isValid()) {
            // The marks of the source paragraph's parts, one after another.
            QList<QTextLayout::FormatRange> marks;
            int offset = 0;
            bool marked = true;
            do {
                marked = marked && from.layout();
                if (from.layout()) {
                    for (QTextLayout::FormatRange r : from.layout()->formats()) {
                        r.start += offset;
                        marks.append(r);
                    }
                }
                offset += from.length() - 1;
                from = from.next();
            } while (from.isValid() && continuesParagraph(from.blockFormat()));
            if (marked && to.layout() && offset == to.length() - 1)
                to.layout()->setFormats(marks);
        }
    }
    doc_->documentLayout()->setPaintDevice(&device);
    doc_->setTextWidth(textWidth);
    // Lay out everything now; positions of lines are read from here on.
    doc_->documentLayout()->documentSize();
}

PrintLayout::~PrintLayout() = default;

int PrintLayout::textLength() const {
    return std::max(0, doc_->characterCount() - 1);
}

int PrintLayout::formatRange(int start, const QRectF& rect, QPainter* painter) const {
    const int length = textLength();
    start = std::clamp(start, 0, length);
    QTextBlock block = doc_->findBlock(start);
    if (!block.isValid() || !block.layout() || block.layout()->lineCount() == 0)
        return start;

    QTextLine first = block.layout()->lineForTextPosition(start - block.position());
    if (!first.isValid())
        first = block.layout()->lineAt(block.layout()->lineCount() - 1);
    const qreal top = block.layout()->position().y() + first.y();
    qreal bottom = top;
    int next = start;
    bool any = false;
    bool full = false;
    for (int lineIndex = first.lineNumber(); block.isValid() && !full; block = block.next(), lineIndex = 0) {
        const QTextLayout* layout = block.layout();
        if (!layout || !block.isVisible())
            continue;
        for (int i = lineIndex; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            const qreal lineBottom = layout->position().y() + line.y() + line.height();
            if (any && lineBottom - top > rect.height()) {
                full = true;
                break;
            }
            any = true;
            bottom = lineBottom;
            next = (i == layout->lineCount() - 1) ? block.position() + block.length()
                                                  : block.position() + line.textStart() + line.textLength();
        }
    }
    next = std::min(next, length);

    if (painter) {
        // Only the lines that fit are shown: the clip ends where they end,
        // so the start of the next page's first line never peeks through.
        const qreal clipBottom = std::min(bottom, top + rect.height());
        const QRectF clip(-rect.left(), top, rect.width() + 2 * rect.left(), clipBottom - top);
        painter->save();
        painter->translate(rect.left(), rect.top() - top);
        painter->setClipRect(clip, Qt::IntersectClip);
        QAbstractTextDocumentLayout::PaintContext context;
        context.clip = clip;
        // Paper is white whatever the desktop's colours are.
        context.palette.setColor(QPalette::Text, Qt::black);
        doc_->documentLayout()->draw(painter, context);
        painter->restore();
    }
    return next;
}

QRectF PrintLayout::lineRect(int position) const {
    const QTextBlock block = doc_->findBlock(std::clamp(position, 0, textLength()));
    const QTextLayout* layout = block.isValid() ? block.layout() : nullptr;
    if (!layout)
        return {};
    const QTextLine line = layout->lineForTextPosition(position - block.position());
    if (!line.isValid())
        return {};
    return line.naturalTextRect().translated(layout->position());
}

// ---- PagePrinter ------------------------------------------------------------

PagePrinter::PagePrinter(PageEditor& editor, QWidget* window)
    : QObject(window), editor_(editor), window_(window),
      printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    // Drawing starts at the paper's corner; our own margins place the text.
    printer_->setFullPage(true);
    setMargins(margins_);
}

PagePrinter::~PagePrinter() = default;

void PagePrinter::setMargins(const PrintMargins& margins) {
    margins_ = margins;
    // Kept on the printer too, so that the page-setup dialog shows them.
    printer_->setPageMargins(QMarginsF(margins.left / 1000.0, margins.top / 1000.0, margins.right / 1000.0,
                                       margins.bottom / 1000.0),
                             QPageLayout::Inch);
}

QString PagePrinter::jobNameFor(const std::u16string& escapedTitle) {
    return QStringLiteral("Tavix Document - ") + QString::fromStdU16String(unescapeCharData(escapedTitle));
}

QString PagePrinter::jobName() const {
    return jobNameFor(titleSource_ ? titleSource_() : std::u16string());
}

PagePrinter::TwipsRect PagePrinter::textRectTwips(int physicalWidth, int physicalHeight, int dpiX, int dpiY,
                                 const PrintMargins& m) {
    const int width = mulDiv(physicalWidth, 1440, dpiX);
    const int height = mulDiv(physicalHeight, 1440, dpiY);
    return TwipsRect{mulDiv(m.left, 1440, 1000), mulDiv(m.top, 1440, 1000),
                     width - mulDiv(m.right, 1440, 1000), height - mulDiv(m.bottom, 1440, 1000)};
}

QRectF PagePrinter::textRectPixels(QPrinter& printer) const {
    const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
    const int dpiX = printer.logicalDpiX();
    const int dpiY = printer.logicalDpiY();
    const qreal left = mulDiv(margins_.left, dpiX, 1000);
    const qreal top = mulDiv(margins_.top, dpiY, 1000);
    const qreal right = paper.width() - mulDiv(margins_.right, dpiX, 1000);
    const qreal bottom = paper.height() - mulDiv(margins_.bottom, dpiY, 1000);
    return QRectF(QPointF(left, top), QPointF(right, bottom));
}

Status PagePrinter::roomFor(const PrintMargins& m, int paperWidth, int paperHeight) {
    // Sums in 64 bits: margins come from a dialog and may be anything.
    const long long across = static_cast<long long>(m.left) + m.right;
    const long long down = static_cast<long long>(m.top) + m.bottom;
    if (paperWidth > 0 && paperWidth - across < kMinimumRoom)
        return Status::failure(QObject::tr("The left and right margins (%1 cm and %2 cm) leave no "
                                           "room on a %3 cm wide page.")
                                   .arg(centimetres(m.left), centimetres(m.right),
                                        centimetres(paperWidth))
                                   .toStdString());
    if (paperHeight > 0 && paperHeight - down < kMinimumRoom)
        return Status::failure(QObject::tr("The top and bottom margins (%1 cm and %2 cm) leave no "
                                           "room on a %3 cm high page.")
                                   .arg(centimetres(m.top), centimetres(m.bottom),
                                        centimetres(paperHeight))
                                   .toStdString());
    return Status::success();
}

Status PagePrinter::roomOn(const QPrinter& printer) const {
    const QSize paper = paperOf(printer);
    return roomFor(margins_, paper.width(), paper.height());
}

bool PagePrinter::paginate(QPrinter& printer) {
    pageStarts_.clear();
    layout_.reset();
    const QRectF rect = textRectPixels(printer);
    // Margins that leave (almost) no room would lay text out a letter or
    // two per line, over thousands of pages.
    if (printer.logicalDpiX() <= 0 || printer.logicalDpiY() <= 0 || rect.width() < 1 ||
        rect.height() < 1 || !roomOn(printer))
        return false;
    layout_ = std::make_unique<PrintLayout>(*editor_.document(), printer, rect.width());
    const int length = layout_->textLength();
    int start = 0;
    do {
        pageStarts_.push_back(start);
        const int next = layout_->formatRange(start, rect, nullptr);
        // The layout always takes at least one line, so this only stops at
        // the end; it also guards against a layout that would not move on.
        if (next <= start)
            break;
        start = next;
    } while (start < length);
    return true;
}

bool PagePrinter::printPage(int index, QPainter& painter, QPrinter& printer) {
    if (!layout_ || index < 0 || index >= pageCount())
        return false;
    // Paper coordinates, whatever part of the paper the device calls its page.
    const QPointF offset = printer.pageRect(QPrinter::DevicePixel).topLeft() -
                           printer.paperRect(QPrinter::DevicePixel).topLeft();
    painter.save();
    painter.translate(-offset);
    layout_->formatRange(pageStarts_[std::size_t(index)], textRectPixels(printer), &painter);
    painter.restore();
    return true;
}

Status PagePrinter::printPages(QPrinter& printer, int first, int last) {
    if (const Status room = roomOn(printer); !room)
        return room;
    if (!paginate(printer))
        return Status::failure("The printer's paper leaves no room for text.");
    first = std::max(first, 0);
    last = std::min(last, pageCount() - 1);
    if (first > last)
        return Status::failure("No pages in the chosen range.");
    printer.setDocName(jobName());
    QPainter painter;
    if (!painter.begin(&printer))
        return Status::failure("The print job could not be started.");
    for (int i = first; i <= last; ++i) {
        if (i > first && !printer.newPage()) {
            painter.end();
            return Status::failure("The printer did not take another page.");
        }
        painter.save();
        const bool ok = printPage(i, painter, printer);
        painter.restore();
        if (!ok) {
            printer.abort();
            painter.end();
            return Status::failure("The print job was aborted.");
        }
    }
    if (!painter.end())
        return Status::failure("The print job could not be finished.");
    return Status::success();
}

void PagePrinter::showFailure(const QString& text) {
    QMessageBox::critical(window_, QStringLiteral("Tavix"), text);
}

PrintMargins PagePrinter::printerMargins() const {
    const QMarginsF m = printer_->pageLayout().margins(QPageLayout::Inch);
    return PrintMargins{int(std::lround(m.left() * 1000)), int(std::lround(m.top() * 1000)),
                        int(std::lround(m.right() * 1000)), int(std::lround(m.bottom() * 1000))};
}

std::pair<int, int> PagePrinter::takeChosenRange(QPrinter& printer) const {
    std::pair<int, int> range(0, INT_MAX);
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        range.first = printer.fromPage() - 1;
        range.second = std::max(printer.fromPage(), printer.toPage()) - 1;
    }
    // A range chosen for one job must not cut the next preview short.
    printer.setPrintRange(QPrinter::AllPages);
    printer.setFromTo(0, 0);
    return range;
}

bool PagePrinter::renderPreview(QPrinter* printer) {
    if (!printer)
        return false;
    if (printer == printer_.get() && printerMargins() != margins_) {
        const QSize paper = paperOf(*printer_);
        if (roomFor(printerMargins(), paper.width(), paper.height()))
            setMargins(printerMargins());
        else
            setMargins(margins_);  // the printer shows the margins that print
    }
    const auto [first, last] = takeChosenRange(*printer);
    return printPages(*printer, first, last).ok();
}

void PagePrinter::pageSetup() {
    const QPageLayout before = printer_->pageLayout();
    setMargins(margins_);
    QPageSetupDialog dialog(printer_.get(), window_);
    // Named as the menu item that opens it.
    dialog.setWindowTitle(tr("Print Setup"));
    if (dialog.exec() != QDialog::Accepted) {
        printer_->setPageLayout(before);
        return;
    }
    const PrintMargins chosen = printerMargins();
    const QSize paper = paperOf(*printer_);
    const Status room = roomFor(chosen, paper.width(), paper.height());
    if (!room) {
        // Nothing of the setup is taken: the paper and margins printed with
        // stay as they were, and the user is told which margins to change.
        printer_->setPageLayout(before);
        showFailure(QString::fromStdString(room.message()));
        return;
    }
    setMargins(chosen);
    printer_->setFullPage(true);
    if (pane_)
        pane_->updatePreview();
}

void PagePrinter::print() {
    const QString failed = QStringLiteral("Print operation failed");
    if (const Status room = roomOn(*printer_); !room) {
        showFailure(QString::fromStdString(room.message()));
        return;
    }
    if (!paginate(*printer_)) {
        showFailure(failed);
        return;
    }
    const int count = pageCount();
    QPrintDialog dialog(printer_.get(), window_);
    dialog.setMinMax(1, count);
    dialog.setFromTo(1, count);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const auto [first, last] = takeChosenRange(*printer_);
    // The dialog may have chosen other paper, on which the margins no
    // longer fit: say so rather than fail.
    if (const Status room = roomOn(*printer_); !room) {
        showFailure(QString::fromStdString(room.message()));
        return;
    }
    // printPages lays the text out again: the dialog may have changed the
    // paper, and pages cut for the old paper would lose or repeat text.
    const Status status = printPages(*printer_, first, last);
    if (!status)
        showFailure(failed + QStringLiteral("\n\n") + QString::fromStdString(status.message()));
}

void PagePrinter::printFromPreview() {
    print();
    // The print dialog may have changed paper or orientation.
    if (pane_) {
        pane_->updatePreview();
        pane_->view().setFocus(Qt::OtherFocusReason);
    }
}

void PagePrinter::preview() {
    if (pane_) {
        pane_->updatePreview();
        return;
    }
    if (const Status room = roomOn(*printer_); !room) {
        showFailure(QString::fromStdString(room.message()));
        return;
    }
    // The preview takes the editor's place in its parent; an editor that
    // stands alone has no place to give.
    QWidget* area = editor_.parentWidget();
    if (!area || !paginate(*printer_)) {
        showFailure(QStringLiteral("Print preview operation failed"));
        return;
    }
    pane_ = new PrintPreviewPane(*printer_, *area);
    // The preview asks again whenever it needs its pages drawn.
    connect(pane_, &PrintPreviewPane::paintRequested, this, &PagePrinter::renderPreview);
    connect(pane_, &PrintPreviewPane::printRequested, this, &PagePrinter::printFromPreview);
    connect(pane_, &PrintPreviewPane::closeRequested, this, &PagePrinter::closePreview);
    pane_->show();
    pane_->raise();
    // Hidden, not covered: the focus can never wander into a page the user
    // cannot see, and the editor keeps its caret and scroll position.
    editor_.hide();
    pane_->view().setFocus(Qt::OtherFocusReason);
}

void PagePrinter::zoomPreview(int direction) {
    if (!pane_)
        return;
    if (direction > 0)
        pane_->view().zoomIn();
    else if (direction < 0)
        pane_->view().zoomOut();
    else
        pane_->view().fitToWidth();
}

void PagePrinter::closePreview() {
    if (!pane_)
        return;
    PrintPreviewPane* pane = pane_;
    pane_ = nullptr;
    pane->hide();
    // Later: this may run from one of the pane's own buttons.
    pane->deleteLater();
    editor_.show();
    editor_.setFocus(Qt::OtherFocusReason);
}

}  // namespace tavix
