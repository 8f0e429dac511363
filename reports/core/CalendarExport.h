#pragma once
// The group's coming reservations as an iCalendar file (RFC 5545), so a customer's or a
// facility's bookings open in any calendar program. Every stored reservation is one event
// (the days of a series stay separate events, so a cancelled day is simply absent), at its
// local wall-clock time in the machine's time zone, with a UID that stays the same from one
// export to the next as long as the booking stays.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Calendar.h"

class CSchedule;
class QWidget;

namespace quorvane {

class CZUKRecDoc;

// One reservation as the calendar needs it; texts are the stored Windows-1252 bytes.
struct CalendarBooking {
    DayDate date;
    int startHH = 0, startMM = 0, endHH = 0, endMM = 0;
    std::string facility, first, mi, last, phone, ext, org, notes;
    bool maintenance = false;
    int recurDays = 0;  // 0 single, 1 every day, 3 every weekday, 7 every week
    DayDate recurEnd;
    DayDate made;
    int madeHH = 0, madeMM = 0;
};

// Reads the reservations dated `from` or later, in key order, that `keep` accepts. 0, or the
// engine's negative code when the walk stopped on an error.
int collectBookings(CSchedule& schedule, const DayDate& from,
                    const std::function<bool(const CalendarBooking&)>& keep,
                    std::vector<CalendarBooking>& out);

// The time zone the local times are given in: its name and its offset changes.
struct CalendarZone {
    std::string id;  // "Europe/Amsterdam"; "Local" when the system does not name it
    struct Change {
        std::int64_t at = 0;               // seconds since 1970 (UTC) when the offset starts
        int offsetFrom = 0, offsetTo = 0;  // seconds east of UTC
        bool daylight = false;
    };
    std::vector<Change> changes;  // the first entry is the offset in force at the range start
};
// The process's zone (TZ, then /etc/localtime) with its offset changes between two dates.
CalendarZone localCalendarZone(const DayDate& first, const DayDate& last);

struct CalendarHeader {
    std::string name;        // the calendar's name: the group's title (Windows-1252)
    std::string groupId;     // what makes the UIDs of this group differ from other groups'
    std::int64_t stamp = 0;  // DTSTAMP, seconds since 1970
};
// The whole file, CRLF line ends, lines folded at 75 octets, UTF-8.
std::string calendarText(const CalendarHeader& header, const CalendarZone& zone,
                         const std::vector<CalendarBooking>& bookings);
// The event's UID: the group, the booking's date, facility and start, and when it was made.
std::string calendarUid(const std::string& groupId, const CalendarBooking& booking);
// A text value escaped for a property ("\\", "\;", "\,", "\n"); control characters other
// than the tab (C0, DEL, C1) are left out, as text values may not hold them.
std::string calendarEscape(const std::string& utf8);

// The command: whose reservations, the file, the outcome in "Export Status".
void runCalendarExport(CZUKRecDoc& doc, QWidget* parent);

}  // namespace quorvane
