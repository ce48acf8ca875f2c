#pragma once
// The panes that show the notebook as a whole: "All Pages" (every page by
// title, narrowed by a filter as the user types) and "Backlinks" (the pages
// whose text links to the open page). Both are given their lists by the main
// window and ask it to open a page on Enter or double-click.
#include <string>
#include <vector>

#include <QAbstractListModel>
#include <QDockWidget>

#include "index/NotebookIndex.h"
#include "store/FoundPage.h"

class QLineEdit;
class QListView;
class QListWidget;

namespace tavix {

// The rows of All Pages: all pages, of which those whose name or title holds
// the filter text (ignoring case) are shown.
class PageTitleModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    void setPages(std::vector<IndexedPage> pages);
    void setFilter(const QString& text);
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    const IndexedPage& pageAt(int row) const { return pages_[shown_[row]]; }
    // The row showing that page, or -1.
    int rowOf(const std::u16string& name) const;

private:
    void applyFilter();
    std::vector<IndexedPage> pages_;
    std::vector<QString> folded_;  // name and title, case-folded, for the filter
    std::vector<int> shown_;
    QString filter_;
};

class AllPagesPane : public QDockWidget {
    Q_OBJECT
public:
    explicit AllPagesPane(QWidget* parent = nullptr);

    // Replaces the list, keeping the filter and the selection.
    void setPages(std::vector<IndexedPage> pages);
    // Selects the open page's row (none when it is filtered out or unknown).
    void selectPage(const std::u16string& name);
    QLineEdit& filterField() const { return *filter_; }
    QListView& list() const { return *list_; }
    const PageTitleModel& model() const { return *model_; }

signals:
    void pageActivated(const tavix::FoundPage& page);

private:
    void activate(const QModelIndex& index);
    QLineEdit* filter_;
    QListView* list_;
    PageTitleModel* model_;
    std::u16string selected_;
};

class BacklinksPane : public QDockWidget {
    Q_OBJECT
public:
    explicit BacklinksPane(QWidget* parent = nullptr);

    // The pages linking to the open page, each shown by title.
    void setBacklinks(const std::vector<IndexedPage>& pages);
    QListWidget& list() const { return *list_; }

signals:
    void pageActivated(const tavix::FoundPage& page);

private:
    QListWidget* list_;
};

}  // namespace tavix
