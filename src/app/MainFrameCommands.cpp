// What the main window's commands do, page navigation, closing, and the
// command-state pass.
#include <cstdio>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDataStream>
#include <QDialog>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QRect>
#include <QDockWidget>
#include <QLabel>
#include <QMessageBox>
#include <QStatusBar>
#include <QTextDocument>
#include <QToolBar>

#include "app/MainFrame.h"
#include "editor/PageEditor.h"
#include "editor/PageOperations.h"
#include "formats/PageDocument.h"
#include "platform/ParagraphParts.h"
#include "search/FindDialog.h"
#include "search/FindPagesDialog.h"
#include "store/NotebookStore.h"
#include "store/PropertyNode.h"
#include "ui/KeywordsWindow.h"
#include "ui/NoticeBar.h"
#include "ui/NotebookPanes.h"
#include "ui/PageListWindow.h"
#include "ui/PagePrinter.h"
#include "ui/ProblemReport.h"
#include "ui/StylesDialog.h"

#ifndef TAVIX_VERSION
#define TAVIX_VERSION "0.1.0"
#endif

namespace tavix {
namespace {

// While the print preview shows, the commands about printing, bars, panes
// and help keep it, and zooming zooms it. Any other command acts on the
// page or leaves it, so the page is shown again first. True when the
// preview took the command.
bool routeToPreview(PagePrinter& printer, int id) {
    if (!printer.previewShown())
        return false;
    switch (id) {
    case cmd::ZoomIn: printer.zoomPreview(1); return true;
    case cmd::ZoomOut: printer.zoomPreview(-1); return true;
    case cmd::ActualSize: printer.zoomPreview(0); return true;
    case cmd::Save: case cmd::Print: case cmd::PrintPreview: case cmd::PrintSetup:
    case cmd::Exit: case cmd::ToolbarStandard: case cmd::ToolbarFormatting:
    case cmd::StatusBar: case cmd::PageKeywords: case cmd::FoundPages: case cmd::AllPages:
    case cmd::Backlinks: case cmd::About: case cmd::Help: case cmd::ReportProblem:
        return false;
    default:
        printer.closePreview();
        return false;
    }
}

}  // namespace

void MainFrame::runCommand(int id) {
    if (routeToPreview(*printer_, id))
        return;
    const int style = cmd::styleIndexOf(id);
    if (style >= 0) {
        ops_->ApplyParagraphStyle(style);
        scheduleCommandState();
        return;
    }
    switch (id) {
    case cmd::Save: ops_->saveIfModified(true); break;
    case cmd::Exit:
        // The close may delete this window once control is back in the
        // event loop; nothing after it may touch members.
        close();
        return;

    // Edit commands act on the page editor whichever window has the focus.
    case cmd::Undo: editor_->Undo(); break;
    case cmd::Redo: editor_->Redo(); break;
    case cmd::Cut: editor_->Cut(); break;
    case cmd::Copy: editor_->Copy(); break;
    case cmd::Paste: editor_->Paste(); break;
    case cmd::Clear: editor_->Clear(); break;
    case cmd::ClearAll: editor_->ClearAll(); break;
    case cmd::SelectAll: editor_->SelectAllText(); break;
    case cmd::SelectParagraph: ops_->SelectParagraph(); break;

    case cmd::ToolbarStandard:
    case cmd::ToolbarFormatting: toggleToolBar(id); break;
    case cmd::StatusBar: toggleStatusBar(); break;
    case cmd::PageKeywords: togglePageKeywords(); break;
    case cmd::FoundPages: toggleFoundPages(); break;
    case cmd::AllPages:
    case cmd::Backlinks: {
        QDockWidget* pane = id == cmd::AllPages ? static_cast<QDockWidget*>(allPages_)
                                                : static_cast<QDockWidget*>(backlinks_);
        pane->setVisible(pane->isHidden());
        if (!pane->isHidden())
            pane->raise();
        break;
    }
    case cmd::JumpToPage: askJumpToPage(); break;
    case cmd::NewPage: askNewPage(); break;
    case cmd::RenamePage: askRenamePage(); break;
    case cmd::DeletePage: deletePage(); break;
    case cmd::ExportHtml: askExportHtml(); break;

    case cmd::Back: GoBack(); break;
    case cmd::Forward: GoForward(); break;
    case cmd::FrontPage: GoFrontPage(); break;

    case cmd::Bold: ops_->ToggleCharEffect(PageEditor::Bold, PageEditor::Bold); break;
    case cmd::Italic: ops_->ToggleCharEffect(PageEditor::Italic, PageEditor::Italic); break;
    case cmd::Underline: ops_->ToggleCharEffect(PageEditor::Underline, PageEditor::Underline); break;
    case cmd::Strikethrough:
        ops_->ToggleCharEffect(PageEditor::Strikeout, PageEditor::Strikeout);
        break;
    case cmd::Superscript:
        ops_->ToggleCharEffect(PageEditor::Superscript, PageEditor::kSuperSubMask);
        break;
    case cmd::Subscript:
        ops_->ToggleCharEffect(PageEditor::Subscript, PageEditor::kSuperSubMask);
        break;

    case cmd::Styles: showStyles(); break;
    case cmd::Find: showFind(); break;
    case cmd::FindPages: showFindPages(); break;

    case cmd::ZoomIn: editor_->zoomBy(1); break;
    case cmd::ZoomOut: editor_->zoomBy(-1); break;
    case cmd::ActualSize: editor_->setZoom(100); break;

    case cmd::About: showAbout(); break;
    case cmd::Help: showHelp(); break;

    case cmd::Print: printer_->print(); break;
    case cmd::PrintPreview: printer_->preview(); break;
    case cmd::PrintSetup: printer_->pageSetup(); break;
    case cmd::ReportProblem: {
        ProblemReportDialog dialog(this);
        dialog.exec();
        break;
    }
    default:
        break;
    }
    scheduleCommandState();
}

void MainFrame::showFind() {
    if (!findDialog_) {
        findDialog_ = new FindDialog(*editor_, store_, this);
        connect(findDialog_, &FindDialog::settingsSaveFailed, this,
                [this](const QString& reason) { statusBar()->showMessage(reason, 10000); });
        connect(findDialog_, &FindDialog::statusMessage, this,
                [this](const QString& text) { statusBar()->showMessage(text, 5000); });
    }
    findDialog_->showWithSeed(editor_->SearchSeedText());
}

void MainFrame::showFindPages() {
    // The search reads the page files, so what was typed on the open page
    // must be on disk to be found.
    ops_->saveIfModified();
    FindPagesDialog dialog(store_, *pageList_, this);
    dialog.setSeedText(editor_->SearchSeedText());
    dialog.exec();
}

void MainFrame::showStyles() {
    // The page is saved before the dialog opens so nothing typed can be lost
    // to the reload that follows an accepted change.
    ops_->saveIfModified();
    StylesDialog dialog(store_.styleSheet(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    store_.styleSheet() = dialog.styleSheet();
    const Status saved = store_.saveStyleSheet();
    if (!saved && !quietSave_)
        errorReporter_(tr("The styles could not be saved; they apply until Tavix is closed.\n\n%1")
                           .arg(QString::fromStdString(saved.message())));
    ops_->ReloadPage();
}

void MainFrame::onStyleChosen(int index) {
    if (index < 0 || index > 6)
        return;
    printer_->closePreview();  // the style is for the page, which shows again
    ops_->ApplyParagraphStyle(index);
    // Back to the text, as after any formatting button.
    editor_->setFocus();
    scheduleCommandState();
}

void MainFrame::OpenFoundPage(const FoundPage& page) {
    // The record's notebook is not consulted: pages always open in this
    // window's notebook. A preview is of the page being left.
    printer_->closePreview();
    if (ops_->OpenPage(page.pageName, false) && ops_->openPage())
        history_.RecordVisit(*ops_->openPage());
    scheduleCommandState();
}

void MainFrame::GoBack() {
    if (const auto entry = history_.PeekBack()) {
        // A page whose save failed stays open, so the history must not move.
        if (ops_->OpenPage(entry->name, false))
            history_.StepBack();
        ops_->UpdateTitle();
    }
    scheduleCommandState();
}

void MainFrame::GoForward() {
    if (const auto entry = history_.PeekForward()) {
        if (ops_->OpenPage(entry->name, false))
            history_.StepForward();
        ops_->UpdateTitle();
    }
    scheduleCommandState();
}

void MainFrame::GoFrontPage() {
    const std::u16string front = Notebook::frontPageName();
    const PageDocument* open = ops_->openPage();
    if (!open || open->name() != front) {
        if (ops_->OpenPage(front, false) && ops_->openPage())
            history_.RecordVisit(*ops_->openPage());
    }
    ops_->UpdateTitle();
    scheduleCommandState();
}

void MainFrame::toggleToolBar(int id) {
    const bool standard = id == cmd::ToolbarStandard;
    bool& shown = standard ? standardShown_ : formattingShown_;
    shown = !shown;
    (standard ? standardBar_ : formattingBar_)->setVisible(shown);
    state_.setChecked(id, shown);
    applyStates();
}

void MainFrame::toggleStatusBar() {
    const bool visible = !statusBar()->isHidden();
    statusBar()->setVisible(!visible);
    state_.setChecked(cmd::StatusBar, !visible);
    applyStates();
}

void MainFrame::togglePageKeywords() {
    keywords_->Toggle();
    state_.setChecked(cmd::PageKeywords, !keywords_->isHidden());
    applyStates();
}

void MainFrame::toggleFoundPages() {
    pageList_->setVisible(pageList_->isHidden());
    if (!pageList_->isHidden())
        pageList_->raise();
    state_.setChecked(cmd::FoundPages, !pageList_->isHidden());
    applyStates();
}

namespace {
// Bumped when the docks or bars change so much that an old layout would
// put them in the wrong places; restoreState then refuses the old one.
constexpr int kLayoutVersion = 1;

std::u16string valueOf(const PropertyNode& root, const std::u16string& node,
                       const std::u16string& key) {
    const PropertyNode* n = root.findChild(node);
    return n ? n->getString(key, u"") : std::u16string();
}

QByteArray fromBase64(const std::u16string& text) {
    return QByteArray::fromBase64(QString::fromStdU16String(text).toLatin1());
}

// The parts of a saved window geometry the user chooses: the size, where
// the window stands, maximized, full screen.
struct SavedGeometry {
    QRect normal;
    quint8 maximized = 0;
    quint8 fullScreen = 0;
    bool ok = false;
};

SavedGeometry parseGeometry(const QByteArray& data) {
    QDataStream in(data);
    in.setVersion(QDataStream::Qt_4_0);
    quint32 magic = 0;
    quint16 major = 0, minor = 0;
    in >> magic >> major >> minor;
    if (magic != 0x1D9D0CB || major < 1)
        return {};
    SavedGeometry g;
    QRect frame;
    qint32 screen = 0;
    in >> frame >> g.normal >> screen >> g.maximized >> g.fullScreen;
    g.ok = in.status() == QDataStream::Ok;
    return g;
}

// Window systems place a restored window a frame's width from where it was
// asked to stand, so the geometry read back at every start differs from the
// one stored. Only a change the user made counts.
bool sameGeometry(const QByteArray& a, const QByteArray& b) {
    if (a == b)
        return true;
    const SavedGeometry x = parseGeometry(a), y = parseGeometry(b);
    constexpr int kFrameDrift = 64;
    return x.ok && y.ok && x.normal.size() == y.normal.size() && x.maximized == y.maximized &&
           x.fullScreen == y.fullScreen &&
           (x.normal.topLeft() - y.normal.topLeft()).manhattanLength() <= kFrameDrift;
}
}  // namespace

std::u16string MainFrame::restoreLayout() {
    PropertyNode* props = store_.properties();
    if (!props)
        return {};
    const QByteArray geometry = fromBase64(valueOf(*props, u"Window", u"Geometry"));
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    const QByteArray layout = fromBase64(valueOf(*props, u"Window", u"State"));
    if (!layout.isEmpty() && restoreState(layout, kLayoutVersion))
        pageList_->setProperty("tavixSized", true);
    standardShown_ = !standardBar_->isHidden();
    formattingShown_ = !formattingBar_->isHidden();
    state_.setChecked(cmd::ToolbarStandard, standardShown_);
    state_.setChecked(cmd::ToolbarFormatting, formattingShown_);
    state_.setChecked(cmd::PageKeywords, !keywords_->isHidden());
    applyStates();
    return valueOf(*props, u"Session", u"LastPage");
}

QString MainFrame::welcomeText() {
    return tr("Every word in mixed capitals, like ShoppingList, links to the page of that name: "
              "type one, then click it to open its page. F1 opens the help.");
}

void MainFrame::showWelcomeIfNew() {
    PropertyNode* props = store_.properties();
    const bool open = props && valueOf(*props, u"Session", u"Welcome") == u"Open";
    if (!store_.settingsFileMissing() && !open)
        return;
    notice_->showNotice(welcomeText());
    welcome_ = Welcome::Shown;
}

void MainFrame::rememberLayout() {
    PropertyNode* props = store_.properties();
    if (!props)
        return;
    const std::u16string page =
        ops_ && ops_->openPage() ? ops_->openPage()->name() : std::u16string();
    const std::pair<std::u16string, std::u16string> values[] = {
        {u"Window.Geometry", QString::fromLatin1(saveGeometry().toBase64()).toStdU16String()},
        {u"Window.State",
         QString::fromLatin1(saveState(kLayoutVersion).toBase64()).toStdU16String()},
        {u"Session.LastPage", page},
        {u"Session.Welcome", welcome_ == Welcome::Closed ? u"Closed" : u"Open"},
    };
    bool changed = false;
    for (const auto& [key, value] : values) {
        const auto dot = key.find(u'.');
        const std::u16string stored = valueOf(*props, key.substr(0, dot), key.substr(dot + 1));
        if (stored == value)
            continue;
        // Only a welcome this window showed has anything to remember.
        if (key == u"Session.Welcome" && welcome_ == Welcome::NotShown)
            continue;
        if (key == u"Window.Geometry" && sameGeometry(fromBase64(stored), fromBase64(value)))
            continue;
        props->set(key, value);
        changed = true;
    }
    // A window closed as it was opened leaves the file alone.
    if (!changed)
        return;
    const Status saved = props->save();
    if (!saved)
        std::fprintf(stderr, "tavix: %s\n", saved.message().c_str());
}

void MainFrame::showHelp() {
    // One help window per main window, kept once made so that it opens
    // where the reader left it.
    auto* window = findChild<QDialog*>(QStringLiteral("HelpWindow"));
    if (!window) {
        window = new QDialog(this);
        window->setObjectName(QStringLiteral("HelpWindow"));
        window->setWindowTitle(tr("Tavix Help"));
        auto* browser = new QTextBrowser(window);
        browser->setObjectName(QStringLiteral("HelpBrowser"));
        browser->setOpenExternalLinks(true);
        browser->setSource(QUrl(QStringLiteral("qrc:/tavix/help/tavix-help.html")));
        auto* column = new QVBoxLayout(window);
        column->setContentsMargins(0, 0, 0, 0);
        column->addWidget(browser);
        window->resize(QSize(640, 560).boundedTo(size()));
    }
    window->show();
    window->raise();
    window->activateWindow();
}

void MainFrame::showAbout() {
    QMessageBox::about(this, tr("About Tavix"),
                       tr("<h3>Tavix %1</h3><p>A desktop notebook of linked pages.</p>"
                          "<p>Every word in mixed capitals, such as FrontPage, links to the "
                          "page of that name.</p>")
                           .arg(QStringLiteral(TAVIX_VERSION)));
}

bool MainFrame::saveBeforeClosing() {
    if (!ops_ || !ops_->openPage())
        return true;
    quietSave_ = true;
    const Status saved = ops_->saveIfModified();
    quietSave_ = false;
    if (saved.ok())
        return true;
    if (property(kEndingProperty).toBool()) {
        // The session is ending and nobody is there to answer a question.
        std::string where;
        const Status rescued = ops_->rescueEdits(where);
        std::fprintf(stderr, "tavix: %s\n", saved.message().c_str());
        if (rescued.ok())
            std::fprintf(stderr, "tavix: the edits were kept in %s\n", where.c_str());
        else
            std::fprintf(stderr, "tavix: %s\n", rescued.message().c_str());
        return true;
    }
    const QString page = QString::fromStdU16String(ops_->openPage()->name());
    return closeQuestion_(
        tr("The page \u201c%1\u201d could not be saved.\n\n%2\n\n"
           "If you close the window now, your changes to this page are lost.")
            .arg(page, QString::fromStdString(saved.message())));
}

void MainFrame::showNotice(const PageNotice& notice) {
    if (notice.kind == PageNotice::Clear) {
        // A page's notices go with the page; the welcome stays until closed.
        if (welcome_ == Welcome::Shown)
            notice_->showNotice(welcomeText());
        else
            notice_->clearNotice();
        return;
    }
    // The conflict copy is now the open page; Back leads to where the user was.
    if (notice.kind == PageNotice::ConflictSaved && ops_->openPage())
        history_.RecordVisit(*ops_->openPage());
    notice_->showNotice(notice.text);
    scheduleCommandState();
}

void MainFrame::closeEvent(QCloseEvent* event) {
    if (!saveBeforeClosing()) {
        event->ignore();
        scheduleCommandState();
        return;
    }
    rememberLayout();
    QMainWindow::closeEvent(event);
}

void MainFrame::applyStates() {
    for (const auto& [id, a] : actions_) {
        if (a->isEnabled() != state_.isEnabled(id))
            a->setEnabled(state_.isEnabled(id));
        if (a->isCheckable() && a->isChecked() != state_.isChecked(id))
            a->setChecked(state_.isChecked(id));
    }
}

void MainFrame::UpdateCommandState() {
    if (!ops_)
        return;
    CommandInputs in;
    QTextDocument* doc = editor_->document();
    in.canUndo = doc->isUndoAvailable();
    in.canRedo = doc->isRedoAvailable();
    in.canPaste = canPaste_;
    const int start = editor_->selectionStart();
    in.selectionEmpty = start == editor_->selectionEnd();
    in.hasText = !doc->isEmpty();
    in.canGoBack = history_.CanGoBack();
    in.canGoForward = history_.CanGoForward();
    in.modified = ops_->IsModified();
    in.keywordsVisible = !keywords_->isHidden();
    state_.setChecked(cmd::AllPages, !allPages_->isHidden());
    state_.setChecked(cmd::Backlinks, !backlinks_->isHidden());
    state_.setChecked(cmd::FoundPages, !pageList_->isHidden());
    showBacklinks();
    in.editorHasFocus = editor_->hasFocus();
    if (in.editorHasFocus)
        in.styleIndex = editor_->paragraphStyleAt(start);
    in.effects = editor_->SelectionEffects();

    state_.Update(in);
    applyStates();
    if (in.editorHasFocus && styleCombo_->currentIndex() != state_.styleIndex())
        styleCombo_->setCurrentIndex(state_.styleIndex());

    const int line = editor_->lineFromPosition(start);
    const int column = start - editor_->lineStart(line);
    auto set = [](QLabel* label, const QString& text) {
        if (label->text() != text)
            label->setText(text);
    };
    set(linePane_, tr("Line %1").arg(line));
    set(columnPane_, tr("Col %1").arg(column));
    set(charPane_, tr("Char %1").arg(positionInText(*editor_->document(), start)));

    ops_->UpdateTitle();
}

}  // namespace tavix
