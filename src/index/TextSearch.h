#pragma once
// Page search answered from the text index kept beside the notebook index:
// the same pages, in the same order, with the same titles and places, as
// PageSearch over the page files, only faster.
//
// What every match must contain is read from the pattern (RequiredText);
// the index's trigrams of each page's text pass over the pages that cannot
// hold it, and the real PageMatcher decides every other page over the runs
// of text recorded when the page was indexed. Pages whose files changed
// since, are not indexed, or could not be recorded faithfully are searched
// from their files, as are pages listed under a file the index does not
// name. The index only ever passes over pages that cannot match.
//
// The desktop's entry point is searchNotebook(): give it the notebook
// folder and the request; it opens the index in the cache folder, brings it
// up to date (or not, see updateFirst), and searches, falling back to the
// full scan of the files when the index cannot be used at all.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "search/MatchPlace.h"
#include "store/FoundPage.h"
#include "store/Status.h"

namespace tavix {

class FolderWatch;
class NotebookIndex;

struct TextSearchHit {
    FoundPage page;
    std::u16string path;   // the page's file
    std::u16string title;  // as PageSearch::currentTitle
    unsigned foundIn = 0;  // MatchPlace bits, as PageSearch::currentFoundIn
};

struct TextSearchResult {
    std::vector<TextSearchHit> found;  // listing order
    // As PageSearch: why the search ended early (bad pattern, a match the
    // library gave up on, stopped), with the pages found before; hostile
    // pages passed over, each with its reason.
    Status error;
    bool stopped = false;
    std::vector<Status> skipped;
    // How it was answered: usedIndex false for the full scan of the files.
    bool usedIndex = false;
    std::size_t listed = 0;      // page files listed
    std::size_t candidates = 0;  // pages the matcher looked at
    std::size_t fromFiles = 0;   // of those, read from their files
    double milliseconds = 0;     // the whole call, update included
    double updateMilliseconds = 0;
};

struct TextSearchRequest {
    std::u16string pattern;
    bool matchCase = false;
    bool literal = false;               // find pattern as it stands
    unsigned places = kMatchAnywhere;   // kMatchInKeywords for keywords only
    const std::atomic<bool>* cancel = nullptr;
    // Brings the index up to date with the folder first (reads the files
    // changed since). Without it pages changed since are still found right
    // (searched from their files); only new pages' files are then read each
    // time until an update.
    bool updateFirst = true;
    bool useIndex = true;               // false: the full scan, as PageSearch
};

// cacheFolder empty: NotebookIndex::defaultCacheFolder().
TextSearchResult searchNotebook(const std::string& notebookFolder, const TextSearchRequest& request,
                                const std::string& cacheFolder = {});

// Searches of one notebook, one after another, as searchNotebook answers
// each: the index stays open between them and the folder is watched (see
// index/FolderWatch.h), so a search looks again only at the files changed
// since the last one rather than at every file. For a program that searches
// a notebook again and again, as Find Pages does while the user types.
// Searches from several threads take turns.
class TextSearchSession {
public:
    explicit TextSearchSession(std::string notebookFolder, std::string cacheFolder = {});
    ~TextSearchSession();
    TextSearchSession(const TextSearchSession&) = delete;
    TextSearchSession& operator=(const TextSearchSession&) = delete;

    const std::string& folder() const { return folder_; }
    TextSearchResult search(const TextSearchRequest& request);
    // Searches begun so far: the first one opens the index and looks at
    // every file, so it says little about how long the others take.
    int searches() const { return searches_; }
    // For tests that need the trusted path (see NotebookIndex::setQuietPeriod).
    void setQuietPeriod(std::int64_t nanoseconds) { quietNs_ = nanoseconds; }

private:
    std::mutex lock_;
    std::string folder_;
    std::string cacheFolder_;
    std::int64_t quietNs_ = -1;
    std::atomic<int> searches_{0};
    std::unique_ptr<NotebookIndex> index_;
    std::unique_ptr<FolderWatch> watch_;
};

}  // namespace tavix
