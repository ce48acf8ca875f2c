// QTextDocument out to RTF. The output is read by two parties: our own
// importer (RtfImport.cpp), and the page-body reader, which only understands
// character format words and closes inner elements together with outer
// ones. The character format words are therefore written to rebuild, under
// the page-body reader's rules, exactly the formats shown on screen.
#include <algorithm>
#include <cmath>
#include <vector>

#include <QGuiApplication>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include "platform/RtfDocument.h"

namespace tavix {

int styleIndexOf(const QTextBlockFormat& format) {
    if (!format.hasProperty(kStyleIndexProperty)) return 0;
    const int index = format.intProperty(kStyleIndexProperty);
    return index >= 0 && index <= 6 ? index : 0;
}

namespace {

double screenDpiY() {
    if (qGuiApp) {
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            const double dpi = screen->logicalDotsPerInchY();
            if (dpi > 0) return dpi;
        }
    }
    return 96.0;
}

}  // namespace

double twipsToPixels(int twips) { return twips / 1440.0 * screenDpiY(); }

int pixelsToTwips(double pixels) { return int(std::lround(pixels * 1440.0 / screenDpiY())); }

namespace {

enum Effect : unsigned {
    kBold = 0x1,
    kItalic = 0x2,
    kUnderline = 0x4,
    kStrike = 0x8,
    kSuper = 0x10,
    kSub = 0x20,
};
// The order in which formats are opened when several start together.
constexpr Effect kOpenOrder[] = {kBold, kItalic, kUnderline, kStrike, kSuper, kSub};
// Formats the page-body reader cannot take before a paragraph's first
// character; they are carried in from the end of the previous paragraph.
constexpr unsigned kCarriedEffects = kStrike | kSuper | kSub;

struct OutRun {
    QString text;
    unsigned effects = 0;
    int font = 0;
    int halfPoints = 24;
};

struct OutParagraph {
    int style = 0;
    char16_t align = u'l';
    int spaceBefore = 0;
    int spaceAfter = 0;
    int leftIndent = 0;
    int rightIndent = 0;
    int markFont = 0;
    int markHalfPoints = 24;
    bool ended = false;  // its paragraph end lies in the range: write "\par"
    std::vector<OutRun> runs;
};

unsigned effectsOf(const QTextCharFormat& f) {
    unsigned e = 0;
    if (f.fontWeight() >= QFont::DemiBold) e |= kBold;
    if (f.fontItalic()) e |= kItalic;
    if (f.fontUnderline()) e |= kUnderline;
    if (f.fontStrikeOut()) e |= kStrike;
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript) e |= kSuper;
    if (f.verticalAlignment() == QTextCharFormat::AlignSubScript) e |= kSub;
    return e;
}

// The twips of one paragraph measure: the kept value while the pixel margin
// still agrees with it, else the margin converted back.
int twipsOf(const QTextBlockFormat& f, double pixels, int property) {
    if (f.hasProperty(property)) {
        const int kept = f.intProperty(property);
        if (std::abs(twipsToPixels(kept) - pixels) < 0.01) return kept;
    }
    return pixelsToTwips(pixels);
}

class Exporter {
public:
    explicit Exporter(const QTextDocument& document) : doc_(document) {}

    // Collects [start, end); finalEnd writes the end of the last paragraph
    // too (the whole document, whose last paragraph end is implicit).
    void collect(int start, int end, bool finalEnd);
    std::u16string write();

private:
    int fontIndex(const QTextCharFormat& f);
    int halfPointsOf(const QTextCharFormat& f) const;
    void appendText(OutParagraph& p, const QString& text, const QTextCharFormat& f);

    void word(const char* w) {
        while (*w) out_.push_back(char16_t(*w++));
        needDelimiter_ = true;
    }
    void word(const char* w, int value) {
        word(w);
        for (char c : std::to_string(value)) out_.push_back(char16_t(c));
    }
    void text(QStringView t);
    void transition(unsigned target);
    void writeParagraph(const OutParagraph& p, unsigned carryOut);

    struct Open {
        Effect effect;
        bool fromParagraphStart;  // opened by the words before the first character
    };

    const QTextDocument& doc_;
    std::vector<QString> fonts_;
    std::vector<OutParagraph> paragraphs_;
    std::u16string out_;
    bool needDelimiter_ = false;
    std::vector<Open> open_;  // what the page-body reader holds open, outermost first
};

int Exporter::fontIndex(const QTextCharFormat& f) {
    QString family;
    const QStringList families = f.fontFamilies().toStringList();
    if (!families.isEmpty()) family = families.first();
    if (family.isEmpty()) family = doc_.defaultFont().family();
    // The font table cannot hold these in a name.
    family.remove(QLatin1Char(';'));
    for (size_t i = 0; i < fonts_.size(); ++i)
        if (fonts_[i] == family) return int(i);
    fonts_.push_back(family);
    return int(fonts_.size() - 1);
}

int Exporter::halfPointsOf(const QTextCharFormat& f) const {
    double points = f.fontPointSize();
    if (points <= 0) points = doc_.defaultFont().pointSizeF();
    if (points <= 0) points = 12;
    return std::max(1, int(std::lround(points * 2)));
}

void Exporter::appendText(OutParagraph& p, const QString& source, const QTextCharFormat& f) {
    QString t;
    t.reserve(source.size());
    for (QChar c : source) {
        const char16_t u = c.unicode();
        // The page format holds neither tabs nor line breaks: a blank keeps
        // the words apart. Control characters and embedded objects are no text.
        if (u == u'\t' || u == u'\u2028') t.append(QLatin1Char(' '));
        else if (u < 0x20 || u == 0xFFFC || u == 0x2029 || u == 0xFDD0 || u == 0xFDD1) continue;
        else t.append(c);
    }
    if (t.isEmpty()) return;
    const unsigned effects = effectsOf(f);
    const int font = fontIndex(f);
    const int halfPoints = halfPointsOf(f);
    if (!p.runs.empty()) {
        OutRun& last = p.runs.back();
        if (last.effects == effects && last.font == font && last.halfPoints == halfPoints) {
            last.text += t;
            return;
        }
    }
    p.runs.push_back(OutRun{t, effects, font, halfPoints});
}

void Exporter::collect(int start, int end, bool finalEnd) {
    const int last = std::max(0, doc_.characterCount() - 1);
    start = std::clamp(start, 0, last);
    end = std::clamp(end, 0, last);
    if (end < start) std::swap(start, end);
    for (QTextBlock b = doc_.findBlock(start); b.isValid(); b = b.next()) {
        const int blockStart = b.position();
        const int textEnd = blockStart + b.length() - 1;
        if (blockStart > end || (blockStart == end && end > start && !finalEnd)) break;
        const QTextBlockFormat bf = b.blockFormat();
        OutParagraph p;
        p.style = styleIndexOf(bf);
        const Qt::Alignment a = bf.alignment() & Qt::AlignHorizontal_Mask;
        p.align = a & Qt::AlignHCenter ? u'c' : a & Qt::AlignRight ? u'r' : a & Qt::AlignJustify ? u'j' : u'l';
        p.spaceBefore = twipsOf(bf, bf.topMargin(), kSpaceBeforeTwipsProperty);
        p.spaceAfter = twipsOf(bf, bf.bottomMargin(), kSpaceAfterTwipsProperty);
        p.leftIndent = twipsOf(bf, bf.leftMargin(), kLeftIndentTwipsProperty);
        p.rightIndent = twipsOf(bf, bf.rightMargin(), kRightIndentTwipsProperty);
        p.ended = end > textEnd || (finalEnd && !b.next().isValid());
        const int from = std::max(start, blockStart);
        const int to = std::min(end, textEnd);
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            const int fs = frag.position();
            const int fe = fs + frag.length();
            if (fe <= from || fs >= to) continue;
            const int a0 = std::max(fs, from);
            const int a1 = std::min(fe, to);
            appendText(p, frag.text().mid(a0 - fs, a1 - a0), frag.charFormat());
        }
        const QTextCharFormat mark = p.runs.empty() ? b.charFormat() : QTextCharFormat();
        p.markFont = p.runs.empty() ? fontIndex(mark) : p.runs.front().font;
        p.markHalfPoints = p.runs.empty() ? halfPointsOf(mark) : p.runs.front().halfPoints;
        paragraphs_.push_back(std::move(p));
        if (!paragraphs_.back().ended) break;
    }
    if (fonts_.empty()) fontIndex(QTextCharFormat());
}

void Exporter::text(QStringView t) {
    if (needDelimiter_) {
        out_.push_back(u' ');
        needDelimiter_ = false;
    }
    for (QChar c : t) {
        const char16_t u = c.unicode();
        if (u == u'\\' || u == u'{' || u == u'}') out_.push_back(u'\\');
        out_.push_back(u);
    }
}

// Brings the open formats to `target`. A closing word closes everything
// opened after its format too, so the survivors are opened again. Formats
// set before the paragraph's first character may have no element of their
// own (a bold heading's "\b"): closing one of them would close whatever the
// reader holds, so then everything is closed and reopened.
void Exporter::transition(unsigned target) {
    size_t k = 0;
    while (k < open_.size() && (target & open_[k].effect)) ++k;
    if (k < open_.size()) {
        if (open_[k].fromParagraphStart) k = 0;
        switch (open_[k].effect) {
        case kBold: word("\\b0"); break;
        case kItalic: word("\\i0"); break;
        case kUnderline: word("\\ulnone"); break;
        case kStrike: word("\\strike0"); break;
        case kSuper:
        case kSub: word("\\nosupersub"); break;
        }
        open_.resize(k);
    }
    for (Effect e : kOpenOrder) {
        if (!(target & e)) continue;
        if (std::any_of(open_.begin(), open_.end(), [e](const Open& o) { return o.effect == e; })) continue;
        switch (e) {
        case kBold: word("\\b"); break;
        case kItalic: word("\\i"); break;
        case kUnderline: word("\\ul"); break;
        case kStrike: word("\\strike"); break;
        case kSuper: word("\\super"); break;
        case kSub: word("\\sub"); break;
        }
        open_.push_back(Open{e, false});
    }
}

void Exporter::writeParagraph(const OutParagraph& p, unsigned carryOut) {
    const int font = p.runs.empty() ? p.markFont : p.runs.front().font;
    const int halfPoints = p.runs.empty() ? p.markHalfPoints : p.runs.front().halfPoints;
    word("\\pard");
    word("\\s", p.style);
    const char align[] = {'\\', 'q', char(p.align), 0};
    word(align);
    word("\\sb", p.spaceBefore);
    word("\\sa", p.spaceAfter);
    word("\\f", font);
    word("\\fs", halfPoints);
    word("\\li", p.leftIndent);
    word("\\ri", p.rightIndent);
    if (!p.runs.empty()) {
        // Before the first character only bold, italic and underline count;
        // the reader opens them outside whatever was carried in, in the
        // order underline, italic, bold.
        const unsigned first = p.runs.front().effects;
        std::vector<Open> opened;
        if (first & kBold) word("\\b");
        if (first & kItalic) word("\\i");
        if (first & kUnderline) word("\\ul");
        for (Effect e : {kUnderline, kItalic, kBold})
            if (first & e) opened.push_back(Open{e, true});
        for (const Open& carried : open_) opened.push_back(Open{carried.effect, false});
        open_ = std::move(opened);

        int curFont = font;
        int curHalfPoints = halfPoints;
        for (size_t i = 0; i < p.runs.size(); ++i) {
            const OutRun& run = p.runs[i];
            QStringView rest(run.text);
            if (i == 0) {
                unsigned held = 0;
                for (const Open& o : open_) held |= o.effect;
                if (held != run.effects) {
                    // Only the paragraph's first character can open it; the
                    // formats that could not be given before it start after it.
                    const qsizetype n = rest.size() > 1 && rest[0].isHighSurrogate() && rest[1].isLowSurrogate() ? 2 : 1;
                    text(rest.first(n));
                    rest = rest.sliced(n);
                }
            }
            transition(run.effects);
            if (run.font != curFont) word("\\f", curFont = run.font);
            if (run.halfPoints != curHalfPoints) word("\\fs", curHalfPoints = run.halfPoints);
            text(rest);
        }
    }
    if (p.ended) {
        // Words in a paragraph without text are ignored by the reader, so an
        // empty paragraph leaves the open formats alone.
        if (!p.runs.empty()) transition(carryOut);
        word("\\par");
        out_.push_back(u' ');
        needDelimiter_ = false;
    } else {
        transition(0);
    }
}

std::u16string Exporter::write() {
    size_t chars = 0;
    for (const OutParagraph& p : paragraphs_)
        for (const OutRun& r : p.runs) chars += size_t(r.text.size());
    out_.reserve(chars + paragraphs_.size() * 64 + 512);

    word("{\\rtf1\\ansi\\ansicpg1252{\\fonttbl");
    for (size_t i = 0; i < fonts_.size(); ++i) {
        word("{\\f", int(i));
        word("\\fcharset1");
        text(fonts_[i]);
        out_.push_back(u';');
        out_.push_back(u'}');
    }
    out_.append(u";}{\\stylesheet{ Normal;}{\\s1 heading 1;}{\\s2 heading 2;}{\\s3 heading 3;}"
                u"{\\s4 heading 4;}{\\s5 heading 5;}{\\s6 heading 6;}}");
    needDelimiter_ = false;

    // What each paragraph must leave open for the next paragraph that has text.
    std::vector<unsigned> carry(paragraphs_.size(), 0);
    unsigned next = 0;
    for (size_t i = paragraphs_.size(); i-- > 0;) {
        carry[i] = next;
        if (!paragraphs_[i].runs.empty()) next = paragraphs_[i].runs.front().effects & kCarriedEffects;
    }
    open_.clear();
    for (size_t i = 0; i < paragraphs_.size(); ++i) writeParagraph(paragraphs_[i], carry[i]);
    out_.push_back(u'}');
    return std::move(out_);
}

}  // namespace

std::u16string documentToRtf(const QTextDocument& document) {
    Exporter exporter(document);
    exporter.collect(0, document.characterCount() - 1, true);
    return exporter.write();
}

std::u16string rangeToRtf(const QTextDocument& document, int start, int end) {
    Exporter exporter(document);
    exporter.collect(start, end, false);
    return exporter.write();
}

}  // namespace tavix
