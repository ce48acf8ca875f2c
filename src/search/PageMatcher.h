#pragma once
// Tests page files against a regular expression (Boost.Regex, Perl syntax,
// wide characters) over each run of character data in the file.
#include <memory>
#include <string>

#include <boost/regex.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>

#include "store/Status.h"

namespace tavix {

class PageMatcher : public xercesc::DefaultHandler {
public:
    PageMatcher();
    ~PageMatcher() override;

    void setPattern(const std::u16string& pattern);
    void setMatchCase(bool matchCase);
    // Compiles the expression now; the status names the problem when the
    // pattern is not a valid expression.
    Status compile();

    // True when some run of character data in the file matches. A file that
    // is not well-formed counts as matching when text before the error did.
    // Returns false and sets error() when the pattern does not compile or a
    // match exceeds the library's limits.
    bool matchesFile(const std::u16string& path);
    // The last failure (empty when none).
    const Status& error() const { return error_; }

    void startElement(const XMLCh*, const XMLCh*, const XMLCh*, const xercesc::Attributes&) override;
    void endElement(const XMLCh*, const XMLCh*, const XMLCh*) override;
    void characters(const XMLCh* chars, const XMLSize_t length) override;
    void endDocument() override;
    void fatalError(const xercesc::SAXParseException&) override;

private:
    void searchRun();

    std::u16string pattern_;
    bool matchCase_ = true;
    bool found_ = false;
    bool compiled_ = false;
    boost::wregex expression_;  // see PageMatcher.cpp for the wide-char mapping
    std::u16string run_;
    Status error_;
    struct ReaderHolder;
    std::unique_ptr<ReaderHolder> reader_;
};

}  // namespace tavix
