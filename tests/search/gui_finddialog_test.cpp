// The Find dialog over a real editor and a store whose settings file lives in
// a temporary folder: what it selects, what it remembers and what it writes.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "editor/PageEditor.h"
#include "search/FindDialog.h"
#include "store/NotebookStore.h"
#include "store/PropertyNode.h"
#include "support/TempDir.h"

using namespace tavix;

namespace {

class FindDialogTest : public ::testing::Test {
protected:
    void SetUp() override { reopenStore(); }

    // A fresh store reading the settings file as it stands on disk.
    void reopenStore() {
        dialog.reset();
        store = std::make_unique<NotebookStore>();
        store->setDataFolder(dir.path16());
        store->loadSettings();
        dialog = std::make_unique<FindDialog>(editor, *store);
    }

    void writeProps(const std::string& lines) { dir.write("tavix.props", lines); }
    std::string props() const { return dir.read("tavix.props"); }

    template <class T> T* control(const char* name) {
        T* w = dialog->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void type(const QString& text) { control<QComboBox>("findWhat")->setEditText(text); }
    std::pair<int, int> selection() const { return {editor.selectionStart(), editor.selectionEnd()}; }

    test::TempDir dir;
    PageEditor editor;
    std::unique_ptr<NotebookStore> store;
    std::unique_ptr<FindDialog> dialog;
};

TEST_F(FindDialogTest, OpensAfreshWithDownCheckedAndFindNextDisabled) {
    dialog->showWithSeed(u"");
    EXPECT_TRUE(dialog->isOpen());
    EXPECT_FALSE(control<QCheckBox>("matchCase")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("wholeWord")->isChecked());
    EXPECT_FALSE(control<QRadioButton>("up")->isChecked());
    EXPECT_TRUE(control<QRadioButton>("down")->isChecked());
    EXPECT_FALSE(control<QPushButton>("findNext")->isEnabled());
    EXPECT_EQ(control<QComboBox>("findWhat")->lineEdit()->maxLength(), 255);

    type("x");
    EXPECT_TRUE(control<QPushButton>("findNext")->isEnabled());
    type("");
    EXPECT_FALSE(control<QPushButton>("findNext")->isEnabled());
}

TEST_F(FindDialogTest, SeedFillsAndSelectsTheFieldAndReplacesItWhileOpen) {
    dialog->showWithSeed(u"FrontPage");
    QComboBox* combo = control<QComboBox>("findWhat");
    EXPECT_EQ(combo->currentText(), QStringLiteral("FrontPage"));
    EXPECT_EQ(combo->lineEdit()->selectedText(), QStringLiteral("FrontPage"));
    EXPECT_TRUE(control<QPushButton>("findNext")->isEnabled());

    control<QCheckBox>("matchCase")->setChecked(true);
    dialog->showWithSeed(u"other");  // a Find command while open: options stay
    EXPECT_EQ(combo->currentText(), QStringLiteral("other"));
    EXPECT_EQ(combo->lineEdit()->selectedText(), QStringLiteral("other"));
    EXPECT_TRUE(control<QCheckBox>("matchCase")->isChecked());

    dialog->showWithSeed(u"");  // empty seed changes nothing
    EXPECT_EQ(combo->currentText(), QStringLiteral("other"));
}

TEST_F(FindDialogTest, SearchesDownUpWithOptionsAndNeverWraps) {
    editor.SetPlainText(u"Page one, pages two, page three");
    dialog->showWithSeed(u"page");

    ASSERT_TRUE(dialog->findNext());  // case ignored: "Page" matches
    EXPECT_EQ(selection(), std::make_pair(0, 4));
    ASSERT_TRUE(dialog->findNext());  // starts at the end of the first match
    EXPECT_EQ(selection(), std::make_pair(10, 14));

    control<QCheckBox>("wholeWord")->setChecked(true);
    ASSERT_TRUE(dialog->findNext());  // skips past "pages"
    EXPECT_EQ(selection(), std::make_pair(21, 25));
    EXPECT_FALSE(dialog->findNext());  // the last one: nothing changes
    EXPECT_EQ(selection(), std::make_pair(21, 25));

    control<QRadioButton>("up")->setChecked(true);
    ASSERT_TRUE(dialog->findNext());  // from the selection's start, backwards
    EXPECT_EQ(selection(), std::make_pair(0, 4));

    control<QCheckBox>("matchCase")->setChecked(true);
    control<QCheckBox>("wholeWord")->setChecked(false);
    control<QRadioButton>("down")->setChecked(true);
    ASSERT_TRUE(dialog->findNext());
    EXPECT_EQ(selection(), std::make_pair(10, 14));
    EXPECT_TRUE(dialog->isOpen());  // the dialog stays open after searching
}

// The search never wraps; at the end it says so, in the dialog and to the
// frame's status bar, instead of doing nothing visible.
TEST_F(FindDialogTest, NoMatchLeftSaysSoInTheDialogAndTheStatusBar) {
    editor.SetPlainText(u"word above, then more text");
    editor.setSelection(26, 26);  // the caret at the end of the page
    dialog->showWithSeed(u"word");
    QSignalSpy notes(dialog.get(), &FindDialog::statusMessage);
    QLabel* status = control<QLabel>("findStatus");

    QTest::mouseClick(control<QPushButton>("findNext"), Qt::LeftButton);
    EXPECT_EQ(selection(), std::make_pair(26, 26)) << "no wrap-around";
    EXPECT_EQ(status->text(), "No more matches below");
    ASSERT_EQ(notes.size(), 1);
    EXPECT_EQ(notes[0][0].toString(), "No more matches below");

    control<QRadioButton>("up")->setChecked(true);
    ASSERT_TRUE(dialog->findNext());
    EXPECT_EQ(selection(), std::make_pair(0, 4));
    EXPECT_EQ(status->text(), "") << "a match clears the note";
    EXPECT_FALSE(dialog->findNext());
    EXPECT_EQ(status->text(), "No more matches above");
    EXPECT_EQ(notes.size(), 2);
    type("other");
    EXPECT_EQ(status->text(), "") << "a new text makes the note stale";
}

// With "page" remembered and Match case ticked, typed "Page" + Enter must
// search "Page": the field may not recase it to the remembered text.
TEST_F(FindDialogTest, TypedTextIsSearchedAsTypedNotAsRemembered) {
    writeProps("app.Find.History.1=page\napp.Find.History.2=big deal\napp.Find.History.LastIndex=2\n");
    reopenStore();
    editor.SetPlainText(u"page one, Page two, big three, big deal");
    dialog->showWithSeed(u"");
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    control<QCheckBox>("matchCase")->setChecked(true);
    QComboBox* combo = control<QComboBox>("findWhat");
    combo->setFocus();
    QTest::keyClicks(combo->lineEdit(), "Page");
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(selection(), std::make_pair(10, 14));
    EXPECT_EQ(combo->currentText(), "Page");

    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), "big");
    QTest::mouseClick(control<QPushButton>("findNext"), Qt::LeftButton);
    EXPECT_EQ(selection(), std::make_pair(20, 23)) << "\"big\", not \"big deal\"";
    EXPECT_EQ(props(),
              "app.Find.History.1=big\n"
              "app.Find.History.2=page\n"
              "app.Find.History.3=big deal\n"
              "app.Find.History.4=Page\n"
              "app.Find.History.LastIndex=4\n");
}

TEST_F(FindDialogTest, ButtonClickSearchesAndCancelHidesWithoutSearching) {
    editor.SetPlainText(u"alpha beta");
    dialog->showWithSeed(u"beta");
    QTest::mouseClick(control<QPushButton>("findNext"), Qt::LeftButton);
    EXPECT_EQ(selection(), std::make_pair(6, 10));
    const std::string after = props();

    type("alpha");
    QTest::mouseClick(control<QPushButton>("cancel"), Qt::LeftButton);
    EXPECT_FALSE(dialog->isOpen());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(selection(), std::make_pair(6, 10));
    EXPECT_EQ(props(), after);
}

TEST_F(FindDialogTest, EnterInTheFieldFindsAndAPickedTextEnablesFindNext) {
    writeProps("app.Find.History.1=two\napp.Find.History.LastIndex=1\n");
    reopenStore();
    editor.SetPlainText(u"one two three two");
    dialog->showWithSeed(u"");
    QComboBox* combo = control<QComboBox>("findWhat");
    ASSERT_EQ(combo->count(), 1);
    combo->setCurrentIndex(0);  // picked from the drop-down list
    EXPECT_EQ(combo->currentText(), QStringLiteral("two"));
    EXPECT_TRUE(control<QPushButton>("findNext")->isEnabled());

    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(selection(), std::make_pair(4, 7));
    QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(selection(), std::make_pair(14, 17));
    EXPECT_TRUE(dialog->isOpen());
    EXPECT_EQ(combo->count(), 1);  // typing never adds to the list

    QTest::keyClick(combo->lineEdit(), Qt::Key_Escape);  // Escape is Cancel
    EXPECT_FALSE(dialog->isOpen());
}

TEST_F(FindDialogTest, EachSearchStoresTheTextFirstThenTheListWithoutCopies) {
    writeProps("app.Find.History.1=a\napp.Find.History.2=b\napp.Find.History.LastIndex=2\n");
    reopenStore();
    dialog->showWithSeed(u"x");
    EXPECT_EQ(control<QComboBox>("findWhat")->count(), 2);
    dialog->findNext();
    EXPECT_EQ(FindDialog::loadHistory(store->settings(u"Find")),
              (std::vector<std::u16string>{u"x", u"a", u"b"}));
    EXPECT_NE(props().find("app.Find.History.1=x\n"), std::string::npos);
    EXPECT_NE(props().find("app.Find.History.LastIndex=3\n"), std::string::npos);

    type("a");
    dialog->findNext();
    EXPECT_EQ(FindDialog::loadHistory(store->settings(u"Find")),
              (std::vector<std::u16string>{u"a", u"b", u"x"}));
    // The drop-down list is not touched while the window is open.
    EXPECT_EQ(control<QComboBox>("findWhat")->count(), 2);

    // The window's list is now a, b, x, a: "b" first, then each other text once.
    type("b");
    dialog->findNext();
    reopenStore();
    EXPECT_EQ(FindDialog::loadHistory(store->settings(u"Find")),
              (std::vector<std::u16string>{u"b", u"a", u"x"}));
}

TEST_F(FindDialogTest, ReopeningReloadsTheHistoryInsteadOfKeepingTheOldList) {
    writeProps("app.Find.History.1=a\napp.Find.History.2=b\napp.Find.History.LastIndex=2\n");
    reopenStore();
    dialog->showWithSeed(u"x");
    dialog->findNext();  // stores x, a, b
    dialog->reject();
    EXPECT_TRUE(dialog->history().empty());

    dialog->showWithSeed(u"y");
    EXPECT_EQ(dialog->history(), (std::vector<std::u16string>{u"x", u"a", u"b"}));
    EXPECT_EQ(control<QComboBox>("findWhat")->count(), 3);
    EXPECT_TRUE(control<QRadioButton>("down")->isChecked());
    dialog->findNext();
    EXPECT_EQ(FindDialog::loadHistory(store->settings(u"Find")),
              (std::vector<std::u16string>{u"y", u"x", u"a", u"b"}));
}

TEST_F(FindDialogTest, LoadingSkipsEmptyKeysAndSurvivesAHugeLastIndex) {
    PropertyNode root(u"app", nullptr);
    PropertyNode& find = root.child(u"Find");
    EXPECT_TRUE(FindDialog::loadHistory(find).empty());
    find.set(u"History.1", u"one");
    find.set(u"History.2", u"");
    find.set(u"History.3", u"three");
    find.set(u"History.4", u"beyond");
    find.set(u"History.03", u"not a history key");
    find.setInt(u"History.LastIndex", 3);
    EXPECT_EQ(FindDialog::loadHistory(find), (std::vector<std::u16string>{u"one", u"three"}));

    find.setInt(u"History.LastIndex", 2147483647);
    find.set(u"History.10", u"ten");
    EXPECT_EQ(FindDialog::loadHistory(find),
              (std::vector<std::u16string>{u"one", u"three", u"beyond", u"ten"}));
}

TEST_F(FindDialogTest, EmptyFieldNeitherSearchesNorRemembers) {
    editor.SetPlainText(u"text");
    dialog->showWithSeed(u"");
    EXPECT_FALSE(dialog->findNext());
    EXPECT_TRUE(props().empty());
}

TEST_F(FindDialogTest, TextBeyondTheLimitIsCutWithoutSplittingACharacter) {
    dialog->showWithSeed(u"");
    QString text(254, QLatin1Char('a'));
    text += QString::fromUtf16(u"\U0001F600");  // a pair across the limit
    control<QComboBox>("findWhat")->lineEdit()->setMaxLength(1000);
    type(text);
    EXPECT_EQ(dialog->searchText(), std::u16string(254, u'a'));
}

TEST_F(FindDialogTest, AFailedSettingsWriteIsReportedAndTheSearchStillRuns) {
    editor.SetPlainText(u"needle");
    store->setDataFolder(dir.path16() + u"/missing/folder");
    store->loadSettings();
    dialog = std::make_unique<FindDialog>(editor, *store);
    QSignalSpy failed(dialog.get(), &FindDialog::settingsSaveFailed);
    dialog->showWithSeed(u"needle");
    EXPECT_TRUE(dialog->findNext());
    EXPECT_FALSE(dialog->lastSaveStatus().ok());
    EXPECT_EQ(failed.count(), 1);
}

}  // namespace
