#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "formats/PageDocument.h"
#include "store/FileSystem.h"
#include "store/NotebookStore.h"
#include "store/TextCodec.h"
#include "support/TempDir.h"

namespace tavix {
namespace {

using test::TempDir;

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Points the XDG variables at temporary folders for one test.
class XdgScope {
public:
    XdgScope(const std::string& config, const std::string& data) {
        save("XDG_CONFIG_HOME", config, oldConfig_, hadConfig_);
        save("XDG_DATA_HOME", data, oldData_, hadData_);
    }
    ~XdgScope() {
        restore("XDG_CONFIG_HOME", oldConfig_, hadConfig_);
        restore("XDG_DATA_HOME", oldData_, hadData_);
    }

private:
    static void save(const char* name, const std::string& value, std::string& old, bool& had) {
        const char* current = std::getenv(name);
        had = current != nullptr;
        if (had)
            old = current;
        ::setenv(name, value.c_str(), 1);
    }
    static void restore(const char* name, const std::string& old, bool had) {
        if (had)
            ::setenv(name, old.c_str(), 1);
        else
            ::unsetenv(name);
    }
    std::string oldConfig_, oldData_;
    bool hadConfig_ = false, hadData_ = false;
};

TEST(NotebookStore, FoldersComeFromTheXdgVariablesAndAreCreatedOutsideIn) {
    TempDir dir;
    XdgScope scope(dir.file("config"), dir.file("data"));
    const std::u16string data = NotebookStore::defaultDataFolder();
    const std::u16string program = NotebookStore::defaultProgramFolder();
    EXPECT_EQ(data, dir.path16() + u"/config/Halvorix/Tavix");
    EXPECT_EQ(program, dir.path16() + u"/data/Halvorix/Tavix");

    NotebookStore::ensureFolders(data, program);
    EXPECT_TRUE(isFolder(dir.file("config/Halvorix/Tavix")));
    EXPECT_TRUE(isFolder(dir.file("data/Halvorix/Tavix/Notebooks/Default")));
    // A second start finds everything in place.
    NotebookStore::ensureFolders(data, program);
    EXPECT_TRUE(isFolder(dir.file("data/Halvorix/Tavix/Notebooks/Default")));

    NotebookStore store;
    store.setProgramFolder(program);
    EXPECT_EQ(store.notebook().folder(), program + u"/Notebooks/Default");
}

TEST(NotebookStore, AFileInThePathCountsAsExisting) {
    TempDir dir;
    dir.write("Halvorix", "not a folder");
    NotebookStore::ensureFolders(dir.path16() + u"/Halvorix/Tavix", u"");
    EXPECT_EQ(dir.read("Halvorix"), "not a folder");
    EXPECT_FALSE(isFolder(dir.file("Halvorix")));
}

TEST(NotebookStore, ProgramFolderGivesTheNotebookFolder) {
    NotebookStore store;
    store.setProgramFolder(u"/opt/tavix/");
    EXPECT_EQ(store.programFolder(), u"/opt/tavix/");
    EXPECT_EQ(store.notebook().folder(), u"/opt/tavix/Notebooks/Default");
    store.setProgramFolder(u"/opt/tavix");
    EXPECT_EQ(store.notebook().folder(), u"/opt/tavix/Notebooks/Default");
    store.setProgramFolder(u"");
    EXPECT_EQ(store.notebook().folder(), u"");
}

TEST(NotebookStore, LoadsSettingsAndStyleSheetFromTheDataFolder) {
    TempDir dir;
    dir.write("tavix.props",
              "app.FindPages.History.1=caf\xC3\xA9\n"
              "app.FindPages.History.LastIndex=1\n"
              "app.StyleMap.Style2.Font.Size=30\n"
              "app.StyleMap.LeftMargin=25\n"
              "app.Unknown.Key=kept\n");
    NotebookStore store;
    store.setDataFolder(dir.path16());
    EXPECT_TRUE(store.loadSettings());
    EXPECT_EQ(store.styleSheet().style(2).size(), 30);
    EXPECT_EQ(store.styleSheet().leftMargin(), 25);
    EXPECT_EQ(store.styleSheet().style(1).size(), 22);
    EXPECT_EQ(store.settings(u"FindPages").child(u"History").getString(u"1", u""), u"caf\u00e9");
    EXPECT_EQ(store.properties()->filePath(), dir.path16() + u"/tavix.props");

    // Saving the style sheet rewrites the file in full, keeping what it does
    // not know about.
    store.styleSheet().style(0).setFontName(u"DejaVu Serif");
    ASSERT_TRUE(store.saveStyleSheet().ok());
    const std::string text = dir.read("tavix.props");
    EXPECT_EQ(text.rfind("app.FindPages.History.1=caf\xC3\xA9\n", 0), 0u) << text;
    EXPECT_NE(text.find("app.StyleMap.Style0.Font.Name=DejaVu Serif\n"), std::string::npos);
    EXPECT_NE(text.find("app.StyleMap.Style2.Font.Size=30\n"), std::string::npos);
    EXPECT_NE(text.find("app.Unknown.Key=kept\n"), std::string::npos);

    NotebookStore reread;
    reread.loadSettingsFrom(dir.path16() + u"/tavix.props");
    EXPECT_EQ(reread.styleSheet(), store.styleSheet());
}

TEST(NotebookStore, MissingFileKeepsDefaultsAndFirstSaveCreatesIt) {
    TempDir dir;
    NotebookStore store;
    store.setDataFolder(dir.path16());
    EXPECT_TRUE(store.loadSettings());
    EXPECT_EQ(store.styleSheet(), StyleSheet());
    EXPECT_EQ(dir.read("tavix.props"), "");
    ASSERT_TRUE(store.saveStyleSheet().ok());
    EXPECT_EQ(dir.read("tavix.props").rfind("app.StyleMap.LeftMargin=10\napp.StyleMap.RightMargin=10\n", 0),
              0u);
}

TEST(NotebookStore, FailedSettingsSaveIsReported) {
    TempDir dir;
    dir.write("blocker", "");
    NotebookStore store;
    store.setDataFolder(dir.path16() + u"/blocker");
    ASSERT_TRUE(store.loadSettings());
    store.styleSheet().setLeftMargin(40);
    const Status s = store.saveStyleSheet();
    EXPECT_FALSE(s.ok());
    EXPECT_NE(s.message().find("tavix.props"), std::string::npos) << s.message();
    EXPECT_EQ(store.styleSheet().leftMargin(), 40);

    // No data folder at all: nothing may be written at the top of the disk.
    NotebookStore nowhere;
    ASSERT_TRUE(nowhere.loadSettings());
    EXPECT_TRUE(nowhere.properties()->filePath().empty());
    EXPECT_FALSE(nowhere.saveStyleSheet().ok());
}

unsigned modeOf(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0u;
}

TEST(NotebookStore, CreatedFoldersArePrivateAndExistingOnesAreLeftAlone) {
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("config").c_str(), 0755), 0);
    const mode_t oldMask = ::umask(022);
    NotebookStore::ensureFolders(dir.path16() + u"/config/Halvorix/Tavix",
                                 dir.path16() + u"/data/Halvorix/Tavix");
    ::umask(oldMask);
    EXPECT_EQ(modeOf(dir.file("config")), 0755u);
    for (const char* folder : {"config/Halvorix", "config/Halvorix/Tavix", "data", "data/Halvorix",
                               "data/Halvorix/Tavix", "data/Halvorix/Tavix/Notebooks",
                               "data/Halvorix/Tavix/Notebooks/Default"})
        EXPECT_EQ(modeOf(dir.file(folder)), 0700u) << folder;
}

// Every road by which the settings reach the disk.
void expectEverySettingsSaveRefused(NotebookStore& store, const std::string& reason) {
    store.styleSheet().setLeftMargin(40);
    std::vector<Status> results;
    results.push_back(store.saveStyleSheet());
    PropertyNode& history = store.settings(u"FindPages").child(u"History");
    history.set(u"1", u"searched");
    results.push_back(history.save());
    results.push_back(store.properties()->save());
    for (const Status& s : results) {
        EXPECT_FALSE(s.ok());
        EXPECT_NE(s.message().find("tavix.props"), std::string::npos) << s.message();
        EXPECT_NE(s.message().find(reason), std::string::npos) << s.message();
    }
}

TEST(NotebookStore, ASettingsPathThatCannotBeReadIsNeverReplaced) {
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("tavix.props").c_str(), 0755), 0);
    dir.write("tavix.props/inside", "kept");
    NotebookStore store;
    store.setDataFolder(dir.path16());
    EXPECT_TRUE(store.loadSettings());
    EXPECT_EQ(store.styleSheet(), StyleSheet());
    expectEverySettingsSaveRefused(store, "Is a directory");
    EXPECT_TRUE(isFolder(dir.file("tavix.props")));
    EXPECT_EQ(dir.read("tavix.props/inside"), "kept");

    // Something that is not a file at all, such as a FIFO, is no better.
    TempDir other;
    ASSERT_EQ(::mkfifo(other.file("tavix.props").c_str(), 0644), 0);
    NotebookStore fifo;
    fifo.setDataFolder(other.path16());
    EXPECT_TRUE(fifo.loadSettings());
    expectEverySettingsSaveRefused(fifo, "tavix.props");
    struct stat info {};
    ASSERT_EQ(::lstat(other.file("tavix.props").c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(NotebookStore, ASettingsFileWithoutReadPermissionIsNeverReplaced) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permission bits do not stop the superuser";
    TempDir dir;
    const std::string original =
        "app.StyleMap.Style0.Font.Name=Fira Sans\napp.StyleMap.LeftMargin=30\n";
    dir.write("tavix.props", original);
    ASSERT_EQ(::chmod(dir.file("tavix.props").c_str(), 0), 0);
    NotebookStore store;
    store.setDataFolder(dir.path16());
    EXPECT_TRUE(store.loadSettings());
    expectEverySettingsSaveRefused(store, "Permission denied");
    ASSERT_EQ(::chmod(dir.file("tavix.props").c_str(), 0600), 0);
    EXPECT_EQ(dir.read("tavix.props"), original);
}

// The pid of a process that has ended and been reaped.
pid_t deadPid() {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return pid;
}

TEST(NotebookStore, OpeningTheFoldersRemovesWhatEndedSavesLeftBehind) {
    TempDir dir;
    NotebookStore::ensureFolders(dir.path16() + u"/config", dir.path16() + u"/data");
    const std::string dead = ".tavix-tmp-" + std::to_string(deadPid()) + "-abcdefghij";
    const std::string live = ".tavix-tmp-" + std::to_string(::getpid()) + "-abcdefghij";
    for (const char* folder : {"config/", "data/Notebooks/Default/"}) {
        dir.write(folder + dead, "leftover");
        dir.write(folder + live, "being written");
    }
    NotebookStore store;
    store.setDataFolder(dir.path16() + u"/config");
    store.loadSettings();
    EXPECT_FALSE(pathExists(dir.file("config/" + dead)));
    EXPECT_TRUE(pathExists(dir.file("data/Notebooks/Default/" + dead)));
    store.setProgramFolder(dir.path16() + u"/data");
    EXPECT_FALSE(pathExists(dir.file("data/Notebooks/Default/" + dead)));
    EXPECT_TRUE(pathExists(dir.file("config/" + live)));
    EXPECT_TRUE(pathExists(dir.file("data/Notebooks/Default/" + live)));
}

TEST(NotebookStore, PagesSavedThroughTheStoreAreListed) {
    TempDir dir;
    NotebookStore store;
    store.notebook().setDiagnostics(std::cerr);
    NotebookStore::ensureFolders(u"", dir.path16());
    store.setProgramFolder(dir.path16());
    PageDocument& page = store.notebook().getPage(Notebook::frontPageName());
    ASSERT_TRUE(page.save().ok());
    EXPECT_TRUE(isReadableFile(dir.file("Notebooks/Default/FrontPage.xhtml")));

    auto it = store.notebook().pages();
    ASSERT_FALSE(it == PageIterator());
    EXPECT_EQ(it->pageName, u"FrontPage");
    ++it;
    EXPECT_TRUE(it == PageIterator());
}

}  // namespace
}  // namespace tavix
