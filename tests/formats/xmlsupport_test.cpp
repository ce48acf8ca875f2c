// Xerces support: escaping, parse results, and the guard that keeps page
// files from reaching anything outside themselves.
#include <gtest/gtest.h>

#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>

#include "formats/HostilePages.h"
#include "formats/XhtmlEntities.h"
#include "formats/XmlSupport.h"
#include "store/TextCodec.h"
#include "support/TempDir.h"

using namespace tavix;

namespace {

// Writes what it is told in a compact form: "<name>" "text" "</name>".
class Recorder : public xercesc::DefaultHandler {
public:
    void startElement(const XMLCh*, const XMLCh* localName, const XMLCh*, const xercesc::Attributes&) override {
        events += u"<" + u16(localName) + u">";
    }
    void endElement(const XMLCh*, const XMLCh* localName, const XMLCh*) override {
        events += u"</" + u16(localName) + u">";
    }
    void characters(const XMLCh* chars, const XMLSize_t length) override { events += u16(chars, length); }
    void fatalError(const xercesc::SAXParseException&) override { ++fatalErrors; }

    std::u16string events;
    int fatalErrors = 0;
};

ParseResult parse(const std::u16string& text, Recorder& recorder, bool withErrors = true) {
    auto reader = makeSafeReader();
    return parseText(*reader, text, recorder, withErrors ? &recorder : nullptr);
}

class XmlSupportTest : public ::testing::Test {
protected:
    XmlLibrary library;
};

}  // namespace

TEST_F(XmlSupportTest, EscaperUsesTheFiveStandardEscapesAndKeepsEverythingElse) {
    EXPECT_EQ(escapeCharData(u"a & b < c > d \" e ' f"),
              u"a &amp; b &lt; c &gt; d &quot; e &apos; f");
    // Non-ASCII, astral-plane and line-break characters pass unchanged, in
    // host order and without a byte-order mark.
    const std::u16string kept = u"\u00e9\u4e2d\U0001F600\r\n\t\u00a0end";
    EXPECT_EQ(escapeCharData(kept), kept);
    EXPECT_EQ(escapeCharData(u""), u"");
}

TEST_F(XmlSupportTest, UnescapingResolvesWhatTheEscaperWritesAndCharacterReferences) {
    const std::u16string text = u"A & B <c> \"d\" 'e' caf\u00e9 \U0001F600";
    EXPECT_EQ(unescapeCharData(escapeCharData(text)), text);
    EXPECT_EQ(unescapeCharData(u"caf&#233; &#x1F600;"), u"caf\u00e9 \U0001F600");
    // Malformed or invalid references are shown as they stand.
    for (const std::u16string odd : {u"&", u"&;", u"&nbsp;", u"&#;", u"&#xD800;", u"&#1114112;",
                                     u"&#0;", u"& amp;", u"&amp"})
        EXPECT_EQ(unescapeCharData(odd), odd);
}

TEST_F(XmlSupportTest, EscaperAppendsAndHandlesTextLongerThanItsBuffer) {
    CharDataEscaper escaper;
    std::u16string out = u"prefix:";
    std::u16string big;
    for (int i = 0; i < 5000; ++i) big += u"x<";
    escaper.appendEscaped(asXml(big.c_str()), big.size(), out);
    escaper.appendEscaped(asXml(u"&"), 1, out);
    std::u16string expected = u"prefix:";
    for (int i = 0; i < 5000; ++i) expected += u"x&lt;";
    expected += u"&amp;";
    EXPECT_EQ(out, expected);
    // Only the given length is read, not up to a terminator.
    std::u16string part;
    escaper.appendEscaped(asXml(u"ab&cd"), 2, part);
    EXPECT_EQ(part, u"ab");
}

TEST_F(XmlSupportTest, ParseTextDeliversEventsAndReportsSuccess) {
    Recorder r;
    ParseResult result = parse(u"<a>x&amp;y<b>\u00e9\U0001F600</b></a>", r);
    EXPECT_TRUE(result.ok);
    EXPECT_TRUE(result.message.empty());
    EXPECT_EQ(r.events, u"<a>x&y<b>\u00e9\U0001F600</b></a>");
    EXPECT_EQ(r.fatalErrors, 0);
}

TEST_F(XmlSupportTest, FirstFatalErrorEndsTheParseAndIsReportedWithItsPosition) {
    for (bool withErrors : {true, false}) {
        Recorder r;
        ParseResult result = parse(u"<a>\n<b>one</b>\n<c>two", r, withErrors);
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.message.empty());
        EXPECT_EQ(result.line, 3u);
        EXPECT_GT(result.column, 0u);
        EXPECT_EQ(r.events, u"<a>\n<b>one</b>\n<c>two");
        // The caller's handler hears of it exactly once, and only when given.
        EXPECT_EQ(r.fatalErrors, withErrors ? 1 : 0);
    }
    Recorder r;
    EXPECT_FALSE(parse(u"", r).ok);
    EXPECT_FALSE(parse(u"<a></b>", r).ok);
}

TEST_F(XmlSupportTest, AReaderCanBeUsedAgainAfterAFailedParse) {
    auto reader = makeSafeReader();
    Recorder bad, good;
    EXPECT_FALSE(parseText(*reader, u"<a>", bad, &bad).ok);
    EXPECT_TRUE(parseText(*reader, u"<a>fine</a>", good, &good).ok);
    EXPECT_EQ(good.events, u"<a>fine</a>");
}

TEST_F(XmlSupportTest, LibraryMayBeStartedAndStoppedRepeatedly) {
    for (int i = 0; i < 3; ++i) {
        XmlLibrary inner;
        Recorder r;
        EXPECT_TRUE(parse(u"<a/>", r).ok);
    }
    // The fixture's own hold keeps the library alive after the inner ones go.
    EXPECT_EQ(escapeCharData(u"<"), u"&lt;");
}

TEST_F(XmlSupportTest, ParseFileFindsTheEncodingInTheFileAndAcceptsNonAsciiPaths) {
    test::TempDir dir;
    dir.write("Caf\xc3\xa9.xhtml", "<a>\xc3\xa9\xf0\x9f\x98\x80</a>");
    dir.write("latin.xml", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xe9</a>");
    auto reader = makeSafeReader();
    Recorder utf8, latin;
    EXPECT_TRUE(parseFile(*reader, fromUtf8(dir.file("Caf\xc3\xa9.xhtml")), utf8, &utf8).ok);
    EXPECT_EQ(utf8.events, u"<a>\u00e9\U0001F600</a>");
    EXPECT_TRUE(parseFile(*reader, fromUtf8(dir.file("latin.xml")), latin, &latin).ok);
    EXPECT_EQ(latin.events, u"<a>\u00e9</a>");

    Recorder missing;
    ParseResult result = parseFile(*reader, fromUtf8(dir.file("absent.xhtml")), missing, &missing);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.message.empty());
    EXPECT_EQ(missing.fatalErrors, 0);
    // A folder opens like a file but has nothing to read.
    Recorder folder;
    EXPECT_FALSE(parseFile(*reader, dir.path16(), folder, &folder).ok);

    // A file larger than one read block arrives whole.
    std::string big = "<a>";
    for (int i = 0; i < 30000; ++i) big += "\xc3\xa9<b>x</b>";
    dir.write("big.xml", big + "</a>");
    Recorder whole;
    EXPECT_TRUE(parseFile(*reader, fromUtf8(dir.file("big.xml")), whole, &whole).ok);
    EXPECT_EQ(whole.events.size(), 7u + 30000u * 9u);
}

TEST_F(XmlSupportTest, AHandlerThatThrowsEndsTheParseWithAResult) {
    struct Thrower : Recorder {
        void characters(const XMLCh*, const XMLSize_t) override { throw std::runtime_error("handler gave up"); }
    } thrower;
    ParseResult result = parse(u"<a>text</a>", thrower);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "handler gave up");
}

TEST_F(XmlSupportTest, StandardXhtmlDoctypeParsesWithoutFetchingTheDtd) {
    Recorder r;
    ParseResult result = parse(
        u"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
        u"\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">"
        u"<html xmlns=\"http://www.w3.org/1999/xhtml\"><body><p>hi</p></body></html>",
        r);
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_EQ(r.events, u"<html><body><p>hi</p></body></html>");
}

TEST_F(XmlSupportTest, NoExternalDtdOrEntityIsEverRead) {
    test::TempDir dir;
    dir.write("ext.dtd", "<!ENTITY leak \"FROM-DTD\">");
    dir.write("secret.txt", "SECRET-CONTENT");
    const std::u16string dtdUrl = u"file://" + fromUtf8(dir.file("ext.dtd"));
    const std::u16string secretUrl = u"file://" + fromUtf8(dir.file("secret.txt"));

    // A local DTD: had it been read, &leak; would expand to its text.
    Recorder dtd;
    parse(u"<!DOCTYPE a SYSTEM \"" + dtdUrl + u"\"><a>[&leak;]</a>", dtd);
    EXPECT_EQ(dtd.events, u"<a>[]</a>");

    // External general and parameter entities expand to nothing.
    Recorder general;
    EXPECT_TRUE(parse(u"<!DOCTYPE a [<!ENTITY x SYSTEM \"" + secretUrl + u"\">]><a>[&x;]</a>", general).ok);
    EXPECT_EQ(general.events, u"<a>[]</a>");
    Recorder passwd;
    parse(u"<!DOCTYPE a [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><a>&x;</a>", passwd);
    EXPECT_EQ(passwd.events.find(u"root"), std::u16string::npos);
    Recorder parameter;
    EXPECT_TRUE(parse(u"<!DOCTYPE a [<!ENTITY % p SYSTEM \"" + secretUrl + u"\"> %p;]><a>ok</a>", parameter).ok);
    EXPECT_EQ(parameter.events, u"<a>ok</a>");

    // A DTD on a closed local port: fetching it would fail the parse.
    Recorder network;
    ParseResult result = parse(u"<!DOCTYPE a SYSTEM \"http://127.0.0.1:9/none.dtd\"><a>net</a>", network);
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_EQ(network.events, u"<a>net</a>");
}

TEST_F(XmlSupportTest, EntityExpansionBombIsStoppedEarly) {
    std::u16string doc = u"<!DOCTYPE bomb [<!ENTITY l0 \"lol\">";
    for (int level = 1; level <= 9; ++level) {
        doc += u"<!ENTITY l" + std::u16string(1, char16_t(u'0' + level)) + u" \"";
        for (int i = 0; i < 10; ++i) doc += u"&l" + std::u16string(1, char16_t(u'0' + level - 1)) + u";";
        doc += u"\">";
    }
    doc += u"]><bomb>&l9;</bomb>";
    Recorder r;
    ParseResult result = parse(doc, r);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(r.fatalErrors, 1);
    // A billion "lol"s would be 3 GB; the limit stops it after a few KB.
    EXPECT_LT(r.events.size(), 1000000u);
}

TEST_F(XmlSupportTest, OrdinaryReferencesAreNotCountedAsEntityExpansions) {
    std::u16string doc = u"<a>";
    for (int i = 0; i < 40000; ++i) doc += u"&amp;&#233;";
    doc += u"</a>";
    Recorder r;
    ParseResult result = parse(doc, r);
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_EQ(r.events.size(), 7u + 80000u);
}

TEST(XhtmlEntities, NamesMapToTheirCharacters) {
    EXPECT_EQ(xhtmlEntity(u"nbsp"), u"\u00a0");
    EXPECT_EQ(xhtmlEntity(u"yuml"), u"\u00ff");
    EXPECT_EQ(xhtmlEntity(u"Yuml"), u"\u0178");
    EXPECT_EQ(xhtmlEntity(u"eacute"), u"\u00e9");
    EXPECT_EQ(xhtmlEntity(u"mdash"), u"\u2014");
    EXPECT_EQ(xhtmlEntity(u"euro"), u"\u20ac");
    EXPECT_EQ(xhtmlEntity(u"Omega"), u"\u03a9");
    EXPECT_EQ(xhtmlEntity(u"diams"), u"\u2666");
    EXPECT_EQ(xhtmlEntity(u"aacute"), u"\u00e1");
    EXPECT_EQ(xhtmlEntity(u"Aacute"), u"\u00c1");
    EXPECT_TRUE(xhtmlEntity(u"NBSP").empty());
    EXPECT_TRUE(xhtmlEntity(u"bogus").empty());
    EXPECT_TRUE(xhtmlEntity(u"").empty());
    EXPECT_TRUE(xhtmlEntity(u"amp").empty());
}

TEST_F(XmlSupportTest, XhtmlDoctypeDeclaresTheNamedEntitiesFromMemory) {
    for (const char16_t* doctype :
         {u"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
          u"\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">",
          u"<!DOCTYPE html SYSTEM \"http://127.0.0.1:9/DTD/xhtml1-strict.dtd\">"}) {
        Recorder r;
        ParseResult result = parse(std::u16string(doctype) + u"<html><p title=\"&eacute;\">a&nbsp;b&mdash;&euro;&amp;</p></html>", r);
        EXPECT_TRUE(result.ok) << result.message;
        EXPECT_EQ(r.events, u"<html><p>a\u00a0b\u2014\u20ac&</p></html>");
    }
    // Without a DOCTYPE the names mean nothing: a fatal error, as in any XML.
    Recorder plain;
    EXPECT_FALSE(parse(u"<html><p>a&nbsp;b</p></html>", plain).ok);
}

TEST_F(XmlSupportTest, NamedEntitiesAreKnownWhateverTheDoctypeSays) {
    // Pages from other programs name all sorts of DTDs; their named
    // entities keep their meaning all the same, and nothing is fetched.
    for (const char16_t* doctype :
         {u"<!DOCTYPE html SYSTEM \"about:legacy-compat\">",
          u"<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01//EN\" \"http://127.0.0.1:9/html4/strict.dtd\">",
          u"<!DOCTYPE page SYSTEM \"page.dtd\">", u"<!DOCTYPE html SYSTEM \"x.dtd\" [<!ENTITY w \"word\">]>",
          u"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" \"xhtml1-strict.dtd\">"}) {
        Recorder r;
        ParseResult result = parse(std::u16string(doctype) + u"<html><p>a&nbsp;b&eacute;&euro;&amp;</p></html>", r);
        EXPECT_TRUE(result.ok) << result.message;
        EXPECT_EQ(r.events, u"<html><p>a\u00a0b\u00e9\u20ac&</p></html>")
            << std::string(doctype, doctype + std::char_traits<char16_t>::length(doctype));
    }
    // A page's own declaration of a name comes first.
    Recorder own;
    EXPECT_TRUE(parse(u"<!DOCTYPE p SYSTEM \"p.dtd\" [<!ENTITY nbsp \"_\">]><p>a&nbsp;b</p>", own).ok);
    EXPECT_EQ(own.events, u"<p>a_b</p>");
}

// HTML5 written as XML names no DTD at all; its named entities are the
// XHTML ones all the same. A page's own declarations still come first, and
// without any DOCTYPE the names stay unknown (above).
TEST_F(XmlSupportTest, NamedEntitiesAreKnownUnderADoctypeWithoutIdentifiers) {
    for (const char16_t* doctype : {u"<!DOCTYPE html>", u"<!DOCTYPE  html >", u"<!DOCTYPE page>",
                                    u"<!DOCTYPE html [<!ENTITY w \"word\">]>", u"<!DOCTYPE html []>"}) {
        Recorder r;
        ParseResult result =
            parse(std::u16string(doctype) + u"<html><p title=\"&eacute;\">a&nbsp;b&eacute;&euro;&amp;</p></html>", r);
        EXPECT_TRUE(result.ok) << result.message;
        EXPECT_EQ(r.events, u"<html><p>a\u00a0b\u00e9\u20ac&</p></html>")
            << std::string(doctype, doctype + std::char_traits<char16_t>::length(doctype));
    }
    Recorder own;
    ParseResult result = parse(u"<!DOCTYPE p [<!ENTITY nbsp \"_\"><!ENTITY x \"&eacute;\">]><p>a&nbsp;b&x;</p>", own);
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_EQ(own.events, u"<p>a_b\u00e9</p>");
    // Names that no DTD declares are still an error.
    Recorder unknown;
    EXPECT_FALSE(parse(u"<!DOCTYPE html><p>a&bogus;b</p>", unknown).ok);
}

// Each element costs the parser time in proportion to the depth it stands
// at, so nesting is bounded: a page nested deeper than any page is written
// ends there like a damaged one, with a position and what came before it.
TEST_F(XmlSupportTest, NestingBeyondTheLimitEndsTheDocument) {
    auto reader = makeSafeReader();
    for (std::size_t depth : {std::size_t(12000), std::size_t(1000000)}) {
        Recorder r;
        const std::u16string deep = fromUtf8(test::deepNesting(depth));
        ParseResult result = parseText(*reader, deep, r, &r);
        EXPECT_FALSE(result.ok) << depth;
        EXPECT_FALSE(result.limitExceeded) << depth;  // damaged, not hostile
        EXPECT_NE(result.message.find("nested"), std::string::npos) << result.message;
        EXPECT_EQ(result.line, 1u);
        EXPECT_GT(result.column, 0u);
        EXPECT_EQ(r.fatalErrors, 1);
        // What came before is delivered: the head, and the levels up to the limit.
        EXPECT_EQ(r.events.find(u"<html><head><title>T</title></head><body><p><b><b>"), 0u);
        EXPECT_EQ(r.events.find(fromUtf8(test::kEndMarker)), std::u16string::npos);
    }
    // Up to the limit a page is read whole, by the same reader.
    const std::size_t levels = kMaxElementDepth - 3;  // inside html, body and p
    Recorder whole;
    ParseResult result = parseText(*reader, fromUtf8(test::deepNesting(levels)), whole, &whole);
    EXPECT_TRUE(result.ok) << result.message;
    EXPECT_NE(whole.events.find(fromUtf8(test::kEndMarker)), std::u16string::npos);
    Recorder over;
    EXPECT_FALSE(parseText(*reader, fromUtf8(test::deepNesting(levels + 1)), over, &over).ok);
}

TEST_F(XmlSupportTest, TextMultipliedByDeclaredEntitiesIsCutOff) {
    // 2000 references to a 4000-character entity: 8 million characters from
    // a document of 14 thousand, under any expansion count.
    std::u16string doc = u"<!DOCTYPE a [<!ENTITY big \"" + std::u16string(4000, u'x') + u"\">]><a>";
    for (int i = 0; i < 2000; ++i) doc += u"&big;";
    doc += u"</a>";
    Recorder r;
    ParseResult result = parse(doc, r);
    EXPECT_FALSE(result.ok);
    EXPECT_GT(result.line, 0u);
    EXPECT_EQ(r.fatalErrors, 1);
    EXPECT_LT(r.events.size(), 16 * doc.size() + (1u << 20) + 8000u);

    // Modest use of declared entities stays well inside the budget.
    std::u16string fine = u"<!DOCTYPE a [<!ENTITY w \"word \">]><a>";
    for (int i = 0; i < 1000; ++i) fine += u"&w;";
    fine += u"</a>";
    Recorder ok;
    EXPECT_TRUE(parse(fine, ok).ok);
}

// Every way found of making the parser multiply what it reads ends the
// parse as one positioned fatal error marked as a bound, with the text
// delivered kept near the document's own size.
TEST_F(XmlSupportTest, HostileDocumentsEndAtABoundWithAPosition) {
    struct Case {
        const char* name;
        std::string document;
    } cases[] = {
        {"text", test::quadraticText(35000, 9000)},
        {"attribute", test::quadraticAttribute(35000, 9000)},
        {"attributes", test::quadraticAttributes(20000, 400)},
        {"default attributes", test::defaultAttributes(20000, 2000)},
        {"billion laughs", test::billionLaughs("lol")},
        {"billion empties", test::billionLaughs("")},
        {"padded laughs", test::billionLaughs("lol", 30000)},
        {"entity chain", test::entityChain(300)},
    };
    test::TempDir dir;
    for (const Case& c : cases) {
        dir.write("page.xhtml", c.document);
        auto reader = makeSafeReader();
        for (bool fromFile : {true, false}) {
            Recorder r;
            const ParseResult result =
                fromFile ? parseFile(*reader, fromUtf8(dir.file("page.xhtml")), r, &r)
                         : parseText(*makeSafeReader(), fromUtf8(c.document), r, &r);
            EXPECT_FALSE(result.ok) << c.name;
            EXPECT_TRUE(result.limitExceeded) << c.name << ": " << result.message;
            EXPECT_FALSE(result.message.empty()) << c.name;
            EXPECT_GT(result.line, 0u) << c.name;
            EXPECT_GT(result.column, 0u) << c.name;
            EXPECT_EQ(r.fatalErrors, 1) << c.name;
            EXPECT_LE(r.events.size(), textBudget(c.document.size()) + 200) << c.name;
            EXPECT_EQ(r.events.find(fromUtf8(test::kEndMarker)), std::u16string::npos) << c.name;
        }
    }
}

// Honest documents near the bounds are read to their end: references the
// document writes are never counted against it, however many, and an
// attribute as large as the page is fine.
TEST_F(XmlSupportTest, HonestDocumentsNearTheBoundsAreReadWhole) {
    struct Case {
        const char* name;
        std::string document;
    } cases[] = {
        {"60000 nbsp", test::namedEntities("nbsp", 60000)},
        {"60000 eacute", test::namedEntities("eacute", 60000)},
        {"80000 mixed", test::namedEntities("mdash;&euro;&nbsp;&eacute", 20000)},
        {"60000 declared", test::pageWith("<!DOCTYPE html [<!ENTITY w \"word\">]>",
                                          test::repeat("<p>&w;</p>", 60000))},
        {"attribute of 3 MB",
         test::pageWith("", "<p>x</p>",
                        "<meta name=\"keywords\" content=\"" + std::string(3 << 20, 'k') + "\"/>")},
        {"entity chain of 8", test::entityChain(8)},
        {"nested 5000 deep", test::pageWith(test::kXhtmlDoctype, test::repeat("<b>", 5000) + "x" +
                                                                     test::repeat("</b>", 5000))},
    };
    test::TempDir dir;
    auto reader = makeSafeReader();  // one reader for all, as a search uses it
    for (const Case& c : cases) {
        dir.write("page.xhtml", c.document);
        Recorder r;
        const ParseResult result = parseFile(*reader, fromUtf8(dir.file("page.xhtml")), r, &r);
        EXPECT_TRUE(result.ok) << c.name << ": " << result.message;
        EXPECT_FALSE(result.limitExceeded) << c.name;
        EXPECT_NE(r.events.find(fromUtf8(test::kEndMarker)), std::u16string::npos) << c.name;
    }
    // References are found in files of either UTF-16 byte order too.
    const std::u16string text = fromUtf8(test::namedEntities("nbsp", 60000));
    for (bool little : {true, false}) {
        std::string bytes = little ? "\xff\xfe" : "\xfe\xff";
        for (char16_t unit : text) {
            const char low = static_cast<char>(unit & 0xFF), high = static_cast<char>(unit >> 8);
            bytes += little ? std::string{low, high} : std::string{high, low};
        }
        dir.write("utf16.xhtml", bytes);
        Recorder r;
        const ParseResult result = parseFile(*reader, fromUtf8(dir.file("utf16.xhtml")), r, &r);
        EXPECT_TRUE(result.ok) << (little ? "little" : "big") << " endian: " << result.message;
        EXPECT_NE(r.events.find(fromUtf8(test::kEndMarker)), std::u16string::npos);
    }
}

TEST_F(XmlSupportTest, AReaderStoppedForMemoryRefusesFurtherDocuments) {
    auto reader = makeSafeReader();
    Recorder bomb;
    const ParseResult stopped =
        parseText(*reader, fromUtf8(test::quadraticAttribute(35000, 9000)), bomb, &bomb);
    ASSERT_TRUE(stopped.limitExceeded);
    Recorder next;
    const ParseResult refused = parseText(*reader, u"<a>fine</a>", next, &next);
    EXPECT_FALSE(refused.ok);
    EXPECT_FALSE(refused.message.empty());
    EXPECT_EQ(next.events, u"");
    EXPECT_TRUE(parseText(*makeSafeReader(), u"<a>fine</a>", next, &next).ok);
    EXPECT_EQ(next.events, u"<a>fine</a>");
}
