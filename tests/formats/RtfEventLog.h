#pragma once
// A content handler for the RTF tests: records the events as markup (text
// unescaped) and checks, event by event, that they form a page body the
// page document can store: one document, one body, paragraphs directly in
// the body, inline elements only inside paragraphs, text only inside
// paragraphs, matching end tags, no attributes, the XHTML namespace, and no
// character that cannot be written to an XML file.
#include <string>
#include <vector>

#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>

#include "formats/XmlSupport.h"

namespace tavix::test {

class RtfEventLog : public xercesc::DefaultHandler {
public:
    std::u16string markup;
    std::vector<std::string> faults;

    bool balanced() const { return faults.empty() && ended_ && open_.empty(); }
    std::string faultText() const {
        std::string all;
        for (const auto& f : faults) all += f + "; ";
        if (!ended_) all += "no endDocument; ";
        if (!open_.empty()) all += "elements left open; ";
        return all;
    }

    void startDocument() override {
        if (started_) fault("second startDocument");
        started_ = true;
    }
    void endDocument() override {
        if (!started_ || ended_) fault("endDocument out of order");
        if (!open_.empty()) fault("endDocument with open elements");
        ended_ = true;
    }
    void startElement(const XMLCh* uri, const XMLCh* local, const XMLCh* qname,
                      const xercesc::Attributes& attributes) override {
        checkNames(uri, local, qname);
        if (attributes.getLength() != 0) fault("attributes on an element");
        const std::u16string name = u16(local);
        const std::size_t depth = open_.size();
        if (!started_ || ended_) fault("element outside the document");
        if (name == u"body") {
            if (depth != 0 || sawBody_) fault("misplaced body");
            sawBody_ = true;
        } else if (isParagraph(name)) {
            if (depth != 1) fault("paragraph not directly in body");
        } else if (isInline(name)) {
            if (depth < 2) fault("inline element outside a paragraph");
            for (const auto& o : open_)
                if (o == name) fault("same element nested twice");
        } else {
            fault("unknown element");
        }
        open_.push_back(name);
        markup += u"<" + name + u">";
    }
    void endElement(const XMLCh* uri, const XMLCh* local, const XMLCh* qname) override {
        checkNames(uri, local, qname);
        const std::u16string name = u16(local);
        if (open_.empty() || open_.back() != name) {
            fault("end tag does not match");
        } else {
            open_.pop_back();
        }
        markup += u"</" + name + u">";
    }
    void characters(const XMLCh* chars, const XMLSize_t length) override {
        if (length == 0) fault("empty characters event");
        if (open_.size() < 2) fault("text outside a paragraph");
        const std::u16string text = u16(chars, length);
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            // A tab is page text; XML stores it like any character.
            if ((c < 0x20 && c != u'\t') || c == 0xFFFE || c == 0xFFFF)
                fault("character not storable in XML");
            if (c >= 0xD800 && c <= 0xDBFF) {
                if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)
                    fault("lone high surrogate");
                else
                    ++i;
            } else if (c >= 0xDC00 && c <= 0xDFFF) {
                fault("lone low surrogate");
            }
        }
        markup += text;
    }

private:
    static bool isParagraph(const std::u16string& n) {
        return n == u"p" || (n.size() == 2 && n[0] == u'h' && n[1] >= u'1' && n[1] <= u'6');
    }
    static bool isInline(const std::u16string& n) {
        return n == u"b" || n == u"i" || n == u"u" || n == u"strike" || n == u"sup" || n == u"sub";
    }
    void checkNames(const XMLCh* uri, const XMLCh* local, const XMLCh* qname) {
        if (u16(uri) != kXhtmlNamespace) fault("wrong namespace");
        if (u16(local) != u16(qname)) fault("local and qualified names differ");
    }
    void fault(const std::string& what) {
        if (faults.size() < 20) faults.push_back(what);
    }

    bool started_ = false;
    bool ended_ = false;
    bool sawBody_ = false;
    std::vector<std::u16string> open_;
};

}  // namespace tavix::test
