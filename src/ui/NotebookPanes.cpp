#include "ui/NotebookPanes.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QVBoxLayout>


namespace tavix {

namespace {

QString shownTitle(const IndexedPage& page) {
    return QString::fromStdU16String(page.title.empty() ? page.name : page.title);
}

FoundPage found(const std::u16string& name) { return FoundPage{name, u"Default"}; }

}  // namespace

// ---------------------------------------------------------------- model

void PageTitleModel::setPages(std::vector<IndexedPage> pages) {
    beginResetModel();
    pages_ = std::move(pages);
    folded_.clear();
    folded_.reserve(pages_.size());
    for (const IndexedPage& page : pages_)
        folded_.push_back((QString::fromStdU16String(page.name) + QChar(u'\n') +
                           QString::fromStdU16String(page.title)).toCaseFolded());
    applyFilter();
    endResetModel();
}

void PageTitleModel::setFilter(const QString& text) {
    const QString folded = text.toCaseFolded();
    if (folded == filter_)
        return;
    beginResetModel();
    filter_ = folded;
    applyFilter();
    endResetModel();
}

void PageTitleModel::applyFilter() {
    shown_.clear();
    for (int i = 0; i < static_cast<int>(pages_.size()); ++i)
        if (filter_.isEmpty() || folded_[i].contains(filter_))
            shown_.push_back(i);
}

int PageTitleModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

QVariant PageTitleModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const IndexedPage& page = pageAt(index.row());
    if (role == Qt::DisplayRole)
        return shownTitle(page);
    if (role == Qt::ToolTipRole)
        return QString::fromStdU16String(page.name);
    return {};
}

int PageTitleModel::rowOf(const std::u16string& name) const {
    for (int row = 0; row < rowCount(); ++row)
        if (pageAt(row).name == name)
            return row;
    return -1;
}

// ---------------------------------------------------------------- All Pages

AllPagesPane::AllPagesPane(QWidget* parent)
    : QDockWidget(tr("All Pages"), parent), filter_(new QLineEdit), list_(new QListView),
      model_(new PageTitleModel(this)) {
    setObjectName(QStringLiteral("AllPagesPane"));
    filter_->setPlaceholderText(tr("Filter pages"));
    filter_->setClearButtonEnabled(true);
    filter_->setAccessibleName(tr("Filter pages"));
    list_->setModel(model_);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setUniformItemSizes(true);  // many thousands of rows stay quick
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(filter_);
    layout->addWidget(list_);
    setWidget(body);

    connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        model_->setFilter(text);
        selectPage(selected_);
    });
    // Enter in the filter opens the page selected, or the only one left.
    connect(filter_, &QLineEdit::returnPressed, this, [this] {
        const QModelIndex current = list_->currentIndex();
        if (current.isValid())
            activate(current);
        else if (model_->rowCount() > 0)
            activate(model_->index(0));
    });
    connect(list_, &QListView::activated, this, &AllPagesPane::activate);
}

void AllPagesPane::activate(const QModelIndex& index) {
    if (index.isValid())
        emit pageActivated(found(model_->pageAt(index.row()).name));
}

void AllPagesPane::setPages(std::vector<IndexedPage> pages) {
    model_->setPages(std::move(pages));
    selectPage(selected_);
}

void AllPagesPane::selectPage(const std::u16string& name) {
    selected_ = name;
    const int row = model_->rowOf(name);
    if (row < 0) {
        list_->clearSelection();
        return;
    }
    list_->setCurrentIndex(model_->index(row));
    list_->scrollTo(model_->index(row));
}

// ---------------------------------------------------------------- Backlinks

BacklinksPane::BacklinksPane(QWidget* parent) : QDockWidget(tr("Backlinks"), parent), list_(new QListWidget) {
    setObjectName(QStringLiteral("BacklinksPane"));
    list_->setAccessibleName(tr("Pages linking here"));
    setWidget(list_);
    connect(list_, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        emit pageActivated(found(item->data(Qt::UserRole).toString().toStdU16String()));
    });
}

void BacklinksPane::setBacklinks(const std::vector<IndexedPage>& pages) {
    list_->clear();
    for (const IndexedPage& page : pages) {
        auto* item = new QListWidgetItem(shownTitle(page), list_);
        item->setData(Qt::UserRole, QString::fromStdU16String(page.name));
        item->setToolTip(QString::fromStdU16String(page.name));
    }
}

}  // namespace tavix
