// Renaming a page: the file takes the new name, the link words naming it
// change in every page that holds them, and not one other byte changes.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>

#include <gtest/gtest.h>

#include "index/IndexOracle.h"
#include "index/PageRename.h"
#include "index/RenameJournal.h"
#include "store/FileStamp.h"
#include "support/TempDir.h"

namespace tavix {
namespace {

using test::pageFile;
using test::TempDir;

// One piece of page text as it is before the rename of ShoppingList to
// GroceryList and as it must be after. Pieces are joined with blanks or
// markup so each stands as its own word unless it says otherwise.
struct Piece {
    const char* before;
    const char* after;
};

const Piece kBodyPieces[] = {
    {"ShoppingList", "GroceryList"},
    {"(ShoppingList)", "(GroceryList)"},
    {"ShoppingList's", "GroceryList's"},
    {"ShoppingList_x", "GroceryList_x"},
    {"ShoppingList&amp;co", "GroceryList&amp;co"},
    {"<b>ShoppingList</b>", "<b>GroceryList</b>"},
    // One word split by formatting: the new name fills the same pieces.
    {"Shop<b>ping</b>List", "Groc<b>eryL</b>ist"},
    {"<i>Shopping</i>List", "<i>GroceryL</i>ist"},
    // The file's line break takes no place: one word on the screen.
    {"Shopping\nList", "GroceryL\nist"},
    // Other words, which stay.
    {"ShoppingListOld", "ShoppingListOld"},
    {"ShoppingLists", "ShoppingLists"},
    {"xShoppingList", "xShoppingList"},
    {"ShoppingList\xC3\xA9", "ShoppingList\xC3\xA9"},
    {"ShoppingList2", "ShoppingList2"},
    {"Shopping List", "Shopping List"},
    {"<!-- ShoppingList -->", "<!-- ShoppingList -->"},
    {"<span title=\"ShoppingList\">x</span>", "<span title=\"ShoppingList\">x</span>"},
    {"<?note ShoppingList?>", "<?note ShoppingList?>"},
    {"<![CDATA[ShoppingList <]]>", "<![CDATA[GroceryList <]]>"},
    {"caf\xC3\xA9 &lt;tag&gt; &#233;", "caf\xC3\xA9 &lt;tag&gt; &#233;"},
    {"plain words", "plain words"},
};

const Piece kKeywordPieces[] = {
    {"ShoppingList", "GroceryList"},
    {"ShoppingListOld", "ShoppingListOld"},
    {"food&amp;ShoppingList", "food&amp;GroceryList"},
    {"weekly", "weekly"},
};

struct GeneratedPage {
    std::string before;
    std::string after;
};

GeneratedPage generatePage(std::mt19937& random, const std::string& title) {
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    GeneratedPage page;
    std::string bodyBefore;
    std::string bodyAfter;
    for (std::size_t p = 1 + pick(3); p > 0; --p) {
        const char* tag = pick(3) == 0 ? "h1" : "p";
        bodyBefore += std::string("<") + tag + ">";
        bodyAfter += std::string("<") + tag + ">";
        for (std::size_t w = pick(7); w > 0; --w) {
            const Piece& piece = kBodyPieces[pick(std::size(kBodyPieces))];
            bodyBefore += piece.before;
            bodyAfter += piece.after;
            bodyBefore += ' ';
            bodyAfter += ' ';
        }
        bodyBefore += std::string("</") + tag + ">\n";
        bodyAfter += std::string("</") + tag + ">\n";
    }
    std::string keywordsBefore;
    std::string keywordsAfter;
    for (std::size_t w = pick(3); w > 0; --w) {
        const Piece& piece = kKeywordPieces[pick(std::size(kKeywordPieces))];
        keywordsBefore += std::string(piece.before) + " ";
        keywordsAfter += std::string(piece.after) + " ";
    }
    page.before = pageFile(title, bodyBefore, keywordsBefore);
    page.after = pageFile(title, bodyAfter, keywordsAfter);
    return page;
}

class RenameTest : public ::testing::Test {
protected:
    RenameTest() {
        std::filesystem::create_directory(folder());
        EXPECT_TRUE(index.open(folder(), dir.file("cache")));
    }
    std::string folder() const { return dir.file("nb"); }
    std::string file(const std::string& page) const { return folder() + "/" + page + ".xhtml"; }
    std::string read(const std::string& page) const {
        std::string bytes;
        readWholeFile(file(page), bytes);
        return bytes;
    }
    void write(const std::string& page, const std::string& bytes) const {
        dir.write("nb/" + page + ".xhtml", bytes);
    }
    std::map<std::string, std::string> snapshot() const {
        std::map<std::string, std::string> all;
        for (const auto& entry : std::filesystem::directory_iterator(folder()))
            all[entry.path().filename().string()] = read(entry.path().stem().string());
        return all;
    }

    XmlLibrary xml;
    TempDir dir;
    NotebookIndex index;
};

TEST_F(RenameTest, ReplacesWholeLinkWordsOnlyAndNoOtherByte) {
    std::mt19937 random(11);
    std::map<std::string, GeneratedPage> pages;
    for (int i = 0; i < 80; ++i) {
        const std::string name = "Page" + std::to_string(100 + i) + "Name";
        pages[name] = generatePage(
            random, i % 5 == 0 ? "ShoppingList and more" : "Page " + std::to_string(i));
        write(name, pages[name].before);
    }
    // The page itself: its default title follows the name, its self-link too.
    GeneratedPage self = generatePage(random, "Shopping List");
    const std::string titled = "<title>Shopping List</title>";
    self.after.replace(self.after.find(titled), titled.size(), "<title>Grocery List</title>");
    write("ShoppingList", self.before);
    // Pages that hold the name but are left alone, each for its reason.
    const std::string byReference = pageFile("R", "<p>&#83;hoppingList and ShoppingList</p>");
    const std::string damaged =
        pageFile("D", "<p>ShoppingList</p>").substr(0, 100) + "<p>ShoppingList";
    const std::string protectedPage = pageFile("P", "<p>ShoppingList</p>");
    write("ByReference", byReference);
    write("Damaged", damaged);
    write("Protected", protectedPage);
    ::chmod(file("Protected").c_str(), 0444);

    const RenameOutcome outcome = renamePage(folder(), index, u"ShoppingList", u"GroceryList");
    ASSERT_TRUE(outcome.status) << outcome.status.message();

    EXPECT_FALSE(pathExists(file("ShoppingList")));
    EXPECT_EQ(read("GroceryList"), self.after);
    for (const auto& [name, page] : pages)
        EXPECT_EQ(read(name), page.after) << name;
    EXPECT_EQ(read("ByReference"), byReference);
    EXPECT_EQ(read("Damaged"), damaged);
    EXPECT_EQ(read("Protected"), protectedPage);
    std::vector<std::u16string> left;
    for (const auto& l : outcome.leftAlone)
        left.push_back(l.page);
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::u16string>{u"ByReference", u"Damaged", u"Protected"}));
    for (const auto& l : outcome.leftAlone)
        EXPECT_FALSE(l.why.empty());
    EXPECT_FALSE(pathExists(renameJournalPath(folder())));

    // The index knows at once, and agrees with the files.
    std::vector<std::u16string> backlinks;
    ASSERT_TRUE(index.backlinksOf(u"ShoppingList", backlinks));
    EXPECT_EQ(backlinks, (std::vector<std::u16string>{u"ByReference", u"Damaged", u"Protected"}));
    EXPECT_TRUE(test::agreesWithFolder(index, {u"grocery", u"shopping"}, "after the rename"));
    for (const std::u16string& changed : outcome.changed) {
        std::vector<std::u16string> links;
        ASSERT_TRUE(index.linksOf(changed, links));
        EXPECT_NE(std::find(links.begin(), links.end(), u"GroceryList"), links.end())
            << toUtf8(changed);
    }

    // Renaming back is an ordinary rename, and gives every byte back.
    ::chmod(file("Protected").c_str(), 0644);
    const RenameOutcome back = renamePage(folder(), index, u"GroceryList", u"ShoppingList");
    ASSERT_TRUE(back.status) << back.status.message();
    EXPECT_EQ(read("ShoppingList"), self.before);
    for (const auto& [name, page] : pages)
        EXPECT_EQ(read(name), page.before) << name;
}

// Files written by other programs, byte for byte before and after; and
// those the rename must leave alone, each with its reason.
TEST_F(RenameTest, FilesWrittenByOtherProgramsKeepEveryOtherByte) {
    const std::string doctype =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML "
        "1.0 "
        "Strict//EN\" \"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">\r\n";
    const std::vector<std::pair<std::string, std::string>> changed = {
        {doctype + "<html xmlns=\"http://www.w3.org/1999/xhtml\">\r\n<head><title>T</title>"
                   "<meta name='keywords' content='ShoppingList &amp; more'/></head>\r\n<body>\r\n"
                   "<p>&nbsp;ShoppingList&nbsp;and Shopping\r\nList</p>\r\n</body></html>\r\n",
         doctype + "<html xmlns=\"http://www.w3.org/1999/xhtml\">\r\n<head><title>T</title>"
                   "<meta name='keywords' content='GroceryList &amp; more'/></head>\r\n<body>\r\n"
                   "<p>&nbsp;GroceryList&nbsp;and GroceryL\r\nist</p>\r\n</body></html>\r\n"},
        {"<x:html "
         "xmlns:x=\"http://www.w3.org/1999/xhtml\"><x:head><x:title>ShoppingList</x:title></x:head>"
         "<x:body><x:p x:class=\"ShoppingList\">ShoppingList</x:p><x:p><span title=\"a > "
         "ShoppingList\">"
         "ShoppingList</span></x:p></x:body></x:html>",
         "<x:html "
         "xmlns:x=\"http://www.w3.org/1999/xhtml\"><x:head><x:title>ShoppingList</x:title></x:head>"
         "<x:body><x:p x:class=\"ShoppingList\">GroceryList</x:p><x:p><span title=\"a > "
         "ShoppingList\">"
         "GroceryList</span></x:p></x:body></x:html>"},
        {"\xEF\xBB\xBF" + pageFile("T", "<p>ShoppingList</p><p/><!----><p>ShoppingList</p>") +
             "<!-- ShoppingList -->",
         "\xEF\xBB\xBF" + pageFile("T", "<p>GroceryList</p><p/><!----><p>GroceryList</p>") +
             "<!-- ShoppingList -->"},
    };
    const std::vector<std::pair<std::string, std::string>> leftAlone = {
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" +
             pageFile("T", "<p>ShoppingList caf\xE9</p>"),
         "UTF-8"},
        {"<!DOCTYPE html [<!ENTITY list \"ShoppingList\">]>" +
             pageFile("T", "<p>&list; ShoppingList</p>"),
         "declared entity"},
        {pageFile("T", "<p>Shopping&#76;ist</p>"), "character reference"},
        // The damage hides the link from the index; the file still says it.
        {pageFile("T", "<p>broken < here</p><p>ShoppingList</p>"), "damaged"},
    };
    write("ShoppingList", pageFile("S", "<p>x</p>"));
    write("DamagedElsewhere", pageFile("T", "<p>broken < here</p><p>OtherPage</p>"));  // not named
    for (std::size_t i = 0; i < changed.size(); ++i)
        write("Changed" + std::to_string(i), changed[i].first);
    for (std::size_t i = 0; i < leftAlone.size(); ++i)
        write("Left" + std::to_string(i), leftAlone[i].first);

    const RenameOutcome outcome = renamePage(folder(), index, u"ShoppingList", u"GroceryList");
    ASSERT_TRUE(outcome.status) << outcome.status.message();
    for (std::size_t i = 0; i < changed.size(); ++i)
        EXPECT_EQ(read("Changed" + std::to_string(i)), changed[i].second) << i;
    ASSERT_EQ(outcome.leftAlone.size(), leftAlone.size());
    for (std::size_t i = 0; i < leftAlone.size(); ++i) {
        EXPECT_EQ(read("Left" + std::to_string(i)), leftAlone[i].first) << i;
        EXPECT_EQ(outcome.leftAlone[i].page, fromUtf8("Left" + std::to_string(i)));
        EXPECT_NE(outcome.leftAlone[i].why.find(leftAlone[i].second), std::string::npos)
            << outcome.leftAlone[i].why;
    }
}

TEST_F(RenameTest, RefusesWhatCannotBeAPageNameAndChangesNothing) {
    write("ShoppingList", pageFile("Shopping List", "<p>x</p>"));
    write("GroceryList", pageFile("Grocery List", "<p>ShoppingList</p>"));
    write("Other", pageFile("Other", "<p>ShoppingList</p>"));
    const auto before = snapshot();
    const std::vector<std::pair<std::u16string, std::u16string>> refused = {
        {u"ShoppingList", u"Groceries"},        // no inner capital
        {u"ShoppingList", u"grocery List"},     // two words
        {u"ShoppingList", u"GroceryList Two"},  // two words
        {u"ShoppingList", u"Grocery/List"},     // not a file name
        {u"ShoppingList", u""},
        {u"ShoppingList", u"GroceryList"},   // exists
        {u"ShoppingList", u"ShoppingList"},  // the same
        {u"NoSuchPage", u"NewPage"},         // no such page
        {u"../ShoppingList", u"NewPage"},
    };
    for (const auto& [from, to] : refused) {
        const RenameOutcome outcome = renamePage(folder(), index, from, to);
        EXPECT_FALSE(outcome.status) << toUtf8(from) << " -> " << toUtf8(to);
        EXPECT_FALSE(outcome.status.message().empty());
        EXPECT_EQ(snapshot(), before) << toUtf8(to);
    }
    EXPECT_TRUE(checkNewPageName(u"GroceryList"));
    EXPECT_TRUE(checkNewPageName(u"Caf\u00e9Bar"));
    EXPECT_FALSE(checkNewPageName(u"\u00c9coleNormale"));
}

TEST_F(RenameTest, LinksAndPermissionsOfTheFilesAreKept) {
    std::filesystem::create_directory(dir.file("elsewhere"));
    dir.write("elsewhere/real.xhtml", pageFile("Linked", "<p>See ShoppingList</p>"));
    std::filesystem::create_symlink(dir.file("elsewhere/real.xhtml"), file("Linked"));
    write("ShoppingList", pageFile("Shopping List", "<p>ShoppingList itself</p>"));
    ::chmod(file("ShoppingList").c_str(), 0640);
    write("Twin", pageFile("Twin", "<p>ShoppingList</p>"));
    std::filesystem::create_hard_link(file("Twin"), dir.file("twin-copy"));

    const RenameOutcome outcome = renamePage(folder(), index, u"ShoppingList", u"GroceryList");
    ASSERT_TRUE(outcome.status) << outcome.status.message();
    EXPECT_TRUE(std::filesystem::is_symlink(file("Linked")));
    EXPECT_EQ(dir.read("elsewhere/real.xhtml"), pageFile("Linked", "<p>See GroceryList</p>"));
    struct stat info {};
    ASSERT_EQ(::stat(file("GroceryList").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(read("GroceryList"), pageFile("Grocery List", "<p>GroceryList itself</p>"));
    EXPECT_EQ(dir.read("twin-copy"), pageFile("Twin", "<p>GroceryList</p>"));
    EXPECT_EQ(outcome.changed, (std::vector<std::u16string>{u"GroceryList", u"Linked", u"Twin"}));
}

// A journal left by a rename that was cut short is finished; one that had
// begun to undo itself is undone; pages changed meanwhile are never
// overwritten; a journal that cannot be read is kept, not followed.
TEST_F(RenameTest, AnUnfinishedRenameIsCompletedOrUndoneAtTheNextOpening) {
    const std::string from = pageFile("Shopping List", "<p>ShoppingList</p>");
    const std::string a = pageFile("A", "<p>ShoppingList</p>");
    const std::string b = pageFile("B", "<p>ShoppingList</p>");
    auto reset = [&] {
        std::filesystem::remove_all(folder());
        std::filesystem::create_directory(folder());
        write("ShoppingList", from);
        write("PageA", a);
        write("PageB", b);
    };
    RenameJournal journal;
    journal.from = "ShoppingList";
    journal.to = "GroceryList";
    journal.movedHash = contentHash(from);
    journal.entries = {{"GroceryList", from, pageFile("Grocery List", "<p>GroceryList</p>")},
                       {"PageA", a, pageFile("A", "<p>GroceryList</p>")},
                       {"PageB", b, pageFile("B", "<p>GroceryList</p>")}};

    // Nothing applied yet: completed.
    reset();
    ASSERT_TRUE(writeFileAtomically(renameJournalPath(folder()), encodeJournal(journal)));
    JournalRecovery recovery = recoverJournal(folder(), &index);
    ASSERT_TRUE(recovery.status) << recovery.status.message();
    EXPECT_TRUE(recovery.found);
    EXPECT_FALSE(recovery.undone);
    EXPECT_EQ(read("GroceryList"), journal.entries[0].after);
    EXPECT_EQ(read("PageA"), journal.entries[1].after);
    EXPECT_FALSE(pathExists(file("ShoppingList")));
    EXPECT_FALSE(pathExists(renameJournalPath(folder())));
    EXPECT_TRUE(test::agreesWithFolder(index, {}, "completed"));
    recovery = recoverJournal(folder(), &index);  // nothing left to do
    EXPECT_TRUE(recovery.status);
    EXPECT_FALSE(recovery.found);

    // Half undone: undone to the end.
    reset();
    std::filesystem::rename(file("ShoppingList"), file("GroceryList"));
    write("PageA", journal.entries[1].after);
    RenameJournal back = journal;
    back.direction = RenameJournal::Direction::Back;
    ASSERT_TRUE(writeFileAtomically(renameJournalPath(folder()), encodeJournal(back)));
    recovery = recoverJournal(folder(), &index);
    ASSERT_TRUE(recovery.status) << recovery.status.message();
    EXPECT_TRUE(recovery.undone);
    EXPECT_EQ(read("ShoppingList"), from);
    EXPECT_EQ(read("PageA"), a);
    EXPECT_EQ(read("PageB"), b);
    EXPECT_FALSE(pathExists(file("GroceryList")));

    // A page someone changed meanwhile keeps their change.
    reset();
    write("PageB", pageFile("B", "<p>edited by hand: ShoppingList</p>"));
    ASSERT_TRUE(writeFileAtomically(renameJournalPath(folder()), encodeJournal(journal)));
    recovery = recoverJournal(folder(), &index);
    ASSERT_TRUE(recovery.status);
    ASSERT_EQ(recovery.conflicts.size(), 1u);
    EXPECT_EQ(recovery.conflicts[0].rfind("PageB: ", 0), 0u) << recovery.conflicts[0];
    EXPECT_EQ(read("PageB"), pageFile("B", "<p>edited by hand: ShoppingList</p>"));
    EXPECT_EQ(read("PageA"), journal.entries[1].after);

    // A page that cannot be written: the rename is turned back.
    reset();
    ::chmod(file("PageB").c_str(), 0444);
    ASSERT_TRUE(writeFileAtomically(renameJournalPath(folder()), encodeJournal(journal)));
    recovery = recoverJournal(folder(), &index);
    ASSERT_TRUE(recovery.status) << recovery.status.message();
    EXPECT_TRUE(recovery.undone);
    EXPECT_EQ(read("ShoppingList"), from);
    EXPECT_EQ(read("PageA"), a);
    EXPECT_EQ(read("PageB"), b);
    EXPECT_FALSE(pathExists(file("GroceryList")));
    EXPECT_FALSE(pathExists(renameJournalPath(folder())));
    ::chmod(file("PageB").c_str(), 0644);

    // Damaged journals of every kind: kept aside, never followed.
    reset();
    const std::string whole = encodeJournal(journal);
    for (const std::string& bad :
         {whole.substr(0, whole.size() / 2), whole.substr(0, whole.size() - 1),
          std::string("garbage"), std::string()}) {
        ASSERT_TRUE(writeFileAtomically(renameJournalPath(folder()), bad));
        recovery = recoverJournal(folder(), &index);
        EXPECT_FALSE(recovery.status);
        EXPECT_NE(recovery.status.message().find("damaged"), std::string::npos)
            << recovery.status.message();
        EXPECT_EQ(read("ShoppingList"), from);
        EXPECT_EQ(read("PageA"), a);
        EXPECT_FALSE(pathExists(renameJournalPath(folder())));
    }
    std::string flipped = whole;
    flipped[whole.size() / 2] ^= 1;
    RenameJournal decoded;
    EXPECT_FALSE(decodeJournal(flipped, decoded));
    EXPECT_TRUE(decodeJournal(whole, decoded));
    EXPECT_EQ(decoded.entries.size(), 3u);
    EXPECT_EQ(decoded.entries[2].after, journal.entries[2].after);
}

}  // namespace
}  // namespace tavix
