#pragma once
// What every match of a search pattern must contain: literal pieces of text
// of three or more characters, combined with "all of" and "any of" as the
// pattern's structure allows. A text index uses it to pass over pages that
// cannot match; the matcher still decides every page it does not pass over.
//
// The derivation is conservative: whatever it does not understand for
// certain in the pattern (back-references, look-arounds' contents, inline
// options, quoting, named or conditional groups, escapes it does not know)
// makes it give up, and it then requires nothing (every page may match).
// Classes, ".", and repetitions that may be absent require nothing of their
// own but leave the rest of the pattern's requirements standing.
#include <string>
#include <vector>

namespace tavix {

struct RequiredText {
    enum Kind {
        Anything,  // nothing is required: every page may match
        Literal,   // text must occur (as the matcher compares: see below)
        AllOf,     // every part must hold
        AnyOf,     // at least one part must hold
    };
    Kind kind = Anything;
    // Literal: the characters as written in the pattern (code points, at
    // least three). With match case off a page's text matches it wherever
    // the two compare equal letter by letter under PageMatcher::caseless.
    std::u32string text;
    std::vector<RequiredText> parts;  // AllOf, AnyOf: two or more

    bool operator==(const RequiredText&) const = default;
};

// The requirements of pattern, exactly as PageMatcher compiles it (after
// escapeLiteral for a literal search). Never fails: a pattern it cannot
// read for certain gives Anything. Meant for patterns that compile; of one
// that does not the answer says nothing (the search fails before it).
RequiredText requiredText(const std::u16string& pattern);

// A readable form, for tests and messages: "*" for Anything, a literal in
// double quotes, "(a AND b)", "(a OR b)". Literals are shown in UTF-8.
std::string describe(const RequiredText& required);

}  // namespace tavix
