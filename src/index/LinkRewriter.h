#pragma once
// Replaces a link word in the text of a page file and nothing else: every
// other byte of the file stays as it was (markup, layout, references,
// comments, the way characters were escaped). Used by the rename, which
// must change the links to a page in every page that holds them without
// rewriting those pages through the page document (which would rebuild
// their markup).
//
// Only whole link words are replaced, where the program shows them: in the
// body's text and in the keywords (see index/PageText.h), never inside a
// tag, a comment or a processing instruction, and never in the title. A
// link word split by formatting ("Shop<b>ping</b>List") is one word; its
// new name fills the same pieces from the left, the last piece taking what
// remains, so formatting and markup stay where they were.
#include <cstddef>
#include <string>
#include <string_view>

#include "index/PageText.h"
#include "store/Status.h"

namespace tavix {

struct LinkRewrite {
    std::string text;          // the new file text (the old one when nothing was replaced)
    std::size_t replaced = 0;  // link words replaced
    bool retitled = false;
    PageText shown;  // what the new text shows, as read back
};

// Rewrites fileText (UTF-8 page file bytes) so that every whole link word
// `from` reads `to`; with retitle, also the title when it still is the one
// the program gives a new page of that name (Notebook::titleFromName), as
// the title of a renamed page should follow its name. from and to must be
// link words.
//
// Fails, leaving out.text empty, when the page cannot be rewritten safely:
// the file does not read completely (damaged), is not UTF-8, writes an
// occurrence (partly) as a character reference, or is written in a way
// this rewrite cannot follow; and when the rewritten text would not read
// back as exactly the old text with the words replaced (which the rewrite
// checks with the parser every time).
Status rewriteLinkWord(std::string_view fileText, const std::u16string& from,
                       const std::u16string& to, bool retitle, PageTextReader& reader,
                       LinkRewrite& out);

}  // namespace tavix
