// PageMatcher's recorded runs: what a text index keeps of a page, and the
// replay that answers for the page from it (see PageMatcher.h).
#include <cstdint>
#include <exception>
#include <new>

#include "search/PageMatcher.h"
#include "store/TextCodec.h"
#include "store/Varint.h"

namespace tavix {

namespace {

// Buffers larger than this are not kept from one page to the next.
constexpr std::size_t kKeep = std::size_t(1) << 20;

std::u16string fileNameOf(const std::u16string& path) {
    const auto slash = path.find_last_of(u'/');
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// ------------------------------------------------------------ recorded runs
//
// An item is a tag byte (its kind: a MatchPlace bit, or kRecordedBody; plus
// kRecordedNewEvent when markup, where matchesFile may stop, came before
// it), then for a run its length in bytes as a base-128 varint and its text
// in UTF-8.

void PageMatcher::recordItem(unsigned kind, const std::wstring* text) {
    std::string& out = *record_;
    out.push_back(static_cast<char>(kind | (recordNewEvent_ ? kRecordedNewEvent : 0)));
    recordNewEvent_ = false;
    if (!text) return;
    std::string utf8;
    utf8.reserve(text->size());
    for (const wchar_t wc : *text) {
        const auto c = static_cast<char32_t>(wc);
        // A code unit left unpaired would come back as another text.
        if (c >= 0xD800 && c <= 0xDFFF) recordFaithful_ = false;
        appendUtf8(c, utf8);
    }
    putVarint(out, utf8.size());
    out += utf8;
}

bool PageMatcher::recordRuns(std::string_view bytes, const std::u16string& systemId, std::string& out) {
    out.clear();
    const unsigned places = places_;
    const std::atomic<bool>* cancel = cancel_;
    places_ = kMatchAnywhere;
    cancel_ = nullptr;
    startFile(systemId);
    record_ = &out;
    recordFaithful_ = true;
    recordNewEvent_ = true;
    bool complete = false;
    try {
        bytes_.assign(bytes.data(), bytes.size());
        const ParseResult parsed = parseBuffer(systemId);
        searchRun();
        complete = parsed.ok && !parsed.limitExceeded;
    } catch (...) {
        reader_.reset();
    }
    record_ = nullptr;
    places_ = places;
    cancel_ = cancel;
    if (bytes_.capacity() > kKeep) std::string().swap(bytes_);
    bytes_.clear();
    if (wide_.capacity() > kKeep) std::wstring().swap(wide_);
    if (!complete || !recordFaithful_) out.clear();
    return complete && recordFaithful_;
}

namespace {

// Reads one recorded item at at; false at the end or on a malformed one.
bool nextItem(std::string_view rec, std::size_t& at, unsigned& tag, std::string_view& text) {
    if (at >= rec.size()) return false;
    tag = static_cast<unsigned char>(rec[at++]);
    text = {};
    if ((tag & 0x0F) == PageMatcher::kRecordedBody) return true;
    std::uint64_t length = 0;
    if (!getVarint(rec, at, length) || length > rec.size() - at) return false;
    text = rec.substr(at, length);
    at += length;
    return true;
}

void decodeUtf8(std::string_view text, std::wstring& out) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::uint32_t c = b;
        std::size_t n = 1;
        if (b >= 0xF0) {
            c = b & 0x07;
            n = 4;
        } else if (b >= 0xE0) {
            c = b & 0x0F;
            n = 3;
        } else if (b >= 0xC0) {
            c = b & 0x1F;
            n = 2;
        }
        for (std::size_t k = 1; k < n && i + k < text.size(); ++k)
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        out.push_back(static_cast<wchar_t>(c));
        i += n;
    }
}

}  // namespace

void PageMatcher::forEachRecordedRun(std::string_view recorded,
                                     const std::function<void(std::wstring_view, unsigned)>& each) {
    std::size_t at = 0;
    unsigned tag = 0;
    std::string_view text;
    std::wstring wide;
    while (nextItem(recorded, at, tag, text)) {
        if ((tag & 0x0F) == kRecordedBody) continue;
        decodeUtf8(text, wide);
        each(wide, tag & 0x0F);
    }
}

bool PageMatcher::matchesRecorded(std::string_view recorded, const std::u16string& path) {
    try {
        if (!readyFor(path)) return false;
        std::size_t at = 0;
        unsigned tag = 0;
        std::string_view text;
        while (!stopped_ && nextItem(recorded, at, tag, text)) {
            // Where matchesFile looks at the answer, between two pieces of
            // markup, and stops the parse once it is known.
            if ((tag & kRecordedNewEvent) && answerKnown()) break;
            const unsigned kind = tag & 0x0F;
            if (kind == kRecordedBody) {
                inBody_ = true;
                continue;
            }
            decodeUtf8(text, wide_);
            if (kind == kMatchInTitle && title_.size() < kTitleLimit) {
                for (const wchar_t wc : wide_) {
                    const auto c = static_cast<std::uint32_t>(wc);
                    if (c >= 0x10000) {
                        title_.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
                        title_.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
                    } else {
                        title_.push_back(static_cast<char16_t>(c));
                    }
                }
                if (title_.size() > kTitleLimit) title_.resize(kTitleLimit);
            }
            searchWide(wide_, kind);
        }
    } catch (const std::bad_alloc&) {
        error_ = Status::failure("out of memory while searching " + toUtf8(fileNameOf(path)));
    } catch (const std::exception& e) {
        error_ = Status::failure("search failed in " + toUtf8(fileNameOf(path)) + ": " + e.what());
    }
    wide_.clear();
    if (wide_.capacity() > kKeep) std::wstring().swap(wide_);
    if (!error_) return false;
    return foundIn_ != 0;
}

}  // namespace tavix
