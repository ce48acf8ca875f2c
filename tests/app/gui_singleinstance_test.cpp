// Two starts of the real program on one notebook: the second hands itself to
// the first, which opens one more window, and exits 0.
#include <gtest/gtest.h>

#include <QLocalSocket>
#include <QTest>
#include <QProcess>
#include <QProcessEnvironment>

#include "app/SingleInstance.h"
#include "support/TempDir.h"

namespace tavix::test {
namespace {

// What a start sees: the answer to "frame" from the running process.
QByteArray askForFrame(const QString& name) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(200))
        return {};
    socket.write("frame\n");
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(5000))
            return {};
    return socket.readLine().trimmed();
}

TEST(SingleInstance, ASecondStartOpensAWindowInTheFirstAndExitsZero) {
    TempDir tmp;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(tmp.path() + "/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString(tmp.path() + "/data"));
    const QString name = instanceName(
        QString::fromStdString(tmp.path() + "/data/Halvorix/Tavix/Notebooks/Default").toStdU16String());

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(TAVIX_PROGRAM), {});
    ASSERT_TRUE(first.waitForStarted(10000));
    // The first process listens once its window is up.
    QLocalSocket probe;
    for (int i = 0; i < 200; ++i) {
        probe.connectToServer(name);
        if (probe.waitForConnected(50))
            break;
        QTest::qWait(50);
    }
    ASSERT_EQ(probe.state(), QLocalSocket::ConnectedState);
    probe.disconnectFromServer();

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(QStringLiteral(TAVIX_PROGRAM), {});
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().contains("already running"));
    // The first now has two windows; one more request makes three.
    EXPECT_EQ(askForFrame(name), QByteArray("ok 3"));

    first.terminate();  // SIGTERM: every window closes, nothing to save
    ASSERT_TRUE(first.waitForFinished(15000));
    EXPECT_EQ(first.exitCode(), 0);
    // Gone, the name answers no more and a new start would run on its own.
    EXPECT_TRUE(askForFrame(name).isEmpty());
}

}  // namespace
}  // namespace tavix::test
