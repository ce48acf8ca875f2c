#pragma once
// What a page file shows the user, read straight from the file's bytes: the
// title, the keywords, and the body's text the way the editor shows it. The
// index takes its link words from here, so the links it knows are the ones
// the editor marks.
//
// Where link words are looked for: the body and the keywords, both of which
// the editor shows and marks; the title is not (it is shown in the window's
// caption, where nothing is a link).
//
// The body's text follows the page document's rules for what the body is
// (by local name; the outermost body element; a second body continues the
// first) and the editor's rules for how it reads: a paragraph (p, h1 to h6)
// ends a line, every other element (b, i, span...) leaves the text running
// on, so "Shop<b>ping</b>List" reads as one word; control characters in the
// markup (line breaks of the file's layout) take no place, except a tab
// inside a paragraph, which the user typed.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "formats/XmlSupport.h"

namespace tavix {

struct PageText {
    std::u16string title;     // plain text (references resolved)
    std::u16string keywords;  // plain text
    std::u16string body;      // the body's text, a '\n' after each paragraph
};

// The link words of a page: those of the body, then those of the keywords
// not seen yet, each once, in the order they first appear.
std::vector<std::u16string> linkWordsOf(const PageText& text);

// How many times word stands as a whole link word in text.
std::size_t countLinkWord(std::u16string_view text, std::u16string_view word);

// Reads page files one after another with one parser (made once: a parser
// per page would cost more than the page). Not for use by two threads at
// once; give each thread its own.
class PageTextReader {
public:
    PageTextReader();
    ~PageTextReader();
    PageTextReader(const PageTextReader&) = delete;
    PageTextReader& operator=(const PageTextReader&) = delete;

    // Reads the bytes of a page file (the encoding comes from the bytes, as
    // for the page document) into text, which is cleared first. systemId
    // names the document in messages. The result tells whether the file was
    // read to its end; when it was not (damaged, hostile), text holds what
    // was read before, as the program would show it. Never throws; nothing
    // outside the bytes is ever loaded.
    ParseResult read(std::string_view bytes, const std::u16string& systemId, PageText& text);

private:
    class Handler;
    XmlLibrary library_;
    std::unique_ptr<xercesc::SAX2XMLReader> reader_;
    std::unique_ptr<Handler> handler_;
};

}  // namespace tavix
