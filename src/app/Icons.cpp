#include "app/Icons.h"

#include <algorithm>
#include <cstdlib>

#include <QFont>
#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmapCache>

#include "app/CommandTable.h"

// The resources are compiled into a static library, whose self-registration
// the linker drops unless something refers to it.
static void initResources() { Q_INIT_RESOURCE(tavix); }

namespace tavix {
namespace {

// The colour a one-colour icon is drawn in: the palette's text colour, and
// for a disabled command one that is clearly fainter than the enabled one
// (some palettes give both states the same text colour).
QColor inkFor(const QPalette& pal, QIcon::Mode mode) {
    const QColor active = pal.color(QPalette::Active, QPalette::WindowText);
    if (mode == QIcon::Selected)
        return pal.color(QPalette::Active, QPalette::HighlightedText);
    if (mode != QIcon::Disabled)
        return active;
    const QColor disabled = pal.color(QPalette::Disabled, QPalette::WindowText);
    const QColor window = pal.color(QPalette::Active, QPalette::Window);
    const int strength = std::abs(qGray(active.rgb()) - qGray(window.rgb()));
    const int faded = std::abs(qGray(disabled.rgb()) - qGray(window.rgb()));
    if (faded <= strength * 2 / 3 && faded >= strength / 4)
        return disabled;
    // Half way between the text and the window.
    return QColor((active.red() + window.red()) / 2, (active.green() + window.green()) / 2,
                  (active.blue() + window.blue()) / 2);
}

// Paints one of the drawn icons at whatever size is asked, so the icons stay
// crisp on high-density screens and follow the palette (dark themes, and
// the disabled state of a button).
class DrawnIconEngine : public QIconEngine {
public:
    explicit DrawnIconEngine(int commandId) : id_(commandId) {}

    void paint(QPainter* p, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        const QColor ink = inkFor(QGuiApplication::palette(), mode);
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
        // Upright strokes would be one pixel wide: a faint letter at 16 pixels.
        case cmd::Italic: letter(p, ink, "I", true, true, false, false); break;
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

// The pixels an icon is made of, leaving out the faint edges of its shapes.
template <typename Visit>
int visitSolidPixels(const QImage& image, Visit visit) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) >= 128) {
                visit(line[x]);
                ++count;
            }
        }
    }
    return count;
}

// A one-colour icon (a theme's symbolic icons, or a theme drawn in a single
// ink) is a shape meant to be drawn in the text colour of the moment.
bool isOneColour(const QImage& image) {
    int low[3] = {255, 255, 255}, high[3] = {0, 0, 0};
    const int count = visitSolidPixels(image, [&](QRgb c) {
        const int rgb[3] = {qRed(c), qGreen(c), qBlue(c)};
        for (int i = 0; i < 3; ++i) {
            low[i] = std::min(low[i], rgb[i]);
            high[i] = std::max(high[i], rgb[i]);
        }
    });
    if (count == 0)
        return false;
    for (int i = 0; i < 3; ++i)
        if (high[i] - low[i] > 40)
            return false;
    return true;
}

// A full-colour icon suits the palette when most of it stands out from the
// window: a theme drawn for light windows vanishes on a dark one.
bool standsOut(const QImage& image, const QColor& window) {
    const int background = qGray(window.rgb());
    int contrasting = 0;
    const int count = visitSolidPixels(image, [&](QRgb c) {
        if (std::abs(qGray(c) - background) >= 90)
            ++contrasting;
    });
    return count > 0 && contrasting * 2 >= count;
}

QImage tinted(QImage shape, const QColor& ink) {
    QPainter p(&shape);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(shape.rect(), ink);
    return shape;
}

// A command's icon, chosen again whenever the palette or the icon theme
// has changed: the theme's icon when it is made for the palette (a one-colour
// icon, drawn here in the text colour, or a full-colour one that stands out
// from the window), else the drawn icon, which is always in the text colour.
// Widgets repaint on a palette change, and the cache key holds the colours,
// so a dark palette chosen while the window is open is followed at once.
class CommandIconEngine : public QIconEngine {
public:
    CommandIconEngine(int commandId, QString themeName)
        : id_(commandId), themeName_(std::move(themeName)) {}

    void paint(QPainter* p, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal ratio = p->device() ? p->device()->devicePixelRatio() : 1.0;
        QPixmap pm = pixmap(rect.size() * ratio, mode, state);
        pm.setDevicePixelRatio(ratio);
        p->drawPixmap(rect, pm);
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        const QPalette pal = QGuiApplication::palette();
        const QColor ink = inkFor(pal, mode);
        const QColor window = pal.color(QPalette::Active, QPalette::Window);
        const QString key = QStringLiteral("tavix-command-%1-%2x%3-%4-%5-%6-%7-%8-%9")
                                .arg(id_)
                                .arg(size.width())
                                .arg(size.height())
                                .arg(int(mode))
                                .arg(int(state))
                                .arg(ink.rgba())
                                .arg(window.rgba())
                                .arg(QIcon::themeName())
                                .arg(QIcon::themeSearchPaths().join(u':'));
        QPixmap pm;
        if (QPixmapCache::find(key, &pm))
            return pm;
        pm = render(size, mode, state, ink, window);
        QPixmapCache::insert(key, pm);
        return pm;
    }

    QIconEngine* clone() const override { return new CommandIconEngine(id_, themeName_); }
    QString key() const override { return QStringLiteral("tavix-command"); }

private:
    QPixmap render(const QSize& size, QIcon::Mode mode, QIcon::State state, const QColor& ink,
                   const QColor& window) const {
        if (!themeName_.isEmpty()) {
            for (const QString& name : {themeName_ + QStringLiteral("-symbolic"), themeName_}) {
                if (!QIcon::hasThemeIcon(name))
                    continue;
                const QImage shape = QIcon::fromTheme(name)
                                         .pixmap(size, QIcon::Normal, state)
                                         .toImage()
                                         .convertToFormat(QImage::Format_ARGB32_Premultiplied);
                if (!shape.isNull() && isOneColour(shape.convertToFormat(QImage::Format_ARGB32)))
                    return fitted(QPixmap::fromImage(tinted(shape, ink)), size);
            }
            if (QIcon::hasThemeIcon(themeName_)) {
                const QIcon themed = QIcon::fromTheme(themeName_);
                const QImage normal = themed.pixmap(size, QIcon::Normal, state)
                                          .toImage()
                                          .convertToFormat(QImage::Format_ARGB32);
                if ((!normal.isNull() && standsOut(normal, window)) || !hasDrawnIcon(id_))
                    return fitted(themed.pixmap(size, mode, state), size);
            }
        }
        return DrawnIconEngine(id_).pixmap(size, mode, state);
    }

    // A theme may hand out a smaller pixmap than asked; the button expects
    // the size it asked for, centred as a theme icon would be.
    static QPixmap fitted(const QPixmap& pm, const QSize& size) {
        if (pm.size() == size || pm.isNull())
            return pm;
        QPixmap out(size);
        out.fill(Qt::transparent);
        QPainter p(&out);
        p.drawPixmap((size.width() - pm.width()) / 2, (size.height() - pm.height()) / 2, pm);
        return out;
    }

    int id_;
    QString themeName_;
};

}  // namespace

QIcon applicationIcon() {
    static const bool registered = (initResources(), true);
    (void)registered;
    // One file for each size the desktop asks for (window lists, task bars,
    // title bars): the 16 pixel one is drawn for its size, not scaled down.
    QIcon icon;
    for (int side : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/tavix/tavix-%1.png").arg(side), QSize(side, side));
    return icon;
}

QIcon drawnCommandIcon(int commandId) {
    if (!hasDrawnIcon(commandId))
        return QIcon();
    return QIcon(new DrawnIconEngine(commandId));
}

QIcon commandIcon(int commandId, const QString& themeName) {
    if (!hasDrawnIcon(commandId) && (themeName.isEmpty() || !drawable(QIcon::fromTheme(themeName))))
        return QIcon();
    return QIcon(new CommandIconEngine(commandId, themeName));
}

}  // namespace tavix
