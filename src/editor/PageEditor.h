#pragma once
// The rich-text control in which a page body (and, in the Keywords pane, a
// page's keywords) is shown and edited. It sits on the platform layer's
// RichTextControl (a QTextEdit) and adds the operations the page commands
// use: RTF and plain text in and out, link-word marking, and the edit
// commands. Positions count characters from 0; a paragraph ends in one
// separator character, as in QTextDocument.
//
// Link marking is presentation only: it never enters the undo history, never
// marks the editor modified and never reaches the RTF.
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include <QTextLayout>

#include "platform/RichTextControl.h"
#include "store/FoundPage.h"

namespace tavix {

class PageEditor : public RichTextControl {
    Q_OBJECT
public:
    // Character effect bits, as the page commands name them.
    enum CharEffect : unsigned {
        Bold = 0x1,
        Italic = 0x2,
        Underline = 0x4,
        Strikeout = 0x8,
        Subscript = 0x10000,
        Superscript = 0x20000,
    };
    static constexpr unsigned kSuperSubMask = 0x30000;
    static constexpr int kTextLimit = 500000;  // what the user may type or paste

    explicit PageEditor(QWidget* parent = nullptr);
    ~PageEditor() override;

    // Replace the whole content; marks every link word; leaves the undo
    // history empty and the editor unmodified. Never cut to the text limit.
    void SetRtf(const std::u16string& rtf);
    std::u16string GetRtf() const;
    void SetPlainText(const std::u16string& text);
    // Paragraphs are separated by "\r" (U+000D).
    std::u16string GetPlainText() const;

    bool IsModified() const;
    void SetModified(bool modified);

    // Counted: nested pairs repaint once, at the outermost end.
    void BeginNoRedraw();
    void EndNoRedraw();

    // [start, end) of the paragraph holding pos; includes the paragraph's
    // separator except for the last paragraph.
    std::pair<int, int> ParagraphRangeAt(int pos) const;
    // The word at the caret when nothing is selected (empty at a word's
    // first character or between words), else the selection cut to its
    // first 127 characters.
    std::u16string SearchSeedText() const;

    // Edit commands.
    void Clear();      // deletes the selection, or the character after the caret
    void ClearAll();
    void Copy();
    void Cut();
    void Paste();      // plain text only
    void SelectAllText();
    void Undo();
    void Redo();

    // Effect bits of the selection (for an empty selection, at the caret).
    unsigned SelectionEffects() const;
    // Sets the bits of `effects` under `mask` on the selection; with an
    // empty selection, on the word around the caret (and the caret's format).
    void SetSelectionEffects(unsigned effects, unsigned mask);

    // Replace the selection with RTF (one undo step; marks the editor modified).
    void ReplaceSelectionWithRtf(const std::u16string& rtf);
    // Replaces the text of the paragraph holding pos (its separator stays)
    // with the one paragraph of rtf, taking over that paragraph's format:
    // one undo step; the paragraph count does not change.
    void ReplaceParagraphWithRtf(int pos, const std::u16string& rtf);

    // Re-mark every link word now. Marks are kept up to date after every
    // change anyway; this is for callers that want to be sure.
    void ScanAllLines();
    // The link word holding the character at a document position, or empty.
    // Judged from the text itself, never from the marks.
    std::u16string LinkWordAt(int pos) const;
    // The [start, end) ranges of the link marks shown in the paragraph
    // holding pos, in document positions (for tests and diagnostics).
    std::vector<std::pair<int, int>> LinkMarksInParagraph(int pos) const;
    // The character under a point of the viewport, or -1 when the point is
    // not over text.
    int CharacterAt(const QPoint& viewportPos) const;

    // The link word the caret stands in or at either edge of, or empty.
    std::u16string LinkWordAtCaret() const;
    // Follows the link word at the caret as a click on it would; false when
    // the caret is at no link word.
    bool followLinkAtCaret();

    // The pages that exist: links to other names are drawn as links to pages
    // still to be made. Until a set is given every link is drawn alike.
    void setExistingPages(std::unordered_set<std::u16string> names);
    // A page came to exist (its first save): its links are redrawn.
    void notePageExists(const std::u16string& name);
    // Whether the link mark over pos is drawn as a link to a missing page.
    bool linkMarkShowsMissing(int pos) const;

signals:
    // A click on a link word: the frame opens that page.
    void openPageRequested(const tavix::FoundPage& page);

protected:
    // Implementation details (link marking after every change, clicks on
    // links) live in PageEditor.cpp.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    // Ctrl+Return follows the link at the caret.
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void onContentsChange(int position, int removed, int added);
    // Sets the link marks of the blocks holding [from, to]. Inside a
    // contents change the layout that follows picks them up; outside one
    // the re-marked blocks are laid out again at once.
    void markRange(int from, int to);
    // Re-marks only the words around a change inside one paragraph, moving
    // the marks after it; false when the change is not of that kind.
    bool markAroundEdit(int position, int removed, int added);
    bool pageExists(std::u16string_view name) const;
    void appendLinkRanges(QList<QTextLayout::FormatRange>& ranges, std::u16string_view text,
                          std::size_t from, std::size_t to) const;
    void followLayoutDirection();
    struct Private;
    Private* d_;
};

}  // namespace tavix
