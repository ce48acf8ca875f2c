#pragma once
// The page operations of a main window: open, save, reload, paragraph
// styles, character effects, select paragraph, title. It owns nothing of the
// window; the window owns it.
#include <functional>
#include <QString>
#include <string>

#include "store/FileStamp.h"
#include "store/Status.h"

class QFileSystemWatcher;
class QTimer;
class QWidget;

namespace tavix {

class NotebookStore;
class PageDocument;
class PageEditor;
class KeywordsField;

// Something the window should tell the user without stopping them (an info
// bar, not a dialog box).
struct PageNotice {
    enum Kind {
        Clear,           // the open page needs no notice (any earlier one is gone)
        Damaged,         // its file could not be read completely
        Unreadable,      // its file cannot be read at all; it is never replaced
        BackupKept,      // a damaged original was kept before the first save
        ConflictSaved,   // the file had changed on disk: the edits went to a copy
        ChangedOnDisk,   // the file changed on disk while the page has edits
        AutosaveFailed,  // saving in the background failed (told once)
    };
    Kind kind = Clear;
    QString text;
    std::u16string page;  // ConflictSaved: the copy now open
};

class PageOperations {
public:
    // window's title is kept up to date by UpdateTitle; keywords may be null.
    PageOperations(NotebookStore& store, PageEditor& editor, KeywordsField* keywords,
                   QWidget* window);
    ~PageOperations();
    PageOperations(const PageOperations&) = delete;
    PageOperations& operator=(const PageOperations&) = delete;

    // Saves a modified open page first; when that save fails the failure is
    // reported, nothing else happens and false is returned (the edits stay
    // in the editor). Unless reload, stops (returning true) when name is the
    // open page's. Otherwise loads the page into both editors, clean.
    bool OpenPage(const std::u16string& name, bool reload);
    // Writes the open page (modified or not) unless that would replace a file
    // that was not read completely and has no edits. Clears both modified
    // flags only when the edits are on disk; a failure is reported (file and
    // reason) and returned. Success when no page is open.
    // When the file was changed by someone else since it was read, the edits
    // are written to a conflict copy, which becomes the open page (the text,
    // caret and undo history stay), and a notice says so.
    Status SavePage();
    // What leaving, closing, a signal or the Save command do: writes only a
    // modified page, or a new page that has no file yet when explicitly asked.
    Status saveIfModified(bool evenNewPage = false);
    // The last resort when the program must end and the page cannot be
    // saved: writes the edits as a page file into the "Rescued" folder of the
    // application's data folder and says where. Success when nothing is modified.
    Status rescueEdits(std::string& where);
    bool ReloadPage();
    void ApplyParagraphStyle(int index);
    void ToggleCharEffect(unsigned effect, unsigned mask);
    void SelectParagraph();
    // "Tavix - " + title (or "untitled") + "*" when modified.
    void UpdateTitle();
    QString TitleText() const;
    // The open page's title as held (escaped); empty when no page is open.
    std::u16string PageTitle() const;

    PageDocument* openPage() const { return openPage_; }
    bool IsModified() const;

    // How failures reach the user; a message box on the window by default.
    using Reporter = std::function<void(const Status&)>;
    void setReporter(Reporter reporter) { reporter_ = std::move(reporter); }
    // Told the name of every page written (the page, or its conflict copy).
    void setOnSaved(std::function<void(const std::u16string&)> onSaved) { onSaved_ = std::move(onSaved); }
    // How notices reach the user; none are shown without one.
    using Notifier = std::function<void(const PageNotice&)>;
    void setNotifier(Notifier notifier) { notifier_ = std::move(notifier); }

    // Autosave: a modified page is saved 2 s after the last edit, and at
    // least every 30 s while edits go on. Off until turned on. The caret,
    // selection, scroll position, undo history and focus stay as they are.
    void setAutosave(bool on);
    // Tells autosave of an edit the editor does not see (the keywords).
    void noteEdit();
    // Runs one autosave now, as the timers do.
    void autosave();
    static constexpr int kAutosaveIdleMs = 2000;
    static constexpr int kAutosaveLongestMs = 30000;

    // Looks at the open page's file: reloads an unmodified page that another
    // program or window changed (caret and scroll kept), and gives a notice
    // for a modified one. Runs by itself when the file or its folder changes.
    void checkDisk();

private:
    // Return at the end of a heading continues with a Normal paragraph.
    void setFollowingParagraphFormat();
    // The open page's document, fetched again should the notebook's cache
    // have dropped it since it was opened (null when no page is open).
    PageDocument* currentPage();
    void report(const Status& status);
    void notify(PageNotice::Kind kind, const QString& text, const std::u16string& page = {});
    // The notice for the page just opened, from how its file was read.
    void noticeForSource();
    void watchOpenPage();
    // The editor's content as a page named as the open one.
    void buildEditedPage(const PageDocument& page, PageDocument& edited) const;

    NotebookStore& store_;
    PageEditor& editor_;
    KeywordsField* keywords_;
    QWidget* window_;
    PageDocument* openPage_ = nullptr;
    std::u16string openName_;
    Reporter reporter_;
    Notifier notifier_;
    std::function<void(const std::u16string&)> onSaved_;
    FileStamp stamp_;  // the open page's file as this window last read or wrote it
    bool changeNoticed_ = false;
    bool autosaveFailed_ = false;
    bool autosaveOn_ = false;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* idleTimer_ = nullptr;
    QTimer* longestTimer_ = nullptr;
    bool followingFormatSet_ = false;
};

}  // namespace tavix
