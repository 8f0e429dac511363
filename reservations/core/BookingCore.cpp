#include "reservations/core/BookingCore.h"

#include <cstdio>

#include "app/core/Room.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/Schedule.h"
#include "tables/TableCore.h"

namespace quorvane {

namespace {

const char* const kReservationError = "Reservation Error";
const char* const kDatabaseError = "Database Error";

std::string twoDigits(int value) {
    return tables::format("%02d", value);
}

}  // namespace

std::string orgText(const std::string& org) {
    return org.empty() ? std::string() : "(" + org + ")";
}

std::string reservationLine(const CSchedule& r) {
    int sh, sm, eh, em;
    r.GetStart(sh, sm);
    r.GetEnd(eh, em);
    std::string first, mi, last, phone, ext, org;
    r.GetNames(first, mi, last, phone, ext, org);
    const std::string note = r.HasNotes() ? "(Note)" : "";
    const std::string times = amPmTime(sh, sm) + "   " + amPmTime(eh, em) + "   ";
    if (r.IsMaintenance()) return times + last + "    " + note;
    return times + last + ", " + first + " " + mi + "  " + orgText(org) + "   " + note;
}

int loadFacilityDay(CSchedule& table, const std::string& facility, const DayDate& date,
                    FacilityDay& day) {
    day.clear();
    const std::string key = dateKey(date);
    // Compared as the table stores it, or a name with a trailing blank or longer than the
    // field would never see its own bookings, and the check below would let a second one in.
    const std::string stored = storedFacilityName(facility);
    int r = table.Seek(key, stored, "", "");
    while (r == 0) {
        int month, d, year;
        table.GetDate(month, d, year);
        if (table.GetFacility() != stored || DayDate{year, month, d} != date) break;
        int sh, sm, eh, em;
        table.GetStart(sh, sm);
        table.GetEnd(eh, em);
        day.starts.push_back(sh * 100 + sm);
        day.ends.push_back(eh * 100 + em);
        day.lines.push_back(reservationLine(table));
        r = table.Next();
    }
    return r < 0 ? r : 0;
}

int checkReservation(int startHH, int startMM, int endHH, int endMM, const FacilityDay& day) {
    const int s = startHH * 100 + startMM;
    const int e = endHH * 100 + endMM;
    if (s >= e) return 1;
    for (std::size_t i = 0; i < day.starts.size() && i < day.ends.size(); ++i)
        if (s < day.ends[i] && day.starts[i] < e) return 2;
    return 0;
}

std::optional<BookingMessage> checkSeriesDates(const BookingRequest& q) {
    if (q.kind != kSingle && q.firstDay > q.throughDay)
        return BookingMessage{
            "The end date for a recurring reservation must be after the start date.",
            "Recurring Reservation Error"};
    return std::nullopt;
}

namespace {

// 12:00 AM as an end is the end of the day: stored as 23:59, and a series then ends one day
// before the through date.
bool midnightEnd(const BookingRequest& q, int& endHH, int& endMM) {
    endHH = q.endHH;
    endMM = q.endMM;
    if (endHH != 0 || endMM != 0) return false;
    endHH = 23;
    endMM = 59;
    return true;
}

}  // namespace

std::vector<DayDate> seriesDays(const BookingRequest& q) {
    if (q.kind == kSingle) return {q.firstDay};
    int eh, em;
    const DayDate last = midnightEnd(q, eh, em) ? addDays(q.throughDay, -1) : q.throughDay;
    const int step = q.kind == kWeekly ? 7 : 1;
    std::vector<DayDate> days;
    for (DayDate d = q.firstDay; d <= last; d = addDays(d, step))
        if (q.kind != kWeekdays || (weekday(d) != 0 && weekday(d) != 6)) days.push_back(d);
    return days;
}

std::vector<DayDate> refusedDays(CSchedule& table, const BookingRequest& q) {
    int endHH, endMM;
    midnightEnd(q, endHH, endMM);
    std::vector<DayDate> refused;
    FacilityDay day;
    for (const DayDate& d : seriesDays(q)) {
        loadFacilityDay(table, q.facility, d, day);
        if (checkReservation(q.startHH, q.startMM, endHH, endMM, day) != 0) refused.push_back(d);
    }
    return refused;
}

BookingOutcome bookReservation(CSchedule& table, const BookingRequest& q, FacilityDay& day,
                               const BookingHooks& hooks) {
    BookingOutcome out;
    auto tell = [&](const char* text, const char* title) {
        if (hooks.message) hooks.message(BookingMessage{text, title});
    };
    int endHH, endMM;
    midnightEnd(q, endHH, endMM);
    if (auto m = checkSeriesDates(q)) {
        if (hooks.message) hooks.message(*m);
        out.stayOpen = true;
        return out;
    }
    const bool single = q.kind == kSingle;
    const std::vector<DayDate> days = seriesDays(q);
    // Every member carries the last day booked as its series end.
    DayDate seriesEnd{0, 0, 0};
    if (!single) {
        int eh, em;
        seriesEnd = midnightEnd(q, eh, em) ? addDays(q.throughDay, -1) : q.throughDay;
    }

    for (const DayDate& d : days) {
        // A day that cannot be read under the lock cannot be checked: it is not booked.
        int r = table.LockAppend();
        if (r == 0) r = loadFacilityDay(table, q.facility, d, day);
        if (r != 0) {
            table.Unlock();
            ++out.failed;
            tell("Could not make reservation to database", kDatabaseError);
            if (single) break;
            continue;
        }
        const int check = checkReservation(q.startHH, q.startMM, endHH, endMM, day);
        if (check != 0) {
            table.Unlock();
            ++out.refused;
            if (check == 1) {
                tell("End time of reservation must be after start time", kReservationError);
            } else {
                const std::string text = tables::format(
                    "Reservation conflicts with existing reservation on %02i/%02i/%04i", d.month,
                    d.day, d.year);
                tell(text.c_str(), kReservationError);
            }
            if (check == 1 || single) {
                out.stayOpen = true;
                return out;
            }
            continue;
        }
        table.Clear();
        table.SetStart(q.startHH, q.startMM);
        table.SetEnd(endHH, endMM);
        if (q.maintenance)
            table.SetNames("", "", q.last, "", "", "");
        else
            table.SetNames(q.first, q.mi, q.last, q.phone, q.ext, q.org);
        table.SetNotes(q.notes);
        table.SetRecurDays(q.kind);
        table.SetFacility(q.facility);
        table.SetDate(d.month, d.day, d.year);
        table.SetRecurDate(seriesEnd.month, seriesEnd.day, seriesEnd.year);
        table.SetMade(q.madeDate.month, q.madeDate.day, q.madeDate.year, q.madeHH, q.madeMM);
        table.SetTypeFlag(q.maintenance ? 1 : 0);
        table.SetKept(true);
        const int added = table.Add();
        table.Unlock();
        if (added != 0) {
            ++out.failed;
            tell("Could not make reservation to database", kDatabaseError);
        } else {
            ++out.booked;
        }
        if (hooks.added) hooks.added(d, added);
        if (single) break;
    }
    return out;
}

SeriesMember seriesMemberOf(const CSchedule& t) {
    SeriesMember m;
    m.facility = t.GetFacility();
    t.GetDate(m.date.month, m.date.day, m.date.year);
    t.GetStart(m.startHH, m.startMM);
    t.GetMade(m.madeMonth, m.madeDay, m.madeYear, m.madeHH, m.madeMM);
    m.kind = t.GetRecurDays();
    t.GetRecurDate(m.endMonth, m.endDay, m.endYear);
    return m;
}

int cancelReservation(CSchedule& table, const std::string& facility, const DayDate& date,
                      int startClock, SeriesMember& member) {
    const int r = table.Seek(dateKey(date), facility, twoDigits(startClock / 100),
                             twoDigits(startClock % 100));
    if (r != 0) return r;
    member = seriesMemberOf(table);
    const int deleted = table.Delete(false);
    // The mark goes to the file now, and the record's lock with it: kept, it would stop
    // another user who still lists the reservation until this user locks something else.
    table.Unlock();
    return deleted;
}

int cancelRest(CSchedule& table, const SeriesMember& m,
               const std::function<void(const std::string&)>& report) {
    if (m.kind == kSingle) return 0;
    if (m.endYear < 1900 || m.endMonth < 1 || m.endMonth > 12 || m.endDay < 1 || m.endDay > 31) {
        if (report)
            report(
                tables::format("The series of %s on %s at %02d:%02d has no valid end date "
                               "(%04d%02d%02d); its later reservations were not cancelled",
                               m.facility.c_str(), dateKey(m.date).c_str(), m.startHH, m.startMM,
                               m.endYear, m.endMonth, m.endDay));
        return 0;
    }
    if (!isValidDate(m.date)) return 0;
    const std::string endKey = dateKey(m.endYear, m.endMonth, m.endDay);
    const std::string hh = twoDigits(m.startHH), mm = twoDigits(m.startMM);
    const int step = m.kind == kWeekly ? 7 : 1;
    int cancelled = 0;
    for (DayDate t = addDays(m.date, step);; t = addDays(t, step)) {
        if (m.kind == kWeekdays && (weekday(t) == 0 || weekday(t) == 6)) continue;
        const std::string key = dateKey(t);
        if (key > endKey) break;
        const int r = table.Seek(key, m.facility, hh, mm);
        if (r == 3) break;
        if (r != 0) continue;
        int month, day, year, h, mi;
        table.GetMade(month, day, year, h, mi);
        if (month == m.madeMonth && day == m.madeDay && year == m.madeYear && h == m.madeHH &&
            mi == m.madeMM && table.Delete(false) == 0)
            ++cancelled;
    }
    table.Unlock();
    return cancelled;
}

int readReservationDetail(CSchedule& table, const std::string& facility, const DayDate& date,
                          int startClock, ReservationDetail& out, long* recordNumber) {
    const int r = table.Seek(dateKey(date), facility, twoDigits(startClock / 100),
                             twoDigits(startClock % 100));
    if (r != 0) return r;
    out = ReservationDetail{};
    out.facility = facility;
    std::string first, mi, last, phone, ext, org;
    table.GetNames(first, mi, last, phone, ext, org);
    if (table.IsMaintenance()) {
        out.reservedFor = last;
    } else {
        out.reservedFor = last + ", " + first + " " + mi;
        out.org = org;
        out.phone = phone;
        out.ext = ext;
    }
    int sh, sm, eh, em;
    table.GetStart(sh, sm);
    table.GetEnd(eh, em);
    out.start = amPmTime(sh, sm);
    out.end = amPmTime(eh, em);
    out.date = longDateText(date);
    out.recurring = table.IsRecurring();
    out.notes = table.GetNotes();
    if (recordNumber) *recordNumber = table.GetRecordNumber();
    return 0;
}

bool storeNotes(CSchedule& table, const std::string& facility, const DayDate& date, int startClock,
                long recordNumber, const std::string& shownNotes, const std::string& newNotes) {
    if (newNotes == shownNotes) return false;
    // The table's current reservation may have moved while the detail was shown (the window's
    // minute timer reads the table): find the record again, and write only over that one.
    const int r = table.Seek(dateKey(date), facility, twoDigits(startClock / 100),
                             twoDigits(startClock % 100));
    if (r != 0 || table.GetRecordNumber() != recordNumber) return false;
    table.SetNotes(newNotes);
    table.Update();
    return true;
}

std::vector<PickRow> customerRows(CPeople& people) {
    std::vector<PickRow> rows;
    for (int r = people.First(); r == 0; r = people.Next()) {
        std::string first, mi, last, phone, ext;
        people.GetName(first, mi, last);
        people.GetPhone(phone, ext);
        const std::string phoneText = ext.empty() ? phone : phone + " x-" + ext;
        rows.push_back({tables::format("%-16s \t%s, %s   %s  \t%s", phoneText.c_str(), last.c_str(),
                                       first.c_str(), mi.c_str(), orgText(people.GetOrg()).c_str()),
                        people.GetRecordNumber()});
    }
    return rows;
}

std::vector<PickRow> maintenanceRows(CMaintenance& maintenance) {
    std::vector<PickRow> rows;
    for (int r = maintenance.First(); r == 0; r = maintenance.Next())
        rows.push_back({maintenance.GetName(), maintenance.GetRecordNumber()});
    return rows;
}

}  // namespace quorvane
