// Renames killed at random moments: a child process renames a page linked
// from 500 pages and is killed with SIGKILL somewhere in the middle (while it
// reads, writes its journal, moves the file, rewrites the pages, updates the
// index or removes the journal). Once recoverJournal has run, the notebook
// must be wholly renamed or wholly not: every page holds the old name or
// every page the new one, the page file exists under the matching name, and
// the index says the same.
//
// A kill ends the process, not the machine, so the folder lives in memory
// (/dev/shm) where there is one: what reached the kernel stays either way,
// and the rounds are not slowed by the disk's syncs.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include <gtest/gtest.h>

#include "index/IndexOracle.h"
#include "index/PageRename.h"
#include "index/RenameJournal.h"

namespace tavix {
namespace {

using test::pageFile;

constexpr int kLinkingPages = 500;
constexpr int kKills = 60;
const std::string kNames[2] = {"AlphaTarget", "OmegaTarget"};

class Scratch {
public:
    Scratch() {
        const std::filesystem::path base = ::access("/dev/shm", W_OK) == 0
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "tavix-rename-kill-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

std::size_t occurrences(const std::string& text, const std::string& word) {
    std::size_t n = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

// Runs a rename in a child; returns its pid.
pid_t renameInChild(const std::string& folder, const std::string& cache, const std::string& from,
                    const std::string& to) {
    const pid_t child = ::fork();
    if (child == 0) {
        NotebookIndex index;
        bool ok = index.open(folder, cache).ok();
        ok = ok && renamePage(folder, index, fromUtf8(from), fromUtf8(to)).status.ok();
        ::_exit(ok ? 0 : 1);
    }
    return child;
}

// Which name the whole notebook holds, or -1 (with a message) when it is
// anything but one of the two, wholly.
int wholeState(const std::string& folder, std::string& problem) {
    const bool has[2] = {pathExists(folder + "/" + kNames[0] + ".xhtml"),
                         pathExists(folder + "/" + kNames[1] + ".xhtml")};
    if (has[0] == has[1]) {
        problem = has[0] ? "both page files exist" : "neither page file exists";
        return -1;
    }
    const int state = has[0] ? 0 : 1;
    for (int i = 0; i < kLinkingPages; ++i) {
        std::string bytes;
        readWholeFile(folder + "/Linking" + std::to_string(1000 + i) + "Page.xhtml", bytes);
        if (occurrences(bytes, kNames[state]) != 3 || occurrences(bytes, kNames[1 - state]) != 0) {
            problem = "page " + std::to_string(i) + " holds " +
                      std::to_string(occurrences(bytes, kNames[0])) + " old and " +
                      std::to_string(occurrences(bytes, kNames[1])) + " new names";
            return -1;
        }
    }
    if (pathExists(renameJournalPath(folder))) {
        problem = "the journal is still there";
        return -1;
    }
    return state;
}

TEST(RenameKill, ANotebookIsWhollyRenamedOrWhollyNot) {
    XmlLibrary xml;
    Scratch scratch;
    ASSERT_FALSE(scratch.path().empty());
    const std::string folder = scratch.path() + "/nb";
    const std::string cache = scratch.path() + "/cache";
    std::filesystem::create_directory(folder);
    for (int i = 0; i < kLinkingPages; ++i)
        ASSERT_TRUE(writeFileAtomically(
            folder + "/Linking" + std::to_string(1000 + i) + "Page.xhtml",
            pageFile("Linking " + std::to_string(i),
                     "<h1>Linking</h1><p>See " + kNames[0] + " for the list, then <b>" + kNames[0] +
                         "</b> again.</p><p>Other words, café and FrontPage.</p>",
                     "errands " + kNames[0])));
    ASSERT_TRUE(writeFileAtomically(folder + "/" + kNames[0] + ".xhtml",
                                    pageFile("Alpha Target", "<p>The target.</p>")));

    // How long one whole rename takes here, for spreading the kills over it.
    auto start = std::chrono::steady_clock::now();
    pid_t child = renameInChild(folder, cache, kNames[0], kNames[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    std::string problem;
    int state = wholeState(folder, problem);
    ASSERT_EQ(state, 1) << problem;

    std::mt19937 random(static_cast<unsigned>(std::time(nullptr)));
    std::uniform_int_distribution<long> delay(0, whole.count() * 11 / 10);
    int unchanged = 0;
    int renamed = 0;
    int recovered = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        const long micros = delay(random);
        child = renameInChild(folder, cache, kNames[state], kNames[1 - state]);
        std::this_thread::sleep_for(std::chrono::microseconds(micros));
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);

        // The next opening: no connection of this process was open while the
        // child lived (a forked SQLite connection must never be shared).
        NotebookIndex index;
        ASSERT_TRUE(index.open(folder, cache));
        const JournalRecovery recovery = recoverJournal(folder, &index);
        ASSERT_TRUE(recovery.status)
            << "kill " << kill << " after " << micros << " us: " << recovery.status.message();
        EXPECT_TRUE(recovery.conflicts.empty());
        recovered += recovery.found;
        const int now = wholeState(folder, problem);
        ASSERT_NE(now, -1) << "kill " << kill << " after " << micros << " us: " << problem;
        (now == state ? unchanged : renamed) += 1;
        state = now;

        // The index, shared with the killed child, says the same.
        std::vector<std::u16string> from;
        ASSERT_TRUE(index.backlinksOf(fromUtf8(kNames[state]), from));
        EXPECT_EQ(from.size(), static_cast<std::size_t>(kLinkingPages)) << "kill " << kill;
        ASSERT_TRUE(index.backlinksOf(fromUtf8(kNames[1 - state]), from));
        EXPECT_TRUE(from.empty()) << "kill " << kill;
        bool exists = false;
        ASSERT_TRUE(index.hasPage(fromUtf8(kNames[1 - state]), exists));
        EXPECT_FALSE(exists) << "kill " << kill;
    }
    // Kills spread over the whole rename see both outcomes, and some of them
    // an unfinished journal.
    EXPECT_GT(unchanged, 0);
    EXPECT_GT(renamed, 0);
    EXPECT_GT(recovered, 0);
    std::printf(
        "%d kills over %ld us: %d left it as it was, %d renamed, %d finished from the journal\n",
        kKills, static_cast<long>(whole.count()), unchanged, renamed, recovered);
}

}  // namespace
}  // namespace tavix
