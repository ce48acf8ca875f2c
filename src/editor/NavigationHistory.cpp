#include "editor/NavigationHistory.h"

#include <utility>

#include "formats/PageDocument.h"

namespace tavix {

void NavigationHistory::RecordVisit(const std::u16string& title, const std::u16string& name) {
    HistoryEntry entry{title, name};
    if (current_) {
        back_.push_back(std::move(*current_));
        forward_.clear();
    }
    current_ = std::move(entry);
}

void NavigationHistory::RecordVisit(const PageDocument& page) {
    RecordVisit(page.title(), page.name());
}

bool NavigationHistory::StepBack() {
    // The current entry can only be missing while both lists are empty, but
    // checking it too keeps a stray call from inventing an entry.
    if (back_.empty() || !current_)
        return false;
    forward_.push_back(std::move(*current_));
    current_ = std::move(back_.back());
    back_.pop_back();
    return true;
}

bool NavigationHistory::StepForward() {
    if (forward_.empty() || !current_)
        return false;
    back_.push_back(std::move(*current_));
    current_ = std::move(forward_.back());
    forward_.pop_back();
    return true;
}

std::optional<HistoryEntry> NavigationHistory::PeekBack() const {
    if (back_.empty())
        return std::nullopt;
    return back_.back();
}

std::optional<HistoryEntry> NavigationHistory::PeekForward() const {
    if (forward_.empty())
        return std::nullopt;
    return forward_.back();
}

void NavigationHistory::renamePage(const std::u16string& oldName, const std::u16string& newName) {
    auto rename = [&](HistoryEntry& entry) {
        if (entry.name == oldName)
            entry.name = newName;
    };
    if (current_)
        rename(*current_);
    for (HistoryEntry& entry : back_)
        rename(entry);
    for (HistoryEntry& entry : forward_)
        rename(entry);
}

}  // namespace tavix
