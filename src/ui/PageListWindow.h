#pragma once
// The "Found Pages" pane: a dock widget beside the editor that lists the
// pages a page search found, one row per page with its name and the name of
// its notebook. Double-clicking a row (or pressing Enter on it) asks the main
// window to open that page.
//
// The pane is hidden until the first search shows it. Each search replaces
// the whole list. The close box empties the list but leaves the pane where
// it is: no menu command could bring it back, so it never goes away.
#include <string>
#include <vector>

#include <QDockWidget>

#include "store/FoundPage.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace tavix {

class PageListWindow : public QDockWidget {
    Q_OBJECT
public:
    // Created hidden, captioned "Found Pages", with an empty list.
    explicit PageListWindow(QWidget* parent = nullptr);
    ~PageListWindow() override;

    // Removes every entry and forgets any sort.
    void Clear();
    // The pane's caption ("Found Pages - " and the search text after a search).
    void SetCaption(const std::u16string& caption);
    std::u16string Caption() const;
    // Appends one entry at the end of the list; an earlier sort is not
    // applied to it. The strings are copied whole, however long.
    void AddEntry(const std::u16string& pageName, const std::u16string& notebookName);
    // Shows the pane (back at its dock place when it was docked) and brings
    // it to the front of a tabbed dock area.
    void Show();
    void Hide();

    // The whole of a search's outcome at once: Clear, SetCaption to
    // "Found Pages - " + searchText, AddEntry for every page in order, Show.
    void ShowResults(const std::u16string& searchText, const std::vector<FoundPage>& pages);

    // Sorts the whole list by column 0 (page name) or 1 (notebook name),
    // always ascending, comparing code units (upper case before lower case).
    // What a click on a column header does. Other columns are ignored.
    void SortByColumn(int column);

    // The entries in the order they are shown (after any sort).
    int EntryCount() const;
    const FoundPage& EntryAt(int row) const;
    // The list control, for the main window's focus handling and for tests.
    QTreeWidget& list() const { return *list_; }

    // The caption before any search.
    static QString defaultCaption();

signals:
    // An entry was double-clicked or Enter was pressed on it. The record is
    // a copy: the receiver may clear or refill the pane while handling it.
    void pageActivated(const tavix::FoundPage& page);

protected:
    // The close box empties the list; the pane stays shown.
    void closeEvent(QCloseEvent* event) override;
    // Enter or Return on the current row activates it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void activate(QTreeWidgetItem* item);

    QTreeWidget* list_;
};

}  // namespace tavix
