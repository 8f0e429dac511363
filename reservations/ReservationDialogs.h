#pragma once
// Every modal dialog the booking dialogs open (the Make Reservation, customer and detail
// dialogs) goes through one replaceable object, so tests answer them
// without a modal event loop: they get the dialog itself and work its controls by id. The
// print dialog is the program's one (platform/Printing.h).
class QDialog;

namespace quorvane {

class ReservationDialogs {
public:
    virtual ~ReservationDialogs() = default;
    // Runs the dialog modally; QDialog::Accepted or QDialog::Rejected.
    virtual int run(QDialog& dialog) = 0;
};

class QtReservationDialogs final : public ReservationDialogs {
public:
    int run(QDialog& dialog) override;
};

ReservationDialogs& appReservationDialogs();
void setAppReservationDialogs(ReservationDialogs* dialogs);  // nullptr restores the Qt dialogs

}  // namespace quorvane
