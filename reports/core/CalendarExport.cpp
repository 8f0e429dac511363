#include "reports/core/CalendarExport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>

#include "base/Cp1252.h"
#include "tables/Schedule.h"

namespace quorvane {

namespace {

std::string utf8(const std::string& cp1252) {
    std::string out;
    out.reserve(cp1252.size());
    for (unsigned char byte : cp1252) {
        const char32_t c = cp1252::toUnicode(byte);
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::uint64_t fnv1a(const std::string& text) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

std::string hex64(std::uint64_t v) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(v));
    return text;
}

std::string hhmm(int h, int m) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d%02d", h, m);
    return text;
}

std::string localStamp(const DayDate& d, int h, int m, int s = 0) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02dT%02d%02d%02d", d.year, d.month, d.day, h, m, s);
    return text;
}

// The wall-clock text of a UTC instant shown with `offset` seconds east of UTC.
std::string stampAt(std::int64_t utc, int offset, bool zulu) {
    const std::int64_t t = utc + offset;
    std::int64_t days = t / 86400, secs = t % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    const DayDate d = dateFromDayNumber(days);
    return localStamp(d, int(secs / 3600), int(secs / 60 % 60), int(secs % 60)) + (zulu ? "Z" : "");
}

std::string offsetText(int seconds) {
    const char sign = seconds < 0 ? '-' : '+';
    const int a = seconds < 0 ? -seconds : seconds;
    char text[16];
    if (a % 60)
        std::snprintf(text, sizeof text, "%c%02d%02d%02d", sign, a / 3600, a / 60 % 60, a % 60);
    else
        std::snprintf(text, sizeof text, "%c%02d%02d", sign, a / 3600, a / 60 % 60);
    return text;
}

struct LocalOffset {
    int offset = 0;
    bool daylight = false;
};
LocalOffset offsetAt(std::int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    return {int(tm.tm_gmtoff), tm.tm_isdst > 0};
}

// An Olson name ("Europe/Amsterdam") from a TZ value or a zoneinfo path; empty otherwise.
std::string olsonName(std::string text) {
    if (!text.empty() && text[0] == ':') text.erase(0, 1);
    const std::size_t at = text.find("zoneinfo/");
    if (at != std::string::npos) text = text.substr(at + 9);
    if (text.empty() || text[0] == '/') return {};
    for (char c : text)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '/' || c == '_' || c == '-' ||
              c == '+'))
            return {};
    return text;
}

std::string zoneName() {
    if (const char* tz = std::getenv("TZ"); tz && *tz) {
        const std::string name = olsonName(tz);
        return name.empty() ? "Local" : name;
    }
    char link[4096];
    const ssize_t n = ::readlink("/etc/localtime", link, sizeof link - 1);
    if (n > 0) {
        const std::string name = olsonName(std::string(link, std::size_t(n)));
        if (!name.empty()) return name;
    }
    std::ifstream file("/etc/timezone");
    std::string line;
    if (std::getline(file, line)) {
        const std::string name = olsonName(line);
        if (!name.empty()) return name;
    }
    return "Local";
}

// Appends one content line, folded after 75 octets without cutting a UTF-8 sequence.
void addLine(std::string& out, const std::string& line) {
    std::size_t pos = 0;
    std::size_t room = 75;
    while (line.size() - pos > room) {
        std::size_t cut = pos + room;
        while (cut > pos && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
        out.append(line, pos, cut - pos);
        out += "\r\n ";
        pos = cut;
        room = 74;  // the leading blank counts
    }
    out.append(line, pos, std::string::npos);
    out += "\r\n";
}

std::string joined(std::initializer_list<std::string> parts) {
    std::string out;
    for (const std::string& p : parts) {
        if (p.empty()) continue;
        if (!out.empty()) out += ' ';
        out += p;
    }
    return out;
}

// The last day a series falls on by its rule: its end date, for a weekday series the last
// weekday up to it, for a weekly one the last day up to it on the member's weekday.
DayDate lastSeriesDay(const CalendarBooking& b) {
    if (!isValidDate(b.recurEnd) || !isValidDate(b.date)) return b.recurEnd;
    DayDate last = b.recurEnd;
    if (b.recurDays == 3)
        while (weekday(last) == 0 || weekday(last) == 6) last = addDays(last, -1);
    if (b.recurDays == 7) last = addDays(last, -int((dayNumber(last) - dayNumber(b.date)) % 7));
    return last;
}

}  // namespace

std::string calendarEscape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\\' || c == ';' || c == ',') {
            out += '\\';
            out += char(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if ((c < 0x20 && c != '\t') || c == 0x7F) {
            // Control characters are not text to a calendar reader (a notes field may hold
            // any byte): left out, as a carriage return always was.
            continue;
        } else if (c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            ++i;  // a C1 control (U+0080-U+009F), from a byte the code page leaves undefined
        } else {
            out += char(c);
        }
    }
    return out;
}

int collectBookings(CSchedule& schedule, const DayDate& from,
                    const std::function<bool(const CalendarBooking&)>& keep,
                    std::vector<CalendarBooking>& out) {
    out.clear();
    // With the facility and hour empty the seek lands on the first reservation of the date
    // or of any later date.
    int r = schedule.Seek(dateKey(from), "", "", "");
    while (r == 0) {
        CalendarBooking b;
        schedule.GetDate(b.date.month, b.date.day, b.date.year);
        schedule.GetStart(b.startHH, b.startMM);
        schedule.GetEnd(b.endHH, b.endMM);
        b.facility = schedule.GetFacility();
        schedule.GetNames(b.first, b.mi, b.last, b.phone, b.ext, b.org);
        b.notes = schedule.GetNotes();
        b.maintenance = schedule.IsMaintenance();
        b.recurDays = schedule.GetRecurDays();
        schedule.GetRecurDate(b.recurEnd.month, b.recurEnd.day, b.recurEnd.year);
        schedule.GetMade(b.made.month, b.made.day, b.made.year, b.madeHH, b.madeMM);
        if (b.date >= from && keep(b)) out.push_back(std::move(b));
        r = schedule.Next();
    }
    return r < 0 ? r : 0;
}

CalendarZone localCalendarZone(const DayDate& first, const DayDate& last) {
    CalendarZone zone;
    zone.id = zoneName();
    const std::int64_t start = localTimeValue(addDays(first, -1));
    const std::int64_t end = localTimeValue(addDays(last, 2));
    LocalOffset current = offsetAt(start);
    zone.changes.push_back({start, current.offset, current.offset, current.daylight});
    // Offsets change at most a few times a year and never twice within six hours.
    constexpr std::int64_t kStep = 6 * 3600;
    for (std::int64_t t = start; t < end; t += kStep) {
        const LocalOffset next = offsetAt(t + kStep);
        if (next.offset == current.offset && next.daylight == current.daylight) continue;
        std::int64_t lo = t, hi = t + kStep;  // current at lo, changed at hi
        while (hi - lo > 1) {
            const std::int64_t mid = lo + (hi - lo) / 2;
            const LocalOffset m = offsetAt(mid);
            (m.offset == current.offset && m.daylight == current.daylight ? lo : hi) = mid;
        }
        zone.changes.push_back({hi, current.offset, next.offset, next.daylight});
        current = next;
    }
    return zone;
}

std::string calendarUid(const std::string& groupId, const CalendarBooking& b) {
    return dateKey(b.date) + "T" + hhmm(b.startHH, b.startMM) + "-" + hex64(fnv1a(b.facility)) +
           "-" + dateKey(b.made) + hhmm(b.madeHH, b.madeMM) + "@" + hex64(fnv1a(groupId)) +
           ".quorvane";
}

std::string calendarText(const CalendarHeader& header, const CalendarZone& zone,
                         const std::vector<CalendarBooking>& bookings) {
    std::string out;
    addLine(out, "BEGIN:VCALENDAR");
    addLine(out, "VERSION:2.0");
    addLine(out, "PRODID:-//Vendrik//Quorvane//EN");
    addLine(out, "CALSCALE:GREGORIAN");
    addLine(out, "METHOD:PUBLISH");
    addLine(out, "X-WR-CALNAME:" + calendarEscape(utf8(header.name)));
    addLine(out, "X-WR-TIMEZONE:" + zone.id);

    addLine(out, "BEGIN:VTIMEZONE");
    addLine(out, "TZID:" + zone.id);
    for (const CalendarZone::Change& c : zone.changes) {
        const char* kind = c.daylight ? "DAYLIGHT" : "STANDARD";
        addLine(out, std::string("BEGIN:") + kind);
        // An observance starts at the local time of the offset it replaces.
        addLine(out, "DTSTART:" + stampAt(c.at, c.offsetFrom, false));
        addLine(out, "TZOFFSETFROM:" + offsetText(c.offsetFrom));
        addLine(out, "TZOFFSETTO:" + offsetText(c.offsetTo));
        addLine(out, std::string("END:") + kind);
    }
    addLine(out, "END:VTIMEZONE");

    // A series cut short (its rest cancelled, or its last days refused when booked) keeps the
    // end date it was booked with in every member; what is stored now ends with its last
    // member still there, and that is the date the calendar is told.
    auto seriesOf = [](const CalendarBooking& b) {
        return b.facility + '\0' + hhmm(b.startHH, b.startMM) + hhmm(b.endHH, b.endMM) +
               std::to_string(b.recurDays) + dateKey(b.recurEnd) + dateKey(b.made) +
               hhmm(b.madeHH, b.madeMM);
    };
    std::map<std::string, DayDate> seriesLast;
    for (const CalendarBooking& b : bookings) {
        if (b.recurDays == 0) continue;
        auto [it, added] = seriesLast.emplace(seriesOf(b), b.date);
        if (!added && it->second < b.date) it->second = b.date;
    }

    const std::string stamp = stampAt(header.stamp, 0, true);
    const std::string tz = ";TZID=" + zone.id + ":";
    for (const CalendarBooking& b : bookings) {
        addLine(out, "BEGIN:VEVENT");
        addLine(out, "UID:" + calendarUid(header.groupId, b));
        addLine(out, "DTSTAMP:" + stamp);
        addLine(out, "DTSTART" + tz + localStamp(b.date, b.startHH, b.startMM));
        if (b.endHH * 100 + b.endMM > b.startHH * 100 + b.startMM)
            addLine(out, "DTEND" + tz + localStamp(b.date, b.endHH, b.endMM));
        std::string who =
            b.maintenance ? b.last + " (maintenance)" : joined({b.first, b.mi, b.last});
        if (!b.maintenance && !b.org.empty()) who += " (" + b.org + ")";
        addLine(out, "SUMMARY:" + calendarEscape(utf8(b.facility + ": " + who)));
        addLine(out, "LOCATION:" + calendarEscape(utf8(b.facility + ", " + header.name)));
        std::string description = b.notes;
        if (b.recurDays == 1 || b.recurDays == 3 || b.recurDays == 7) {
            const char* every = b.recurDays == 1   ? "every day"
                                : b.recurDays == 3 ? "every weekday"
                                                   : "every week";
            if (!description.empty()) description += "\n";
            const DayDate stored = seriesLast[seriesOf(b)];
            const DayDate last = stored < lastSeriesDay(b) ? stored : b.recurEnd;
            description +=
                std::string("One of a series, ") + every + " until " + longDateText(last);
        }
        if (!description.empty()) addLine(out, "DESCRIPTION:" + calendarEscape(utf8(description)));
        addLine(out, b.maintenance ? "CATEGORIES:Maintenance" : "CATEGORIES:Reservation");
        addLine(out, "END:VEVENT");
    }
    addLine(out, "END:VCALENDAR");
    return out;
}

}  // namespace quorvane
