#include "search/PageSearch.h"

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/HostilePages.h"
#include "store/Notebook.h"
#include "store/TextCodec.h"
#include "support/TempDir.h"

namespace tavix {
namespace {

std::string page(const std::string& body, const std::string& keywords = "") {
    std::string text = "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>T</title>";
    if (!keywords.empty()) text += "<meta name=\"keywords\" content=\"" + keywords + "\"/>";
    return text + "</head><body>" + body + "</body></html>";
}

class PageSearchTest : public ::testing::Test {
protected:
    PageSearchTest() { notebook.setFolder(dir.path16()); }

    // Page names found, in the order handed out; *error receives the
    // search's error message (empty when none).
    std::vector<std::string> find(const std::string& pattern, bool matchCase, unsigned threads,
                                  std::string* error = nullptr, std::vector<std::string>* skipped = nullptr) {
        PageMatcher matcher;
        matcher.setPattern(fromUtf8(pattern));
        matcher.setMatchCase(matchCase);
        std::vector<std::string> names;
        PageSearch search(matcher, notebook.pages(), threads);
        for (; !search.atEnd(); search.next()) {
            EXPECT_EQ(search.current().notebookName, u"Default");
            EXPECT_EQ(search.currentPath(), notebook.pagePath(search.current().pageName));
            names.push_back(toUtf8(search.current().pageName));
        }
        if (error) *error = search.error().message();
        else EXPECT_TRUE(search.error().ok()) << search.error().message();
        if (skipped)
            for (const Status& page : search.skipped()) skipped->push_back(page.message());
        return names;
    }

    test::TempDir dir;
    Notebook notebook;
};

using Names = std::vector<std::string>;

TEST_F(PageSearchTest, EmptyNotebookYieldsNothing) {
    EXPECT_EQ(find("", false, 1), Names{});
    EXPECT_EQ(find("x", false, 2), Names{});
    dir.write("notes.txt", "a page file this is not");
    EXPECT_EQ(find("", false, 1), Names{});
}

TEST_F(PageSearchTest, MissingFolderYieldsNothing) {
    notebook.setFolder(fromUtf8(dir.file("absent")));
    EXPECT_EQ(find("", false, 2), Names{});
}

TEST_F(PageSearchTest, FindsMatchingPagesInListingOrder) {
    dir.write("Zebra.xhtml", page("<p>stripes</p>"));
    dir.write("Apple.xhtml", page("<p>red stripes</p>"));
    dir.write("Mango.xhtml", page("<p>yellow</p>", "stripes"));
    dir.write("Kiwi.xhtml", page("<p>Stripes</p>"));
    // Mango by its keywords.
    EXPECT_EQ(find("stripes", true, 1), (Names{"Apple", "Mango", "Zebra"}));
    EXPECT_EQ(find("stripes", false, 2), (Names{"Apple", "Kiwi", "Mango", "Zebra"}));
    EXPECT_EQ(find("", false, 2), (Names{"Apple", "Kiwi", "Mango", "Zebra"}));
    EXPECT_EQ(find("nothing here", false, 2), Names{});
}

// A control follows the search from outside and ends it; a stopped search
// hands out nothing more and says why, with any number of threads.
TEST_F(PageSearchTest, ControlCountsTheFilesAndItsCancelEndsTheSearch) {
    for (int i = 0; i < 40; ++i) dir.write("P" + std::to_string(100 + i) + ".xhtml", page("<p>word</p>"));
    for (unsigned threads : {1u, 2u}) {
        PageMatcher matcher;
        matcher.setPattern(u"word");
        SearchControl control;
        PageSearch search(matcher, notebook.pages(), threads, &control);
        std::size_t found = 0;
        for (; !search.atEnd() && found < 3; search.next()) ++found;
        EXPECT_EQ(control.total.load(), 40u);
        EXPECT_GE(control.tested.load(), 3u);
        control.cancel = true;
        for (; !search.atEnd(); search.next()) ++found;
        EXPECT_LT(found, 40u) << threads;
        EXPECT_TRUE(search.stopped());
        EXPECT_EQ(search.error().message(), "the search was stopped");
    }
    SearchControl early;
    early.cancel = true;
    PageMatcher matcher;
    PageSearch search(matcher, notebook.pages(), 2, &early);
    EXPECT_TRUE(search.atEnd());
    EXPECT_TRUE(search.stopped());
}

TEST_F(PageSearchTest, OrderAndResultsDoNotDependOnThreads) {
    Names expected;
    for (int i = 0; i < 700; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "Page%04d", i);
        const bool hit = i % 7 == 3 || i == 0 || i == 699;
        dir.write(std::string(name) + ".xhtml", page(hit ? "<p>the needle here</p>" : "<p>hay</p>"));
        if (hit) expected.push_back(name);
    }
    for (unsigned threads : {1u, 2u, 3u, 4u, 0u}) EXPECT_EQ(find("needle", false, threads), expected) << threads;
}

TEST_F(PageSearchTest, ConsumingStopsAtEveryMatch) {
    dir.write("A.xhtml", page("<p>hit</p>"));
    dir.write("B.xhtml", page("<p>miss</p>"));
    dir.write("C.xhtml", page("<p>hit</p>"));
    PageMatcher matcher;
    matcher.setPattern(u"hit");
    PageSearch search(matcher, notebook.pages(), 1);
    ASSERT_FALSE(search.atEnd());
    EXPECT_EQ(search.current().pageName, u"A");
    search.next();
    ASSERT_FALSE(search.atEnd());
    EXPECT_EQ(search.current().pageName, u"C");
    search.next();
    EXPECT_TRUE(search.atEnd());
    search.next();  // harmless at the end
    EXPECT_TRUE(search.atEnd());
    EXPECT_TRUE(search.error().ok());
}

TEST_F(PageSearchTest, BadPatternEndsAtOnceWithItsReason) {
    dir.write("A.xhtml", page("<p>x</p>"));
    for (unsigned threads : {1u, 2u}) {
        std::string error;
        EXPECT_EQ(find("[a", false, threads, &error), Names{});
        EXPECT_NE(error.find("bad pattern"), std::string::npos) << error;
    }
}

TEST_F(PageSearchTest, GivingUpOnAPageEndsTheSearchInOrder) {
    // Pages before the heavy one keep their results; none after it are
    // reported, with any number of threads.
    for (int i = 0; i < 60; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "P%02d", i);
        dir.write(std::string(name) + ".xhtml", page(i == 40 ? "<p>" + std::string(200000, 'a') + "</p>" : "<p>ac</p>"));
    }
    Names before;
    for (int i = 0; i < 40; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "P%02d", i);
        before.push_back(name);
    }
    for (unsigned threads : {1u, 2u, 4u}) {
        std::string error;
        EXPECT_EQ(find("(a|b)*c", false, threads, &error), before) << threads;
        EXPECT_NE(error.find("P40.xhtml"), std::string::npos) << error;
    }
}

TEST_F(PageSearchTest, DamagedAndUnreadablePagesAreSkippedQuietly) {
    dir.write("A.xhtml", page("<p>word</p>"));
    dir.write("B.xhtml", "<html><p>word</p><oops");           // matched before the damage
    dir.write("C.xhtml", "<html><p>fine</p><oops word</p></html>");  // the damage comes first
    dir.write("D.xhtml", page("<p>word</p>"));
    EXPECT_EQ(find("word", true, 2), (Names{"A", "B", "D"}));
}

TEST_F(PageSearchTest, AHostilePageIsSkippedAndNamedWhileTheSearchGoesOn) {
    // Pages using named entities heavily are searched whole; a page the
    // bounds stop cannot be searched (nor opened), so it is named, and the
    // pages after it are still searched.
    dir.write("A.xhtml", page("<p>word</p>"));
    dir.write("B.xhtml", test::namedEntities("nbsp", 60000));  // found by its end marker
    dir.write("C.xhtml", test::quadraticText(35000, 9000));
    dir.write("D.xhtml", page("<p>word</p>"));
    dir.write("E.xhtml", test::quadraticText(35000, 9000));
    for (unsigned threads : {1u, 2u}) {
        std::string error;
        std::vector<std::string> skipped;
        EXPECT_EQ(find("word|EndOfThePage", false, threads, &error, &skipped), (Names{"A", "B", "D"})) << threads;
        EXPECT_TRUE(error.empty()) << error;
        ASSERT_EQ(skipped.size(), 2u) << threads;
        EXPECT_NE(skipped[0].find("C.xhtml cannot be searched"), std::string::npos) << skipped[0];
        EXPECT_NE(skipped[0].find("line 1"), std::string::npos) << skipped[0];
        EXPECT_NE(skipped[1].find("E.xhtml cannot be searched"), std::string::npos) << skipped[1];
    }
}

}  // namespace
}  // namespace tavix
