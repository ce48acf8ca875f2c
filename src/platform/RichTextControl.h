#pragma once
// The platform's rich-text control, on QTextEdit: what the page editor needs
// of an editing widget, in the rich-edit control's terms (character
// positions, display lines, a modified flag, a text limit, plain-text paste).
#include <string>

#include <QTextEdit>

namespace tavix {

class RichTextControl : public QTextEdit {
    Q_OBJECT
public:
    explicit RichTextControl(QWidget* parent = nullptr);
    ~RichTextControl() override;

    // Whole content as RTF (see RtfDocument.h). setRtfContent leaves the
    // undo history empty and does not apply the text limit.
    void setRtfContent(const std::u16string& rtf);
    std::u16string rtfContent() const;
    // Replace the selection with RTF as one undo step.
    void replaceSelectionWithRtf(const std::u16string& rtf);

    // Plain text, paragraphs separated by "\r". setPlainContent leaves the
    // undo history empty.
    void setPlainContent(const std::u16string& text);
    std::u16string plainContent() const;
    // The text of [start, end), paragraph separators as "\r".
    std::u16string textRange(int start, int end) const;

    // Character count, paragraph separators counted once each, the final
    // paragraph's end not counted.
    int textLength() const;
    int selectionStart() const;
    int selectionEnd() const;
    // anchor == position selects nothing.
    void setSelection(int anchor, int position);

    // Display lines (wrapped lines count separately), laid out at the
    // current width.
    int lineCount() const;
    int lineFromPosition(int position) const;
    int lineStart(int line) const;
    // Without the line's paragraph separator.
    int lineLength(int line) const;

    // Paragraph style index 0..6 of the paragraph holding position.
    int paragraphStyleAt(int position) const;

    // Inner left and right margins in pixels.
    void setMargins(int leftPixels, int rightPixels);

    // Typing and pasting are refused beyond this many characters; loading
    // content is never cut.
    void setTextLimit(int characters) { textLimit_ = characters; }
    int textLimit() const { return textLimit_; }

    bool canPastePlainText() const;
    // Literal search from the selection's end (down) or start (up) to the
    // end of the text in that direction, no wrap-around. Selects the match.
    bool findText(const std::u16string& text, bool matchCase, bool wholeWord, bool down);

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    // Finishes the lazy layout at the current width.
    void ensureLaidOut() const;
    // Characters that may still be added when the cursor's selection is replaced.
    int roomFor(const QTextCursor& cursor) const;

    int textLimit_ = 500000;
};

}  // namespace tavix
