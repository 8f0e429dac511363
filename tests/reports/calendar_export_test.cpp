// The calendar export: what a standard iCalendar reader gets back from the file, for every
// scope, across a change of the clocks; and the text rules on their own.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <set>
#include <sstream>

#include "base/Clock.h"
#include "export_fixture.h"
#include "report_rows.h"
#include "reports/ReportDialogs.h"
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

class CalendarExportTest : public ExportFixture {
protected:
    TimeZone zone{"Europe/Amsterdam"};
    FixedClock clock{Clock::fromLocal(2026, 3, 27, 9, 0)};
    std::unique_ptr<CZUKRecDoc> doc;
    struct Scope final : ReportDialogs {
        std::optional<CalendarScope> answer;
        std::vector<QString> customers, facilities;
        int askAddressFileExists(const QString&, QWidget*) override { return 2; }
        std::optional<CalendarScope> askCalendarScope(const std::vector<QString>& c,
                                                      const std::vector<QString>& f,
                                                      QWidget*) override {
            customers = c;
            facilities = f;
            return answer;
        }
    } scope;

    void SetUp() override {
        ExportFixture::SetUp();
        setAppClock(&clock);
        setAppReportDialogs(&scope);
    }
    void TearDown() override {
        if (doc) doc->OnCloseDocument();
        doc.reset();
        setAppReportDialogs(nullptr);
        setAppClock(nullptr);
        ExportFixture::TearDown();
    }

    struct Booking {
        DayDate date;
        std::string facility;
        int sh, sm, eh, em;
        std::string first, last, phone, org, notes;
        bool maintenance = false;
        int recur = 0;
    };
    void book(const std::vector<Booking>& bookings) {
        CSchedule s;
        ASSERT_EQ(s.Open(groupPath), 0);
        for (const Booking& b : bookings) {
            s.Clear();
            s.SetDate(b.date.month, b.date.day, b.date.year);
            s.SetFacility(b.facility);
            s.SetStart(b.sh, b.sm);
            s.SetEnd(b.eh, b.em);
            s.SetNames(b.first, "", b.last, b.phone, "", b.org);
            s.SetNotes(b.notes);
            s.SetTypeFlag(b.maintenance ? 1 : 0);
            s.SetMade(3, 1, 2026, 8, 15);
            if (b.recur) {
                s.SetRecurDays(b.recur);
                s.SetRecurDate(4, 6, 2026);
            }
            ASSERT_EQ(s.Add(), 0);
        }
        s.Close();
    }

    // The events a standard reader finds: uid|start|offset|end|summary|description.
    std::vector<std::string> readBack(const std::string& path) {
        const std::string script = file("ics.py");
        std::ofstream(script)
            << "import sys, icalendar\n"
               "cal = icalendar.Calendar.from_ical(open(sys.argv[1], 'rb').read())\n"
               "for ev in cal.walk('VEVENT'):\n"
               "    s = ev.decoded('dtstart')\n"
               "    e = ev.decoded('dtend') if ev.get('dtend') else None\n"
               "    print('|'.join([str(ev['uid']), s.strftime('%Y%m%dT%H%M'),\n"
               "        str(int(s.utcoffset().total_seconds())),\n"
               "        e.strftime('%H%M') if e else '-', str(ev['summary']),\n"
               "        str(ev.get('description', '')).replace('\\n', '/')]))\n";
        const std::string cmd =
            "PYTHONIOENCODING=utf-8 /usr/bin/python3 '" + script + "' '" + path + "' 2>&1";
        FILE* p = popen(cmd.c_str(), "r");
        std::string out;
        char buf[4096];
        while (std::size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
        const int status = pclose(p);
        EXPECT_EQ(status, 0) << out;
        std::vector<std::string> events;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);) events.push_back(line);
        return events;
    }
};

TEST_F(CalendarExportTest, StandardReaderGetsTheComingBookingsOfEachScope) {
    if (std::system("/usr/bin/python3 -c 'import icalendar' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3-icalendar is not installed (tools/deps.sh installs it)";
    makePeople({{"Ann", "", "Lee", "555-1"}, {"Bo", "", "Ng", "555-2"}});
    makeGroup(3);
    book({
        {{2026, 3, 26}, "Court 1", 9, 0, 10, 0, "Ann", "Lee", "555-1"},  // yesterday
        {{2026, 3, 27}, "Court 1", 8, 0, 9, 0, "Ann", "Lee", "555-1", "Club; \"A\", B"},
        // a weekly series over the change to summer time (29 March)
        {{2026, 3, 28},
         "Court 2",
         18,
         30,
         19,
         45,
         "Bo",
         "Ng",
         "555-2",
         "",
         "Bring balls",
         false,
         7},
        {{2026, 4, 4}, "Court 2", 18, 30, 19, 45, "Bo", "Ng", "555-2", "", "Bring balls", false, 7},
        {{2026, 3, 30}, "Court 3", 7, 0, 8, 0, "", "Resurfacing", "", "", "", true},
        {{2026, 3, 30}, "Gone Court", 7, 0, 8, 0, "Ann", "Lee", "555-1"},
    });
    doc = std::make_unique<CZUKRecDoc>();
    ASSERT_TRUE(doc->OnOpenDocument(QString::fromStdString(groupPath)));

    const struct {
        const char* name;
        CalendarScope scope;
        std::vector<std::string> starts;  // start|offset|end of each event, in order
    } cases[] = {
        {"all",
         {},
         {"20260327T0800|3600|0900", "20260328T1830|3600|1945", "20260330T0700|7200|0800",
          "20260404T1830|7200|1945"}},
        {"Ann", {CalendarScope::Customer, 0}, {"20260327T0800|3600|0900"}},
        {"Court 2",
         {CalendarScope::Facility, 1},
         {"20260328T1830|3600|1945", "20260404T1830|7200|1945"}},
    };
    std::map<std::string, std::string> uidOf;  // start -> uid, across scopes
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scope.answer = c.scope;
        const std::string out = file(std::string(c.name) + ".ics");
        dialogs.fileAnswers = {QString::fromStdString(out)};
        prompter.shown.clear();
        runCalendarExport(*doc, nullptr);
        ASSERT_EQ(texts().size(), 1u);
        EXPECT_EQ(texts()[0], (c.starts.size() == 1
                                   ? QStringLiteral("%1 reservation exported to calendar file %2")
                                   : QStringLiteral("%1 reservations exported to calendar file %2"))
                                  .arg(c.starts.size())
                                  .arg(QString::fromStdString(out)));
        const std::vector<std::string> events = readBack(out);
        ASSERT_EQ(events.size(), c.starts.size());
        for (std::size_t i = 0; i < events.size(); ++i) {
            const std::string& e = events[i];
            const std::size_t bar = e.find('|');
            const std::string uid = e.substr(0, bar);
            const std::string rest = e.substr(bar + 1);
            EXPECT_EQ(rest.substr(0, c.starts[i].size()), c.starts[i]);
            auto [it, fresh] = uidOf.emplace(c.starts[i], uid);
            EXPECT_EQ(it->second, uid) << "the same booking keeps its UID";
        }
    }
    EXPECT_EQ(scope.customers, (std::vector<QString>{QStringLiteral("Lee, Ann  555-1"),
                                                     QStringLiteral("Ng, Bo  555-2")}));
    EXPECT_EQ(scope.facilities.size(), 3u);
    std::set<std::string> uids;
    for (const auto& [start, uid] : uidOf) uids.insert(uid);
    EXPECT_EQ(uids.size(), 4u);

    // Summaries and descriptions as the reader decodes them.
    const std::vector<std::string> all = readBack(file("all.ics"));
    ASSERT_EQ(all.size(), 4u);
    EXPECT_NE(all[0].find("|Court 1: Ann Lee (Club; \"A\", B)|"), std::string::npos) << all[0];
    EXPECT_NE(all[1].find("|Court 2: Bo Ng|Bring balls/One of a series, every week until "
                          "Monday, April 06, 2026"),
              std::string::npos)
        << all[1];
    EXPECT_NE(all[2].find("|Court 3: Resurfacing (maintenance)|"), std::string::npos) << all[2];

    // Cancelled at the scope or the file dialog: nothing written, nothing said.
    prompter.shown.clear();
    scope.answer.reset();
    runCalendarExport(*doc, nullptr);
    scope.answer = CalendarScope{};
    dialogs.fileAnswers = {QString()};
    runCalendarExport(*doc, nullptr);
    EXPECT_TRUE(prompter.shown.empty());
    // A folder that is not there: the old-style message, no file.
    dialogs.fileAnswers = {QString::fromStdString(folder + "/none/x.ics")};
    runCalendarExport(*doc, nullptr);
    EXPECT_EQ(texts(), std::vector<QString>{
                           QStringLiteral("Error creating export file, export terminated")});
}

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
