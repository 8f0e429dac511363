#include "reservations/ReservationDialogs.h"

#include <QDialog>

namespace quorvane {

int QtReservationDialogs::run(QDialog& dialog) {
    return dialog.exec();
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
