// The reservation report's lines: formats, group breaks, selection, the early stop, and the
// seek to the range's first day giving the same bytes as a scan of the whole table.
#include <gtest/gtest.h>

#include <random>

#include "../tables/tables_testutil.h"
#include "base/Clock.h"
#include "engine/io4.h"
#include "report_rows.h"
#include "reports/core/ReservationReport.h"
#include "tables/RecordRows.h"
#include "tables/Schedule.h"

namespace quorvane {
namespace {

using testing::booking;
using testing::MemoryCursor;

const std::vector<std::string> kCourts = {"Court 1", "Court 2", "Court 3"};

ReportCriteria range(int y0, int m0, int d0, int y1, int m1, int d1, int endHour = 12) {
    ReportCriteria c;
    c.rangeStart = Clock::fromLocal(y0, m0, d0);
    c.rangeEnd = Clock::fromLocal(y1, m1, d1, endHour, 30);
    return c;
}

std::vector<std::string> build(const ReportCriteria& c, std::vector<ReservationRecord> rows,
                               ReportScan scan = ReportScan::FromRangeStart) {
    MemoryCursor cursor(std::move(rows));
    ReportLines out;
    buildReservationReport(c, kCourts, cursor, out, scan);
    return out.toVector();
}

const std::string kHeader = "Item Name       Date       Start  End    Person Name";

TEST(ReservationReport, LinesOfAWholeReport) {
    struct Case {
        const char* name;
        ReportCriteria criteria;
        std::vector<ReservationRecord> rows;
        std::vector<std::string> expected;
    };
    const std::vector<ReservationRecord> week = {
        booking(2026, 3, 2, "Court 2", 9, 0, 10, 0),
        booking(2026, 3, 2, "Court 1", 0, 15, 12, 45, "Vos", "Els", "", "555-0101", "12"),
        booking(2026, 3, 2, "Court 1", 13, 0, 14, 30, "Lines", "", "", "", ""),
        booking(2026, 3, 3, "Court 1", 18, 0, 19, 0, "Bakker", "Jan", "P", ""),
        booking(2026, 3, 9, "Court 3", 8, 0, 9, 0),
    };
    const std::vector<Case> cases = {
        {"nothing in range gives four lines",
         range(2026, 4, 1, 2026, 4, 30),
         week,
         {"Reservation Report from 04/01/2026 to 04/30/2026", " ", kHeader, "**End of Report**"}},
        {"empty table",
         range(2026, 4, 1, 2026, 4, 30),
         {},
         {"Reservation Report from 04/01/2026 to 04/30/2026", " ", kHeader, "**End of Report**"}},
        {"groups by day and facility, markers, phone forms",
         range(2026, 3, 2, 2026, 3, 3),
         week,
         {"Reservation Report from 03/02/2026 to 03/03/2026", " ", kHeader, " ",
          "Court 1         03/02/2026 00:15a 12:45p Vos, Els  (555-0101 x-12)",
          "Court 1         03/02/2026 01:00p 02:30p Lines ",
          "Total Reservations for Court 1 for 03/02/2026 is 2", " ",
          "Court 2         03/02/2026 09:00a 10:00a Smith, John Q (555-1234)",
          "Total Reservations for Court 2 for 03/02/2026 is 1", " ",
          "Court 1         03/03/2026 06:00p 07:00p Bakker, Jan P ",
          "Total Reservations for Court 1 for 03/03/2026 is 1", "**End of Report**"}},
        {"a range of one day, end later that day",
         range(2026, 3, 9, 2026, 3, 9, 15),
         week,
         {"Reservation Report from 03/09/2026 to 03/09/2026", " ", kHeader, " ",
          "Court 3         03/09/2026 08:00a 09:00a Smith, John Q (555-1234)",
          "Total Reservations for Court 3 for 03/09/2026 is 1", "**End of Report**"}},
        {"a long facility name shifts its line",
         range(2026, 5, 1, 2026, 5, 1),
         {booking(2026, 5, 1, "Centre Court Arena A", 12, 0, 13, 5, "X", "", "", "")},
         {"Reservation Report from 05/01/2026 to 05/01/2026", " ", kHeader, " ",
          "Centre Court Arena A 05/01/2026 12:00p 01:05p X ",
          "Total Reservations for Centre Court Arena A for 05/01/2026 is 1", "**End of Report**"}},
    };
    for (const Case& c : cases) EXPECT_EQ(build(c.criteria, c.rows), c.expected) << c.name;
}

TEST(ReservationReport, SelectionByFacilityAndCustomer) {
    const std::vector<ReservationRecord> rows = {
        booking(2026, 3, 2, "Court 1", 9, 0, 10, 0, "Smith", "John", "Q", "555-1234"),
        booking(2026, 3, 2, "Court 2", 9, 0, 10, 0, "Smith", "John", "Q", "555-9999"),
        booking(2026, 3, 2, "Court 3", 9, 0, 10, 0, "Resurface", "", "", ""),  // maintenance
        booking(2026, 3, 2, "Old Court", 9, 0, 10, 0),  // removed from the group since
    };
    struct Case {
        const char* name;
        std::vector<int> facilities;
        std::vector<CPeopleKey> customers;
        std::vector<std::string> expectedFacilities;  // of the detail lines, in order
    };
    const CPeopleKey john("John", "Q", "Smith", "555-1234", "");
    const std::vector<Case> cases = {
        {"no filter", {}, {}, {"Court 1", "Court 2", "Court 3", "Old Court"}},
        {"two facilities", {0, 2}, {}, {"Court 1", "Court 3"}},
        {"a position the group no longer has", {7}, {}, {}},
        {"one customer: other phone and maintenance drop out",
         {},
         {john},
         {"Court 1", "Old Court"}},
        {"customer and facility both apply", {1}, {john}, {}},
        {"an empty key (customer unreadable) selects no named booking", {}, {CPeopleKey()}, {}},
    };
    for (const Case& c : cases) {
        ReportCriteria criteria = range(2026, 3, 2, 2026, 3, 2);
        criteria.facilities = c.facilities;
        criteria.customers = c.customers;
        std::vector<std::string> got;
        for (const std::string& line : build(criteria, rows)) {
            if (line.size() < 27 || line.compare(16, 3, "03/") != 0) continue;  // detail lines
            got.push_back(line.substr(0, line.find_last_not_of(' ', 14) + 1));
        }
        EXPECT_EQ(got, c.expectedFacilities) << c.name;
    }
}

TEST(ReservationReport, RefusedLineStopsWithClosingLines) {
    const std::vector<ReservationRecord> rows = {booking(2026, 3, 2, "Court 1", 9, 0, 10, 0),
                                                 booking(2026, 3, 2, "Court 1", 10, 0, 11, 0),
                                                 booking(2026, 3, 2, "Court 1", 11, 0, 12, 0)};
    MemoryCursor cursor(rows);
    ReportLines out;
    out.setLimit(6);  // title, blank, header, blank, two details
    const auto result = buildReservationReport(range(2026, 3, 2, 2026, 3, 2), kCourts, cursor, out);
    EXPECT_TRUE(result.outOfMemory);
    const auto lines = out.toVector();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[6], "Total Reservations for Court 1 for 03/02/2026 is 2");
    EXPECT_EQ(lines[7], "**End of Report**");
}

TEST(ReservationReport, FailedStepEndsTheReportAndIsReported) {
    MemoryCursor cursor({booking(2026, 3, 2, "Court 1", 9, 0, 10, 0),
                         booking(2026, 3, 2, "Court 1", 10, 0, 11, 0)});
    cursor.failAt = 1;
    ReportLines out;
    const auto result = buildReservationReport(range(2026, 3, 1, 2026, 3, 5), kCourts, cursor, out);
    EXPECT_EQ(result.readError, -1);
    EXPECT_EQ(out.toVector().back(), "**End of Report**");
    EXPECT_EQ(out.toVector()[out.size() - 2], "Total Reservations for Court 1 for 03/02/2026 is 1");
}

// Appends without forcing each record to disk: building the test table is not under test.
struct NoSync final : Io4 {
    int fdatasync(int) override { return 0; }
};

TEST(ReservationReport, SeekToRangeGivesTheWholeScansBytes) {
    tables_test::ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    const std::string group = dir.file("Courts.rec");
    CSchedule s;
    ASSERT_EQ(s.Create(group), 0);
    std::mt19937 rng(14);
    NoSync noSync;
    Io4* previous = io4set(&noSync);
    const DayDate first{2025, 12, 20};
    const std::vector<std::string> names = {"Court 1", "Court 2", "Court 3", "Gone"};
    for (int day = 0; day < 60; ++day) {
        const DayDate d = addDays(first, day);
        for (int n = 0; n < 12; ++n) {
            s.Clear();
            s.SetDate(d.month, d.day, d.year);
            s.SetFacility(names[rng() % names.size()]);
            const int h = int(rng() % 23);
            s.SetStart(h, int(rng() % 4) * 15);
            s.SetEnd(h + 1, 0);
            const bool maintenance = rng() % 5 == 0;
            s.SetNames(maintenance ? "" : "Ann", "", maintenance ? "Paint" : "Lee",
                       maintenance ? "" : (rng() % 2 ? "555-1" : "555-2"), "", "");
            s.Add();  // a duplicate start time is refused, which is fine here
        }
    }
    io4set(previous);
    ScheduleCursor cursor(s);
    for (int i = 0; i < 40; ++i) {
        const int a = int(rng() % 70) - 5, b = a + int(rng() % 20);
        const DayDate from = addDays(first, a), to = addDays(first, b);
        ReportCriteria c;
        c.rangeStart = localTimeValue(from);
        c.rangeEnd = localTimeValue(to, 23, 59);
        if (rng() % 3 == 0) c.facilities = {int(rng() % 3)};
        if (rng() % 3 == 0) c.customers = {CPeopleKey("Ann", "", "Lee", "555-1", "")};
        ReportLines seek, whole;
        const auto rs =
            buildReservationReport(c, kCourts, cursor, seek, ReportScan::FromRangeStart);
        const auto rw = buildReservationReport(c, kCourts, cursor, whole, ReportScan::WholeTable);
        ASSERT_EQ(seek.toVector(), whole.toVector()) << "days " << a << ".." << b;
        EXPECT_LE(rs.recordsRead, rw.recordsRead);
        if (a > 5) {
            EXPECT_LT(rs.recordsRead, rw.recordsRead);
        }
    }
}

TEST(ReservationReport, CustomerListLines) {
    EXPECT_EQ(customerLine("555-0101", "", "Vos", "Els", "K", ""),
              "555-0101         \tVos, Els K  \t");
    EXPECT_EQ(customerLine("0031-20-5550101-99", "12", "Vos", "Els", "", "Club"),
              "0031-20-5550101 x-12 \tVos, Els   \t(Club)");
}

}  // namespace
}  // namespace quorvane
