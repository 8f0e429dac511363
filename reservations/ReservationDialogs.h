#pragma once
// Every modal dialog the booking dialogs open (Make Reservation, a facility's day list, the
// customer editor and the reservation detail) goes through one replaceable object whose calls
// return the dialog's answer. These dialogs do their work in their own OK step (a booking, a
// cancellation, a stored customer), so what a test replaces is only the running of the built
// dialog: it gets the dialog itself and works its controls by id, without a modal event loop.
// The print dialog is the program's one (platform/Printing.h).
#include <cstdint>
#include <optional>
#include <string>

#include "reservations/core/BookingCore.h"

class CPeople;
class QDialog;
class QWidget;

namespace quorvane {

class CZUKRecDoc;

class ReservationDialogs {
public:
    virtual ~ReservationDialogs() = default;

    // Make Reservation for `facility` from `date` (`openerDay` is the list it was opened from,
    // which the booking loop reloads); the first day booked, or nothing when nothing was.
    std::optional<DayDate> makeReservation(CZUKRecDoc& doc, const std::string& facility,
                                           const DayDate& date, std::uint32_t defaultTime,
                                           FacilityDay& openerDay, QWidget* parent);
    // The day list of the facility in `slot`; true when reservations were made or cancelled.
    bool facilityDay(CZUKRecDoc& doc, int slot, std::uint32_t defaultTime, const DayDate& date,
                     QWidget* parent);
    // The customer editor in add mode; the new customer's record number, or nothing.
    std::optional<long> addCustomer(CPeople& people, QWidget* parent);
    // The reservation detail; its notes as they stand at OK, or nothing on Cancel.
    std::optional<std::string> showReservation(const ReservationDetail& detail, QWidget* parent);

    // Runs a built dialog modally; QDialog::Accepted or QDialog::Rejected.
    virtual int run(QDialog& dialog) = 0;
};

class QtReservationDialogs final : public ReservationDialogs {
public:
    int run(QDialog& dialog) override;
};

ReservationDialogs& appReservationDialogs();
void setAppReservationDialogs(ReservationDialogs* dialogs);  // nullptr restores the Qt dialogs

}  // namespace quorvane
