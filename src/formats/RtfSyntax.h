#pragma once
// The lexical side of the editor's RTF as the reader sees it: which control
// words mean something, and the code page of "\'hh" symbols.
#include <array>
#include <cstdint>
#include <string_view>

namespace tavix::rtf {

enum class Word : std::uint8_t {
    Unknown, Destination, Par, Pard, Viewkind, S, B, I, Ul, Ulnone, Strike,
    Super, Sub, Nosupersub, U, Uc, Bin, Tab, Ansicpg, Plain,
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
// 1258) are known; every other number gives the 1252 table, so "\'hh" is
// never lost. Bytes a code page leaves undefined keep their own value.
using CodePageTable = std::array<char16_t, 256>;
const CodePageTable& codePageTable(int codePage);

// 0..15 for a hexadecimal digit, -1 otherwise.
int hexValue(char16_t c);

}  // namespace tavix::rtf
