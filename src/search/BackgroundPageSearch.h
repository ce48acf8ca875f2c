#pragma once
// Runs a page search on a worker thread and fills the "Found Pages" pane as
// pages are found, so the window stays usable however long it takes.
//
// One search per pane: it lives as the pane's child, made at the first
// search (BackgroundPageSearch::of(pane)). A new search stops the one
// running; the pane's Stop button ends it at once from the user's side (the
// worker notices within one run of text and is collected later). Results
// arrive in the notebook's listing order, as PageSearch hands them out.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "search/MatchPlace.h"

namespace tavix {

class PageListWindow;
class TextSearchSession;

class BackgroundPageSearch : public QObject {
    Q_OBJECT
public:
    struct Request {
        std::u16string folder;      // the notebook's folder
        std::u16string searchText;  // as typed, for the caption
        std::u16string pattern;     // the expression searched (escaped when literal)
        bool matchCase = false;
        unsigned places = kMatchAnywhere;
        bool literal = false;       // searchText found as it stands (pattern is it escaped)
        // Answered from the notebook's text index where it can be (the same
        // pages as reading every file, much sooner); false reads every file.
        bool useIndex = true;
    };
    // How a failure is told once the search has ended; the default is a
    // warning box over the pane's window. Tests catch it instead.
    using MessageFunction = std::function<void(QWidget* parent, const QString& title, const QString& text)>;

    // The pane's search, made on first use.
    static BackgroundPageSearch& of(PageListWindow& pane);

    explicit BackgroundPageSearch(PageListWindow& pane);
    // Stops the search and waits for its worker (at most one run of text).
    ~BackgroundPageSearch() override;

    // Stops any running search, then starts this one.
    void start(const Request& request);
    bool isRunning() const;
    // Whether any worker thread, a stopped one included, is still alive.
    bool hasWorkers() const;
    void setMessageFunction(MessageFunction show) { message_ = std::move(show); }

    // Whether a search here is quick enough to run while the user types:
    // the last one was answered from the index in under 100 ms (or none has
    // run yet, so the first one finds out).
    bool answersQuickly() const;

public slots:
    // Ends the running search: the pane keeps what was found so far.
    void stop();

signals:
    // The search ended: done, stopped or failed.
    void finished();

private:
    struct Job;
    void poll();
    void deliver(Job& job);
    void collectRetired();

    PageListWindow& pane_;
    std::shared_ptr<Job> job_;
    std::vector<std::shared_ptr<Job>> retired_;  // stopped, worker still ending
    // Kept between searches of the same notebook (shared with the workers).
    std::shared_ptr<TextSearchSession> session_;
    double lastMilliseconds_ = -1;  // the last search that ended, in its worker
    bool lastUsedIndex_ = false;
    QTimer poll_;
    MessageFunction message_;
};

}  // namespace tavix
