// The page editor control on its own: link marking through every kind of
// change, link clicks, seed text, paragraph ranges, edit commands and
// character effects.
#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "editor/PageEditor.h"
#include "ui/KeywordsWindow.h"

using namespace tavix;

namespace {

using Marks = std::vector<std::pair<int, int>>;

class PageEditorTest : public ::testing::Test {
protected:
    void SetUp() override {
        editor.resize(900, 600);
        editor.show();
        connect();
    }
    void connect() {
        QObject::connect(&editor, &PageEditor::openPageRequested,
                         [this](const FoundPage& p) { requests.push_back(p); });
    }
    // Every mark of the document, in document positions.
    Marks allMarks() const {
        Marks out;
        for (QTextBlock b = editor.document()->begin(); b.isValid(); b = b.next()) {
            const Marks m = editor.LinkMarksInParagraph(b.position());
            out.insert(out.end(), m.begin(), m.end());
        }
        return out;
    }
    void placeCaret(int pos) { editor.setSelection(pos, pos); }
    void type(const QString& text) {
        for (QChar c : text)
            QTest::keyClick(&editor, c.toLatin1());
    }
    // A point over the middle of the character at pos.
    QPoint pointOver(int pos) {
        QTextCursor a(editor.document());
        a.setPosition(pos);
        QTextCursor b(editor.document());
        b.setPosition(pos + 1);
        const QRect ra = editor.cursorRect(a);
        const QRect rb = editor.cursorRect(b);
        return QPoint((ra.left() + rb.left()) / 2, ra.center().y());
    }

    PageEditor editor;
    std::vector<FoundPage> requests;
};

}  // namespace

TEST_F(PageEditorTest, LoadingMarksEveryLinkWordAndLeavesTheEditorClean) {
    const std::u16string text =
        u"See FrontPage and ShoppingList.\rNot Frontpage, FRONTPAGE, AaB, FooBAR, Front_Page.\r"
        u"Page2Go CaféBar ÉcoleNormale AaBb";
    editor.SetPlainText(text);
    const auto at = [&](std::u16string_view w) {
        const int p = int(text.find(w));
        return std::make_pair(p, p + int(w.size()));
    };
    EXPECT_EQ(allMarks(), (Marks{at(u"FrontPage"), at(u"ShoppingList"), at(u"Page2Go"), at(u"CaféBar"),
                                 at(u"AaBb")}));
    EXPECT_FALSE(editor.IsModified());
    EXPECT_FALSE(editor.document()->isUndoAvailable());
    EXPECT_EQ(editor.LinkWordAt(6), u"FrontPage");
    EXPECT_EQ(editor.LinkWordAt(13), u"");  // the blank after it
    EXPECT_EQ(editor.LinkWordAt(at(u"Frontpage").first), u"");
    EXPECT_EQ(editor.LinkWordAt(-1), u"");
    EXPECT_EQ(editor.LinkWordAt(100000), u"");
}

TEST_F(PageEditorTest, MarkingNeverReachesUndoModifiedFlagOrRtf) {
    editor.SetPlainText(u"Plain words only");
    const std::u16string plainRtf = editor.GetRtf();
    editor.SetPlainText(u"Plain FrontPage only");
    const std::u16string rtf = editor.GetRtf();
    EXPECT_EQ(rtf.find(u"\\ul"), std::u16string::npos) << "link marks must not be exported";
    editor.ScanAllLines();
    EXPECT_EQ(editor.GetRtf(), rtf);
    EXPECT_FALSE(editor.IsModified());
    EXPECT_FALSE(editor.document()->isUndoAvailable());
    // The same text without link words gives the same RTF shape.
    EXPECT_EQ(plainRtf.find(u"\\ul"), std::u16string::npos);
}

TEST_F(PageEditorTest, TypingMarksAWordOnceItQualifies) {
    editor.SetPlainText(u"");
    const QString word = QStringLiteral("ShoppingList");
    for (int i = 0; i < word.size(); ++i) {
        type(word.mid(i, 1));
        const bool expected = i >= 9;  // "ShoppingLi"
        EXPECT_EQ(!allMarks().empty(), expected) << "after " << i + 1 << " letters";
    }
    EXPECT_EQ(allMarks(), (Marks{{0, 12}}));
    EXPECT_TRUE(editor.IsModified());
    // Backspace over the L: "Shoppingist" is no link word.
    placeCaret(9);
    QTest::keyClick(&editor, Qt::Key_Backspace);
    EXPECT_EQ(editor.GetPlainText(), u"Shoppingist");
    EXPECT_TRUE(allMarks().empty());
}

TEST_F(PageEditorTest, DelPasteUndoAndRedoReMarkAtOnce) {
    editor.SetPlainText(u"ShoppingList and more");
    placeCaret(8);
    editor.Clear();  // deletes the L, like Del
    EXPECT_EQ(editor.GetPlainText(), u"Shoppingist and more");
    EXPECT_TRUE(allMarks().empty()) << "a stale mark would follow a name not in the text";

    editor.Undo();
    EXPECT_EQ(editor.GetPlainText(), u"ShoppingList and more");
    EXPECT_EQ(allMarks(), (Marks{{0, 12}}));
    editor.Redo();
    EXPECT_TRUE(allMarks().empty());

    QApplication::clipboard()->setText(QStringLiteral("Front"));
    placeCaret(20);
    QTest::keyClicks(&editor, " Page");
    EXPECT_TRUE(allMarks().empty());
    placeCaret(21);
    editor.Paste();
    EXPECT_EQ(editor.GetPlainText(), u"Shoppingist and more FrontPage");
    EXPECT_EQ(allMarks(), (Marks{{21, 30}}));
    placeCaret(26);
    editor.Clear();  // the P
    EXPECT_TRUE(allMarks().empty());
    editor.Undo();
    EXPECT_EQ(allMarks(), (Marks{{21, 30}}));
}

TEST_F(PageEditorTest, UndoNeverTakesAwayALinkMark) {
    editor.SetPlainText(u"FrontPage");
    editor.Undo();
    EXPECT_EQ(editor.GetPlainText(), u"FrontPage");
    EXPECT_EQ(allMarks(), (Marks{{0, 9}}));
    placeCaret(9);
    type(QStringLiteral("x"));
    editor.Undo();
    EXPECT_EQ(editor.GetPlainText(), u"FrontPage");
    EXPECT_EQ(allMarks(), (Marks{{0, 9}}));
    EXPECT_FALSE(editor.document()->isUndoAvailable());
    // The keyboard's undo too.
    placeCaret(0);
    type(QStringLiteral("z "));
    QTest::keyClick(&editor, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(&editor, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(&editor, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(editor.GetPlainText(), u"FrontPage");
    EXPECT_EQ(allMarks(), (Marks{{0, 9}}));
    EXPECT_FALSE(editor.IsModified());
}

TEST_F(PageEditorTest, SplittingAndJoiningParagraphsReMarksBothSides) {
    editor.SetPlainText(u"FrontPageShoppingList");
    EXPECT_EQ(allMarks(), (Marks{{0, 21}}));
    placeCaret(9);
    QTest::keyClick(&editor, Qt::Key_Return);
    EXPECT_EQ(allMarks(), (Marks{{0, 9}, {10, 22}}));
    QTest::keyClick(&editor, Qt::Key_Backspace);
    EXPECT_EQ(allMarks(), (Marks{{0, 21}}));
}

TEST_F(PageEditorTest, MarkedParagraphsStayLaidOut) {
    // A block whose formats changed outside the layout pass would draw
    // nothing: every block must keep its lines after marking.
    std::u16string text;
    for (int i = 0; i < 300; ++i)
        text += u"Some FrontPage words " + std::u16string(i % 3 ? u"" : u"LinkWord") + u"\r";
    editor.SetPlainText(text);
    placeCaret(50);
    type(QStringLiteral("AbCd "));
    editor.ScanAllLines();
    editor.document()->documentLayout()->documentSize();
    for (QTextBlock b = editor.document()->begin(); b.isValid(); b = b.next())
        ASSERT_GT(b.layout()->lineCount(), 0) << "block at " << b.position();
}

TEST_F(PageEditorTest, ClickOnALinkRequestsThePage) {
    editor.SetPlainText(u"Go to ShoppingList now");
    QApplication::processEvents();
    EXPECT_EQ(editor.CharacterAt(pointOver(8)), 8);
    QTest::mouseClick(editor.viewport(), Qt::LeftButton, Qt::NoModifier, pointOver(8));
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].pageName, u"ShoppingList");
    EXPECT_EQ(requests[0].notebookName, u"");

    // Plain text: no request, the caret moves there.
    QTest::mouseClick(editor.viewport(), Qt::LeftButton, Qt::NoModifier, pointOver(1));
    EXPECT_EQ(requests.size(), 1u);

    // Far below the text is no character at all.
    EXPECT_EQ(editor.CharacterAt(QPoint(5, 580)), -1);
}

TEST_F(PageEditorTest, ClickFollowsTheTextNotAStaleMark) {
    editor.SetPlainText(u"ShoppingList");
    placeCaret(8);
    editor.Clear();
    QApplication::processEvents();
    QTest::mouseClick(editor.viewport(), Qt::LeftButton, Qt::NoModifier, pointOver(3));
    EXPECT_TRUE(requests.empty());
}

TEST_F(PageEditorTest, PointingHandOverLinks) {
    editor.SetPlainText(u"abc FrontPage");
    QApplication::processEvents();
    QTest::mouseMove(editor.viewport(), pointOver(6));
    QMouseEvent over(QEvent::MouseMove, pointOver(6), editor.viewport()->mapToGlobal(pointOver(6)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(editor.viewport(), &over);
    EXPECT_EQ(editor.viewport()->cursor().shape(), Qt::PointingHandCursor);
    QMouseEvent off(QEvent::MouseMove, pointOver(1), editor.viewport()->mapToGlobal(pointOver(1)),
                    Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(editor.viewport(), &off);
    EXPECT_EQ(editor.viewport()->cursor().shape(), Qt::IBeamCursor);
}

TEST_F(PageEditorTest, SearchSeedText) {
    editor.SetPlainText(u"alpha beta\rgamma");
    placeCaret(0);
    EXPECT_EQ(editor.SearchSeedText(), u"");  // at a word's first character
    placeCaret(2);
    EXPECT_EQ(editor.SearchSeedText(), u"alpha");
    placeCaret(5);
    EXPECT_EQ(editor.SearchSeedText(), u"alpha");  // right after the word
    placeCaret(6);
    EXPECT_EQ(editor.SearchSeedText(), u"");
    placeCaret(14);
    EXPECT_EQ(editor.SearchSeedText(), u"gamma");
    editor.setSelection(3, 13);
    EXPECT_EQ(editor.SearchSeedText(), u"ha beta\rga");

    std::u16string longText(200, u'x');
    longText[126] = 0xD83D;  // a pair straddling the cut
    longText[127] = 0xDE00;
    editor.SetPlainText(longText);
    editor.setSelection(0, 200);
    EXPECT_EQ(editor.SearchSeedText(), longText.substr(0, 126));
    editor.setSelection(0, 128);
    EXPECT_EQ(editor.selectionEnd(), 128) << "the selection is left as it was";
    editor.setSelection(10, 137);
    EXPECT_EQ(editor.SearchSeedText().size(), 127u);
}

TEST_F(PageEditorTest, ParagraphRanges) {
    editor.SetPlainText(u"one");
    EXPECT_EQ(editor.ParagraphRangeAt(1), std::make_pair(0, 3));
    editor.SetPlainText(u"one\rtwo two\rthree");
    EXPECT_EQ(editor.ParagraphRangeAt(0), std::make_pair(0, 4));
    EXPECT_EQ(editor.ParagraphRangeAt(3), std::make_pair(0, 4));
    EXPECT_EQ(editor.ParagraphRangeAt(4), std::make_pair(4, 12));
    EXPECT_EQ(editor.ParagraphRangeAt(12), std::make_pair(12, 17));
    EXPECT_EQ(editor.ParagraphRangeAt(17), std::make_pair(12, 17));
    EXPECT_EQ(editor.ParagraphRangeAt(999), std::make_pair(12, 17));
    // A paragraph wrapped over several display lines is still one range.
    std::u16string longPara;
    for (int i = 0; i < 100; ++i)
        longPara += u"wrapping words ";
    editor.SetPlainText(u"a\r" + longPara + u"\rb");
    editor.document()->documentLayout()->documentSize();
    ASSERT_GT(editor.document()->findBlockByNumber(1).layout()->lineCount(), 4);
    EXPECT_EQ(editor.ParagraphRangeAt(900), std::make_pair(2, 3 + int(longPara.size())));
    editor.SetPlainText(u"");
    EXPECT_EQ(editor.ParagraphRangeAt(0), std::make_pair(0, 0));
}

TEST_F(PageEditorTest, ClearDeletesSelectionOrNextCharacterButNothingAtTheEnd) {
    editor.SetPlainText(u"abc\rdef");
    placeCaret(7);
    editor.Clear();
    EXPECT_EQ(editor.GetPlainText(), u"abc\rdef");
    EXPECT_FALSE(editor.IsModified());
    placeCaret(3);
    editor.Clear();  // the separator: paragraphs join
    EXPECT_EQ(editor.GetPlainText(), u"abcdef");
    editor.setSelection(1, 4);
    editor.Clear();
    EXPECT_EQ(editor.GetPlainText(), u"aef");
    editor.ClearAll();
    EXPECT_EQ(editor.GetPlainText(), u"");
    editor.Undo();
    EXPECT_EQ(editor.GetPlainText(), u"aef");
}

TEST_F(PageEditorTest, PasteInsertsPlainTextOnly) {
    editor.SetPlainText(u"ab");
    auto* mime = new QMimeData;
    mime->setHtml(QStringLiteral("<b>Bold</b>FrontPage"));
    mime->setText(QStringLiteral("BoldFrontPage"));
    QApplication::clipboard()->setMimeData(mime);
    placeCaret(1);
    editor.Paste();
    EXPECT_EQ(editor.GetPlainText(), u"aBoldFrontPageb");
    editor.SelectAllText();
    EXPECT_EQ(editor.SelectionEffects() & PageEditor::Bold, 0u);
    EXPECT_TRUE(allMarks().empty()) << "aBoldFrontPageb is no link word";
    editor.Copy();
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("aBoldFrontPageb"));
    editor.Cut();
    EXPECT_EQ(editor.GetPlainText(), u"");
}

TEST_F(PageEditorTest, EffectsOnAnEmptySelectionTakeTheWordAroundTheCaret) {
    editor.SetPlainText(u"one two three");
    placeCaret(5);  // inside "two"
    editor.SetSelectionEffects(PageEditor::Bold, PageEditor::Bold);
    editor.setSelection(4, 7);
    EXPECT_EQ(editor.SelectionEffects() & PageEditor::Bold, unsigned(PageEditor::Bold));
    editor.setSelection(3, 4);
    EXPECT_EQ(editor.SelectionEffects() & PageEditor::Bold, 0u);
    editor.setSelection(7, 8);
    EXPECT_EQ(editor.SelectionEffects() & PageEditor::Bold, 0u);

    // At a word's edge only what is typed next changes.
    placeCaret(3);
    editor.SetSelectionEffects(PageEditor::Italic, PageEditor::Italic);
    editor.setSelection(0, 3);
    EXPECT_EQ(editor.SelectionEffects() & PageEditor::Italic, 0u);
    placeCaret(3);
    editor.SetSelectionEffects(PageEditor::Italic, PageEditor::Italic);
    QTest::keyClicks(&editor, "X");
    editor.setSelection(3, 4);
    EXPECT_EQ(editor.GetPlainText(), u"oneX two three");
    EXPECT_EQ(editor.SelectionEffects() & PageEditor::Italic, unsigned(PageEditor::Italic));
}

TEST_F(PageEditorTest, SelectionEffectsNeedEveryCharacter) {
    editor.SetPlainText(u"abcdef");
    editor.setSelection(0, 3);
    editor.SetSelectionEffects(PageEditor::Bold | PageEditor::Superscript,
                               PageEditor::Bold | PageEditor::kSuperSubMask);
    editor.setSelection(0, 3);
    EXPECT_EQ(editor.SelectionEffects(), unsigned(PageEditor::Bold | PageEditor::Superscript));
    editor.setSelection(0, 6);
    EXPECT_EQ(editor.SelectionEffects(), 0u);
    // Writing subscript replaces superscript: one vertical position.
    editor.setSelection(1, 2);
    editor.SetSelectionEffects(PageEditor::Subscript, PageEditor::kSuperSubMask);
    EXPECT_EQ(editor.SelectionEffects(), unsigned(PageEditor::Bold | PageEditor::Subscript));
    EXPECT_TRUE(editor.IsModified());
}

TEST_F(PageEditorTest, RedrawSuppressionIsCounted) {
    editor.BeginNoRedraw();
    editor.BeginNoRedraw();
    EXPECT_FALSE(editor.updatesEnabled());
    editor.EndNoRedraw();
    EXPECT_FALSE(editor.updatesEnabled());
    editor.EndNoRedraw();
    EXPECT_TRUE(editor.updatesEnabled());
    editor.EndNoRedraw();  // unbalanced: no effect
    EXPECT_TRUE(editor.updatesEnabled());
    editor.BeginNoRedraw();
    EXPECT_FALSE(editor.updatesEnabled());
    editor.EndNoRedraw();
}

TEST_F(PageEditorTest, LoadingIsNeverCutToTheTextLimit) {
    std::u16string big;
    while (big.size() < std::size_t(PageEditor::kTextLimit) + 1000)
        big += u"words of a long page with a LinkWord in each paragraph\r";
    editor.SetPlainText(big);
    EXPECT_EQ(editor.GetPlainText(), big);
    EXPECT_EQ(editor.LinkWordAt(int(big.size()) - 24), u"LinkWord");
    EXPECT_FALSE(editor.IsModified());
}

// A paragraph's indent moves its text on screen either way: a negative one
// (which the Styles dialog stores) moves it left of the ordinary edge, into
// the room the editor makes for it. The room is presentation only: the same
// RTF comes back out, unindented text stays where it was, and a paragraph
// copied within the page keeps its indent.
TEST_F(PageEditorTest, NegativeIndentMovesTheTextLeft) {
    const std::u16string rtf = u"{\\rtf1{\\fonttbl{\\f0 Sans;}}"
                               u"\\pard\\s0\\li0\\f0\\fs24 Plain\\par "
                               u"\\pard\\s0\\li-567\\f0\\fs24 Out\\par "
                               u"\\pard\\s0\\li567\\f0\\fs24 In\\par }";
    auto leftAt = [this](int pos) {
        QTextCursor c(editor.document());
        c.setPosition(pos);
        return editor.viewport()->mapTo(&editor, editor.cursorRect(c).topLeft()).x();
    };
    editor.setMargins(60, 10);
    editor.SetRtf(rtf);
    const std::u16string without = editor.GetRtf();
    const int plainBefore = leftAt(0);

    editor.setIndentRoom(40);
    editor.SetRtf(rtf);
    ASSERT_EQ(editor.document()->blockCount(), 3);
    const int plain = leftAt(0);
    EXPECT_NEAR(plain, plainBefore, 1);
    EXPECT_GT(leftAt(10), plain + 20);
    EXPECT_LT(leftAt(6), plain - 20);
    EXPECT_EQ(editor.GetRtf(), without);
    EXPECT_FALSE(editor.IsModified());
    EXPECT_EQ(editor.document()->availableUndoSteps(), 0);

    // The "Out" paragraph dragged (copied) before "In": it keeps its own
    // indent, and the saved indents stay exact.
    editor.setSelection(6, 10);
    ASSERT_TRUE(editor.dropSelectionAt(10, true));
    const std::u16string copied = editor.GetRtf();
    const auto count = [&copied](std::u16string_view what) {
        int n = 0;
        for (auto at = copied.find(what); at != std::u16string::npos; at = copied.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count(u"\\li-567"), 2) << QString::fromStdU16String(copied).toStdString();
    EXPECT_EQ(count(u"\\li567"), 1);
    EXPECT_LT(leftAt(10), plain - 20);
    EXPECT_GT(leftAt(14), plain + 20);
}

TEST(KeywordsWindowTest, PaneHoldsAnEditorWhoseLinksCanBeFollowed) {
    KeywordsWindow pane;
    EXPECT_EQ(pane.windowTitle(), QStringLiteral("Keywords"));
    EXPECT_TRUE(pane.isHidden());
    EXPECT_FALSE(pane.Toggle());
    EXPECT_FALSE(pane.isHidden());
    EXPECT_TRUE(pane.Toggle());
    EXPECT_TRUE(pane.isHidden());

    pane.SetKeywords(u"home FrontPage\rsecond line & <more>");
    EXPECT_EQ(pane.GetKeywords(), u"home FrontPage\rsecond line & <more>");
    EXPECT_FALSE(pane.IsModified());
    EXPECT_EQ(pane.editor().LinkMarksInParagraph(0), (Marks{{5, 14}}));
    pane.editor().setSelection(0, 0);
    QTest::keyClicks(&pane.editor(), "x");
    EXPECT_TRUE(pane.IsModified());
    pane.ClearModified();
    EXPECT_FALSE(pane.IsModified());

    std::vector<FoundPage> requests;
    QObject::connect(&pane.editor(), &PageEditor::openPageRequested,
                     [&](const FoundPage& p) { requests.push_back(p); });
    pane.Toggle();
    pane.resize(400, 200);
    QApplication::processEvents();
    QTextCursor c(pane.editor().document());
    c.setPosition(8);
    const QPoint at = pane.editor().cursorRect(c).center() + QPoint(2, 0);
    QTest::mouseClick(pane.editor().viewport(), Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].pageName, u"FrontPage");
}
