// Nothing the user wrote and no byte of a file Tavix did not mean to change
// is lost: damaged and unreadable pages, files changed on disk while open,
// autosave, and saves over links and protected files, all through the real
// main window.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

#include <QScrollBar>
#include <QTimer>

#include "app/FrameFixture.h"
#include "store/Notebook.h"
#include "store/TextCodec.h"
#include "ui/NoticeBar.h"

namespace tavix::test {
namespace {

namespace fs = std::filesystem;

std::string pageText(const std::string& title, const std::string& body) {
    return "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>" + title + "</title></head><body>" +
           body + "</body></html>";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::string> hiddenFiles(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().rfind(prefix, 0) == 0)
            names.push_back(entry.path().string());
    return names;
}

class DataSafetyTest : public FrameFixture {
protected:
    MainFrame& openOn(const std::string& name) {
        MainFrame& frame = openFrame();
        frame.OpenFoundPage(FoundPage{fromUtf8(name), u"Default"});
        settle(frame);
        return frame;
    }
    void closeAll() {
        for (auto& frame : frames_)
            frame->close();
        frames_.clear();
    }
    std::vector<std::u16string> listedPages() {
        std::vector<std::u16string> names;
        for (auto it = store_->notebook().pages(); it != PageIterator(); ++it)
            names.push_back(it->pageName);
        return names;
    }
};

TEST_F(DataSafetyTest, PagesThatWereNotEditedAreNeverWritten) {
    // Neither the new front page nor an intact page opened and left.
    const std::string intact = pageText("Intact", "<p>as written by hand</p>");
    writeFile(pageFile("Intact"), intact);
    const auto before = fs::last_write_time(pageFile("Intact"));
    MainFrame& frame = openOn("Intact");
    frame.GoFrontPage();
    frame.runCommand(cmd::Save);  // an explicit Save of the new page creates it
    ASSERT_TRUE(pageExists("FrontPage"));
    const auto frontWritten = fs::last_write_time(pageFile("FrontPage"));
    frame.GoBack();
    frame.runCommand(cmd::Save);
    closeAll();
    EXPECT_EQ(readPage("Intact"), intact);
    EXPECT_EQ(fs::last_write_time(pageFile("Intact")), before);
    EXPECT_EQ(fs::last_write_time(pageFile("FrontPage")), frontWritten);
    EXPECT_TRUE(errors_.isEmpty());
    EXPECT_TRUE(questions_.isEmpty());
}

TEST_F(DataSafetyTest, DamagedFilesStayUntouchedUntilEditedThenKeepTheirOriginal) {
    const std::string head = "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>D</title></head><body>";
    const std::vector<std::pair<std::string, std::string>> damaged = {
        {"Latin", head + "<p>caf\xE9 au lait and more text after it</p></body></html>"},
        {"Nul", head + "<p>before" + std::string(1, '\0') + "after</p></body></html>"},
        {"Nbsp", head + "<p>a&nbsp;b and the rest</p></body></html>"},
        {"Break", head + "<p>one<br>two</p></body></html>"},
        {"Binary", std::string("\x7F" "ELF\x02\x01\x01\x00\x00\x00\xFF\xFE garbage", 22)},
        {"Cut", head + "<p>kept</p><p>cut <b>off"},
    };
    for (const auto& [name, bytes] : damaged) {
        SCOPED_TRACE(name);
        writeFile(pageFile(name), bytes);
        MainFrame& frame = openOn(name);
        EXPECT_TRUE(frame.noticeBar().text().contains(QStringLiteral("could not be read completely")))
            << frame.noticeBar().text().toStdString();
        EXPECT_FALSE(frame.operations().IsModified());
        frame.runCommand(cmd::Save);
        closeAll();
        EXPECT_EQ(readFile(pageFile(name)), bytes) << "opened and closed without an edit";
        EXPECT_TRUE(hiddenFiles(notebookFolder(), "." + name + ".xhtml.damaged-").empty());
    }

    // Edited, the page is saved and the original kept beside it, unlisted.
    MainFrame& frame = openOn("Cut");
    typeAtEnd(frame.editor(), QStringLiteral(" mended"));
    frame.runCommand(cmd::Save);
    const auto backups = hiddenFiles(notebookFolder(), ".Cut.xhtml.damaged-");
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(readFile(backups[0]), damaged.back().second);
    EXPECT_TRUE(frame.noticeBar().text().contains(QString::fromStdString(backups[0])));
    EXPECT_NE(readPage("Cut").find("mended"), std::string::npos);
    const auto listed = listedPages();
    EXPECT_EQ(std::count(listed.begin(), listed.end(), u"Cut"), 1);
    EXPECT_EQ(listed.size(), damaged.size());
    // The second save needs no second backup.
    typeAtEnd(frame.editor(), QStringLiteral(" again"));
    frame.runCommand(cmd::Save);
    EXPECT_EQ(hiddenFiles(notebookFolder(), ".Cut.xhtml.damaged-").size(), 1u);
}

TEST_F(DataSafetyTest, AnUnreadablePageOpensAsAnErrorAndIsNeverReplaced) {
    fs::create_directory(pageFile("Folder"));
    writeFile(pageFile("Locked"), pageText("Locked", "<p>secret</p>"));
    ::chmod(pageFile("Locked").c_str(), 0);
    const bool root = ::geteuid() == 0;  // root reads a mode-000 file anyway

    MainFrame& frame = openOn("Folder");
    EXPECT_TRUE(frame.noticeBar().text().contains(QStringLiteral("cannot be opened")));
    EXPECT_TRUE(frame.editor().isReadOnly());
    EXPECT_EQ(frame.editor().GetPlainText().find(u"Folder"), std::u16string::npos)
        << "not the template of a new page";
    frame.runCommand(cmd::Save);
    if (!root) {
        frame.OpenFoundPage(FoundPage{u"Locked", u"Default"});
        EXPECT_TRUE(frame.noticeBar().text().contains(QStringLiteral("cannot be opened")));
        frame.runCommand(cmd::Save);
    }
    closeAll();
    EXPECT_TRUE(fs::is_directory(pageFile("Folder")));
    ::chmod(pageFile("Locked").c_str(), 0644);
    EXPECT_EQ(readFile(pageFile("Locked")), pageText("Locked", "<p>secret</p>"));
}

TEST_F(DataSafetyTest, ChangesOnDiskReloadCleanPagesAndNeverOverwriteEdits) {
    writeFile(pageFile("Shared"), pageText("Shared", "<p>first version</p>"));
    MainFrame& frame = openOn("Shared");
    PageEditor& editor = frame.editor();

    // Unmodified: the other program's version appears.
    writeFile(pageFile("Shared"), pageText("Shared", "<p>second version from elsewhere</p>"));
    QTRY_VERIFY_WITH_TIMEOUT(editor.GetPlainText().find(u"second version") != std::u16string::npos, 5000);
    EXPECT_FALSE(frame.operations().IsModified());

    // Modified: a notice, then the save goes to a conflict copy.
    typeAtEnd(editor, QStringLiteral(" my words"));
    const std::string theirs = pageText("Shared", "<p>third version from elsewhere</p>");
    writeFile(pageFile("Shared"), theirs);
    QTRY_VERIFY_WITH_TIMEOUT(frame.noticeBar().text().contains(QStringLiteral("changed on disk")), 5000);
    EXPECT_NE(editor.GetPlainText().find(u"my words"), std::u16string::npos);
    frame.runCommand(cmd::Save);
    EXPECT_EQ(readPage("Shared"), theirs);
    const QString copy = pageName(frame);
    EXPECT_TRUE(copy.startsWith(QStringLiteral("Shared (conflict "))) << copy.toStdString();
    EXPECT_NE(readPage(copy.toStdString()).find("my words"), std::string::npos);
    EXPECT_TRUE(frame.noticeBar().text().contains(copy));
    EXPECT_TRUE(editor.document()->isUndoAvailable());
    EXPECT_FALSE(frame.operations().IsModified());
    const auto listed = listedPages();
    EXPECT_NE(std::find(listed.begin(), listed.end(), copy.toStdU16String()), listed.end());
    // Further edits go on in the copy.
    typeAtEnd(editor, QStringLiteral(" more"));
    closeAll();
    EXPECT_EQ(readPage("Shared"), theirs);
    EXPECT_NE(readPage(copy.toStdString()).find("my words more"), std::string::npos);
}

TEST_F(DataSafetyTest, TwoWindowsOnOnePageSeeEachOthersSaves) {
    writeFile(pageFile("Both"), pageText("Both", "<p>start</p>"));
    MainFrame& a = openOn("Both");
    MainFrame& b = openOn("Both");
    typeAtEnd(a.editor(), QStringLiteral(" from A"));
    a.runCommand(cmd::Save);
    QTRY_VERIFY_WITH_TIMEOUT(b.editor().GetPlainText().find(u"from A") != std::u16string::npos, 5000);

    // Both edit: the second save keeps both versions.
    typeAtEnd(a.editor(), QStringLiteral(" A2"));
    typeAtEnd(b.editor(), QStringLiteral(" B2"));
    a.close();
    b.close();
    frames_.clear();
    EXPECT_NE(readPage("Both").find("A2"), std::string::npos);
    bool found = false;
    for (const auto& name : listedPages())
        found |= name.rfind(u"Both (conflict ", 0) == 0 &&
                 readPage(toUtf8(name)).find("B2") != std::string::npos;
    EXPECT_TRUE(found);
}

TEST_F(DataSafetyTest, AutosaveWritesSoonAfterTypingAndKeepsTheEditorAsItWas) {
    writeFile(pageFile("Auto"), pageText("Auto", "<p>start</p><p>second paragraph</p>"));
    MainFrame& frame = openOn("Auto");
    PageEditor& editor = frame.editor();
    typeAtEnd(editor, QStringLiteral(" typed"));
    QTextCursor c = editor.textCursor();
    c.setPosition(3);
    c.setPosition(6, QTextCursor::KeepAnchor);
    editor.setTextCursor(c);
    const auto typedAt = std::chrono::steady_clock::now();
    QTRY_VERIFY_WITH_TIMEOUT(readPage("Auto").find("typed") != std::string::npos, 3500);
    EXPECT_LT(std::chrono::steady_clock::now() - typedAt, std::chrono::milliseconds(3500));
    EXPECT_FALSE(frame.operations().IsModified());
    EXPECT_EQ(editor.textCursor().anchor(), 3);
    EXPECT_EQ(editor.textCursor().position(), 6);
    EXPECT_TRUE(editor.hasFocus());
    ASSERT_TRUE(editor.document()->isUndoAvailable());
    frame.runCommand(cmd::Undo);
    EXPECT_EQ(editor.GetPlainText().find(u"typed"), std::u16string::npos);
}

TEST_F(DataSafetyTest, SavesKeepLinksModesAndProtection) {
    const std::string elsewhere = tmp_.path() + "/elsewhere";
    fs::create_directory(elsewhere);
    writeFile(elsewhere + "/target.xhtml", pageText("Linked", "<p>old</p>"));
    fs::create_symlink("../../../../../elsewhere/target.xhtml", pageFile("Linked"));
    ASSERT_TRUE(fs::exists(pageFile("Linked")));
    writeFile(pageFile("Hard"), pageText("Hard", "<p>old</p>"));
    fs::create_hard_link(pageFile("Hard"), elsewhere + "/hard-copy.xhtml");
    writeFile(pageFile("Private"), pageText("Private", "<p>old</p>"));
    ::chmod(pageFile("Private").c_str(), 0640);
    writeFile(pageFile("Protected"), pageText("Protected", "<p>old</p>"));
    ::chmod(pageFile("Protected").c_str(), 0444);

    MainFrame& frame = openFrame();
    for (const char* name : {"Linked", "Hard", "Private"}) {
        frame.OpenFoundPage(FoundPage{fromUtf8(name), u"Default"});
        typeAtEnd(frame.editor(), QStringLiteral(" new"));
        frame.runCommand(cmd::Save);
    }
    EXPECT_TRUE(fs::is_symlink(pageFile("Linked")));
    EXPECT_NE(readFile(elsewhere + "/target.xhtml").find("old new"), std::string::npos);
    EXPECT_NE(readFile(elsewhere + "/hard-copy.xhtml").find("old new"), std::string::npos);
    EXPECT_EQ(fs::hard_link_count(pageFile("Hard")), 2u);
    struct stat info {};
    ::stat(pageFile("Private").c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_TRUE(errors_.isEmpty());

    frame.OpenFoundPage(FoundPage{u"Protected", u"Default"});
    typeAtEnd(frame.editor(), QStringLiteral(" new"));
    frame.runCommand(cmd::Save);
    EXPECT_EQ(errors_.size(), 1);
    EXPECT_TRUE(frame.operations().IsModified()) << "the edits stay in the window";
    EXPECT_EQ(readPage("Protected"), pageText("Protected", "<p>old</p>"));
    closeAnyway_ = true;
    closeAll();
    EXPECT_EQ(readPage("Protected"), pageText("Protected", "<p>old</p>"));
}

TEST_F(DataSafetyTest, NoQuestionOnCloseWhenNothingWasModifiedInAReadOnlyFolder) {
    writeFile(pageFile("Calm"), pageText("Calm", "<p>text</p>"));
    ::chmod(notebookFolder().c_str(), 0555);
    openOn("Calm");
    closeAll();
    ::chmod(notebookFolder().c_str(), 0700);
    EXPECT_TRUE(questions_.isEmpty());
    EXPECT_TRUE(errors_.isEmpty());
}

}  // namespace
}  // namespace tavix::test
