#include "editor/LinkWords.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tavix;

namespace {

std::vector<std::u16string> wordsOf(std::u16string_view text) {
    std::vector<std::u16string> out;
    for (WordTokenizer t(text); !t.AtEnd(); t.Advance())
        out.emplace_back(t.Word());
    return out;
}

}  // namespace

TEST(LinkWords, RecognisesMixedCapitals) {
    for (const char16_t* w : {u"FrontPage", u"ShoppingList", u"AaBb", u"Page2Go", u"CaféBar",
                              u"ShoppingLi", u"AbcDefGHi"})
        EXPECT_TRUE(IsLinkWord(w));
    for (const char16_t* w : {u"Frontpage", u"FRONTPAGE", u"frontPage", u"AaB", u"ABcd", u"FooBAR",
                              u"ÉcoleNormale", u"ShoppingL", u"", u"Ab", u"AbC1", u"Ab\u00C9e"})
        EXPECT_FALSE(IsLinkWord(w));
}

TEST(LinkWords, TestIsBoundToTheGivenRange) {
    const std::u16string text = u"xx FrontPage yy";
    EXPECT_TRUE(IsLinkWord(text, 3, 9));
    EXPECT_FALSE(IsLinkWord(text, 3, 6));   // "FrontP": the capital ends the range
    EXPECT_FALSE(IsLinkWord(text, 3, 100));  // reaches past the end
    EXPECT_FALSE(IsLinkWord(text, 100, 4));
    // The inner capital must be at position 2 or later.
    EXPECT_FALSE(IsLinkWord(u"AaaaB"));
    EXPECT_TRUE(IsLinkWord(u"AaAa"));
}

TEST(LinkWords, TokenizerSplitsAtEverythingButLettersAndDigits) {
    EXPECT_EQ(wordsOf(u"Front_Page"), (std::vector<std::u16string>{u"Front", u"Page"}));
    EXPECT_EQ(wordsOf(u"  Go, now!\rPage2Go\u2014x "),
              (std::vector<std::u16string>{u"Go", u"now", u"Page2Go", u"x"}));
    EXPECT_EQ(wordsOf(u"CaféBar ÉcoleNormale"),
              (std::vector<std::u16string>{u"CaféBar", u"ÉcoleNormale"}));
    EXPECT_EQ(wordsOf(u"Ωμέγα Привет 東京 ١٢٣"),
              (std::vector<std::u16string>{u"Ωμέγα", u"Привет", u"東京", u"١٢٣"}));
    EXPECT_TRUE(wordsOf(u"").empty());
    EXPECT_TRUE(wordsOf(u" .,;- ").empty());
}

TEST(LinkWords, TokenizerEndStateAndPositions) {
    WordTokenizer t(u"ab  cd");
    EXPECT_EQ(t.Start(), 0u);
    EXPECT_EQ(t.Length(), 2u);
    EXPECT_TRUE(t.Advance());
    EXPECT_EQ(t.Start(), 4u);
    EXPECT_EQ(t.Length(), 2u);
    EXPECT_FALSE(t.Advance());
    EXPECT_TRUE(t.AtEnd());
    EXPECT_EQ(t.Start(), 0u);
    EXPECT_EQ(t.Length(), 0u);
    // Starting over on another string.
    t.Reset(u"..x");
    EXPECT_EQ(t.Start(), 2u);
    EXPECT_EQ(t.Length(), 1u);
}

TEST(LinkWords, SurrogatePairsAreJudgedAsWholeCodePoints) {
    // U+1D400 MATHEMATICAL BOLD CAPITAL A is a letter; U+1F600 (an emoji) is not.
    const std::u16string boldA = u"\U0001D400";
    const std::u16string smile = u"\U0001F600";
    EXPECT_EQ(wordsOf(u"ab" + boldA + u"cd"), (std::vector<std::u16string>{u"ab" + boldA + u"cd"}));
    EXPECT_EQ(wordsOf(u"ab" + smile + u"cd"), (std::vector<std::u16string>{u"ab", u"cd"}));
    // Unpaired halves separate words and never crash the walk.
    EXPECT_EQ(wordsOf(u"ab\xD800" u"cd\xDC00" u"ef\xD83D"),
              (std::vector<std::u16string>{u"ab", u"cd", u"ef"}));
    EXPECT_EQ(wordCharLength(boldA, 0), 2u);
    EXPECT_EQ(wordCharLength(boldA, 1), 0u);
    EXPECT_EQ(wordCharLength(u"a", 5), 0u);
}

TEST(LinkWords, CodePointClassification) {
    EXPECT_TRUE(isWordCodePoint(U'a'));
    EXPECT_TRUE(isWordCodePoint(U'7'));
    EXPECT_TRUE(isWordCodePoint(U'é'));
    EXPECT_TRUE(isWordCodePoint(U'Ж'));
    EXPECT_FALSE(isWordCodePoint(U'_'));
    EXPECT_FALSE(isWordCodePoint(U' '));
    EXPECT_FALSE(isWordCodePoint(U'\u00A0'));
    EXPECT_FALSE(isWordCodePoint(U'\u2014'));
    EXPECT_FALSE(isWordCodePoint(0xD800));
    EXPECT_FALSE(isWordCodePoint(0x110000));
}
