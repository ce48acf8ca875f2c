#include "ui/PageListWindow.h"

#include <algorithm>
#include <climits>

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include "search/MatchPlace.h"

namespace tavix {
namespace {

constexpr int kColumnWidth = 180;
constexpr int kNameColumn = 0;
constexpr int kNotebookColumn = 1;
constexpr int kFoundInColumn = 2;
constexpr int kTitleColumn = 3;
constexpr int kProgressDelayMs = 500;

QString placesText(unsigned places) {
    QStringList parts;
    if (places & kMatchInTitle)
        parts << PageListWindow::tr("Title");
    if (places & kMatchInText)
        parts << PageListWindow::tr("Text");
    if (places & kMatchInKeywords)
        parts << PageListWindow::tr("Keywords");
    return parts.join(QStringLiteral(", "));
}

// One row. The record is the only copy of the text: the view asks for a
// cell's text when it draws it, so nothing can drift apart.
class FoundPageItem : public QTreeWidgetItem {
public:
    explicit FoundPageItem(PageListEntry entry)
        : QTreeWidgetItem(UserType), page_(std::move(entry.page)), title_(std::move(entry.title)),
          foundIn_(entry.foundIn) {
        // Selectable but never editable: a row always names what was found.
        setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
    }

    const FoundPage& page() const { return page_; }
    PageListEntry entry() const { return {page_, title_, foundIn_}; }

    QVariant data(int column, int role) const override {
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
            if (column == kNameColumn)
                return QString::fromStdU16String(page_.pageName);
            if (column == kNotebookColumn)
                return QString::fromStdU16String(page_.notebookName);
            if (column == kTitleColumn)
                return QString::fromStdU16String(title_);
            if (column == kFoundInColumn)
                return placesText(foundIn_);
            return {};
        }
        return QTreeWidgetItem::data(column, role);
    }

    // The items carry no text of their own to set.
    void setData(int column, int role, const QVariant& value) override {
        if (role == Qt::DisplayRole || role == Qt::EditRole)
            return;
        QTreeWidgetItem::setData(column, role, value);
    }

    // Plain code-unit order, a prefix first: std::u16string's own less-than.
    bool operator<(const QTreeWidgetItem& other) const override {
        const auto& that = static_cast<const FoundPageItem&>(other).page_;
        const int column = treeWidget() ? treeWidget()->sortColumn() : kNameColumn;
        const auto& item = static_cast<const FoundPageItem&>(other);
        if (column == kNotebookColumn)
            return page_.notebookName < that.notebookName;
        if (column == kTitleColumn)
            return title_ < item.title_;
        if (column == kFoundInColumn)
            return placesText(foundIn_) < placesText(item.foundIn_);
        return page_.pageName < that.pageName;
    }

private:
    FoundPage page_;
    std::u16string title_;
    unsigned foundIn_;
};

}  // namespace

QString PageListWindow::defaultCaption() { return tr("Found Pages"); }

PageListWindow::PageListWindow(QWidget* parent)
    : QDockWidget(defaultCaption(), parent), list_(new QTreeWidget(this)) {
    setObjectName(QStringLiteral("PageListWindow"));
    list_->setObjectName(QStringLiteral("FoundPagesList"));
    list_->setColumnCount(4);
    list_->setHeaderLabels({tr("Name"), tr("Notebook"), tr("Found in"), tr("Title")});
    list_->setColumnWidth(kNameColumn, kColumnWidth);
    list_->setColumnWidth(kNotebookColumn, kColumnWidth);
    list_->setColumnWidth(kFoundInColumn, 120);
    list_->setColumnWidth(kTitleColumn, kColumnWidth);
    list_->setRootIsDecorated(false);
    list_->setItemsExpandable(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The view's own sorting would flip the order on a second click and
    // re-sort rows as they are added; a click here always sorts ascending
    // once, and later rows go to the end.
    list_->setSortingEnabled(false);
    QHeaderView* header = list_->header();
    header->setSectionsMovable(true);
    // Qt keeps the first section in place unless told otherwise; every
    // column can be dragged.
    header->setFirstSectionMovable(true);
    // The title reads best beside the name it spells out.
    header->moveSection(header->visualIndex(kTitleColumn), 1);
    header->setSectionsClickable(true);
    header->setStretchLastSection(false);
    connect(header, &QHeaderView::sectionClicked, this, &PageListWindow::sortByColumn);
    connect(list_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item, int) { activate(item); });
    list_->installEventFilter(this);

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("searchStatus"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("searchProgress"));
    progress_->setTextVisible(false);
    progress_->setMaximumHeight(14);
    stop_ = new QPushButton(tr("Stop"), this);
    stop_->setObjectName(QStringLiteral("stopSearch"));
    connect(stop_, &QPushButton::clicked, this, &PageListWindow::stopRequested);
    // Short searches should not flash a progress bar.
    progressDelay_ = new QTimer(this);
    progressDelay_->setSingleShot(true);
    progressDelay_->setInterval(kProgressDelayMs);
    connect(progressDelay_, &QTimer::timeout, this, [this] {
        progressShown_ = true;
        updateProgressLine();
    });
    auto* statusRow = new QHBoxLayout;
    statusRow->setContentsMargins(4, 0, 4, 2);
    statusRow->addWidget(status_, 1);
    statusRow->addWidget(progress_);
    statusRow->addWidget(stop_);
    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(list_, 1);
    layout->addLayout(statusRow);
    status_->hide();
    progress_->hide();
    stop_->hide();
    setWidget(content);
    resize(400, 100);
    hide();
}

PageListWindow::~PageListWindow() = default;

void PageListWindow::clear() {
    list_->clear();
    list_->header()->setSortIndicatorShown(false);
}

void PageListWindow::setCaption(const std::u16string& caption) {
    setWindowTitle(QString::fromStdU16String(caption));
}

std::u16string PageListWindow::caption() const { return windowTitle().toStdU16String(); }

void PageListWindow::addEntry(const std::u16string& pageName, const std::u16string& notebookName) {
    list_->addTopLevelItem(new FoundPageItem(PageListEntry{FoundPage{pageName, notebookName}, {}, 0}));
    // The list is no longer in the order the indicator claims.
    list_->header()->setSortIndicatorShown(false);
}

void PageListWindow::addEntries(const std::vector<PageListEntry>& entries) {
    // One insertion for the lot: a search can find thousands of pages.
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(entries.size()));
    for (const PageListEntry& entry : entries)
        items.append(new FoundPageItem(entry));
    list_->addTopLevelItems(items);
    if (!items.isEmpty())
        list_->header()->setSortIndicatorShown(false);
}

void PageListWindow::beginSearch(const std::u16string& searchText) {
    clear();
    setCaption(defaultCaption().toStdU16String() + u" - " + searchText);
    searching_ = true;
    progressShown_ = false;
    tested_ = total_ = 0;
    progressDelay_->start();
    updateProgressLine();
    showPane();
}

void PageListWindow::setSearchProgress(std::size_t tested, std::size_t total) {
    tested_ = tested;
    total_ = total;
    if (searching_ && progressShown_)
        updateProgressLine();
}

void PageListWindow::endSearch(const QString& note) {
    searching_ = false;
    progressDelay_->stop();
    status_->setText(note);
    updateProgressLine();
}

QString PageListWindow::statusText() const { return status_->isHidden() ? QString() : status_->text(); }

void PageListWindow::updateProgressLine() {
    stop_->setVisible(searching_);
    progress_->setVisible(searching_ && progressShown_);
    if (searching_) {
        status_->setText(progressShown_ ? tr("Searching\u2026 %1 of %2 pages").arg(tested_).arg(total_)
                                        : tr("Searching\u2026"));
        // A busy bar until the pages are counted.
        progress_->setRange(0, total_ > 0 ? static_cast<int>(std::min<std::size_t>(total_, INT_MAX)) : 0);
        progress_->setValue(static_cast<int>(std::min<std::size_t>(tested_, INT_MAX)));
    }
    status_->setVisible(!status_->text().isEmpty());
}

void PageListWindow::showPane() {
    show();
    raise();
}

void PageListWindow::hidePane() { hide(); }

void PageListWindow::showResults(const std::u16string& searchText, const std::vector<FoundPage>& pages) {
    clear();
    setCaption(defaultCaption().toStdU16String() + u" - " + searchText);
    // One insertion for the lot: a search can find thousands of pages.
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(pages.size()));
    for (const FoundPage& page : pages)
        items.append(new FoundPageItem(PageListEntry{page, {}, 0}));
    list_->addTopLevelItems(items);
    showPane();
}

void PageListWindow::sortByColumn(int column) {
    if (column < kNameColumn || column > kTitleColumn)
        return;
    list_->sortItems(column, Qt::AscendingOrder);
    list_->header()->setSortIndicator(column, Qt::AscendingOrder);
    list_->header()->setSortIndicatorShown(true);
}

int PageListWindow::entryCount() const { return list_->topLevelItemCount(); }

PageListWindow::Shown PageListWindow::shown() const {
    Shown out{caption(), {}, statusText(), isVisible()};
    out.entries.reserve(static_cast<std::size_t>(entryCount()));
    for (int row = 0; row < entryCount(); ++row)
        out.entries.push_back(static_cast<const FoundPageItem*>(list_->topLevelItem(row))->entry());
    return out;
}

void PageListWindow::restore(const Shown& shown) {
    clear();
    setCaption(shown.caption);
    addEntries(shown.entries);
    searching_ = false;
    progressDelay_->stop();
    status_->setText(shown.status);
    updateProgressLine();
    if (shown.visible)
        showPane();
    else
        hidePane();
}

const FoundPage& PageListWindow::entryAt(int row) const {
    return static_cast<const FoundPageItem*>(list_->topLevelItem(row))->page();
}

void PageListWindow::closeEvent(QCloseEvent* event) {
    QDockWidget::closeEvent(event);  // ends a drag in progress
    // An emptied list that refilled itself would undo the close box.
    if (searching_)
        emit stopRequested();
    clear();
    event->ignore();
}

bool PageListWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            activate(list_->currentItem());
            return true;
        }
    }
    return QDockWidget::eventFilter(watched, event);
}

void PageListWindow::activate(QTreeWidgetItem* item) {
    if (!item)
        return;
    // A copy, so the receiver may clear the pane (and free the item) at once.
    const FoundPage page = static_cast<FoundPageItem*>(item)->page();
    emit pageActivated(page);
}

}  // namespace tavix
