// Documents written by other programs (tests/data/rtf, see its README):
// each must arrive as its author wrote it, with its text in whatever code
// page it was written, its bold and italic, and its paragraph breaks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "formats/PageDocument.h"
#include "formats/RtfReader.h"
#include "formats/XmlSupport.h"
#include "store/StyleSheet.h"

namespace tavix {
namespace {

std::filesystem::path sampleFolder() {
    return std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / "rtf";
}

// The samples are ASCII, as RTF writers write it: every byte is one
// character of the reader's input.
std::u16string readSample(const std::string& name) {
    std::ifstream in(sampleFolder() / name, std::ios::binary);
    EXPECT_TRUE(in) << "missing sample " << name;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::u16string text;
    for (unsigned char c : bytes.str()) {
        EXPECT_LT(c, 0x80) << name << " is not ASCII";
        text += static_cast<char16_t>(c);
    }
    return text;
}

struct Imported {
    std::u16string body;
    std::string diagnostics;
};

// As the import does it: the reader drives a page document.
Imported import(const std::string& name) {
    StyleSheet styles;
    RtfReader reader(styles);
    std::ostringstream diagnostics;
    reader.setDiagnostics(diagnostics);
    reader.setInput(readSample(name));
    PageDocument page(nullptr);
    page.setDiagnostics(diagnostics);
    reader.run(page);
    return {page.body(), diagnostics.str()};
}

class RtfSamplesTest : public ::testing::Test {
protected:
    XmlLibrary xml_;
};

// sample.md, as pandoc and LibreOffice wrote it: every character as "\uN"
// with a fallback ("?" from pandoc, "\'hh" from LibreOffice), formats in
// groups of their own, each paragraph starting from "\plain".
TEST_F(RtfSamplesTest, WrittenFromTheSameTextByPandocAndLibreOffice) {
    const std::u16string paragraphs[] = {
        u"<p>\u041f\u0440\u0438\u0432\u0435\u0442, <b>\u043c\u0438\u0440</b>! \u0421\u044a\u0435\u0448\u044c "
        u"\u0436\u0435 \u0435\u0449\u0451 \u044d\u0442\u0438\u0445 <i>\u043c\u044f\u0433\u043a\u0438\u0445</i> "
        u"\u0444\u0440\u0430\u043d\u0446\u0443\u0437\u0441\u043a\u0438\u0445 \u0431\u0443\u043b\u043e\u043a.</p>",
        u"<p>\u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1 <b>\u03ba\u03cc\u03c3\u03bc\u03b5</b>, "
        u"<i>\u03be\u03b5\u03c3\u03ba\u03b5\u03c0\u03ac\u03b6\u03c9</i> \u03c4\u03b7\u03bd "
        u"\u03c8\u03c5\u03c7\u03bf\u03c6\u03b8\u03cc\u03c1\u03b1 \u03b2\u03b4\u03b5\u03bb\u03c5\u03b3\u03bc"
        u"\u03af\u03b1.</p>",
        u"<p>P\u0159\u00edli\u0161 <b>\u017elu\u0165ou\u010dk\u00fd</b> k\u016f\u0148 \u00fap\u011bl "
        u"<i>\u010f\u00e1belsk\u00e9</i> \u00f3dy.</p>",
    };
    const std::u16string common = paragraphs[0] + paragraphs[1] + paragraphs[2];
    const std::u16string polish = u"Za\u017c\u00f3\u0142\u0107 ";
    const std::u16string tail = u" ja\u017a\u0144.</p><p>Plain text after.</p></body>";
    const std::u16string bold = u"g\u0119\u015bl\u0105";

    // pandoc nests italic inside bold, LibreOffice gives both in one group
    // in the order italic, bold.
    Imported pandoc = import("pandoc.rtf");
    EXPECT_EQ(pandoc.body, u"<body>" + common + u"<p>" + polish + u"<b><i>" + bold + u"</i></b>" + tail);
    EXPECT_EQ(pandoc.diagnostics, "");

    Imported office = import("libreoffice.rtf");
    EXPECT_EQ(office.body, u"<body>" + common + u"<p>" + polish + u"<i><b>" + bold + u"</b></i>" + tail);
    EXPECT_EQ(office.diagnostics, "");
}

// Hand-made in the manner of older word processors: "\ansicpg" of the text,
// "\'hh" bytes, and a bold paragraph that only the next "\plain" ends.
TEST_F(RtfSamplesTest, LegacyCodePages) {
    struct Sample {
        const char* file;
        std::u16string first, bold, middle, italic, last;
    };
    const Sample samples[] = {
        {"handmade-cp1251.rtf", u"\u041f\u0440\u0438\u0432\u0435\u0442, ", u"\u043c\u0438\u0440",
         u"! \u0421\u044a\u0435\u0448\u044c \u0436\u0435 ", u"\u043c\u044f\u0433\u043a\u0438\u0445",
         u" \u0431\u0443\u043b\u043e\u043a."},
        {"handmade-cp1253.rtf", u"\u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1 ",
         u"\u03ba\u03cc\u03c3\u03bc\u03b5", u", ", u"\u03be\u03b5\u03c3\u03ba\u03b5\u03c0\u03ac\u03b6\u03c9",
         u" \u03c4\u03b7\u03bd \u03c8\u03c5\u03c7\u03ae."},
        {"handmade-cp1250.rtf", u"P\u0159\u00edli\u0161 ", u"\u017elu\u0165ou\u010dk\u00fd",
         u" k\u016f\u0148, ", u"Za\u017c\u00f3\u0142\u0107", u" g\u0119\u015bl\u0105 ja\u017a\u0144."},
    };
    for (const Sample& s : samples) {
        Imported page = import(s.file);
        EXPECT_EQ(page.body, u"<body><p>" + s.first + u"<b>" + s.bold + u"</b>" + s.middle + u"<i>" +
                                 s.italic + u"</i>" + s.last + u"</p><p><b>" + s.bold + u"</b></p><p>" +
                                 s.last.substr(1) + u"</p></body>")
            << s.file;
        EXPECT_EQ(page.diagnostics, "") << s.file;
    }
}

// Fonts of Cyrillic, Greek and Central European charsets in a Western
// document, and a symbol font: hand-made, and the same document after
// LibreOffice read and wrote it (it writes "\uN" with "\'3f" where the
// Western code page has no byte, and the symbol font's bullet as the
// private-use character that font draws it with).
TEST_F(RtfSamplesTest, FontsOfOtherCharsets) {
    const std::u16string first =
        u"<body><p>Caf\u00e9 \u041f\u0440\u0438\u0432\u0435\u0442 \u00fcber</p><p><b>\u039a\u03b1\u03bb"
        u"\u03b7\u03bc\u03ad\u03c1\u03b1</b> \u00e9 <i>\u0141\u00f3d\u017a</i> \u00e8</p>";
    Imported handmade = import("handmade-fcharset.rtf");
    EXPECT_EQ(handmade.body, first + u"<p>\u00b7 \u00df</p></body>");
    EXPECT_EQ(handmade.diagnostics, "");

    Imported office = import("libreoffice-fonts.rtf");
    EXPECT_EQ(office.body, first + u"<p>\uf0b7 \u00df</p></body>");
    EXPECT_EQ(office.diagnostics, "");
}

}  // namespace
}  // namespace tavix
