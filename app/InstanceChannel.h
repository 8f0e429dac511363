#pragma once
// Opening a group from the desktop while the program already runs: the new process hands the
// path to the running one, which opens (or activates) the group in its own window, and ends.
// One channel per user, a local socket named after the user id.
#include <QLocalServer>
#include <QObject>
#include <QStringList>

namespace quorvane {

class InstanceChannel : public QObject {
    Q_OBJECT
public:
    explicit InstanceChannel(const QString& name = defaultName(), QObject* parent = nullptr);

    static QString defaultName();
    // Hands the paths to a running program; false when none listens.
    static bool forward(const QStringList& paths, const QString& name = defaultName(),
                        int timeoutMs = 1000);
    // Starts listening; a socket left by a program that ended is replaced.
    bool listen();
    QString name() const { return name_; }

signals:
    void openRequested(const QString& path);

private:
    void accept();

    QString name_;
    QLocalServer server_;
};

}  // namespace quorvane
