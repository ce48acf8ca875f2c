#pragma once
// The remembered search texts of a search dialog, most recent first, kept in
// a settings node (for Find Pages, "FindPages" > "History"):
//
//   LastIndex=3
//   1=the text searched last
//   2=the one before
//   3=...
//
// The list has no length limit. Both dialogs that search keep their texts
// this way, each under its own section.
#include <string>
#include <vector>

#include "store/PropertyNode.h"

namespace tavix {

class SearchHistory {
public:
    // Replaces the entries with the values of keys "1" to "LastIndex" of the
    // node, in that order; empty values are skipped. A missing, zero,
    // negative or unparsable LastIndex gives an empty list. Only keys that
    // exist are visited, so a huge LastIndex in a damaged file costs nothing.
    void load(const PropertyNode& node);

    // The entries, most recent first.
    const std::vector<std::u16string>& entries() const { return entries_; }

    // Records a search: the node's values are all replaced by "1" = searched,
    // then every earlier entry that differs from it (exactly, by code units)
    // under the next numbers in its old order, and "LastIndex". The entries
    // become that same list. The node's children are left alone. Writing
    // the properties file is the caller's business.
    void record(PropertyNode& node, const std::u16string& searched);

    // Replaces the node's values by the texts under "1", "2", ... in the
    // given order and "LastIndex"; the children are left alone.
    static void write(PropertyNode& node, const std::vector<std::u16string>& texts);

    // Key names in the node.
    static constexpr char16_t kLastIndexKey[] = u"LastIndex";

private:
    std::vector<std::u16string> entries_;
};

}  // namespace tavix
