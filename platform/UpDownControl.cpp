#include "platform/UpDownControl.h"

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace quorvane {

UpDownControl::UpDownControl(QWidget* parent, QSize arrow) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (int delta : {1, -1}) {
        auto* button = new QToolButton(this);
        button->setArrowType(delta > 0 ? Qt::UpArrow : Qt::DownArrow);
        button->setObjectName(delta > 0 ? QStringLiteral("up") : QStringLiteral("down"));
        button->setAutoRepeat(true);
        button->setFixedSize(arrow);
        connect(button, &QToolButton::clicked, this, [this, delta] { step(delta); });
        layout->addWidget(button);
    }
}

void UpDownControl::setRange(int low, int high) {
    low_ = low;
    high_ = high;
    value_ = std::clamp(value_, low_, high_);
}

void UpDownControl::setPosition(int value) {
    value_ = std::clamp(value, low_, high_);
}

void UpDownControl::step(int delta) {
    if (buddy_) {
        bool ok = false;
        const int typed = buddy_->text().trimmed().toInt(&ok);
        value_ = ok ? typed : low_;
    }
    const int next = std::clamp(value_ + delta, low_, high_);
    if (buddy_) buddy_->setText(QString::number(next));
    if (next == value_) return;
    value_ = next;
    emit moved(value_);
}

}  // namespace quorvane
