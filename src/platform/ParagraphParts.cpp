#include "platform/ParagraphParts.h"

#include <algorithm>
#include <vector>

#include <QTextBlock>

#include "platform/RtfDocument.h"

namespace tavix {
namespace {

bool continues(const QTextBlock& b) {
    return b.isValid() && b.previous().isValid() && continuesParagraph(b.blockFormat());
}

QTextBlock firstPartOf(QTextBlock b) {
    while (continues(b))
        b = b.previous();
    return b;
}

bool isBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

// Where a part of about length characters ends in text: just after the last
// blank that ends a sentence, or else the last blank, that leaves at least
// half of that; else just after the first blank beyond; 0 where no blank
// allows a cut (the rest of text is one word).
int cutPoint(const QString& text, int length) {
    const int size = static_cast<int>(text.size());
    // A line that ends early reads most naturally at the end of a sentence.
    for (int i = std::min(length, size - 1) - 1; i >= length / 2 && i > 0; --i)
        if (isBlank(text[i]) && QStringView(u".!?;:").contains(text[i - 1]))
            return i + 1;
    for (int i = std::min(length, size - 1) - 1; i >= length / 2; --i)
        if (isBlank(text[i]))
            return i + 1;
    for (int i = length; i < size - 1; ++i)
        if (isBlank(text[i]))
            return i + 1;
    return 0;
}

}  // namespace

void joinParts(QTextCursor& edit, int position) {
    QTextDocument* doc = edit.document();
    QTextBlock first = firstPartOf(doc->findBlock(position));
    if (!first.isValid())
        return;
    const QTextBlockFormat paragraph = paragraphFormatOf(first.blockFormat());
    while (continues(first.next())) {
        edit.setPosition(first.next().position());
        edit.deletePreviousChar();
        first = doc->findBlock(edit.position());
    }
    if (first.blockFormat() != paragraph) {
        edit.setPosition(first.position());
        edit.setBlockFormat(paragraph);
    }
}

void joinPartsOfSelection(QTextCursor& edit, const QTextCursor& selection) {
    const QTextDocument* doc = edit.document();
    if (doc->findBlock(selection.selectionStart()) == doc->findBlock(selection.selectionEnd()))
        return;
    // The selection's own cursor follows the joins.
    joinParts(edit, selection.selectionEnd());
    joinParts(edit, selection.selectionStart());
}

bool normalizeParts(QTextDocument& doc, int from, int to, int partLength, bool joinEdit) {
    if (partLength <= 0)
        return false;
    const int last = std::max(0, doc.characterCount() - 1);
    QTextBlock b = doc.findBlock(std::clamp(from, 0, last));
    if (b.previous().isValid())
        b = b.previous();
    QTextBlock e = doc.findBlock(std::clamp(to, 0, last));
    if (e.next().isValid())
        e = e.next();
    // Through the end of that paragraph: a merge may have given all its
    // parts another paragraph's format.
    while (continues(e.next()))
        e = e.next();
    // The end of the region's last block, as the edits below move it.
    QTextCursor end(&doc);
    end.setPosition(e.position() + e.length() - 1);
    QTextCursor c(&doc);
    QTextBlockFormat paragraph;  // of the paragraph b belongs to
    bool began = false;
    auto edit = [&] {
        if (began)
            return;
        if (joinEdit)
            c.joinPreviousEditBlock();
        else
            c.beginEditBlock();
        began = true;
    };
    while (b.isValid() && b.position() <= end.position()) {
        const QTextBlock n = b.next();
        if (continues(n) && (b.length() <= 1 || n.length() <= 1 || !isBlank(doc.characterAt(n.position() - 2)))) {
            // Parts meeting inside a word, or an empty one: one part again,
            // in the format of the first (Qt would keep the second's when
            // the first is empty).
            const QTextBlockFormat keep = b.blockFormat();
            edit();
            c.setPosition(n.position());
            c.deletePreviousChar();
            c.setBlockFormat(keep);
            b = doc.findBlock(c.position());
            continue;
        }
        if (b.length() - 1 > 2 * partLength) {
            if (const int cut = cutPoint(b.text(), partLength); cut > 0) {
                edit();
                c.setPosition(b.position() + cut);
                c.insertBlock(partFormatOf(paragraphFormatOf(b.blockFormat()), true, false));
                b = doc.findBlock(b.position());
                continue;
            }
        }
        if (!continues(b) || paragraph.isEmpty())
            paragraph = paragraphFormatOf(firstPartOf(b).blockFormat());
        const QTextBlockFormat want = partFormatOf(paragraph, continues(b), continues(b.next()));
        if (b.blockFormat() != want) {
            edit();
            c.setPosition(b.position());
            c.setBlockFormat(want);
            b = doc.findBlock(c.position());
        }
        b = b.next();
    }
    if (began)
        c.endEditBlock();
    return began;
}

QString paragraphText(const QTextDocument& doc, int start, int end) {
    QString out;
    const int last = std::max(0, doc.characterCount() - 1);
    start = std::clamp(start, 0, last);
    end = std::clamp(end, 0, last);
    for (QTextBlock b = doc.findBlock(start); b.isValid() && b.position() < end; b = b.next()) {
        const int textEnd = b.position() + b.length() - 1;
        const int from = std::max(start, b.position());
        const int to = std::min(end, textEnd);
        if (to > from)
            out += b.text().mid(from - b.position(), to - from);
        if (end > textEnd && !continues(b.next()))
            out += QChar(QChar::ParagraphSeparator);
    }
    return out;
}

int positionInText(const QTextDocument& document, int position) {
    int breaks = 0;
    for (QTextBlock b = document.begin().next(); b.isValid() && b.position() <= position; b = b.next())
        breaks += continues(b) ? 1 : 0;
    return position - breaks;
}

bool hasParts(const QTextDocument& document) {
    for (QTextBlock b = document.begin(); b.isValid(); b = b.next())
        if (continues(b))
            return true;
    return false;
}

std::pair<int, int> findInParagraphs(const QTextDocument& document, const QString& what, int from,
                                     bool matchCase, bool wholeWord, bool backward) {
    constexpr std::pair<int, int> none{-1, -1};
    if (what.isEmpty())
        return none;
    // The text without the breaks between parts; where each was left out,
    // as an index into the text and as a document position.
    QString text;
    std::vector<int> breaks;
    std::vector<int> separators;
    for (QTextBlock b = document.begin(); b.isValid(); b = b.next()) {
        text += b.text();
        const QTextBlock n = b.next();
        if (!n.isValid())
            break;
        if (continues(n)) {
            separators.push_back(static_cast<int>(text.size() + breaks.size()));
            breaks.push_back(static_cast<int>(text.size()));
        } else {
            text += QChar(QChar::ParagraphSeparator);
        }
    }
    auto before = [](const std::vector<int>& v, int x, bool orAt) {
        return static_cast<int>((orAt ? std::upper_bound(v.begin(), v.end(), x) : std::lower_bound(v.begin(), v.end(), x)) -
                                v.begin());
    };
    const Qt::CaseSensitivity cs = matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    auto whole = [&](int at) {
        const int end = at + static_cast<int>(what.size());
        return !((at > 0 && text.at(at - 1).isLetterOrNumber()) ||
                 (end < text.size() && text.at(end).isLetterOrNumber()));
    };
    int p = std::max(0, from) - before(separators, std::max(0, from), false);
    for (int at = -1;;) {
        if (backward) {
            if (--p < 0)
                return none;
            at = static_cast<int>(text.lastIndexOf(what, p, cs));
        } else {
            at = static_cast<int>(text.indexOf(what, p, cs));
        }
        if (at < 0)
            return none;
        if (!wholeWord || whole(at)) {
            const int end = at + static_cast<int>(what.size());
            return {at + before(breaks, at, true), end + before(breaks, end, false)};
        }
        p = backward ? at : at + 1;
    }
}

bool mayBreakParts(const QTextCursor& cursor) {
    if (cursor.hasSelection())
        return true;
    const QTextBlock b = cursor.block();
    const int rel = cursor.position() - b.position();
    const int length = b.length() - 1;
    const bool inParts = continues(b) || continues(b.next());
    return (inParts && (length <= 1 || rel == 0)) || (rel >= length - 1 && continues(b.next())) ||
           (rel == length && continues(b.next().next()));
}

std::pair<int, int> paragraphRange(const QTextDocument& document, int position) {
    QTextBlock first = firstPartOf(document.findBlock(position));
    QTextBlock last = first;
    while (continues(last.next()))
        last = last.next();
    return {first.position(), last.position() + last.length() - 1};
}

bool atPartEnd(const QTextCursor& cursor) { return cursor.atBlockEnd() && continues(cursor.block().next()); }

bool atPartStart(const QTextCursor& cursor) { return cursor.atBlockStart() && continues(cursor.block()); }

}  // namespace tavix
