#pragma once
// One process per notebook: a second start of Tavix on the same notebook
// hands itself to the process already running, which opens one more window,
// so that two processes never hold stale copies of the same pages.
#include <string>

#include <functional>

#include <QObject>
#include <QString>

class QLocalServer;

namespace tavix {

// The local socket name of a notebook for this user: two users, or two
// notebook folders, never share one.
QString instanceName(const std::u16string& notebookFolder);

// Asks a running process listening on name for one more window. True when it
// answered that it opened one (this process should then end); false when no
// process answers within timeoutMs.
bool handToRunningInstance(const QString& name, int timeoutMs = 3000);

// The running side: listens on name and emits frameRequested for each start
// handed over; answers "ok" with the number of windows the caller reports.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    explicit InstanceServer(QObject* parent = nullptr);
    ~InstanceServer() override;

    // Starts listening; removes a socket left by a process that died. False
    // when another live process listens on name already.
    bool listen(const QString& name);

    // Counts the windows for the answer (the frame manager's count).
    void setFrameCounter(std::function<int()> counter) { counter_ = std::move(counter); }

signals:
    void frameRequested();

private:
    void onConnection();
    QLocalServer* server_;
    std::function<int()> counter_;
};

}  // namespace tavix
