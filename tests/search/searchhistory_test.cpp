#include "search/SearchHistory.h"

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/PropertyNode.h"
#include "store/TextCodec.h"
#include "support/TempDir.h"

namespace tavix {
namespace {

using Texts = std::vector<std::u16string>;

// The tree a properties file with these lines gives.
std::unique_ptr<PropertyNode> treeFrom(const std::string& lines, const std::u16string& path = {}) {
    auto root = std::make_unique<PropertyNode>(u"app", nullptr, path);
    std::istringstream in(lines);
    root->load(in);
    return root;
}

std::string linesOf(const PropertyNode& root) {
    std::ostringstream out;
    root.writeTo(out, u"");
    return out.str();
}

TEST(SearchHistoryTest, LoadsKeysInNumberOrderSkippingEmptyValues) {
    auto root = treeFrom(
        "app.FindPages.History.LastIndex=3\n"
        "app.FindPages.History.1=alpha\n"
        "app.FindPages.History.2=\n"
        "app.FindPages.History.3=gamma\n");
    SearchHistory history;
    history.load(root->child(u"FindPages").child(u"History"));
    EXPECT_EQ(history.entries(), (Texts{u"alpha", u"gamma"}));
}

TEST(SearchHistoryTest, LoadOrdersByNumberNotByKeyText) {
    std::string lines = "app.H.LastIndex=11\n";
    for (int i = 11; i >= 1; --i)
        lines += "app.H." + std::to_string(i) + "=t" + std::to_string(i) + "\n";
    auto root = treeFrom(lines);
    SearchHistory history;
    history.load(root->child(u"H"));
    ASSERT_EQ(history.entries().size(), 11u);
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(history.entries()[i], fromUtf8("t" + std::to_string(i + 1)));
}

TEST(SearchHistoryTest, LoadIgnoresKeysBeyondLastIndexAndForeignKeys) {
    auto root = treeFrom(
        "app.H.LastIndex=2\n"
        "app.H.1=one\n"
        "app.H.2=two\n"
        "app.H.3=three\n"   // written by a longer list, then cut
        "app.H.02=zero two\n"
        "app.H.0=zero\n"
        "app.H.-1=minus\n"
        "app.H.x=ex\n");
    SearchHistory history;
    history.load(root->child(u"H"));
    EXPECT_EQ(history.entries(), (Texts{u"one", u"two"}));
}

TEST(SearchHistoryTest, MissingOrBadLastIndexGivesNoHistory) {
    for (const char* last : {"", "app.H.LastIndex=0\n", "app.H.LastIndex=-4\n", "app.H.LastIndex=many\n"}) {
        auto root = treeFrom(std::string(last) + "app.H.1=one\n");
        SearchHistory history;
        history.load(root->child(u"H"));
        EXPECT_TRUE(history.entries().empty()) << last;
    }
}

TEST(SearchHistoryTest, HugeLastIndexLoadsOnlyThePresentKeys) {
    // A damaged file must not make the dialog count to two billion.
    auto root = treeFrom(
        "app.H.LastIndex=2147483647\n"
        "app.H.1=first\n"
        "app.H.2147483647=last\n"
        "app.H.2147483648=beyond\n");
    SearchHistory history;
    history.load(root->child(u"H"));
    EXPECT_EQ(history.entries(), (Texts{u"first", u"last"}));
}

TEST(SearchHistoryTest, RecordPutsTheSearchFirstAndKeepsTheRestInOrder) {
    auto root = treeFrom(
        "app.FindPages.History.LastIndex=3\n"
        "app.FindPages.History.1=alpha\n"
        "app.FindPages.History.2=beta\n"
        "app.FindPages.History.3=gamma\n");
    PropertyNode& node = root->child(u"FindPages").child(u"History");
    SearchHistory history;
    history.load(node);
    history.record(node, u"beta");
    EXPECT_EQ(history.entries(), (Texts{u"beta", u"alpha", u"gamma"}));
    EXPECT_EQ(linesOf(*root),
              "app.FindPages.History.1=beta\n"
              "app.FindPages.History.2=alpha\n"
              "app.FindPages.History.3=gamma\n"
              "app.FindPages.History.LastIndex=3\n");
}

TEST(SearchHistoryTest, RecordComparesExactlyAndDropsEveryCopy) {
    auto root = treeFrom(
        "app.H.LastIndex=4\n"
        "app.H.1=Beta\n"
        "app.H.2=beta\n"
        "app.H.3=alpha\n"
        "app.H.4=beta\n");
    PropertyNode& node = root->child(u"H");
    SearchHistory history;
    history.load(node);
    history.record(node, u"beta");
    EXPECT_EQ(history.entries(), (Texts{u"beta", u"Beta", u"alpha"}));

    SearchHistory reread;
    reread.load(node);
    EXPECT_EQ(reread.entries(), history.entries());
    EXPECT_EQ(node.getString(u"LastIndex", u""), u"3");
    EXPECT_FALSE(node.values().count(u"4"));
}

TEST(SearchHistoryTest, FirstRecordOnEmptyHistoryWritesOneEntry) {
    auto root = treeFrom("");
    PropertyNode& node = root->child(u"FindPages").child(u"History");
    SearchHistory history;
    history.load(node);
    history.record(node, u"a.c (x|y) = 1");
    EXPECT_EQ(linesOf(*root),
              "app.FindPages.History.1=a.c (x|y) = 1\n"
              "app.FindPages.History.LastIndex=1\n");
}

TEST(SearchHistoryTest, RecordRemovesStaleKeysButKeepsSiblingsAndChildren) {
    auto root = treeFrom(
        "app.Find.History.1=kept\n"
        "app.Find.History.LastIndex=1\n"
        "app.FindPages.History.LastIndex=1\n"
        "app.FindPages.History.1=old\n"
        "app.FindPages.History.9=stale\n"
        "app.FindPages.History.Extra.Key=child value\n");
    PropertyNode& node = root->child(u"FindPages").child(u"History");
    SearchHistory history;
    history.load(node);
    history.record(node, u"new");
    EXPECT_EQ(linesOf(*root),
              "app.Find.History.1=kept\n"
              "app.Find.History.LastIndex=1\n"
              "app.FindPages.History.1=new\n"
              "app.FindPages.History.2=old\n"
              "app.FindPages.History.LastIndex=2\n"
              "app.FindPages.History.Extra.Key=child value\n");
}

TEST(SearchHistoryTest, RecordedHistoryRoundTripsThroughTheFile) {
    test::TempDir dir;
    const std::u16string path = fromUtf8(dir.file("tavix.props"));
    {
        auto root = treeFrom("", path);
        PropertyNode& node = root->child(u"FindPages").child(u"History");
        SearchHistory history;
        for (const char16_t* text : {u"one", u"zwei \u00e9", u"\u4e09 three", u"one"})
            history.record(node, text);
        ASSERT_TRUE(node.save().ok());
    }
    auto root = std::make_unique<PropertyNode>(u"app", nullptr, path);
    std::istringstream in(dir.read("tavix.props"));
    root->load(in);
    SearchHistory history;
    history.load(root->child(u"FindPages").child(u"History"));
    EXPECT_EQ(history.entries(), (Texts{u"one", u"\u4e09 three", u"zwei \u00e9"}));
}

}  // namespace
}  // namespace tavix
