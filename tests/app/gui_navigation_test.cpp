// Back, Forward, Front Page and opened pages through the main window, with
// the history and the command states they leave behind.
#include <filesystem>
#include <fstream>

#include "app/FrameFixture.h"

namespace tavix::test {
namespace {

using NavigationTest = FrameFixture;

void follow(MainFrame& f, const char16_t* name) {
    f.OpenFoundPage(FoundPage{name, u""});
    FrameFixture::settle(f);
}

TEST_F(NavigationTest, BackTwiceThenForwardRetracesTheLinks) {
    MainFrame& f = openFrame();
    follow(f, u"PageBee");
    follow(f, u"PageCee");
    EXPECT_EQ(pageName(f), "PageCee");
    EXPECT_TRUE(f.action(cmd::Back)->isEnabled());
    EXPECT_FALSE(f.action(cmd::Forward)->isEnabled());

    f.action(cmd::Back)->trigger();
    settle(f);
    EXPECT_EQ(pageName(f), "PageBee");
    EXPECT_EQ(f.windowTitle(), "Tavix - Page Bee");
    f.action(cmd::Back)->trigger();
    settle(f);
    EXPECT_EQ(pageName(f), "FrontPage");
    EXPECT_FALSE(f.action(cmd::Back)->isEnabled());
    EXPECT_TRUE(f.action(cmd::Forward)->isEnabled());

    f.action(cmd::Forward)->trigger();
    settle(f);
    EXPECT_EQ(pageName(f), "PageBee");
    EXPECT_TRUE(f.action(cmd::Back)->isEnabled());
    EXPECT_TRUE(f.action(cmd::Forward)->isEnabled());
}

TEST_F(NavigationTest, OpeningAPageAfterBackEmptiesForward) {
    MainFrame& f = openFrame();
    follow(f, u"PageBee");
    follow(f, u"PageCee");
    f.runCommand(cmd::Back);
    settle(f);
    ASSERT_TRUE(f.action(cmd::Forward)->isEnabled());
    follow(f, u"PageDee");
    EXPECT_EQ(pageName(f), "PageDee");
    EXPECT_FALSE(f.action(cmd::Forward)->isEnabled());
    f.runCommand(cmd::Back);
    EXPECT_EQ(pageName(f), "PageBee");
}

TEST_F(NavigationTest, FrontPageWhileShownAddsNothingAndReturnsFromElsewhere) {
    MainFrame& f = openFrame();
    f.runCommand(cmd::FrontPage);
    settle(f);
    EXPECT_FALSE(f.action(cmd::Back)->isEnabled());
    EXPECT_EQ(f.history().backCount(), 0u);

    follow(f, u"PageBee");
    f.runCommand(cmd::FrontPage);
    settle(f);
    EXPECT_EQ(pageName(f), "FrontPage");
    EXPECT_EQ(f.windowTitle(), "Tavix - Front Page");
    EXPECT_EQ(f.history().backCount(), 2u);
    f.runCommand(cmd::Back);
    EXPECT_EQ(pageName(f), "PageBee");
}

TEST_F(NavigationTest, LinkToTheShownPageAddsAnEntryBackReturnsToIt) {
    MainFrame& f = openFrame();
    typeAtEnd(f.editor(), "Self FrontPage");
    settle(f);
    clickWord(f.editor(), "FrontPage");
    settle(f);
    EXPECT_EQ(pageName(f), "FrontPage");
    EXPECT_TRUE(f.action(cmd::Back)->isEnabled());
    // The page was saved first (the save comes before the name check) and
    // not reloaded: the text stays.
    EXPECT_FALSE(f.operations().IsModified());
    EXPECT_NE(readPage("FrontPage").find("Self FrontPage"), std::string::npos);

    f.runCommand(cmd::Back);
    settle(f);
    EXPECT_EQ(pageName(f), "FrontPage");
    EXPECT_FALSE(f.action(cmd::Back)->isEnabled());
    EXPECT_TRUE(QString::fromStdU16String(f.editor().GetPlainText()).contains("Self FrontPage"));
}

TEST_F(NavigationTest, EveryStepLeavesThePreviousPageSaved) {
    MainFrame& f = openFrame();
    follow(f, u"PageBee");
    typeAtEnd(f.editor(), "bee text");
    f.runCommand(cmd::Back);
    EXPECT_NE(readPage("PageBee").find("bee text"), std::string::npos);
    typeAtEnd(f.editor(), "front text");
    f.runCommand(cmd::Forward);
    EXPECT_NE(readPage("FrontPage").find("front text"), std::string::npos);
    EXPECT_TRUE(QString::fromStdU16String(f.editor().GetPlainText()).contains("bee text"));
}

TEST_F(NavigationTest, ManyPagesAllStayInTheHistory) {
    MainFrame& f = openFrame();
    const int n = 30;  // beyond the page cache's 20 documents
    for (int i = 0; i < n; ++i)
        f.OpenFoundPage(FoundPage{u"PageNo" + QString::number(i).toStdU16String() + u"x", u""});
    for (int i = n - 2; i >= 0; --i) {
        f.runCommand(cmd::Back);
        ASSERT_EQ(pageName(f), QString("PageNo%1x").arg(i));
    }
    f.runCommand(cmd::Back);
    EXPECT_EQ(pageName(f), "FrontPage");
    settle(f);
    EXPECT_FALSE(f.action(cmd::Back)->isEnabled());
}

TEST_F(NavigationTest, BackIsRefusedWhileTheOpenPageCannotBeSaved) {
    MainFrame& f = openFrame();
    follow(f, u"PageBee");
    std::filesystem::remove_all(notebookFolder());
    std::ofstream(notebookFolder()) << "x";
    typeAtEnd(f.editor(), "unsaved");
    f.runCommand(cmd::Back);
    settle(f);
    EXPECT_EQ(pageName(f), "PageBee");
    EXPECT_TRUE(f.history().CanGoBack());
    EXPECT_FALSE(f.history().CanGoForward());
    EXPECT_EQ(errors_.size(), 1);
    f.runCommand(cmd::FrontPage);
    EXPECT_EQ(pageName(f), "PageBee");
    EXPECT_EQ(f.history().backCount(), 1u);
}

}  // namespace
}  // namespace tavix::test
