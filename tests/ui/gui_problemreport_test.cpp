#include "ui/ProblemReport.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextCursor>
#include <QUrl>

namespace tavix {
namespace {

TEST(ProblemReportDialogTest, ShowsTheGatheredReportSelected) {
    ProblemReportDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Problem Report"));
    auto* box = dialog.findChild<QPlainTextEdit*>(QStringLiteral("information"));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isReadOnly());

    const QString text = dialog.reportText();
    EXPECT_TRUE(text.startsWith(QStringLiteral("System Information\n"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QLatin1Char('\r')));
    const int modules = text.indexOf(QStringLiteral("\nModule Information\n"));
    ASSERT_GT(modules, 0);
    // Every module line is a name and a four-part version; the Qt libraries
    // carry the version Qt reports at run time.
    const QStringList lines = text.mid(modules + 20).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_FALSE(lines.isEmpty());
    static const QRegularExpression moduleLine(QStringLiteral("^.+ \\(\\d+\\.\\d+\\.\\d+\\.\\d+\\)$"));
    for (const QString& line : lines)
        EXPECT_TRUE(moduleLine.match(line).hasMatch()) << line.toStdString();
    const QRegularExpression qtCore(QStringLiteral("^libQt6Core\\.so[.0-9]* \\(%1\\.0\\)$")
                                        .arg(QRegularExpression::escape(QString::fromLatin1(qVersion()))));
    EXPECT_EQ(lines.filter(qtCore).size(), 1) << text.toStdString();

    // All of it is selected when the dialog opens.
    EXPECT_EQ(box->textCursor().selectionStart(), 0);
    EXPECT_EQ(box->textCursor().selectionEnd(), box->document()->characterCount() - 1);
}

TEST(ProblemReportDialogTest, GatheredReportUsesReportLineEnds) {
    const QString report = ProblemReportDialog::gatherReport();
    EXPECT_TRUE(report.startsWith(QStringLiteral("System Information\r\n")));
    EXPECT_TRUE(report.contains(QStringLiteral("\r\nModule Information\r\n")));
    EXPECT_FALSE(report.contains(QRegularExpression(QStringLiteral("[^\\r]\\n"))));
}

TEST(ProblemReportDialogTest, CopyInfoPutsExactlyTheBoxTextOnTheClipboard) {
    ProblemReportDialog dialog;
    auto* box = dialog.findChild<QPlainTextEdit*>(QStringLiteral("information"));
    ASSERT_NE(box, nullptr);
    box->moveCursor(QTextCursor::End);  // the user clicked somewhere: nothing selected
    QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
    auto* copy = dialog.findChild<QPushButton*>(QStringLiteral("copyInfo"));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->text(), QStringLiteral("&Copy Info"));
    copy->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), box->toPlainText());
    EXPECT_EQ(box->textCursor().selectedText().size(), box->toPlainText().size());
}

TEST(ProblemReportDialogTest, AddressLinkAndCloseButton) {
    ProblemReportDialog dialog;
    EXPECT_EQ(ProblemReportDialog::mailtoUrl(),
              QStringLiteral("mailto:") + ProblemReportDialog::supportAddress());
    auto* link = dialog.findChild<QLabel*>(QStringLiteral("addressLink"));
    ASSERT_NE(link, nullptr);
    EXPECT_TRUE(link->text().contains(QStringLiteral("href=\"") + ProblemReportDialog::mailtoUrl() + "\""));
    EXPECT_FALSE(link->openExternalLinks());

    auto* close = dialog.findChild<QPushButton*>(QStringLiteral("close"));
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), QStringLiteral("&Close"));
    EXPECT_TRUE(close->isDefault());
    dialog.show();
    close->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(ProblemReportDialogTest, NamesTheProgramsOwnVersionAndSpellsItsWords) {
    ProblemReportDialog dialog;
    const QString text = dialog.reportText();
    const int modules = text.indexOf(QStringLiteral("\nModule Information\n"));
    ASSERT_GT(modules, 0);
    // The program itself comes first, with the version it was built as.
    const QString program = text.mid(modules + 20).section(QLatin1Char('\n'), 0, 0);
    const QString version = ProblemReportDialog::programVersion();
    EXPECT_NE(version, QStringLiteral("0.0.0.0"));
    EXPECT_EQ(version.count(QLatin1Char('.')), 3) << version.toStdString();
    EXPECT_TRUE(program.endsWith(QStringLiteral(" (") + version + ")")) << program.toStdString();

    QStringList words;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        words << label->text();
    const QString all = words.join(QLatin1Char(' '));
    EXPECT_FALSE(all.contains(QStringLiteral("applcation")));
    EXPECT_TRUE(all.contains(QStringLiteral("improve this application.")));
}

// The address is the one Tavix was configured with (TAVIX_SUPPORT_ADDRESS),
// shown as the link's text and target, and never an address that reaches
// nobody.
TEST(ProblemReportDialogTest, ShowsTheSupportAddressTavixWasConfiguredWith) {
    const QString configured = QStringLiteral(TAVIX_SUPPORT_ADDRESS);
    const QString address = ProblemReportDialog::supportAddress();
    EXPECT_EQ(address.toStdString(), configured.toStdString());
    static const QRegularExpression reserved(
        QStringLiteral("\\.(example|invalid|test|localhost)$|@example\\.(com|net|org)$"));
    EXPECT_FALSE(reserved.match(address).hasMatch()) << address.toStdString();

    ProblemReportDialog dialog;
    auto* link = dialog.findChild<QLabel*>(QStringLiteral("addressLink"));
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->text().toStdString(),
              QStringLiteral("<a href=\"mailto:%1\">%1</a>").arg(configured).toStdString());
}

TEST(ProblemReportDialogTest, WithoutAMailProgramTheReportIsCopiedAndTheAddressShown) {
    ProblemReportDialog dialog;
    QStringList opened, messages;
    dialog.setUrlOpener([&](const QUrl& url) {
        opened << url.toString();
        return false;  // no mail handler on this desktop
    });
    dialog.setMessenger([&](const QString& message) { messages << message; });
    QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
    auto* link = dialog.findChild<QLabel*>(QStringLiteral("addressLink"));
    ASSERT_NE(link, nullptr);
    emit link->linkActivated(ProblemReportDialog::mailtoUrl());
    EXPECT_EQ(opened, QStringList{ProblemReportDialog::mailtoUrl()});
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(ProblemReportDialog::supportAddress()))
        << messages.first().toStdString();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), dialog.reportText());

    // With a mail program nothing else happens.
    messages.clear();
    dialog.setUrlOpener([](const QUrl&) { return true; });
    emit link->linkActivated(ProblemReportDialog::mailtoUrl());
    EXPECT_TRUE(messages.isEmpty());
}

}  // namespace
}  // namespace tavix
