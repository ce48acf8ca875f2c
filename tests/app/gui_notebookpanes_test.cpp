// All Pages, Backlinks, Jump to Page and New Page through the real window,
// over a notebook whose index is built in the background.
#include <fstream>

#include <QLineEdit>
#include <QListView>
#include <QListWidget>

#include "app/FrameFixture.h"
#include "app/IndexService.h"
#include "store/TextCodec.h"
#include "ui/NotebookPanes.h"

namespace tavix::test {
namespace {

class NotebookPanesTest : public FrameFixture {
protected:
    void writePage(const std::string& name, const std::string& title, const std::string& text) {
        std::ofstream(pageFile(name)) << "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>" << title
                                      << "</title></head><body><p>" << text << "</p></body></html>";
    }
    static QStringList shownTitles(MainFrame& frame) {
        QStringList titles;
        const PageTitleModel& model = frame.allPagesPane().model();
        for (int row = 0; row < model.rowCount(); ++row)
            titles << model.data(model.index(row), Qt::DisplayRole).toString();
        return titles;
    }
    static QStringList backlinks(MainFrame& frame) {
        QStringList names;
        QListWidget& list = frame.backlinksPane().list();
        for (int row = 0; row < list.count(); ++row)
            names << list.item(row)->data(Qt::UserRole).toString();
        return names;
    }
    MainFrame& openIndexed() {
        MainFrame& frame = openFrame();
        IndexService::of(*store_).waitIdle();
        settle(frame);
        return frame;
    }
};

TEST_F(NotebookPanesTest, AllPagesListsFiltersAndOpens) {
    writePage("FrontPage", "Front Page", "see ShoppingList");
    writePage("ShoppingList", "Shopping List", "milk and GardenPlan");
    writePage("GardenPlan", "Garden plan for spring", "tomatoes");
    MainFrame& frame = openIndexed();
    EXPECT_FALSE(frame.allPagesPane().isHidden());
    EXPECT_EQ(shownTitles(frame), QStringList({"Front Page", "Garden plan for spring", "Shopping List"}));
    EXPECT_EQ(frame.allPagesPane().list().currentIndex().row(), 0) << "the open page is selected";

    // The filter narrows by name or title, ignoring case, as the user types.
    QTest::keyClicks(&frame.allPagesPane().filterField(), "SPRING");
    EXPECT_EQ(shownTitles(frame), QStringList({"Garden plan for spring"}));
    frame.allPagesPane().filterField().clear();
    QTest::keyClicks(&frame.allPagesPane().filterField(), "list");
    EXPECT_EQ(shownTitles(frame), QStringList({"Shopping List"}));
    QTest::keyClick(&frame.allPagesPane().filterField(), Qt::Key_Return);
    settle(frame);
    EXPECT_EQ(pageName(frame), "ShoppingList");

    // A page another program writes appears without a restart.
    frame.allPagesPane().filterField().clear();
    writePage("TravelLog", "Travel Log", "from elsewhere");
    QTRY_VERIFY_WITH_TIMEOUT(shownTitles(frame).contains("Travel Log"), 5000);
}

TEST_F(NotebookPanesTest, BacklinksFollowTheOpenPageAndEverySave) {
    writePage("FrontPage", "Front Page", "see ShoppingList");
    writePage("ShoppingList", "Shopping List", "milk");
    writePage("GardenPlan", "Garden Plan", "tomatoes");
    MainFrame& frame = openIndexed();
    frame.OpenFoundPage(FoundPage{u"ShoppingList", u"Default"});
    settle(frame);
    EXPECT_EQ(backlinks(frame), QStringList({"FrontPage"}));

    // A page that starts linking here shows up as soon as it is saved.
    frame.OpenFoundPage(FoundPage{u"GardenPlan", u"Default"});
    typeAtEnd(frame.editor(), " and the ShoppingList");
    frame.runCommand(cmd::Save);
    frame.OpenFoundPage(FoundPage{u"ShoppingList", u"Default"});
    settle(frame);
    EXPECT_EQ(backlinks(frame), QStringList({"FrontPage", "GardenPlan"}));
}

TEST_F(NotebookPanesTest, JumpToPageByNameOrTitleAndNewPagesAreListedAtOnce) {
    writePage("FrontPage", "Front Page", "text");
    writePage("GardenPlan", "Garden Plan", "tomatoes");
    MainFrame& frame = openIndexed();
    EXPECT_TRUE(frame.jumpToPage("garden plan"));
    EXPECT_EQ(pageName(frame), "GardenPlan");
    EXPECT_TRUE(frame.jumpToPage("FrontPage"));
    EXPECT_EQ(pageName(frame), "FrontPage");
    // A name nobody has yet opens a new page, as a link click would.
    EXPECT_TRUE(frame.jumpToPage("TravelLog"));
    EXPECT_EQ(pageName(frame), "TravelLog");
    EXPECT_FALSE(pageExists("TravelLog"));
    EXPECT_FALSE(frame.jumpToPage("a/b"));
    // Its own name in its heading is no link; a link to it elsewhere is drawn
    // as one to a page still to be made, until the page is written.
    frame.OpenFoundPage(FoundPage{u"GardenPlan", u"Default"});
    typeAtEnd(frame.editor(), " ReadingList");
    const int at = static_cast<int>(frame.editor().GetPlainText().rfind(u"ReadingList")) + 2;
    settle(frame);
    EXPECT_TRUE(frame.editor().linkMarkShowsMissing(at));

    EXPECT_FALSE(frame.newPage("notalinkword"));
    EXPECT_FALSE(frame.newPage("GardenPlan"));
    EXPECT_EQ(errors_.size(), 3);
    EXPECT_TRUE(frame.newPage("ReadingList"));
    EXPECT_EQ(pageName(frame), "ReadingList");
    EXPECT_TRUE(pageExists("ReadingList"));
    settle(frame);
    EXPECT_TRUE(shownTitles(frame).contains("Reading List"));
    frame.GoBack();
    settle(frame);
    EXPECT_EQ(pageName(frame), "GardenPlan");
    EXPECT_FALSE(frame.editor().linkMarkShowsMissing(at));
}

TEST_F(NotebookPanesTest, RenameFollowsInEveryWindowAndDeleteGoesToTheTrash) {
    writePage("FrontPage", "Front Page", "see ShoppingList, not ShoppingListOld");
    writePage("ShoppingList", "Shopping List", "milk");
    writePage("ShoppingListOld", "Old List", "bread");
    MainFrame& a = openIndexed();
    MainFrame& b = openIndexed();
    b.OpenFoundPage(FoundPage{u"ShoppingList", u"Default"});
    typeAtEnd(b.editor(), " and eggs");  // unsaved edits in the other window
    a.OpenFoundPage(FoundPage{u"ShoppingList", u"Default"});

    EXPECT_FALSE(a.renamePage("not a link word"));
    EXPECT_FALSE(a.renamePage("ShoppingListOld"));
    ASSERT_TRUE(a.renamePage("GroceryList"));
    settle(a);
    settle(b);
    EXPECT_FALSE(pageExists("ShoppingList"));
    EXPECT_NE(readPage("GroceryList").find("milk and eggs"), std::string::npos) << readPage("GroceryList");
    EXPECT_NE(readPage("FrontPage").find("see GroceryList, not ShoppingListOld"), std::string::npos);
    for (MainFrame* frame : {&a, &b}) {
        EXPECT_EQ(pageName(*frame), "GroceryList");
        EXPECT_FALSE(frame->operations().IsModified());
        ASSERT_TRUE(frame->history().PeekBack());
        EXPECT_EQ(frame->history().current()->name, u"GroceryList");
    }
    EXPECT_TRUE(shownTitles(a).contains("Shopping List") || shownTitles(a).contains("Grocery List"));
    EXPECT_FALSE(QStringList(shownTitles(a)).filter("Old List").isEmpty());

    // Delete: to the trash, back at the front page, never the front page.
    ASSERT_TRUE(a.deletePage());
    EXPECT_FALSE(pageExists("GroceryList"));
    EXPECT_EQ(pageName(a), "FrontPage");
    EXPECT_TRUE(std::filesystem::exists(dataHome_ + "/Trash/files/GroceryList.xhtml"));
    EXPECT_TRUE(std::filesystem::exists(dataHome_ + "/Trash/info/GroceryList.xhtml.trashinfo"));
    EXPECT_FALSE(a.deletePage());
    EXPECT_TRUE(pageExists("FrontPage"));
    // Restored by moving the file back, it is a page again.
    std::filesystem::rename(dataHome_ + "/Trash/files/GroceryList.xhtml", pageFile("GroceryList"));
    EXPECT_TRUE(a.jumpToPage("GroceryList"));
    EXPECT_NE(a.editor().GetPlainText().find(u"milk and eggs"), std::u16string::npos);
}

}  // namespace
}  // namespace tavix::test
