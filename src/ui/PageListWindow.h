#pragma once
// The "Found Pages" pane: a dock widget beside the editor that lists the
// pages a page search found. For now it is an empty pane the window can
// dock, show and hide.
#include <QDockWidget>

namespace tavix {

class PageListWindow : public QDockWidget {
    Q_OBJECT
public:
    explicit PageListWindow(QWidget* parent = nullptr);
};

}  // namespace tavix
