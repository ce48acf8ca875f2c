#pragma once
// The big page the editor benchmarks share: 5,000 paragraphs (about 500,000
// characters) with headings, character formats and link words.
#include <string>

namespace tavix::bench {

inline std::string bigPageBody() {
    std::string body = "<body>";
    for (int i = 0; i < 5000; ++i) {
        const bool heading = i % 50 == 0;
        body += heading ? "<h2>" : "<p>";
        body += "Paragraph " + std::to_string(i) +
                " has <b>bold words</b>, <i>italic</i> text, a FrontPage link and "
                "ShoppingList items &amp; <u>more</u> words";
        body += heading ? "</h2>" : "</p>";
    }
    return body + "</body>";
}

}  // namespace tavix::bench
