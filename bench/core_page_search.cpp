// Pattern search over a generated notebook of 20,000 pages of about 4 KB
// (written once into a temporary folder, then read from the warm cache).
// The target: a whole search in under 1.5 s on two cores.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "NotebookGenerator.h"
#include "search/PageSearch.h"
#include "store/Notebook.h"
#include "store/TextCodec.h"

namespace {

constexpr std::size_t kPages = 20000;

class GeneratedNotebook {
public:
    GeneratedNotebook() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tavix-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        folder_ = pattern;
        tavix::bench::NotebookGenerator generator;
        if (!generator.write(folder_, kPages)) std::abort();
        notebook_.setFolder(tavix::fromUtf8(folder_));
    }
    ~GeneratedNotebook() {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    const tavix::Notebook& notebook() const { return notebook_; }

private:
    std::string folder_;
    tavix::Notebook notebook_;
};

const GeneratedNotebook& notebook() {
    static GeneratedNotebook generated;
    return generated;
}

// range(0): threads; the label tells the pattern.
void searchAll(benchmark::State& state, const char16_t* pattern, bool matchCase) {
    const tavix::Notebook& nb = notebook().notebook();
    std::size_t found = 0;
    for (auto _ : state) {
        tavix::PageMatcher matcher;
        matcher.setPattern(pattern);
        matcher.setMatchCase(matchCase);
        found = 0;
        tavix::PageSearch search(matcher, nb.pages(), static_cast<unsigned>(state.range(0)));
        for (; !search.atEnd(); search.next()) ++found;
        if (!search.error()) state.SkipWithError(search.error().message().c_str());
    }
    state.counters["found"] = static_cast<double>(found);
    state.counters["pages/s"] = benchmark::Counter(static_cast<double>(kPages), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_RareWord(benchmark::State& state) { searchAll(state, u"zeppelin", true); }
void BM_RareWordAnyCase(benchmark::State& state) { searchAll(state, u"zeppelin", false); }
void BM_NoMatch(benchmark::State& state) { searchAll(state, u"xylophone[0-9]+", false); }
void BM_CommonWord(benchmark::State& state) { searchAll(state, u"tomatoes", false); }
void BM_Alternatives(benchmark::State& state) { searchAll(state, u"(quarterly|zeppelin) (report|notes)", false); }

BENCHMARK(BM_RareWord)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RareWordAnyCase)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NoMatch)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CommonWord)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Alternatives)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
