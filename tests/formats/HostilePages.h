#pragma once
// Page files built to make a parser multiply what it reads (entity
// expansion bombs), and honest pages that come close, for the tests of
// loading and of searching. Every page ends its body with the paragraph
// kEndMarker, so a reader that got to the end can be told apart.
#include <cstddef>
#include <string>

namespace tavix::test {

inline constexpr const char* kEndMarker = "EndOfThePage";

inline const std::string kXhtmlDoctype =
    "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
    "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">";

// A page file: doctype, then the html element with head extras and body
// content (the end marker is added).
inline std::string pageWith(const std::string& doctype, const std::string& body,
                            const std::string& head = "") {
    return doctype + "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>T</title>" + head +
           "</head><body>" + body + "<p>" + kEndMarker + "</p></body></html>";
}

inline std::string repeat(const std::string& text, std::size_t times) {
    std::string out;
    out.reserve(text.size() * times);
    for (std::size_t i = 0; i < times; ++i) out += text;
    return out;
}

// An internal subset declaring &big; as size characters.
inline std::string bigEntity(std::size_t size) {
    return "<!DOCTYPE html [<!ENTITY big \"" + std::string(size, 'x') + "\">]>";
}

// One run of text: references to an entity of size characters.
inline std::string quadraticText(std::size_t size, std::size_t references) {
    return pageWith(bigEntity(size), "<p>" + repeat("&big;", references) + "</p>");
}

// The same in the keywords attribute, which the parser builds whole.
inline std::string quadraticAttribute(std::size_t size, std::size_t references) {
    return pageWith(bigEntity(size), "<p>a</p>",
                    "<meta name=\"keywords\" content=\"" + repeat("&big;", references) + "\"/>");
}

// Many attributes of one element, each one reference.
inline std::string quadraticAttributes(std::size_t size, std::size_t attributes) {
    std::string start = "<p";
    for (std::size_t i = 0; i < attributes; ++i) start += " a" + std::to_string(i) + "=\"&big;\"";
    return pageWith(bigEntity(size), start + ">a</p>");
}

// A declared default attribute copied onto every one of many elements.
inline std::string defaultAttributes(std::size_t size, std::size_t elements) {
    return pageWith("<!DOCTYPE html [<!ATTLIST p class CDATA \"" + std::string(size, 'x') + "\">]>",
                    repeat("<p/>", elements));
}

// Ten levels of ten references each, to leaf (a billion leaves); padding
// is that many references in a comment, which raise the expansion
// allowance of the document without expanding anything.
inline std::string billionLaughs(const std::string& leaf, std::size_t padding = 0) {
    std::string subset = "<!DOCTYPE html [<!ENTITY l0 \"" + leaf + "\">";
    for (int level = 1; level <= 9; ++level)
        subset += "<!ENTITY l" + std::to_string(level) + " \"" +
                  repeat("&l" + std::to_string(level - 1) + ";", 10) + "\">";
    subset += "]>";
    const std::string pad = padding ? "<!--" + repeat("&a;", padding) + "-->" : "";
    return pageWith(subset, pad + "<p>&l9;</p>");
}

// A chain of entities, each referring to the next: depth of them are
// being expanded at once.
inline std::string entityChain(std::size_t depth) {
    std::string subset = "<!DOCTYPE html [<!ENTITY e0 \"deep\">";
    for (std::size_t i = 1; i <= depth; ++i)
        subset += "<!ENTITY e" + std::to_string(i) + " \"&e" + std::to_string(i - 1) + ";\">";
    subset += "]>";
    return pageWith(subset, "<p>&e" + std::to_string(depth) + ";</p>");
}

// An XHTML page using one named entity count times, in short paragraphs.
inline std::string namedEntities(const std::string& name, std::size_t count) {
    return pageWith(kXhtmlDoctype, repeat("<p>a&" + name + ";b</p>", count));
}

// depth elements, each inside the one before ("<b><b>...x...</b></b>"), in
// one paragraph: 7 bytes per level.
inline std::string deepNesting(std::size_t depth, const std::string& element = "b") {
    return pageWith("", "<p>" + repeat("<" + element + ">", depth) + "x" +
                            repeat("</" + element + ">", depth) + "</p>");
}

}  // namespace tavix::test
