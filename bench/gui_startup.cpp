// The main window's start and its page switches, on the offscreen platform.
//   StartUp:        store, folders and settings, main window, shown, until the
//                   editor has painted the front page. The first run in the
//                   process (fonts, styles and the XML library still cold) is
//                   printed on its own before the benchmarks.
//   CachedSwitch:   Back or Forward between two pages of about 50,000
//                   characters each that the notebook already holds, until the
//                   editor has painted the new page.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QPointer>
#include <QWidget>

#include "app/Application.h"
#include "app/CommandTable.h"
#include "app/MainFrame.h"
#include "editor/PageEditor.h"
#include "editor/PageOperations.h"
#include "formats/PageDocument.h"
#include "store/NotebookStore.h"

using namespace tavix;

namespace {

// Notes when a widget has been painted.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget* w) : widget_(w) { w->installEventFilter(this); }
    ~PaintWatch() override {
        if (widget_)
            widget_->removeEventFilter(this);
    }
    void reset() { painted_ = false; }
    // Runs the event loop until the next paint; false after 10 s without one.
    bool wait() {
        QElapsedTimer t;
        t.start();
        while (!painted_ && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return painted_;
    }

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (o == widget_ && e->type() == QEvent::Paint)
            painted_ = true;
        return false;
    }

private:
    QPointer<QWidget> widget_;
    bool painted_ = false;
};

struct Folders {
    std::string root;
    Folders() {
        root = (std::filesystem::temp_directory_path() /
                ("tavix-bench-startup-" + std::to_string(::getpid())))
                   .string();
        std::filesystem::create_directories(root);
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(root + "/config"));
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(root + "/data"));
    }
    ~Folders() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    std::string notebook() const { return root + "/data/Halvorix/Tavix/Notebooks/Default"; }
};

Folders& folders() {
    static Folders f;
    return f;
}

// One start: returns the milliseconds to the first paint of the front page.
double startOnce(std::unique_ptr<NotebookStore>& store, std::unique_ptr<MainFrame>& frame) {
    QElapsedTimer t;
    t.start();
    store = std::make_unique<NotebookStore>();
    PrepareStore(*store);
    frame = std::make_unique<MainFrame>(*store);
    PaintWatch watch(frame->editor().viewport());
    frame->show();
    if (!watch.wait())
        return -1;
    return t.nsecsElapsed() / 1e6;
}

void BM_StartUp(benchmark::State& state) {
    folders();
    for (auto _ : state) {
        std::unique_ptr<NotebookStore> store;
        std::unique_ptr<MainFrame> frame;
        if (startOnce(store, frame) < 0)
            state.SkipWithError("the editor was never painted");
        state.PauseTiming();
        frame.reset();
        store.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

std::string bigPage(const std::string& name, const std::string& other) {
    std::string text = "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>" + name +
                       "</title></head><body><h1>" + name + "</h1>";
    std::size_t chars = 0;
    for (int i = 0; chars < 50000; ++i) {
        const std::string para = "Line " + std::to_string(i) + " links to " + other +
                                 " and FrontPage, with some plain words around them";
        chars += para.size() + 8;
        text += i % 25 == 0 ? "<h2>" + para + "</h2>"
                            : "<p>" + para + " <b>in bold</b> <i>and italic</i></p>";
    }
    return text + "</body></html>";
}

void BM_CachedSwitch(benchmark::State& state) {
    Folders& f = folders();
    NotebookStore store;
    PrepareStore(store);
    std::ofstream(f.notebook() + "/BigAlpha.xhtml", std::ios::binary)
        << bigPage("BigAlpha", "BigBeta");
    std::ofstream(f.notebook() + "/BigBeta.xhtml", std::ios::binary)
        << bigPage("BigBeta", "BigAlpha");
    MainFrame frame(store);
    frame.show();
    QCoreApplication::processEvents();
    frame.OpenFoundPage(FoundPage{u"BigAlpha", u""});
    frame.OpenFoundPage(FoundPage{u"BigBeta", u""});
    if (!store.notebook().isCached(u"BigAlpha") || !store.notebook().isCached(u"BigBeta"))
        state.SkipWithError("pages not cached");
    PaintWatch watch(frame.editor().viewport());
    watch.wait();
    for (auto _ : state) {
        watch.reset();
        frame.runCommand(frame.history().CanGoBack() && frame.history().PeekBack()->name == u"BigAlpha"
                             ? cmd::Back
                             : cmd::Forward);
        if (!watch.wait())
            state.SkipWithError("the editor was never painted");
    }
    state.counters["chars"] = frame.editor().textLength();
}

}  // namespace

BENCHMARK(BM_StartUp)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_CachedSwitch)->Unit(benchmark::kMillisecond)->Iterations(40);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const auto processStart = std::chrono::steady_clock::now();
    QApplication app(argc, argv);
    SetUpApplication(app);
    folders();
    {
        std::unique_ptr<NotebookStore> store;
        std::unique_ptr<MainFrame> frame;
        const double window = startOnce(store, frame);
        const double total = std::chrono::duration<double, std::milli>(
                                 std::chrono::steady_clock::now() - processStart)
                                 .count();
        std::printf("Cold start: %.1f ms to the first painted front page "
                    "(%.1f ms with the QApplication)\n",
                    window, total);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
