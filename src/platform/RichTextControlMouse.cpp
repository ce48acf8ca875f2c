// The rich-text control's mouse: clicks, the third click of a triple click,
// and dragging text within the control and from elsewhere.
#include <algorithm>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "platform/ParagraphParts.h"
#include "platform/RichTextControl.h"
#include "platform/RtfDocument.h"

namespace tavix {

// ---- drag and drop ---------------------------------------------------------

bool RichTextControl::dropSelectionAt(int position, bool copy) {
    if (isReadOnly())
        return false;
    QTextCursor selection = textCursor();
    if (!selection.hasSelection())
        return false;
    const int start = selection.selectionStart();
    const int end = selection.selectionEnd();
    position = std::clamp(position, 0, textLength());
    if (!copy && position >= start && position <= end)
        return false;
    if (copy && end - start > roomFor(QTextCursor(document()))) {
        QApplication::beep();
        return false;
    }
    // Through the control's own RTF, as a cut and a formatted paste would:
    // paragraph styles travel with their paragraph ends, character formats
    // with their text.
    const std::u16string rtf = rangeToRtf(*document(), start, end);
    QTextCursor target(document());
    target.setPosition(position);
    target.beginEditBlock();
    QTextCursor edit(document());
    joinPartsOfSelection(edit, selection);
    joinParts(edit, target.position());
    if (!copy)
        selection.removeSelectedText();  // target follows the text it stands in
    const int from = target.position();
    insertRtf(target, rtf);
    target.endEditBlock();
    // Held by a cursor, as cutting the paragraph into parts moves it.
    QTextCursor dropped(document());
    dropped.setPosition(from);
    dropped.setPosition(target.position(), QTextCursor::KeepAnchor);
    conformEdits();
    setTextCursor(dropped);
    ensureCursorVisible();
    return true;
}

QPointF RichTextControl::documentPoint(const QPointF& viewportPos) const {
    const QScrollBar* h = horizontalScrollBar();
    const int dx = isRightToLeft() ? h->maximum() - h->value() : h->value();
    return viewportPos + QPointF(dx, verticalScrollBar()->value());
}

// The third click of a triple click as QTextEdit counts it: a left press
// near the double click, within the double-click interval, once. The
// interval here started before QTextEdit's, so it runs out first: a press
// counted here is counted there too.
bool RichTextControl::takeThirdClick(const QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !sinceDoubleClick_.isValid() ||
        sinceDoubleClick_.elapsed() >= QApplication::doubleClickInterval())
        return false;
    const QPoint fromDoubleClick = (event->position() - doubleClickAt_).toPoint();
    if (fromDoubleClick.manhattanLength() >= QApplication::startDragDistance())
        return false;
    sinceDoubleClick_.invalidate();
    return true;
}

// Exactly when QTextEdit would get ready to drag (and so hold back the caret
// until the release): a left press that is no third click, not with Shift
// alone, over the text of the selection. Were this to miss a case,
// QTextEdit would start a drag of its own.
bool RichTextControl::pressStartsDrag(const QMouseEvent* event) const {
    if (event->button() != Qt::LeftButton || event->modifiers() == Qt::ShiftModifier)
        return false;
    const QTextCursor cursor = textCursor();
    if (!cursor.hasSelection())
        return false;
    const QTextLayout* block = cursor.block().layout();
    if (block && !block->preeditAreaText().isEmpty())
        return false;
    const QPointF at = documentPoint(event->position());
    const QAbstractTextDocumentLayout* layout = document()->documentLayout();
    const int hit = layout->hitTest(at, Qt::FuzzyHit);
    return hit >= cursor.selectionStart() && hit <= cursor.selectionEnd() &&
           layout->hitTest(at, Qt::ExactHit) != -1;
}

void RichTextControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        // The context menu acts on what was clicked: outside the selection
        // the click moves the caret there first.
        const int at = cursorForPosition(event->position().toPoint()).position();
        const QTextCursor current = textCursor();
        if (!current.hasSelection() || at < current.selectionStart() || at > current.selectionEnd())
            setSelection(at, at);
    }
    const bool thirdClick = takeThirdClick(event);
    dragPending_ = !thirdClick && pressStartsDrag(event);
    dragStart_ = event->position().toPoint();
    QTextEdit::mousePressEvent(event);
    if (thirdClick && textCursor().hasSelection()) {
        // The paragraph clicked, all of it where it is shown in parts.
        const QTextCursor selected = textCursor();
        const QTextBlock clicked = document()->findBlock(selected.selectionStart());
        const bool withEnd = selected.selectionEnd() > clicked.position() + clicked.length() - 1;
        const auto [start, end] = paragraphRange(*document(), selected.selectionStart());
        setSelection(start, std::min(end + (withEnd ? 1 : 0), textLength()));
    }
}

void RichTextControl::mouseMoveEvent(QMouseEvent* event) {
    if (dragPending_ && (event->buttons() & Qt::LeftButton)) {
        // QTextEdit would start its own drag from here, so these moves are
        // never passed on.
        const QPoint moved = event->position().toPoint() - dragStart_;
        if (moved.manhattanLength() > QApplication::startDragDistance()) {
            dragPending_ = false;
            startTextDrag();
        }
        event->accept();
        return;
    }
    dragPending_ = false;
    QTextEdit::mouseMoveEvent(event);
}

void RichTextControl::mouseReleaseEvent(QMouseEvent* event) {
    dragPending_ = false;
    QTextEdit::mouseReleaseEvent(event);
}

void RichTextControl::mouseDoubleClickEvent(QMouseEvent* event) {
    // Started before QTextEdit starts its own (see takeThirdClick).
    sinceDoubleClick_.start();
    doubleClickAt_ = event->position();
    dragPending_ = false;
    QTextEdit::mouseDoubleClickEvent(event);
}

void RichTextControl::startTextDrag() {
    if (!textCursor().hasSelection())
        return;
    QPointer<QDrag> drag = new QDrag(this);
    QMimeData* data = createMimeDataFromSelection();
    drag->setMimeData(data);
    ownDragData_ = data;
    runDrag(*drag);
    ownDragData_ = nullptr;
    // Whatever the target reports, nothing is removed here: a move within
    // the control was made by its drop, and text dropped anywhere else
    // was copied.
    if (drag)
        drag->deleteLater();
}

Qt::DropAction RichTextControl::runDrag(QDrag& drag) {
    // Other targets are offered a copy first; the control's own drop makes
    // a plain drag a move.
    return drag.exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
}

bool RichTextControl::isOwnDrag(const QDropEvent* event) const {
    const QObject* source = event->source();
    return (ownDragData_ && event->mimeData() == ownDragData_) || source == this ||
           source == viewport();
}

namespace {

// Within the control a drag moves, and Ctrl makes it a copy, as in other
// editors.
Qt::DropAction ownDropAction(const QDropEvent* event) {
    return (event->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction;
}

}  // namespace

void RichTextControl::dragEnterEvent(QDragEnterEvent* event) {
    QTextEdit::dragEnterEvent(event);
    if (event->isAccepted() && isOwnDrag(event)) {
        event->setDropAction(ownDropAction(event));
        event->accept();
    }
}

void RichTextControl::dragMoveEvent(QDragMoveEvent* event) {
    QTextEdit::dragMoveEvent(event);
    if (event->isAccepted() && isOwnDrag(event)) {
        event->setDropAction(ownDropAction(event));
        event->accept();
    }
}

void RichTextControl::dropEvent(QDropEvent* event) {
    if (!isOwnDrag(event) || isReadOnly()) {
        QTextEdit::dropEvent(event);
        return;
    }
    // QTextEdit's own drop would move only the plain text. Leaving the drag
    // ends its drop-position feedback and its scrolling.
    QDragLeaveEvent leave;
    QTextEdit::dragLeaveEvent(&leave);
    const Qt::DropAction action = ownDropAction(event);
    const int at = cursorForPosition(event->position().toPoint()).position();
    dropSelectionAt(at, action == Qt::CopyAction);
    event->setDropAction(action);
    event->accept();
}

}  // namespace tavix
