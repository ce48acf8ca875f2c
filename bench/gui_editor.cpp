// The page editor on a big page: 5,000 paragraphs (about 500,000
// characters) with character formats and link words, in an editor 900
// pixels wide shown on the offscreen platform.
//   Open:      page file to a fully marked, laid-out editor.
//   SetHtml:   Qt's own QTextDocument::setHtml of the same content, laid out
//              (the yardstick for Open).
//   Save:      editor to page file.
//   TypeChar:  one character typed in the middle (insert, re-mark, layout).
//   TypeCharLongParagraph: one character typed in the middle of a single
//              216,000-character paragraph full of link words (and,
//              as its floor, the same paragraph without link words).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QKeyEvent>
#include <QTextDocument>
#include <QTextEdit>
#include <QWidget>

#include "BigPage.h"
#include "editor/PageEditor.h"
#include "editor/PageOperations.h"
#include "store/NotebookStore.h"
#include "store/TextCodec.h"

using namespace tavix;

namespace {

struct Fixture {
    std::string folder;
    std::string body;  // also the HTML of the yardstick
    std::unique_ptr<QWidget> window;
    PageEditor* editor = nullptr;

    Fixture() {
        folder = (std::filesystem::temp_directory_path() / ("tavix-bench-" + std::to_string(::getpid()))).string();
        std::filesystem::create_directories(folder);
        body = bench::bigPageBody();
        std::ofstream(folder + "/BigPage.xhtml", std::ios::binary)
            << "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>Big Page</title></head>" << body
            << "</html>";
        window = std::make_unique<QWidget>();
        editor = new PageEditor(window.get());
        editor->resize(900, 700);
        window->resize(900, 700);
        window->show();
        QApplication::processEvents();
    }
    ~Fixture() {
        window.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

// Made on first use and destroyed before the application object goes.
std::unique_ptr<Fixture> theFixture;

Fixture& fixture() {
    if (!theFixture)
        theFixture = std::make_unique<Fixture>();
    return *theFixture;
}

void press(QWidget* w, int key, const QString& text, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent down(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(w, &down);
    QKeyEvent up(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(w, &up);
}

void layOut(QTextDocument* doc) { doc->documentLayout()->documentSize(); }

void BM_Open(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        state.PauseTiming();
        // A fresh store each time, so the page file is read and parsed.
        auto store = std::make_unique<NotebookStore>();
        store->notebook().setFolder(fromUtf8(f.folder));
        auto ops = std::make_unique<PageOperations>(*store, *f.editor, nullptr, f.window.get());
        state.ResumeTiming();
        ops->OpenPage(u"BigPage", false);
        layOut(f.editor->document());
        state.PauseTiming();
        ops.reset();
        store.reset();
        state.ResumeTiming();
    }
    state.counters["chars"] = f.editor->textLength();
}

void BM_SetHtml(benchmark::State& state) {
    Fixture& f = fixture();
    QTextEdit edit(f.window.get());
    edit.resize(900, 700);
    edit.show();
    const QString html = QString::fromStdString(f.body);
    for (auto _ : state) {
        edit.document()->setHtml(html);
        layOut(edit.document());
    }
}

void BM_Save(benchmark::State& state) {
    Fixture& f = fixture();
    NotebookStore store;
    store.notebook().setFolder(fromUtf8(f.folder));
    PageOperations ops(store, *f.editor, nullptr, f.window.get());
    ops.OpenPage(u"BigPage", false);
    for (auto _ : state) {
        if (!ops.SavePage().ok())
            state.SkipWithError("save failed");
    }
}

void BM_TypeChar(benchmark::State& state) {
    Fixture& f = fixture();
    NotebookStore store;
    store.notebook().setFolder(fromUtf8(f.folder));
    PageOperations ops(store, *f.editor, nullptr, f.window.get());
    ops.OpenPage(u"BigPage", false);
    layOut(f.editor->document());
    const int middle = f.editor->textLength() / 2;
    f.editor->setSelection(middle, middle);
    for (auto _ : state) {
        press(f.editor, Qt::Key_A, QStringLiteral("A"), Qt::ShiftModifier);
        state.PauseTiming();
        press(f.editor, Qt::Key_Backspace, QString());
        state.ResumeTiming();
    }
    // Each typed character was taken back: the text must be as loaded.
    const int typedAndErased = f.editor->textLength();
    press(f.editor, Qt::Key_A, QStringLiteral("A"), Qt::ShiftModifier);
    state.counters["typed"] = f.editor->textLength() - typedAndErased;
    f.editor->SetModified(false);
}

void typeCharLongParagraph(benchmark::State& state, const char* words) {
    Fixture& f = fixture();
    std::string body = "<body><p>";
    while (body.size() < 216000 + 9)
        body += words;
    body.resize(216000 + 9);
    body += "</p></body>";
    std::ofstream(f.folder + "/LongParagraph.xhtml", std::ios::binary)
        << "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>Long</title></head>" << body
        << "</html>";
    NotebookStore store;
    store.notebook().setFolder(fromUtf8(f.folder));
    PageOperations ops(store, *f.editor, nullptr, f.window.get());
    ops.OpenPage(u"LongParagraph", false);
    layOut(f.editor->document());
    const int middle = f.editor->textLength() / 2;
    f.editor->setSelection(middle, middle);
    // How often the paragraph is changed (and so laid out again) per typed
    // character: anything above one is work of ours.
    int changes = 0;
    const QMetaObject::Connection counting = QObject::connect(
        f.editor->document(), &QTextDocument::contentsChange, [&changes] { ++changes; });
    for (auto _ : state) {
        press(f.editor, Qt::Key_A, QStringLiteral("A"), Qt::ShiftModifier);
        layOut(f.editor->document());
        state.PauseTiming();
        state.counters["changes"] = changes;
        press(f.editor, Qt::Key_Backspace, QString());
        layOut(f.editor->document());
        changes = 0;
        state.ResumeTiming();
    }
    QObject::disconnect(counting);
    state.counters["chars"] = f.editor->textLength();
    f.editor->SetModified(false);
}

void BM_TypeCharLongParagraph(benchmark::State& state) {
    typeCharLongParagraph(state, "FrontPage and ShoppingList words ");
}

// The same paragraph without a link word: what Qt's own re-layout of the
// paragraph costs, the floor for the one above.
void BM_TypeCharLongParagraphNoLinks(benchmark::State& state) {
    typeCharLongParagraph(state, "frontpage and shoppinglist words ");
}

}  // namespace

BENCHMARK(BM_TypeCharLongParagraph)->Unit(benchmark::kMicrosecond)->Iterations(100);
BENCHMARK(BM_TypeCharLongParagraphNoLinks)->Unit(benchmark::kMicrosecond)->Iterations(100);
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_SetHtml)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_TypeChar)->Unit(benchmark::kMicrosecond)->Iterations(500);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    theFixture.reset();
    return 0;
}
