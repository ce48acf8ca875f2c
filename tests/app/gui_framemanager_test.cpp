// The frame manager's rules (how many frames, when the program ends, what
// it says when a frame cannot be made) and the whole start-up.
#include <csignal>
#include <filesystem>
#include <stdexcept>

#include <QTimer>
#include <QWidget>

#include "app/FrameFixture.h"
#include "app/FrameManager.h"

namespace tavix::test {
namespace {

using FrameManagerTest = FrameFixture;

QWidget* plainFrame(NotebookStore&) { return new QWidget; }

void closeAllLater(FrameManager& manager, int delayMs = 0) {
    QTimer::singleShot(delayMs, &manager, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isWindow() && w->isVisible() && !w->parentWidget())
                w->close();
    });
}

TEST_F(FrameManagerTest, AtMost63FramesAndTheOthersCarryOn) {
    FrameManager manager(*store_);
    QStringList messages;
    manager.setMessageHook([&](const QString& m) { messages << m; });
    manager.setFrameFactory(plainFrame);
    std::vector<QPointer<QWidget>> frames;
    for (int i = 0; i < FrameManager::kMaxFrames; ++i) {
        QWidget* w = manager.AddFrame();
        ASSERT_NE(w, nullptr) << i;
        frames.emplace_back(w);
    }
    EXPECT_TRUE(messages.isEmpty());
    manager.RequestFrame();
    EXPECT_EQ(manager.frameCount(), 63);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], "ERROR: Cannot create ANY MORE threads!!!");
    EXPECT_EQ(FrameManager::caption(), "TavixApp");
    for (auto& w : frames)
        EXPECT_TRUE(w && w->isVisible());

    // One closes: there is room for one more.
    frames[10]->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(manager.frameCount(), 62);
    EXPECT_NE(manager.AddFrame(), nullptr);
    EXPECT_EQ(messages.size(), 1);
    for (auto& w : frames)
        if (w)
            w->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(FrameManagerTest, RunEndsWithZeroWhenTheLastFrameCloses) {
    FrameManager manager(*store_);
    QStringList messages;
    manager.setMessageHook([&](const QString& m) { messages << m; });
    QPointer<MainFrame> frame;
    manager.setFrameFactory([&](NotebookStore& s) -> QWidget* {
        frame = new MainFrame(s);
        frame->setErrorReporter([&](const QString& m) { messages << m; });
        return frame;
    });
    // A second frame on request; the run lasts until both are gone.
    QTimer::singleShot(0, &manager, [&] { manager.RequestFrame(); });
    QTimer::singleShot(50, &manager, [&] {
        EXPECT_EQ(manager.frameCount(), 2);
        if (frame)
            frame->close();
    });
    closeAllLater(manager, 100);
    EXPECT_EQ(manager.Run(), 0);
    EXPECT_EQ(manager.frameCount(), 0);
    EXPECT_TRUE(messages.isEmpty());
    // Nothing was typed, so nothing was written.
    EXPECT_FALSE(pageExists("FrontPage"));
}

TEST_F(FrameManagerTest, RunFailsWithoutAFrame) {
    FrameManager manager(*store_);
    QStringList messages;
    manager.setMessageHook([&](const QString& m) { messages << m; });
    manager.setFrameFactory([](NotebookStore&) -> QWidget* { return nullptr; });
    EXPECT_NE(manager.Run(), 0);
    EXPECT_TRUE(messages.isEmpty());

    manager.setFrameFactory([](NotebookStore&) -> QWidget* { throw std::bad_alloc(); });
    EXPECT_NE(manager.Run(), 0);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], "ERROR: Cannot create thread!!!");
}

TEST(StartUp, RunsFromEmptyFoldersToAClosedWindowWithExitCodeZero) {
    TempDir tmp;
    const std::string config = tmp.path() + "/cfg";
    const std::string data = tmp.path() + "/share";
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(data));
    NotebookStore store;
    bool sawFrame = false;
    QTimer::singleShot(50, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<MainFrame*>(w)) {
                sawFrame = f->isVisible() && f->windowTitle() == "Tavix - Front Page";
                f->close();
            }
    });
    const int code = RunApplication(*qApp, store);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(sawFrame);
    EXPECT_EQ(QCoreApplication::applicationName(), "Tavix");
    EXPECT_EQ(QCoreApplication::organizationName(), "Halvorix");
    EXPECT_FALSE(QApplication::windowIcon().isNull());
    EXPECT_TRUE(std::filesystem::is_directory(config + "/Halvorix/Tavix"));
    EXPECT_TRUE(std::filesystem::is_directory(data + "/Halvorix/Tavix/Notebooks/Default"));
    // The front page was only looked at: it is not written.
    EXPECT_FALSE(std::filesystem::exists(data + "/Halvorix/Tavix/Notebooks/Default/FrontPage.xhtml"));
    EXPECT_EQ(store.dataFolder(), QString::fromStdString(config + "/Halvorix/Tavix").toStdU16String());
}

TEST(StartUp, TerminationSignalClosesTheWindowsAndSavesTheirPages) {
    TempDir tmp;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(tmp.path() + "/cfg"));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(tmp.path() + "/share"));
    NotebookStore store;
    QTimer::singleShot(50, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* f = qobject_cast<MainFrame*>(w)) {
                f->editor().moveCursor(QTextCursor::End);
                QTest::keyClicks(&f->editor(), "kept on kill");
            }
        std::raise(SIGTERM);
    });
    EXPECT_EQ(RunApplication(*qApp, store), 0);
    const std::string file = tmp.path() + "/share/Halvorix/Tavix/Notebooks/Default/FrontPage.xhtml";
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_NE(tmp.read(file.substr(tmp.path().size() + 1)).find("kept on kill"), std::string::npos);
}

TEST(StartUp, AFileInPlaceOfAFolderIsLeftAlone) {
    TempDir tmp;
    const std::string config = tmp.path() + "/cfg";
    std::filesystem::create_directories(config);
    tmp.write("cfg/Halvorix", "a file");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(tmp.path() + "/share"));
    NotebookStore store;
    PrepareStore(store);
    EXPECT_TRUE(std::filesystem::is_regular_file(config + "/Halvorix"));
    EXPECT_EQ(tmp.read("cfg/Halvorix"), "a file");
    EXPECT_TRUE(std::filesystem::is_directory(tmp.path() + "/share/Halvorix/Tavix/Notebooks/Default"));
}

}  // namespace
}  // namespace tavix::test
