// The Find Pages dialog over a real store in temporary folders: what it
// lists in the pane, what it remembers and what it writes to the settings
// file. Messages are caught, never shown.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTreeWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "search/FindPagesDialog.h"
#include "store/NotebookStore.h"
#include "store/TextCodec.h"
#include "support/TempDir.h"
#include "ui/PageListWindow.h"

using namespace tavix;

namespace {

using Names = std::vector<std::u16string>;

std::string page(const std::string& title, const std::string& body, const std::string& keywords = "") {
    return "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>" + title + "</title>" +
           "<meta name=\"keywords\" content=\"" + keywords + "\"/></head><body>" + body +
           "</body></html>";
}

class FindPagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        NotebookStore::ensureFolders(data.path16(), program.path16());
        writePage("FrontPage", page("Front Page", "<h1>Front Page</h1><p>alpha beta</p>"));
        writePage("ShoppingList", page("Shopping List", "<p>Beta <b>carrots</b> and tea</p>", "gamma"));
        writePage("Zebra", page("Zebra", "<p>stripes only</p>"));
        reopen();
    }

    void writePage(const std::string& name, const std::string& text) {
        program.write("Notebooks/Default/" + name + ".xhtml", text);
    }
    void writeProps(const std::string& lines) {
        data.write("tavix.props", lines);
        reopen();
    }
    std::string props() const { return data.read("tavix.props"); }

    // A fresh store reading the settings as they stand on disk, and a fresh dialog.
    void reopen() {
        dialog.reset();
        store = std::make_unique<NotebookStore>();
        store->setDataFolder(data.path16());
        store->loadSettings();
        store->setProgramFolder(program.path16());
        newDialog();
    }
    void newDialog() {
        dialog = std::make_unique<FindPagesDialog>(*store, pane);
        dialog->setMessageFunction([this](QWidget*, const QString& title, const QString& text) {
            EXPECT_EQ(title, "Find Pages");
            messages.push_back(text);
        });
    }

    template <class T> T* control(const char* name) {
        T* w = dialog->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QComboBox* combo() { return control<QComboBox>("findWhat"); }
    QPushButton* findButton() { return control<QPushButton>("findButton"); }
    void type(const QString& text) { combo()->setEditText(text); }

    // Searches for text as the user would: type it, press "Find"; then
    // waits for the background search to end.
    bool search(const QString& text, bool matchCase = false) {
        type(text);
        control<QCheckBox>("matchCase")->setChecked(matchCase);
        const bool started = dialog->runSearch();
        waitForSearch();
        return started;
    }
    void waitForSearch() {
        QElapsedTimer clock;
        clock.start();
        while (pane.isSearching() && clock.elapsed() < 20000)
            QTest::qWait(5);
        EXPECT_FALSE(pane.isSearching()) << "the search never ended";
    }

    Names listed() const {
        Names names;
        for (int row = 0; row < pane.entryCount(); ++row)
            names.push_back(pane.entryAt(row).pageName);
        return names;
    }

    QStringList dropDown() {
        QStringList items;
        for (int i = 0; i < combo()->count(); ++i)
            items << combo()->itemText(i);
        return items;
    }

    test::TempDir data;
    test::TempDir program;
    PageListWindow pane;
    std::unique_ptr<NotebookStore> store;
    std::unique_ptr<FindPagesDialog> dialog;
    QStringList messages;
};

TEST_F(FindPagesTest, OpensWithAnEmptyFieldFindDisabledAndOneScope) {
    EXPECT_EQ(dialog->windowTitle(), "Find Pages");
    EXPECT_TRUE(combo()->isEditable());
    EXPECT_EQ(combo()->lineEdit()->maxLength(), 255);
    EXPECT_EQ(combo()->currentText(), "");
    EXPECT_FALSE(control<QCheckBox>("matchCase")->isChecked());
    EXPECT_TRUE(control<QRadioButton>("currentNotebook")->isChecked());
    QRadioButton* all = control<QRadioButton>("allNotebooks");
    EXPECT_FALSE(all->isEnabled());
    QTest::mouseClick(all, Qt::LeftButton);
    EXPECT_FALSE(all->isChecked());
    EXPECT_TRUE(findButton()->isDefault());
    EXPECT_FALSE(findButton()->isEnabled());
    EXPECT_TRUE(control<QPushButton>("cancelButton")->isEnabled());
}

TEST_F(FindPagesTest, TypingEnablesFindAndEmptyingDisablesIt) {
    type("x");
    EXPECT_TRUE(findButton()->isEnabled());
    type("");
    EXPECT_FALSE(findButton()->isEnabled());
    QTest::keyClick(combo()->lineEdit(), Qt::Key_A);
    EXPECT_TRUE(findButton()->isEnabled());
    QTest::keyClick(combo()->lineEdit(), Qt::Key_Backspace);
    EXPECT_FALSE(findButton()->isEnabled());
    EXPECT_FALSE(dialog->runSearch()) << "an empty field searches nothing";
    EXPECT_TRUE(pane.isHidden());
}

TEST_F(FindPagesTest, HistoryFillsTheDropDownSkippingEmptyKeysButNotTheField) {
    writeProps(
        "app.FindPages.History.1=alpha\n"
        "app.FindPages.History.2=\n"
        "app.FindPages.History.3=gamma\n"
        "app.FindPages.History.LastIndex=3\n");
    EXPECT_EQ(dropDown(), (QStringList{"alpha", "gamma"}));
    EXPECT_EQ(combo()->currentText(), "");
    EXPECT_FALSE(findButton()->isEnabled());
    combo()->setCurrentIndex(1);  // picked from the list
    EXPECT_EQ(combo()->currentText(), "gamma");
    EXPECT_TRUE(findButton()->isEnabled());
}

TEST_F(FindPagesTest, SeedTextFillsTheFieldSelectedAndEnablesFind) {
    dialog->setSeedText(u"");
    EXPECT_EQ(combo()->currentText(), "");
    EXPECT_FALSE(findButton()->isEnabled());
    dialog->setSeedText(u"FrontPage");
    EXPECT_EQ(combo()->currentText(), "FrontPage");
    EXPECT_EQ(combo()->lineEdit()->selectedText(), "FrontPage");
    EXPECT_TRUE(findButton()->isEnabled());

    dialog->setSeedText(std::u16string(300, u'q'));
    EXPECT_EQ(dialog->searchText(), std::u16string(255, u'q'));
}

TEST_F(FindPagesTest, TextCutAtTheLimitNeverEndsInHalfACharacter) {
    combo()->lineEdit()->setMaxLength(1000);  // as a paste past the limit could leave it
    type(QString(254, 'a') + QString::fromUtf16(u"\U0001F600"));
    EXPECT_EQ(dialog->searchText(), std::u16string(254, u'a'));
}

TEST_F(FindPagesTest, FindListsTheMatchingPagesAndRemembersTheText) {
    EXPECT_TRUE(pane.isHidden());
    EXPECT_TRUE(search("beta"));
    EXPECT_EQ(listed(), (Names{u"FrontPage", u"ShoppingList"}));
    for (int row = 0; row < pane.entryCount(); ++row)
        EXPECT_EQ(pane.entryAt(row).notebookName, u"Default");
    EXPECT_EQ(pane.caption(), u"Found Pages - beta");
    EXPECT_FALSE(pane.isHidden());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
    EXPECT_TRUE(dialog->lastSaveStatus().ok());
    EXPECT_EQ(props(),
              "app.FindPages.History.1=beta\n"
              "app.FindPages.History.LastIndex=1\n");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor is gone";
}

TEST_F(FindPagesTest, MatchCaseAndExpressionsDecideWhatIsFound) {
    EXPECT_TRUE(search("Beta", true));
    EXPECT_EQ(listed(), (Names{u"ShoppingList"}));
    newDialog();
    EXPECT_TRUE(search("front page"));
    EXPECT_EQ(listed(), (Names{u"FrontPage"}));
    newDialog();
    EXPECT_TRUE(search("gamma"));  // only in the keywords: found there
    EXPECT_EQ(listed(), (Names{u"ShoppingList"}));
    newDialog();
    EXPECT_TRUE(search("str.pes|carrots and"));
    EXPECT_EQ(listed(), (Names{u"Zebra"}));
}

TEST_F(FindPagesTest, NoMatchShowsThePaneEmptyWithTheCaption) {
    pane.showResults(u"old", {{u"Stale", u"Default"}});
    pane.hidePane();
    EXPECT_TRUE(search("nowhere at all"));
    EXPECT_EQ(pane.entryCount(), 0);
    EXPECT_FALSE(pane.isHidden());
    EXPECT_EQ(pane.caption(), u"Found Pages - nowhere at all");
}

TEST_F(FindPagesTest, SearchedTextMovesToTheFrontOfTheStoredHistory) {
    writeProps(
        "app.FindPages.History.1=alpha\n"
        "app.FindPages.History.2=beta\n"
        "app.FindPages.History.3=gamma\n"
        "app.FindPages.History.LastIndex=3\n"
        "app.StyleMap.LeftMargin=25\n");
    EXPECT_TRUE(search("beta"));
    EXPECT_EQ(props(),
              "app.FindPages.History.1=beta\n"
              "app.FindPages.History.2=alpha\n"
              "app.FindPages.History.3=gamma\n"
              "app.FindPages.History.LastIndex=3\n"
              "app.StyleMap.LeftMargin=25\n");
}

TEST_F(FindPagesTest, CancelLeavesTheSettingsFileAndThePaneAlone) {
    writeProps(
        "app.FindPages.History.1=alpha\n"
        "app.FindPages.History.LastIndex=1\n");
    const std::string before = props();
    pane.showResults(u"old", {{u"Kept", u"Default"}});
    type("beta");
    QTest::mouseClick(control<QPushButton>("cancelButton"), Qt::LeftButton);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    dialog.reset();
    EXPECT_EQ(props(), before);
    EXPECT_EQ(listed(), (Names{u"Kept"}));
    EXPECT_EQ(pane.caption(), u"Found Pages - old");
}

// With the notebook's text index the pane follows the field after a pause
// in typing; nothing is remembered until Find, and Cancel takes it back.
TEST_F(FindPagesTest, ThePaneFollowsTypingAndCancelTakesItBack) {
    const std::string before = props();
    pane.showResults(u"old", {{u"Kept", u"Default"}});
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    QTest::keyClicks(combo()->lineEdit(), "stripes");
    QTRY_COMPARE_WITH_TIMEOUT(listed(), (Names{u"Zebra"}), 5000);
    EXPECT_EQ(pane.caption(), u"Found Pages - stripes");
    // A half-typed expression is not searched and names no problem.
    combo()->lineEdit()->clear();
    QTest::keyClicks(combo()->lineEdit(), "(bet");
    QTest::qWait(400);
    EXPECT_EQ(listed(), (Names{u"Zebra"}));
    QTest::keyClicks(combo()->lineEdit(), "a)");
    QTRY_COMPARE_WITH_TIMEOUT(listed(), (Names{u"FrontPage", u"ShoppingList"}), 5000);
    // The boxes count as typing too.
    control<QCheckBox>("matchCase")->setChecked(true);
    QTRY_COMPARE_WITH_TIMEOUT(listed(), (Names{u"FrontPage"}), 5000);
    EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
    EXPECT_EQ(props(), before);

    QTest::mouseClick(control<QPushButton>("cancelButton"), Qt::LeftButton);
    EXPECT_EQ(listed(), (Names{u"Kept"}));
    EXPECT_EQ(pane.caption(), u"Found Pages - old");
    EXPECT_EQ(props(), before);
}

TEST_F(FindPagesTest, EnterInTheFieldRunsTheSearch) {
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    type("stripes");
    QTest::keyClick(combo()->lineEdit(), Qt::Key_Return);
    waitForSearch();
    EXPECT_EQ(listed(), (Names{u"Zebra"}));
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(FindPagesTest, BadExpressionNamesTheProblemWhereItIsAndChangesNothing) {
    writeProps(
        "app.FindPages.History.1=alpha\n"
        "app.FindPages.History.LastIndex=1\n");
    const std::string before = props();
    pane.showResults(u"old", {{u"Stale", u"Default"}});
    dialog->show();
    const std::pair<QString, QString> cases[] = {
        {"C++ (notes", "Unmatched '(' at position 5 of 'C++ (notes'"},
        {"[a", "Unmatched '[' at position 1 of '[a'"},
        {"a{2,1}", " of 'a{2,1}'"},
        {"(", "Unmatched '(' at position 1 of '('"},
    };
    for (const auto& [pattern, reason] : cases) {
        messages.clear();
        EXPECT_FALSE(search(pattern)) << pattern.toStdString();
        ASSERT_EQ(messages.size(), 1) << pattern.toStdString();
        EXPECT_TRUE(messages[0].startsWith("The search text is not a valid regular expression")) << messages[0].toStdString();
        EXPECT_TRUE(messages[0].contains(reason)) << messages[0].toStdString();
        EXPECT_FALSE(messages[0].contains("HERE")) << "not the library's words";
        EXPECT_EQ(listed(), (Names{u"Stale"})) << "the pane is left as it was";
        EXPECT_EQ(pane.caption(), u"Found Pages - old");
        EXPECT_NE(dialog->result(), QDialog::Accepted);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(combo()->currentText(), pattern) << "left for correcting";
        EXPECT_EQ(combo()->lineEdit()->selectedText(), pattern) << "selected";
        EXPECT_EQ(props(), before) << "nothing remembered";
        EXPECT_EQ(dropDown(), (QStringList{"alpha"}));
    }

    // Corrected, the same dialog searches and closes.
    messages.clear();
    EXPECT_TRUE(search("\\(|alpha"));
    EXPECT_EQ(listed(), (Names{u"FrontPage"}));
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_EQ(props(),
              "app.FindPages.History.1=\\(|alpha\n"
              "app.FindPages.History.2=alpha\n"
              "app.FindPages.History.LastIndex=2\n");
}

// With "Regular expression" off the text is found as it stands; the
// choice is remembered, and a file that never had it stays without it
// while the default is in use.
TEST_F(FindPagesTest, PlainTextModeFindsMetacharactersAndIsRemembered) {
    writePage("Cpp", page("Cpp", "<p>C++ (notes)</p>"));
    writePage("Cxx", page("Cxx", "<p>Cxx</p>"));
    reopen();
    QCheckBox* regular = control<QCheckBox>("regularExpression");
    EXPECT_TRUE(regular->isChecked()) << "on by default";
    EXPECT_EQ(regular->text(), "Regular e&xpression");
    EXPECT_TRUE(search("C++"));
    EXPECT_EQ(listed(), (Names{u"Cpp", u"Cxx", u"ShoppingList"})) << "as an expression, C++ is a C repeated";
    EXPECT_EQ(props().find("RegularExpression"), std::string::npos);

    newDialog();
    control<QCheckBox>("regularExpression")->setChecked(false);
    EXPECT_TRUE(search("C++ (notes"));
    EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
    EXPECT_EQ(listed(), (Names{u"Cpp"}));
    EXPECT_EQ(pane.caption(), u"Found Pages - C++ (notes") << "the caption shows the text as typed";
    EXPECT_NE(props().find("app.FindPages.RegularExpression=0\n"), std::string::npos) << props();

    reopen();
    EXPECT_FALSE(control<QCheckBox>("regularExpression")->isChecked()) << "remembered";
    control<QCheckBox>("regularExpression")->setChecked(true);
    EXPECT_TRUE(search("C\\+\\+"));
    EXPECT_EQ(listed(), (Names{u"Cpp"}));
    EXPECT_NE(props().find("app.FindPages.RegularExpression=1\n"), std::string::npos) << props();
}

// With "page" remembered and Match case ticked, "Page" typed and Enter
// pressed searches "Page"; "big" with "big deal" remembered searches "big".
TEST_F(FindPagesTest, TypedTextIsSearchedAsTypedNotAsRemembered) {
    writeProps(
        "app.FindPages.History.1=page\n"
        "app.FindPages.History.2=big deal\n"
        "app.FindPages.History.LastIndex=2\n");
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    control<QCheckBox>("matchCase")->setChecked(true);
    combo()->setFocus();
    QTest::keyClicks(combo()->lineEdit(), "Page");
    QTest::keyClick(combo()->lineEdit(), Qt::Key_Return);
    waitForSearch();
    EXPECT_EQ(pane.caption(), u"Found Pages - Page");
    EXPECT_EQ(listed(), (Names{u"FrontPage"}));

    newDialog();
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    combo()->setFocus();
    QTest::keyClicks(combo()->lineEdit(), "big");
    QTest::mouseClick(findButton(), Qt::LeftButton);
    waitForSearch();
    EXPECT_EQ(pane.caption(), u"Found Pages - big");
    EXPECT_EQ(props(),
              "app.FindPages.History.1=big\n"
              "app.FindPages.History.2=Page\n"
              "app.FindPages.History.3=page\n"
              "app.FindPages.History.4=big deal\n"
              "app.FindPages.History.LastIndex=4\n");
}

// The pane says where each page matched and what it is called.
TEST_F(FindPagesTest, FoundPagesShowTitleAndWhereTheyMatched) {
    EXPECT_TRUE(search("beta|gamma"));
    ASSERT_EQ(listed(), (Names{u"FrontPage", u"ShoppingList"}));
    QTreeWidget& list = pane.list();
    EXPECT_EQ(list.headerItem()->text(2), "Found in");
    EXPECT_EQ(list.headerItem()->text(3), "Title");
    EXPECT_EQ(list.topLevelItem(0)->text(3), "Front Page");
    EXPECT_EQ(list.topLevelItem(0)->text(2), "Text");
    EXPECT_EQ(list.topLevelItem(1)->text(3), "Shopping List");
    EXPECT_EQ(list.topLevelItem(1)->text(2), "Text, Keywords");
    EXPECT_EQ(pane.statusText(), "2 pages found.");
}

TEST_F(FindPagesTest, MatchTheLibraryGivesUpOnListsNothing) {
    writePage("Deep", page("Deep", "<p>" + std::string(4000, 'x') + "</p>"));
    EXPECT_TRUE(search("(x+x+)+y")) << "the dialog closes at once; the search tells the rest";
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("The pages could not be searched: ")) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains("Deep")) << messages[0].toStdString();
    EXPECT_EQ(pane.entryCount(), 0) << "a search cut short lists nothing";
    EXPECT_FALSE(pane.isHidden());
    EXPECT_TRUE(pane.statusText().contains("Deep"));
}

TEST_F(FindPagesTest, UnwritableSettingsFileIsReportedButTheResultsStand) {
    // A folder where the file should be: no file can replace it.
    ASSERT_EQ(std::system(("mkdir '" + data.file("tavix.props") + "'").c_str()), 0);
    EXPECT_TRUE(search("alpha"));
    EXPECT_FALSE(dialog->lastSaveStatus().ok());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("The search history could not be saved: ")) << messages[0].toStdString();
    EXPECT_EQ(listed(), (Names{u"FrontPage"}));
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    // Kept in memory, so a later successful save still has it.
    EXPECT_EQ(dialog->history().entries(), (Names{u"alpha"}));
}

TEST_F(FindPagesTest, HistoryIsReadAgainByTheNextDialog) {
    EXPECT_TRUE(search("alpha"));
    newDialog();
    EXPECT_TRUE(search("tea|carrots"));
    reopen();
    EXPECT_EQ(dropDown(), (QStringList{"tea|carrots", "alpha"}));
    EXPECT_EQ(combo()->currentText(), "");
}

TEST_F(FindPagesTest, EmptyNotebookFindsNothing) {
    for (const char* name : {"FrontPage", "ShoppingList", "Zebra"})
        std::remove(program.file(std::string("Notebooks/Default/") + name + ".xhtml").c_str());
    EXPECT_TRUE(search("."));
    EXPECT_EQ(pane.entryCount(), 0);
    EXPECT_EQ(pane.caption(), u"Found Pages - .");
}

}  // namespace
