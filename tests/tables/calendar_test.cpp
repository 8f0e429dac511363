// Dates and the twelve-hour face shared by every layer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "base/Calendar.h"

namespace quorvane {
namespace {

TEST(CalendarTest, DateKeysAndTheirParsing) {
    EXPECT_EQ(dateKey(2026, 3, 9), "20260309");
    EXPECT_EQ(dateKey(DayDate{99, 12, 1}), "00991201");
    EXPECT_EQ(dateKey(10000, 1, 1), "100000101");  // out of range: printf's width, not cut
    DayDate d{1, 1, 1};
    EXPECT_TRUE(parseDateKey("20240229", d));
    EXPECT_EQ(d, (DayDate{2024, 2, 29}));
    for (const char* bad : {"20230229", "2024022", "2024o229", "20241301", "20240100", ""}) {
        EXPECT_FALSE(parseDateKey(bad, d)) << bad;
        EXPECT_EQ(d, (DayDate{2024, 2, 29}));
    }
}

TEST(CalendarTest, DayNumbersStepOverMonthsYearsAndLeapDays) {
    struct Case {
        DayDate from;
        int days;
        DayDate to;
    } cases[] = {{{1970, 1, 1}, 0, {1970, 1, 1}},      {{2024, 2, 28}, 1, {2024, 2, 29}},
                 {{2023, 2, 28}, 1, {2023, 3, 1}},     {{2026, 12, 31}, 1, {2027, 1, 1}},
                 {{2000, 3, 1}, -1, {2000, 2, 29}},    {{1900, 3, 1}, -1, {1900, 2, 28}},
                 {{2026, 3, 28}, 7, {2026, 4, 4}},     {{1969, 12, 31}, 1, {1970, 1, 1}},
                 {{2099, 12, 31}, -364, {2099, 1, 1}}, {{1970, 1, 1}, 36524, {2069, 12, 31}}};
    for (const Case& c : cases) {
        EXPECT_EQ(addDays(c.from, c.days), c.to) << dateKey(c.from) << " + " << c.days;
        EXPECT_EQ(dayNumber(c.to) - dayNumber(c.from), c.days);
    }
    EXPECT_EQ(weekday({1970, 1, 1}), 4);  // Thursday
    EXPECT_EQ(weekday({2026, 12, 6}), 0);
    EXPECT_EQ(weekday({2026, 12, 12}), 6);
}

TEST(CalendarTest, LocalDatesAcrossAClockChange) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", "Europe/Amsterdam", 1);
    tzset();
    // 29 March 2026 has 23 hours, 25 October 2026 has 25.
    const std::int64_t spring = localTimeValue({2026, 3, 29});
    EXPECT_EQ(localTimeValue({2026, 3, 30}) - spring, 23 * 3600);
    EXPECT_EQ(localTimeValue({2026, 10, 26}) - localTimeValue({2026, 10, 25}), 25 * 3600);
    EXPECT_EQ(localDate(spring + 23 * 3600 - 1), (DayDate{2026, 3, 29}));
    EXPECT_EQ(localDate(localTimeValue({2026, 10, 25}, 23, 59)), (DayDate{2026, 10, 25}));
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(CalendarTest, TwelveHourFace) {
    struct Case {
        int hour, minute;
        const char* text;
    } cases[] = {{0, 15, "00:15 AM"},  {9, 5, "09:05 AM"},  {11, 59, "11:59 AM"},
                 {12, 45, "12:45 PM"}, {13, 0, "01:00 PM"}, {23, 30, "11:30 PM"}};
    for (const Case& c : cases) EXPECT_EQ(amPmTime(c.hour, c.minute), c.text);
}

}  // namespace
}  // namespace quorvane
