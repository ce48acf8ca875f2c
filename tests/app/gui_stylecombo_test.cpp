// The paragraph-style box restyles the paragraph at the caret only when the
// user picks a style: turning the wheel over it or dropping text on it
// changes nothing in the page.
#include <QComboBox>
#include <QLineEdit>
#include <QWheelEvent>

#include "app/FrameFixture.h"

namespace tavix::test {
namespace {

using StyleComboTest = FrameFixture;

TEST_F(StyleComboTest, WheelOverTheBoxLeavesThePageAlone) {
    MainFrame& f = openFrame();
    PageEditor& e = f.editor();
    e.SetPlainText(u"one\rtwo\rthree");
    e.setFocus();
    e.setSelection(5, 5);  // in "two", a Normal paragraph
    settle(f);
    QComboBox* combo = f.styleCombo();
    ASSERT_EQ(combo->currentIndex(), 0);
    const std::u16string before = e.GetRtf();

    // Over the box and over its text part, both ways, several notches.
    for (QWidget* target : {static_cast<QWidget*>(combo), static_cast<QWidget*>(combo->lineEdit())}) {
        for (int delta : {-120, -120, -360, 120, 240}) {
            const QPointF at(target->width() / 2.0, target->height() / 2.0);
            QWheelEvent wheel(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(target, &wheel);
            settle(f);
        }
    }
    EXPECT_EQ(e.GetRtf(), before);
    EXPECT_EQ(e.paragraphStyleAt(5), 0);
    EXPECT_FALSE(e.IsModified());
    EXPECT_FALSE(e.document()->isUndoAvailable());
    EXPECT_FALSE(f.operations().IsModified());
    EXPECT_EQ(combo->currentIndex(), 0);

    // A choice from the list still applies the style.
    e.setSelection(5, 5);
    emit combo->activated(3);
    EXPECT_EQ(e.paragraphStyleAt(5), 3);
}

TEST_F(StyleComboTest, TheBoxTakesNoDroppedText) {
    // The platform hands a drop to the widget under the mouse that accepts
    // drops: neither the box nor its text part does.
    MainFrame& f = openFrame();
    QComboBox* combo = f.styleCombo();
    EXPECT_FALSE(combo->acceptDrops());
    ASSERT_NE(combo->lineEdit(), nullptr);
    EXPECT_FALSE(combo->lineEdit()->acceptDrops());
}

}  // namespace
}  // namespace tavix::test
