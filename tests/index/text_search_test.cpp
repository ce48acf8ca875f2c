// The text index against the full scan: whatever the pattern, the options
// and whatever happened to the page files, a search answered from the index
// hands out exactly the pages (in order, with title and places), the
// failure and the skipped pages that PageSearch over every file does.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "index/FolderWatch.h"
#include "index/NotebookIndex.h"
#include "index/RunsPacking.h"
#include "index/TextSearch.h"
#include "search/PageMatcher.h"
#include "search/PageSearch.h"
#include "store/FileSystem.h"
#include "store/Notebook.h"
#include "store/TextCodec.h"
#include "support/TempDir.h"

namespace tavix {
namespace {

using test::TempDir;

// Words as they stand in the files: escapes, text beyond ASCII and beyond
// the basic plane, letters whose case mapping is odd (dotted I, Kelvin
// sign, final sigma, a titlecase digraph, a ligature).
const std::vector<std::string> kFileWords = {
    "alpha", "Beta", "GAMMA", "delta", "zeppelin", "Zanzibar", "R&amp;D", "&lt;tag&gt;", "caf\u00e9",
    "CAF\u00c9", "na\u00efve", "\u00dcbersicht", "stra\u00dfe", "\u0130stanbul", "\u212Aelvin", "\u03a3\u03bf\u03c6\u03af\u03b1\u03c2",
    "\u01c5ungla", "\ufb01ne", "\U0001F600smile", "x1y2", "a.c", "abc", "(paren)", "50%", "tab\there",
    "ShoppingList", "FrontPage", "&#83;ign", "aaa", "aaaa"};

// Pieces of patterns: literal words in other cases, and the syntax around.
const std::vector<std::string> kPatternWords = {
    "alpha", "ALPHA", "beta", "Gamma", "zeppelin", "zanzibar", "R&D", "<tag>", "caf\u00e9", "CAF\u00c9",
    "cafe", "naive", "na\u00efve", "\u00fcbersicht", "STRASSE", "stra\u00dfe", "istanbul", "\u0130stanbul",
    "kelvin", "\u212Aelvin", "\u03c3\u03bf\u03c6\u03b9\u03b1\u03c3", "\u03a3\u039f\u03a6\u0399\u0391\u03a3",
    "\u01c4ungla", "\u01c6ungla", "fine", "\ufb01ne", "\U0001F600smile", "x1y2", "abc", "shopping",
    "ShoppingList", "frontpage", "Sign", "aaa", "ab", "zz", "tab\there", "50%", "a", "lph"};

std::string randomWord(std::mt19937& rng, const std::vector<std::string>& words) {
    return words[rng() % words.size()];
}

std::string pageFile(std::mt19937& rng) {
    auto words = [&](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) {
            if (i) s += rng() % 9 == 0 ? "  " : " ";
            const unsigned kind = rng() % 12;
            const std::string w = randomWord(rng, kFileWords);
            if (kind == 0) s += "<b>" + w + "</b>";
            else if (kind == 1) s += "<i>" + w + "<u>" + randomWord(rng, kFileWords) + "</u></i>";
            else if (kind == 2) s += w + "<!-- c -->" + randomWord(rng, kFileWords);
            else s += w;
        }
        return s;
    };
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\">";
    text += rng() % 2 ? "\n<head>" : "<head>";
    text += "<title>" + words(1 + rng() % 3) + "</title>";
    if (rng() % 3) text += "<meta name=\"keywords\" content=\"" + words(rng() % 4) + "\"/>";
    text += "</head><body>";
    const int paragraphs = rng() % 5;
    for (int p = 0; p < paragraphs; ++p) {
        const std::string tag = rng() % 4 ? "p" : "h2";
        text += (tag == "h2" ? "\n<" : "<") + tag + ">" + words(1 + rng() % 12) + "</" + tag + ">";
    }
    text += "</body></html>";
    // Now and then a page cut short (damaged) or with no body.
    if (rng() % 25 == 0) text.resize(text.size() / 2);
    return text;
}

// Builds a random pattern from the pieces above and Perl syntax.
std::string randomPattern(std::mt19937& rng, int depth = 0) {
    auto atom = [&]() -> std::string {
        const unsigned kind = rng() % (depth > 1 ? 20 : 26);
        std::string w = randomWord(rng, kPatternWords);
        if (rng() % 4 == 0 && w.size() > 3) w = w.substr(rng() % 2, 3 + rng() % (w.size() - 3));
        switch (kind) {
        case 0: return ".";
        case 1: return "\\w+";
        case 2: return "[a-z]";
        case 3: return "[^ ]+";
        case 4: return "\\d";
        case 5: return "\\s";
        case 6: return "\\b";
        case 7: return "^";
        case 8: return "$";
        case 9: return "\\.";
        case 10: return "\\(";
        case 11: return w + "?";
        case 12: return w + "+";
        case 13: return w + "*";
        case 14: return w + "{1,2}";
        case 15: return w + "{0,2}";
        case 16: return "a{2}";
        case 17: return "(?=" + w + ")";
        case 18: return "(a)\\1";
        case 19: return "\\Q" + w + ".\\E";
        case 20: return "(" + randomPattern(rng, depth + 1) + "|" + randomPattern(rng, depth + 1) + ")";
        case 21: return "(?:" + randomPattern(rng, depth + 1) + ")?";
        case 22: return "(" + randomPattern(rng, depth + 1) + ")+";
        case 23: return "(?i)" + w;
        case 24: return "(" + w + "|)";
        default: return w;
        }
    };
    std::string p;
    const int pieces = 1 + rng() % 3;
    for (int i = 0; i < pieces; ++i) {
        p += atom();
        if (rng() % 3 == 0) p += rng() % 2 ? " " : "";
    }
    if (rng() % 40 == 0) p += "(";  // does not compile
    return p;
}

struct Answer {
    std::vector<std::string> pages;  // name, title and places
    std::string error;
    std::size_t skipped = 0;
    bool operator==(const Answer&) const = default;
};

std::string describeHit(const std::u16string& name, const std::u16string& title, unsigned places) {
    return toUtf8(name) + " [" + toUtf8(title) + "] " + std::to_string(places);
}

Answer fullScan(const std::string& folder, PageMatcher& matcher) {
    Notebook notebook;
    notebook.setFolder(fromUtf8(folder));
    Answer answer;
    PageSearch search(matcher, notebook.pages(), 1);
    for (; !search.atEnd(); search.next())
        answer.pages.push_back(describeHit(search.current().pageName, search.currentTitle(), search.currentFoundIn()));
    answer.error = search.error() ? "" : search.error().message();
    answer.skipped = search.skipped().size();
    return answer;
}

Answer indexed(NotebookIndex& index, PageMatcher& matcher, std::size_t* candidates = nullptr,
               bool justUpdated = false, FolderWatch* watch = nullptr) {
    TextSearchResult result;
    Status status = index.searchText(matcher, result, justUpdated, watch);
    EXPECT_TRUE(status) << status.message();
    EXPECT_TRUE(result.usedIndex);
    Answer answer;
    for (const TextSearchHit& hit : result.found)
        answer.pages.push_back(describeHit(hit.page.pageName, hit.title, hit.foundIn));
    answer.error = result.error ? "" : result.error.message();
    answer.skipped = result.skipped.size();
    if (candidates) *candidates = result.candidates - result.fromFiles;
    return answer;
}

class TextSearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = notebookDir_.path();
        ASSERT_TRUE(index_.open(folder_, cacheDir_.path()));
        // Files get stamps of their own in the past (below), so they are
        // trusted at once and no edit can hide in one tick of the clock.
        index_.setQuietPeriod(0);
        index_.setTextMergeThreshold(8);
    }

    std::string name(int i) const { return "Page" + std::to_string(i); }

    void write(const std::string& page, const std::string& bytes) {
        const std::string path = folder_ + "/" + page + ".xhtml";
        ASSERT_TRUE(writeFileAtomically(path, bytes));
        setStamp(path, 1'000'000'000 + ++stamp_);
    }
    static void setStamp(const std::string& path, long seconds) {
        struct timespec times[2];
        times[0].tv_sec = times[1].tv_sec = seconds;
        times[0].tv_nsec = times[1].tv_nsec = 0;
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    // Writes over the file in place, as some editors do, and puts its
    // modification time back: only its change time and bytes tell.
    static void overwrite(const std::string& path, const std::string& bytes) {
        struct stat before {};
        const bool existed = ::stat(path.c_str(), &before) == 0;
        FILE* out = std::fopen(path.c_str(), "r+b");
        if (!out) out = std::fopen(path.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), out), bytes.size());
        ASSERT_EQ(::ftruncate(::fileno(out), static_cast<off_t>(bytes.size())), 0);
        std::fclose(out);
        if (existed) setStamp(path, before.st_mtim.tv_sec);
    }

    TempDir notebookDir_;
    TempDir cacheDir_;
    std::string folder_;
    NotebookIndex index_;
    long stamp_ = 0;
};

// Thousands of random patterns with random options, over a notebook edited
// at random between the searches: by the program (pageSaved), behind the
// index's back (files written, added, removed, not yet indexed), and with
// updates (merges of the trigram lists, stale lists rebuilt) in between.
TEST_F(TextSearchTest, AnswersAsTheFullScanDoes) {
    std::mt19937 rng(20261208);
    constexpr int kPages = 48;
    for (int i = 0; i < kPages; ++i) write(name(i), pageFile(rng));
    ASSERT_TRUE(index_.update().status);
    // The same searches with the folder watched (as the window searches):
    // the watch must see every change that a stat of every file would.
    FolderWatch watch(folder_);
    // A page with a second name outside the notebook, written through it.
    TempDir outside;
    const std::string linked = outside.path() + "/Linked.xhtml";
    ASSERT_EQ(::link((folder_ + "/" + name(3) + ".xhtml").c_str(), linked.c_str()), 0);
    int searches = 0;
    std::size_t passedOver = 0;
    for (int round = 0; round < 42; ++round) {
        const int edits = rng() % 6;
        for (int e = 0; e < edits; ++e) {
            const std::string page = name(rng() % (kPages + 10));
            const unsigned how = rng() % 6;
            if (how == 0) {
                std::remove((folder_ + "/" + page + ".xhtml").c_str());
            } else if (how == 1 && rng() % 2) {
                overwrite(rng() % 3 ? folder_ + "/" + page + ".xhtml" : linked, pageFile(rng));
            } else {
                const std::string bytes = pageFile(rng);
                write(page, bytes);
                if (how <= 2) {
                    ASSERT_TRUE(index_.pageSaved(fromUtf8(page), bytes));
                }
            }
        }
        // A file listed under a name the index keys otherwise.
        if (round == 10) write(name(1) + ".xhtml.old", pageFile(rng));
        // A page that is a symbolic link for a while, its target written
        // where no notice reaches the notebook's folder.
        const std::string symlink = folder_ + "/Symbolic.xhtml";
        if (round == 20) {
            ASSERT_EQ(::symlink(linked.c_str(), symlink.c_str()), 0);
        }
        if (round == 30) std::remove(symlink.c_str());
        // A folder where a page could be.
        if (round == 25) {
            ASSERT_EQ(::mkdir((folder_ + "/Folder.xhtml").c_str(), 0700), 0);
        }
        const bool updated = rng() % 3 == 0;
        if (updated) {
            ASSERT_TRUE(index_.update().status);
        }
        for (int k = 0; k < 50; ++k, ++searches) {
            std::string pattern = randomPattern(rng);
            const bool literal = rng() % 6 == 0;
            PageMatcher matcher;
            matcher.setPattern(literal ? PageMatcher::escapeLiteral(fromUtf8(pattern)) : fromUtf8(pattern));
            matcher.setMatchCase(rng() % 2);
            const unsigned places[] = {kMatchAnywhere, kMatchInKeywords, kMatchInTitle, kMatchInText};
            matcher.setPlaces(places[rng() % 4]);
            const Answer expected = fullScan(folder_, matcher);
            std::size_t candidates = 0;
            const Answer got = indexed(index_, matcher, &candidates);
            ASSERT_EQ(indexed(index_, matcher, nullptr, false, &watch), expected)
                << "watched, pattern \"" << pattern << "\" round " << round;
            passedOver += kPages - std::min<std::size_t>(kPages, candidates);
            // Right after an update the search may take the stamps it read.
            if (updated) {
                ASSERT_EQ(indexed(index_, matcher, nullptr, true), expected) << "pattern \"" << pattern;
            }
            ASSERT_EQ(got, expected) << "pattern \"" << pattern << "\" literal " << literal << " match case "
                                     << matcher.matchCase() << " places " << matcher.places() << " round "
                                     << round;
        }
    }
    EXPECT_GE(searches, 2000);
    // The index must also have passed over pages, or it proved nothing.
    EXPECT_GT(passedOver, 0u);
}

// A page whose text is only in the index (its file then changed behind the
// index's back) is searched from its file, and a page the index has never
// seen is found too.
TEST_F(TextSearchTest, PagesChangedSinceIndexedAreSearchedFromTheirFiles) {
    write("Old", "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>t</title></head><body><p>zeppelin</p></body></html>");
    write("Other", "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>t</title></head><body><p>nothing</p></body></html>");
    ASSERT_TRUE(index_.update().status);
    write("Other", "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>t</title></head><body><p>a zeppelin</p></body></html>");
    write("New", "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>t</title></head><body><p>zeppelins</p></body></html>");
    PageMatcher matcher;
    matcher.setPattern(u"zeppelin");
    TextSearchResult result;
    ASSERT_TRUE(index_.searchText(matcher, result));
    std::vector<std::u16string> names;
    for (const TextSearchHit& hit : result.found) names.push_back(hit.page.pageName);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"New", u"Old", u"Other"}));
    EXPECT_EQ(result.fromFiles, 2u);
}

// The entry point the desktop calls: builds the index in the cache folder
// on first use, answers from it, and answers the same with the full scan.
TEST_F(TextSearchTest, EntryPointBuildsTheIndexAndAgreesWithTheScan) {
    std::mt19937 rng(7);
    for (int i = 0; i < 30; ++i) write(name(i), pageFile(rng));
    TextSearchRequest request;
    request.pattern = u"(zeppelin|kelvin) ";
    const TextSearchResult first = searchNotebook(folder_, request, cacheDir_.path() + "/other");
    EXPECT_TRUE(first.usedIndex);
    EXPECT_TRUE(pathExists(NotebookIndex::indexPathFor(folder_, cacheDir_.path() + "/other")));
    request.useIndex = false;
    const TextSearchResult scan = searchNotebook(folder_, request, cacheDir_.path() + "/other");
    EXPECT_FALSE(scan.usedIndex);
    ASSERT_EQ(first.found.size(), scan.found.size());
    for (std::size_t i = 0; i < scan.found.size(); ++i) EXPECT_EQ(first.found[i].page, scan.found[i].page);
    request.literal = true;
    request.pattern = u"R&D";
    request.useIndex = true;
    const TextSearchResult literal = searchNotebook(folder_, request, cacheDir_.path() + "/other");
    request.useIndex = false;
    EXPECT_EQ(literal.found.size(), searchNotebook(folder_, request, cacheDir_.path() + "/other").found.size());
}

// The packed runs come back byte for byte, whatever they hold: text that
// ends inside a repeat, repeats overlapping themselves, none at all. (A
// page whose runs did not unpack would still be searched right, from its
// file, so only this shows such a fault.)
TEST(RunsPackingTest, UnpacksWhatWasPacked) {
    std::mt19937 rng(3);
    std::vector<std::string> samples = {"", "a", "abcd", "abcdabcd", "aaaaaaaaaaaaaaaaaaaa", "xyzxyzxyzxyzq",
                                        "the cat and the cat and the cat"};
    for (int i = 0; i < 2000; ++i) {
        std::string s;
        const int pieces = rng() % 40;
        for (int k = 0; k < pieces; ++k) {
            if (!s.empty() && rng() % 2) {
                const std::size_t from = rng() % s.size();
                s += s.substr(from, 1 + rng() % 12);  // a repeat, perhaps overlapping
            } else {
                s += randomWord(rng, kFileWords);
            }
        }
        samples.push_back(s);
    }
    std::string back;
    for (const std::string& s : samples) {
        const std::string packed = detail::packRuns(s);
        ASSERT_TRUE(detail::unpackRuns(packed, back)) << s;
        ASSERT_EQ(back, s);
        if (!packed.empty()) {
            EXPECT_FALSE(detail::unpackRuns(packed.substr(0, packed.size() - 1), back) && back == s);
        }
    }
}

}  // namespace
}  // namespace tavix
