#include "reservations/TimeField.h"

#include <QKeyEvent>
#include <QTimer>

#include "platform/DialogButtons.h"
#include "platform/Prompter.h"
#include "platform/TextCodec.h"
#include "reservations/core/BookingCore.h"

namespace quorvane {

TimeField::TimeField(QWidget* parent) : QLineEdit(parent) {
    setMaxLength(12);
    display(time_);
    // Leaving the box takes the time; a text that is no time is said so, and the box shows the
    // time it keeps.
    connect(this, &QLineEdit::editingFinished, this, [this] {
        if (commit()) return;
        const Message m = timeEntryMessage(toCp1252(text()));
        display(time_);
        showMessage(m);
    });
}

QSize TimeField::sizeHint() const {
    const QSize line = QLineEdit::sizeHint();
    return {fontMetrics().horizontalAdvance(QStringLiteral("00:00 AM")) + 36, line.height()};
}

void TimeField::display(const QTime& time) {
    setText(time.toString(QStringLiteral("hh:mm AP")));
}

void TimeField::setTime(const QTime& time) {
    const bool changed = time != time_;
    time_ = time;
    display(time);
    if (changed) emit timeChanged(time_);
}

bool TimeField::commit() {
    const std::optional<int> minutes = parseTypedTime(toCp1252(text()));
    if (!minutes) return false;
    setTime(QTime(*minutes / 60, *minutes % 60));
    return true;
}

void TimeField::keyPressEvent(QKeyEvent* event) {
    // Up and Down step a minute, Page Up and Page Down a quarter of an hour, within the day.
    int step = 0;
    switch (event->key()) {
        case Qt::Key_Up:
            step = 1;
            break;
        case Qt::Key_Down:
            step = -1;
            break;
        case Qt::Key_PageUp:
            step = 15;
            break;
        case Qt::Key_PageDown:
            step = -15;
            break;
        default:
            break;
    }
    if (step != 0) {
        if (!commit()) display(time_);
        const int minutes = time_.hour() * 60 + time_.minute() + step;
        if (minutes >= 0 && minutes < 24 * 60) setTime(QTime(minutes / 60, minutes % 60));
        selectAll();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TimeField::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    // Typing into the box replaces the whole time, however the focus came (a click too).
    QTimer::singleShot(0, this, [this] {
        if (hasFocus()) selectAll();
    });
}

}  // namespace quorvane
