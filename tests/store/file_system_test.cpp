#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "store/FileSystem.h"
#include "support/TempDir.h"

namespace tavix {
namespace {

using test::TempDir;

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            hadOld_ = true;
            old_ = old;
        }
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (hadOld_)
            ::setenv(name_, old_.c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    bool hadOld_ = false;
    std::string old_;
};

std::vector<std::string> sortedFiles(const std::string& folder) {
    auto names = listRegularFiles(folder);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(AtomicWrite, CreatesAndReplacesLeavingNoTemporaryFile) {
    TempDir dir;
    ASSERT_TRUE(writeFileAtomically(dir.file("a.txt"), "first").ok());
    EXPECT_EQ(dir.read("a.txt"), "first");
    ASSERT_TRUE(writeFileAtomically(dir.file("a.txt"), std::string("sec\0ond", 7)).ok());
    EXPECT_EQ(dir.read("a.txt"), std::string("sec\0ond", 7));
    ASSERT_TRUE(writeFileAtomically(dir.file("a.txt"), "").ok());
    EXPECT_EQ(dir.read("a.txt"), "");
    EXPECT_EQ(sortedFiles(dir.path()), std::vector<std::string>{"a.txt"});
}

TEST(AtomicWrite, KeepsThePermissionsOfTheReplacedFile) {
    TempDir dir;
    dir.write("p.txt", "old");
    ASSERT_EQ(::chmod(dir.file("p.txt").c_str(), 0640), 0);
    ASSERT_TRUE(writeFileAtomically(dir.file("p.txt"), "new").ok());
    struct stat info {};
    ASSERT_EQ(::stat(dir.file("p.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(AtomicWrite, FailureLeavesTheOldFileAndSaysWhy) {
    TempDir dir;
    dir.write("keep.txt", "precious");

    // The final rename cannot work: the name is longer than any file system allows.
    const std::string tooLong = dir.file(std::string(300, 'x'));
    Status s = writeFileAtomically(tooLong, "data");
    EXPECT_FALSE(s.ok());
    EXPECT_NE(s.message().find("xxxx"), std::string::npos) << s.message();
    EXPECT_NE(s.message().find("too long"), std::string::npos) << s.message();

    // The folder cannot exist: its parent is a regular file.
    s = writeFileAtomically(dir.file("keep.txt/inner.txt"), "data");
    EXPECT_FALSE(s.ok());
    EXPECT_NE(s.message().find("inner.txt"), std::string::npos) << s.message();
    EXPECT_NE(s.message().find("Not a directory"), std::string::npos) << s.message();

    // A folder in the way of the file.
    ASSERT_EQ(::mkdir(dir.file("sub").c_str(), 0755), 0);
    EXPECT_FALSE(writeFileAtomically(dir.file("sub"), "data").ok());

    EXPECT_EQ(dir.read("keep.txt"), "precious");
    // No temporary file is left behind by any of the failures.
    EXPECT_EQ(sortedFiles(dir.path()), std::vector<std::string>{"keep.txt"});
}

TEST(AtomicWrite, ReadOnlyFolderFailsWithoutTouchingTheOldFile) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permission bits do not stop the superuser";
    TempDir dir;
    dir.write("keep.txt", "precious");
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    const Status s = writeFileAtomically(dir.file("keep.txt"), "new");
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_FALSE(s.ok());
    EXPECT_NE(s.message().find("keep.txt"), std::string::npos);
    EXPECT_EQ(dir.read("keep.txt"), "precious");
}

TEST(FileSystem, ReadsWholeFilesAndRefusesWhatIsNotAFile) {
    TempDir dir;
    std::string big(200000, 'q');
    big[123456] = '\0';
    dir.write("big", big);
    std::string bytes;
    ASSERT_TRUE(readWholeFile(dir.file("big"), bytes).ok());
    EXPECT_EQ(bytes, big);

    Status s = readWholeFile(dir.file("missing"), bytes);
    EXPECT_FALSE(s.ok());
    EXPECT_NE(s.message().find("missing"), std::string::npos);
    EXPECT_TRUE(bytes.empty());

    ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0755), 0);
    EXPECT_FALSE(readWholeFile(dir.file("folder"), bytes).ok());
    // A FIFO must neither hang the reader nor count as a page file.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0644), 0);
    EXPECT_FALSE(readWholeFile(dir.file("fifo"), bytes).ok());
    EXPECT_FALSE(isReadableFile(dir.file("fifo")));
    EXPECT_FALSE(isReadableFile(dir.file("folder")));
    EXPECT_FALSE(isReadableFile(dir.file("missing")));
    EXPECT_TRUE(isReadableFile(dir.file("big")));
    EXPECT_TRUE(pathExists(dir.file("fifo")));
}

TEST(FileSystem, EnsureFolderCreatesOnlyTheLastLevelAndAcceptsFiles) {
    TempDir dir;
    EXPECT_TRUE(ensureFolder(dir.file("a")));
    EXPECT_TRUE(ensureFolder(dir.file("a")));
    EXPECT_FALSE(ensureFolder(dir.file("x/y")));
    EXPECT_FALSE(pathExists(dir.file("x")));
    dir.write("file", "");
    EXPECT_TRUE(ensureFolder(dir.file("file")));
    struct stat info {};
    ASSERT_EQ(::stat(dir.file("file").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
}

TEST(FileSystem, ListsRegularFilesOnly) {
    TempDir dir;
    dir.write("one.xhtml", "");
    dir.write(".hidden", "");
    ASSERT_EQ(::mkdir(dir.file("folder.xhtml").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("one.xhtml", dir.file("link.xhtml").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", dir.file("dangling.xhtml").c_str()), 0);
    EXPECT_EQ(sortedFiles(dir.path()),
              (std::vector<std::string>{".hidden", "link.xhtml", "one.xhtml"}));
    EXPECT_TRUE(listRegularFiles(dir.file("missing")).empty());
    EXPECT_TRUE(listRegularFiles("").empty());
}

TEST(FileSystem, XdgFoldersFollowTheEnvironment) {
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/tmp/cfg-home/");
        ScopedEnv data("XDG_DATA_HOME", "/tmp/data-home");
        EXPECT_EQ(configHome(), "/tmp/cfg-home");
        EXPECT_EQ(dataHome(), "/tmp/data-home");
    }
    {
        // Unset, empty and relative values fall back on the home folder.
        ScopedEnv home("HOME", "/home/someone");
        ScopedEnv config("XDG_CONFIG_HOME", nullptr);
        ScopedEnv data("XDG_DATA_HOME", "relative/path");
        EXPECT_EQ(configHome(), "/home/someone/.config");
        EXPECT_EQ(dataHome(), "/home/someone/.local/share");
        ScopedEnv empty("XDG_CONFIG_HOME", "");
        EXPECT_EQ(configHome(), "/home/someone/.config");
    }
}

}  // namespace
}  // namespace tavix
