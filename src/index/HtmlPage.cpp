#include "index/HtmlPage.h"

#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>

#include "editor/LinkWords.h"
#include "index/HtmlExport.h"
#include "store/TextCodec.h"

namespace tavix::detail {

namespace {

std::u16string_view view(const XMLCh* s) {
    return s ? std::u16string_view(asU16(s)) : std::u16string_view();
}

constexpr XMLCh kNameAttribute[] = {'n', 'a', 'm', 'e', 0};
constexpr XMLCh kContentAttribute[] = {'c', 'o', 'n', 't', 'e', 'n', 't', 0};

// 0 for "p", 1-6 for "h1"-"h6", -1 for anything else.
int paragraphStyle(std::u16string_view name) {
    if (name == u"p")
        return 0;
    if (name.size() == 2 && name[0] == u'h' && name[1] >= u'1' && name[1] <= u'6')
        return name[1] - u'0';
    return -1;
}

// The letter of a character format element, or 0.
char formatLetter(std::u16string_view name) {
    if (name == u"b") return 'b';
    if (name == u"i") return 'i';
    if (name == u"u") return 'u';
    if (name == u"strike") return 's';
    if (name == u"sup") return '^';
    if (name == u"sub") return '_';
    return 0;
}

// The HTML element of a format letter; strike has no HTML5 element of its
// own name, s is its successor.
const char* formatElement(char letter) {
    switch (letter) {
    case 'b': return "b";
    case 'i': return "i";
    case 'u': return "u";
    case 's': return "s";
    case '^': return "sup";
    default: return "sub";
    }
}


// Characters that HTML forbids in a document, or that a validator flags:
// controls other than tab and line feed, and noncharacters.
bool forbiddenInHtml(char32_t c) {
    if (c < 0x20)
        return c != u'\t' && c != u'\n';
    if (c >= 0x7F && c <= 0x9F)
        return true;
    if (c >= 0xFDD0 && c <= 0xFDEF)
        return true;
    return (c & 0xFFFE) == 0xFFFE;
}

}  // namespace

void appendMarkup(std::string& out, std::u16string_view text, bool attribute) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        switch (c) {
        case u'&': out += "&amp;"; continue;
        case u'<': out += "&lt;"; continue;
        case u'>': out += "&gt;"; continue;
        default: break;
        }
        if (attribute) {
            // Attribute-value normalisation would turn line breaks and tabs
            // into blanks.
            if (c == u'"') { out += "&quot;"; continue; }
            if (c == u'\n') { out += "&#10;"; continue; }
            if (c == u'\t') { out += "&#9;"; continue; }
        }
        appendUtf8(forbiddenInHtml(c) ? 0xFFFD : c, out);
    }
}

// The page document's event rules, reduced to what the export shows. Text
// outside any paragraph (written by another program) becomes a paragraph of
// its own, and a paragraph inside a paragraph ends the outer one: HTML
// cannot nest them. Formats are kept once each however deeply they nest.
class HtmlPageReader::Handler final : public xercesc::DefaultHandler {
public:
    void start(HtmlPageContent& content) {
        content_ = &content;
        bodyDepth_ = 0;
        open_ = false;
        paragraphs_.clear();
        for (int& c : formatCount_)
            c = 0;
        formats_.clear();
        pending_.clear();
    }

    // Closes the paragraph in hand; after a parse that stopped early.
    void finish() { open_ = false; }

    void startElement(const XMLCh*, const XMLCh* localName, const XMLCh*,
                      const xercesc::Attributes& attributes) override {
        const std::u16string_view local = view(localName);
        pending_.clear();
        if (local == u"meta") {
            const XMLCh* name = attributes.getValue(kNameAttribute);
            const XMLCh* content = attributes.getValue(kContentAttribute);
            if (name && content && view(name) == u"keywords")
                content_->keywords = u16(content);
        }
        if (local == u"body") {
            ++bodyDepth_;
            return;
        }
        if (bodyDepth_ == 0)
            return;
        if (const int style = paragraphStyle(local); style >= 0) {
            paragraphs_.push_back(style);
            openParagraph(style);
        } else if (const char letter = formatLetter(local)) {
            if (formatCount_[index(letter)]++ == 0)
                formats_.push_back(letter);
        }
    }

    void endElement(const XMLCh*, const XMLCh* localName, const XMLCh*) override {
        const std::u16string_view local = view(localName);
        if (local == u"title")
            content_->title = pending_;
        pending_.clear();
        if (local == u"body") {
            if (bodyDepth_ > 0 && --bodyDepth_ == 0)
                open_ = false;
            return;
        }
        if (bodyDepth_ == 0)
            return;
        if (paragraphStyle(local) >= 0) {
            if (!paragraphs_.empty())
                paragraphs_.pop_back();
            open_ = false;
        } else if (const char letter = formatLetter(local)) {
            int& count = formatCount_[index(letter)];
            if (count > 0 && --count == 0)
                formats_.erase(formats_.find(letter), 1);
        }
    }

    void characters(const XMLCh* chars, const XMLSize_t length) override {
        const std::u16string_view text(asU16(chars), length);
        pending_.append(text);
        if (bodyDepth_ == 0)
            return;
        if (!open_) {
            // Layout between paragraphs is no text of the page.
            if (text.find_first_not_of(u" \t\r\n") == std::u16string_view::npos)
                return;
            openParagraph(paragraphs_.empty() ? 0 : paragraphs_.back());
        }
        HtmlBlock& block = content_->blocks.back();
        if (block.runs.empty() || block.runs.back().formats != formats_) {
            if (!block.runs.empty() && block.runs.back().start == block.text.size())
                block.runs.back().formats = formats_;
            else
                block.runs.push_back({block.text.size(), formats_});
        }
        // As the editor shows it: the file's line breaks take no place.
        for (const char16_t c : text)
            if (c >= 0x20 || c == u'\t')
                block.text.push_back(c);
    }

private:
    static int index(char letter) {
        static constexpr char kLetters[] = "bius^_";
        for (int i = 0; i < 6; ++i)
            if (kLetters[i] == letter)
                return i;
        return 0;
    }

    void openParagraph(int style) {
        content_->blocks.push_back(HtmlBlock{style, {}, {}});
        open_ = true;
    }

    HtmlPageContent* content_ = nullptr;
    int bodyDepth_ = 0;
    bool open_ = false;                // the last block takes the text
    std::vector<int> paragraphs_;      // styles of the paragraph elements open
    int formatCount_[6] = {};
    std::string formats_;              // formats in force, in opening order
    std::u16string pending_;           // text since the last element boundary
};

HtmlPageReader::HtmlPageReader() : handler_(std::make_unique<Handler>()) {}

HtmlPageReader::~HtmlPageReader() = default;

ParseResult HtmlPageReader::read(std::string_view bytes, const std::u16string& systemId,
                                 HtmlPageContent& content) {
    content = HtmlPageContent{};
    handler_->start(content);
    const ParseResult result = parseBytesReusing(reader_, bytes, systemId, *handler_);
    handler_->finish();
    return result;
}

namespace {

// Text with its link words linked, under the formats of its runs. A link
// word may cross format boundaries ("Shop<b>ping</b>List" is one word), so
// formats are closed and opened again around each link.
class TextWriter {
public:
    TextWriter(std::string& out, const PageHrefs& hrefs) : out_(out), hrefs_(hrefs) {}

    void write(std::u16string_view text, const std::vector<HtmlBlock::Run>& runs) {
        struct Link {
            std::size_t start, end;
            const std::string* href;
        };
        std::vector<Link> links;
        for (WordTokenizer t(text); !t.AtEnd(); t.Advance()) {
            if (!IsLinkWord(text, t.Start(), t.Length()))
                continue;
            const auto found = hrefs_.find(std::u16string(t.Word()));
            if (found != hrefs_.end())
                links.push_back({t.Start(), t.Start() + t.Length(), &found->second});
        }
        std::size_t run = 0;
        std::size_t link = 0;
        std::size_t pos = 0;
        static const std::string kNone;
        while (pos < text.size()) {
            while (run + 1 < runs.size() && runs[run + 1].start <= pos)
                ++run;
            while (link < links.size() && links[link].end <= pos)
                ++link;
            const bool inLink = link < links.size() && links[link].start <= pos;
            std::size_t end = text.size();
            if (run + 1 < runs.size())
                end = std::min(end, runs[run + 1].start);
            if (link < links.size())
                end = std::min(end, inLink ? links[link].end : links[link].start);
            const std::string& formats = runs.empty() ? kNone : runs[run].formats;
            const std::string* href = inLink ? links[link].href : nullptr;
            if (href != href_) {
                setFormats(kNone);
                if (href_)
                    out_ += "</a>";
                href_ = href;
                if (href_) {
                    out_ += "<a href=\"";
                    out_ += *href_;
                    out_ += "\">";
                }
            }
            setFormats(formats);
            appendMarkup(out_, text.substr(pos, end - pos), false);
            pos = end;
        }
        setFormats(kNone);
        if (href_)
            out_ += "</a>";
        href_ = nullptr;
    }

private:
    void setFormats(const std::string& formats) {
        std::size_t common = 0;
        while (common < open_.size() && common < formats.size() && open_[common] == formats[common])
            ++common;
        while (open_.size() > common) {
            out_ += "</";
            out_ += formatElement(open_.back());
            out_ += '>';
            open_.pop_back();
        }
        for (std::size_t i = common; i < formats.size(); ++i) {
            out_ += '<';
            out_ += formatElement(formats[i]);
            out_ += '>';
            open_.push_back(formats[i]);
        }
    }

    std::string& out_;
    const PageHrefs& hrefs_;
    std::string open_;
    const std::string* href_ = nullptr;
};

void appendHead(std::string& out, std::u16string_view title, std::u16string_view keywords) {
    out += "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\">\n<head>\n"
           "<meta charset=\"utf-8\"/>\n<title>";
    appendMarkup(out, title, false);
    out += "</title>\n";
    if (!keywords.empty()) {
        out += "<meta name=\"keywords\" content=\"";
        appendMarkup(out, keywords, true);
        out += "\"/>\n";
    }
    out += "<link rel=\"stylesheet\" href=\"";
    out += kHtmlStyleFile;
    out += "\"/>\n</head>\n";
}

}  // namespace

std::string renderHtmlPage(const HtmlPageContent& content, const std::u16string& shownTitle,
                           const std::string& note, const PageHrefs& hrefs) {
    std::string out;
    out.reserve(4096 + content.keywords.size());
    appendHead(out, shownTitle, content.keywords);
    out += "<body>\n<nav class=\"notebook\"><a href=\"";
    out += kHtmlIndexFile;
    out += "\">All Pages</a></nav>\n";
    if (!note.empty()) {
        out += "<div class=\"note\" role=\"note\">";
        appendMarkup(out, fromUtf8(note), false);
        out += "</div>\n";
    }
    out += "<main>\n";
    TextWriter writer(out, hrefs);
    for (const HtmlBlock& block : content.blocks) {
        const std::string tag = block.style == 0 ? "p" : "h" + std::to_string(block.style);
        out += '<' + tag + '>';
        if (block.text.empty())
            out += "<br/>";  // an empty paragraph is an empty line, as in the editor
        else
            writer.write(block.text, block.runs);
        out += "</" + tag + ">\n";
    }
    out += "</main>\n";
    if (!content.keywords.empty()) {
        out += "<footer class=\"keywords\"><span class=\"label\">Keywords:</span> ";
        writer.write(content.keywords, {});
        out += "</footer>\n";
    }
    out += "</body>\n</html>\n";
    return out;
}

std::string renderHtmlIndex(const std::vector<HtmlIndexEntry>& entries) {
    std::string out;
    out.reserve(256 + entries.size() * 80);
    appendHead(out, u"All Pages", {});
    out += "<body>\n<main>\n<h1>All Pages</h1>\n<ul class=\"pages\">\n";
    for (const HtmlIndexEntry& entry : entries) {
        out += "<li><a href=\"";
        out += entry.href;
        out += "\">";
        appendMarkup(out, entry.title, false);
        out += "</a></li>\n";
    }
    out += "</ul>\n</main>\n</body>\n</html>\n";
    return out;
}

}  // namespace tavix::detail
