#pragma once
// The modal "Styles" dialog: the font (name, size, bold, italic) and the
// paragraph settings (alignment, indents, spacing) of the seven paragraph
// styles. It edits a private copy of the style sheet; the caller takes
// styleSheet() after exec() returned QDialog::Accepted, puts it into the
// store, saves it and reloads the open page:
//
//     StylesDialog dialog(store.styleSheet(), frame);
//     if (dialog.exec() == QDialog::Accepted) {
//         store.styleSheet() = dialog.styleSheet();
//         store.saveStyleSheet();
//     }
//
// A value is read back from its field only when the user changed the
// field's text: a style that is merely looked at keeps its exact values,
// although the fields show indents in centimetres and spacing in points to
// one decimal.
#include <string>

#include <QDialog>

#include "store/StyleSheet.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QTabWidget;
class QTextEdit;

namespace tavix {

class UpDownField;

class StylesDialog : public QDialog {
    Q_OBJECT
public:
    // Shown per style: the index of "Regular", "Italic", "Bold", "Bold Italic"
    // is 2 × bold + italic.
    static constexpr int kFontStyleCount = 4;

    explicit StylesDialog(const StyleSheet& sheet, QWidget* parent = nullptr);
    ~StylesDialog() override;

    // Before OK, or after Cancel, the sheet as it was given. After OK, that
    // sheet with each style's font name, size, bold, italic, alignment,
    // spacing and indents taken from the dialog; names, underline and the
    // margins never change.
    const StyleSheet& styleSheet() const { return result_; }
    // The style the fields show, 0 (Normal) to 6.
    int currentStyle() const { return current_; }

    // Conversions of the fields, truncated toward zero like the typed value
    // they stand for. A text is read as far as it is a decimal number with a
    // period ("2.5 cm" and "2.5" alike); no number reads as 0.
    static QString twipsToCentimetres(int twips);  // "1.0 cm"
    static QString twipsToPoints(int twips);       // "6.0 pt"
    static int centimetresToTwips(const QString& text);
    static int pointsToTwips(const QString& text);
    // The font families to offer, each once: where a family is installed
    // from several foundries, the font database names each copy with its
    // foundry ("D050000L [URW ]"), a name no style sheet should store.
    static QStringList familyNames(const QStringList& families);

public slots:
    // Keeps the fields of the current style, then shows style `index`.
    void chooseStyle(int index);
    // Keeps the fields of the current style and closes with OK.
    void accept() override;

private:
    QWidget* buildFontPage();
    QWidget* buildParagraphPage();
    // Style record → fields, and fields → style record (of the working copy).
    void showStyle(int index);
    void readStyle(int index);
    // What the fields say, over the style they show.
    void readInto(ParagraphStyle& style) const;
    // The sample paragraph in the style as the fields stand now.
    void updatePreview();
    // Selects the entry equal to text (letter case ignored), or none.
    void selectMatching(QListWidget* list, const QString& text);
    // Writes the list's selected entry (or "") into the edit.
    void copySelection(QListWidget* list, QLineEdit* edit);

    StyleSheet working_;
    StyleSheet result_;
    int current_ = 0;
    bool syncing_ = false;
    bool showing_ = false;  // while showStyle fills the fields one by one
    // What showStyle put into the text fields, to tell edits from looks.
    QString shownFont_;
    QString shownSize_;

    QListWidget* styles_;
    QTabWidget* tabs_;
    QLineEdit* fontEdit_;
    QListWidget* fontList_;
    QLineEdit* fontStyleEdit_;
    QListWidget* fontStyleList_;
    QLineEdit* sizeEdit_;
    QListWidget* sizeList_;
    QComboBox* alignment_;
    UpDownField* leftIndent_;
    UpDownField* rightIndent_;
    UpDownField* spaceBefore_;
    UpDownField* spaceAfter_;
    QTextEdit* preview_ = nullptr;
};

}  // namespace tavix
