// Typing into a page of about 500,000 characters with autosave on: how long
// a keystroke waits, from the moment it is due to the moment the editor has
// handled it, when an autosave runs in between.
// 1,000 keystrokes at one every 32 ms (about 32 s, so the "at least every
// 30 s" save runs while typing), with a pause of 2.2 s after the 960th (so
// the "2 s after the last keystroke" save runs too). Prints the
// worst and typical latencies and how many autosaves ran.
//   bench_gui_autosave [keystrokes]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QApplication>
#include <QKeyEvent>
#include <QTextDocument>
#include <QWidget>

#include "BigPage.h"
#include "editor/PageEditor.h"
#include "editor/PageOperations.h"
#include "store/NotebookStore.h"
#include "store/TextCodec.h"

using namespace tavix;
using Clock = std::chrono::steady_clock;

namespace {

// Runs the event loop (timers, autosave) until the moment comes.
void waitUntil(Clock::time_point when) {
    while (Clock::now() < when) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(when - Clock::now());
        QCoreApplication::processEvents(QEventLoop::AllEvents, std::max<int>(1, static_cast<int>(left.count())));
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int keystrokes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;

    const auto folder = std::filesystem::temp_directory_path() / ("tavix-autosave-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "BigPage.xhtml", std::ios::binary)
        << "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>Big Page</title></head>" << bench::bigPageBody()
        << "</html>";

    {
        NotebookStore store;
        store.notebook().setFolder(fromUtf8(folder.string()));
        QWidget window;
        auto* editor = new PageEditor(&window);
        editor->resize(900, 700);
        window.resize(900, 700);
        window.show();
        PageOperations ops(store, *editor, nullptr, &window);
        int saves = 0;
        ops.setNotifier([](const PageNotice&) {});
        ops.OpenPage(u"BigPage", false);
        ops.setAutosave(true);
        QObject::connect(editor->document(), &QTextDocument::modificationChanged,
                         [&saves](bool modified) { saves += modified ? 0 : 1; });
        editor->setSelection(editor->textLength() / 2, editor->textLength() / 2);
        std::printf("page: %d characters\n", editor->textLength());

        std::vector<double> latencies;
        latencies.reserve(keystrokes);
        auto due = Clock::now();
        for (int i = 0; i < keystrokes; ++i) {
            due += std::chrono::milliseconds(i == 960 ? 2200 : 32);
            waitUntil(due);
            QKeyEvent down(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
            QApplication::sendEvent(editor, &down);
            QKeyEvent up(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
            QApplication::sendEvent(editor, &up);
            latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - due).count());
        }
        waitUntil(Clock::now() + std::chrono::milliseconds(2500));

        std::vector<double> sorted = latencies;
        std::sort(sorted.begin(), sorted.end());
        std::printf("keystrokes: %d, autosaves: %d\n", keystrokes, saves);
        std::printf("latency ms: median %.2f, p99 %.2f, worst %.2f\n", sorted[sorted.size() / 2],
                    sorted[sorted.size() * 99 / 100], sorted.back());
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
