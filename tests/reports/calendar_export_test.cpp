// The calendar export's command: what a standard iCalendar reader gets back from the file for
// every scope, across a change of the clocks, and what the user is told (the text rules and the
// zone are calendar_export_core_test.cpp's).
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <cstdlib>
#include <map>
#include <set>

#include "base/Clock.h"
#include "calendar_reader.h"
#include "export_fixture.h"
#include "report_rows.h"
#include "reports/ReportDialogs.h"
#include "reports/core/CalendarExport.h"

namespace quorvane::testing {
namespace {

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

    std::vector<std::string> readBack(const std::string& path) {
        return readCalendarBack(path, file("ics.py"));
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

}  // namespace
}  // namespace quorvane::testing
