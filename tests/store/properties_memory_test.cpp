// How much memory reading a settings file takes. A program of its own: it
// counts every allocation through a replaced global operator new.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include <malloc.h>

#include "store/NotebookStore.h"
#include "store/PropertyNode.h"
#include "support/TempDir.h"

namespace {

std::atomic<long long> gLive{0};
std::atomic<long long> gPeak{0};

void* counted(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    const long long now = gLive += static_cast<long long>(::malloc_usable_size(p));
    long long peak = gPeak.load();
    while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {
    }
    return p;
}

void uncounted(void* p) noexcept {
    if (!p)
        return;
    gLive -= static_cast<long long>(::malloc_usable_size(p));
    std::free(p);
}

}  // namespace

void* operator new(std::size_t size) { return counted(size); }
void* operator new[](std::size_t size) { return counted(size); }
void operator delete(void* p) noexcept { uncounted(p); }
void operator delete[](void* p) noexcept { uncounted(p); }
void operator delete(void* p, std::size_t) noexcept { uncounted(p); }
void operator delete[](void* p, std::size_t) noexcept { uncounted(p); }

namespace tavix {
namespace {

using test::TempDir;

// The most memory allocated at once while reading the file, beyond what was
// allocated before.
long long peakWhileLoading(NotebookStore& store, const std::u16string& path) {
    const long long before = gLive.load();
    gPeak = before;
    store.loadSettingsFrom(path);
    const long long peak = gPeak.load() - before;
    std::printf("peak while reading: %lld bytes\n", peak);
    return peak;
}

std::string dottedLine(int parts) {
    std::string line = "app.";
    for (int i = 0; i < parts; ++i)
        line += i ? ".a" : "a";
    return line + "=x\n";
}

TEST(PropertiesMemory, AHugeDottedLineTakesAtMostTenTimesTheFileSize) {
    TempDir dir;
    const std::string file = dottedLine(100000);
    dir.write("tavix.props", file);
    NotebookStore store;
    const long long peak = peakWhileLoading(store, dir.path16() + u"/tavix.props");
    EXPECT_LE(peak, 10 * static_cast<long long>(file.size())) << peak << " bytes";

    // Saving and reading again stays as small.
    ASSERT_TRUE(store.saveStyleSheet().ok());
    NotebookStore again;
    EXPECT_LE(peakWhileLoading(again, dir.path16() + u"/tavix.props"),
              10 * static_cast<long long>(file.size()));
    EXPECT_EQ(again.styleSheet(), store.styleSheet());
}

TEST(PropertiesMemory, ManyDeepDistinctPathsStayBounded) {
    // The worst a file can do within the limit of parts: every line a new
    // path of 64 one-letter parts, each part a node of its own.
    TempDir dir;
    std::string file;
    for (int line = 0; file.size() < 200000; ++line) {
        file += "app.L" + std::to_string(line);
        for (int i = 1; i < 64; ++i)
            file += ".a";
        file += "=x\n";
    }
    dir.write("tavix.props", file);
    NotebookStore store;
    const long long peak = peakWhileLoading(store, dir.path16() + u"/tavix.props");
    EXPECT_LE(peak, 10 * static_cast<long long>(file.size())) << peak << " bytes";
}

TEST(PropertiesMemory, ManyShortDistinctKeysStayBounded) {
    TempDir dir;
    std::string file;
    for (int line = 0; file.size() < 200000; ++line)
        file += "app.k" + std::to_string(line) + "=\n";
    dir.write("tavix.props", file);
    NotebookStore store;
    const long long peak = peakWhileLoading(store, dir.path16() + u"/tavix.props");
    EXPECT_LE(peak, 10 * static_cast<long long>(file.size())) << peak << " bytes";
}

}  // namespace
}  // namespace tavix
