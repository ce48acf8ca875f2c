#pragma once
// The lexical side of the editor's RTF as the reader sees it: which control
// words mean something, and the code page of "\'hh" symbols.
#include <array>
#include <cstdint>
#include <map>
#include <string_view>
#include <vector>

namespace tavix::rtf {

enum class Word : std::uint8_t {
    Unknown, Destination, Par, Pard, Viewkind, S, B, I, Ul, Ulnone, Strike,
    Super, Sub, Nosupersub, U, Uc, Bin, Tab, Ansicpg, Plain,
    Fonttbl, F, Fcharset, Cpg, Deff,
};

// The meaning of a control word (ASCII letters, case-sensitive); Unknown for
// every word the reader gives no meaning to. Destination covers the groups
// whose text is never page text (font table, style sheet, document
// information, pictures, headers, footers, notes, ...).
Word lookupWord(std::string_view name);

// A byte of Windows code page 1252 as UTF-16. The five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) keep their own value.
char16_t fromCp1252(unsigned byte);

// A single-byte Windows code page as a table of its 256 bytes in UTF-16.
// 1252 and the code pages other programs write ("\ansicpg" 874 and 1250 to
// 1258, and those of CodePage below) are known; every other number gives
// the 1252 table, so "\'hh" is never lost. Bytes a code page leaves
// undefined (and the lead bytes of a two-byte code page) keep their own
// value.
using CodePageTable = std::array<char16_t, 256>;
const CodePageTable& codePageTable(int codePage);

// A code page as the reader needs it: the single-byte table, and for the
// East Asian code pages (932, 936, 949, 950, 1361) which bytes lead a
// two-byte character and what each pair stands for. The Macintosh code
// page is 10000. Unknown numbers give 1252, as above.
class CodePage {
public:
    const CodePageTable& bytes() const { return bytes_; }
    bool isLead(unsigned byte) const { return !pairs_.empty() && lead_[byte & 0xFF]; }
    // The character of a lead byte and the byte after it; U+FFFD when the
    // pair stands for nothing.
    char16_t pair(unsigned lead, unsigned trail) const;

private:
    friend const CodePage& codePage(int number);
    CodePageTable bytes_{};
    std::array<bool, 256> lead_{};
    std::vector<char16_t> pairs_;  // 256 * lead + trail, for lead bytes
};
const CodePage& codePage(int number);

// The code page of a font table's "\fcharsetN", 0 when the charset has
// none of its own and the document's code page applies (1 "default", 2
// "symbol", whose fonts draw their own glyphs for bytes, and numbers no
// program writes).
int codePageOfCharset(int charset);

// Which code page the "\'hh" bytes of a font are in: the font's own when
// the font table gives it one ("\fcharset", or "\cpg", which wins being
// the more precise), else the document's ("\ansicpg", 1252 by default).
class FontCodePages {
public:
    void setDocumentCodePage(int number);
    void setDefaultFont(int font) { defaultFont_ = font; }
    // A word read inside the font table: "\fN" starts the entry of font N,
    // "\fcharset" and "\cpg" give its code page.
    void fontTableWord(Word word, bool hasParameter, int parameter);
    // The code page of a font; -1 is the default font ("\deff").
    const CodePage& of(int font);

private:
    const CodePage* document_ = &codePage(1252);
    std::map<int, const CodePage*> fonts_;
    int defined_ = -1;  // the font table entry being read
    bool definedByCpg_ = false;
    int defaultFont_ = -1;
    int cachedFont_ = -2;  // of(cachedFont_) is *cached_, unless cached_ is null
    const CodePage* cached_ = nullptr;
};

// 0..15 for a hexadecimal digit, -1 otherwise.
int hexValue(char16_t c);

}  // namespace tavix::rtf
