// Writes a notebook of generated pages for measuring search:
//   bench_core_make_notebook FOLDER [COUNT] [SEED]
// FOLDER is created when missing; COUNT defaults to 20000 pages of about
// 4 KB. The same COUNT and SEED always give the same files.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "NotebookGenerator.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: %s FOLDER [COUNT] [SEED]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const std::size_t count = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 20000;
    const std::uint64_t seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "cannot create %s: %s\n", folder.c_str(), ec.message().c_str());
        return 2;
    }
    tavix::bench::NotebookGenerator generator(seed);
    if (!generator.write(folder, count)) {
        std::fprintf(stderr, "cannot write the pages into %s\n", folder.c_str());
        return 2;
    }
    std::printf("%zu pages written to %s\n", count, folder.c_str());
    return 0;
}
