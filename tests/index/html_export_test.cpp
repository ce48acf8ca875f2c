// The notebook as a static website: every page has its file, every link
// leads to a file that was written, nothing lands outside the output folder
// whatever the page names hold, and the output reads back as XML.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <random>
#include <set>

#include <gtest/gtest.h>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>

#include "../../bench/NotebookGenerator.h"
#include "index/HtmlExport.h"
#include "index/IndexOracle.h"
#include "store/FileSystem.h"
#include "store/Notebook.h"
#include "store/StyleSheet.h"
#include "store/TextCodec.h"
#include "support/TempDir.h"

namespace tavix {
namespace {

namespace fs = std::filesystem;
using test::pageFile;
using test::percentDecoded;
using test::TempDir;

// What a written HTML file holds, as an XML reader sees it.
struct HtmlFacts {
    ParseResult parsed;
    std::vector<std::string> hrefs;           // of a elements
    std::map<std::string, std::u16string> linkText;  // href -> text of its a element
    std::vector<std::string> elements;        // local names in order
    std::u16string keywordsMeta;
    bool hasKeywordsMeta = false;
    std::u16string text;                      // all character data of the body
    std::map<std::string, std::u16string> textIn;  // element -> text inside it (concatenated)
};

class FactsHandler : public xercesc::DefaultHandler {
public:
    explicit FactsHandler(HtmlFacts& facts) : facts_(facts) {}
    void startElement(const XMLCh* uri, const XMLCh* localName, const XMLCh*,
                      const xercesc::Attributes& attributes) override {
        const std::string name = toUtf8(u16(localName));
        EXPECT_EQ(u16(uri), kXhtmlNamespace) << name;
        facts_.elements.push_back(name);
        open_.push_back(name);
        if (name == "a") {
            const XMLCh* href = attributes.getValue(asXml(u"href"));
            ASSERT_NE(href, nullptr);
            facts_.hrefs.push_back(toUtf8(u16(href)));
            currentLink_ = facts_.hrefs.back();
        }
        if (name == "meta") {
            const XMLCh* n = attributes.getValue(asXml(u"name"));
            const XMLCh* c = attributes.getValue(asXml(u"content"));
            if (n && u16(n) == u"keywords" && c) {
                facts_.keywordsMeta = u16(c);
                facts_.hasKeywordsMeta = true;
            }
        }
    }
    void endElement(const XMLCh*, const XMLCh* localName, const XMLCh*) override {
        if (toUtf8(u16(localName)) == "a")
            currentLink_.clear();
        open_.pop_back();
    }
    void characters(const XMLCh* chars, const XMLSize_t length) override {
        const std::u16string text = u16(chars, length);
        facts_.text += text;
        for (const std::string& e : open_)
            facts_.textIn[e] += text;
        if (!currentLink_.empty())
            facts_.linkText[currentLink_] += text;
    }

private:
    HtmlFacts& facts_;
    std::vector<std::string> open_;
    std::string currentLink_;
};

HtmlFacts readHtml(const std::string& path) {
    HtmlFacts facts;
    XmlLibrary library;
    auto reader = makeSafeReader();
    FactsHandler handler(facts);
    facts.parsed = parseFile(*reader, fromUtf8(path), handler, nullptr);
    return facts;
}

// Page names no file system or browser should be trusted with.
std::vector<std::u16string> hostileNames() {
    std::vector<std::u16string> names = {
        u"a..b", u"Up..", u"dots.in.name", u"x.html", u"name%2Fslash", u"percent%",
        u"sp ace", u"quote\"and'apos", u"amp&lt<gt>", u"back\\slash", u"index", u"INDEX",
        u"Index", u"x#frag?q=1", u"名前ページ", u"Ünïcödé", u"ünïcödé", u"Smile😀Face",
        u"a-2", u"a", u"A", u"_5f", u"_", u"-", u"~tilde", u"CON", u"FooBar", u"FoobAr",
        u"x_2e", u"x.", u"tab\u00a0nbsp", u"zero\u200bwidth"};
    // Two long names that meet once cut to the length limit.
    names.push_back(std::u16string(230, u'L') + u"One");
    names.push_back(std::u16string(230, u'L') + u"Two");
    names.push_back(std::u16string(120, u'é'));
    return names;
}

void writePage(const std::string& folder, const std::u16string& name, const std::string& text) {
    ASSERT_TRUE(writeFileAtomically(folder + "/" + toUtf8(name) + ".xhtml", text));
}

// Every regular file under root, by path relative to it.
std::set<std::string> filesUnder(const std::string& root) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (!entry.is_directory())
            files.insert(fs::relative(entry.path(), root).string());
    return files;
}

TEST(HtmlExportTest, FileNamesStayInTheFolderAndNeverMeet) {
    XmlLibrary xml;
    std::vector<std::u16string> names = hostileNames();
    std::mt19937 random(15);
    const std::u16string alphabet = u"aAbB.-_/%\\ :*?\"<>|~#&é€😀\u0130\u0131ßẞ";
    for (int i = 0; i < 2000; ++i) {
        std::u16string name;
        const int length = 1 + random() % 12;
        for (int k = 0; k < length; ++k)
            name.push_back(alphabet[random() % alphabet.size()]);
        // Surrogate halves go in pairs only; a lone one is no page name.
        if (name.back() >= 0xD800 && name.back() <= 0xDBFF)
            name.pop_back();
        if (!name.empty() && !(name.front() >= 0xDC00 && name.front() <= 0xDFFF))
            names.push_back(name);
    }
    const auto files = htmlFileNames(names);
    std::set<std::u16string> distinct(names.begin(), names.end());
    EXPECT_EQ(files.size(), distinct.size());
    std::set<std::string> folded = {"index.html"};
    for (const auto& [name, file] : files) {
        SCOPED_TRACE(toUtf8(name));
        EXPECT_TRUE(isValidUtf8(file));
        EXPECT_EQ(file.find('/'), std::string::npos);
        EXPECT_NE(file.front(), '.');
        EXPECT_LE(file.size(), 255u);
        EXPECT_EQ(file.substr(file.size() - 5), ".html");
        // No two files on a case-insensitive file system either (ASCII and
        // the Latin letters above fold alike there).
        std::string key;
        for (char c : file) key.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        EXPECT_TRUE(folded.insert(toUtf8(fromUtf8(key))).second) << file;
        // An href names the same file and nothing else.
        const std::string href = percentEncoded(file);
        EXPECT_EQ(href.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                         "0123456789-._~%"),
                  std::string::npos);
        EXPECT_EQ(percentDecoded(href), file);
    }
    // The same names give the same files, in any order.
    std::vector<std::u16string> reversed(names.rbegin(), names.rend());
    EXPECT_EQ(htmlFileNames(reversed), files);
    // Readable where nothing needs escaping.
    EXPECT_EQ(files.at(u"FooBar"), "FooBar.html");
    EXPECT_EQ(files.at(u"名前ページ"), "名前ページ.html");
    EXPECT_NE(files.at(u"index"), "index.html");
}

class HtmlExportNotebook : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = tmp_.path() + "/notebook";
        out_ = tmp_.path() + "/out";
        ASSERT_TRUE(ensureFolder(folder_));
        notebook_.setFolder(fromUtf8(folder_));
    }

    HtmlExportResult run(const HtmlExportOptions& options = {}) {
        return exportHtml(notebook_, styles_, out_, options);
    }

    std::string fileOf(const std::u16string& page) const {
        std::vector<std::u16string> names;
        const PageIterator end;
        for (PageFileIterator it = notebook_.pages(); !(it == end); ++it)
            names.push_back(it->pageName);
        return out_ + "/" + htmlFileNames(names).at(page);
    }

    XmlLibrary xml_;
    TempDir tmp_;
    std::string folder_;
    std::string out_;
    Notebook notebook_;
    StyleSheet styles_;
};

TEST_F(HtmlExportNotebook, EveryPageHasItsFileAndEveryLinkLeadsToOne) {
    bench::NotebookGenerator generator;
    ASSERT_TRUE(generator.write(folder_, 150));
    const std::vector<std::u16string> hostile = hostileNames();
    for (const std::u16string& name : hostile)
        writePage(folder_, name, pageFile("T", "<p>FooBar FoobAr MissingPage " + toUtf8(escapeCharData(name)) + "</p>"));
    // A sentinel beside the output folder: a name that climbs out would land here.
    tmp_.write("sentinel", "x");

    std::vector<std::u16string> listed;
    const PageIterator end;
    for (PageFileIterator it = notebook_.pages(); !(it == end); ++it)
        listed.push_back(it->pageName);
    for (const std::u16string& name : hostile)
        ASSERT_NE(std::find(listed.begin(), listed.end(), name), listed.end()) << toUtf8(name);

    std::vector<std::pair<std::size_t, std::size_t>> progress;
    HtmlExportOptions options;
    options.progress = [&](std::size_t done, std::size_t total) { progress.emplace_back(done, total); };
    const HtmlExportResult result = run(options);
    ASSERT_TRUE(result.complete()) << result.status.message();
    EXPECT_EQ(result.pages, listed.size());
    EXPECT_EQ(result.written, listed.size());
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(listed.size(), listed.size()));

    // Nothing outside the output folder, nothing below it.
    EXPECT_EQ(filesUnder(tmp_.path() + "/out").size(), listed.size() + 2);
    for (const fs::directory_entry& entry : fs::directory_iterator(tmp_.path()))
        EXPECT_TRUE(entry.path().filename() == "notebook" || entry.path().filename() == "out" ||
                    entry.path().filename() == "sentinel")
            << entry.path();
    EXPECT_EQ(filesUnder(folder_).size(), listed.size());  // the notebook untouched

    const auto files = htmlFileNames(listed);
    std::set<std::string> written;
    for (const auto& [name, file] : files) {
        EXPECT_TRUE(fs::is_regular_file(out_ + "/" + file)) << file;
        written.insert(file);
    }
    // Every file parses back, every link resolves to a written file, and a
    // link word names its page only where the page exists.
    std::size_t links = 0;
    for (const std::string& file : filesUnder(out_)) {
        if (file == kHtmlStyleFile)
            continue;
        SCOPED_TRACE(file);
        const HtmlFacts facts = readHtml(out_ + "/" + file);
        ASSERT_TRUE(facts.parsed.ok) << facts.parsed.message << " line " << facts.parsed.line;
        ASSERT_FALSE(facts.elements.empty());
        EXPECT_EQ(facts.elements.front(), "html");
        for (const std::string& href : facts.hrefs) {
            const std::string target = percentDecoded(href);
            EXPECT_EQ(target.find('/'), std::string::npos) << href;
            EXPECT_TRUE(written.count(target) || target == kHtmlIndexFile) << href;
            ++links;
        }
        if (file != kHtmlIndexFile) {
            EXPECT_EQ(facts.linkText.count(percentEncoded("MissingPage.html")), 0u);
        }
    }
    EXPECT_GT(links, 1000u);
    const HtmlFacts hostilePage = readHtml(fileOf(u"amp&lt<gt>"));
    EXPECT_EQ(hostilePage.linkText.at(percentEncoded(files.at(u"FooBar"))), u"FooBar");
    EXPECT_EQ(hostilePage.linkText.at(percentEncoded(files.at(u"FoobAr"))), u"FoobAr");
    EXPECT_NE(hostilePage.text.find(u"MissingPage amp&lt<gt>"), std::u16string::npos);

    // The index lists every page.
    const HtmlFacts index = readHtml(out_ + "/" + kHtmlIndexFile);
    std::set<std::string> indexed;
    for (const std::string& href : index.hrefs)
        indexed.insert(percentDecoded(href));
    EXPECT_EQ(indexed, written);
    EXPECT_NE(index.text.find(u"Garden Notes00000"), std::u16string::npos);

    // A second export gives the same files, byte for byte.
    std::map<std::string, std::string> before;
    for (const std::string& file : filesUnder(out_))
        before[file] = tmp_.read("out/" + file);
    ASSERT_TRUE(run().complete());
    for (const auto& [file, bytes] : before)
        EXPECT_EQ(tmp_.read("out/" + file), bytes) << file;
}

TEST_F(HtmlExportNotebook, FormatsStylesAndKeywordsAreKept) {
    writePage(folder_, u"ShoppingList", pageFile("Shopping &amp; List", "<h1>Shopping</h1>"));
    writePage(folder_, u"FrontPage",
              pageFile("Front Page",
                       "<h1>Front <i>Page</i></h1><h3>Third</h3>"
                       "<p>Shop<b>ping</b>List and <u>under</u> <strike>struck</strike> "
                       "x<sup>2</sup> H<sub>2</sub>O <b><i>both</i></b> <b><b>deep</b></b> "
                       "&lt;tag&gt; &amp; \"q\"  two  blanks</p><p></p>"
                       "<p><b>bold ShoppingList</b> NoSuchPage</p>",
                       "home &amp; &lt;start&gt; &quot;q&quot; ShoppingList"));
    styles_.style(2).setLeftIndent(720);
    styles_.style(2).setSpaceAfter(25);
    styles_.style(2).setAlignment(1);
    styles_.style(2).setFontName(u"Deja \"Vu\" Sans");
    styles_.style(2).setSize(19);
    styles_.style(0).setItalic(true);

    const HtmlExportResult result = run();
    ASSERT_TRUE(result.complete()) << result.status.message();

    const HtmlFacts page = readHtml(out_ + "/FrontPage.html");
    ASSERT_TRUE(page.parsed.ok) << page.parsed.message;
    EXPECT_EQ(page.textIn.at("title"), u"Front Page");
    EXPECT_EQ(page.textIn.at("h1"), u"Front Page");
    EXPECT_EQ(page.textIn.at("h3"), u"Third");
    EXPECT_EQ(page.textIn.at("u"), u"under");
    EXPECT_EQ(page.textIn.at("s"), u"struck");
    EXPECT_EQ(page.textIn.at("sup"), u"2");
    EXPECT_EQ(page.textIn.at("sub"), u"2");
    EXPECT_EQ(page.textIn.at("i"), u"Pageboth");
    EXPECT_NE(page.textIn.at("b").find(u"pingbothdeepbold ShoppingList"), std::u16string::npos);
    EXPECT_NE(page.text.find(u"<tag> & \"q\"  two  blanks"), std::u16string::npos);
    // The link word across a format boundary is one link, and so are the
    // ones in bold and in the keywords.
    EXPECT_EQ(page.linkText.at("ShoppingList.html"), u"ShoppingListShoppingListShoppingList");
    EXPECT_EQ(page.hrefs.size(), 4u);  // All Pages, then three
    EXPECT_TRUE(page.hasKeywordsMeta);
    EXPECT_EQ(page.keywordsMeta, u"home & <start> \"q\" ShoppingList");
    EXPECT_NE(page.textIn.at("footer").find(u"home & <start> \"q\" ShoppingList"), std::u16string::npos);
    // Three paragraphs, the empty one kept as an empty line.
    EXPECT_EQ(std::count(page.elements.begin(), page.elements.end(), "p"), 3);
    EXPECT_EQ(std::count(page.elements.begin(), page.elements.end(), "br"), 1);
    // A page without keywords has no keywords meta element.
    const HtmlFacts other = readHtml(out_ + "/ShoppingList.html");
    EXPECT_FALSE(other.hasKeywordsMeta);
    EXPECT_EQ(other.textIn.at("title"), u"Shopping & List");

    const std::string css = tmp_.read("out/style.css");
    EXPECT_NE(css.find("h2 { font-family: \"Deja \\\"Vu\\\" Sans\"; font-size: 19pt; font-weight: normal; "
                       "font-style: normal; text-decoration: none; margin: 0 0 1.25pt 36pt; "
                       "text-align: center; }"),
              std::string::npos)
        << css;
    EXPECT_NE(css.find("p { font-family: \"Times New Roman\"; font-size: 12pt; font-weight: normal; "
                       "font-style: italic; text-decoration: none; margin: 0 0 3pt 0; text-align: left; }"),
              std::string::npos)
        << css;
    EXPECT_NE(css.find("h6 { font-family: \"Arial\"; font-size: 12pt; font-weight: bold;"), std::string::npos);
    EXPECT_NE(page.hrefs.front().find("index.html"), std::string::npos);
}

TEST_F(HtmlExportNotebook, DamagedPagesAreExportedWithANoteAndNothingElseIsTouched) {
    writePage(folder_, u"FrontPage", pageFile("Front Page", "<p>See BrokenPage and LockedPage</p>"));
    writePage(folder_, u"BrokenPage",
              pageFile("Broken", "<p>kept part</p><p>cut <b>he"));
    writePage(folder_, u"LockedPage", pageFile("Locked", "<p>secret</p>"));
    const bool root = ::geteuid() == 0;
    if (!root) {
        ASSERT_EQ(::chmod((folder_ + "/LockedPage.xhtml").c_str(), 0), 0);
    }
    // The output folder holds files of the user's, a stale index, and a
    // link where a page's file would go.
    ASSERT_TRUE(ensureFolder(out_));
    tmp_.write("out/keep.txt", "mine");
    tmp_.write("out/index.html", "old");
    tmp_.write("outside.txt", "outside");
    ASSERT_EQ(::symlink((tmp_.path() + "/outside.txt").c_str(), (out_ + "/FrontPage.html").c_str()), 0);

    const HtmlExportResult result = run();
    EXPECT_TRUE(result.status.ok()) << result.status.message();
    EXPECT_FALSE(result.complete());
    EXPECT_EQ(result.pages, 3u);
    EXPECT_EQ(result.damaged, 1u);
    EXPECT_EQ(result.unreadable, root ? 0u : 1u);
    EXPECT_EQ(result.skipped, 1u);  // FrontPage: its name is a link out of the folder
    EXPECT_EQ(result.written, 2u);
    std::set<std::u16string> named;
    for (const HtmlExportProblem& problem : result.problems)
        named.insert(problem.page);
    EXPECT_TRUE(named.count(u"BrokenPage") && named.count(u"FrontPage"));

    EXPECT_EQ(tmp_.read("out/keep.txt"), "mine");
    EXPECT_EQ(tmp_.read("outside.txt"), "outside");
    EXPECT_TRUE(fs::is_symlink(out_ + "/FrontPage.html"));
    EXPECT_NE(tmp_.read("out/index.html"), "old");

    const HtmlFacts broken = readHtml(out_ + "/BrokenPage.html");
    ASSERT_TRUE(broken.parsed.ok) << broken.parsed.message;
    EXPECT_NE(broken.text.find(u"kept part"), std::u16string::npos);
    EXPECT_NE(broken.textIn.at("div").find(u"could not be read completely"), std::u16string::npos);
    const HtmlFacts locked = readHtml(out_ + "/LockedPage.html");
    ASSERT_TRUE(locked.parsed.ok) << locked.parsed.message;
    if (!root) {
        EXPECT_NE(locked.textIn.at("div").find(u"could not be read"), std::u16string::npos);
        EXPECT_EQ(locked.textIn.at("title"), u"LockedPage");
    }
    // Reading is all the export does to the notebook.
    EXPECT_EQ(filesUnder(folder_).size(), 3u);
    ::chmod((folder_ + "/LockedPage.xhtml").c_str(), 0600);
}

TEST_F(HtmlExportNotebook, StopsWhenCancelledAndFailsWithoutAFolder) {
    bench::NotebookGenerator generator;
    ASSERT_TRUE(generator.write(folder_, 40));
    std::atomic<bool> cancel{true};
    HtmlExportOptions options;
    options.cancel = &cancel;
    const HtmlExportResult stopped = run(options);
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_FALSE(stopped.status.ok());
    EXPECT_EQ(stopped.written, 0u);
    EXPECT_FALSE(pathExists(out_ + "/index.html"));

    // An output folder that cannot be made (a file stands in its way).
    tmp_.write("file", "x");
    const HtmlExportResult blocked = exportHtml(notebook_, styles_, tmp_.path() + "/file/out");
    EXPECT_FALSE(blocked.status.ok());
    EXPECT_FALSE(blocked.status.message().empty());
    Notebook missing;
    missing.setFolder(fromUtf8(tmp_.path() + "/none"));
    EXPECT_FALSE(exportHtml(missing, styles_, out_).status.ok());
}

}  // namespace
}  // namespace tavix
