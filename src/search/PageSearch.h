#pragma once
// Walks the page files of one notebook and stops at every page whose text
// matches a PageMatcher, in the order of the notebook's listing.
//
//   PageMatcher matcher;
//   matcher.setPattern(text);
//   matcher.setMatchCase(false);
//   for (PageSearch search(matcher, notebook.pages()); !search.atEnd(); search.next())
//       use(search.current());
//   if (!search.error()) tell the user search.error().message()
#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "search/PageMatcher.h"
#include "store/FoundPage.h"
#include "store/Notebook.h"
#include "store/Status.h"

namespace tavix {

// Lets another thread follow a search and end it. Every member may be read
// or set from any thread while the search runs.
struct SearchControl {
    std::atomic<bool> cancel{false};         // set to end the search soon
    std::atomic<std::size_t> tested{0};      // files tested so far
    std::atomic<std::size_t> total{0};       // files in the listing, once listed
};

class PageSearch {
public:
    // Tests the listing's files and stands on the first matching page, or
    // at the end. threads is how many files are parsed at once (0: one per
    // processor, at most 4); the pages handed out and their order are the
    // same for any number. The matcher must outlive the search and is not
    // changed while the search runs; its pattern and match case are fixed
    // at construction, as are its places. A control, when given, must
    // outlive the search; setting its cancel flag ends the search at the
    // next file or run of text, with stopped() set.
    PageSearch(PageMatcher& matcher, const PageFileIterator& listing, unsigned threads = 0,
               SearchControl* control = nullptr);
    ~PageSearch();
    PageSearch(const PageSearch&) = delete;
    PageSearch& operator=(const PageSearch&) = delete;

    // The page the search stands on. Only while !atEnd().
    const FoundPage& current() const;
    // Path of that page's file. Only while !atEnd().
    const std::u16string& currentPath() const;
    // Where that page matched (MatchPlace bits) and its title element's
    // text. Only while !atEnd().
    unsigned currentFoundIn() const;
    const std::u16string& currentTitle() const;
    // Moves to the next matching page, or to the end.
    void next();
    // True when no more matching pages remain, including after a failure.
    bool atEnd() const;

    // Why the search ended early: the pattern does not compile, or a match
    // exceeded the library's limits. Pages that matched before the failing
    // file were still handed out; none after it are. ok() when the listing
    // was searched to its end (or the end has not been reached yet).
    const Status& error() const { return error_; }
    // True when the search ended because its control asked it to.
    bool stopped() const { return stopped_; }
    // Files that could not be searched on their own account (hostile pages
    // the parser's bounds stopped, which cannot be opened either), in
    // listing order, each with its reason. They count as not matching; the
    // search goes on past them.
    const std::vector<Status>& skipped() const { return skipped_; }

private:
    struct Candidate {
        FoundPage entry;
        std::u16string path;
        std::u16string title;   // filled when the file matched
        unsigned foundIn = 0;
    };
    // Records a tested file's outcome in its candidate.
    void keep(std::size_t index, const PageMatcher& matcher);
    bool cancelled() const;

    // Tests files until at least one match is ready or the listing is done.
    void fill();
    // Tests candidates [begin, end); returns the index of the first file
    // that failed, or end.
    std::size_t testBatch(std::size_t begin, std::size_t end, std::vector<char>& matched);
    std::size_t testInParallel(std::size_t begin, std::size_t end, std::vector<char>& matched);

    PageMatcher& matcher_;
    std::vector<std::unique_ptr<PageMatcher>> helpers_;  // one per extra thread
    unsigned threads_;
    std::vector<Candidate> candidates_;
    std::size_t tested_ = 0;      // candidates [0, tested_) have been tested
    std::size_t batchSize_;       // grows so the first match comes quickly
    std::vector<std::size_t> ready_;  // matching candidates not yet handed out
    std::size_t readyPos_ = 0;
    Status error_;
    bool stopped_ = false;
    std::vector<Status> skipped_;
    SearchControl* control_;
};

}  // namespace tavix
