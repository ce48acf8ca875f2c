// A tab typed in a page is page text like any other character: the screen,
// the editor's RTF, the page body and the page file agree on it, and it
// survives saving, reopening and a change of paragraph style.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

#include <QTest>
#include <QWidget>

#include "editor/PageEditor.h"
#include "editor/PageOperations.h"
#include "formats/PageDocument.h"
#include "store/NotebookStore.h"
#include "store/TextCodec.h"
#include "support/TempDir.h"
#include "ui/KeywordsWindow.h"

using namespace tavix;

namespace {

std::size_t countOf(const std::u16string& s, std::u16string_view what) {
    std::size_t n = 0;
    for (std::size_t at = s.find(what); at != std::u16string::npos; at = s.find(what, at + what.size())) ++n;
    return n;
}

// The page keeps no empty paragraphs: what a reload shows of text typed.
std::u16string withoutEmptyParagraphs(const std::u16string& text) {
    std::u16string out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(u'\r', start);
        if (end == std::u16string::npos) end = text.size();
        if (end > start) {
            if (!out.empty()) out += u'\r';
            out += text.substr(start, end - start);
        }
        start = end + 1;
    }
    return out;
}

class TabsTest : public ::testing::Test {
protected:
    void SetUp() override {
        store.notebook().setFolder(dir.path16());
        store.notebook().setDiagnostics(diagnostics);
        ops.setReporter([this](const Status& s) { reports.push_back(s); });
        editor.resize(700, 500);
        window.show();
        editor.setFocus();
    }

    // Types as the user does: Tab, Return and Shift+Return ("\r", a line
    // break) are keys, the rest characters.
    void type(const QString& text) {
        for (QChar c : text) {
            if (c == QLatin1Char('\t'))
                QTest::keyClick(&editor, Qt::Key_Tab);
            else if (c == QLatin1Char('\n'))
                QTest::keyClick(&editor, Qt::Key_Return);
            else if (c == QLatin1Char('\r'))
                QTest::keyClick(&editor, Qt::Key_Return, Qt::ShiftModifier);
            else
                QTest::keyClicks(&editor, QString(c));
        }
    }

    std::u16string body() { return ops.openPage() ? ops.openPage()->body() : std::u16string(); }

    test::TempDir dir;
    std::ostringstream diagnostics;
    NotebookStore store;
    QWidget window;
    PageEditor editor{&window};
    KeywordsWindow keywords{&window};
    PageOperations ops{store, editor, &keywords, &window};
    std::vector<Status> reports;
};

TEST_F(TabsTest, ATypedTabIsKeptByStylesSavingAndReopening) {
    ASSERT_TRUE(ops.OpenPage(u"TabPage", false));
    editor.SelectAllText();
    type("name\tvalue\nnext\t\tline");
    EXPECT_EQ(editor.GetPlainText(), u"name\tvalue\rnext\t\tline");
    EXPECT_EQ(countOf(editor.GetRtf(), u"\\tab"), 3u);

    editor.setSelection(2, 2);
    ops.ApplyParagraphStyle(2);
    EXPECT_EQ(editor.GetPlainText(), u"name\tvalue\rnext\t\tline");
    EXPECT_EQ(editor.paragraphStyleAt(0), 2);

    ASSERT_TRUE(ops.SavePage().ok());
    EXPECT_EQ(body(), u"<body><h2>name\tvalue</h2><p>next\t\tline</p></body>");
    const std::string file = dir.read("TabPage.xhtml");
    EXPECT_TRUE(file.find("<h2>name\tvalue</h2>") != std::string::npos ||
                file.find("<h2>name&#9;value</h2>") != std::string::npos)
        << file;

    ASSERT_TRUE(ops.ReloadPage());
    EXPECT_EQ(editor.GetPlainText(), u"name\tvalue\rnext\t\tline");
    EXPECT_EQ(editor.paragraphStyleAt(0), 2);
    EXPECT_FALSE(ops.IsModified());
    EXPECT_TRUE(reports.empty());
}

// Many pages typed from tabs, blanks, words, link words, markup characters,
// paragraph and line breaks: after every save, reopening and restyling the text
// is what was typed (less the empty paragraphs a page never keeps).
TEST_F(TabsTest, RandomTypedPagesComeBackAsTyped) {
    static const char* const kPieces[] = {"\t", "\t\t", " ", "  ", "word", "FrontPage", "ShoppingList",
                                          "a\tb", "&", "<", "\n", "x\t\n", "{\\}", "\t FrontPage\t",
                                          "\tline\r\t"};
    std::mt19937 rng(99);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        const std::u16string name = u"Typed" + fromUtf8(std::to_string(round));
        ASSERT_TRUE(ops.OpenPage(name, false));
        editor.SelectAllText();
        const int pieces = 1 + pick(14);
        for (int i = 0; i < pieces; ++i)
            type(QString::fromLatin1(kPieces[pick(int(std::size(kPieces)))]));
        const std::u16string typed = editor.GetPlainText();
        const std::u16string expected = withoutEmptyParagraphs(typed);
        const std::size_t tabs = countOf(typed, u"\t");
        EXPECT_EQ(countOf(editor.GetRtf(), u"\\tab"), tabs);

        ASSERT_TRUE(ops.SavePage().ok());
        EXPECT_EQ(countOf(body(), u"\t"), tabs);
        ASSERT_TRUE(ops.ReloadPage());
        ASSERT_EQ(editor.GetPlainText(), expected);

        // Restyle every paragraph from a caret somewhere inside it.
        for (int pos = 0; pos <= editor.textLength();) {
            const auto [start, end] = editor.ParagraphRangeAt(pos);
            const int caret = start + pick(std::max(1, end - start));
            editor.setSelection(caret, caret);
            ops.ApplyParagraphStyle(pick(7));
            ASSERT_EQ(editor.GetPlainText(), expected) << "style applied at " << caret;
            pos = end + (end == pos ? 1 : 0);
        }
        ASSERT_TRUE(ops.SavePage().ok());
        ASSERT_TRUE(ops.ReloadPage());
        ASSERT_EQ(editor.GetPlainText(), expected);
    }
    EXPECT_TRUE(reports.empty());
}

}  // namespace
