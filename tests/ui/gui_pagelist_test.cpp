#include "ui/PageListWindow.h"

#include <string>
#include <vector>

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include "search/MatchPlace.h"

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
        for (int row = 0; row < pane.entryCount(); ++row)
            out.push_back(pane.entryAt(row).pageName);
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
        pane.showPane();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    }

    PageListWindow pane;
    std::vector<FoundPage> activated;
};

TEST_F(PageListTest, StartsHiddenEmptyWithTwoFixedColumns) {
    EXPECT_TRUE(pane.isHidden());
    EXPECT_EQ(pane.caption(), u"Found Pages");
    EXPECT_EQ(pane.entryCount(), 0);
    QTreeWidget& list = pane.list();
    ASSERT_EQ(list.columnCount(), 4);
    EXPECT_EQ(list.headerItem()->text(0), "Name");
    EXPECT_EQ(list.headerItem()->text(1), "Notebook");
    EXPECT_EQ(list.headerItem()->text(2), "Found in");
    EXPECT_EQ(list.headerItem()->text(3), "Title");
    EXPECT_EQ(list.columnWidth(0), 180);
    EXPECT_EQ(list.columnWidth(1), 180);
    EXPECT_EQ(list.selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_TRUE(list.header()->sectionsMovable());
}

// Every column, the first included, can be dragged to another place.
TEST_F(PageListTest, EveryColumnCanBeMovedByDraggingItsHeader) {
    QHeaderView* header = pane.list().header();
    EXPECT_TRUE(header->isFirstSectionMovable());
    showAndWait();
    const int name = header->visualIndex(0);
    EXPECT_EQ(name, 0);
    EXPECT_EQ(header->visualIndex(3), 1) << "the title beside the name";
    // Drag the "Name" header onto the last one, as the user would.
    const QPoint from(header->sectionViewportPosition(0) + 10, header->height() / 2);
    const QPoint to(header->sectionViewportPosition(2) + header->sectionSize(2) - 5, header->height() / 2);
    QTest::mousePress(header->viewport(), Qt::LeftButton, Qt::NoModifier, from);
    for (int step = 1; step <= 10; ++step) {
        const QPoint at = from + (to - from) * step / 10;
        QMouseEvent move(QEvent::MouseMove, at, header->viewport()->mapToGlobal(at), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(header->viewport(), &move);
    }
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, Qt::NoModifier, to);
    EXPECT_NE(header->visualIndex(0), 0) << "the Name column moved";
}

TEST_F(PageListTest, EntriesShowTheirTitleAndWhereTheyMatched) {
    pane.addEntries({{{u"FrontPage", u"Default"}, u"Front Page", kMatchInTitle | kMatchInText},
                     {{u"Notes", u"Default"}, u"", kMatchInKeywords}});
    EXPECT_EQ(cell(0, 0), "FrontPage");
    EXPECT_EQ(cell(0, 3), "Front Page");
    EXPECT_EQ(cell(0, 2), "Title, Text");
    EXPECT_EQ(cell(1, 2), "Keywords");
    pane.sortByColumn(3);
    EXPECT_EQ(names(), (Names{u"Notes", u"FrontPage"}));
}

// The progress line waits half a second, then counts; Stop asks to end.
TEST_F(PageListTest, SearchShowsProgressAfterADelayAndAStopButton) {
    QSignalSpy stops(&pane, &PageListWindow::stopRequested);
    pane.addEntry(u"Old", u"Default");
    pane.beginSearch(u"x");
    EXPECT_EQ(pane.entryCount(), 0);
    EXPECT_EQ(pane.caption(), u"Found Pages - x");
    EXPECT_FALSE(pane.isHidden());
    EXPECT_TRUE(pane.isSearching());
    auto* bar = pane.findChild<QWidget*>(QStringLiteral("searchProgress"));
    auto* stop = pane.findChild<QPushButton*>(QStringLiteral("stopSearch"));
    ASSERT_TRUE(bar && stop);
    pane.setSearchProgress(3, 10);
    EXPECT_TRUE(bar->isHidden()) << "not before half a second";
    QTest::qWait(700);
    pane.setSearchProgress(4, 10);
    EXPECT_FALSE(bar->isHidden());
    EXPECT_EQ(pane.statusText(), QString::fromUtf8("Searching\u2026 4 of 10 pages"));
    QTest::mouseClick(stop, Qt::LeftButton);
    EXPECT_EQ(stops.size(), 1);
    pane.endSearch("Stopped.");
    EXPECT_FALSE(pane.isSearching());
    EXPECT_TRUE(bar->isHidden());
    EXPECT_TRUE(stop->isHidden());
    EXPECT_EQ(pane.statusText(), "Stopped.");
}

TEST_F(PageListTest, EntriesKeepTheOrderTheyArriveInAndTheirWholeText) {
    const std::u16string longName = u"Long" + std::u16string(5000, u'x') + u"\u00e9\u4e2d\U0001F600";
    pane.addEntry(u"ShoppingList", u"Default");
    pane.addEntry(u"Alpha", u"Default");
    pane.addEntry(longName, u"Default");
    EXPECT_EQ(names(), (Names{u"ShoppingList", u"Alpha", longName}));
    EXPECT_EQ(cell(0, 0), "ShoppingList");
    EXPECT_EQ(cell(0, 1), "Default");
    EXPECT_EQ(cell(2, 0).toStdU16String(), longName);
    EXPECT_TRUE(pane.isHidden()) << "adding entries alone does not show the pane";
}

TEST_F(PageListTest, ShowResultsReplacesTheListSetsTheCaptionAndShows) {
    pane.addEntry(u"Old", u"Default");
    pane.showResults(u"beta", {{u"One", u"Default"}, {u"Two", u"Default"}});
    EXPECT_FALSE(pane.isHidden());
    EXPECT_EQ(pane.caption(), u"Found Pages - beta");
    EXPECT_EQ(names(), (Names{u"One", u"Two"}));

    pane.showResults(u"nothing here", {});
    EXPECT_FALSE(pane.isHidden());
    EXPECT_EQ(pane.caption(), u"Found Pages - nothing here");
    EXPECT_EQ(pane.entryCount(), 0);
}

TEST_F(PageListTest, HeaderClickSortsAscendingByCodeUnitsEveryTime) {
    pane.showResults(u"x", {{u"apple", u"b"}, {u"Zebra", u"a"}, {u"Zeb", u"c"}, {u"\u00c4rger", u"B"}});
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
    pane.addEntry(u"b", u"Default");
    pane.addEntry(u"a", u"Default");
    pane.sortByColumn(0);
    pane.addEntry(u"A", u"Default");
    EXPECT_EQ(names(), (Names{u"a", u"b", u"A"}));
    pane.sortByColumn(7);  // no such column: nothing moves
    EXPECT_EQ(names(), (Names{u"a", u"b", u"A"}));
}

TEST_F(PageListTest, DoubleClickOpensTheEntryUnderTheMouseAfterSorting) {
    pane.showResults(u"x", {{u"Second", u"Default"}, {u"First", u"Default"}});
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pane));
    clickHeader(0);
    ASSERT_EQ(names(), (Names{u"First", u"Second"}));
    doubleClickRow(0);
    ASSERT_EQ(activated.size(), 1u);
    EXPECT_EQ(activated[0], (FoundPage{u"First", u"Default"}));
}

TEST_F(PageListTest, DoubleClickBelowTheLastEntryOpensNothing) {
    pane.showResults(u"x", {{u"Only", u"Default"}});
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
    pane.showResults(u"x", {{u"One", u"Default"}, {u"Two", u"Default"}});
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
        pane.clear();
        seen = page.pageName;
    });
    pane.showResults(u"x", {{u"Kept", u"Default"}});
    pane.list().setCurrentItem(pane.list().topLevelItem(0));
    QTest::keyClick(&pane.list(), Qt::Key_Return);
    EXPECT_EQ(seen, u"Kept");
    EXPECT_EQ(pane.entryCount(), 0);
}

TEST_F(PageListTest, EntriesCannotBeEditedInPlace) {
    pane.showResults(u"x", {{u"Fixed", u"Default"}});
    QTreeWidget& list = pane.list();
    QTreeWidgetItem* item = list.topLevelItem(0);
    EXPECT_FALSE(item->flags() & Qt::ItemIsEditable);
    list.setCurrentItem(item);
    list.editItem(item, 0);
    QTest::keyClick(&list, Qt::Key_F2);
    QTest::keyClicks(&list, "Changed");
    QTest::keyClick(&list, Qt::Key_Return);
    item->setText(0, "Changed");
    EXPECT_EQ(pane.entryAt(0).pageName, u"Fixed");
    EXPECT_EQ(cell(0, 0), "Fixed");
}

TEST_F(PageListTest, CloseBoxEmptiesTheListButLeavesThePaneShown) {
    pane.showResults(u"x", {{u"One", u"Default"}});
    showAndWait();
    EXPECT_FALSE(pane.close());
    EXPECT_FALSE(pane.isHidden());
    EXPECT_EQ(pane.entryCount(), 0);
    EXPECT_EQ(pane.caption(), u"Found Pages - x");
}

TEST_F(PageListTest, HideThenShowBringsThePaneBack) {
    showAndWait();
    pane.hidePane();
    EXPECT_TRUE(pane.isHidden());
    pane.showPane();
    EXPECT_FALSE(pane.isHidden());
}

}  // namespace
}  // namespace tavix
