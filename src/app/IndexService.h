#pragma once
// The notebook index as the desktop program uses it: one per notebook and
// process, shared by every window. Queries run on the caller's (the GUI)
// thread against an index that is brought up to date in the background, so
// no window ever waits for a build; when an update has finished, updated()
// tells the panes to read again.
#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include <QObject>
#include <QPointer>
#include <QFileSystemWatcher>
#include <QTimer>

#include "index/NotebookIndex.h"

namespace tavix {

class NotebookStore;

class IndexService : public QObject {
    Q_OBJECT
public:
    // The service of the store's notebook, made (and its first update
    // started) on first use; it lives until the application object goes.
    static IndexService& of(NotebookStore& store);

    explicit IndexService(NotebookStore& store, QObject* parent = nullptr);
    ~IndexService() override;

    // The index for queries on this thread; may be behind the files while
    // an update runs (its answers are then those of the last update).
    NotebookIndex& index() { return index_; }
    bool updating() const { return worker_.joinable(); }

    // Brings the index up to date in the background; requests while an
    // update runs make one more update after it.
    void refresh();
    // Soon: many changes in a row (a folder watcher's bursts) make one update.
    void refreshSoon();
    // A page was just written by this program (or renamed, deleted): the
    // index takes it at once, and the panes are told.
    void pageChanged(const std::u16string& name);
    // Blocks until no update runs (for tests and the end of the program).
    void waitIdle();

signals:
    // Files read so far of those the running update has to read.
    void progress(int done, int total);
    void updated();

private:
    void startWorker();
    void workerDone(bool ok);

    NotebookStore& store_;
    NotebookIndex index_;
    std::string folder_;
    std::thread worker_;
    std::atomic<bool> stop_{false};
    bool again_ = false;
    QTimer soon_;
    QFileSystemWatcher watcher_;  // the notebook folder: other programs' changes
};

}  // namespace tavix
