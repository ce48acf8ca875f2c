#pragma once
// Where in a page a search text was found, as bits: a page can match in
// more than one place at once.

namespace tavix {

enum MatchPlace : unsigned {
    kMatchInTitle = 1,     // the text of the title element
    kMatchInText = 2,      // the body, and any other text in the file
    kMatchInKeywords = 4,  // the keywords (the content of <meta name="keywords">)
    kMatchAnywhere = kMatchInTitle | kMatchInText | kMatchInKeywords,
};

}  // namespace tavix
