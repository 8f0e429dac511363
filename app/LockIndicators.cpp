#include "app/LockIndicators.h"

#include <QDir>
#include <QFile>

namespace quorvane {

namespace {
QString ledSuffix(LockKey key) {
    switch (key) {
        case LockKey::Caps:
            return QStringLiteral("::capslock");
        case LockKey::Num:
            return QStringLiteral("::numlock");
        case LockKey::Scroll:
            return QStringLiteral("::scrolllock");
    }
    return {};
}
}  // namespace

std::optional<bool> readLockLed(const QString& ledsFolder, LockKey key) {
    const QDir folder(ledsFolder);
    const QStringList leds = folder.entryList({QLatin1Char('*') + ledSuffix(key)},
                                              QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    std::optional<bool> state;
    for (const QString& led : leds) {
        QFile brightness(folder.filePath(led + QStringLiteral("/brightness")));
        if (!brightness.open(QIODevice::ReadOnly)) continue;
        bool ok = false;
        const int value = brightness.read(16).trimmed().toInt(&ok);
        if (!ok) continue;
        state = state.value_or(false) || value > 0;
    }
    return state;
}

QString LockIndicator::indicatorText(LockKey key) {
    switch (key) {
        case LockKey::Caps:
            return QStringLiteral("CAP");
        case LockKey::Num:
            return QStringLiteral("NUM");
        case LockKey::Scroll:
            return QStringLiteral("SCRL");
    }
    return {};
}

LockIndicator::LockIndicator(LockKey key, QWidget* parent, const QString& ledsFolder)
    : QLabel(parent), key_(key), folder_(ledsFolder) {
    // The same width whether lit or blank, so the panes do not jump.
    setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 8);
    setAlignment(Qt::AlignCenter);
    setObjectName(QString::number(59137 + int(key)));
    refresh();
    if (readLockLed(folder_, key_).has_value()) {
        connect(&poll_, &QTimer::timeout, this, &LockIndicator::refresh);
        poll_.start(500);
    }
}

void LockIndicator::refresh() {
    const bool on = readLockLed(folder_, key_).value_or(false);
    setText(on ? indicatorText(key_) : QString());
}

}  // namespace quorvane
