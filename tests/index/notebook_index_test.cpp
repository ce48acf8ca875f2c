// The notebook index against the truth of the folder: whatever the program,
// another program or another connection does to the page files, update()
// (and pageSaved() for the program's own saves) must leave an index that
// answers every query as a full scan of the files would.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "formats/PageDocument.h"
#include "index/IndexOracle.h"
#include "support/TempDir.h"

namespace tavix {
namespace {

using test::pageFile;
using test::TempDir;

const std::vector<std::u16string> kFilterParts = {
    u"page", u"PAGE", u"shopping", u"caf\u00c9", u"\u00fcbers", u"ab c", u"zzz", u"", u"title"};

// Same-length link words, so that an edit from outside can keep the size.
const char* const kSameLength[] = {"AlphaPage", "DeltaPage", "GammaPage", "OmegaPage"};
const char* const kNames[] = {"AlphaPage",       "DeltaPage",       "GammaPage", "OmegaPage",
                              "ShoppingList",    "ShoppingListOld", "Ab",        "Ab c",
                              "Caf\u00e9 Notes", "\u00dcbersicht"};

class Folder {
public:
    explicit Folder(std::string path) : path_(std::move(path)) {}
    std::string file(const std::string& name) const { return path_ + "/" + name + ".xhtml"; }
    bool exists(const std::string& name) const { return pathExists(file(name)); }
    std::string read(const std::string& name) const {
        std::string bytes;
        readWholeFile(file(name), bytes);
        return bytes;
    }
    // Written in place, as an editor that does not replace files would.
    void writeInPlace(const std::string& name, const std::string& bytes) const {
        std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Random page text: paragraphs of plain words and link words, some link
// words split by formatting (still one word), keywords holding more.
std::string randomPage(std::mt19937& random, const std::string& title) {
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    const char* const plain[] = {"plain", "words", "and", "more", "Title", "page", "caf\u00e9"};
    std::string body;
    const std::size_t paragraphs = 1 + pick(4);
    for (std::size_t p = 0; p < paragraphs; ++p) {
        const std::string tag = pick(3) == 0 ? "h2" : "p";
        body += "<" + tag + ">";
        const std::size_t words = pick(8);
        for (std::size_t w = 0; w < words; ++w) {
            switch (pick(6)) {
                case 0: body += kSameLength[pick(4)]; break;
                case 1: body += kNames[pick(10)]; break;
                case 2: body += "Shop<b>ping</b>List"; break;
                default: body += plain[pick(7)]; break;
            }
            body += " ";
        }
        body += "</" + tag + ">";
    }
    std::string keywords;
    if (pick(2) == 0)
        keywords = std::string(kSameLength[pick(4)]) + " plain " + kNames[pick(10)];
    return pageFile(title, body, keywords);
}

class IndexTest : public ::testing::Test {
protected:
    IndexTest() : notebook(dir.file("nb")) {
        std::filesystem::create_directory(dir.file("nb"));
        ::setenv("XDG_CACHE_HOME", dir.file("cache").c_str(), 1);
    }

    std::string cache() const { return dir.file("cache/Halvorix/Tavix"); }

    XmlLibrary xml;
    TempDir dir;
    Folder notebook;
};

// Run twice: as usual, where files changed moments ago are compared by
// content, and with sizes and times trusted at once (no quiet period), so
// that both roads of update() meet every kind of change. In the second run
// each change from outside waits for a new tick of the file system's clock,
// as it would on any file system some time after the last reading.
TEST_F(IndexTest, AgreesWithTheFilesWhateverHappensToThem) {
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        const bool trustTimes = seed % 2 == 0;
        std::filesystem::remove_all(notebook.path());
        std::filesystem::create_directory(notebook.path());
        std::mt19937 random(seed);
        auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
        NotebookIndex index;
        ASSERT_TRUE(index.open(notebook.path(), cache()));
        NotebookIndex other;  // another window or tavix-cli, on the same index
        ASSERT_TRUE(other.open(notebook.path(), cache()));
        ASSERT_EQ(other.databasePath(), index.databasePath());
        if (trustTimes) {
            index.setQuietPeriod(0);
            other.setQuietPeriod(0);
        }

        for (int step = 0; step < 250; ++step) {
            const std::string name = kNames[pick(10)];
            const std::string where =
                "seed " + std::to_string(seed) + " step " + std::to_string(step);
            const std::string text = randomPage(random, "Title " + std::to_string(step));
            const std::size_t what = pick(12);
            if (trustTimes && (what == 2 || what == 3 || what == 4 || what == 7))
                std::this_thread::sleep_for(std::chrono::milliseconds(12));
            switch (what) {
                case 0:
                case 1: {  // the program saves
                    ASSERT_TRUE(writeFileAtomically(notebook.file(name), text));
                    ASSERT_TRUE(index.pageSaved(fromUtf8(name), text)) << where;
                    break;
                }
                case 2: {  // another program edits in place, keeping the size
                    if (!notebook.exists(name))
                        break;
                    std::string bytes = notebook.read(name);
                    for (const char* word : kSameLength) {
                        const auto at = bytes.find(word);
                        if (at != std::string::npos) {
                            bytes.replace(at, 9, kSameLength[pick(4)]);
                            break;
                        }
                    }
                    notebook.writeInPlace(name, bytes);
                    break;
                }
                case 3: {  // ... and puts the old modification time back
                    if (!notebook.exists(name))
                        break;
                    struct stat before {};
                    ::stat(notebook.file(name).c_str(), &before);
                    std::string bytes = notebook.read(name);
                    const auto at = bytes.find("Page");
                    if (at != std::string::npos)
                        bytes.replace(at, 4, "Pogo");
                    notebook.writeInPlace(name, bytes);
                    const timespec times[2] = {before.st_atim, before.st_mtim};
                    ::utimensat(AT_FDCWD, notebook.file(name).c_str(), times, 0);
                    break;
                }
                case 4: notebook.writeInPlace(name, text); break;
                case 5: std::filesystem::remove(notebook.file(name)); break;
                case 6: {
                    const std::string to = kNames[pick(10)];
                    if (notebook.exists(name))
                        std::filesystem::rename(notebook.file(name), notebook.file(to));
                    break;
                }
                case 7:  // damaged: cut in the middle
                    notebook.writeInPlace(name, text.substr(0, text.size() / 2));
                    break;
                case 8: {  // things that are no pages
                    const char* const junk[] = {"/.hidden.xhtml", "/notes.txt", "/AlphaPage.xhtml~",
                                                "/.tavix-tmp-1-abcdefghij"};
                    std::ofstream(notebook.path() + junk[pick(4)]) << text;
                    break;
                }
                case 9: {
                    const IndexUpdate u = other.update();
                    ASSERT_TRUE(u.status) << u.status.message();
                    break;
                }
                default: {
                    const IndexUpdate u = index.update();
                    ASSERT_TRUE(u.status) << u.status.message();
                    ASSERT_TRUE(test::agreesWithFolder(index, kFilterParts, where));
                    break;
                }
            }
        }
        ASSERT_TRUE(index.update().status);
        EXPECT_TRUE(test::agreesWithFolder(index, kFilterParts, "end of seed"));
        ASSERT_TRUE(other.update().status);
        EXPECT_TRUE(test::agreesWithFolder(other, kFilterParts, "other, end of seed"));
    }
}

TEST_F(IndexTest, NothingIsReadAgainWhenNothingChanged) {
    for (int i = 0; i < 20; ++i)
        dir.write("nb/Page" + std::to_string(i) + "Name.xhtml", pageFile("T", "<p>AlphaPage</p>"));
    NotebookIndex index;
    ASSERT_TRUE(index.open(notebook.path(), cache()));
    IndexUpdate u = index.update();
    EXPECT_EQ(u.listed, 20u);
    EXPECT_EQ(u.read, 20u);
    // Files changed this recently may change again within the same tick of
    // the file system's clock without showing it: they are looked at again
    // until they have been quiet for a while, then no more.
    u = index.update();
    EXPECT_EQ(u.read, 20u);
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    u = index.update();
    EXPECT_EQ(u.read, 20u);
    u = index.update();
    EXPECT_EQ(u.read, 0u);
    EXPECT_EQ(u.removed, 0u);
    // A reopened index (the next start) still knows everything.
    NotebookIndex again;
    ASSERT_TRUE(again.open(notebook.path(), cache()));
    EXPECT_FALSE(again.rebuilt());
    u = again.update();
    EXPECT_EQ(u.read, 0u);
    EXPECT_TRUE(test::agreesWithFolder(again, kFilterParts, "reopened"));
    // A page saved by the program is indexed at once.
    const std::string text = pageFile("T", "<p>GammaPage</p>");
    ASSERT_TRUE(writeFileAtomically(dir.file("nb/Page3Name.xhtml"), text));
    ASSERT_TRUE(again.pageSaved(u"Page3Name", text));
    std::vector<std::u16string> links;
    ASSERT_TRUE(index.linksOf(u"Page3Name", links));
    EXPECT_EQ(links, std::vector<std::u16string>{u"GammaPage"});
}

// The rules of what is a link, compared with a page document that read the
// same file and wrote it again: the index must see exactly what the
// program would show, however odd the file.
TEST_F(IndexTest, LinkWordsAreThoseThePageShows) {
    struct Case {
        std::string file;
        std::vector<std::u16string> links;
    };
    const std::string xhtml = "<html xmlns=\"http://www.w3.org/1999/xhtml\">";
    const std::vector<Case> cases = {
        {pageFile("TitleWord Here", "<p>AlphaPage and BetaPage</p>", "KeyWord plain"),
         {u"AlphaPage", u"BetaPage", u"KeyWord"}},
        {pageFile("T", "<p>Shop<b>ping</b>List</p><p>Alpha</p><p>Page</p>"), {u"ShoppingList"}},
        {pageFile("T", "<p>Shopping\nList</p>Tab\tBed<p></p>"), {u"ShoppingList", u"TabBed"}},
        {pageFile("T", "<p>Tab\tBed</p>"), {}},
        {pageFile("T", "<p><!-- HiddenLink -->&#83;hop&amp;List <![CDATA[CdataLink]]></p>"),
         {u"CdataLink"}},
        {pageFile(
             "T",
             "<p>&#83;hopList <span title=\"AttrLink\">SpanLink</span> x<i>JoinedLink</i></p>"),
         {u"ShopList", u"SpanLink"}},
        {pageFile("T", "Before<p>Inside</p>after<h1>HeadLine</h1> <h2>NextLine</h2>"),
         {u"BeforeInside", u"NextLine"}},
        {xhtml + "<head><title>T</title></head><body><p>FirstBody</p></body><p>OutSide</p>"
                 "<body><p>SecondBody</p></body></html>",
         {u"FirstBody", u"SecondBody"}},
        {xhtml + "<head><title>T</title></head><body><p>Outer<body>InnerBody</body>Still</p>"
                 "<meta name=\"keywords\" content=\"MetaInBody\"/></body></html>",
         {u"OuterInnerBodyStill", u"MetaInBody"}},
        {"<x:html xmlns:x=\"http://www.w3.org/1999/xhtml\"><x:head><x:title>T</x:title></x:head>"
         "<x:body><x:p>PrefixedLink</x:p></x:body></x:html>",
         {u"PrefixedLink"}},
        {"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
         "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">" +
             pageFile("T", "<p>NonBreaking&nbsp;SpaceLink Caf&eacute;Bar</p>"),
         {u"NonBreaking", u"SpaceLink", u"CaféBar"}},
        {pageFile("T", "<p>KeptLink</p><p>cut HalfLink"), {u"KeptLink", u"HalfLink"}},
        {pageFile("T", "<p>ÉcoleNormale FooBAR Page2Go</p>"), {u"Page2Go"}},
    };
    PageTextReader reader;
    for (const Case& c : cases) {
        PageText text;
        reader.read(c.file, u"case", text);
        EXPECT_EQ(linkWordsOf(text), c.links) << c.file;

        // The page document's reading, written out again, reads the same.
        std::ostringstream diagnostics;
        PageDocument document(nullptr);
        document.setDiagnostics(diagnostics);
        document.loadText(fromUtf8(c.file));
        PageText again;
        reader.read(toUtf8(document.fileText()), u"again", again);
        EXPECT_EQ(again.body, text.body) << c.file;
        EXPECT_EQ(again.keywords, text.keywords) << c.file;
        EXPECT_EQ(document.keywords(), text.keywords) << c.file;
        EXPECT_EQ(unescapeCharData(document.title()), text.title) << c.file;
    }
}

TEST_F(IndexTest, TheIndexLivesInTheUsersCacheFolder) {
    EXPECT_EQ(NotebookIndex::defaultCacheFolder(), dir.file("cache") + "/Halvorix/Tavix");
    dir.write("nb/AlphaPage.xhtml", pageFile("Alpha", "<p>DeltaPage</p>"));
    NotebookIndex index;
    ASSERT_TRUE(index.open(notebook.path()));
    EXPECT_TRUE(index.isPersistent());
    const std::string path = index.databasePath();
    EXPECT_EQ(path.rfind(cache() + "/notebook-", 0), 0u) << path;
    EXPECT_TRUE(pathExists(path));
    struct stat info {};
    ::stat(cache().c_str(), &info);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    // The same folder however it is spelled; another folder, another file.
    std::filesystem::create_directory_symlink(notebook.path(), dir.file("link"));
    EXPECT_EQ(NotebookIndex::indexPathFor(dir.file("link"), cache()), path);
    EXPECT_EQ(NotebookIndex::indexPathFor(notebook.path() + "/", cache()), path);
    EXPECT_NE(NotebookIndex::indexPathFor(dir.path(), cache()), path);
    // Nothing of the index is ever listed in the notebook folder.
    ASSERT_TRUE(index.update().status);
    EXPECT_EQ(listRegularFiles(notebook.path()), std::vector<std::string>{"AlphaPage.xhtml"});
}

TEST_F(IndexTest, ADamagedOrForeignIndexIsStartedAfresh) {
    dir.write("nb/AlphaPage.xhtml", pageFile("Alpha", "<p>DeltaPage</p>"));
    dir.write("nb/DeltaPage.xhtml", pageFile("Delta", "<p>AlphaPage</p>"));
    std::string path;
    {
        NotebookIndex index;
        ASSERT_TRUE(index.open(notebook.path(), cache()));
        ASSERT_TRUE(index.update().status);
        path = index.databasePath();
    }
    auto reopenAgrees = [&](const std::string& what) {
        NotebookIndex index;
        ASSERT_TRUE(index.open(notebook.path(), cache())) << what;
        EXPECT_TRUE(index.rebuilt()) << what;
        EXPECT_TRUE(index.isPersistent()) << what;
        const IndexUpdate u = index.update();
        ASSERT_TRUE(u.status) << what << ": " << u.status.message();
        EXPECT_EQ(u.read, 2u) << what;
        EXPECT_TRUE(test::agreesWithFolder(index, kFilterParts, what));
    };

    // Garbage of every size: a torn copy, random bytes, a text file.
    std::mt19937 random(7);
    for (std::size_t size : {1u, 100u, 5000u, 70000u}) {
        std::filesystem::remove(path + "-wal");
        std::filesystem::remove(path + "-shm");
        std::string garbage(size, '\0');
        for (char& c : garbage)
            c = static_cast<char>(random());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << garbage;
        reopenAgrees("garbage of " + std::to_string(size) + " bytes");
    }

    // A well-formed database of another schema version.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA user_version = 99; CREATE TABLE other(x);", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    reopenAgrees("foreign version");

    // Our version, but another folder's index (a copied cache).
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE meta SET value = '/elsewhere'", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    reopenAgrees("another folder's index");
}

TEST_F(IndexTest, AnIndexDeletedOrDamagedWhileOpenIsRebuiltByTheNextUpdate) {
    dir.write("nb/AlphaPage.xhtml", pageFile("Alpha", "<p>DeltaPage</p>"));
    NotebookIndex index;
    ASSERT_TRUE(index.open(notebook.path(), cache()));
    ASSERT_TRUE(index.update().status);
    for (const char* suffix : {"", "-wal", "-shm"})
        std::filesystem::remove(index.databasePath() + suffix);
    IndexUpdate u = index.update();
    ASSERT_TRUE(u.status) << u.status.message();
    EXPECT_EQ(u.read, 1u);
    EXPECT_TRUE(pathExists(index.databasePath()));
    EXPECT_TRUE(test::agreesWithFolder(index, kFilterParts, "after deletion"));
}

TEST_F(IndexTest, WithoutAUsableCacheFolderTheIndexIsKeptInMemory) {
    dir.write("blocked", "a file where the cache folder would be");
    dir.write("nb/AlphaPage.xhtml", pageFile("Alpha", "<p>DeltaPage</p>"));
    NotebookIndex index;
    ASSERT_TRUE(index.open(notebook.path(), dir.file("blocked/Halvorix/Tavix")));
    EXPECT_FALSE(index.isPersistent());
    ASSERT_TRUE(index.update().status);
    EXPECT_TRUE(test::agreesWithFolder(index, kFilterParts, "in memory"));
}

TEST_F(IndexTest, UpdateReportsProgressAndStopsWhenAsked) {
    for (int i = 0; i < 600; ++i)
        dir.write("nb/Page" + std::to_string(1000 + i) + "Name.xhtml",
                  pageFile("T", "<p>AlphaPage</p>"));
    NotebookIndex index;
    ASSERT_TRUE(index.open(notebook.path(), cache()));
    std::vector<IndexProgress> seen;
    IndexUpdate u = index.update([&](const IndexProgress& p) {
        seen.push_back(p);
        return p.done < 300;
    });
    ASSERT_TRUE(u.status);
    EXPECT_TRUE(u.cancelled);
    ASSERT_EQ(seen.size(), 300u);
    EXPECT_EQ(seen.front().total, 600u);
    EXPECT_EQ(seen.back().done, 300u);
    std::vector<IndexedPage> listed;
    ASSERT_TRUE(index.pages(listed));
    EXPECT_EQ(listed.size(), 300u);  // what was read is kept

    // A second connection, on a thread of its own, finishes the work while
    // this one keeps answering.
    std::atomic<bool> done{false};
    IndexUpdate background;
    std::thread worker([&] {
        NotebookIndex own;
        if (own.open(notebook.path(), cache()))
            background = own.update();
        done = true;
    });
    while (!done) {
        ASSERT_TRUE(index.pages(listed));
        EXPECT_GE(listed.size(), 300u);
    }
    worker.join();
    ASSERT_TRUE(background.status) << background.status.message();
    EXPECT_GE(background.read, 300u);
    EXPECT_TRUE(test::agreesWithFolder(index, kFilterParts, "after the background update"));
}

TEST_F(IndexTest, TheFilterIgnoresCaseBeyondAscii) {
    dir.write("nb/\u00dcbersicht.xhtml",
              pageFile("\u00c9cole \u0391\u03b8\u03ae\u03bd\u03b1", "<p>x</p>"));
    dir.write("nb/Plain.xhtml", pageFile("Nothing here", "<p>x</p>"));
    NotebookIndex index;
    ASSERT_TRUE(index.open(notebook.path(), cache()));
    ASSERT_TRUE(index.update().status);
    for (const std::u16string part :
         {u"\u00fcBERS", u"\u00c9COLE", u"\u00e9cole", u"\u03b1\u0398\u0389", u"cole \u03b1"}) {
        std::vector<IndexedPage> found;
        ASSERT_TRUE(index.findPages(part, found));
        ASSERT_EQ(found.size(), 1u) << toUtf8(part);
        EXPECT_EQ(found[0].name, u"\u00dcbersicht");
    }
    std::vector<IndexedPage> found;
    ASSERT_TRUE(index.findPages(u"sicht\n\u00e9cole", found));  // name and title are not one text
    EXPECT_TRUE(found.empty());
}

TEST_F(IndexTest, DamagedPagesAreIndexedAsFarAsTheyRead) {
    dir.write("nb/Broken.xhtml",
              pageFile("Broken", "<p>KeptLink</p>").substr(0, 110) + "<p>LostLink");
    dir.write("nb/AlphaPage.xhtml", pageFile("Alpha", "<p>Broken</p>"));
    NotebookIndex index;
    ASSERT_TRUE(index.open(notebook.path(), cache()));
    ASSERT_TRUE(index.update().status);
    std::optional<IndexedPageInfo> info;
    ASSERT_TRUE(index.pageInfo(u"Broken", info));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->state, IndexedPageInfo::Damaged);
    ASSERT_TRUE(index.pageInfo(u"AlphaPage", info));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->state, IndexedPageInfo::Read);
    EXPECT_EQ(info->title, u"Alpha");
    EXPECT_TRUE(test::agreesWithFolder(index, kFilterParts, "damaged"));
    ASSERT_TRUE(index.pageInfo(u"Nowhere", info));
    EXPECT_FALSE(info);
    // A save that is not on disk is refused rather than indexed.
    EXPECT_FALSE(index.pageSaved(u"Nowhere", pageFile("N", "<p>x</p>")));
    EXPECT_FALSE(index.pageSaved(u"../Escape", pageFile("N", "<p>x</p>")));
}

}  // namespace
}  // namespace tavix
