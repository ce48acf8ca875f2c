// Opening and searching pages built to make the parser multiply what it
// reads, each about a megabyte, and an honest page that uses a named entity
// 60,000 times. The target: time grows with the size of the file, never
// with what its entities would expand to; no page of a megabyte takes more
// than about a second to refuse or to read. The slowest hostile page is one
// that writes as many references as fit (each costs the parser an entity
// reader), as an honest page with as many references would. Pages of
// 50,000 and 1,000,000 nested elements (350 KB and 7 MB) end at the nesting
// limit and are read in part, in time that no longer grows with the depth.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "../tests/formats/HostilePages.h"
#include "formats/PageDocument.h"
#include "search/PageMatcher.h"
#include "store/TextCodec.h"

namespace {

namespace test = tavix::test;

// Each page is written once into a temporary folder, removed at exit.
class PageFolder {
public:
    PageFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tavix-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        folder_ = pattern;
    }
    ~PageFolder() {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    std::u16string write(const std::string& name, const std::string& bytes) const {
        const std::string path = folder_ + "/" + name + ".xhtml";
        std::ofstream(path, std::ios::binary) << bytes;
        return tavix::fromUtf8(path);
    }

private:
    std::string folder_;
};

const PageFolder& folder() {
    static PageFolder pages;
    return pages;
}

struct Page {
    std::u16string path;
    std::size_t size;
};

Page page(int kind) {
    std::string bytes;
    switch (kind) {
    case 0: bytes = test::quadraticText(500000, 300000); break;
    case 1: bytes = test::quadraticAttribute(500000, 300000); break;
    case 2: bytes = test::quadraticAttributes(500000, 50000); break;
    case 3: bytes = test::defaultAttributes(500000, 100000); break;
    case 4: bytes = test::billionLaughs("", 300000); break;
    case 5: bytes = test::entityChain(50000); break;
    case 6: bytes = test::namedEntities("nbsp", 60000); break;
    case 7: bytes = test::deepNesting(50000); break;
    default: bytes = test::deepNesting(1000000); break;
    }
    return {folder().write("Page" + std::to_string(kind), bytes), bytes.size()};
}

const char* kindName(int kind) {
    static const char* const names[] = {
        "multiplied text", "multiplied keywords", "multiplied attributes", "default attributes",
        "billion empties", "entity chain",        "60000 nbsp (honest)",
        "50,000 nested b",  "1,000,000 nested b"};
    return names[kind];
}

void BM_Open(benchmark::State& state) {
    const Page p = page(static_cast<int>(state.range(0)));
    tavix::ParseResult result;
    for (auto _ : state) {
        std::ostringstream diagnostics;
        tavix::PageDocument document(nullptr);
        document.setDiagnostics(diagnostics);
        result = document.loadFile(p.path);
    }
    // A page read in part (damaged) is shown as far as it reads; a refused
    // one is stopped by a bound.
    const char* outcome = result.ok ? ": read" : result.limitExceeded ? ": refused" : ": read in part";
    state.SetLabel(std::string(kindName(static_cast<int>(state.range(0)))) + outcome);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * p.size));
}

void BM_Search(benchmark::State& state) {
    const Page p = page(static_cast<int>(state.range(0)));
    tavix::PageMatcher matcher;
    matcher.setPattern(u"never there");
    for (auto _ : state) matcher.matchesFile(p.path);
    state.SetLabel(std::string(kindName(static_cast<int>(state.range(0)))) +
                   (matcher.error().ok() ? ": searched" : ": refused"));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * p.size));
}

BENCHMARK(BM_Open)->DenseRange(0, 8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Search)->DenseRange(0, 8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
