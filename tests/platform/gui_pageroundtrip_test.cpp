// What the user sees survives a save and a reload: editor content exported
// as RTF, read back into a page body, written out as RTF again from the
// style sheet and imported into a fresh document.
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <gtest/gtest.h>

#include "formats/PageDocument.h"
#include "formats/RtfReader.h"
#include "formats/RtfWriter.h"
#include "platform/RtfDocument.h"
#include "store/StyleSheet.h"

namespace tavix {
namespace {

constexpr unsigned B = 1, I = 2, U = 4, S = 8, Sup = 16, Sub = 32;

unsigned effectsOf(const QTextCharFormat& f) {
    unsigned e = 0;
    if (f.fontWeight() >= QFont::DemiBold) e |= B;
    if (f.fontItalic()) e |= I;
    if (f.fontUnderline()) e |= U;
    if (f.fontStrikeOut()) e |= S;
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript) e |= Sup;
    if (f.verticalAlignment() == QTextCharFormat::AlignSubScript) e |= Sub;
    return e;
}

QTextCharFormat formatFor(unsigned e) {
    QTextCharFormat f;
    f.setFontWeight(e & B ? QFont::Bold : QFont::Normal);
    f.setFontItalic(e & I);
    f.setFontUnderline(e & U);
    f.setFontStrikeOut(e & S);
    f.setVerticalAlignment(e & Sup   ? QTextCharFormat::AlignSuperScript
                           : e & Sub ? QTextCharFormat::AlignSubScript
                                     : QTextCharFormat::AlignNormal);
    return f;
}

// One paragraph as the user sees it: style, text, per-character effects,
// and the font and size of its first character.
struct Seen {
    int style = 0;
    QString text;
    std::vector<unsigned> effects;
    QString family;
    double points = 0;
    bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Seen& p) {
    os << "[s" << p.style << " '" << p.text.toStdString() << "' " << p.family.toStdString() << " " << p.points
       << " :";
    for (unsigned e : p.effects) os << " " << e;
    return os << "]";
}

std::vector<Seen> seen(const QTextDocument& doc) {
    std::vector<Seen> out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        Seen p;
        p.style = styleIndexOf(b.blockFormat());
        p.text = b.text();
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (p.effects.empty()) {
                const QStringList families = frag.charFormat().fontFamilies().toStringList();
                p.family = families.isEmpty() ? QString() : families.first();
                p.points = frag.charFormat().fontPointSize();
            }
            p.effects.insert(p.effects.end(), size_t(frag.length()), effectsOf(frag.charFormat()));
        }
        out.push_back(p);
    }
    return out;
}

class PageRoundTrip : public ::testing::Test {
protected:
    // Editor → page body → editor, as saving and reopening a page does.
    std::u16string saveAndReload(const QTextDocument& edited, QTextDocument& reloaded) {
        RtfReader reader(styles);
        reader.setDiagnostics(diagnostics);
        reader.setInput(documentToRtf(edited));
        PageDocument page(nullptr);
        page.setDiagnostics(diagnostics);
        reader.run(page);
        RtfWriter writer(styles);
        writer.setDiagnostics(diagnostics);
        page.parseBody(writer);
        reloaded.clear();
        QTextCursor cursor(&reloaded);
        insertRtf(cursor, writer.rtf());
        return page.body();
    }

    // What the reload must show: non-empty paragraphs (the page keeps no
    // empty ones), in the style's font, with the formats the style itself
    // shows added to every character.
    std::vector<Seen> expected(const QTextDocument& edited) const {
        std::vector<Seen> out;
        for (Seen p : seen(edited)) {
            if (p.text.isEmpty()) continue;
            const ParagraphStyle& style = styles.style(p.style);
            const unsigned own = (style.bold() ? B : 0) | (style.italic() ? I : 0) | (style.underline() ? U : 0);
            for (unsigned& e : p.effects) e |= own;
            p.family = QString::fromStdU16String(style.fontName());
            p.points = style.size();
            out.push_back(p);
        }
        if (out.empty()) out.push_back(Seen{});  // a document always holds one paragraph
        return out;
    }

    static void addParagraph(QTextCursor& c, bool first, int style) {
        QTextBlockFormat bf;
        bf.setProperty(kStyleIndexProperty, style);
        if (first) c.setBlockFormat(bf);
        else c.insertBlock(bf);
    }

    StyleSheet styles;
    std::ostringstream diagnostics;
};

TEST_F(PageRoundTrip, EveryFormatCombinationAtAParagraphsStart) {
    // Each paragraph starts with one combination of the six formats (sup and
    // sub exclusive), followed by plain text and a run in another combination.
    QTextDocument edited;
    QTextCursor c(&edited);
    int n = 0;
    for (unsigned e = 0; e < 64; ++e) {
        if ((e & Sup) && (e & Sub)) continue;
        for (int style : {0, 5}) {  // Normal, and Heading 5, a bold style
            addParagraph(c, n++ == 0, style);
            c.insertText("Start", formatFor(e));
            c.insertText(" middle ", formatFor(0));
            c.insertText("end", formatFor(e ^ (I | S)));
        }
    }
    QTextDocument reloaded;
    const std::u16string body = saveAndReload(edited, reloaded);
    EXPECT_EQ(seen(reloaded), expected(edited)) << QString::fromStdU16String(body).toStdString();
    EXPECT_TRUE(diagnostics.str().empty()) << diagnostics.str();
}

TEST_F(PageRoundTrip, FormatsEndingInsideOthers) {
    QTextDocument edited;
    QTextCursor c(&edited);
    addParagraph(c, true, 0);
    c.insertText("a", formatFor(0));
    c.insertText("b", formatFor(B));
    c.insertText("c", formatFor(B | I));
    c.insertText("d", formatFor(I));      // bold ends inside italic
    c.insertText("e", formatFor(I | Sup));
    c.insertText("f", formatFor(I | Sub));  // superscript becomes subscript
    c.insertText("g", formatFor(U | S));
    c.insertText("h", formatFor(0));
    addParagraph(c, false, 1);
    c.insertText("Head", formatFor(B | U));
    c.insertText("ing", formatFor(U));
    QTextDocument reloaded;
    const std::u16string body = saveAndReload(edited, reloaded);
    EXPECT_EQ(seen(reloaded), expected(edited));
    EXPECT_EQ(QString::fromStdU16String(body),
              QString("<body><p>a<b>b<i>c</i></b><i>d<sup>e</sup><sub>f</sub></i><u><strike>g</strike></u>h</p>"
                      "<h1><b><u>Head</u></b><u>ing</u></h1></body>"));
}

TEST_F(PageRoundTrip, TextSurvivesWhateverItHolds) {
    QTextDocument edited;
    QTextCursor c(&edited);
    addParagraph(c, true, 0);
    c.insertText(QString::fromUtf16(u"a & b < c > \"d\" 'e' \\ {f} \u00e9\u20ac\u4e2d \U0001F600"), formatFor(0));
    addParagraph(c, false, 2);
    c.insertText(QString::fromUtf16(u"\U0001F600"), formatFor(S));  // an astral first character, struck
    c.insertText("x", formatFor(0));
    addParagraph(c, false, 0);  // empty: the page keeps no empty paragraph
    addParagraph(c, false, 0);
    c.insertText("  spaced  ", formatFor(B));
    QTextDocument reloaded;
    saveAndReload(edited, reloaded);
    EXPECT_EQ(seen(reloaded), expected(edited));
}

TEST_F(PageRoundTrip, RandomPages) {
    static const QString texts[] = {"w", "two words", " ", "x\\y", "{z}", QString::fromUtf16(u"\u00e9"),
                                    QString::fromUtf16(u"\U0001F600")};
    std::mt19937 rng(7);
    for (int round = 0; round < 1000; ++round) {
        QTextDocument edited;
        QTextCursor c(&edited);
        const int paragraphs = 1 + int(rng() % 6);
        for (int p = 0; p < paragraphs; ++p) {
            const int style = int(rng() % 7);
            addParagraph(c, p == 0, style);
            // A page has no way to say "not bold" inside a bold style (the
            // body holds only elements that add a format), so text in such a
            // style is bold on screen too.
            const ParagraphStyle& own = styles.style(style);
            const unsigned shown = (own.bold() ? B : 0) | (own.italic() ? I : 0) | (own.underline() ? U : 0);
            const int runs = int(rng() % 7);
            for (int r = 0; r < runs; ++r) {
                unsigned e = (rng() % 64) | shown;
                if ((e & Sup) && (e & Sub)) e &= ~Sub;
                c.insertText(texts[rng() % 7], formatFor(e));
            }
        }
        QTextDocument reloaded;
        const std::u16string body = saveAndReload(edited, reloaded);
        ASSERT_EQ(seen(reloaded), expected(edited))
            << "round " << round << "\n"
            << QString::fromStdU16String(body).toStdString();
    }
    EXPECT_TRUE(diagnostics.str().empty()) << diagnostics.str();
}

}  // namespace
}  // namespace tavix
