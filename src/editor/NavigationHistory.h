#pragma once
// The pages a main window has shown, so that Back and Forward can retrace
// them as a web browser does. Held in memory only, one per window; it
// records pages, not positions within them. Plain C++: no Qt.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tavix {

class PageDocument;

// A visited page: its title (as the page document holds it, escaped) and its
// name. Only the name is used to navigate.
struct HistoryEntry {
    std::u16string title;
    std::u16string name;
    bool operator==(const HistoryEntry&) const = default;
};

class NavigationHistory {
public:
    NavigationHistory() = default;

    // A navigation to a page has happened. When a page was current it moves
    // onto the back list and the forward list is emptied; the first visit
    // only sets the current entry. A visit to the page already current is
    // recorded too (the back list then holds that page).
    void RecordVisit(const std::u16string& title, const std::u16string& name);
    void RecordVisit(const PageDocument& page);

    // Moves one step: the current entry goes onto the other list and the
    // list's last entry becomes current. Returns false, changing nothing,
    // when the list is empty (or no page has been recorded yet).
    bool StepBack();
    bool StepForward();

    bool CanGoBack() const { return !back_.empty(); }
    bool CanGoForward() const { return !forward_.empty(); }
    // The entry StepBack / StepForward would make current, or none.
    std::optional<HistoryEntry> PeekBack() const;
    std::optional<HistoryEntry> PeekForward() const;

    // The page being shown, or none before the first visit.
    const std::optional<HistoryEntry>& current() const { return current_; }
    std::size_t backCount() const { return back_.size(); }
    std::size_t forwardCount() const { return forward_.size(); }

    // A page was renamed: every entry of oldName now leads to newName.
    void renamePage(const std::u16string& oldName, const std::u16string& newName);

private:
    std::optional<HistoryEntry> current_;
    std::vector<HistoryEntry> back_;     // visiting order, most recent last
    std::vector<HistoryEntry> forward_;  // stepped over by Back, nearest last
};

}  // namespace tavix
