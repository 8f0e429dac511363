// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the event loop, so that a session
// logout or `kill` ends the program the way File > Exit does (groups closed, tables packed
// and unlocked, the recent-file list written) instead of dropping everything.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace quorvane {

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Only one instance may exist at a time; it installs the handlers and restores the
    // previous ones when destroyed.
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // Whether the handlers are installed (false when the self-pipe could not be made).
    bool active() const { return notifier_ != nullptr; }

signals:
    // Delivered on the thread that created the object, once per received signal.
    void terminationRequested(int signalNumber);

private:
    void drain();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace quorvane
