#include "ui/PageListWindow.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace tavix {
namespace {

constexpr int kColumnWidth = 180;
constexpr int kNameColumn = 0;
constexpr int kNotebookColumn = 1;

// One row. The record is the only copy of the text: the view asks for a
// cell's text when it draws it, so nothing can drift apart.
class FoundPageItem : public QTreeWidgetItem {
public:
    explicit FoundPageItem(FoundPage page) : QTreeWidgetItem(UserType), page_(std::move(page)) {
        // Selectable but never editable: a row always names what was found.
        setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
    }

    const FoundPage& page() const { return page_; }

    QVariant data(int column, int role) const override {
        if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
            if (column == kNameColumn)
                return QString::fromStdU16String(page_.pageName);
            if (column == kNotebookColumn)
                return QString::fromStdU16String(page_.notebookName);
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
        if (column == kNotebookColumn)
            return page_.notebookName < that.notebookName;
        return page_.pageName < that.pageName;
    }

private:
    FoundPage page_;
};

}  // namespace

QString PageListWindow::defaultCaption() { return tr("Found Pages"); }

PageListWindow::PageListWindow(QWidget* parent)
    : QDockWidget(defaultCaption(), parent), list_(new QTreeWidget(this)) {
    setObjectName(QStringLiteral("PageListWindow"));
    list_->setObjectName(QStringLiteral("FoundPagesList"));
    list_->setColumnCount(2);
    list_->setHeaderLabels({tr("Name"), tr("Notebook")});
    list_->setColumnWidth(kNameColumn, kColumnWidth);
    list_->setColumnWidth(kNotebookColumn, kColumnWidth);
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
    header->setSectionsClickable(true);
    header->setStretchLastSection(false);
    connect(header, &QHeaderView::sectionClicked, this, &PageListWindow::SortByColumn);
    connect(list_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item, int) { activate(item); });
    list_->installEventFilter(this);
    setWidget(list_);
    resize(400, 100);
    hide();
}

PageListWindow::~PageListWindow() = default;

void PageListWindow::Clear() {
    list_->clear();
    list_->header()->setSortIndicatorShown(false);
}

void PageListWindow::SetCaption(const std::u16string& caption) {
    setWindowTitle(QString::fromStdU16String(caption));
}

std::u16string PageListWindow::Caption() const { return windowTitle().toStdU16String(); }

void PageListWindow::AddEntry(const std::u16string& pageName, const std::u16string& notebookName) {
    list_->addTopLevelItem(new FoundPageItem(FoundPage{pageName, notebookName}));
    // The list is no longer in the order the indicator claims.
    list_->header()->setSortIndicatorShown(false);
}

void PageListWindow::Show() {
    show();
    raise();
}

void PageListWindow::Hide() { hide(); }

void PageListWindow::ShowResults(const std::u16string& searchText, const std::vector<FoundPage>& pages) {
    Clear();
    SetCaption(defaultCaption().toStdU16String() + u" - " + searchText);
    // One insertion for the lot: a search can find thousands of pages.
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(pages.size()));
    for (const FoundPage& page : pages)
        items.append(new FoundPageItem(page));
    list_->addTopLevelItems(items);
    Show();
}

void PageListWindow::SortByColumn(int column) {
    if (column != kNameColumn && column != kNotebookColumn)
        return;
    list_->sortItems(column, Qt::AscendingOrder);
    list_->header()->setSortIndicator(column, Qt::AscendingOrder);
    list_->header()->setSortIndicatorShown(true);
}

int PageListWindow::EntryCount() const { return list_->topLevelItemCount(); }

const FoundPage& PageListWindow::EntryAt(int row) const {
    return static_cast<const FoundPageItem*>(list_->topLevelItem(row))->page();
}

void PageListWindow::closeEvent(QCloseEvent* event) {
    QDockWidget::closeEvent(event);  // ends a drag in progress
    Clear();
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
