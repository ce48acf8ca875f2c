#pragma once
// RTF to and from QTextDocument: our own importer and exporter for the RTF
// the page formats exchange with the editor.
//
// The importer understands everything RtfWriter produces (font table, "\s"
// style number, "\ql/\qc/\qr", "\sb \sa \li \ri" in twips, "\f", "\fs" in
// half-points, "\b \i \ul \strike \super \sub" and their closing words,
// "\'hh" through code page 1252, "\u" with its fallback, "\tab") and skips
// the rest: destinations ("\*", style sheet, info, pictures...) never become
// text.
//
// The exporter writes "{\rtf1...}" with a font table and style sheet, then per
// paragraph "\pard\s<n>" with the paragraph formatting, the text with
// character format words, and "\par". Characters outside ASCII are written as
// themselves (the RTF is a wide string); a tab is written as "\tab", and a
// line separator, which a page cannot hold, becomes a blank. The first run's
// character formats are given before the paragraph's first character; every
// format is closed before "\par"; when a format ends, the formats opened
// after it are closed too, each by its own word, and the survivors reopened,
// so that the page reader (which closes inner elements with outer ones)
// rebuilds exactly what the user sees.
#include <string>

#include <QTextCursor>
#include <QTextDocument>
#include <QTextFormat>

namespace tavix {

// Paragraph style index 0..6 (Normal, Heading 1..6), kept on each block.
inline constexpr int kStyleIndexProperty = QTextFormat::UserProperty + 1;

// The twips values a paragraph was given, kept beside the pixel margins so
// that exporting writes back exactly what was read (pixel rounding never
// changes a stored value). The exporter uses a kept value only while the
// pixel margin still matches it; a margin changed by other means is
// converted back from pixels.
inline constexpr int kSpaceBeforeTwipsProperty = QTextFormat::UserProperty + 2;
inline constexpr int kSpaceAfterTwipsProperty = QTextFormat::UserProperty + 3;
inline constexpr int kLeftIndentTwipsProperty = QTextFormat::UserProperty + 4;
inline constexpr int kRightIndentTwipsProperty = QTextFormat::UserProperty + 5;

// Qt's layout never draws a paragraph left of its frame's edge, so a
// document whose styles indent to the left is laid out with every paragraph
// shifted right by the same room, in pixels. Each block carries the room it
// was given (the exporter and the printer take it off again); the document
// carries the room new paragraphs get ("indentRoom", a dynamic property,
// read when RTF is inserted).
inline constexpr int kIndentRoomProperty = QTextFormat::UserProperty + 6;
inline constexpr char kIndentRoomName[] = "indentRoom";

// A long paragraph is shown as several blocks, its parts, each laid out on
// its own: Qt lays a block out whole at every change, which in a paragraph
// of 200,000 characters costs tens of milliseconds a key. Every part but
// the first carries kContinuesProperty; parts meet only after a blank or a
// tab, so no word is cut. The space between parts is taken away for the
// display (held in the two properties below) and every part holds its
// paragraph's formatting otherwise. The exporter writes a paragraph's parts
// as one paragraph; what the control hands out as text never holds the
// breaks between them. Parts are a matter of display alone.
inline constexpr int kContinuesProperty = QTextFormat::UserProperty + 7;
inline constexpr int kHeldSpaceBeforeProperty = QTextFormat::UserProperty + 8;
inline constexpr int kHeldSpaceAfterProperty = QTextFormat::UserProperty + 9;

inline bool continuesParagraph(const QTextBlockFormat& format) {
    return format.boolProperty(kContinuesProperty);
}
// The paragraph's own formatting, from any of its parts.
QTextBlockFormat paragraphFormatOf(QTextBlockFormat part);
// What a part shows of its paragraph's formatting: no space before when it
// continues the paragraph, none after when another part follows.
QTextBlockFormat partFormatOf(QTextBlockFormat paragraph, bool continues, bool followed);

// Style index of a block format (0 when unset or out of range).
int styleIndexOf(const QTextBlockFormat& format);

// Twips to layout pixels at the screen's logical vertical resolution (96 dpi
// without a screen), and back (rounded to whole twips).
double twipsToPixels(int twips);
int pixelsToTwips(double pixels);

// A paragraph's spacing and indents in twips, as the exporter writes them:
// the kept values while the pixel margins still agree with them. Devices of
// another resolution (the printer) lay paragraphs out from these.
struct ParagraphTwips {
    int spaceBefore = 0;
    int spaceAfter = 0;
    int leftIndent = 0;
    int rightIndent = 0;
};
ParagraphTwips paragraphTwipsOf(const QTextBlockFormat& format);

// Replaces the selection of cursor (or inserts at it) with the content of the
// RTF, within the cursor's current edit block (one undo step). Each "\par"
// is a paragraph end carrying its paragraph's formatting: the first imported
// paragraph takes over the paragraph the cursor stands in; text after the
// last "\par" merges with the text after the cursor, whose paragraph keeps
// its own formatting. A last "\par" at the very end of the document is the
// document's own end and adds no empty paragraph. RTF without "\par" only
// inserts text (an empty paragraph also takes its paragraph formatting).
// Never fails: malformed RTF inserts what could be read.
void insertRtf(QTextCursor& cursor, const std::u16string& rtf);

// The whole document as RTF; every paragraph, the last one too, ends in
// "\par".
std::u16string documentToRtf(const QTextDocument& document);
// The range [start, end) as RTF (paragraphs cut at the range's edges; a
// paragraph's "\par" only when its end lies inside the range). Bounds are
// clamped and put in order.
std::u16string rangeToRtf(const QTextDocument& document, int start, int end);

}  // namespace tavix
