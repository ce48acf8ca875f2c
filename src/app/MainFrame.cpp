// Building the main window: actions from the command table, menus, tool
// bars, status bar, the editor and the panes. Commands, navigation and the
// command-state pass are in MainFrameCommands.cpp.
#include "app/MainFrame.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <QAction>
#include <QDockWidget>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTextDocument>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "app/Icons.h"
#include "editor/PageEditor.h"
#include "editor/PageOperations.h"
#include "formats/PageDocument.h"
#include "store/NotebookStore.h"
#include "ui/KeywordsWindow.h"
#include "ui/NoticeBar.h"
#include "ui/NotebookPanes.h"
#include "app/IndexService.h"
#include "ui/PageListWindow.h"
#include "ui/PagePrinter.h"

namespace tavix {
namespace {

constexpr const char* kSizedProperty = "tavixSized";

// Only a page that is still there is opened again at start: a name alone
// would make a new, empty page of that name.
bool pageFileExists(NotebookStore& store, const std::u16string& name) {
    if (!Notebook::isSafePageName(name) || store.notebook().folder().empty())
        return false;
    std::error_code ec;
    return std::filesystem::is_regular_file(
        std::filesystem::path(store.notebook().pagePath(name)), ec);
}

bool defaultCloseQuestion(QWidget* parent, const QString& message) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Tavix"), message, QMessageBox::NoButton,
                    parent);
    QPushButton* closeAnyway = box.addButton(QObject::tr("Close Anyway"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    cancel->setText(QObject::tr("Cancel"));
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.exec();
    return box.clickedButton() == closeAnyway;
}

// The paragraph-style box applies a style only when the user picks one from
// its list. Turning the wheel over it on the way to the text would restyle
// the paragraph at the caret at every notch, so the wheel is left to the
// windows around it.
class StyleComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;

protected:
    void wheelEvent(QWheelEvent* event) override { event->ignore(); }
};

}  // namespace

MainFrame::MainFrame(NotebookStore& store, QWidget* parent)
    : QMainWindow(parent), store_(store) {
    setObjectName(QStringLiteral("MainFrame"));
    setWindowIcon(applicationIcon());
    setWindowTitle(QStringLiteral("Tavix"));
    QSize size(900, 650);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize());
    resize(size);

    errorReporter_ = [this](const QString& message) {
        QMessageBox::warning(this, QStringLiteral("Tavix"), message);
    };
    closeQuestion_ = [this](const QString& message) { return defaultCloseQuestion(this, message); };

    idleTimer_ = new QTimer(this);
    idleTimer_->setSingleShot(true);
    idleTimer_->setInterval(0);
    connect(idleTimer_, &QTimer::timeout, this, &MainFrame::UpdateCommandState);

    createActions();
    createMenus();
    createToolBars();
    createStatusBar();
    createEditorAndPanes();

    ops_ = std::make_unique<PageOperations>(store_, *editor_, keywords_, this);
    ops_->setReporter([this](const Status& status) { reportFailure(status); });
    ops_->setOnSaved([this](const std::u16string& name) {
        editor_->notePageExists(name);
        if (index_)
            index_->pageChanged(name);
    });
    ops_->setNotifier([this](const PageNotice& notice) { showNotice(notice); });
    ops_->setAutosave(true);
    connect(keywords_->editor().document(), &QTextDocument::contentsChanged, this,
            [this] { ops_->noteEdit(); });
    printer_ = new PagePrinter(*editor_, this);
    printer_->setTitleSource([this] { return ops_->PageTitle(); });

    const std::u16string lastPage = restoreLayout();
    showWelcomeIfNew();
    if (!lastPage.empty() && lastPage != Notebook::frontPageName() &&
        pageFileExists(store_, lastPage))
        OpenFoundPage(FoundPage{lastPage, u""});
    if (!ops_->openPage())
        GoFrontPage();
    connectStateSignals();
    editor_->setFocus();
    UpdateCommandState();
}

MainFrame::~MainFrame() {
    // The children are destroyed after this body, when the members are
    // already gone, and some still signal on the way out (a floating pane
    // hands the focus back as it goes). Nothing of theirs may reach this
    // window then.
    disconnect(qApp, nullptr, this, nullptr);
    disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
    for (QTextEdit* e : {static_cast<QTextEdit*>(editor_), static_cast<QTextEdit*>(&keywords_->editor())}) {
        disconnect(e, nullptr, this, nullptr);
        disconnect(e->document(), nullptr, this, nullptr);
    }
    disconnect(keywords_, nullptr, this, nullptr);
    idleTimer_->stop();
    disconnect(idleTimer_, nullptr, this, nullptr);
}

void MainFrame::setErrorReporter(ErrorReporter reporter) { errorReporter_ = std::move(reporter); }

void MainFrame::setCloseQuestion(CloseQuestion question) { closeQuestion_ = std::move(question); }

QAction* MainFrame::action(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void MainFrame::createActions() {
    for (const CommandInfo& c : CommandTable::all()) {
        if (c.id == cmd::StyleCombo)
            continue;
        auto* a = new QAction(commandIcon(c.id, c.iconName), c.text, this);
        a->setData(c.id);
        a->setShortcuts(c.shortcuts);
        a->setStatusTip(c.prompt());
        // A tool tip that names the key teaches it to whoever hovers.
        QString tip = c.toolTip();
        if (tip.isEmpty())
            tip = QString(c.text).remove(u'&').remove(QStringLiteral("..."));
        if (!c.shortcuts.isEmpty())
            tip += QStringLiteral(" (%1)").arg(c.shortcuts.first().toString(QKeySequence::NativeText));
        a->setToolTip(tip);
        a->setCheckable(c.checkable);
        // Menu icons would crowd the menus; the bars show them.
        a->setIconVisibleInMenu(false);
        const int id = c.id;
        connect(a, &QAction::triggered, this, [this, id] { runCommand(id); });
        addAction(a);  // keys work even while the menu bar is hidden
        actions_[id] = a;
    }
    // The check marks come from the command state, not from Qt's toggling.
    applyStates();

    // Keys of the window itself, on no menu: F10 opens the menu bar as on
    // the rest of the desktop, F6 moves between the page and the panes.
    auto key = [this](const char* name, const QKeySequence& keys, auto slot) {
        auto* a = new QAction(this);
        a->setObjectName(QString::fromLatin1(name));
        a->setShortcut(keys);
        connect(a, &QAction::triggered, this, slot);
        addAction(a);
    };
    key("OpenMenuBarAction", QKeySequence(Qt::Key_F10), [this] {
        const QList<QAction*> menus = menuBar()->actions();
        if (!menus.isEmpty())
            menuBar()->setActiveAction(menus.first());
    });
    key("NextPaneAction", QKeySequence(Qt::Key_F6), [this] { cycleFocus(true); });
    key("PreviousPaneAction", QKeySequence(Qt::SHIFT | Qt::Key_F6), [this] { cycleFocus(false); });
}

void MainFrame::cycleFocus(bool forward) {
    std::vector<QWidget*> places = {editor_};
    for (QDockWidget* pane : std::initializer_list<QDockWidget*>{keywords_, allPages_, backlinks_,
                                                                 pageList_})
        if (pane->isVisible())  // a pane behind another's tab is not
            places.push_back(pane);
    const int count = int(places.size());
    QWidget* focus = QApplication::focusWidget();
    int at = 0;
    for (int i = 1; i < count; ++i)
        if (focus && places[std::size_t(i)]->isAncestorOf(focus))
            at = i;
    const int next = (at + (forward ? 1 : count - 1)) % count;
    if (next == 0) {
        activateWindow();
        editor_->setFocus(Qt::ShortcutFocusReason);
        return;
    }
    auto* pane = static_cast<QDockWidget*>(places[std::size_t(next)]);
    if (pane->isFloating())
        pane->activateWindow();
    if (pane == keywords_) {
        keywords_->editor().setFocus(Qt::ShortcutFocusReason);
        return;
    }
    // The child that had the focus last, else the first that takes it.
    QWidget* content = pane->widget() ? pane->widget() : pane;
    QWidget* target = content->focusWidget();
    if (!target || !target->isVisible() || !target->isEnabled()) {
        target = nullptr;
        for (QWidget* child : content->findChildren<QWidget*>())
            if (child->isVisible() && child->isEnabled() && (child->focusPolicy() & Qt::TabFocus)) {
                target = child;
                break;
            }
    }
    (target ? target : content)->setFocus(Qt::ShortcutFocusReason);
}

void MainFrame::fillMenu(QMenu* menu, std::span<const LayoutItem> items, std::size_t& pos) {
    connect(menu, &QMenu::aboutToShow, this, &MainFrame::UpdateCommandState);
    for (; pos < items.size(); ++pos) {
        const LayoutItem& item = items[pos];
        switch (item.kind) {
        case LayoutItem::Command:
            if (QAction* a = action(item.id))
                menu->addAction(a);
            break;
        case LayoutItem::Separator:
            menu->addSeparator();
            break;
        case LayoutItem::BeginMenu: {
            QMenu* sub = menu->addMenu(item.title);
            ++pos;
            fillMenu(sub, items, pos);
            break;
        }
        case LayoutItem::EndMenu:
            return;
        }
    }
}

void MainFrame::createMenus() {
    const std::span<const LayoutItem> items = CommandTable::menuBar();
    for (std::size_t pos = 0; pos < items.size(); ++pos) {
        if (items[pos].kind != LayoutItem::BeginMenu)
            continue;
        QMenu* menu = menuBar()->addMenu(items[pos].title);
        ++pos;
        fillMenu(menu, items, pos);
    }

    contextMenu_ = new QMenu(this);
    std::size_t pos = 0;
    fillMenu(contextMenu_, CommandTable::editorContextMenu(), pos);
}

void MainFrame::createToolBars() {
    styleCombo_ = new StyleComboBox(this);
    styleCombo_->setObjectName(QStringLiteral("StyleCombo"));
    styleCombo_->setEditable(true);
    styleCombo_->setInsertPolicy(QComboBox::NoInsert);
    styleCombo_->addItems(CommandTable::styleNames());
    styleCombo_->lineEdit()->setMaxLength(10);
    // A list of styles, not a place for text: page text dropped on it would
    // only become a style name that does not exist.
    styleCombo_->lineEdit()->setAcceptDrops(false);
    styleCombo_->setMaxVisibleItems(12);
    styleCombo_->setMinimumWidth(QFontMetrics(styleCombo_->font()).averageCharWidth() * 16);
    if (const CommandInfo* c = CommandTable::find(cmd::StyleCombo)) {
        styleCombo_->setStatusTip(c->prompt());
        styleCombo_->setToolTip(c->toolTip());
    }
    connect(styleCombo_, &QComboBox::activated, this, &MainFrame::onStyleChosen);

    auto build = [this](QToolBar* bar, std::span<const LayoutItem> items) {
        bar->setIconSize(QSize(16, 16));
        for (const LayoutItem& item : items) {
            if (item.kind == LayoutItem::Separator)
                bar->addSeparator();
            else if (item.kind == LayoutItem::Command && item.id == cmd::StyleCombo)
                bar->addWidget(styleCombo_);
            else if (item.kind == LayoutItem::Command)
                bar->addAction(action(item.id));
        }
    };
    standardBar_ = addToolBar(tr("Standard"));
    standardBar_->setObjectName(QStringLiteral("StandardToolBar"));
    build(standardBar_, CommandTable::standardToolBar());
    // Each bar keeps a row of its own.
    addToolBarBreak(Qt::TopToolBarArea);
    formattingBar_ = addToolBar(tr("Formatting"));
    formattingBar_->setObjectName(QStringLiteral("FormattingToolBar"));
    build(formattingBar_, CommandTable::formattingToolBar());
}

void MainFrame::createStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(true);
    // A normal widget: menu prompts cover it while they show, and it comes
    // back when they go.
    bar->addWidget(new QLabel(tr("Ready"), bar), 1);
    auto pane = [bar](const QString& widest, const QString& initial) {
        auto* label = new QLabel(initial, bar);
        label->setMinimumWidth(label->fontMetrics().horizontalAdvance(widest) + 8);
        bar->addPermanentWidget(label);
        return label;
    };
    linePane_ = pane(QStringLiteral("Row 9999"), QStringLiteral("Line 0"));
    columnPane_ = pane(QStringLiteral("Col 999"), QStringLiteral("Col 0"));
    charPane_ = pane(QStringLiteral("Char 99999"), QStringLiteral("Char 0"));
}

void MainFrame::createEditorAndPanes() {
    // The notice bar sits above the page, where the eye already is.
    auto* centre = new QWidget(this);
    auto* column = new QVBoxLayout(centre);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    notice_ = new NoticeBar(centre);
    editor_ = new PageEditor(centre);
    editor_->setObjectName(QStringLiteral("PageEditor"));
    column->addWidget(notice_);
    connect(notice_, &NoticeBar::closed, this, [this](const QString& text) {
        if (text == welcomeText())
            welcome_ = Welcome::Closed;
    });
    column->addWidget(editor_, 1);
    setCentralWidget(centre);
    connect(editor_, &RichTextControl::zoomChanged, this, [this](int percent) {
        statusBar()->showMessage(tr("Zoom %1%").arg(percent), 3000);
    });
    const StyleSheet& sheet = store_.styleSheet();
    editor_->setMargins(sheet.leftMargin(), sheet.rightMargin());
    editor_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(editor_, &QWidget::customContextMenuRequested, this, &MainFrame::onEditorContextMenu);

    keywords_ = new KeywordsWindow(this);
    if (keywords_->objectName().isEmpty())
        keywords_->setObjectName(QStringLiteral("KeywordsWindow"));
    // Docked beside the page it belongs to; a floating pane would first
    // appear wherever the window system puts new windows.
    addDockWidget(Qt::RightDockWidgetArea, keywords_);
    keywords_->hide();

    createNotebookPanes();

    pageList_ = new PageListWindow(this);
    addDockWidget(Qt::BottomDockWidgetArea, pageList_);
    pageList_->hide();
    // Shown for the first time (and not placed by a remembered layout), the
    // list takes a quarter of the window: at its own size hint it would take
    // more height than the page on a small screen.
    connect(pageList_, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        scheduleCommandState();
        if (!visible || pageList_->isFloating() || pageList_->property(kSizedProperty).toBool())
            return;
        pageList_->setProperty(kSizedProperty, true);
        resizeDocks({pageList_}, {std::max(100, height() / 4)}, Qt::Vertical);
    });

    // A click opens its page once the click itself has been handled, so the
    // editor that reported it is never reloaded under its own feet.
    auto openLater = [this](const FoundPage& page) {
        QTimer::singleShot(0, this, [this, page] { OpenFoundPage(page); });
    };
    connect(editor_, &PageEditor::openPageRequested, this, openLater);
    connect(&keywords_->editor(), &PageEditor::openPageRequested, this, openLater);
    connect(pageList_, &PageListWindow::pageActivated, this, openLater);
    connect(allPages_, &AllPagesPane::pageActivated, this, openLater);
    connect(backlinks_, &BacklinksPane::pageActivated, this, openLater);
}

void MainFrame::connectStateSignals() {
    auto watch = [this](QTextEdit* e) {
        connect(e, &QTextEdit::textChanged, this, &MainFrame::scheduleCommandState);
        connect(e, &QTextEdit::cursorPositionChanged, this, &MainFrame::scheduleCommandState);
        connect(e, &QTextEdit::selectionChanged, this, &MainFrame::scheduleCommandState);
        connect(e, &QTextEdit::undoAvailable, this, &MainFrame::scheduleCommandState);
        connect(e, &QTextEdit::redoAvailable, this, &MainFrame::scheduleCommandState);
        connect(e->document(), &QTextDocument::modificationChanged, this,
                &MainFrame::scheduleCommandState);
    };
    watch(editor_);
    watch(&keywords_->editor());
    connect(qApp, &QApplication::focusChanged, this, &MainFrame::scheduleCommandState);
    connect(keywords_, &QDockWidget::visibilityChanged, this, &MainFrame::scheduleCommandState);
    // Asking the clipboard is not free on every desktop, so its answer is
    // kept until it changes.
    canPaste_ = editor_->canPastePlainText();
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
        canPaste_ = editor_->canPastePlainText();
        scheduleCommandState();
    });
}

void MainFrame::scheduleCommandState() {
    if (!idleTimer_->isActive())
        idleTimer_->start();
}

QMenu* MainFrame::createPopupMenu() {
    auto* menu = new QMenu(this);
    for (int id : {cmd::ToolbarStandard, cmd::ToolbarFormatting, cmd::StatusBar, cmd::PageKeywords,
                   cmd::AllPages, cmd::Backlinks})
        menu->addAction(action(id));
    return menu;
}

void MainFrame::onEditorContextMenu(const QPoint& pos) {
    UpdateCommandState();
    // "Open Link" leads the menu when the click (which moved the caret) was
    // on a link word.
    auto* openLink = contextMenu_->findChild<QAction*>(QStringLiteral("OpenLinkAction"));
    if (!openLink) {
        openLink = new QAction(tr("Open Link"), contextMenu_);
        openLink->setObjectName(QStringLiteral("OpenLinkAction"));
        connect(openLink, &QAction::triggered, editor_, [this] { editor_->followLinkAtCaret(); });
        const QList<QAction*> existing = contextMenu_->actions();
        contextMenu_->insertAction(existing.isEmpty() ? nullptr : existing.first(), openLink);
    }
    openLink->setVisible(!editor_->LinkWordAtCaret().empty());
    contextMenu_->popup(editor_->viewport()->mapToGlobal(pos));
}

QString MainFrame::lineText() const { return linePane_->text(); }
QString MainFrame::columnText() const { return columnPane_->text(); }
QString MainFrame::charText() const { return charPane_->text(); }

void MainFrame::reportFailure(const Status& status) {
    if (quietSave_ || status.ok())
        return;
    QString page;
    if (ops_ && ops_->openPage())
        page = QString::fromStdU16String(ops_->openPage()->name());
    errorReporter_(tr("The page \u201c%1\u201d could not be saved.\n\n%2")
                       .arg(page, QString::fromStdString(status.message())));
}

}  // namespace tavix
