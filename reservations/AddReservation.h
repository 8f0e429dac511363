#pragma once
// Make Reservation (dialog 134): books one facility for a customer or a maintenance item, once
// or as a daily, weekday or weekly series. Built the way every dialog is: ReservationForm holds
// what it edits and its rules are free functions on it (checkSelection, reservedFor,
// bookingRequest, readReservedFor, all Qt-free in reservations/core/BookingCore.h); the booking
// itself is bookReservation(). This class maps the controls to and from the form, fills the
// two lists, takes the detour to a new customer and shows the messages.
#include <QDate>
#include <QDialog>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reservations/core/BookingCore.h"

class QDateEdit;
class QLineEdit;
class QListView;
class QPushButton;
class QRadioButton;

namespace quorvane {

class CZUKRecDoc;
class LineListModel;
class TimeField;

class CAddReservation : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 134;
    static constexpr int kDate = 1033, kStart = 1021, kEnd = 1022, kNotes = 1029, kCustomers = 1019,
                         kMaintenance = 1163, kNo = 1159, kEveryDay = 1158, kEveryWeekday = 1161,
                         kEveryWeek = 1160, kThrough = 1162, kHelp = 1085,
                         kCheckAvailability = 1201;
    static constexpr int kMaxNotes = 80;

    // `openerDay` is the list dialog's day: the booking loop reloads it for every day it
    // checks. `defaultTime` is the facility's default reservation length in minutes.
    CAddReservation(CZUKRecDoc& doc, const std::string& facility, const DayDate& date,
                    std::uint32_t defaultTime, FacilityDay& openerDay, QWidget* parent = nullptr);

    // The first day booked (the date picker's value at OK).
    DayDate date() const { return date_; }
    bool endEdited() const { return endEdited_; }

    // The controls as a form and back. setForm selects the customer line before the item line,
    // so with both set the item stays selected, as the selection rule reads it.
    ReservationForm form() const;
    void setForm(const ReservationForm& form);

    void fillCustomers();
    void fillMaintenance();
    // The OK steps; true when the dialog closed.
    bool onOk();
    // Runs the check over every day of the series without writing anything and lists the
    // days that would be refused, or says that all are free.
    void checkAvailability();

public slots:
    void accept() override;
    void reject() override;

private:
    void setKind(int kind);
    void startChanged();
    // Takes the times as typed, the end first (a typed end is the person's, and the start's
    // automatic end must not replace it); false, with the message shown, for one that is no time.
    bool commitTimes();

    CZUKRecDoc& doc_;
    std::string facility_;
    DayDate date_;
    std::uint32_t defaultTime_;
    FacilityDay& openerDay_;
    int kind_ = kSingle;
    bool endEdited_ = false;
    bool settingEnd_ = false;
    long preselect_ = 0;
    ReservationLists records_;

    QDateEdit* datePicker_;
    TimeField* start_;
    TimeField* end_;
    QLineEdit* notes_;
    QListView* customers_;
    QListView* maintenance_;
    LineListModel* customerModel_;
    LineListModel* maintenanceModel_;
    QRadioButton* kindButtons_[4];
    QDateEdit* through_;
};

// A QDate and a calendar date; Qt's and ours count alike.
DayDate dayDateOf(const QDate& date);
QDate qDateOf(const DayDate& date);

}  // namespace quorvane
