// Throughput of the page body <-> editor RTF conversions on a body of about
// one million characters (10,000 paragraphs with character formats).
// Bytes are counted as input code units, one per character.
//
// And the import of a 5 MB document written the way word processors write
// it ("\plain", "\uN" with "\'hh" fallbacks, fonts of other charsets): the
// target is one second, timed both through "tavix-cli import-rtf" itself
// (when it is built beside this program) and in-process.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include <xercesc/internal/VecAttributesImpl.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>

#include "formats/PageDocument.h"
#include "formats/RtfReader.h"
#include "formats/RtfWriter.h"
#include "formats/XmlSupport.h"
#include "store/StyleSheet.h"
#include "store/TextCodec.h"

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

// A document as a word processor writes it, of at least bytes bytes (ASCII).
std::string foreignDocument(std::size_t bytes) {
    std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\froman\\fprq2\\fcharset0 Times New Roman;}"
        "{\\f1\\fswiss\\fcharset204 Arial Cyr;}{\\f2\\fswiss\\fcharset161 Arial Greek;}"
        "{\\f3\\froman\\fcharset0 Liberation Serif{\\*\\falt Times New Roman};}}\r\n"
        "{\\colortbl;\\red0\\green0\\blue0;}{\\stylesheet{\\s0\\snext0 Normal;}}"
        "{\\info{\\title Big}{\\author Someone}}\\viewkind4\\uc1\r\n";
    unsigned state = 7;
    auto next = [&state](unsigned n) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % n;
    };
    static const char* const kRuns[] = {
        "Lorem ipsum dolor sit amet, ",
        "\\u1055\\'3f\\u1088\\'3f\\u1080\\'3f\\u1074\\'3f\\u1077\\'3f\\u1090\\'3f ",
        "caf\\'e9 \\u8364\\'80 ",
        "{\\f1 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2} ",
        "{\\f2 \\'ca\\'e1\\'eb\\'e7\\'ec\\'dd\\'f1\\'e1} ",
        "C:\\\\temp \\{x\\} ",
    };
    static const char* const kFormats[] = {"\\b", "\\i", "\\ul", "\\strike", "\\super", "\\sub"};
    while (rtf.size() < bytes) {
        rtf += "\\pard\\plain \\s0\\rtlch\\af3\\afs24 \\ltrch\\loch\\f3\\fs24\\ql\\sb86\\sa86";
        for (int run = 0; run < 12; ++run) {
            const char* text = kRuns[next(6)];
            if (next(3) == 0) rtf += std::string("{\\rtlch\\ab \\ltrch\\loch") + kFormats[next(6)] + "\\loch\r\n" + text + "}";
            else rtf += std::string("{\\loch\r\n") + text + "}";
        }
        rtf += "\r\n\\par ";
    }
    return rtf + "}";
}

// The document written once into a temporary folder, which also holds a
// notebook to import into; removed at exit.
class ImportFolder {
public:
    ImportFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tavix-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        folder_ = pattern;
        std::filesystem::create_directory(notebook());
        std::ofstream(settings(), std::ios::binary);  // the default style sheet
        document_ = foreignDocument(5 * 1000 * 1000);
        std::ofstream(file(), std::ios::binary) << document_;
    }
    ~ImportFolder() {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    std::string file() const { return folder_ + "/big.rtf"; }
    std::string notebook() const { return folder_ + "/notebook"; }
    std::string settings() const { return folder_ + "/tavix.props"; }
    const std::string& document() const { return document_; }

private:
    std::string folder_;
    std::string document_;
};

const ImportFolder& importFolder() {
    static ImportFolder folder;
    return folder;
}

// Exactly what the user runs: process start, reading, decoding, the reader,
// the page document and the atomic save of a 5 MB page.
void BM_ImportRtf5MBThroughCli(benchmark::State& state) {
    const std::filesystem::path cli = std::filesystem::read_symlink("/proc/self/exe").parent_path() / "tavix-cli";
    if (!std::filesystem::exists(cli)) {
        state.SkipWithError("tavix-cli is not built beside this program");
        return;
    }
    const ImportFolder& f = importFolder();
    const std::string command = "'" + cli.string() + "' --notebook '" + f.notebook() + "' --settings '" +
                                f.settings() + "' import-rtf '" + f.file() + "' BigImport --replace";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("tavix-cli import-rtf failed");
            return;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.document().size()));
    state.counters["input_bytes"] = static_cast<double>(f.document().size());
}
BENCHMARK(BM_ImportRtf5MBThroughCli)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same steps in-process, but for the save: read the file, decode it,
// read the RTF into a page document.
void BM_ImportRtf5MBInProcess(benchmark::State& state) {
    library();
    const ImportFolder& f = importFolder();
    StyleSheet styles;
    std::size_t bodySize = 0;
    for (auto _ : state) {
        std::ifstream in(f.file(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        RtfReader reader(styles);
        std::ostringstream diagnostics;
        reader.setDiagnostics(diagnostics);
        reader.setInput(fromUtf8(bytes.str()));
        PageDocument page(nullptr);
        reader.run(page);
        bodySize = page.body().size();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(f.document().size()));
    state.counters["body_chars"] = static_cast<double>(bodySize);
}
BENCHMARK(BM_ImportRtf5MBInProcess)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
