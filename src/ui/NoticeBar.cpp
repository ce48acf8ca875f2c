#include "ui/NoticeBar.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QToolButton>

namespace tavix {

NoticeBar::NoticeBar(QWidget* parent) : QFrame(parent), label_(new QLabel), close_(new QToolButton) {
    setObjectName(QStringLiteral("NoticeBar"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    label_->setWordWrap(true);
    label_->setTextFormat(Qt::PlainText);
    label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    close_->setAutoRaise(true);
    close_->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    close_->setToolTip(tr("Close this notice"));
    close_->setAccessibleName(tr("Close notice"));
    connect(close_, &QToolButton::clicked, this, [this] {
        const QString closedText = label_->text();
        clearNotice();
        emit closed(closedText);
    });

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 4, 4);
    layout->addWidget(label_, 1);
    layout->addWidget(close_, 0, Qt::AlignTop);
    followPalette();
    hide();
}

void NoticeBar::showNotice(const QString& text) {
    label_->setText(text);
    setAccessibleDescription(text);
    show();
}

void NoticeBar::clearNotice() {
    label_->clear();
    hide();
}

QString NoticeBar::text() const { return isHidden() ? QString() : label_->text(); }

void NoticeBar::changeEvent(QEvent* event) {
    QFrame::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        followPalette();
}

void NoticeBar::followPalette() {
    // A tint of the theme's highlight over its window colour reads as a
    // notice under light and dark themes alike. Taken from the palette the
    // bar would have by itself, so that setting its own changes nothing.
    const QPalette theme = parentWidget() ? parentWidget()->palette() : QApplication::palette(this);
    const QColor base = theme.color(QPalette::Window);
    const QColor tint = theme.color(QPalette::Highlight);
    const auto mix = [](int a, int b) { return (a * 4 + b) / 5; };
    const QColor fill(mix(base.red(), tint.red()), mix(base.green(), tint.green()),
                      mix(base.blue(), tint.blue()));
    QPalette p = palette();
    if (p.color(QPalette::Window) == fill && p.color(QPalette::WindowText) == theme.color(QPalette::WindowText))
        return;
    p.setColor(QPalette::Window, fill);
    p.setColor(QPalette::WindowText, theme.color(QPalette::WindowText));
    setPalette(p);
}

}  // namespace tavix
