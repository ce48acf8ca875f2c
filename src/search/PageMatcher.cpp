#include "search/PageMatcher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <locale>
#include <new>
#include <stdexcept>

#include "formats/XhtmlEntities.h"
#include "store/TextCodec.h"

namespace tavix {

using namespace xercesc;

namespace {

// Case-insensitive matching folds letters through the regex's locale. The
// process usually runs in the "C" locale, which knows the case of ASCII
// letters only, so "CAFÉ" would not match "café". A UTF-8 locale's
// character classes are the same on every Linux system that has one;
// collation is never used (the syntax switches it off).
const std::locale& searchLocale() {
    static const std::locale locale = [] {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            try {
                return std::locale(name);
            } catch (const std::runtime_error&) {
            }
        }
        return std::locale::classic();
    }();
    return locale;
}

// boost::wregex works on 32-bit wchar_t here: a character outside the
// basic plane must reach it as one code point, not two surrogates, or "."
// would match half of it. Appends to out; a high surrogate at the end of
// text is left in *pendingHigh (when given) for the next piece to complete.
void appendWide(const char16_t* text, std::size_t length, std::wstring& out, char16_t* pendingHigh = nullptr) {
    std::size_t at = out.size();
    out.resize(at + length + 1);
    wchar_t* dest = out.data();
    std::size_t i = 0;
    if (pendingHigh && *pendingHigh) {
        if (length > 0 && text[0] >= 0xDC00 && text[0] <= 0xDFFF) {
            dest[at++] = static_cast<wchar_t>(0x10000 + ((*pendingHigh - 0xD800) << 10) + (text[0] - 0xDC00));
            i = 1;
        } else {
            dest[at++] = static_cast<wchar_t>(*pendingHigh);
        }
        *pendingHigh = 0;
    }
    for (; i < length; ++i) {
        const char32_t c = text[i];
        if ((c & 0xF800) != 0xD800) {
            dest[at++] = static_cast<wchar_t>(c);
        } else if (c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            dest[at++] = static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (c <= 0xDBFF && i + 1 == length && pendingHigh) {
            *pendingHigh = static_cast<char16_t>(c);
        } else {
            dest[at++] = static_cast<wchar_t>(c);  // unpaired: kept as it stands
        }
    }
    out.resize(at);
}

// Thrown by the handlers to end a parse whose answer is known.
struct StopParsing {};

// Buffers larger than this are not kept from one file to the next.
constexpr std::size_t kKeep = std::size_t(1) << 20;

std::u16string fileNameOf(const std::u16string& path) {
    const auto slash = path.find_last_of(u'/');
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

}  // namespace

PageMatcher::PageMatcher() = default;

PageMatcher::~PageMatcher() {
    // The reader still points at this object; it must go first.
    reader_.reset();
}

void PageMatcher::setPattern(const std::u16string& pattern) { pattern_ = pattern; }

void PageMatcher::setMatchCase(bool matchCase) { matchCase_ = matchCase; }

Status PageMatcher::compile() {
    if (compiled_ && compiledPattern_ == pattern_ && compiledMatchCase_ == matchCase_) return Status::success();
    compiled_ = false;
    try {
        std::wstring wide;
        appendWide(pattern_.data(), pattern_.size(), wide);
        boost::regex_constants::syntax_option_type flags = boost::regex_constants::normal;
        if (!matchCase_) flags = flags | boost::regex_constants::icase;
        expression_.imbue(searchLocale());
        expression_.assign(wide, flags);
    } catch (const boost::regex_error& e) {
        return Status::failure(std::string("bad pattern: ") + e.what());
    } catch (const std::bad_alloc&) {
        return Status::failure("bad pattern: out of memory while compiling it");
    } catch (const std::exception& e) {
        return Status::failure(std::string("bad pattern: ") + e.what());
    }
    compiled_ = true;
    compiledPattern_ = pattern_;
    compiledMatchCase_ = matchCase_;
    return Status::success();
}

bool PageMatcher::matchesFile(const std::u16string& path) {
    found_ = false;
    stopped_ = false;
    error_ = Status::success();
    failedOnFile_ = false;
    wide_.clear();
    pendingHigh_ = 0;
    inRun_ = false;
    currentPath_ = path;
    try {
        Status status = compile();
        if (!status) {
            error_ = status;
            return false;
        }
        // A page deleted or made unreadable since the listing was taken is
        // simply not found, like a page that cannot be parsed.
        if (!readFile(path)) return false;
        const ParseResult parsed = parseBuffer(path);
        searchRun();  // the parse may have ended early or at a fatal error
        // A damaged page counts with the text before the damage, as it is
        // shown when opened. A page stopped by the parser's bounds is
        // hostile or at least not readable: opening it fails the same way,
        // and whether it matches cannot be said.
        if (parsed.limitExceeded && !found_ && error_) {
            std::string where;
            if (parsed.line > 0)
                where = " (line " + std::to_string(parsed.line) + ", column " +
                        std::to_string(parsed.column) + ")";
            error_ = Status::failure("page file " + toUtf8(fileNameOf(path)) +
                                     " cannot be searched: " + parsed.message + where);
            failedOnFile_ = true;
        }
    } catch (const std::bad_alloc&) {
        reader_.reset();  // may have been left in the middle of a document
        error_ = Status::failure("out of memory while searching " + toUtf8(fileNameOf(path)));
    } catch (const std::exception& e) {
        reader_.reset();
        error_ = Status::failure("search failed in " + toUtf8(fileNameOf(path)) + ": " + e.what());
    } catch (...) {
        reader_.reset();
        error_ = Status::failure("search failed in " + toUtf8(fileNameOf(path)));
    }
    // One unusually large file must not pin its memory for the rest of
    // the search, nor the buffers the reader grew for it.
    if (bytes_.size() > kKeep) reader_.reset();
    bytes_.clear();
    if (bytes_.capacity() > kKeep) std::string().swap(bytes_);
    if (wide_.capacity() > kKeep) std::wstring().swap(wide_);
    if (!error_) return false;
    return found_;
}

bool PageMatcher::readFile(const std::u16string& path) {
    const std::string native = toUtf8(path);
    const int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = false;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        // The size is only a first guess: the file may change while read.
        bytes_.resize(static_cast<std::size_t>(info.st_size) + 1);
        std::size_t used = 0;
        for (;;) {
            if (used == bytes_.size()) bytes_.resize(bytes_.size() * 2);
            const ssize_t n = ::read(fd, bytes_.data() + used, bytes_.size() - used);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) break;
            used += static_cast<std::size_t>(n);
            // A regular file reads short only at its end, which saves the
            // extra call that would return nothing.
            if (n == 0 || used < bytes_.size()) {
                ok = true;
                break;
            }
        }
        bytes_.resize(used);
    }
    ::close(fd);
    return ok;
}

ParseResult PageMatcher::parseBuffer(const std::u16string& systemId) {
    if (!reader_) {
        reader_ = makeSafeReader();
        reader_->setLexicalHandler(this);
    }
    // The same parse, with the same bounds, as opening the page: what one
    // can read the other can search. A StopParsing from the handlers ends
    // it too (the answer is known), and the reader resets itself.
    ParseResult result = parseBytes(*reader_, bytes_.data(), bytes_.size(), systemId, *this, this);
    // A reader stopped by its bounds may be unusable; the next file gets a
    // new one.
    if (result.limitExceeded) reader_.reset();
    return result;
}

void PageMatcher::endRun() {
    searchRun();
    // found can only turn from false to true, so the rest of the file could
    // not change the answer; a failed match has no answer to wait for.
    // Xerces unwinds a handler's exception safely and resets for the next
    // document, and parseBytes turns this one into its result.
    if (found_ || stopped_) throw StopParsing{};
}

void PageMatcher::searchRun() {
    if (!inRun_) return;
    inRun_ = false;
    if (pendingHigh_) {
        wide_.push_back(static_cast<wchar_t>(pendingHigh_));
        pendingHigh_ = 0;
    }
    if (!found_ && !stopped_) {
        try {
            // Only whether there is a match matters: match_any is what
            // Boost's own yes-or-no search uses. The results object is kept
            // so its storage is not made anew for every run.
            if (boost::regex_search(static_cast<const wchar_t*>(wide_.data()),
                                    static_cast<const wchar_t*>(wide_.data() + wide_.size()), match_, expression_,
                                    boost::regex_constants::match_default | boost::regex_constants::match_any))
                found_ = true;
        } catch (const std::bad_alloc&) {
            stopped_ = true;
            error_ = Status::failure("out of memory while searching " + toUtf8(fileNameOf(currentPath_)));
        } catch (const std::runtime_error& e) {
            // Boost gives up on matches that need too much stack or too
            // many steps; the search cannot say whether this page matches.
            stopped_ = true;
            error_ = Status::failure("the search gave up on page file " + toUtf8(fileNameOf(currentPath_)) +
                                     ": " + e.what());
        }
    }
    wide_.clear();
}

void PageMatcher::startElement(const XMLCh*, const XMLCh*, const XMLCh*, const Attributes&) { endRun(); }

void PageMatcher::endElement(const XMLCh*, const XMLCh*, const XMLCh*) { endRun(); }

void PageMatcher::characters(const XMLCh* chars, const XMLSize_t length) {
    // Pieces of one run arrive separately (around every entity or
    // character reference, and at the parser's buffer edge); they are
    // searched together at the next markup.
    inRun_ = true;
    if (found_ || stopped_) return;
    // A long run is given room for the longest one the parser may deliver
    // from this file, once: growing by doubling would hold the old and the
    // new copy at the same time. Room not written to costs no memory.
    const std::size_t needed = wide_.size() + length + 2;
    if (needed > wide_.capacity() && needed > kKeep / sizeof(wchar_t))
        wide_.reserve(std::max(needed, textBudget(bytes_.size()) + 2));
    appendWide(asU16(chars), length, wide_, &pendingHigh_);
}

void PageMatcher::skippedEntity(const XMLCh* name) {
    const std::u16string_view replacement = xhtmlEntity(name ? std::u16string_view(asU16(name)) : std::u16string_view());
    if (!replacement.empty()) characters(asXml(replacement.data()), replacement.size());
}

void PageMatcher::processingInstruction(const XMLCh*, const XMLCh*) { endRun(); }

void PageMatcher::comment(const XMLCh*, const XMLSize_t) { endRun(); }

void PageMatcher::endDocument() { searchRun(); }

void PageMatcher::fatalError(const SAXParseException&) {
    // Text before the damage still counts; the parser stops by itself.
    searchRun();
}

}  // namespace tavix
