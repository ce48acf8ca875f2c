#include "app/Icons.h"

#include <QFont>
#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include "app/CommandTable.h"

// The resources are compiled into a static library, whose self-registration
// the linker drops unless something refers to it.
static void initResources() { Q_INIT_RESOURCE(tavix); }

namespace tavix {
namespace {

// Paints one of the drawn icons at whatever size is asked, so the icons stay
// crisp on high-density screens and follow the palette (dark themes, and
// the disabled state of a button).
class DrawnIconEngine : public QIconEngine {
public:
    explicit DrawnIconEngine(int commandId) : id_(commandId) {}

    void paint(QPainter* p, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        const QPalette pal = QGuiApplication::palette();
        const QColor ink = pal.color(mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active,
                                     QPalette::WindowText);
        p->save();
        p->setRenderHint(QPainter::Antialiasing);
        p->setRenderHint(QPainter::TextAntialiasing);
        // Draw on a 16 by 16 grid, scaled to the rectangle.
        const qreal side = qMin(rect.width(), rect.height());
        p->translate(rect.x() + (rect.width() - side) / 2.0, rect.y() + (rect.height() - side) / 2.0);
        p->scale(side / 16.0, side / 16.0);
        draw(*p, ink);
        p->restore();
    }

    // The base class paints into a pixmap it never clears, so old memory
    // would show through wherever the drawing leaves a gap.
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        paint(&p, QRect(QPoint(0, 0), size), mode, state);
        return pm;
    }

    QIconEngine* clone() const override { return new DrawnIconEngine(id_); }
    QString key() const override { return QStringLiteral("tavix-drawn"); }

private:
    static void letter(QPainter& p, const QColor& ink, const QString& text, bool bold, bool italic,
                       bool underline, bool strike) {
        QFont f;
        f.setPixelSize(12);
        f.setBold(bold);
        f.setItalic(italic);
        f.setUnderline(underline);
        f.setStrikeOut(strike);
        p.setFont(f);
        p.setPen(ink);
        p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, text);
    }

    static void script(QPainter& p, const QColor& ink, bool super) {
        QFont f;
        f.setPixelSize(11);
        p.setFont(f);
        p.setPen(ink);
        p.drawText(QRectF(0, 2, 10, 13), Qt::AlignCenter, QStringLiteral("x"));
        f.setPixelSize(7);
        p.setFont(f);
        p.drawText(QRectF(9, super ? 0 : 8, 7, 8), Qt::AlignCenter, QStringLiteral("2"));
    }

    static void arrow(QPainter& p, const QColor& ink, bool left) {
        QPainterPath path;
        if (left) {
            path.moveTo(2, 8);
            path.lineTo(8, 2.5);
            path.lineTo(8, 5.5);
            path.lineTo(14, 5.5);
            path.lineTo(14, 10.5);
            path.lineTo(8, 10.5);
            path.lineTo(8, 13.5);
        } else {
            path.moveTo(14, 8);
            path.lineTo(8, 2.5);
            path.lineTo(8, 5.5);
            path.lineTo(2, 5.5);
            path.lineTo(2, 10.5);
            path.lineTo(8, 10.5);
            path.lineTo(8, 13.5);
        }
        path.closeSubpath();
        p.fillPath(path, ink);
    }

    void draw(QPainter& p, const QColor& ink) const {
        QPen pen(ink, 1.2);
        pen.setJoinStyle(Qt::RoundJoin);
        pen.setCapStyle(Qt::RoundCap);
        switch (id_) {
        case cmd::Bold: letter(p, ink, "B", true, false, false, false); break;
        case cmd::Italic: letter(p, ink, "I", false, true, false, false); break;
        case cmd::Underline: letter(p, ink, "U", false, false, true, false); break;
        case cmd::Strikethrough: letter(p, ink, "S", false, false, false, true); break;
        case cmd::Superscript: script(p, ink, true); break;
        case cmd::Subscript: script(p, ink, false); break;
        case cmd::Back: arrow(p, ink, true); break;
        case cmd::Forward: arrow(p, ink, false); break;
        case cmd::FrontPage: {
            QPainterPath house;
            house.moveTo(8, 1.5);
            house.lineTo(15, 8);
            house.lineTo(13, 8);
            house.lineTo(13, 14.5);
            house.lineTo(9.5, 14.5);
            house.lineTo(9.5, 10.5);
            house.lineTo(6.5, 10.5);
            house.lineTo(6.5, 14.5);
            house.lineTo(3, 14.5);
            house.lineTo(3, 8);
            house.lineTo(1, 8);
            house.closeSubpath();
            p.fillPath(house, ink);
            break;
        }
        case cmd::Cut:
            p.setPen(pen);
            p.drawEllipse(QPointF(4.5, 12), 2.3, 2.3);
            p.drawEllipse(QPointF(11.5, 12), 2.3, 2.3);
            p.drawLine(QPointF(6, 10.3), QPointF(11.5, 1.5));
            p.drawLine(QPointF(10, 10.3), QPointF(4.5, 1.5));
            break;
        case cmd::Copy:
            p.setPen(pen);
            p.drawRect(QRectF(2, 2, 8, 9.5));
            p.fillRect(QRectF(6, 5, 8, 9.5), QGuiApplication::palette().color(QPalette::Base));
            p.drawRect(QRectF(6, 5, 8, 9.5));
            break;
        case cmd::Paste:
            p.setPen(pen);
            p.drawRect(QRectF(2.5, 3, 11, 12));
            p.fillRect(QRectF(5.5, 1.5, 5, 3), ink);
            p.drawLine(QPointF(5, 8), QPointF(11, 8));
            p.drawLine(QPointF(5, 11), QPointF(11, 11));
            break;
        case cmd::Print:
            p.setPen(pen);
            p.drawRect(QRectF(4.5, 1.5, 7, 5));
            p.drawRoundedRect(QRectF(1.5, 6.5, 13, 6), 1, 1);
            p.fillRect(QRectF(4.5, 10.5, 7, 4.5), QGuiApplication::palette().color(QPalette::Base));
            p.drawRect(QRectF(4.5, 10.5, 7, 4.5));
            break;
        case cmd::Save:
            p.setPen(pen);
            p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1, 1);
            p.fillRect(QRectF(4.5, 1.5, 7, 4.5), ink);
            p.drawRect(QRectF(4, 9, 8, 5.5));
            break;
        default: break;
        }
    }

    int id_;
};

bool hasDrawnIcon(int id) {
    switch (id) {
    case cmd::Bold: case cmd::Italic: case cmd::Underline: case cmd::Strikethrough:
    case cmd::Superscript: case cmd::Subscript: case cmd::Back: case cmd::Forward:
    case cmd::FrontPage: case cmd::Cut: case cmd::Copy: case cmd::Paste: case cmd::Print:
    case cmd::Save:
        return true;
    default:
        return false;
    }
}

// A theme may name an icon it cannot draw here (an SVG without the image
// plugin that reads it); such an icon would leave a blank button.
bool drawable(const QIcon& icon) {
    return !icon.isNull() && !icon.pixmap(16, 16).isNull();
}

}  // namespace

QIcon applicationIcon() {
    static const bool registered = (initResources(), true);
    (void)registered;
    QIcon svg(QStringLiteral(":/tavix/tavix.svg"));
    if (drawable(svg))
        return svg;
    // Qt reads PNG without any plugin.
    QIcon png;
    for (int side : {48, 128, 256})
        png.addFile(QStringLiteral(":/tavix/tavix-%1.png").arg(side), QSize(side, side));
    return png;
}

QIcon drawnCommandIcon(int commandId) {
    if (!hasDrawnIcon(commandId))
        return QIcon();
    return QIcon(new DrawnIconEngine(commandId));
}

QIcon commandIcon(int commandId, const QString& themeName) {
    if (!themeName.isEmpty() && QIcon::hasThemeIcon(themeName)) {
        QIcon themed = QIcon::fromTheme(themeName);
        if (drawable(themed))
            return themed;
    }
    return drawnCommandIcon(commandId);
}

}  // namespace tavix
