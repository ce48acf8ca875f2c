// Find Pages in the background over a generated notebook: the pane ends up
// with exactly what the synchronous search finds, the event loop keeps
// running during a long search, Stop ends it, and a new search replaces the
// one running.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "../bench/NotebookGenerator.h"
#include "search/BackgroundPageSearch.h"
#include "search/PageMatcher.h"
#include "search/PageSearch.h"
#include "store/Notebook.h"
#include "support/TempDir.h"
#include "ui/PageListWindow.h"

using namespace tavix;

namespace {

struct Row {
    std::u16string name;
    std::u16string title;
    unsigned foundIn;
    bool operator==(const Row&) const = default;
};

class BackgroundSearchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new test::TempDir;
        bench::NotebookGenerator generator;
        ASSERT_TRUE(generator.write(folder_->path(), 400));
    }
    static void TearDownTestSuite() {
        delete folder_;
        folder_ = nullptr;
    }

    BackgroundSearchTest() : search(BackgroundPageSearch::of(pane)) {
        search.setMessageFunction([this](QWidget*, const QString&, const QString& text) { messages << text; });
    }

    BackgroundPageSearch::Request request(const std::u16string& pattern, bool matchCase = false) const {
        return {folder_->path16(), pattern, pattern, matchCase, kMatchAnywhere};
    }

    bool waitUntil(const std::function<bool()>& done, int ms) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < ms)
            QTest::qWait(2);
        return done();
    }

    std::vector<Row> shown() const {
        std::vector<Row> rows;
        for (int i = 0; i < pane.entryCount(); ++i) {
            QTreeWidgetItem* item = pane.list().topLevelItem(i);
            rows.push_back({pane.entryAt(i).pageName, item->text(3).toStdU16String(), 0});
            const QString places = item->text(2);
            rows.back().foundIn = (places.contains("Title") ? unsigned(kMatchInTitle) : 0u) |
                                  (places.contains("Text") ? unsigned(kMatchInText) : 0u) |
                                  (places.contains("Keywords") ? unsigned(kMatchInKeywords) : 0u);
        }
        return rows;
    }

    static std::vector<Row> synchronous(const std::u16string& pattern, bool matchCase) {
        PageMatcher matcher;
        matcher.setPattern(pattern);
        matcher.setMatchCase(matchCase);
        Notebook notebook;
        notebook.setFolder(folder_->path16());
        std::vector<Row> rows;
        for (PageSearch s(matcher, notebook.pages(), 1); !s.atEnd(); s.next())
            rows.push_back({s.current().pageName, s.currentTitle(), s.currentFoundIn()});
        return rows;
    }

    static test::TempDir* folder_;
    PageListWindow pane;
    BackgroundPageSearch& search;
    QStringList messages;
};

test::TempDir* BackgroundSearchTest::folder_ = nullptr;

// The slow pattern of the frozen window: every run of text costs a lot, no
// page matches, and Boost never gives up on it.
const std::u16string kSlow = u"\\w*\\w*\\w*\\w*QQQ";

TEST_F(BackgroundSearchTest, ResultsEqualTheSynchronousSearchForManyPatterns) {
    const std::u16string patterns[] = {u"garden",  u"Notes|Plan", u"\\bmusic\\b", u"\u00e9",   u"",
                                       u"zzzq",    u"[0-9]{5}",   u"Health Log",  u"^[a-z]+$", u"e.s"};
    int nonEmpty = 0;
    for (const std::u16string& pattern : patterns) {
        for (bool matchCase : {false, true}) {
            search.start(request(pattern, matchCase));
            ASSERT_TRUE(waitUntil([&] { return !pane.isSearching(); }, 30000));
            const std::vector<Row> expected = synchronous(pattern, matchCase);
            EXPECT_EQ(shown(), expected) << std::string(pattern.begin(), pattern.end()) << " case " << matchCase;
            nonEmpty += !expected.empty();
        }
    }
    EXPECT_GT(nonEmpty, 10) << "the patterns find something";
    EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
    EXPECT_TRUE(waitUntil([&] { return !search.hasWorkers(); }, 5000));
}

TEST_F(BackgroundSearchTest, EventLoopRunsDuringALongSearchAndStopEndsIt) {
    // Reading every file, as when the notebook has no text index yet.
    BackgroundPageSearch::Request slow = request(kSlow);
    slow.useIndex = false;
    search.start(slow);
    EXPECT_TRUE(pane.isSearching());
    // Queued events are handled promptly for as long as the search runs
    // (over these pages it takes more than a second on two processors; half
    // a second is watched).
    qint64 worst = 0;
    QElapsedTimer watch;
    watch.start();
    while (watch.elapsed() < 500 && pane.isSearching()) {
        QElapsedTimer latency;
        latency.start();
        bool ran = false;
        QTimer::singleShot(0, [&] { ran = true; });
        while (!ran && latency.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        worst = std::max(worst, latency.elapsed());
        QTest::qWait(20);
    }
    EXPECT_TRUE(pane.isSearching()) << "the search should still be running";
    EXPECT_LT(worst, 100) << "a queued event waited this long (ms)";

    QElapsedTimer stopping;
    stopping.start();
    QTest::mouseClick(pane.findChild<QPushButton*>(QStringLiteral("stopSearch")), Qt::LeftButton);
    EXPECT_FALSE(pane.isSearching()) << "Stop ends the search for the user at once";
    EXPECT_TRUE(pane.statusText().startsWith("Stopped")) << pane.statusText().toStdString();
    // The worker notices within one run of text.
    ASSERT_TRUE(waitUntil([&] { return !search.hasWorkers(); }, 5000));
    EXPECT_LT(stopping.elapsed(), 100 * 3) << "ms until the worker ended (loose: a loaded machine)";
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(BackgroundSearchTest, ANewSearchReplacesTheRunningOne) {
    search.start(request(kSlow));
    QTest::qWait(100);
    search.start(request(u"garden"));
    ASSERT_TRUE(waitUntil([&] { return !pane.isSearching(); }, 30000));
    EXPECT_EQ(pane.caption(), u"Found Pages - garden");
    EXPECT_EQ(shown(), synchronous(u"garden", false));
    EXPECT_TRUE(waitUntil([&] { return !search.hasWorkers(); }, 5000)) << "the first worker ended too";
    EXPECT_TRUE(messages.isEmpty());
}

}  // namespace
