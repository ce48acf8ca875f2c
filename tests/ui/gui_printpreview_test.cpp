// Print preview, print setup and impossible margins, driven through the main
// window's commands as the user would use them. Every modal window that
// opens is answered by a watcher, so no test ever waits on a dialog, and
// every print goes to a PDF file in the test's own folder.
#include <fstream>
#include <functional>
#include <string>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QMarginsF>
#include <QMessageBox>
#include <QPageLayout>
#include <QPageSize>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QSet>
#include <QTimer>
#include <QToolButton>

#include "app/FrameFixture.h"
#include "support/PdfPages.h"
#include "ui/PagePrinter.h"

namespace tavix::test {
namespace {

// Calls `answer` once for each modal window that comes up while it lives.
// The answer must not block: whatever it does to the window it does later,
// through the event loop (see later()).
class ModalWatcher {
public:
    explicit ModalWatcher(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || seen_.contains(modal))
                return;
            seen_.insert(modal);
            answer_(modal);
        });
        timer_.start();
    }

private:
    std::function<void(QWidget*)> answer_;
    QSet<QWidget*> seen_;
    QTimer timer_;
};

void later(QWidget* w, std::function<void(QWidget*)> what) {
    QPointer<QWidget> guard(w);
    QTimer::singleShot(0, [guard, what = std::move(what)] {
        if (guard)
            what(guard);
    });
}

void rejectLater(QWidget* w) {
    later(w, [](QWidget* m) {
        if (auto* d = qobject_cast<QDialog*>(m))
            d->reject();
        else
            m->close();
    });
}

QToolButton* buttonWithText(QWidget* in, const QString& text) {
    for (QToolButton* b : in->findChildren<QToolButton*>())
        if (b->isVisible() && b->text().remove(u'&') == text)
            return b;
    return nullptr;
}

class PrintPreviewTest : public FrameFixture {
protected:
    // The window's printer writes a Letter PDF into the test's folder.
    PagePrinter& printerOf(MainFrame& f) {
        auto* p = f.findChild<PagePrinter*>();
        EXPECT_NE(p, nullptr);
        QPrinter& printer = p->printer();
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf()));
        printer.setPageSize(QPageSize(QPageSize::Letter));
        return *p;
    }
    std::string pdf() const { return tmp_.path() + "/out.pdf"; }
    // The one that shows; one just closed may wait to be deleted.
    static QWidget* previewPane(MainFrame& f) {
        const auto panes = f.findChildren<QWidget*>(QStringLiteral("PrintPreviewPane"));
        for (QWidget* pane : panes)
            if (pane->isVisible())
                return pane;
        return panes.value(0);
    }
    static bool previewShown(MainFrame& f) {
        QWidget* pane = previewPane(f);
        return pane && pane->isVisible();
    }
    static void fill(MainFrame& f, int paragraphs) {
        std::u16string text;
        for (int i = 0; i < paragraphs; ++i)
            text += u"Line of a long page number " + QString::number(i).toStdU16String() + u"\r";
        f.editor().SetPlainText(text);
    }
};

TEST_F(PrintPreviewTest, PreviewShowsInTheWindowWithLabelledButtons) {
    MainFrame& f = openFrame();
    printerOf(f);
    fill(f, 200);
    QStringList separateWindows;
    bool separateHadClose = false;
    ModalWatcher watcher([&](QWidget* modal) {
        separateWindows << QString::fromLatin1(modal->metaObject()->className());
        separateHadClose = separateHadClose || buttonWithText(modal, QStringLiteral("Close"));
        rejectLater(modal);
    });
    f.runCommand(cmd::PrintPreview);
    settle(f);

    EXPECT_TRUE(separateWindows.isEmpty()) << separateWindows.join(u' ').toStdString()
                                           << (separateHadClose ? " with" : " without")
                                           << " a Close button";
    QWidget* pane = previewPane(f);
    ASSERT_NE(pane, nullptr);
    EXPECT_TRUE(pane->isVisible());
    EXPECT_TRUE(f.centralWidget()->isAncestorOf(pane));
    EXPECT_FALSE(pane->isWindow());
    EXPECT_FALSE(f.editor().isVisible());
    EXPECT_TRUE(pane->isAncestorOf(QApplication::focusWidget()));
    for (const char* text : {"Print", "Previous Page", "Next Page", "Zoom In", "Zoom Out", "Close"})
        EXPECT_NE(buttonWithText(pane, QString::fromLatin1(text)), nullptr)
            << text << " in a pane " << pane->width() << " wide";
    ASSERT_NE(buttonWithText(pane, QStringLiteral("Close")), nullptr);

    // The Close button leaves it; Print Preview again shows it again.
    buttonWithText(pane, QStringLiteral("Close"))->click();
    settle(f);
    EXPECT_FALSE(previewShown(f));
    EXPECT_TRUE(f.editor().isVisible());
    f.runCommand(cmd::PrintPreview);
    settle(f);
    EXPECT_TRUE(previewShown(f));
}

TEST_F(PrintPreviewTest, EscapeGivesTheEditorBackItsFocusCaretAndScroll) {
    MainFrame& f = openFrame();
    printerOf(f);
    fill(f, 300);
    f.editor().setFocus();
    f.editor().setSelection(2000, 2000);
    f.editor().ensureCursorVisible();
    settle(f);
    const int scroll = f.editor().verticalScrollBar()->value();
    ASSERT_GT(scroll, 0);
    ModalWatcher watcher([](QWidget* modal) { rejectLater(modal); });

    f.runCommand(cmd::PrintPreview);
    settle(f);
    ASSERT_TRUE(previewShown(f));
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QTest::keyClick(focus, Qt::Key_Escape);
    settle(f);

    EXPECT_FALSE(previewShown(f));
    EXPECT_TRUE(f.editor().isVisible());
    EXPECT_TRUE(f.editor().hasFocus());
    EXPECT_EQ(f.editor().textCursor().position(), 2000);
    EXPECT_EQ(f.editor().verticalScrollBar()->value(), scroll);
}

TEST_F(PrintPreviewTest, PrintingFromThePreviewKeepsItOpen) {
    MainFrame& f = openFrame();
    printerOf(f);
    fill(f, 5);
    bool separate = false;
    bool printDialogShown = false;
    ModalWatcher watcher([&](QWidget* modal) {
        if (auto* preview = qobject_cast<QPrintPreviewDialog*>(modal)) {
            // A separate preview window: print from it as the user would.
            separate = true;
            later(preview, [](QWidget* m) {
                for (QAction* a : m->findChildren<QAction*>())
                    if (a->text().remove(u'&') == QStringLiteral("Print")) {
                        a->trigger();
                        return;
                    }
                static_cast<QDialog*>(m)->reject();
            });
            return;
        }
        if (auto* print = qobject_cast<QPrintDialog*>(modal)) {
            printDialogShown = true;
            // Accepted as it stands: the printer keeps its PDF output.
            later(print, [](QWidget* m) { static_cast<QDialog*>(m)->done(QDialog::Accepted); });
            return;
        }
        rejectLater(modal);
    });
    f.runCommand(cmd::PrintPreview);
    settle(f);
    EXPECT_FALSE(separate) << "the preview was a window of its own, and printing closed it";
    ASSERT_TRUE(previewShown(f));
    QToolButton* print = buttonWithText(previewPane(f), QStringLiteral("Print"));
    ASSERT_NE(print, nullptr);
    print->click();
    settle(f);

    EXPECT_TRUE(printDialogShown);
    EXPECT_EQ(pdfPageCount(pdf()), 1);
    EXPECT_TRUE(previewShown(f));
    EXPECT_FALSE(f.editor().isVisible());
}

TEST_F(PrintPreviewTest, LeavingThePageOrEditingLeavesThePreview) {
    MainFrame& f = openFrame();
    printerOf(f);
    ModalWatcher watcher([](QWidget* modal) { rejectLater(modal); });
    f.OpenFoundPage(FoundPage{u"ShoppingList", u""});
    settle(f);
    ASSERT_EQ(pageName(f), QStringLiteral("ShoppingList"));

    // Back (a command) and a link or a found page (no command) alike.
    f.runCommand(cmd::PrintPreview);
    settle(f);
    ASSERT_TRUE(previewShown(f));
    f.runCommand(cmd::Back);
    settle(f);
    EXPECT_EQ(pageName(f), QStringLiteral("FrontPage"));
    EXPECT_FALSE(previewShown(f));
    EXPECT_TRUE(f.editor().isVisible());

    f.runCommand(cmd::PrintPreview);
    settle(f);
    ASSERT_TRUE(previewShown(f));
    f.OpenFoundPage(FoundPage{u"ShoppingList", u""});
    settle(f);
    EXPECT_FALSE(previewShown(f));

    // An editing command acts on the page, which is shown again first.
    f.runCommand(cmd::PrintPreview);
    settle(f);
    ASSERT_TRUE(previewShown(f));
    f.editor().SelectAllText();
    f.runCommand(cmd::Bold);
    settle(f);
    EXPECT_FALSE(previewShown(f));
    EXPECT_TRUE(f.editor().SelectionEffects() & PageEditor::Bold);

    // Commands that do not touch the page keep it.
    f.runCommand(cmd::PrintPreview);
    settle(f);
    f.runCommand(cmd::StatusBar);
    f.runCommand(cmd::StatusBar);
    settle(f);
    EXPECT_TRUE(previewShown(f));
}

TEST_F(PrintPreviewTest, PrintSetupIsTitledAsItsMenuItem) {
    MainFrame& f = openFrame();
    printerOf(f);
    QStringList titles;
    ModalWatcher watcher([&](QWidget* modal) {
        titles << modal->windowTitle();
        rejectLater(modal);
    });
    f.runCommand(cmd::PrintSetup);
    settle(f);
    EXPECT_EQ(titles.join(u'|').toStdString(), "Print Setup");
}

// Margins that leave no room are refused by name, never with the bare
// "Print operation failed", and never kept.
TEST_F(PrintPreviewTest, MarginsThatLeaveNoRoomAreRefusedByName) {
    MainFrame& f = openFrame();
    PagePrinter& printer = printerOf(f);
    fill(f, 3);
    QStringList messages;
    ModalWatcher watcher([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            messages << box->text();
        rejectLater(modal);
    });

    printer.setMargins(PrintMargins{4500, 1000, 4500, 1000});  // 9 inches across 8.5
    f.runCommand(cmd::Print);
    settle(f);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_FALSE(messages[0].contains(QStringLiteral("Print operation failed"))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("left and right margins"))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("21.6 cm wide page"))) << messages[0].toStdString();

    messages.clear();
    printer.setMargins(PrintMargins{1000, 6000, 1000, 6000});  // 12 inches down 11
    f.runCommand(cmd::PrintPreview);
    settle(f);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("top and bottom margins"))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(QStringLiteral("27.9 cm high page"))) << messages[0].toStdString();
    EXPECT_FALSE(previewShown(f));
    EXPECT_FALSE(std::ifstream(pdf()).good());
}

TEST_F(PrintPreviewTest, PrintSetupRefusesMarginsThatLeaveNoRoom) {
    MainFrame& f = openFrame();
    PagePrinter& printer = printerOf(f);
    const PrintMargins before = printer.margins();
    QStringList messages;
    bool setupShown = false;
    ModalWatcher watcher([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages << box->text();
            rejectLater(modal);
            return;
        }
        auto* left = modal->findChild<QDoubleSpinBox*>(QStringLiteral("leftMargin"));
        auto* right = modal->findChild<QDoubleSpinBox*>(QStringLiteral("rightMargin"));
        auto* width = modal->findChild<QDoubleSpinBox*>(QStringLiteral("pageWidth"));
        if (!left || !right || !width) {
            rejectLater(modal);
            return;
        }
        setupShown = true;
        // As the user would type them, in the dialog's own unit.
        left->setValue(width->value() * 0.6);
        right->setValue(width->value() * 0.6);
        later(modal, [](QWidget* m) { static_cast<QDialog*>(m)->accept(); });
    });
    f.runCommand(cmd::PrintSetup);
    settle(f);
    ASSERT_TRUE(setupShown);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("left and right margins"))) << messages[0].toStdString();
    EXPECT_EQ(printer.margins(), before);
    const QMarginsF kept = printer.printer().pageLayout().margins(QPageLayout::Inch);
    EXPECT_NEAR(kept.left(), before.left / 1000.0, 0.01);
    EXPECT_NEAR(kept.right(), before.right / 1000.0, 0.01);
}

}  // namespace
}  // namespace tavix::test
