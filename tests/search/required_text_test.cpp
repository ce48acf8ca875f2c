// What a pattern requires of every match, worked out by hand: where the
// derivation must find text, and where it must give up (require nothing)
// because it cannot be sure.
#include <gtest/gtest.h>

#include "search/PageMatcher.h"
#include "search/RequiredText.h"

namespace tavix {
namespace {

std::string required(const std::u16string& pattern) { return describe(requiredText(pattern)); }

TEST(RequiredTextTest, FindsLiteralsAndTheirStructure) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"zeppelin", "\"zeppelin\""},
        {u"Zanzibar", "\"Zanzibar\""},  // case is the index's concern
        {u"ab", "*"},                     // too short
        {u"big deal", "\"big deal\""},
        {u"(quarterly|zeppelin) (report|notes)",
         "((\"quarterly\" OR \"zeppelin\") AND (\"report\" OR \"notes\"))"},
        {u"foo|bar", "(\"foo\" OR \"bar\")"},
        {u"foo|ba", "*"},  // one branch requires nothing
        {u"foo|", "*"},    // an empty branch
        {u"(foo|)bar", "\"bar\""},
        {u"colou?r", "\"colo\""},  // the optional u ends the run; "r" is too short
        {u"abcd?efg", "(\"abc\" AND \"efg\")"},
        {u"abc*def", "\"def\""},  // "ab" before the repeated c is too short
        {u"ab+cd", "\"bcd\""},     // one b at least: "ab", too short, and "bcd"
        {u"abc{2,3}def", "(\"abc\" AND \"cdef\")"},
        {u"abc{0,3}def", "\"def\""},
        {u"xylophone[0-9]+", "\"xylophone\""},
        {u"a.c", "*"},
        {u"foo.bar", "(\"foo\" AND \"bar\")"},
        {u"^Title$", "\"Title\""},
        {u"\\bword\\b", "\"word\""},
        {u"a\\.c", "\"a.c\""},
        {u"C\\+\\+ notes", "\"C++ notes\""},
        {u"(?:abc)+", "\"abc\""},
        {u"(abc)?def", "\"def\""},
        {u"(abc)*", "*"},
        {u"(?=abc)def", "\"def\""},
        {u"(?<!abc)def", "\"def\""},
        {u"caf\u00e9s?", "\"caf\u00e9\""},
        {u"\U0001F600ab", "\"\U0001F600ab\""},  // one character beyond the basic plane
        {u"R&D", "\"R&D\""},
        {u"[a-z]+ing", "\"ing\""},
        {u"[]abc]xyz", "\"xyz\""},
        {u"[[:alpha:]]xyz", "\"xyz\""},
        {u"\\w+", "*"},
        {u".", "*"},
        {u"", "*"},
    };
    for (const auto& [pattern, expected] : cases) {
        EXPECT_EQ(required(pattern), expected) << std::string(pattern.begin(), pattern.end());
    }
}

// Constructs that read on in ways of their own, or change how the rest is
// read: the derivation gives up on the whole pattern.
TEST(RequiredTextTest, GivesUpWhereItCannotBeSure) {
    const std::u16string unsure[] = {
        u"(abc)\\1xyz",      // back-reference
        u"\\Qa.b\\Exyzzy",   // quoting
        u"(?i)zeppelin",     // inline options
        u"zep(?i:pelin)",    // scoped options
        u"(?<n>abc)xyz",     // named group
        u"(?#note)zeppelin", // comment
        u"\\x41bcdef",       // hex escape
        u"\\cAbcdef",        // control escape
        u"\\p{L}zeppelin",   // property
        u"\\0101abc",        // octal
        u"abc{x}",           // a brace that is no repetition
        u"abc}",             // a lone brace
        u"abc]",             // a lone bracket
        u"(*FAIL)|zeppelin", // verb
        u"(?(1)abc|def)",    // condition
        u"\\\u00e9abc",      // escaped letter beyond ASCII
    };
    for (const std::u16string& pattern : unsure)
        EXPECT_EQ(required(pattern), "*") << std::string(pattern.begin(), pattern.end());
}

// A literal search goes through escapeLiteral; its text is required whole.
TEST(RequiredTextTest, LiteralSearchesRequireTheWholeText) {
    EXPECT_EQ(required(PageMatcher::escapeLiteral(u"C++ (notes) a.b $5 <x> 'q'")),
              "\"C++ (notes) a.b $5 <x> 'q'\"");
    EXPECT_EQ(required(PageMatcher::escapeLiteral(u"a|b?c")), "\"a|b?c\"");
}

}  // namespace
}  // namespace tavix
