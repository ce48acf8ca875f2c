#include "formats/RtfSyntax.h"

#include <iconv.h>

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
    {"fonttbl", Word::Destination},  {"footer", Word::Destination},
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

// The table of a code page the C library can convert; bytes it cannot
// convert keep their own value, as in 1252. Empty when the library does not
// know the code page.
std::unique_ptr<CodePageTable> tableFromLibrary(int codePage) {
    const std::string name = "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open("UTF-16LE", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
    auto t = std::make_unique<CodePageTable>();
    for (unsigned b = 0; b < 256; ++b) {
        (*t)[b] = static_cast<char16_t>(b);
        if (b < 0x80) continue;
        char in[1] = {static_cast<char>(b)};
        unsigned char out[8] = {};
        char* inPtr = in;
        char* outPtr = reinterpret_cast<char*>(out);
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a fresh state per byte
        std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        // 1255 and 1258 hold a letter back for a combining mark that may
        // follow: ask for it.
        if (r != static_cast<std::size_t>(-1)) r = iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        // One UTF-16 unit out, or the byte is not a character of its own.
        if (r != static_cast<std::size_t>(-1) && inLeft == 0 && sizeof out - outLeft == 2)
            (*t)[b] = static_cast<char16_t>(out[0] | (out[1] << 8));
    }
    iconv_close(cd);
    return t;
}

bool isKnownSingleByteCodePage(int codePage) {
    return codePage == 874 || (codePage >= 1250 && codePage <= 1258);
}

}  // namespace

const CodePageTable& codePageTable(int codePage) {
    static const CodePageTable cp1252 = cp1252Table();
    if (codePage == 1252 || !isKnownSingleByteCodePage(codePage)) return cp1252;
    // Built once per code page; readers may run on several threads.
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<CodePageTable>> tables;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = tables.find(codePage);
    if (it == tables.end()) it = tables.emplace(codePage, tableFromLibrary(codePage)).first;
    return it->second ? *it->second : cp1252;
}

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

}  // namespace tavix::rtf
