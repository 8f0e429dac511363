#pragma once
// Opening a group from the desktop while the program already runs: the new process hands the
// path to the running one, which opens (or activates) the group in its own window, and ends.
// One channel per user, a local socket in a folder only that user can write to, so no other
// account can put a socket of its own where our starts look for the running program.
#include <QLocalServer>
#include <QObject>
#include <QStringList>
#include <functional>

namespace quorvane {

class InstanceChannel : public QObject {
    Q_OBJECT
public:
    // The socket path: "quorvane" in $XDG_RUNTIME_DIR when that is a trusted folder, otherwise
    // in "quorvane-run-<uid>" under the temporary folder, made with mode 0700 when missing.
    // Empty when neither folder can be trusted; why, when asked, then says what was refused.
    static QString defaultName(QString* why = nullptr);
    // The folder is used only when it is a real folder (not a link) owned by this user and not
    // writable by anyone else. Creates it (mode 0700) when create is set and it is missing.
    static bool trustedFolder(const QString& folder, bool create, QString* why = nullptr);

    explicit InstanceChannel(const QString& name = defaultName(), QObject* parent = nullptr);

    // Hands the paths to a running program; false when none listens, when the name is empty,
    // when the program at the other end runs as another user (it then learns nothing), or when
    // it does not answer that it took them within the timeout.
    static bool forward(const QStringList& paths, const QString& name = defaultName(),
                        int timeoutMs = 1000);
    // Starts listening; a socket left by a program that ended is replaced, one that a running
    // program of this user still serves is left alone (false).
    bool listen();
    QString name() const { return name_; }
    // Whether this program takes requests now (its main window shows); one that does not
    // leaves them unanswered, and the start that sent them opens the group itself.
    void setReady(std::function<bool()> ready) { ready_ = std::move(ready); }

signals:
    void openRequested(const QString& path);

private:
    void accept();

    QString name_;
    QLocalServer server_;
    std::function<bool()> ready_;
};

}  // namespace quorvane
