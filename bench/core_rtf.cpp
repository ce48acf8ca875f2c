// Throughput of the page body <-> editor RTF conversions on a body of about
// one million characters (10,000 paragraphs with character formats).
// Bytes are counted as input code units, one per character.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include <xercesc/internal/VecAttributesImpl.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>

#include "formats/PageDocument.h"
#include "formats/RtfReader.h"
#include "formats/RtfWriter.h"
#include "formats/XmlSupport.h"
#include "store/StyleSheet.h"

namespace {

using namespace tavix;

const XmlLibrary& library() {
    static XmlLibrary lib;
    return lib;
}

// Deterministic: the same body on every run.
std::u16string makeBody() {
    static const char16_t* const kWords[] = {u"lorem", u"ipsum", u"dolor", u"FrontPage", u"sit", u"amet",
                                             u"&amp;", u"caf\u00e9", u"{x}", u"C:\\temp", u"ShoppingList"};
    static const char16_t* const kInline[] = {u"b", u"i", u"u", u"strike", u"sup", u"sub"};
    static const char16_t* const kParagraph[] = {u"p", u"p", u"p", u"h1", u"h2", u"h5", u"p"};
    std::u16string body = u"<body>";
    unsigned state = 1;
    auto next = [&state](unsigned n) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % n;
    };
    for (int p = 0; p < 10000; ++p) {
        const char16_t* tag = kParagraph[next(7)];
        body += std::u16string(u"<") + tag + u">";
        while (body.size() < static_cast<std::size_t>(p + 1) * 100) {
            if (next(4) == 0) {
                const char16_t* f = kInline[next(6)];
                body += std::u16string(u"<") + f + u">" + kWords[next(11)] + u"</" + f + u"> ";
            } else {
                body += kWords[next(11)];
                body += u' ';
            }
        }
        body += std::u16string(u"</") + tag + u">";
    }
    return body + u"</body>";
}

const std::u16string& body() {
    static const std::u16string b = makeBody();
    return b;
}

const std::u16string& rtf() {
    static const std::u16string r = [] {
        library();
        StyleSheet styles;
        RtfWriter writer(styles);
        writer.convert(body());
        return writer.rtf();
    }();
    return r;
}

// The body's events, recorded once, so that the writer can be timed alone.
struct Event {
    enum Kind { Start, End, Text } kind;
    std::u16string value;
};

class Recorder : public xercesc::DefaultHandler {
public:
    std::vector<Event> events;
    void startElement(const XMLCh*, const XMLCh* local, const XMLCh*, const xercesc::Attributes&) override {
        events.push_back({Event::Start, u16(local)});
    }
    void endElement(const XMLCh*, const XMLCh* local, const XMLCh*) override {
        events.push_back({Event::End, u16(local)});
    }
    void characters(const XMLCh* chars, const XMLSize_t length) override {
        events.push_back({Event::Text, u16(chars, length)});
    }
};

void BM_RtfWriterEvents(benchmark::State& state) {
    library();
    Recorder recorder;
    auto reader = makeSafeReader();
    parseText(*reader, body(), recorder, nullptr);
    StyleSheet styles;
    xercesc::VecAttributesImpl none;
    const XMLCh* ns = asXml(kXhtmlNamespace);
    for (auto _ : state) {
        RtfWriter writer(styles);
        writer.startDocument();
        for (const Event& e : recorder.events) {
            const XMLCh* v = asXml(e.value.c_str());
            if (e.kind == Event::Start) writer.startElement(ns, v, v, none);
            else if (e.kind == Event::End) writer.endElement(ns, v, v);
            else writer.characters(v, e.value.size());
        }
        writer.endDocument();
        benchmark::DoNotOptimize(writer.rtf().data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(body().size()));
    state.counters["input_chars"] = static_cast<double>(body().size());
}
BENCHMARK(BM_RtfWriterEvents)->Unit(benchmark::kMillisecond);

// As the editor uses it: the XML parse included.
void BM_RtfWriterConvert(benchmark::State& state) {
    library();
    StyleSheet styles;
    for (auto _ : state) {
        RtfWriter writer(styles);
        writer.convert(body());
        benchmark::DoNotOptimize(writer.rtf().data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(body().size()));
    state.counters["input_chars"] = static_cast<double>(body().size());
}
BENCHMARK(BM_RtfWriterConvert)->Unit(benchmark::kMillisecond);

void BM_RtfReaderEvents(benchmark::State& state) {
    StyleSheet styles;
    const std::u16string& input = rtf();
    xercesc::DefaultHandler sink;
    for (auto _ : state) {
        RtfReader reader(styles);
        reader.setInput(input);
        reader.run(sink);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(input.size()));
    state.counters["input_chars"] = static_cast<double>(input.size());
}
BENCHMARK(BM_RtfReaderEvents)->Unit(benchmark::kMillisecond);

// As the save uses it: the page document rebuilds the escaped body.
void BM_RtfReaderIntoPage(benchmark::State& state) {
    library();
    StyleSheet styles;
    const std::u16string& input = rtf();
    for (auto _ : state) {
        RtfReader reader(styles);
        reader.setInput(input);
        PageDocument page(nullptr);
        reader.run(page);
        benchmark::DoNotOptimize(page.body().data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(input.size()));
    state.counters["input_chars"] = static_cast<double>(input.size());
}
BENCHMARK(BM_RtfReaderIntoPage)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
