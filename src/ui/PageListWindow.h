#pragma once
// The "Found Pages" pane: a dock widget beside the editor that lists the
// pages a page search found, one row per page with its name, its title, the
// name of its notebook and where the text was found. All columns can be
// reordered by dragging their headers. Double-clicking a row (or pressing Enter on it) asks the main
// window to open that page.
//
// The pane is hidden until the first search shows it. Each search replaces
// the whole list. The close box empties the list but leaves the pane where
// it is: no menu command could bring it back, so it never goes away.
#include <string>
#include <vector>

#include <QDockWidget>

#include "store/FoundPage.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace tavix {

// One row: the page, what its title element says, and where the search
// text was found (MatchPlace bits; 0 when not known).
struct PageListEntry {
    FoundPage page;
    std::u16string title;
    unsigned foundIn = 0;
};

class PageListWindow : public QDockWidget {
    Q_OBJECT
public:
    // Created hidden, captioned "Found Pages", with an empty list.
    explicit PageListWindow(QWidget* parent = nullptr);
    ~PageListWindow() override;

    // Removes every entry and forgets any sort.
    void clear();
    // The pane's caption ("Found Pages - " and the search text after a search).
    void setCaption(const std::u16string& caption);
    std::u16string caption() const;
    // Appends one entry at the end of the list; an earlier sort is not
    // applied to it. The strings are copied whole, however long.
    void addEntry(const std::u16string& pageName, const std::u16string& notebookName);
    void addEntries(const std::vector<PageListEntry>& entries);
    // Shows the pane (back at its dock place when it was docked) and brings
    // it to the front of a tabbed dock area.
    void showPane();
    void hidePane();

    // The whole of a search's outcome at once: clear, setCaption to
    // "Found Pages - " + searchText, addEntry for every page in order, showPane.
    void showResults(const std::u16string& searchText, const std::vector<FoundPage>& pages);

    // A search that fills the list as it goes: clears the list, sets the
    // caption as showResults does, shows the pane and a Stop button; after
    // half a second without an end, "Searching… N of M pages" and a
    // progress bar. endSearch puts a note (may be empty) in their place.
    void beginSearch(const std::u16string& searchText);
    void setSearchProgress(std::size_t tested, std::size_t total);
    void endSearch(const QString& note);
    bool isSearching() const { return searching_; }
    // The line under the list (progress while searching, then the note).
    QString statusText() const;

    // Sorts the whole list by column 0 (page name), 1 (notebook name), 2
    // (where found) or 3 (title), always ascending, comparing code units
    // (upper case before lower case). What a click on a column header
    // does. Other columns are ignored.
    void sortByColumn(int column);

    // The entries in the order they are shown (after any sort).
    // What the pane shows, to be put back as it was (a search tried while
    // typing that the user then cancels).
    struct Shown {
        std::u16string caption;
        std::vector<PageListEntry> entries;
        QString status;
        bool visible = false;
    };
    Shown shown() const;
    void restore(const Shown& shown);

    int entryCount() const;
    const FoundPage& entryAt(int row) const;
    // The list control, for the main window's focus handling and for tests.
    QTreeWidget& list() const { return *list_; }

    // The caption before any search.
    static QString defaultCaption();

signals:
    // An entry was double-clicked or Enter was pressed on it. The record is
    // a copy: the receiver may clear or refill the pane while handling it.
    void pageActivated(const tavix::FoundPage& page);
    // The Stop button was pressed, or the close box emptied the list while
    // a search was running.
    void stopRequested();

protected:
    // The close box empties the list; the pane stays shown.
    void closeEvent(QCloseEvent* event) override;
    // Enter or Return on the current row activates it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void activate(QTreeWidgetItem* item);
    void updateProgressLine();

    QTreeWidget* list_;
    QLabel* status_;
    QProgressBar* progress_;
    QPushButton* stop_;
    QTimer* progressDelay_;
    bool searching_ = false;
    bool progressShown_ = false;  // the half second has passed
    std::size_t tested_ = 0;
    std::size_t total_ = 0;
};

}  // namespace tavix
