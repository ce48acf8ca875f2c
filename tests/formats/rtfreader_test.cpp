// The RTF reader: paragraphs, styles, formats, symbols, skipped groups and
// the diagnostics, checked through a balance-checking log and, where the
// stored form matters, through a real page document.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "formats/PageDocument.h"
#include "formats/RtfReader.h"
#include "formats/RtfEventLog.h"
#include "formats/XmlSupport.h"
#include "store/StyleSheet.h"

namespace tavix {
namespace {

struct ReadResult {
    std::u16string markup;  // body markup, text unescaped
    std::string diagnostics;
};

// Reads rtf and returns the logged markup; fails the test when the events
// are not balanced.
ReadResult readRtf(const std::u16string& rtf, const StyleSheet& styles = StyleSheet()) {
    RtfReader reader(styles);
    std::ostringstream diag;
    reader.setDiagnostics(diag);
    reader.setInput(rtf);
    test::RtfEventLog log;
    reader.run(log);
    EXPECT_TRUE(log.balanced()) << log.faultText();
    return {log.markup, diag.str()};
}

std::u16string body(const std::u16string& rtf) { return readRtf(rtf).markup; }

class RtfReaderTest : public ::testing::Test {
protected:
    XmlLibrary xml_;
};

TEST_F(RtfReaderTest, ExampleWithBoldHeadingGivesStoredBody) {
    StyleSheet styles;
    styles.style(1).setBold(true);
    RtfReader reader(styles);
    std::ostringstream diag;
    reader.setDiagnostics(diag);
    reader.setInput(
        u"{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\viewkind4\\pard\\s1\\b Title\\b0\\par\\pard\\s0 Hello "
        u"\\b big\\b0  world\\par}");
    PageDocument page(nullptr);
    page.setDiagnostics(diag);
    reader.run(page);
    EXPECT_EQ(page.body(), u"<body><h1>Title</h1><p>Hello <b>big</b> world</p></body>");
    EXPECT_EQ(diag.str(), "");
}

TEST_F(RtfReaderTest, StoredBodyEscapesMarkupCharacters) {
    StyleSheet styles;
    RtfReader reader(styles);
    reader.setInput(u"{\\rtf1\\pard a & b < c \\{x\\} \\\\ \\'e9\\par}");
    PageDocument page(nullptr);
    reader.run(page);
    EXPECT_EQ(page.body(), u"<body><p>a &amp; b &lt; c {x} \\ \u00e9</p></body>");
}

TEST_F(RtfReaderTest, ParagraphsAndStyles) {
    // Repeated paragraph ends leave no empty paragraph.
    EXPECT_EQ(body(u"{\\rtf1\\pard a\\par\\par\\pard\\par b\\par}"), u"<body><p>a</p><p>b</p></body>");
    EXPECT_EQ(body(u"{\\rtf1\\pard\\s3 x\\par}"), u"<body><h3>x</h3></body>");
    EXPECT_EQ(body(u"{\\rtf1\\pard\\s9 x\\par}"), u"<body><p>x</p></body>");
    EXPECT_EQ(body(u"{\\rtf1\\pard\\s-4 x\\par}"), u"<body><p>x</p></body>");
    EXPECT_EQ(body(u"{\\rtf1\\pard x\\par}"), u"<body><p>x</p></body>");
    // The style is chosen per paragraph and forgotten at its end.
    EXPECT_EQ(body(u"{\\rtf1\\pard\\s2 a\\par\\pard b\\par}"), u"<body><h2>a</h2><p>b</p></body>");
    // A style word inside a paragraph changes nothing.
    EXPECT_EQ(body(u"{\\rtf1\\pard a\\s1 b\\par}"), u"<body><p>ab</p></body>");
    // Text before any paragraph word opens a Normal paragraph.
    EXPECT_EQ(body(u"hello"), u"<body><p>hello</p></body>");
    EXPECT_EQ(body(u""), u"<body></body>");
    EXPECT_EQ(body(u"{\\rtf1\\ansi}"), u"<body></body>");
}

TEST_F(RtfReaderTest, TextAfterLastParagraphEndIsKept) {
    EXPECT_EQ(body(u"{\\rtf1\\pard a\\par\\pard last words}"),
              u"<body><p>a</p><p>last words</p></body>");
    EXPECT_EQ(body(u"{\\rtf1\\pard\\b a\\i b"), u"<body><p><b>a<i>b</i></b></p></body>");
}

TEST_F(RtfReaderTest, InlineFormats) {
    // Closing b closes the i opened after it; the rest is plain.
    EXPECT_EQ(body(u"{\\rtf1\\pard\\b x\\i y\\b0 z\\par}"), u"<body><p><b>x<i>y</i></b>z</p></body>");
    EXPECT_EQ(body(u"{\\rtf1\\pard a\\strike b\\strike0 c\\ul d\\ulnone e\\par}"),
              u"<body><p>a<strike>b</strike>c<u>d</u>e</p></body>");
    EXPECT_EQ(body(u"{\\rtf1\\pard a\\super 2\\nosupersub b\\sub 3\\nosupersub\\par}"),
              u"<body><p>a<sup>2</sup>b<sub>3</sub></p></body>");
    // Any parameter but 0 means on; "\ul0" is off.
    EXPECT_EQ(body(u"{\\rtf1\\pard a\\b1 b\\b0 c\\i2 d\\i0 e\\ul1 f\\ul0 g\\strike1 h\\strike0\\par}"),
              u"<body><p>a<b>b</b>c<i>d</i>e<u>f</u>g<strike>h</strike></p></body>");
    // A format already on is not opened twice; one "\b0" ends it.
    EXPECT_EQ(body(u"{\\rtf1\\pard a\\b b\\b c\\b0 d\\par}"), u"<body><p>a<b>bc</b>d</p></body>");
    // A closing word with nothing of its name open closes nothing.
    EXPECT_EQ(body(u"{\\rtf1\\pard\\i x\\b0 y\\nosupersub z\\i0\\par}"), u"<body><p><i>xyz</i></p></body>");
}

TEST_F(RtfReaderTest, FormatsAtParagraphStart) {
    EXPECT_EQ(body(u"{\\rtf1\\pard\\b x\\b0\\par}"), u"<body><p><b>x</b></p></body>");
    // Remembered in the order given, so nesting survives.
    EXPECT_EQ(body(u"{\\rtf1\\pard\\b \\i x\\i0 \\b0 \\par}"), u"<body><p><b><i>x</i></b></p></body>");
    EXPECT_EQ(body(u"{\\rtf1\\pard\\i \\b x\\b0 \\i0 \\par}"), u"<body><p><i><b>x</b></i></p></body>");
    // Superscript, subscript and strikethrough at the start are not lost.
    EXPECT_EQ(body(u"{\\rtf1\\pard\\super x\\nosupersub\\par}"), u"<body><p><sup>x</sup></p></body>");
    EXPECT_EQ(body(u"{\\rtf1\\pard\\sub x\\nosupersub\\par}"), u"<body><p><sub>x</sub></p></body>");
    EXPECT_EQ(body(u"{\\rtf1\\pard\\strike x\\strike0\\par}"), u"<body><p><strike>x</strike></p></body>");
    // Switched off again before any text: nothing.
    EXPECT_EQ(body(u"{\\rtf1\\pard\\b\\b0\\ul\\ulnone\\super\\nosupersub\\i\\i0 x\\par}"),
              u"<body><p>x</p></body>");
    // Words before the body starts are header words.
    EXPECT_EQ(body(u"{\\rtf1\\b\\pard x\\par}"), u"<body><p>x</p></body>");
}

TEST_F(RtfReaderTest, BoldStylesIgnoreLeadingBold) {
    StyleSheet styles;  // Heading 5 and 6 are bold
    EXPECT_EQ(readRtf(u"{\\rtf1\\pard\\s5\\b x\\b0\\par}", styles).markup, u"<body><h5>x</h5></body>");
    // The stray "\b0" does not end the italic run.
    EXPECT_EQ(readRtf(u"{\\rtf1\\pard\\s5\\b\\i x\\b0 y\\i0\\b0\\par}", styles).markup,
              u"<body><h5><i>xy</i></h5></body>");
    // Bold inside the text of a bold style is still an element.
    EXPECT_EQ(readRtf(u"{\\rtf1\\pard\\s6\\b x\\b y\\b0 \\b0\\par}", styles).markup,
              u"<body><h6>x<b>y</b></h6></body>");
    styles.style(0).setItalic(true);
    EXPECT_EQ(readRtf(u"{\\rtf1\\pard\\s0\\i\\b x\\par}", styles).markup, u"<body><p><b>x</b></p></body>");
}

TEST_F(RtfReaderTest, FormatsCarryOverParagraphEnds) {
    EXPECT_EQ(body(u"{\\rtf1\\pard\\b a\\par\\pard b\\b0 c\\par}"),
              u"<body><p><b>a</b></p><p><b>b</b>c</p></body>");
    EXPECT_EQ(body(u"{\\rtf1\\pard x\\b\\i a\\par\\pard b\\par}"),
              u"<body><p>x<b><i>a</i></b></p><p><b><i>b</i></b></p></body>");
    // Formats given between paragraphs go outside the carried ones.
    EXPECT_EQ(body(u"{\\rtf1\\pard x\\i a\\par\\pard\\b b\\par}"),
              u"<body><p>x<i>a</i></p><p><b><i>b</i></b></p></body>");
    // Switched off between paragraphs, a carried format stays off.
    EXPECT_EQ(body(u"{\\rtf1\\pard x\\b a\\par\\pard\\b0 b\\par}"),
              u"<body><p>x<b>a</b></p><p>b</p></body>");
}

TEST_F(RtfReaderTest, GroupsEndTheirFormats) {
    EXPECT_EQ(body(u"{\\rtf1\\pard x{\\b y}z\\par}"), u"<body><p>x<b>y</b>z</p></body>");
    EXPECT_EQ(body(u"{\\rtf1\\pard{\\b x}y\\par}"), u"<body><p><b>x</b>y</p></body>");
    // A format given outside the group outlives it.
    EXPECT_EQ(body(u"{\\rtf1\\pard\\b{x}y\\par}"), u"<body><p><b>xy</b></p></body>");
    // A paragraph that starts in a group goes on after it.
    EXPECT_EQ(body(u"{\\rtf1\\pard{\\s1 x}y\\par z\\par}"), u"<body><h1>xy</h1><p>z</p></body>");
    // A paragraph end inside a group with formats open outside it.
    EXPECT_EQ(body(u"{\\rtf1\\pard\\b x{\\i y\\par z}w\\par}"),
              u"<body><p><b>x<i>y</i></b></p><p><b><i>z</i>w</b></p></body>");
    // A group's format opened after the paragraph's last text is not carried
    // past the group's end.
    EXPECT_EQ(body(u"{\\rtf1\\pard x{\\ul y\\par}z\\par}"), u"<body><p>x<u>y</u></p><p>z</p></body>");
}

TEST_F(RtfReaderTest, HeaderDestinationsNeverReachTheBody) {
    const std::u16string rtf =
        u"{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fcharset1 Times New Roman;}{\\f1 Arial;};}"
        u"{\\colortbl;\\red0\\green0\\blue0;}"
        u"{\\stylesheet{ Normal;}{\\s1 heading 1;}}{\\info{\\title T}{\\author A}}"
        u"{\\*\\generator Editor 1.0;}\\viewkind4\\uc1\\pard\\s0 body\\par}";
    EXPECT_EQ(body(rtf), u"<body><p>body</p></body>");
}

TEST_F(RtfReaderTest, SkippedGroupsInsideTheBody) {
    EXPECT_EQ(body(u"{\\rtf1\\pard x{\\*\\unknown hidden}{\\pict\\wmetafile8 0a0b0c}"
                   u"{\\fonttbl{\\f0 Arial;}}{\\footnote\\pard note\\par}y\\par}"),
              u"<body><p>xy</p></body>");
    // Words inside a skipped group change nothing outside it.
    EXPECT_EQ(body(u"{\\rtf1\\pard x{\\*\\foo\\b\\par\\i}y\\par}"), u"<body><p>xy</p></body>");
    // A destination word later in a group is not a destination.
    EXPECT_EQ(body(u"{\\rtf1\\pard x{\\b y\\title z}\\par}"), u"<body><p>x<b>yz</b></p></body>");
    // Binary data is skipped even when it holds braces.
    EXPECT_EQ(body(u"{\\rtf1\\pard x{\\pict\\bin4 }}{{}y\\par}"), u"<body><p>xy</p></body>");
}

TEST_F(RtfReaderTest, SymbolsAndCodePage) {
    EXPECT_EQ(body(u"\\pard \\'e9\\'C9\\\\\\{\\}"), u"<body><p>\u00e9\u00c9\\{}</p></body>");
    EXPECT_EQ(body(u"\\pard \\'80\\'85\\'9f\\'81\\'a0"), u"<body><p>\u20ac\u2026\u0178\u0081\u00a0</p></body>");
    EXPECT_EQ(body(u"\\pard a\\~b\\-c\\_d"), u"<body><p>a\u00a0bcd</p></body>");
    // The header's code page decides what a byte stands for.
    EXPECT_EQ(body(u"{\\rtf1\\ansi\\ansicpg1251\\pard \\'e9}"), u"<body><p>\u0439</p></body>");
    // A short or missing byte.
    EXPECT_EQ(body(u"\\pard a\\'4x"), u"<body><p>ax</p></body>");
    EXPECT_EQ(body(u"\\pard a\\'zz"), u"<body><p>azz</p></body>");
    EXPECT_EQ(body(u"\\pard a\\'"), u"<body><p>a</p></body>");
    // Characters beyond ASCII written directly are text as they stand.
    EXPECT_EQ(body(u"\\pard \u00e9\u4e2d\U0001F600"), u"<body><p>\u00e9\u4e2d\U0001F600</p></body>");
}

TEST_F(RtfReaderTest, UnicodeWordsAndFallbacks) {
    EXPECT_EQ(body(u"\\pard a\\u8364?b"), u"<body><p>a\u20acb</p></body>");
    EXPECT_EQ(body(u"\\pard a\\u8364\\'80b"), u"<body><p>a\u20acb</p></body>");
    EXPECT_EQ(body(u"\\pard \\u-4064?"), u"<body><p>\uf020</p></body>");
    // A surrogate pair in two words.
    EXPECT_EQ(body(u"\\pard \\u-10179?\\u-8704?!"), u"<body><p>\U0001F600!</p></body>");
    EXPECT_EQ(body(u"\\pard \\u55357?\\u56832?"), u"<body><p>\U0001F600</p></body>");
    // "\uc" sets the fallback length for its group only.
    EXPECT_EQ(body(u"\\pard {\\uc2\\u8364 ab}\\u8364 cd"), u"<body><p>\u20ac\u20acd</p></body>");
    EXPECT_EQ(body(u"\\pard \\uc0\\u8364 ab"), u"<body><p>\u20acab</p></body>");
    // No fallback written: a control word or brace ends the skipping.
    EXPECT_EQ(body(u"\\pard a\\u8364\\par b"), u"<body><p>a\u20ac</p><p>b</p></body>");
    EXPECT_EQ(body(u"\\pard a{\\u8364}b"), u"<body><p>a\u20acb</p></body>");
    // Out of range, lone surrogates and non-characters are replaced.
    EXPECT_EQ(body(u"\\pard \\u70000?\\u55357?x\\u65535?"), u"<body><p>\ufffd\ufffdx\ufffd</p></body>");
    EXPECT_EQ(body(u"\\pard \\u99999999999999999999999999?"), u"<body><p>\ufffd</p></body>");
    // "\u" without a parameter is an unknown word.
    EXPECT_EQ(body(u"\\pard a\\u b"), u"<body><p>ab</p></body>");
}

TEST_F(RtfReaderTest, ControlCharactersAreDropped) {
    // "\tab" is the one way RTF writes a tab, and a tab is page text; raw or
    // escaped control characters are not.
    std::u16string rtf = u"\\pard a\tb\\'09c\\u9?d\\tab e\\line f";
    rtf += char16_t(0);
    rtf += u"g\x01\\par";
    rtf += char16_t(0);  // a trailing NUL opens no paragraph
    EXPECT_EQ(body(rtf), u"<body><p>abcd\tefg</p></body>");
    // A tab opens a paragraph as any text does; in a skipped group it goes.
    EXPECT_EQ(body(u"\\pard\\s2\\tab x{\\*\\foo \\tab}\\par"), u"<body><h2>\tx</h2></body>");
    EXPECT_EQ(body(u"\\pard a\r\nb\\par\r\n"), u"<body><p>ab</p></body>");
}

TEST_F(RtfReaderTest, ControlWordSyntax) {
    // One blank after a word is its delimiter; a second one is text.
    EXPECT_EQ(body(u"\\pard \\b  x"), u"<body><p><b> x</b></p></body>");
    // Digits end a word without a blank.
    EXPECT_EQ(body(u"\\pard\\s1x"), u"<body><h1>x</h1></body>");
    // A minus without digits is eaten.
    EXPECT_EQ(body(u"\\pard a\\b-c"), u"<body><p>a<b>c</b></p></body>");
    // Truncated words at the end.
    EXPECT_EQ(body(u"\\pard a\\b-"), u"<body><p>a</p></body>");
    EXPECT_EQ(body(u"\\pard a\\"), u"<body><p>a</p></body>");
    EXPECT_EQ(body(u"\\pard a\\b"), u"<body><p>a<b></b></p></body>");
    // A very long word is unknown, however it starts.
    EXPECT_EQ(body(u"\\pard a\\par" + std::u16string(100, u'x') + u" b"), u"<body><p>ab</p></body>");
    // Words are ASCII letters only.
    EXPECT_EQ(body(u"\\pard a\\par\u00e9b"), u"<body><p>a</p><p>\u00e9b</p></body>");
}

TEST_F(RtfReaderTest, BraceDiagnostics) {
    ReadResult extra = readRtf(u"{\\rtf1\\pard a}}\\pard b\\par");
    EXPECT_EQ(extra.markup, u"<body><p>ab</p></body>");
    EXPECT_EQ(extra.diagnostics, "Error, stack underflow\n");

    ReadResult two = readRtf(u"}}x");
    EXPECT_EQ(two.diagnostics, "Error, stack underflow\nError, stack underflow\n");
    EXPECT_EQ(two.markup, u"<body><p>x</p></body>");

    ReadResult open = readRtf(u"{\\rtf1{\\pard\\b a");
    EXPECT_EQ(open.markup, u"<body><p><b>a</b></p></body>");
    EXPECT_EQ(open.diagnostics, "Error, unmatched brace\n");

    EXPECT_EQ(readRtf(u"{\\rtf1\\pard a\\par}").diagnostics, "");
}

TEST_F(RtfReaderTest, HugeParametersAndDeepNesting) {
    EXPECT_EQ(body(u"\\pard\\s99999999999999999999999 a\\b-99999999999999999999 b\\uc99999999999999 "
                   u"\\u-99999999999999999 c\\bin99999999999999999"),
              u"<body><p>a<b>b\ufffd</b></p></body>");

    const std::size_t levels = 100000;
    std::u16string deep = u"\\pard ";
    deep += std::u16string(levels, u'{');
    deep += u"\\b x";
    deep += std::u16string(levels, u'}');
    deep += u"y";
    EXPECT_EQ(body(deep), u"<body><p><b>x</b>y</p></body>");

    std::u16string open(levels, u'{');
    open += u"\\pard\\b\\i z";
    ReadResult r = readRtf(open);
    EXPECT_EQ(r.markup, u"<body><p><b><i>z</i></b></p></body>");
    EXPECT_EQ(r.diagnostics, "Error, unmatched brace\n");
}

// Documents written by other programs: their code page, "\plain" and
// anything before the document group.
TEST_F(RtfReaderTest, CodePagesOfOtherPrograms) {
    struct Case {
        const char16_t* header;
        const char16_t* bytes;
        const char16_t* text;
    };
    const Case cases[] = {
        {u"\\ansicpg1251", u"\\'cf\\'f0\\'e8\\'e2\\'e5\\'f2", u"\u041f\u0440\u0438\u0432\u0435\u0442"},
        {u"\\ansicpg1253", u"\\'c3\\'e5\\'e9\\'dc", u"\u0393\u03b5\u03b9\u03ac"},
        {u"\\ansicpg1250", u"\\'a3\\'f3d\\'9f \\'8a\\'e8", u"\u0141\u00f3d\u017a \u0160\u010d"},
        {u"\\ansicpg1252", u"\\'80\\'e9\\'81", u"\u20ac\u00e9\u0081"},
        {u"\\ansicpg874", u"\\'a1", u"\u0e01"},
        {u"\\ansicpg1254", u"\\'f0", u"\u011f"},
        {u"\\ansicpg1255", u"\\'e0", u"\u05d0"},
        {u"\\ansicpg1256", u"\\'c7", u"\u0627"},
        {u"\\ansicpg1257", u"\\'e0", u"\u0105"},
        {u"\\ansicpg1258", u"\\'c3", u"\u0102"},
        // Unknown code pages fall back to 1252.
        {u"\\ansicpg99999", u"\\'e9", u"\u00e9"},
        {u"", u"\\'e9", u"\u00e9"},
    };
    for (const Case& c : cases) {
        const std::u16string rtf = std::u16string(u"{\\rtf1\\ansi") + c.header +
                                   u"\\deff0{\\fonttbl{\\f0 Arial;}}\\pard\\plain " + c.bytes +
                                   u"\\par}";
        ReadResult r = readRtf(rtf);
        EXPECT_EQ(r.markup, u"<body><p>" + std::u16string(c.text) + u"</p></body>")
            << std::string(c.header, c.header + std::char_traits<char16_t>::length(c.header));
        EXPECT_EQ(r.diagnostics, "");
    }
}

TEST_F(RtfReaderTest, PlainEndsCharacterFormats) {
    // As a word processor writes it: every paragraph starts from "\plain",
    // and bold of one paragraph is never ended with "\b0".
    EXPECT_EQ(body(u"{\\rtf1\\ansi\\pard\\plain \\s0 \\b\\i Bold\\par"
                   u"\\pard\\plain \\s0 Plain\\par\\pard\\plain \\s0 \\ul More\\par}"),
              u"<body><p><b><i>Bold</i></b></p><p>Plain</p><p><u>More</u></p></body>");
    // Inside a paragraph it closes what is open.
    EXPECT_EQ(body(u"{\\rtf1\\pard a\\b b\\i c\\plain d\\par}"),
              u"<body><p>a<b>b<i>c</i></b>d</p></body>");
    // Formats given between paragraphs are forgotten too.
    EXPECT_EQ(body(u"{\\rtf1\\pard x\\par\\pard\\b\\plain y\\par}"), u"<body><p>x</p><p>y</p></body>");
}

// "\fcharset" (or "\cpg") of a font decides the code page of the bytes
// written in that font; the document's "\ansicpg" holds for the others.
TEST_F(RtfReaderTest, FontsCarryTheirOwnCodePage) {
    const std::u16string fonts =
        u"{\\fonttbl{\\f0\\fcharset0 Times;}{\\f1\\fcharset204 Cyr;}{\\f2\\fcharset161 Greek;}"
        u"{\\f3\\fcharset238 CE;}{\\f4\\fcharset2 Symbol;}{\\f5\\fcharset1 Any;}"
        u"{\\f6\\fcharset128 Mincho;}{\\f7\\fcharset0\\cpg1253 Both;}{\\f8\\fcharset77 Mac;}"
        u"{\\f9\\fcharset162 Tr;}{\\f10\\fcharset186 Baltic;}{\\f11\\fcharset222 Thai;}"
        u"{\\f12\\fcharset134 Song;}{\\f13\\fcharset129 Gulim;}{\\f14\\fcharset136 Ming;}}";
    auto read = [&](const std::u16string& cpg, const std::u16string& text) {
        return body(u"{\\rtf1\\ansi" + cpg + u"\\deff0" + fonts + u"\\pard\\plain " + text + u"\\par}");
    };
    auto para = [](const std::u16string& text) { return u"<body><p>" + text + u"</p></body>"; };
    // Each "\f" switches; the default font's charset holds from the start.
    EXPECT_EQ(read(u"\\ansicpg1252", u"\\'e9\\f1\\'e9\\f2\\'e9\\f3\\'e9\\f0\\'e9"),
              para(u"\u00e9\u0439\u03b9\u00e9\u00e9"));
    EXPECT_EQ(read(u"\\ansicpg1252", u"\\f3\\'a3\\'9f\\f9\\'f0\\f10\\'e0\\f11\\'a1\\f8\\'8a"),
              para(u"\u0141\u017a\u011f\u0105\u0e01\u00e4"));
    // Charsets "default" and "symbol" keep the document's code page; "\cpg"
    // wins over "\fcharset".
    EXPECT_EQ(read(u"\\ansicpg1251", u"\\f5\\'e9\\f4\\'e9\\'b7\\f7\\'e9"),
              para(u"\u0439\u0439\u00b7\u03b9"));
    // A font of charset 0 reads Western bytes in a Cyrillic document.
    EXPECT_EQ(read(u"\\ansicpg1251", u"\\'e9\\f1\\'e9"), para(u"\u00e9\u0439"));
    // The font belongs to its group; "\plain" returns to the default font.
    EXPECT_EQ(read(u"", u"{\\f1\\'e9}\\'e9\\f2\\'e9\\plain\\'e9"), para(u"\u0439\u00e9\u03b9\u00e9"));
    EXPECT_EQ(body(u"{\\rtf1\\ansi\\deff1" + fonts + u"\\pard \\'e9\\f2\\'e9\\plain\\'e9\\par}"),
              para(u"\u0439\u03b9\u0439"));
    // A font table written without a group per font, and a font that is
    // not in the table.
    EXPECT_EQ(body(u"{\\rtf1\\ansi{\\fonttbl\\f0\\fcharset204 A;\\f1\\fswiss B;}\\pard\\f0\\'e9\\f1\\'e9"
                   u"\\f9\\'e9\\par}"),
              para(u"\u0439\u00e9\u00e9"));
    // Two-byte code pages: a lead byte and the byte after it are one
    // character, whether the second is written as "\'hh" or as itself;
    // "\uc2" skips both bytes of the fallback.
    EXPECT_EQ(read(u"", u"\\f6\\'93\\'fa\\'96\\'7b\\'83e\\'83X\\'83g\\'b1"),
              para(u"\u65e5\u672c\u30c6\u30b9\u30c8\uff71"));
    EXPECT_EQ(read(u"", u"\\f6{\\uc2\\u26085\\'93\\'fa}x"), para(u"\u65e5x"));
    EXPECT_EQ(read(u"", u"\\f12\\'d6\\'d0\\f13\\'c7\\'d1\\f14\\'a4\\'a4"), para(u"\u4e2d\ud55c\u4e2d"));
    EXPECT_EQ(body(u"{\\rtf1\\ansi\\ansicpg932\\pard \\'93\\'fa\\'93\\'93\\par}"), para(u"\u65e5\u6d9b"));
    // A lead byte that nothing follows stands for nothing readable.
    EXPECT_EQ(read(u"", u"\\f6 a\\'93\\b b\\'93"), u"<body><p>a\ufffd<b>b\ufffd</b></p></body>");
    EXPECT_EQ(read(u"", u"\\f6 \\'93{}\\'93\\'20\\'93\\~"), para(u"\ufffd\ufffd\ufffd\u00a0"));
}

TEST_F(RtfReaderTest, TextBeforeTheDocumentGroupIsNotPageText) {
    ReadResult r = readRtf(u"junk here{\\rtf1\\pard a\\par}");
    EXPECT_EQ(r.markup, u"<body><p>a</p></body>");
    EXPECT_EQ(r.diagnostics, "Error, text outside the document group\n");
    // Line ends before the group say nothing.
    r = readRtf(u"\r\n{\\rtf1\\pard a\\par}");
    EXPECT_EQ(r.markup, u"<body><p>a</p></body>");
    EXPECT_EQ(r.diagnostics, "");
}

}  // namespace
}  // namespace tavix
