#include "reservations/core/BookingCore.h"

#include <cctype>
#include <cstdio>

#include "engine/error4.h"
#include "group/Room.h"
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

namespace {

// The listed line of the current reservation, from its names as already read, into line
// (whose room a list loaded again and again reuses).
void lineInto(std::string& line, const CSchedule& r, const std::string& first,
              const std::string& mi, const std::string& last, const std::string& org) {
    int sh, sm, eh, em;
    r.GetStart(sh, sm);
    r.GetEnd(eh, em);
    line.clear();
    line.reserve(64 + last.size() + first.size() + org.size());
    line += amPmTime(sh, sm);
    line += "   ";
    line += amPmTime(eh, em);
    line += "   ";
    line += last;
    if (r.IsMaintenance()) {
        line += "    ";
    } else {
        line += ", ";
        line += first;
        line += ' ';
        line += mi;
        line += "  ";
        line += orgText(org);
        line += "   ";
    }
    if (r.HasNotes()) line += "(Note)";
}

}  // namespace

std::string reservationLine(const CSchedule& r) {
    std::string first, mi, last, phone, ext, org;
    r.GetNames(first, mi, last, phone, ext, org);
    std::string line;
    lineInto(line, r, first, mi, last, org);
    return line;
}

int loadFacilityDay(CSchedule& table, const std::string& facility, const DayDate& date,
                    FacilityDay& day) {
    // The lines and names of the last load are written over, not freed and made again: the
    // day list is loaded at every click, and its strings were a good share of the time.
    std::vector<std::string> lines = std::move(day.lines), whos = std::move(day.whos);
    day.clear();
    std::size_t n = 0;
    const std::string key = dateKey(date);
    // The day is one walk of the table: its records, next to each other in a table booked
    // day by day, come in one read, and its steps read no change counter.
    struct Walk {
        CSchedule& t;
        ~Walk() { t.WalkEnd(); }
    } walk{table};
    table.WalkStart();
    // Compared as the table stores it, or a name with a trailing blank or longer than the
    // field would never see its own bookings, and the check below would let a second one in.
    const std::string stored = storedFacilityName(facility);
    std::string first, mi, last, phone, ext, org;
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
        table.GetNames(first, mi, last, phone, ext, org);
        if (n == lines.size()) {
            lines.emplace_back();
            whos.emplace_back();
        }
        lineInto(lines[n], table, first, mi, last, org);
        std::string& who = whos[n++];
        who = last;
        if (!table.IsMaintenance()) {
            who += ", ";
            who += first;
            if (!mi.empty()) who += ' ';
            who += mi;
        }
        day.records.push_back(table.GetRecordNumber());
        r = table.Next();
    }
    lines.resize(n);
    whos.resize(n);
    day.lines = std::move(lines);
    day.whos = std::move(whos);
    return r < 0 ? r : 0;
}

int overlappingReservation(int startHH, int startMM, int endHH, int endMM, const FacilityDay& day) {
    const int s = startHH * 100 + startMM;
    const int e = endHH * 100 + endMM;
    for (std::size_t i = 0; i < day.starts.size() && i < day.ends.size(); ++i)
        if (s < day.ends[i] && day.starts[i] < e) return int(i);
    return -1;
}

int checkReservation(int startHH, int startMM, int endHH, int endMM, const FacilityDay& day) {
    if (startHH * 100 + startMM >= endHH * 100 + endMM) return 1;
    return overlappingReservation(startHH, startMM, endHH, endMM, day) >= 0 ? 2 : 0;
}

std::optional<int> parseTypedTime(const std::string& text) {
    std::string t;
    for (char c : text)
        if (c != ' ' && c != '\t') t += char(std::tolower(static_cast<unsigned char>(c)));
    // The AM/PM mark in any of its usual spellings: "pm", "p", "p.m.".
    int meridiem = 0;  // 0 none, 1 AM, 2 PM
    for (const char* mark : {"a.m.", "p.m.", "am", "pm", "a", "p"}) {
        const std::string m(mark);
        if (t.size() > m.size() && t.compare(t.size() - m.size(), m.size(), m) == 0) {
            meridiem = m[0] == 'a' ? 1 : 2;
            t.resize(t.size() - m.size());
            break;
        }
    }
    const std::size_t sep = t.find_first_of(":.");
    std::string hours = t, minutes;
    if (sep != std::string::npos) {
        hours = t.substr(0, sep);
        minutes = t.substr(sep + 1);
        if (minutes.size() != 2) return std::nullopt;
    } else if (t.size() > 2) {
        hours = t.substr(0, t.size() - 2);
        minutes = t.substr(t.size() - 2);
    }
    auto digits = [](const std::string& s) {
        if (s.empty() || s.size() > 2) return false;
        for (char c : s)
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        return true;
    };
    if (!digits(hours) || (!minutes.empty() && !digits(minutes))) return std::nullopt;
    int h = std::stoi(hours);
    const int m = minutes.empty() ? 0 : std::stoi(minutes);
    if (m > 59) return std::nullopt;
    if (meridiem != 0) {
        if (h < 1 || h > 12) return std::nullopt;
        h = h % 12 + (meridiem == 2 ? 12 : 0);
    } else if (h > 23) {
        return std::nullopt;
    }
    return h * 60 + m;
}

Message timeEntryMessage(const std::string& typed) {
    return {"\"" + typed + "\" is not a time. Type a time such as 2:30 PM, 2:30p or 14:30.",
            "Time Error"};
}

std::optional<Message> checkSeriesDates(const BookingRequest& q) {
    if (q.kind != kSingle && q.firstDay > q.throughDay)
        return Message{"The end date for a recurring reservation must be after the start date.",
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

bool restHeldToday(const SeriesMember& member, const DayDate& shown, const DayDate& today) {
    return today != shown && member.date < today &&
           dateKey(today) <= dateKey(member.endYear, member.endMonth, member.endDay);
}

void dropListed(FacilityDay& day, std::size_t row) {
    auto drop = [row](auto& v) {
        if (row < v.size()) v.erase(v.begin() + long(row));
    };
    drop(day.lines);
    drop(day.starts);
    drop(day.ends);
    drop(day.records);
}

ReservedFor reservedFor(const ReservationForm& f) {
    if (f.customerRow < 0 && f.maintenanceRow < 0) return ReservedFor::kNobody;
    if (f.maintenanceRow >= 0) return ReservedFor::kMaintenance;
    return f.customerRow == 0 ? ReservedFor::kNewCustomer : ReservedFor::kCustomer;
}

std::optional<Message> checkSelection(const ReservationForm& f) {
    if (reservedFor(f) == ReservedFor::kNobody)
        return Message{"A customer or maintenance item must be selected for the reservation",
                       "No Customer Selected"};
    return std::nullopt;
}

BookingRequest bookingRequest(const std::string& facility, const ReservationForm& f) {
    BookingRequest q;
    static_cast<BookingTimes&>(q) = f;
    q.facility = facility;
    return q;
}

std::optional<Message> readReservedFor(const ReservationForm& f, const ReservationLists& lists,
                                       CPeople* people, CMaintenance* items, BookingRequest& q) {
    switch (reservedFor(f)) {
        case ReservedFor::kMaintenance: {
            const auto row = std::size_t(f.maintenanceRow);
            if (!items || row >= lists.items.size() || items->GoTo(lists.items[row]) != 0)
                return Message{"Could not read maintenance item from database", kDatabaseError};
            q.maintenance = true;
            q.last = items->GetName();
            return std::nullopt;
        }
        case ReservedFor::kCustomer: {
            const auto row = std::size_t(f.customerRow - 1);
            if (!people || row >= lists.customers.size() || people->GoTo(lists.customers[row]) != 0)
                return Message{"Could not read selected customer from database", kDatabaseError};
            people->GetName(q.first, q.mi, q.last);
            people->GetPhone(q.phone, q.ext);
            q.org = people->GetOrg();
            return std::nullopt;
        }
        case ReservedFor::kNobody:
        case ReservedFor::kNewCustomer:
            break;
    }
    return std::nullopt;
}

Message availabilityMessage(CSchedule& table, const BookingRequest& q) {
    if (std::optional<Message> m = checkSeriesDates(q)) return *m;
    int endHH, endMM;
    midnightEnd(q, endHH, endMM);
    if (q.startHH * 100 + q.startMM >= endHH * 100 + endMM)
        return {"End time of reservation must be after start time", kReservationError};
    const std::vector<DayDate> refused = refusedDays(table, q);
    std::string text =
        refused.empty() ? "All days are free." : "These days are taken at that time:";
    for (const DayDate& d : refused)
        text += tables::format("\n%02d/%02d/%04d", d.month, d.day, d.year);
    return {text, "Check Availability", PromptIcon::Information};
}

BookingOutcome bookReservation(CSchedule& table, const BookingRequest& q, FacilityDay& day,
                               const BookingHooks& hooks) {
    BookingOutcome out;
    auto tell = [&](const char* text, const char* title) {
        if (hooks.message) hooks.message(Message{text, title});
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
            out.refusedDays.push_back({d, "", true});
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
                const int other = overlappingReservation(q.startHH, q.startMM, endHH, endMM, day);
                RefusedDay refused{d, "", false};
                if (other >= 0 && std::size_t(other) < day.whos.size()) {
                    const int os = day.starts[std::size_t(other)];
                    const int oe = day.ends[std::size_t(other)];
                    refused.other = amPmTime(os / 100, os % 100) + " - " +
                                    amPmTime(oe / 100, oe % 100) + " " +
                                    day.whos[std::size_t(other)];
                }
                out.refusedDays.push_back(std::move(refused));
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
            out.refusedDays.push_back({d, "", true});
            tell("Could not make reservation to database", kDatabaseError);
        } else {
            ++out.booked;
            out.bookedDays.push_back(d);
        }
        if (hooks.added) hooks.added(d, added);
        if (single) break;
    }
    return out;
}

std::optional<Message> seriesSummary(const BookingRequest& q, const BookingOutcome& out) {
    if (q.kind == kSingle || out.stayOpen || out.refusedDays.empty()) return std::nullopt;
    auto slash = [](const DayDate& d) {
        return tables::format("%02d/%02d/%04d", d.month, d.day, d.year);
    };
    const std::size_t total = out.bookedDays.size() + out.refusedDays.size();
    std::string text;
    if (out.bookedDays.empty()) {
        text = tables::format("None of the %zu days of the series was booked.", total);
    } else {
        text = tables::format(
            "%zu of the %zu days of the series were booked:", out.bookedDays.size(), total);
        for (const DayDate& d : out.bookedDays) text += "\n    " + slash(d);
    }
    text += tables::format("\n\n%zu %s not booked:", out.refusedDays.size(),
                           out.refusedDays.size() == 1 ? "day was" : "days were");
    for (const RefusedDay& r : out.refusedDays) {
        text += "\n    " + slash(r.day);
        if (r.failed)
            text += "  could not be written to the database";
        else if (!r.other.empty())
            text += "  taken: " + r.other;
        else
            text += "  taken";
    }
    return Message{text, "Series Booked in Part", PromptIcon::Information};
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

Message reservationChangedMessage() {
    return {
        "Another user has changed or cancelled this reservation. The list now shows the "
        "reservations as they are stored.",
        "Reservation Changed", PromptIcon::Information};
}

int cancelReservation(CSchedule& table, const std::string& facility, const DayDate& date,
                      int startClock, SeriesMember& member, long expectedRecord) {
    const int r = table.Seek(dateKey(date), facility, twoDigits(startClock / 100),
                             twoDigits(startClock % 100));
    if (r != 0) return r;
    if (expectedRecord != 0 && table.GetRecordNumber() != expectedRecord) return r4entry;
    member = seriesMemberOf(table);
    int d = table.Delete(false);
    // The mark goes to the disk now, and the record's lock with it: kept, it would stop
    // another user who still lists the reservation until this user locks something else.
    // Only a mark that reached the disk is a cancellation.
    if (d == 0) d = table.Flush();
    const int unlocked = table.Unlock();
    return d != 0 ? d : unlocked;
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
    // The rest of the series is one change under the whole-table lock: without it every
    // member's mark took its own record lock, its own index reads and its own unlock, some
    // ten system calls per day. The marks still reach the disk together, synced by the
    // Flush below, before the caller is told of them.
    if (int l = table.LockAll(); l != 0) return l < 0 ? l : -1;
    int cancelled = 0;
    for (DayDate t = addDays(m.date, step);; t = addDays(t, step)) {
        if (m.kind == kWeekdays && (weekday(t) == 0 || weekday(t) == 6)) continue;
        const std::string key = dateKey(t);
        if (key > endKey) break;
        const int r = table.Seek(key, m.facility, hh, mm);
        if (r == 3) break;
        if (r < 0) {
            // The seek also writes the previous member's mark: its failure ends the walk.
            table.Unlock();
            return r;
        }
        if (r != 0) continue;
        int month, day, year, h, mi;
        table.GetMade(month, day, year, h, mi);
        if (month == m.madeMonth && day == m.madeDay && year == m.madeYear && h == m.madeHH &&
            mi == m.madeMM) {
            // Each mark is written by the next positioning call; one that fails stops the
            // walk, and the caller learns that the rest is not wholly cancelled.
            if (int d = table.Delete(false); d != 0) {
                table.Unlock();
                return d < 0 ? d : -1;
            }
            ++cancelled;
        }
    }
    int r = cancelled > 0 ? table.Flush() : 0;
    if (int u = table.Unlock(); r == 0) r = u;
    if (r != 0) return r < 0 ? r : -1;
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
    return table.Update() == 0;
}

NotesWrite updateNotesOnce(CSchedule& table, const std::string& notes) {
    table.SetNotes(notes);
    const int old = table.SetLockAttempts(1);
    const int r = table.Update();
    table.SetLockAttempts(old);
    if (r == r4locked) return NotesWrite::kLocked;
    return r == 0 ? NotesWrite::kWritten : NotesWrite::kFailed;
}

NotesWrite storeNotesOnce(CSchedule& table, const std::string& facility, const DayDate& date,
                          int startClock, long recordNumber, const std::string& shownNotes,
                          const std::string& newNotes) {
    if (newNotes == shownNotes) return NotesWrite::kUnchanged;
    const int r = table.Seek(dateKey(date), facility, twoDigits(startClock / 100),
                             twoDigits(startClock % 100));
    if (r != 0 || table.GetRecordNumber() != recordNumber) return NotesWrite::kGone;
    return updateNotesOnce(table, newNotes);
}

}  // namespace quorvane
