#pragma once
// Inside the index module: the rules that turn a page file's events into
// the text the program shows (see PageText.h), shared by the XML parser's
// handler and by the rename's own reading of the file text, which also
// traces every character of the body and the keywords back to the byte of
// the file it was written as.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "index/PageText.h"

namespace tavix::detail {

// Where a character came from: the offset of its first byte in the file,
// or kNoOrigin when it was written as a reference (&amp;, &#83;), stands
// for a paragraph's end, or for a line end the parser normalised.
constexpr std::uint32_t kNoOrigin = 0xFFFFFFFFu;

struct TracedText {
    PageText text;
    std::vector<std::uint32_t> body;      // one per code unit of text.body
    std::vector<std::uint32_t> keywords;  // one per code unit of text.keywords
    std::vector<std::uint32_t> title;     // one per code unit of text.title
};

class ShownTextBuilder {
public:
    // Starts a document; traced may be null when no tracing is wanted.
    void start(PageText& text, TracedText* traced);

    void startDocument();
    // metaName and metaContent: the element's attributes of those qualified
    // names, or null; contentOrigins traces metaContent (null: untraced).
    void startElement(std::u16string_view localName, const std::u16string* metaName,
                      const std::u16string* metaContent,
                      const std::vector<std::uint32_t>* contentOrigins);
    void endElement(std::u16string_view localName);
    // origins: one per code unit, or null when untraced.
    void characters(const char16_t* chars, std::size_t length, const std::uint32_t* origins);

private:
    PageText* text_ = nullptr;
    TracedText* traced_ = nullptr;
    int bodyDepth_ = 0;
    int paragraphDepth_ = 0;
    bool capturing_ = false;
    std::u16string pending_;
    std::vector<std::uint32_t> pendingOrigins_;
};

}  // namespace tavix::detail
