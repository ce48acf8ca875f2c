#include "app/IndexService.h"

#include <map>

#include <QCoreApplication>
#include <QMetaObject>

#include "index/PageRename.h"
#include "store/NotebookStore.h"
#include "store/TextCodec.h"

namespace tavix {

IndexService& IndexService::of(NotebookStore& store) {
    // One service per store; the application object owns them.
    static std::map<NotebookStore*, QPointer<IndexService>> services;
    QPointer<IndexService>& service = services[&store];
    if (!service || service->folder_ != toUtf8(store.notebook().folder())) {
        delete service;
        service = new IndexService(store, QCoreApplication::instance());
    }
    return *service;
}

IndexService::IndexService(NotebookStore& store, QObject* parent)
    : QObject(parent), store_(store), folder_(toUtf8(store.notebook().folder())) {
    // A cache that cannot be opened only costs speed: queries then answer
    // from an empty index until an update has filled it in memory.
    index_.open(folder_);
    // A rename cut short (a crash, a kill) is finished or undone before
    // anything reads the pages.
    recoverJournal(folder_, &index_);
    soon_.setSingleShot(true);
    soon_.setInterval(300);
    connect(&soon_, &QTimer::timeout, this, &IndexService::refresh);
    // Pages written, renamed or removed by another program (or tavix-cli)
    // reach the panes without a restart; a burst of changes is one update.
    watcher_.addPath(QString::fromStdString(folder_));
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &IndexService::refreshSoon);
    refresh();
}

IndexService::~IndexService() {
    stop_ = true;
    if (worker_.joinable())
        worker_.join();
}

void IndexService::refresh() {
    if (worker_.joinable()) {
        again_ = true;
        return;
    }
    startWorker();
}

void IndexService::refreshSoon() { soon_.start(); }

void IndexService::startWorker() {
    stop_ = false;
    again_ = false;
    const std::string folder = folder_;
    worker_ = std::thread([this, folder] {
        // A connection of its own: one connection is used by one thread.
        NotebookIndex background;
        bool ok = background.open(folder).ok();
        if (ok) {
            const IndexUpdate result = background.update([this](const IndexProgress& p) {
                QMetaObject::invokeMethod(
                    this, [this, p] { emit progress(static_cast<int>(p.done), static_cast<int>(p.total)); },
                    Qt::QueuedConnection);
                return !stop_.load();
            });
            ok = result.status.ok();
        }
        QMetaObject::invokeMethod(this, [this, ok] { workerDone(ok); }, Qt::QueuedConnection);
    });
}

void IndexService::workerDone(bool ok) {
    if (worker_.joinable())
        worker_.join();
    // An in-memory index (no usable cache folder) is not shared with the
    // background connection: it is filled here instead.
    if (!ok || !index_.isPersistent())
        index_.update();
    emit updated();
    if (again_)
        startWorker();
}

void IndexService::pageChanged(const std::u16string& name) {
    index_.refreshPage(name);
    emit updated();
}

void IndexService::waitIdle() {
    while (worker_.joinable() || again_ || soon_.isActive()) {
        if (soon_.isActive()) {
            soon_.stop();
            refresh();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

}  // namespace tavix
