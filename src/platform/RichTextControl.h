#pragma once
// The platform's rich-text control, on QTextEdit: what the page editor needs
// of an editing widget, in the rich-edit control's terms (character
// positions, display lines, a modified flag, a text limit, plain-text paste).
#include <functional>
#include <string>

#include <QTextEdit>
#include <QTextFormat>

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

    // Typing is refused and pasted text cut (never inside a surrogate pair)
    // beyond this many characters, with a beep; loading is never cut.
    void setTextLimit(int characters) { textLimit_ = characters; }
    int textLimit() const { return textLimit_; }

    // The formats of the paragraph Return starts at the end of a heading
    // (a paragraph whose style index is not 0): body text, as users expect
    // after a heading. Until set, Return copies the paragraph's own format.
    void setFollowingParagraphFormat(const QTextBlockFormat& block, const QTextCharFormat& chars);

    bool canPastePlainText() const;
    // Literal search from the selection's end (down) or start (up) to the
    // end of the text in that direction, no wrap-around. Selects the match.
    bool findText(const std::u16string& text, bool matchCase, bool wholeWord, bool down);

protected:
    // Paste and drop take plain text only, in the format at the caret.
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    // Shift+Return starts a paragraph like Return: a page holds no line
    // breaks inside a paragraph.
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    // Replaces the whole content through insert, outside the undo history,
    // and leaves the document unmodified with the caret at the start.
    void loadContent(const std::function<void(QTextCursor&)>& insert);
    // Finishes the lazy layout at the current width.
    void ensureLaidOut() const;
    // Characters that may still be added when the cursor's selection is replaced.
    int roomFor(const QTextCursor& cursor) const;

    int textLimit_ = 500000;
    bool hasFollowingFormat_ = false;
    QTextBlockFormat followingBlock_;
    QTextCharFormat followingChars_;
};

}  // namespace tavix
