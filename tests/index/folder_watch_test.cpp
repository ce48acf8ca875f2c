// The folder watch against the page listing and a stat of every file: after
// any change the two must agree, while a watch with nothing to report looks
// at no file at all.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "index/FolderWatch.h"
#include "store/Notebook.h"
#include "store/TextCodec.h"
#include "support/TempDir.h"

namespace tavix {
namespace {

using test::TempDir;

// What the watch must give: the listing, and each file's stamps now.
std::vector<std::string> truth(const std::string& folder) {
    Notebook notebook;
    notebook.setFolder(fromUtf8(folder));
    std::vector<std::string> out;
    const PageIterator end;
    for (PageFileIterator it = notebook.pages(); !(it == end); ++it) {
        struct stat info {};
        EXPECT_EQ(::stat(toUtf8(it.path()).c_str(), &info), 0);
        out.push_back(toUtf8(it->pageName) + " " + std::to_string(info.st_size) + " " +
                      std::to_string(info.st_mtim.tv_nsec + info.st_mtim.tv_sec * 1'000'000'000L) + " " +
                      std::to_string(info.st_ctim.tv_nsec + info.st_ctim.tv_sec * 1'000'000'000L) + " " +
                      std::to_string(info.st_ino));
    }
    return out;
}

std::vector<std::string> watched(FolderWatch& watch) {
    std::vector<std::string> out;
    for (const WatchedFile& f : watch.files()) {
        EXPECT_TRUE(f.regular) << f.file;
        out.push_back(toUtf8(f.entry.pageName) + " " + std::to_string(f.facts.size) + " " +
                      std::to_string(f.facts.mtime) + " " + std::to_string(f.facts.ctime) + " " +
                      std::to_string(f.facts.inode));
    }
    return out;
}

bool onLocalFileSystem(const std::string& folder) {
    struct statfs fs {};
    return ::statfs(folder.c_str(), &fs) == 0 &&
           (fs.f_type == 0xEF53 || fs.f_type == 0x01021994 || fs.f_type == 0x9123683E || fs.f_type == 0x58465342);
}

// (Nothing happens where a folder stands.)
void writeInPlace(const std::string& path, const std::string& bytes) {
    FILE* out = std::fopen(path.c_str(), "r+b");
    if (!out) out = std::fopen(path.c_str(), "wb");
    if (!out) return;
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    ASSERT_EQ(::ftruncate(::fileno(out), static_cast<off_t>(bytes.size())), 0);
    std::fclose(out);
}

// Every kind of change a folder sees, at random, each followed by a check.
TEST(FolderWatchTest, AgreesWithTheListingAfterEveryChange) {
    TempDir dir;
    TempDir outside;
    const std::string folder = dir.path();
    // Pages with second names elsewhere, written through those names.
    dir.write("D.xhtml", "d");
    dir.write("E.xhtml", "e");
    ASSERT_EQ(::link(dir.file("D.xhtml").c_str(), (outside.path() + "/D").c_str()), 0);
    ASSERT_EQ(::link(dir.file("E.xhtml").c_str(), (outside.path() + "/E").c_str()), 0);
    FolderWatch watch(folder);
    ASSERT_EQ(watched(watch), truth(folder));
    std::mt19937 rng(11);
    const std::vector<std::string> names = {"A", "B", "C", "Front", ".hidden", "x.xhtml", "D", "E"};
    auto path = [&](const std::string& n) { return folder + "/" + n + ".xhtml"; };
    for (int step = 0; step < 400; ++step) {
        const std::string n = names[rng() % names.size()];
        switch (rng() % 9) {
        case 0: dir.write(n + ".xhtml", std::string(rng() % 50, 'a')); break;
        case 1: writeInPlace(path(n), std::string(rng() % 50, 'b')); break;
        case 2: std::remove(path(n).c_str()); break;
        case 3: std::rename(path(n).c_str(), path(names[rng() % names.size()]).c_str()); break;
        case 4: ::utimensat(AT_FDCWD, path(n).c_str(), nullptr, 0); break;
        case 5: ::chmod(path(n).c_str(), rng() % 2 ? 0600 : 0644); break;
        case 6: ::mkdir(path(n).c_str(), 0700); ::rmdir(path(names[rng() % names.size()]).c_str()); break;
        case 7: {  // in and out of the folder, and a file of another name
            const std::string away = outside.path() + "/away";
            std::rename(path(n).c_str(), away.c_str());
            if (rng() % 2) std::rename(away.c_str(), path(names[rng() % names.size()]).c_str());
            dir.write(n + ".xhtml~", "backup");
            break;
        }
        default:  // written through a second name, while it still is one
            writeInPlace(outside.path() + (rng() % 2 ? "/D" : "/E"), std::string(rng() % 50, 'c'));
            break;
        }
        ASSERT_EQ(watched(watch), truth(folder)) << "step " << step;
    }
    if (!onLocalFileSystem(folder))
        GTEST_SKIP() << "the temporary folder is not on a file system the watch trusts";
    // Nothing changed: nothing looked at but the files with second names.
    std::size_t linked = 0;
    for (const WatchedFile& f : watch.files()) linked += f.links > 1;
    EXPECT_TRUE(watch.trusted());
    EXPECT_EQ(watch.looked(), linked);
}

// Links and folders that change where no notice reaches, an overflowing
// queue of notices, and the folder itself replaced.
TEST(FolderWatchTest, StartsAfreshWhereNoticesCannotTell) {
    TempDir dir;
    TempDir outside;
    const std::string folder = dir.path();
    for (int i = 0; i < 20; ++i) dir.write("P" + std::to_string(i) + ".xhtml", "x");
    FolderWatch watch(folder);
    ASSERT_EQ(watched(watch), truth(folder));
    const bool local = onLocalFileSystem(folder);
    EXPECT_EQ(watch.trusted(), local);

    // A symbolic link: its target changes without a notice here.
    const std::string target = outside.path() + "/target";
    writeInPlace(target, "one");
    ASSERT_EQ(::symlink(target.c_str(), (folder + "/Link.xhtml").c_str()), 0);
    ASSERT_EQ(watched(watch), truth(folder));
    EXPECT_FALSE(watch.trusted());
    writeInPlace(target, "three");
    ASSERT_EQ(watched(watch), truth(folder));
    std::remove(target.c_str());
    ASSERT_EQ(::mkdir(target.c_str(), 0700), 0);  // now a link to a folder: no page
    ASSERT_EQ(watched(watch), truth(folder));
    std::remove((folder + "/Link.xhtml").c_str());
    ASSERT_EQ(watched(watch), truth(folder));
    EXPECT_EQ(watch.trusted(), local);

    // More notices than the kernel keeps (16384 by default): the overflow
    // is seen, and a change made after it is not missed.
    for (int i = 0; i < 20000; ++i)
        ::utimensat(AT_FDCWD, (folder + "/P" + std::to_string(i % 2) + ".xhtml").c_str(), nullptr, 0);
    writeInPlace(folder + "/P7.xhtml", "changed");
    ASSERT_EQ(watched(watch), truth(folder));
    EXPECT_EQ(watch.files()[0].file, "P0.xhtml");

    // The folder moved away and another made in its place.
    const std::string moved = outside.path() + "/moved";
    ASSERT_EQ(std::rename(folder.c_str(), moved.c_str()), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    dir.write("Other.xhtml", "y");
    ASSERT_EQ(watched(watch), truth(folder));
    ASSERT_EQ(watch.files().size(), 1u);
    // Gone altogether: nothing listed, as the page listing lists nothing.
    std::remove((folder + "/Other.xhtml").c_str());
    ASSERT_EQ(::rmdir(folder.c_str()), 0);
    EXPECT_TRUE(watch.files().empty());
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
}

}  // namespace
}  // namespace tavix
