#include "reservations/ReservationDialogs.h"
#include "platform/DialogSeam.h"

#include <QDialog>

namespace quorvane {

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
