#include "base/Calendar.h"

#include <cstdio>

#include "base/Clock.h"

namespace quorvane {

std::string dateKey(int year, int month, int day) {
    if (year < 0 || year > 9999 || month < 0 || month > 99 || day < 0 || day > 99) {
        char buf[48];
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", year, month, day);
        return buf;
    }
    // Walks test every record against a date key: no printf machinery in the common case.
    const char k[8] = {char('0' + year / 1000),    char('0' + year / 100 % 10),
                       char('0' + year / 10 % 10), char('0' + year % 10),
                       char('0' + month / 10),     char('0' + month % 10),
                       char('0' + day / 10),       char('0' + day % 10)};
    return std::string(k, 8);
}

static int daysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

bool isValidDate(const DayDate& d) {
    return d.year >= 1 && d.year <= 9999 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
           d.day <= daysInMonth(d.year, d.month);
}

bool parseDateKey(const std::string& key, DayDate& out) {
    if (key.size() != 8) return false;
    for (char c : key)
        if (c < '0' || c > '9') return false;
    const DayDate d{std::stoi(key.substr(0, 4)), std::stoi(key.substr(4, 2)),
                    std::stoi(key.substr(6, 2))};
    if (!isValidDate(d)) return false;
    out = d;
    return true;
}

// Civil-date arithmetic on the proleptic Gregorian calendar (eras of 400 years).
std::int64_t dayNumber(const DayDate& d) {
    const std::int64_t y = d.year - (d.month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (d.month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + d.day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

DayDate dateFromDayNumber(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    return DayDate{int(yoe + era * 400 + (month <= 2 ? 1 : 0)), month, day};
}

int weekday(const DayDate& d) {
    const std::int64_t n = dayNumber(d);  // 1970-01-01 was a Thursday
    return int(((n % 7) + 7 + 4) % 7);
}

DayDate localDate(std::int64_t t) {
    const LocalTime lt = Clock::toLocal(t);
    return DayDate{lt.year, lt.month, lt.day};
}

std::int64_t localTimeValue(const DayDate& d, int hour, int minute, int second) {
    return Clock::fromLocal(d.year, d.month, d.day, hour, minute, second);
}

std::string longDateText(const DayDate& d) {
    static const char* const kDays[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                         "Thursday", "Friday", "Saturday"};
    static const char* const kMonths[12] = {"January",   "February", "March",    "April",
                                            "May",       "June",     "July",     "August",
                                            "September", "October",  "November", "December"};
    if (!isValidDate(d)) return dateKey(d);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %s %02d, %04d", kDays[weekday(d)], kMonths[d.month - 1],
                  d.day, d.year);
    return buf;
}

TwelveHour twelveHour(int hour24) {
    if (hour24 < 12) return {hour24, false};
    if (hour24 == 12) return {12, true};
    return {hour24 - 12, true};
}

std::string amPmTime(int hour24, int minute) {
    const TwelveHour h = twelveHour(hour24);
    if (h.hour >= 0 && h.hour <= 99 && minute >= 0 && minute <= 99) {
        // Every listed line shows two of these: spelled out, not formatted.
        const char t[8] = {char('0' + h.hour / 10),
                           char('0' + h.hour % 10),
                           ':',
                           char('0' + minute / 10),
                           char('0' + minute % 10),
                           ' ',
                           h.pm ? 'P' : 'A',
                           'M'};
        return std::string(t, sizeof t);
    }
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02d:%02d %s", h.hour, minute, h.pm ? "PM" : "AM");
    return buf;
}

}  // namespace quorvane
