#include "index/LinkRewriter.h"

#include <algorithm>
#include <vector>

#include "editor/LinkWords.h"
#include "formats/XhtmlEntities.h"
#include "formats/XmlSupport.h"
#include "index/ShownText.h"
#include "store/Notebook.h"
#include "store/TextCodec.h"

namespace tavix {

namespace {

using detail::kNoOrigin;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::size_t utf8Length(unsigned char lead) {
    return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

void appendCodePoint(char32_t c, std::uint32_t origin, std::u16string& text,
                     std::vector<std::uint32_t>& origins) {
    if (c >= 0x10000) {
        text.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
        text.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        origins.push_back(origin);
        origins.push_back(origin);
    } else {
        text.push_back(static_cast<char16_t>(c));
        origins.push_back(origin);
    }
}

// Reads the text of a page file the way the parser does, as far as the page
// is concerned (character data, CDATA, references, tags and the attributes
// of meta elements), tracing every character to its byte. It expects a file
// the parser has read completely: anything it does not follow makes it give
// up, and whatever it got wrong the comparison with the parser's reading
// finds.
class Lexer {
public:
    Lexer(std::string_view bytes, detail::TracedText& out) : s_(bytes), out_(out) {}

    bool run() {
        builder_.start(out_.text, &out_);
        builder_.startDocument();
        if (s_.substr(0, 3) == "\xEF\xBB\xBF")
            pos_ = 3;
        while (pos_ < s_.size()) {
            if (s_[pos_] != '<') {
                const std::size_t end = std::min(s_.find('<', pos_), s_.size());
                if (!text(pos_, end, false))
                    return false;
                pos_ = end;
            } else if (starts("<!--")) {
                if (!skipPast("-->"))
                    return false;
            } else if (starts("<?")) {
                if (!declaration())
                    return false;
            } else if (starts("<![CDATA[")) {
                const std::size_t from = pos_ + 9;
                const std::size_t end = s_.find("]]>", from);
                if (end == std::string_view::npos || !text(from, end, true))
                    return giveUp("an unterminated CDATA section");
                pos_ = end + 3;
            } else if (starts("<!DOCTYPE")) {
                if (!doctype())
                    return false;
            } else if (!tag()) {
                return false;
            }
        }
        return true;
    }

    const std::string& reason() const { return reason_; }

private:
    bool giveUp(std::string why) {
        reason_ = std::move(why);
        return false;
    }

    bool starts(std::string_view prefix) const {
        return s_.compare(pos_, prefix.size(), prefix) == 0;
    }

    bool skipPast(std::string_view end) {
        const std::size_t at = s_.find(end, pos_);
        if (at == std::string_view::npos)
            return giveUp("unterminated markup");
        pos_ = at + end.size();
        return true;
    }

    // "<?xml ... ?>" may name an encoding; bytes are only UTF-8 here.
    bool declaration() {
        const std::size_t end = s_.find("?>", pos_);
        if (end == std::string_view::npos)
            return giveUp("unterminated processing instruction");
        if (pos_ == 0 || (pos_ == 3 && s_.substr(0, 3) == "\xEF\xBB\xBF")) {
            std::string decl(s_.substr(pos_, end - pos_));
            for (char& c : decl)
                c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
            const std::size_t enc = decl.find("encoding");
            if (decl.rfind("<?xml", 0) == 0 && enc != std::string::npos &&
                decl.find("utf-8", enc) == std::string::npos)
                return giveUp("an encoding other than UTF-8");
        }
        pos_ = end + 2;
        return true;
    }

    bool doctype() {
        char quote = 0;
        bool subset = false;
        for (pos_ += 9; pos_ < s_.size(); ++pos_) {
            const char c = s_[pos_];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (subset && starts("<!--")) {
                if (!skipPast("-->"))
                    return false;
                --pos_;
            } else if (c == '[') {
                subset = true;
            } else if (c == ']') {
                subset = false;
            } else if (c == '>' && !subset) {
                ++pos_;
                return true;
            }
        }
        return giveUp("an unterminated document type declaration");
    }

    // A reference at pos_ ("&...;"): its characters, untraced.
    bool reference(std::u16string& text, std::vector<std::uint32_t>& origins) {
        const std::size_t end = s_.find(';', pos_);
        if (end == std::string_view::npos || end - pos_ > 40)
            return giveUp("a malformed reference");
        const std::string_view name = s_.substr(pos_ + 1, end - pos_ - 1);
        pos_ = end + 1;
        if (!name.empty() && name[0] == '#') {
            char32_t c = 0;
            const bool hex = name.size() > 1 && name[1] == 'x';
            for (std::size_t i = hex ? 2 : 1; i < name.size(); ++i) {
                const char d = name[i];
                const int v = d >= '0' && d <= '9'          ? d - '0'
                              : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                              : hex && d >= 'A' && d <= 'F' ? d - 'A' + 10
                                                            : -1;
                if (v < 0 || c > 0x10FFFF)
                    return giveUp("a malformed character reference");
                c = c * (hex ? 16 : 10) + static_cast<char32_t>(v);
            }
            if (c == 0 || c > 0x10FFFF)
                return giveUp("a malformed character reference");
            appendCodePoint(c, kNoOrigin, text, origins);
            return true;
        }
        static const std::pair<std::string_view, char16_t> predefined[] = {
            {"amp", u'&'}, {"lt", u'<'}, {"gt", u'>'}, {"quot", u'"'}, {"apos", u'\''}};
        for (const auto& [entity, c] : predefined) {
            if (name == entity) {
                appendCodePoint(c, kNoOrigin, text, origins);
                return true;
            }
        }
        const std::u16string_view named = xhtmlEntity(fromUtf8(name));
        if (named.empty())
            return giveUp("a reference to a declared entity");
        for (const char16_t c : named)
            appendCodePoint(c, kNoOrigin, text, origins);
        return true;
    }

    // Character data of [from, end): references resolved (unless cdata),
    // line ends normalised as the parser does.
    bool text(std::size_t from, std::size_t end, bool cdata) {
        std::u16string chars;
        std::vector<std::uint32_t> origins;
        for (pos_ = from; pos_ < end;) {
            const char c = s_[pos_];
            if (c == '&' && !cdata) {
                if (!reference(chars, origins))
                    return false;
            } else if (c == '\r') {
                appendCodePoint(u'\n', kNoOrigin, chars, origins);
                pos_ += pos_ + 1 < end && s_[pos_ + 1] == '\n' ? 2 : 1;
            } else {
                std::size_t length = 0;
                const char32_t cp = decodeAt(pos_, length);
                appendCodePoint(cp, static_cast<std::uint32_t>(pos_), chars, origins);
                pos_ += length;
            }
        }
        // Outside the root element there is no character data to report.
        if (depth_ > 0 && !chars.empty())
            builder_.characters(chars.data(), chars.size(), origins.data());
        return true;
    }

    char32_t decodeAt(std::size_t at, std::size_t& length) const {
        const auto lead = static_cast<unsigned char>(s_[at]);
        length = std::min(utf8Length(lead), s_.size() - at);
        char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (std::size_t i = 1; i < length; ++i)
            c = (c << 6) | (static_cast<unsigned char>(s_[at + i]) & 0x3F);
        return c;
    }

    std::size_t nameEnd(std::size_t from) const {
        std::size_t end = from;
        while (end < s_.size() && !isSpace(s_[end]) && s_[end] != '/' && s_[end] != '>' &&
               s_[end] != '=')
            ++end;
        return end;
    }

    void skipSpace() {
        while (pos_ < s_.size() && isSpace(s_[pos_]))
            ++pos_;
    }

    static std::u16string localName(std::string_view qualified) {
        const std::size_t colon = qualified.rfind(':');
        return fromUtf8(colon == std::string_view::npos ? qualified : qualified.substr(colon + 1));
    }

    bool tag() {
        const bool closing = starts("</");
        pos_ += closing ? 2 : 1;
        const std::size_t end = nameEnd(pos_);
        if (end == pos_)
            return giveUp("a tag without a name");
        const std::u16string local = localName(s_.substr(pos_, end - pos_));
        pos_ = end;
        if (closing) {
            skipSpace();
            if (pos_ >= s_.size() || s_[pos_] != '>')
                return giveUp("a malformed end tag");
            ++pos_;
            builder_.endElement(local);
            --depth_;
            return true;
        }
        std::u16string metaName;
        std::u16string metaContent;
        std::vector<std::uint32_t> contentOrigins;
        bool hasName = false;
        bool hasContent = false;
        for (;;) {
            skipSpace();
            if (pos_ >= s_.size())
                return giveUp("an unterminated tag");
            if (s_[pos_] == '>' || starts("/>"))
                break;
            const std::size_t attrEnd = nameEnd(pos_);
            const std::string_view attr = s_.substr(pos_, attrEnd - pos_);
            pos_ = attrEnd;
            skipSpace();
            if (attr.empty() || pos_ >= s_.size() || s_[pos_] != '=')
                return giveUp("a malformed attribute");
            ++pos_;
            skipSpace();
            if (pos_ >= s_.size() || (s_[pos_] != '"' && s_[pos_] != '\''))
                return giveUp("an unquoted attribute");
            const char quote = s_[pos_++];
            const std::size_t valueEnd = s_.find(quote, pos_);
            if (valueEnd == std::string_view::npos)
                return giveUp("an unterminated attribute");
            std::u16string value;
            std::vector<std::uint32_t> origins;
            if (!attributeValue(valueEnd, value, origins))
                return false;
            pos_ = valueEnd + 1;
            if (attr == "name") {
                metaName = std::move(value);
                hasName = true;
            } else if (attr == "content") {
                metaContent = std::move(value);
                contentOrigins = std::move(origins);
                hasContent = true;
            }
        }
        const bool empty = s_[pos_] == '/';
        pos_ += empty ? 2 : 1;
        ++depth_;
        if (local == u"meta")
            builder_.startElement(local, hasName ? &metaName : nullptr,
                                  hasContent ? &metaContent : nullptr, &contentOrigins);
        else
            builder_.startElement(local, nullptr, nullptr, nullptr);
        if (empty) {
            builder_.endElement(local);
            --depth_;
        }
        return true;
    }

    // An attribute value up to end, normalised as the parser does: line
    // ends first, then every white-space character a blank.
    bool attributeValue(std::size_t end, std::u16string& value,
                        std::vector<std::uint32_t>& origins) {
        while (pos_ < end) {
            const char c = s_[pos_];
            if (c == '&') {
                if (!reference(value, origins))
                    return false;
            } else if (c == '\r' || c == '\n' || c == '\t') {
                appendCodePoint(u' ', kNoOrigin, value, origins);
                pos_ += c == '\r' && pos_ + 1 < end && s_[pos_ + 1] == '\n' ? 2 : 1;
            } else {
                std::size_t length = 0;
                const char32_t cp = decodeAt(pos_, length);
                appendCodePoint(cp, static_cast<std::uint32_t>(pos_), value, origins);
                pos_ += length;
            }
        }
        return true;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    int depth_ = 0;
    detail::TracedText& out_;
    detail::ShownTextBuilder builder_;
    std::string reason_;
};

struct Edit {
    std::size_t from = 0;
    std::size_t to = 0;
    std::string bytes;
};

// The edits that make each whole link word `from` of a traced stream read
// `to`; false (with why) when an occurrence is not all plain file text.
bool planWords(std::u16string_view stream, const std::vector<std::uint32_t>& origins,
               std::string_view file, const std::u16string& from, const std::u16string& to,
               std::vector<Edit>& edits, std::size_t& count, std::string& why) {
    for (WordTokenizer t(stream); !t.AtEnd(); t.Advance()) {
        if (t.Word() != from || !IsLinkWord(stream, t.Start(), t.Length()))
            continue;
        ++count;
        // The pieces of contiguous bytes the word is written in.
        struct Piece {
            std::size_t from, to, units;
        };
        std::vector<Piece> pieces;
        for (std::size_t k = t.Start(); k < t.Start() + t.Length();) {
            const std::uint32_t at = origins[k];
            if (at == kNoOrigin) {
                why = "a link to it is written with a character reference";
                return false;
            }
            const bool pair = stream[k] >= 0xD800 && stream[k] <= 0xDBFF;
            const std::size_t units = pair ? 2 : 1;
            const std::size_t bytes = utf8Length(static_cast<unsigned char>(file[at]));
            if (!pieces.empty() && pieces.back().to == at) {
                pieces.back().to += bytes;
                pieces.back().units += units;
            } else {
                pieces.push_back({at, at + bytes, units});
            }
            k += units;
        }
        std::size_t taken = 0;
        for (std::size_t p = 0; p < pieces.size(); ++p) {
            std::size_t n = p + 1 == pieces.size() ? to.size() - taken
                                                   : std::min(pieces[p].units, to.size() - taken);
            // Never cut a surrogate pair in two.
            if (n > 0 && taken + n < to.size() && to[taken + n - 1] >= 0xD800 &&
                to[taken + n - 1] <= 0xDBFF)
                ++n;
            edits.push_back(
                {pieces[p].from, pieces[p].to, toUtf8(std::u16string_view(to).substr(taken, n))});
            taken += n;
        }
    }
    return true;
}

std::u16string replaceWords(std::u16string_view stream, const std::u16string& from,
                            const std::u16string& to) {
    std::u16string out;
    std::size_t copied = 0;
    for (WordTokenizer t(stream); !t.AtEnd(); t.Advance()) {
        if (t.Word() != from || !IsLinkWord(stream, t.Start(), t.Length()))
            continue;
        out.append(stream.substr(copied, t.Start() - copied));
        out += to;
        copied = t.Start() + t.Length();
    }
    out.append(stream.substr(copied));
    return out;
}

}  // namespace

Status rewriteLinkWord(std::string_view fileText, const std::u16string& from,
                       const std::u16string& to, bool retitle, PageTextReader& reader,
                       LinkRewrite& out) {
    out = LinkRewrite{};
    if (!IsLinkWord(from) || !IsLinkWord(to))
        return Status::failure("not a link word");
    PageText before;
    const ParseResult read = reader.read(fileText, u"page", before);
    if (!read.ok)
        return Status::failure("the file is damaged (" + read.message + ")");
    if (fileText.size() >= kNoOrigin)
        return Status::failure("the file is too large");
    if (!isValidUtf8(fileText))
        return Status::failure("the file is not UTF-8");

    detail::TracedText traced;
    Lexer lexer(fileText, traced);
    if (!lexer.run())
        return Status::failure("it holds " + lexer.reason());
    if (traced.text.body != before.body || traced.text.keywords != before.keywords ||
        traced.text.title != before.title)
        return Status::failure("it is written in a way the rename cannot follow");

    std::vector<Edit> edits;
    std::size_t count = 0;
    std::string why;
    if (!planWords(traced.text.body, traced.body, fileText, from, to, edits, count, why) ||
        !planWords(traced.text.keywords, traced.keywords, fileText, from, to, edits, count, why))
        return Status::failure(why);
    std::u16string expectedTitle = before.title;
    if (retitle && !traced.title.empty() && before.title == Notebook::titleFromName(from)) {
        // Only a title written as plain, unbroken text is replaced.
        bool plain = true;
        for (std::size_t k = 1; k < traced.title.size() && plain; ++k)
            plain = traced.title[k] != kNoOrigin && traced.title[k] >= traced.title[k - 1];
        const std::uint32_t first = traced.title.front();
        const std::uint32_t last = traced.title.back();
        if (plain && first != kNoOrigin) {
            const std::size_t end = last + utf8Length(static_cast<unsigned char>(fileText[last]));
            if (fromUtf8(fileText.substr(first, end - first)) == before.title) {
                expectedTitle = Notebook::titleFromName(to);
                edits.push_back({first, end, toUtf8(escapeCharData(expectedTitle))});
                out.retitled = true;
            }
        }
    }
    if (edits.empty()) {
        out.text = std::string(fileText);
        out.shown = std::move(before);
        return Status::success();
    }
    std::sort(edits.begin(), edits.end(),
              [](const Edit& a, const Edit& b) { return a.from < b.from; });
    std::string text;
    text.reserve(fileText.size() + edits.size() * (to.size() + 8));
    std::size_t copied = 0;
    for (const Edit& edit : edits) {
        if (edit.from < copied)
            return Status::failure("it is written in a way the rename cannot follow");
        text.append(fileText.substr(copied, edit.from - copied));
        text += edit.bytes;
        copied = edit.to;
    }
    text.append(fileText.substr(copied));

    // The proof: the parser reads the new text as the old one with exactly
    // those words (and title) replaced.
    PageText after;
    const ParseResult again = reader.read(text, u"page", after);
    if (!again.ok || after.body != replaceWords(before.body, from, to) ||
        after.keywords != replaceWords(before.keywords, from, to) || after.title != expectedTitle)
        return Status::failure("the rewritten page would not read back as expected");
    out.text = std::move(text);
    out.replaced = count;
    out.shown = std::move(after);
    return Status::success();
}

}  // namespace tavix
