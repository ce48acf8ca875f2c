// The navigation history on its own: what Back, Forward and visits do to
// the lists, including the browser-like cases a user runs into.
#include <gtest/gtest.h>

#include <string>

#include "editor/NavigationHistory.h"
#include "formats/PageDocument.h"
#include "formats/XmlSupport.h"

namespace tavix {
namespace {

void visit(NavigationHistory& h, const std::u16string& name) {
    h.RecordVisit(u"Title of " + name, name);
}

std::u16string currentName(const NavigationHistory& h) {
    return h.current() ? h.current()->name : u"<none>";
}

TEST(NavigationHistory, EmptyHistoryCannotMoveAndStepsChangeNothing) {
    NavigationHistory h;
    EXPECT_FALSE(h.current().has_value());
    EXPECT_FALSE(h.CanGoBack());
    EXPECT_FALSE(h.CanGoForward());
    EXPECT_FALSE(h.PeekBack().has_value());
    EXPECT_FALSE(h.PeekForward().has_value());
    EXPECT_FALSE(h.StepBack());
    EXPECT_FALSE(h.StepForward());
    EXPECT_FALSE(h.current().has_value());
    EXPECT_EQ(h.backCount(), 0u);
    EXPECT_EQ(h.forwardCount(), 0u);
}

TEST(NavigationHistory, FirstVisitOnlySetsTheCurrentEntry) {
    NavigationHistory h;
    visit(h, u"FrontPage");
    ASSERT_TRUE(h.current().has_value());
    EXPECT_EQ(h.current()->name, u"FrontPage");
    EXPECT_EQ(h.current()->title, u"Title of FrontPage");
    EXPECT_FALSE(h.CanGoBack());
    EXPECT_FALSE(h.CanGoForward());
    // At the edge a step is refused and the current page stays.
    EXPECT_FALSE(h.StepBack());
    EXPECT_EQ(currentName(h), u"FrontPage");
}

TEST(NavigationHistory, BackTwiceThenForwardRetracesTheVisits) {
    NavigationHistory h;
    visit(h, u"A");
    visit(h, u"B");
    visit(h, u"C");
    EXPECT_TRUE(h.CanGoBack());
    EXPECT_FALSE(h.CanGoForward());
    EXPECT_EQ(h.PeekBack()->name, u"B");

    ASSERT_TRUE(h.StepBack());
    EXPECT_EQ(currentName(h), u"B");
    EXPECT_EQ(h.PeekForward()->name, u"C");
    ASSERT_TRUE(h.StepBack());
    EXPECT_EQ(currentName(h), u"A");
    EXPECT_FALSE(h.CanGoBack());
    EXPECT_TRUE(h.CanGoForward());
    EXPECT_EQ(h.PeekForward()->name, u"B");

    ASSERT_TRUE(h.StepForward());
    EXPECT_EQ(currentName(h), u"B");
    EXPECT_EQ(h.PeekBack()->name, u"A");
    EXPECT_EQ(h.PeekForward()->name, u"C");
    ASSERT_TRUE(h.StepForward());
    EXPECT_EQ(currentName(h), u"C");
    EXPECT_FALSE(h.CanGoForward());
    EXPECT_FALSE(h.StepForward());
    EXPECT_EQ(currentName(h), u"C");
    // Nothing was lost or duplicated on the way.
    EXPECT_EQ(h.backCount(), 2u);
    EXPECT_EQ(h.forwardCount(), 0u);
}

TEST(NavigationHistory, NewVisitAfterBackEmptiesTheForwardList) {
    NavigationHistory h;
    visit(h, u"A");
    visit(h, u"B");
    visit(h, u"C");
    ASSERT_TRUE(h.StepBack());  // at B, C ahead
    visit(h, u"D");
    EXPECT_FALSE(h.CanGoForward());
    EXPECT_EQ(currentName(h), u"D");
    ASSERT_TRUE(h.StepBack());
    EXPECT_EQ(currentName(h), u"B");
    ASSERT_TRUE(h.StepBack());
    EXPECT_EQ(currentName(h), u"A");
}

TEST(NavigationHistory, VisitToTheShownPageAddsAnEntryForIt) {
    NavigationHistory h;
    visit(h, u"A");
    visit(h, u"B");
    ASSERT_TRUE(h.StepBack());  // at A, B ahead
    visit(h, u"A");             // a link to the page itself
    EXPECT_FALSE(h.CanGoForward());
    ASSERT_TRUE(h.CanGoBack());
    EXPECT_EQ(h.PeekBack()->name, u"A");
    ASSERT_TRUE(h.StepBack());
    EXPECT_EQ(currentName(h), u"A");
    EXPECT_FALSE(h.CanGoBack());
}

TEST(NavigationHistory, NamesAreComparedExactly) {
    // Pages differing only in case are different pages, and each step keeps
    // its own entry.
    NavigationHistory h;
    visit(h, u"ShoppingList");
    visit(h, u"Shoppinglist");
    ASSERT_TRUE(h.StepBack());
    EXPECT_EQ(currentName(h), u"ShoppingList");
    EXPECT_EQ(h.PeekForward()->name, u"Shoppinglist");
}

TEST(NavigationHistory, HasNoCapOnTheNumberOfEntries) {
    auto nameOf = [](int i) {
        return u"Page" + std::u16string(1, char16_t(u'A' + i % 26)) + u"x" +
               std::u16string(1, char16_t(0x100 + i));
    };
    NavigationHistory h;
    const int n = 5000;
    for (int i = 0; i < n; ++i)
        visit(h, nameOf(i));
    EXPECT_EQ(h.backCount(), std::size_t(n - 1));
    int steps = 0;
    while (h.StepBack())
        ++steps;
    EXPECT_EQ(steps, n - 1);
    EXPECT_EQ(h.forwardCount(), std::size_t(n - 1));
    EXPECT_EQ(currentName(h), nameOf(0));
    while (h.StepForward())
        ++steps;
    EXPECT_EQ(steps, 2 * (n - 1));
    EXPECT_EQ(currentName(h), nameOf(n - 1));
}

TEST(NavigationHistory, RecordsTitleAndNameOfAPageDocument) {
    XmlLibrary xml;
    PageDocument page(nullptr);
    page.setName(u"ShoppingList");
    page.setTitle(u"Shopping &amp; List");
    NavigationHistory h;
    h.RecordVisit(page);
    ASSERT_TRUE(h.current().has_value());
    EXPECT_EQ(h.current()->name, u"ShoppingList");
    EXPECT_EQ(h.current()->title, u"Shopping &amp; List");
    // The entry is a copy: later changes to the document do not reach it.
    page.setTitle(u"Changed");
    EXPECT_EQ(h.current()->title, u"Shopping &amp; List");
}

}  // namespace
}  // namespace tavix
