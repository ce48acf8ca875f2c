#include "formats/RtfSyntax.h"

#include <iconv.h>

#include <cerrno>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tavix::rtf {

namespace {

struct WordEntry {
    std::string_view name;
    Word word;
};

constexpr WordEntry kWords[] = {
    {"ansicpg", Word::Ansicpg},      {"plain", Word::Plain},
    {"author", Word::Destination},   {"b", Word::B},
    {"bin", Word::Bin},              {"buptim", Word::Destination},
    {"colortbl", Word::Destination}, {"comment", Word::Destination},
    {"creatim", Word::Destination},  {"datastore", Word::Destination},
    {"doccomm", Word::Destination},  {"fldinst", Word::Destination},
    {"fonttbl", Word::Fonttbl},      {"footer", Word::Destination},
    {"f", Word::F},                  {"fcharset", Word::Fcharset},
    {"cpg", Word::Cpg},              {"deff", Word::Deff},
    {"footerf", Word::Destination},  {"footerl", Word::Destination},
    {"footerr", Word::Destination},  {"footnote", Word::Destination},
    {"ftncn", Word::Destination},    {"ftnsep", Word::Destination},
    {"ftnsepc", Word::Destination},  {"generator", Word::Destination},
    {"header", Word::Destination},   {"headerf", Word::Destination},
    {"headerl", Word::Destination},  {"headerr", Word::Destination},
    {"i", Word::I},                  {"info", Word::Destination},
    {"keywords", Word::Destination}, {"latentstyles", Word::Destination},
    {"listoverridetable", Word::Destination},
    {"listtable", Word::Destination}, {"listtext", Word::Destination},
    {"nonshppict", Word::Destination}, {"nosupersub", Word::Nosupersub},
    {"objdata", Word::Destination},  {"operator", Word::Destination},
    {"par", Word::Par},              {"pard", Word::Pard},
    {"pict", Word::Destination},     {"pntext", Word::Destination},
    {"printim", Word::Destination},  {"private", Word::Destination},
    {"revtim", Word::Destination},   {"rxe", Word::Destination},
    {"s", Word::S},                  {"strike", Word::Strike},
    {"stylesheet", Word::Destination}, {"sub", Word::Sub},
    {"subject", Word::Destination},  {"super", Word::Super},
    {"tab", Word::Tab},              {"tc", Word::Destination},
    {"themedata", Word::Destination},
    {"title", Word::Destination},    {"txe", Word::Destination},
    {"u", Word::U},                  {"uc", Word::Uc},
    {"ul", Word::Ul},                {"ulnone", Word::Ulnone},
    {"viewkind", Word::Viewkind},    {"xe", Word::Destination},
};

// Words are looked up by a number made of their letters (base 27, at most
// 13 lower-case letters fit in 64 bits); longer or other words are unknown
// unless they match by name.
constexpr std::size_t kMaxKeyedLength = 13;

constexpr std::uint64_t wordKey(std::string_view name) {
    std::uint64_t key = 0;
    for (char c : name) key = key * 27 + static_cast<std::uint64_t>(c - 'a' + 1);
    return key;
}

struct KeyedWord {
    std::uint64_t key;
    Word word;
};

const std::vector<KeyedWord>& keyedWords() {
    static const std::vector<KeyedWord> table = [] {
        std::vector<KeyedWord> t;
        for (const WordEntry& e : kWords)
            if (e.name.size() <= kMaxKeyedLength) t.push_back({wordKey(e.name), e.word});
        std::sort(t.begin(), t.end(), [](const KeyedWord& a, const KeyedWord& b) { return a.key < b.key; });
        return t;
    }();
    return table;
}

}  // namespace

Word lookupWord(std::string_view name) {
    if (name.size() > kMaxKeyedLength) {
        for (const WordEntry& e : kWords)
            if (e.name == name) return e.word;
        return Word::Unknown;
    }
    for (char c : name)
        if (c < 'a' || c > 'z') return Word::Unknown;  // control words are case-sensitive
    const std::uint64_t key = wordKey(name);
    const auto& table = keyedWords();
    auto it = std::lower_bound(table.begin(), table.end(), key,
                               [](const KeyedWord& e, std::uint64_t k) { return e.key < k; });
    return (it != table.end() && it->key == key) ? it->word : Word::Unknown;
}

// Windows-1252 bytes 0x80..0x9F. The five bytes the code page leaves
// undefined keep their own value, as the platform's converters do, so no
// byte is lost.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t fromCp1252(unsigned byte) {
    return (byte >= 0x80 && byte < 0xA0) ? kCp1252High[byte - 0x80] : static_cast<char16_t>(byte);
}

namespace {

CodePageTable cp1252Table() {
    CodePageTable t{};
    for (unsigned b = 0; b < 256; ++b) t[b] = fromCp1252(b);
    return t;
}

bool isDoubleByteCodePage(int number) {
    return number == 932 || number == 936 || number == 949 || number == 950 || number == 1361;
}

bool isKnownCodePage(int number) {
    return number == 874 || (number >= 1250 && number <= 1258) || number == 10000 ||
           isDoubleByteCodePage(number);
}

std::string libraryName(int number) {
    return number == 10000 ? std::string("MACINTOSH") : "CP" + std::to_string(number);
}

// Converts bytes to one UTF-16 unit; -1 when they are not a character of
// their own, -2 when they only begin one.
long convert(iconv_t cd, const char* bytes, std::size_t count) {
    char in[2] = {bytes[0], count > 1 ? bytes[1] : '\0'};
    unsigned char out[8] = {};
    char* inPtr = in;
    char* outPtr = reinterpret_cast<char*>(out);
    std::size_t inLeft = count;
    std::size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a fresh state each time
    std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    if (r == static_cast<std::size_t>(-1)) return errno == EINVAL ? -2 : -1;
    // 1255 and 1258 hold a letter back for a combining mark that may
    // follow: ask for it.
    r = iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    if (r == static_cast<std::size_t>(-1) || inLeft != 0 || sizeof out - outLeft != 2) return -1;
    return static_cast<long>(out[0] | (out[1] << 8));
}

// A code page the C library can convert; bytes it cannot convert keep their
// own value, as in 1252. False when the library does not know the code page.
bool pageFromLibrary(int number, CodePageTable& bytes, std::array<bool, 256>& lead,
                     std::vector<char16_t>& pairs) {
    iconv_t cd = iconv_open("UTF-16LE", libraryName(number).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    const bool doubleByte = isDoubleByteCodePage(number);
    for (unsigned b = 0; b < 256; ++b) {
        bytes[b] = static_cast<char16_t>(b);
        if (b < 0x80) continue;
        const char in[1] = {static_cast<char>(b)};
        const long c = convert(cd, in, 1);
        if (c >= 0) bytes[b] = static_cast<char16_t>(c);
        else if (c == -2 && doubleByte) lead[b] = true;
    }
    if (doubleByte) {
        pairs.assign(256 * 256, char16_t(0xFFFD));
        for (unsigned l = 0x80; l < 256; ++l) {
            if (!lead[l]) continue;
            for (unsigned t = 0x20; t < 256; ++t) {
                const char in[2] = {static_cast<char>(l), static_cast<char>(t)};
                const long c = convert(cd, in, 2);
                if (c >= 0) pairs[256 * l + t] = static_cast<char16_t>(c);
            }
        }
    }
    iconv_close(cd);
    return true;
}

}  // namespace

char16_t CodePage::pair(unsigned lead, unsigned trail) const {
    if (pairs_.empty()) return 0xFFFD;
    return pairs_[256 * (lead & 0xFF) + (trail & 0xFF)];
}

const CodePage& codePage(int number) {
    static const CodePage cp1252 = [] {
        CodePage page;
        page.bytes_ = cp1252Table();
        return page;
    }();
    if (number == 1252 || !isKnownCodePage(number)) return cp1252;
    // Built once per code page; readers may run on several threads.
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<CodePage>> pages;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = pages.find(number);
    if (it == pages.end()) {
        auto page = std::make_unique<CodePage>();
        if (!pageFromLibrary(number, page->bytes_, page->lead_, page->pairs_)) page.reset();
        it = pages.emplace(number, std::move(page)).first;
    }
    return it->second ? *it->second : cp1252;
}

const CodePageTable& codePageTable(int number) { return codePage(number).bytes(); }

int codePageOfCharset(int charset) {
    switch (charset) {
    case 0: return 1252;     // ANSI
    case 77: return 10000;   // Macintosh
    case 128: return 932;    // Shift JIS
    case 129: return 949;    // Hangul
    case 130: return 1361;   // Johab
    case 134: return 936;    // GB 2312
    case 136: return 950;    // Big5
    case 161: return 1253;   // Greek
    case 162: return 1254;   // Turkish
    case 163: return 1258;   // Vietnamese
    case 177: return 1255;   // Hebrew
    case 178: return 1256;   // Arabic
    case 186: return 1257;   // Baltic
    case 204: return 1251;   // Cyrillic
    case 222: return 874;    // Thai
    case 238: return 1250;   // Central European
    default: return 0;       // 1 default, 2 symbol and the rest: the document's
    }
}

void FontCodePages::setDocumentCodePage(int number) {
    document_ = &codePage(number);
    cached_ = nullptr;
}

void FontCodePages::fontTableWord(Word word, bool hasParameter, int parameter) {
    if (!hasParameter) return;
    if (word == Word::F) {
        defined_ = parameter;
        definedByCpg_ = false;
        return;
    }
    if (defined_ < 0 || (word != Word::Fcharset && word != Word::Cpg)) return;
    if (word == Word::Fcharset && definedByCpg_) return;
    if (word == Word::Cpg) definedByCpg_ = true;
    const int number = word == Word::Cpg ? parameter : codePageOfCharset(parameter);
    if (number == 0) fonts_.erase(defined_);
    else fonts_[defined_] = &codePage(number);
    cached_ = nullptr;
}

const CodePage& FontCodePages::of(int font) {
    if (font < 0) font = defaultFont_;
    // Bytes come in runs in one font: one lookup per run, not per byte.
    if (font != cachedFont_ || !cached_) {
        auto it = fonts_.find(font);
        cached_ = it != fonts_.end() ? it->second : document_;
        cachedFont_ = font;
    }
    return *cached_;
}

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

}  // namespace tavix::rtf
