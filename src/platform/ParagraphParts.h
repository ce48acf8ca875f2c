#pragma once
// Long paragraphs shown in parts (see kContinuesProperty in RtfDocument.h):
// each part is a block of its own, so a key typed into a paragraph of
// 200,000 characters lays out a part of a few thousand, not the paragraph.
//
// The rule the control keeps: a part other than the first continues the
// paragraph of the block before it; parts are never empty and meet only
// after a blank or a tab (no word is cut, no link word either); every part
// shows its paragraph's formatting, less the space between parts. Typing
// and deleting inside a part keep the rule by themselves, or nearly:
// normalizeParts() mends what an edit left (a part grown too long, a
// boundary no longer after a blank). Commands that set paragraph formats
// or make paragraphs (Return, paste, RTF, drops) first join the parts of
// the paragraphs they touch (joinParts), so that they work on whole
// paragraphs exactly as they always did; normalizeParts() then cuts them
// into parts again.
#include <utility>

#include <QString>
#include <QTextCursor>
#include <QTextDocument>

namespace tavix {

// Joins the parts of the paragraph holding position into one block with
// the paragraph's formatting, through edit (inside its edit block, if any:
// undo brings the parts back).
void joinParts(QTextCursor& edit, int position);
// Joins the parts of the paragraphs at the selection's two ends, when it
// spans a break between blocks (Qt's merge of blocks that a removal makes
// must only ever meet whole paragraphs).
void joinPartsOfSelection(QTextCursor& edit, const QTextCursor& selection);

// Brings the blocks around [from, to] in line with the rule above: splits a
// block longer than twice partLength after a blank near partLength, merges
// parts that meet inside a word or are empty, and sets each part's format
// from its paragraph. joinEdit makes the changes part of the previous undo
// step. partLength 0 leaves paragraphs whole. Returns whether it changed
// anything.
bool normalizeParts(QTextDocument& document, int from, int to, int partLength, bool joinEdit);

// The text of [start, end) with paragraph ends as U+2029 and no breaks
// between parts: what the page holds there.
QString paragraphText(const QTextDocument& document, int start, int end);

// QTextDocument::find for a document with parts: the same matches (case,
// whole words, backward before from), but over the paragraphs' text, so
// that a match may cross the break between two parts. The match's document
// positions [start, end), or start -1 for none.
std::pair<int, int> findInParagraphs(const QTextDocument& document, const QString& what, int from,
                                     bool matchCase, bool wholeWord, bool backward);
// A document position as a position in the page's text: the breaks
// between parts before it not counted.
int positionInText(const QTextDocument& document, int position);
// The text of the paragraph holding position, all its parts: [start, end),
// its end not included.
std::pair<int, int> paragraphRange(const QTextDocument& document, int position);
// Whether any paragraph of the document is shown in parts.
bool hasParts(const QTextDocument& document);

// Whether a key at the cursor may leave parts for normalizeParts() to mend
// (a break no longer after a blank, an emptied part, paragraphs in parts
// merged): such a key must be one undo step with the mending, or undo
// would take back the mending alone. Elsewhere typing keeps Qt's own undo
// steps, which join the characters typed in a row.
bool mayBreakParts(const QTextCursor& cursor);

// Whether the cursor's position is the end of a part that another part of
// the same paragraph follows, or the start of a part that continues one.
bool atPartEnd(const QTextCursor& cursor);
bool atPartStart(const QTextCursor& cursor);

}  // namespace tavix
