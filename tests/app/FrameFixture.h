#pragma once
// A main window on a store whose folders live in a temporary folder: the
// XDG variables point there before anything reads them, so no test touches
// the user's notebook or settings. Messages the window would show are
// collected instead, so no test ever waits on a dialog.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QStringList>
#include <QTest>
#include <QTextCursor>

#include "app/Application.h"
#include "app/CommandTable.h"
#include "app/MainFrame.h"
#include "editor/PageEditor.h"
#include "editor/PageOperations.h"
#include "formats/PageDocument.h"
#include "store/NotebookStore.h"
#include "support/TempDir.h"
#include "ui/KeywordsWindow.h"

namespace tavix::test {

class FrameFixture : public ::testing::Test {
public:
    void SetUp() override {
        configHome_ = tmp_.path() + "/config";
        dataHome_ = tmp_.path() + "/data";
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(configHome_));
        qputenv("XDG_DATA_HOME", QByteArray::fromStdString(dataHome_));
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(tmp_.path() + "/cache"));
        store_ = std::make_unique<NotebookStore>();
        PrepareStore(*store_);
    }

    void TearDown() override {
        frames_.clear();
        store_.reset();
    }

    // A new store on the same folders, as a second start of the program.
    void restartStore() {
        frames_.clear();
        store_ = std::make_unique<NotebookStore>();
        PrepareStore(*store_);
    }

    MainFrame& openFrame() {
        auto frame = std::make_unique<MainFrame>(*store_);
        frame->setErrorReporter([this](const QString& m) { errors_ << m; });
        frame->setCloseQuestion([this](const QString& m) {
            questions_ << m;
            return closeAnyway_;
        });
        frame->show();
        frame->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
        frame->editor().setFocus();
        frames_.push_back(std::move(frame));
        settle(*frames_.back());
        return *frames_.back();
    }

    // Lets queued work (link clicks) run, then runs the command-state pass.
    static void settle(MainFrame& frame) {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        frame.UpdateCommandState();
    }

    static void typeAtEnd(PageEditor& editor, const QString& text) {
        editor.setFocus();
        editor.moveCursor(QTextCursor::End);
        QTest::keyClicks(&editor, text);
    }

    // Clicks the middle of the first occurrence of word in the editor.
    static void clickWord(PageEditor& editor, const QString& word) {
        const QString text = QString::fromStdU16String(editor.GetPlainText());
        const int at = text.indexOf(word);
        ASSERT_GE(at, 0) << word.toStdString();
        QTextCursor c(editor.document());
        c.setPosition(at + word.size() / 2);
        const QPoint point = editor.cursorRect(c).center() + QPoint(1, 0);
        QTest::mouseClick(editor.viewport(), Qt::LeftButton, Qt::NoModifier, point);
    }

    static QString pageName(MainFrame& frame) {
        PageDocument* page = frame.operations().openPage();
        return page ? QString::fromStdU16String(page->name()) : QString();
    }

    std::string notebookFolder() const {
        return dataHome_ + "/Halvorix/Tavix/Notebooks/Default";
    }
    std::string pageFile(const std::string& name) const {
        return notebookFolder() + "/" + name + ".xhtml";
    }
    bool pageExists(const std::string& name) const {
        return std::filesystem::exists(pageFile(name));
    }
    std::string readPage(const std::string& name) const {
        std::error_code ec;
        if (!std::filesystem::exists(pageFile(name), ec))
            return {};
        return tmp_.read(pageFile(name).substr(tmp_.path().size() + 1));
    }

    TempDir tmp_;
    std::string configHome_;
    std::string dataHome_;
    std::unique_ptr<NotebookStore> store_;
    std::vector<std::unique_ptr<MainFrame>> frames_;
    QStringList errors_;
    QStringList questions_;
    bool closeAnyway_ = false;
};

}  // namespace tavix::test
