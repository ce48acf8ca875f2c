// RTF into a QTextDocument: a single pass over the wide string that collects
// paragraphs of formatted runs, then one insertion through the caller's
// cursor. Collecting first keeps the number of cursor operations down to one
// per run and one per paragraph, which is what makes large pages load fast.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

#include <QTextBlock>
#include <QTextCursor>

#include "platform/RtfDocument.h"

namespace tavix {
namespace {

// Character formatting as RTF describes it; compared whole to decide where a
// run ends.
struct CharProps {
    int font = -1;        // RTF font number, -1 for none given
    int halfPoints = 24;  // RTF's own default size, 12 pt
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int vertical = 0;  // 0 baseline, 1 superscript, 2 subscript
    bool operator==(const CharProps&) const = default;
};

struct ParaProps {
    int style = 0;
    int align = 0;  // 0 left, 1 centre, 2 right, 3 justified
    int spaceBefore = 0;
    int spaceAfter = 0;
    int leftIndent = 0;
    int rightIndent = 0;
};

enum class Destination { Text, FontTable, Skip };

struct GroupState {
    Destination dest = Destination::Text;
    CharProps chr;
    ParaProps para;
    int fallbackCount = 1;  // "\uc": characters that follow a "\u" as its stand-in
};

struct Run {
    QString text;
    CharProps props;
};

struct Paragraph {
    ParaProps para;
    CharProps mark;  // format of the paragraph's end: what typing into it gets
    bool markSet = false;
    std::vector<Run> runs;
};

// Twips beyond 22 inches are nonsense for a page and would only upset the
// layout; the page file never holds these values, so clamping loses nothing.
int clampTwips(int twips) { return std::clamp(twips, -31680, 31680); }

// Code page 1252 bytes 0x80..0x9F; the five unassigned ones stay as their
// byte value, as the Windows conversion does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t fromCp1252(unsigned byte) {
    return byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : char16_t(byte);
}

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool isAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// Groups whose text is never page text. Anything marked "\*" is skipped too.
bool isSkippedDestination(std::u16string_view w) {
    static constexpr std::u16string_view kWords[] = {
        u"stylesheet", u"colortbl", u"info",      u"pict",       u"author",    u"buptim",
        u"comment",    u"creatim",  u"doccomm",   u"footer",     u"footerf",   u"footerl",
        u"footerr",    u"footnote", u"ftncn",     u"ftnsep",     u"ftnsepc",   u"header",
        u"headerf",    u"headerl",  u"headerr",   u"keywords",   u"operator",  u"printim",
        u"private1",   u"revtim",   u"rxe",       u"subject",    u"tc",        u"title",
        u"txe",        u"xe",       u"fldinst",   u"object",     u"listtable", u"pntext",
        u"listoverridetable",       u"rsidtbl",   u"generator",  u"themedata", u"filetbl",
        u"colorschememapping",      u"datastore", u"latentstyles",           u"xmlnstbl",
        u"revtbl",     u"bkmkstart", u"bkmkend",  u"nonshppict", u"pntxta",    u"pntxtb"};
    return std::find(std::begin(kWords), std::end(kWords), w) != std::end(kWords);
}

class RtfParser {
public:
    explicit RtfParser(const std::u16string& input) : in_(input) { paragraphs_.emplace_back(); }

    void parse();

    // All paragraphs; every one but the last was ended by "\par".
    std::vector<Paragraph>& paragraphs() { return paragraphs_; }
    const std::map<int, QString>& fonts() const { return fonts_; }

private:
    size_t controlWord(size_t i);
    void handleSymbol(char16_t c);
    size_t handleWord(std::u16string_view word, bool hasParam, int param, size_t next);
    void textChar(char16_t c);
    void endParagraph();
    void captureMark();
    void push();
    void pop();

    const std::u16string& in_;
    std::vector<GroupState> stack_;
    GroupState cur_;
    int skipFallback_ = 0;  // stand-in characters still to drop after "\u"
    std::map<int, QString> fonts_;
    int fontNumber_ = 0;  // the font-table entry being read
    QString fontName_;
    std::vector<Paragraph> paragraphs_;
};

void RtfParser::parse() {
    const size_t n = in_.size();
    size_t i = 0;
    while (i < n) {
        const char16_t c = in_[i];
        switch (c) {
        case u'{':
            push();
            ++i;
            break;
        case u'}':
            pop();
            ++i;
            break;
        case u'\\':
            i = controlWord(i);
            break;
        case u'\r':
        case u'\n':
            ++i;
            break;
        default:
            ++i;
            if (skipFallback_ > 0) {
                --skipFallback_;
                break;
            }
            textChar(c);
        }
    }
    // Text after the last "\par" is a last paragraph; it keeps the paragraph
    // formatting that held when its text was read (set in textChar).
}

void RtfParser::push() {
    skipFallback_ = 0;
    stack_.push_back(cur_);
}

void RtfParser::pop() {
    skipFallback_ = 0;
    if (stack_.empty()) return;  // an extra "}" changes nothing
    cur_ = stack_.back();
    stack_.pop_back();
}

// i stands on a backslash; returns the index after the word or symbol.
size_t RtfParser::controlWord(size_t i) {
    const size_t n = in_.size();
    size_t j = i + 1;
    if (j >= n) return n;
    const char16_t c = in_[j];
    if (!isAsciiLetter(c)) {
        ++j;
        if (c == u'\'') {
            // Two hexadecimal digits; a short or broken escape is dropped.
            const int hi = j < n ? hexValue(in_[j]) : -1;
            const int lo = j + 1 < n ? hexValue(in_[j + 1]) : -1;
            if (hi < 0 || lo < 0) return std::min(j + (hi >= 0 ? 1 : 0), n);
            j += 2;
            if (skipFallback_ > 0) {
                --skipFallback_;
                return j;
            }
            textChar(fromCp1252(unsigned(hi * 16 + lo)));
            return j;
        }
        if (skipFallback_ > 0 && c != u'*') {
            --skipFallback_;
            return j;
        }
        handleSymbol(c);
        return j;
    }
    const size_t wordStart = j;
    while (j < n && isAsciiLetter(in_[j]) && j - wordStart < 32) ++j;
    const std::u16string_view word(in_.data() + wordStart, j - wordStart);
    while (j < n && isAsciiLetter(in_[j])) ++j;  // an absurdly long word: ignore the rest
    bool negative = false;
    if (j < n && in_[j] == u'-') {
        negative = true;
        ++j;
    }
    bool hasParam = false;
    int64_t value = 0;
    while (j < n && in_[j] >= u'0' && in_[j] <= u'9') {
        hasParam = true;
        if (value < 1000000000) value = value * 10 + (in_[j] - u'0');
        ++j;
    }
    if (j < n && in_[j] == u' ') ++j;
    const int param = int(std::clamp<int64_t>(negative ? -value : value, -2000000000, 2000000000));
    if (skipFallback_ > 0) {
        --skipFallback_;
        return j;
    }
    return handleWord(word, hasParam, param, j);
}

void RtfParser::handleSymbol(char16_t c) {
    switch (c) {
    case u'\\':
    case u'{':
    case u'}':
        textChar(c);
        break;
    case u'~':
        textChar(u'\u00A0');
        break;
    case u'_':
        textChar(u'\u2011');
        break;
    case u'*':
        cur_.dest = Destination::Skip;
        break;
    default:  // "\-" optional hyphen and anything unknown
        break;
    }
}

size_t RtfParser::handleWord(std::u16string_view w, bool hasParam, int param, size_t next) {
    if (w == u"bin") {
        // Raw data follows; it is never text.
        const size_t len = hasParam && param > 0 ? size_t(param) : 0;
        return std::min(in_.size(), next + len);
    }
    if (cur_.dest == Destination::Skip) return next;
    if (cur_.dest == Destination::FontTable) {
        if (w == u"f" && hasParam) {
            fontNumber_ = param;
            fontName_.clear();
        } else if (isSkippedDestination(w)) {
            cur_.dest = Destination::Skip;
        }
        return next;
    }
    if (w == u"fonttbl") {
        cur_.dest = Destination::FontTable;
        fontName_.clear();
        return next;
    }
    CharProps& chr = cur_.chr;
    ParaProps& para = cur_.para;
    const bool on = !hasParam || param != 0;
    if (w == u"par") {
        endParagraph();
    } else if (w == u"pard") {
        para = ParaProps{};
    } else if (w == u"plain") {
        captureMark();
        const int font = chr.font;
        chr = CharProps{};
        chr.font = font;
    } else if (w == u"s") {
        para.style = hasParam && param >= 0 && param <= 6 ? param : 0;
    } else if (w == u"ql") {
        para.align = 0;
    } else if (w == u"qc") {
        para.align = 1;
    } else if (w == u"qr") {
        para.align = 2;
    } else if (w == u"qj") {
        para.align = 3;
    } else if (w == u"sb") {
        para.spaceBefore = clampTwips(param);
    } else if (w == u"sa") {
        para.spaceAfter = clampTwips(param);
    } else if (w == u"li") {
        para.leftIndent = clampTwips(param);
    } else if (w == u"ri") {
        para.rightIndent = clampTwips(param);
    } else if (w == u"f") {
        if (hasParam) chr.font = param;
    } else if (w == u"fs") {
        chr.halfPoints = hasParam && param > 0 ? std::min(param, 3276) : 24;
    } else if (w == u"b") {
        if (!on) captureMark();
        chr.bold = on;
    } else if (w == u"i") {
        if (!on) captureMark();
        chr.italic = on;
    } else if (w == u"strike") {
        if (!on) captureMark();
        chr.strike = on;
    } else if (w == u"ul" || w == u"uld" || w == u"uldb" || w == u"ulw" || w == u"uldash") {
        if (!on) captureMark();
        chr.underline = on;
    } else if (w == u"ulnone") {
        captureMark();
        chr.underline = false;
    } else if (w == u"super") {
        chr.vertical = 1;
    } else if (w == u"sub") {
        chr.vertical = 2;
    } else if (w == u"nosupersub") {
        captureMark();
        chr.vertical = 0;
    } else if (w == u"u") {
        if (hasParam) {
            const int code = param < 0 ? param + 65536 : param;
            if (code >= 0 && code <= 0xFFFF) textChar(char16_t(code));
            skipFallback_ = cur_.fallbackCount;
        }
    } else if (w == u"uc") {
        cur_.fallbackCount = hasParam ? std::clamp(param, 0, 16) : 1;
    } else if (w == u"tab") {
        textChar(u'\t');
    } else if (w == u"line") {
        textChar(u'\u2028');
    } else if (w == u"emdash") {
        textChar(u'\u2014');
    } else if (w == u"endash") {
        textChar(u'\u2013');
    } else if (w == u"lquote") {
        textChar(u'\u2018');
    } else if (w == u"rquote") {
        textChar(u'\u2019');
    } else if (w == u"ldblquote") {
        textChar(u'\u201C');
    } else if (w == u"rdblquote") {
        textChar(u'\u201D');
    } else if (w == u"bullet") {
        textChar(u'\u2022');
    } else if (isSkippedDestination(w)) {
        cur_.dest = Destination::Skip;
    }
    return next;
}

// The paragraph end takes the character format that held right after the
// paragraph's opening words: RTF closes a bold style's "\b" before "\par",
// and an empty heading must still type in its own format.
void RtfParser::captureMark() {
    Paragraph& p = paragraphs_.back();
    if (!p.markSet && cur_.dest == Destination::Text) {
        p.mark = cur_.chr;
        p.markSet = true;
    }
}

void RtfParser::endParagraph() {
    captureMark();
    Paragraph& p = paragraphs_.back();
    p.para = cur_.para;
    paragraphs_.emplace_back();
}

void RtfParser::textChar(char16_t c) {
    if (cur_.dest == Destination::Skip) return;
    if (cur_.dest == Destination::FontTable) {
        if (c == u';') {
            // The table itself ends with a ";" that names nothing.
            const QString name = fontName_.trimmed();
            if (!name.isEmpty()) fonts_[fontNumber_] = name;
            fontName_.clear();
        } else if (c >= 0x20) {
            fontName_.append(QChar(c));
        }
        return;
    }
    if (c == u'\u2029') {  // a raw paragraph separator is a paragraph end
        endParagraph();
        return;
    }
    // Control characters and the document's own frame markers are never text.
    if ((c < 0x20 && c != u'\t') || c == 0xFDD0 || c == 0xFDD1) return;
    captureMark();
    Paragraph& p = paragraphs_.back();
    p.para = cur_.para;
    if (p.runs.empty() || !(p.runs.back().props == cur_.chr)) p.runs.push_back(Run{QString(), cur_.chr});
    p.runs.back().text.append(QChar(c));
}

// Turns RTF formatting into Qt formats, once per distinct value.
class FormatMaker {
public:
    explicit FormatMaker(const std::map<int, QString>& fonts) : fonts_(fonts) {}

    const QTextCharFormat& charFormat(const CharProps& p) {
        for (const auto& [props, format] : charCache_)
            if (props == p) return format;
        QTextCharFormat f;
        const auto font = fonts_.find(p.font);
        if (font != fonts_.end() && !font->second.isEmpty()) f.setFontFamilies(QStringList{font->second});
        f.setFontPointSize(p.halfPoints / 2.0);
        f.setFontWeight(p.bold ? QFont::Bold : QFont::Normal);
        f.setFontItalic(p.italic);
        f.setFontUnderline(p.underline);
        f.setFontStrikeOut(p.strike);
        f.setVerticalAlignment(p.vertical == 1   ? QTextCharFormat::AlignSuperScript
                               : p.vertical == 2 ? QTextCharFormat::AlignSubScript
                                                 : QTextCharFormat::AlignNormal);
        charCache_.emplace_back(p, f);
        return charCache_.back().second;
    }

    static QTextBlockFormat blockFormat(const ParaProps& p, double room) {
        QTextBlockFormat f;
        f.setProperty(kStyleIndexProperty, p.style);
        f.setAlignment(p.align == 1   ? Qt::AlignHCenter
                       : p.align == 2 ? Qt::AlignRight
                       : p.align == 3 ? Qt::AlignJustify
                                      : Qt::AlignLeft);
        f.setTopMargin(twipsToPixels(p.spaceBefore));
        f.setBottomMargin(twipsToPixels(p.spaceAfter));
        f.setLeftMargin(twipsToPixels(p.leftIndent) + room);
        if (room != 0)
            f.setProperty(kIndentRoomProperty, room);
        f.setRightMargin(twipsToPixels(p.rightIndent));
        f.setProperty(kSpaceBeforeTwipsProperty, p.spaceBefore);
        f.setProperty(kSpaceAfterTwipsProperty, p.spaceAfter);
        f.setProperty(kLeftIndentTwipsProperty, p.leftIndent);
        f.setProperty(kRightIndentTwipsProperty, p.rightIndent);
        return f;
    }

private:
    const std::map<int, QString>& fonts_;
    std::vector<std::pair<CharProps, QTextCharFormat>> charCache_;
};

void insertRuns(QTextCursor& cursor, FormatMaker& maker, const Paragraph& p) {
    for (const Run& run : p.runs) cursor.insertText(run.text, maker.charFormat(run.props));
}

}  // namespace

void insertRtf(QTextCursor& cursor, const std::u16string& rtf) {
    if (cursor.isNull()) return;
    RtfParser parser(rtf);
    parser.parse();
    std::vector<Paragraph>& paragraphs = parser.paragraphs();
    const Paragraph& tail = paragraphs.back();  // text after the last "\par"
    const size_t closed = paragraphs.size() - 1;
    FormatMaker maker(parser.fonts());
    const double room = cursor.document()->property(kIndentRoomName).toDouble();

    cursor.beginEditBlock();
    // The paragraph end that survives the removal of the selection is that of
    // the paragraph where the selection ends: its formatting stays with the
    // text that follows.
    const QTextBlock endBlock = cursor.document()->findBlock(cursor.selectionEnd());
    const QTextBlockFormat originalFormat = endBlock.blockFormat();
    const QTextCharFormat originalMark = endBlock.charFormat();
    const bool spansParagraphs = endBlock != cursor.document()->findBlock(cursor.selectionStart());
    cursor.removeSelectedText();
    if (spansParagraphs) {
        cursor.setBlockFormat(originalFormat);
        cursor.setBlockCharFormat(originalMark);
    }
    const QTextBlock block = cursor.block();
    const bool blockWasEmpty = block.length() <= 1;
    const bool atDocumentEnd = cursor.atBlockEnd() && !block.next().isValid();

    if (closed == 0) {
        // No paragraph end: the text joins the paragraph at the cursor, which
        // keeps its formatting unless it held nothing at all (and nothing
        // came in, e.g. from an empty or broken RTF, leaves it alone).
        if (blockWasEmpty && !tail.runs.empty()) {
            cursor.setBlockFormat(FormatMaker::blockFormat(tail.para, room));
            cursor.setBlockCharFormat(maker.charFormat(tail.mark));
        }
        insertRuns(cursor, maker, tail);
    } else {
        cursor.setBlockFormat(FormatMaker::blockFormat(paragraphs[0].para, room));
        cursor.setBlockCharFormat(maker.charFormat(paragraphs[0].mark));
        insertRuns(cursor, maker, paragraphs[0]);
        for (size_t i = 1; i < closed; ++i) {
            cursor.insertBlock(FormatMaker::blockFormat(paragraphs[i].para, room),
                               maker.charFormat(paragraphs[i].mark));
            insertRuns(cursor, maker, paragraphs[i]);
        }
        // The last "\par" at the very end of the document is the document's
        // own end: adding a block for it would leave a stray empty paragraph.
        // Anywhere else it splits the paragraph, and the text after the
        // cursor keeps its paragraph's formatting.
        if (atDocumentEnd && tail.runs.empty()) {
            // nothing more
        } else if (atDocumentEnd) {
            cursor.insertBlock(FormatMaker::blockFormat(tail.para, room), maker.charFormat(tail.mark));
            insertRuns(cursor, maker, tail);
        } else {
            cursor.insertBlock(originalFormat, originalMark);
            insertRuns(cursor, maker, tail);
        }
    }
    cursor.endEditBlock();
}

}  // namespace tavix
