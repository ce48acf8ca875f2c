// RTF import into and export out of QTextDocument.
#include <random>
#include <string>
#include <vector>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <gtest/gtest.h>

#include "platform/RtfDocument.h"

namespace tavix {
namespace {

const std::u16string kStyleSheetText =
    u"{\\stylesheet{ Normal;}{\\s1 heading 1;}{\\s2 heading 2;}{\\s3 heading 3;}{\\s4 heading 4;}"
    u"{\\s5 heading 5;}{\\s6 heading 6;}}";

// The header the page writer produces, fonts numbered from base.
std::u16string writerHeader(int base) {
    std::u16string h = u"{\\rtf1\\ansi\\ansicpg1252{\\fonttbl";
    for (int i = 0; i < 7; ++i) {
        const std::u16string n = QString::number(i + base).toStdU16String();
        h += u"{\\f" + n + u"\\fcharset1 " + (i == 0 ? u"Times New Roman" : u"Arial") + u";}";
    }
    return h + u";}" + kStyleSheetText;
}

const std::u16string kFrontPage =
    writerHeader(0) +
    u"\\pard\\s1\\ql\\b\\sb240\\sa60\\f1\\fs44\\li0\\ri0 Front Page\\b0\\par "
    u"\\pard\\s0\\ql\\sb0\\sa0\\f0\\fs24\\li0\\ri0 Go \\b now\\b0 \\par }";

QString familyOf(const QTextCharFormat& f) {
    const QStringList families = f.fontFamilies().toStringList();
    return families.isEmpty() ? QString() : families.first();
}

// Everything a page keeps of a character, as one comparable string.
std::string charKey(const QTextCharFormat& f) {
    std::string k;
    k += f.fontWeight() >= QFont::DemiBold ? 'B' : '-';
    k += f.fontItalic() ? 'I' : '-';
    k += f.fontUnderline() ? 'U' : '-';
    k += f.fontStrikeOut() ? 'S' : '-';
    k += f.verticalAlignment() == QTextCharFormat::AlignSuperScript ? '^'
         : f.verticalAlignment() == QTextCharFormat::AlignSubScript ? '_'
                                                                     : '-';
    return k + "/" + familyOf(f).toStdString() + "/" + std::to_string(f.fontPointSize());
}

// Text, paragraph formatting and per-character formats of a document.
std::vector<std::string> describe(const QTextDocument& doc) {
    std::vector<std::string> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const QTextBlockFormat bf = b.blockFormat();
        std::string line = "s" + std::to_string(styleIndexOf(bf)) + " a" + std::to_string(int(bf.alignment()));
        for (int p : {kSpaceBeforeTwipsProperty, kSpaceAfterTwipsProperty, kLeftIndentTwipsProperty,
                      kRightIndentTwipsProperty})
            line += " " + std::to_string(bf.intProperty(p));
        line += " |" + b.text().toStdString() + "|";
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            for (int i = 0; i < frag.length(); ++i) line += " " + charKey(frag.charFormat());
        }
        out.push_back(line);
    }
    return out;
}

// The text as the document holds it (toPlainText would turn no-break
// spaces into blanks).
QString plain(const QTextDocument& doc) {
    QString s;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        if (b != doc.begin()) s += QLatin1Char('\n');
        s += b.text();
    }
    return s;
}

void load(QTextDocument& doc, const std::u16string& rtf) {
    doc.clear();
    QTextCursor cursor(&doc);
    insertRtf(cursor, rtf);
}

QTextCharFormat formatAt(const QTextDocument& doc, int position) {
    QTextCursor c(const_cast<QTextDocument*>(&doc));
    c.setPosition(position + 1);  // the format of the character before the cursor
    return c.charFormat();
}

TEST(RtfImport, ReadsWhatThePageWriterProduces) {
    QTextDocument doc;
    load(doc, kFrontPage);
    ASSERT_EQ(doc.blockCount(), 2);
    EXPECT_EQ(plain(doc), QString("Front Page\nGo now"));

    const QTextBlock heading = doc.begin();
    EXPECT_EQ(styleIndexOf(heading.blockFormat()), 1);
    EXPECT_EQ(heading.blockFormat().intProperty(kSpaceBeforeTwipsProperty), 240);
    EXPECT_EQ(heading.blockFormat().intProperty(kSpaceAfterTwipsProperty), 60);
    EXPECT_DOUBLE_EQ(heading.blockFormat().topMargin(), twipsToPixels(240));
    EXPECT_DOUBLE_EQ(heading.blockFormat().bottomMargin(), twipsToPixels(60));
    EXPECT_EQ(heading.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    const QTextCharFormat title = formatAt(doc, 0);
    EXPECT_EQ(familyOf(title), "Arial");
    EXPECT_DOUBLE_EQ(title.fontPointSize(), 22);
    EXPECT_EQ(title.fontWeight(), QFont::Bold);

    const QTextBlock body = heading.next();
    EXPECT_EQ(styleIndexOf(body.blockFormat()), 0);
    const QTextCharFormat go = formatAt(doc, body.position());
    EXPECT_EQ(familyOf(go), "Times New Roman");
    EXPECT_DOUBLE_EQ(go.fontPointSize(), 12);
    EXPECT_EQ(go.fontWeight(), QFont::Normal);
    EXPECT_EQ(formatAt(doc, body.position() + 3).fontWeight(), QFont::Bold);  // "now"
}

TEST(RtfImport, EmptyHeadingTypesInItsOwnFormat) {
    // A bold style closes "\b" before "\par"; typing into the empty
    // paragraph must still come out bold and in the heading's font.
    QTextDocument doc;
    load(doc, writerHeader(0) + u"\\pard\\s1\\ql\\b\\sb240\\sa60\\f1\\fs44\\li0\\ri0 \\b0\\par }");
    ASSERT_EQ(doc.blockCount(), 1);
    const QTextCharFormat mark = doc.begin().charFormat();
    EXPECT_EQ(mark.fontWeight(), QFont::Bold);
    EXPECT_EQ(familyOf(mark), "Arial");
    EXPECT_DOUBLE_EQ(mark.fontPointSize(), 22);
}

TEST(RtfImport, ParagraphAndCharacterFormats) {
    QTextDocument doc;
    load(doc, writerHeader(0) +
                  u"\\pard\\s3\\qc\\sb7\\sa13\\f1\\fs36\\li720\\ri-15 a\\i b\\ul c\\strike d\\super e"
                  u"\\nosupersub f\\sub g\\nosupersub\\strike0\\ulnone\\i0 h\\par "
                  u"\\pard\\s9\\qr x\\par }");
    ASSERT_EQ(doc.blockCount(), 2);
    const QTextBlockFormat bf = doc.begin().blockFormat();
    EXPECT_EQ(styleIndexOf(bf), 3);
    EXPECT_EQ(bf.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(bf.intProperty(kSpaceBeforeTwipsProperty), 7);
    EXPECT_EQ(bf.intProperty(kSpaceAfterTwipsProperty), 13);
    EXPECT_EQ(bf.intProperty(kLeftIndentTwipsProperty), 720);
    EXPECT_EQ(bf.intProperty(kRightIndentTwipsProperty), -15);
    EXPECT_DOUBLE_EQ(bf.leftMargin(), twipsToPixels(720));
    EXPECT_EQ(charKey(formatAt(doc, 0)), "-----/Arial/18.000000");
    EXPECT_EQ(charKey(formatAt(doc, 1)), "-I---/Arial/18.000000");
    EXPECT_EQ(charKey(formatAt(doc, 2)), "-IU--/Arial/18.000000");
    EXPECT_EQ(charKey(formatAt(doc, 3)), "-IUS-/Arial/18.000000");
    EXPECT_EQ(charKey(formatAt(doc, 4)), "-IUS^/Arial/18.000000");
    EXPECT_EQ(charKey(formatAt(doc, 5)), "-IUS-/Arial/18.000000");
    EXPECT_EQ(charKey(formatAt(doc, 6)), "-IUS_/Arial/18.000000");
    EXPECT_EQ(charKey(formatAt(doc, 7)), "-----/Arial/18.000000");
    // "\pard" resets the paragraph; an unknown style number is Normal.
    const QTextBlockFormat second = doc.begin().next().blockFormat();
    EXPECT_EQ(styleIndexOf(second), 0);
    EXPECT_EQ(second.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(second.intProperty(kLeftIndentTwipsProperty), 0);
}

TEST(RtfImport, SymbolsCodePageAndUnicode) {
    QTextDocument doc;
    load(doc, u"{\\rtf1\\ansi\\pard C:\\\\temp \\{x\\} \\'e9\\'80\\'9c "
              u"\\u8364?{\\uc2\\u8364XY}{\\uc0\\u252 }\\u-10179?\\u-8704? "
              u"d\u00e9j\u00e0 \U0001F600 \\~\\emdash\\par}");
    const QString expected = QString::fromUtf16(u"C:\\temp {x} \u00e9\u20ac\u0153 \u20ac\u20ac\u00fc\U0001F600 "
                                                u"d\u00e9j\u00e0 \U0001F600 \u00a0\u2014");
    EXPECT_EQ(plain(doc), expected);
}

TEST(RtfImport, DestinationsAndFontNamesNeverBecomeText) {
    QTextDocument doc;
    load(doc, writerHeader(0) +
                  u"{\\colortbl;\\red0\\green0\\blue0;}{\\info{\\title Secret}{\\author Me}}"
                  u"{\\*\\generator Writer 1.0;}\\viewkind4\\pard\\s0 A{\\*\\bkmkstart x}"
                  u"{\\pict\\wmetafile8 0102abcdef}{\\*\\unknown ignored}B\\bin3 XYZC\\tab D\\par }");
    EXPECT_EQ(plain(doc), QString("ABC\tD"));
}

TEST(RtfImport, MalformedInputNeverCrashes) {
    const std::vector<std::u16string> cases = {
        u"",
        u"}}}}{",
        u"\\",
        u"{\\rtf1 \\'",
        u"{\\rtf1 \\'4",
        u"{\\rtf1 \\'zz text}",
        u"{\\rtf1 \\u",
        u"{\\rtf1 \\u-",
        u"{\\rtf1 \\fs99999999999999999999 big\\sb-99999999999999 x\\par}",
        u"{\\rtf1 \\bin999999999 data",
        u"{\\rtf1 \\uc99999999\\u65 abc}",
        u"{\\rtf1{\\fonttbl{\\f0 Unclosed",
        u"{\\rtf1 \\s-1 neg\\s7 big\\par}",
        u"{\\rtf1 \\u70000? \\u-70000?}",
        u"{\\rtf1 \\abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz1 x}",
        u"{\\rtf1 a\u2029b\x01\x1f\uFDD0c\\par}",
        std::u16string(100000, u'{') + u"deep" + std::u16string(100000, u'}'),
        std::u16string(100000, u'}') + u"x",
    };
    for (const auto& rtf : cases) {
        QTextDocument doc;
        load(doc, rtf);
        EXPECT_GE(doc.characterCount(), 1);
    }
    QTextDocument doc;
    load(doc, u"{\\rtf1 a\u2029b\x01\x1f\uFDD0c\\par}");
    EXPECT_EQ(plain(doc), QString("a\nbc"));

    std::mt19937 rng(12345);
    const std::u16string alphabet = u"\\{}'abcdefuspr019-; \u00e9\U0001F600";
    for (int round = 0; round < 500; ++round) {
        std::u16string rtf;
        const int length = int(rng() % 200);
        for (int i = 0; i < length; ++i) rtf += alphabet[rng() % alphabet.size()];
        QTextDocument d;
        load(d, rtf);
        // Whatever came in, exporting and reading back works too.
        // (line separators become blanks, embedded objects go).
        QTextDocument again;
        load(again, documentToRtf(d));
        QString expected = plain(d);
        expected.replace(QChar(0x2028), QLatin1Char(' '));
        expected.remove(QChar(0xFFFC));
        EXPECT_EQ(plain(again), expected);
    }
}

TEST(RtfExport, ExactOutputForASmallPage) {
    QTextDocument doc;
    load(doc, kFrontPage);
    const std::u16string expected =
        u"{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fcharset1 Arial;}{\\f1\\fcharset1 Times New Roman;};}" +
        kStyleSheetText +
        u"\\pard\\s1\\ql\\sb240\\sa60\\f0\\fs44\\li0\\ri0\\b Front Page\\b0\\par "
        u"\\pard\\s0\\ql\\sb0\\sa0\\f1\\fs24\\li0\\ri0 Go \\b now\\b0\\par }";
    EXPECT_EQ(QString::fromStdU16String(documentToRtf(doc)), QString::fromStdU16String(expected));
}

TEST(RtfExport, TextIsEscapedAndWrittenAsItself) {
    QTextDocument doc;
    load(doc, u"{\\rtf1{\\fonttbl{\\f0 Sans;}}\\pard\\f0\\fs20 x\\par}");
    QTextCursor c(&doc);
    c.movePosition(QTextCursor::End);
    c.insertText(QString::fromUtf16(u" C:\\temp {y} \u00e9\U0001F600\tz\u2028w"));
    const std::u16string rtf = documentToRtf(doc);
    EXPECT_NE(rtf.find(u" x C:\\\\temp \\{y\\} \u00e9\U0001F600\\tab z w\\par }"), std::u16string::npos)
        << QString::fromStdU16String(rtf).toStdString();
}

TEST(RtfExport, FormatsCloseAndReopenSoNothingIsLost) {
    // Bold ends while italic still holds: the reader closes inner elements
    // with outer ones, so italic must be given again.
    QTextDocument doc;
    load(doc, u"{\\rtf1{\\fonttbl{\\f0 Sans;}}\\pard\\f0\\fs24 a\\b b\\i c\\b0 d\\i0 e\\par}");
    const std::u16string rtf = documentToRtf(doc);
    EXPECT_NE(rtf.find(u" a\\b b\\i c\\i0\\b0\\i d\\i0 e\\par }"), std::u16string::npos)
        << QString::fromStdU16String(rtf).toStdString();
    // Formats given before the first character are all closed, each by its
    // own word, when one of them ends.
    load(doc, u"{\\rtf1{\\fonttbl{\\f0 Sans;}}\\pard\\f0\\fs24\\b\\strike ab\\b0 c\\par}");
    const std::u16string second = documentToRtf(doc);
    EXPECT_NE(second.find(u"\\li0\\ri0\\b\\strike a\\strike b\\strike0\\b0\\strike c\\strike0\\par }"),
              std::u16string::npos)
        << QString::fromStdU16String(second).toStdString();
}

TEST(RtfExport, KeepsTwipsExactlyAndFollowsChangedMargins) {
    QTextDocument doc;
    load(doc, u"{\\rtf1{\\fonttbl{\\f0 Sans;}}\\pard\\sb7\\sa1\\li3\\ri11\\f0 x\\par}");
    EXPECT_NE(documentToRtf(doc).find(u"\\sb7\\sa1\\f0\\fs24\\li3\\ri11"), std::u16string::npos);
    // A margin set by other means no longer matches the kept twips.
    QTextCursor c(&doc);
    QTextBlockFormat bf = c.blockFormat();
    bf.setTopMargin(twipsToPixels(240));
    c.setBlockFormat(bf);
    EXPECT_NE(documentToRtf(doc).find(u"\\sb240\\sa1"), std::u16string::npos);
}

// A document made with the cursor API, from random formats.
void buildRandom(QTextDocument& doc, std::mt19937& rng) {
    static const QString fonts[] = {"Arial", "Times New Roman", "DejaVu Sans"};
    static const QString texts[] = {"plain", " with space ", "\\back{brace}", QString::fromUtf16(u"\u00e9t\u00e9"),
                                    QString::fromUtf16(u"\U0001F600"), "x"};
    doc.clear();
    QTextCursor c(&doc);
    const int paragraphs = 1 + int(rng() % 5);
    for (int p = 0; p < paragraphs; ++p) {
        QTextBlockFormat bf;
        bf.setProperty(kStyleIndexProperty, int(rng() % 7));
        bf.setAlignment(rng() % 2 ? Qt::AlignLeft : rng() % 2 ? Qt::AlignHCenter : Qt::AlignRight);
        const int twips[4] = {int(rng() % 500), int(rng() % 500), int(rng() % 1500), int(rng() % 1500)};
        bf.setTopMargin(twipsToPixels(twips[0]));
        bf.setBottomMargin(twipsToPixels(twips[1]));
        bf.setLeftMargin(twipsToPixels(twips[2]));
        bf.setRightMargin(twipsToPixels(twips[3]));
        bf.setProperty(kSpaceBeforeTwipsProperty, twips[0]);
        bf.setProperty(kSpaceAfterTwipsProperty, twips[1]);
        bf.setProperty(kLeftIndentTwipsProperty, twips[2]);
        bf.setProperty(kRightIndentTwipsProperty, twips[3]);
        QTextCharFormat mark;
        mark.setFontFamilies({fonts[rng() % 3]});
        mark.setFontPointSize(8 + rng() % 20);
        mark.setFontWeight(QFont::Normal);
        if (p == 0) {
            c.setBlockFormat(bf);
            c.setBlockCharFormat(mark);
        } else {
            c.insertBlock(bf, mark);
        }
        const int runs = int(rng() % 6);
        for (int r = 0; r < runs; ++r) {
            QTextCharFormat f;
            f.setFontFamilies({fonts[rng() % 3]});
            f.setFontPointSize(rng() % 4 ? 12 : 8 + rng() % 20);
            f.setFontWeight(rng() % 2 ? QFont::Bold : QFont::Normal);
            f.setFontItalic(rng() % 2);
            f.setFontUnderline(rng() % 2);
            f.setFontStrikeOut(rng() % 3 == 0);
            const unsigned v = rng() % 4;
            f.setVerticalAlignment(v == 1   ? QTextCharFormat::AlignSuperScript
                                   : v == 2 ? QTextCharFormat::AlignSubScript
                                            : QTextCharFormat::AlignNormal);
            c.insertText(texts[rng() % 6], f);
        }
    }
}

TEST(RtfExport, ExportThenImportIsIdentity) {
    std::mt19937 rng(2024);
    for (int round = 0; round < 300; ++round) {
        QTextDocument original;
        buildRandom(original, rng);
        QTextDocument copy;
        load(copy, documentToRtf(original));
        ASSERT_EQ(describe(copy), describe(original))
            << "round " << round << "\n" << QString::fromStdU16String(documentToRtf(original)).toStdString();
    }
}

TEST(RtfExport, RangeCutsParagraphsAtItsEdges) {
    QTextDocument doc;
    load(doc, writerHeader(0) + u"\\pard\\s0\\f0 one two\\par \\pard\\s2\\f2 three\\par }");
    // Inside one paragraph: no paragraph end.
    QTextDocument part;
    load(part, rangeToRtf(doc, 4, 7));
    EXPECT_EQ(plain(part), QString("two"));
    EXPECT_EQ(rangeToRtf(doc, 4, 7).find(u"\\par "), std::u16string::npos);
    // Across the paragraph end: both paragraphs, the first one ended.
    const std::u16string across = rangeToRtf(doc, 4, 10);
    load(part, across);
    EXPECT_EQ(plain(part), QString("two\nth"));
    EXPECT_EQ(styleIndexOf(part.lastBlock().blockFormat()), 2);
    // Reversed bounds are put in order; out-of-range bounds are clamped.
    EXPECT_EQ(rangeToRtf(doc, 7, 4), rangeToRtf(doc, 4, 7));
    load(part, rangeToRtf(doc, -5, 1000));
    EXPECT_EQ(plain(part), QString("one two\nthree"));
}

class RtfInsert : public ::testing::Test {
protected:
    void SetUp() override {
        load(doc, writerHeader(0) +
                      u"\\pard\\s0\\qr\\f0\\fs24 first\\par \\pard\\s0\\f0\\fs24 middle \\b bold\\b0\\par "
                      u"\\pard\\s4\\qc\\f4\\fs32 last\\par }");
    }
    // What restyling a paragraph sends: one paragraph from a font base of 100.
    static std::u16string fragment(const std::u16string& text) {
        return writerHeader(100) + u"\\pard\\s2\\ql\\sb240\\sa60\\f102\\fs40\\li0\\ri0 " + text + u"\\par }";
    }
    QTextDocument doc;
};

TEST_F(RtfInsert, ReplacesAMiddleParagraphWithItsSeparator) {
    QTextCursor c(&doc);
    const QTextBlock middle = doc.begin().next();
    c.setPosition(middle.position());
    c.setPosition(middle.next().position(), QTextCursor::KeepAnchor);
    insertRtf(c, fragment(u"middle bold"));
    ASSERT_EQ(doc.blockCount(), 3);
    EXPECT_EQ(plain(doc), QString("first\nmiddle bold\nlast"));
    const QTextBlock restyled = doc.begin().next();
    EXPECT_EQ(styleIndexOf(restyled.blockFormat()), 2);
    EXPECT_EQ(restyled.blockFormat().intProperty(kSpaceBeforeTwipsProperty), 240);
    EXPECT_EQ(charKey(formatAt(doc, restyled.position() + 8)), "-----/Arial/20.000000");
    // The neighbours keep their own formatting.
    EXPECT_EQ(doc.begin().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_EQ(styleIndexOf(doc.lastBlock().blockFormat()), 4);
    EXPECT_EQ(doc.lastBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
}

TEST_F(RtfInsert, ReplacingTheLastParagraphAddsNoEmptyOne) {
    QTextCursor c(&doc);
    c.setPosition(doc.lastBlock().position());
    c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    insertRtf(c, fragment(u"last"));
    ASSERT_EQ(doc.blockCount(), 3);
    EXPECT_EQ(plain(doc), QString("first\nmiddle bold\nlast"));
    EXPECT_EQ(styleIndexOf(doc.lastBlock().blockFormat()), 2);
}

TEST_F(RtfInsert, TextWithoutParagraphEndJoinsTheParagraph) {
    QTextCursor c(&doc);
    c.setPosition(2);
    insertRtf(c, u"{\\rtf1{\\fonttbl{\\f0 Sans;}}\\pard\\s5\\f0 XY}");
    EXPECT_EQ(plain(doc), QString("fiXYrst\nmiddle bold\nlast"));
    EXPECT_EQ(styleIndexOf(doc.begin().blockFormat()), 0);  // the paragraph keeps its style
}

TEST_F(RtfInsert, ParagraphsSplitTheTextAtTheCursor) {
    QTextCursor c(&doc);
    c.setPosition(2);
    insertRtf(c, u"{\\rtf1{\\fonttbl{\\f0 Sans;}}\\pard\\s1\\f0 A\\par \\pard\\s3\\f0 B\\par C}");
    EXPECT_EQ(plain(doc), QString("fiA\nB\nCrst\nmiddle bold\nlast"));
    EXPECT_EQ(styleIndexOf(doc.begin().blockFormat()), 1);
    EXPECT_EQ(styleIndexOf(doc.begin().next().blockFormat()), 3);
    // The text after the cursor keeps its paragraph's formatting.
    const QTextBlockFormat rest = doc.begin().next().next().blockFormat();
    EXPECT_EQ(styleIndexOf(rest), 0);
    EXPECT_EQ(rest.alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
}

TEST_F(RtfInsert, NothingToInsertLeavesTheParagraphAlone) {
    QTextCursor c(&doc);
    c.setPosition(doc.lastBlock().position());
    c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    c.removeSelectedText();
    for (const std::u16string rtf : {u"", u"{\\rtf1}", u"}}{\\*\\x"}) {
        insertRtf(c, rtf);
        ASSERT_EQ(doc.blockCount(), 3);
        EXPECT_EQ(styleIndexOf(doc.lastBlock().blockFormat()), 4);
    }
}

TEST_F(RtfInsert, IsOneUndoStep) {
    QTextCursor c(&doc);
    c.setPosition(doc.begin().next().position());
    c.setPosition(doc.lastBlock().position(), QTextCursor::KeepAnchor);
    const QString before = plain(doc);
    c.beginEditBlock();
    insertRtf(c, fragment(u"new"));
    c.endEditBlock();
    EXPECT_NE(plain(doc), before);
    doc.undo();
    EXPECT_EQ(plain(doc), before);
}

}  // namespace
}  // namespace tavix
