#include "reservations/ReservationDialogs.h"

#include <QDialog>
#include <QPrintDialog>
#include <QPrinter>

namespace quorvane {

int QtReservationDialogs::run(QDialog& dialog) {
    return dialog.exec();
}

bool QtReservationDialogs::askPrint(QPrinter& printer, QWidget* parent) {
    QPrintDialog dialog(&printer, parent);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintToFile, false);
    return dialog.exec() == QDialog::Accepted;
}

namespace {
ReservationDialogs* g_dialogs = nullptr;
}  // namespace

ReservationDialogs& appReservationDialogs() {
    static QtReservationDialogs qt;
    return g_dialogs ? *g_dialogs : qt;
}

void setAppReservationDialogs(ReservationDialogs* dialogs) {
    g_dialogs = dialogs;
}

}  // namespace quorvane
