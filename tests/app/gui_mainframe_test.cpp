// The main window end to end: start-up, editing and saving, link clicks,
// the Keywords pane, closing, and what happens when a page cannot be saved.
#include <filesystem>
#include <fstream>

#include <QClipboard>
#include <QDockWidget>
#include <QGuiApplication>

#include "app/FrameFixture.h"

namespace tavix::test {
namespace {

using MainFrameTest = FrameFixture;

TEST_F(MainFrameTest, FirstStartCreatesFoldersAndShowsFrontPageWithoutWriting) {
    EXPECT_TRUE(std::filesystem::is_directory(configHome_ + "/Halvorix/Tavix"));
    EXPECT_TRUE(std::filesystem::is_directory(notebookFolder()));

    MainFrame& f = openFrame();
    EXPECT_EQ(pageName(f), "FrontPage");
    EXPECT_EQ(f.windowTitle(), "Tavix - Front Page");
    EXPECT_TRUE(QString::fromStdU16String(f.editor().GetPlainText()).startsWith("Front Page"));
    EXPECT_FALSE(pageExists("FrontPage"));
    EXPECT_TRUE(std::filesystem::is_empty(notebookFolder()));

    EXPECT_FALSE(f.action(cmd::Back)->isEnabled());
    EXPECT_FALSE(f.action(cmd::Forward)->isEnabled());
    EXPECT_FALSE(f.action(cmd::Save)->isEnabled());
    ASSERT_TRUE(f.history().current().has_value());
    EXPECT_EQ(f.history().current()->name, u"FrontPage");
    // Panes start hidden, bars shown.
    EXPECT_TRUE(f.keywordsPane().isHidden());
    EXPECT_EQ(f.keywordsPane().windowTitle(), "Keywords");
    // Docked beside the page, not floating wherever new windows appear.
    EXPECT_FALSE(f.keywordsPane().isFloating());
    EXPECT_FALSE(f.action(cmd::PageKeywords)->isChecked());
    auto* found = f.findChild<QDockWidget*>("PageListWindow");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->windowTitle(), "Found Pages");
    EXPECT_TRUE(found->isHidden());
    EXPECT_FALSE(found->isFloating());
    EXPECT_TRUE(f.action(cmd::ToolbarStandard)->isChecked());
    EXPECT_TRUE(f.action(cmd::ToolbarFormatting)->isChecked());
    EXPECT_TRUE(f.action(cmd::StatusBar)->isChecked());
    EXPECT_FALSE(f.windowIcon().isNull());
}

TEST_F(MainFrameTest, TypingMarksThePageModifiedAndSaveClearsIt) {
    MainFrame& f = openFrame();
    typeAtEnd(f.editor(), "Milk");
    settle(f);
    EXPECT_EQ(f.windowTitle(), "Tavix - Front Page*");
    EXPECT_TRUE(f.action(cmd::Save)->isEnabled());
    EXPECT_TRUE(f.action(cmd::Undo)->isEnabled());

    f.action(cmd::Save)->trigger();
    settle(f);
    EXPECT_EQ(f.windowTitle(), "Tavix - Front Page");
    EXPECT_FALSE(f.action(cmd::Save)->isEnabled());
    EXPECT_NE(readPage("FrontPage").find("Milk"), std::string::npos);
    EXPECT_TRUE(errors_.isEmpty());
}

TEST_F(MainFrameTest, LinkClickOpensThePageWhichIsWrittenOnlyWhenSaved) {
    MainFrame& f = openFrame();
    typeAtEnd(f.editor(), "See ShoppingList today");
    settle(f);
    clickWord(f.editor(), "ShoppingList");
    // The page opens once the click has been handled.
    settle(f);
    EXPECT_EQ(pageName(f), "ShoppingList");
    EXPECT_EQ(f.windowTitle(), "Tavix - Shopping List");
    // Leaving the modified front page saved it; the new page is not on disk.
    EXPECT_NE(readPage("FrontPage").find("ShoppingList"), std::string::npos);
    EXPECT_FALSE(pageExists("ShoppingList"));
    EXPECT_TRUE(f.action(cmd::Back)->isEnabled());

    f.runCommand(cmd::Save);
    EXPECT_TRUE(pageExists("ShoppingList"));
    EXPECT_NE(readPage("ShoppingList").find("Shopping List"), std::string::npos);
}

TEST_F(MainFrameTest, LinkInTheKeywordsPaneOpensThePageInTheWindow) {
    MainFrame& f = openFrame();
    f.runCommand(cmd::PageKeywords);
    PageEditor& keywords = f.keywordsPane().editor();
    typeAtEnd(keywords, "Groceries ShoppingList");
    settle(f);
    clickWord(keywords, "ShoppingList");
    settle(f);
    EXPECT_EQ(pageName(f), "ShoppingList");
    // The front page was saved with its keywords before it was left.
    EXPECT_NE(readPage("FrontPage").find("Groceries ShoppingList"), std::string::npos);
    EXPECT_TRUE(QString::fromStdU16String(keywords.GetPlainText()).isEmpty());
}

TEST_F(MainFrameTest, KeywordsTypedInThePaneAreSavedAndSurviveReopening) {
    {
        MainFrame& f = openFrame();
        f.runCommand(cmd::PageKeywords);
        settle(f);
        EXPECT_FALSE(f.keywordsPane().isHidden());
        EXPECT_TRUE(f.action(cmd::PageKeywords)->isChecked());

        typeAtEnd(f.keywordsPane().editor(), "Groceries");
        settle(f);
        EXPECT_EQ(f.windowTitle(), "Tavix - Front Page*");
        EXPECT_TRUE(f.action(cmd::Save)->isEnabled());

        f.OpenFoundPage(FoundPage{u"OtherPage", u""});
        settle(f);
        EXPECT_NE(readPage("FrontPage").find("Groceries"), std::string::npos);
        EXPECT_TRUE(f.keywordsPane().GetKeywords().empty());
        EXPECT_FALSE(f.keywordsPane().IsModified());

        f.runCommand(cmd::Back);
        settle(f);
        EXPECT_EQ(f.keywordsPane().GetKeywords(), u"Groceries");

        // The pane's own close box hides it; the View check follows.
        f.keywordsPane().close();
        settle(f);
        EXPECT_FALSE(f.action(cmd::PageKeywords)->isChecked());
    }
    restartStore();
    MainFrame& again = openFrame();
    EXPECT_EQ(again.keywordsPane().GetKeywords(), u"Groceries");
    EXPECT_FALSE(again.action(cmd::Save)->isEnabled());
}

TEST_F(MainFrameTest, ClosingWritesNothingWhenThePageIsUnchanged) {
    MainFrame& f = openFrame();
    EXPECT_TRUE(f.close());
    EXPECT_FALSE(pageExists("FrontPage"));
    EXPECT_TRUE(questions_.isEmpty());
}

TEST_F(MainFrameTest, ExitSavesTheModifiedPageAndClosesTheWindow) {
    MainFrame& f = openFrame();
    typeAtEnd(f.editor(), "Eggs");
    f.runCommand(cmd::Exit);
    settle(f);
    EXPECT_FALSE(f.isVisible());
    EXPECT_NE(readPage("FrontPage").find("Eggs"), std::string::npos);
}

TEST_F(MainFrameTest, SaveIntoAnUnwritableNotebookKeepsThePageModifiedAndSaysWhy) {
    MainFrame& f = openFrame();
    // Permission bits do not stop root; a file in the folder's place does.
    std::filesystem::remove_all(notebookFolder());
    std::ofstream(notebookFolder()) << "not a folder";

    typeAtEnd(f.editor(), "Precious");
    f.runCommand(cmd::Save);
    settle(f);
    ASSERT_EQ(errors_.size(), 1);
    EXPECT_TRUE(errors_[0].contains("FrontPage")) << errors_[0].toStdString();
    EXPECT_TRUE(f.operations().IsModified());
    EXPECT_EQ(f.windowTitle(), "Tavix - Front Page*");
    EXPECT_TRUE(f.action(cmd::Save)->isEnabled());

    // Following a link would leave the unsaved page: it stays, and the
    // history does not move.
    f.OpenFoundPage(FoundPage{u"OtherPage", u""});
    settle(f);
    EXPECT_EQ(pageName(f), "FrontPage");
    EXPECT_FALSE(f.history().CanGoBack());
    EXPECT_EQ(errors_.size(), 2);
    EXPECT_TRUE(QString::fromStdU16String(f.editor().GetPlainText()).contains("Precious"));

    // Closing asks (once, without a second error message) and a refusal
    // keeps the window and the edits.
    closeAnyway_ = false;
    EXPECT_FALSE(f.close());
    EXPECT_TRUE(f.isVisible());
    ASSERT_EQ(questions_.size(), 1);
    EXPECT_TRUE(questions_[0].contains("FrontPage"));
    EXPECT_EQ(errors_.size(), 2);
    EXPECT_TRUE(QString::fromStdU16String(f.editor().GetPlainText()).contains("Precious"));

    closeAnyway_ = true;
    EXPECT_TRUE(f.close());
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(questions_.size(), 2);
}

TEST_F(MainFrameTest, SaveWorksAgainOnceTheFolderIsBack) {
    MainFrame& f = openFrame();
    std::filesystem::remove_all(notebookFolder());
    std::ofstream(notebookFolder()) << "x";
    typeAtEnd(f.editor(), "Later");
    f.runCommand(cmd::Save);
    EXPECT_TRUE(f.operations().IsModified());

    std::filesystem::remove(notebookFolder());
    std::filesystem::create_directory(notebookFolder());
    f.runCommand(cmd::Save);
    settle(f);
    EXPECT_FALSE(f.operations().IsModified());
    EXPECT_NE(readPage("FrontPage").find("Later"), std::string::npos);
}

TEST_F(MainFrameTest, EditCommandsFollowTheSelectionClipboardAndText) {
    MainFrame& f = openFrame();
    PageEditor& e = f.editor();
    e.setSelection(3, 3);
    settle(f);
    EXPECT_FALSE(f.action(cmd::Cut)->isEnabled());
    EXPECT_FALSE(f.action(cmd::Copy)->isEnabled());
    EXPECT_FALSE(f.action(cmd::Clear)->isEnabled());
    EXPECT_TRUE(f.action(cmd::SelectAll)->isEnabled());
    EXPECT_FALSE(f.action(cmd::Undo)->isEnabled());
    EXPECT_FALSE(f.action(cmd::Redo)->isEnabled());

    e.setSelection(0, 5);
    settle(f);
    EXPECT_TRUE(f.action(cmd::Cut)->isEnabled());
    EXPECT_TRUE(f.action(cmd::Copy)->isEnabled());
    EXPECT_TRUE(f.action(cmd::Clear)->isEnabled());

    QGuiApplication::clipboard()->setText("pasted");
    settle(f);
    EXPECT_TRUE(f.action(cmd::Paste)->isEnabled());
    QGuiApplication::clipboard()->clear();
    settle(f);
    EXPECT_FALSE(f.action(cmd::Paste)->isEnabled());

    // Copy then Cut through the commands, then Undo and Redo.
    f.runCommand(cmd::Copy);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "Front");
    f.runCommand(cmd::Cut);
    settle(f);
    EXPECT_TRUE(QString::fromStdU16String(e.GetPlainText()).startsWith(" Page"));
    EXPECT_TRUE(f.action(cmd::Undo)->isEnabled());
    f.runCommand(cmd::Undo);
    settle(f);
    EXPECT_TRUE(QString::fromStdU16String(e.GetPlainText()).startsWith("Front Page"));
    EXPECT_TRUE(f.action(cmd::Redo)->isEnabled());

    f.runCommand(cmd::SelectAll);
    f.runCommand(cmd::Clear);
    settle(f);
    EXPECT_FALSE(f.action(cmd::SelectAll)->isEnabled());
}

TEST_F(MainFrameTest, EditCommandsActOnThePageEditorWhateverHasTheFocus) {
    MainFrame& f = openFrame();
    f.runCommand(cmd::PageKeywords);
    f.keywordsPane().SetKeywords(u"Keep these");
    f.keywordsPane().editor().setFocus();
    f.runCommand(cmd::SelectAll);
    f.runCommand(cmd::Clear);
    EXPECT_TRUE(f.editor().GetPlainText().empty());
    EXPECT_EQ(f.keywordsPane().GetKeywords(), u"Keep these");
}

TEST_F(MainFrameTest, StatusBarCountsDisplayLinesOfAWrappedParagraph) {
    MainFrame& f = openFrame();
    f.resize(420, 500);
    QString text;
    for (int i = 0; i < 40; ++i)
        text += "word ";
    f.editor().SetPlainText(text.toStdU16String());
    settle(f);
    ASSERT_GT(f.editor().lineCount(), 1);
    const int second = f.editor().lineStart(1);
    ASSERT_GT(second, 0);

    f.editor().setSelection(0, 0);
    settle(f);
    EXPECT_EQ(f.lineText(), "Line 0");
    EXPECT_EQ(f.columnText(), "Col 0");
    EXPECT_EQ(f.charText(), "Char 0");

    f.editor().setSelection(second, second);
    settle(f);
    EXPECT_EQ(f.lineText(), "Line 1");
    EXPECT_EQ(f.columnText(), "Col 0");
    EXPECT_EQ(f.charText(), QString("Char %1").arg(second));

    f.editor().setSelection(second + 3, second + 3);
    settle(f);
    EXPECT_EQ(f.lineText(), "Line 1");
    EXPECT_EQ(f.columnText(), "Col 3");
}

TEST_F(MainFrameTest, TitleShowsUntitledForAPageWithoutTitle) {
    // A page file whose title is empty.
    std::ofstream(pageFile("Blank"))
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><html xmlns=\"http://www.w3.org/1999/xhtml\">"
           "<head><title></title></head><body><p>x</p></body></html>";
    MainFrame& f = openFrame();
    f.OpenFoundPage(FoundPage{u"Blank", u""});
    settle(f);
    EXPECT_EQ(pageName(f), "Blank");
    EXPECT_EQ(f.windowTitle(), "Tavix - untitled");
}

}  // namespace
}  // namespace tavix::test
