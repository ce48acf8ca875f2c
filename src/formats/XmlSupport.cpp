#include "formats/XmlSupport.h"

#include <cstring>
#include <fstream>
#include <mutex>
#include <new>

#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLFormatter.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/sax/EntityResolver.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "formats/BoundedReader.h"
#include "formats/XhtmlEntities.h"
#include "store/TextCodec.h"

namespace tavix {

using namespace xercesc;

namespace {

std::mutex& libraryMutex() {
    static std::mutex m;
    return m;
}
int libraryUsers = 0;  // guarded by libraryMutex()

// Page files never need anything from outside themselves. Every external
// DTD, entity or schema is answered from memory: a DOCTYPE naming any DTD
// gets the declarations of the XHTML named entities (pages written by other
// programs name HTML 4, their own or made-up DTDs, and still mean &nbsp; as
// XHTML does; the page's own declarations come first and win); anything
// else is an empty document. Nothing is ever fetched from the network or
// read from another local file.
class OfflineEntityResolver final : public EntityResolver {
    // Xerces asks for the external subset and for external entities alike;
    // only the subset may receive declarations. An entity's identifier
    // comes from the document's own <!ENTITY>, which the resolver cannot
    // see, so the subset is recognised by what a DOCTYPE names.
    static bool isDtdRequest(const XMLCh* publicId, const XMLCh* systemId) {
        const std::u16string_view pub = publicId ? asU16(publicId) : u"";
        const std::u16string_view sys = systemId ? asU16(systemId) : u"";
        if (isXhtmlDtd(pub, sys)) return true;
        if (pub.find(u"DTD") != std::u16string_view::npos || sys == u"about:legacy-compat") return true;
        return sys.size() >= 4 && sys.substr(sys.size() - 4) == u".dtd";
    }

public:
    InputSource* resolveEntity(const XMLCh* const publicId, const XMLCh* const systemId) override {
        static const XMLCh kOffline[] = {chLatin_o, chLatin_f, chLatin_f, chLatin_l, chLatin_i,
                                         chLatin_n, chLatin_e, chNull};
        const XMLCh* id = systemId && *systemId ? systemId : kOffline;
        if (isDtdRequest(publicId, systemId)) {
            const std::string& dtd = xhtmlEntityDeclarations();
            return new MemBufInputSource(reinterpret_cast<const XMLByte*>(dtd.data()), dtd.size(), id, false);
        }
        static const XMLByte nothing[1] = {0};
        return new MemBufInputSource(nothing, 0, id, false);
    }
};

// Shared by every reader: the resolver is stateless and Xerces only reads
// it, so one instance for the whole process suffices and outlives every
// reader that points at it. (The bounds, which change with each document,
// belong to each reader.)
OfflineEntityResolver& sharedResolver() {
    static OfflineEntityResolver resolver;
    return resolver;
}

// Declared entities may add this much text to what the document holds:
// an honest document delivers no more characters than it holds
// (references and line ends only shrink).
constexpr std::size_t kExtraText = 64 * 1024;

std::string utf8(const XMLCh* text) { return text ? toUtf8(asU16(text)) : std::string(); }

// Records the first fatal error so the caller learns how the parse ended
// even though the scanner stops quietly, then forwards every report to the
// caller's own handler when there is one.
class RecordingErrorHandler final : public ErrorHandler {
public:
    explicit RecordingErrorHandler(ErrorHandler* next) : next_(next) {}

    void warning(const SAXParseException& e) override {
        if (next_) next_->warning(e);
    }
    void error(const SAXParseException& e) override {
        if (next_) next_->error(e);
    }
    void fatalError(const SAXParseException& e) override {
        if (result.ok) {
            result.ok = false;
            result.message = utf8(e.getMessage());
            result.line = static_cast<unsigned long>(e.getLineNumber());
            result.column = static_cast<unsigned long>(e.getColumnNumber());
        }
        if (next_) next_->fatalError(e);
    }
    void resetErrors() override {
        if (next_) next_->resetErrors();
    }

    ParseResult result;

private:
    ErrorHandler* next_;
};

ParseResult failure(std::string message, unsigned long line = 0, unsigned long column = 0) {
    ParseResult r;
    r.ok = false;
    r.message = std::move(message);
    r.line = line;
    r.column = column;
    return r;
}

// Entities declared inside a document can multiply its text many times over
// (a large entity referenced thousands of times stays under any sensible
// expansion count). Honest documents deliver no more text than they hold
// (character data, attribute values, comments and instructions together),
// so the handler is cut off once the text passes the input size by more
// than an allowance: memory stays bounded whatever the document declares.
class BudgetedContentHandler final : public ContentHandler, public TextMeter {
public:
    BudgetedContentHandler(ContentHandler& next, std::size_t budget)
        : next_(next), budget_(budget) {}

    void characters(const XMLCh* const chars, const XMLSize_t length) override {
        spend(length);
        next_.characters(chars, length);
    }
    void ignorableWhitespace(const XMLCh* const chars, const XMLSize_t length) override {
        spend(length);
        next_.ignorableWhitespace(chars, length);
    }
    void startElement(const XMLCh* const uri, const XMLCh* const localName, const XMLCh* const qName,
                      const Attributes& attributes) override {
        // Xerces spends time in proportion to the depth on every element
        // (a million nested ones take hours); no page is written anywhere
        // near this deep, so the document ends here like a damaged one.
        if (++depth_ > kMaxElementDepth) {
            static const char16_t kMessage[] = u"elements nested more than 10000 deep";
            static_assert(kMaxElementDepth == 10000, "the message names the limit");
            if (locator_) throw SAXParseException(asXml(kMessage), *locator_);
            throw SAXException(asXml(kMessage));
        }
        for (XMLSize_t i = 0; i < attributes.getLength(); ++i)
            spend(XMLString::stringLen(attributes.getValue(i)));
        next_.startElement(uri, localName, qName, attributes);
    }
    void endElement(const XMLCh* const uri, const XMLCh* const localName, const XMLCh* const qName) override {
        --depth_;
        next_.endElement(uri, localName, qName);
    }
    void startDocument() override { next_.startDocument(); }
    void endDocument() override { next_.endDocument(); }
    void processingInstruction(const XMLCh* const target, const XMLCh* const data) override {
        spend(XMLString::stringLen(data));
        next_.processingInstruction(target, data);
    }
    void setDocumentLocator(const Locator* const locator) override {
        locator_ = locator;
        next_.setDocumentLocator(locator);
    }
    void startPrefixMapping(const XMLCh* const prefix, const XMLCh* const uri) override {
        next_.startPrefixMapping(prefix, uri);
    }
    void endPrefixMapping(const XMLCh* const prefix) override { next_.endPrefixMapping(prefix); }
    void skippedEntity(const XMLCh* const name) override { next_.skippedEntity(name); }

    bool exceeded() const { return exceeded_; }
    const Locator* locator() const { return locator_; }

    // Text of every kind counts: honest documents hold all of it.
    void spend(std::size_t units) override {
        spent_ += units;
        if (spent_ <= budget_) return;
        exceeded_ = true;
        static const char16_t kMessage[] = u"entity expansion produces far more text than the document holds";
        // With a position it is reported like any other fatal error.
        if (locator_) throw SAXParseException(asXml(kMessage), *locator_);
        throw SAXException(asXml(kMessage));
    }

private:
    ContentHandler& next_;
    std::size_t budget_;
    std::size_t spent_ = 0;
    std::size_t depth_ = 0;
    bool exceeded_ = false;
    const Locator* locator_ = nullptr;
};

// What a document's bounds are measured from.
struct InputSize {
    std::size_t bytes;       // as the parser reads them
    std::size_t units;       // at least the number of UTF-16 units they hold
    std::size_t references;  // at least the number of references written
};

bool isNameStart(char32_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}
bool isNameChar(char32_t c) {
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// Entity references written in the document: "&", a name and ";", seen as
// code units that at(i) gives. Anything beyond ASCII counts as a name
// character, so no reference is missed; one inside a comment is counted
// too, which costs only allowance.
template <typename At>
std::size_t countReferences(std::size_t count, At at) {
    std::size_t found = 0;
    for (std::size_t i = 0; i + 2 < count; ++i) {
        if (at(i) != '&' || !isNameStart(at(i + 1))) continue;
        std::size_t j = i + 2;
        while (j < count && isNameChar(at(j))) ++j;
        if (j < count && at(j) == ';') {
            ++found;
            i = j;
        }
    }
    return found;
}

InputSize measure(const char16_t* text, std::size_t count) {
    return {count * sizeof(char16_t), count,
            countReferences(count, [text](std::size_t i) { return text[i]; })};
}

// A file's bytes, in whatever encoding: UTF-16 (told by its byte-order mark
// or its first "<") is read as such, anything else byte by byte, which
// finds every reference in UTF-8 and the other ASCII-based encodings.
InputSize measure(const char* data, std::size_t size) {
    const auto* b = reinterpret_cast<const unsigned char*>(data);
    const bool little = size >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == '<' && b[1] == 0));
    const bool big = size >= 2 && ((b[0] == 0xFE && b[1] == 0xFF) || (b[0] == 0 && b[1] == '<'));
    std::size_t references = 0;
    if (little) {
        references = countReferences(
            size / 2, [b](std::size_t i) { return char32_t(b[2 * i] | b[2 * i + 1] << 8); });
    } else if (big) {
        references = countReferences(
            size / 2, [b](std::size_t i) { return char32_t(b[2 * i] << 8 | b[2 * i + 1]); });
    } else {
        references = countReferences(size, [b](std::size_t i) { return char32_t(b[i]); });
    }
    return {size, size, references};
}

// Reports a failure that did not come from the parser's own error reporting
// (the parser ran out of its memory) like any other fatal error.
void reportFatal(RecordingErrorHandler& recorder, const char16_t* message, const Locator* locator) {
    const XMLFileLoc line = locator ? locator->getLineNumber() : 0;
    const XMLFileLoc column = locator ? locator->getColumnNumber() : 0;
    const XMLCh* systemId = locator ? locator->getSystemId() : nullptr;
    const XMLCh* publicId = locator ? locator->getPublicId() : nullptr;
    try {
        recorder.fatalError(SAXParseException(asXml(message), publicId, systemId, line, column));
    } catch (const SAXException&) {
        // A rethrowing handler has already been told.
    }
}

ParseResult runParse(SAX2XMLReader& reader, const InputSource& source, const InputSize& size,
                     ContentHandler& content, ErrorHandler* errors) {
    BoundedReader* bounded = dynamic_cast<BoundedReader*>(&reader);
    if (bounded && bounded->spent())
        return failure("this XML reader gave up on an earlier document and cannot be used again");
    RecordingErrorHandler recorder(errors);
    BudgetedContentHandler budgeted(content, textBudget(size.units));
    reader.setContentHandler(&budgeted);
    reader.setErrorHandler(&recorder);
    if (bounded) {
        bounded->prepare(size.bytes, size.references);
        bounded->setTextMeter(&budgeted);
    }
    ParseResult result;
    try {
        reader.parse(source);
        result = recorder.result;
    } catch (const SAXParseException& e) {
        // A handler gave up (or rethrew a report): the first error counts,
        // and one that was not reported yet is reported now.
        if (recorder.result.ok) {
            try {
                recorder.fatalError(e);
            } catch (const SAXException&) {
                // A rethrowing handler has already been told.
            }
        }
        result = recorder.result;
    } catch (const SAXException& e) {
        result = failure(utf8(e.getMessage()));
    } catch (const OutOfMemoryException&) {
        result = failure("out of memory while parsing");
    } catch (const XMLException& e) {
        result = failure(utf8(e.getMessage()));
    } catch (const std::bad_alloc&) {
        result = failure("out of memory while parsing");
    } catch (const std::exception& e) {
        // A handler of the caller's gave up; the parse ends there.
        result = failure(e.what());
    } catch (...) {
        // So does one that stops the parse with a token of its own.
        result = failure("the parse was stopped by its handler");
    }
    if (bounded) {
        if (bounded->memoryExceeded()) {
            // The reader still stands where it stopped, so the position is
            // the one in the document that asked for too much.
            if (recorder.result.ok) {
                static const char16_t kMessage[] =
                    u"the document makes the parser use far more memory than its size warrants";
                reportFatal(recorder, kMessage, budgeted.locator());
                result = recorder.result;
            }
            result.ok = false;
            result.limitExceeded = true;
        }
        if (bounded->expansionsExceeded()) result.limitExceeded = true;
        bounded->setTextMeter(nullptr);
        bounded->finish();
    }
    if (budgeted.exceeded()) result.limitExceeded = true;
    // The handlers are gone when this returns; the reader must not keep them.
    reader.setContentHandler(nullptr);
    reader.setErrorHandler(nullptr);
    return result;
}

// Xerces' "UTF-16" transcoder writes code units in the host's order and
// formatBuf never emits a byte-order mark, so the target's bytes are the
// char16_t values as they stand (the escaping tests would catch a swap).
constexpr const char* kFormatterEncoding = "UTF-16";

}  // namespace

XmlLibrary::XmlLibrary() {
    std::lock_guard<std::mutex> lock(libraryMutex());
    // Counted only once started, so a failed start leaves nothing to undo.
    if (libraryUsers == 0) XMLPlatformUtils::Initialize();
    ++libraryUsers;
}

XmlLibrary::~XmlLibrary() {
    std::lock_guard<std::mutex> lock(libraryMutex());
    if (--libraryUsers == 0) XMLPlatformUtils::Terminate();
}

std::size_t textBudget(std::size_t units) { return saturatingAdd(units, kExtraText); }

std::unique_ptr<SAX2XMLReader> makeSafeReader() {
    std::unique_ptr<BoundedReader> reader(new BoundedReader());
    reader->setFeature(XMLUni::fgSAX2CoreNameSpaces, true);
    // The external subset is "loaded" only through the resolver above, which
    // never reaches outside; without a resolver answer nothing is opened.
    reader->setFeature(XMLUni::fgXercesLoadExternalDTD, true);
    reader->setFeature(XMLUni::fgXercesDisableDefaultEntityResolution, true);
    // Pages have no schemas; neither looking for one nor loading one.
    reader->setFeature(XMLUni::fgXercesSchema, false);
    reader->setFeature(XMLUni::fgXercesLoadSchema, false);
    reader->setEntityResolver(&sharedResolver());
    // Its limit is set for each document, in proportion to it.
    reader->setProperty(XMLUni::fgXercesSecurityManager, reader->securityManager());
    return reader;
}

ParseResult parseText(SAX2XMLReader& reader, const std::u16string& text, ContentHandler& content,
                      ErrorHandler* errors) {
    static const XMLCh kDummy[] = {chLatin_d, chLatin_u, chLatin_m, chLatin_m, chLatin_y, chNull};
    try {
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(text.data()),
                                 text.size() * sizeof(char16_t), kDummy, false);
        // Xerces' "UTF-16" honours a byte-order mark and otherwise assumes
        // the host's order, which is how the string lies in memory.
        static const XMLCh kUtf16[] = {chLatin_U, chLatin_T, chLatin_F, chDash, chDigit_1, chDigit_6, chNull};
        source.setEncoding(kUtf16);
        return runParse(reader, source, measure(text.data(), text.size()), content, errors);
    } catch (const XMLException& e) {
        return failure(utf8(e.getMessage()));
    } catch (const std::bad_alloc&) {
        return failure("out of memory while parsing");
    }
}

ParseResult parseFile(SAX2XMLReader& reader, const std::u16string& path, ContentHandler& content,
                      ErrorHandler* errors) {
    // The file is read here rather than through Xerces' own file input: its
    // path conversion follows the process locale and would miss page names
    // that are not plain ASCII. The bytes go to the parser untouched, so the
    // encoding is still found from the file itself.
    const std::string nativePath = toUtf8(path);
    std::ifstream in(nativePath, std::ios::binary);
    if (!in) return failure("cannot open file for reading: " + nativePath);
    std::string bytes;
    try {
        // Read in blocks rather than trusting a size: a folder or a special
        // file opens fine but has none, and fails only on reading.
        char block[1 << 16];
        while (in.read(block, sizeof block) || in.gcount() > 0)
            bytes.append(block, static_cast<std::size_t>(in.gcount()));
        if (in.bad()) return failure("cannot read file: " + nativePath);
    } catch (const std::exception&) {
        return failure("cannot read file: " + nativePath);
    }
    return parseBytes(reader, bytes.data(), bytes.size(), path, content, errors);
}

ParseResult parseBytesReusing(std::unique_ptr<SAX2XMLReader>& reader, std::string_view bytes,
                              const std::u16string& systemId, xercesc::ContentHandler& content) {
    if (!reader)
        reader = makeSafeReader();
    ParseResult result;
    if (!reader) {
        result.ok = false;
        result.message = "no XML reader";
        return result;
    }
    result = parseBytes(*reader, bytes.data(), bytes.size(), systemId, content, nullptr);
    if (result.limitExceeded)
        reader.reset();
    return result;
}

ParseResult parseBytes(SAX2XMLReader& reader, const char* bytes, std::size_t size,
                       const std::u16string& systemId, ContentHandler& content,
                       ErrorHandler* errors) {
    try {
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(bytes), size,
                                 asXml(systemId.c_str()), false);
        return runParse(reader, source, measure(bytes, size), content, errors);
    } catch (const XMLException& e) {
        return failure(utf8(e.getMessage()));
    } catch (const std::bad_alloc&) {
        return failure("out of memory while parsing");
    }
}

struct CharDataEscaper::Impl {
    Impl() : target(2047), formatter(kFormatterEncoding, &target, XMLFormatter::StdEscapes, XMLFormatter::UnRep_CharRef) {}
    MemBufFormatTarget target;
    XMLFormatter formatter;
};

CharDataEscaper::CharDataEscaper() : impl_(std::make_unique<Impl>()) {}
CharDataEscaper::~CharDataEscaper() = default;

void CharDataEscaper::appendEscaped(const XMLCh* text, std::size_t length, std::u16string& out) {
    if (length == 0) return;
    // Most runs of page text hold nothing to escape, and UTF-16 can carry
    // every character, so the formatter would copy them unchanged; skipping
    // it there keeps loading large pages fast.
    const char16_t* run = asU16(text);
    bool plain = true;
    for (std::size_t i = 0; i < length && plain; ++i) {
        const char16_t c = run[i];
        plain = c > u'>' || (c != u'&' && c != u'<' && c != u'>' && c != u'"' && c != u'\'');
    }
    if (plain) {
        out.append(run, length);
        return;
    }
    impl_->target.reset();
    impl_->formatter.formatBuf(text, length, XMLFormatter::StdEscapes, XMLFormatter::UnRep_CharRef);
    const XMLByte* bytes = impl_->target.getRawBuffer();
    const std::size_t units = impl_->target.getLen() / sizeof(char16_t);
    const std::size_t start = out.size();
    out.resize(start + units);
    std::memcpy(out.data() + start, bytes, units * sizeof(char16_t));
}

std::u16string escapeCharData(const std::u16string& text) {
    CharDataEscaper escaper;
    std::u16string out;
    escaper.appendEscaped(asXml(text.c_str()), text.size(), out);
    return out;
}

std::u16string unescapeCharData(const std::u16string& in) {
    std::u16string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != u'&') {
            out += in[i];
            continue;
        }
        const std::size_t semi = in.find(u';', i + 1);
        if (semi == std::u16string::npos || semi - i > 12) {
            out += in[i];
            continue;
        }
        const std::u16string name = in.substr(i + 1, semi - i - 1);
        char32_t cp = 0;
        if (name == u"amp") cp = u'&';
        else if (name == u"lt") cp = u'<';
        else if (name == u"gt") cp = u'>';
        else if (name == u"quot") cp = u'"';
        else if (name == u"apos") cp = u'\'';
        else if (name.size() > 1 && name[0] == u'#') {
            const bool hex = name[1] == u'x' || name[1] == u'X';
            char32_t v = 0;
            bool ok = name.size() > (hex ? 2u : 1u);
            for (std::size_t k = hex ? 2 : 1; ok && k < name.size(); ++k) {
                const char16_t c = name[k];
                int d = -1;
                if (c >= u'0' && c <= u'9') d = c - u'0';
                else if (hex && c >= u'a' && c <= u'f') d = c - u'a' + 10;
                else if (hex && c >= u'A' && c <= u'F') d = c - u'A' + 10;
                if (d < 0) ok = false;
                else v = v * (hex ? 16 : 10) + static_cast<char32_t>(d);
                if (v > 0x10FFFF) ok = false;
            }
            if (ok && v != 0 && !(v >= 0xD800 && v <= 0xDFFF))
                cp = v;
        }
        if (cp == 0) {
            out += in[i];
            continue;
        }
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i = semi;
    }
    return out;
}


}  // namespace tavix
