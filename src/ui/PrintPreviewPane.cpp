#include "ui/PrintPreviewPane.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPrintPreviewWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace tavix {

PrintPreviewPane::PrintPreviewPane(QPrinter& printer, QWidget& area)
    : QWidget(&area), area_(area) {
    setObjectName(QStringLiteral("PrintPreviewPane"));
    setAutoFillBackground(true);

    bar_ = new QToolBar(tr("Print Preview"), this);
    bar_->setObjectName(QStringLiteral("PrintPreviewBar"));
    // Words, not pictures: the buttons must say what they do under any
    // icon theme, and the one that leaves must be found at once.
    bar_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    view_ = new QPrintPreviewWidget(&printer, this);
    view_->setObjectName(QStringLiteral("PrintPreviewView"));
    view_->setZoomMode(QPrintPreviewWidget::FitToWidth);
    pageLabel_ = new QLabel(this);
    pageLabel_->setObjectName(QStringLiteral("PrintPreviewPage"));
    pageLabel_->setContentsMargins(8, 0, 8, 0);

    auto add = [this](const QString& text, const QString& tip, const QKeySequence& key,
                      auto slot) {
        QAction* a = bar_->addAction(text);
        a->setToolTip(key.isEmpty() ? tip
                                    : tip + QStringLiteral(" (") +
                                          key.toString(QKeySequence::NativeText) + u')');
        if (!key.isEmpty()) {
            a->setShortcut(key);
            // Only while the preview has the focus: the window's own keys
            // stay theirs.
            a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            addAction(a);
        }
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    add(tr("Print"), tr("Print the page"), QKeySequence(), [this] { emit printRequested(); });
    bar_->addSeparator();
    add(tr("Previous Page"), tr("Previous page"), QKeySequence(Qt::Key_PageUp), [this] {
        view_->setCurrentPage(view_->currentPage() - 1);
        showPageNumber();
    });
    add(tr("Next Page"), tr("Next page"), QKeySequence(Qt::Key_PageDown), [this] {
        view_->setCurrentPage(view_->currentPage() + 1);
        showPageNumber();
    });
    bar_->addWidget(pageLabel_);
    bar_->addSeparator();
    // No keys for zooming: the window's own zoom keys would make them
    // ambiguous, and then neither would work.
    add(tr("Zoom In"), tr("Zoom in"), QKeySequence(), [this] { view_->zoomIn(); });
    add(tr("Zoom Out"), tr("Zoom out"), QKeySequence(), [this] { view_->zoomOut(); });
    // The way out stands apart at the right, so that a narrow window, which
    // folds the bar's last buttons into its menu, never hides it.
    QAction* close = add(tr("Close"), tr("Close the preview"), QKeySequence(Qt::Key_Escape),
                         [this] { emit closeRequested(); });
    bar_->removeAction(close);
    auto* closeButton = new QToolButton(this);
    closeButton->setObjectName(QStringLiteral("PrintPreviewClose"));
    closeButton->setDefaultAction(close);
    closeButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    closeButton->setAutoRaise(true);

    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(0);
    top->addWidget(bar_, 1);
    top->addWidget(closeButton);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(top);
    column->addWidget(view_, 1);

    connect(view_, &QPrintPreviewWidget::paintRequested, this, &PrintPreviewPane::paintRequested);
    connect(view_, &QPrintPreviewWidget::previewChanged, this, &PrintPreviewPane::showPageNumber);

    setGeometry(area_.rect());
    area_.installEventFilter(this);
}

PrintPreviewPane::~PrintPreviewPane() = default;

void PrintPreviewPane::updatePreview() {
    view_->updatePreview();
    showPageNumber();
}

void PrintPreviewPane::showPageNumber() {
    pageLabel_->setText(tr("Page %1 of %2").arg(view_->currentPage()).arg(view_->pageCount()));
}

bool PrintPreviewPane::eventFilter(QObject* watched, QEvent* event) {
    // Laid over the whole area, whatever size the window takes.
    if (watched == &area_ && event->type() == QEvent::Resize)
        setGeometry(area_.rect());
    return QWidget::eventFilter(watched, event);
}

}  // namespace tavix
