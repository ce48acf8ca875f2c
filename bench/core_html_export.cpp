// The website export of a generated notebook of 20,000 pages of about 4 KB:
//   bench_core_html_export [PAGES] [FOLDER] [THREADS]
// (PAGES 20000 by default, in a new folder under FOLDER, the system's
// temporary folder by default, removed at the end.) Prints each figure
// against its target:
//   export into a new folder                     <= 10 s
//   export again over the files of the first one <= 10 s
// Exits with 1 when a figure misses its target or the export fails.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "NotebookGenerator.h"
#include "Timing.h"
#include "index/HtmlExport.h"
#include "store/Notebook.h"
#include "store/StyleSheet.h"
#include "store/TextCodec.h"

using namespace tavix;
using namespace tavix::bench;


int main(int argc, char** argv) {
    const std::size_t pages = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 20000;
    if (pages == 0) {
        std::fprintf(stderr, "usage: %s [PAGES] [FOLDER]\n", argv[0]);
        return 2;
    }
    const std::filesystem::path base =
        argc > 2 ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path();
    std::string pattern = (base / "tavix-html-export-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::fprintf(stderr, "cannot make a folder under %s\n", base.c_str());
        return 2;
    }
    const std::string root = pattern;
    const std::string folder = root + "/notebook";
    const std::string site = root + "/site";
    std::filesystem::create_directory(folder);
    bench::NotebookGenerator generator;
    if (!generator.write(folder, pages)) {
        std::fprintf(stderr, "cannot write the pages into %s\n", folder.c_str());
        return 2;
    }
    Notebook notebook;
    notebook.setFolder(fromUtf8(folder));
    const StyleSheet styles;
    HtmlExportOptions options;
    options.threads = argc > 3 ? static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10)) : 0;
    std::printf("%zu pages of about 4 KB\n", pages);

    for (const char* what : {"export into a new folder", "export again over its own files"}) {
        const auto start = Clock::now();
        const HtmlExportResult result = exportHtml(notebook, styles, site, options);
        const double ms = msSince(start);
        if (!result.complete() || result.written != pages) {
            std::fprintf(stderr, "export failed: %s (%zu of %zu pages written)\n",
                         result.status.message().c_str(), result.written, pages);
            missedTarget() = true;
            break;
        }
        report(what, ms, 10000);
    }
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return missedTarget() ? 1 : 0;
}
