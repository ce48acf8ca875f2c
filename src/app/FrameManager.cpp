#include "app/FrameManager.h"

#include <algorithm>
#include <exception>

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMessageBox>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include "app/MainFrame.h"

namespace tavix {

FrameManager::FrameManager(NotebookStore& store, QObject* parent)
    : QObject(parent), store_(store) {
    factory_ = [](NotebookStore& s) -> QWidget* { return new MainFrame(s); };
    message_ = [](const QString& text) {
        QMessageBox::critical(nullptr, caption(), text, QMessageBox::Ok);
    };
}

FrameManager::~FrameManager() {
    // Frames still open belong to the application; only stop listening.
    for (QObject* frame : frames_)
        disconnect(frame, nullptr, this, nullptr);
}

const QString& FrameManager::caption() {
    static const QString text = QStringLiteral("TavixApp");
    return text;
}

const QString& FrameManager::tooManyFramesMessage() {
    static const QString text = QStringLiteral("ERROR: Cannot create ANY MORE threads!!!");
    return text;
}

const QString& FrameManager::cannotCreateMessage() {
    static const QString text = QStringLiteral("ERROR: Cannot create thread!!!");
    return text;
}

QWidget* FrameManager::AddFrame() {
    if (frameCount() >= kMaxFrames) {
        message_(tooManyFramesMessage());
        return nullptr;
    }
    QWidget* frame = nullptr;
    try {
        frame = factory_(store_);
    } catch (const std::exception&) {
        message_(cannotCreateMessage());
        return nullptr;
    }
    if (!frame)
        return nullptr;
    frame->setAttribute(Qt::WA_DeleteOnClose);
    frames_.push_back(frame);
    connect(frame, &QObject::destroyed, this, &FrameManager::frameGone);
    frame->show();
    frame->raise();
    frame->activateWindow();
    return frame;
}

void FrameManager::RequestFrame() { AddFrame(); }

void FrameManager::CloseAll() {
    // A modal dialog (About, Styles, Find Pages, printing) runs its own event
    // loop inside one of the frames' commands. Closing that frame under it
    // would leave the command running on a window that is gone, so the
    // dialogs are ended first and the frames closed once every command has
    // returned to the frames' own loop.
    bool dialogs = false;
    while (QWidget* modal = QApplication::activeModalWidget()) {
        dialogs = true;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            break;  // it would not go; its loop ends with the frames
    }
    if (loop_ && (dialogs || QThread::currentThread()->loopLevel() > runLevel_)) {
        QTimer::singleShot(0, this, &FrameManager::CloseAll);
        return;
    }
    const std::vector<QObject*> open = frames_;
    for (QObject* frame : open)
        if (auto* w = qobject_cast<QWidget*>(frame)) {
            w->setProperty(MainFrame::kEndingProperty, ending_);
            w->close();
        }
}

void FrameManager::EndAll() {
    ending_ = true;
    CloseAll();
}

void FrameManager::frameGone(QObject* frame) {
    frames_.erase(std::remove(frames_.begin(), frames_.end(), frame), frames_.end());
    if (frames_.empty() && loop_)
        loop_->quit();
}

int FrameManager::Run() {
    // The manager, not Qt's last-window rule, decides when the program
    // ends: a floating pane must neither keep it alive nor end it.
    const bool quitOnLast = QGuiApplication::quitOnLastWindowClosed();
    QGuiApplication::setQuitOnLastWindowClosed(false);
    int result = 0;
    if (!AddFrame()) {
        result = 1;
    } else if (!frames_.empty()) {
        QEventLoop loop;
        loop_ = &loop;
        // Inside loop.exec(), the frames' own loop is one level deeper.
        runLevel_ = QThread::currentThread()->loopLevel() + 1;
        loop.exec();
        loop_ = nullptr;
        // Something other than closing the frames ended the loop (the
        // session is ending): close what is left so every page is saved.
        CloseAll();
    }
    QGuiApplication::setQuitOnLastWindowClosed(quitOnLast);
    return result;
}

}  // namespace tavix
