#pragma once
// Customers and maintenance items without widgets: the chooser lines and titles, picking a
// listed record again by its number, deleting, storing a maintenance item, a customer's or an
// item's reservations from a date on, and a listed reservation's detail with the write-back of
// its notes. The dialogs of this folder, the tests and the benchmarks run these functions.
// Texts are Windows-1252 bytes.
#include <optional>
#include <string>
#include <vector>

#include "base/Calendar.h"
#include "reservations/core/BookingCore.h"
#include "tables/RecordRows.h"

class CSchedule;
class CPeople;
class CMaintenance;

namespace quorvane {

// ----- choosers -----

// What a chooser was opened for.
enum ChooserMode : int { kModifyMode = 0, kDeleteMode = 1, kReservationsMode = 2, kListMode = 3 };

// The lines and the walks are customerLine, customerRows and maintenanceRows
// (tables/RecordRows.h).

std::string customerChooserTitle(int mode);
std::string maintenanceChooserTitle(int mode);

// Moves the table to the customer (item) of row `selected` (-1: none) and reads it. The
// message when nothing is selected, or the record is gone: another user may have deleted it
// after the list was read.
std::optional<Message> pickCustomer(CPeople& people, const std::vector<RecordRow>& rows,
                                    int selected);
std::optional<Message> pickMaintenance(CMaintenance& maintenance,
                                       const std::vector<RecordRow>& rows, int selected);

// Deletes the customer (item) at `record` when it is still there, asking for a pack at close.
// 0, or the code of the failed read or deletion; a record already deleted is left alone.
int deleteCustomer(CPeople& people, long record);
int deleteMaintenance(CMaintenance& maintenance, long record);

// ----- a customer's key and its reservations -----

// The fields a reservation keeps a copy of: the customer's key (names, phone, extension) and
// organization. The lists and the report find a customer's reservations by that copy.
struct CustomerCopy {
    std::string first, mi, last, phone, ext, org;
    bool operator==(const CustomerCopy&) const = default;
};
CustomerCopy customerCopyOf(const CPeople& people);

// The customer's reservations dated `from` or later: the live customer reservations whose
// names, phone and extension equal the key's (items' reservations never count). 0 and the
// count, or the engine's code.
int countCustomerReservations(CSchedule& table, const CustomerCopy& who, const DayDate& from,
                              long& count);

struct CarryResult {
    int code = 0;      // 0, or the engine's code: then no reservation was changed
    long changed = 0;  // reservations now carrying the new copy
};
// Writes the customer's new copy over every reservation from `from` on that carries the old
// one, as one operation: under the whole-table lock, found again there (another user may have
// booked for the old key since the question was asked), and on any failed write the ones
// already written get the old copy back.
CarryResult carryCustomerChange(CSchedule& table, const CustomerCopy& before,
                                const CustomerCopy& after, const DayDate& from);

// "This customer has %ld reservations from today on..." ("Change Reservations"), asked after
// a change of a customer with reservations; nothing when nothing is to carry.
std::optional<std::string> carryQuestion(const CustomerCopy& before, const CustomerCopy& after,
                                         long reservations);
// "Are you sure you want to delete this customer?", with the count of its reservations from
// today on when it has any.
std::string deleteCustomerQuestion(long reservations);

// ----- the maintenance editor -----

struct MaintFields {
    std::string name, notes;
    bool operator==(const MaintFields&) const = default;
};
constexpr int kMaintNameMax = 21;
constexpr int kMaintNotesMax = 80;

// "A name for the maintenance must be specified" ("Name Error") for an empty name.
std::optional<Message> checkMaintName(const MaintFields& f);
// Appends the item, or in modify mode writes it over the item at `record` (a rename moves the
// record to its new name; the reservations keep the old one). The "Add Error" message on a
// refusal, code 20 being a name that exists; "Database Error" when the item to modify is gone.
std::optional<Message> storeMaintenance(CMaintenance& maintenance, const MaintFields& f,
                                        bool modify, long record = 0);

// ----- reservation lists -----

// One line of a customer's or an item's reservation list, with the record number and the
// facility name kept beside it.
struct ReservationRow {
    std::string line;
    long record = 0;
    std::string facility;
    bool operator==(const ReservationRow&) const = default;
};

// "%02d/%02d/%04d   %02d:%02d %s   %02d:%02d %s \t%s   %s" of the table's current
// reservation: date, start and end on the twelve-hour face, facility, "(Note)" or nothing.
std::string listedReservationLine(const CSchedule& table);

// The texts a customer's reservations are matched on; the extension is not one of them, so a
// booking made under another extension of the same phone is listed too.
struct CustomerName {
    std::string first, mi, last, phone;
};
CustomerName customerNameOf(const CPeople& people);

// The reservations from `from` on, in key order (date, facility, start), of the customer
// (first name, middle initial, last name and phone equal) or of the maintenance item (last
// name equal to the item's name, so a customer of that last name is listed too). 0, or the
// engine's code when the walk stopped on an error (`rows` holds what was read before it).
int customerReservations(CSchedule& table, const CustomerName& who, const DayDate& from,
                         std::vector<ReservationRow>& rows);
int maintenanceReservations(CSchedule& table, const std::string& item, const DayDate& from,
                            std::vector<ReservationRow>& rows);

// "List of Reservations for %s, %s %s" (last, first, middle initial); "List of Reservations
// for %s" of an item.
std::string customerReservationsTitle(const CustomerName& who);
std::string maintenanceReservationsTitle(const std::string& item);

// A listed reservation read again by its record number, as the detail shows it.
struct ListedReservation {
    long record = 0;
    DayDate date;
    int startClock = 0;  // hour x 100 + minute
    std::string last;    // an item's name for a maintenance reservation
    ReservationDetail detail;
};

// Reads the reservation of `row` for a customer's list: the date as "%02d/%02d/%04d", the
// times "%02d:%02d %s", the name "%s, %s %s", organization, phone, extension and notes.
// "Could not read reservation detail" ("Database Error") when the record cannot be read or is
// no longer the one listed (deleted by another user).
std::optional<Message> readCustomerReservation(CSchedule& table, const ReservationRow& row,
                                               ListedReservation& out);
// The same for an item's list: the name shown is the item's, with the phone and the notes.
std::optional<Message> readMaintenanceReservation(CSchedule& table, const ReservationRow& row,
                                                  ListedReservation& out);
// "Could not read maintenance item from database" ("Database Error") when no item carries
// exactly the name.
std::optional<Message> checkMaintenanceItem(CMaintenance& maintenance, const std::string& name);

// Writes `notes` on the listed reservation when they differ from the ones shown. The record is
// read again first and written only while it is still the reservation shown: the table's
// current record moves while the detail is open (the window's minute timer reads the table).
// True when a record was written.
bool writeListedNotes(CSchedule& table, const ListedReservation& shown, const std::string& notes);
// The same asking once for the record's lock (kLocked while another user holds it).
NotesWrite writeListedNotesOnce(CSchedule& table, const ListedReservation& shown,
                                const std::string& notes);

}  // namespace quorvane
