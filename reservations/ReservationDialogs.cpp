#include "reservations/ReservationDialogs.h"

#include <QDialog>

#include "platform/DialogSeam.h"
#include "reservations/AddPersonDlg.h"
#include "reservations/AddReservation.h"
#include "reservations/RoomInfoDlg.h"
#include "reservations/ShowReservation.h"
#include "tables/People.h"

namespace quorvane {

std::optional<DayDate> ReservationDialogs::makeReservation(
    CZUKRecDoc& doc, const std::string& facility, const DayDate& date, std::uint32_t defaultTime,
    FacilityDay& openerDay, QWidget* parent) {
    CAddReservation dialog(doc, facility, date, defaultTime, openerDay, parent);
    if (run(dialog) != QDialog::Accepted) return std::nullopt;
    return dialog.date();
}

bool ReservationDialogs::facilityDay(CZUKRecDoc& doc, int slot, std::uint32_t defaultTime,
                                     const DayDate& date, QWidget* parent) {
    CRoomInfoDlg dialog(doc, slot, defaultTime, date, parent);
    run(dialog);
    return dialog.changed();
}

std::optional<long> ReservationDialogs::addCustomer(CPeople& people, QWidget* parent) {
    CAddPersonDlg dialog(people, CAddPersonDlg::Add, {}, 0, parent);
    if (run(dialog) != QDialog::Accepted) return std::nullopt;
    return people.GetRecordNumber();
}

std::optional<std::string> ReservationDialogs::showReservation(const ReservationDetail& detail,
                                                               QWidget* parent) {
    CShowReservation dialog(detail, parent);
    if (run(dialog) != QDialog::Accepted) return std::nullopt;
    return dialog.notes();
}

int QtReservationDialogs::run(QDialog& dialog) {
    return dialog.exec();
}

ReservationDialogs& appReservationDialogs() {
    return DialogSeam<ReservationDialogs, QtReservationDialogs>::get();
}

void setAppReservationDialogs(ReservationDialogs* dialogs) {
    DialogSeam<ReservationDialogs, QtReservationDialogs>::set(dialogs);
}

}  // namespace quorvane
