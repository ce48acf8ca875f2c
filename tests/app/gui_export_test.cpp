// File, Export Notebook as HTML from the window: the folder chooser and the
// closing summary are stood in for, so no test waits on a dialog.
#include <filesystem>

#include <QMenu>
#include <QMenuBar>
#include <QTimer>

#include "app/FrameFixture.h"
#include "index/HtmlExport.h"
#include "store/FileSystem.h"

namespace tavix::test {
namespace {

using ExportTest = FrameFixture;

TEST_F(ExportTest, TheMenuCommandExportsWhatTheWindowShows) {
    MainFrame& frame = openFrame();
    const std::string site = tmp_.path() + "/site";
    QStringList asked;
    QStringList summaries;
    QString answer = QString::fromStdString(site);
    frame.setExportDialogs({[&](const QString& suggested) {
                                asked << suggested;
                                return answer;
                            },
                            [&](const QString& summary) {
                                summaries << summary;
                                return false;
                            }});

    // The command stands in the File menu.
    QAction* file = frame.menuBar()->actions().value(0);
    ASSERT_NE(file, nullptr);
    bool listed = false;
    for (QAction* a : file->menu()->actions())
        listed = listed || a == frame.action(cmd::ExportHtml);
    EXPECT_TRUE(listed);

    // Edits not yet saved are in the export: the user sees them.
    typeAtEnd(frame.editor(), QStringLiteral(" unsaved words ShoppingList"));
    ASSERT_TRUE(frame.operations().IsModified());
    frame.runCommand(cmd::ExportHtml);
    settle(frame);
    EXPECT_EQ(asked.size(), 1);
    ASSERT_EQ(summaries.size(), 1) << errors_.join("\n").toStdString();
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join("\n").toStdString();
    EXPECT_TRUE(summaries.front().startsWith("1 page exported")) << summaries.front().toStdString();
    EXPECT_FALSE(frame.operations().IsModified());
    const std::string html = tmp_.read("site/FrontPage.html");
    EXPECT_NE(html.find("unsaved words ShoppingList"), std::string::npos) << html;
    EXPECT_TRUE(std::filesystem::is_regular_file(site + "/" + kHtmlIndexFile));
    EXPECT_TRUE(std::filesystem::is_regular_file(site + "/" + kHtmlStyleFile));

    // Cancelling the chooser writes nothing.
    std::filesystem::remove_all(site);
    answer.clear();
    frame.runCommand(cmd::ExportHtml);
    settle(frame);
    EXPECT_EQ(asked.size(), 2);
    EXPECT_EQ(summaries.size(), 1);
    EXPECT_FALSE(std::filesystem::exists(site));

    // A folder that cannot be made is said, and nothing else happens.
    tmp_.write("blocker", "x");
    EXPECT_FALSE(frame.exportNotebookAsHtml(QString::fromStdString(tmp_.path() + "/blocker/site")));
    EXPECT_EQ(errors_.size(), 1);
    EXPECT_EQ(summaries.size(), 1);
    EXPECT_EQ(tmp_.read("blocker"), "x");
}

TEST_F(ExportTest, AManyPageExportLeavesTheWindowAnswering) {
    MainFrame& frame = openFrame();
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(writeFileAtomically(notebookFolder() + "/PageNumber" + std::to_string(i) + ".xhtml",
                                        "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>P</title>"
                                        "</head><body><p>See FrontPage and PageNumber1</p></body></html>"));
    // Events keep flowing while the worker writes: a timer of the window's
    // thread fires during the export.
    int ticks = 0;
    QTimer timer;
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();
    QStringList summaries;
    frame.setExportDialogs({[](const QString&) { return QString(); },
                            [&](const QString& summary) {
                                summaries << summary;
                                return false;
                            }});
    const std::string site = tmp_.path() + "/many";
    EXPECT_TRUE(frame.exportNotebookAsHtml(QString::fromStdString(site)));
    timer.stop();
    EXPECT_GT(ticks, 0);
    ASSERT_EQ(summaries.size(), 1);
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(notebookFolder()))
        files += entry.path().extension() == ".xhtml";
    EXPECT_GE(files, 300u);
    EXPECT_TRUE(summaries.front().contains(QString("%1 pages exported").arg(files)))
        << summaries.front().toStdString();
    EXPECT_NE(tmp_.read("many/PageNumber7.html").find("<a href=\"PageNumber1.html\">PageNumber1</a>"),
              std::string::npos);
}

}  // namespace
}  // namespace tavix::test
