#pragma once
// Booking without widgets: a facility's reservations of one day as its list shows them, the
// overlap check, the booking of one day or a series, cancelling one reservation or the rest of
// its series, a reservation's details with the write-back of its notes, and Make Reservation's
// form with its rules. The dialogs, the stress tool and the benchmarks all run these same
// functions. Texts are Windows-1252 bytes.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Calendar.h"
#include "base/Message.h"

class CSchedule;
class CPeople;
class CMaintenance;

namespace quorvane {

// ----- a facility's day -----

// One facility's live reservations of one day in start order: the list lines and, at the
// same positions, their start and end clock values (hour x 100 + minute).
struct FacilityDay {
    std::vector<std::string> lines;
    std::vector<int> starts, ends;
    // Who each reservation is for ("last, first mi" or the item) and its record number.
    std::vector<std::string> whos;
    std::vector<long> records;
    void clear() {
        lines.clear();
        starts.clear();
        ends.clear();
        whos.clear();
        records.clear();
    }
};

// The list line of the table's current reservation: the customer form
// "%02d:%02d %s   %02d:%02d %s   %s, %s %s  %s   %s" or, for maintenance,
// "%02d:%02d %s   %02d:%02d %s   %s    %s".
std::string reservationLine(const CSchedule& table);
// "(%s)" of a non-empty organization, else empty.
std::string orgText(const std::string& org);

// Refills `day` with the facility's reservations of `date`. 0, or the engine's negative code
// when the walk failed part-way (`day` then holds what was read).
int loadFacilityDay(CSchedule& table, const std::string& facility, const DayDate& date,
                    FacilityDay& day);

// 0 when start-end fits the day, 1 when the end is not after the start, 2 when it overlaps a
// listed reservation. Reservations that only touch do not overlap.
int checkReservation(int startHH, int startMM, int endHH, int endMM, const FacilityDay& day);
// The position of the first listed reservation start-end overlaps, or -1.
int overlappingReservation(int startHH, int startMM, int endHH, int endMM, const FacilityDay& day);

// A time as a person types it, in minutes after midnight: "2:30 PM", "2:30p", "2.30 pm",
// "230p", "14:30", "1430", "9" (hours alone are on the 24-hour clock without AM/PM). Nothing
// for anything else (an hour over 12 with AM/PM, minutes over 59, stray characters).
std::optional<int> parseTypedTime(const std::string& text);
// "\"%s\" is not a time..." ("Time Error") for a typed text parseTypedTime refuses.
Message timeEntryMessage(const std::string& typed);

// ----- making reservations -----

enum Recurrence : int { kSingle = 0, kDaily = 1, kWeekdays = 3, kWeekly = 7 };

// When a booking is and its notes: what Make Reservation's form and the request share.
struct BookingTimes {
    DayDate firstDay;    // the day (first of a series)
    DayDate throughDay;  // last day of a series as picked
    int kind = kSingle;
    // The pickers' times; an end of 00:00 (12:00 AM) means the end of the day.
    int startHH = 0, startMM = 0, endHH = 0, endMM = 0;
    std::string notes;  // Windows-1252, as stored
    bool operator==(const BookingTimes&) const = default;
};

struct BookingRequest : BookingTimes {
    std::string facility;
    bool maintenance = false;  // last holds the item's name, the other names stay empty
    std::string first, mi, last, phone, ext, org;
    // The creation stamp every member of the series carries.
    DayDate madeDate;
    int madeHH = 0, madeMM = 0;
};

struct BookingHooks {
    // A message box; the loop goes on when it returns.
    std::function<void(const Message&)> message;
    // After each Add: the day and Add's result (0 stored).
    std::function<void(const DayDate&, int addResult)> added;
};

// A day of a series that was not booked: why, and the other booking's times and who it is for
// when an overlap refused it ("05:00 PM - 06:00 PM Jansen, Anna M"; empty otherwise).
struct RefusedDay {
    DayDate day;
    std::string other;
    bool failed = false;  // the table could not be read or written, no overlap
    bool operator==(const RefusedDay&) const = default;
};

struct BookingOutcome {
    bool stayOpen = false;  // a refusal that keeps the dialog open; nothing more was written
    int booked = 0, refused = 0, failed = 0;
    std::vector<DayDate> bookedDays;
    std::vector<RefusedDay> refusedDays;
};

// After a series some of whose days were not booked, the one message that sums it up: how
// many and which days were booked and which were not, with the booking in the way. Nothing
// for a single reservation or a series booked whole.
std::optional<Message> seriesSummary(const BookingRequest& request, const BookingOutcome& outcome);

// The series' dates as picked: a message when the first day lies after the through date.
std::optional<Message> checkSeriesDates(const BookingRequest& request);

// The days a request books in order: every day, every weekday or every seventh day from
// the first day through the through date (the day before it when the end is 12:00 AM); the
// first day alone for a single reservation.
std::vector<DayDate> seriesDays(const BookingRequest& request);

// The days of the request that its check would refuse now (read without locks: an answer for
// the user, not a promise). Result 1 (the end not after the start) refuses every day.
std::vector<DayDate> refusedDays(CSchedule& table, const BookingRequest& request);
// Check Availability's answer: the series dates' or the times' refusal, else "All days are
// free." or "These days are taken at that time:" with one date a line ("Check
// Availability", information).
Message availabilityMessage(CSchedule& table, const BookingRequest& request);

// Books the request: for each day of the series (weekends skipped for kWeekdays) the append
// lock, the facility's day into `day`, the check, then Add. A refused or failed day gets its
// own message; a single reservation stops at its first. Days are calendar days.
BookingOutcome bookReservation(CSchedule& table, const BookingRequest& request, FacilityDay& day,
                               const BookingHooks& hooks);

// ----- Make Reservation's form -----

// What Make Reservation edits, as its controls hold it. The customer list opens with
// "<Add a new customer>", so its line n >= 1 is ReservationLists::customers[n - 1]; -1 is no
// line selected.
struct ReservationForm : BookingTimes {
    int customerRow = -1, maintenanceRow = -1;
    bool operator==(const ReservationForm&) const = default;
};

// The record numbers behind the lines of the two lists, in list order (the customers' without
// the "<Add a new customer>" line).
struct ReservationLists {
    std::vector<long> customers, items;
};

// Who the form's selection books for. An item wins over a customer; the dialog keeps only one
// of the two selected anyway.
enum class ReservedFor { kNobody, kNewCustomer, kCustomer, kMaintenance };
ReservedFor reservedFor(const ReservationForm& form);
// The selection rule: "A customer or maintenance item must be selected for the reservation"
// ("No Customer Selected") while neither list has a line selected.
std::optional<Message> checkSelection(const ReservationForm& form);

// The request the form books for `facility`: its dates, kind, times and notes; who it is for
// stays empty, for readReservedFor.
BookingRequest bookingRequest(const std::string& facility, const ReservationForm& form);
// Reads the chosen customer (names, phone, organization) or maintenance item (its name as the
// last name) into `request`, going to its record by number: a name could have changed since
// the list was read. The "Database Error" message when the record cannot be read; nothing to
// read for no selection or the new-customer line.
std::optional<Message> readReservedFor(const ReservationForm& form, const ReservationLists& lists,
                                       CPeople* people, CMaintenance* items,
                                       BookingRequest& request);

// ----- cancelling -----

// What CancelRest needs of the member just cancelled, taken before anyone can move the
// table's current reservation (a question box lets the window's timer run).
struct SeriesMember {
    std::string facility;
    DayDate date;
    int startHH = 0, startMM = 0;
    int madeMonth = 0, madeDay = 0, madeYear = 0, madeHH = 0, madeMM = 0;
    int kind = 0;
    int endYear = 0, endMonth = 0, endDay = 0;  // RECURDATE as stored
};
SeriesMember seriesMemberOf(const CSchedule& table);

// Finds the facility's reservation of `date` starting at `startClock` and deletes it (the
// deletion written at once). 0 with `member` filled, or the seek's code (nothing changed).
// With `expectedRecord` set the reservation found must be that record: another user may have
// cancelled the listed one and booked the same start since (r4entry then, nothing deleted).
int cancelReservation(CSchedule& table, const std::string& facility, const DayDate& date,
                      int startClock, SeriesMember& member, long expectedRecord = 0);

// "Another user has changed or cancelled this reservation..." ("Reservation Changed"): the
// listed reservation is no longer in the table as listed.
Message reservationChangedMessage();

// Deletes the later members of the series: same facility and start time, same creation
// stamp, up to the series-end date or the end of the table. The number deleted, or the
// engine's negative code when a deletion could not be written (the members before it are
// cancelled, the rest are not). A stored series-end date that is no date cancels nothing and
// is reported to `report`.
int cancelRest(CSchedule& table, const SeriesMember& member,
               const std::function<void(const std::string&)>& report = {});
// Whether the rest of `member`'s series, just cancelled from the list of `shown`, held
// `today`, another day than the one shown: today's list must then be read again too.
bool restHeldToday(const SeriesMember& member, const DayDate& shown, const DayDate& today);
// Takes the cancelled row out of the listed day (its line, times and record number).
void dropListed(FacilityDay& day, std::size_t row);

// ----- showing -----

// What the detail dialog shows; every text ready to display. The customer dialogs fill it from
// their own lists.
struct ReservationDetail {
    std::string facility;
    std::string date;        // "%A, %B %d, %Y" here, "%02d/%02d/%04d" in the customer lists
    std::string start, end;  // "%02d:%02d %s"
    std::string reservedFor, phone, ext, org;
    bool recurring = false;
    std::string notes;
};

// Reads the facility's reservation of `date` at `startClock` into `detail`; 0, or the seek's
// code. `recordNumber` receives the record's number.
int readReservationDetail(CSchedule& table, const std::string& facility, const DayDate& date,
                          int startClock, ReservationDetail& detail, long* recordNumber = nullptr);

// Writes new notes on the reservation (found again by its key, and only when it is still the
// record shown) when they differ from the ones shown. True when the record was written and
// synced; false when nothing was to be written or the write failed.
bool storeNotes(CSchedule& table, const std::string& facility, const DayDate& date, int startClock,
                long recordNumber, const std::string& shownNotes, const std::string& newNotes);

// What one attempt to write notes came to.
enum class NotesWrite { kUnchanged, kWritten, kGone, kLocked, kFailed };
// storeNotes asking only once for the record's lock: kLocked (nothing written) while another
// user holds it, so the window can say that it waits and let the person give up; kGone when
// the reservation shown is no longer there.
NotesWrite storeNotesOnce(CSchedule& table, const std::string& facility, const DayDate& date,
                          int startClock, long recordNumber, const std::string& shownNotes,
                          const std::string& newNotes);
// The notes written over the table's current record asking once for its lock.
NotesWrite updateNotesOnce(CSchedule& table, const std::string& notes);

}  // namespace quorvane
