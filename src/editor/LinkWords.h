#pragma once
// Words and link words: the rules by which text written in mixed capitals
// (FrontPage, ShoppingList) becomes a link to the page of that name. Pure
// text functions over UTF-16, shared by the editor's link marking and the
// seed text of searches.
//
// A word is a maximal run of letters and digits. Letters and digits are
// judged by Unicode, not only ASCII: accented and non-Latin letters belong to
// words, so "CaféBar" is one word. Characters outside the Basic Multilingual
// Plane are judged as whole code points (both halves of a surrogate pair
// belong to the word or neither does). The link-word test itself looks only
// at ASCII letters: "ÉcoleNormale" is a word but not a link word.
#include <cstddef>
#include <string_view>

namespace tavix {

// True when the code point is a letter or digit. Uses the C library's
// wide-character classification under a UTF-8 locale object (never the
// process locale, so the answer does not depend on the user's settings);
// if no UTF-8 locale can be made, ASCII and Latin-1 letters and digits
// count, plus every code point from U+0100 that is not punctuation or space
// of the General Punctuation and CJK Symbols blocks.
bool isWordCodePoint(char32_t codePoint);

// Length in code units (1 or 2) of a letter or digit starting at text[pos],
// or 0 when the character there is not one (or pos is past the end). An
// unpaired surrogate is never a word character.
std::size_t wordCharLength(std::u16string_view text, std::size_t pos);

// [from, to) widened to whole words: from moves back and to forward over
// letters and digits, so that the words of the result are exactly the words
// of text that touch [from, to). Bounds are clamped to the text.
struct TextSpan {
    std::size_t start = 0;
    std::size_t end = 0;
};
TextSpan wordsAround(std::u16string_view text, std::size_t from, std::size_t to);

// Walks the words of a string in order. After construction (or Reset) it
// stands on the first word; AtEnd() tells when there is none left, and then
// Start() and Length() are both 0. The tokenizer keeps a view: the text must
// outlive it.
class WordTokenizer {
public:
    WordTokenizer() = default;
    explicit WordTokenizer(std::u16string_view text) { Reset(text); }

    // Starts over on a new string, standing on its first word.
    void Reset(std::u16string_view text);
    // Moves to the next word; returns false (and stands at the end) when
    // there is none.
    bool Advance();

    bool AtEnd() const { return length_ == 0; }
    std::size_t Start() const { return start_; }
    std::size_t Length() const { return length_; }
    std::u16string_view Word() const { return text_.substr(start_, length_); }

private:
    std::u16string_view text_;
    std::size_t start_ = 0;
    std::size_t length_ = 0;
};

// The link-word test on chars[start, start + length): at least 4 code
// units; the first an ASCII capital A-Z, the second an ASCII small letter
// a-z; and at some position i >= 2 inside the word an A-Z directly followed
// by an a-z. A range reaching past the end of chars is never a link word.
bool IsLinkWord(std::u16string_view chars, std::size_t start, std::size_t length);
inline bool IsLinkWord(std::u16string_view word) { return IsLinkWord(word, 0, word.size()); }

}  // namespace tavix
