#pragma once
#include <string>

namespace tavix {

// A reference to a page: its name and the name of its notebook.
struct FoundPage {
    std::u16string pageName;
    std::u16string notebookName;
    bool operator==(const FoundPage&) const = default;
};

}  // namespace tavix
