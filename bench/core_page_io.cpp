// Loading and saving a large page: a 1 MB page file of about ten thousand
// paragraphs with character formats. Targets on the reference machine:
// load and save each within 20 ms, at least 50 MB/s. Times are wall-clock:
// a save includes the store's flush of the file and its folder to disk.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>

#include "formats/PageDocument.h"
#include "store/Notebook.h"
#include "store/TextCodec.h"

using namespace tavix;

namespace {

// The same body on every run (its size counted in UTF-16 units, which for
// this mostly ASCII text is close to its size in bytes): paragraphs and headings mixing plain text,
// escaped characters, non-ASCII letters and nested formats.
std::u16string makeBody(std::size_t targetBytes) {
    static const char16_t* const kWords[] = {u"notebook", u"FrontPage", u"page", u"link", u"caf\u00e9",
                                             u"ShoppingList", u"\u00fcber", u"text", u"a & b", u"x < y"};
    std::u16string body = u"<body>";
    unsigned seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7fff; };
    for (int n = 0; body.size() < targetBytes || n % 100 != 0; ++n) {
        const bool heading = n % 25 == 0;
        const std::u16string tag = heading ? u"h" + std::u16string(1, char16_t(u'1' + n / 25 % 6)) : u"p";
        body += u"<" + tag + u">";
        const int words = 6 + static_cast<int>(next() % 10);
        for (int w = 0; w < words; ++w) {
            std::u16string word = escapeCharData(kWords[next() % 10]);
            switch (next() % 8) {
            case 0: word = u"<b>" + word + u"</b>"; break;
            case 1: word = u"<i>" + word + u"</i>"; break;
            case 2: word = u"<u><strike>" + word + u"</strike></u>"; break;
            case 3: word = u"x<sup>" + word + u"</sup>"; break;
            default: break;
            }
            body += word;
            body += u' ';
        }
        body += u"</" + tag + u">";
    }
    return body + u"</body>";
}

class Fixture {
public:
    Fixture() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tavix-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
        folder_ = pattern;
        notebook.setFolder(fromUtf8(folder_));
        notebook.setDiagnostics(sink_);
        PageDocument page(&notebook);
        page.setName(u"BigPage");
        page.setTitle(u"Big Page");
        if (!page.loadText(makeBody(1 << 20)).ok) throw std::runtime_error("benchmark body does not parse");
        page.setKeywords(u"large test page");
        if (!page.save().ok()) throw std::runtime_error("cannot write the benchmark page");
        path = notebook.pagePath(u"BigPage");
        fileBytes = std::filesystem::file_size(folder_ + "/BigPage.xhtml");
    }
    ~Fixture() {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }

    // The program keeps the XML library started for its whole run.
    XmlLibrary library;
    Notebook notebook;
    std::u16string path;
    std::size_t fileBytes = 0;

private:
    std::string folder_;
    std::ostringstream sink_;
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

void BM_LoadPageFile(benchmark::State& state) {
    Fixture& f = fixture();
    for (auto _ : state) {
        PageDocument page(&f.notebook);
        ParseResult r = page.loadFile(f.path);
        if (!r.ok) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(page.body().data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.fileBytes));
    state.counters["file_bytes"] = static_cast<double>(f.fileBytes);
}
BENCHMARK(BM_LoadPageFile)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

void BM_SavePageFile(benchmark::State& state) {
    Fixture& f = fixture();
    PageDocument page(&f.notebook);
    page.setName(u"BigPage");
    page.loadFile(f.path);
    for (auto _ : state) {
        if (!page.save().ok()) state.SkipWithError("save failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.fileBytes));
}
BENCHMARK(BM_SavePageFile)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// The parts of a save that are the document's own, without the disk.
void BM_FileTextToUtf8(benchmark::State& state) {
    Fixture& f = fixture();
    PageDocument page(&f.notebook);
    page.loadFile(f.path);
    for (auto _ : state) {
        std::string bytes = toUtf8(page.fileText());
        benchmark::DoNotOptimize(bytes.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * f.fileBytes));
}
BENCHMARK(BM_FileTextToUtf8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
