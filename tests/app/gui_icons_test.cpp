#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QToolBar>
#include <QToolButton>

#include "app/CommandTable.h"
#include "app/Icons.h"
#include "support/TempDir.h"
#include "app/FrameFixture.h"

namespace tavix {
namespace {

// A drawn icon is painted on a clear background: a corner the drawing never
// touches stays transparent, whatever memory the pixmap was made from.
TEST(DrawnIcons, LeaveUntouchedPixelsTransparent) {
    for (int round = 0; round < 3; ++round) {
        for (int id : {int(cmd::Bold), int(cmd::Back), int(cmd::FrontPage), int(cmd::Subscript)}) {
            const QImage image = drawnCommandIcon(id).pixmap(32, 32).toImage();
            ASSERT_FALSE(image.isNull()) << id;
            EXPECT_EQ(qAlpha(image.pixel(0, 31)), 0) << id;
            EXPECT_EQ(qAlpha(image.pixel(31, 0)), 0) << id;
        }
    }
}

// Every size the desktop asks for comes from a file made for it, the small
// ones drawn on their own pixel grid rather than scaled down.
TEST(ApplicationIcon, HoldsEverySizeTheDesktopAsksFor) {
    const QIcon icon = applicationIcon();
    const QList<QSize> sizes = icon.availableSizes();
    for (int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        EXPECT_TRUE(sizes.contains(QSize(side, side))) << side;
        // Compared premultiplied, as a pixmap holds them.
        const QImage shown =
            icon.pixmap(side, side).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const QImage file = QImage(QStringLiteral(":/tavix/tavix-%1.png").arg(side))
                                .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        ASSERT_FALSE(file.isNull()) << side;
        ASSERT_EQ(shown.size(), file.size()) << side;
        int differ = 0;
        for (int y = 0; y < file.height(); ++y) {
            for (int x = 0; x < file.width(); ++x) {
                const QRgb a = shown.pixel(x, y), b = file.pixel(x, y);
                differ += std::abs(qRed(a) - qRed(b)) > 1 || std::abs(qGreen(a) - qGreen(b)) > 1 ||
                          std::abs(qBlue(a) - qBlue(b)) > 1 || std::abs(qAlpha(a) - qAlpha(b)) > 1;
            }
        }
        EXPECT_EQ(differ, 0) << side;
    }
}

QPalette darkPalette() {
    QPalette p;
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
        p.setColor(group, QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6));
        p.setColor(group, QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
        p.setColor(group, QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
        p.setColor(group, QPalette::Button, QColor(0x35, 0x35, 0x35));
        p.setColor(group, QPalette::ButtonText, QColor(0xe6, 0xe6, 0xe6));
    }
    p.setColor(QPalette::Disabled, QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::Disabled, QPalette::Button, QColor(0x35, 0x35, 0x35));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x80, 0x80, 0x80));
    return p;
}

QPalette lightPalette() {
    QPalette p;
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Window, QColor(0xf6, 0xf5, 0xf4));
        p.setColor(group, QPalette::WindowText, QColor(0x2e, 0x34, 0x36));
        p.setColor(group, QPalette::Base, QColor(0xff, 0xff, 0xff));
        p.setColor(group, QPalette::Button, QColor(0xf6, 0xf5, 0xf4));
        p.setColor(group, QPalette::ButtonText, QColor(0x2e, 0x34, 0x36));
    }
    p.setColor(QPalette::Disabled, QPalette::Window, QColor(0xf6, 0xf5, 0xf4));
    p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x92, 0x95, 0x95));
    p.setColor(QPalette::Disabled, QPalette::Base, QColor(0xff, 0xff, 0xff));
    p.setColor(QPalette::Disabled, QPalette::Button, QColor(0xf6, 0xf5, 0xf4));
    p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x92, 0x95, 0x95));
    return p;
}

// What the user sees of an icon on the window: the icon laid over the
// window colour.
QImage onWindow(const QPixmap& icon, const QColor& window) {
    QImage image(icon.size(), QImage::Format_ARGB32);
    image.fill(window);
    QPainter p(&image);
    p.drawPixmap(0, 0, icon);
    p.end();
    return image;
}

// How an icon reads on the window: how many of its pixels stand out
// clearly, and how strongly its ink (the pixels that differ from the window
// in its enabled state) contrasts with the window when enabled and when
// disabled, in grey levels from 0 to 255.
struct Ink {
    int strongPixels = 0;
    double normal = 0;
    double disabled = 0;
};

Ink inkOf(const QImage& normal, const QImage& disabled, const QColor& window) {
    const int background = qGray(window.rgb());
    Ink ink;
    int inkPixels = 0;
    for (int y = 0; y < normal.height(); ++y) {
        for (int x = 0; x < normal.width(); ++x) {
            const int contrast = std::abs(qGray(normal.pixel(x, y)) - background);
            if (contrast >= 80)
                ++ink.strongPixels;
            if (contrast < 40)
                continue;
            ++inkPixels;
            ink.normal += contrast;
            ink.disabled += std::abs(qGray(disabled.pixel(x, y)) - background);
        }
    }
    if (inkPixels > 0) {
        ink.normal /= inkPixels;
        ink.disabled /= inkPixels;
    }
    return ink;
}

Ink inkOf(const QIcon& icon, int side, const QColor& window) {
    return inkOf(onWindow(icon.pixmap(side, side), window),
                 onWindow(icon.pixmap(side, side, QIcon::Disabled), window), window);
}

std::vector<const CommandInfo*> toolBarCommands() {
    std::vector<const CommandInfo*> commands;
    for (const CommandInfo& c : CommandTable::all())
        if (c.bar != ToolBarId::None && c.id != cmd::StyleCombo)
            commands.push_back(&c);
    return commands;
}

// An icon theme drawn for light windows, as most full-colour themes are:
// dark glyphs that vanish on a dark window.
QString makeInkTheme(const std::string& folder) {
    const QString root = QString::fromStdString(folder) + QStringLiteral("/icons");
    const QString theme = root + QStringLiteral("/InkOnPaper");
    QDir().mkpath(theme + QStringLiteral("/16x16/actions"));
    QDir().mkpath(theme + QStringLiteral("/24x24/actions"));
    QFile index(theme + QStringLiteral("/index.theme"));
    EXPECT_TRUE(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=InkOnPaper\nComment=dark glyphs\n"
                "Directories=16x16/actions,24x24/actions\n\n"
                "[16x16/actions]\nSize=16\nContext=Actions\nType=Fixed\n\n"
                "[24x24/actions]\nSize=24\nContext=Actions\nType=Fixed\n");
    index.close();
    for (const CommandInfo* c : toolBarCommands()) {
        for (int side : {16, 24}) {
            QImage glyph(side, side, QImage::Format_ARGB32);
            glyph.fill(Qt::transparent);
            QPainter p(&glyph);
            p.setPen(QPen(QColor(0x30, 0x30, 0x30), side / 8.0));
            p.drawRect(QRectF(side * 0.2, side * 0.2, side * 0.6, side * 0.6));
            p.drawLine(QPointF(side * 0.2, side * 0.5), QPointF(side * 0.8, side * 0.5));
            p.end();
            glyph.save(QStringLiteral("%1/%2x%2/actions/%3.png").arg(theme).arg(side).arg(c->iconName));
        }
    }
    return root;
}

class PaletteIcons : public ::testing::Test {
protected:
    void TearDown() override {
        QIcon::setThemeSearchPaths(savedPaths_);
        QIcon::setThemeName(savedTheme_);
        QApplication::setPalette(QPalette());
    }

    // The themes a user may run: one made for light windows only, the
    // desktop's default where it is installed, and none at all.
    std::vector<std::pair<QStringList, QString>> themes() {
        std::vector<std::pair<QStringList, QString>> list;
        list.push_back({QStringList{makeInkTheme(tmp_.path())}, QStringLiteral("InkOnPaper")});
        if (QDir(QStringLiteral("/usr/share/icons/Adwaita")).exists())
            list.push_back({QStringList{QStringLiteral("/usr/share/icons")}, QStringLiteral("Adwaita")});
        list.push_back({QStringList{QString::fromStdString(tmp_.path() + "/none")},
                        QStringLiteral("NoSuchTheme")});
        return list;
    }

    test::TempDir tmp_;
    QStringList savedPaths_ = QIcon::themeSearchPaths();
    QString savedTheme_ = QIcon::themeName();
};

// Under either palette and whatever the icon theme, every tool-bar icon shows
// as a shape that stands out from the window, and the enabled state reads
// clearly stronger than the disabled one.
TEST_F(PaletteIcons, ToolBarIconsStandOutFromTheWindowAndFromTheirDisabledState) {
    for (const auto& [paths, name] : themes()) {
        QIcon::setThemeSearchPaths(paths);
        QIcon::setThemeName(name);
        // Some palettes give disabled text the colour of enabled text.
        QPalette flat = darkPalette();
        flat.setColor(QPalette::Disabled, QPalette::WindowText,
                      flat.color(QPalette::Active, QPalette::WindowText));
        for (const QPalette& palette : {darkPalette(), lightPalette(), flat}) {
            QApplication::setPalette(palette);
            const QColor window = palette.color(QPalette::Active, QPalette::Window);
            double weakestEnabled = 255, strongestDisabled = 0;
            for (const CommandInfo* c : toolBarCommands()) {
                SCOPED_TRACE(name.toStdString() + " " + window.name().toStdString() + " " +
                             c->iconName.toStdString());
                const QIcon icon = commandIcon(c->id, c->iconName);
                for (int side : {16, 24}) {
                    const Ink ink = inkOf(icon, side, window);
                    EXPECT_GE(ink.strongPixels, side * side / 16) << side;
                    EXPECT_GE(ink.normal, ink.disabled + 40) << side;
                    weakestEnabled = std::min(weakestEnabled, ink.normal);
                    strongestDisabled = std::max(strongestDisabled, ink.disabled);
                }
            }
            // The enabled Front Page next to a disabled Back, as at every
            // start: no enabled icon may look as faint as a disabled one.
            EXPECT_GE(weakestEnabled, strongestDisabled + 20) << name.toStdString();
        }
    }
}

class PaletteIconsInFrame : public test::FrameFixture {
protected:
    void TearDown() override {
        QApplication::setPalette(QPalette());
        QIcon::setThemeSearchPaths(savedPaths_);
        QIcon::setThemeName(savedTheme_);
        FrameFixture::TearDown();
    }
    QStringList savedPaths_ = QIcon::themeSearchPaths();
    QString savedTheme_ = QIcon::themeName();
};

// Switching the desktop to a dark palette while the window is open redraws
// the tool-bar buttons in light ink.
TEST_F(PaletteIconsInFrame, ToolBarFollowsAPaletteChange) {
    QIcon::setThemeSearchPaths({makeInkTheme(tmp_.path())});
    QIcon::setThemeName(QStringLiteral("InkOnPaper"));
    QApplication::setPalette(lightPalette());
    MainFrame& frame = openFrame();
    QApplication::setPalette(darkPalette());
    settle(frame);
    const QColor window = darkPalette().color(QPalette::Window);
    int buttons = 0;
    for (QToolBar* bar : frame.findChildren<QToolBar*>()) {
        for (QAction* action : bar->actions()) {
            auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action));
            if (!button || action->icon().isNull() || !action->isEnabled())
                continue;
            ++buttons;
            SCOPED_TRACE(action->text().toStdString());
            const QImage shot = button->grab().toImage();
            EXPECT_GE(inkOf(shot, shot, window).strongPixels, 16 * 16 / 16);
        }
    }
    EXPECT_GE(buttons, 8);
}

}  // namespace
}  // namespace tavix
