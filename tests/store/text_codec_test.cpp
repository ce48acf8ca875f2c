#include <gtest/gtest.h>

#include "store/TextCodec.h"

namespace tavix {
namespace {

TEST(TextCodec, Utf8RoundTripAcrossAllSequenceLengths) {
    // 1, 2, 3 and 4 byte forms, the last one a surrogate pair.
    const std::u16string text = u"a\u00e9\u20ac\U0001F600z";
    const std::string bytes = toUtf8(text);
    EXPECT_EQ(bytes, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z");
    EXPECT_TRUE(isValidUtf8(bytes));
    EXPECT_EQ(fromUtf8(bytes), text);
}

TEST(TextCodec, UnpairedSurrogatesBecomeReplacementCharacters) {
    const std::u16string lone = {u'a', char16_t(0xD800), u'b', char16_t(0xDC00)};
    EXPECT_EQ(fromUtf8(toUtf8(lone)), (std::u16string{u'a', 0xFFFD, u'b', 0xFFFD}));
}

TEST(TextCodec, MalformedBytesGiveOneReplacementEach) {
    // A stray continuation byte, a truncated sequence, an overlong "/" and an
    // encoded surrogate: none of them is UTF-8.
    EXPECT_EQ(fromUtf8("a\x80" "b"), u"a\uFFFDb");
    EXPECT_EQ(fromUtf8("\xE2\x82"), u"\uFFFD\uFFFD");
    EXPECT_EQ(fromUtf8("\xC0\xAF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(fromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_FALSE(isValidUtf8("\xC0\xAF"));
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(isValidUtf8("caf\xE9"));           // ISO 8859-1 text
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8(std::string("a\0b", 3)));
}

TEST(TextCodec, Latin1MapsEveryByteToTheSameCodePoint) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const std::u16string text = fromLatin1(all);
    ASSERT_EQ(text.size(), 256u);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(text[b], char16_t(b));
}

TEST(TextCodec, UpperCaseFollowsUnicodeLettersNotJustAscii) {
    for (char16_t c : std::u16string(u"AZ\u00c0\u00de\u0100\u0178\u0391\u0410\u042f\u1e9e\uff21"))
        EXPECT_TRUE(isUpperCase(c)) << int(c);
    // Lower case, digits, the multiplication sign between the Latin-1
    // capitals, caseless letters and surrogates.
    for (char16_t c : std::u16string(u"az09 \u00d7\u00df\u0101\u03b1\u0430\u4e2d\uff41"))
        EXPECT_FALSE(isUpperCase(c)) << int(c);
    EXPECT_FALSE(isUpperCase(char16_t(0xD835)));
    EXPECT_FALSE(isUpperCase(char16_t(0xFFFF)));
}

}  // namespace
}  // namespace tavix
