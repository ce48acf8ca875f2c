#pragma once
// Conversions between the system's wide strings (UTF-16) and the byte
// encodings used on disk. Nothing here depends on the process locale.
#include <string>
#include <string_view>

namespace tavix {

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string toUtf8(std::u16string_view text);

// Appends one code point (up to U+10FFFF) as UTF-8; the caller keeps
// surrogates out.
void appendUtf8(char32_t cp, std::string& out);

// UTF-8 to UTF-16. Malformed sequences become U+FFFD, one per bad byte.
std::u16string fromUtf8(std::string_view bytes);

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates).
bool isValidUtf8(std::string_view bytes);

// ISO 8859-1: each byte is the code point of the same value.
std::u16string fromLatin1(std::string_view bytes);

// True for the upper-case letters (Unicode general category Lu, Unicode 14)
// of the Basic Multilingual Plane. A fixed table rather than the C library's
// classification, so page titles never depend on the locale a user runs in.
// Surrogate code units are never upper case.
bool isUpperCase(char16_t c);

}  // namespace tavix
