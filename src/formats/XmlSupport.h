#pragma once
// Shared use of Xerces-C: library start-up, readers that are safe on files
// from disk, and parse results at the edge instead of exceptions.
#include <memory>
#include <string_view>
#include <string>

#include <xercesc/sax2/ContentHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/util/XMLString.hpp>

namespace tavix {

static_assert(sizeof(XMLCh) == sizeof(char16_t), "XMLCh must be a UTF-16 code unit");

// Initialises Xerces-C while at least one instance exists (reference counted,
// so the store, tools and tests may each hold one).
class XmlLibrary {
public:
    XmlLibrary();
    ~XmlLibrary();
    XmlLibrary(const XmlLibrary&) = delete;
    XmlLibrary& operator=(const XmlLibrary&) = delete;
};

// How a parse ended. On failure, message/line/column come from the first
// fatal error (line and column are 0 when the failure was not positional).
// Any failure means the document was not read to its end.
struct ParseResult {
    bool ok = true;
    std::string message;  // UTF-8
    unsigned long line = 0;
    unsigned long column = 0;
    // The document was stopped by one of the bounds below (entity
    // expansions, text or memory far beyond its size) rather than by damage
    // to its text: it is hostile, or at least cannot be read within them.
    bool limitExceeded = false;
};

// A SAX2 reader with namespaces on, that never reads anything outside the
// document: no external DTD, entity or schema is fetched or opened. A
// DOCTYPE naming one of the XHTML DTDs gets that DTD's named entities
// (&nbsp; ...) from memory; any other external resource reads as empty.
//
// Parsed through parseText, parseFile or parseBytes, a document is bounded
// by its own size, so that a hostile one ends in a fatal error in memory
// and time proportional to it:
// - entity expansions: one per reference written in the document, however
//   many (&nbsp; 100,000 times is fine), plus a fixed allowance for the
//   nesting of declared entities (a billion laughs runs out of it);
// - text: the characters, attribute values, comments and instructions
//   delivered may exceed the document's own length only by a fixed
//   allowance (declared entities that multiply text);
// - memory: the parser's own allocations (an attribute value it builds
//   whole, before any handler sees it) may grow only in proportion to the
//   document's size;
// - nesting: elements deeper than kMaxElementDepth end the document with a
//   fatal error at the first one (the parser's time per element grows with
//   its depth). That is damage, not a bound: the reader stays usable and
//   limitExceeded stays clear, so the page shows what came before it.
// A reader whose document exceeded a bound may be left unusable by the
// parser: the functions below then refuse it, so make a new one.
std::unique_ptr<xercesc::SAX2XMLReader> makeSafeReader();

// The deepest an element may stand (the root element is at depth 1).
inline constexpr std::size_t kMaxElementDepth = 10000;

// The most characters (text, attribute values, comments and instructions
// together) the functions below deliver from a document of this many code
// units (or bytes, for a file) before they stop it.
std::size_t textBudget(std::size_t units);

// Parse a whole document held in memory as UTF-16 (system id "dummy").
// errors may be null (no handler of the caller's is told; the result still
// tells). The parse ends at the first fatal error, reported once to errors
// and in the result; events before it have been delivered. Exceeding a
// bound is such a fatal error, with limitExceeded set. Nothing is thrown.
ParseResult parseText(xercesc::SAX2XMLReader& reader, const std::u16string& text,
                      xercesc::ContentHandler& content, xercesc::ErrorHandler* errors);
// Parse a file (UTF-16 path, any characters); the encoding comes from the
// file itself. A file that cannot be read fails without calling errors.
ParseResult parseFile(xercesc::SAX2XMLReader& reader, const std::u16string& path,
                      xercesc::ContentHandler& content, xercesc::ErrorHandler* errors);
// Parse the bytes of a file already read; the encoding comes from the bytes
// themselves, systemId names the document in messages.
ParseResult parseBytes(xercesc::SAX2XMLReader& reader, const char* bytes, std::size_t size,
                       const std::u16string& systemId, xercesc::ContentHandler& content,
                       xercesc::ErrorHandler* errors);
// The same with a reader kept for many documents: made safe on first use,
// and dropped after a document stopped by a bound (it may be unusable), so
// the next document gets a new one.
ParseResult parseBytesReusing(std::unique_ptr<xercesc::SAX2XMLReader>& reader, std::string_view bytes,
                              const std::u16string& systemId, xercesc::ContentHandler& content);

inline const char16_t* asU16(const XMLCh* s) { return reinterpret_cast<const char16_t*>(s); }
inline const XMLCh* asXml(const char16_t* s) { return reinterpret_cast<const XMLCh*>(s); }
inline std::u16string u16(const XMLCh* s) { return s ? std::u16string(asU16(s)) : std::u16string(); }
inline std::u16string u16(const XMLCh* s, std::size_t n) { return std::u16string(asU16(s), n); }

// The XHTML 1.0 namespace name.
inline constexpr char16_t kXhtmlNamespace[] = u"http://www.w3.org/1999/xhtml";

// Escapes character data with the five standard escapes (&amp; &lt; &gt;
// &quot; &apos;) through Xerces' XMLFormatter; everything else is kept.
class CharDataEscaper {
public:
    CharDataEscaper();
    ~CharDataEscaper();
    CharDataEscaper(const CharDataEscaper&) = delete;
    CharDataEscaper& operator=(const CharDataEscaper&) = delete;
    void appendEscaped(const XMLCh* text, std::size_t length, std::u16string& out);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Convenience: escape a whole string.
std::u16string escapeCharData(const std::u16string& text);

// The reverse, for text held escaped (a page title) that is shown to the
// user: the five standard escapes and numeric character references are
// resolved; anything malformed or naming no valid character stays as it is.
std::u16string unescapeCharData(const std::u16string& escaped);

}  // namespace tavix
