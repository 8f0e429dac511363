// The calendar export's core without Qt: the text rules on their own, the zone's changes, and
// what a standard iCalendar reader gets back from a file written in a zone known only by its
// rules (the command's scopes are calendar_export_test.cpp's).
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "calendar_reader.h"
#include "export_core_fixture.h"
#include "report_rows.h"
#include "reports/core/CalendarExport.h"

namespace quorvane::testing {
namespace {

TEST(CalendarText, EscapingFoldingAndUids) {
    const std::pair<std::string, std::string> escapes[] = {
        {"plain", "plain"},
        {"a,b;c", "a\\,b\\;c"},
        {"back\\slash", "back\\\\slash"},
        {"two\nlines", "two\\nlines"},
        {"crlf\r\nend", "crlf\\nend"},
        // Control characters from notes are left out; the tab is text.
        {"bell\x07"
         "esc\x1B"
         "\x01.",
         "bellesc."},
        {"tab\tdel\x7F", "tab\tdel"},
        {"c1\xC2\x81\xC2\x9D|\xC2\xA0\xC3\xA9", "c1|\xC2\xA0\xC3\xA9"},
    };
    for (const auto& [in, out] : escapes) EXPECT_EQ(calendarEscape(in), out) << in;

    CalendarBooking b{{2026, 5, 4}, 9, 0, 10, 30, "Court 1", "Ann", "", "Lee", "555"};
    b.made = {2026, 4, 1};
    b.notes = std::string(60, 'n') + "\xE9\xE9\xE9\xE9" + std::string(60, 'm');  // é in 1252
    CalendarZone zone{"UTC", {{0, 0, 0, false}}};
    const std::string text = calendarText({"Courts", "g1", 0}, zone, {b});
    // Every physical line at most 75 octets, CRLF-ended; unfolding restores the description.
    std::istringstream lines(text);
    std::string line, unfolded;
    while (std::getline(lines, line)) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r');
        line.pop_back();
        EXPECT_LE(line.size(), 75u) << line;
        if (line[0] == ' ')
            unfolded += line.substr(1);
        else
            unfolded += "\n" + line;
    }
    EXPECT_NE(unfolded.find("DESCRIPTION:" + std::string(60, 'n') +
                            "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9" + std::string(60, 'm')),
              std::string::npos);

    // Stable for the same booking; another start, facility, creation or group differs.
    const std::string uid = calendarUid("g1", b);
    EXPECT_EQ(uid, calendarUid("g1", b));
    std::set<std::string> uids{uid, calendarUid("g2", b)};
    CalendarBooking other = b;
    other.startMM = 15;
    uids.insert(calendarUid("g1", other));
    other = b;
    other.facility = "Court 2";
    uids.insert(calendarUid("g1", other));
    other = b;
    other.madeMM = 1;
    uids.insert(calendarUid("g1", other));
    EXPECT_EQ(uids.size(), 5u);
}

TEST(CalendarText, SeriesSaysTheEndItHasNow) {
    // A weekly series booked Monday 4 May through Monday 25 May. Whole, each member names the
    // end it was booked with; cut short after 11 May (the rest cancelled), the stored end.
    auto member = [](int day, int recurDays, DayDate end) {
        CalendarBooking b{{2026, 5, day}, 9, 0, 10, 0, "Court 1", "Ann", "", "Lee"};
        b.recurDays = recurDays;
        b.recurEnd = end;
        b.made = {2026, 4, 1};
        return b;
    };
    CalendarZone zone{"UTC", {{0, 0, 0, false}}};
    auto says = [&](const std::vector<CalendarBooking>& bookings) {
        const std::string text = calendarText({"Courts", "g1", 0}, zone, bookings);
        std::vector<std::string> out;
        for (std::size_t at = 0; (at = text.find("until ", at)) != std::string::npos; ++at)
            out.push_back(text.substr(at + 6, text.find("\r\n", at) - at - 6));
        return out;
    };
    const DayDate may25{2026, 5, 25};
    using Says = std::vector<std::string>;
    EXPECT_EQ(says({member(4, 7, may25), member(11, 7, may25), member(18, 7, may25),
                    member(25, 7, may25)}),
              Says(4, "Monday\\, May 25\\, 2026"));
    EXPECT_EQ(says({member(4, 7, may25), member(11, 7, may25)}),
              Says(2, "Monday\\, May 11\\, 2026"));
    // Booked through Wednesday 27 May: its last day is 25 May, so whole it still says 27 May.
    EXPECT_EQ(says({member(18, 7, {2026, 5, 27}), member(25, 7, {2026, 5, 27})}),
              Says(2, "Wednesday\\, May 27\\, 2026"));
    // Every weekday through Sunday 10 May: Friday 8 May is its last day.
    EXPECT_EQ(says({member(7, 3, {2026, 5, 10}), member(8, 3, {2026, 5, 10})}),
              Says(2, "Sunday\\, May 10\\, 2026"));
    EXPECT_EQ(says({member(6, 3, {2026, 5, 10}), member(7, 3, {2026, 5, 10})}),
              Says(2, "Thursday\\, May 07\\, 2026"));
}

class CalendarExportTest : public ExportCoreFixture {
protected:
    TimeZone zone{"Europe/Amsterdam"};

    std::vector<std::string> readBack(const std::string& path) {
        return readCalendarBack(path, file("ics.py"));
    }
};

// A zone the system names only by its rules: readers must take the offsets from the file.
TEST_F(CalendarExportTest, UnnamedZoneIsSpelledOutForReaders) {
    if (std::system("/usr/bin/python3 -c 'import icalendar' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3-icalendar is not installed (tools/deps.sh installs it)";
    TimeZone posix("CET-1CEST,M3.5.0,M10.5.0/3");
    std::vector<CalendarBooking> bookings;
    for (const DayDate& d : {DayDate{2026, 3, 28}, DayDate{2026, 3, 30}, DayDate{2026, 10, 26}}) {
        CalendarBooking b;
        b.date = d;
        b.startHH = 12;
        b.endHH = 13;
        b.facility = "Court 1";
        b.last = "Lee";
        bookings.push_back(b);
    }
    const CalendarZone zone = localCalendarZone(bookings.front().date, bookings.back().date);
    EXPECT_EQ(zone.id, "Local");
    const std::string path = file("local.ics");
    std::ofstream(path, std::ios::binary) << calendarText({"Courts", "g", 0}, zone, bookings);
    const std::vector<std::string> events = readBack(path);
    ASSERT_EQ(events.size(), 3u);
    const char* expected[] = {"|20260328T1200|3600|1300|", "|20260330T1200|7200|1300|",
                              "|20261026T1200|3600|1300|"};
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NE(events[i].find(expected[i]), std::string::npos) << events[i];
}

TEST_F(CalendarExportTest, ZoneChangesAreFoundToTheSecond) {
    const CalendarZone z = localCalendarZone({2026, 3, 1}, {2026, 11, 30});
    EXPECT_EQ(z.id, "Europe/Amsterdam");
    ASSERT_EQ(z.changes.size(), 3u);
    EXPECT_EQ(z.changes[0].offsetTo, 3600);
    EXPECT_FALSE(z.changes[0].daylight);
    // 29 March 2026 01:00 UTC, to summer time; 25 October 2026 01:00 UTC, back.
    EXPECT_EQ(z.changes[1].at, 1774746000);
    EXPECT_EQ(z.changes[1].offsetTo, 7200);
    EXPECT_TRUE(z.changes[1].daylight);
    EXPECT_EQ(z.changes[2].at, 1792890000);
    EXPECT_EQ(z.changes[2].offsetTo, 3600);
}

}  // namespace
}  // namespace quorvane::testing
