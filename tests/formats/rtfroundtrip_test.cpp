// Page bodies written as RTF and read back give the same body; RTF of any
// shape, however broken, gives balanced events and a page that can be
// stored and loaded again.
//
// Bodies whose round trip is defined: paragraphs (p, h1..h6) directly in
// the body, each holding text; inline elements (b, i, u, strike, sup, sub)
// each holding some text, never inside an element of the same name. Not
// representable, and so never generated: empty paragraphs and empty inline
// elements at a paragraph's start (nothing marks them), text between
// paragraphs, and an inline element at a paragraph's very start that the
// paragraph's style already shows (b in a bold style, i in an italic one, u
// in an underlined one): the style's own prefix turns that format on.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "formats/PageDocument.h"
#include "formats/RtfEventLog.h"
#include "formats/RtfReader.h"
#include "formats/RtfWriter.h"
#include "formats/XmlSupport.h"
#include "store/PropertyNode.h"
#include "store/StyleSheet.h"

namespace tavix {
namespace {

class Random {
public:
    explicit Random(std::uint32_t seed) : gen_(seed) {}
    int below(int n) { return static_cast<int>(gen_() % static_cast<std::uint32_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }

private:
    std::mt19937 gen_;
};

const char16_t* const kInline[] = {u"b", u"i", u"u", u"strike", u"sup", u"sub"};
const char16_t* const kParagraph[] = {u"p", u"h1", u"h2", u"h3", u"h4", u"h5", u"h6"};

// Text pieces that stress the escaping on both sides.
const char16_t* const kPieces[] = {
    u"a",     u"Bc",     u" ",      u"  ",       u"&",        u"<",      u">",     u"\"",
    u"'",     u"\\",     u"{",      u"}",        u"\\par ",   u"\\'e9",  u"\\u8364?", u"\u00e9",
    u"\u20ac", u"\u4e2d", u"\U0001F600", u"1", u"-2 ",  u";",  u"x y",   u"FrontPage",
    u"\u0081", u"\u00a0", u"\u2019", u"{\\b x}",
};

std::u16string xmlEscaped(const std::u16string& text) {
    std::u16string out;
    for (char16_t c : text) {
        if (c == u'&') out += u"&amp;";
        else if (c == u'<') out += u"&lt;";
        else if (c == u'>') out += u"&gt;";
        else out += c;
    }
    return out;
}

class BodyGenerator {
public:
    BodyGenerator(const StyleSheet& styles, std::uint32_t seed) : styles_(styles), random_(seed) {}

    std::u16string body() {
        std::u16string out = u"<body>";
        const int paragraphs = 1 + random_.below(5);
        for (int p = 0; p < paragraphs; ++p) {
            const int index = random_.below(7);
            const ParagraphStyle& style = styles_.style(index);
            std::vector<int> chain;
            out += std::u16string(u"<") + kParagraph[index] + u">";
            nodes(out, chain, true, style);
            out += std::u16string(u"</") + kParagraph[index] + u">";
        }
        return out + u"</body>";
    }

private:
    void text(std::u16string& out) {
        std::u16string t;
        const int pieces = 1 + random_.below(3);
        for (int i = 0; i < pieces; ++i) t += kPieces[random_.below(std::size(kPieces))];
        out += xmlEscaped(t);
    }

    bool shownByStyle(int kind, const ParagraphStyle& style) const {
        return (kind == 0 && style.bold()) || (kind == 1 && style.italic()) || (kind == 2 && style.underline());
    }

    // One to three nodes; leading says the first of them starts the paragraph.
    void nodes(std::u16string& out, std::vector<int>& chain, bool leading, const ParagraphStyle& style) {
        const int count = 1 + random_.below(3);
        for (int n = 0; n < count; ++n) {
            const bool atStart = leading && n == 0;
            std::vector<int> allowed;
            for (int k = 0; k < 6; ++k) {
                bool inChain = false;
                for (int c : chain) inChain = inChain || c == k;
                if (!inChain && !(atStart && shownByStyle(k, style))) allowed.push_back(k);
            }
            if (chain.size() < 4 && !allowed.empty() && random_.chance(45)) {
                const int kind = allowed[random_.below(static_cast<int>(allowed.size()))];
                out += std::u16string(u"<") + kInline[kind] + u">";
                chain.push_back(kind);
                nodes(out, chain, atStart, style);
                chain.pop_back();
                out += std::u16string(u"</") + kInline[kind] + u">";
            } else {
                text(out);
            }
        }
    }

    const StyleSheet& styles_;
    Random random_;
};

class RtfRoundTrip : public ::testing::Test {
protected:
    // The body as the page document stores it.
    std::u16string stored(const std::u16string& xml) {
        PageDocument page(nullptr);
        page.setDiagnostics(diag_);
        EXPECT_TRUE(page.loadText(xml).ok) << std::string(xml.begin(), xml.end());
        return page.body();
    }
    std::u16string writeAndRead(const std::u16string& body, const StyleSheet& styles) {
        RtfWriter writer(styles);
        writer.setDiagnostics(diag_);
        EXPECT_TRUE(writer.convert(body).ok);
        RtfReader reader(styles);
        reader.setDiagnostics(diag_);
        reader.setInput(writer.rtf());
        PageDocument back(nullptr);
        back.setDiagnostics(diag_);
        reader.run(back);
        return back.body();
    }
    void expectRoundTrip(const std::u16string& xml, const StyleSheet& styles) {
        const std::u16string expected = stored(xml);
        EXPECT_EQ(writeAndRead(expected, styles), expected);
    }

    XmlLibrary xml_;
    std::ostringstream diag_;
};

TEST_F(RtfRoundTrip, HandWrittenBodies) {
    const StyleSheet styles;
    for (const char16_t* body : {
             u"<body><h1>Front Page</h1><p>Go <b>now</b></p></body>",
             u"<body><p>a<b>b<i>c</i></b>d</p></body>",
             u"<body><p><b><i><u><strike>x</strike></u></i></b></p><p>y</p></body>",
             u"<body><p>x<sup>a<sub>b</sub>c</sup><sub>d<sup>e</sup></sub></p></body>",
             u"<body><p><sup><sub>x</sub>y</sup></p></body>",
             u"<body><h5>x<b>y</b>z</h5><h6><i>w</i></h6></body>",
             u"<body><p>C:\\temp {x} \\par \\'e9 &amp; &lt;tag&gt; \"q\" 'a'</p></body>",
             u"<body><p> leading and trailing </p><p>\u00e9\u20ac\u4e2d\U0001F600\u00a0\u0081</p></body>",
             u"<body><p>1<b>2</b>3</p><h2>-4 <i>5</i></h2><h3>\\b0 6</h3></body>",
             u"<body><p>x<b></b>y</p></body>",
         }) {
        SCOPED_TRACE(std::string(body, body + std::char_traits<char16_t>::length(body)));
        expectRoundTrip(body, styles);
    }
    EXPECT_EQ(diag_.str(), "");
}

TEST_F(RtfRoundTrip, ShapesThatDoNotSurvive) {
    const StyleSheet styles;  // Heading 5 is bold
    EXPECT_EQ(writeAndRead(u"<body><p></p><p>x</p></body>", styles), u"<body><p>x</p></body>");
    EXPECT_EQ(writeAndRead(u"<body><h5><b>x</b>y</h5></body>", styles), u"<body><h5>xy</h5></body>");
    EXPECT_EQ(writeAndRead(u"<body><p><b></b>y</p></body>", styles), u"<body><p>y</p></body>");
    EXPECT_EQ(writeAndRead(u"<body><p><b>a<b>b</b>c</b></p></body>", styles), u"<body><p><b>ab</b>c</p></body>");
}

TEST_F(RtfRoundTrip, GeneratedBodiesWithDefaultStyles) {
    const StyleSheet styles;
    BodyGenerator generator(styles, 20240611);
    for (int n = 0; n < 2000; ++n) {
        const std::u16string body = generator.body();
        SCOPED_TRACE(n);
        const std::u16string expected = stored(body);
        const std::u16string back = writeAndRead(expected, styles);
        ASSERT_EQ(back, expected);
    }
    EXPECT_EQ(diag_.str(), "");
}

TEST_F(RtfRoundTrip, GeneratedBodiesWithFormattedStyles) {
    StyleSheet styles;
    PropertyNode map(u"StyleMap", nullptr);
    map.child(u"Style0").setBool(u"Font.Italic", true);
    map.child(u"Style2").setBool(u"Font.Underline", true);
    map.child(u"Style3").setBool(u"Font.Bold", true);
    map.child(u"Style3").setBool(u"Font.Italic", true);
    map.child(u"Style3").setBool(u"Font.Underline", true);
    map.child(u"Style5").setBool(u"Font.Bold", false);
    styles.loadFrom(map);
    ASSERT_TRUE(styles.style(3).underline());
    BodyGenerator generator(styles, 7);
    for (int n = 0; n < 1000; ++n) {
        const std::u16string body = generator.body();
        SCOPED_TRACE(n);
        const std::u16string expected = stored(body);
        ASSERT_EQ(writeAndRead(expected, styles), expected);
    }
}

// --- Malformed input -------------------------------------------------------

class RtfMalformed : public RtfRoundTrip {
protected:
    // Reads rtf with the checking log, then through a page document whose
    // file text must load again to the same body.
    void expectSafe(const std::u16string& rtf) {
        const StyleSheet styles;
        RtfReader reader(styles);
        std::ostringstream diag;
        reader.setDiagnostics(diag);
        reader.setInput(rtf);
        test::RtfEventLog log;
        reader.run(log);
        ASSERT_TRUE(log.balanced()) << log.faultText();

        PageDocument page(nullptr);
        page.setDiagnostics(diag);
        reader.run(page);
        page.setTitle(u"T");
        PageDocument again(nullptr);
        again.setDiagnostics(diag);
        ASSERT_TRUE(again.loadText(page.fileText()).ok) << diag.str();
        ASSERT_EQ(again.body(), page.body());
    }
};

const char16_t* const kTokens[] = {
    u"{", u"}", u"{", u"}", u"\\", u"\\'", u"\\'e", u"\\'9f", u"\\u", u"\\uc", u"\\u-", u"\\b", u"\\b0",
    u"\\i", u"\\ul", u"\\ulnone", u"\\strike", u"\\super", u"\\sub", u"\\nosupersub", u"\\par", u"\\pard",
    u"\\s", u"\\*", u"\\fonttbl", u"\\pict", u"\\bin", u"\\viewkind", u"\\~", u"\\-", u"\\\\", u"-", u"1",
    u"65", u"99999999999999999999", u" ", u"a", u"\r\n", u"\t", u"\\tab", u"\\line",
};

TEST_F(RtfMalformed, RandomTokenSequences) {
    Random random(12345);
    for (int n = 0; n < 3000; ++n) {
        std::u16string rtf;
        const int tokens = random.below(80);
        for (int t = 0; t < tokens; ++t) {
            if (random.chance(8))
                rtf += static_cast<char16_t>(random.below(0x10000));
            else
                rtf += kTokens[random.below(std::size(kTokens))];
        }
        SCOPED_TRACE(n);
        expectSafe(rtf);
    }
}

TEST_F(RtfMalformed, RandomCodeUnits) {
    Random random(99);
    for (int n = 0; n < 500; ++n) {
        std::u16string rtf(random.below(300), u' ');
        for (auto& c : rtf) c = static_cast<char16_t>(random.below(0x10000));
        SCOPED_TRACE(n);
        expectSafe(rtf);
    }
}

TEST_F(RtfMalformed, DamagedWriterOutput) {
    const StyleSheet styles;
    BodyGenerator generator(styles, 4242);
    Random random(4243);
    for (int n = 0; n < 500; ++n) {
        RtfWriter writer(styles);
        writer.convert(generator.body());
        std::u16string rtf = writer.rtf();
        const int damage = 1 + random.below(4);
        for (int d = 0; d < damage && !rtf.empty(); ++d) {
            const std::size_t at = random.below(static_cast<int>(rtf.size()));
            switch (random.below(4)) {
            case 0: rtf.erase(at, 1); break;
            case 1: rtf.insert(at, 1, random.chance(50) ? u'{' : u'}'); break;
            case 2: rtf.resize(at); break;
            default: rtf.insert(at, u"\\"); break;
            }
        }
        SCOPED_TRACE(n);
        expectSafe(rtf);
    }
}

TEST_F(RtfMalformed, EdgeShapes) {
    expectSafe(u"\\");
    expectSafe(u"\\'");
    expectSafe(u"\\pard x\\'");
    expectSafe(u"\\pard x\\'a");
    expectSafe(u"\\pard x\\u");
    expectSafe(u"\\pard x\\u-");
    expectSafe(u"\\pard x\\u55296");
    expectSafe(u"}}}}{{{{");
    expectSafe(u"\\pard x\\b{\\i{\\ul y\\par}\\par}}}}z\\super");
    expectSafe(std::u16string(100000, u'}') + u"x");
    expectSafe(u"\\pard " + std::u16string(100000, u'{') + u"\\b\\i\\ul\\strike\\super x\\par y");
    std::u16string alternating;
    for (int i = 0; i < 20000; ++i) alternating += u"{\\b a\\par}";
    expectSafe(alternating);
}

}  // namespace
}  // namespace tavix
