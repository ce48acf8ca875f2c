#include "formats/PageDocument.h"

#include <iostream>
#include <string_view>

#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/Attributes.hpp>

#include "store/Notebook.h"
#include "store/TextCodec.h"

namespace tavix {

using namespace xercesc;

namespace {

constexpr std::u16string_view kBody = u"body";
constexpr std::u16string_view kBodyEnd = u"</body>";
constexpr std::u16string_view kTitle = u"title";
constexpr std::u16string_view kMeta = u"meta";
constexpr std::u16string_view kKeywords = u"keywords";
constexpr XMLCh kNameAttribute[] = {chLatin_n, chLatin_a, chLatin_m, chLatin_e, chNull};
constexpr XMLCh kContentAttribute[] = {chLatin_c, chLatin_o, chLatin_n, chLatin_t,
                                       chLatin_e, chLatin_n, chLatin_t, chNull};

std::u16string_view view(const XMLCh* s) {
    return s ? std::u16string_view(asU16(s)) : std::u16string_view();
}

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Characters XML 1.0 cannot carry at all, not even as character references.
bool isForbiddenInXml(char16_t c) {
    return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF;
}

// A page whose text holds a character XML cannot carry (a control character
// pasted into the editor, an unpaired surrogate) would be written as a file
// that no longer parses past that point, losing the rest of the page on the
// next load, and its body could not be shown either. Such characters become
// U+FFFD so the page stays readable and the spot stays visible.
// A high surrogate at the very end is left alone: its partner may come with
// the next piece of text, so a caller appending in pieces starts one unit
// early when the previous piece ended that way.
void replaceForbidden(std::u16string& text, std::size_t from) {
    if (from > 0 && isHighSurrogate(text[from - 1])) --from;
    for (std::size_t i = from; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x20 || c >= 0xD800) {
            if (isHighSurrogate(c) && i + 1 == text.size()) {
                break;
            } else if (isHighSurrogate(c) && isLowSurrogate(text[i + 1])) {
                ++i;
            } else if (isForbiddenInXml(c) || isHighSurrogate(c) || isLowSurrogate(c)) {
                text[i] = 0xFFFD;
            }
        }
    }
}

}  // namespace

PageDocument::PageDocument(Notebook* notebook)
    : notebook_(notebook), diagnostics_(notebook ? &notebook->diagnostics() : &std::cout) {}

PageDocument::~PageDocument() = default;

ParseResult PageDocument::loadFile(const std::u16string& path) {
    auto reader = makeSafeReader();
    return parseFile(*reader, path, *this, this);
}

ParseResult PageDocument::loadText(const std::u16string& xml) {
    auto reader = makeSafeReader();
    return parseText(*reader, xml, *this, this);
}

ParseResult PageDocument::parseBody(ContentHandler& handler) const {
    // The handler hears of no errors: a body left unbalanced by a damaged
    // file delivers the events before the damage, and the result says why.
    auto reader = makeSafeReader();
    return parseText(*reader, body_, handler, nullptr);
}

std::u16string PageDocument::escapeAttribute(const std::u16string& text) {
    std::u16string out;
    out.reserve(text.size() + 16);
    for (char16_t c : text) {
        switch (c) {
        case u'&': out += u"&amp;"; break;
        case u'<': out += u"&lt;"; break;
        case u'"': out += u"&quot;"; break;
        case u'\r': out += u"&#13;"; break;
        case u'\n': out += u"&#10;"; break;
        case u'\t': out += u"&#9;"; break;
        default: out += c; break;
        }
    }
    replaceForbidden(out, 0);
    return out;
}

std::u16string PageDocument::fileText() const {
    std::u16string text;
    text.reserve(body_.size() + title_.size() + keywords_.size() + 128);
    text += u"<html xmlns=\"";
    text += kXhtmlNamespace;
    text += u"\"><head><title>";
    const std::size_t titleAt = text.size();
    text += title_;
    replaceForbidden(text, titleAt);  // a title set from outside may hold any character
    text += u"</title>";
    if (!keywords_.empty()) {
        text += u"<meta name=\"keywords\" content=\"";
        text += escapeAttribute(keywords_);
        text += u"\"/>";
    }
    text += u"</head>";
    text += body_;
    text += u"</html>";
    return text;
}

Status PageDocument::save() const {
    if (!notebook_)
        return Status::failure("The page \"" + toUtf8(name_) + "\" belongs to no notebook and cannot be saved.");
    return notebook_->writePage(name_, toUtf8(fileText()));
}

void PageDocument::startDocument() {
    bodyDepth_ = 0;
    capturing_ = false;
    body_.clear();
    keywords_.clear();
    pending_.clear();
    escaper_ = std::make_unique<CharDataEscaper>();
}

void PageDocument::endDocument() { escaper_.reset(); }

void PageDocument::startElement(const XMLCh* /*uri*/, const XMLCh* localName, const XMLCh* /*qName*/,
                                const Attributes& attributes) {
    const std::u16string_view local = view(localName);
    if (bodyDepth_ > 0 && !pending_.empty()) body_ += pending_;
    if (local == kBody) {
        if (bodyDepth_ == 0 && body_.ends_with(kBodyEnd)) {
            // A second body after the first: its content continues the
            // first, so the body stays one element, shown and saved whole.
            body_.resize(body_.size() - kBodyEnd.size());
            ++bodyDepth_;
            if (capturing_) pending_.clear();
            return;
        }
        ++bodyDepth_;
    } else if (local == kTitle) {
        capturing_ = true;
    } else if (local == kMeta) {
        const XMLCh* name = attributes.getValue(kNameAttribute);
        const XMLCh* content = attributes.getValue(kContentAttribute);
        if (name && content && view(name) == kKeywords) keywords_ = u16(content);
    }
    if (bodyDepth_ > 0) {
        capturing_ = true;
        body_ += u'<';
        body_ += local;
        body_ += u'>';
    }
    if (capturing_) pending_.clear();
}

void PageDocument::endElement(const XMLCh* /*uri*/, const XMLCh* localName, const XMLCh* /*qName*/) {
    const std::u16string_view local = view(localName);
    if (bodyDepth_ > 0) {
        body_ += pending_;
        body_ += u"</";
        body_ += local;
        body_ += u'>';
    }
    if (local == kBody) {
        if (bodyDepth_ > 0) --bodyDepth_;
    } else if (local == kTitle) {
        title_ = pending_;
    }
    if (capturing_) pending_.clear();
}

void PageDocument::characters(const XMLCh* chars, const XMLSize_t length) {
    if (!capturing_) return;
    // Producers other than the parser may skip startDocument.
    if (!escaper_) escaper_ = std::make_unique<CharDataEscaper>();
    const std::size_t from = pending_.size();
    escaper_->appendEscaped(chars, length, pending_);
    replaceForbidden(pending_, from);
}

void PageDocument::fatalError(const SAXParseException& e) {
    // The text of the paragraph the damage is in was read too: it is shown
    // with the rest (the body stays open; its reader closes what is open).
    if (bodyDepth_ > 0 && !pending_.empty()) {
        body_ += pending_;
        pending_.clear();
    }
    *diagnostics_ << "Fatal Error: " << toUtf8(view(e.getMessage())) << " at line: " << e.getLineNumber()
                  << " at col: " << e.getColumnNumber() << "\n";
    diagnostics_->flush();
}

}  // namespace tavix
