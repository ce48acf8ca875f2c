#pragma once
// Saves killed at random moments, the way SQLite tests its commits: a child
// process saves a file of a few MB again and again, alternating between two
// contents, and is killed with SIGKILL at a random moment. After each kill the
// file must hold exactly one of the two contents, no stray file may be listed
// as a page, and the cleanup of stale temporary files must remove what the
// child left behind.
//
// A kill ends the process, not the machine: what reached the kernel stays.
// So this proves that no moment of a save exposes a half-written file or
// leaves litter that is never removed, not what a power cut would leave.
//
// Shared by the test test_store_kill_save and the benchmark
// bench_core_kill_save; it uses nothing but the core library.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "store/FileSystem.h"
#include "store/Notebook.h"
#include "store/PropertyNode.h"
#include "store/TextCodec.h"

namespace tavix::killsave {

enum class Road {
    Page,            // Notebook::writePage on "KillPage.xhtml"
    Settings,        // PropertyNode::save of "tavix.props"
    HardLinkedPage,  // writeFileAtomically on a page with a second hard link
};

inline const char* roadName(Road road) {
    switch (road) {
    case Road::Page: return "page";
    case Road::Settings: return "settings";
    case Road::HardLinkedPage: return "hard-linked page";
    }
    return "?";
}

struct Outcome {
    int kills = 0;
    int sawOld = 0;            // the file as it was when the child started
    int sawNew = 0;            // the other content, which the child wrote
    int failures = 0;          // a torn file, a stray page, an uncleaned leftover...
    std::size_t leftovers = 0;  // files the cleanup removed
    std::size_t recovered = 0;  // interrupted in-place rewrites it finished
    long maxDelayMicros = 0;    // the longest random delay before a kill
    std::vector<std::string> problems;  // the first few failures, described
};

namespace detail {

// Recognisable text of about size bytes; tag makes the two contents differ
// from their first byte on.
inline std::string text(char tag, std::size_t size) {
    std::string out;
    out.reserve(size + 64);
    for (std::size_t line = 0; out.size() < size; ++line)
        out += std::string(1, tag) + " line " + std::to_string(line) +
               " <p>some page text that is neither short nor long</p>\n";
    return out;
}

// Names in folder that start with ".tavix-": what saves leave behind.
inline std::vector<std::string> leftoversIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.rfind(".tavix-", 0) == 0)
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline void fail(Outcome& outcome, const std::string& what) {
    ++outcome.failures;
    if (outcome.problems.size() < 10)
        outcome.problems.push_back("kill " + std::to_string(outcome.kills) + ": " + what);
}

// True when the file at path holds exactly bytes. Read in small pieces: a
// large buffer written right after a fork costs a copy-on-write fault per
// page, slow on virtual machines.
inline bool holds(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info {};
    bool same = ::fstat(fd, &info) == 0 && static_cast<std::size_t>(info.st_size) == bytes.size();
    static char buffer[1 << 16];
    for (std::size_t done = 0; same;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            same = n == 0 && done == bytes.size();
            break;
        }
        const auto got = static_cast<std::size_t>(n);
        same = done + got <= bytes.size() && bytes.compare(done, got, buffer, got) == 0;
        done += got;
    }
    ::close(fd);
    return same;
}

// Counts what the file holds after a kill; old becomes the index of that
// content for the next round. False when it is neither content: the rounds
// cannot go on from a torn file.
inline bool judge(Outcome& outcome, const std::string& target, const std::string* const expected[2],
                  int& old) {
    if (holds(target, *expected[old])) {
        ++outcome.sawOld;
    } else if (holds(target, *expected[1 - old])) {
        ++outcome.sawNew;
        old = 1 - old;
    } else {
        std::string bytes;
        readWholeFile(target, bytes);
        fail(outcome, "torn file of " + std::to_string(bytes.size()) + " bytes");
        return false;
    }
    return true;
}

// Runs save(1) and save(0) in a child and returns the longer one's time in
// microseconds, or -1 when a save failed. Leaves the file as save(0) wrote it.
template <typename Save>
long timeSavesInChild(Save& save) {
    int channel[2];
    if (::pipe(channel) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        ::close(channel[0]);
        long slowest = 0;
        for (int which : {1, 0}) {
            const auto start = std::chrono::steady_clock::now();
            if (!save(which))
                ::_exit(3);
            const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
                std::chrono::steady_clock::now() - start);
            slowest = std::max<long>(slowest, static_cast<long>(took.count()));
        }
        ::_exit(::write(channel[1], &slowest, sizeof slowest) == sizeof slowest ? 0 : 2);
    }
    ::close(channel[1]);
    long slowest = -1;
    if (::read(channel[0], &slowest, sizeof slowest) != sizeof slowest)
        slowest = -1;
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? slowest : -1;
}

}  // namespace detail

// Runs kills rounds of one road in folder (which must exist and be empty).
// Each round the child starts, signals, and is killed after a random delay
// of up to maxDelayMicros, or up to a little more than the slowest of two
// saves timed beforehand when that is longer.
inline Outcome run(Road road, const std::string& folder, int kills, std::size_t bytes,
                   unsigned seed, int maxDelayMicros = 30000) {
    Outcome outcome;
    const std::string contents[2] = {detail::text('A', bytes), detail::text('B', bytes * 3 / 2)};

    Notebook notebook;
    notebook.setFolder(fromUtf8(folder));
    std::string target;
    std::vector<std::unique_ptr<PropertyNode>> roots;
    switch (road) {
    case Road::Page:
        target = folder + "/KillPage.xhtml";
        break;
    case Road::HardLinkedPage:
        target = folder + "/Linked.xhtml";
        break;
    case Road::Settings:
        target = folder + "/tavix.props";
        for (int i = 0; i < 2; ++i) {
            // One tree per content; its file text is the content. A quarter
            // of the size of a page: a hundred times a real settings file,
            // and quick enough to build that many kills land in the writing.
            auto root = std::make_unique<PropertyNode>(u"app", nullptr, fromUtf8(target));
            const std::u16string value = fromUtf8(std::string(200, i ? 'b' : 'a'));
            for (std::size_t n = 0; n * 230 < (i ? bytes * 3 / 8 : bytes / 4); ++n)
                root->set(u"Find.History." + fromUtf8(std::to_string(n)), value);
            root->set(u"StyleMap.LeftMargin", i ? u"20" : u"10");
            roots.push_back(std::move(root));
        }
        break;
    }
    std::string settingsText[2];
    const std::string* expected[2] = {&contents[0], &contents[1]};
    if (road == Road::Settings) {
        for (int i = 0; i < 2; ++i) {
            std::ostringstream out;
            roots[i]->writeTo(out, u"");
            settingsText[i] = out.str();
            expected[i] = &settingsText[i];
        }
    }
    auto save = [&](int which) -> bool {
        switch (road) {
        case Road::Page: return notebook.writePage(u"KillPage", contents[which]).ok();
        case Road::HardLinkedPage: return writeFileAtomically(target, contents[which]).ok();
        case Road::Settings: return roots[which]->save().ok();
        }
        return false;
    };

    // The random delays reach past a whole save, however slow the machine,
    // so that kills land in every phase of a save and between saves.
    if (road == Road::HardLinkedPage &&
        (!writeFileAtomically(target, contents[1]) ||
         ::link(target.c_str(), (folder + "/Other.xhtml").c_str()) != 0)) {
        detail::fail(outcome, "cannot make the second hard link");
        return outcome;
    }
    if (!save(1) || !save(0)) {
        detail::fail(outcome, "a save before the kills failed");
        return outcome;
    }
    // The random delays reach a little past a whole save, however slow the
    // machine, so that kills land in every phase of a save and between
    // saves. The saves are timed in a child, as the killed children run:
    // after a fork, whose copy-on-write makes them slower than the parent's.
    const long slowest = detail::timeSavesInChild(save);
    if (slowest < 0) {
        detail::fail(outcome, "a save before the kills failed");
        return outcome;
    }
    outcome.maxDelayMicros = std::max<long>(maxDelayMicros, slowest * 5 / 4);
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> delay(0, outcome.maxDelayMicros);
    int old = 0;
    if (!detail::holds(target, *expected[old])) {
        detail::fail(outcome, "the file holds neither content before the kills");
        return outcome;
    }
    for (int round = 0; round < kills; ++round) {
        int started[2];
        if (::pipe(started) != 0) {
            detail::fail(outcome, "pipe failed");
            return outcome;
        }
        const pid_t child = ::fork();
        if (child < 0) {
            detail::fail(outcome, "fork failed");
            return outcome;
        }
        if (child == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive the test
            ::close(started[0]);
            const char byte = 1;
            if (::write(started[1], &byte, 1) != 1)
                ::_exit(2);
            for (int i = 0;; ++i)
                if (!save(i % 2 == 0 ? 1 - old : old))
                    ::_exit(3);
        }
        ::close(started[1]);
        char byte = 0;
        const bool signalled = ::read(started[0], &byte, 1) == 1;
        ::close(started[0]);
        std::this_thread::sleep_for(std::chrono::microseconds(delay(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ++outcome.kills;
        if (!signalled || !WIFSIGNALED(status)) {
            detail::fail(outcome, "the child ended by itself: a save failed");
            continue;
        }

        const std::vector<std::string> left = detail::leftoversIn(folder);
        const std::string ours[2] = {".tavix-tmp-" + std::to_string(child) + "-",
                                     ".tavix-redo-" + std::to_string(child) + "-"};
        for (const std::string& name : left)
            if ((name.rfind(ours[0], 0) != 0 && name.rfind(ours[1], 0) != 0) ||
                name.find(".xhtml") != std::string::npos)
                detail::fail(outcome, "unexpected leftover " + name);

        if (road != Road::Settings) {
            // Listed before the cleanup, while the leftovers are still there.
            std::vector<std::u16string> listed;
            for (PageFileIterator it = notebook.pages(); !(it == PageIterator()); ++it)
                listed.push_back(it->pageName);
            const std::vector<std::u16string> pages =
                road == Road::Page ? std::vector<std::u16string>{u"KillPage"}
                                   : std::vector<std::u16string>{u"Linked", u"Other"};
            if (listed != pages)
                detail::fail(outcome, std::to_string(listed.size()) + " pages listed");
        }

        // An in-place rewrite cut short is finished by the cleanup; the other
        // roads must be whole before it.
        if (road != Road::HardLinkedPage && !detail::judge(outcome, target, expected, old))
            return outcome;
        const StaleCleanup cleaned = removeStaleTemporaries(folder);
        outcome.leftovers += cleaned.removed;
        outcome.recovered += cleaned.recovered;
        if (cleaned.removed != left.size() || !detail::leftoversIn(folder).empty())
            detail::fail(outcome, "the cleanup removed " + std::to_string(cleaned.removed) +
                                      " of " + std::to_string(left.size()) + " leftovers");
        if (road == Road::HardLinkedPage) {
            if (!detail::judge(outcome, target, expected, old))
                return outcome;
            struct stat one {}, two {};
            if (::stat(target.c_str(), &one) != 0 ||
                ::stat((folder + "/Other.xhtml").c_str(), &two) != 0 || one.st_ino != two.st_ino ||
                one.st_nlink != 2)
                detail::fail(outcome, "the hard link was split");
        }
    }
    return outcome;
}

}  // namespace tavix::killsave
