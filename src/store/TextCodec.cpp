#include "store/TextCodec.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace tavix {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool isHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }


// Decodes one well-formed sequence at bytes[pos]. Returns its length, or 0
// when the bytes there are not well-formed UTF-8 (overlong forms, surrogates
// and values above U+10FFFF included).
std::size_t decodeOne(std::string_view bytes, std::size_t pos, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(bytes[pos]);
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    std::size_t length;
    char32_t minimum;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        cp = b0 & 0x1F;
        minimum = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        cp = b0 & 0x0F;
        minimum = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        cp = b0 & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (pos + length > bytes.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(bytes[pos + i]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

// Upper-case letters of the BMP as runs: every step-th code point from
// first to last. Generated from the Unicode 14 character database (Lu).
struct UpperRun {
    char16_t first;
    char16_t last;
    unsigned char step;
};

constexpr UpperRun kUpperRuns[] = {
    {0x0041, 0x005A, 1}, {0x00C0, 0x00D6, 1}, {0x00D8, 0x00DE, 1}, {0x0100, 0x0136, 2},
    {0x0139, 0x0147, 2}, {0x014A, 0x0178, 2}, {0x0179, 0x017D, 2}, {0x0181, 0x0182, 1},
    {0x0184, 0x0186, 2}, {0x0187, 0x0189, 2}, {0x018A, 0x018B, 1}, {0x018E, 0x0191, 1},
    {0x0193, 0x0194, 1}, {0x0196, 0x0198, 1}, {0x019C, 0x019D, 1}, {0x019F, 0x01A0, 1},
    {0x01A2, 0x01A6, 2}, {0x01A7, 0x01A9, 2}, {0x01AC, 0x01AE, 2}, {0x01AF, 0x01B1, 2},
    {0x01B2, 0x01B3, 1}, {0x01B5, 0x01B7, 2}, {0x01B8, 0x01B8, 1}, {0x01BC, 0x01BC, 1},
    {0x01C4, 0x01C4, 1}, {0x01C7, 0x01C7, 1}, {0x01CA, 0x01CA, 1}, {0x01CD, 0x01DB, 2},
    {0x01DE, 0x01EE, 2}, {0x01F1, 0x01F1, 1}, {0x01F4, 0x01F6, 2}, {0x01F7, 0x01F8, 1},
    {0x01FA, 0x0232, 2}, {0x023A, 0x023B, 1}, {0x023D, 0x023E, 1}, {0x0241, 0x0243, 2},
    {0x0244, 0x0246, 1}, {0x0248, 0x024E, 2}, {0x0370, 0x0372, 2}, {0x0376, 0x0376, 1},
    {0x037F, 0x037F, 1}, {0x0386, 0x0388, 2}, {0x0389, 0x038A, 1}, {0x038C, 0x038E, 2},
    {0x038F, 0x0391, 2}, {0x0392, 0x03A1, 1}, {0x03A3, 0x03AB, 1}, {0x03CF, 0x03CF, 1},
    {0x03D2, 0x03D4, 1}, {0x03D8, 0x03EE, 2}, {0x03F4, 0x03F4, 1}, {0x03F7, 0x03F9, 2},
    {0x03FA, 0x03FA, 1}, {0x03FD, 0x042F, 1}, {0x0460, 0x0480, 2}, {0x048A, 0x04C0, 2},
    {0x04C1, 0x04CD, 2}, {0x04D0, 0x052E, 2}, {0x0531, 0x0556, 1}, {0x10A0, 0x10C5, 1},
    {0x10C7, 0x10C7, 1}, {0x10CD, 0x10CD, 1}, {0x13A0, 0x13F5, 1}, {0x1C90, 0x1CBA, 1},
    {0x1CBD, 0x1CBF, 1}, {0x1E00, 0x1E94, 2}, {0x1E9E, 0x1EFE, 2}, {0x1F08, 0x1F0F, 1},
    {0x1F18, 0x1F1D, 1}, {0x1F28, 0x1F2F, 1}, {0x1F38, 0x1F3F, 1}, {0x1F48, 0x1F4D, 1},
    {0x1F59, 0x1F5F, 2}, {0x1F68, 0x1F6F, 1}, {0x1FB8, 0x1FBB, 1}, {0x1FC8, 0x1FCB, 1},
    {0x1FD8, 0x1FDB, 1}, {0x1FE8, 0x1FEC, 1}, {0x1FF8, 0x1FFB, 1}, {0x2102, 0x2102, 1},
    {0x2107, 0x2107, 1}, {0x210B, 0x210D, 1}, {0x2110, 0x2112, 1}, {0x2115, 0x2115, 1},
    {0x2119, 0x211D, 1}, {0x2124, 0x212A, 2}, {0x212B, 0x212D, 1}, {0x2130, 0x2133, 1},
    {0x213E, 0x213F, 1}, {0x2145, 0x2145, 1}, {0x2183, 0x2183, 1}, {0x2C00, 0x2C2F, 1},
    {0x2C60, 0x2C62, 2}, {0x2C63, 0x2C64, 1}, {0x2C67, 0x2C6D, 2}, {0x2C6E, 0x2C70, 1},
    {0x2C72, 0x2C72, 1}, {0x2C75, 0x2C75, 1}, {0x2C7E, 0x2C80, 1}, {0x2C82, 0x2CE2, 2},
    {0x2CEB, 0x2CED, 2}, {0x2CF2, 0x2CF2, 1}, {0xA640, 0xA66C, 2}, {0xA680, 0xA69A, 2},
    {0xA722, 0xA72E, 2}, {0xA732, 0xA76E, 2}, {0xA779, 0xA77D, 2}, {0xA77E, 0xA786, 2},
    {0xA78B, 0xA78D, 2}, {0xA790, 0xA792, 2}, {0xA796, 0xA7AA, 2}, {0xA7AB, 0xA7AE, 1},
    {0xA7B0, 0xA7B4, 1}, {0xA7B6, 0xA7C4, 2}, {0xA7C5, 0xA7C7, 1}, {0xA7C9, 0xA7C9, 1},
    {0xA7D0, 0xA7D0, 1}, {0xA7D6, 0xA7D8, 2}, {0xA7F5, 0xA7F5, 1}, {0xFF21, 0xFF3A, 1},
};

}  // namespace

void appendUtf8(char32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string toUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (isHighSurrogate(c) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (isHighSurrogate(c) || isLowSurrogate(c)) {
            c = kReplacement;
        }
        appendUtf8(c, out);
    }
    return out;
}

std::u16string fromUtf8(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        char32_t cp = 0;
        const std::size_t length = decodeOne(bytes, pos, cp);
        if (length == 0) {
            out.push_back(kReplacement);
            ++pos;
            continue;
        }
        pos += length;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

bool isValidUtf8(std::string_view bytes) {
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        char32_t cp = 0;
        const std::size_t length = decodeOne(bytes, pos, cp);
        if (length == 0)
            return false;
        pos += length;
    }
    return true;
}

std::u16string fromLatin1(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (char b : bytes)
        out.push_back(static_cast<unsigned char>(b));
    return out;
}

bool isUpperCase(char16_t c) {
    if (c < 0x80)
        return c >= u'A' && c <= u'Z';
    // The runs are sorted and disjoint: find the last one starting at or before c.
    const auto next = std::upper_bound(std::begin(kUpperRuns), std::end(kUpperRuns), c,
                                       [](char16_t v, const UpperRun& r) { return v < r.first; });
    if (next == std::begin(kUpperRuns))
        return false;
    const UpperRun& run = *std::prev(next);
    return c <= run.last && (c - run.first) % run.step == 0;
}

}  // namespace tavix
