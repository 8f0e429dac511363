#pragma once
// Every modal dialog the booking dialogs open (the Make Reservation, customer and detail
// dialogs, the print dialog) goes through one replaceable object, so tests answer them
// without a modal event loop: they get the dialog itself and work its controls by id.
class QDialog;
class QPrinter;
class QWidget;

namespace quorvane {

class ReservationDialogs {
public:
    virtual ~ReservationDialogs() = default;
    // Runs the dialog modally; QDialog::Accepted or QDialog::Rejected.
    virtual int run(QDialog& dialog) = 0;
    // The print dialog (no page numbers, no selection, no print-to-file); false on Cancel.
    virtual bool askPrint(QPrinter& printer, QWidget* parent) = 0;
};

class QtReservationDialogs final : public ReservationDialogs {
public:
    int run(QDialog& dialog) override;
    bool askPrint(QPrinter& printer, QWidget* parent) override;
};

ReservationDialogs& appReservationDialogs();
void setAppReservationDialogs(ReservationDialogs* dialogs);  // nullptr restores the Qt dialogs

}  // namespace quorvane
