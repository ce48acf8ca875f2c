// Where the panes stand, and the window found again as it was left: size,
// bars, panes and the last page, kept in the settings file.
#include <cstdio>
#include <filesystem>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDockWidget>
#include <QTextBlock>
#include <QFile>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>

#include "app/FrameFixture.h"
#include "ui/NoticeBar.h"
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

TEST_F(LayoutTest, TheWelcomeShowsUntilClosedAndOnlyOnAFirstStart) {
    const auto welcomed = [](MainFrame& f) {
        return f.noticeBar().text().contains(QStringLiteral("mixed capitals"));
    };
    {
        MainFrame& f = openFrame();  // no settings file yet
        EXPECT_TRUE(welcomed(f)) << f.noticeBar().text().toStdString();
        ASSERT_TRUE(f.close());
    }
    // Not closed: still there at the next start.
    restartStore();
    {
        MainFrame& f = openFrame();
        ASSERT_TRUE(welcomed(f));
        auto* close = f.noticeBar().findChild<QToolButton*>();
        ASSERT_NE(close, nullptr);
        close->click();
        EXPECT_FALSE(welcomed(f));
        ASSERT_TRUE(f.close());
    }
    EXPECT_TRUE(props().contains("Session.Welcome=Closed")) << props().toStdString();
    restartStore();
    {
        MainFrame& f = openFrame();
        EXPECT_FALSE(welcomed(f));
        ASSERT_TRUE(f.close());
    }
    // Someone who used the program before the welcome existed never sees it.
    std::filesystem::remove(propsPath());
    {
        std::FILE* file = std::fopen(propsPath().c_str(), "w");
        ASSERT_NE(file, nullptr);
        std::fputs("Session.LastPage=FrontPage\n", file);
        std::fclose(file);
    }
    restartStore();
    MainFrame& f = openFrame();
    EXPECT_FALSE(welcomed(f));
}

TEST_F(LayoutTest, ZoomScalesTheViewAndNeverThePage) {
    MainFrame& f = openFrame();
    makePage(f, u"PageBee");
    PageEditor& e = f.editor();
    const auto lineHeight = [&e] {
        return e.document()->documentLayout()->blockBoundingRect(e.document()->begin()).height();
    };
    const std::u16string rtf = e.rtfContent();
    const int undoSteps = e.document()->availableUndoSteps();
    const qreal actual = lineHeight();

    f.runCommand(cmd::ZoomIn);
    f.runCommand(cmd::ZoomIn);
    EXPECT_EQ(e.zoom(), 125);
    EXPECT_GT(lineHeight(), actual * 1.15);
    // Ctrl+wheel is the same ladder, down.
    QWheelEvent wheel(QPointF(20, 20), e.viewport()->mapToGlobal(QPointF(20, 20)), QPoint(),
                      QPoint(0, -120), Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(e.viewport(), &wheel);
    EXPECT_EQ(e.zoom(), 110);
    for (int i = 0; i < 20; ++i)
        f.runCommand(cmd::ZoomOut);
    EXPECT_EQ(e.zoom(), 50);
    EXPECT_LT(lineHeight(), actual * 0.7);

    // Nothing of the page changed: not its formats, not the undo history,
    // not the modified flag, and saving writes the same file.
    EXPECT_EQ(e.rtfContent(), rtf);
    EXPECT_EQ(e.document()->availableUndoSteps(), undoSteps);
    EXPECT_FALSE(e.document()->isModified());
    typeAtEnd(e, "more");
    f.runCommand(cmd::Save);
    EXPECT_NE(readPage("PageBee").find("wordsmore"), std::string::npos);

    // The scale stays as other pages open, and Actual Size undoes it.
    f.runCommand(cmd::FrontPage);
    settle(f);
    EXPECT_EQ(e.zoom(), 50);
    f.runCommand(cmd::ActualSize);
    EXPECT_EQ(e.zoom(), 100);
    f.runCommand(cmd::Back);
    settle(f);
    EXPECT_NEAR(lineHeight(), actual, 0.5);
}

}  // namespace
}  // namespace tavix::test
