#include "search/PageMatcher.h"

#include <chrono>
#include <cstdint>
#include <utility>
#include <string>

#include <gtest/gtest.h>

#include "store/TextCodec.h"
#include "support/TempDir.h"

namespace tavix {
namespace {

std::string page(const std::string& title, const std::string& body, const std::string& keywords = "") {
    std::string text = "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>" + title + "</title>";
    if (!keywords.empty()) text += "<meta name=\"keywords\" content=\"" + keywords + "\"/>";
    return text + "</head><body>" + body + "</body></html>";
}

class PageMatcherTest : public ::testing::Test {
protected:
    // Writes the file and asks whether it matches.
    bool matches(const std::string& pattern, const std::string& fileText, bool matchCase = true) {
        dir.write("p.xhtml", fileText);
        matcher.setPattern(fromUtf8(pattern));
        matcher.setMatchCase(matchCase);
        const bool found = matcher.matchesFile(fromUtf8(dir.file("p.xhtml")));
        EXPECT_TRUE(matcher.error().ok()) << matcher.error().message();
        return found;
    }

    test::TempDir dir;
    PageMatcher matcher;
};

TEST_F(PageMatcherTest, EmptyPatternMatchesAnyCharacterData) {
    EXPECT_TRUE(matches("", page("T", "<p>x</p>")));
    EXPECT_TRUE(matches("", "<html> </html>"));  // white space is character data too
    EXPECT_FALSE(matches("", "<html><body/></html>"));
}

TEST_F(PageMatcherTest, MatchCase) {
    const std::string file = page("Front Page", "<h1>Front Page</h1><p>Welcome</p>");
    EXPECT_TRUE(matches("front page", file, false));
    EXPECT_FALSE(matches("frontpage", file, false));  // the blank is part of the text
    EXPECT_FALSE(matches("front page", file, true));
    EXPECT_TRUE(matches("Front Page", file, true));
    EXPECT_FALSE(matches("page", page("T", "<p>Page</p>"), true));
    EXPECT_TRUE(matches("page", page("T", "<p>Page</p>"), false));
}

TEST_F(PageMatcherTest, CaseIsIgnoredBeyondAscii) {
    const std::string file = page("T", "<p>CAFÉ ÜBER ΣΟΦΙΑ</p>");
    EXPECT_TRUE(matches("café über σοφια", file, false));
    EXPECT_FALSE(matches("café", file, true));
}

TEST_F(PageMatcherTest, CharacterDataAndKeywordsAreSearched) {
    const std::string file = page("Title", "<p>plain text</p>", "secretword");
    EXPECT_TRUE(matches("secretword", file));  // the keywords, though an attribute
    EXPECT_FALSE(matches("keywords", file));  // the meta element's name attribute
    EXPECT_FALSE(matches("body", file));  // element names
    EXPECT_FALSE(matches("xhtml", file));  // attribute values
    EXPECT_TRUE(matches("Title", file));  // the title is character data
    EXPECT_TRUE(matches("plain", file));
}

// Where a page matched: each place on its own, several at once, and the
// places asked for only. The title comes along whether or not it matched.
TEST_F(PageMatcherTest, ReportsWhereThePageMatchedAndItsTitle) {
    const std::string file = page("Front &amp; Page", "<h1>Welcome</h1><p>alpha <b>demo</b></p>", "links demo");
    struct Case {
        const char* pattern;
        unsigned places;
        unsigned foundIn;
    } cases[] = {
        {"links", kMatchAnywhere, kMatchInKeywords},
        {"demo", kMatchAnywhere, kMatchInKeywords | kMatchInText},
        {"Front & Page", kMatchAnywhere, kMatchInTitle},
        {"e", kMatchAnywhere, kMatchAnywhere},
        {"alpha", kMatchAnywhere, kMatchInText},
        {"alpha", kMatchInKeywords, 0},
        {"demo", kMatchInKeywords, kMatchInKeywords},
        {"Front|demo", kMatchInTitle | kMatchInText, kMatchInTitle | kMatchInText},
        {"links demo", kMatchInTitle | kMatchInText, 0},
        {"absent", kMatchAnywhere, 0},
    };
    for (const Case& c : cases) {
        matcher.setPlaces(c.places);
        EXPECT_EQ(matches(c.pattern, file), c.foundIn != 0) << c.pattern;
        EXPECT_EQ(matcher.foundIn(), c.foundIn) << c.pattern << " in " << c.places;
        EXPECT_EQ(matcher.title(), u"Front & Page");
    }
    matcher.setPlaces(kMatchAnywhere);
    EXPECT_FALSE(matches("x", page("T", "<p>a</p>", "")));
    EXPECT_EQ(matcher.title(), u"T") << "the title of this file, not the last";
}

// A literal text is found exactly where it stands as a substring, whatever
// metacharacters it holds: a differential test against plain find.
TEST_F(PageMatcherTest, LiteralTextIsFoundExactlyWhereItOccurs) {
    const std::u16string alphabet = u"ab()[]{}.*+?^$|\\/-#&<>\"' =:!,é\u4e2d";
    std::uint32_t state = 12345;
    auto pick = [&](std::size_t length) {
        std::u16string text;
        for (std::size_t i = 0; i < length; ++i) {
            state = state * 1103515245u + 12345u;
            text += alphabet[(state >> 16) % alphabet.size()];
        }
        return text;
    };
    auto escapeXml = [](const std::u16string& text) {
        std::u16string out;
        for (char16_t c : text) {
            if (c == u'&') out += u"&amp;";
            else if (c == u'<') out += u"&lt;";
            else if (c == u'>') out += u"&gt;";
            else out += c;
        }
        return out;
    };
    int hits = 0;
    for (int round = 0; round < 400; ++round) {
        const std::u16string haystack = pick(12);
        // Half the time a piece of the haystack, so both answers occur.
        const std::u16string needle = round % 2 ? haystack.substr(round % 5, 1 + round % 4) : pick(1 + round % 3);
        const std::string file = page("T", "<p>" + toUtf8(escapeXml(haystack)) + "</p>");
        dir.write("p.xhtml", file);
        matcher.setPattern(PageMatcher::escapeLiteral(needle));
        matcher.setMatchCase(true);
        ASSERT_TRUE(matcher.compile().ok()) << toUtf8(needle) << ": " << matcher.compile().message();
        const bool found = matcher.matchesFile(fromUtf8(dir.file("p.xhtml")));
        const bool expected = haystack.find(needle) != std::u16string::npos;
        EXPECT_EQ(found, expected) << "'" << toUtf8(needle) << "' in '" << toUtf8(haystack) << "'";
        hits += expected;
    }
    EXPECT_GT(hits, 100);
    EXPECT_LT(hits, 300);
    EXPECT_EQ(PageMatcher::escapeLiteral(u"C++ (notes)"), u"C\\+\\+ \\(notes\\)");
}

// A bad expression is told in plain words, with the place in the text as
// the user typed it, not the library's own message.
TEST_F(PageMatcherTest, BadPatternNamesTheProblemAndItsPosition) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"C++ (notes", "bad pattern: Unmatched '(' at position 5 of 'C++ (notes'"},
        {u"a)b", "bad pattern: Unmatched ')' at position 2 of 'a)b'"},
        {u"(a)(b", "bad pattern: Unmatched '(' at position 4 of '(a)(b'"},
        {u"x[ab\\]", "bad pattern: Unmatched '[' at position 2 of 'x[ab\\]'"},
        {u"\\(a(", "bad pattern: Unmatched '(' at position 4 of '\\(a('"},
        {u"*x", "bad pattern: Nothing to repeat before '*' at position 1 of '*x'"},
        {u"\u00e9(", "bad pattern: Unmatched '(' at position 2 of '\u00e9('"},
    };
    for (const auto& [pattern, message] : cases) {
        matcher.setPattern(pattern);
        EXPECT_EQ(matcher.compile().message(), message);
    }
    for (const char16_t* other : {u"a{2,1}", u"x\\", u"[b-a]", u"(?<x"}) {
        matcher.setPattern(other);
        const std::string message = matcher.compile().message();
        EXPECT_EQ(message.find("HERE"), std::string::npos) << message;
        EXPECT_NE(message.find(" of '" + toUtf8(other) + "'"), std::string::npos) << message;
    }
}

TEST_F(PageMatcherTest, PatternIsARegularExpression) {
    const std::string file = page("T", "<p>abc and x(y)</p>");
    EXPECT_TRUE(matches("a.c", file));
    EXPECT_FALSE(matches("a\\.c", file));
    EXPECT_TRUE(matches("a\\.c", page("T", "<p>see a.c</p>")));
    EXPECT_TRUE(matches("x\\(y\\)", file));
    EXPECT_TRUE(matches("^abc", file));  // a search, anchored at the run's start
    EXPECT_FALSE(matches("^and", file));
}

TEST_F(PageMatcherTest, EscapedCharactersAreOneRunWithTheirNeighbours) {
    EXPECT_TRUE(matches("R&D", page("T", "<p>our R&amp;D team</p>")));
    EXPECT_TRUE(matches("café", page("T", "<p>le caf&#233; noir</p>")));
    EXPECT_TRUE(matches("a<b>c", page("T", "<p>a&lt;b&gt;c</p>")));
    EXPECT_TRUE(matches("^x&y&z$", page("T", "<p>x&amp;y&#38;z</p>")));
}

TEST_F(PageMatcherTest, XhtmlNamedEntitiesCountAsTheirCharacters) {
    const std::string file =
        "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
        "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">" +
        page("T", "<p>caf&eacute;&nbsp;cr&egrave;me</p>");
    EXPECT_TRUE(matches("café\u00A0crème", file));
}

TEST_F(PageMatcherTest, LongRunIsSearchedWhole) {
    // Longer than the parser's buffers, with references inside, so it
    // reaches the matcher in many pieces; only the whole run matches.
    std::string run(60000, 'a');
    run += "&amp;";
    run += std::string(60000, 'b');
    const std::string file = page("T", "<p>" + run + "</p><p>c</p>");
    EXPECT_TRUE(matches("^a+&b+$", file));
    EXPECT_FALSE(matches("^a+&b+c", file));
}

TEST_F(PageMatcherTest, MarkupEndsARun) {
    const std::string file = page("T", "<p><b>big</b> deal</p><p>one</p><p>two</p>");
    EXPECT_FALSE(matches("big deal", file));
    EXPECT_TRUE(matches("big", file));
    EXPECT_TRUE(matches("^ deal$", file));
    EXPECT_FALSE(matches("onetwo", file));
    EXPECT_FALSE(matches("ab", page("T", "<p>a<!-- note -->b</p>")));
    EXPECT_FALSE(matches("ab", page("T", "<p>a<?pi x?>b</p>")));
}

TEST_F(PageMatcherTest, CharactersOutsideTheBasicPlaneAreOneCharacter) {
    EXPECT_TRUE(matches("^x.y$", page("T", "<p>x\xF0\x9D\x84\x9Ey</p>")));  // U+1D11E
    EXPECT_TRUE(matches("\xF0\x9D\x84\x9E", page("T", "<p>x&#x1D11E;y</p>")));
}

TEST_F(PageMatcherTest, DamagedFileCountsTextBeforeTheError) {
    const std::string damaged = page("T", "<p>early words</p><p>broken <b>tag</p>") + "<p>late words</p>";
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(matches("early", damaged));
    EXPECT_TRUE(matches("broken", damaged));  // the run the error cuts short
    EXPECT_FALSE(matches("late", damaged));
    EXPECT_FALSE(matches("x", "not xml at all <"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // nothing is reported
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    // The reader is reused: a damaged file leaves nothing behind.
    EXPECT_TRUE(matches("fine", page("T", "<p>fine</p>")));
}

TEST_F(PageMatcherTest, MissingFileDoesNotMatch) {
    matcher.setPattern(u"");
    EXPECT_FALSE(matcher.matchesFile(fromUtf8(dir.file("none.xhtml"))));
    EXPECT_TRUE(matcher.error().ok());
    EXPECT_FALSE(matcher.matchesFile(dir.path16()));  // a folder
    EXPECT_TRUE(matcher.error().ok());
}

TEST_F(PageMatcherTest, ExternalEntitiesAreNeverLoaded) {
    dir.write("secret.txt", "TOPSECRET");
    const std::string file = "<!DOCTYPE html [<!ENTITY ext SYSTEM \"file://" + dir.file("secret.txt") +
                             "\">]><html><body><p>before &ext; after</p></body></html>";
    EXPECT_FALSE(matches("TOPSECRET", file));
    const std::string external = "<!DOCTYPE html SYSTEM \"" + dir.file("secret.txt") + "\"><html><p>x</p></html>";
    EXPECT_FALSE(matches("TOPSECRET", external));
}

TEST_F(PageMatcherTest, EntityExpansionIsBounded) {
    std::string doctype = "<!DOCTYPE html [<!ENTITY e0 \"lol\">";
    for (int i = 1; i < 10; ++i) {
        doctype += "<!ENTITY e" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) doctype += "&e" + std::to_string(i - 1) + ";";
        doctype += "\">";
    }
    doctype += "]>";
    const auto start = std::chrono::steady_clock::now();
    dir.write("p.xhtml", doctype + "<html><p>&e9;</p></html>");
    matcher.setPattern(u"never");
    EXPECT_FALSE(matcher.matchesFile(fromUtf8(dir.file("p.xhtml"))));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    // The page cannot be read within the bounds, so whether it matches
    // cannot be said: the search is told, naming the page.
    EXPECT_NE(matcher.error().message().find("p.xhtml"), std::string::npos)
        << matcher.error().message();
}

TEST_F(PageMatcherTest, BadPatternIsAnErrorThatNamesTheProblem) {
    dir.write("p.xhtml", page("T", "<p>(</p>"));
    for (const char16_t* bad : {u"(", u"[a", u"a{2,1}", u"*x"}) {
        matcher.setPattern(bad);
        EXPECT_FALSE(matcher.compile().ok());
        EXPECT_FALSE(matcher.matchesFile(fromUtf8(dir.file("p.xhtml"))));
        EXPECT_NE(matcher.error().message().find("bad pattern"), std::string::npos) << toUtf8(bad);
    }
    matcher.setPattern(u"(");
    matcher.matchesFile(fromUtf8(dir.file("p.xhtml")));
    EXPECT_NE(matcher.error().message().find("Unmatched"), std::string::npos) << matcher.error().message();
    // A valid pattern afterwards clears the error.
    matcher.setPattern(u"\\(");
    EXPECT_TRUE(matcher.matchesFile(fromUtf8(dir.file("p.xhtml"))));
    EXPECT_TRUE(matcher.error().ok());
}

TEST_F(PageMatcherTest, MatchBeyondTheLibraryLimitsEndsInAnError) {
    dir.write("p.xhtml", page("T", "<p>" + std::string(200000, 'a') + "</p>"));
    for (const char16_t* heavy : {u"(a|b)*c", u"(?:a|aa)*c"}) {
        matcher.setPattern(heavy);
        EXPECT_TRUE(matcher.compile().ok());
        EXPECT_FALSE(matcher.matchesFile(fromUtf8(dir.file("p.xhtml"))));
        EXPECT_FALSE(matcher.error().ok()) << toUtf8(heavy);
        EXPECT_NE(matcher.error().message().find("p.xhtml"), std::string::npos)
        << matcher.error().message();
    }
    matcher.setPattern(u"a+");
    EXPECT_TRUE(matcher.matchesFile(fromUtf8(dir.file("p.xhtml"))));
    EXPECT_TRUE(matcher.error().ok());
}

TEST_F(PageMatcherTest, StoppingAtTheFirstMatchLeavesTheReaderReady) {
    // The first file matches at once and its parse is cut short; the
    // second only matches at its very end and must be read in full.
    dir.write("early.xhtml", page("needle", "<p>" + std::string(5000, 'x') + "</p><p>unfinished"));
    dir.write("late.xhtml", page("T", "<p>" + std::string(5000, 'x') + "</p><p>a</p><p>needle</p>"));
    dir.write("none.xhtml", page("T", "<p>hay</p>"));
    matcher.setPattern(u"needle");
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(matcher.matchesFile(fromUtf8(dir.file("early.xhtml")))) << i;
        ASSERT_TRUE(matcher.matchesFile(fromUtf8(dir.file("late.xhtml")))) << i;
        ASSERT_FALSE(matcher.matchesFile(fromUtf8(dir.file("none.xhtml")))) << i;
        ASSERT_TRUE(matcher.error().ok());
    }
}

TEST_F(PageMatcherTest, PatternAndCaseChangesTakeEffect) {
    const std::string file = page("T", "<p>Alpha</p>");
    EXPECT_TRUE(matches("Alpha", file));
    EXPECT_FALSE(matches("alpha", file));
    EXPECT_TRUE(matches("alpha", file, false));
    EXPECT_FALSE(matches("beta", file, false));
}

}  // namespace
}  // namespace tavix
