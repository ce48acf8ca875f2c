// Find Pages through the dialog and the "Found Pages" pane, on the offscreen
// platform, over a generated notebook (default 20,000 pages of about 4 KB):
// time from pressing Find to the first result shown and to the end of the
// search, and the longest time the event loop was blocked meanwhile (a 2 ms
// timer's largest gap, less its interval). Target for the block: 50 ms.
//
// Usage: bench_gui_findpages [PAGES] [PATTERN...]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QThread>
#include <QTimer>

#include "../bench/NotebookGenerator.h"
#include "search/FindPagesDialog.h"
#include "store/NotebookStore.h"
#include "ui/PageListWindow.h"

using namespace tavix;

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::size_t pages = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20000;
    std::vector<QString> patterns;
    for (int i = 2; i < argc; ++i) patterns.push_back(QString::fromLocal8Bit(argv[i]));
    if (patterns.empty()) patterns = {QStringLiteral("zeppelin"), QStringLiteral("garden"), QStringLiteral("\\w*\\w*QQQ")};

    const auto root = std::filesystem::temp_directory_path() /
                      ("tavix-bench-findpages-" + std::to_string(QCoreApplication::applicationPid()));
    const auto data = root / "data";
    const auto program = root / "program";
    std::filesystem::create_directories(data);
    NotebookStore::ensureFolders(data.u16string(), program.u16string());
    const auto folder = program / "Notebooks" / "Default";
    bench::NotebookGenerator generator;
    if (!generator.write(folder.string(), pages)) {
        std::fprintf(stderr, "cannot write the notebook\n");
        return 2;
    }
    // Warm the page cache, as the second search of a session finds it.
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::FILE* f = std::fopen(entry.path().c_str(), "rb");
        char buffer[8192];
        while (f && std::fread(buffer, 1, sizeof buffer, f) > 0) {
        }
        if (f) std::fclose(f);
    }

    NotebookStore store;
    store.setDataFolder(data.u16string());
    store.loadSettings();
    store.setProgramFolder(program.u16string());
    QMainWindow window;
    auto* pane = new PageListWindow(&window);
    window.addDockWidget(Qt::BottomDockWidgetArea, pane);
    window.resize(900, 600);
    window.show();

    std::printf("Find Pages over %zu pages, %d processors\n", pages, QThread::idealThreadCount());
    for (const QString& pattern : patterns) {
        FindPagesDialog dialog(store, *pane, &window);
        dialog.setMessageFunction([](QWidget*, const QString&, const QString& text) {
            std::printf("  message: %s\n", qPrintable(text));
        });
        dialog.findChild<QComboBox*>(QStringLiteral("findWhat"))->setEditText(pattern);

        QElapsedTimer clock;
        qint64 lastTick = 0;
        qint64 worstGap = 0;
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(2);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            worstGap = std::max(worstGap, now - lastTick);
            lastTick = now;
        });
        clock.start();
        ticker.start();
        const qint64 pressed = clock.elapsed();
        dialog.runSearch();
        const qint64 dialogClosed = clock.elapsed() - pressed;
        worstGap = std::max(worstGap, dialogClosed);
        qint64 first = -1;
        while (pane->isSearching() && clock.elapsed() < 600000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
            if (first < 0 && pane->entryCount() > 0)
                first = clock.elapsed() - pressed;
        }
        const qint64 last = clock.elapsed() - pressed;
        ticker.stop();
        std::printf("  %-14s %6d pages found  dialog closed %4lld ms  first shown %6lld ms  last %6lld ms  "
                    "longest block %3lld ms\n",
                    qPrintable(pattern), pane->entryCount(), static_cast<long long>(dialogClosed),
                    static_cast<long long>(first), static_cast<long long>(last),
                    static_cast<long long>(std::max<qint64>(0, worstGap - 2)));
    }
    std::filesystem::remove_all(root);
    return 0;
}
