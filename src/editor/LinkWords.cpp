#include "editor/LinkWords.h"

#include <algorithm>

#include <locale.h>
#include <wctype.h>

namespace tavix {

namespace {

// A UTF-8 locale object made once and kept for the process; the process
// locale itself stays whatever the program or the user set.
locale_t utf8Locale() {
    static const locale_t loc = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8", "en_US.utf8"}) {
            if (locale_t l = newlocale(LC_CTYPE_MASK, name, locale_t(0)))
                return l;
        }
        return locale_t(0);
    }();
    return loc;
}

bool fallbackIsWord(char32_t c) {
    if (c < 0x80)
        return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
    if (c < 0x100)
        return c >= 0xC0 && c != 0xD7 && c != 0xF7;
    if (c >= 0x2000 && c <= 0x206F)  // General Punctuation (spaces, dashes, quotes)
        return false;
    if (c >= 0x3000 && c <= 0x303F)  // CJK symbols and punctuation
        return false;
    if (c >= 0xD800 && c <= 0xDFFF)
        return false;
    return true;
}

bool isAsciiUpper(char16_t c) { return c >= u'A' && c <= u'Z'; }
bool isAsciiLower(char16_t c) { return c >= u'a' && c <= u'z'; }

}  // namespace

bool isWordCodePoint(char32_t c) {
    if (c < 0x80)  // the common case, without a library call
        return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return false;
    if (locale_t loc = utf8Locale())
        return iswalnum_l(static_cast<wint_t>(c), loc) != 0;
    return fallbackIsWord(c);
}

std::size_t wordCharLength(std::u16string_view text, std::size_t pos) {
    if (pos >= text.size())
        return 0;
    const char16_t c = text[pos];
    if (c >= 0xD800 && c <= 0xDBFF) {
        if (pos + 1 < text.size()) {
            const char16_t low = text[pos + 1];
            if (low >= 0xDC00 && low <= 0xDFFF) {
                const char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (char32_t(low) - 0xDC00);
                return isWordCodePoint(cp) ? 2 : 0;
            }
        }
        return 0;
    }
    return isWordCodePoint(c) ? 1 : 0;
}

void WordTokenizer::Reset(std::u16string_view text) {
    text_ = text;
    start_ = 0;
    length_ = 0;
    Advance();
}

bool WordTokenizer::Advance() {
    std::size_t pos = start_ + length_;
    // Skip separators; a character that is not a word character is skipped
    // whole (a surrogate pair counts as one).
    while (pos < text_.size()) {
        if (wordCharLength(text_, pos) != 0)
            break;
        const char16_t c = text_[pos];
        const bool pair = c >= 0xD800 && c <= 0xDBFF && pos + 1 < text_.size() &&
                          text_[pos + 1] >= 0xDC00 && text_[pos + 1] <= 0xDFFF;
        pos += pair ? 2 : 1;
    }
    if (pos >= text_.size()) {
        start_ = 0;
        length_ = 0;
        return false;
    }
    std::size_t end = pos;
    while (std::size_t n = wordCharLength(text_, end))
        end += n;
    start_ = pos;
    length_ = end - pos;
    return true;
}

TextSpan wordsAround(std::u16string_view text, std::size_t from, std::size_t to) {
    to = std::min(to, text.size());
    from = std::min(from, to);
    while (from > 0) {
        const char16_t c = text[from - 1];
        if (c >= 0xDC00 && c <= 0xDFFF && from >= 2 && text[from - 2] >= 0xD800 && text[from - 2] <= 0xDBFF) {
            if (wordCharLength(text, from - 2) != 2)
                break;
            from -= 2;
        } else if (wordCharLength(text, from - 1) == 1) {
            from -= 1;
        } else {
            break;
        }
    }
    while (to < text.size()) {
        const std::size_t n = wordCharLength(text, to);
        if (n == 0)
            break;
        to += n;
    }
    return TextSpan{from, to};
}

bool IsLinkWord(std::u16string_view chars, std::size_t start, std::size_t length) {
    if (length < 4 || start > chars.size() || length > chars.size() - start)
        return false;
    const char16_t* w = chars.data() + start;
    if (!isAsciiUpper(w[0]) || !isAsciiLower(w[1]))
        return false;
    for (std::size_t i = 2; i + 1 < length; ++i) {
        if (isAsciiUpper(w[i]) && isAsciiLower(w[i + 1]))
            return true;
    }
    return false;
}

}  // namespace tavix
