#pragma once
// The program's main window: menus, tool bars, status bar, the page editor
// in the middle and the two panes. It holds the open page (through the page
// operations) and the navigation history, turns commands into page
// operations, follows link clicks, and saves the open page when it closes.
#include <functional>
#include <map>
#include <memory>
#include <span>

#include <QMainWindow>
#include <QString>

#include "app/CommandState.h"
#include "app/CommandTable.h"
#include "editor/NavigationHistory.h"
#include "store/FoundPage.h"
#include "store/Status.h"

class QAction;
class QComboBox;
class QLabel;
class QProgressBar;
class QMenu;
class QTimer;
class QToolBar;

namespace tavix {

class FindDialog;
class KeywordsWindow;
class NoticeBar;
class AllPagesPane;
class BacklinksPane;
class IndexService;
class NotebookStore;
class PageEditor;
class PageListWindow;
class PageOperations;
struct PageNotice;
class PagePrinter;

class MainFrame : public QMainWindow {
    Q_OBJECT
public:
    // Builds the whole window and opens the front page; the store must
    // outlive the window.
    explicit MainFrame(NotebookStore& store, QWidget* parent = nullptr);
    ~MainFrame() override;

    // How the window talks to the user, replaceable so tests never wait on
    // a dialog. The reporter shows a failure (a page that could not be
    // saved); the close question asks whether to close although the open
    // page could not be saved, and returns true to close anyway.
    using ErrorReporter = std::function<void(const QString& message)>;
    using CloseQuestion = std::function<bool(const QString& message)>;
    void setErrorReporter(ErrorReporter reporter);
    void setCloseQuestion(CloseQuestion question);

    // Set (true) on a frame that closes because the program must end (a
    // signal, the session ending): a page that cannot be saved is rescued
    // to a file instead of asking the user.
    static constexpr const char* kEndingProperty = "tavixEnding";

    // Runs a command as if chosen from its menu or tool bar.
    void runCommand(int id);
    // The action of a command (shared by menus, tool bars and keys); null
    // for an unknown id or the style combo box.
    QAction* action(int id) const;

    // Page navigation: each opens a page through the page operations and
    // keeps the history in step; none moves the history when the page that
    // was open could not be saved (it then stays open, still modified).
    void OpenFoundPage(const FoundPage& page);  // a link click or a found page
    void GoBack();
    void GoForward();
    void GoFrontPage();

    // The pass that sets command states, the style combo box, the status
    // bar panes and the title. Runs on its own whenever the event loop is
    // idle after something it depends on changed.
    void UpdateCommandState();

    PageEditor& editor() const { return *editor_; }
    KeywordsWindow& keywordsPane() const { return *keywords_; }
    PageListWindow& pageListPane() const { return *pageList_; }
    NoticeBar& noticeBar() const { return *notice_; }
    AllPagesPane& allPagesPane() const { return *allPages_; }
    BacklinksPane& backlinksPane() const { return *backlinks_; }

    // The notebook commands without their dialogs (the commands ask first).
    // Each says what went wrong through the error reporter and returns false.
    // Opens the page of that name or title; a name that does not exist yet
    // opens a new page of that name when it can be one.
    bool jumpToPage(const QString& text);
    // Makes the page (its file written at once, from the new-page template)
    // and opens it. The name must be a link word that no page has.
    bool newPage(const QString& name);
    // Renames the open page and every link to it in the notebook, all or
    // nothing; every window's edits are saved first and every window then
    // follows the new name (open page and history).
    bool renamePage(const QString& newName);
    // Moves the open page's file to the trash (not the front page) and goes
    // to the front page; links to it stay.
    bool deletePage();
    // The HTML export's dialogs, replaceable so tests never wait on one:
    // the folder to write into (empty when the user cancels), and the
    // closing summary, which returns true when the user asks to open the
    // folder.
    struct ExportDialogs {
        std::function<QString(const QString& suggested)> chooseFolder;
        std::function<bool(const QString& summary)> showResult;
    };
    void setExportDialogs(ExportDialogs dialogs);
    // Saves the open page's edits, then writes the notebook as a website
    // into folder on a worker thread behind a progress dialog that can stop
    // it. False when the export failed or was stopped.
    bool exportNotebookAsHtml(const QString& folder);
    PageOperations& operations() const { return *ops_; }
    NavigationHistory& history() { return history_; }
    const CommandState& commandState() const { return state_; }
    NotebookStore& store() const { return store_; }
    QComboBox* styleCombo() const { return styleCombo_; }
    QToolBar* standardBar() const { return standardBar_; }
    QToolBar* formattingBar() const { return formattingBar_; }
    QMenu* editorContextMenu() const { return contextMenu_; }
    // Status bar panes: "Line %i", "Col %i", "Char %i".
    QString lineText() const;
    QString columnText() const;
    QString charText() const;

public slots:
    // Asks for a command-state pass once the event loop is idle; many
    // requests before then make one pass.
    void scheduleCommandState();

protected:
    void closeEvent(QCloseEvent* event) override;
    // The menu a right click on the bars shows: the View toggles, so their
    // check marks always tell the truth.
    QMenu* createPopupMenu() override;

private:
    void createActions();
    void createMenus();
    void createToolBars();
    void createStatusBar();
    void createEditorAndPanes();
    void connectStateSignals();
    // Adds items[pos..] to menu up to the EndMenu that closes it (or the
    // end of items), building submenus on the way; pos ends on that EndMenu.
    void fillMenu(QMenu* menu, std::span<const LayoutItem> items, std::size_t& pos);
    void applyStates();
    void onStyleChosen(int index);
    void onEditorContextMenu(const QPoint& pos);
    void toggleToolBar(int id);
    void toggleStatusBar();
    void togglePageKeywords();
    void toggleFoundPages();
    // F6 and Shift+F6: the focus moves from the editor through the panes
    // that can be seen, and back.
    void cycleFocus(bool forward);
    // The window as it was left: geometry, bars, panes and the last page.
    // Restoring returns that page's name, empty when none is known.
    std::u16string restoreLayout();
    void rememberLayout();
    // The one-line welcome above the page: shown on the first start and
    // until the user closes it.
    void showWelcomeIfNew();
    static QString welcomeText();
    void showHelp();
    void showAbout();
    void showFind();
    void showFindPages();
    void showStyles();
    // Saves before the window goes; false when the user chose to keep the
    // window because the page could not be saved.
    bool saveBeforeClosing();
    void reportFailure(const Status& status);
    void showNotice(const PageNotice& notice);
    void createNotebookPanes();
    // Reads the index again into All Pages and Backlinks.
    void showIndex();
    void showBacklinks();
    void askJumpToPage();
    void askNewPage();
    void askRenamePage();
    void askExportHtml();  // MainFrameExport.cpp
    // After a rename done in any window: follow it here.
    void followRename(const std::u16string& oldName, const std::u16string& newName);

    NotebookStore& store_;
    PageEditor* editor_ = nullptr;
    KeywordsWindow* keywords_ = nullptr;
    PageListWindow* pageList_ = nullptr;
    NoticeBar* notice_ = nullptr;
    AllPagesPane* allPages_ = nullptr;
    BacklinksPane* backlinks_ = nullptr;
    IndexService* index_ = nullptr;
    QProgressBar* indexProgress_ = nullptr;
    std::u16string shownPage_;  // the page the panes were last set for
    FindDialog* findDialog_ = nullptr;  // made at the first Find, then kept
    PagePrinter* printer_ = nullptr;    // printer, margins and preview of this window
    std::unique_ptr<PageOperations> ops_;
    NavigationHistory history_;
    CommandState state_;
    std::map<int, QAction*> actions_;
    QComboBox* styleCombo_ = nullptr;
    QToolBar* standardBar_ = nullptr;
    QToolBar* formattingBar_ = nullptr;
    QMenu* contextMenu_ = nullptr;
    QLabel* linePane_ = nullptr;
    QLabel* columnPane_ = nullptr;
    QLabel* charPane_ = nullptr;
    QTimer* idleTimer_ = nullptr;
    bool standardShown_ = true;
    bool formattingShown_ = true;
    bool canPaste_ = false;
    enum class Welcome { NotShown, Shown, Closed } welcome_ = Welcome::NotShown;
    bool quietSave_ = false;  // while closing: one question instead of two messages
    ErrorReporter errorReporter_;
    CloseQuestion closeQuestion_;
    ExportDialogs exportDialogs_;
};

}  // namespace tavix
