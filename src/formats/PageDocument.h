#pragma once
// One page in memory: name, title (held escaped), keywords (plain text) and
// body ("<body>...</body>" markup). It is also a SAX2 event sink: whatever
// drives its events (the XML parser, or the RTF reader when the editor's
// content is saved) rebuilds keywords and body by the same rules.
#include <ostream>
#include <string>

#include <xercesc/sax2/DefaultHandler.hpp>

#include "formats/XmlSupport.h"
#include "store/FileStamp.h"
#include "store/Status.h"

namespace tavix {

class Notebook;

// Where a page in memory came from, so that nothing is ever written over a
// file that was not read completely.
struct PageSource {
    enum Kind {
        Template,    // no file: a new page, nothing written yet
        File,        // read completely
        Damaged,     // read up to an error; what was read is shown
        Unreadable,  // a file (or something else) is there but cannot be read
    };
    Kind kind = Template;
    ParseResult read;         // how the parse ended (Damaged: where and why)
    std::string readFailure;  // Unreadable: the reason, naming the file
    FileStamp stamp;          // the file as it was read
};

class PageDocument : public xercesc::DefaultHandler {
public:
    // notebook may be null for a document that is never saved through one.
    explicit PageDocument(Notebook* notebook);
    ~PageDocument() override;

    void setName(const std::u16string& name) { name_ = name; }
    const std::u16string& name() const { return name_; }
    void setTitle(const std::u16string& title) { title_ = title; }
    const std::u16string& title() const { return title_; }
    void setKeywords(const std::u16string& keywords) { keywords_ = keywords; }
    const std::u16string& keywords() const { return keywords_; }
    const std::u16string& body() const { return body_; }
    // Set by the notebook when it loads or saves the page.
    const PageSource& source() const { return source_; }
    void setSource(PageSource source) { source_ = std::move(source); }
    // Takes over title, keywords and body (what a save wrote) from other.
    void takeContentOf(const PageDocument& other) {
        title_ = other.title_;
        keywords_ = other.keywords_;
        body_ = other.body_;
    }

    // Parse a page file / a whole XML document held in memory into this
    // document. A fatal error writes one "Fatal Error: ... at line: L at
    // col: C" line to the diagnostics stream; what was gathered until then
    // is kept.
    ParseResult loadFile(const std::u16string& path);
    ParseResult loadText(const std::u16string& xml);
    // Deliver the events of this page's body to handler. A body that is not
    // well-formed delivers what precedes the error; the result tells.
    ParseResult parseBody(xercesc::ContentHandler& handler) const;

    // The one-line file text (UTF-16; written as UTF-8).
    std::u16string fileText() const;
    // Writes the file through the notebook, atomically. On failure the
    // document keeps its content and the status says why.
    Status save() const;

    // Diagnostic lines go here (standard output unless told otherwise).
    void setDiagnostics(std::ostream& out) { diagnostics_ = &out; }

    // SAX2 events.
    void startDocument() override;
    void endDocument() override;
    void startElement(const XMLCh* uri, const XMLCh* localName, const XMLCh* qName,
                      const xercesc::Attributes& attributes) override;
    void endElement(const XMLCh* uri, const XMLCh* localName, const XMLCh* qName) override;
    void characters(const XMLCh* chars, const XMLSize_t length) override;
    void fatalError(const xercesc::SAXParseException& e) override;

    // Wide-string helpers of the file format, public for the tools and tests.
    // Keywords as attribute text: "&", "<" and the double quote escaped, and
    // CR, LF and TAB as character references so that attribute-value
    // normalisation on reading does not turn them into blanks.
    static std::u16string escapeAttribute(const std::u16string& text);

private:
    // Keeps Xerces initialised for as long as any document (and its escaper)
    // exists; declared first so that it goes last.
    XmlLibrary library_;
    Notebook* notebook_;
    std::u16string name_;
    std::u16string title_;
    std::u16string keywords_;
    std::u16string body_;
    PageSource source_;
    // How many body elements the events stand in: a body inside the body is
    // kept like any other element, and only the outermost one ends it.
    int bodyDepth_ = 0;
    bool capturing_ = false;
    std::u16string pending_;
    std::unique_ptr<CharDataEscaper> escaper_;
    std::ostream* diagnostics_;
};

}  // namespace tavix
