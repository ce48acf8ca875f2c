#include "app/Application.h"

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>

#include "app/FrameManager.h"
#include "app/Icons.h"
#include "app/SingleInstance.h"
#include "store/NotebookStore.h"

#ifndef TAVIX_VERSION
#define TAVIX_VERSION "0.1.0"
#endif

namespace tavix {
namespace {

// The write end of the pipe the signal handler writes to; the event loop
// reads the other end.
int signalPipe[2] = {-1, -1};

extern "C" void onTerminationSignal(int) {
    const char byte = 1;
    // Only async-signal-safe calls here; a full pipe already holds a request.
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// A terminal's Ctrl+C, a hang-up or a plain "kill" ends the program as
// closing its windows does, so the open pages are saved rather than lost.
void closeFramesOnTermination(FrameManager& frames) {
    if (signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &frames);
    QObject::connect(notifier, &QSocketNotifier::activated, &frames, [&frames] {
        char buffer[16];
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], buffer, sizeof buffer);
        frames.EndAll();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);
}

void restoreDefaultSignals() {
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        std::signal(sig, SIG_DFL);
}

}  // namespace

void SetUpApplication(QApplication& app) {
    QApplication::setApplicationName(QStringLiteral("Tavix"));
    QApplication::setOrganizationName(QStringLiteral("Halvorix"));
    QApplication::setApplicationVersion(QStringLiteral(TAVIX_VERSION));
    // Lets the desktop match the windows to org.halvorix.tavix.desktop (its
    // icon, its name); the AppStream metadata carries the same id.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.halvorix.tavix"));
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
    const QString instance = instanceName(store.notebook().folder());
    if (handToRunningInstance(instance)) {
        std::printf("Tavix is already running on this notebook; a new window opened there.\n");
        return 0;
    }
    FrameManager frames(store);
    InstanceServer server;
    server.setFrameCounter([&frames] { return frames.frameCount(); });
    QObject::connect(&server, &InstanceServer::frameRequested, &frames, &FrameManager::RequestFrame);
    // Without the socket this process still runs; only a second start then
    // runs beside it as before.
    if (!server.listen(instance))
        std::fprintf(stderr, "tavix: cannot listen on %s; a second start will run on its own\n",
                     qPrintable(instance));
    closeFramesOnTermination(frames);
    const int result = frames.Run();
    // The notifier goes with the manager; a late signal must not write into
    // a pipe nobody reads any more.
    restoreDefaultSignals();
    return result;
}

}  // namespace tavix
