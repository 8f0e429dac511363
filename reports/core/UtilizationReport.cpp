#include "reports/core/UtilizationReport.h"

#include <charconv>
#include <cstdio>

#include "base/Calendar.h"
#include "base/Clock.h"

namespace quorvane {

namespace {

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kWeek = 7 * kDay;

std::string fixed2(double value) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
    return std::string(buf, r.ptr);
}

int dateNumber(const DayDate& d) {
    return d.year * 10000 + d.month * 100 + d.day;
}

int secondsOfDay(std::int64_t t) {
    const LocalTime l = Clock::toLocal(t);
    return l.hour * 3600 + l.minute * 60 + l.second;
}

}  // namespace

int utilizationWindowEnd(int startHour, int endHour) {
    return endHour <= startHour && endHour == 0 && startHour > 0 ? 24 : endHour;
}

std::optional<Message> checkUtilizationOptions(const UtilizationOptions& o) {
    auto refusal = [](const char* text, const char* caption) {
        return Message{text, caption, PromptIcon::None};
    };
    if (o.useHourWindow && utilizationWindowEnd(o.startHour, o.endHour) <= o.startHour)
        return refusal("Starting hour for utilization must be less than ending hour",
                       "Time Window Error");
    if (o.end < o.start)
        return refusal("Starting date for utilization must be less or equal to ending date",
                       "Utilization Dates Error");
    if (o.facilities.empty())
        return refusal("You must select at least one facility from the list",
                       "No Facility Selected");
    return std::nullopt;
}

void storeUtilizationOptions(const UtilizationOptions& o, ReportCriteria& criteria) {
    criteria.useHourWindow = o.useHourWindow;
    criteria.windowStart = o.startHour;
    criteria.windowEnd = o.useHourWindow ? utilizationWindowEnd(o.startHour, o.endHour) : o.endHour;
    criteria.rangeStart = o.start;
    criteria.rangeEnd = o.end;
    criteria.facilities = o.facilities;
}

Availability availableTime(std::int64_t rangeStart, std::int64_t rangeEnd, bool useHourWindow,
                           int windowStart, int windowEnd) {
    Availability a;
    const double perDay = useHourWindow ? double(windowEnd - windowStart) * 3600 : double(kDay);
    const DayDate from = localDate(rangeStart);
    const DayDate to = localDate(rangeEnd);
    // The length of the range plus one day, as whole calendar days and the difference of the
    // two times of day: where the clocks do not change this is the elapsed time plus a day,
    // and where they do, no hour is lost or gained.
    std::int64_t span = (dayNumber(to) - dayNumber(from) + 1) * kDay + secondsOfDay(rangeEnd) -
                        secondsOfDay(rangeStart);
    if (span < 0) span = 0;
    const std::int64_t weeks = span / kWeek;
    const std::int64_t extraDays = (span % kWeek) / kDay;
    const int first = weekday(from);
    const int last = weekday(to);
    for (int i = 0; i < 7; ++i) {
        bool inRun = false;
        if (first < last)
            inRun = first <= i && i <= last;
        else if (first > last)
            inRun = i >= first || i <= last;
        else
            inRun = i == first;
        a.seconds[std::size_t(i)] = double(weeks) * perDay + (extraDays != 0 && inRun ? perDay : 0);
    }
    for (int i = 0; i < 7; ++i) {
        if (a.seconds[std::size_t(i)] == 0) continue;
        a.weekdaysPresent += 1;
        if (i >= 1 && i <= 5) a.workingDaysPresent += 1;
    }
    return a;
}

bool clipToWindow(int w1, int w2, int& startHour, int& startMinute, int& endHour, int& endMinute) {
    if (startHour < w1) {
        if (endHour <= w1) return false;
        startHour = w1;
        startMinute = 0;
        if (endHour >= w2) {
            endHour = w2;
            endMinute = 0;
        }
        return true;
    }
    if (endHour < w2) return true;
    if (endHour == w2) {
        if (startHour == w2) return false;
        endMinute = 0;
        return true;
    }
    if (startHour >= w2) return false;
    endHour = w2;
    endMinute = 0;
    return true;
}

UtilizationResult computeUtilization(const ReportCriteria& criteria,
                                     const std::array<std::string, kSlots>& slotNames,
                                     int facilityCount, ReservationCursor& cursor,
                                     ReportScan scan) {
    UtilizationResult result;
    std::vector<std::string> wanted;
    for (int position : criteria.facilities)
        if (position >= 0 && position < facilityCount && position < kSlots)
            wanted.push_back(slotNames[std::size_t(position)]);
    auto isWanted = [&](const std::string& name) {
        for (const std::string& w : wanted)
            if (w == name) return true;
        return false;
    };
    for (int s = 0; s < kSlots; ++s)
        result.rooms[std::size_t(s)].selected = isWanted(slotNames[std::size_t(s)]);

    // The range starts at 00:00 of its first day, whatever time of day the start control
    // kept (it keeps the clock time it was given): that day's bookings and hours count.
    const DayDate from = localDate(criteria.rangeStart);
    const DayDate to = localDate(criteria.rangeEnd);
    result.available =
        availableTime(localTimeValue(from), criteria.rangeEnd, criteria.useHourWindow,
                      criteria.windowStart, criteria.windowEnd);

    // A record counts when its day's midnight lies in the range: every day from the first,
    // the last day when its midnight is not after the range end.
    const int firstDay = dateNumber(from);
    const int lastDay = dateNumber(to);
    const bool lastCounts = localTimeValue(to) <= criteria.rangeEnd;

    std::array<std::array<double, 7>, kSlots> reserved{};
    ReservationRecord rec;
    const int r = scanDateRange(cursor, scan, dateKey(from), lastDay, rec, result.recordsRead, [&] {
        const int day = rec.dateNumber();
        if (!isWanted(rec.facility)) return true;
        if (day < firstDay || day > lastDay) return true;
        if (day == lastDay && !lastCounts) return true;
        int sh = rec.startHour, sm = rec.startMinute, eh = rec.endHour, em = rec.endMinute;
        if (criteria.useHourWindow &&
            !clipToWindow(criteria.windowStart, criteria.windowEnd, sh, sm, eh, em))
            return true;
        // Wall-clock time, as the available time is counted: a day the clocks change still
        // has its whole hours, so a fully booked day is a share of 1.00.
        const int seconds = ((eh * 60 + em) - (sh * 60 + sm)) * 60;
        if (seconds <= 0) return true;
        for (int s = 0; s < kSlots; ++s) {
            if (slotNames[std::size_t(s)] != rec.facility) continue;
            const DayDate d{rec.year, rec.month, rec.day};
            reserved[std::size_t(s)][std::size_t(weekday(d))] += seconds;
            break;
        }
        return true;
    });
    if (r < 0) result.readError = r;

    for (int s = 0; s < kSlots; ++s)
        for (int i = 0; i < 7; ++i) {
            const double available = result.available.seconds[std::size_t(i)];
            result.rooms[std::size_t(s)].share[std::size_t(i)] =
                available > 0 ? reserved[std::size_t(s)][std::size_t(i)] / available : 0;
        }
    return result;
}

std::string utilizationHoursText(const ReportCriteria& c) {
    if (!c.useHourWindow) return {};
    auto face = [](int hour, int& shown) -> const char* {
        if (hour == 24) {
            shown = 0;
            return "am";
        }
        const TwelveHour h = twelveHour(hour);
        shown = h.hour;
        return h.pm ? "pm" : "am";
    };
    int s = 0, e = 0;
    const char* sm = face(c.windowStart, s);
    const char* em = face(c.windowEnd, e);
    char buf[96];
    std::snprintf(buf, sizeof buf, "for the hours of %02d%s to %02d%s", s, sm, e, em);
    return buf;
}

void utilizationLines(const ReportCriteria& criteria, const UtilizationResult& result,
                      const std::array<std::string, kSlots>& slotNames, ReportLines& out) {
    const DayDate from = localDate(criteria.rangeStart);
    const DayDate to = localDate(criteria.rangeEnd);
    char buf[512];
    std::snprintf(buf, sizeof buf, "Utilization from %02d/%02d/%04d to %02d/%02d/%04d %s",
                  from.month, from.day, from.year, to.month, to.day, to.year,
                  utilizationHoursText(criteria).c_str());
    out.append(buf);
    out.append(" ");
    out.append(
        "Name                Sun   Mon   Tue   Wed   Thur  Fri   Sat    Weekly Avg    Mon-Fri Avg");
    const Availability& a = result.available;
    for (int s = 0; s < kSlots; ++s) {
        const FacilityUse& use = result.rooms[std::size_t(s)];
        if (!use.selected) continue;
        const auto& u = use.share;
        const double week = u[0] + u[1] + u[2] + u[3] + u[4] + u[5] + u[6];
        const double work = u[1] + u[2] + u[3] + u[4] + u[5];
        const double weekly = a.weekdaysPresent > 0 ? week / a.weekdaysPresent : 0;
        const double workAvg = a.workingDaysPresent > 0 ? work / a.workingDaysPresent : 0;
        std::snprintf(buf, sizeof buf, "%-20s%s  %s  %s  %s  %s  %s  %s      %s         %s",
                      slotNames[std::size_t(s)].c_str(), fixed2(u[0]).c_str(), fixed2(u[1]).c_str(),
                      fixed2(u[2]).c_str(), fixed2(u[3]).c_str(), fixed2(u[4]).c_str(),
                      fixed2(u[5]).c_str(), fixed2(u[6]).c_str(), fixed2(weekly).c_str(),
                      fixed2(workAvg).c_str());
        out.append(buf);
    }
}

}  // namespace quorvane
