#pragma once
// The reservation detail (dialog 136): every field of one reservation read-only, its notes
// editable. The facility list, and later the customer's and the maintenance item's lists,
// fill a ReservationDetail and get back the notes as edited.
#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "reservations/core/BookingCore.h"

class QLineEdit;

namespace quorvane {

// The width a notes box needs to show all of its 80 characters in its font.
int notesWidth(const QLineEdit& edit);

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

private:
    QLineEdit* notes_;
};

// Writes notes through `attempt`, which asks once for the record's lock. While another user
// holds it, a window ("Saving Notes", objectName "notes-wait") says that the write waits and
// tries again every quarter second until it goes through or the person presses "Give Up"
// (kLocked then: nothing was written).
NotesWrite writeNotesWaiting(const std::function<NotesWrite()>& attempt, QWidget* parent);

}  // namespace quorvane
