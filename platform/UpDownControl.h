#pragma once
// The one up-down control: two arrows that step an integer within its range. With a buddy
// edit, each step starts from the number the edit holds (its minimum when it holds none) and
// writes the result back into it; without one, the control keeps the value and its owner
// shows it.
#include <QSize>
#include <QWidget>

class QLineEdit;

namespace quorvane {

class UpDownControl final : public QWidget {
    Q_OBJECT
public:
    explicit UpDownControl(QWidget* parent = nullptr, QSize arrow = QSize(16, 11));
    void setBuddy(QLineEdit* buddy) { buddy_ = buddy; }
    void setRange(int low, int high);
    void setPosition(int value);
    int position() const { return value_; }
    void step(int delta);  // what a click on an arrow does

signals:
    void moved(int value);

private:
    QLineEdit* buddy_ = nullptr;
    int low_ = 0, high_ = 100, value_ = 0;
};

}  // namespace quorvane
