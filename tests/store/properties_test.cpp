#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "store/PropertyNode.h"
#include "store/TextCodec.h"
#include "support/TempDir.h"

namespace tavix {
namespace {

using test::TempDir;

std::unique_ptr<PropertyNode> rootFrom(const std::string& fileBytes) {
    auto root = std::make_unique<PropertyNode>(u"app", nullptr, u"");
    std::istringstream in(fileBytes);
    root->load(in);
    return root;
}

std::string written(const PropertyNode& root) {
    std::ostringstream out;
    root.writeTo(out, u"");
    return out.str();
}

TEST(PropertiesFile, LinesBuildTheTreeAndOddLinesAreIgnored) {
    auto root = rootFrom(
        "app.StyleMap.Style3.Font.Size=18\n"
        "other.x=1\n"       // another root
        "app.noequals\n"    // no "="
        "\n"                // empty
        "noDotAtAll=3\n"
        "App.y=2\n"         // the root's name is case-sensitive
        "app.eq=a=b=c\n"
        "app.x = 1\n"
        "app.last=final");  // no line feed at the end
    const PropertyNode* font = root->findChild(u"StyleMap");
    ASSERT_NE(font, nullptr);
    font = font->findChild(u"Style3");
    ASSERT_NE(font, nullptr);
    font = font->findChild(u"Font");
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->getString(u"Size", u""), u"18");
    EXPECT_EQ(font->parent()->name(), u"Style3");

    EXPECT_EQ(root->getString(u"eq", u""), u"a=b=c");
    EXPECT_EQ(root->getString(u"x ", u"none"), u" 1");
    EXPECT_EQ(root->getString(u"x", u"none"), u"none");
    EXPECT_EQ(root->getString(u"last", u""), u"final");
    EXPECT_EQ(root->values().size(), 3u);
    EXPECT_EQ(root->children().size(), 1u);
}

TEST(PropertiesFile, LaterLineForTheSamePathWins) {
    auto root = rootFrom("app.a=1\napp.a=2\n");
    EXPECT_EQ(root->getString(u"a", u""), u"2");
}

TEST(PropertiesFile, DottedWritesAndPlainReadsReachTheSameValue) {
    PropertyNode root(u"app", nullptr, u"");
    root.set(u"Font.Name", u"Times New Roman");
    EXPECT_EQ(root.child(u"Font").getString(u"Name", u""), u"Times New Roman");
    // getString never interprets dots.
    EXPECT_EQ(root.getString(u"Font.Name", u"def"), u"def");
    // Reading through child creates the node even when nothing is there.
    EXPECT_EQ(root.child(u"Missing").getString(u"K", u"def"), u"def");
    EXPECT_NE(root.findChild(u"Missing"), nullptr);
    EXPECT_EQ(root.findChild(u"Other"), nullptr);
    EXPECT_EQ(written(root), "app.Font.Name=Times New Roman\n");
}

TEST(PropertiesFile, NumbersAndBooleans) {
    PropertyNode n(u"app", nullptr, u"");
    n.setInt(u"neg", -5);
    n.setInt(u"min", INT32_MIN);
    n.setBool(u"t", true);
    n.setBool(u"f", false);
    EXPECT_EQ(n.getString(u"neg", u""), u"-5");
    EXPECT_EQ(n.getString(u"min", u""), u"-2147483648");
    EXPECT_EQ(n.getInt(u"min", 0), INT32_MIN);
    EXPECT_EQ(n.getString(u"t", u""), u"1");
    EXPECT_EQ(n.getString(u"f", u""), u"0");

    const std::vector<std::pair<std::u16string, int>> cases = {
        {u"42", 42}, {u"  \t-17xyz", -17}, {u"+8", 8}, {u"", 0}, {u"abc", 0},
        {u"- 3", 0}, {u"12.9", 12}, {u"007", 7},
        // Overflow wraps to 32 bits instead of being undefined.
        {u"2147483648", INT32_MIN}, {u"4294967297", 1}, {u"-2147483649", INT32_MAX},
        {u"99999999999999999999999999", -469762049},
    };
    for (const auto& [text, value] : cases) {
        n.set(u"v", text);
        EXPECT_EQ(n.getInt(u"v", 99), value) << toUtf8(text);
        EXPECT_EQ(n.getLong(u"v", 99), value) << toUtf8(text);
    }
    EXPECT_EQ(n.getInt(u"absent", 99), 99);
    EXPECT_EQ(n.getLong(u"absent", -4), -4);

    for (const auto& [text, value] : std::vector<std::pair<std::u16string, bool>>{
             {u"1", true}, {u"2", true}, {u"-1", true}, {u"0", false}, {u"yes", false},
             {u"true", false}, {u"", false}}) {
        n.set(u"k", text);
        EXPECT_EQ(n.getBool(u"k", !value), value) << toUtf8(text);
    }
    EXPECT_TRUE(n.getBool(u"absent", true));
}

TEST(PropertiesFile, WritesValuesThenChildrenInCodeUnitOrder) {
    PropertyNode root(u"app", nullptr, u"");
    PropertyNode& history = root.child(u"FindPages").child(u"History");
    for (int i = 1; i <= 10; ++i) {
        const std::string key = std::to_string(i);
        history.setInt(std::u16string(key.begin(), key.end()), i);
    }
    history.setInt(u"LastIndex", 10);
    root.set(u"StyleMap.LeftMargin", u"10");
    root.set(u"Find.History.1", u"x");
    root.set(u"z", u"top");
    EXPECT_EQ(written(root),
              "app.z=top\n"
              "app.Find.History.1=x\n"
              "app.FindPages.History.1=1\n"
              "app.FindPages.History.10=10\n"
              "app.FindPages.History.2=2\n"
              "app.FindPages.History.3=3\n"
              "app.FindPages.History.4=4\n"
              "app.FindPages.History.5=5\n"
              "app.FindPages.History.6=6\n"
              "app.FindPages.History.7=7\n"
              "app.FindPages.History.8=8\n"
              "app.FindPages.History.9=9\n"
              "app.FindPages.History.LastIndex=10\n"
              "app.StyleMap.LeftMargin=10\n");
}

TEST(PropertiesFile, TextBeyondLatin1SurvivesAndLatin1LinesStillRead) {
    PropertyNode root(u"app", nullptr, u"");
    const std::u16string value = u"\u65e5\u672c \u20ac \U0001F600 caf\u00e9";
    root.set(u"Find.History.1", value);
    root.set(u"StyleMap.LeftMargin", u"12");
    const std::string bytes = written(root);
    EXPECT_TRUE(isValidUtf8(bytes));
    auto back = rootFrom(bytes);
    EXPECT_EQ(back->child(u"Find").child(u"History").getString(u"1", u""), value);
    // The line after the wide characters is not lost.
    EXPECT_EQ(back->child(u"StyleMap").getString(u"LeftMargin", u""), u"12");

    // A one-byte file from an older build: "é" as the single byte E9.
    auto old = rootFrom("app.Font.Name=Caf\xE9 Sans\r\napp.ok=fine\r\n");
    EXPECT_EQ(old->child(u"Font").getString(u"Name", u""), u"Caf\u00e9 Sans");
    EXPECT_EQ(old->getString(u"ok", u""), u"fine");
}

TEST(PropertiesFile, CarriageReturnBeforeLineFeedIsDropped) {
    auto root = rootFrom("app.a=1\r\napp.b=two\r\napp.c=in\rside\n");
    EXPECT_EQ(root->getString(u"a", u""), u"1");
    EXPECT_EQ(root->getString(u"b", u""), u"two");
    EXPECT_EQ(root->getString(u"c", u""), u"in\rside");
}

TEST(PropertiesFile, ByteOrderMarkAtTheStartIsNotPartOfTheFirstKey) {
    const std::string bom = "\xEF\xBB\xBF";
    const std::string text = bom + "app.a=1\napp.b=" + bom + "two\n";
    for (int viaText = 0; viaText < 2; ++viaText) {
        auto root = std::make_unique<PropertyNode>(u"app", nullptr, u"");
        if (viaText) {
            root->loadText(text);
        } else {
            std::istringstream in(text);
            root->load(in);
        }
        EXPECT_EQ(root->getString(u"a", u""), u"1") << viaText;
        // Only the file's first bytes are a mark; elsewhere it is text.
        EXPECT_EQ(root->getString(u"b", u""), u"\uFEFFtwo") << viaText;
    }
    // A file that is nothing but the mark gives an empty tree.
    EXPECT_EQ(written(*rootFrom(bom)), "");
}

TEST(PropertiesFile, LineBreakInAValueCannotForgeAnotherSetting) {
    PropertyNode root(u"app", nullptr, u"");
    root.set(u"Find.History.1", u"x\napp.StyleMap.LeftMargin=999");
    auto back = rootFrom(written(root));
    EXPECT_EQ(back->findChild(u"StyleMap"), nullptr);
    EXPECT_EQ(back->child(u"Find").child(u"History").getString(u"1", u""),
              u"x app.StyleMap.LeftMargin=999");
}

TEST(PropertiesFile, SaveFromAnyNodeWritesTheWholeTreeAndClearedValuesGo) {
    TempDir dir;
    const std::u16string path = dir.path16() + u"/tavix.props";
    PropertyNode root(u"app", nullptr, path);
    PropertyNode& history = root.child(u"Find").child(u"History");
    history.set(u"1", u"alpha");
    history.set(u"LastIndex", u"1");
    root.set(u"Find.Other.k", u"kept");
    root.set(u"StyleMap.LeftMargin", u"10");

    ASSERT_TRUE(history.child(u"Deep").save().ok());
    EXPECT_EQ(dir.read("tavix.props"),
              "app.Find.History.1=alpha\n"
              "app.Find.History.LastIndex=1\n"
              "app.Find.Other.k=kept\n"
              "app.StyleMap.LeftMargin=10\n");

    history.clearValues();
    history.set(u"Deep.x", u"child stays");
    ASSERT_TRUE(history.save().ok());
    EXPECT_EQ(dir.read("tavix.props"),
              "app.Find.History.Deep.x=child stays\n"
              "app.Find.Other.k=kept\n"
              "app.StyleMap.LeftMargin=10\n");
}

// "a.a.a.…" with the given number of parts, the last one being the key.
std::string dottedKey(int parts) {
    std::string key;
    for (int i = 0; i < parts; ++i)
        key += i ? ".a" : "a";
    return key;
}

TEST(PropertiesFile, AHugeDottedKeyIsSkippedQuicklyAndTheRestIsKept) {
    // One line of 200 KB: before the limit, every part was a level of
    // recursion holding a copy of the rest of the key.
    const std::string file = "app.StyleMap.LeftMargin=25\n"
                             "app." + dottedKey(100000) + "=x\n"
                             "app.z=last\n";
    ASSERT_GT(file.size(), 200000u);
    TempDir dir;
    dir.write("tavix.props", file);
    const auto start = std::chrono::steady_clock::now();

    auto root = rootFrom(file);
    EXPECT_EQ(root->child(u"StyleMap").getString(u"LeftMargin", u""), u"25");
    EXPECT_EQ(root->getString(u"z", u""), u"last");
    EXPECT_EQ(root->findChild(u"a"), nullptr);

    PropertyNode saved(u"app", nullptr, dir.path16() + u"/tavix.props");
    std::istringstream in(dir.read("tavix.props"));
    saved.load(in);
    ASSERT_TRUE(saved.save().ok());
    EXPECT_EQ(dir.read("tavix.props"), "app.z=last\napp.StyleMap.LeftMargin=25\n");
    auto reloaded = rootFrom(dir.read("tavix.props"));
    EXPECT_EQ(written(*reloaded), "app.z=last\napp.StyleMap.LeftMargin=25\n");

    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::seconds(2));
}

TEST(PropertiesFile, KeysOfUpToSixtyFourPartsAreKept) {
    auto root = rootFrom("app." + dottedKey(64) + "=deep\n"
                         "app.b." + dottedKey(64) + "=too deep\n");
    const PropertyNode* node = root.get();
    for (int level = 0; level < 63 && node; ++level)
        node = node->findChild(u"a");
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->getString(u"a", u""), u"deep");
    EXPECT_EQ(root->findChild(u"b"), nullptr);

    // set() follows the same rule, counted from the node it is called on.
    PropertyNode direct(u"app", nullptr, u"");
    direct.set(fromUtf8(dottedKey(65)), u"ignored");
    EXPECT_TRUE(direct.children().empty());
    direct.set(fromUtf8(dottedKey(64)), u"kept");
    EXPECT_EQ(written(direct), "app." + dottedKey(64) + "=kept\n");
}

TEST(PropertiesFile, ATreeDeeperThanTheStackCanHoldIsWrittenAndDestroyed) {
    // Built one child at a time, which no limit on keys can stop: writing,
    // saving from the bottom and destroying must not recurse per level.
    TempDir dir;
    auto root = std::make_unique<PropertyNode>(u"app", nullptr, dir.path16() + u"/tavix.props");
    PropertyNode* node = root.get();
    constexpr int kDepth = 300000;
    PropertyNode* allowed = nullptr;
    for (int i = 0; i < kDepth; ++i) {
        node = &node->child(u"n");
        if (i == 62)
            allowed = node;  // 63 node names: room for one key
    }
    allowed->set(u"k", u"v");
    node->set(u"k", u"beyond the limit");  // ignored: no line could be read back
    root->set(u"top", u"1");
    ASSERT_TRUE(node->save().ok());
    std::string expected = "app.top=1\napp.";
    for (int i = 0; i < 63; ++i)
        expected += "n.";
    expected += "k=v\n";
    EXPECT_EQ(dir.read("tavix.props"), expected);
    root.reset();
}

TEST(PropertiesFile, FailedSaveSaysSoAndKeepsTheOldFile) {
    TempDir dir;
    dir.write("tavix.props", "app.a=old\n");
    dir.write("blocker", "");
    PropertyNode broken(u"app", nullptr, dir.path16() + u"/blocker/tavix.props");
    broken.set(u"a", u"new");
    const Status s = broken.save();
    EXPECT_FALSE(s.ok());
    EXPECT_NE(s.message().find("tavix.props"), std::string::npos) << s.message();
    EXPECT_EQ(broken.getString(u"a", u""), u"new");
    EXPECT_EQ(dir.read("tavix.props"), "app.a=old\n");

    // A root without a file has nothing to write.
    PropertyNode memoryOnly(u"app", nullptr, u"");
    EXPECT_TRUE(memoryOnly.save().ok());
}

}  // namespace
}  // namespace tavix
