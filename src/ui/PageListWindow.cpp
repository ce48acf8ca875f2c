#include "ui/PageListWindow.h"

#include <QWidget>

namespace tavix {

PageListWindow::PageListWindow(QWidget* parent) : QDockWidget(tr("Found Pages"), parent) {
    setObjectName(QStringLiteral("PageListWindow"));
    setWidget(new QWidget(this));
}

}  // namespace tavix
