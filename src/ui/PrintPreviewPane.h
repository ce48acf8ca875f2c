#pragma once
// The print preview as it shows inside the main window: laid over the area
// of the page editor, with its own tool bar of labelled buttons (Print,
// Previous Page, Next Page, Zoom In, Zoom Out, Close). The pane
// only shows pages and asks; what printing and closing mean is up to its
// owner (PagePrinter), through the signals.
//
// The editor underneath is hidden, not touched: its caret, selection and
// scroll position are there again when the pane goes.
#include <QWidget>

class QLabel;
class QPrinter;
class QPrintPreviewWidget;
class QToolBar;

namespace tavix {

class PrintPreviewPane : public QWidget {
    Q_OBJECT
public:
    // Covers `area` (the editor's parent) and shows pages drawn for
    // `printer` through paintRequested. Both must outlive the pane.
    PrintPreviewPane(QPrinter& printer, QWidget& area);
    ~PrintPreviewPane() override;

    // Draws the pages again (after the text or the paper changed).
    void updatePreview();
    QPrintPreviewWidget& view() const { return *view_; }
    QToolBar& toolBar() const { return *bar_; }

signals:
    void paintRequested(QPrinter* printer);
    void printRequested();
    void closeRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showPageNumber();

    QWidget& area_;
    QToolBar* bar_;
    QPrintPreviewWidget* view_;
    QLabel* pageLabel_;
};

}  // namespace tavix
