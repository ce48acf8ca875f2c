#include "app/Application.h"

#include <QApplication>

#include "app/FrameManager.h"
#include "app/Icons.h"
#include "store/NotebookStore.h"

#ifndef TAVIX_VERSION
#define TAVIX_VERSION "0.1.0"
#endif

namespace tavix {

void SetUpApplication(QApplication& app) {
    QApplication::setApplicationName(QStringLiteral("Tavix"));
    QApplication::setOrganizationName(QStringLiteral("Halvorix"));
    QApplication::setApplicationVersion(QStringLiteral(TAVIX_VERSION));
    // Lets the desktop match the windows to tavix.desktop (its icon, its name).
    QGuiApplication::setDesktopFileName(QStringLiteral("tavix"));
    app.setWindowIcon(applicationIcon());
}

void PrepareStore(NotebookStore& store) {
    const std::u16string dataFolder = NotebookStore::defaultDataFolder();
    const std::u16string programFolder = NotebookStore::defaultProgramFolder();
    NotebookStore::ensureFolders(dataFolder, programFolder);
    store.setDataFolder(dataFolder);
    store.loadSettings();
    store.setProgramFolder(programFolder);
}

int RunApplication(QApplication& app, NotebookStore& store) {
    SetUpApplication(app);
    PrepareStore(store);
    FrameManager frames(store);
    return frames.Run();
}

}  // namespace tavix
