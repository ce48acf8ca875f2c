#pragma once
// What the page operations need of the place where the open page's keywords
// are edited. The editor layer owns this contract so that it never depends on
// the pane that fulfils it.
#include <string>

namespace tavix {

class KeywordsField {
public:
    virtual ~KeywordsField() = default;

    // Replaces the text (undo history emptied) and clears the modified flag.
    virtual void SetKeywords(const std::u16string& keywords) = 0;
    // The whole text; line breaks come back as "\r".
    virtual std::u16string GetKeywords() const = 0;
    virtual bool IsModified() const = 0;
    virtual void ClearModified() = 0;
};

}  // namespace tavix
