#include "reports/UtilizationDlg.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/ZUKRecDoc.h"
#include "platform/DialogButtons.h"

namespace quorvane {

CUtilizationDlg::CUtilizationDlg(CZUKRecDoc& doc, std::int64_t defaultStart, int defaultHour,
                                 QWidget* parent)
    : QDialog(parent), doc_(doc), range_(this, new QVBoxLayout(this), defaultStart) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle(QStringLiteral("Utilization Report Options"));
    auto* layout = static_cast<QVBoxLayout*>(this->layout());

    useWindow_ = new QCheckBox(QStringLiteral("Calculate Utilization Between"), this);
    useWindow_->setObjectName(QString::number(kUseWindow));
    layout->addWidget(useWindow_);
    auto hourEdit = [this](int id) {
        auto* edit = new QDateTimeEdit(this);
        edit->setObjectName(QString::number(id));
        edit->setDisplayFormat(QStringLiteral("hh AP"));
        return edit;
    };
    startHour_ = hourEdit(kStartHour);
    endHour_ = hourEdit(kEndHour);
    startHourLabel_ = label(this, kStartHourLabel, QStringLiteral("Starting Hour"));
    endHourLabel_ = label(this, kEndHourLabel, QStringLiteral("Ending Hour"));
    auto* hours = new QHBoxLayout;
    hours->addWidget(startHourLabel_);
    hours->addWidget(startHour_);
    hours->addWidget(endHourLabel_);
    hours->addWidget(endHour_);
    layout->addLayout(hours);

    layout->addWidget(new QLabel(QStringLiteral("Facilities"), this));
    facilities_ = selectionList(this, kFacilities, facilityRows(doc), true);
    layout->addWidget(facilities_);
    const DialogButtons buttons = addDialogButtons(this, layout, kDialogId, kHelp, false);
    connect(buttons.ok, &QPushButton::clicked, this, &CUtilizationDlg::accept);

    const int h = ((defaultHour % 24) + 24) % 24;
    setHours(h, (h + 12) % 24);
    connect(useWindow_, &QCheckBox::toggled, this, &CUtilizationDlg::enableHours);
    enableHours();
}

void CUtilizationDlg::enableHours() {
    const bool on = useWindow_->isChecked();
    for (QWidget* w :
         {static_cast<QWidget*>(startHour_), static_cast<QWidget*>(endHour_),
          static_cast<QWidget*>(startHourLabel_), static_cast<QWidget*>(endHourLabel_)})
        w->setEnabled(on);
}

void CUtilizationDlg::setHours(int startHour, int endHour) {
    // Both controls carry 1 January 1999, so comparing their values compares the hours.
    const QDate carrier(1999, 1, 1);
    startHour_->setDateTime(QDateTime(carrier, QTime(startHour, 0)));
    endHour_->setDateTime(QDateTime(carrier, QTime(endHour, 0)));
}

void CUtilizationDlg::setRange(std::int64_t start, std::int64_t end) {
    range_.setRange(start, end);
}

void CUtilizationDlg::setUseWindow(bool on) {
    useWindow_->setChecked(on);
}

void CUtilizationDlg::selectFacilities(const std::vector<int>& rows) {
    selectRows(facilities_, rows);
}

UtilizationOptions CUtilizationDlg::options() const {
    UtilizationOptions o;
    o.start = range_.start();
    o.end = range_.end();
    o.useHourWindow = useWindow_->isChecked();
    o.startHour = startHour_->time().hour();
    o.endHour = endHour_->time().hour();
    o.facilities = selectedRows(facilities_);
    return o;
}

bool CUtilizationDlg::validate() {
    const UtilizationOptions o = options();
    if (const auto refusal = checkUtilizationOptions(o)) {
        showMessage(*refusal);
        return false;
    }
    return true;
}

void CUtilizationDlg::accept() {
    if (validate()) QDialog::accept();
}

}  // namespace quorvane
