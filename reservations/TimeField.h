#pragma once
// A time of day typed as a person writes it ("2:30 PM", "2:30p", "14:30", "12:00 PM") and shown
// as "hh:mm AP". The box holds free text while it is typed in; the time changes only when the
// text is taken (Enter, leaving the box, or commit()), so a half-typed time never moves the
// automatic end time, and a selected box that is typed over gets exactly the time typed.
#include <QLineEdit>
#include <QTime>

namespace quorvane {

class TimeField : public QLineEdit {
    Q_OBJECT
public:
    explicit TimeField(QWidget* parent = nullptr);

    QTime time() const { return time_; }
    void setTime(const QTime& time);
    // Takes the text as typed: true (and the time set) when it is a time; false leaves the time
    // as it was and the text as typed, for the caller to say so.
    bool commit();
    // As wide as a time with room to spare, not a line of text: the box sits in a row of
    // labels and another time.
    QSize sizeHint() const override;

signals:
    void timeChanged(const QTime& time);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void display(const QTime& time);

    QTime time_{0, 0};
};

}  // namespace quorvane
