// The rich-text control: content in and out, positions, display lines, the
// text limit, plain-text paste and literal find.
#include <random>
#include <vector>

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <gtest/gtest.h>

#include "platform/RichTextControl.h"
#include "platform/RtfDocument.h"

namespace tavix {
namespace {

// Gives the tests the drop/paste entry point directly, without the clipboard.
class Control : public RichTextControl {
public:
    using RichTextControl::canInsertFromMimeData;
    using RichTextControl::insertFromMimeData;
    using RichTextControl::viewportMargins;
};

const std::u16string kPage =
    u"{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fcharset1 Times New Roman;}{\\f1\\fcharset1 Arial;};}"
    u"\\pard\\s1\\ql\\b\\sb240\\sa60\\f1\\fs44\\li0\\ri0 Title\\b0\\par "
    u"\\pard\\s0\\ql\\sb0\\sa0\\f0\\fs24\\li0\\ri0 Some \\b bold\\b0  text\\par }";

QString q(const std::u16string& s) { return QString::fromStdU16String(s); }

TEST(RichTextControl, LoadingLeavesNoUndoAndNoModification) {
    Control c;
    c.setPlainContent(u"first");
    c.setSelection(5, 5);
    QTest::keyClicks(&c, "xyz");
    EXPECT_TRUE(c.document()->isModified());
    EXPECT_TRUE(c.document()->isUndoAvailable());

    c.setRtfContent(kPage);
    EXPECT_FALSE(c.document()->isModified());
    EXPECT_FALSE(c.document()->isUndoAvailable());
    EXPECT_FALSE(c.document()->isRedoAvailable());
    EXPECT_EQ(q(c.plainContent()), QString("Title\rSome bold text"));
    EXPECT_EQ(c.paragraphStyleAt(0), 1);
    EXPECT_EQ(c.paragraphStyleAt(8), 0);
    EXPECT_EQ(c.selectionStart(), 0);

    QTest::keyClicks(&c, "A");
    EXPECT_TRUE(c.document()->isModified());
    c.setPlainContent(u"plain");
    EXPECT_FALSE(c.document()->isModified());
    EXPECT_FALSE(c.document()->isUndoAvailable());
    EXPECT_EQ(c.paragraphStyleAt(0), 0);

    // The content goes out as it came in.
    c.setRtfContent(kPage);
    Control other;
    other.setRtfContent(c.rtfContent());
    EXPECT_EQ(other.rtfContent(), c.rtfContent());
    EXPECT_EQ(q(other.plainContent()), QString("Title\rSome bold text"));
}

TEST(RichTextControl, PlainTextPositionsAndSelection) {
    Control c;
    c.setPlainContent(u"ab\rcd\r\nef\ngh\u2029ij");
    EXPECT_EQ(q(c.plainContent()), QString("ab\rcd\ref\rgh\rij"));
    EXPECT_EQ(c.document()->blockCount(), 5);
    EXPECT_EQ(c.textLength(), 14);
    EXPECT_EQ(q(c.textRange(1, 5)), QString("b\rcd"));
    EXPECT_EQ(q(c.textRange(-3, 2)), QString("ab"));
    EXPECT_EQ(q(c.textRange(12, 99)), QString("ij"));
    EXPECT_TRUE(c.textRange(5, 5).empty());
    EXPECT_TRUE(c.textRange(6, 3).empty());

    c.setSelection(7, 2);
    EXPECT_EQ(c.selectionStart(), 2);
    EXPECT_EQ(c.selectionEnd(), 7);
    EXPECT_EQ(c.textCursor().position(), 2);  // the caret is at the second end
    c.setSelection(-4, 400);
    EXPECT_EQ(c.selectionStart(), 0);
    EXPECT_EQ(c.selectionEnd(), 14);
    c.setSelection(3, 3);
    EXPECT_FALSE(c.textCursor().hasSelection());
}

TEST(RichTextControl, WrappedLinesCountSeparately) {
    Control c;
    c.resize(300, 400);
    c.show();
    std::u16string longText;
    for (int i = 0; i < 40; ++i) longText += u"word ";
    c.setPlainContent(longText + u"\rshort");
    const int lines = c.lineCount();
    ASSERT_GT(lines, 3);
    EXPECT_EQ(c.lineFromPosition(0), 0);
    EXPECT_EQ(c.lineStart(0), 0);
    // The wrapped lines of the first paragraph follow one another.
    int expectedStart = 0;
    for (int line = 0; line < lines - 1; ++line) {
        EXPECT_EQ(c.lineStart(line), expectedStart) << line;
        EXPECT_EQ(c.lineFromPosition(expectedStart), line);
        expectedStart += c.lineLength(line);
    }
    EXPECT_EQ(expectedStart, 200);  // the first paragraph, without its separator
    // The last line is the short paragraph.
    EXPECT_EQ(c.lineStart(lines - 1), 201);
    EXPECT_EQ(c.lineLength(lines - 1), 5);
    EXPECT_EQ(c.lineFromPosition(c.textLength()), lines - 1);
    EXPECT_EQ(c.lineFromPosition(1000), lines - 1);
    // The caret at the start of the second display line is on line 1.
    EXPECT_EQ(c.lineFromPosition(c.lineStart(1)), 1);
    EXPECT_EQ(c.lineFromPosition(c.lineStart(1) - 1), 0);
    // Lines beyond the end.
    EXPECT_EQ(c.lineStart(lines), -1);
    EXPECT_EQ(c.lineStart(-1), -1);
    EXPECT_EQ(c.lineLength(lines), 0);

    // A wider window wraps less.
    c.resize(900, 400);
    EXPECT_LT(c.lineCount(), lines);
    // An empty document has one line.
    c.setPlainContent(u"");
    EXPECT_EQ(c.lineCount(), 1);
    EXPECT_EQ(c.lineStart(0), 0);
    EXPECT_EQ(c.lineLength(0), 0);
}

TEST(RichTextControl, LimitAppliesToTypingAndPasteNotLoading) {
    Control c;
    c.setTextLimit(10);
    c.setPlainContent(u"0123456789ABCDEF");
    EXPECT_EQ(c.textLength(), 16);  // loading is never cut
    c.setSelection(16, 16);
    QTest::keyClicks(&c, "x");
    EXPECT_EQ(c.textLength(), 16);
    QTest::keyClick(&c, Qt::Key_Return);
    EXPECT_EQ(c.document()->blockCount(), 1);
    QTest::keyClick(&c, Qt::Key_Tab);
    EXPECT_EQ(c.textLength(), 16);
    // Deleting is always allowed.
    QTest::keyClick(&c, Qt::Key_Backspace);
    EXPECT_EQ(c.textLength(), 15);

    c.setPlainContent(u"12345678");
    c.setSelection(8, 8);
    QTest::keyClicks(&c, "abc");
    EXPECT_EQ(q(c.plainContent()), QString("12345678ab"));

    // Paste is cut to what still fits; a selection makes room.
    c.setPlainContent(u"1234567");
    c.setSelection(7, 7);
    QMimeData data;
    data.setText("abcdef");
    c.insertFromMimeData(&data);
    EXPECT_EQ(q(c.plainContent()), QString("1234567abc"));
    c.insertFromMimeData(&data);
    EXPECT_EQ(c.textLength(), 10);
    c.setSelection(0, 4);
    c.insertFromMimeData(&data);
    EXPECT_EQ(q(c.plainContent()), QString("abcd567abc"));
    // A surrogate pair is never split by the cut.
    c.setPlainContent(u"123456789");
    c.setSelection(9, 9);
    QMimeData emoji;
    emoji.setText(QString::fromUtf16(u"\U0001F600"));
    c.insertFromMimeData(&emoji);
    EXPECT_EQ(q(c.plainContent()), QString("123456789"));

    // Input methods are held to the limit too.
    c.setPlainContent(u"12345678");
    c.setSelection(8, 8);
    QInputMethodEvent commit;
    commit.setCommitString("xyz");
    QApplication::sendEvent(&c, &commit);
    EXPECT_EQ(q(c.plainContent()), QString("12345678xy"));
}

TEST(RichTextControl, PasteInsertsPlainTextOnlyInTheCaretsFormat) {
    Control c;
    c.setRtfContent(kPage);
    c.setSelection(13, 13);  // inside "bold"
    QMimeData data;
    data.setHtml("<i>italic</i> and <u>under</u>");
    data.setText("X\r\nY\rZ");
    ASSERT_TRUE(c.canInsertFromMimeData(&data));
    c.insertFromMimeData(&data);
    EXPECT_EQ(q(c.plainContent()), QString("Title\rSome boX\rY\rZld text"));
    QTextCursor at(c.document());
    at.setPosition(14);  // after the pasted "X"
    EXPECT_EQ(at.charFormat().fontWeight(), QFont::Bold);
    EXPECT_FALSE(at.charFormat().fontItalic());
    EXPECT_FALSE(at.charFormat().fontUnderline());
    // One paste is one undo step.
    c.undo();
    EXPECT_EQ(q(c.plainContent()), QString("Title\rSome bold text"));

    // Formatted content without text is refused.
    QMimeData htmlOnly;
    htmlOnly.setHtml("<b>x</b>");
    EXPECT_FALSE(c.canInsertFromMimeData(&htmlOnly));
    c.insertFromMimeData(&htmlOnly);
    EXPECT_EQ(q(c.plainContent()), QString("Title\rSome bold text"));

    // Control characters cannot be stored and are dropped.
    QMimeData controls;
    controls.setText(QString::fromUtf16(u"a\u0001b\u000bc\td"));
    c.setSelection(0, 0);
    c.insertFromMimeData(&controls);
    EXPECT_EQ(q(c.textRange(0, 5)), QString("abc\td"));
}

TEST(RichTextControl, ClipboardTextCanBePasted) {
    Control c;
    QApplication::clipboard()->setText("from clipboard");
    EXPECT_TRUE(c.canPastePlainText());
    c.paste();
    EXPECT_EQ(q(c.plainContent()), QString("from clipboard"));
    QApplication::clipboard()->clear();
    EXPECT_FALSE(c.canPastePlainText());
}

TEST(RichTextControl, FindWithOptionsAndNoWrapAround) {
    Control c;
    c.setPlainContent(u"Page one\rpage pages page");
    c.setSelection(0, 0);
    // Down, any case: the first match, then the next from its end.
    ASSERT_TRUE(c.findText(u"page", false, false, true));
    EXPECT_EQ(c.selectionStart(), 0);
    EXPECT_EQ(c.selectionEnd(), 4);
    ASSERT_TRUE(c.findText(u"page", false, false, true));
    EXPECT_EQ(c.selectionStart(), 9);
    // Whole word skips "pages".
    ASSERT_TRUE(c.findText(u"page", false, true, true));
    EXPECT_EQ(c.selectionStart(), 20);
    // The last occurrence: nothing found, nothing changes.
    EXPECT_FALSE(c.findText(u"page", false, true, true));
    EXPECT_EQ(c.selectionStart(), 20);
    EXPECT_EQ(c.selectionEnd(), 24);
    // Up from the selection's start, whole word, matching case.
    ASSERT_TRUE(c.findText(u"page", true, true, false));
    EXPECT_EQ(c.selectionStart(), 9);
    EXPECT_FALSE(c.findText(u"page", true, true, false));  // "Page" differs in case
    EXPECT_EQ(c.selectionStart(), 9);
    ASSERT_TRUE(c.findText(u"Page", true, false, false));
    EXPECT_EQ(c.selectionStart(), 0);
    EXPECT_FALSE(c.findText(u"", false, false, true));
    EXPECT_FALSE(c.findText(u"absent", false, false, true));
}

TEST(RichTextControl, MarginsAreNotAnEdit) {
    Control c;
    c.resize(300, 200);
    c.show();
    c.setPlainContent(u"text");
    QTest::keyClicks(&c, "x");
    const int widthBefore = c.viewport()->width();
    c.setMargins(12, 30);
    EXPECT_EQ(c.viewportMargins(), QMargins(12, 0, 30, 0));
    EXPECT_EQ(c.viewport()->width(), widthBefore - 42);
    // The undo history is the text's alone.
    c.undo();
    EXPECT_EQ(q(c.plainContent()), QString("text"));
    EXPECT_FALSE(c.document()->isUndoAvailable());
    // Reloading keeps them.
    c.setRtfContent(kPage);
    EXPECT_EQ(c.viewportMargins(), QMargins(12, 0, 30, 0));
}

TEST(RichTextControl, ShiftReturnStartsAParagraph) {
    Control c;
    c.setPlainContent(u"ab");
    c.setSelection(1, 1);
    QTest::keyClick(&c, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(q(c.plainContent()), QString("a\rb"));
    EXPECT_EQ(c.document()->blockCount(), 2);
}

TEST(RichTextControl, ReplacingTheSelectionWithRtfIsOneUndoStep) {
    Control c;
    c.setRtfContent(kPage);
    c.setSelection(6, 20);  // the whole second paragraph
    c.replaceSelectionWithRtf(
        u"{\\rtf1{\\fonttbl{\\f102\\fcharset1 Arial;}}\\pard\\s2\\ql\\f102\\fs40 Some bold text\\par }");
    EXPECT_TRUE(c.document()->isModified());
    EXPECT_EQ(q(c.plainContent()), QString("Title\rSome bold text"));
    EXPECT_EQ(c.paragraphStyleAt(8), 2);
    c.undo();
    EXPECT_EQ(c.paragraphStyleAt(8), 0);
    EXPECT_EQ(q(c.plainContent()), QString("Title\rSome bold text"));
}

}  // namespace
}  // namespace tavix

namespace tavix {
namespace {

// Find in a paragraph shown in parts finds what it finds in the same
// paragraph shown whole, breaks or not: the same matches, in the same
// order, either way, whole words or not, in any case.
TEST(RichTextControl, FindAcrossPartsAsInAWholeParagraph) {
    std::mt19937 rng(17);
    const char* words[] = {"alpha", "Beta", "gamma", "ALPHA", "be", "ta", "a", "\u00e9t\u00e9", "x1"};
    std::u16string text;
    for (int i = 0; i < 600; ++i) {
        text += QString::fromUtf8(words[rng() % 9]).toStdU16String();
        text += rng() % 40 == 0 ? u"\n" : rng() % 5 == 0 ? u"\t" : u" ";
    }
    Control parts;
    parts.setPartLength(20);
    parts.setPlainContent(text);
    Control whole;
    whole.setPartLength(0);
    whole.setPlainContent(text);
    ASSERT_GT(parts.document()->blockCount(), whole.document()->blockCount() * 3);
    ASSERT_EQ(parts.plainContent(), whole.plainContent());
    // Where each place of the text is in the control with parts.
    std::vector<int> inParts;
    for (int d = 0; d <= parts.textLength(); ++d)
        if (parts.textRange(0, d).size() == inParts.size()) inParts.push_back(d);
    auto place = [](const Control& c) {
        return std::make_pair(c.textRange(0, c.selectionStart()).size(),
                              c.textRange(c.selectionStart(), c.selectionEnd()));
    };
    const char* sought[] = {"alpha beta", "a b", "A\tB", "ta g", "\u00e9t\u00e9 x", "be", "a", "x1 a", "ETA"};
    for (int round = 0; round < 300; ++round) {
        const QString what = QString::fromUtf8(sought[rng() % 9]);
        const bool matchCase = rng() % 2, wholeWord = rng() % 3 == 0, down = rng() % 3 != 0;
        const int at = int(rng() % (whole.textLength() + 1));
        whole.setSelection(at, at);
        // The same place in the text, wherever the breaks fall.
        parts.setSelection(inParts[std::size_t(at)], inParts[std::size_t(at)]);
        for (int step = 0; step < 4; ++step) {
            const bool a = whole.findText(what.toStdU16String(), matchCase, wholeWord, down);
            const bool b = parts.findText(what.toStdU16String(), matchCase, wholeWord, down);
            ASSERT_EQ(a, b) << what.toStdString() << " round " << round;
            if (!a) break;
            ASSERT_EQ(place(whole), place(parts)) << what.toStdString() << " round " << round;
        }
    }
}

}  // namespace
}  // namespace tavix
