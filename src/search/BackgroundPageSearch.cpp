#include "search/BackgroundPageSearch.h"

#include <mutex>
#include <thread>

#include <QMessageBox>

#include "index/TextSearch.h"
#include "search/PageMatcher.h"
#include "search/PageSearch.h"
#include "store/Notebook.h"
#include "store/TextCodec.h"
#include "ui/PageListWindow.h"

namespace tavix {

namespace {

// Often enough that results and progress look live, seldom enough that
// the event loop barely notices.
constexpr int kPollMs = 40;

}  // namespace

struct BackgroundPageSearch::Job {
    SearchControl control;
    std::mutex lock;
    // Guarded by lock:
    std::vector<PageListEntry> found;  // not yet handed to the pane
    bool done = false;
    Status error;
    bool stopped = false;
    std::vector<Status> skipped;
    std::size_t foundCount = 0;
    bool usedIndex = false;
    double milliseconds = -1;  // how long the index took to answer (-1: not telling)
    std::thread worker;
    std::shared_ptr<TextSearchSession> session;  // of request.folder, when from the index

    void run(const Request& request) {
        try {
            if (session) {
                runFromIndex(request);
                return;
            }
            PageMatcher matcher;
            matcher.setPattern(request.pattern);
            matcher.setMatchCase(request.matchCase);
            matcher.setPlaces(request.places);
            // A notebook of its own: the frame's is not to be touched from
            // this thread. Listing needs only the folder.
            Notebook notebook;
            notebook.setFolder(request.folder);
            PageSearch search(matcher, notebook.pages(), 0, &control);
            for (; !search.atEnd(); search.next()) {
                std::lock_guard<std::mutex> hold(lock);
                found.push_back({search.current(), search.currentTitle(), search.currentFoundIn()});
                ++foundCount;
            }
            std::lock_guard<std::mutex> hold(lock);
            error = search.error();
            stopped = search.stopped();
            skipped = search.skipped();
            done = true;
        } catch (const std::exception& e) {
            std::lock_guard<std::mutex> hold(lock);
            error = Status::failure(std::string("the search failed: ") + e.what());
            done = true;
        }
    }

    // The whole answer at once: from the index it comes within milliseconds,
    // and without one the search reads every file itself.
    void runFromIndex(const Request& request) {
        TextSearchRequest query;
        query.pattern = request.literal ? request.searchText : request.pattern;
        query.literal = request.literal;
        query.matchCase = request.matchCase;
        query.places = request.places;
        query.cancel = &control.cancel;
        // The window's index service keeps the index current as files
        // change; pages changed since are searched from their files anyway.
        query.updateFirst = false;
        const bool first = session->searches() == 0;
        TextSearchResult result = session->search(query);
        std::lock_guard<std::mutex> hold(lock);
        for (TextSearchHit& hit : result.found)
            found.push_back({std::move(hit.page), std::move(hit.title), hit.foundIn});
        foundCount = found.size();
        control.total = result.listed;
        control.tested = result.listed;
        error = std::move(result.error);
        stopped = result.stopped;
        skipped = std::move(result.skipped);
        usedIndex = result.usedIndex;
        // The first search sets the session up; those after it tell how
        // quickly the index answers.
        milliseconds = first ? -1 : result.milliseconds;
        done = true;
    }
};

BackgroundPageSearch& BackgroundPageSearch::of(PageListWindow& pane) {
    if (auto* existing = pane.findChild<BackgroundPageSearch*>(QString(), Qt::FindDirectChildrenOnly))
        return *existing;
    return *new BackgroundPageSearch(pane);
}

BackgroundPageSearch::BackgroundPageSearch(PageListWindow& pane) : QObject(&pane), pane_(pane) {
    message_ = [](QWidget* owner, const QString& title, const QString& text) {
        QMessageBox::warning(owner, title, text);
    };
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, &BackgroundPageSearch::poll);
    connect(&pane_, &PageListWindow::stopRequested, this, &BackgroundPageSearch::stop);
}

BackgroundPageSearch::~BackgroundPageSearch() {
    if (job_)
        retired_.push_back(std::move(job_));
    for (auto& job : retired_) {
        job->control.cancel = true;
        if (job->worker.joinable())
            job->worker.join();
    }
}

bool BackgroundPageSearch::isRunning() const { return job_ != nullptr; }

bool BackgroundPageSearch::answersQuickly() const {
    constexpr double kQuickMs = 100;
    return lastMilliseconds_ < 0 || (lastUsedIndex_ && lastMilliseconds_ < kQuickMs);
}

bool BackgroundPageSearch::hasWorkers() const { return job_ != nullptr || !retired_.empty(); }

void BackgroundPageSearch::start(const Request& request) {
    stop();
    auto job = std::make_shared<Job>();
    if (request.useIndex) {
        // One session per notebook: searches after the first look again
        // only at the files changed since the last.
        const std::string folder = toUtf8(request.folder);
        if (!session_ || session_->folder() != folder)
            session_ = std::make_shared<TextSearchSession>(folder);
        job->session = session_;
    }
    pane_.beginSearch(request.searchText);
    try {
        // The worker holds the job too, so it may outlive a stop.
        job->worker = std::thread([job, request] { job->run(request); });
    } catch (const std::system_error& e) {
        pane_.endSearch(tr("The search could not be started: %1").arg(QString::fromLocal8Bit(e.what())));
        return;
    }
    job_ = std::move(job);
    poll_.start();
}

void BackgroundPageSearch::stop() {
    if (!job_)
        return;
    job_->control.cancel = true;
    std::size_t found = 0;
    std::size_t tested = 0;
    {
        // What the worker found before the stop still counts.
        std::lock_guard<std::mutex> hold(job_->lock);
        pane_.addEntries(job_->found);
        job_->found.clear();
        found = job_->foundCount;
        tested = job_->control.tested.load();
    }
    pane_.endSearch(tr("Stopped after %1 of %2 pages: %3 found so far.")
                        .arg(tested)
                        .arg(job_->control.total.load())
                        .arg(found));
    retired_.push_back(std::move(job_));
    emit finished();
}

void BackgroundPageSearch::poll() {
    collectRetired();
    if (!job_) {
        if (retired_.empty())
            poll_.stop();
        return;
    }
    deliver(*job_);
}

void BackgroundPageSearch::deliver(Job& job) {
    std::vector<PageListEntry> found;
    bool done = false;
    Status error;
    std::vector<Status> skipped;
    std::size_t count = 0;
    {
        // Only swaps under the lock: the worker never waits on the pane.
        std::lock_guard<std::mutex> hold(job.lock);
        found.swap(job.found);
        done = job.done;
        error = job.error;
        skipped = job.skipped;
        count = job.foundCount;
    }
    pane_.addEntries(found);
    pane_.setSearchProgress(job.control.tested.load(), job.control.total.load());
    if (!done)
        return;

    job.worker.join();  // it has nothing left to do
    if (job.milliseconds >= 0) {  // a search through the index
        lastMilliseconds_ = job.milliseconds;
        lastUsedIndex_ = job.usedIndex;
    }
    job_.reset();
    QString note = count == 1 ? tr("1 page found.") : tr("%1 pages found.").arg(count);
    if (!skipped.empty()) {
        QStringList reasons;
        for (const Status& page : skipped)
            reasons << QString::fromStdString(page.message());
        note += QLatin1Char(' ') + tr("Not searched (and not listed): %1").arg(reasons.join(QStringLiteral("; ")));
    }
    if (!error) {
        // A search cut short would list a part that looks like the whole.
        pane_.clear();
        note = tr("The pages could not be searched: %1").arg(QString::fromStdString(error.message()));
    }
    pane_.endSearch(note);
    emit finished();
    if (!error && message_)
        message_(pane_.window(), tr("Find Pages"), note);
}

void BackgroundPageSearch::collectRetired() {
    for (auto it = retired_.begin(); it != retired_.end();) {
        bool done = false;
        {
            std::lock_guard<std::mutex> hold((*it)->lock);
            done = (*it)->done;
        }
        if (done) {
            (*it)->worker.join();
            it = retired_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace tavix
