// Page text dragged into the "Find what" field of Find and Find Pages: the
// field takes it as plain text and the page keeps it. No drag loop runs
// headless, so the test stands in for it and delivers the drop events to
// the field as the platform would, answering the editor with the action the
// field took.
#include <gtest/gtest.h>

#include <functional>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDrag>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>

#include "editor/PageEditor.h"
#include "search/FindDialog.h"
#include "search/SearchField.h"
#include "store/NotebookStore.h"
#include "support/TempDir.h"

using namespace tavix;

namespace {

class DraggingEditor : public PageEditor {
public:
    std::function<Qt::DropAction(QDrag&)> onDrag;

protected:
    Qt::DropAction runDrag(QDrag& drag) override { return onDrag ? onDrag(drag) : Qt::IgnoreAction; }
};

Qt::DropAction dropOn(QWidget* target, const QMimeData* data, Qt::KeyboardModifiers modifiers) {
    const QPoint at(4, target->height() / 2);
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at, offered, data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(at, offered, data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(at), offered, data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
}

// Selects [from, to) and drags it with the mouse, as a user does.
void drag(PageEditor& editor, int from, int to) {
    editor.setSelection(from, to);
    QTextCursor c(editor.document());
    c.setPosition(from);
    const QPoint press = editor.cursorRect(c).center() + QPoint(1, 0);
    QTest::mousePress(editor.viewport(), Qt::LeftButton, Qt::NoModifier, press);
    const QPoint far = press + QPoint(QApplication::startDragDistance() + 5, 0);
    QMouseEvent move(QEvent::MouseMove, far, editor.viewport()->mapToGlobal(far), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(editor.viewport(), &move);
}

TEST(SearchFieldDrop, DraggedPageTextIsCopiedIntoTheField) {
    test::TempDir dir;
    NotebookStore store;
    store.setDataFolder(dir.path16());
    store.loadSettings();

    DraggingEditor editor;
    editor.resize(500, 200);
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    editor.SetRtf(u"{\\rtf1\\pard\\s0 Some \\b bold\\b0  text about FrontPage\\par }");
    const std::u16string before = editor.GetRtf();

    FindDialog find(editor, store);
    find.showWithSeed(u"");
    QDialog findPages;  // the Find Pages dialog builds its field the same way
    auto* label = new QLabel(QStringLiteral("Fi&nd what:"), &findPages);
    QComboBox* pagesField = makeSearchField(&findPages, label);
    findPages.show();

    QComboBox* fields[] = {find.findChild<QComboBox*>(QStringLiteral("findWhat")), pagesField};
    for (QComboBox* field : fields) {
        ASSERT_NE(field, nullptr);
        for (Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(Qt::NoModifier),
                                                Qt::KeyboardModifiers(Qt::ShiftModifier)}) {
            field->setEditText(QString());
            Qt::DropAction taken = Qt::IgnoreAction;
            editor.onDrag = [&](QDrag& d) { return taken = dropOn(field->lineEdit(), d.mimeData(), modifiers); };
            drag(editor, 5, 9);  // "bold"
            EXPECT_NE(taken, Qt::IgnoreAction);
            EXPECT_EQ(field->currentText(), QString("bold"));
            EXPECT_EQ(searchFieldText(*field), u"bold");
            EXPECT_EQ(editor.GetRtf(), before);
            EXPECT_FALSE(editor.IsModified());
            EXPECT_FALSE(editor.document()->isUndoAvailable());
        }
    }
}

// The field never rewrites what was typed: not by finishing a remembered
// text that starts the same way, not by changing the case to a remembered
// one, not when Enter is pressed. Typed as keys, as the user types them.
TEST(SearchFieldTyping, TypedTextIsNeverCompletedOrRecased) {
    QDialog dialog;
    auto* label = new QLabel(QStringLiteral("Fi&nd what:"), &dialog);
    QComboBox* field = makeSearchField(&dialog, label);
    field->addItems({QStringLiteral("page"), QStringLiteral("big deal"), QStringLiteral("Zebra stripes")});
    field->setCurrentIndex(-1);
    field->setEditText(QString());
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    field->setFocus();

    for (const QString typed : {"Page", "big", "PAGE", "pag", "zebra", "b"}) {
        field->lineEdit()->clear();
        QTest::keyClicks(field->lineEdit(), typed);
        EXPECT_EQ(field->currentText(), typed) << "while typing " << typed.toStdString();
        QTest::keyClick(field->lineEdit(), Qt::Key_Return);
        EXPECT_EQ(field->currentText(), typed) << "after Enter on " << typed.toStdString();
        EXPECT_EQ(searchFieldText(*field), typed.toStdU16String());
    }
    EXPECT_EQ(field->count(), 3) << "the remembered texts stay in the list";
    field->setCurrentIndex(1);
    EXPECT_EQ(field->currentText(), "big deal") << "picking from the list still works";
}

}  // namespace
