#include "formats/RtfWriter.h"

#include <charconv>
#include <iostream>
#include <string_view>

#include <xercesc/sax/SAXParseException.hpp>

#include "store/TextCodec.h"

namespace tavix {

namespace {

void appendAscii(std::u16string& out, std::string_view text) {
    out.append(text.begin(), text.end());
}

void appendNumber(std::u16string& out, long long value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end);
}

// Appends text as RTF: the three characters that would change the
// document's structure become control symbols, tabs become "\tab" when
// asked for, and the other control characters go.
void appendEscaped(std::u16string& out, const char16_t* text, std::size_t length, bool tabs = false) {
    std::size_t runStart = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const char16_t c = text[i];
        const bool special = c < 0x20 || c == u'\\' || c == u'{' || c == u'}';
        if (!special) continue;
        out.append(text + runStart, i - runStart);
        runStart = i + 1;
        if (c >= 0x20) {
            out.push_back(u'\\');
            out.push_back(c);
        } else if (c == u'\t' && tabs) {
            appendAscii(out, "\\tab ");
        }
    }
    out.append(text + runStart, length - runStart);
}

bool isParagraphTag(std::u16string_view name) {
    return name == u"p" || (name.size() == 2 && name[0] == u'h' && name[1] >= u'1' && name[1] <= u'6');
}

}  // namespace

RtfWriter::RtfWriter(const StyleSheet& styleSheet) : styleSheet_(styleSheet), diagnostics_(&std::cout) {}

ParseResult RtfWriter::convert(const std::u16string& xml) {
    out_.clear();
    inBody_ = false;
    paragraphDepth_ = 0;
    closed_ = false;
    // Markup is mostly text; the RTF is about as long plus the header and
    // the paragraph prefixes.
    out_.reserve(xml.size() + xml.size() / 4 + 1024);
    ParseResult result;
    auto reader = makeSafeReader();
    if (reader) {
        result = parseText(*reader, xml, *this, this);
    } else {
        result.ok = false;
        result.message = "no XML reader";
    }
    finish();
    return result;
}

void RtfWriter::finish() {
    if (closed_) return;
    if (out_.empty()) appendHeader();
    out_.push_back(u'}');
    closed_ = true;
}

void RtfWriter::appendHeader() {
    appendAscii(out_, "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl");
    for (int i = 0; i < StyleSheet::styleCount(); ++i) {
        appendAscii(out_, "{\\f");
        appendNumber(out_, static_cast<long long>(i) + fontBase_);
        appendAscii(out_, "\\fcharset1 ");
        // A brace or backslash in a font name would end the font table early
        // and spill the rest of it into the page.
        const std::u16string& name = styleSheet_.style(i).fontName();
        appendEscaped(out_, name.data(), name.size());
        appendAscii(out_, ";}");
    }
    appendAscii(out_, ";}");
    appendAscii(out_,
                "{\\stylesheet{ Normal;}{\\s1 heading 1;}{\\s2 heading 2;}{\\s3 heading 3;}"
                "{\\s4 heading 4;}{\\s5 heading 5;}{\\s6 heading 6;}}");
}

void RtfWriter::startDocument() {
    // One writer makes one document: a second event sequence starts afresh.
    out_.clear();
    inBody_ = false;
    paragraphDepth_ = 0;
    closed_ = false;
    if (out_.capacity() < 4096) out_.reserve(4096);
    appendHeader();
}

void RtfWriter::endDocument() {
    finish();
}

void RtfWriter::startElement(const XMLCh*, const XMLCh* localName, const XMLCh*,
                             const xercesc::Attributes&) {
    const std::u16string_view name(asU16(localName));
    if (name == u"body") {
        inBody_ = true;
        return;
    }
    if (name == u"b") {
        appendAscii(out_, "\\b ");
    } else if (name == u"i") {
        appendAscii(out_, "\\i ");
    } else if (name == u"u") {
        appendAscii(out_, "\\ul ");
    } else if (name == u"strike") {
        appendAscii(out_, "\\strike ");
    } else if (name == u"sup") {
        appendAscii(out_, "\\super ");
    } else if (name == u"sub") {
        appendAscii(out_, "\\sub ");
    } else if (isParagraphTag(name)) {
        ++paragraphDepth_;
        const ParagraphStyle& style = styleSheet_.styleForTag(name);
        appendAscii(out_, "\\pard\\s");
        appendNumber(out_, style.index());
        appendAscii(out_, style.alignment() == 1 ? "\\qc" : style.alignment() == 2 ? "\\qr" : "\\ql");
        if (style.bold()) appendAscii(out_, "\\b");
        if (style.italic()) appendAscii(out_, "\\i");
        if (style.underline()) appendAscii(out_, "\\ul");
        appendAscii(out_, "\\sb");
        appendNumber(out_, style.spaceBefore());
        appendAscii(out_, "\\sa");
        appendNumber(out_, style.spaceAfter());
        appendAscii(out_, "\\f");
        appendNumber(out_, static_cast<long long>(style.index()) + fontBase_);
        appendAscii(out_, "\\fs");
        appendNumber(out_, static_cast<long long>(style.size()) * 2);
        appendAscii(out_, "\\li");
        appendNumber(out_, style.leftIndent());
        appendAscii(out_, "\\ri");
        appendNumber(out_, style.rightIndent());
        out_.push_back(u' ');
    }
}

void RtfWriter::endElement(const XMLCh*, const XMLCh* localName, const XMLCh*) {
    if (!inBody_) return;
    const std::u16string_view name(asU16(localName));
    if (name == u"b") {
        appendAscii(out_, "\\b0 ");
    } else if (name == u"i") {
        appendAscii(out_, "\\i0 ");
    } else if (name == u"u") {
        appendAscii(out_, "\\ulnone ");
    } else if (name == u"strike") {
        appendAscii(out_, "\\strike0 ");
    } else if (name == u"sup" || name == u"sub") {
        appendAscii(out_, "\\nosupersub ");
    } else if (isParagraphTag(name)) {
        if (paragraphDepth_ > 0) --paragraphDepth_;
        // The paragraph mark itself carries none of the style's formats.
        const ParagraphStyle& style = styleSheet_.styleForTag(name);
        if (style.bold()) appendAscii(out_, "\\b0");
        if (style.italic()) appendAscii(out_, "\\i0");
        if (style.underline()) appendAscii(out_, "\\ulnone");
        appendAscii(out_, "\\par ");
    }
}

void RtfWriter::characters(const XMLCh* chars, const XMLSize_t length) {
    if (!inBody_) return;
    // A tab in a paragraph's text is the user's (typed in the editor);
    // between paragraphs it can only be the layout of the file's markup.
    appendEscaped(out_, asU16(chars), length, paragraphDepth_ > 0);
}

void RtfWriter::fatalError(const xercesc::SAXParseException& e) {
    *diagnostics_ << "Fatal Error: " << toUtf8(u16(e.getMessage())) << " at line: " << e.getLineNumber()
                  << "\n";
    diagnostics_->flush();
}

}  // namespace tavix
