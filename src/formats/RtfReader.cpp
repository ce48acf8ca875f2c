// Reading the editor's RTF back into page-body events.
//
// The rules a producer can rely on (the editor's exporter writes to them):
//
// Structure
// - A character loop over UTF-16 code units. CR and LF are ignored; "{" and
//   "}" open and close groups; "\" starts a control word or symbol; every
//   other code unit is text. Code units at or above U+0080 are text as they
//   stand, so non-ASCII text may be written directly.
// - Control words are ASCII letters, an optional "-" and decimal digits (the
//   parameter, saturated at +-999999999); one blank after them is eaten.
// - Symbols "\\", "\{", "\}" are those characters, "\~" is U+00A0, "\'hh" is
//   byte hh in the code page of the current font ("\f", or "\deff" until
//   one is given and after "\plain") when the font table gives that font a
//   "\fcharset" or "\cpg" of its own, else in the code page of the last
//   "\ansicpg" (874, 1250..1258, 10000 and the two-byte 932, 936, 949, 950,
//   1361; 1252 when none is given or the number is another one). Charsets
//   1 (default) and 2 (symbol) keep the document's code page: a symbol
//   font's bytes name glyphs of that font, which a page cannot show, and
//   the document's reading is the closest plain text. In a two-byte code
//   page a lead byte and the byte after it ("\'hh" or a printable ASCII
//   character) are one character; a lead byte followed by anything else is
//   U+FFFD. Bytes a code page leaves undefined keep their own value. Other
//   symbols ("\-", "\_", ...) are ignored.
// - When the input holds a document group ("{\rtf"), whatever stands before
//   it is outside the document and is dropped, with one diagnostic line
//   when it held more than blanks and line ends.
// - "\uN" is the UTF-16 code unit N (N + 65536 when negative; out of range
//   gives U+FFFD). Two "\u" words make a surrogate pair. After it the
//   fallback is skipped: as many characters as the group's "\ucN" says
//   (default 1), each raw character or "\'hh" or character symbol counting
//   one. A brace or a control word ends the skipping (the producer wrote no
//   fallback), so a "\par" is never swallowed.
// - "\binN" skips N raw code units (binary data is never text).
// - A group is skipped (its text dropped, its words without effect) when it
//   begins with "\*" or with a known destination word (font table, style
//   sheet, info, pictures, headers, footnotes, ...), in the header and in
//   the body alike.
// - "\tab" is a tab (U+0009), text like any other character. Code units
//   below U+0020 are dropped wherever they come from (raw, "\'hh", "\u"):
//   RTF gives them no meaning as text. U+FFFE, U+FFFF and unpaired
//   surrogates become U+FFFD: the page file cannot store them. "\line" is
//   ignored: a page holds no line breaks inside a paragraph.
//
// Header and body
// - Until "\pard" or "\viewkind" (or the first text character) the reader
//   is in the header, where only destinations matter. Once started, the
//   body stays started.
// - Between paragraphs: "\sN" chooses the style of the next paragraph (1..6
//   Heading n, anything else Normal); "\b", "\i", "\ul", "\strike",
//   "\super", "\sub" (no parameter, or one other than 0) remember a format
//   for the paragraph's start, in the order given; "\b0", "\i0", "\ul0",
//   "\ulnone", "\strike0", "\nosupersub" forget it (also when it was carried
//   over from the previous paragraph). These settings belong to the group
//   they were given in. A bold style ignores a remembered "\b", an italic
//   one "\i", an underlined one "\ul": the style already shows them.
// - The first text character opens the paragraph: its element ("p",
//   "h1".."h6"), then the remembered formats, then the formats carried over.
// - Inside a paragraph: "\b", "\i", "\strike", "\ul" (no parameter or not
//   0), "\super", "\sub" open an element unless one of that name is already
//   open; "\b0", "\i0", "\strike0", "\ul0", "\ulnone" close up to the
//   nearest element of that name opened in the same group, "\nosupersub" up
//   to the nearest "sup" or "sub"; elements opened after it are closed with
//   it. When no such element is open in the group nothing is closed.
// - "\plain" ends every character format: inside a paragraph it closes the
//   open elements, between paragraphs it forgets the remembered and carried
//   formats (word processors start each paragraph with it).
// - "\par" closes the open elements (they carry over into the next
//   paragraph) and the paragraph. Empty paragraphs leave nothing.
// - "}" closes the elements opened in its group; the paragraph stays open.
// - At the end of input everything still open is closed: elements, the
//   last paragraph (its text is kept), the body.
#include "formats/RtfReader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <iostream>
#include <string_view>

#include <xercesc/internal/VecAttributesImpl.hpp>

#include "formats/RtfSyntax.h"
#include "formats/XmlSupport.h"

namespace tavix {

namespace {

using rtf::Word;

enum class Inline : std::uint8_t { B, I, U, Strike, Sup, Sub };
constexpr int kInlineKinds = 6;

const XMLCh* inlineName(Inline kind) {
    static constexpr const char16_t* kNames[kInlineKinds] = {u"b",      u"i",   u"u",
                                                             u"strike", u"sup", u"sub"};
    return asXml(kNames[static_cast<int>(kind)]);
}

// An inline element and the group depth it belongs to: when that group
// ends, the element ends with it.
struct Format {
    Inline kind;
    std::size_t depth;
};

// At most one entry per kind, in order (outermost first). Fixed storage so
// that copying a group's state on every "{" costs no allocation.
class FormatList {
public:
    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }
    const Format& operator[](std::size_t i) const { return items_[i]; }
    const Format& back() const { return items_[size_ - 1]; }
    void popBack() { --size_; }
    void clear() { size_ = 0; }

    bool contains(Inline kind) const { return find(kind) >= 0; }
    // Appends unless one of that kind is present (then nothing changes).
    void add(Inline kind, std::size_t depth) {
        if (!contains(kind)) items_[size_++] = Format{kind, depth};
    }
    void remove(Inline kind) {
        int at = find(kind);
        if (at < 0) return;
        for (std::size_t i = static_cast<std::size_t>(at); i + 1 < size_; ++i) items_[i] = items_[i + 1];
        --size_;
    }
    // Drops the entries that belong to groups deeper than depth.
    void dropDeeperThan(std::size_t depth) {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < size_; ++i)
            if (items_[i].depth <= depth) items_[kept++] = items_[i];
        size_ = kept;
    }

private:
    int find(Inline kind) const {
        for (std::size_t i = 0; i < size_; ++i)
            if (items_[i].kind == kind) return static_cast<int>(i);
        return -1;
    }
    std::array<Format, kInlineKinds> items_{};
    std::size_t size_ = 0;
};

struct GroupState {
    bool skip = false;
    // Nothing but line ends read since the "{": a destination may follow.
    bool fresh = false;
    int style = -1;
    int unicodeSkip = 1;  // "\uc"
    int font = -1;        // "\f"; -1 until given: the document's default font
    bool fontTable = false;  // inside the font table, whose words define fonts
    FormatList startFormats;  // formats given between paragraphs
};

bool isAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

constexpr long kMaxParameter = 999999999;  // keeps every parameter inside int
constexpr std::size_t kMaxWordLength = 32;   // longer words are never known

// One run of the reader over one input. Everything lives on the heap or in
// fixed storage; nothing recurses, so neither depth nor size can overflow
// the call stack.
class Scanner {
public:
    Scanner(const StyleSheet& styles, const std::u16string& input, xercesc::ContentHandler& target,
            std::ostream& diagnostics)
        : styles_(styles), in_(input), target_(target), diagnostics_(diagnostics) {}

    void run();

private:
    std::size_t depth() const { return stack_.size(); }

    void push();
    void pop();
    void readControl();
    void readHexSymbol();
    void byteCharacter(unsigned byte);
    void endPendingLead();
    void symbolCharacter(char16_t c);
    void handleWord(Word word, bool hasParameter, int parameter);
    void betweenParagraphs(Word word, bool on);
    void insideParagraph(Word word, bool on);
    void textCharacter(char16_t c);
    void appendTextRun();
    void skipOutsideDocument();

    void openParagraph();
    void closeParagraph();
    void openInline(Inline kind, std::size_t depth);
    void closeUpTo(Inline first, Inline second);
    void forgetFormat(Inline kind);

    void startElement(const XMLCh* name);
    void endElement(const XMLCh* name);
    void flush();

    const StyleSheet& styles_;
    const std::u16string& in_;
    xercesc::ContentHandler& target_;
    std::ostream& diagnostics_;
    xercesc::VecAttributesImpl noAttributes_;

    std::size_t pos_ = 0;
    std::vector<GroupState> stack_;
    GroupState current_;
    bool bodyStarted_ = false;
    bool paragraphOpen_ = false;
    const ParagraphStyle* paragraph_ = nullptr;  // style of the open paragraph
    FormatList open_;     // open inline elements, depths never decreasing
    FormatList carried_;  // closed by "\par", opened again in the next paragraph
    int fallbackLeft_ = 0;  // characters after "\u" still to skip
    rtf::FontCodePages codePages_;
    int pendingLead_ = -1;   // first byte of a two-byte character, until its second
    std::u16string text_;
};

void Scanner::run() {
    target_.startDocument();
    startElement(asXml(u"body"));
    skipOutsideDocument();
    const std::size_t n = in_.size();
    while (pos_ < n) {
        const char16_t c = in_[pos_];
        switch (c) {
        case u'\r':
        case u'\n':
            ++pos_;
            break;
        case u'{':
            ++pos_;
            push();
            break;
        case u'}':
            ++pos_;
            pop();
            break;
        case u'\\':
            readControl();
            break;
        default:
            ++pos_;
            if (c < 0x20) break;  // neither text nor a fallback character
            if (fallbackLeft_ > 0) {
                --fallbackLeft_;
                current_.fresh = false;
                break;
            }
            if (pendingLead_ >= 0) {
                // Producers may leave the second byte of a pair as it is
                // when it is a printable ASCII character.
                if (c >= 0x40 && c < 0x7F) {
                    byteCharacter(c);
                    break;
                }
                endPendingLead();
            }
            textCharacter(c);
            if (!current_.skip) appendTextRun();
            break;
        }
    }
    // Whatever is still open is closed, so the target always sees a
    // complete document; the last paragraph keeps its text.
    endPendingLead();
    if (paragraphOpen_) closeParagraph();
    endElement(asXml(u"body"));
    target_.endDocument();
    if (!stack_.empty()) diagnostics_ << "Error, unmatched brace\n";
}

void Scanner::skipOutsideDocument() {
    // Only a real document is looked for: fragments without "{\rtf" (and a
    // "\{" that is text) are read from their first character.
    std::size_t first = 0;
    for (;; ++first) {
        first = in_.find(u"{\\rtf", first);
        if (first == std::u16string::npos) return;
        std::size_t slashes = 0;
        while (slashes < first && in_[first - slashes - 1] == u'\\') ++slashes;
        if (slashes % 2 == 0) break;
    }
    bool text = false;
    for (std::size_t i = 0; i < first; ++i)
        if (in_[i] > u' ') text = true;
    pos_ = first;
    if (text) diagnostics_ << "Error, text outside the document group\n";
}

// Plain text mostly comes in long runs between control words: take the
// rest of the run in one append instead of character by character.
void Scanner::appendTextRun() {
    const std::size_t n = in_.size();
    const std::size_t start = pos_;
    while (pos_ < n) {
        const char16_t c = in_[pos_];
        if (c < 0x20 || c == u'\\' || c == u'{' || c == u'}' || c >= 0xFFFE) break;
        ++pos_;
    }
    text_.append(in_, start, pos_ - start);
}

void Scanner::push() {
    fallbackLeft_ = 0;
    endPendingLead();
    stack_.push_back(current_);
    current_.fresh = true;
}

void Scanner::pop() {
    fallbackLeft_ = 0;
    endPendingLead();
    if (stack_.empty()) {
        diagnostics_ << "Error, stack underflow\n";
        return;
    }
    const std::size_t outer = depth() - 1;
    while (!open_.empty() && open_.back().depth > outer) {
        const Inline kind = open_.back().kind;
        open_.popBack();
        endElement(inlineName(kind));
    }
    carried_.dropDeeperThan(outer);
    current_ = stack_.back();
    stack_.pop_back();
}

void Scanner::readControl() {
    const std::size_t n = in_.size();
    ++pos_;  // the backslash
    if (pos_ >= n) return;
    const char16_t c = in_[pos_];
    if (!isAsciiLetter(c)) {
        ++pos_;
        if (c != u'\'') endPendingLead();
        switch (c) {
        case u'\\':
        case u'{':
        case u'}':
            symbolCharacter(c);
            break;
        case u'~':
            symbolCharacter(0x00A0);
            break;
        case u'\'':
            readHexSymbol();
            break;
        case u'*':
            if (current_.fresh) current_.skip = true;
            break;
        default:
            fallbackLeft_ = 0;
            current_.fresh = false;
            break;
        }
        return;
    }

    std::array<char, kMaxWordLength> name{};
    std::size_t length = 0;
    bool tooLong = false;
    while (pos_ < n && isAsciiLetter(in_[pos_])) {
        if (length < kMaxWordLength)
            name[length++] = static_cast<char>(in_[pos_]);
        else
            tooLong = true;
        ++pos_;
    }
    bool negative = false;
    if (pos_ < n && in_[pos_] == u'-') {
        negative = true;
        ++pos_;
        if (pos_ >= n) return;
    }
    bool hasParameter = false;
    long value = 0;
    while (pos_ < n && isDigit(in_[pos_])) {
        hasParameter = true;
        value = std::min(value * 10 + (in_[pos_] - u'0'), kMaxParameter);
        ++pos_;
    }
    if (pos_ < n && in_[pos_] == u' ') ++pos_;
    const Word word = tooLong ? Word::Unknown : rtf::lookupWord(std::string_view(name.data(), length));
    handleWord(word, hasParameter, static_cast<int>(negative ? -value : value));
}

void Scanner::readHexSymbol() {
    const std::size_t n = in_.size();
    int value = 0;
    int digits = 0;
    while (digits < 2 && pos_ < n) {
        const int h = rtf::hexValue(in_[pos_]);
        if (h < 0) break;
        value = value * 16 + h;
        ++digits;
        ++pos_;
    }
    if (digits == 0) return;  // "\'" without a byte: nothing to read
    if (fallbackLeft_ > 0) {
        symbolCharacter(0);  // a fallback byte, whatever it would read as
        return;
    }
    byteCharacter(static_cast<unsigned>(value));
}

// A byte of text in the code page of the current font, or of the document.
// Two-byte code pages need the byte after a lead byte before anything is
// known.
void Scanner::byteCharacter(unsigned byte) {
    const rtf::CodePage& page = codePages_.of(current_.font);
    if (pendingLead_ >= 0) {
        const unsigned lead = static_cast<unsigned>(pendingLead_);
        pendingLead_ = -1;
        symbolCharacter(page.pair(lead, byte));
        return;
    }
    if (page.isLead(byte)) {
        pendingLead_ = static_cast<int>(byte);
        current_.fresh = false;
        return;
    }
    symbolCharacter(page.bytes()[byte]);
}

// A lead byte that no second byte followed stands for nothing readable.
void Scanner::endPendingLead() {
    if (pendingLead_ < 0) return;
    pendingLead_ = -1;
    symbolCharacter(0xFFFD);
}

// A character written as a symbol: counts as one fallback character.
void Scanner::symbolCharacter(char16_t c) {
    if (fallbackLeft_ > 0) {
        --fallbackLeft_;
        current_.fresh = false;
        return;
    }
    if (c < 0x20) {
        current_.fresh = false;
        return;
    }
    textCharacter(c);
}

void Scanner::handleWord(Word word, bool hasParameter, int parameter) {
    // A control word where a fallback character was due means the producer
    // wrote none; the word is read normally.
    fallbackLeft_ = 0;
    endPendingLead();
    const bool fresh = current_.fresh;
    current_.fresh = false;

    switch (word) {
    case Word::Uc:
        current_.unicodeSkip = hasParameter ? std::max(parameter, 0) : 1;
        return;
    case Word::U: {
        if (!hasParameter) return;
        const long unit = parameter < 0 ? parameter + 65536L : parameter;
        char16_t c = (unit >= 0 && unit <= 0xFFFF) ? static_cast<char16_t>(unit) : char16_t(0xFFFD);
        if (c >= 0x20) textCharacter(c);
        fallbackLeft_ = current_.unicodeSkip;
        return;
    }
    case Word::Bin: {
        const std::size_t left = in_.size() - pos_;
        const std::size_t count = (hasParameter && parameter > 0) ? static_cast<std::size_t>(parameter) : 0;
        pos_ += std::min(count, left);
        return;
    }
    case Word::Destination:
        if (fresh) current_.skip = true;
        return;
    case Word::Fonttbl:
        if (fresh) {
            current_.skip = true;
            current_.fontTable = true;
        }
        return;
    case Word::Tab:
        textCharacter(u'\t');
        return;
    default:
        break;
    }
    if (current_.skip) {
        // A skipped group's words change nothing, but the font table's
        // words say which code page each font's bytes are in.
        if (current_.fontTable) codePages_.fontTableWord(word, hasParameter, parameter);
        return;
    }
    switch (word) {
    case Word::Ansicpg:
        if (hasParameter) codePages_.setDocumentCodePage(parameter);
        return;
    case Word::Deff:
        if (hasParameter) codePages_.setDefaultFont(parameter);
        return;
    case Word::F:
        current_.font = hasParameter ? parameter : -1;
        return;
    case Word::Plain:
        current_.font = -1;  // and the formats, below
        break;
    default:
        break;
    }

    if (!bodyStarted_) {
        if (word == Word::Pard || word == Word::Viewkind) bodyStarted_ = true;
        return;
    }
    // "\b", "\i", "\ul", "\strike": no parameter or one other than 0 means on.
    const bool on = !hasParameter || parameter != 0;
    if (!paragraphOpen_) {
        if (word == Word::S) current_.style = hasParameter ? parameter : 0;
        else betweenParagraphs(word, on);
    } else {
        insideParagraph(word, on);
    }
}

void Scanner::betweenParagraphs(Word word, bool on) {
    const std::size_t d = depth();
    auto set = [&](Inline kind, bool value) {
        if (value) current_.startFormats.add(kind, d);
        else forgetFormat(kind);
    };
    switch (word) {
    case Word::B: set(Inline::B, on); break;
    case Word::I: set(Inline::I, on); break;
    case Word::Ul: set(Inline::U, on); break;
    case Word::Ulnone: set(Inline::U, false); break;
    case Word::Strike: set(Inline::Strike, on); break;
    case Word::Super: set(Inline::Sup, true); break;
    case Word::Sub: set(Inline::Sub, true); break;
    case Word::Nosupersub:
        forgetFormat(Inline::Sup);
        forgetFormat(Inline::Sub);
        break;
    case Word::Plain:
        current_.startFormats.clear();
        carried_.clear();
        break;
    default:
        break;  // "\par", "\pard" and the rest: an empty paragraph leaves nothing
    }
}

void Scanner::insideParagraph(Word word, bool on) {
    const std::size_t d = depth();
    switch (word) {
    case Word::Par:
        closeParagraph();
        break;
    case Word::B:
        if (on) openInline(Inline::B, d); else closeUpTo(Inline::B, Inline::B);
        break;
    case Word::I:
        if (on) openInline(Inline::I, d); else closeUpTo(Inline::I, Inline::I);
        break;
    case Word::Strike:
        if (on) openInline(Inline::Strike, d); else closeUpTo(Inline::Strike, Inline::Strike);
        break;
    case Word::Ul:
        if (on) openInline(Inline::U, d); else closeUpTo(Inline::U, Inline::U);
        break;
    case Word::Ulnone:
        closeUpTo(Inline::U, Inline::U);
        break;
    case Word::Super:
        openInline(Inline::Sup, d);
        break;
    case Word::Sub:
        openInline(Inline::Sub, d);
        break;
    case Word::Nosupersub:
        closeUpTo(Inline::Sup, Inline::Sub);
        break;
    case Word::Plain:
        while (!open_.empty()) {
            const Inline kind = open_.back().kind;
            open_.popBack();
            endElement(inlineName(kind));
        }
        break;
    default:
        break;
    }
}

void Scanner::textCharacter(char16_t c) {
    current_.fresh = false;
    if (current_.skip) return;
    if (!paragraphOpen_) openParagraph();
    if (c == 0xFFFE || c == 0xFFFF) c = 0xFFFD;  // not storable in XML
    text_.push_back(c);
}

void Scanner::openParagraph() {
    bodyStarted_ = true;
    if (current_.style < 0) current_.style = 0;
    const ParagraphStyle& style = styles_.style(current_.style);

    // Formats given before the first character come outside the carried
    // ones; both keep the order they were given in. A stable sort by depth
    // keeps elements of outer groups outside those of inner ones, so a
    // closing brace only ever has to end the innermost elements.
    FormatList start;
    const FormatList& given = current_.startFormats;
    for (std::size_t i = 0; i < given.size(); ++i) {
        const Inline kind = given[i].kind;
        if ((kind == Inline::B && style.bold()) || (kind == Inline::I && style.italic()) ||
            (kind == Inline::U && style.underline()) || carried_.contains(kind))
            continue;
        start.add(kind, given[i].depth);
    }
    std::array<Format, kInlineKinds> order{};
    std::size_t count = 0;
    for (std::size_t i = 0; i < start.size(); ++i) order[count++] = start[i];
    for (std::size_t i = 0; i < carried_.size(); ++i) order[count++] = carried_[i];
    std::stable_sort(order.begin(), order.begin() + count,
                     [](const Format& a, const Format& b) { return a.depth < b.depth; });

    startElement(asXml(style.tag().c_str()));
    paragraph_ = &style;
    paragraphOpen_ = true;
    carried_.clear();
    for (std::size_t i = 0; i < count; ++i) openInline(order[i].kind, order[i].depth);
}

void Scanner::closeParagraph() {
    carried_ = open_;
    while (!open_.empty()) {
        const Inline kind = open_.back().kind;
        open_.popBack();
        endElement(inlineName(kind));
    }
    endElement(asXml(paragraph_->tag().c_str()));
    paragraphOpen_ = false;
    paragraph_ = nullptr;
    current_.startFormats.clear();
    current_.style = -1;
}

void Scanner::openInline(Inline kind, std::size_t depth) {
    // Formats are states, not counts: "\b" inside bold text changes nothing,
    // and one "\b0" then ends the bold run.
    if (open_.contains(kind)) return;
    startElement(inlineName(kind));
    open_.add(kind, depth);
}

void Scanner::closeUpTo(Inline first, Inline second) {
    // Only elements of the current group can be closed, and only when the
    // named one is among them: a stray closing word never ends other formats.
    const std::size_t d = depth();
    std::size_t i = open_.size();
    bool found = false;
    while (i > 0 && open_[i - 1].depth == d) {
        --i;
        if (open_[i].kind == first || open_[i].kind == second) {
            found = true;
            break;
        }
    }
    if (!found) return;
    while (open_.size() > i) {
        const Inline kind = open_.back().kind;
        open_.popBack();
        endElement(inlineName(kind));
    }
}

// Between paragraphs a closing word cancels the format for the next
// paragraph, whether it was given there or carried over.
void Scanner::forgetFormat(Inline kind) {
    current_.startFormats.remove(kind);
    carried_.remove(kind);
}

void Scanner::startElement(const XMLCh* name) {
    flush();
    target_.startElement(asXml(kXhtmlNamespace), name, name, noAttributes_);
}

void Scanner::endElement(const XMLCh* name) {
    flush();
    target_.endElement(asXml(kXhtmlNamespace), name, name);
}

void Scanner::flush() {
    if (text_.empty()) return;
    // A lone surrogate cannot be written to the page file; pairs given as
    // two "\u" words stay together.
    const std::size_t n = text_.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t c = text_[i];
        if (isHighSurrogate(c) && i + 1 < n && isLowSurrogate(text_[i + 1])) {
            ++i;
        } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
            text_[i] = 0xFFFD;
        }
    }
    target_.characters(asXml(text_.data()), text_.size());
    text_.clear();
}

}  // namespace

RtfReader::RtfReader(const StyleSheet& styleSheet) : styleSheet_(styleSheet), diagnostics_(&std::cout) {}

void RtfReader::run(xercesc::ContentHandler& target) {
    Scanner scanner(styleSheet_, input_, target, *diagnostics_);
    scanner.run();
}

}  // namespace tavix
