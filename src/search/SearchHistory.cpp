#include "search/SearchHistory.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

namespace tavix {
namespace {

// The number a history key stands for, or 0 when the key is not one the
// history writes: decimal digits only, no leading zero, no sign. Anything
// beyond 32 bits cannot be reached by LastIndex and is rejected too.
std::int64_t keyNumber(const std::u16string& key) {
    if (key.empty() || key.size() > 10 || key.front() == u'0')
        return 0;
    std::int64_t n = 0;
    for (char16_t c : key) {
        if (c < u'0' || c > u'9')
            return 0;
        n = n * 10 + (c - u'0');
    }
    return n;
}

std::u16string decimal(std::size_t n) {
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

}  // namespace

void SearchHistory::load(const PropertyNode& node) {
    entries_.clear();
    const int lastIndex = node.getInt(kLastIndexKey, 0);
    if (lastIndex <= 0)
        return;
    // Walking the keys that are there, rather than counting 1..LastIndex,
    // gives the same list in the same order.
    std::vector<std::pair<std::int64_t, const std::u16string*>> numbered;
    for (const auto& [key, value] : node.values()) {
        const std::int64_t n = keyNumber(key);
        if (n >= 1 && n <= lastIndex && !value.empty())
            numbered.emplace_back(n, &value);
    }
    std::sort(numbered.begin(), numbered.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    entries_.reserve(numbered.size());
    for (const auto& [n, value] : numbered)
        entries_.push_back(*value);
}

void SearchHistory::record(PropertyNode& node, const std::u16string& searched) {
    std::vector<std::u16string> stored;
    stored.reserve(entries_.size() + 1);
    stored.push_back(searched);
    for (const std::u16string& entry : entries_)
        if (entry != searched)
            stored.push_back(entry);

    write(node, stored);
    entries_ = std::move(stored);
}

void SearchHistory::write(PropertyNode& node, const std::vector<std::u16string>& texts) {
    node.clearValues();
    for (std::size_t i = 0; i < texts.size(); ++i)
        node.set(decimal(i + 1), texts[i]);
    node.set(kLastIndexKey, decimal(texts.size()));
}

}  // namespace tavix
