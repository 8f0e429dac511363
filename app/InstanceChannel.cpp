#include "app/InstanceChannel.h"

#include <unistd.h>

#include <QFileInfo>
#include <QLocalSocket>
#include <memory>

namespace quorvane {

namespace {
// One path per line; a path with a newline in it cannot be named on a command line anyway.
constexpr qint64 kMaxMessage = 64 * 1024;
}  // namespace

InstanceChannel::InstanceChannel(const QString& name, QObject* parent)
    : QObject(parent), name_(name) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &InstanceChannel::accept);
}

QString InstanceChannel::defaultName() {
    return QStringLiteral("quorvane-%1").arg(::getuid());
}

bool InstanceChannel::forward(const QStringList& paths, const QString& name, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) return false;
    QByteArray message;
    for (const QString& path : paths) message += QFileInfo(path).absoluteFilePath().toUtf8() + '\n';
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(timeoutMs);
    return true;
}

bool InstanceChannel::listen() {
    if (server_.listen(name_)) return true;
    // Nobody answered on the name (forward failed before we got here): a stale socket file.
    QLocalServer::removeServer(name_);
    return server_.listen(name_);
}

void InstanceChannel::accept() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, this, [socket, buffer] {
            *buffer += socket->readAll();
            if (buffer->size() > kMaxMessage) socket->abort();
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            socket->deleteLater();
            if (buffer->size() > kMaxMessage) return;
            for (const QByteArray& line : buffer->split('\n'))
                if (!line.isEmpty()) emit openRequested(QString::fromUtf8(line));
        });
    }
}

}  // namespace quorvane
