#include "app/SingleInstance.h"

#include <unistd.h>

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

namespace tavix {

namespace {

constexpr char kRequest[] = "frame\n";

}  // namespace

QString instanceName(const std::u16string& notebookFolder) {
    const QByteArray folder = QString::fromStdU16String(notebookFolder).toUtf8();
    const QByteArray digest = QCryptographicHash::hash(folder, QCryptographicHash::Sha256).toHex().left(16);
    return QStringLiteral("tavix-%1-%2").arg(::getuid()).arg(QString::fromLatin1(digest));
}

bool handToRunningInstance(const QString& name, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kRequest);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // The answer comes once the window is made; a process that hangs
    // without answering is not trusted with this start.
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(timeoutMs))
            return false;
    return socket.readLine().startsWith("ok");
}

InstanceServer::InstanceServer(QObject* parent) : QObject(parent), server_(new QLocalServer(this)) {
    // Only this user may hand starts to this process.
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &InstanceServer::onConnection);
}

InstanceServer::~InstanceServer() { server_->close(); }

bool InstanceServer::listen(const QString& name) {
    if (server_->listen(name))
        return true;
    if (server_->serverError() != QAbstractSocket::AddressInUseError)
        return false;
    // The name is taken: by a live process (which then answers), or by the
    // socket file of one that died.
    QLocalSocket probe;
    probe.connectToServer(name);
    if (probe.waitForConnected(1000))
        return false;
    QLocalServer::removeServer(name);
    return server_->listen(name);
}

void InstanceServer::onConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            const QByteArray line = socket->readLine();
            if (line != kRequest) {
                socket->disconnectFromServer();
                return;
            }
            emit frameRequested();
            const int frames = counter_ ? counter_() : 0;
            socket->write(QByteArrayLiteral("ok ") + QByteArray::number(frames) + '\n');
            socket->flush();
            socket->disconnectFromServer();
        });
    }
}

}  // namespace tavix
