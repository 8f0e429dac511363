#pragma once
// The status bar's caps-lock, num-lock and scroll-lock indicators. Qt does not report lock
// states, so they are read from the keyboard LEDs the kernel exposes under /sys/class/leds;
// where there are none (a remote display, a virtual server) an indicator stays blank.
#include <QLabel>
#include <QTimer>
#include <optional>

namespace quorvane {

enum class LockKey { Caps, Num, Scroll };

// The lock's LED state from a folder laid out like /sys/class/leds ("input3::capslock/
// brightness"): on when any keyboard's LED is lit, nothing when no keyboard shows that LED.
std::optional<bool> readLockLed(const QString& ledsFolder, LockKey key);

class LockIndicator : public QLabel {
    Q_OBJECT
public:
    // The indicator texts "CAP", "NUM", "SCRL" are shown while the lock is on.
    LockIndicator(LockKey key, QWidget* parent = nullptr,
                  const QString& ledsFolder = QStringLiteral("/sys/class/leds"));
    static QString indicatorText(LockKey key);
    void refresh();

private:
    LockKey key_;
    QString folder_;
    QTimer poll_;
};

}  // namespace quorvane
