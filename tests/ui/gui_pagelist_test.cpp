#include "ui/PageListWindow.h"

#include <string>
#include <vector>

#include <QHeaderView>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace tavix {
namespace {

using Names = std::vector<std::u16string>;

class PageListTest : public ::testing::Test {
protected:
    PageListTest() {
        connect();
        pane.resize(420, 300);
    }

    void connect() {
        QObject::connect(&pane, &PageListWindow::pageActivated,
                         [this](const FoundPage& page) { activated.push_back(page); });
    }

    Names names() const {
        Names out;
        for (int row = 0; row < pane.EntryCount(); ++row)
            out.push_back(pane.EntryAt(row).pageName);
        return out;
    }

    // The text the list shows in a cell.
    QString cell(int row, int column) const { return pane.list().topLevelItem(row)->text(column); }

    void clickHeader(int column) {
        QHeaderView* header = pane.list().header();
        const QPoint at(header->sectionViewportPosition(column) + 20, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

    // What a real double-click delivers: press, release, double-click, release.
    void doubleClickAt(const QPoint& at) {
        QWidget* viewport = pane.list().viewport();
        QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, at);
    }

    void doubleClickRow(int row) {
        QTreeWidget& list = pane.list();
        doubleClickAt(list.visualItemRect(list.topLevelItem(row)).center());
    }

    void showAndWait() {
        pane.Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    }

    PageListWindow pane;
    std::vector<FoundPage> activated;
};

TEST_F(PageListTest, StartsHiddenEmptyWithTwoFixedColumns) {
    EXPECT_TRUE(pane.isHidden());
    EXPECT_EQ(pane.Caption(), u"Found Pages");
    EXPECT_EQ(pane.EntryCount(), 0);
    QTreeWidget& list = pane.list();
    ASSERT_EQ(list.columnCount(), 2);
    EXPECT_EQ(list.headerItem()->text(0), "Name");
    EXPECT_EQ(list.headerItem()->text(1), "Notebook");
    EXPECT_EQ(list.columnWidth(0), 180);
    EXPECT_EQ(list.columnWidth(1), 180);
    EXPECT_EQ(list.selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_TRUE(list.header()->sectionsMovable());
}

TEST_F(PageListTest, EntriesKeepTheOrderTheyArriveInAndTheirWholeText) {
    const std::u16string longName = u"Long" + std::u16string(5000, u'x') + u"\u00e9\u4e2d\U0001F600";
    pane.AddEntry(u"ShoppingList", u"Default");
    pane.AddEntry(u"Alpha", u"Default");
    pane.AddEntry(longName, u"Default");
    EXPECT_EQ(names(), (Names{u"ShoppingList", u"Alpha", longName}));
    EXPECT_EQ(cell(0, 0), "ShoppingList");
    EXPECT_EQ(cell(0, 1), "Default");
    EXPECT_EQ(cell(2, 0).toStdU16String(), longName);
    EXPECT_TRUE(pane.isHidden()) << "adding entries alone does not show the pane";
}

TEST_F(PageListTest, ShowResultsReplacesTheListSetsTheCaptionAndShows) {
    pane.AddEntry(u"Old", u"Default");
    pane.ShowResults(u"beta", {{u"One", u"Default"}, {u"Two", u"Default"}});
    EXPECT_FALSE(pane.isHidden());
    EXPECT_EQ(pane.Caption(), u"Found Pages - beta");
    EXPECT_EQ(names(), (Names{u"One", u"Two"}));

    pane.ShowResults(u"nothing here", {});
    EXPECT_FALSE(pane.isHidden());
    EXPECT_EQ(pane.Caption(), u"Found Pages - nothing here");
    EXPECT_EQ(pane.EntryCount(), 0);
}

TEST_F(PageListTest, HeaderClickSortsAscendingByCodeUnitsEveryTime) {
    pane.ShowResults(u"x", {{u"apple", u"b"}, {u"Zebra", u"a"}, {u"Zeb", u"c"}, {u"\u00c4rger", u"B"}});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    clickHeader(0);
    const Names byName{u"Zeb", u"Zebra", u"apple", u"\u00c4rger"};
    EXPECT_EQ(names(), byName);
    clickHeader(0);
    EXPECT_EQ(names(), byName) << "a second click must not reverse the order";

    clickHeader(1);
    EXPECT_EQ(names(), (Names{u"\u00c4rger", u"Zebra", u"apple", u"Zeb"}));
}

TEST_F(PageListTest, EntriesAddedAfterASortGoToTheEnd) {
    pane.AddEntry(u"b", u"Default");
    pane.AddEntry(u"a", u"Default");
    pane.SortByColumn(0);
    pane.AddEntry(u"A", u"Default");
    EXPECT_EQ(names(), (Names{u"a", u"b", u"A"}));
    pane.SortByColumn(7);  // no such column: nothing moves
    EXPECT_EQ(names(), (Names{u"a", u"b", u"A"}));
}

TEST_F(PageListTest, DoubleClickOpensTheEntryUnderTheMouseAfterSorting) {
    pane.ShowResults(u"x", {{u"Second", u"Default"}, {u"First", u"Default"}});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    clickHeader(0);
    ASSERT_EQ(names(), (Names{u"First", u"Second"}));
    doubleClickRow(0);
    ASSERT_EQ(activated.size(), 1u);
    EXPECT_EQ(activated[0], (FoundPage{u"First", u"Default"}));
}

TEST_F(PageListTest, DoubleClickBelowTheLastEntryOpensNothing) {
    pane.ShowResults(u"x", {{u"Only", u"Default"}});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    QTreeWidget& list = pane.list();
    const QRect row = list.visualItemRect(list.topLevelItem(0));
    const QPoint below(row.center().x(), row.bottom() + 3 * row.height());
    ASSERT_LT(below.y(), list.viewport()->height());
    doubleClickAt(below);
    EXPECT_TRUE(activated.empty());
    doubleClickRow(0);
    EXPECT_EQ(activated.size(), 1u) << "the same gesture on the entry does open it";
}

TEST_F(PageListTest, EnterOpensTheCurrentEntryAndNothingWithoutOne) {
    pane.ShowResults(u"x", {{u"One", u"Default"}, {u"Two", u"Default"}});
    QTreeWidget& list = pane.list();
    QTest::keyClick(&list, Qt::Key_Return);
    EXPECT_TRUE(activated.empty());
    list.setCurrentItem(list.topLevelItem(1));
    QTest::keyClick(&list, Qt::Key_Return);
    QTest::keyClick(&list, Qt::Key_Enter);
    ASSERT_EQ(activated.size(), 2u);
    EXPECT_EQ(activated[0].pageName, u"Two");
    EXPECT_EQ(activated[1].pageName, u"Two");
}

TEST_F(PageListTest, ReceiverMayClearThePaneWhileHandlingActivation) {
    std::u16string seen;
    QObject::connect(&pane, &PageListWindow::pageActivated, [&](const FoundPage& page) {
        pane.Clear();
        seen = page.pageName;
    });
    pane.ShowResults(u"x", {{u"Kept", u"Default"}});
    pane.list().setCurrentItem(pane.list().topLevelItem(0));
    QTest::keyClick(&pane.list(), Qt::Key_Return);
    EXPECT_EQ(seen, u"Kept");
    EXPECT_EQ(pane.EntryCount(), 0);
}

TEST_F(PageListTest, EntriesCannotBeEditedInPlace) {
    pane.ShowResults(u"x", {{u"Fixed", u"Default"}});
    QTreeWidget& list = pane.list();
    QTreeWidgetItem* item = list.topLevelItem(0);
    EXPECT_FALSE(item->flags() & Qt::ItemIsEditable);
    list.setCurrentItem(item);
    list.editItem(item, 0);
    QTest::keyClick(&list, Qt::Key_F2);
    QTest::keyClicks(&list, "Changed");
    QTest::keyClick(&list, Qt::Key_Return);
    item->setText(0, "Changed");
    EXPECT_EQ(pane.EntryAt(0).pageName, u"Fixed");
    EXPECT_EQ(cell(0, 0), "Fixed");
}

TEST_F(PageListTest, CloseBoxEmptiesTheListButLeavesThePaneShown) {
    pane.ShowResults(u"x", {{u"One", u"Default"}});
    showAndWait();
    EXPECT_FALSE(pane.close());
    EXPECT_FALSE(pane.isHidden());
    EXPECT_EQ(pane.EntryCount(), 0);
    EXPECT_EQ(pane.Caption(), u"Found Pages - x");
}

TEST_F(PageListTest, HideThenShowBringsThePaneBack) {
    showAndWait();
    pane.Hide();
    EXPECT_TRUE(pane.isHidden());
    pane.Show();
    EXPECT_FALSE(pane.isHidden());
}

}  // namespace
}  // namespace tavix
