// Find Pages from the text index against the full scan and against
// `grep -rlE`, over 20,000 generated pages of about 4 KB, warm cache, in one
// run. Prints a table; the targets:
// - a selective word (on about 1% of pages): at most 20 ms, and at most a
//   tenth of grep's time;
// Each case is timed as tavix-cli find runs it (open, search: cli),
// the search alone over an open index (search), and as the window's Find
// Pages runs it (a session kept between searches, folder watched: window).
// - a word on every page: no slower than the full scan;
// - a pattern with no usable literal: no slower than the full scan + 10%;
// - text index no larger than the notebook; indexing one saved page 5 ms.
//
//   bench_core_text_index [PAGES] [RUNS]
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <sqlite3.h>

#include "NotebookGenerator.h"
#include "Timing.h"
#include "index/NotebookIndex.h"
#include "index/TextSearch.h"
#include "search/PageMatcher.h"
#include "search/PageSearch.h"
#include "store/Notebook.h"
#include "store/TextCodec.h"

namespace {

using tavix::bench::Clock;
using tavix::bench::msSince;

template <typename F>
double best(int runs, F run) {
    double fastest = 1e18;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        run();
        fastest = std::min(fastest, msSince(start));
    }
    return fastest;
}

std::uint64_t folderBytes(const std::string& folder) {
    std::uint64_t total = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file()) total += entry.file_size();
    return total;
}

std::int64_t sqlInt(const std::string& path, const char* query) {
    sqlite3* db = nullptr;
    std::int64_t value = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, query, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            value = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return value;
}

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t pages = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 20000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    std::string base = (std::filesystem::temp_directory_path() / "tavix-bench-XXXXXX").string();
    if (!mkdtemp(base.data())) return 2;
    const std::string folder = base + "/notebook";
    const std::string cache = base + "/cache";
    std::filesystem::create_directories(folder);
    tavix::bench::NotebookGenerator generator;
    if (!generator.write(folder, pages)) return 2;
    // Files are trusted once they have been quiet for the index's period.
    std::this_thread::sleep_for(std::chrono::milliseconds(2200));
    std::system(("cat " + quoted(folder) + "/* > /dev/null").c_str());

    tavix::NotebookIndex index;
    if (!index.open(folder, cache)) return 2;
    const auto building = Clock::now();
    const tavix::IndexUpdate built = index.update();
    const double buildMs = msSince(building);
    if (!built.status) {
        std::fprintf(stderr, "update failed: %s\n", built.status.message().c_str());
        return 2;
    }
    const double noopUpdateMs = best(runs, [&] { index.update(); });

    const std::uint64_t notebookBytes = folderBytes(folder);
    const std::string db = index.databasePath();
    const std::int64_t textBytes =
        sqlInt(db, "SELECT sum(pgsize) FROM dbstat WHERE name IN ('page_text', 'grams')");
    struct stat info {};
    const std::int64_t fileBytes = ::stat(db.c_str(), &info) == 0 ? info.st_size : -1;

    struct Case {
        const char* label;
        const char* pattern;
    };
    const Case cases[] = {
        {"selective word (~1%)", "quarterly"},
        {"rare word (~0.3%)", "zeppelin"},
        {"word on every page", "the"},
        {"no usable literal", "\\bq\\w+ly\\b"},
        {"alternatives", "(quarterly|zeppelin) (report|notes)"},
    };
    std::printf("%zu pages, notebook %.1f MB; text index %.1f MB (%.0f%% of the notebook), whole index file "
                "%.1f MB; first build %.0f ms, update with nothing changed %.1f ms; best of %d runs, %u "
                "processors\n\n",
                pages, notebookBytes / 1e6, textBytes / 1e6, 100.0 * textBytes / notebookBytes, fileBytes / 1e6,
                buildMs, noopUpdateMs, runs, std::thread::hardware_concurrency());
    // As Find Pages in the window searches: one session, the folder watched.
    tavix::TextSearchSession session(folder, cache);
    {
        tavix::TextSearchRequest request;
        request.pattern = u"quarterly";
        request.updateFirst = false;
        const auto start = Clock::now();
        session.search(request);
        std::printf("window's first search (opens the index, starts the watch): %.1f ms\n\n", msSince(start));
    }
    std::printf("%-22s %-36s %6s %6s %9s %9s %9s %9s %9s %8s %8s\n", "case", "pattern", "found", "looked", "cli",
                "(search)", "window", "full scan", "grep", "cli/grep", "win/grep");
    for (const Case& c : cases) {
        tavix::TextSearchRequest request;
        request.pattern = tavix::fromUtf8(c.pattern);
        request.matchCase = true;
        tavix::TextSearchResult result;
        // As tavix-cli find does it: open the index and search (it updates
        // the index afterwards only when it read changed files).
        request.updateFirst = false;
        const double indexed = best(runs, [&] { result = tavix::searchNotebook(folder, request, cache); });
        tavix::PageMatcher matcher;
        matcher.setPattern(request.pattern);
        matcher.setMatchCase(true);
        tavix::TextSearchResult searchOnly;
        const double searchMs = best(runs, [&] { index.searchText(matcher, searchOnly); });
        tavix::TextSearchResult watched;
        const double window = best(runs, [&] { watched = session.search(request); });
        std::size_t scanned = 0;
        const double full = best(runs, [&] {
            tavix::Notebook notebook;
            notebook.setFolder(tavix::fromUtf8(folder));
            tavix::PageMatcher m;
            m.setPattern(request.pattern);
            m.setMatchCase(true);
            scanned = 0;
            for (tavix::PageSearch search(m, notebook.pages()); !search.atEnd(); search.next()) ++scanned;
        });
        const std::string grepCommand = "grep -rlE " + quoted(c.pattern) + " " + quoted(folder) + " > /dev/null";
        const double grep = best(runs, [&] { std::system(grepCommand.c_str()); });
        const bool same = result.found.size() == scanned && watched.found.size() == scanned && result.error.ok() &&
                          watched.error.ok();
        std::printf("%-22s %-36s %6zu %6zu %7.1fms %7.1fms %7.1fms %7.1fms %7.1fms %8.3f %8.3f%s\n", c.label,
                    c.pattern, result.found.size(), result.candidates, indexed, searchMs, window, full, grep,
                    indexed / grep, window / grep, same ? "" : "  DIFFERENT FROM THE SCAN");
    }

    // One saved page: what the program's save costs the index.
    std::vector<double> saves;
    for (int i = 0; i < 20; ++i) {
        const std::string name = tavix::bench::NotebookGenerator::pageName(static_cast<std::size_t>(i) * 97);
        std::string bytes = generator.pageText(static_cast<std::size_t>(i) * 97, pages);
        {
            FILE* out = std::fopen((folder + "/" + name + ".xhtml").c_str(), "wb");
            if (!out) return 2;
            std::fwrite(bytes.data(), 1, bytes.size(), out);
            std::fclose(out);
        }
        const auto start = Clock::now();
        if (!index.pageSaved(tavix::fromUtf8(name), bytes)) return 2;
        saves.push_back(msSince(start));
    }
    std::sort(saves.begin(), saves.end());
    std::printf("\nindexing one saved page: median %.2f ms, slowest %.2f ms (20 saves)\n", saves[saves.size() / 2],
                saves.back());
    std::filesystem::remove_all(base);
    return 0;
}
