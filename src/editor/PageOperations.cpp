#include "editor/PageOperations.h"

#include <algorithm>

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QMessageBox>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QWidget>

#include "editor/PageEditor.h"
#include "formats/PageDocument.h"
#include "formats/RtfReader.h"
#include "formats/RtfWriter.h"
#include "formats/XmlSupport.h"
#include "platform/RtfDocument.h"
#include "platform/WaitCursor.h"
#include "store/FileSystem.h"
#include "store/NotebookStore.h"
#include "store/TextCodec.h"
#include "editor/KeywordsField.h"

namespace tavix {

namespace {

// Characters XML 1.0 cannot carry. The paragraph's text keeps its tabs (page
// text like any other); the other control characters could not be stored,
// and leaving them in would only make the fragment unreadable.
bool isXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

std::u16string xmlSafe(const std::u16string& in) {
    std::u16string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        const char16_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
            out += c;
            out += in[++i];
        } else if (isXmlChar(c) && (c >= 0x20 || c == u'\t')) {
            out += c;
        }
    }
    return out;
}

}  // namespace

PageOperations::PageOperations(NotebookStore& store, PageEditor& editor, KeywordsField* keywords,
                               QWidget* window)
    : store_(store), editor_(editor), keywords_(keywords), window_(window),
      watcher_(new QFileSystemWatcher), idleTimer_(new QTimer), longestTimer_(new QTimer) {
    // The folder is watched as well as the file: a save by rename (ours, a
    // text editor's, a sync tool's) replaces the file the watch was on.
    QObject::connect(watcher_, &QFileSystemWatcher::fileChanged, watcher_, [this] { checkDisk(); });
    QObject::connect(watcher_, &QFileSystemWatcher::directoryChanged, watcher_, [this] { checkDisk(); });
    for (QTimer* timer : {idleTimer_, longestTimer_}) {
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, timer, [this] { autosave(); });
    }
    idleTimer_->setInterval(kAutosaveIdleMs);
    longestTimer_->setInterval(kAutosaveLongestMs);
}

PageOperations::~PageOperations() {
    delete watcher_;
    delete idleTimer_;
    delete longestTimer_;
}

PageDocument* PageOperations::currentPage() {
    // The cache may have dropped the document, or dropped and read it again
    // for another window, since this window opened it.
    if (openPage_ && store_.notebook().findCached(openName_) != openPage_)
        openPage_ = &store_.notebook().getPage(openName_);
    return openPage_;
}

void PageOperations::notify(PageNotice::Kind kind, const QString& text, const std::u16string& page) {
    if (notifier_)
        notifier_(PageNotice{kind, text, page});
}

void PageOperations::report(const Status& status) {
    if (status.ok())
        return;
    if (reporter_) {
        reporter_(status);
        return;
    }
    QMessageBox::warning(window_, QStringLiteral("Tavix"),
                         QStringLiteral("The page could not be saved; your changes are still in the "
                                        "editor.\n\n") +
                             QString::fromStdString(status.message()));
}

bool PageOperations::OpenPage(const std::u16string& name, bool reload) {
    const std::u16string wanted = name;  // name may refer into the open page
    if (currentPage() && IsModified()) {
        // Leaving a page whose edits could not be written would lose them.
        if (!SavePage())
            return false;
    }
    if (!reload && openPage_ && openName_ == wanted)
        return true;

    WaitCursor wait;
    PageDocument& page = store_.notebook().getPage(wanted);
    openPage_ = &page;
    openName_ = wanted;
    stamp_ = page.source().stamp;
    changeNoticed_ = false;
    autosaveFailed_ = false;
    idleTimer_->stop();
    longestTimer_->stop();

    RtfWriter writer(store_.styleSheet());
    writer.setFontBase(0);
    page.parseBody(writer);
    // A body that broke off (a damaged file) leaves the RTF group open; the
    // part that could be converted is shown.
    writer.finish();
    // The style sheet changes only before a reload; a page switch needs no
    // second conversion of the styles. Set before loading, which uses them.
    if (reload || !followingFormatSet_)
        setFollowingParagraphFormat();
    editor_.SetRtf(writer.rtf());
    // Typing into a page that can never be saved would only lose the text.
    editor_.setReadOnly(page.source().kind == PageSource::Unreadable);
    if (keywords_)
        keywords_->SetKeywords(page.keywords());
    watchOpenPage();
    noticeForSource();
    return true;
}

void PageOperations::noticeForSource() {
    const PageSource& source = openPage_->source();
    const QString file = QString::fromStdU16String(store_.notebook().pagePath(openName_));
    switch (source.kind) {
    case PageSource::Damaged:
        notify(PageNotice::Damaged,
               QObject::tr("The file %1 could not be read completely (line %2, column %3: %4). "
                           "What could be read is shown; the file is left as it is until you edit "
                           "the page, and the original is kept beside it when you do.")
                   .arg(file)
                   .arg(source.read.line)
                   .arg(source.read.column)
                   .arg(QString::fromStdString(source.read.message)));
        break;
    case PageSource::Unreadable:
        notify(PageNotice::Unreadable,
               QObject::tr("This page cannot be opened: %1. The file is left as it is.")
                   .arg(QString::fromStdString(source.readFailure)));
        break;
    default:
        notify(PageNotice::Clear, {});
        break;
    }
}

void PageOperations::watchOpenPage() {
    const QStringList watched = watcher_->files() + watcher_->directories();
    if (!watched.isEmpty())
        watcher_->removePaths(watched);
    if (store_.notebook().folder().empty() || !Notebook::isSafePageName(openName_))
        return;
    const QString file = QString::fromStdU16String(store_.notebook().pagePath(openName_));
    watcher_->addPath(QFileInfo(file).absolutePath());
    if (QFileInfo::exists(file))
        watcher_->addPath(file);
}

void PageOperations::checkDisk() {
    if (!currentPage() || store_.notebook().folder().empty() || !Notebook::isSafePageName(openName_))
        return;
    const std::string path = toUtf8(store_.notebook().pagePath(openName_));
    const FileStamp now = currentStamp(path, stamp_);
    // A replaced file drops off the watch list; put it back.
    if (now.exists && watcher_->files().isEmpty())
        watcher_->addPath(QString::fromStdString(path));
    if (now.sameContent(stamp_)) {
        stamp_ = now;  // a touch: same content, newer time
        return;
    }
    if (IsModified()) {
        if (!changeNoticed_)
            notify(PageNotice::ChangedOnDisk,
                   QObject::tr("This page was changed on disk by another program or window. Your "
                               "edits are kept: when saved, they go to a separate page beside it."));
        changeNoticed_ = true;
        return;
    }
    // Unmodified: show what is on disk, where the reader was.
    const int anchor = editor_.textCursor().anchor();
    const int position = editor_.textCursor().position();
    const int scroll = editor_.verticalScrollBar()->value();
    OpenPage(openName_, true);
    const int length = editor_.textLength();
    editor_.setSelection(std::min(anchor, length), std::min(position, length));
    editor_.verticalScrollBar()->setValue(scroll);
}

void PageOperations::setFollowingParagraphFormat() {
    // The formats of each style's paragraphs, exactly as a page load gives
    // them: the editor keeps edited text in them.
    RtfWriter writer(store_.styleSheet());
    if (!writer.convert(u"<body><p>x</p><h1>x</h1><h2>x</h2><h3>x</h3><h4>x</h4><h5>x</h5><h6>x</h6></body>").ok)
        return;
    // A style that indents to the left needs room for it (Qt draws nothing
    // left of the page's edge): as much as the furthest such style.
    double leftmost = 0;
    {
        QTextDocument measure;
        QTextCursor at(&measure);
        insertRtf(at, writer.rtf());
        for (QTextBlock block = measure.begin(); block.isValid(); block = block.next())
            leftmost = std::min(leftmost, block.blockFormat().leftMargin());
    }
    editor_.setIndentRoom(-leftmost);
    QTextDocument scratch;
    scratch.setProperty(kIndentRoomName, -leftmost);
    QTextCursor cursor(&scratch);
    insertRtf(cursor, writer.rtf());
    std::vector<RichTextControl::StyleFormat> formats;
    for (QTextBlock block = scratch.begin(); block.isValid(); block = block.next())
        formats.push_back({block.blockFormat(), block.begin().fragment().charFormat()});
    if (formats.size() < 7)
        return;
    editor_.setStyleFormats(std::move(formats));
    followingFormatSet_ = true;
}

Status PageOperations::SavePage() {
    PageDocument* page = currentPage();
    if (!page)
        return Status::success();
    const PageSource::Kind kind = page->source().kind;
    if (!IsModified() && (kind == PageSource::Damaged || kind == PageSource::Unreadable))
        return Status::success();  // nothing typed: the file stays as it is

    PageSaveOutcome outcome;
    {
        WaitCursor wait;
        // The edits are written from a document of their own: the cached one
        // is shared with other windows and must keep the file's content
        // should the save go to a conflict copy instead.
        PageDocument edited(&store_.notebook());
        buildEditedPage(*page, edited);
        outcome = store_.notebook().savePage(edited, stamp_);
    }
    if (!outcome.status) {
        report(outcome.status);
        return outcome.status;
    }
    if (onSaved_)
        onSaved_(outcome.savedAs);
    editor_.SetModified(false);
    if (keywords_)
        keywords_->ClearModified();
    idleTimer_->stop();
    longestTimer_->stop();
    changeNoticed_ = false;
    autosaveFailed_ = false;
    if (outcome.conflict) {
        // The edits now live in the copy; it becomes the open page so that
        // further edits go there too. Text, caret and undo stay.
        const std::u16string original = openName_;
        openName_ = outcome.savedAs;
        openPage_ = &store_.notebook().getPage(openName_);
        stamp_ = openPage_->source().stamp;
        watchOpenPage();
        notify(PageNotice::ConflictSaved,
               QObject::tr("\u201c%1\u201d was changed on disk by another program or window, so "
                           "your edits were saved as the page \u201c%2\u201d, now open.")
                   .arg(QString::fromStdU16String(original), QString::fromStdU16String(openName_)),
               openName_);
        return outcome.status;
    }
    stamp_ = outcome.stamp;
    if (!outcome.backupPath.empty())
        notify(PageNotice::BackupKept,
               QObject::tr("The damaged original of this page was kept as %1.")
                   .arg(QString::fromStdString(outcome.backupPath)));
    else if (kind == PageSource::Damaged)
        notify(PageNotice::Clear, {});
    if (watcher_->files().isEmpty())
        watchOpenPage();  // the page's first file
    return outcome.status;
}

void PageOperations::buildEditedPage(const PageDocument& page, PageDocument& edited) const {
    edited.setName(openName_);
    edited.setTitle(page.title());
    RtfReader reader(store_.styleSheet());
    reader.setInput(editor_.GetRtf());
    reader.run(edited);
    // The reader's events empty the keywords; without a pane the page keeps
    // the ones it had.
    edited.setKeywords(keywords_ ? keywords_->GetKeywords() : page.keywords());
}

Status PageOperations::rescueEdits(std::string& where) {
    PageDocument* page = currentPage();
    if (!page || !IsModified())
        return Status::success();
    PageDocument edited(nullptr);
    buildEditedPage(*page, edited);
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/Rescued");
    ensureFolder(toUtf8(QFileInfo(folder).absolutePath().toStdU16String()));
    ensureFolder(toUtf8(folder.toStdU16String()));
    const QString name = QString::fromStdU16String(openName_).replace(QLatin1Char('/'), QLatin1Char('_')) +
                         QDateTime::currentDateTime().toString(QStringLiteral(" yyyy-MM-dd HH.mm.ss")) +
                         QStringLiteral(".xhtml");
    where = toUtf8((folder + QLatin1Char('/') + name).toStdU16String());
    return writeFileAtomically(where, toUtf8(edited.fileText()));
}

Status PageOperations::saveIfModified(bool evenNewPage) {
    PageDocument* page = currentPage();
    if (!page)
        return Status::success();
    if (IsModified() || (evenNewPage && page->source().kind == PageSource::Template))
        return SavePage();
    return Status::success();
}

void PageOperations::setAutosave(bool on) {
    if (on == autosaveOn_)
        return;
    autosaveOn_ = on;
    if (on) {
        QObject::connect(editor_.document(), &QTextDocument::contentsChanged, idleTimer_,
                         [this] { noteEdit(); });
    } else {
        QObject::disconnect(editor_.document(), nullptr, idleTimer_, nullptr);
        idleTimer_->stop();
        longestTimer_->stop();
    }
}

void PageOperations::noteEdit() {
    // Link marks change formats without an edit; only real edits count.
    if (!IsModified())
        return;
    idleTimer_->start();
    if (!longestTimer_->isActive())
        longestTimer_->start();
}

void PageOperations::autosave() {
    idleTimer_->stop();
    longestTimer_->stop();
    if (!currentPage() || !IsModified())
        return;
    // A failure is told once, in the window; the next edit tries again.
    Reporter quiet = [this](const Status& status) {
        if (!autosaveFailed_)
            notify(PageNotice::AutosaveFailed,
                   QObject::tr("Your edits could not be saved automatically; they are still here. %1")
                       .arg(QString::fromStdString(status.message())));
        autosaveFailed_ = true;
    };
    std::swap(reporter_, quiet);
    SavePage();
    std::swap(reporter_, quiet);
}

bool PageOperations::ReloadPage() {
    if (!currentPage())
        return false;
    const std::u16string name = openName_;
    return OpenPage(name, true);
}

void PageOperations::ApplyParagraphStyle(int index) {
    const ParagraphStyle& style = store_.styleSheet().style(index);
    const int remembered = editor_.selectionStart();
    const auto [start, end] = editor_.ParagraphRangeAt(remembered);
    std::u16string text = editor_.textRange(start, end);
    if (!text.empty() && text.back() == u'\r')
        text.pop_back();  // the separator stays where it is
    const std::u16string& tag = style.tag().empty() ? std::u16string(u"p") : style.tag();
    const std::u16string fragment = u"<body><" + tag + u">" + escapeCharData(xmlSafe(text)) +
                                    u"</" + tag + u"></body>";
    RtfWriter writer(store_.styleSheet());
    writer.setFontBase(100);
    if (!writer.convert(fragment).ok)
        return;  // never replace a paragraph with a part of it
    editor_.ReplaceParagraphWithRtf(start, writer.rtf());
    const int caret = std::min(remembered, editor_.textLength());
    editor_.setSelection(caret, caret);
}

void PageOperations::ToggleCharEffect(unsigned effect, unsigned mask) {
    const unsigned current = editor_.SelectionEffects();
    unsigned next = (current & effect) ? (current & ~effect) : (current | effect);
    // Superscript and subscript are one vertical position: turning one on
    // turns the other off.
    if ((next & effect) && (effect & PageEditor::kSuperSubMask))
        next = (next & ~PageEditor::kSuperSubMask) | effect;
    editor_.SetSelectionEffects(next, mask);
}

void PageOperations::SelectParagraph() {
    const auto [start, end] = editor_.ParagraphRangeAt(editor_.selectionStart());
    editor_.setSelection(start, end);
}

bool PageOperations::IsModified() const {
    return editor_.IsModified() || (keywords_ && keywords_->IsModified());
}

std::u16string PageOperations::PageTitle() const {
    // The cache may have dropped the document since it was opened.
    if (const PageDocument* page = store_.notebook().findCached(openName_); page && openPage_)
        return page->title();
    return {};
}

QString PageOperations::TitleText() const {
    const std::u16string title = unescapeCharData(PageTitle());
    QString text = QStringLiteral("Tavix - ");
    text += title.empty() ? QStringLiteral("untitled") : QString::fromStdU16String(title);
    if (IsModified())
        text += QLatin1Char('*');
    return text;
}

void PageOperations::UpdateTitle() {
    if (!window_)
        return;
    const QString text = TitleText();
    if (window_->windowTitle() != text)
        window_->setWindowTitle(text);
}

}  // namespace tavix
