#pragma once
// The modal "Find Pages" dialog: asks for a regular expression (or plain
// text), searches every page file of the store's notebook for it in the
// background and lists the matching pages in the "Found Pages" pane. The search texts used are remembered,
// most recent first, under "FindPages" > "History" in the settings file.
//
// One object per use:
//
//   FindPagesDialog dialog(store, pane, frame);
//   dialog.setSeedText(editor.SearchSeedText());
//   dialog.exec();
//
// "Current notebook" is the only scope there is; "All notebooks" is shown
// but can never be chosen.
#include <functional>
#include <optional>
#include <string>

#include <QDialog>

#include "search/BackgroundPageSearch.h"
#include "search/SearchField.h"

#include "search/SearchHistory.h"
#include "ui/PageListWindow.h"
#include "store/Status.h"

class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;
class QTimer;

namespace tavix {

class NotebookStore;

class FindPagesDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxTextLength = kSearchTextLimit;

    // How a problem is told to the user. The default is a warning box over
    // the dialog; tests put something that does not block in its place.
    using MessageFunction = std::function<void(QWidget* parent, const QString& title, const QString& text)>;

    // Loads the remembered texts into the drop-down list; the field starts
    // empty and "Find" disabled. Neither the store nor the pane is owned;
    // both must outlive the dialog.
    FindPagesDialog(NotebookStore& store, PageListWindow& pane, QWidget* parent = nullptr);
    ~FindPagesDialog() override;

    // Puts a non-empty text in the field (cut to kMaxTextLength), selects
    // all of it and enables "Find". An empty text changes nothing.
    void setSeedText(const std::u16string& text);

    // The field's text: at most kMaxTextLength UTF-16 units, never ending
    // in half of a surrogate pair.
    std::u16string searchText() const;

    void setMessageFunction(MessageFunction show) { message_ = std::move(show); }

    // The remembered texts, most recent first (after a search: that search
    // first).
    const SearchHistory& history() const { return history_; }
    // The outcome of the last attempt to write the settings file.
    const Status& lastSaveStatus() const { return lastSave_; }

public slots:
    // What "Find" does. Remembers the text (and the "Regular expression"
    // choice) and writes the settings file, starts the pane's background
    // search (BackgroundPageSearch), which captions the pane "Found Pages -
    // " + the text, shows it and fills it as pages are found; then closes
    // the dialog as accepted at once. With "Regular expression" off the
    // text is found as it stands.
    //
    // When the text is not a valid expression, a message names the problem
    // and where it is, the dialog stays open with the text selected, and
    // nothing else changes (pane, history, settings file); returns false.
    // A match the library gives up on is told when the search ends. A
    // settings file that cannot be written is reported, but the search runs.
    // An empty field searches nothing and returns false.
    bool runSearch();
    void reject() override;

private:
    // The search the field and boxes describe; none for an empty field or an
    // expression that does not compile (whose reason is given when asked).
    std::optional<BackgroundPageSearch::Request> request(Status* compiled = nullptr) const;
    // While typing: the pane follows the field after a pause, when the
    // notebook answers quickly enough; nothing is remembered.
    void searchAsTyped();
    void loadHistory();
    void updateFindButton();
    void tell(const QString& text);

    NotebookStore& store_;
    PageListWindow& pane_;
    QComboBox* combo_;
    QCheckBox* matchCase_;
    QCheckBox* regularExpression_;
    QRadioButton* currentNotebook_;
    QRadioButton* allNotebooks_;
    QPushButton* find_;
    QPushButton* cancel_;
    QTimer* typingPause_;
    // The pane as it was before the first search while typing; put back
    // when the dialog is cancelled.
    std::optional<PageListWindow::Shown> before_;
    SearchHistory history_;
    Status lastSave_;
    MessageFunction message_;
};

}  // namespace tavix
