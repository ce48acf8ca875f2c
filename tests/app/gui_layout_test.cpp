// Where the panes stand, and the window found again as it was left: size,
// bars, panes and the last page, kept in the settings file.
#include <filesystem>

#include <QDockWidget>
#include <QFile>
#include <QToolBar>

#include "app/FrameFixture.h"
#include "ui/PageListWindow.h"

namespace tavix::test {
namespace {

class LayoutTest : public FrameFixture {
public:
    std::string propsPath() const { return configHome_ + "/Halvorix/Tavix/tavix.props"; }
    QByteArray props() const {
        QFile f(QString::fromStdString(propsPath()));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    // Writes the page to disk by opening it, typing and saving.
    void makePage(MainFrame& f, const std::u16string& name) {
        f.OpenFoundPage(FoundPage{name, u""});
        settle(f);
        typeAtEnd(f.editor(), "words");
        f.runCommand(cmd::Save);
        ASSERT_TRUE(pageExists(std::string(name.begin(), name.end())));
    }
};

TEST_F(LayoutTest, KeywordsPaneDocksBesideTheEditor) {
    MainFrame& f = openFrame();
    f.runCommand(cmd::PageKeywords);
    settle(f);
    EXPECT_TRUE(f.keywordsPane().isVisible());
    EXPECT_FALSE(f.keywordsPane().isFloating());
    EXPECT_EQ(f.dockWidgetArea(&f.keywordsPane()), Qt::RightDockWidgetArea);
}

TEST_F(LayoutTest, FoundPagesHasAViewToggleAndLeavesTheEditorMostOfTheHeight) {
    MainFrame& f = openFrame();
    f.resize(640, 480);
    settle(f);
    QAction* toggle = f.action(cmd::FoundPages);
    ASSERT_NE(toggle, nullptr);
    EXPECT_FALSE(toggle->isChecked());
    f.runCommand(cmd::FoundPages);
    settle(f);
    EXPECT_TRUE(f.pageListPane().isVisible());
    EXPECT_TRUE(toggle->isChecked());
    EXPECT_LT(f.pageListPane().height(), f.editor().height());
    f.runCommand(cmd::FoundPages);
    settle(f);
    EXPECT_TRUE(f.pageListPane().isHidden());
    EXPECT_FALSE(toggle->isChecked());
}

TEST_F(LayoutTest, WindowPanesAndLastPageAreFoundAsTheyWereLeft) {
    {
        MainFrame& f = openFrame();
        makePage(f, u"PageBee");
        f.resize(720, 520);
        f.runCommand(cmd::PageKeywords);
        f.runCommand(cmd::ToolbarFormatting);
        settle(f);
        ASSERT_TRUE(f.close());
    }
    const QByteArray written = props();
    EXPECT_TRUE(written.contains("Window.Geometry=")) << written.toStdString();
    EXPECT_TRUE(written.contains("Window.State=")) << written.toStdString();
    EXPECT_TRUE(written.contains("Session.LastPage=PageBee")) << written.toStdString();

    restartStore();
    MainFrame& f = openFrame();
    EXPECT_EQ(pageName(f), "PageBee");
    EXPECT_EQ(f.size(), QSize(720, 520));
    EXPECT_TRUE(f.keywordsPane().isVisible());
    EXPECT_TRUE(f.action(cmd::PageKeywords)->isChecked());
    EXPECT_TRUE(f.formattingBar()->isHidden());
    EXPECT_FALSE(f.action(cmd::ToolbarFormatting)->isChecked());
    EXPECT_TRUE(f.standardBar()->isVisible());
}

TEST_F(LayoutTest, ALastPageThatIsGoneGivesTheFrontPage) {
    {
        MainFrame& f = openFrame();
        makePage(f, u"PageBee");
        ASSERT_TRUE(f.close());
    }
    std::filesystem::remove(pageFile("PageBee"));
    restartStore();
    MainFrame& f = openFrame();
    EXPECT_EQ(pageName(f), "FrontPage");
    EXPECT_FALSE(pageExists("PageBee"));
}

TEST_F(LayoutTest, SettingsAreNotRewrittenWhenNothingChanged) {
    {
        MainFrame& f = openFrame();
        ASSERT_TRUE(f.close());
    }
    ASSERT_TRUE(std::filesystem::exists(propsPath()));
    // Make any rewrite visible even within the file system's time resolution.
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    std::filesystem::last_write_time(propsPath(), old);
    const QByteArray before = props();

    restartStore();
    {
        MainFrame& f = openFrame();
        ASSERT_TRUE(f.close());
    }
    EXPECT_EQ(props().toStdString(), before.toStdString());
    EXPECT_EQ(std::filesystem::last_write_time(propsPath()), old);
}

}  // namespace
}  // namespace tavix::test
