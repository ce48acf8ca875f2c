// Drag and drop of page text: a drag that ends anywhere but in the page
// itself copies, whatever the target reports back; a drag within the page
// moves the text with its formats as one undo step. No drag loop runs
// headless, so the tests stand in for it and deliver the drop events to the
// target themselves, exactly as the platform would.
#include <functional>
#include <random>

#include <QApplication>
#include <QDrag>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <gtest/gtest.h>

#include "platform/RichTextControl.h"
#include "platform/RtfDocument.h"

namespace tavix {
namespace {

class DragControl : public RichTextControl {
public:
    // Stands in for the platform's drag loop; returns what the target did.
    std::function<Qt::DropAction(QDrag&)> onDrag;
    int drags = 0;
    // Every drag asks for the selection's data once; a request that comes
    // without a drag of the control's own is QTextEdit starting its own.
    mutable int dataRequests = 0;

protected:
    QMimeData* createMimeDataFromSelection() const override {
        ++dataRequests;
        return RichTextControl::createMimeDataFromSelection();
    }
    Qt::DropAction runDrag(QDrag& drag) override {
        ++drags;
        return onDrag ? onDrag(drag) : Qt::IgnoreAction;
    }
};

// Delivers enter, move and drop to target at pos as the platform does, with
// the action the platform proposes for the modifiers; returns the action
// the target accepted (IgnoreAction when it refused).
Qt::DropAction deliverDrop(QWidget* target, const QPoint& pos, const QMimeData* data,
                           Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(pos, offered, data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return Qt::IgnoreAction;
    QDragMoveEvent move(pos, offered, data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &move);
    if (!move.isAccepted())
        return Qt::IgnoreAction;
    QDropEvent drop(QPointF(pos), offered, data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

// A point just right of the cursor position pos (over the character that
// follows it), in viewport coordinates: the nearest position is pos.
QPoint pointAt(const RichTextControl& c, int pos) {
    QTextCursor cursor(c.document());
    cursor.setPosition(pos);
    return c.cursorRect(cursor).center() + QPoint(1, 0);
}

// Selects [from, to), presses inside the selection and moves the mouse far
// enough to start a drag, as a user does.
void dragSelection(DragControl& c, int from, int to, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    c.setSelection(from, to);
    const QPoint press = pointAt(c, from);
    QTest::mousePress(c.viewport(), Qt::LeftButton, modifiers, press);
    const QPoint far = press + QPoint(QApplication::startDragDistance() + 5, 0);
    QMouseEvent move(QEvent::MouseMove, far, c.viewport()->mapToGlobal(far), Qt::NoButton, Qt::LeftButton,
                     modifiers);
    QApplication::sendEvent(c.viewport(), &move);
}

const std::u16string kPage =
    u"{\\rtf1\\ansi\\ansicpg1252{\\fonttbl{\\f0\\fcharset1 Times New Roman;}{\\f1\\fcharset1 Arial;};}"
    u"\\pard\\s1\\ql\\b\\sb240\\sa60\\f1\\fs44\\li0\\ri0 Title\\b0\\par "
    u"\\pard\\s0\\ql\\sb0\\sa0\\f0\\fs24\\li0\\ri0 Some \\b bold\\b0  text\\par "
    u"\\pard\\s0\\ql\\sb0\\sa0\\f0\\fs24\\li0\\ri0 last\\par }";

QString q(const std::u16string& s) { return QString::fromStdU16String(s); }

bool boldAt(const QTextDocument& doc, int pos) {
    QTextCursor c(const_cast<QTextDocument*>(&doc));
    c.setPosition(pos + 1);
    return c.charFormat().fontWeight() >= QFont::DemiBold;
}

class DragDropTest : public ::testing::Test {
protected:
    void SetUp() override {
        c.resize(600, 300);
        c.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&c));
        c.setRtfContent(kPage);
    }
    DragControl c;
};

TEST_F(DragDropTest, DropsElsewhereCopyWhateverTheTargetReports) {
    // Find's field, the style box and other programs all see a copy; even a
    // target that takes the text as a move leaves the page as it was.
    QLineEdit field;
    field.show();
    const std::u16string before = c.rtfContent();
    for (Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(Qt::NoModifier),
                                            Qt::KeyboardModifiers(Qt::ShiftModifier)}) {
        field.clear();
        Qt::DropAction taken = Qt::IgnoreAction;
        c.onDrag = [&](QDrag& drag) {
            taken = deliverDrop(&field, QPoint(5, 5), drag.mimeData(), modifiers);
            return Qt::MoveAction;  // a target that claims to have moved the text
        };
        const int drags = c.drags;
        dragSelection(c, 11, 15);  // "bold"
        EXPECT_EQ(c.drags, drags + 1);
        EXPECT_EQ(c.dataRequests, c.drags);
        EXPECT_NE(taken, Qt::IgnoreAction);
        EXPECT_EQ(field.text(), QString("bold"));
        EXPECT_EQ(q(c.rtfContent()), q(before));
        EXPECT_FALSE(c.document()->isModified());
        EXPECT_FALSE(c.document()->isUndoAvailable());
        // The selection stays, so the user sees what was dragged.
        EXPECT_EQ(c.selectionStart(), 11);
        EXPECT_EQ(c.selectionEnd(), 15);
    }
}

TEST_F(DragDropTest, OnlyPressesOnTheSelectionDragAndQtNeverStartsADragOfItsOwn) {
    auto moveFrom = [&](const QPoint& press, Qt::KeyboardModifiers modifiers) {
        QTest::mousePress(c.viewport(), Qt::LeftButton, modifiers, press);
        const QPoint far = press + QPoint(QApplication::startDragDistance() + 20, 0);
        QMouseEvent move(QEvent::MouseMove, far, c.viewport()->mapToGlobal(far), Qt::NoButton,
                         Qt::LeftButton, modifiers);
        QApplication::sendEvent(c.viewport(), &move);
        QTest::mouseRelease(c.viewport(), Qt::LeftButton, modifiers, far);
    };
    // Outside the selection: a new selection, no drag.
    c.setSelection(11, 15);
    moveFrom(pointAt(c, 7), Qt::NoModifier);
    EXPECT_EQ(c.selectionStart(), 7);
    EXPECT_GT(c.selectionEnd(), 7);
    // Shift extends the selection, also from inside it.
    c.setSelection(11, 15);
    moveFrom(pointAt(c, 12), Qt::ShiftModifier);
    EXPECT_EQ(c.drags, 0);
    // The third click of a triple click selects the paragraph.
    c.setSelection(0, 0);
    QTest::mouseDClick(c.viewport(), Qt::LeftButton, Qt::NoModifier, pointAt(c, 12));
    ASSERT_TRUE(c.textCursor().hasSelection());
    moveFrom(pointAt(c, 12), Qt::NoModifier);
    EXPECT_EQ(c.drags, 0);
    EXPECT_EQ(c.dataRequests, 0) << "QTextEdit started a drag of its own";
    // A press on the selection drags it, through the control alone.
    dragSelection(c, 11, 15);
    EXPECT_EQ(c.drags, 1);
    EXPECT_EQ(c.dataRequests, 1) << "QTextEdit started a drag of its own";
    EXPECT_FALSE(c.document()->isModified());
}

TEST_F(DragDropTest, DragWithinThePageMovesTextWithItsFormatsAsOneUndoStep) {
    const std::u16string before = c.rtfContent();
    c.onDrag = [&](QDrag& drag) { return deliverDrop(c.viewport(), pointAt(c, 22), drag.mimeData()); };
    dragSelection(c, 11, 15);  // "bold" onto "l|ast"
    EXPECT_EQ(q(c.plainContent()), QString("Title\rSome  text\rlboldast"));
    for (int i = 18; i < 22; ++i)
        EXPECT_TRUE(boldAt(*c.document(), i)) << i;
    EXPECT_FALSE(boldAt(*c.document(), 17));
    EXPECT_FALSE(boldAt(*c.document(), 22));
    EXPECT_EQ(c.selectionStart(), 18);
    EXPECT_EQ(c.selectionEnd(), 22);
    EXPECT_TRUE(c.document()->isModified());
    c.undo();
    EXPECT_EQ(q(c.rtfContent()), q(before));
    EXPECT_FALSE(c.document()->isUndoAvailable());

    // A whole heading, its paragraph end included, takes its style along;
    // the paragraphs around where it was keep theirs.
    c.onDrag = [&](QDrag& drag) { return deliverDrop(c.viewport(), pointAt(c, 21), drag.mimeData()); };
    dragSelection(c, 0, 6);  // "Title" and its end, onto the start of "last"
    EXPECT_EQ(q(c.plainContent()), QString("Some bold text\rTitle\rlast"));
    EXPECT_EQ(c.paragraphStyleAt(0), 0);
    EXPECT_EQ(c.paragraphStyleAt(15), 1);
    EXPECT_EQ(c.paragraphStyleAt(21), 0);
    c.undo();
    EXPECT_EQ(q(c.rtfContent()), q(before));
}

TEST_F(DragDropTest, CtrlCopiesWithinThePageAndADropOnTheSelectionChangesNothing) {
    const std::u16string before = c.rtfContent();
    c.onDrag = [&](QDrag& drag) {
        return deliverDrop(c.viewport(), pointAt(c, 0), drag.mimeData(), Qt::ControlModifier);
    };
    dragSelection(c, 11, 15);
    EXPECT_EQ(q(c.plainContent()), QString("boldTitle\rSome bold text\rlast"));
    EXPECT_TRUE(boldAt(*c.document(), 0));
    c.undo();
    EXPECT_EQ(q(c.rtfContent()), q(before));

    c.onDrag = [&](QDrag& drag) { return deliverDrop(c.viewport(), pointAt(c, 12), drag.mimeData()); };
    dragSelection(c, 11, 15);
    EXPECT_EQ(q(c.rtfContent()), q(before));
    EXPECT_FALSE(c.document()->isUndoAvailable());
}

TEST_F(DragDropTest, DropsFromElsewhereInsertPlainTextAndRemoveNothing) {
    QMimeData data;
    data.setText("plain");
    data.setHtml("<b>rich</b>");
    c.setSelection(11, 15);
    EXPECT_EQ(deliverDrop(c.viewport(), pointAt(c, 22), &data, Qt::ShiftModifier), Qt::MoveAction);
    EXPECT_EQ(q(c.plainContent()), QString("Title\rSome bold text\rlplainast"));
    EXPECT_FALSE(boldAt(*c.document(), 22)) << "dropped text takes the format at the drop point, "
                                              "not the one it came with";
}

TEST_F(DragDropTest, CopiesBeyondTheTextLimitAreRefused) {
    c.setTextLimit(c.textLength() + 2);
    const std::u16string before = c.rtfContent();
    c.onDrag = [&](QDrag& drag) {
        return deliverDrop(c.viewport(), pointAt(c, 0), drag.mimeData(), Qt::ControlModifier);
    };
    dragSelection(c, 11, 15);
    EXPECT_EQ(q(c.rtfContent()), q(before));
}

// Moving text within the page is cutting it and pasting it elsewhere with
// its formats: checked against that model, character by character, over
// many random moves across paragraphs, tabs and formats, each undone in
// one step.
TEST(DragDropModel, RandomMovesMatchCutAndPaste) {
    DragControl c;
    c.resize(500, 400);
    c.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&c));
    std::mt19937 rng(2024);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    static const QString pieces[] = {"word", " ", "\t", "FrontPage", "x", QString::fromUtf16(u"\u00e9")};
    struct Char {
        QChar ch;
        bool bold;
        bool italic;
        bool operator==(const Char&) const = default;
    };
    auto model = [](const QTextDocument& doc) {
        std::vector<Char> out;
        for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
            if (b != doc.begin())
                out.push_back({QChar(0x2029), false, false});
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                const QTextCharFormat f = it.fragment().charFormat();
                for (QChar ch : it.fragment().text())
                    out.push_back({ch, f.fontWeight() >= QFont::DemiBold, f.fontItalic()});
            }
        }
        return out;
    };
    int checked = 0;
    for (int round = 0; round < 150; ++round) {
        QTextDocument scratch;
        QTextCursor w(&scratch);
        const int paragraphs = 1 + pick(4);
        for (int p = 0; p < paragraphs; ++p) {
            if (p)
                w.insertBlock();
            const int runs = 1 + pick(5);
            for (int r = 0; r < runs; ++r) {
                QTextCharFormat f;
                f.setFontWeight(pick(2) ? QFont::Bold : QFont::Normal);
                f.setFontItalic(pick(2));
                w.insertText(pieces[pick(6)], f);
            }
        }
        c.setRtfContent(documentToRtf(scratch));
        const std::u16string before = c.rtfContent();
        const std::vector<Char> start = model(*c.document());
        const int length = c.textLength();
        int from = pick(length);
        int to = from + 1 + pick(length - from);
        int at = pick(length + 1);
        if (at >= from && at <= to)
            continue;
        c.setSelection(from, to);
        ASSERT_TRUE(c.dropSelectionAt(at, false)) << round;
        std::vector<Char> expected = start;
        std::vector<Char> moved(expected.begin() + from, expected.begin() + to);
        expected.erase(expected.begin() + from, expected.begin() + to);
        const int insertAt = at > to ? at - (to - from) : at;
        expected.insert(expected.begin() + insertAt, moved.begin(), moved.end());
        std::vector<Char> got = model(*c.document());
        // A paragraph end dropped at the very end of the text is the text's
        // own end: no empty paragraph is added for it.
        if (got.size() + 1 == expected.size() && expected.back().ch == QChar(0x2029))
            expected.pop_back();
        ASSERT_EQ(got.size(), expected.size()) << round;
        for (std::size_t i = 0; i < got.size(); ++i)
            ASSERT_TRUE(got[i] == expected[i]) << "round " << round << " at " << i;
        EXPECT_EQ(c.selectionStart(), insertAt) << round;
        c.undo();
        ASSERT_EQ(q(c.rtfContent()), q(before)) << round;
        ++checked;
    }
    EXPECT_GT(checked, 75);
}

}  // namespace
}  // namespace tavix
