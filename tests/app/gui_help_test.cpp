// F1 opens the help shipped with the program, and it covers what a new user
// asks first.
#include <QTextBrowser>

#include "app/FrameFixture.h"

namespace tavix::test {
namespace {

using HelpTest = FrameFixture;

TEST_F(HelpTest, F1OpensHelpCoveringTheEssentials) {
    MainFrame& f = openFrame();
    QTest::keyClick(&f.editor(), Qt::Key_F1);
    QCoreApplication::processEvents();
    auto* browser = f.findChild<QTextBrowser*>(QStringLiteral("HelpBrowser"));
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->isVisible());
    const QString text = browser->toPlainText();
    for (const char* topic : {"link word", "Heading 1", "regular expression", "Keywords",
                              "Ctrl+Shift+F", "F6", "tavix.props", "tavix-cli"})
        EXPECT_TRUE(text.contains(QString::fromLatin1(topic))) << topic;
    EXPECT_FALSE(f.operations().IsModified());

    // A second F1 shows the same window instead of another one.
    f.activateWindow();
    f.editor().setFocus();
    QTest::keyClick(&f.editor(), Qt::Key_F1);
    QCoreApplication::processEvents();
    EXPECT_EQ(f.findChildren<QTextBrowser*>(QStringLiteral("HelpBrowser")).size(), 1);
}

}  // namespace
}  // namespace tavix::test
