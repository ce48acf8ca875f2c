// The program ended by a signal while a modal dialog is open: the dialog
// goes, the window saves its page and the run returns 0.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include <QApplication>
#include <QTest>
#include <QTimer>

#include "app/Application.h"
#include "app/CommandTable.h"
#include "app/MainFrame.h"
#include "editor/PageEditor.h"
#include "store/NotebookStore.h"
#include "support/TempDir.h"

namespace tavix::test {
namespace {

MainFrame* findFrame() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* frame = qobject_cast<MainFrame*>(w); frame && frame->isVisible())
            return frame;
    return nullptr;
}

TEST(Termination, ASignalDuringAModalDialogSavesThePageAndExitsZero) {
    for (int command : {cmd::About, cmd::ReportProblem, cmd::Styles, cmd::FindPages, cmd::PrintSetup}) {
        SCOPED_TRACE(command);
        TempDir tmp;
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(tmp.path() + "/config"));
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(tmp.path() + "/data"));
        NotebookStore store;
        bool dialogSeen = false;
        QTimer::singleShot(200, [&] {
            MainFrame* frame = findFrame();
            ASSERT_NE(frame, nullptr);
            frame->editor().moveCursor(QTextCursor::End);
            QTest::keyClicks(&frame->editor(), QStringLiteral("last words"));
            // The signal arrives while the dialog's own loop runs.
            QTimer::singleShot(300, [&] {
                dialogSeen = QApplication::activeModalWidget() != nullptr;
                ::raise(SIGTERM);
            });
            frame->runCommand(command);
        });
        EXPECT_EQ(RunApplication(*qApp, store), 0);
        EXPECT_TRUE(dialogSeen);
        std::ifstream in(tmp.path() + "/data/Halvorix/Tavix/Notebooks/Default/FrontPage.xhtml");
        const std::string saved((std::istreambuf_iterator<char>(in)), {});
        EXPECT_NE(saved.find("last words"), std::string::npos);
    }
}

TEST(Termination, EditsThatCannotBeSavedAreRescuedWithoutAQuestion) {
    TempDir tmp;
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(tmp.path() + "/config"));
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(tmp.path() + "/data"));
    const std::string folder = tmp.path() + "/data/Halvorix/Tavix/Notebooks/Default";
    std::filesystem::create_directories(folder);
    const std::string page = "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>Front Page</title>"
                             "</head><body><p>kept as it is</p></body></html>";
    std::ofstream(folder + "/FrontPage.xhtml") << page;
    std::filesystem::permissions(folder + "/FrontPage.xhtml", std::filesystem::perms::owner_read);
    NotebookStore store;
    QTimer::singleShot(200, [&] {
        MainFrame* frame = findFrame();
        ASSERT_NE(frame, nullptr);
        QTest::keyClicks(&frame->editor(), QStringLiteral("rescue me"));
        ::raise(SIGTERM);
    });
    EXPECT_EQ(RunApplication(*qApp, store), 0);
    std::ifstream in(folder + "/FrontPage.xhtml");
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), page);
    int rescued = 0;
    for (const auto& entry : std::filesystem::directory_iterator(tmp.path() + "/data/Halvorix/Tavix/Rescued")) {
        std::ifstream file(entry.path());
        const std::string text((std::istreambuf_iterator<char>(file)), {});
        rescued += text.find("rescue me") != std::string::npos;
    }
    EXPECT_EQ(rescued, 1);
}

}  // namespace
}  // namespace tavix::test
