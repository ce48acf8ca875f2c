#include "platform/RichTextControl.h"

#include <algorithm>
#include <functional>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QWheelEvent>

#include "platform/ParagraphParts.h"
#include "platform/RtfDocument.h"

namespace tavix {
namespace {

// Pasted or loaded plain text: every line-end convention becomes one
// paragraph break, and control characters other than tab are dropped, as
// they could never be saved.
QString normalizePlainText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) ++i;
            out.append(QLatin1Char('\n'));
        } else if (c == u'\n' || c == 0x2029 || c == 0x2028) {
            out.append(QLatin1Char('\n'));
        } else if ((c < 0x20 && c != u'\t') || c == 0xFDD0 || c == 0xFDD1) {
            continue;
        } else {
            out.append(text[i]);
        }
    }
    return out;
}

// The first n code units of text, never splitting a surrogate pair.
QString leftWhole(const QString& text, qsizetype n) {
    if (n <= 0) return QString();
    if (n >= text.size()) return text;
    if (text[n - 1].isHighSurrogate()) --n;
    return text.left(n);
}

// Characters a key press or input method commit would add: printable text
// and tabs (Backspace and Delete come as control characters and add none).
qsizetype insertedLength(const QString& text) {
    qsizetype n = 0;
    for (QChar c : text)
        if ((c.unicode() >= 0x20 && c.unicode() != 0x7F) || c.unicode() == u'\t') ++n;
    return n;
}

// Keys that replace or remove a selection: text, Backspace, Delete, and
// the word, line and cut shortcuts.
bool changesText(const QKeyEvent* event) {
    if (insertedLength(event->text()) > 0 || event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete)
        return true;
    for (QKeySequence::StandardKey k : {QKeySequence::Cut, QKeySequence::DeleteStartOfWord,
                                        QKeySequence::DeleteEndOfWord, QKeySequence::DeleteEndOfLine,
                                        QKeySequence::DeleteCompleteLine})
        if (event->matches(k))
            return true;
    return false;
}

}  // namespace

RichTextControl::RichTextControl(QWidget* parent) : QTextEdit(parent) {
    setAcceptRichText(false);
    setLineWrapMode(QTextEdit::WidgetWidth);
    document()->setUndoRedoEnabled(true);
    connect(document(), &QTextDocument::contentsChange, this, &RichTextControl::noteChange);
}

RichTextControl::~RichTextControl() {
    // The layout outlives this body (the document goes with QObject's
    // children) and must not keep a pointer to the device.
    if (zoomDevice_)
        document()->documentLayout()->setPaintDevice(nullptr);
}

void RichTextControl::setZoom(int percent) {
    percent = std::clamp(percent, kMinZoom, kMaxZoom);
    if (percent == zoom_)
        return;
    zoom_ = percent;
    QAbstractTextDocumentLayout* layout = document()->documentLayout();
    if (percent == 100) {
        layout->setPaintDevice(nullptr);
        zoomDevice_.reset();
    } else {
        // Point sizes become pixels through the layout's device resolution,
        // so a device reporting a scaled resolution scales every font while
        // the document and its undo history stay untouched.
        auto device = std::make_unique<QImage>(1, 1, QImage::Format_RGB32);
        const int dotsPerMetre = qRound(logicalDpiY() * percent / 100.0 / 0.0254);
        device->setDotsPerMeterX(qRound(logicalDpiX() * percent / 100.0 / 0.0254));
        device->setDotsPerMeterY(dotsPerMetre);
        layout->setPaintDevice(device.get());
        zoomDevice_ = std::move(device);
    }
    document()->markContentsDirty(0, document()->characterCount());
    // The caret stays in sight as the text grows or shrinks around it.
    ensureCursorVisible();
    viewport()->update();
    emit zoomChanged(zoom_);
}

void RichTextControl::zoomBy(int steps) {
    static constexpr int kLadder[] = {50, 67, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300};
    constexpr int kRungs = static_cast<int>(std::size(kLadder));
    if (steps == 0)
        return;
    // From the next rung above (or below) the current scale, wherever it stands.
    const int above = static_cast<int>(std::upper_bound(kLadder, kLadder + kRungs, zoom_) - kLadder);
    const int below = static_cast<int>(std::lower_bound(kLadder, kLadder + kRungs, zoom_) - kLadder) - 1;
    const int rung = steps > 0 ? above + steps - 1 : below + steps + 1;
    setZoom(kLadder[std::clamp(rung, 0, kRungs - 1)]);
}

void RichTextControl::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QTextEdit::wheelEvent(event);
        return;
    }
    const int notches = event->angleDelta().y() / 120;
    if (notches != 0)
        zoomBy(notches);
    event->accept();
}

void RichTextControl::loadContent(const std::function<void(QTextCursor&)>& insert) {
    QTextDocument* doc = document();
    // Loading is not an edit: no undo step, and the previous history (which
    // refers to the old content) goes.
    doc->setUndoRedoEnabled(false);
    QTextCursor cursor(doc);
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    cursor.setBlockFormat(QTextBlockFormat());
    cursor.setBlockCharFormat(QTextCharFormat());
    cursor.setCharFormat(QTextCharFormat());
    insert(cursor);
    cursor.endEditBlock();
    normalizeParts(*doc, 0, doc->characterCount(), partLength_, false);
    // A page whose paragraphs hold no text (an empty body) still types in
    // its style's format, not in the widget's font.
    setTextCursor(QTextCursor(doc));
    conformRange(0, doc->characterCount(), false, true);
    forgetEdits();
    doc->setUndoRedoEnabled(true);
    doc->setModified(false);
    setTextCursor(QTextCursor(doc));
}

void RichTextControl::setRtfContent(const std::u16string& rtf) {
    loadContent([&](QTextCursor& cursor) { insertRtf(cursor, rtf); });
}

std::u16string RichTextControl::rtfContent() const { return documentToRtf(*document()); }

void RichTextControl::replaceSelectionWithRtf(const std::u16string& rtf) {
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    QTextCursor edit(document());
    joinPartsOfSelection(edit, cursor);
    joinParts(edit, cursor.selectionStart());
    insertRtf(cursor, rtf);
    cursor.endEditBlock();
    setTextCursor(cursor);
    conformEdits();
}

void RichTextControl::setPlainContent(const std::u16string& text) {
    loadContent([&](QTextCursor& cursor) { cursor.insertText(normalizePlainText(QString::fromStdU16String(text))); });
}

std::u16string RichTextControl::plainContent() const { return textRange(0, textLength()); }

std::u16string RichTextControl::textRange(int start, int end) const {
    QString text = paragraphText(*document(), start, end);
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\r'));
    return text.toStdU16String();
}

int RichTextControl::textLength() const { return std::max(0, document()->characterCount() - 1); }

int RichTextControl::selectionStart() const { return textCursor().selectionStart(); }

int RichTextControl::selectionEnd() const { return textCursor().selectionEnd(); }

void RichTextControl::setSelection(int anchor, int position) {
    const int length = textLength();
    QTextCursor cursor(document());
    cursor.setPosition(std::clamp(anchor, 0, length));
    cursor.setPosition(std::clamp(position, 0, length), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

void RichTextControl::ensureLaidOut() const {
    // The layout works lazily and in steps; asking for the document's size
    // finishes it at the current width.
    document()->documentLayout()->documentSize();
}

namespace {

// Display lines of one paragraph; a paragraph not laid out (or empty) still
// shows one line.
int linesOf(const QTextBlock& block) {
    const QTextLayout* layout = block.layout();
    return layout && layout->lineCount() > 0 ? layout->lineCount() : 1;
}

// The paragraph holding display line `line` and that line's number within it
// (the rich-text layout keeps no line numbers of its own, so they are
// counted).
QTextBlock blockOfLine(const QTextDocument* doc, int line, int* inBlock) {
    if (line < 0) return QTextBlock();
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
        const int n = linesOf(b);
        if (line < n) {
            *inBlock = line;
            return b;
        }
        line -= n;
    }
    return QTextBlock();
}

}  // namespace

int RichTextControl::lineCount() const {
    ensureLaidOut();
    int lines = 0;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next()) lines += linesOf(b);
    return lines;
}

int RichTextControl::lineFromPosition(int position) const {
    ensureLaidOut();
    position = std::clamp(position, 0, textLength());
    const QTextBlock target = document()->findBlock(position);
    int line = 0;
    for (QTextBlock b = document()->begin(); b.isValid() && b != target; b = b.next()) line += linesOf(b);
    const QTextLayout* layout = target.layout();
    if (!layout || layout->lineCount() == 0) return line;
    const QTextLine inBlock = layout->lineForTextPosition(position - target.position());
    return line + (inBlock.isValid() ? inBlock.lineNumber() : layout->lineCount() - 1);
}

int RichTextControl::lineStart(int line) const {
    ensureLaidOut();
    int inBlock = 0;
    const QTextBlock block = blockOfLine(document(), line, &inBlock);
    if (!block.isValid()) return -1;
    const QTextLayout* layout = block.layout();
    if (!layout || layout->lineCount() == 0) return block.position();
    return block.position() + layout->lineAt(inBlock).textStart();
}

int RichTextControl::lineLength(int line) const {
    ensureLaidOut();
    int inBlock = 0;
    const QTextBlock block = blockOfLine(document(), line, &inBlock);
    if (!block.isValid()) return 0;
    const QTextLayout* layout = block.layout();
    if (!layout || layout->lineCount() == 0) return block.length() - 1;
    return layout->lineAt(inBlock).textLength();
}

int RichTextControl::paragraphStyleAt(int position) const {
    position = std::clamp(position, 0, textLength());
    return styleIndexOf(document()->findBlock(position).blockFormat());
}

void RichTextControl::setMargins(int leftPixels, int rightPixels) {
    // Kept outside the document: a margin is presentation, and a change to
    // the document's own frame would count as an edit and an undo step. The
    // strips are filled like the text area so they read as part of it.
    leftMargin_ = std::max(0, leftPixels);
    rightMargin_ = std::max(0, rightPixels);
    const int room = qRound(document()->property(kIndentRoomName).toDouble());
    setViewportMargins(std::max(0, leftMargin_ - room), 0, rightMargin_, 0);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
}

void RichTextControl::setIndentRoom(double pixels) {
    document()->setProperty(kIndentRoomName, std::max(0.0, pixels));
    setMargins(leftMargin_, rightMargin_);
}

bool RichTextControl::canPastePlainText() const {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    return data && data->hasText();
}

bool RichTextControl::findText(const std::u16string& text, bool matchCase, bool wholeWord, bool down) {
    if (text.empty()) return false;
    QTextDocument::FindFlags flags;
    if (matchCase) flags |= QTextDocument::FindCaseSensitively;
    if (wholeWord) flags |= QTextDocument::FindWholeWords;
    if (!down) flags |= QTextDocument::FindBackward;
    const QTextCursor current = textCursor();
    const int from = down ? current.selectionEnd() : current.selectionStart();
    if (hasParts(*document())) {
        // A match may cross the break between two parts of a paragraph.
        const auto [start, end] =
            findInParagraphs(*document(), QString::fromStdU16String(text), from, matchCase, wholeWord, !down);
        if (start < 0) return false;
        setSelection(start, end);
        return true;
    }
    const QTextCursor found = document()->find(QString::fromStdU16String(text), from, flags);
    if (found.isNull()) return false;
    setTextCursor(found);
    return true;
}

int RichTextControl::roomFor(const QTextCursor& cursor) const {
    const int selected = cursor.selectionEnd() - cursor.selectionStart();
    return textLimit_ - (textLength() - selected);
}

bool RichTextControl::canInsertFromMimeData(const QMimeData* source) const { return source && source->hasText(); }

void RichTextControl::insertFromMimeData(const QMimeData* source) {
    if (!source || !source->hasText() || isReadOnly()) return;
    QString text = normalizePlainText(source->text());
    if (text.isEmpty()) return;
    QTextCursor cursor = textCursor();
    const int room = roomFor(cursor);
    if (text.size() > room) {
        text = leftWhole(text, room);
        QApplication::beep();
        if (text.isEmpty()) return;
    }
    // Plain text only, in the format at the caret, as one undo step.
    cursor.beginEditBlock();
    QTextCursor edit(document());
    joinPartsOfSelection(edit, cursor);
    if (text.contains(QLatin1Char('\n')))
        joinParts(edit, cursor.selectionStart());  // new paragraphs take whole formats
    cursor.insertText(text);
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
    conformEdits();
}

QMimeData* RichTextControl::createMimeDataFromSelection() const {
    const QTextCursor cursor = textCursor();
    QString text = paragraphText(*document(), cursor.selectionStart(), cursor.selectionEnd());
    QString selected = cursor.selectedText();
    if (text.size() == selected.size())
        return QTextEdit::createMimeDataFromSelection();
    // Parts of a paragraph are one paragraph wherever the text goes.
    auto* data = new QMimeData;
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    data->setText(text);
    return data;
}

void RichTextControl::keyPressEvent(QKeyEvent* event) {
    const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const qsizetype adds = isReturn ? 1 : insertedLength(event->text());
    if (adds > 0 && !isReadOnly() && adds > roomFor(textCursor())) {
        QApplication::beep();
        event->accept();
        return;
    }
    if (isReturn && !isReadOnly() && !event->modifiers().testFlag(Qt::ControlModifier)) {
        QTextCursor cursor = textCursor();
        cursor.beginEditBlock();
        QTextCursor edit(document());
        joinPartsOfSelection(edit, cursor);
        cursor.removeSelectedText();
        // The new paragraph starts whole: parts after the caret continue it.
        if (hasFollowingFormat_ && cursor.atBlockEnd() && !atPartEnd(cursor) && styleIndexOf(cursor.blockFormat()) != 0)
            cursor.insertBlock(followingBlock_, followingChars_);
        else
            cursor.insertBlock(paragraphFormatOf(cursor.blockFormat()), cursor.charFormat());
        cursor.endEditBlock();
        setTextCursor(cursor);
        ensureCursorVisible();
        conformEdits();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) {
        QTextEdit::keyPressEvent(event);
        afterUndo();
        return;
    }
    if (!isReadOnly() && !event->modifiers().testFlag(Qt::ControlModifier) && !textCursor().hasSelection()) {
        // Between two parts of a paragraph the break is no character: the
        // keys delete the character beyond it.
        QTextCursor cursor = textCursor();
        if ((event->key() == Qt::Key_Backspace && atPartStart(cursor)) ||
            (event->key() == Qt::Key_Delete && atPartEnd(cursor))) {
            const bool back = event->key() == Qt::Key_Backspace;
            cursor.beginEditBlock();
            cursor.setPosition(cursor.position() + (back ? -1 : 1));
            if (back)
                cursor.deletePreviousChar();
            else
                cursor.deleteChar();
            cursor.endEditBlock();
            event->accept();
            conformEdits();
            return;
        }
    }
    const QTextCursor caret = textCursor();
    const bool mergesParagraphs = !caret.hasSelection() &&
                                  ((event->key() == Qt::Key_Backspace && caret.atBlockStart()) ||
                                   (event->key() == Qt::Key_Delete && caret.atBlockEnd()));
    const bool typesOutOfStyle = !conformsToStyle(caret.charFormat(), styleIndexOf(caret.blockFormat()));
    if (!isReadOnly() && changesText(event) && (mergesParagraphs || typesOutOfStyle || mayBreakParts(caret))) {
        // One undo step with the mending that follows (Qt's own step for a
        // merge of paragraphs, or for text typed in a format that is then
        // mended, would not take it in, and undo would take back the
        // mending alone); a removal across blocks merges them, which must
        // meet whole paragraphs.
        withWholeParagraphs([&] { QTextEdit::keyPressEvent(event); });
    } else {
        QTextEdit::keyPressEvent(event);
    }
    conformEdits();
}


void RichTextControl::setFollowingParagraphFormat(const QTextBlockFormat& block,
                                                  const QTextCharFormat& chars) {
    followingBlock_ = block;
    followingChars_ = chars;
    hasFollowingFormat_ = true;
}

void RichTextControl::setStyleFormats(std::vector<StyleFormat> formats) {
    if (formats.size() < 7) {
        styles_.clear();
        return;
    }
    formats.resize(7);
    styles_ = std::move(formats);
    setFollowingParagraphFormat(styles_[0].block, styles_[0].chars);
}

namespace {

bool isBold(const QTextCharFormat& f) { return f.fontWeight() >= QFont::DemiBold; }

}  // namespace

bool RichTextControl::conformsToStyle(const QTextCharFormat& f, int style) const {
    if (styles_.empty())
        return true;
    const QTextCharFormat& s = styles_[std::clamp(style, 0, 6)].chars;
    return f.fontFamilies() == s.fontFamilies() && f.fontPointSize() == s.fontPointSize() &&
           (!isBold(s) || isBold(f)) && (!s.fontItalic() || f.fontItalic()) &&
           (!s.fontUnderline() || f.fontUnderline());
}

namespace {

// format in its style's font and size, with the style's own effects added.
QTextCharFormat conformed(QTextCharFormat f, const QTextCharFormat& s) {
    f.setFontFamilies(s.fontFamilies().toStringList());
    f.setFontPointSize(s.fontPointSize());
    if (isBold(s))
        f.setFontWeight(QFont::Bold);
    if (s.fontItalic())
        f.setFontItalic(true);
    if (s.fontUnderline())
        f.setFontUnderline(true);
    return f;
}

}  // namespace

void RichTextControl::noteChange(int position, int removed, int added) {
    if (dirtyFrom_ < 0) {
        dirtyFrom_ = position;
        dirtyTo_ = position + added;
    } else {
        if (dirtyTo_ > position)
            dirtyTo_ = std::max(position, dirtyTo_ + added - removed);
        dirtyFrom_ = std::min(dirtyFrom_, position);
        dirtyTo_ = std::max(dirtyTo_, position + added);
    }
    // Format-only changes report the same count removed and added.
    if (removed > added)
        removed_ += removed - added;
}

void RichTextControl::withWholeParagraphs(const std::function<void()>& edit) {
    QTextCursor step(document());
    step.beginEditBlock();
    joinPartsOfSelection(step, textCursor());
    edit();
    step.endEditBlock();
}

void RichTextControl::removeSelection(QTextCursor cursor) {
    setTextCursor(cursor);
    withWholeParagraphs([this] {
        QTextCursor c = textCursor();
        c.removeSelectedText();
        setTextCursor(c);
    });
    conformEdits();
}

void RichTextControl::conformEdits() {
    int from = dirtyFrom_;
    int to = dirtyTo_;
    const bool removedText = removed_ > 1;
    forgetEdits();
    if (from < 0 || isReadOnly())
        return;
    if (normalizeParts(*document(), from, to, partLength_, true)) {
        from = std::min(from, dirtyFrom_);
        to = std::max(to, dirtyTo_) + 2;
        forgetEdits();
    }
    if (styles_.empty())
        return;
    conformRange(from, to, true, removedText);
}

void RichTextControl::conformRange(int from, int to, bool joinEdit, bool resetCaret) {
    if (styles_.empty())
        return;
    QTextDocument* doc = document();
    struct Fix {
        int start;
        int end;
        QTextCharFormat format;
    };
    std::vector<Fix> fixes;
    std::vector<std::pair<int, QTextCharFormat>> emptyBlocks;
    QTextBlock b = doc->findBlock(std::clamp(from, 0, std::max(0, doc->characterCount() - 1)));
    for (; b.isValid() && b.position() <= to; b = b.next()) {
        const int style = styleIndexOf(b.blockFormat());
        const QTextCharFormat& s = styles_[style].chars;
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment frag = it.fragment();
            if (!frag.isValid() || conformsToStyle(frag.charFormat(), style))
                continue;
            fixes.push_back(Fix{frag.position(), frag.position() + frag.length(), conformed(frag.charFormat(), s)});
        }
        // An empty paragraph shows (and saves) its mark's font.
        if (b.length() <= 1 && !conformsToStyle(b.charFormat(), style))
            emptyBlocks.emplace_back(b.position(), conformed(b.charFormat(), s));
    }
    if (!fixes.empty() || !emptyBlocks.empty()) {
        QTextCursor c(doc);
        if (joinEdit)
            c.joinPreviousEditBlock();
        else
            c.beginEditBlock();
        for (const Fix& f : fixes) {
            c.setPosition(f.start);
            c.setPosition(f.end, QTextCursor::KeepAnchor);
            c.setCharFormat(f.format);
        }
        for (const auto& [at, format] : emptyBlocks) {
            c.setPosition(at);
            c.setBlockCharFormat(format);
        }
        c.endEditBlock();
        forgetEdits();
    }
    conformCaret(resetCaret);
}

void RichTextControl::conformCaret(bool resetCaret) {
    if (styles_.empty())
        return;
    // What is typed next: at a caret in an emptied paragraph the style's own
    // format, so that no format of removed text (a heading's, after Select
    // All and Delete) leaks into it; elsewhere at least the style's font.
    QTextCursor caret = textCursor();
    if (caret.hasSelection())
        return;
    const int style = styleIndexOf(caret.blockFormat());
    if (resetCaret && caret.block().length() <= 1) {
        if (caret.charFormat() != styles_[style].chars) {
            caret.setCharFormat(styles_[style].chars);
            setTextCursor(caret);
        }
    } else if (!conformsToStyle(caret.charFormat(), style)) {
        caret.setCharFormat(conformed(caret.charFormat(), styles_[style].chars));
        setTextCursor(caret);
    }
}

void RichTextControl::inputMethodEvent(QInputMethodEvent* event) {
    const QString commit = event->commitString();
    if (!commit.isEmpty() && !isReadOnly()) {
        const int room = roomFor(textCursor()) + std::max(0, event->replacementLength());
        if (insertedLength(commit) > room) {
            QApplication::beep();
            QInputMethodEvent cut(event->preeditString(), event->attributes());
            cut.setCommitString(leftWhole(commit, std::max(0, room)), event->replacementStart(),
                                event->replacementLength());
            QTextEdit::inputMethodEvent(&cut);
            event->accept();
            conformEdits();
            return;
        }
    }
    if (!commit.isEmpty() && !isReadOnly() && mayBreakParts(textCursor())) {
        withWholeParagraphs([&] { QTextEdit::inputMethodEvent(event); });
    } else {
        QTextEdit::inputMethodEvent(event);
    }
    if (!commit.isEmpty())
        conformEdits();
}

}  // namespace tavix
