// QTextDocument out to RTF. The output is read by two parties: our own
// importer (RtfImport.cpp), and the page-body reader, which only understands
// character format words and closes inner elements together with outer
// ones. The character format words are therefore written to rebuild, under
// the page-body reader's rules, exactly the formats shown on screen.
#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <vector>

#include <QGuiApplication>
#include <QScreen>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include "platform/RtfDocument.h"

namespace tavix {

QTextBlockFormat paragraphFormatOf(QTextBlockFormat part) {
    if (part.hasProperty(kHeldSpaceBeforeProperty)) {
        part.setTopMargin(part.doubleProperty(kHeldSpaceBeforeProperty));
        part.clearProperty(kHeldSpaceBeforeProperty);
    }
    if (part.hasProperty(kHeldSpaceAfterProperty)) {
        part.setBottomMargin(part.doubleProperty(kHeldSpaceAfterProperty));
        part.clearProperty(kHeldSpaceAfterProperty);
    }
    part.clearProperty(kContinuesProperty);
    return part;
}

QTextBlockFormat partFormatOf(QTextBlockFormat paragraph, bool continues, bool followed) {
    if (continues) {
        paragraph.setProperty(kContinuesProperty, true);
        paragraph.setProperty(kHeldSpaceBeforeProperty, paragraph.topMargin());
        paragraph.setTopMargin(0);
    }
    if (followed) {
        paragraph.setProperty(kHeldSpaceAfterProperty, paragraph.bottomMargin());
        paragraph.setBottomMargin(0);
    }
    return paragraph;
}

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
// Formats that a strict reading of the page-body rules ignores before a
// paragraph's first character.
constexpr unsigned kLateEffects = kStrike | kSuper | kSub;

// What the RTF says of a character format.
struct RunStyle {
    unsigned effects = 0;
    int font = 0;
    int halfPoints = 24;
    bool operator==(const RunStyle&) const = default;
};

struct OutRun {
    std::u16string text;
    RunStyle style;
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

}  // namespace

ParagraphTwips paragraphTwipsOf(const QTextBlockFormat& f) {
    ParagraphTwips p;
    p.spaceBefore = twipsOf(f, f.topMargin(), kSpaceBeforeTwipsProperty);
    p.spaceAfter = twipsOf(f, f.bottomMargin(), kSpaceAfterTwipsProperty);
    p.leftIndent = twipsOf(f, f.leftMargin() - f.doubleProperty(kIndentRoomProperty),
                           kLeftIndentTwipsProperty);
    p.rightIndent = twipsOf(f, f.rightMargin(), kRightIndentTwipsProperty);
    return p;
}

namespace {

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
    // The RTF style of a fragment's format, worked out once per format.
    const RunStyle& styleOf(const QTextFragment& fragment);
    static void appendText(OutParagraph& p, QStringView text, const RunStyle& style);

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
    void writeParagraph(const OutParagraph& p);

    struct Open {
        Effect effect;
        bool fromParagraphStart;  // opened by the words before the first character
    };

    const QTextDocument& doc_;
    std::vector<QString> fonts_;
    std::unordered_map<int, RunStyle> styles_;
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

const RunStyle& Exporter::styleOf(const QTextFragment& fragment) {
    const int index = fragment.charFormatIndex();
    const auto known = styles_.find(index);
    if (known != styles_.end()) return known->second;
    const QTextCharFormat f = fragment.charFormat();
    return styles_.emplace(index, RunStyle{effectsOf(f), fontIndex(f), halfPointsOf(f)}).first->second;
}

void Exporter::appendText(OutParagraph& p, QStringView source, const RunStyle& style) {
    std::u16string* t = nullptr;
    for (QChar c : source) {
        char16_t u = c.unicode();
        // A tab is text (written as "\tab"); a page holds no line breaks
        // inside a paragraph, so a blank keeps the words apart. Other control
        // characters and embedded objects are no text.
        if (u == u'\u2028')
            u = u' ';
        else if ((u < 0x20 && u != u'\t') || u == 0xFFFC || u == 0x2029 || u == 0xFDD0 || u == 0xFDD1)
            continue;
        if (!t) {
            if (p.runs.empty() || !(p.runs.back().style == style)) p.runs.push_back(OutRun{{}, style});
            t = &p.runs.back().text;
            t->reserve(t->size() + size_t(source.size()));
        }
        t->push_back(u);
    }
}

void Exporter::collect(int start, int end, bool finalEnd) {
    const int last = std::max(0, doc_.characterCount() - 1);
    start = std::clamp(start, 0, last);
    end = std::clamp(end, 0, last);
    if (end < start) std::swap(start, end);
    QTextBlock b = doc_.findBlock(start);
    while (b.isValid()) {
        if (b.position() > end || (b.position() == end && end > start && !finalEnd)) break;
        // A paragraph's formatting is that of all its parts alike.
        const QTextBlockFormat bf = paragraphFormatOf(b.blockFormat());
        OutParagraph p;
        p.style = styleIndexOf(bf);
        const Qt::Alignment a = bf.alignment() & Qt::AlignHorizontal_Mask;
        p.align = a & Qt::AlignHCenter ? u'c' : a & Qt::AlignRight ? u'r' : a & Qt::AlignJustify ? u'j' : u'l';
        const ParagraphTwips twips = paragraphTwipsOf(bf);
        p.spaceBefore = twips.spaceBefore;
        p.spaceAfter = twips.spaceAfter;
        p.leftIndent = twips.leftIndent;
        p.rightIndent = twips.rightIndent;
        const QTextCharFormat firstMark = b.charFormat();
        // The paragraph's parts, from b on; the breaks between them are no
        // text of the paragraph.
        for (QTextBlock part = b;;) {
            const int textEnd = part.position() + part.length() - 1;
            const int from = std::max(start, part.position());
            const int to = std::min(end, textEnd);
            for (auto it = part.begin(); !it.atEnd(); ++it) {
                const QTextFragment frag = it.fragment();
                const int fs = frag.position();
                const int fe = fs + frag.length();
                if (fe <= from || fs >= to) continue;
                const int a0 = std::max(fs, from);
                const int a1 = std::min(fe, to);
                appendText(p, QStringView(frag.text()).mid(a0 - fs, a1 - a0), styleOf(frag));
            }
            const QTextBlock next = part.next();
            if (!next.isValid() || !continuesParagraph(next.blockFormat())) {
                p.ended = end > textEnd || (finalEnd && !next.isValid());
                b = next;
                break;
            }
            if (end <= textEnd) {  // the range ends inside the paragraph
                b = QTextBlock();
                break;
            }
            part = next;
        }
        const QTextCharFormat mark = p.runs.empty() ? firstMark : QTextCharFormat();
        p.markFont = p.runs.empty() ? fontIndex(mark) : p.runs.front().style.font;
        p.markHalfPoints = p.runs.empty() ? halfPointsOf(mark) : p.runs.front().style.halfPoints;
        const bool ended = p.ended;
        paragraphs_.push_back(std::move(p));
        if (!ended) break;
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
        if (u == u'\t') {
            // The word every RTF reader knows; a raw tab is no text in RTF.
            word("\\tab");
            continue;
        }
        if (needDelimiter_) {
            out_.push_back(u' ');
            needDelimiter_ = false;
        }
        if (u == u'\\' || u == u'{' || u == u'}') out_.push_back(u'\\');
        out_.push_back(u);
    }
}

const char* openingWord(Effect e) {
    switch (e) {
    case kBold: return "\\b";
    case kItalic: return "\\i";
    case kUnderline: return "\\ul";
    case kStrike: return "\\strike";
    case kSuper: return "\\super";
    case kSub: return "\\sub";
    }
    return "";
}

const char* closingWord(Effect e) {
    switch (e) {
    case kBold: return "\\b0";
    case kItalic: return "\\i0";
    case kUnderline: return "\\ulnone";
    case kStrike: return "\\strike0";
    case kSuper:
    case kSub: return "\\nosupersub";
    }
    return "";
}

// Brings the open formats to `target`. The page-body reader closes every
// format opened after the one named by a closing word, so formats are closed
// one by one from the innermost down to the first one that ends, each with
// its own word (RTF readers proper turn off only the named format), and the
// survivors are opened again. The formats given before the paragraph's first
// character are less certain: the reader may have opened them in another
// order, or not at all when the paragraph's style already shows them (a bold
// heading's "\b"); when one of those ends, all open formats are closed.
void Exporter::transition(unsigned target) {
    size_t k = 0;
    while (k < open_.size() && (target & open_[k].effect)) ++k;
    if (k < open_.size()) {
        if (open_[k].fromParagraphStart) k = 0;
        for (size_t j = open_.size(); j-- > k;) word(closingWord(open_[j].effect));
        open_.resize(k);
    }
    for (Effect e : kOpenOrder) {
        if (!(target & e)) continue;
        if (std::any_of(open_.begin(), open_.end(), [e](const Open& o) { return o.effect == e; })) continue;
        word(openingWord(e));
        open_.push_back(Open{e, false});
    }
}

void Exporter::writeParagraph(const OutParagraph& p) {
    const int font = p.runs.empty() ? p.markFont : p.runs.front().style.font;
    const int halfPoints = p.runs.empty() ? p.markHalfPoints : p.runs.front().style.halfPoints;
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
    open_.clear();
    if (!p.runs.empty()) {
        // The first run's formats go before the first character, where the
        // reader takes them as the paragraph's starting formats.
        const unsigned first = p.runs.front().style.effects;
        for (Effect e : kOpenOrder) {
            if (!(first & e)) continue;
            word(openingWord(e));
            open_.push_back(Open{e, true});
        }
        int curFont = font;
        int curHalfPoints = halfPoints;
        for (size_t i = 0; i < p.runs.size(); ++i) {
            const OutRun& run = p.runs[i];
            QStringView rest(run.text);
            if (i == 0 && (first & kLateEffects)) {
                // A reader that takes only bold, italic and underline before
                // the first character still gets the others from the second
                // character on; a reader that took them ignores the repeat.
                const qsizetype n = rest.size() > 1 && rest[0].isHighSurrogate() && rest[1].isLowSurrogate() ? 2 : 1;
                text(rest.first(n));
                rest = rest.sliced(n);
                for (Effect e : kOpenOrder)
                    if (first & kLateEffects & e) word(openingWord(e));
            }
            transition(run.style.effects);
            if (run.style.font != curFont) word("\\f", curFont = run.style.font);
            if (run.style.halfPoints != curHalfPoints) word("\\fs", curHalfPoints = run.style.halfPoints);
            text(rest);
        }
        // Closed before the paragraph's end, so nothing is carried over.
        transition(0);
    }
    if (p.ended) {
        word("\\par");
        out_.push_back(u' ');
        needDelimiter_ = false;
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

    for (const OutParagraph& p : paragraphs_) writeParagraph(p);
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
