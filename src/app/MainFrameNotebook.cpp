// The main window's view of the notebook as a whole: the All Pages and
// Backlinks panes kept current from the index, Jump to Page and New Page.
#include <unordered_set>

#include <QApplication>
#include <QCompleter>
#include <QFile>
#include <QInputDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QStatusBar>

#include "app/IndexService.h"
#include "app/MainFrame.h"
#include "editor/LinkWords.h"
#include "index/PageRename.h"
#include "editor/PageOperations.h"
#include "formats/PageDocument.h"
#include "store/FileSystem.h"
#include "store/Notebook.h"
#include "store/NotebookStore.h"
#include "store/TextCodec.h"
#include "ui/KeywordsWindow.h"
#include "ui/NotebookPanes.h"
#include "ui/NoticeBar.h"
#include "editor/PageEditor.h"

namespace tavix {

namespace {

// The windows of this process on the same notebook.
std::vector<MainFrame*> framesOf(const NotebookStore& store) {
    std::vector<MainFrame*> frames;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* frame = qobject_cast<MainFrame*>(widget); frame && &frame->store() == &store)
            frames.push_back(frame);
    return frames;
}

}  // namespace

void MainFrame::createNotebookPanes() {
    allPages_ = new AllPagesPane(this);
    backlinks_ = new BacklinksPane(this);
    addDockWidget(Qt::LeftDockWidgetArea, allPages_);
    addDockWidget(Qt::LeftDockWidgetArea, backlinks_);
    tabifyDockWidget(allPages_, backlinks_);
    allPages_->raise();
    connect(allPages_, &QDockWidget::visibilityChanged, this, &MainFrame::scheduleCommandState);
    connect(backlinks_, &QDockWidget::visibilityChanged, this, &MainFrame::scheduleCommandState);

    // A bar in the status bar while the index is being built; the window
    // answers meanwhile from what the index already holds.
    indexProgress_ = new QProgressBar(this);
    indexProgress_->setMaximumWidth(160);
    indexProgress_->setTextVisible(false);
    indexProgress_->setAccessibleName(tr("Indexing pages"));
    indexProgress_->hide();
    statusBar()->addPermanentWidget(indexProgress_);

    if (store_.notebook().folder().empty())
        return;
    index_ = &IndexService::of(store_);
    connect(index_, &IndexService::progress, this, [this](int done, int total) {
        indexProgress_->setRange(0, std::max(total, 1));
        indexProgress_->setValue(done);
        indexProgress_->setVisible(done < total);
    });
    connect(index_, &IndexService::updated, this, [this] {
        indexProgress_->hide();
        showIndex();
    });
    showIndex();
}

void MainFrame::showIndex() {
    if (!index_)
        return;
    std::vector<IndexedPage> pages;
    index_->index().pages(pages);
    // Links to pages still to be made are drawn apart; the set comes from
    // the index, never from a file-system call per word.
    std::unordered_set<std::u16string> names;
    names.reserve(pages.size());
    for (const IndexedPage& page : pages)
        names.insert(page.name);
    editor_->setExistingPages(std::move(names));
    allPages_->setPages(std::move(pages));
    shownPage_.clear();  // the backlinks may have changed too
    showBacklinks();
}

void MainFrame::showBacklinks() {
    const PageDocument* page = ops_ ? ops_->openPage() : nullptr;
    const std::u16string name = page ? page->name() : std::u16string();
    if (name == shownPage_ || !index_)
        return;
    shownPage_ = name;
    allPages_->selectPage(name);
    std::vector<std::u16string> names;
    index_->index().backlinksOf(name, names);
    std::vector<IndexedPage> pages;
    for (const std::u16string& linking : names) {
        std::optional<IndexedPageInfo> info;
        index_->index().pageInfo(linking, info);
        pages.push_back({linking, info ? info->title : std::u16string()});
    }
    backlinks_->setBacklinks(pages);
}

bool MainFrame::jumpToPage(const QString& text) {
    const std::u16string typed = text.trimmed().toStdU16String();
    if (typed.empty())
        return false;
    std::u16string name = typed;
    if (index_) {
        // A title leads to its page; a name is taken as it is.
        bool exists = false;
        index_->index().hasPage(typed, exists);
        if (!exists) {
            std::vector<IndexedPage> pages;
            index_->index().findPages(typed, pages);
            for (const IndexedPage& page : pages)
                if (QString::fromStdU16String(page.title).compare(text.trimmed(), Qt::CaseInsensitive) == 0) {
                    name = page.name;
                    break;
                }
        }
    }
    if (!Notebook::isSafePageName(name)) {
        errorReporter_(tr("\u201c%1\u201d cannot be the name of a page.").arg(text.trimmed()));
        return false;
    }
    OpenFoundPage(FoundPage{name, store_.notebook().name()});
    return ops_->openPage() && ops_->openPage()->name() == name;
}

bool MainFrame::newPage(const QString& text) {
    const std::u16string name = text.trimmed().toStdU16String();
    if (!IsLinkWord(name)) {
        errorReporter_(tr("\u201c%1\u201d is not a link word. A page name is one word in mixed "
                          "capitals, such as ShoppingList, so that other pages can link to it.")
                           .arg(text.trimmed()));
        return false;
    }
    bool exists = pathExists(toUtf8(store_.notebook().pagePath(name)));
    if (exists) {
        errorReporter_(tr("A page named \u201c%1\u201d exists already.").arg(text.trimmed()));
        return false;
    }
    OpenFoundPage(FoundPage{name, store_.notebook().name()});
    if (!ops_->openPage() || ops_->openPage()->name() != name)
        return false;
    // Made on request, so it is written at once and listed.
    return ops_->saveIfModified(true).ok();
}

void MainFrame::askJumpToPage() {
    QInputDialog dialog(this);
    dialog.setWindowTitle(tr("Jump to Page"));
    dialog.setLabelText(tr("Page name or title:"));
    if (index_) {
        QStringList choices;
        std::vector<IndexedPage> pages;
        index_->index().pages(pages);
        for (const IndexedPage& page : pages) {
            choices << QString::fromStdU16String(page.name);
            if (!page.title.empty() && page.title != page.name)
                choices << QString::fromStdU16String(page.title);
        }
        choices.removeDuplicates();
        // The dialog's line edit exists once it is shown with a text mode.
        dialog.setInputMode(QInputDialog::TextInput);
        if (auto* field = dialog.findChild<QLineEdit*>()) {
            auto* completer = new QCompleter(choices, &dialog);
            completer->setCaseSensitivity(Qt::CaseInsensitive);
            completer->setFilterMode(Qt::MatchContains);
            field->setCompleter(completer);
        }
    }
    if (dialog.exec() == QDialog::Accepted)
        jumpToPage(dialog.textValue());
}

void MainFrame::askNewPage() {
    bool ok = false;
    const QString name = QInputDialog::getText(
        this, tr("New Page"),
        tr("Name of the new page, one word in mixed capitals (other pages link to it by this name):"),
        QLineEdit::Normal, QStringLiteral("NewPage"), &ok);
    if (ok)
        newPage(name);
}

bool MainFrame::renamePage(const QString& text) {
    const PageDocument* page = ops_->openPage();
    if (!page || !index_)
        return false;
    const std::u16string oldName = page->name();
    const std::u16string newName = text.trimmed().toStdU16String();
    if (newName == oldName)
        return true;
    if (Status usable = checkNewPageName(newName); !usable) {
        errorReporter_(QString::fromStdString(usable.message()));
        return false;
    }
    // Edits in any window are written first: the rename then rewrites them
    // too, and no window writes a stale copy over a renamed file later.
    for (MainFrame* frame : framesOf(store_))
        if (!frame->ops_->saveIfModified())
            return false;
    const RenameOutcome outcome =
        tavix::renamePage(toUtf8(store_.notebook().folder()), index_->index(), oldName, newName);
    if (!outcome.status) {
        errorReporter_(tr("The page could not be renamed: %1").arg(QString::fromStdString(outcome.status.message())));
        return false;
    }
    for (MainFrame* frame : framesOf(store_))
        frame->followRename(oldName, newName);
    index_->refresh();
    showIndex();
    if (!outcome.leftAlone.empty()) {
        QStringList left;
        for (const RenameOutcome::Left& l : outcome.leftAlone)
            left << QStringLiteral("%1 (%2)").arg(QString::fromStdU16String(l.page), QString::fromStdString(l.why));
        notice_->showNotice(tr("Renamed, but these pages still link to the old name: %1").arg(left.join(QStringLiteral(", "))));
    }
    return true;
}

void MainFrame::followRename(const std::u16string& oldName, const std::u16string& newName) {
    history_.renamePage(oldName, newName);
    const PageDocument* page = ops_->openPage();
    if (page && page->name() == oldName) {
        const int position = editor_->textCursor().position();
        ops_->OpenPage(newName, true);
        editor_->setSelection(std::min(position, editor_->textLength()), std::min(position, editor_->textLength()));
    } else {
        ops_->checkDisk();  // its links may have been rewritten
    }
    shownPage_.clear();
    scheduleCommandState();
}

bool MainFrame::deletePage() {
    const PageDocument* page = ops_->openPage();
    if (!page)
        return false;
    const std::u16string name = page->name();
    if (name == Notebook::frontPageName()) {
        errorReporter_(tr("The front page cannot be deleted."));
        return false;
    }
    const QString file = QString::fromStdU16String(store_.notebook().pagePath(name));
    if (QFile::exists(file) && !QFile::moveToTrash(file)) {
        errorReporter_(tr("The page could not be moved to the trash: %1").arg(file));
        return false;
    }
    // The page is gone on purpose: its edits are not written back.
    editor_->SetModified(false);
    keywords_->ClearModified();
    GoFrontPage();
    if (index_)
        index_->pageChanged(name);
    statusBar()->showMessage(
        tr("\u201c%1\u201d was moved to the trash; links to it now lead to a new page.")
            .arg(QString::fromStdU16String(name)),
        10000);
    return true;
}

void MainFrame::askRenamePage() {
    const PageDocument* page = ops_->openPage();
    if (!page)
        return;
    bool ok = false;
    const QString name = QInputDialog::getText(
        this, tr("Rename Page"), tr("New name (every link to this page is changed with it):"),
        QLineEdit::Normal, QString::fromStdU16String(page->name()), &ok);
    if (ok)
        renamePage(name);
}

}  // namespace tavix
