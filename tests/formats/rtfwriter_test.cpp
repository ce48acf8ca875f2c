// The RTF writer: exact header, paragraph prefixes from the style sheet,
// character formats, escaping, and a closed document whatever the input.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include <xercesc/internal/VecAttributesImpl.hpp>

#include "formats/RtfWriter.h"
#include "formats/XmlSupport.h"
#include "store/PropertyNode.h"
#include "store/StyleSheet.h"

namespace tavix {
namespace {

const std::u16string kStyleSheetText =
    u"{\\stylesheet{ Normal;}{\\s1 heading 1;}{\\s2 heading 2;}{\\s3 heading 3;}"
    u"{\\s4 heading 4;}{\\s5 heading 5;}{\\s6 heading 6;}}";

std::u16string headerFor(const std::u16string& normalFont, const std::u16string& headingFont, int base = 0) {
    std::u16string h = u"{\\rtf1\\ansi\\ansicpg1252{\\fonttbl";
    for (int i = 0; i < 7; ++i) {
        std::string n = std::to_string(i + base);
        h += u"{\\f" + std::u16string(n.begin(), n.end()) + u"\\fcharset1 " + (i == 0 ? normalFont : headingFont) +
             u";}";
    }
    return h + u";}" + kStyleSheetText;
}

const std::u16string kDefaultHeader = headerFor(u"Times New Roman", u"Arial");
// Normal in the default style sheet.
const std::u16string kNormal = u"\\pard\\s0\\ql\\sb0\\sa60\\f0\\fs24\\li0\\ri0 ";

class RtfWriterTest : public ::testing::Test {
protected:
    std::u16string convert(const std::u16string& xml, int fontBase = 0) {
        RtfWriter writer(styles_);
        writer.setDiagnostics(diag_);
        writer.setFontBase(fontBase);
        result_ = writer.convert(xml);
        return writer.rtf();
    }
    // What follows the default header.
    std::u16string bodyRtf(const std::u16string& xml) {
        std::u16string rtf = convert(xml);
        EXPECT_EQ(rtf.substr(0, kDefaultHeader.size()), kDefaultHeader);
        return rtf.substr(kDefaultHeader.size());
    }

    XmlLibrary xml_;
    StyleSheet styles_;
    std::ostringstream diag_;
    ParseResult result_;
};

TEST_F(RtfWriterTest, ExampleGivesExactRtf) {
    styles_.style(0) = ParagraphStyle();
    styles_.style(0).setName(u"Normal");
    styles_.style(0).setTag(u"p");
    styles_.style(0).setFontName(u"Times New Roman");
    styles_.style(0).setSize(12);
    ParagraphStyle& h1 = styles_.style(1);
    h1.setBold(true);
    h1.setSpaceBefore(240);
    h1.setSpaceAfter(60);
    const std::u16string rtf = convert(u"<body><h1>Front Page</h1><p>Go <b>now</b></p></body>");
    EXPECT_EQ(rtf, kDefaultHeader +
                       u"\\pard\\s1\\ql\\b\\sb240\\sa60\\f1\\fs44\\li0\\ri0 Front Page\\b0\\par "
                       u"\\pard\\s0\\ql\\sb0\\sa0\\f0\\fs24\\li0\\ri0 Go \\b now\\b0 \\par }");
    EXPECT_TRUE(result_.ok);
    EXPECT_EQ(diag_.str(), "");
}

TEST_F(RtfWriterTest, ParagraphsAndFormats) {
    EXPECT_EQ(bodyRtf(u"<body><p></p></body>"), kNormal + u"\\par }");
    EXPECT_EQ(bodyRtf(u"<body><p>a<b>b<i>c</i></b></p></body>"), kNormal + u"a\\b b\\i c\\i0 \\b0 \\par }");
    EXPECT_EQ(bodyRtf(u"<body><p><u>u</u><strike>s</strike><sup>2</sup><sub>3</sub></p></body>"),
              kNormal + u"\\ul u\\ulnone \\strike s\\strike0 \\super 2\\nosupersub \\sub 3\\nosupersub \\par }");
    // Unknown elements vanish, their text stays.
    EXPECT_EQ(bodyRtf(u"<body><p><span>x</span><br/>y</p></body>"), kNormal + u"xy\\par }");
    // Heading 6 is bold by default: bold prefix and "\b0" before the mark.
    EXPECT_EQ(bodyRtf(u"<body><h6>t</h6></body>"),
              u"\\pard\\s6\\ql\\b\\sb0\\sa60\\f6\\fs24\\li0\\ri0 t\\b0\\par }");
}

TEST_F(RtfWriterTest, TextEscapingAndControlCharacters) {
    EXPECT_EQ(bodyRtf(u"<body><p>C:\\temp {x}</p></body>"), kNormal + u"C:\\\\temp \\{x\\}\\par }");
    // A tab in a paragraph is text, written as "\tab"; one between
    // paragraphs is only the layout of the markup.
    EXPECT_EQ(bodyRtf(u"<body><p>a\tb\nc&#13;d&amp;&lt;</p></body>"), kNormal + u"a\\tab bcd&<\\par }");
    EXPECT_EQ(bodyRtf(u"<body>\t<p><b>\t</b>x</p>\t</body>"), kNormal + u"\\b \\tab \\b0 x\\par }");
    // Non-ASCII and astral characters pass as they are.
    EXPECT_EQ(bodyRtf(u"<body><p>\u00e9\u20ac\U0001F600</p></body>"), kNormal + u"\u00e9\u20ac\U0001F600\\par }");
    // Text outside the body, and between its elements, as the rules say.
    EXPECT_EQ(bodyRtf(u"<html><head><title>T</title></head><body> <p>x</p></body></html>"),
              u" " + kNormal + u"x\\par }");
}

TEST_F(RtfWriterTest, StyleFieldsInThePrefix) {
    ParagraphStyle& h3 = styles_.style(3);
    h3.setItalic(true);
    h3.setSize(7);
    h3.setSpaceBefore(-20);
    h3.setSpaceAfter(0);
    h3.setLeftIndent(720);
    h3.setRightIndent(-5);
    h3.setAlignment(2);
    EXPECT_EQ(bodyRtf(u"<body><h3>x</h3></body>"),
              u"\\pard\\s3\\qr\\i\\sb-20\\sa0\\f3\\fs14\\li720\\ri-5 x\\i0\\par }");
    h3.setAlignment(1);
    h3.setBold(true);
    EXPECT_EQ(bodyRtf(u"<body><h3>x</h3></body>"),
              u"\\pard\\s3\\qc\\b\\i\\sb-20\\sa0\\f3\\fs14\\li720\\ri-5 x\\b0\\i0\\par }");
    for (int alignment : {0, 3, -1}) {
        h3.setAlignment(alignment);
        EXPECT_NE(bodyRtf(u"<body><h3>x</h3></body>").find(u"\\s3\\ql\\b"), std::u16string::npos) << alignment;
    }
}

TEST_F(RtfWriterTest, UnderlinedStyleFromTheSettings) {
    // Underline has no setter: it comes from the settings file.
    PropertyNode node(u"Style4", nullptr);
    node.setBool(u"Font.Underline", true);
    styles_.style(4).loadFrom(node);
    ASSERT_TRUE(styles_.style(4).underline());
    EXPECT_EQ(bodyRtf(u"<body><h4>a</h4></body>"),
              u"\\pard\\s4\\ql\\ul\\sb0\\sa60\\f4\\fs32\\li0\\ri0 a\\ulnone\\par }");
}

TEST_F(RtfWriterTest, FontBaseAndFontNames) {
    const std::u16string rtf = convert(u"<body><h2>x</h2></body>", 100);
    EXPECT_EQ(rtf.substr(0, headerFor(u"Times New Roman", u"Arial", 100).size()),
              headerFor(u"Times New Roman", u"Arial", 100));
    EXPECT_NE(rtf.find(u"\\f100\\fcharset1 Times New Roman;}"), std::u16string::npos);
    EXPECT_NE(rtf.find(u"\\f106\\fcharset1 Arial;}"), std::u16string::npos);
    EXPECT_NE(rtf.find(u"\\f102\\fs40"), std::u16string::npos);
    // A font name cannot break the font table open.
    styles_.style(0).setFontName(u"Odd}{\\Name\n");
    EXPECT_NE(convert(u"<body/>").find(u"{\\f0\\fcharset1 Odd\\}\\{\\\\Name;}"), std::u16string::npos);
}

TEST_F(RtfWriterTest, AlwaysAClosedDocument) {
    // No body at all: the header and its closing brace.
    EXPECT_EQ(convert(u"<html><head/></html>"), kDefaultHeader + u"}");
    EXPECT_TRUE(result_.ok);
    EXPECT_EQ(convert(u"<body/>"), kDefaultHeader + u"}");

    // Not well-formed: what came before the error, closed once, one line.
    std::u16string rtf = convert(u"<body><p>abc</b></body>");
    EXPECT_FALSE(result_.ok);
    EXPECT_EQ(rtf, kDefaultHeader + kNormal + u"abc}");
    const std::string report = diag_.str();
    EXPECT_EQ(report.rfind("Fatal Error: ", 0), 0u) << report;
    EXPECT_NE(report.find(" at line: 1\n"), std::string::npos) << report;
    EXPECT_EQ(report.find(" at col: "), std::string::npos);
    EXPECT_EQ(std::count(report.begin(), report.end(), '\n'), 1);

    // Nothing parseable at all.
    EXPECT_EQ(convert(u""), kDefaultHeader + u"}");
    EXPECT_FALSE(result_.ok);

    // Converting again starts from nothing.
    RtfWriter writer(styles_);
    writer.setDiagnostics(diag_);
    writer.convert(u"<body><p>one</p></body>");
    writer.convert(u"<body><p>two</p></body>");
    EXPECT_EQ(writer.rtf(), kDefaultHeader + kNormal + u"two\\par }");
}

TEST_F(RtfWriterTest, FinishClosesEventsThatStoppedEarly) {
    RtfWriter writer(styles_);
    xercesc::VecAttributesImpl none;
    writer.startDocument();
    writer.startElement(asXml(kXhtmlNamespace), asXml(u"body"), asXml(u"body"), none);
    writer.startElement(asXml(kXhtmlNamespace), asXml(u"p"), asXml(u"p"), none);
    writer.characters(asXml(u"x"), 1);
    writer.finish();
    writer.finish();
    EXPECT_EQ(writer.rtf(), kDefaultHeader + kNormal + u"x}");
    writer.endDocument();  // a late end changes nothing
    EXPECT_EQ(writer.rtf(), kDefaultHeader + kNormal + u"x}");

    RtfWriter silent(styles_);
    silent.finish();
    EXPECT_EQ(silent.rtf(), kDefaultHeader + u"}");
}

}  // namespace
}  // namespace tavix
