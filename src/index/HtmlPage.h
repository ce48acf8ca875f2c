#pragma once
// One page as an HTML5 document (XML syntax), for the notebook export: the
// page file is read into paragraphs of formatted text by the page
// document's rules (the outermost body element, local names, the keywords
// meta element wherever it stands), then written out with its link words
// turned into links.
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "formats/XmlSupport.h"

namespace tavix::detail {

// Page name -> href of its file.
using PageHrefs = std::unordered_map<std::u16string, std::string>;

// A paragraph of the page: its style (0 Normal, 1-6 headings), its text,
// and where the character formats change. A format run holds the formats
// in force as letters in the order they were opened: b, i, u, s (strike),
// ^ (sup), _ (sub).
struct HtmlBlock {
    int style = 0;
    std::u16string text;
    struct Run {
        std::size_t start;
        std::string formats;
    };
    std::vector<Run> runs;
};

struct HtmlPageContent {
    std::u16string title;  // plain text; empty when the file has none
    std::u16string keywords;
    std::vector<HtmlBlock> blocks;
};

// Reads page files one after another with one parser; one per thread.
class HtmlPageReader {
public:
    HtmlPageReader();
    ~HtmlPageReader();
    HtmlPageReader(const HtmlPageReader&) = delete;
    HtmlPageReader& operator=(const HtmlPageReader&) = delete;

    // Fills content (cleared first) from the bytes of a page file. On a
    // failure, content holds what was read before it. Never throws.
    ParseResult read(std::string_view bytes, const std::u16string& systemId,
                     HtmlPageContent& content);

private:
    class Handler;
    XmlLibrary library_;
    std::unique_ptr<xercesc::SAX2XMLReader> reader_;
    std::unique_ptr<Handler> handler_;
};

// The whole HTML document of a page. note, when not empty, is shown above
// the text (UTF-8 plain text: a page that could not be read in full).
std::string renderHtmlPage(const HtmlPageContent& content, const std::u16string& shownTitle,
                           const std::string& note, const PageHrefs& hrefs);

struct HtmlIndexEntry {
    std::u16string title;
    std::string href;
};
// "index.html": every page by title, in the order given.
std::string renderHtmlIndex(const std::vector<HtmlIndexEntry>& entries);

// Appends text as UTF-8 markup: "&", "<", ">" (and in attributes the double
// quote and line breaks) escaped; characters HTML does not allow in a
// document (controls, noncharacters, unpaired surrogates) become U+FFFD.
void appendMarkup(std::string& out, std::u16string_view text, bool attribute);

}  // namespace tavix::detail
