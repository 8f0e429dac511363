#pragma once
// The reservation detail (dialog 136): every field of one reservation read-only, its notes
// editable. The facility list, and later the customer's and the maintenance item's lists,
// fill a ReservationDetail and get back the notes as edited.
#include <QDialog>
#include <optional>
#include <string>

#include "reservations/core/BookingCore.h"

class QLineEdit;

namespace quorvane {

class CShowReservation : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 136;
    static constexpr int kDate = 1033, kStart = 1021, kEnd = 1022, kReservedFor = 1019,
                         kPhone = 1028, kExt = 1174, kOrg = 1027, kSeries = 1196, kNotes = 1029,
                         kHelp = 1085;
    static constexpr int kMaxNotes = 80;

    explicit CShowReservation(const ReservationDetail& detail, QWidget* parent = nullptr);
    // The notes as they stand in the box (Windows-1252).
    std::string notes() const;

    // Shows the detail through appReservationDialogs(); the notes as edited on OK, nothing on
    // Cancel.
    static std::optional<std::string> ask(const ReservationDetail& detail, QWidget* parent);

private:
    QLineEdit* notes_;
};

}  // namespace quorvane
