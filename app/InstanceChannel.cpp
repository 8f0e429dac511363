#include "app/InstanceChannel.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <memory>

namespace quorvane {

namespace {
// One path per line; a path with a newline in it cannot be named on a command line anyway.
constexpr qint64 kMaxMessage = 64 * 1024;
// A request ends with an empty line; the program that takes it over answers "ok".
constexpr char kEndOfRequest[] = "\n";
constexpr char kAccepted[] = "ok\n";

// Whether the process at the other end of a connected local socket runs as this user. The
// kernel records the listener's credentials, so a socket another account made cannot pass.
bool peerIsThisUser(qintptr descriptor) {
    ucred cred{};
    socklen_t size = sizeof cred;
    if (::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &cred, &size) != 0)
        return false;
    return size == sizeof cred && cred.uid == ::geteuid();
}

void tell(QString* why, const QString& text) {
    if (why) *why = text;
}
}  // namespace

InstanceChannel::InstanceChannel(const QString& name, QObject* parent)
    : QObject(parent), name_(name) {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&server_, &QLocalServer::newConnection, this, &InstanceChannel::accept);
}

bool InstanceChannel::trustedFolder(const QString& folder, bool create, QString* why) {
    const QByteArray path = QFile::encodeName(folder);
    if (create && ::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        tell(why, folder + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // lstat, not stat: a link another user planted could point anywhere.
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0) {
        tell(why, folder + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        tell(why, folder + QStringLiteral(" is not a folder"));
        return false;
    }
    if (st.st_uid != ::geteuid()) {
        tell(why, folder + QStringLiteral(" belongs to another user"));
        return false;
    }
    if (st.st_mode & (S_IWGRP | S_IWOTH)) {
        tell(why, folder + QStringLiteral(" can be written by other users"));
        return false;
    }
    return true;
}

QString InstanceChannel::defaultName(QString* why) {
    QString runtimeRefusal;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) &&
        trustedFolder(runtime, false, &runtimeRefusal))
        return runtime + QStringLiteral("/quorvane");
    // Without a runtime folder: our own folder beside everyone else's temporary files. Its
    // name is fixed so every start finds it; whoever makes it first owns it, so one another
    // user made is refused rather than used.
    const QString own = QDir::tempPath() + QStringLiteral("/quorvane-run-%1").arg(::geteuid());
    QString ownRefusal;
    if (trustedFolder(own, true, &ownRefusal)) return own + QStringLiteral("/quorvane");
    tell(why, runtimeRefusal.isEmpty() ? ownRefusal
                                       : runtimeRefusal + QStringLiteral("; ") + ownRefusal);
    return {};
}

bool InstanceChannel::forward(const QStringList& paths, const QString& name, int timeoutMs) {
    if (name.isEmpty()) return false;
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs)) return false;
    // Nothing, not even the path, goes to a program of another user.
    if (!peerIsThisUser(socket.socketDescriptor())) {
        socket.abort();
        return false;
    }
    QByteArray message;
    for (const QString& path : paths) message += QFileInfo(path).absoluteFilePath().toUtf8() + '\n';
    message += kEndOfRequest;
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs)) return false;
    // The group is handed over only when the program answers: one that no longer shows a
    // window, or hangs, leaves this start to open the group itself.
    QByteArray reply;
    while (!reply.contains('\n') && socket.waitForReadyRead(timeoutMs)) reply += socket.readAll();
    socket.abort();
    return reply.startsWith(kAccepted);
}

bool InstanceChannel::listen() {
    if (name_.isEmpty()) return false;
    // A program of ours that still runs (started without a group, so it never offered one)
    // keeps its channel: listening would put our socket in its place.
    {
        QLocalSocket probe;
        probe.connectToServer(name_);
        if (probe.waitForConnected(500) && peerIsThisUser(probe.socketDescriptor())) return false;
    }
    if (server_.listen(name_)) return true;
    // Anything else at the name is a file left by a program that was killed, or a socket we
    // will not talk to, and is replaced.
    QLocalServer::removeServer(name_);
    return server_.listen(name_);
}

void InstanceChannel::accept() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        auto done = std::make_shared<bool>(false);
        // The paths of a request, once: when its empty last line arrives (answered "ok", so
        // the start that sent it ends), or at the disconnect of a start that sends no end.
        auto take = [this, socket, buffer, done](bool answer) {
            if (*done || buffer->size() > kMaxMessage) return;
            if (ready_ && !ready_()) {
                *done = true;
                socket->abort();
                return;
            }
            *done = true;
            QStringList paths;
            for (const QByteArray& line : buffer->split('\n'))
                if (!line.isEmpty()) paths << QString::fromUtf8(line);
            if (answer) {
                socket->write(kAccepted);
                socket->flush();
            }
            // Opened after the answer: opening may show a message box, and the start waits.
            QTimer::singleShot(0, this, [this, paths] {
                for (const QString& path : paths) emit openRequested(path);
            });
        };
        connect(socket, &QLocalSocket::readyRead, this, [socket, buffer, take] {
            *buffer += socket->readAll();
            if (buffer->size() > kMaxMessage) return socket->abort();
            if (buffer->endsWith("\n\n") || *buffer == "\n") take(true);
        });
        connect(socket, &QLocalSocket::disconnected, this, [socket, buffer, take] {
            *buffer += socket->readAll();
            socket->deleteLater();
            take(false);
        });
    }
}

}  // namespace quorvane
