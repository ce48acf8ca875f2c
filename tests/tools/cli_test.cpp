// Runs the built tavix-cli program (found beside this test program) on
// notebooks in temporary folders, with the user's folders pointed at a
// temporary folder too.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "index/NotebookIndex.h"
#include "index/RenameJournal.h"
#include "support/TempDir.h"

namespace tavix {
namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string quoted(const std::string& arg) {
    std::string q = "'";
    for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string page(const std::string& title, const std::string& body) {
    return "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>" + title + "</title></head><body>" + body +
           "</body></html>";
}

std::size_t lineCount(const std::string& text) {
    std::size_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

// The folder of this test program, which the build puts beside tavix-cli.
std::string binDir() {
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : self.parent_path().string();
}

class CliTest : public ::testing::Test {
protected:
    CliTest() {
        std::filesystem::create_directory(notebook());
        std::filesystem::create_directory(home.file("config"));
        std::filesystem::create_directory(home.file("data"));
    }

    std::string notebook() const { return dir.file("nb"); }
    void writePage(const std::string& name, const std::string& text) const { dir.write("nb/" + name + ".xhtml", text); }
    std::string readPage(const std::string& name) const { return dir.read("nb/" + name + ".xhtml"); }

    // Runs tavix-cli with the arguments; withNotebook adds --notebook.
    Result run(const std::vector<std::string>& args, bool withNotebook = true) const {
        std::string command = "XDG_CONFIG_HOME=" + quoted(home.file("config")) +
                              " XDG_DATA_HOME=" + quoted(home.file("data")) +
                              " XDG_CACHE_HOME=" + quoted(cache.path()) + " " +
                              quoted(binDir() + "/tavix-cli");
        if (withNotebook) command += " --notebook " + quoted(notebook());
        for (const std::string& arg : args) command += " " + quoted(arg);
        command += " >" + quoted(out.file("out")) + " 2>" + quoted(out.file("err")) + " </dev/null";
        Result result;
        const int raw = std::system(command.c_str());
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.out = out.read("out");
        result.err = out.read("err");
        return result;
    }

    test::TempDir dir;   // the notebook and files to import and export
    test::TempDir home;  // stands in for the user's configuration and data
    test::TempDir out;   // captured output
    test::TempDir cache; // the user's cache, where the notebook index lives
};

TEST_F(CliTest, HelpExplainsEveryCommand) {
    const Result r = run({"--help"}, false);
    EXPECT_EQ(r.status, 0);
    for (const char* word : {"list", "find", "--match-case", "--literal", "--keywords-only", "export-rtf",
                             "import-rtf", "--replace", "--notebook", "--settings", "Exit status"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
    EXPECT_EQ(r.err, "");
}

TEST_F(CliTest, UsageErrorsAreOneLineAndStatusTwo) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "missing argument"},
        {{"frobnicate"}, "unknown command"},
        {{"find"}, "missing argument"},
        {{"export-rtf"}, "missing argument"},
        {{"import-rtf", "x.rtf"}, "missing argument"},
        {{"list", "extra"}, "unexpected argument"},
        {{"find", "--everywhere", "x"}, "unknown option"},
        {{"--colour", "list"}, "unknown option"},
    };
    for (const auto& [args, problem] : cases) {
        const Result r = run(args);
        EXPECT_EQ(r.status, 2) << problem;
        EXPECT_EQ(r.out, "") << problem;
        EXPECT_EQ(lineCount(r.err), 1u) << r.err;
        EXPECT_NE(r.err.find(problem), std::string::npos) << r.err;
    }
}

TEST_F(CliTest, ListPrintsPagesInListingOrder) {
    writePage("Zebra", page("Zebra", "<p>z</p>"));
    writePage("Apple", page("Apple", "<p>a</p>"));
    writePage("Café", page("Café", "<p>c</p>"));
    dir.write("nb/readme.txt", "not a page");
    const Result r = run({"list"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Apple\nCafé\nZebra\n");
    EXPECT_EQ(r.err, "");
}

// Every page listed is one the notebook can open again by that name; for
// scripts, -0 ends each name with NUL instead of a line feed.
TEST_F(CliTest, ListAndFindGiveBackEveryPageUnderItsOwnName) {
    writePage("Apple", page("Apple", "<p>fruit</p>"));
    writePage("Two Words", page("Two Words", "<p>fruit</p>"));
    writePage(".Dot", page("Dot", "<p>fruit</p>"));
    writePage("notes.xhtml", page("notes", "<p>fruit</p>"));
    writePage("Line\nFeed", page("Line", "<p>fruit</p>"));
    Result r = run({"list"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Apple\nTwo Words\nnotes.xhtml\n");
    r = run({"list", "-0"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("Apple\0Two Words\0notes.xhtml\0", 28));
    r = run({"find", "-0", "fruit"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, std::string("Apple\0Two Words\0notes.xhtml\0", 28));
    r = run({"find", "fruit"});
    EXPECT_EQ(r.out, "Apple\nTwo Words\nnotes.xhtml\n");

    // Such names are refused with the reason.
    dir.write("doc.rtf", "{\\rtf1\\pard x\\par}");
    for (const char* bad : {".Hidden", "Tab\tName", "Line\nFeed"}) {
        r = run({"import-rtf", dir.file("doc.rtf"), bad});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("unsafe page name"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("nb/.Hidden.xhtml")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("nb/Tab\tName.xhtml")));
}

TEST_F(CliTest, ListOfAnEmptyOrMissingNotebook) {
    Result r = run({"list"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    r = run({"--notebook", dir.file("absent"), "list"}, false);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("notebook folder not found"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("absent")));
}

TEST_F(CliTest, FindPrintsMatchingPagesAndStatus) {
    writePage("Alpha", page("Alpha", "<p>Research &amp; Development</p>"));
    writePage("Beta", page("Beta", "<p>nothing</p>"));
    writePage("Gamma", page("Gamma", "<p>research budget</p>"));
    Result r = run({"find", "research"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Alpha\nGamma\n");
    EXPECT_EQ(r.err, "");

    r = run({"find", "--match-case", "research"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Gamma\n");

    r = run({"find", "Research & D"});
    EXPECT_EQ(r.out, "Alpha\n");

    r = run({"find", "absent words"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");

    r = run({"find", "--", "--match-case"});
    EXPECT_EQ(r.status, 1);  // a pattern, not the option
}

// Keywords are searched by default and alone with --keywords-only; a
// literal search finds metacharacters as they stand. Exit codes as ever.
TEST_F(CliTest, FindSearchesKeywordsAndLiteralText) {
    writePage("Demo", "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>Demo Page</title>"
                      "<meta name=\"keywords\" content=\"links demo\"/></head><body><p>C++ notes</p></body></html>");
    writePage("Other", page("Other", "<p>Cxx and a demo</p>"));
    writePage("Plain", page("Plain", "<p>links</p>"));
    Result r = run({"find", "links demo"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Demo\n") << "found by its keywords alone";
    r = run({"find", "--keywords-only", "demo"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Demo\n");
    r = run({"find", "--keywords-only", "notes"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");

    r = run({"find", "C++"});
    EXPECT_EQ(r.out, "Demo\nOther\n") << "as an expression, C++ is C, possessively repeated";
    r = run({"find", "--literal", "C++"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Demo\n");
    r = run({"find", "--literal", "C++ (notes"});
    EXPECT_EQ(r.status, 1) << "a literal text is never a bad pattern";
    EXPECT_EQ(r.err, "");
    r = run({"find", "--literal", "--keywords-only", "s d"});
    EXPECT_EQ(r.out, "Demo\n");

    r = run({"find", "C++ (notes"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "tavix-cli: bad pattern: Unmatched '(' at position 5 of 'C++ (notes'\n");
}

TEST_F(CliTest, FindWithABadOrTooHeavyPatternFails) {
    writePage("Alpha", page("Alpha", "<p>x</p>"));
    Result r = run({"find", "(unclosed"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(lineCount(r.err), 1u);
    EXPECT_NE(r.err.find("bad pattern"), std::string::npos) << r.err;

    writePage("Heavy", page("Heavy", "<p>" + std::string(200000, 'a') + "</p>"));
    r = run({"find", "(a|b)*c"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");  // no partial list
    EXPECT_NE(r.err.find("Heavy.xhtml"), std::string::npos) << r.err;
}

TEST_F(CliTest, ExportWritesRtfFromTheUsersStyles) {
    writePage("FrontPage", page("Front Page", "<h1>Front Page</h1><p>Go <b>now</b> to C:\\temp {x}</p>"));
    dir.write("settings.props", "app.StyleMap.Style0.Font.Name=Courier New\napp.StyleMap.Style1.Font.Size=30\n");
    const Result r = run({"--settings", dir.file("settings.props"), "export-rtf", "FrontPage"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\\rtf1", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("{\\f0\\fcharset1 Courier New;}"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\\fs60"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Go \\b now\\b0  to C:\\\\temp \\{x\\}\\par }"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
}

TEST_F(CliTest, ExportToAFileInUtf8) {
    writePage("Notes", page("Notes", "<p>café €</p>"));
    Result r = run({"export-rtf", "Notes", dir.file("notes.rtf")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(dir.read("notes.rtf").find("café €"), std::string::npos);

    r = run({"export-rtf", "Notes", dir.file("no/such/folder.rtf")});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(lineCount(r.err), 1u) << r.err;
}

TEST_F(CliTest, ExportOfUnknownOrUnsafePages) {
    Result r = run({"export-rtf", "Nowhere"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown page"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("nb/Nowhere.xhtml")));
    for (const char* bad : {"../escape", "a/b", "..", ""}) {
        r = run({"export-rtf", bad});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("unsafe page name"), std::string::npos) << r.err;
    }
    writePage("Ok", page("Ok", "<p>x</p>"));
    r = run({"--settings", dir.file("missing.props"), "export-rtf", "Ok"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unreadable file"), std::string::npos) << r.err;
}

TEST_F(CliTest, ExportOfADamagedPageKeepsDiagnosticsOffTheResult) {
    writePage("Broken", "<html><head><title>B</title></head><body><p>kept text</p><p>cut");
    const Result r = run({"export-rtf", "Broken"});
    EXPECT_EQ(r.status, 2);  // not passed off as a complete export
    EXPECT_EQ(r.out.rfind("{\\rtf1", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("kept text"), std::string::npos);
    EXPECT_EQ(r.out.find("Fatal Error"), std::string::npos);
    EXPECT_NE(r.err.find("Fatal Error: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("damaged page file"), std::string::npos) << r.err;
}

TEST_F(CliTest, ImportCreatesThePageAndNeverOverwritesUnasked) {
    dir.write("in.rtf", "{\\rtf1\\ansi{\\stylesheet{ Normal;}{\\s1 heading 1;}}"
                        "\\pard\\s1 Shopping\\par \\pard\\s0 Buy \\b milk\\b0 & bread\\par }");
    Result r = run({"import-rtf", dir.file("in.rtf"), "ShoppingList"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const std::string first = readPage("ShoppingList");
    EXPECT_NE(first.find("<title>Shopping List</title>"), std::string::npos) << first;
    EXPECT_NE(first.find("<h1>Shopping</h1><p>Buy <b>milk</b>&amp; bread</p>"), std::string::npos) << first;

    dir.write("other.rtf", "{\\rtf1\\ansi\\pard\\s0 replaced\\par }");
    r = run({"import-rtf", dir.file("other.rtf"), "ShoppingList"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("already exists"), std::string::npos) << r.err;
    EXPECT_EQ(readPage("ShoppingList"), first);

    r = run({"import-rtf", "--replace", dir.file("other.rtf"), "ShoppingList"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(readPage("ShoppingList").find("<p>replaced</p>"), std::string::npos) << readPage("ShoppingList");
}

TEST_F(CliTest, ImportDecodesUtf8AndWindowsBytes) {
    dir.write("utf8.rtf", "{\\rtf1\\ansi\\pard\\s0 caf\xC3\xA9\\par }");
    dir.write("cp1252.rtf", "{\\rtf1\\ansi\\pard\\s0 caf\xE9 \x80 \x96\\par }");
    EXPECT_EQ(run({"import-rtf", dir.file("utf8.rtf"), "U"}).status, 0);
    EXPECT_NE(readPage("U").find("<p>café</p>"), std::string::npos) << readPage("U");
    EXPECT_EQ(run({"import-rtf", dir.file("cp1252.rtf"), "W"}).status, 0);
    EXPECT_NE(readPage("W").find("<p>café € \xE2\x80\x93</p>"), std::string::npos) << readPage("W");
}

TEST_F(CliTest, ImportEscapesTheTitleOfAnyName) {
    dir.write("in.rtf", "{\\rtf1\\ansi\\pard\\s0 x\\par }");
    EXPECT_EQ(run({"import-rtf", dir.file("in.rtf"), "R&D<Plans>"}).status, 0);
    EXPECT_NE(readPage("R&D<Plans>").find("<title>R&amp; D&lt; Plans&gt;</title>"), std::string::npos)
        << readPage("R&D<Plans>");
    // The page it wrote is found again.
    const Result r = run({"find", "^R& D< Plans>$"});
    EXPECT_EQ(r.out, "R&D<Plans>\n");
}

TEST_F(CliTest, ImportFailures) {
    dir.write("in.rtf", "{\\rtf1\\ansi\\pard\\s0 x\\par }");
    dir.write("plain.txt", "just some text");
    Result r = run({"import-rtf", dir.file("missing.rtf"), "P"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unreadable file"), std::string::npos) << r.err;
    r = run({"import-rtf", dir.file("plain.txt"), "P"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("not an RTF document"), std::string::npos) << r.err;
    r = run({"import-rtf", dir.file("in.rtf"), "../P"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unsafe page name"), std::string::npos) << r.err;
    r = run({"--notebook", dir.file("absent"), "import-rtf", dir.file("in.rtf"), "P"}, false);
    EXPECT_EQ(r.status, 2);
    EXPECT_FALSE(std::filesystem::exists(dir.file("absent")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("nb/P.xhtml")));
}

TEST_F(CliTest, ConversionDiagnosticsGoToStandardError) {
    dir.write("unbalanced.rtf", "{\\rtf1\\ansi\\pard\\s0 text}}\\par ");
    const Result r = run({"import-rtf", dir.file("unbalanced.rtf"), "P"});
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Error"), std::string::npos) << r.err;
}

TEST_F(CliTest, DefaultFoldersAreTheProgramsAndReadingCreatesNothing) {
    // Nothing exists yet: reading commands fail without creating anything.
    Result r = run({"list"}, false);
    EXPECT_EQ(r.status, 2);
    r = run({"find", "x"}, false);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(std::filesystem::is_empty(home.file("config")));
    EXPECT_TRUE(std::filesystem::is_empty(home.file("data")));

    const std::string folder = home.file("data/Halvorix/Tavix/Notebooks/Default");
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(home.file("config/Halvorix/Tavix"));
    home.write("data/Halvorix/Tavix/Notebooks/Default/Home.xhtml", page("Home", "<p>hello</p>"));
    home.write("config/Halvorix/Tavix/tavix.props", "app.StyleMap.Style0.Font.Name=Fira Sans\n");
    r = run({"list"}, false);
    EXPECT_EQ(r.out, "Home\n");
    r = run({"export-rtf", "Home"}, false);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Fira Sans"), std::string::npos);
    std::size_t entries = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(home.path());
         it != std::filesystem::recursive_directory_iterator(); ++it)
        ++entries;
    EXPECT_EQ(entries, 10u);  // config, data, the 6 folders below them and 2 files
}

TEST_F(CliTest, HelpExplainsTheIndexCommands) {
    const Result r = run({"--help"}, false);
    EXPECT_EQ(r.status, 0);
    for (const char* word :
         {"pages", "links PAGE", "backlinks PAGE", "rename OLD NEW", "delete PAGE", "trash", "XDG_CACHE_HOME"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;
}

// find answers from the index (made in the cache on first use, kept
// current with the folder) exactly as --no-index does from every file.
TEST_F(CliTest, FindFromTheIndexAnswersAsTheScanOfEveryFile) {
    writePage("Alpha", page("Alpha Notes", "<p>R&amp;D <b>zeppelin</b> report</p>"));
    writePage("Beta", page("Beta", "<p>quarterly report</p>"));
    writePage("Gamma", page("Gamma", "<p>nothing here</p>"));
    Result r = run({"find", "--no-index", "report"});
    EXPECT_EQ(r.out, "Alpha\nBeta\n");
    EXPECT_TRUE(std::filesystem::is_empty(cache.path()));  // the scan makes no index
    const std::vector<std::vector<std::string>> searches = {
        {"report"}, {"(zeppelin|quarterly) report"}, {"R&D"}, {"--literal", "R&D"}, {"--match-case", "alpha"},
        {"--keywords-only", "report"}, {"\\w+ing"}, {"^nothing"}, {"absent words"}};
    for (int round = 0; round < 2; ++round) {
        for (std::vector<std::string> args : searches) {
            args.insert(args.begin(), "find");
            const Result indexed = run(args);
            args.insert(args.begin() + 1, "--no-index");
            const Result scanned = run(args);
            EXPECT_EQ(indexed.out, scanned.out) << args.back();
            EXPECT_EQ(indexed.status, scanned.status) << args.back();
            EXPECT_EQ(indexed.err, scanned.err) << args.back();
        }
        // Changed behind the index's back: seen by the next find.
        writePage("Gamma", page("Gamma", "<p>a zeppelin report, quarterly</p>"));
        std::filesystem::remove(notebook() + "/Beta.xhtml");
    }
    EXPECT_FALSE(std::filesystem::is_empty(cache.path()));
    r = run({"find", "zeppelin report"});
    EXPECT_EQ(r.out, "Gamma\n");  // in Alpha markup parts the two words
    r = run({"--help"}, false);
    EXPECT_NE(r.out.find("--no-index"), std::string::npos);
}

TEST_F(CliTest, PagesLinksAndBacklinksComeFromTheIndex) {
    Result r = run({"pages"});
    EXPECT_EQ(r.status, 1);  // nothing found in an empty notebook
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");

    writePage("Zebra",
              page("Zebra &amp; Co", "<p>See ShoppingList and FrontPage, then ShoppingList.</p>"));
    writePage("ShoppingList",
              "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>Shopping\tList</title>"
              "<meta name=\"keywords\" content=\"FrontPage errands\"/></head>"
              "<body><p>Shop<b>ping</b>Cart</p></body></html>");
    writePage("Lonely", page("Lonely", "<p>no links</p>"));
    r = run({"pages"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Lonely\tLonely\nShoppingList\tShopping List\nZebra\tZebra & Co\n");
    EXPECT_EQ(r.err, "");

    r = run({"links", "Zebra"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ShoppingList\nFrontPage\n");
    r = run({"links", "ShoppingList"});
    EXPECT_EQ(r.out, "ShoppingCart\nFrontPage\n");  // the body's, then the keywords'
    r = run({"links", "Lonely"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    r = run({"links", "Nowhere"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown page"), std::string::npos) << r.err;

    r = run({"backlinks", "FrontPage"});  // a page that does not exist yet
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ShoppingList\nZebra\n");
    r = run({"backlinks", "Lonely"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");

    // Changes made by others are seen at the next command.
    writePage("Lonely", page("Lonely", "<p>now FrontPage too</p>"));
    std::filesystem::remove(notebook() + "/Zebra.xhtml");
    r = run({"backlinks", "FrontPage"});
    EXPECT_EQ(r.out, "Lonely\nShoppingList\n");
    EXPECT_TRUE(std::filesystem::exists(cache.file("Halvorix/Tavix")));
    for (const auto& entry : std::filesystem::directory_iterator(notebook()))
        EXPECT_EQ(entry.path().extension(), ".xhtml") << "nothing but pages in the notebook";
}

TEST_F(CliTest, RenameFromTheTerminalIsSeenByTheProgram) {
    writePage("ShoppingList", page("Shopping List", "<p>milk</p>"));
    writePage("Home", page("Home", "<p>See ShoppingList, not ShoppingListOld.</p>"));
    writePage("Broken", page("Broken", "<p>ShoppingList</p>").substr(0, 110));
    // The program, running meanwhile, on the same index.
    ::setenv("XDG_CACHE_HOME", cache.path().c_str(), 1);
    NotebookIndex program;
    ASSERT_TRUE(program.open(notebook()));
    ASSERT_TRUE(program.update().status);

    Result r = run({"rename", "ShoppingList", "GroceryList"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(lineCount(r.err), 1u) << r.err;  // the page it could not change, named
    EXPECT_NE(r.err.find("not renamed in Broken"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(notebook() + "/ShoppingList.xhtml"));
    EXPECT_EQ(readPage("GroceryList"), page("Grocery List", "<p>milk</p>"));
    EXPECT_EQ(readPage("Home"), page("Home", "<p>See GroceryList, not ShoppingListOld.</p>"));
    std::vector<std::u16string> from;
    ASSERT_TRUE(program.backlinksOf(u"GroceryList", from));
    EXPECT_EQ(from, std::vector<std::u16string>{u"Home"});
    bool exists = true;
    ASSERT_TRUE(program.hasPage(u"ShoppingList", exists));
    EXPECT_FALSE(exists);

    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"rename", "GroceryList", "groceries"}, "not a link word"},
        {{"rename", "GroceryList", "Home"}, "not a link word"},
        {{"rename", "Home", "GroceryList"}, "already exists"},
        {{"rename", "Nowhere", "SomeWhere"}, "unknown page"},
        {{"rename", "GroceryList"}, "missing argument"},
        {{"rename", "../x", "SomeWhere"}, "unsafe page name"},
    };
    for (const auto& [args, problem] : refused) {
        r = run(args);
        EXPECT_EQ(r.status, 2) << problem;
        EXPECT_EQ(lineCount(r.err), 1u) << r.err;
        EXPECT_NE(r.err.find(problem), std::string::npos) << r.err;
    }
    EXPECT_EQ(readPage("Home"), page("Home", "<p>See GroceryList, not ShoppingListOld.</p>"));
}

TEST_F(CliTest, DeleteMovesThePageToTheTrash) {
    writePage("FrontPage", page("Front Page", "<p>See OldNotes</p>"));
    writePage("OldNotes", page("Old Notes", "<p>old</p>"));
    Result r = run({"delete", "OldNotes"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(std::filesystem::exists(notebook() + "/OldNotes.xhtml"));
    EXPECT_EQ(home.read("data/Trash/files/OldNotes.xhtml"), page("Old Notes", "<p>old</p>"));
    EXPECT_NE(home.read("data/Trash/info/OldNotes.xhtml.trashinfo").find("[Trash Info]\nPath=/"),
              std::string::npos);
    EXPECT_EQ(readPage("FrontPage"), page("Front Page", "<p>See OldNotes</p>"));  // links stay
    r = run({"pages"});
    EXPECT_EQ(r.out, "FrontPage\tFront Page\n");

    for (const char* name : {"FrontPage", "OldNotes"}) {
        r = run({"delete", name});
        EXPECT_EQ(r.status, 2) << name;
        EXPECT_EQ(lineCount(r.err), 1u) << r.err;
    }
    EXPECT_TRUE(std::filesystem::exists(notebook() + "/FrontPage.xhtml"));
    r = run({"delete"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("missing argument"), std::string::npos);
}

TEST_F(CliTest, EveryCommandFirstCompletesARenameCutShort) {
    const std::string before = page("Home", "<p>ShoppingList</p>");
    const std::string after = page("Home", "<p>GroceryList</p>");
    writePage("Home", before);
    writePage("ShoppingList", page("Shopping List", "<p>x</p>"));
    RenameJournal journal;
    journal.from = "ShoppingList";
    journal.to = "GroceryList";
    journal.entries = {{"Home", before, after}};
    dir.write("nb/.tavix-rename-journal", encodeJournal(journal));
    const Result r = run({"list"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "GroceryList\nHome\n");
    EXPECT_EQ(readPage("Home"), after);
    EXPECT_FALSE(std::filesystem::exists(notebook() + "/.tavix-rename-journal"));
}

TEST_F(CliTest, ExportHtmlWritesTheSiteAndFailsOnWhatItCannotWrite) {
    writePage("FrontPage", page("Front Page", "<p>See ShoppingList and NoPage</p>"));
    writePage("ShoppingList", page("Shopping List", "<p>milk</p>"));
    dir.write("settings.props", "app.StyleMap.Style0.Font.Name=Liberation Serif\n");
    const std::string site = dir.file("site");
    Result r = run({"--settings", dir.file("settings.props"), "export-html", site});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const char* file : {"FrontPage.html", "ShoppingList.html", "index.html", "style.css"})
        EXPECT_TRUE(std::filesystem::is_regular_file(site + "/" + file)) << file;
    const std::string front = dir.read("site/FrontPage.html");
    EXPECT_NE(front.find("<a href=\"ShoppingList.html\">ShoppingList</a> and NoPage"), std::string::npos)
        << front;
    EXPECT_NE(dir.read("site/style.css").find("\"Liberation Serif\""), std::string::npos);
    EXPECT_NE(run({"--help"}, false).out.find("export-html OUTDIR"), std::string::npos);

    // A page that reads only in part is exported as far as it reads, named,
    // and the status says the site is not complete.
    writePage("Broken", "<html><body><p>cut");
    r = run({"export-html", site});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(lineCount(r.err), 1u) << r.err;
    EXPECT_NE(r.err.find("Broken"), std::string::npos);
    EXPECT_NE(dir.read("site/Broken.html").find("cut"), std::string::npos);

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"export-html"}, {"export-html", site, "extra"},
          {"export-html", dir.file("settings.props") + "/site"}}) {
        r = run(args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_EQ(lineCount(r.err), 1u) << r.err;
    }
    EXPECT_EQ(dir.read("settings.props"), "app.StyleMap.Style0.Font.Name=Liberation Serif\n");
}

}  // namespace
}  // namespace tavix
