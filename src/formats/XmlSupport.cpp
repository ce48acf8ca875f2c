#include "formats/XmlSupport.h"

#include <cstring>
#include <fstream>
#include <mutex>
#include <new>

#include <xercesc/framework/MemBufFormatTarget.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLFormatter.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/sax/EntityResolver.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "store/TextCodec.h"

namespace tavix {

using namespace xercesc;

namespace {

std::mutex& libraryMutex() {
    static std::mutex m;
    return m;
}
int libraryUsers = 0;  // guarded by libraryMutex()

// Page files never need anything from outside themselves. Answering every
// external DTD, entity or schema with an empty document keeps a page that
// names one (such as the XHTML DOCTYPE pointing at the web) from making the
// program reach the network or read an unrelated local file.
class EmptyEntityResolver final : public EntityResolver {
public:
    InputSource* resolveEntity(const XMLCh* const /*publicId*/, const XMLCh* const systemId) override {
        static const XMLByte nothing[1] = {0};
        static const XMLCh kEmpty[] = {chLatin_e, chLatin_m, chLatin_p, chLatin_t, chLatin_y, chNull};
        return new MemBufInputSource(nothing, 0, systemId && *systemId ? systemId : kEmpty, false);
    }
};

// Shared by every reader: both objects are stateless once configured and
// Xerces only reads them, so one instance for the whole process suffices and
// outlives every reader that points at it.
EmptyEntityResolver& sharedResolver() {
    static EmptyEntityResolver resolver;
    return resolver;
}

// No page the program writes uses entities at all (predefined entities and
// character references are not counted); the limit only has to stop
// expansion bombs early, before they cost noticeable time or memory.
constexpr XMLSize_t kEntityExpansionLimit = 10000;

SecurityManager& sharedSecurityManager() {
    static SecurityManager manager;
    static std::once_flag configured;
    std::call_once(configured, [] { manager.setEntityExpansionLimit(kEntityExpansionLimit); });
    return manager;
}

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

ParseResult runParse(SAX2XMLReader& reader, const InputSource& source, ContentHandler& content,
                     ErrorHandler* errors) {
    RecordingErrorHandler recorder(errors);
    reader.setContentHandler(&content);
    reader.setErrorHandler(&recorder);
    ParseResult result;
    try {
        reader.parse(source);
        result = recorder.result;
    } catch (const SAXParseException& e) {
        // Only reaches here when a handler rethrows; keep the first report.
        result = recorder.result.ok
                     ? failure(utf8(e.getMessage()), static_cast<unsigned long>(e.getLineNumber()),
                               static_cast<unsigned long>(e.getColumnNumber()))
                     : recorder.result;
    } catch (const SAXException& e) {
        result = failure(utf8(e.getMessage()));
    } catch (const OutOfMemoryException&) {
        result = failure("out of memory while parsing");
    } catch (const XMLException& e) {
        result = failure(utf8(e.getMessage()));
    } catch (const std::bad_alloc&) {
        result = failure("out of memory while parsing");
    }
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
    if (libraryUsers++ == 0) XMLPlatformUtils::Initialize();
}

XmlLibrary::~XmlLibrary() {
    std::lock_guard<std::mutex> lock(libraryMutex());
    if (--libraryUsers == 0) XMLPlatformUtils::Terminate();
}

std::unique_ptr<SAX2XMLReader> makeSafeReader() {
    std::unique_ptr<SAX2XMLReader> reader(XMLReaderFactory::createXMLReader());
    reader->setFeature(XMLUni::fgSAX2CoreNameSpaces, true);
    reader->setFeature(XMLUni::fgXercesLoadExternalDTD, false);
    reader->setFeature(XMLUni::fgXercesDisableDefaultEntityResolution, true);
    reader->setFeature(XMLUni::fgXercesLoadSchema, false);
    reader->setEntityResolver(&sharedResolver());
    reader->setProperty(XMLUni::fgXercesSecurityManager, &sharedSecurityManager());
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
        return runParse(reader, source, content, errors);
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
    std::string nativePath = toUtf8(path);
    std::ifstream in(nativePath, std::ios::binary);
    if (!in) return failure("cannot open file for reading: " + nativePath);
    std::string bytes;
    try {
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        in.seekg(0, std::ios::beg);
        if (size > 0) bytes.resize(static_cast<std::size_t>(size));
        if (size > 0 && !in.read(bytes.data(), size)) return failure("cannot read file: " + nativePath);
    } catch (const std::bad_alloc&) {
        return failure("file too large to read: " + nativePath);
    }
    try {
        const std::u16string& systemId = path;
        MemBufInputSource source(reinterpret_cast<const XMLByte*>(bytes.data()), bytes.size(),
                                 asXml(systemId.c_str()), false);
        return runParse(reader, source, content, errors);
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

}  // namespace tavix
