#pragma once
// The modeless "Find" dialog: literal search in the open page, with match
// case, whole word and direction, and the remembered search texts of the
// "Find" settings section.
//
// The frame keeps one object for its whole life. The window "comes and
// goes": Cancel (or Escape, or closing the window) only hides it, and the
// next showWithSeed on a hidden dialog starts it afresh, as a new window
// would: options reset, Down checked, the history reloaded from the
// settings. The history list lives only while the window is shown.
#include <string>
#include <vector>

#include <QDialog>

#include "search/SearchField.h"

#include "store/Status.h"

class QCheckBox;
class QLabel;
class QComboBox;
class QPushButton;
class QRadioButton;

namespace tavix {

class NotebookStore;
class PageEditor;
class PropertyNode;

class FindDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxTextLength = kSearchTextLimit;

    // Neither the editor nor the store is owned; both must outlive the dialog.
    FindDialog(PageEditor& editor, NotebookStore& store, QWidget* parent = nullptr);
    ~FindDialog() override;

    // The Find command. A hidden dialog is started afresh and shown; a shown
    // one is raised and given the focus. A non-empty seed replaces the
    // field's text, selected, and enables "Find Next"; an empty seed leaves
    // the field as it is.
    void showWithSeed(const std::u16string& seed);
    // Whether the window is currently open (between a showWithSeed and Cancel).
    bool isOpen() const { return open_; }

    // The field's text (at most kMaxTextLength UTF-16 units, never ending in
    // half of a surrogate pair).
    std::u16string searchText() const;
    // The search texts known to the open window, oldest load order first,
    // with this window's searches appended.
    const std::vector<std::u16string>& history() const { return history_; }
    // The outcome of the last attempt to write the settings file.
    const Status& lastSaveStatus() const { return lastSave_; }

    // Reads the "Find.History" keys 1..LastIndex; empty values are skipped.
    static std::vector<std::u16string> loadHistory(const PropertyNode& findSection);
    // Rewrites "Find.History": "1" is `searched`, then every other entry of
    // `history` once, in order; "LastIndex" is the last number written.
    static void storeHistory(PropertyNode& findSection, const std::u16string& searched,
                             const std::vector<std::u16string>& history);

public slots:
    // "Find Next": remembers the text (settings file written), then selects
    // the next match in the editor. The search does not wrap around; when
    // there is no match left, the selection stays and the dialog says "No
    // more matches below" (or above) and emits it as statusMessage.
    // Returns whether a match was selected.
    bool findNext();
    // Hides the window and drops its history list.
    void reject() override;

signals:
    // The settings file could not be written after a search (the search is
    // still done). The frame may show `reason` in its status bar.
    void settingsSaveFailed(const QString& reason);
    // A short note for the frame's status bar ("No more matches below").
    void statusMessage(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void startAfresh();
    void updateFindNextEnabled();

    PageEditor& editor_;
    NotebookStore& store_;
    QComboBox* combo_;
    QCheckBox* matchCase_;
    QCheckBox* wholeWord_;
    QRadioButton* up_;
    QRadioButton* down_;
    QPushButton* findNext_;
    QPushButton* cancel_;
    QLabel* status_;  // says why the last Find Next selected nothing
    std::vector<std::u16string> history_;
    Status lastSave_;
    bool open_ = false;
};

}  // namespace tavix
