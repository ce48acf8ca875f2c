#pragma once
// Keeps the program's main windows. Qt runs every widget on the process's
// main thread, so each frame is a window on that thread rather than a thread
// of its own; the rules stay: at most 63 frames, one more frame on request,
// and the program ends when the last frame is gone.
#include <functional>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QString>

class QEventLoop;
class QWidget;

namespace tavix {

class NotebookStore;

class FrameManager : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxFrames = 63;

    // Makes a frame window; null when the window could not be created.
    using FrameFactory = std::function<QWidget*(NotebookStore&)>;
    // Shows one of the manager's error messages (caption "TavixApp", OK only).
    using MessageHook = std::function<void(const QString& text)>;

    // By default frames are main windows on store, and messages are message
    // boxes without owner.
    explicit FrameManager(NotebookStore& store, QObject* parent = nullptr);
    ~FrameManager() override;

    void setFrameFactory(FrameFactory factory) { factory_ = std::move(factory); }
    void setMessageHook(MessageHook hook) { message_ = std::move(hook); }

    // Creates, shows and counts one more frame, deleted when it is closed.
    // Null when none was made: 63 frames already exist ("ERROR: Cannot
    // create ANY MORE threads!!!"), making the frame threw ("ERROR: Cannot
    // create thread!!!"), or the factory gave no window (no message).
    QWidget* AddFrame();

    // Starts the first frame and returns when no frame is left: 0 then, or
    // 1 at once when the first frame could not be made.
    int Run();

    int frameCount() const { return static_cast<int>(frames_.size()); }

    static const QString& caption();
    static const QString& tooManyFramesMessage();
    static const QString& cannotCreateMessage();

public slots:
    // Asks for one more frame; failures show their message and the other
    // frames carry on.
    void RequestFrame();
    // Closes every frame as its close box would (each saves its page); a
    // frame whose page cannot be saved may stay if the user says so.
    void CloseAll();
    // The same when the program must end (a signal): no frame stays, and a
    // page that cannot be saved is rescued to a file instead of asking.
    void EndAll();

private:
    void frameGone(QObject* frame);

    NotebookStore& store_;
    FrameFactory factory_;
    MessageHook message_;
    std::vector<QObject*> frames_;
    QEventLoop* loop_ = nullptr;
    int runLevel_ = 0;
    bool ending_ = false;  // the event-loop level of Run's loop
};

}  // namespace tavix
