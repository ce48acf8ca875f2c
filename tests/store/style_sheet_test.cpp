#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "store/PropertyNode.h"
#include "store/StyleSheet.h"

namespace tavix {
namespace {

std::string fileOf(const PropertyNode& root) {
    std::ostringstream out;
    root.writeTo(out, u"");
    return out.str();
}

TEST(StyleSheet, DefaultsMatchTheDocumentedTable) {
    const StyleSheet sheet;
    EXPECT_EQ(sheet.leftMargin(), 10);
    EXPECT_EQ(sheet.rightMargin(), 10);
    const int sizes[7] = {12, 22, 20, 18, 16, 14, 12};
    for (int i = 0; i < StyleSheet::styleCount(); ++i) {
        const ParagraphStyle& s = sheet.style(i);
        EXPECT_EQ(s.index(), i);
        EXPECT_EQ(s.name(), i == 0 ? u"Normal" : u"Heading " + std::u16string(1, u'0' + i));
        EXPECT_EQ(s.tag(), i == 0 ? u"p" : u"h" + std::u16string(1, u'0' + i));
        EXPECT_EQ(s.fontName(), i == 0 ? u"Times New Roman" : u"Arial");
        EXPECT_EQ(s.size(), sizes[i]);
        EXPECT_EQ(s.bold(), i >= 5);
        EXPECT_FALSE(s.italic());
        EXPECT_FALSE(s.underline());
        EXPECT_EQ(s.spaceBefore(), 0);
        EXPECT_EQ(s.spaceAfter(), 60);
        EXPECT_EQ(s.leftIndent(), 0);
        EXPECT_EQ(s.rightIndent(), 0);
        EXPECT_EQ(s.alignment(), 0);
    }
}

TEST(StyleSheet, LookupByIndexAndTagFallsBackOnNormal) {
    const StyleSheet sheet;
    EXPECT_EQ(sheet.style(7).name(), u"Normal");
    EXPECT_EQ(sheet.style(-1).name(), u"Normal");
    EXPECT_EQ(sheet.style(0).name(), u"Normal");
    EXPECT_EQ(sheet.style(3).name(), u"Heading 3");
    EXPECT_EQ(sheet.styleForTag(u"h6").name(), u"Heading 6");
    EXPECT_EQ(sheet.styleForTag(u"h1").name(), u"Heading 1");
    for (const char16_t* other : {u"H1", u"p", u"h0", u"h7", u"h10", u"", u"body", u"h"})
        EXPECT_EQ(sheet.styleForTag(other).name(), u"Normal");
}

TEST(StyleSheet, DefaultFileLinesInOrder) {
    PropertyNode root(u"app", nullptr, u"");
    StyleSheet().storeTo(root.child(u"StyleMap"));
    const std::string text = fileOf(root);
    const std::string style0 =
        "app.StyleMap.LeftMargin=10\n"
        "app.StyleMap.RightMargin=10\n"
        "app.StyleMap.Style0.Font.Bold=0\n"
        "app.StyleMap.Style0.Font.Italic=0\n"
        "app.StyleMap.Style0.Font.Name=Times New Roman\n"
        "app.StyleMap.Style0.Font.Size=12\n"
        "app.StyleMap.Style0.Font.Underline=0\n"
        "app.StyleMap.Style0.Paragraph.Alignment=0\n"
        "app.StyleMap.Style0.Paragraph.LeftIndent=0\n"
        "app.StyleMap.Style0.Paragraph.RightIndent=0\n"
        "app.StyleMap.Style0.Paragraph.SpaceAfter=60\n"
        "app.StyleMap.Style0.Paragraph.SpaceBefore=0\n"
        "app.StyleMap.Style1.Font.Bold=0\n";
    EXPECT_EQ(text.substr(0, style0.size()), style0);
    // Two margins and ten lines for each of the seven styles.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2 + 7 * 10);
    EXPECT_NE(text.find("app.StyleMap.Style6.Font.Bold=1\n"), std::string::npos);
    EXPECT_NE(text.find("app.StyleMap.Style6.Paragraph.SpaceBefore=0\n"), std::string::npos);
}

TEST(StyleSheet, StoreAndLoadGiveTheSameSheetEvenWithOddValues) {
    StyleSheet changed;
    changed.setLeftMargin(-3);
    changed.setRightMargin(0);
    ParagraphStyle& h2 = changed.style(2);
    h2.setFontName(u"DejaVu Sans \u00c9\u4e2d");
    h2.setSize(0);
    h2.setItalic(true);
    h2.setLeftIndent(-720);
    h2.setAlignment(7);
    changed.style(0).setBold(true);

    PropertyNode root(u"app", nullptr, u"");
    changed.storeTo(root.child(u"StyleMap"));
    std::istringstream in(fileOf(root));
    PropertyNode reread(u"app", nullptr, u"");
    reread.load(in);

    StyleSheet loaded;
    loaded.loadFrom(reread.child(u"StyleMap"));
    EXPECT_EQ(loaded, changed);

    StyleSheet defaults;
    PropertyNode root2(u"app", nullptr, u"");
    defaults.storeTo(root2.child(u"StyleMap"));
    StyleSheet again;
    again.loadFrom(root2.child(u"StyleMap"));
    EXPECT_EQ(again, StyleSheet());
}

TEST(StyleSheet, OneLineChangesOnlyItsValue) {
    std::istringstream in("app.StyleMap.Style2.Font.Size=30\n");
    PropertyNode root(u"app", nullptr, u"");
    root.load(in);
    StyleSheet sheet;
    sheet.loadFrom(root.child(u"StyleMap"));
    StyleSheet expected;
    expected.style(2).setSize(30);
    EXPECT_EQ(sheet, expected);

    // Missing file (empty tree) keeps every default; a value that is not a
    // number reads as 0.
    PropertyNode empty(u"app", nullptr, u"");
    StyleSheet untouched;
    untouched.loadFrom(empty.child(u"StyleMap"));
    EXPECT_EQ(untouched, StyleSheet());
    empty.set(u"StyleMap.Style1.Paragraph.SpaceAfter", u"lots");
    untouched.loadFrom(empty.child(u"StyleMap"));
    EXPECT_EQ(untouched.style(1).spaceAfter(), 0);
}

}  // namespace
}  // namespace tavix
