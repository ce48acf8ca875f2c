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
                              " XDG_DATA_HOME=" + quoted(home.file("data")) + " " +
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
};

TEST_F(CliTest, HelpExplainsEveryCommand) {
    const Result r = run({"--help"}, false);
    EXPECT_EQ(r.status, 0);
    for (const char* word : {"list", "find", "--match-case", "export-rtf", "import-rtf", "--replace", "--notebook",
                             "--settings", "Exit status"})
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

}  // namespace
}  // namespace tavix
