// The main window's dialogs: Find, Find Pages with the Found Pages pane,
// Styles and the problem report, reached through their commands.
#include <functional>

#include <QDialog>
#include <QTest>
#include <QTimer>

#include "FrameFixture.h"
#include "search/FindDialog.h"
#include "search/FindPagesDialog.h"
#include "store/StyleSheet.h"
#include "ui/PageListWindow.h"
#include "ui/ProblemReport.h"
#include "ui/StylesDialog.h"

namespace tavix::test {
namespace {

class DialogsTest : public FrameFixture {
protected:
    // Runs a command that shows a modal dialog of type D, and hands the
    // dialog to `act` once it is up; `act` must end it.
    template <typename D>
    bool runModal(MainFrame& frame, int command, std::function<void(D&)> act) {
        bool seen = false;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            seen = true;
            act(*dialog);
        });
        frame.runCommand(command);
        settle(frame);
        return seen;
    }
};

TEST_F(DialogsTest, FindStartsWithTheWordAtTheCaretAndSelectsTheNextMatch) {
    MainFrame& f = openFrame();
    typeAtEnd(f.editor(), "apple pear apple");
    QTextCursor c = f.editor().textCursor();
    c.setPosition(c.position() - 3);  // inside the last "apple"
    f.editor().setTextCursor(c);

    f.runCommand(cmd::Find);
    auto* find = f.findChild<FindDialog*>();
    ASSERT_NE(find, nullptr);
    EXPECT_TRUE(find->isOpen());
    EXPECT_EQ(find->searchText(), u"apple");

    // From the start, the first "apple" is found; the text is remembered.
    f.editor().setSelection(0, 0);
    EXPECT_TRUE(find->findNext());
    const int first = f.editor().selectionStart();
    EXPECT_EQ(f.editor().textRange(first, f.editor().selectionEnd()), u"apple");
    EXPECT_TRUE(find->findNext());
    EXPECT_GT(f.editor().selectionStart(), first);
    EXPECT_EQ(store_->settings(u"Find").child(u"History").getString(u"1", u""), u"apple");

    // The same dialog object serves the next Find.
    find->reject();
    f.runCommand(cmd::Find);
    EXPECT_EQ(f.findChild<FindDialog*>(), find);
    EXPECT_TRUE(find->isOpen());
}

TEST_F(DialogsTest, FindPagesSearchesWhatWasJustTypedAndOpensAFoundPage) {
    MainFrame& f = openFrame();
    typeAtEnd(f.editor(), "zeppelin on the front page");
    ASSERT_TRUE(f.editor().IsModified());

    const bool shown = runModal<FindPagesDialog>(f, cmd::FindPages, [](FindPagesDialog& d) {
        d.setSeedText(u"zeppelin");
        d.runSearch();
        d.done(QDialog::Accepted);
    });
    ASSERT_TRUE(shown);
    // The open page was saved first, so its new text could be found.
    EXPECT_FALSE(f.editor().IsModified());
    PageListWindow& list = f.pageListPane();
    EXPECT_TRUE(list.isVisible());
    // The search runs in the background; the window stays usable meanwhile.
    for (int waited = 0; list.isSearching() && waited < 20000; waited += 5)
        QTest::qWait(5);
    ASSERT_EQ(list.entryCount(), 1);
    EXPECT_EQ(list.entryAt(0).pageName, u"FrontPage");

    // Activating an entry opens its page and records the step.
    f.OpenFoundPage(FoundPage{u"OtherPage", u"Default"});
    settle(f);
    emit list.pageActivated(list.entryAt(0));
    settle(f);
    EXPECT_EQ(pageName(f), "FrontPage");
    EXPECT_TRUE(f.action(cmd::Back)->isEnabled());
}

TEST_F(DialogsTest, AcceptedStylesAreSavedAndShownOnTheOpenPage) {
    MainFrame& f = openFrame();
    typeAtEnd(f.editor(), "kept text");
    const bool shown = runModal<StylesDialog>(f, cmd::Styles, [](StylesDialog& d) { d.accept(); });
    ASSERT_TRUE(shown);
    // The page was saved before the dialog and reloaded clean after it.
    EXPECT_NE(readPage("FrontPage").find("kept text"), std::string::npos);
    EXPECT_FALSE(f.editor().IsModified());
    EXPECT_NE(QString::fromStdU16String(f.editor().GetPlainText()).indexOf("kept text"), -1);
    // The style sheet reached the settings file.
    const std::string props = tmp_.read("config/Halvorix/Tavix/tavix.props");
    EXPECT_NE(props.find("app.StyleMap.Style0.Font.Name=Times New Roman"), std::string::npos);
}

TEST_F(DialogsTest, CancelledStylesChangeNothing) {
    MainFrame& f = openFrame();
    const StyleSheet before = store_->styleSheet();
    ASSERT_TRUE(runModal<StylesDialog>(f, cmd::Styles, [](StylesDialog& d) { d.reject(); }));
    EXPECT_TRUE(store_->styleSheet() == before);
    EXPECT_TRUE(tmp_.read("config/Halvorix/Tavix/tavix.props").empty());
}

TEST_F(DialogsTest, ReportAProblemShowsTheReport) {
    MainFrame& f = openFrame();
    EXPECT_TRUE(runModal<ProblemReportDialog>(f, cmd::ReportProblem,
                                              [](ProblemReportDialog& d) { d.reject(); }));
}

}  // namespace
}  // namespace tavix::test
