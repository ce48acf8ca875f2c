#include "search/PageSearch.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

namespace tavix {

namespace {

// Small first batches hand out the first match quickly; later ones are
// large enough that starting threads costs nothing measurable.
constexpr std::size_t kFirstBatch = 16;
constexpr std::size_t kLargestBatch = 1024;
constexpr unsigned kMostThreads = 4;

unsigned threadCount(unsigned asked) {
    if (asked == 0) asked = std::max(1u, std::thread::hardware_concurrency());
    return std::min(asked, kMostThreads);
}

}  // namespace

PageSearch::PageSearch(PageMatcher& matcher, const PageFileIterator& listing, unsigned threads,
                       SearchControl* control)
    : matcher_(matcher), threads_(threadCount(threads)), batchSize_(kFirstBatch), control_(control) {
    matcher_.setCancelFlag(control_ ? &control_->cancel : nullptr);
    Status compiled = matcher_.compile();
    if (!compiled) {
        // Nothing can match an expression that does not exist; say why.
        error_ = compiled;
        return;
    }
    PageFileIterator it = listing;
    const PageIterator end;
    for (; !(it == end) && !cancelled(); ++it) candidates_.push_back({*it, it.path(), {}, 0});
    if (control_) control_->total.store(candidates_.size());
    if (cancelled()) {
        stopped_ = true;
        error_ = Status::failure("the search was stopped");
        return;
    }
    if (threads_ > 1 && candidates_.size() > 1) {
        for (unsigned i = 1; i < threads_; ++i) {
            auto helper = std::make_unique<PageMatcher>();
            helper->setPattern(matcher_.pattern());
            helper->setMatchCase(matcher_.matchCase());
            helper->setPlaces(matcher_.places());
            helper->setCancelFlag(control_ ? &control_->cancel : nullptr);
            helper->compile();  // same text, same flags: compiles like the first
            helpers_.push_back(std::move(helper));
        }
    }
    fill();
}

PageSearch::~PageSearch() = default;

const FoundPage& PageSearch::current() const { return candidates_[ready_[readyPos_]].entry; }

const std::u16string& PageSearch::currentPath() const { return candidates_[ready_[readyPos_]].path; }

unsigned PageSearch::currentFoundIn() const { return candidates_[ready_[readyPos_]].foundIn; }

const std::u16string& PageSearch::currentTitle() const { return candidates_[ready_[readyPos_]].title; }

bool PageSearch::cancelled() const { return control_ && control_->cancel.load(std::memory_order_relaxed); }

void PageSearch::keep(std::size_t index, const PageMatcher& matcher) {
    if (control_) control_->tested.fetch_add(1, std::memory_order_relaxed);
    if (matcher.foundIn() == 0) return;
    candidates_[index].foundIn = matcher.foundIn();
    candidates_[index].title = matcher.title();
}

void PageSearch::next() {
    if (atEnd()) return;
    ++readyPos_;
    fill();
}

bool PageSearch::atEnd() const { return readyPos_ >= ready_.size(); }

void PageSearch::fill() {
    while (readyPos_ >= ready_.size() && tested_ < candidates_.size() && error_.ok()) {
        ready_.clear();
        readyPos_ = 0;
        const std::size_t begin = tested_;
        const std::size_t end = std::min(candidates_.size(), begin + batchSize_);
        batchSize_ = std::min(batchSize_ * 2, kLargestBatch);
        std::vector<char> matched(end - begin, 0);
        const std::size_t failedAt =
            helpers_.empty() || end - begin < 2 ? testBatch(begin, end, matched) : testInParallel(begin, end, matched);
        // Pages before a failing file were decided before the failure and
        // are kept, exactly as a search that tests one file at a time.
        for (std::size_t i = begin; i < failedAt; ++i)
            if (matched[i - begin]) ready_.push_back(i);
        tested_ = failedAt < end ? candidates_.size() : end;
    }
}

std::size_t PageSearch::testBatch(std::size_t begin, std::size_t end, std::vector<char>& matched) {
    for (std::size_t i = begin; i < end; ++i) {
        const bool found = matcher_.matchesFile(candidates_[i].path);
        if (!matcher_.error()) {
            if (matcher_.failedOnFile()) {
                skipped_.push_back(matcher_.error());
                continue;
            }
            error_ = matcher_.error();
            stopped_ = matcher_.stopped();
            return i;
        }
        matched[i - begin] = found ? 1 : 0;
        keep(i, matcher_);
    }
    return end;
}

std::size_t PageSearch::testInParallel(std::size_t begin, std::size_t end, std::vector<char>& matched) {
    // Each thread claims the next untested file in listing order, so every
    // file before the first failing one has been claimed, and will be
    // finished, before any thread notices the failure and stops.
    std::atomic<std::size_t> nextIndex{begin};
    std::atomic<std::size_t> firstFailure{end};
    std::mutex failureLock;
    Status failure;
    bool stopped = false;
    std::vector<std::pair<std::size_t, Status>> skipped;
    auto work = [&](PageMatcher& matcher) {
        for (;;) {
            const std::size_t i = nextIndex.fetch_add(1);
            if (i >= end || i > firstFailure.load()) return;
            const bool found = matcher.matchesFile(candidates_[i].path);
            if (!matcher.error() && matcher.failedOnFile()) {
                std::lock_guard<std::mutex> lock(failureLock);
                skipped.emplace_back(i, matcher.error());
                continue;
            }
            if (!matcher.error()) {
                std::lock_guard<std::mutex> lock(failureLock);
                if (i < firstFailure.load()) {
                    firstFailure.store(i);
                    failure = matcher.error();
                    stopped = matcher.stopped();
                }
                return;
            }
            matched[i - begin] = found ? 1 : 0;
            keep(i, matcher);
        }
    };
    std::vector<std::thread> workers;
    for (auto& helper : helpers_) {
        try {
            workers.emplace_back(work, std::ref(*helper));
        } catch (const std::system_error&) {
            break;  // fewer threads: the remaining ones share the work
        }
    }
    work(matcher_);
    for (auto& worker : workers) worker.join();
    if (firstFailure.load() < end) {
        error_ = failure;
        stopped_ = stopped;
    }
    // Listing order, as a search of one file at a time reports them; none
    // past a failure, which that search would not have reached.
    std::sort(skipped.begin(), skipped.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [index, reason] : skipped)
        if (index < firstFailure.load())
            skipped_.push_back(std::move(reason));
    return firstFailure.load();
}

}  // namespace tavix
