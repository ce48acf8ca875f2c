#include "index/PageText.h"

#include <algorithm>
#include <unordered_set>

#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>

#include "editor/LinkWords.h"
#include "index/ShownText.h"

namespace tavix {

namespace {

bool isParagraph(std::u16string_view name) {
    return name == u"p" ||
           (name.size() == 2 && name[0] == u'h' && name[1] >= u'1' && name[1] <= u'6');
}

std::u16string_view view(const XMLCh* s) {
    return s ? std::u16string_view(asU16(s)) : std::u16string_view();
}

constexpr XMLCh kNameAttribute[] = {'n', 'a', 'm', 'e', 0};
constexpr XMLCh kContentAttribute[] = {'c', 'o', 'n', 't', 'e', 'n', 't', 0};

void appendLinkWords(std::u16string_view text, std::vector<std::u16string>& words,
                     std::unordered_set<std::u16string>& seen) {
    for (WordTokenizer t(text); !t.AtEnd(); t.Advance()) {
        if (!IsLinkWord(text, t.Start(), t.Length()))
            continue;
        std::u16string word(t.Word());
        if (seen.insert(word).second)
            words.push_back(std::move(word));
    }
}

}  // namespace

std::vector<std::u16string> linkWordsOf(const PageText& text) {
    std::vector<std::u16string> words;
    std::unordered_set<std::u16string> seen;
    appendLinkWords(text.body, words, seen);
    appendLinkWords(text.keywords, words, seen);
    return words;
}

std::size_t countLinkWord(std::u16string_view text, std::u16string_view word) {
    std::size_t count = 0;
    for (WordTokenizer t(text); !t.AtEnd(); t.Advance())
        if (t.Word() == word && IsLinkWord(text, t.Start(), t.Length()))
            ++count;
    return count;
}

namespace detail {

// The page document's event rules, reduced to what is shown: the same
// decisions about which element is the body and which text the title,
// without rebuilding any markup.
void ShownTextBuilder::start(PageText& text, TracedText* traced) {
    text_ = &text;
    traced_ = traced;
    bodyDepth_ = 0;
    paragraphDepth_ = 0;
    capturing_ = false;
    pending_.clear();
    pendingOrigins_.clear();
}

void ShownTextBuilder::startDocument() {
    text_->body.clear();
    text_->keywords.clear();
    if (traced_) {
        traced_->body.clear();
        traced_->keywords.clear();
    }
}

void ShownTextBuilder::startElement(std::u16string_view local, const std::u16string* metaName,
                                    const std::u16string* metaContent,
                                    const std::vector<std::uint32_t>* contentOrigins) {
    if (local == u"body") {
        // A body after the first continues it, as in the page document.
        ++bodyDepth_;
    } else if (local == u"title") {
        capturing_ = true;
    } else if (local == u"meta") {
        if (metaName && metaContent && *metaName == u"keywords") {
            text_->keywords = *metaContent;
            if (traced_) {
                if (contentOrigins && contentOrigins->size() == metaContent->size())
                    traced_->keywords = *contentOrigins;
                else
                    traced_->keywords.assign(metaContent->size(), kNoOrigin);
            }
        }
    }
    if (bodyDepth_ > 0) {
        capturing_ = true;
        if (isParagraph(local))
            ++paragraphDepth_;
    }
    pending_.clear();
    pendingOrigins_.clear();
}

void ShownTextBuilder::endElement(std::u16string_view local) {
    if (bodyDepth_ > 0 && isParagraph(local)) {
        if (paragraphDepth_ > 0)
            --paragraphDepth_;
        text_->body.push_back(u'\n');
        if (traced_)
            traced_->body.push_back(kNoOrigin);
    }
    if (local == u"body") {
        if (bodyDepth_ > 0)
            --bodyDepth_;
    } else if (local == u"title") {
        text_->title = pending_;
        if (traced_)
            traced_->title = pendingOrigins_;
    }
    pending_.clear();
    pendingOrigins_.clear();
}

void ShownTextBuilder::characters(const char16_t* chars, std::size_t length,
                                  const std::uint32_t* origins) {
    if (!capturing_)
        return;
    pending_.append(chars, length);
    if (traced_) {
        if (origins)
            pendingOrigins_.insert(pendingOrigins_.end(), origins, origins + length);
        else
            pendingOrigins_.insert(pendingOrigins_.end(), length, kNoOrigin);
    }
    if (bodyDepth_ == 0)
        return;
    std::u16string& body = text_->body;
    for (std::size_t i = 0; i < length; ++i) {
        const char16_t c = chars[i];
        // The file's own line breaks and indentation are no text of the
        // page; a tab typed into a paragraph is.
        if (c >= 0x20 || (c == u'\t' && paragraphDepth_ > 0)) {
            body.push_back(c);
            if (traced_)
                traced_->body.push_back(origins ? origins[i] : kNoOrigin);
        }
    }
}

}  // namespace detail

class PageTextReader::Handler final : public xercesc::DefaultHandler {
public:
    void start(PageText& text) { builder_.start(text, nullptr); }

    void startDocument() override { builder_.startDocument(); }

    void startElement(const XMLCh*, const XMLCh* localName, const XMLCh*,
                      const xercesc::Attributes& attributes) override {
        const std::u16string_view local = view(localName);
        if (local == u"meta") {
            const XMLCh* name = attributes.getValue(kNameAttribute);
            const XMLCh* content = attributes.getValue(kContentAttribute);
            std::u16string nameText = u16(name);
            std::u16string contentText = u16(content);
            builder_.startElement(local, name ? &nameText : nullptr,
                                  content ? &contentText : nullptr, nullptr);
        } else {
            builder_.startElement(local, nullptr, nullptr, nullptr);
        }
    }

    void endElement(const XMLCh*, const XMLCh* localName, const XMLCh*) override {
        builder_.endElement(view(localName));
    }

    void characters(const XMLCh* chars, const XMLSize_t length) override {
        builder_.characters(asU16(chars), length, nullptr);
    }

private:
    detail::ShownTextBuilder builder_;
};

PageTextReader::PageTextReader() : handler_(std::make_unique<Handler>()) {}

PageTextReader::~PageTextReader() = default;

ParseResult PageTextReader::read(std::string_view bytes, const std::u16string& systemId,
                                 PageText& text) {
    text = PageText{};
    handler_->start(text);
    return parseBytesReusing(reader_, bytes, systemId, *handler_);
}

}  // namespace tavix
