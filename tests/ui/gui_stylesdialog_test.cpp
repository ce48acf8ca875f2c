// The Styles dialog driven through its fields and slots (never run modally):
// what it shows for a style, what it reads back, and what OK and Cancel give.
#include <gtest/gtest.h>

#include <climits>

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include "store/PropertyNode.h"
#include "store/StyleSheet.h"
#include "ui/StylesDialog.h"

using namespace tavix;

namespace {

class StylesDialogTest : public ::testing::Test {
protected:
    template <class T> T* control(StylesDialog& d, const char* name) {
        T* w = d.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString text(StylesDialog& d, const char* name) {
        if (auto* box = d.findChild<QAbstractSpinBox*>(QString::fromLatin1(name)))
            return box->text();
        return control<QLineEdit>(d, name)->text();
    }
    // Types into a paragraph field as the user would: the whole text replaced.
    void typeInto(StylesDialog& d, const char* name, const QString& value) {
        auto* box = control<QAbstractSpinBox>(d, name);
        box->findChild<QLineEdit*>()->setText(value);
    }
    QString selected(StylesDialog& d, const char* listName) {
        const auto items = control<QListWidget>(d, listName)->selectedItems();
        return items.isEmpty() ? QString() : items.front()->text();
    }

    // Any installed font: the list holds what the font database offers.
    static QString installedFont() {
        return StylesDialog::familyNames(QFontDatabase::families()).value(0);
    }
};

TEST(StylesDialogFonts, EachFamilyIsOfferedOnceWithoutItsFoundry) {
    EXPECT_EQ(StylesDialog::familyNames({"D050000L [URW ]", "D050000L [Other]", "DejaVu Sans",
                                         "Nimbus Sans [URW]", "nimbus sans", "Font [Beta] Face",
                                         "Odd [", "[Bracketed]"}),
              QStringList({"D050000L", "DejaVu Sans", "Nimbus Sans", "Font [Beta] Face", "Odd [",
                           "[Bracketed]"}));
    EXPECT_EQ(StylesDialog::familyNames({}), QStringList());
    // What this desktop has installed: no foundry names, no family twice,
    // and every family still there.
    const QStringList installed = QFontDatabase::families();
    const QStringList offered = StylesDialog::familyNames(installed);
    QSet<QString> seen;
    for (const QString& name : offered) {
        EXPECT_FALSE(name.endsWith(u']') && name.contains(QStringLiteral(" ["))) << name.toStdString();
        EXPECT_FALSE(seen.contains(name.toCaseFolded())) << name.toStdString();
        seen.insert(name.toCaseFolded());
    }
    for (const QString& family : installed)
        EXPECT_TRUE(seen.contains(family.section(QStringLiteral(" ["), 0, 0).toCaseFolded()))
            << family.toStdString();
}

TEST_F(StylesDialogTest, ConversionsTruncateAndIgnoreTheUnitAndTheLocale) {
    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(StylesDialog::twipsToCentimetres(567), QStringLiteral("1.0 cm"));
    EXPECT_EQ(StylesDialog::twipsToCentimetres(100), QStringLiteral("0.2 cm"));
    EXPECT_EQ(StylesDialog::twipsToCentimetres(0), QStringLiteral("0.0 cm"));
    EXPECT_EQ(StylesDialog::twipsToPoints(120), QStringLiteral("6.0 pt"));
    EXPECT_EQ(StylesDialog::twipsToPoints(62), QStringLiteral("3.1 pt"));
    QLocale::setDefault(QLocale::c());

    EXPECT_EQ(StylesDialog::centimetresToTwips(QStringLiteral("2.5")), 1417);
    EXPECT_EQ(StylesDialog::centimetresToTwips(QStringLiteral("0.2 cm")), 113);
    EXPECT_EQ(StylesDialog::centimetresToTwips(QStringLiteral("0.1 cm")), 56);
    EXPECT_EQ(StylesDialog::centimetresToTwips(QStringLiteral(" -1 cm")), -567);
    EXPECT_EQ(StylesDialog::centimetresToTwips(QStringLiteral("cm")), 0);
    EXPECT_EQ(StylesDialog::centimetresToTwips(QStringLiteral(".5")), 283);
    EXPECT_EQ(StylesDialog::centimetresToTwips(QStringLiteral("99999999")), INT_MAX);
    EXPECT_EQ(StylesDialog::pointsToTwips(QStringLiteral("6.0 pt")), 120);
    EXPECT_EQ(StylesDialog::pointsToTwips(QStringLiteral("6 cm")), 120);
    EXPECT_EQ(StylesDialog::pointsToTwips(QStringLiteral("6,5")), 120);  // the comma ends the number
}

TEST_F(StylesDialogTest, ShowsNormalFirstWithItsValuesInUnits) {
    StyleSheet sheet;
    sheet.style(0).setLeftIndent(567);
    sheet.style(0).setSpaceBefore(120);
    sheet.style(0).setAlignment(1);
    sheet.style(0).setSize(13);
    StylesDialog d(sheet);

    EXPECT_EQ(d.currentStyle(), 0);
    auto* list = control<QListWidget>(d, "styleList");
    ASSERT_EQ(list->count(), 7);
    EXPECT_EQ(list->item(0)->text(), QStringLiteral("Normal"));
    EXPECT_EQ(list->item(6)->text(), QStringLiteral("Heading 6"));
    EXPECT_EQ(list->currentRow(), 0);

    EXPECT_EQ(text(d, "leftIndent"), QStringLiteral("1.0 cm"));
    EXPECT_EQ(text(d, "spaceBefore"), QStringLiteral("6.0 pt"));
    EXPECT_EQ(text(d, "spaceAfter"), QStringLiteral("3.0 pt"));
    EXPECT_EQ(control<QComboBox>(d, "alignment")->currentText(), QStringLiteral("Centered"));
    EXPECT_EQ(text(d, "fontStyleEdit"), QStringLiteral("Regular"));
    EXPECT_EQ(selected(d, "fontStyleList"), QStringLiteral("Regular"));
    EXPECT_EQ(text(d, "sizeEdit"), QStringLiteral("13"));
    EXPECT_EQ(selected(d, "sizeList"), QString());  // 13 is not a listed size

    // The before arrows start at 120 / 2 = 60: one step up is 61 × 2 twips.
    control<QAbstractSpinBox>(d, "spaceBefore")->stepBy(1);
    EXPECT_EQ(text(d, "spaceBefore"), QStringLiteral("6.1 pt"));
}

TEST_F(StylesDialogTest, LookingAtEveryStyleAndPressingOkChangesNothing) {
    StyleSheet sheet;
    PropertyNode root(u"app", nullptr);
    root.set(u"StyleMap.Style3.Font.Underline", u"1");
    root.set(u"StyleMap.LeftMargin", u"25");
    sheet.loadFrom(root.child(u"StyleMap"));
    sheet.style(0).setLeftIndent(100);    // shows as 0.2 cm
    sheet.style(0).setSpaceAfter(61);     // shows as 3.1 pt
    sheet.style(1).setRightIndent(-30);   // below the arrows' range
    sheet.style(2).setBold(true);
    sheet.style(2).setItalic(true);
    sheet.style(3).setFontName(u"No Such Font Anywhere");
    sheet.style(4).setAlignment(2);
    sheet.style(5).setSize(1000);         // longer than the size field
    StylesDialog d(sheet);
    for (int i = 1; i < 7; ++i)
        d.chooseStyle(i);
    d.chooseStyle(0);
    d.accept();

    EXPECT_EQ(d.result(), QDialog::Accepted);
    for (int i = 0; i < 7; ++i) {
        ParagraphStyle expected = sheet.style(i);
        // An installed font comes back in the list's spelling, which may differ
        // in letter case only.
        if (!d.findChild<QListWidget*>(QStringLiteral("fontList"))
                 ->findItems(QString::fromStdU16String(expected.fontName()), Qt::MatchFixedString)
                 .isEmpty())
            expected.setFontName(d.styleSheet().style(i).fontName());
        EXPECT_EQ(QString::fromStdU16String(d.styleSheet().style(i).fontName()).toLower(),
                  QString::fromStdU16String(sheet.style(i).fontName()).toLower());
        EXPECT_EQ(d.styleSheet().style(i), expected) << "style " << i;
    }
    EXPECT_TRUE(d.styleSheet().style(3).underline());
    EXPECT_EQ(d.styleSheet().leftMargin(), 25);
}

TEST_F(StylesDialogTest, TypedParagraphValuesAreReadFromTheirText) {
    StyleSheet sheet;
    sheet.style(0).setLeftIndent(100);
    StylesDialog d(sheet);
    typeInto(d, "leftIndent", QStringLiteral("2.5"));
    typeInto(d, "rightIndent", QStringLiteral("0.2 cm"));
    typeInto(d, "spaceBefore", QStringLiteral("-3"));
    typeInto(d, "spaceAfter", QStringLiteral("300 pt"));  // beyond the arrows' range
    control<QComboBox>(d, "alignment")->setCurrentIndex(2);
    d.accept();

    const ParagraphStyle& s = d.styleSheet().style(0);
    EXPECT_EQ(s.leftIndent(), 1417);
    EXPECT_EQ(s.rightIndent(), 113);
    EXPECT_EQ(s.spaceBefore(), -60);
    EXPECT_EQ(s.spaceAfter(), 6000);
    EXPECT_EQ(s.alignment(), 2);
}

TEST_F(StylesDialogTest, ArrowsStepFromTheShownValueNotFromTypedText) {
    StylesDialog d(StyleSheet{});
    auto* left = control<QAbstractSpinBox>(d, "leftIndent");
    left->stepBy(1);
    EXPECT_EQ(text(d, "leftIndent"), QStringLiteral("0.1 cm"));
    typeInto(d, "leftIndent", QStringLiteral("3.0 cm"));
    left->stepBy(1);  // continues from position 1, not from 3 cm
    EXPECT_EQ(text(d, "leftIndent"), QStringLiteral("0.2 cm"));
    left->stepBy(-5);  // held at the bottom of the range
    EXPECT_EQ(text(d, "leftIndent"), QStringLiteral("0.0 cm"));
    left->stepBy(1);
    d.accept();
    EXPECT_EQ(d.styleSheet().style(0).leftIndent(), 56);
}

TEST_F(StylesDialogTest, FontStyleFollowsEachStyleAndOnlyEditsChangeFlags) {
    StyleSheet sheet;
    sheet.style(1).setBold(true);
    sheet.style(1).setItalic(true);
    StylesDialog d(sheet);
    d.chooseStyle(1);
    EXPECT_EQ(text(d, "fontStyleEdit"), QStringLiteral("Bold Italic"));
    d.chooseStyle(0);
    EXPECT_EQ(text(d, "fontStyleEdit"), QStringLiteral("Regular"));
    d.chooseStyle(1);
    EXPECT_EQ(text(d, "fontStyleEdit"), QStringLiteral("Bold Italic"));
    d.chooseStyle(6);
    EXPECT_EQ(selected(d, "fontStyleList"), QStringLiteral("Bold"));

    // Picking "Italic" in the list writes the edit; typing selects the list.
    control<QListWidget>(d, "fontStyleList")->setCurrentRow(1);
    EXPECT_EQ(text(d, "fontStyleEdit"), QStringLiteral("Italic"));
    d.chooseStyle(5);
    control<QLineEdit>(d, "fontStyleEdit")->setText(QStringLiteral("bold italic"));
    EXPECT_EQ(selected(d, "fontStyleList"), QStringLiteral("Bold Italic"));
    d.chooseStyle(4);
    control<QLineEdit>(d, "fontStyleEdit")->setText(QStringLiteral("Heavy"));
    EXPECT_EQ(selected(d, "fontStyleList"), QString());
    d.accept();

    const StyleSheet& out = d.styleSheet();
    EXPECT_TRUE(out.style(1).bold() && out.style(1).italic());
    EXPECT_TRUE(!out.style(6).bold() && out.style(6).italic());
    EXPECT_TRUE(out.style(5).bold() && out.style(5).italic());
    EXPECT_TRUE(!out.style(4).bold() && !out.style(4).italic());  // no selection clears both
    EXPECT_FALSE(out.style(0).bold() || out.style(0).italic());
}

TEST_F(StylesDialogTest, SizeFieldAndListFollowEachOther) {
    StylesDialog d(StyleSheet{});
    EXPECT_EQ(selected(d, "sizeList"), QStringLiteral("12"));
    control<QLineEdit>(d, "sizeEdit")->setText(QStringLiteral("13"));
    EXPECT_EQ(selected(d, "sizeList"), QString());
    d.chooseStyle(1);
    EXPECT_EQ(text(d, "sizeEdit"), QStringLiteral("22"));
    control<QListWidget>(d, "sizeList")->setCurrentRow(5);
    EXPECT_EQ(text(d, "sizeEdit"), QStringLiteral("14"));
    d.chooseStyle(2);
    control<QLineEdit>(d, "sizeEdit")->setText(QStringLiteral("9x"));
    d.chooseStyle(3);
    control<QLineEdit>(d, "sizeEdit")->setText(QString());  // keeps the size
    d.chooseStyle(4);
    control<QLineEdit>(d, "sizeEdit")->setText(QStringLiteral("0"));  // keeps the size
    d.accept();

    const StyleSheet& out = d.styleSheet();
    EXPECT_EQ(out.style(0).size(), 13);
    EXPECT_EQ(out.style(1).size(), 14);
    EXPECT_EQ(out.style(2).size(), 9);
    EXPECT_EQ(out.style(3).size(), 18);
    EXPECT_EQ(out.style(4).size(), 16);
}

TEST_F(StylesDialogTest, FontNameComesFromTheListOrAsTyped) {
    const QString font = installedFont();
    ASSERT_FALSE(font.isEmpty()) << "the test needs one installed font";
    StylesDialog d(StyleSheet{});

    control<QLineEdit>(d, "fontEdit")->setText(font.toUpper());
    EXPECT_EQ(selected(d, "fontList"), font);
    EXPECT_EQ(text(d, "fontEdit"), font.toUpper());  // typing is not overwritten
    d.chooseStyle(1);
    control<QLineEdit>(d, "fontEdit")->setText(QStringLiteral(" Typed Face "));
    EXPECT_EQ(selected(d, "fontList"), QString());
    d.chooseStyle(2);
    control<QLineEdit>(d, "fontEdit")->clear();
    d.chooseStyle(3);
    const int row = control<QListWidget>(d, "fontList")->row(
        control<QListWidget>(d, "fontList")->findItems(font, Qt::MatchFixedString).front());
    control<QListWidget>(d, "fontList")->setCurrentRow(row);
    EXPECT_EQ(text(d, "fontEdit"), font);
    d.accept();

    const StyleSheet& out = d.styleSheet();
    EXPECT_EQ(QString::fromStdU16String(out.style(0).fontName()), font);
    EXPECT_EQ(out.style(1).fontName(), u"Typed Face");
    EXPECT_EQ(out.style(2).fontName(), u"Arial");  // an emptied field keeps the name
    EXPECT_EQ(QString::fromStdU16String(out.style(3).fontName()), font);
}

TEST_F(StylesDialogTest, CancelAndClosingWithoutOkKeepTheSheet) {
    StyleSheet sheet;
    StylesDialog d(sheet);
    typeInto(d, "leftIndent", QStringLiteral("4"));
    control<QLineEdit>(d, "sizeEdit")->setText(QStringLiteral("40"));
    d.chooseStyle(3);
    typeInto(d, "spaceAfter", QStringLiteral("12"));
    EXPECT_EQ(d.styleSheet(), sheet);  // nothing is given back before OK
    d.reject();
    EXPECT_EQ(d.result(), QDialog::Rejected);
    EXPECT_EQ(d.styleSheet(), sheet);
}

TEST_F(StylesDialogTest, EditsOfAStyleSurviveSwitchingAway) {
    StylesDialog d(StyleSheet{});
    d.chooseStyle(2);
    typeInto(d, "leftIndent", QStringLiteral("1"));
    control<QComboBox>(d, "alignment")->setCurrentIndex(1);
    control<QListWidget>(d, "styleList")->setCurrentRow(5);  // as a click would
    EXPECT_EQ(d.currentStyle(), 5);
    EXPECT_EQ(text(d, "leftIndent"), QStringLiteral("0.0 cm"));
    d.chooseStyle(2);
    EXPECT_EQ(text(d, "leftIndent"), QStringLiteral("1.0 cm"));
    EXPECT_EQ(control<QListWidget>(d, "styleList")->currentRow(), 2);
    d.chooseStyle(-1);  // ignored
    d.chooseStyle(7);   // ignored
    EXPECT_EQ(d.currentStyle(), 2);
    d.accept();
    EXPECT_EQ(d.styleSheet().style(2).leftIndent(), 567);
    EXPECT_EQ(d.styleSheet().style(2).alignment(), 1);
    EXPECT_EQ(d.styleSheet().style(5).leftIndent(), 0);
}

}  // namespace

namespace {

// The sample paragraph shows the style as the fields stand, before OK.
TEST_F(StylesDialogTest, PreviewFollowsEveryFieldBeforeOk) {
    const QString font = installedFont();
    ASSERT_FALSE(font.isEmpty()) << "the test needs one installed font";
    StyleSheet sheet;
    sheet.style(1).setSize(22);
    sheet.style(1).setBold(true);
    StylesDialog d(sheet);
    auto* preview = d.findChild<QTextEdit*>(QStringLiteral("stylePreview"));
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isReadOnly());
    auto charFormat = [&] {
        QTextCursor c(preview->document());
        c.setPosition(1);
        return c.charFormat();
    };
    auto blockFormat = [&] { return preview->document()->begin().blockFormat(); };
    ASSERT_FALSE(preview->toPlainText().isEmpty());
    EXPECT_DOUBLE_EQ(charFormat().fontPointSize(), 12);

    control<QLineEdit>(d, "sizeEdit")->setText(QStringLiteral("24"));
    EXPECT_DOUBLE_EQ(charFormat().fontPointSize(), 24);
    control<QListWidget>(d, "sizeList")->setCurrentRow(0);  // 8
    EXPECT_DOUBLE_EQ(charFormat().fontPointSize(), 8);

    const int row = control<QListWidget>(d, "fontList")->row(
        control<QListWidget>(d, "fontList")->findItems(font, Qt::MatchFixedString).front());
    control<QListWidget>(d, "fontList")->setCurrentRow(row);
    EXPECT_EQ(charFormat().fontFamilies().toStringList().value(0), font);
    control<QLineEdit>(d, "fontEdit")->setText(QStringLiteral("Typed Face"));
    EXPECT_EQ(charFormat().fontFamilies().toStringList().value(0), QStringLiteral("Typed Face"));

    control<QListWidget>(d, "fontStyleList")->setCurrentRow(3);
    EXPECT_EQ(charFormat().fontWeight(), QFont::Bold);
    EXPECT_TRUE(charFormat().fontItalic());
    control<QListWidget>(d, "fontStyleList")->setCurrentRow(0);
    EXPECT_NE(charFormat().fontWeight(), QFont::Bold);
    EXPECT_FALSE(charFormat().fontItalic());

    control<QComboBox>(d, "alignment")->setCurrentIndex(1);
    EXPECT_EQ(blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    control<QComboBox>(d, "alignment")->setCurrentIndex(2);
    EXPECT_EQ(blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);

    // Indents and spacing keep their size against the sample's font.
    typeInto(d, "leftIndent", QStringLiteral("2.0"));
    typeInto(d, "rightIndent", QStringLiteral("1.0"));
    typeInto(d, "spaceBefore", QStringLiteral("12"));
    EXPECT_NEAR(blockFormat().leftMargin(), 2 * blockFormat().rightMargin(), 1.0);
    EXPECT_GT(blockFormat().rightMargin(), 0);
    EXPECT_GT(blockFormat().topMargin(), 0);
    control<QAbstractSpinBox>(d, "rightIndent")->stepBy(1);  // 0.1 cm
    EXPECT_NEAR(blockFormat().leftMargin(), 20 * blockFormat().rightMargin(), 2.0);

    // Another style shows its own settings; nothing was given back.
    d.chooseStyle(1);
    EXPECT_DOUBLE_EQ(charFormat().fontPointSize(), 22);
    EXPECT_EQ(charFormat().fontWeight(), QFont::Bold);
    EXPECT_EQ(blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
    EXPECT_EQ(d.styleSheet(), sheet);
}

}  // namespace
