#pragma once
// The platform's rich-text control, on QTextEdit: what the page editor needs
// of an editing widget, in the rich-edit control's terms (character
// positions, display lines, a modified flag, a text limit, plain-text paste).
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QElapsedTimer>
#include <QTextEdit>
#include <QTextFormat>

class QDrag;
class QImage;
class QWheelEvent;

namespace tavix {

class RichTextControl : public QTextEdit {
    Q_OBJECT
public:
    explicit RichTextControl(QWidget* parent = nullptr);
    ~RichTextControl() override;

    // Whole content as RTF (see RtfDocument.h). setRtfContent leaves the
    // undo history empty, the content unmodified and the caret at 0, and
    // does not apply the text limit. Malformed RTF loads what it can.
    void setRtfContent(const std::u16string& rtf);
    std::u16string rtfContent() const;
    // Replace the selection with RTF as one undo step (see insertRtf for how
    // paragraphs join the text around the selection).
    void replaceSelectionWithRtf(const std::u16string& rtf);

    // Plain text, paragraphs separated by "\r". setPlainContent takes "\r",
    // "\n" and "\r\n" alike as paragraph ends, drops control characters
    // other than tab, and leaves the undo history empty and the content
    // unmodified.
    void setPlainContent(const std::u16string& text);
    std::u16string plainContent() const;
    // The text of [start, end), paragraph separators as "\r"; the bounds are
    // clamped to the text, and an empty or reversed range gives "".
    std::u16string textRange(int start, int end) const;

    // Character count, paragraph separators counted once each, the final
    // paragraph's end not counted.
    int textLength() const;
    int selectionStart() const;
    int selectionEnd() const;
    // anchor == position selects nothing; positions are clamped to the text.
    void setSelection(int anchor, int position);

    // Display lines (wrapped lines count separately), laid out at the
    // current width; an empty paragraph is one line. Each call walks the
    // paragraphs once (the layout keeps no line numbers).
    int lineCount() const;
    // Positions beyond the text are clamped.
    int lineFromPosition(int position) const;
    // -1 for a line that does not exist.
    int lineStart(int line) const;
    // Without the line's paragraph separator; 0 for a line that does not exist.
    int lineLength(int line) const;

    // Paragraph style index 0..6 of the paragraph holding position.
    int paragraphStyleAt(int position) const;

    // Inner left and right margins in pixels, kept outside the document (not
    // an edit, not an undo step, kept across loads).
    void setMargins(int leftPixels, int rightPixels);
    // Room in pixels left of a paragraph without indent, for styles that
    // indent to the left (see kIndentRoomProperty in RtfDocument.h): text
    // loaded afterwards is shifted right by it, the left margin narrowed by
    // as much, so unindented text stays where it was. Takes effect at the
    // next load; never part of what is saved.
    void setIndentRoom(double pixels);

    // Paragraphs longer than twice this many characters are shown in parts
    // of about this length (see platform/ParagraphParts.h), so that typing
    // lays out a part, not the paragraph; 0 shows every paragraph whole.
    // Takes effect at the next load. Never part of what is saved.
    static constexpr int kDefaultPartLength = 1500;
    void setPartLength(int characters) { partLength_ = std::max(0, characters); }
    int partLength() const { return partLength_; }

    // Typing is refused and pasted text cut (never inside a surrogate pair)
    // beyond this many characters, with a beep; loading is never cut.
    void setTextLimit(int characters) { textLimit_ = characters; }
    int textLimit() const { return textLimit_; }

    // The formats of the paragraph Return starts at the end of a heading
    // (a paragraph whose style index is not 0): body text, as users expect
    // after a heading. Until set, Return copies the paragraph's own format.
    void setFollowingParagraphFormat(const QTextBlockFormat& block, const QTextCharFormat& chars);

    // What a page load gives a paragraph of each style (index 0..6): its
    // block format and the character format of its text. Once set, every
    // edit leaves the paragraphs it touched as a save and reload would show
    // them: the text in its paragraph style's font and size, with the
    // style's own effects (a bold heading cannot hold text that is not
    // bold, as a page file has no way to say so), and an emptied paragraph
    // types in its style's format. Style 0 is also what Return gives after
    // a heading. Fewer than 7 entries turn this off.
    struct StyleFormat {
        QTextBlockFormat block;
        QTextCharFormat chars;
    };
    void setStyleFormats(std::vector<StyleFormat> formats);
    const std::vector<StyleFormat>& styleFormats() const { return styles_; }
    // Whether text in `format` shows as it would after a reload in a
    // paragraph of that style (always true until styles are set).
    bool conformsToStyle(const QTextCharFormat& format, int style) const;

    // Moves (or, with copy, copies) the selected text with its paragraph and
    // character formats to position, as one undo step, and selects it
    // there: a drag within the control. Changes nothing and returns false
    // when nothing is selected, when a move would land inside the
    // selection, or when a copy would pass the text limit.
    bool dropSelectionAt(int position, bool copy);

    // The view's scale in percent (100 = the stored sizes), clamped to
    // [kMinZoom, kMaxZoom]. Only the drawing changes: the document, its
    // formats and the modified flag stay as they are. zoomBy steps through
    // the usual scale ladder (Ctrl+wheel does the same); zoomChanged follows.
    static constexpr int kMinZoom = 50;
    static constexpr int kMaxZoom = 300;
    void setZoom(int percent);
    void zoomBy(int steps);
    int zoom() const { return zoom_; }

    bool canPastePlainText() const;
    // Literal search from the selection's end (down) or start (up) to the
    // end of the text in that direction, no wrap-around. Selects the match.
    bool findText(const std::u16string& text, bool matchCase, bool wholeWord, bool down);

signals:
    void zoomChanged(int percent);

protected:
    // Paste and drops from elsewhere take plain text only, in the format at
    // the caret.
    bool canInsertFromMimeData(const QMimeData* source) const override;
    QMimeData* createMimeDataFromSelection() const override;
    void insertFromMimeData(const QMimeData* source) override;
    // Return and Shift+Return start a paragraph, by one rule: at the end of
    // a heading a Normal one, anywhere else one in the paragraph's own
    // formats (a page holds no line breaks inside a paragraph). Qt's own
    // Return would reset the formats of an empty paragraph instead.
    void keyPressEvent(QKeyEvent* event) override;
    // Brings the paragraphs changed since the last call into line with their
    // styles (see setStyleFormats), as part of the edit's own undo step.
    // Every user command calls it once it has made its change; undo and
    // redo only forget the changes (they bring back states that conformed).
    void conformEdits();
    void forgetEdits() { dirtyFrom_ = dirtyTo_ = -1; removed_ = 0; }
    // After undo or redo, which bring back states that conformed: only
    // what is typed next is brought in line (the caret keeps no format of
    // the state undone, which typing would carry in).
    void afterUndo() {
        forgetEdits();
        conformCaret(true);
    }
    // Runs edit (a change of the selection) as one undo step with the
    // joining of the paragraphs in parts that the selection spans, so that
    // any merge of blocks meets whole paragraphs (see ParagraphParts.h).
    void withWholeParagraphs(const std::function<void()>& edit);
    // Removes the cursor's selection that way and conforms the edit; the
    // caret stays where the selection was.
    void removeSelection(QTextCursor cursor);
    void inputMethodEvent(QInputMethodEvent* event) override;

    // Dragging selected text. QTextEdit's own drag deletes the text once any
    // target reports a move, so a drop into a search field or any other
    // program would cut it from the page; the control starts its drags
    // itself instead, and never removes anything when a drag ends. A drop
    // back into the control moves the formatted text (dropSelectionAt);
    // drops from anywhere else insert plain text.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // Ctrl+wheel zooms the view (QTextEdit's own would change the widget's
    // font, which the page's text does not use).
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The platform's drag loop; returns the action the target took. Tests
    // stand in for it, as no drag loop runs without a display.
    virtual Qt::DropAction runDrag(QDrag& drag);

private:
    // Replaces the whole content through insert, outside the undo history,
    // and leaves the document unmodified with the caret at the start.
    void loadContent(const std::function<void(QTextCursor&)>& insert);
    // Finishes the lazy layout at the current width.
    void ensureLaidOut() const;
    // Characters that may still be added when the cursor's selection is replaced.
    int roomFor(const QTextCursor& cursor) const;
    QPointF documentPoint(const QPointF& viewportPos) const;
    bool takeThirdClick(const QMouseEvent* event);
    bool pressStartsDrag(const QMouseEvent* event) const;
    void startTextDrag();
    // A drag that this control started (the drop lands where it came from).
    bool isOwnDrag(const QDropEvent* event) const;

    void noteChange(int position, int removed, int added);
    // Brings [from, to] in line; joinEdit makes the change part of the
    // previous undo step (false while loading, which keeps no history).
    void conformRange(int from, int to, bool joinEdit, bool resetCaret);
    // The caret's format for what is typed next (not an edit).
    void conformCaret(bool resetCaret);

    int textLimit_ = 500000;
    int partLength_ = kDefaultPartLength;
    int zoom_ = 100;
    int leftMargin_ = 0;
    int rightMargin_ = 0;
    // Lays the document out as if the screen had zoom_ percent of its
    // resolution: point sizes grow, the text stays the same.
    std::unique_ptr<QImage> zoomDevice_;
    std::vector<StyleFormat> styles_;
    int dirtyFrom_ = -1;  // the range changed since the last conformEdits
    int dirtyTo_ = -1;
    int removed_ = 0;     // characters removed in that time
    bool hasFollowingFormat_ = false;
    QTextBlockFormat followingBlock_;
    QTextCharFormat followingChars_;

    bool dragPending_ = false;  // pressed inside the selection; moving drags it
    QPoint dragStart_;
    const void* ownDragData_ = nullptr;  // the data of the drag under way, if ours
    QElapsedTimer sinceDoubleClick_;
    QPointF doubleClickAt_;
};

}  // namespace tavix
