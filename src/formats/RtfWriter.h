#pragma once
// Page body (XHTML events) to the editor's RTF, formatted from the style sheet.
#include <ostream>
#include <string>

#include <xercesc/sax2/DefaultHandler.hpp>

#include "formats/XmlSupport.h"
#include "store/StyleSheet.h"

namespace tavix {

class RtfWriter : public xercesc::DefaultHandler {
public:
    explicit RtfWriter(const StyleSheet& styleSheet);

    // Added to a style's index to give its font number (0 for whole pages,
    // 100 for fragments pasted over a selection).
    void setFontBase(int base) { fontBase_ = base; }
    // Parses a whole XML document (a body fragment) from memory. The result
    // is always a closed RTF document, even when the input has no body or
    // is not well-formed (then one "Fatal Error: " line is reported).
    ParseResult convert(const std::u16string& xml);
    const std::u16string& rtf() const { return out_; }
    // Closes the document when the events stopped before endDocument (a
    // body that is not well-formed, driven by another parser): afterwards
    // rtf() is a closed document, the header alone when no event came.
    // Does nothing when the document is already closed; convert calls it.
    void finish();

    void setDiagnostics(std::ostream& out) { diagnostics_ = &out; }

    void startDocument() override;
    void endDocument() override;
    void startElement(const XMLCh* uri, const XMLCh* localName, const XMLCh* qName,
                      const xercesc::Attributes& attributes) override;
    void endElement(const XMLCh* uri, const XMLCh* localName, const XMLCh* qName) override;
    void characters(const XMLCh* chars, const XMLSize_t length) override;
    void fatalError(const xercesc::SAXParseException& e) override;

private:
    void appendHeader();

    const StyleSheet& styleSheet_;
    int fontBase_ = 0;
    bool inBody_ = false;
    int paragraphDepth_ = 0;  // open p and h1..h6 elements
    bool closed_ = false;
    std::u16string out_;
    std::ostream* diagnostics_;
};

}  // namespace tavix
