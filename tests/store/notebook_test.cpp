#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "formats/PageDocument.h"
#include "formats/XmlSupport.h"
#include "store/FileSystem.h"
#include "store/Notebook.h"
#include "store/TextCodec.h"
#include "support/TempDir.h"

namespace tavix {
namespace {

using test::TempDir;

std::string pageFile(const std::string& title, const std::string& body) {
    return "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>" + title +
           "</title></head>" + body + "</html>";
}

std::vector<std::string> filesIn(const std::string& folder) {
    auto names = listRegularFiles(folder);
    std::sort(names.begin(), names.end());
    return names;
}

std::u16string numbered(const char16_t* prefix, int i) {
    const std::string digits = (i < 10 ? "0" : "") + std::to_string(i);
    return prefix + std::u16string(digits.begin(), digits.end());
}

class NotebookTest : public ::testing::Test {
protected:
    void SetUp() override {
        notebook.setFolder(dir.path16());
        notebook.setDiagnostics(diagnostics);
    }

    XmlLibrary xml;
    TempDir dir;
    std::ostringstream diagnostics;
    Notebook notebook;
};

TEST(NotebookNames, TitleSpellsOutCapitals) {
    EXPECT_EQ(Notebook::titleFromName(u"FrontPage"), u"Front Page");
    EXPECT_EQ(Notebook::titleFromName(u"ABC"), u"A B C");
    EXPECT_EQ(Notebook::titleFromName(u"lowercase"), u"lowercase");
    EXPECT_EQ(Notebook::titleFromName(u"shoppingList"), u"shopping List");
    EXPECT_EQ(Notebook::titleFromName(u""), u"");
    EXPECT_EQ(Notebook::titleFromName(u"\u00c9t\u00e9\u00c0Paris"), u"\u00c9t\u00e9 \u00c0 Paris");
    EXPECT_EQ(Notebook::titleFromName(u"Page2Go"), u"Page2 Go");
}

TEST(NotebookNames, UnsafeNamesAreRecognised) {
    for (const std::u16string& name :
         {std::u16string(), std::u16string(u"."), std::u16string(u".."), std::u16string(u"a/b"),
          std::u16string(u"../Up"), std::u16string(u"/etc/passwd"), std::u16string(u"A\0B", 3),
          std::u16string{u'A', char16_t(0xD800)}, std::u16string{char16_t(0xDC00), u'A'},
          // Names the listing could not give back as they are: hidden files,
          // control characters (a line feed splits a list).
          std::u16string(u"..."), std::u16string(u".Dot"), std::u16string(u".xhtml"), std::u16string(u"A\nB"), std::u16string(u"A\tB"),
          std::u16string(u"A\rB"), std::u16string(u"A\x7f"), std::u16string(u"A\u0085B"),
          std::u16string(u"\x1b[31m")})
        EXPECT_FALSE(Notebook::isSafePageName(name)) << toUtf8(name);
    for (const std::u16string& name :
         {std::u16string(u"FrontPage"), std::u16string(u"a.b"), std::u16string(u"Dot."),
          std::u16string(u"notes.xhtml"), std::u16string(u"notes.xhtmlx"), std::u16string(u"notes.XHTML"), std::u16string(u"a..b"),
          std::u16string(u"Caf\u00e9 \U0001F600"), std::u16string(u"back\\slash")})
        EXPECT_TRUE(Notebook::isSafePageName(name)) << toUtf8(name);
}

TEST(NotebookNames, FolderLosesOneTrailingSlash) {
    Notebook nb;
    EXPECT_EQ(nb.name(), u"Default");
    nb.setFolder(u"/x/y/");
    EXPECT_EQ(nb.folder(), u"/x/y");
    EXPECT_EQ(nb.pagePath(u"FrontPage"), u"/x/y/FrontPage.xhtml");
    nb.setFolder(u"/x/y//");
    EXPECT_EQ(nb.folder(), u"/x/y/");
    nb.setFolder(u"/x/y");
    EXPECT_EQ(nb.folder(), u"/x/y");
}

TEST_F(NotebookTest, NewPageComesFromTheTemplateAndWritesNothing) {
    PageDocument& page = notebook.getPage(Notebook::frontPageName());
    EXPECT_EQ(page.name(), u"FrontPage");
    EXPECT_EQ(page.title(), u"Front Page");
    EXPECT_EQ(page.body(), u"<body><h1>Front Page</h1><p></p></body>");
    EXPECT_EQ(page.keywords(), u"");
    EXPECT_TRUE(filesIn(dir.path()).empty());
    EXPECT_EQ(notebook.cacheSize(), 1u);
    EXPECT_EQ(notebook.useCount(u"FrontPage"), 1);
}

TEST_F(NotebookTest, NewPageWithMarkupCharactersInItsNameIsWellFormed) {
    PageDocument& page = notebook.getPage(u"R&D<Notes>");
    EXPECT_EQ(page.title(), u"R&amp; D&lt; Notes&gt;");
    EXPECT_EQ(page.body(), u"<body><h1>R&amp; D&lt; Notes&gt;</h1><p></p></body>");
    EXPECT_TRUE(diagnostics.str().empty());
}

TEST_F(NotebookTest, CacheHitsReturnTheSameDocumentAndCountUses) {
    PageDocument& first = notebook.getPage(u"FrontPage");
    EXPECT_EQ(first.title(), u"Front Page");
    // A file written by someone else later is read into the same document,
    // so no window goes on with a stale copy.
    dir.write("FrontPage.xhtml", pageFile("Changed", "<body><p>x</p></body>"));
    PageDocument& second = notebook.getPage(u"FrontPage");
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(second.title(), u"Changed");
    EXPECT_EQ(second.source().kind, PageSource::File);
    EXPECT_EQ(notebook.useCount(u"FrontPage"), 2);

    // Names are case-sensitive: another letter case is another entry.
    PageDocument& lower = notebook.getPage(u"frontpage");
    EXPECT_NE(&lower, &first);
    EXPECT_EQ(notebook.cacheSize(), 2u);
    EXPECT_EQ(notebook.useCount(u"frontpage"), 1);
    EXPECT_EQ(notebook.useCount(u"NotThere"), 0);
}

TEST_F(NotebookTest, ExistingFileIsParsed) {
    dir.write("ShoppingList.xhtml",
              pageFile("Shopping &amp; List", "<body><h1>Buy</h1><p>milk</p></body>"));
    PageDocument& page = notebook.getPage(u"ShoppingList");
    EXPECT_EQ(page.title(), u"Shopping &amp; List");
    EXPECT_EQ(page.body(), u"<body><h1>Buy</h1><p>milk</p></body>");
    EXPECT_TRUE(diagnostics.str().empty());
}

TEST_F(NotebookTest, DamagedFileReportsToTheNotebooksDiagnostics) {
    dir.write("Broken.xhtml", "<html><head><title>T</title></head><body><p>half");
    PageDocument& page = notebook.getPage(u"Broken");
    EXPECT_EQ(page.title(), u"T");
    EXPECT_NE(diagnostics.str().find("Fatal Error: "), std::string::npos) << diagnostics.str();
}

TEST_F(NotebookTest, FolderNamedLikeAPageIsNotAPageFile) {
    ASSERT_EQ(::mkdir(dir.file("Odd.xhtml").c_str(), 0755), 0);
    PageDocument& page = notebook.getPage(u"Odd");
    // Not a new page: its template saved would replace what is there.
    EXPECT_EQ(page.source().kind, PageSource::Unreadable);
    EXPECT_NE(page.source().readFailure.find("Odd.xhtml"), std::string::npos);
    EXPECT_EQ(page.body(), u"<body><p></p></body>");
    const PageSaveOutcome saved = notebook.savePage(page, page.source().stamp);
    EXPECT_FALSE(saved.status.ok());
    struct stat info {};
    EXPECT_TRUE(::stat(dir.file("Odd.xhtml").c_str(), &info) == 0 && S_ISDIR(info.st_mode));
}

TEST_F(NotebookTest, EvictsTheLeastUsedFirstInNameOrderBeforeInserting) {
    for (int i = 1; i <= 21; ++i)
        notebook.getPage(numbered(u"Page", i));
    EXPECT_EQ(notebook.cacheSize(), 21u);
    notebook.getPage(u"Page01");  // Page01 now used twice
    notebook.getPage(u"Page05");
    notebook.getPage(u"Page05");

    notebook.getPage(u"Page22");
    EXPECT_EQ(notebook.cacheSize(), 21u);
    EXPECT_TRUE(notebook.isCached(u"Page01"));
    EXPECT_FALSE(notebook.isCached(u"Page02"));
    EXPECT_EQ(notebook.useCount(u"Page02"), 0);
    EXPECT_TRUE(notebook.isCached(u"Page22"));
    EXPECT_EQ(notebook.useCount(u"Page05"), 3);

    // An evicted page is read again from its file.
    dir.write("Page02.xhtml", pageFile("From Disk", "<body><p>saved</p></body>"));
    PageDocument& again = notebook.getPage(u"Page02");
    EXPECT_EQ(again.title(), u"From Disk");
    EXPECT_FALSE(notebook.isCached(u"Page03"));
    EXPECT_EQ(notebook.cacheSize(), 21u);

    // The page just inserted may go at the next request if it is least used
    // and first in order; the heavily used ones stay.
    for (int i = 30; i < 60; ++i)
        notebook.getPage(numbered(u"More", i));
    EXPECT_EQ(notebook.cacheSize(), 21u);
    EXPECT_TRUE(notebook.isCached(u"Page01"));
    EXPECT_TRUE(notebook.isCached(u"Page05"));
}

TEST_F(NotebookTest, WritePageReplacesTheFileAndLeavesNoTemporaryFile) {
    ASSERT_TRUE(notebook.writePage(u"FrontPage", "first").ok());
    ASSERT_TRUE(notebook.writePage(u"FrontPage", "second \xE2\x82\xAC").ok());
    EXPECT_EQ(dir.read("FrontPage.xhtml"), "second \xE2\x82\xAC");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"FrontPage.xhtml"});
}

TEST_F(NotebookTest, SavingThroughTheDocumentWritesItsFile) {
    PageDocument& page = notebook.getPage(u"NewIdea");
    page.setKeywords(u"k1 & k2");
    ASSERT_TRUE(page.save().ok());
    const std::string text = dir.read("NewIdea.xhtml");
    EXPECT_NE(text.find("<title>New Idea</title>"), std::string::npos) << text;
    EXPECT_NE(text.find("<body><h1>New Idea</h1><p></p></body>"), std::string::npos) << text;
}

TEST_F(NotebookTest, UnsafeNamesNeverReachTheDiskOutsideTheFolder) {
    TempDir outside;
    outside.write("Secret.xhtml", pageFile("Secret", "<body><p>hidden</p></body>"));
    Notebook inner;
    inner.setDiagnostics(diagnostics);
    ASSERT_TRUE(ensureFolder(outside.file("nb")));
    inner.setFolder(outside.path16() + u"/nb");

    // Shown as a new page, not read from the file one level up.
    PageDocument& page = inner.getPage(u"../Secret");
    EXPECT_EQ(page.body().find(u"hidden"), std::u16string::npos);

    for (const std::u16string& name :
         {std::u16string(u"../Escape"), std::u16string(u""), std::u16string(u".."),
          std::u16string(u"a/b"), std::u16string(u"Nul\0Name", 8)}) {
        const Status s = inner.writePage(name, "evil");
        EXPECT_FALSE(s.ok()) << toUtf8(name);
        EXPECT_NE(s.message().find("name"), std::string::npos) << s.message();
        EXPECT_EQ(s.message().find('\0'), std::string::npos);
    }
    EXPECT_FALSE(page.save().ok());
    EXPECT_EQ(filesIn(outside.path()), std::vector<std::string>{"Secret.xhtml"});
    EXPECT_TRUE(filesIn(outside.file("nb")).empty());
    EXPECT_EQ(outside.read("Secret.xhtml"), pageFile("Secret", "<body><p>hidden</p></body>"));
}

TEST_F(NotebookTest, WriteFailuresAreReportedWithTheirReason) {
    dir.write("FrontPage.xhtml", "old");
    const Status tooLong = notebook.writePage(std::u16string(300, u'L'), "text");
    EXPECT_FALSE(tooLong.ok());
    EXPECT_NE(tooLong.message().find("LLLL"), std::string::npos);

    Notebook broken;
    broken.setFolder(dir.path16() + u"/FrontPage.xhtml/sub");
    const Status s = broken.writePage(u"FrontPage", "new");
    EXPECT_FALSE(s.ok());
    EXPECT_NE(s.message().find("FrontPage.xhtml"), std::string::npos) << s.message();

    Notebook noFolder;
    const Status none = noFolder.writePage(u"FrontPage", "new");
    EXPECT_FALSE(none.ok());
    EXPECT_NE(none.message().find("folder"), std::string::npos) << none.message();
    EXPECT_EQ(dir.read("FrontPage.xhtml"), "old");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"FrontPage.xhtml"});
}

TEST_F(NotebookTest, ListingIsSortedAndSkipsWhatIsNotAPage) {
    for (const char* name : {"b.xhtml", "a.xhtml", "notes.txt", "c.xhtml.xhtml", ".hidden.xhtml",
                             ".tavix-tmp-Ab3", ".xhtml", "Upper.XHTML", "\xFF.xhtml", "d.xhtml",
                             "\xC3\xA9t\xC3\xA9.xhtml", "a.xhtml~", "a.xhtml.bak", "b.xhtml.orig",
                             "e.xhtmlx", ".tavix-tmp-123-abcdefghij", "#d.xhtml#"})
        dir.write(name, "");
    ASSERT_EQ(::mkdir(dir.file("folder.xhtml").c_str(), 0755), 0);

    std::vector<std::u16string> names;
    std::vector<std::u16string> paths;
    for (PageFileIterator it = notebook.pages(); !(it == PageIterator()); ++it) {
        EXPECT_EQ(it->notebookName, u"Default");
        // Every listed page opens the very file it was listed for.
        EXPECT_EQ(it.path(), notebook.pagePath(it->pageName));
        names.push_back(it->pageName);
        paths.push_back(it.path());
    }
    // Only names ending in ".xhtml"; backups and editor files are not pages.
    EXPECT_EQ(names, (std::vector<std::u16string>{u"a", u"b", u"c.xhtml", u"d", u"\u00e9t\u00e9"}));
    ASSERT_EQ(paths.size(), 5u);
    EXPECT_EQ(paths[2], dir.path16() + u"/c.xhtml.xhtml");
    EXPECT_EQ(paths[4], dir.path16() + u"/\u00e9t\u00e9.xhtml");
}

TEST_F(NotebookTest, APageWhoseNameEndsInXhtmlOpensItsOwnFile) {
    dir.write("notes.xhtml.xhtml", pageFile("Inner", "<body><p>doubled</p></body>"));
    dir.write("notes.xhtml~", pageFile("Backup", "<body><p>backup</p></body>"));
    PageFileIterator it = notebook.pages();
    ASSERT_FALSE(it == PageIterator());
    EXPECT_EQ(it->pageName, u"notes.xhtml");
    EXPECT_EQ(notebook.getPage(it->pageName).title(), u"Inner");
    ++it;
    EXPECT_TRUE(it == PageIterator());
}

TEST_F(NotebookTest, TwoPagesThenTheEndMarker) {
    dir.write("Alpha.xhtml", "");
    dir.write("Beta.xhtml", "");
    PageFileIterator it = notebook.pages();
    ASSERT_FALSE(it == PageIterator());
    EXPECT_EQ(*it, (FoundPage{u"Alpha", u"Default"}));
    EXPECT_EQ(it.path(), dir.path16() + u"/Alpha.xhtml");
    ++it;
    EXPECT_EQ(*it, (FoundPage{u"Beta", u"Default"}));
    ++it;
    EXPECT_TRUE(it == PageIterator());
    EXPECT_TRUE(it.path().empty());
    ++it;  // advancing past the end stays at the end
    EXPECT_TRUE(it == PageIterator());
}

TEST_F(NotebookTest, NoFolderMeansNoPagesAndNoDisk) {
    Notebook missing;
    missing.setFolder(dir.path16() + u"/does-not-exist");
    EXPECT_TRUE(missing.pages() == PageIterator());

    Notebook unset;
    unset.setDiagnostics(diagnostics);
    EXPECT_TRUE(unset.pages() == PageIterator());
    EXPECT_EQ(unset.getPage(u"FrontPage").title(), u"Front Page");
}

}  // namespace
}  // namespace tavix
