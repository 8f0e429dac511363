// The utilization figures: available time per weekday (calendar days, also across a change
// of the clocks), the window's clipping, reserved time per weekday, and the report lines.
#include <gtest/gtest.h>

#include "base/Clock.h"
#include "report_rows.h"
#include "reports/core/UtilizationReport.h"

namespace quorvane {
namespace {

using testing::booking;
using testing::MemoryCursor;
using testing::TimeZone;

using Week = std::array<double, 7>;  // Sunday first

TEST(Utilization, AvailableTimePerWeekday) {
    TimeZone zone("Europe/Amsterdam");
    struct Case {
        const char* name;
        std::int64_t start, end;
        bool window;
        int w1, w2;
        Week expectedDays;  // in units of the day's available time
        double present, working;
    };
    const double H = 3600;
    const std::vector<Case> cases = {
        {"one day, start 00:00, end later that day (Monday)",
         Clock::fromLocal(2026, 3, 2),
         Clock::fromLocal(2026, 3, 2, 17),
         false,
         0,
         0,
         {0, 1, 0, 0, 0, 0, 0},
         1,
         1},
        {"Monday to the next Monday at noon: two Mondays",
         Clock::fromLocal(2026, 3, 2),
         Clock::fromLocal(2026, 3, 9, 12),
         false,
         0,
         0,
         {1, 2, 1, 1, 1, 1, 1},
         7,
         5},
        {"Friday to Monday wraps the week",
         Clock::fromLocal(2026, 3, 6),
         Clock::fromLocal(2026, 3, 9, 8),
         false,
         0,
         0,
         {1, 1, 0, 0, 0, 1, 1},
         4,
         2},
        {"window 20-24 on a Saturday",
         Clock::fromLocal(2026, 3, 7),
         Clock::fromLocal(2026, 3, 7, 9),
         true,
         20,
         24,
         {0, 0, 0, 0, 0, 0, 1},
         1,
         0},
        // The clocks go forward on 29 March 2026: still eight calendar days, Sunday twice.
        {"across spring forward",
         Clock::fromLocal(2026, 3, 22),
         Clock::fromLocal(2026, 3, 29),
         false,
         0,
         0,
         {2, 1, 1, 1, 1, 1, 1},
         7,
         5},
        // The clocks go back on 25 October 2026: Monday 19th to Sunday 25th 23:30 is seven
        // days, not eight.
        {"across fall back",
         Clock::fromLocal(2026, 10, 19),
         Clock::fromLocal(2026, 10, 25, 23, 30),
         false,
         0,
         0,
         {1, 1, 1, 1, 1, 1, 1},
         7,
         5},
        {"thirty years",
         Clock::fromLocal(1996, 1, 1),
         Clock::fromLocal(2025, 12, 31, 23),
         false,
         0,
         0,
         {1565, 1566, 1566, 1566, 1565, 1565, 1565},
         7,
         5},
    };
    for (const Case& c : cases) {
        const Availability a = availableTime(c.start, c.end, c.window, c.w1, c.w2);
        const double perDay = c.window ? (c.w2 - c.w1) * H : 24 * H;
        for (int i = 0; i < 7; ++i)
            EXPECT_EQ(a.seconds[std::size_t(i)], c.expectedDays[std::size_t(i)] * perDay)
                << c.name << ", weekday " << i;
        EXPECT_EQ(a.weekdaysPresent, c.present) << c.name;
        EXPECT_EQ(a.workingDaysPresent, c.working) << c.name;
    }
}

TEST(Utilization, ClippingToTheWindow) {
    struct Case {
        const char* name;
        int w1, w2, sh, sm, eh, em;
        bool counted;
        int csh, csm, ceh, cem;
    };
    const std::vector<Case> cases = {
        {"07:00-08:30 ends in the window's first hour", 8, 20, 7, 0, 8, 30, false, 0, 0, 0, 0},
        {"06:00-22:30 counts 08:00-20:00", 8, 20, 6, 0, 22, 30, true, 8, 0, 20, 0},
        {"19:00-20:45 counts 19:00-20:00", 8, 20, 19, 0, 20, 45, true, 19, 0, 20, 0},
        {"inside stays", 8, 20, 9, 15, 10, 45, true, 9, 15, 10, 45},
        {"starts at the window's end", 8, 20, 20, 0, 21, 0, false, 0, 0, 0, 0},
        {"after the window", 8, 20, 21, 0, 22, 0, false, 0, 0, 0, 0},
        {"before the window", 8, 20, 5, 0, 7, 30, false, 0, 0, 0, 0},
        {"evening window to midnight", 20, 24, 19, 30, 23, 59, true, 20, 0, 23, 59},
    };
    for (const Case& c : cases) {
        int sh = c.sh, sm = c.sm, eh = c.eh, em = c.em;
        ASSERT_EQ(clipToWindow(c.w1, c.w2, sh, sm, eh, em), c.counted) << c.name;
        if (c.counted) {
            EXPECT_EQ(std::vector<int>({sh, sm, eh, em}),
                      std::vector<int>({c.csh, c.csm, c.ceh, c.cem}))
                << c.name;
        }
    }
}

std::array<std::string, kSlots> courts() {
    std::array<std::string, kSlots> s;
    s[0] = "Court 1";
    s[1] = "Court 2";
    s[2] = "Court 3";
    return s;
}

TEST(Utilization, SharesPerFacilityAndWeekday) {
    TimeZone zone("Europe/Amsterdam");
    // Monday 2 March to Monday 9 March 2026, 12:00: two Mondays, one of every other day.
    ReportCriteria c;
    c.rangeStart = Clock::fromLocal(2026, 3, 2);
    c.rangeEnd = Clock::fromLocal(2026, 3, 9, 12);
    c.facilities = {0, 2};
    const std::vector<ReservationRecord> rows = {
        booking(2026, 3, 1, "Court 1", 8, 0, 20, 0),   // before the range
        booking(2026, 3, 2, "Court 1", 0, 0, 12, 0),   // 12 h on the first Monday
        booking(2026, 3, 3, "Court 1", 6, 0, 22, 30),  // 16.5 h on Tuesday
        booking(2026, 3, 3, "Court 2", 6, 0, 22, 0),   // not selected
        booking(2026, 3, 9, "Court 1", 0, 0, 23, 59),  // the last day's midnight is in range
        booking(2026, 3, 10, "Court 1", 8, 0, 9, 0),   // after it
        booking(2026, 3, 4, "Gone", 8, 0, 9, 0),       // not in the group
    };
    MemoryCursor cursor(rows);
    const UtilizationResult r = computeUtilization(c, courts(), 3, cursor);
    EXPECT_TRUE(r.rooms[0].selected);
    EXPECT_FALSE(r.rooms[1].selected);
    EXPECT_TRUE(r.rooms[2].selected);
    EXPECT_DOUBLE_EQ(r.rooms[0].share[1], (12 * 3600 + 23 * 3600 + 59 * 60) / (2 * 86400.0));
    EXPECT_DOUBLE_EQ(r.rooms[0].share[2], 16.5 / 24);
    EXPECT_EQ(r.rooms[1].share[2], 0);
    EXPECT_EQ(r.rooms[2].share, Week{});

    // With the window 08-20 the Tuesday counts twelve hours of twelve.
    c.useHourWindow = true;
    c.windowStart = 8;
    c.windowEnd = 20;
    MemoryCursor again(rows);
    const UtilizationResult w = computeUtilization(c, courts(), 3, again);
    EXPECT_DOUBLE_EQ(w.rooms[0].share[2], 1.0);

    // A start that kept a time of day (10:00, or 10:00 with an end at 08:00) still starts the
    // range at 00:00 of its day: the first Monday's 12 hours and both Mondays count, as from
    // midnight. (The first day's bookings used to be left out, its share 0.00.)
    c.useHourWindow = false;
    for (const std::int64_t end : {c.rangeEnd, Clock::fromLocal(2026, 3, 9, 8)}) {
        c.rangeStart = Clock::fromLocal(2026, 3, 2, 10);
        c.rangeEnd = end;
        MemoryCursor late(rows);
        const UtilizationResult l = computeUtilization(c, courts(), 3, late);
        EXPECT_EQ(l.available.seconds, r.available.seconds);
        EXPECT_DOUBLE_EQ(l.rooms[0].share[1], r.rooms[0].share[1]);
    }
}

TEST(Utilization, OneDayRangeAveragesThatDay) {
    // Monday 00:00 to 17:00: only Monday has available time; the other weekdays show 0.00
    // and both averages are Monday's share.
    ReportCriteria c;
    c.rangeStart = Clock::fromLocal(2026, 3, 2);
    c.rangeEnd = Clock::fromLocal(2026, 3, 2, 17);
    c.facilities = {0};
    MemoryCursor cursor({booking(2026, 3, 2, "Court 1", 6, 0, 12, 0)});
    const UtilizationResult r = computeUtilization(c, courts(), 3, cursor);
    ReportLines out;
    utilizationLines(c, r, courts(), out);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(
        out.line(3),
        "Court 1             0.00  0.25  0.00  0.00  0.00  0.00  0.00      0.25         0.25");
}

TEST(Utilization, ClockChangeDayFullyBookedIsOne) {
    TimeZone zone("Europe/Amsterdam");
    ReportCriteria c;
    c.rangeStart = Clock::fromLocal(2026, 3, 29);  // Sunday, the clocks go forward
    c.rangeEnd = Clock::fromLocal(2026, 3, 29, 18);
    c.facilities = {0};
    MemoryCursor cursor({booking(2026, 3, 29, "Court 1", 0, 0, 12, 0),
                         booking(2026, 3, 29, "Court 1", 12, 0, 23, 59)});
    const UtilizationResult r = computeUtilization(c, courts(), 3, cursor);
    EXPECT_NEAR(r.rooms[0].share[0], 1.0, 60.0 / 86400 + 1e-12);
}

TEST(Utilization, SeekGivesTheWholeScansFigures) {
    std::vector<ReservationRecord> rows;
    for (int d = 0; d < 40; ++d) {
        const DayDate day = addDays(DayDate{2026, 1, 1}, d);
        rows.push_back(booking(day.year, day.month, day.day, "Court 1", d % 20, 0, d % 20 + 2, 30));
        rows.push_back(booking(day.year, day.month, day.day, "Court 3", 7, 0, 21, 0));
    }
    for (int a = 0; a < 40; a += 7) {
        ReportCriteria c;
        c.rangeStart = localTimeValue(addDays(DayDate{2026, 1, 1}, a));
        c.rangeEnd = localTimeValue(addDays(DayDate{2026, 1, 1}, a + 9), 9);
        c.facilities = {0, 2};
        c.useHourWindow = a % 2 == 0;
        c.windowStart = 8;
        c.windowEnd = 20;
        MemoryCursor s(rows), w(rows);
        const auto seek = computeUtilization(c, courts(), 3, s, ReportScan::FromRangeStart);
        const auto whole = computeUtilization(c, courts(), 3, w, ReportScan::WholeTable);
        for (int i = 0; i < kSlots; ++i)
            EXPECT_EQ(seek.rooms[std::size_t(i)].share, whole.rooms[std::size_t(i)].share);
        EXPECT_LT(seek.recordsRead, whole.recordsRead);
    }
}

TEST(Utilization, OptionRules) {
    struct Case {
        const char* name;
        UtilizationOptions o;
        const char* caption;  // empty: accepted
        int windowEnd;
    };
    const std::vector<Case> cases = {
        {"window 08-20", {0, 10, true, 8, 20, {0}}, "", 20},
        {"20 to midnight is 20-24", {0, 10, true, 20, 0, {0}}, "", 24},
        {"12 to midnight is 12-24", {0, 10, true, 12, 0, {0}}, "", 24},
        {"midnight to midnight", {0, 10, true, 0, 0, {0}}, "Time Window Error", 0},
        {"end before start", {0, 10, true, 14, 9, {0}}, "Time Window Error", 0},
        {"bad hours unused without the box", {0, 10, false, 14, 9, {0}}, "", 9},
        {"dates reversed", {10, 9, false, 6, 18, {0}}, "Utilization Dates Error", 0},
        {"equal instants", {10, 10, false, 6, 18, {1}}, "", 18},
        {"no facility", {0, 10, false, 6, 18, {}}, "No Facility Selected", 0},
    };
    for (const Case& c : cases) {
        const auto r = checkUtilizationOptions(c.o);
        EXPECT_EQ(r ? r->title : std::string(), c.caption) << c.name;
        if (r) continue;
        ReportCriteria criteria;
        storeUtilizationOptions(c.o, criteria);
        EXPECT_EQ(criteria.windowEnd, c.windowEnd) << c.name;
    }
}

TEST(Utilization, ReportLines) {
    ReportCriteria c;
    c.rangeStart = Clock::fromLocal(2026, 3, 2);
    c.rangeEnd = Clock::fromLocal(2026, 3, 8, 12);
    UtilizationResult r;
    r.available = availableTime(c.rangeStart, c.rangeEnd, false, 0, 0);
    r.rooms[0].selected = true;
    r.rooms[0].share = {0, 0.5, 0.25, 1, 0, 0, 0.125};
    r.rooms[2].selected = true;
    ReportLines out;
    utilizationLines(c, r, courts(), out);
    const auto lines = out.toVector();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "Utilization from 03/02/2026 to 03/08/2026 ");
    EXPECT_EQ(lines[2].size(), 88u);
    EXPECT_EQ(
        lines[3],
        "Court 1             0.00  0.50  0.25  1.00  0.00  0.00  0.12      0.27         0.35");
    EXPECT_EQ(
        lines[4],
        "Court 3             0.00  0.00  0.00  0.00  0.00  0.00  0.00      0.00         0.00");

    struct Hours {
        int w1, w2;
        const char* text;
    };
    for (const Hours& h : std::vector<Hours>{{8, 20, "for the hours of 08am to 08pm"},
                                             {0, 12, "for the hours of 00am to 12pm"},
                                             {20, 24, "for the hours of 08pm to 00am"}}) {
        c.useHourWindow = true;
        c.windowStart = h.w1;
        c.windowEnd = h.w2;
        EXPECT_EQ(utilizationHoursText(c), h.text);
    }
}

}  // namespace
}  // namespace quorvane
