#include "editor/PageEditor.h"

#include <algorithm>
#include <optional>

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextOption>

#include "editor/LinkWords.h"
#include "platform/ParagraphParts.h"
#include "platform/RtfDocument.h"

namespace tavix {

// Link marks are the blocks' additional layout formats (QTextLayout::
// setFormats), never character formats: that keeps them out of the undo
// history, the modified flag and the RTF. They are computed per paragraph
// (block) rather than per display line, because display lines re-wrap with
// the window width while a word is a property of the text; Qt only breaks a
// word across display lines when it is wider than the line.
//
// Marks are set from QTextDocument::contentsChange, which Qt emits before it
// lays out the changed range, so marking the changed blocks there costs no
// layout of its own, and every kind of change (typing, Del, paste, undo,
// drag and drop, a style change, loading) re-marks exactly what it touched.

struct PageEditor::Private {
    int noRedraw = 0;
    QTextCharFormat linkFormat;
    QTextCharFormat missingFormat;  // a link to a page still to be made
    bool knowsPages = false;
    std::unordered_set<std::u16string> pages;
    int blockCount = 1;  // before the change being marked
    bool marking = false;  // our own layout invalidation reports a change too
};

namespace {

std::u16string_view viewOf(const QString& s) {
    return {reinterpret_cast<const char16_t*>(s.utf16()), static_cast<std::size_t>(s.size())};
}

bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

struct WordSpan {
    std::size_t start = 0;
    std::size_t length = 0;
};

// The first word of text, among those starting at or before rel, whose span
// satisfies holds(start, end); the callers differ only in how they treat a
// position at a word's edges.
template <typename Holds>
std::optional<WordSpan> wordNear(std::u16string_view text, std::size_t rel, Holds holds) {
    for (WordTokenizer t(text); !t.AtEnd(); t.Advance()) {
        if (t.Start() > rel)
            break;
        if (holds(t.Start(), t.Start() + t.Length()))
            return WordSpan{t.Start(), t.Length()};
    }
    return std::nullopt;
}

unsigned effectsOf(const QTextCharFormat& f) {
    unsigned e = 0;
    if (f.fontWeight() > QFont::Medium)
        e |= PageEditor::Bold;
    if (f.fontItalic())
        e |= PageEditor::Italic;
    if (f.fontUnderline())
        e |= PageEditor::Underline;
    if (f.fontStrikeOut())
        e |= PageEditor::Strikeout;
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        e |= PageEditor::Superscript;
    else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript)
        e |= PageEditor::Subscript;
    return e;
}

constexpr unsigned kAllEffects = PageEditor::Bold | PageEditor::Italic | PageEditor::Underline |
                                 PageEditor::Strikeout | PageEditor::kSuperSubMask;

QTextCharFormat formatFor(unsigned effects, unsigned mask) {
    QTextCharFormat f;
    if (mask & PageEditor::Bold)
        f.setFontWeight((effects & PageEditor::Bold) ? QFont::Bold : QFont::Normal);
    if (mask & PageEditor::Italic)
        f.setFontItalic((effects & PageEditor::Italic) != 0);
    if (mask & PageEditor::Underline)
        f.setFontUnderline((effects & PageEditor::Underline) != 0);
    if (mask & PageEditor::Strikeout)
        f.setFontStrikeOut((effects & PageEditor::Strikeout) != 0);
    // Either bit of the pair writes both, as the two are one vertical
    // position; should both be asked for, superscript wins.
    if (mask & PageEditor::kSuperSubMask) {
        const unsigned v = effects & mask;
        f.setVerticalAlignment((v & PageEditor::Superscript) ? QTextCharFormat::AlignSuperScript
                               : (v & PageEditor::Subscript) ? QTextCharFormat::AlignSubScript
                                                             : QTextCharFormat::AlignNormal);
    }
    return f;
}

}  // namespace

// The link-word ranges of text[from, to), which starts and ends between
// words, relative to the paragraph's start.
void PageEditor::appendLinkRanges(QList<QTextLayout::FormatRange>& ranges, std::u16string_view text,
                                  std::size_t from, std::size_t to) const {
    const std::u16string_view v = text.substr(from, to - from);
    for (WordTokenizer t(v); !t.AtEnd(); t.Advance()) {
        if (IsLinkWord(v, t.Start(), t.Length())) {
            QTextLayout::FormatRange r;
            r.start = static_cast<int>(from + t.Start());
            r.length = static_cast<int>(t.Length());
            r.format = pageExists(t.Word()) ? d_->linkFormat : d_->missingFormat;
            ranges.append(r);
        }
    }
}

namespace {

}  // namespace

namespace {

// A link to a page still to be made: dashed and paler, so that it reads as
// a link that leads somewhere new.
void setLinkFormats(const QPalette& palette, QTextCharFormat& link, QTextCharFormat& missing) {
    link.setForeground(palette.color(QPalette::Link));
    link.setFontUnderline(true);
    QColor pale = palette.color(QPalette::Link);
    const QColor base = palette.color(QPalette::Base);
    pale.setRgbF((pale.redF() + base.redF()) / 2, (pale.greenF() + base.greenF()) / 2,
                 (pale.blueF() + base.blueF()) / 2);
    missing.setForeground(pale);
    missing.setUnderlineStyle(QTextCharFormat::DashUnderline);
}

}  // namespace

PageEditor::PageEditor(QWidget* parent) : RichTextControl(parent), d_(new Private) {
    setLinkFormats(palette(), d_->linkFormat, d_->missingFormat);
    setTextLimit(kTextLimit);
    setLineWrapMode(QTextEdit::WidgetWidth);
    followLayoutDirection();
    viewport()->setMouseTracking(true);
    connect(document(), &QTextDocument::contentsChange, this, &PageEditor::onContentsChange);
}

PageEditor::~PageEditor() { delete d_; }

// ---- content in and out ----------------------------------------------------

void PageEditor::SetRtf(const std::u16string& rtf) {
    BeginNoRedraw();
    setRtfContent(rtf);  // the caret goes to the start
    document()->clearUndoRedoStacks();
    SetModified(false);
    EndNoRedraw();
}

std::u16string PageEditor::GetRtf() const { return rtfContent(); }

void PageEditor::SetPlainText(const std::u16string& text) {
    BeginNoRedraw();
    setPlainContent(text);
    document()->clearUndoRedoStacks();
    SetModified(false);
    EndNoRedraw();
}

std::u16string PageEditor::GetPlainText() const { return plainContent(); }

bool PageEditor::IsModified() const { return document()->isModified(); }

void PageEditor::SetModified(bool modified) { document()->setModified(modified); }

void PageEditor::BeginNoRedraw() {
    if (d_->noRedraw++ == 0)
        setUpdatesEnabled(false);
}

void PageEditor::EndNoRedraw() {
    if (d_->noRedraw == 0)
        return;
    if (--d_->noRedraw == 0) {
        setUpdatesEnabled(true);
        viewport()->update();
    }
}

// ---- positions -------------------------------------------------------------

std::pair<int, int> PageEditor::ParagraphRangeAt(int pos) const {
    // A long paragraph shown in parts: all of them.
    auto [start, end] = paragraphRange(*document(), std::clamp(pos, 0, textLength()));
    if (end < textLength())
        end += 1;  // through the separator, which the last paragraph has not
    return {start, end};
}

std::u16string PageEditor::SearchSeedText() const {
    const QTextCursor c = textCursor();
    if (!c.hasSelection()) {
        const QTextBlock block = c.block();
        const QString text = block.text();
        const std::size_t rel = static_cast<std::size_t>(c.position() - block.position());
        // The caret at a word's first character or between words gives none.
        const std::u16string_view v = viewOf(text);
        const auto word = wordNear(v, rel, [rel](std::size_t start, std::size_t end) { return start < rel && end >= rel; });
        return word ? std::u16string(v.substr(word->start, word->length)) : std::u16string();
    }
    const int start = c.selectionStart();
    int end = c.selectionEnd();
    if (end - start >= 128) {
        end = start + 127;
        // Never end the seed on the first half of a surrogate pair.
        const std::u16string last = textRange(end - 1, end);
        if (!last.empty() && isHighSurrogate(last[0]))
            --end;
    }
    return textRange(start, end);
}

// ---- edit commands ---------------------------------------------------------

void PageEditor::Clear() {
    QTextCursor c = textCursor();
    if (!c.hasSelection()) {
        if (c.position() >= textLength())
            return;  // nothing after the caret
        // Past the break between two parts of a paragraph, which is no text.
        if (atPartEnd(c))
            c.movePosition(QTextCursor::NextCharacter);
        c.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
    }
    removeSelection(c);
}

void PageEditor::ClearAll() {
    QTextCursor c(document());
    c.select(QTextCursor::Document);
    c.removeSelectedText();
    setTextCursor(c);
    conformEdits();
}

void PageEditor::Copy() { copy(); }
void PageEditor::Cut() {
    QTextCursor c = textCursor();
    if (!c.hasSelection())
        return;
    copy();
    removeSelection(c);
}
void PageEditor::Paste() { paste(); }  // the control pastes plain text only
void PageEditor::SelectAllText() { selectAll(); }
void PageEditor::Undo() {
    undo();
    afterUndo();
}
void PageEditor::Redo() {
    redo();
    afterUndo();
}

// ---- character effects -----------------------------------------------------

unsigned PageEditor::SelectionEffects() const {
    const QTextCursor c = textCursor();
    if (!c.hasSelection())
        return effectsOf(c.charFormat()) & kAllEffects;
    // An effect counts as set only when every selected character has it, so
    // that toggling a mixed selection makes it whole.
    const int start = c.selectionStart();
    const int end = c.selectionEnd();
    unsigned all = kAllEffects;
    bool any = false;
    for (QTextBlock b = document()->findBlock(start); b.isValid() && b.position() < end; b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (!frag.isValid() || frag.position() >= end || frag.position() + frag.length() <= start)
                continue;
            all &= effectsOf(frag.charFormat());
            any = true;
        }
    }
    // A selection of paragraph separators only has no characters to judge.
    return any ? all : (effectsOf(c.charFormat()) & kAllEffects);
}

void PageEditor::SetSelectionEffects(unsigned effects, unsigned mask) {
    mask &= kAllEffects;
    if (mask == 0)
        return;
    const QTextCharFormat format = formatFor(effects, mask);
    QTextCursor c = textCursor();
    if (c.hasSelection()) {
        c.mergeCharFormat(format);
        conformEdits();
        return;
    }
    // With nothing selected, a caret inside a word changes the whole word;
    // at a word's edge or between words only what is typed next changes.
    const QTextBlock block = c.block();
    const QString text = block.text();
    const std::size_t rel = static_cast<std::size_t>(c.position() - block.position());
    const auto word = wordNear(viewOf(text), rel,
                               [rel](std::size_t start, std::size_t end) { return start < rel && end > rel; });
    if (word) {
        QTextCursor span(document());
        span.setPosition(block.position() + static_cast<int>(word->start));
        span.setPosition(block.position() + static_cast<int>(word->start + word->length),
                         QTextCursor::KeepAnchor);
        span.mergeCharFormat(format);
    }
    mergeCurrentCharFormat(format);
    conformEdits();
}

// ---- RTF over a range ------------------------------------------------------

void PageEditor::ReplaceSelectionWithRtf(const std::u16string& rtf) { replaceSelectionWithRtf(rtf); }

void PageEditor::ReplaceParagraphWithRtf(int pos, const std::u16string& rtf) {
    pos = std::clamp(pos, 0, textLength());
    QTextCursor c(document());
    c.beginEditBlock();
    QTextCursor at(document());
    at.setPosition(pos);
    joinParts(c, pos);  // the paragraph whole, as the RTF has it
    const QTextBlock block = document()->findBlock(at.position());
    if (!block.isValid()) {
        c.endEditBlock();
        return;
    }
    const int blocksBefore = document()->blockCount();
    c.setPosition(block.position());
    c.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    insertRtf(c, rtf);
    // The RTF's closing paragraph mark may come in as a paragraph break of
    // its own; the paragraph's own separator already ends it, so any extra
    // break just before the text that followed is merged away (the merged
    // paragraph keeps the format of the one before the break).
    // Qt keeps the second paragraph's format when the first is empty, so
    // the formats the RTF gave are set again after the merge.
    const QTextBlock styled = document()->findBlock(block.position());
    const QTextBlockFormat format = styled.blockFormat();
    const QTextCharFormat mark = styled.charFormat();
    c.clearSelection();
    bool merged = false;
    while (document()->blockCount() > blocksBefore && c.atBlockStart() && c.position() > 0) {
        c.deletePreviousChar();
        merged = true;
    }
    if (merged) {
        c.setBlockFormat(format);
        c.setBlockCharFormat(mark);
    }
    c.endEditBlock();
    conformEdits();
}

// ---- link marking ----------------------------------------------------------

void PageEditor::onContentsChange(int position, int removed, int added) {
    if (d_->marking)
        return;
    d_->marking = true;
    if (!markAroundEdit(position, removed, added))
        markRange(position, position + added);
    d_->blockCount = document()->blockCount();
    d_->marking = false;
}

bool PageEditor::markAroundEdit(int position, int removed, int added) {
    // Only a change of text inside one paragraph whose marks are up to date;
    // a format change (as many removed as added) or a change of paragraphs
    // is marked whole.
    QTextDocument* doc = document();
    if (removed == added || doc->blockCount() != d_->blockCount)
        return false;
    const QTextBlock block = doc->findBlock(position);
    QTextLayout* layout = block.isValid() ? block.layout() : nullptr;
    if (!layout || !layout->preeditAreaText().isEmpty())
        return false;
    const int rel = position - block.position();
    if (rel + added > block.length() - 1)
        return false;
    const QString text = block.text();
    const std::u16string_view v = viewOf(text);
    const TextSpan span = wordsAround(v, std::size_t(rel), std::size_t(rel + added));
    const int delta = added - removed;
    const int oldEnd = int(span.end) - delta;  // the span's end before the change
    const QList<QTextLayout::FormatRange> old = layout->formats();
    QList<QTextLayout::FormatRange> ranges;
    ranges.reserve(old.size() + 1);
    auto it = old.cbegin();
    for (; it != old.cend() && it->start + it->length <= int(span.start); ++it)
        ranges.append(*it);
    appendLinkRanges(ranges, v, span.start, span.end);
    for (; it != old.cend(); ++it) {
        if (it->start < oldEnd)
            continue;  // inside the re-marked words
        QTextLayout::FormatRange r = *it;
        r.start += delta;
        ranges.append(r);
    }
    if (ranges != old) {
        layout->setFormats(ranges);
        doc->markContentsDirty(block.position(), block.length());
    }
    return true;
}

void PageEditor::markRange(int from, int to) {
    QTextDocument* doc = document();
    QTextBlock block = doc->findBlock(std::max(from, 0));
    if (!block.isValid())
        block = doc->lastBlock();
    int dirtyFrom = -1;
    int dirtyTo = -1;
    for (; block.isValid() && block.position() <= to; block = block.next()) {
        QTextLayout* layout = block.layout();
        if (!layout)
            continue;
        // An input method's pre-edit text owns the block's formats while it
        // is composed; the commit re-marks the block.
        if (!layout->preeditAreaText().isEmpty())
            continue;
        const QString text = block.text();
        QList<QTextLayout::FormatRange> ranges;
        appendLinkRanges(ranges, viewOf(text), 0, std::size_t(text.size()));
        if (ranges == layout->formats())
            continue;
        layout->setFormats(ranges);
        if (dirtyFrom < 0)
            dirtyFrom = block.position();
        dirtyTo = block.position() + block.length();
    }
    // setFormats drops the block's layout. Inside a contents change this only
    // widens the range Qt lays out next; outside one it lays out now.
    if (dirtyFrom >= 0)
        doc->markContentsDirty(dirtyFrom, dirtyTo - dirtyFrom);
}

void PageEditor::ScanAllLines() {
    BeginNoRedraw();
    markRange(0, document()->characterCount());
    EndNoRedraw();
}

std::u16string PageEditor::LinkWordAt(int pos) const {
    if (pos < 0 || pos >= textLength())
        return {};
    const QTextBlock block = document()->findBlock(pos);
    if (!block.isValid())
        return {};
    const QString text = block.text();
    const std::size_t rel = static_cast<std::size_t>(pos - block.position());
    if (rel >= static_cast<std::size_t>(text.size()))
        return {};
    const std::u16string_view v = viewOf(text);
    const auto word = wordNear(v, rel, [rel](std::size_t, std::size_t end) { return rel < end; });
    if (!word || !IsLinkWord(v, word->start, word->length))
        return {};
    return std::u16string(v.substr(word->start, word->length));
}

std::vector<std::pair<int, int>> PageEditor::LinkMarksInParagraph(int pos) const {
    std::vector<std::pair<int, int>> out;
    const QTextBlock block = document()->findBlock(std::clamp(pos, 0, textLength()));
    if (!block.isValid() || !block.layout())
        return out;
    for (const QTextLayout::FormatRange& r : block.layout()->formats())
        out.emplace_back(block.position() + r.start, block.position() + r.start + r.length);
    return out;
}

int PageEditor::CharacterAt(const QPoint& viewportPos) const {
    const int dx = isRightToLeft()
                       ? horizontalScrollBar()->maximum() - horizontalScrollBar()->value()
                       : horizontalScrollBar()->value();
    const QPointF docPos(viewportPos.x() + dx, viewportPos.y() + verticalScrollBar()->value());
    QAbstractTextDocumentLayout* docLayout = document()->documentLayout();
    const int hit = docLayout->hitTest(docPos, Qt::ExactHit);
    if (hit < 0)
        return -1;
    const QTextBlock block = document()->findBlock(hit);
    const QTextLayout* layout = block.isValid() ? block.layout() : nullptr;
    if (!layout)
        return -1;
    const QPointF inBlock = docPos - docLayout->blockBoundingRect(block).topLeft();
    for (int i = 0; i < layout->lineCount(); ++i) {
        const QTextLine line = layout->lineAt(i);
        if (inBlock.y() < line.y() || inBlock.y() >= line.y() + line.height())
            continue;
        if (inBlock.x() < line.x() || inBlock.x() >= line.x() + line.naturalTextWidth())
            return -1;
        const int rel = line.xToCursor(inBlock.x(), QTextLine::CursorOnCharacter);
        if (rel < line.textStart() || rel >= line.textStart() + line.textLength())
            return -1;
        return block.position() + rel;
    }
    return -1;
}

// ---- events ----------------------------------------------------------------

void PageEditor::mousePressEvent(QMouseEvent* event) {
    // Ctrl+click puts the caret into a link word, to edit it.
    if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ControlModifier) &&
        !(event->modifiers() & Qt::ShiftModifier) &&
        !LinkWordAt(CharacterAt(event->position().toPoint())).empty()) {
        const int at = cursorForPosition(event->position().toPoint()).position();
        setSelection(at, at);
        event->accept();
        return;
    }
    // Shift+click extends the selection, also into a link word.
    if (event->button() == Qt::LeftButton && !(event->modifiers() & Qt::ShiftModifier)) {
        // Judged from the text under the mouse, so a click can never follow
        // a mark that no longer matches the text.
        const std::u16string word = LinkWordAt(CharacterAt(event->position().toPoint()));
        if (!word.empty()) {
            event->accept();
            emit openPageRequested(FoundPage{word, std::u16string()});
            return;
        }
    }
    RichTextControl::mousePressEvent(event);
}

void PageEditor::mouseMoveEvent(QMouseEvent* event) {
    RichTextControl::mouseMoveEvent(event);
    if (event->buttons() != Qt::NoButton)
        return;
    const bool overLink = !LinkWordAt(CharacterAt(event->position().toPoint())).empty();
    viewport()->setCursor(overLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
}

void PageEditor::keyPressEvent(QKeyEvent* event) {
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (isReturn && event->modifiers() == Qt::ControlModifier) {
        followLinkAtCaret();
        event->accept();
        return;
    }
    RichTextControl::keyPressEvent(event);
}

std::u16string PageEditor::LinkWordAtCaret() const {
    const QTextCursor c = textCursor();
    const int pos = c.hasSelection() ? c.selectionStart() : c.position();
    std::u16string word = LinkWordAt(pos);
    if (word.empty() && pos > 0 && !c.hasSelection())
        word = LinkWordAt(pos - 1);  // the caret just after a word
    return word;
}

bool PageEditor::followLinkAtCaret() {
    const std::u16string word = LinkWordAtCaret();
    if (word.empty())
        return false;
    emit openPageRequested(FoundPage{word, std::u16string()});
    return true;
}

bool PageEditor::pageExists(std::u16string_view name) const {
    return !d_->knowsPages || d_->pages.count(std::u16string(name)) != 0;
}

void PageEditor::setExistingPages(std::unordered_set<std::u16string> names) {
    d_->pages = std::move(names);
    d_->knowsPages = true;
    ScanAllLines();
}

void PageEditor::notePageExists(const std::u16string& name) {
    if (!d_->knowsPages || !d_->pages.insert(name).second)
        return;
    ScanAllLines();
}

bool PageEditor::linkMarkShowsMissing(int pos) const {
    const QTextBlock block = document()->findBlock(std::clamp(pos, 0, textLength()));
    if (!block.isValid() || !block.layout())
        return false;
    const int rel = pos - block.position();
    for (const QTextLayout::FormatRange& r : block.layout()->formats())
        if (rel >= r.start && rel < r.start + r.length)
            return r.format == d_->missingFormat;
    return false;
}

void PageEditor::inputMethodEvent(QInputMethodEvent* event) {
    RichTextControl::inputMethodEvent(event);
    // Qt writes the pre-edit highlighting into the same block formats the
    // link marks use, and clears them when composing ends.
    const int pos = textCursor().position();
    markRange(pos, pos);
}

void PageEditor::followLayoutDirection() {
    // Paragraphs take their base direction from the application, as in a
    // rich-edit control, rather than each guessing it from its own text:
    // the page format stores no direction, and with guessing Qt re-reads
    // every following paragraph on each keystroke (measured: twice the cost
    // of a typed character on a 5,000-paragraph page). Mixed scripts inside
    // a paragraph are still ordered by the bidirectional algorithm.
    QTextOption option = document()->defaultTextOption();
    if (option.textDirection() == layoutDirection())
        return;
    option.setTextDirection(layoutDirection());
    document()->setDefaultTextOption(option);
}

void PageEditor::changeEvent(QEvent* event) {
    RichTextControl::changeEvent(event);
    if (event->type() == QEvent::LayoutDirectionChange)
        followLayoutDirection();
    if (event->type() == QEvent::PaletteChange) {
        setLinkFormats(palette(), d_->linkFormat, d_->missingFormat);
        // Force every block to take the new colour.
        for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
            if (b.layout())
                b.layout()->clearFormats();
        ScanAllLines();
    }
}

}  // namespace tavix
