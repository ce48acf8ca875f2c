#include "search/PageMatcher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <exception>
#include <locale>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

#include <xercesc/sax2/Attributes.hpp>

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


// Where a '(' or '[' is left open, or a ')' closes nothing, in the pattern
// as Boost reads it (escapes, \Q...\E quotes and bracket expressions
// skipped). Returns the index and the character, or npos.
std::pair<std::size_t, wchar_t> unbalanced(const std::wstring& p) {
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const wchar_t c = p[i];
        if (c == L'\\') {
            if (i + 1 < p.size() && p[i + 1] == L'Q') {
                const auto end = p.find(L"\\E", i + 2);
                if (end == std::wstring::npos) break;
                i = end + 1;
            } else {
                ++i;
            }
        } else if (c == L'[') {
            std::size_t j = i + 1;
            if (j < p.size() && p[j] == L'^') ++j;
            if (j < p.size() && p[j] == L']') ++j;  // a leading ']' is literal
            for (; j < p.size() && p[j] != L']'; ++j) {
                if (p[j] == L'\\') {
                    ++j;
                } else if (p[j] == L'[' && j + 1 < p.size() && (p[j + 1] == L':' || p[j + 1] == L'=' || p[j + 1] == L'.')) {
                    const auto close = p.find(std::wstring{p[j + 1], L']'}, j + 2);
                    if (close != std::wstring::npos) j = close + 1;
                }
            }
            if (j >= p.size()) return {i, L'['};
            i = j;
        } else if (c == L'(') {
            open.push_back(i);
        } else if (c == L')') {
            if (open.empty()) return {i, L')'};
            open.pop_back();
        }
    }
    if (!open.empty()) return {open.front(), L'('};
    return {std::wstring::npos, 0};
}

std::string reasonOf(boost::regex_constants::error_type code, wchar_t at) {
    using namespace boost::regex_constants;
    std::string character = toUtf8(std::u16string(1, static_cast<char16_t>(at < 0x10000 ? at : u'?')));
    switch (code) {
    case error_collate: return "Unknown collating element";
    case error_ctype: return "Unknown character class";
    case error_escape: return "Incomplete or unknown escape after '\\'";
    case error_backref: return "Back reference to a group that does not exist";
    case error_brack: return "Unmatched '['";
    case error_paren:
        if (at == L')' || at == L'(') return std::string("Unmatched '") + static_cast<char>(at) + "'";
        return "Unmatched parenthesis";
    case error_brace: return "Unmatched '{'";
    case error_badbrace: return "Invalid repeat count in '{...}'";
    case error_range: return "Invalid character range";
    case error_space: return "Out of memory";
    case error_badrepeat: return "Nothing to repeat before '" + character + "'";
    case error_size: return "Expression too large";
    case error_empty: return "Empty expression";
    case error_complexity:
    case error_stack: return "Expression too complex";
    case error_perl_extension: return "Unknown group construct '(?'";
    default: return "Invalid expression";
    }
}

// "Unmatched '(' at position 5 of 'C++ (notes'": the problem in plain
// words, and where it lies in the text as the user typed it (positions
// count characters from 1).
std::string describe(const std::wstring& wide, const std::u16string& pattern, const boost::regex_error& e) {
    std::size_t at = e.position() >= 0 ? static_cast<std::size_t>(e.position()) : wide.size();
    const auto code = e.code();
    wchar_t culprit = at < wide.size() ? wide[at] : 0;
    if (code == boost::regex_constants::error_paren || code == boost::regex_constants::error_brack) {
        // Boost notices a missing ')' at the end; the '(' left open is what
        // the user has to look at.
        const auto [index, c] = unbalanced(wide);
        if (index != std::wstring::npos) {
            at = index;
            culprit = c;
        }
    } else if (code == boost::regex_constants::error_badrepeat && at > 0 && at <= wide.size() &&
               (at == wide.size() || std::wstring(L"*+?{").find(wide[at]) == std::wstring::npos)) {
        culprit = wide[at - 1];  // Boost stands just past the repeat
        --at;
    }
    const std::string reason = reasonOf(code, culprit);
    const std::string quoted = "'" + toUtf8(pattern) + "'";
    if (at >= wide.size()) return reason + " at the end of " + quoted;
    return reason + " at position " + std::to_string(at + 1) + " of " + quoted;
}

}  // namespace

wchar_t PageMatcher::caseless(wchar_t c) {
    // What Boost's traits do for icase: the locale's own lower case.
    static const std::ctype<wchar_t>& ctype = std::use_facet<std::ctype<wchar_t>>(searchLocale());
    return ctype.tolower(c);
}

std::u16string PageMatcher::escapeLiteral(const std::u16string& text) {
    std::u16string out;
    out.reserve(text.size() * 2);
    for (const char16_t c : text) {
        // ASCII punctuation gets a backslash, which makes it the mark
        // itself, except the four Boost gives a meaning only after a
        // backslash (\< \> word edges, \` \' buffer ends) and which mean
        // themselves bare. Letters, digits and everything beyond ASCII mean
        // themselves already.
        const bool punctuation = c < 0x80 && c > 0x20 && !(c >= u'0' && c <= u'9') &&
                                 !(c >= u'a' && c <= u'z') && !(c >= u'A' && c <= u'Z') && c != u'<' &&
                                 c != u'>' && c != u'\'' && c != u'`';
        if (punctuation) out += u'\\';
        out += c;
    }
    return out;
}

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
    std::wstring wide;
    try {
        appendWide(pattern_.data(), pattern_.size(), wide);
        boost::regex_constants::syntax_option_type flags = boost::regex_constants::normal;
        if (!matchCase_) flags = flags | boost::regex_constants::icase;
        expression_.imbue(searchLocale());
        expression_.assign(wide, flags);
    } catch (const boost::regex_error& e) {
        return Status::failure("bad pattern: " + describe(wide, pattern_, e));
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

void PageMatcher::startFile(const std::u16string& path) {
    foundIn_ = 0;
    cancelled_ = false;
    runPlace_ = kMatchInText;
    titleDepth_ = 0;
    inBody_ = false;
    title_.clear();
    stopped_ = false;
    error_ = Status::success();
    failedOnFile_ = false;
    wide_.clear();
    pendingHigh_ = 0;
    inRun_ = false;
    currentPath_ = path;
}

bool PageMatcher::readyFor(const std::u16string& path) {
    startFile(path);
    if (Status status = compile(); !status) {
        error_ = status;
        return false;
    }
    if (cancel_ && cancel_->load(std::memory_order_relaxed)) {
        cancelled_ = true;
        error_ = Status::failure("the search was stopped");
        return false;
    }
    return true;
}

bool PageMatcher::matchesFile(const std::u16string& path) {
    try {
        if (!readyFor(path)) return false;
        // A page deleted or made unreadable since the listing was taken is
        // simply not found, like a page that cannot be parsed.
        if (!readFile(path)) return false;
        const ParseResult parsed = parseBuffer(path);
        searchRun();  // the parse may have ended early or at a fatal error
        // A damaged page counts with the text before the damage, as it is
        // shown when opened. A page stopped by the parser's bounds is
        // hostile or at least not readable: opening it fails the same way,
        // and whether it matches cannot be said.
        if (parsed.limitExceeded && foundIn_ == 0 && error_) {
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
    return foundIn_ != 0;
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
    recordNewEvent_ = true;  // the answer is looked at here: a replay must too
    // found can only turn from false to true, so the rest of the file could
    // not change the answer; a failed match has no answer to wait for.
    // Xerces unwinds a handler's exception safely and resets for the next
    // document, and parseBytes turns this one into its result.
    if (answerKnown() || stopped_) throw StopParsing{};
}

bool PageMatcher::answerKnown() const {
    // Bits only turn on, so once every place searched has matched nothing
    // can change. Title and keywords live in the head, before the body: once
    // in the body only the text is left to decide.
    if ((foundIn_ & places_) == places_) return true;
    return inBody_ && (!(places_ & kMatchInText) || (foundIn_ & kMatchInText));
}

void PageMatcher::searchWide(const std::wstring& text, unsigned place) {
    if (record_) {
        recordItem(place, &text);
        return;
    }
    if (stopped_ || (foundIn_ & place) || !(places_ & place)) return;
    if (cancel_ && cancel_->load(std::memory_order_relaxed)) {
        stopped_ = true;
        cancelled_ = true;
        error_ = Status::failure("the search was stopped");
        return;
    }
    try {
        // Only whether there is a match matters: match_any is what Boost's
        // own yes-or-no search uses. The results object is kept so its
        // storage is not made anew for every run.
        if (boost::regex_search(static_cast<const wchar_t*>(text.data()),
                                static_cast<const wchar_t*>(text.data() + text.size()), match_, expression_,
                                boost::regex_constants::match_default | boost::regex_constants::match_any))
            foundIn_ |= place;
    } catch (const std::bad_alloc&) {
        stopped_ = true;
        error_ = Status::failure("out of memory while searching " + toUtf8(fileNameOf(currentPath_)));
    } catch (const std::runtime_error& e) {
        // Boost gives up on matches that need too much stack or too many
        // steps; the search cannot say whether this page matches.
        stopped_ = true;
        error_ = Status::failure("the search gave up on page file " + toUtf8(fileNameOf(currentPath_)) + ": " +
                                 e.what());
    }
}

void PageMatcher::searchRun() {
    if (!inRun_) return;
    inRun_ = false;
    if (pendingHigh_) {
        wide_.push_back(static_cast<wchar_t>(pendingHigh_));
        pendingHigh_ = 0;
    }
    searchWide(wide_, runPlace_);
    wide_.clear();
}

namespace {
constexpr char16_t kTitleName[] = u"title";
constexpr char16_t kBodyName[] = u"body";
constexpr char16_t kMetaName[] = u"meta";
constexpr char16_t kNameAttribute[] = u"name";
constexpr char16_t kContentAttribute[] = u"content";
constexpr char16_t kKeywordsValue[] = u"keywords";
}  // namespace

void PageMatcher::startElement(const XMLCh*, const XMLCh* localName, const XMLCh*, const Attributes& attributes) {
    searchRun();
    const std::u16string_view local = localName ? asU16(localName) : u"";
    if (local == kTitleName) {
        ++titleDepth_;
    } else if (local == kBodyName) {
        inBody_ = true;
        if (record_) recordItem(kRecordedBody, nullptr);
    } else if (local == kMetaName && (places_ & kMatchInKeywords) && !(foundIn_ & kMatchInKeywords)) {
        // Read as the page reads its keywords: name="keywords", content=...
        const XMLCh* name = attributes.getValue(asXml(kNameAttribute));
        const XMLCh* content = attributes.getValue(asXml(kContentAttribute));
        if (name && content && std::u16string_view(asU16(name)) == kKeywordsValue) {
            const std::u16string_view keywords(asU16(content));
            if (!keywords.empty()) {
                std::wstring wide;
                appendWide(keywords.data(), keywords.size(), wide);
                searchWide(wide, kMatchInKeywords);
            }
        }
    }
    endRun();
}

void PageMatcher::endElement(const XMLCh*, const XMLCh* localName, const XMLCh*) {
    searchRun();
    if (titleDepth_ > 0 && localName && std::u16string_view(asU16(localName)) == kTitleName) --titleDepth_;
    endRun();
}

void PageMatcher::characters(const XMLCh* chars, const XMLSize_t length) {
    // Pieces of one run arrive separately (around every entity or
    // character reference, and at the parser's buffer edge); they are
    // searched together at the next markup.
    if (!inRun_) runPlace_ = titleDepth_ > 0 ? kMatchInTitle : kMatchInText;
    inRun_ = true;
    if (titleDepth_ > 0 && title_.size() < kTitleLimit)
        title_.append(asU16(chars), std::min<std::size_t>(length, kTitleLimit - title_.size()));
    if (stopped_ || (foundIn_ & runPlace_) || !(places_ & runPlace_)) return;
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
