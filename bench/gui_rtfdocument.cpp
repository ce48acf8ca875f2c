// RTF import into and export out of a QTextDocument on a large page: 5,000
// paragraphs, about 500,000 characters, with headings and character formats.
// Target: import well under 100 ms; export faster still.
#include <string>

#include <QApplication>
#include <QTextCursor>
#include <QTextDocument>
#include <benchmark/benchmark.h>

#include "platform/RichTextControl.h"
#include "platform/RtfDocument.h"

namespace {

// Shaped like what the page writer produces.
std::u16string largePage() {
    std::u16string rtf = u"{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fcharset1 Times New Roman;}";
    for (int i = 1; i < 7; ++i) rtf += u"{\\f" + std::u16string(1, char16_t(u'0' + i)) + u"\\fcharset1 Arial;}";
    rtf += u";}{\\stylesheet{ Normal;}{\\s1 heading 1;}{\\s2 heading 2;}{\\s3 heading 3;}{\\s4 heading 4;}"
           u"{\\s5 heading 5;}{\\s6 heading 6;}}";
    const std::u16string words = u"Lorem ipsum dolor sit amet, FrontPage consectetur adipiscing elit, sed do ";
    for (int p = 0; p < 5000; ++p) {
        if (p % 10 == 0) {
            rtf += u"\\pard\\s2\\ql\\sb240\\sa60\\f2\\fs40\\li0\\ri0 Heading number ";
            rtf += std::u16string(1, char16_t(u'A' + p % 26)) + u"\\par ";
            continue;
        }
        rtf += u"\\pard\\s0\\ql\\sb0\\sa120\\f0\\fs24\\li0\\ri0 ";
        rtf += words;
        rtf += u"\\b bold words\\b0  and \\i italic \\ul under\\ulnone\\i0  ";
        rtf += u"\\strike gone\\strike0  x\\super 2\\nosupersub  caf\u00e9 \U0001F600 end.\\par ";
    }
    return rtf + u"}";
}

void BM_Import(benchmark::State& state) {
    const std::u16string rtf = largePage();
    for (auto _ : state) {
        QTextDocument doc;
        doc.setUndoRedoEnabled(false);
        QTextCursor cursor(&doc);
        tavix::insertRtf(cursor, rtf);
        benchmark::DoNotOptimize(doc.characterCount());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(rtf.size() * 2));
}
BENCHMARK(BM_Import)->Unit(benchmark::kMillisecond);

void BM_Export(benchmark::State& state) {
    QTextDocument doc;
    QTextCursor cursor(&doc);
    tavix::insertRtf(cursor, largePage());
    state.counters["chars"] = doc.characterCount();
    state.counters["paragraphs"] = doc.blockCount();
    for (auto _ : state) benchmark::DoNotOptimize(tavix::documentToRtf(doc));
}
BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond);

// What the status bar asks after every burst of input: the caret's display
// line and that line's start, in the middle of the large page.
void BM_CaretLine(benchmark::State& state) {
    tavix::RichTextControl control;
    control.resize(900, 700);
    control.show();
    control.setRtfContent(largePage());
    const int middle = control.textLength() / 2;
    state.counters["lines"] = control.lineCount();
    for (auto _ : state) {
        const int line = control.lineFromPosition(middle);
        benchmark::DoNotOptimize(middle - control.lineStart(line));
    }
}
BENCHMARK(BM_CaretLine)->Unit(benchmark::kMicrosecond);

void BM_SetRtfContent(benchmark::State& state) {
    const std::u16string rtf = largePage();
    tavix::RichTextControl control;
    control.resize(900, 700);
    control.show();
    for (auto _ : state) {
        control.setRtfContent(rtf);
        benchmark::DoNotOptimize(control.lineCount());  // laid out in full
    }
}
BENCHMARK(BM_SetRtfContent)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
