// The process entry. The command line is not interpreted (Qt takes its own
// options, such as -platform, and the rest is ignored).
#include <QApplication>

#include "app/Application.h"
#include "store/NotebookStore.h"

int main(int argc, char* argv[]) {
    // The store comes first: it brings up the XML library that every page
    // read needs, and outlives every window.
    tavix::NotebookStore store;
    QApplication app(argc, argv);
    return tavix::RunApplication(app, store);
}
