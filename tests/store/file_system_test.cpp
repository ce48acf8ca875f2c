#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

struct stat lstatOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

std::string linkTarget(const std::string& path) {
    char buffer[4096];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    return n < 0 ? std::string() : std::string(buffer, static_cast<std::size_t>(n));
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

void makeOld(const std::string& path, int seconds) {
    const timespec when[2] = {{std::time(nullptr) - seconds, 0}, {std::time(nullptr) - seconds, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), when, AT_SYMLINK_NOFOLLOW), 0);
}

TEST(AtomicWrite, WritesThroughAChainOfSymbolicLinksThatStayLinks) {
    TempDir dir;
    ASSERT_EQ(::mkdir(dir.file("real").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir(dir.file("links").c_str(), 0755), 0);
    dir.write("real/target.txt", "old");
    ASSERT_EQ(::chmod(dir.file("real/target.txt").c_str(), 0640), 0);
    // Relative targets are read against the folder of the link holding them.
    ASSERT_EQ(::symlink("../real/target.txt", dir.file("links/second").c_str()), 0);
    ASSERT_EQ(::symlink("second", dir.file("links/first").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("links/first").c_str(), dir.file("top").c_str()), 0);

    ASSERT_TRUE(writeFileAtomically(dir.file("top"), "new content").ok());
    EXPECT_TRUE(S_ISLNK(lstatOf(dir.file("top")).st_mode));
    EXPECT_TRUE(S_ISLNK(lstatOf(dir.file("links/first")).st_mode));
    EXPECT_TRUE(S_ISLNK(lstatOf(dir.file("links/second")).st_mode));
    EXPECT_EQ(linkTarget(dir.file("links/second")), "../real/target.txt");
    EXPECT_EQ(dir.read("real/target.txt"), "new content");
    EXPECT_EQ(lstatOf(dir.file("real/target.txt")).st_mode & 07777, 0640u);
    // The temporary file went to the target's folder and is gone.
    EXPECT_EQ(sortedFiles(dir.file("real")), std::vector<std::string>{"target.txt"});
    EXPECT_EQ(sortedFiles(dir.file("links")), (std::vector<std::string>{"first", "second"}));
}

TEST(AtomicWrite, DanglingLinkGetsItsTargetAndALoopFails) {
    TempDir dir;
    ASSERT_EQ(::symlink("made.txt", dir.file("link").c_str()), 0);
    ASSERT_TRUE(writeFileAtomically(dir.file("link"), "made").ok());
    EXPECT_TRUE(S_ISLNK(lstatOf(dir.file("link")).st_mode));
    EXPECT_EQ(dir.read("made.txt"), "made");

    ASSERT_EQ(::symlink("loop-b", dir.file("loop-a").c_str()), 0);
    ASSERT_EQ(::symlink("loop-a", dir.file("loop-b").c_str()), 0);
    const Status s = writeFileAtomically(dir.file("loop-a"), "x");
    EXPECT_FALSE(s.ok());
    EXPECT_NE(s.message().find("loop-a"), std::string::npos) << s.message();
    EXPECT_NE(s.message().find("symbolic links"), std::string::npos) << s.message();
    EXPECT_TRUE(S_ISLNK(lstatOf(dir.file("loop-a")).st_mode));
    EXPECT_EQ(sortedFiles(dir.path()), (std::vector<std::string>{"link", "made.txt"}));
}

TEST(AtomicWrite, HardLinkedFileIsRewrittenInPlaceForAllItsNames) {
    TempDir dir;
    dir.write("a.xhtml", "old content");
    ASSERT_EQ(::link(dir.file("a.xhtml").c_str(), dir.file("b.xhtml").c_str()), 0);
    ASSERT_EQ(::chmod(dir.file("a.xhtml").c_str(), 0604), 0);
    const ino_t inode = lstatOf(dir.file("a.xhtml")).st_ino;

    ASSERT_TRUE(writeFileAtomically(dir.file("a.xhtml"), "a longer new content").ok());
    EXPECT_EQ(dir.read("b.xhtml"), "a longer new content");
    ASSERT_TRUE(writeFileAtomically(dir.file("b.xhtml"), "short").ok());
    EXPECT_EQ(dir.read("a.xhtml"), "short");
    const struct stat info = lstatOf(dir.file("a.xhtml"));
    EXPECT_EQ(info.st_ino, inode);
    EXPECT_EQ(info.st_nlink, 2u);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    EXPECT_EQ(sortedFiles(dir.path()), (std::vector<std::string>{"a.xhtml", "b.xhtml"}));
}

TEST(AtomicWrite, WriteProtectedFileIsRefused) {
    // The mode bits decide, not access(): the superuser may write anything.
    TempDir dir;
    dir.write("locked.xhtml", "keep me");
    ASSERT_EQ(::chmod(dir.file("locked.xhtml").c_str(), 0444), 0);
    ASSERT_EQ(::symlink("locked.xhtml", dir.file("via-link").c_str()), 0);
    ASSERT_EQ(::link(dir.file("locked.xhtml").c_str(), dir.file("second.xhtml").c_str()), 0);
    for (const char* name : {"locked.xhtml", "via-link", "second.xhtml"}) {
        const Status s = writeFileAtomically(dir.file(name), "new");
        EXPECT_FALSE(s.ok()) << name;
        EXPECT_NE(s.message().find(name), std::string::npos) << s.message();
        EXPECT_NE(s.message().find("write-protected"), std::string::npos) << s.message();
    }
    EXPECT_EQ(dir.read("locked.xhtml"), "keep me");
    EXPECT_EQ(lstatOf(dir.file("locked.xhtml")).st_mode & 07777, 0444u);
    EXPECT_TRUE(S_ISLNK(lstatOf(dir.file("via-link")).st_mode));
    EXPECT_EQ(sortedFiles(dir.path()),
              (std::vector<std::string>{"locked.xhtml", "second.xhtml", "via-link"}));
}

TEST(StaleTemporaries, OnlyThoseOfEndedProcessesAreRemoved) {
    TempDir dir;
    const std::string dead = std::to_string(deadPid());
    const std::string live = std::to_string(::getpid());
    const std::vector<std::string> kept = {
        ".tavix-tmp-" + live + "-abcdefghij",   // this process is running
        ".tavix-tmp-1-abcdefghij",              // pid 1 always runs
        ".tavix-tmp-Ab3dEf5hIj",                // old format, recent: may still be written
        ".tavix-tmp-0-abcdefghij",              // no process has pid 0
        ".tavix-tmp-" + dead,                   // not a name a save gives
        ".hidden", "Page.xhtml", "notes.txt"};
    for (const std::string& name : kept)
        dir.write(name, "x");
    dir.write(".tavix-tmp-" + dead + "-abcdefghij", "leftover");
    dir.write(".tavix-tmp-Zy9xWv8uTs", "old leftover");
    makeOld(dir.file(".tavix-tmp-Zy9xWv8uTs"), 2 * 3600);
    makeOld(dir.file(".tavix-tmp-Ab3dEf5hIj"), 50 * 60);
    // Never followed or removed: what is not a regular file.
    ASSERT_EQ(::symlink("Page.xhtml", dir.file(".tavix-tmp-" + dead + "-klmnopqrst").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file(".tavix-tmp-" + dead + "-uvwxyzabcd").c_str(), 0755), 0);

    const StaleCleanup result = removeStaleTemporaries(dir.path());
    EXPECT_EQ(result.removed, 2u);
    EXPECT_EQ(result.recovered, 0u);
    auto expected = kept;
    expected.push_back(".tavix-tmp-" + dead + "-klmnopqrst");  // listed as what it points to
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(sortedFiles(dir.path()), expected);
    EXPECT_EQ(dir.read("Page.xhtml"), "x");
    EXPECT_TRUE(pathExists(dir.file(".tavix-tmp-" + dead + "-klmnopqrst")));
    EXPECT_TRUE(pathExists(dir.file(".tavix-tmp-" + dead + "-uvwxyzabcd")));

    EXPECT_EQ(removeStaleTemporaries(dir.file("missing")).removed, 0u);
    EXPECT_EQ(removeStaleTemporaries("").removed, 0u);
}

TEST(StaleTemporaries, AnInterruptedInPlaceRewriteIsFinished) {
    TempDir dir;
    dir.write("P.xhtml", "half written");
    ASSERT_EQ(::link(dir.file("P.xhtml").c_str(), dir.file("Q.xhtml").c_str()), 0);
    const ino_t inode = lstatOf(dir.file("P.xhtml")).st_ino;
    const std::string dead = std::to_string(deadPid());
    const std::string redo = ".tavix-redo-" + dead + "-" + std::to_string(inode) + "-abcdefghij";

    // While its writer runs, the copy is left alone.
    const std::string live = ".tavix-redo-" + std::to_string(::getpid()) + "-" +
                             std::to_string(inode) + "-abcdefghij";
    dir.write(live, "not yet");
    EXPECT_EQ(removeStaleTemporaries(dir.path()).removed, 0u);
    EXPECT_EQ(dir.read("P.xhtml"), "half written");
    ASSERT_EQ(::unlink(dir.file(live).c_str()), 0);

    dir.write(redo, "the complete new content");
    // A copy for a file no longer in the folder has nothing to finish.
    const std::string orphan = ".tavix-redo-" + dead + "-" + std::to_string(inode + 7777777) +
                               "-abcdefghij";
    dir.write(orphan, "orphan");
    const StaleCleanup result = removeStaleTemporaries(dir.path());
    EXPECT_EQ(result.removed, 2u);
    EXPECT_EQ(result.recovered, 1u);
    EXPECT_EQ(dir.read("P.xhtml"), "the complete new content");
    EXPECT_EQ(dir.read("Q.xhtml"), "the complete new content");
    EXPECT_EQ(lstatOf(dir.file("P.xhtml")).st_ino, inode);
    EXPECT_EQ(sortedFiles(dir.path()), (std::vector<std::string>{"P.xhtml", "Q.xhtml"}));
}

TEST(StaleTemporaries, ALaterSaveOutdatesTheCopyOfAnEndedOne) {
    TempDir dir;
    dir.write("P.xhtml", "old");
    ASSERT_EQ(::link(dir.file("P.xhtml").c_str(), dir.file("Q.xhtml").c_str()), 0);
    const ino_t inode = lstatOf(dir.file("P.xhtml")).st_ino;
    dir.write(".tavix-redo-" + std::to_string(deadPid()) + "-" + std::to_string(inode) +
                  "-abcdefghij",
              "older save that never finished");
    ASSERT_TRUE(writeFileAtomically(dir.file("Q.xhtml"), "newest").ok());
    removeStaleTemporaries(dir.path());
    EXPECT_EQ(dir.read("P.xhtml"), "newest");
    EXPECT_EQ(sortedFiles(dir.path()), (std::vector<std::string>{"P.xhtml", "Q.xhtml"}));
}

TEST(FileSystem, NewFoldersArePrivateAndExistingOnesKeepTheirMode) {
    TempDir dir;
    const mode_t oldMask = ::umask(022);
    EXPECT_TRUE(ensureFolder(dir.file("new")));
    ASSERT_EQ(::mkdir(dir.file("shared").c_str(), 0755), 0);
    EXPECT_TRUE(ensureFolder(dir.file("shared")));
    ::umask(oldMask);
    EXPECT_EQ(lstatOf(dir.file("new")).st_mode & 07777, 0700u);
    EXPECT_EQ(lstatOf(dir.file("shared")).st_mode & 07777, 0755u);
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
