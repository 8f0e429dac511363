#pragma once
// Calendar dates and times of day as every layer shows and stores them. Days are counted on
// the calendar, never as 86,400-second steps: on the days the clocks change a day is 23 or 25
// hours long, and a stepped time value would skip or repeat a date.
#include <cstdint>
#include <string>

namespace quorvane {

struct DayDate {
    int year = 0, month = 0, day = 0;
    bool operator==(const DayDate&) const = default;
    auto operator<=>(const DayDate&) const = default;
};

// The stored form of a date, "%04d%02d%02d": sorts by date as plain text.
std::string dateKey(int year, int month, int day);
inline std::string dateKey(const DayDate& d) {
    return dateKey(d.year, d.month, d.day);
}
// Reads eight digits of a real calendar date; false for anything else (the date is untouched).
bool parseDateKey(const std::string& key, DayDate& out);
bool isValidDate(const DayDate& d);

// Days since 1970-01-01 of a (proleptic Gregorian) date, and back.
std::int64_t dayNumber(const DayDate& d);
DayDate dateFromDayNumber(std::int64_t days);
inline DayDate addDays(const DayDate& d, int days) {
    return dateFromDayNumber(dayNumber(d) + days);
}
// 0 = Sunday ... 6 = Saturday.
int weekday(const DayDate& d);

// The local calendar date of a time value (seconds since 1970), and the time value of a local
// wall-clock time on a date (the C library resolves the clock change).
DayDate localDate(std::int64_t t);
std::int64_t localTimeValue(const DayDate& d, int hour = 0, int minute = 0, int second = 0);

// "%A, %B %d, %Y" in English ("Thursday, January 01, 1970"); the date key for a date that is
// not a real one, so a damaged record still shows what it holds.
std::string longDateText(const DayDate& d);

// The twelve-hour face: an hour below 12 stays (0 stays 0), 12 stays 12 in the afternoon, an
// hour above 12 loses 12.
struct TwelveHour {
    int hour = 0;
    bool pm = false;
};
TwelveHour twelveHour(int hour24);
// "%02d:%02d %s" with "AM" / "PM": 13:05 gives "01:05 PM", 0:15 gives "00:15 AM".
std::string amPmTime(int hour24, int minute);

}  // namespace quorvane
