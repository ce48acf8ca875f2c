// The page operations over a real notebook in a temporary folder and the
// real editor: files opened and saved through the whole chain (page file,
// body to RTF, the control, RTF back to a body).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

#include <QApplication>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
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

std::string pageFile(const std::string& title, const std::string& keywordsAttr, const std::string& body) {
    std::string s = "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>" + title + "</title>";
    if (!keywordsAttr.empty())
        s += "<meta name=\"keywords\" content=\"" + keywordsAttr + "\"/>";
    return s + "</head>" + body + "</html>";
}

std::u16string escape(std::u16string_view text) {
    std::u16string out;
    for (char16_t c : text) {
        switch (c) {
        case u'&': out += u"&amp;"; break;
        case u'<': out += u"&lt;"; break;
        case u'>': out += u"&gt;"; break;
        case u'"': out += u"&quot;"; break;
        case u'\'': out += u"&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

// What the user sees of one paragraph: its style, its text and each
// character's effects.
struct ParagraphView {
    int style = 0;
    std::u16string text;
    std::vector<unsigned> effects;
    bool operator==(const ParagraphView&) const = default;
};

class PageOperationsTest : public ::testing::Test {
protected:
    void SetUp() override {
        store.notebook().setFolder(dir.path16());
        store.notebook().setDiagnostics(diagnostics);
        ops.setReporter([this](const Status& s) { reports.push_back(s); });
        editor.resize(900, 600);
        window.show();
    }

    void writePage(const std::string& name, const std::string& bytes) { dir.write(name + ".xhtml", bytes); }
    std::string readPage(const std::string& name) const { return dir.read(name + ".xhtml"); }

    // Opens and saves a page without touching it.
    std::string roundTrip(const std::string& name) {
        EXPECT_TRUE(ops.OpenPage(fromUtf8(name), false));
        EXPECT_FALSE(ops.IsModified());
        EXPECT_FALSE(editor.document()->isUndoAvailable());
        EXPECT_TRUE(ops.SavePage().ok());
        return readPage(name);
    }

    std::vector<ParagraphView> view() {
        std::vector<ParagraphView> out;
        for (QTextBlock b = editor.document()->begin(); b.isValid(); b = b.next()) {
            ParagraphView p;
            p.style = editor.paragraphStyleAt(b.position());
            const QString t = b.text();
            p.text.assign(reinterpret_cast<const char16_t*>(t.utf16()), std::size_t(t.size()));
            for (int i = 0; i < t.size(); ++i) {
                editor.setSelection(b.position() + i, b.position() + i + 1);
                p.effects.push_back(editor.SelectionEffects());
            }
            out.push_back(std::move(p));
        }
        return out;
    }

    void type(const char* text) { QTest::keyClicks(&editor, text); }

    test::TempDir dir;
    std::ostringstream diagnostics;
    NotebookStore store;
    QWidget window;
    PageEditor editor{&window};
    KeywordsWindow keywords{&window};
    PageOperations ops{store, editor, &keywords, &window};
    std::vector<Status> reports;
};

// ---- round trips -----------------------------------------------------------

TEST_F(PageOperationsTest, UnchangedPagesComeBackByteForByte) {
    const std::vector<std::pair<std::string, std::string>> pages = {
        {"Front Page", "<body><h1>Front Page</h1><p>Welcome</p></body>"},
        {"Title", "<body><h1>Title</h1><p>Hello <b>big</b> world</p></body>"},
        {"Nested", "<body><p>a<b>b<i>c</i></b></p></body>"},
        {"Go", "<body><h1>Front Page</h1><p>Go <b>now</b></p></body>"},
        {"Braces", "<body><p>C:\\temp {x}</p></body>"},
        {"A &amp; B", "<body><p>a &amp; b &lt; c &gt; d &quot;e&quot; &apos;f&apos;</p></body>"},
        {"Wide", "<body><h3>Ωμέγα 東京 \xF0\x9F\x98\x80 \xF0\x9D\x90\x80</h3><h6>six</h6></body>"},
        {"Effects", "<body><p>x<u>u</u><strike>s</strike><sup>2</sup><sub>2</sub> "
                    "<i>i<u>iu<strike>ius</strike></u></i></p><h5>bold <i>style</i></h5></body>"},
    };
    int n = 0;
    for (const auto& [title, body] : pages) {
        const std::string name = "Page" + std::to_string(n++);
        const std::string bytes = pageFile(title, n % 2 ? "home &amp; &lt;start> &quot;q&quot;" : "", body);
        writePage(name, bytes);
        EXPECT_EQ(roundTrip(name), bytes) << body;
    }
    EXPECT_TRUE(reports.empty());
}

TEST_F(PageOperationsTest, EmptyParagraphsAreTheOneThingDropped) {
    writePage("NewPage", pageFile("New Page", "", "<body><h1>New Page</h1><p></p></body>"));
    EXPECT_EQ(roundTrip("NewPage"), pageFile("New Page", "", "<body><h1>New Page</h1></body>"));
}

TEST_F(PageOperationsTest, RandomBodiesComeBackByteForByte) {
    std::mt19937 rng(20240611);
    const std::vector<std::u16string> pieces = {
        u"a", u"Z", u"word", u" ", u" ", u"&", u"<", u">", u"\"", u"'", u"\\", u"{", u"}", u"é",
        u"Ж", u"東", u"\U0001F600", u"\U0001D400", u"7", u"FrontPage", u"x y"};
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    for (int page = 0; page < 40; ++page) {
        std::u16string body = u"<body>";
        const int paragraphs = 1 + pick(5);
        for (int p = 0; p < paragraphs; ++p) {
            const int style = pick(7);
            const bool boldStyle = store.styleSheet().style(style).bold();
            const std::u16string tag = style == 0 ? u"p" : u"h" + std::u16string(1, char16_t(u'0' + style));
            body += u"<" + tag + u">";
            // The first run is plain; each later run differs from the one
            // before. Elements open in one fixed order and a run keeps the
            // leading elements it shares with the run before, which is the
            // one way the editor writes a given set of formats back.
            static const std::u16string kOrder[] = {u"b", u"i", u"u", u"strike", u"sup", u"sub"};
            std::vector<int> open;
            unsigned previous = 0;
            const int runs = 1 + pick(5);
            for (int r = 0; r < runs; ++r) {
                unsigned set = 0;
                if (r > 0) {
                    do {
                        set = unsigned(rng()) & 0x3F;
                        if (boldStyle)
                            set &= ~1u;
                        if ((set & 0x30) == 0x30)
                            set &= ~(pick(2) ? 0x10u : 0x20u);
                    } while (set == previous);
                }
                std::size_t keep = 0;
                while (keep < open.size() && (set & (1u << open[keep])))
                    ++keep;
                while (open.size() > keep) {
                    body += u"</" + kOrder[open.back()] + u">";
                    open.pop_back();
                }
                for (int e = 0; e < 6; ++e) {
                    if ((set & (1u << e)) && std::find(open.begin(), open.end(), e) == open.end()) {
                        body += u"<" + kOrder[e] + u">";
                        open.push_back(e);
                    }
                }
                std::u16string text;
                const int len = 1 + pick(6);
                for (int k = 0; k < len; ++k)
                    text += pieces[pick(int(pieces.size()))];
                body += escape(text);
                previous = set;
            }
            while (!open.empty()) {
                body += u"</" + kOrder[open.back()] + u">";
                open.pop_back();
            }
            body += u"</" + tag + u">";
        }
        body += u"</body>";
        const std::string name = "Random" + std::to_string(page);
        const std::string bytes = pageFile("Random &amp; " + std::to_string(page), "", toUtf8(body));
        writePage(name, bytes);
        EXPECT_EQ(roundTrip(name), bytes) << toUtf8(body);
    }
}

TEST_F(PageOperationsTest, EditsSurviveSaveAndReopen) {
    std::mt19937 rng(7);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    for (int round = 0; round < 6; ++round) {
        std::u16string body = u"<body>";
        for (int p = 0; p < 6; ++p) {
            body += u"<p>";
            for (int w = 0; w < 6; ++w)
                body += std::u16string(w ? u" " : u"") + (pick(3) ? u"word" : u"Ωμέγα") + u"&amp;x";
            body += u"</p>";
        }
        body += u"</body>";
        const std::string name = "Edited" + std::to_string(round);
        writePage(name, pageFile("Edited", "", toUtf8(body)));
        ASSERT_TRUE(ops.OpenPage(fromUtf8(name), false));

        static const unsigned kEffects[] = {PageEditor::Bold, PageEditor::Italic, PageEditor::Underline,
                                            PageEditor::Strikeout, PageEditor::Superscript,
                                            PageEditor::Subscript};
        for (int step = 0; step < 30; ++step) {
            const int length = editor.textLength();
            if (pick(4) == 0) {
                const int at = pick(length + 1);
                editor.setSelection(at, at);
                ops.ApplyParagraphStyle(pick(7));
            } else {
                const int a = pick(length + 1);
                const int b = pick(length + 1);
                editor.setSelection(a, b);
                const unsigned effect = kEffects[pick(6)];
                ops.ToggleCharEffect(effect, (effect & PageEditor::kSuperSubMask) ? PageEditor::kSuperSubMask : effect);
            }
        }
        std::vector<ParagraphView> before = view();
        ASSERT_TRUE(ops.SavePage().ok());
        ASSERT_TRUE(ops.ReloadPage());
        std::vector<ParagraphView> after = view();
        ASSERT_EQ(before.size(), after.size());
        for (std::size_t i = 0; i < before.size(); ++i) {
            // A bold style shows all its text bold: there bold is implicit.
            if (store.styleSheet().style(before[i].style).bold()) {
                for (unsigned& e : before[i].effects) e &= ~unsigned(PageEditor::Bold);
                for (unsigned& e : after[i].effects) e &= ~unsigned(PageEditor::Bold);
            }
            EXPECT_EQ(before[i], after[i]) << "round " << round << ", paragraph " << i;
        }
    }
}

// ---- paragraph styles ------------------------------------------------------

TEST_F(PageOperationsTest, HeadingOnTheMiddleParagraphKeepsThreeParagraphs) {
    writePage("Three", pageFile("Three", "", "<body><p>one</p><p>two &amp; &lt;b&gt; <b>bold</b></p><p>three</p></body>"));
    ASSERT_TRUE(ops.OpenPage(u"Three", false));
    editor.setSelection(6, 9);
    ops.ApplyParagraphStyle(2);
    EXPECT_EQ(editor.selectionStart(), 6);
    EXPECT_EQ(editor.selectionEnd(), 6);
    const auto v = view();
    ASSERT_EQ(v.size(), 3u);
    EXPECT_EQ(v[0].text, u"one");
    EXPECT_EQ(v[1].text, u"two & <b> bold");
    EXPECT_EQ(v[2].text, u"three");
    EXPECT_EQ(v[0].style, 0);
    EXPECT_EQ(v[1].style, 2);
    EXPECT_EQ(v[2].style, 0);
    for (unsigned e : v[1].effects)
        EXPECT_EQ(e, 0u) << "character formatting is not kept";
    EXPECT_TRUE(ops.IsModified());

    editor.Undo();  // one step
    const auto undone = view();
    ASSERT_EQ(undone.size(), 3u);
    EXPECT_EQ(undone[1].style, 0);
    EXPECT_EQ(undone[1].text, u"two & <b> bold");

    editor.Redo();
    ASSERT_TRUE(ops.SavePage().ok());
    EXPECT_EQ(readPage("Three"),
              pageFile("Three", "", "<body><p>one</p><h2>two &amp; &lt;b&gt; bold</h2><p>three</p></body>"));
}

TEST_F(PageOperationsTest, HeadingOnTheLastParagraphAndOnAOneLinePage) {
    writePage("Last", pageFile("Last", "", "<body><p>one</p><p>last FrontPage</p></body>"));
    ASSERT_TRUE(ops.OpenPage(u"Last", false));
    editor.setSelection(editor.textLength(), editor.textLength());
    ops.ApplyParagraphStyle(4);
    auto v = view();
    ASSERT_EQ(v.size(), 2u);
    EXPECT_EQ(v[1].text, u"last FrontPage");
    EXPECT_EQ(v[1].style, 4);
    // The restyled paragraph's link word is marked at once.
    EXPECT_EQ(editor.LinkMarksInParagraph(10), (std::vector<std::pair<int, int>>{{9, 18}}));

    editor.SetPlainText(u"only");
    editor.setSelection(2, 2);
    ops.ApplyParagraphStyle(1);
    v = view();
    ASSERT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0].text, u"only");
    EXPECT_EQ(v[0].style, 1);
    ops.ApplyParagraphStyle(0);
    EXPECT_EQ(view()[0].style, 0);
}

TEST_F(PageOperationsTest, ReturnAtTheEndOfAHeadingContinuesWithNormalText) {
    ASSERT_TRUE(ops.OpenPage(u"FrontPage", false));
    editor.setFocus();
    editor.setSelection(10, 10);  // the end of "Front Page"
    QTest::keyClick(&editor, Qt::Key_Return);
    QTest::keyClicks(&editor, "hello");
    auto v = view();
    ASSERT_GE(v.size(), 2u);
    EXPECT_EQ(v[0].style, 1);
    EXPECT_EQ(v[1].style, 0);
    EXPECT_EQ(v[1].text, u"hello");
    // Inside a heading, Return splits it into two headings.
    editor.setSelection(5, 5);
    QTest::keyClick(&editor, Qt::Key_Return);
    EXPECT_EQ(view()[1].style, 1);
    QTest::keyClick(&editor, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_TRUE(ops.SavePage().ok());
    EXPECT_NE(readPage("FrontPage").find("<body><h1>Front Page</h1><p>hello</p></body>"), std::string::npos);
}

TEST_F(PageOperationsTest, LongParagraphsTakeAStyleWhole) {
    std::string text;
    while (text.size() < 6000)
        text += "lorem ipsum &amp; dolor ";
    writePage("Long", pageFile("Long", "", "<body><p>a</p><p>" + text + "</p></body>"));
    ASSERT_TRUE(ops.OpenPage(u"Long", false));
    const std::u16string before = editor.GetPlainText();
    editor.setSelection(5000, 5000);
    ops.ApplyParagraphStyle(3);
    EXPECT_EQ(editor.GetPlainText(), before);
    EXPECT_EQ(view()[1].style, 3);
}

TEST_F(PageOperationsTest, SelectParagraph) {
    editor.SetPlainText(u"just one line");
    editor.setSelection(4, 4);
    ops.SelectParagraph();
    EXPECT_EQ(editor.selectionStart(), 0);
    EXPECT_EQ(editor.selectionEnd(), 13);
    editor.SetPlainText(u"a\rbb\rc");
    editor.setSelection(3, 6);
    ops.SelectParagraph();
    EXPECT_EQ(editor.selectionStart(), 2);
    EXPECT_EQ(editor.selectionEnd(), 5);
}

// ---- character effects -----------------------------------------------------

TEST_F(PageOperationsTest, ToggleCharEffect) {
    editor.SetPlainText(u"some words here");
    editor.setSelection(7, 7);  // inside "words"
    ops.ToggleCharEffect(PageEditor::Bold, PageEditor::Bold);
    auto v = view();
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(v[0].effects[i] & PageEditor::Bold, (i >= 5 && i < 10) ? 1u : 0u) << i;
    editor.setSelection(7, 7);
    ops.ToggleCharEffect(PageEditor::Bold, PageEditor::Bold);
    v = view();
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(v[0].effects[i] & PageEditor::Bold, 0u) << i;

    // Superscript and subscript replace each other.
    editor.setSelection(0, 4);
    ops.ToggleCharEffect(PageEditor::Superscript, PageEditor::kSuperSubMask);
    editor.setSelection(0, 4);
    EXPECT_EQ(editor.SelectionEffects(), unsigned(PageEditor::Superscript));
    ops.ToggleCharEffect(PageEditor::Subscript, PageEditor::kSuperSubMask);
    EXPECT_EQ(editor.SelectionEffects(), unsigned(PageEditor::Subscript));
    ops.ToggleCharEffect(PageEditor::Subscript, PageEditor::kSuperSubMask);
    EXPECT_EQ(editor.SelectionEffects(), 0u);
}

// ---- opening, saving, failures ---------------------------------------------

TEST_F(PageOperationsTest, OpeningSavesAModifiedPageFirst) {
    writePage("PageOne", pageFile("Page One", "", "<body><p>one</p></body>"));
    ASSERT_TRUE(ops.OpenPage(u"PageOne", false));
    editor.setSelection(3, 3);
    type("X");
    EXPECT_TRUE(ops.IsModified());
    // The same page again: saved, not reloaded (the undo history stays).
    ASSERT_TRUE(ops.OpenPage(u"PageOne", false));
    EXPECT_FALSE(ops.IsModified());
    EXPECT_TRUE(editor.document()->isUndoAvailable());
    EXPECT_EQ(readPage("PageOne"), pageFile("Page One", "", "<body><p>oneX</p></body>"));

    type("Y");
    ASSERT_TRUE(ops.OpenPage(u"PageTwo", false));  // no file: a new page
    EXPECT_EQ(readPage("PageOne"), pageFile("Page One", "", "<body><p>oneXY</p></body>"));
    EXPECT_EQ(editor.GetPlainText(), u"Page Two\r");
    EXPECT_EQ(readPage("PageTwo"), "") << "nothing is written until the page is saved";
    EXPECT_EQ(ops.openPage()->name(), u"PageTwo");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(PageOperationsTest, KeywordsTravelWithThePage) {
    writePage("Keyed", pageFile("Keyed", "home &amp; &lt;start> &quot;q&quot;", "<body><p>b</p></body>"));
    ASSERT_TRUE(ops.OpenPage(u"Keyed", false));
    EXPECT_EQ(keywords.GetKeywords(), u"home & <start> \"q\"");
    EXPECT_FALSE(keywords.IsModified());
    keywords.editor().setSelection(0, 0);
    QTest::keyClicks(&keywords.editor(), "FrontPage");
    QTest::keyClick(&keywords.editor(), Qt::Key_Return);
    EXPECT_TRUE(ops.IsModified());
    EXPECT_TRUE(ops.TitleText().endsWith(QLatin1Char('*')));
    ASSERT_TRUE(ops.OpenPage(u"Other", false));
    EXPECT_NE(readPage("Keyed").find("content=\"FrontPage"), std::string::npos);
    EXPECT_FALSE(keywords.IsModified());
    EXPECT_EQ(keywords.GetKeywords(), u"");
    ASSERT_TRUE(ops.OpenPage(u"Keyed", false));
    EXPECT_EQ(keywords.GetKeywords(), u"FrontPage\rhome & <start> \"q\"");
    EXPECT_EQ(keywords.editor().LinkMarksInParagraph(0), (std::vector<std::pair<int, int>>{{0, 9}}));
}

TEST_F(PageOperationsTest, AFailedSaveIsReportedAndKeepsThePageModified) {
    dir.write("blocker", "a regular file");
    store.notebook().setFolder(dir.path16() + u"/blocker/notes");
    ASSERT_TRUE(ops.OpenPage(u"FrontPage", false));
    editor.setSelection(0, 0);
    type("Edit ");
    const Status status = ops.SavePage();
    EXPECT_FALSE(status.ok());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].message().find("blocker/notes/FrontPage.xhtml"), std::string::npos)
        << reports[0].message();
    EXPECT_GT(reports[0].message().size(), std::string("blocker/notes/FrontPage.xhtml").size() + 20)
        << "the reason is given too";
    EXPECT_TRUE(editor.IsModified());
    EXPECT_TRUE(ops.TitleText().endsWith(QLatin1Char('*')));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // Leaving would lose the edits: the page stays.
    EXPECT_FALSE(ops.OpenPage(u"OtherPage", false));
    EXPECT_EQ(reports.size(), 2u);
    EXPECT_EQ(ops.openPage()->name(), u"FrontPage");
    EXPECT_EQ(editor.GetPlainText(), u"Edit Front Page\r");

    // Once the folder can be written, leaving saves the edits.
    store.notebook().setFolder(dir.path16());
    ASSERT_TRUE(ops.OpenPage(u"OtherPage", false));
    EXPECT_NE(readPage("FrontPage").find("<h1>Edit Front Page</h1>"), std::string::npos);
}

TEST_F(PageOperationsTest, ReloadShowsTheNewStylesAndStaysClean) {
    writePage("Styled", pageFile("Styled", "", "<body><h1>Head</h1><p>text</p></body>"));
    ASSERT_TRUE(ops.OpenPage(u"Styled", false));
    EXPECT_EQ(editor.GetRtf().find(u"\\fs60"), std::u16string::npos);
    store.styleSheet().style(1).setSize(30);
    ASSERT_TRUE(ops.ReloadPage());
    EXPECT_NE(editor.GetRtf().find(u"\\fs60"), std::u16string::npos);
    EXPECT_FALSE(ops.IsModified());
}

// A style indented to the left shows left of the other paragraphs, and an
// edited page saves exactly what a page of those styles holds.
TEST_F(PageOperationsTest, AStyleIndentedLeftShowsLeftAndSavesTheSame) {
    const std::string body = "<body><h1>Head</h1><p>text</p></body>";
    writePage("Out", pageFile("Out", "", body));
    store.styleSheet().style(1).setLeftIndent(-567);
    editor.setMargins(60, 10);  // wider than the room: unindented text stays put
    ASSERT_TRUE(ops.OpenPage(u"Out", false));
    const auto leftAt = [this](int position) {
        QTextCursor c(editor.document());
        c.setPosition(position);
        return editor.viewport()->mapTo(&editor, editor.cursorRect(c).topLeft()).x();
    };
    EXPECT_LT(leftAt(0), leftAt(5) - 20);
    editor.setSelection(9, 9);
    type("s");
    EXPECT_TRUE(ops.SavePage().ok());
    EXPECT_NE(readPage("Out").find("<body><h1>Head</h1><p>texts</p></body>"), std::string::npos);
    EXPECT_NE(editor.GetRtf().find(u"\\li-567"), std::u16string::npos);

    // Back to no room when no style needs it; unindented text never moved.
    const int normal = leftAt(5);
    store.styleSheet().style(1).setLeftIndent(0);
    ASSERT_TRUE(ops.ReloadPage());
    EXPECT_EQ(leftAt(0), leftAt(5));
    EXPECT_NEAR(leftAt(5), normal, 1);
}

TEST_F(PageOperationsTest, TitleText) {
    EXPECT_EQ(ops.TitleText(), QStringLiteral("Tavix - untitled"));
    EXPECT_TRUE(ops.SavePage().ok()) << "no page open: nothing to do";
    EXPECT_FALSE(ops.ReloadPage());
    writePage("Amp", pageFile("A &amp; B &lt;C&gt;", "", "<body><p>x</p></body>"));
    ASSERT_TRUE(ops.OpenPage(u"Amp", false));
    ops.UpdateTitle();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Tavix - A & B <C>"));
    editor.setSelection(0, 0);
    type("y");
    ops.UpdateTitle();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Tavix - A & B <C>*"));
    writePage("NoTitle", "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head></head><body><p>x</p></body></html>");
    ASSERT_TRUE(ops.OpenPage(u"NoTitle", false));
    EXPECT_EQ(ops.TitleText(), QStringLiteral("Tavix - untitled"));
}

TEST_F(PageOperationsTest, BigPagesAreNeverCut) {
    std::string body = "<body>";
    std::size_t chars = 0;
    while (chars < 540000) {
        body += "<p>a paragraph of a very long page, with a LinkWord and <b>bold</b> text in it</p>";
        chars += 70;
    }
    body += "</body>";
    const std::string bytes = pageFile("Big", "", body);
    writePage("Big", bytes);
    EXPECT_EQ(roundTrip("Big"), bytes);
    EXPECT_GT(editor.textLength(), PageEditor::kTextLimit);
}

TEST_F(PageOperationsTest, ADamagedBodyShowsWhatCouldBeRead) {
    writePage("Broken", "<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>B</title></head>"
                        "<body><p>kept</p><p>cut <b>off");
    ASSERT_TRUE(ops.OpenPage(u"Broken", false));
    EXPECT_EQ(editor.GetPlainText().substr(0, 4), u"kept");
    EXPECT_FALSE(ops.IsModified());
}

}  // namespace
