// Deleting a page moves its file to the freedesktop.org home trash, with an
// info file any file manager can restore it from.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <regex>

#include <gtest/gtest.h>

#include "index/IndexOracle.h"
#include "index/PageTrash.h"
#include "support/TempDir.h"

namespace tavix {
namespace {

using test::pageFile;
using test::percentDecoded;
using test::TempDir;

struct TrashInfo {
    std::string path;  // decoded
    std::string date;
};

// Parses an info file as the trash rules define it; fails the test on
// anything else.
TrashInfo parseInfo(const std::string& text) {
    TrashInfo info;
    std::smatch m;
    static const std::regex shape("\\[Trash Info\\]\nPath=([^\n]*)\nDeletionDate=([^\n]*)\n");
    EXPECT_TRUE(std::regex_match(text, m, shape)) << text;
    if (m.size() == 3) {
        const std::string encoded = m[1];
        for (char c : encoded)
            EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) ||
                        std::strchr("/-_.!~*'()%", c))
                << encoded;
        info.path = percentDecoded(encoded);
        info.date = m[2];
    }
    return info;
}

class TrashTest : public ::testing::Test {
protected:
    TrashTest() {
        std::filesystem::create_directory(folder());
        ::setenv("XDG_DATA_HOME", dir.file("data").c_str(), 1);
        EXPECT_TRUE(index.open(folder(), dir.file("cache")));
    }
    std::string folder() const { return dir.file("nb"); }
    std::string file(const std::string& page) const { return folder() + "/" + page + ".xhtml"; }
    std::string real(const std::string& path) const {
        return std::filesystem::canonical(path).string();
    }

    XmlLibrary xml;
    TempDir dir;
    NotebookIndex index;
};

TEST_F(TrashTest, ADeletedPageGoesToTheTrashAndComesBack) {
    const std::string text = pageFile("Shopping List", "<p>milk</p>");
    dir.write("nb/ShoppingList.xhtml", text);
    dir.write("nb/Home.xhtml", pageFile("Home", "<p>See ShoppingList</p>"));
    ASSERT_TRUE(index.update().status);
    const std::time_t before = std::time(nullptr);

    const TrashedPage trashed = deletePage(folder(), &index, u"ShoppingList");
    ASSERT_TRUE(trashed.status) << trashed.status.message();
    EXPECT_EQ(homeTrashFolder(), dir.file("data") + "/Trash");
    EXPECT_EQ(trashed.file, dir.file("data/Trash/files/ShoppingList.xhtml"));
    EXPECT_EQ(trashed.info, dir.file("data/Trash/info/ShoppingList.xhtml.trashinfo"));
    EXPECT_FALSE(pathExists(file("ShoppingList")));
    EXPECT_EQ(dir.read("data/Trash/files/ShoppingList.xhtml"), text);
    const TrashInfo info = parseInfo(dir.read("data/Trash/info/ShoppingList.xhtml.trashinfo"));
    EXPECT_EQ(info.path, real(folder()) + "/ShoppingList.xhtml");
    std::tm when{};
    ASSERT_NE(strptime(info.date.c_str(), "%Y-%m-%dT%H:%M:%S", &when), nullptr) << info.date;
    when.tm_isdst = -1;
    const std::time_t deleted = std::mktime(&when);  // local time, as the rules say
    EXPECT_GE(deleted, before - 1);
    EXPECT_LE(deleted, std::time(nullptr) + 1);
    struct stat mode {};
    ::stat(dir.file("data/Trash").c_str(), &mode);
    EXPECT_EQ(mode.st_mode & 0777, 0700u);

    // Gone from the index at once; the links to it stay.
    bool exists = true;
    ASSERT_TRUE(index.hasPage(u"ShoppingList", exists));
    EXPECT_FALSE(exists);
    std::vector<std::u16string> from;
    ASSERT_TRUE(index.backlinksOf(u"ShoppingList", from));
    EXPECT_EQ(from, std::vector<std::u16string>{u"Home"});
    EXPECT_TRUE(test::agreesWithFolder(index, {}, "after the delete"));

    // Restored the way a file manager does: the file back to Path=, the
    // info file removed.
    std::filesystem::rename(trashed.file, info.path);
    std::filesystem::remove(trashed.info);
    EXPECT_EQ(dir.read("nb/ShoppingList.xhtml"), text);
    ASSERT_TRUE(index.update().status);
    ASSERT_TRUE(index.hasPage(u"ShoppingList", exists));
    EXPECT_TRUE(exists);
}

TEST_F(TrashTest, NamesInTheTrashNeverCollide) {
    for (int round = 1; round <= 3; ++round) {
        dir.write("nb/Caf\u00e9 Notes 100%.xhtml",
                  pageFile("T", "<p>round " + std::to_string(round) + "</p>"));
        const TrashedPage trashed = deletePage(folder(), &index, u"Caf\u00e9 Notes 100%");
        ASSERT_TRUE(trashed.status) << trashed.status.message();
        const std::string name = round == 1
                                     ? "Caf\u00e9 Notes 100%.xhtml"
                                     : "Caf\u00e9 Notes 100%." + std::to_string(round) + ".xhtml";
        EXPECT_EQ(trashed.file, dir.file("data/Trash/files/" + name));
        EXPECT_EQ(dir.read("data/Trash/files/" + name),
                  pageFile("T", "<p>round " + std::to_string(round) + "</p>"));
        const std::string infoText = dir.read("data/Trash/info/" + name + ".trashinfo");
        EXPECT_NE(infoText.find("Path=" + std::string("/")), std::string::npos);
        EXPECT_NE(infoText.find("Caf%C3%A9%20Notes%20100%25.xhtml\n"), std::string::npos)
            << infoText;
        EXPECT_EQ(parseInfo(infoText).path, real(folder()) + "/Caf\u00e9 Notes 100%.xhtml");
    }
    // A file in the trash without an info file is someone else's: passed by.
    dir.write("data/Trash/files/Other.xhtml", "not ours");
    dir.write("nb/Other.xhtml", pageFile("Other", "<p>x</p>"));
    const TrashedPage trashed = deletePage(folder(), &index, u"Other");
    ASSERT_TRUE(trashed.status);
    EXPECT_EQ(trashed.file, dir.file("data/Trash/files/Other.2.xhtml"));
    EXPECT_EQ(dir.read("data/Trash/files/Other.xhtml"), "not ours");
    EXPECT_FALSE(pathExists(dir.file("data/Trash/info/Other.xhtml.trashinfo")));
}

TEST_F(TrashTest, WhatCannotBeDeletedStaysAndNothingIsLeftBehind) {
    dir.write("nb/FrontPage.xhtml", pageFile("Front Page", "<p>home</p>"));
    for (const std::u16string& name : {std::u16string(u"FrontPage"), std::u16string(u"NoSuchPage"),
                                       std::u16string(u"../nb/FrontPage"), std::u16string()}) {
        const TrashedPage trashed = deletePage(folder(), &index, name);
        EXPECT_FALSE(trashed.status) << toUtf8(name);
        EXPECT_TRUE(trashed.file.empty());
    }
    EXPECT_TRUE(pathExists(file("FrontPage")));
    if (pathExists(dir.file("data/Trash/info"))) {
        EXPECT_TRUE(std::filesystem::is_empty(dir.file("data/Trash/info")));
    }

    // A trash that cannot be made: the page stays.
    dir.write("blocked", "a file where the trash would be");
    dir.write("nb/Doomed.xhtml", pageFile("D", "<p>x</p>"));
    const TrashedPage trashed = deletePage(folder(), &index, u"Doomed", dir.file("blocked/Trash"));
    EXPECT_FALSE(trashed.status);
    EXPECT_TRUE(pathExists(file("Doomed")));
}

TEST_F(TrashTest, LinksStayLinksAndOtherFileSystemsAreCopied) {
    dir.write("target.xhtml", pageFile("Linked", "<p>x</p>"));
    std::filesystem::create_symlink(dir.file("target.xhtml"), file("Linked"));
    TrashedPage trashed = deletePage(folder(), &index, u"Linked");
    ASSERT_TRUE(trashed.status) << trashed.status.message();
    EXPECT_TRUE(std::filesystem::is_symlink(trashed.file));
    EXPECT_EQ(std::filesystem::read_symlink(trashed.file), dir.file("target.xhtml"));

    // A trash on another file system (memory), where a move is a copy.
    if (::access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no second file system to try";
    std::string other = "/dev/shm/tavix-trash-XXXXXX";
    ASSERT_NE(::mkdtemp(other.data()), nullptr);
    const std::string text = pageFile("Far", "<p>far away</p>");
    dir.write("nb/FarPage.xhtml", text);
    ::chmod(file("FarPage").c_str(), 0640);
    trashed = deletePage(folder(), &index, u"FarPage", other);
    EXPECT_TRUE(trashed.status) << trashed.status.message();
    EXPECT_FALSE(pathExists(file("FarPage")));
    std::string copied;
    EXPECT_TRUE(readWholeFile(other + "/files/FarPage.xhtml", copied));
    EXPECT_EQ(copied, text);
    struct stat mode {};
    ::stat((other + "/files/FarPage.xhtml").c_str(), &mode);
    EXPECT_EQ(mode.st_mode & 0777, 0640u);
    std::filesystem::remove_all(other);
}

}  // namespace
}  // namespace tavix
