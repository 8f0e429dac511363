// The booking rules on a real reservation table: the overlap check, the list lines, series of
// every kind (over weekends, across the clock changes), refusals, cancelling the rest of a
// series, the notes write-back, and what Make Reservation's form books for whom.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "base/Calendar.h"
#include "booking_fixture.h"
#include "engine/data4.h"
#include "engine/io4.h"
#include "engine/tag4.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tests/tables/tables_testutil.h"

namespace quorvane {
namespace {

using testing::BookingTableTest;
using testing::request;
using testing::ZoneGuard;

TEST(BookingCheck, OverlapTouchingAndOrder) {
    FacilityDay day;
    day.starts = {900};
    day.ends = {1000};
    struct Case {
        int sh, sm, eh, em, expected;
    } cases[] = {
        {10, 0, 11, 0, 0},   // touches the end
        {8, 0, 9, 0, 0},     // touches the start
        {9, 30, 10, 30, 2},  // overlaps the end
        {8, 0, 9, 1, 2},     // one minute into it
        {9, 15, 9, 45, 2},   // inside
        {8, 0, 11, 0, 2},    // around it
        {10, 0, 10, 0, 1},   // not after its start
        {11, 0, 10, 0, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(checkReservation(c.sh, c.sm, c.eh, c.em, day), c.expected)
            << c.sh << ":" << c.sm << "-" << c.eh << ":" << c.em;
}

// After the rest of a series is cancelled from another day's list, today's list is read
// again only when the rest held today.
TEST(BookingCancel, RestHeldTodayAndTheListedRowGoes) {
    SeriesMember m;
    m.date = {2026, 3, 2};
    m.endYear = 2026, m.endMonth = 3, m.endDay = 20;
    const struct {
        DayDate shown, today;
        bool held;
    } cases[] = {
        {{2026, 3, 2}, {2026, 3, 10}, true},    // the series runs on through today
        {{2026, 3, 10}, {2026, 3, 10}, false},  // today is the day shown: read anyway
        {{2026, 3, 2}, {2026, 3, 21}, false},   // the series ended before today
        {{2026, 3, 2}, {2026, 3, 20}, true},    // its last day is today
        {{2026, 3, 2}, {2026, 3, 1}, false},    // today lies before the cancelled member
    };
    for (const auto& c : cases)
        EXPECT_EQ(restHeldToday(m, c.shown, c.today), c.held) << dateKey(c.today);

    FacilityDay day;
    day.lines = {"a", "b", "c"};
    day.starts = {900, 1000, 1100};
    day.ends = {1000, 1100, 1200};
    day.records = {7, 8, 9};
    dropListed(day, 1);
    EXPECT_EQ(day.lines, (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(day.starts, (std::vector<int>{900, 1100}));
    EXPECT_EQ(day.ends, (std::vector<int>{1000, 1200}));
    EXPECT_EQ(day.records, (std::vector<long>{7, 9}));
}

TEST(BookingCheck, TimesAsPeopleTypeThem) {
    const struct {
        const char* typed;
        int minutes;  // -1: not a time
    } cases[] = {
        {"12:00 PM", 12 * 60},
        {"12:00 AM", 0},
        {"2:30 PM", 14 * 60 + 30},
        {"2:30p", 14 * 60 + 30},
        {"2:30 p.m.", 870},
        {" 02:30pm ", 870},
        {"230p", 870},
        {"11:59 pm", 1439},
        {"14:30", 870},
        {"1430", 870},
        {"0:05", 5},
        {"9", 9 * 60},
        {"9a", 9 * 60},
        {"2.30 PM", 870},
        {"13:00 PM", -1},
        {"0:30 AM", -1},
        {"24:00", -1},
        {"2:60", -1},
        {"2:3", -1},
        {"", -1},
        {"pm", -1},
        {"2:30 x", -1},
        {"12345", -1},
        {"-1:00", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseTypedTime(c.typed).value_or(-1), c.minutes) << '"' << c.typed << '"';
}

TEST_F(BookingTableTest, ListLinesCustomerMaintenanceAndTwelveHourFace) {
    const DayDate d{2026, 3, 3};
    BookingRequest a = request("Court 1", d, 0, 15, 1, 0, "O'Neil, Jr.");
    a.first = "Ann \"Annie\"";
    a.mi = "Q";
    a.notes = "Bring balls";
    ASSERT_EQ(book(a).booked, 1);
    BookingRequest m = request("Court 1", d, 12, 0, 13, 30, "Resurface");
    m.maintenance = true;
    ASSERT_EQ(book(m).booked, 1);
    BookingRequest o = request("Court 1", d, 13, 30, 23, 59, "Smit");
    o.org = "Club, \"North\"";
    ASSERT_EQ(book(o).booked, 1);
    ASSERT_EQ(book(request("Court 2", d, 0, 15, 1, 0, "Other")).booked, 1);

    FacilityDay day;
    ASSERT_EQ(loadFacilityDay(table, "Court 1", d, day), 0);
    ASSERT_EQ(day.lines.size(), 3u);
    EXPECT_EQ(day.lines[0], "00:15 AM   01:00 AM   O'Neil, Jr., Ann \"Annie\" Q     (Note)");
    EXPECT_EQ(day.lines[1], "12:00 PM   01:30 PM   Resurface    ");
    EXPECT_EQ(day.lines[2], "01:30 PM   11:59 PM   Smit, Anna B  (Club, \"North\")   ");
    EXPECT_EQ(day.starts, (std::vector<int>{15, 1200, 1330}));
    EXPECT_EQ(day.ends, (std::vector<int>{100, 1330, 2359}));
    EXPECT_EQ(day.whos, (std::vector<std::string>{"O'Neil, Jr., Ann \"Annie\" Q", "Resurface",
                                                  "Smit, Anna B"}));

    // A shorter day loaded into the same lists keeps nothing of the longer one.
    ASSERT_EQ(loadFacilityDay(table, "Court 2", d, day), 0);
    EXPECT_EQ(day.whos, (std::vector<std::string>{"Other, Anna B"}));
    EXPECT_EQ(day.lines.size(), 1u);

    // Another facility's day and an empty day stop the walk at once.
    ASSERT_EQ(loadFacilityDay(table, "Court 3", d, day), 0);
    EXPECT_TRUE(day.lines.empty());
    ASSERT_EQ(loadFacilityDay(table, "Court 1", DayDate{2026, 3, 4}, day), 0);
    EXPECT_TRUE(day.starts.empty());
}

// Which days a series books, and the series-end date it stores. 2026-03-06 is a Friday.
TEST_F(BookingTableTest, SeriesKindsBookTheirDays) {
    struct Case {
        const char* name;
        int kind;
        DayDate first, through;
        int endHH, endMM;
        std::vector<DayDate> expected;
        DayDate storedEnd;
    } cases[] = {
        {"weekday Friday to Tuesday",
         kWeekdays,
         {2026, 3, 6},
         {2026, 3, 10},
         11,
         0,
         {{2026, 3, 6}, {2026, 3, 9}, {2026, 3, 10}},
         {2026, 3, 10}},
        {"weekday Saturday to Sunday", kWeekdays, {2026, 3, 7}, {2026, 3, 8}, 11, 0, {}, {}},
        {"weekly through the 21st",
         kWeekly,
         {2026, 3, 1},
         {2026, 3, 21},
         11,
         0,
         {{2026, 3, 1}, {2026, 3, 8}, {2026, 3, 15}},
         {2026, 3, 21}},
        {"weekly through the 22nd",
         kWeekly,
         {2026, 3, 1},
         {2026, 3, 22},
         11,
         0,
         {{2026, 3, 1}, {2026, 3, 8}, {2026, 3, 15}, {2026, 3, 22}},
         {2026, 3, 22}},
        {"through the first day",
         kDaily,
         {2026, 5, 4},
         {2026, 5, 4},
         11,
         0,
         {{2026, 5, 4}},
         {2026, 5, 4}},
        {"ending at midnight",
         kDaily,
         {2026, 6, 1},
         {2026, 6, 3},
         0,
         0,
         {{2026, 6, 1}, {2026, 6, 2}},
         {2026, 6, 2}},
        {"daily over the year's end",
         kDaily,
         {2026, 12, 30},
         {2027, 1, 2},
         11,
         0,
         {{2026, 12, 30}, {2026, 12, 31}, {2027, 1, 1}, {2027, 1, 2}},
         {2027, 1, 2}},
    };
    int facility = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = "Court " + std::to_string(++facility);
        BookingRequest q = request(name, c.first, 10, 0, c.endHH, c.endMM);
        q.kind = c.kind;
        q.throughDay = c.through;
        messages.clear();
        const BookingOutcome out = book(q);
        EXPECT_FALSE(out.stayOpen);
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(daysBooked(name, 1000), c.expected);
        for (const DayDate& d : c.expected) {
            ASSERT_EQ(table.Seek(dateKey(d), name, "10", "00"), 0);
            int m, dd, y;
            table.GetRecurDate(m, dd, y);
            EXPECT_EQ((DayDate{y, m, dd}), c.storedEnd);
            EXPECT_EQ(table.GetRecurDays(), c.kind);
            int eh, em;
            table.GetEnd(eh, em);
            EXPECT_EQ(eh * 100 + em, c.endHH == 0 ? 2359 : c.endHH * 100 + c.endMM);
        }
    }
}

// Days are calendar days: the night the clocks change neither skips nor repeats a date.
TEST_F(BookingTableTest, SeriesAcrossClockChanges) {
    for (const char* zone : {"Europe/Amsterdam", "America/New_York", "Australia/Lord_Howe"}) {
        ZoneGuard tz(zone);
        struct Case {
            DayDate first, through;
            int kind;
            std::size_t days;
        } cases[] = {
            {{2026, 3, 26}, {2026, 4, 2}, kDaily, 8},     // Europe springs forward 29 March
            {{2026, 10, 22}, {2026, 10, 28}, kDaily, 7},  // and back 25 October
            {{2026, 3, 5}, {2026, 3, 12}, kDaily, 8},     // America: 8 March
            {{2026, 10, 29}, {2026, 11, 5}, kDaily, 8},   // America: 1 November
            {{2026, 3, 1}, {2026, 4, 26}, kWeekly, 9},
        };
        int n = 0;
        for (const Case& c : cases) {
            const std::string name = std::string(zone).substr(0, 8) + std::to_string(++n);
            BookingRequest q = request(name, c.first, 2, 30, 3, 30);
            q.kind = c.kind;
            q.throughDay = c.through;
            messages.clear();
            const BookingOutcome out = book(q);
            EXPECT_EQ(out.booked, int(c.days)) << zone << " " << dateKey(c.first);
            EXPECT_TRUE(messages.empty()) << zone << " " << messages.size();
            const std::vector<DayDate> days = daysBooked(name, 230);
            ASSERT_EQ(days.size(), c.days) << zone;
            for (std::size_t i = 0; i < days.size(); ++i)
                EXPECT_EQ(days[i], addDays(c.first, int(i) * (c.kind == kWeekly ? 7 : 1)));

            // Cancelling from the second member on removes every later one.
            SeriesMember member;
            ASSERT_EQ(cancelReservation(table, name, days[1], 230, member), 0);
            EXPECT_EQ(cancelRest(table, member), int(c.days) - 2) << zone;
            EXPECT_EQ(daysBooked(name, 230), (std::vector<DayDate>{days[0]}));
        }
    }
}

TEST_F(BookingTableTest, ThirdDayConflictRefusesOnlyThatDay) {
    ASSERT_EQ(book(request("Court 1", {2026, 3, 11}, 10, 30, 11, 30, "Other")).booked, 1);
    BookingRequest q = request("Court 1", {2026, 3, 9}, 10, 0, 11, 0);
    q.kind = kDaily;
    q.throughDay = {2026, 3, 13};
    EXPECT_EQ(refusedDays(table, q), (std::vector<DayDate>{{2026, 3, 11}}));
    EXPECT_EQ(availabilityMessage(table, q),
              (Message{"These days are taken at that time:\n03/11/2026", "Check Availability",
                       PromptIcon::Information}));
    BookingRequest other = q;
    other.facility = "Court 2";
    EXPECT_EQ(availabilityMessage(table, other).text, "All days are free.");
    other.endHH = 9;  // before the start
    EXPECT_EQ(availabilityMessage(table, other),
              (Message{"End time of reservation must be after start time", "Reservation Error"}));
    EXPECT_TRUE(daysBooked("Court 1", 1000).empty());  // the look-ahead writes nothing
    const BookingOutcome out = book(q);
    EXPECT_FALSE(out.stayOpen);
    EXPECT_EQ(out.booked, 4);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], (Message{"Reservation conflicts with existing reservation on 03/11/2026",
                                    "Reservation Error"}));
    EXPECT_EQ(daysBooked("Court 1", 1000),
              (std::vector<DayDate>{{2026, 3, 9}, {2026, 3, 10}, {2026, 3, 12}, {2026, 3, 13}}));
}

TEST_F(BookingTableTest, ASeriesBookedInPartIsSummedUpWithWhoHasTheOtherDays) {
    // Tuesdays 15 Dec .. 19 Jan, 5-6 PM; four of the six taken (one by an item, one failing to
    // be read is not possible here, so four overlaps).
    for (const DayDate d : {DayDate{2026, 12, 15}, DayDate{2026, 12, 29}, DayDate{2027, 1, 5}})
        ASSERT_EQ(book(request("Court 2", d, 16, 30, 17, 30, "Smith")).booked, 1);
    BookingRequest item = request("Court 2", {2027, 1, 12}, 17, 0, 18, 0, "Resurface");
    item.maintenance = true;
    ASSERT_EQ(book(item).booked, 1);
    messages.clear();
    BookingRequest q = request("Court 2", {2026, 12, 15}, 17, 0, 18, 0);
    q.kind = kWeekly;
    q.throughDay = {2027, 1, 19};
    const BookingOutcome out = book(q);
    EXPECT_EQ(messages.size(), 4u) << "the per-day messages stay";
    EXPECT_EQ(out.bookedDays, (std::vector<DayDate>{{2026, 12, 22}, {2027, 1, 19}}));
    const std::optional<Message> summary = seriesSummary(q, out);
    ASSERT_TRUE(summary);
    EXPECT_EQ(summary->title, "Series Booked in Part");
    EXPECT_EQ(summary->text,
              "2 of the 6 days of the series were booked:\n    12/22/2026\n    01/19/2027\n\n"
              "4 days were not booked:\n"
              "    12/15/2026  taken: 04:30 PM - 05:30 PM Smith, Anna B\n"
              "    12/29/2026  taken: 04:30 PM - 05:30 PM Smith, Anna B\n"
              "    01/05/2027  taken: 04:30 PM - 05:30 PM Smith, Anna B\n"
              "    01/12/2027  taken: 05:00 PM - 06:00 PM Resurface");
    // Booked whole, or a single day: no summary.
    BookingRequest whole = q;
    whole.facility = "Court 3";
    EXPECT_FALSE(seriesSummary(whole, book(whole)));
    BookingRequest single = request("Court 2", {2026, 12, 15}, 17, 0, 18, 0);
    EXPECT_FALSE(seriesSummary(single, book(single)));
    BookingOutcome none;
    none.refusedDays = {{{2027, 1, 5}, "", true}};
    EXPECT_EQ(seriesSummary(q, none)->text,
              "None of the 1 days of the series was booked.\n\n1 day was not booked:\n"
              "    01/05/2027  could not be written to the database");
}

TEST_F(BookingTableTest, NotesWaitForAnotherUsersLockOnlyAsLongAsThePersonWants) {
    const DayDate d{2026, 3, 3};
    ASSERT_EQ(book(request("Court 1", d, 9, 0, 10, 0)).booked, 1);
    ReservationDetail detail;
    long rec = 0;
    ASSERT_EQ(readReservationDetail(table, "Court 1", d, 900, detail, &rec), 0);
    // Another process holds the table (and so the record) for half a second.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    if (holder == 0) {
        CSchedule other;
        if (other.Open(group) != 0 || other.LockAll() != 0) _exit(1);
        if (write(ready[1], "x", 1) != 1) _exit(2);
        usleep(500 * 1000);
        other.Unlock();
        _exit(0);
    }
    char byte;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    EXPECT_EQ(storeNotesOnce(table, "Court 1", d, 900, rec, "", "court lights"),
              NotesWrite::kLocked);
    ASSERT_EQ(readReservationDetail(table, "Court 1", d, 900, detail), 0);
    EXPECT_EQ(detail.notes, "") << "a refused write leaves nothing pending";
    int status = 0;
    ASSERT_EQ(waitpid(holder, &status, 0), holder);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(storeNotesOnce(table, "Court 1", d, 900, rec, "", "court lights"),
              NotesWrite::kWritten);
    EXPECT_EQ(storeNotesOnce(table, "Court 1", d, 900, rec, "x", "x"), NotesWrite::kUnchanged);
    EXPECT_EQ(storeNotesOnce(table, "Court 1", d, 900, rec + 1, "", "y"), NotesWrite::kGone);
    ASSERT_EQ(readReservationDetail(table, "Court 1", d, 900, detail), 0);
    EXPECT_EQ(detail.notes, "court lights");
    close(ready[0]);
    close(ready[1]);
}

TEST_F(BookingTableTest, RefusalsThatKeepTheDialogOpen) {
    ASSERT_EQ(book(request("Court 1", {2026, 3, 9}, 9, 0, 10, 0, "First")).booked, 1);
    struct Case {
        const char* name;
        BookingRequest q;
        Message message;
    };
    BookingRequest through = request("Court 1", {2026, 3, 9}, 12, 0, 13, 0);
    through.kind = kWeekly;
    through.throughDay = {2026, 3, 8};
    BookingRequest endNotAfter = request("Court 1", {2026, 3, 20}, 10, 0, 10, 0);
    endNotAfter.kind = kDaily;
    endNotAfter.throughDay = {2026, 3, 25};
    const Case cases[] = {
        {"single conflict",
         request("Court 1", {2026, 3, 9}, 9, 30, 10, 30),
         {"Reservation conflicts with existing reservation on 03/09/2026", "Reservation Error"}},
        {"through before first",
         through,
         {"The end date for a recurring reservation must be after the start date.",
          "Recurring Reservation Error"}},
        {"end not after start, series",
         endNotAfter,
         {"End time of reservation must be after start time", "Reservation Error"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        const BookingOutcome out = book(c.q);
        EXPECT_TRUE(out.stayOpen);
        EXPECT_EQ(out.booked, 0);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0], c.message);
    }
    EXPECT_EQ(daysBooked("Court 1", 930).size() + daysBooked("Court 1", 1200).size() +
                  daysBooked("Court 1", 1000).size(),
              0u);
}

TEST_F(BookingTableTest, ATableThatCannotBeLockedBooksNothingAndCloses) {
    table.Close();
    const BookingOutcome out = book(request("Court 1", {2026, 3, 9}, 9, 0, 10, 0));
    EXPECT_FALSE(out.stayOpen);
    EXPECT_EQ(out.failed, 1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], (Message{"Could not make reservation to database", "Database Error"}));
}

TEST_F(BookingTableTest, CancelRestKeepsEarlierMembersAndForeignBookings) {
    BookingRequest q = request("Court 1", {2026, 3, 2}, 18, 0, 19, 0);
    q.kind = kDaily;
    q.throughDay = {2026, 3, 7};
    ASSERT_EQ(book(q).booked, 6);
    // The fourth member is cancelled alone and another booking takes its place.
    SeriesMember m;
    ASSERT_EQ(cancelReservation(table, "Court 1", {2026, 3, 5}, 1800, m), 0);
    BookingRequest other = request("Court 1", {2026, 3, 5}, 18, 0, 19, 0, "Other");
    other.madeHH = 11;
    ASSERT_EQ(book(other).booked, 1);
    // Cancelling the third member with its rest.
    ASSERT_EQ(cancelReservation(table, "Court 1", {2026, 3, 4}, 1800, m), 0);
    EXPECT_EQ(m.kind, kDaily);
    EXPECT_EQ(cancelRest(table, m), 2);  // the 6th and 7th
    EXPECT_EQ(daysBooked("Court 1", 1800),
              (std::vector<DayDate>{{2026, 3, 2}, {2026, 3, 3}, {2026, 3, 5}}));
    ASSERT_EQ(table.Seek("20260305", "Court 1", "18", "00"), 0);
    std::string f, mi, last, ph, ext, org;
    table.GetNames(f, mi, last, ph, ext, org);
    EXPECT_EQ(last, "Other");
}

TEST_F(BookingTableTest, CancelRestOfAWeekdaySeriesSkipsTheWeekend) {
    BookingRequest q = request("Court 2", {2026, 3, 5}, 7, 0, 8, 0);  // Thursday
    q.kind = kWeekdays;
    q.throughDay = {2026, 3, 17};
    ASSERT_EQ(book(q).booked, 9);
    SeriesMember m;
    ASSERT_EQ(cancelReservation(table, "Court 2", {2026, 3, 6}, 700, m), 0);
    EXPECT_EQ(cancelRest(table, m), 7);
    EXPECT_EQ(daysBooked("Court 2", 700), (std::vector<DayDate>{{2026, 3, 5}}));
}

TEST_F(BookingTableTest, CancelRestWithADamagedSeriesEndCancelsNothingAndSaysSo) {
    BookingRequest q = request("Court 3", {2026, 3, 2}, 7, 0, 8, 0);
    q.kind = kDaily;
    q.throughDay = {2026, 3, 4};
    ASSERT_EQ(book(q).booked, 3);
    // A damaged series-end on the first member.
    ASSERT_EQ(table.Seek("20260302", "Court 3", "07", "00"), 0);
    table.SetRecurDate(13, 40, 2026);
    ASSERT_EQ(table.Update(), 0);
    SeriesMember m;
    ASSERT_EQ(cancelReservation(table, "Court 3", {2026, 3, 2}, 700, m), 0);
    std::vector<std::string> reports;
    EXPECT_EQ(cancelRest(table, m, [&](const std::string& s) { reports.push_back(s); }), 0);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_NE(reports[0].find("no valid end date"), std::string::npos);
    EXPECT_EQ(daysBooked("Court 3", 700), (std::vector<DayDate>{{2026, 3, 3}, {2026, 3, 4}}));
    // A reservation that is gone cannot be cancelled: the seek's code, nothing changed.
    EXPECT_NE(cancelReservation(table, "Court 3", {2026, 3, 2}, 700, m), 0);
}

TEST_F(BookingTableTest, NotesAreWrittenOnlyWhenChangedAndOnlyOnTheRecordShown) {
    const DayDate d{2026, 3, 3};
    BookingRequest q = request("Court 1", d, 9, 0, 10, 0);
    q.kind = kWeekly;
    q.throughDay = {2026, 3, 10};
    ASSERT_EQ(book(q).booked, 2);
    ReservationDetail detail;
    long rec = 0;
    ASSERT_EQ(readReservationDetail(table, "Court 1", d, 900, detail, &rec), 0);
    EXPECT_EQ(detail.date, "Tuesday, March 03, 2026");
    EXPECT_EQ(detail.start, "09:00 AM");
    EXPECT_EQ(detail.end, "10:00 AM");
    EXPECT_EQ(detail.reservedFor, "Jansen, Anna B");
    EXPECT_EQ(detail.phone, "555-0101");
    EXPECT_TRUE(detail.recurring);

    const std::filesystem::path dbf = dir.path / "Courts.DBF";
    auto bytes = [&] {
        std::ifstream in(dbf, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    const std::string before = bytes();
    EXPECT_FALSE(storeNotes(table, "Court 1", d, 900, rec, detail.notes, detail.notes));
    EXPECT_EQ(bytes(), before);

    // 80 bytes of Windows-1252, the table moved elsewhere meanwhile.
    std::string notes(80, '\xE9');
    notes[0] = '\x80';
    table.First();
    table.Next();
    EXPECT_TRUE(storeNotes(table, "Court 1", d, 900, rec, detail.notes, notes));
    ASSERT_EQ(readReservationDetail(table, "Court 1", d, 900, detail), 0);
    EXPECT_EQ(detail.notes, notes);
    ASSERT_EQ(readReservationDetail(table, "Court 1", {2026, 3, 10}, 900, detail), 0);
    EXPECT_EQ(detail.notes, "");

    // Deleted by another user before OK: nothing is written.
    SeriesMember m;
    ASSERT_EQ(cancelReservation(table, "Court 1", d, 900, m), 0);
    EXPECT_FALSE(storeNotes(table, "Court 1", d, 900, rec, notes, "x"));
    EXPECT_NE(readReservationDetail(table, "Court 1", d, 900, detail), 0);
}

// A damaged index under the list: the walk reports it, and nothing is booked on a day that
// could not be read whole.
TEST_F(BookingTableTest, ADamagedIndexIsReportedAndBooksNothing) {
    // Enough reservations for a tree of several leaves under a branch root.
    for (int i = 0; i < 60; ++i)
        ASSERT_EQ(book(request("Court 1", addDays({2026, 3, 1}, i), 9, 0, 10, 0)).booked, 1);
    table.Close();
    {
        // The last leaf that is not the root claims more keys than a node holds: a leaf of
        // later days, so the table still opens (its first entry reads) and a day's walk
        // meets the damage.
        std::filesystem::path index;
        for (const auto& e : std::filesystem::directory_iterator(dir.path)) {
            std::string ext = e.path().extension().string();
            for (char& ch : ext) ch = char(std::tolower(static_cast<unsigned char>(ch)));
            if (ext == ".cdx") index = e.path();
        }
        std::fstream cdx(index, std::ios::in | std::ios::out | std::ios::binary);
        ASSERT_TRUE(cdx.is_open()) << index;
        std::streamoff node = 0;
        for (std::streamoff at = 1024; at < (1 << 16); at += 512) {
            char attribute = 0;
            cdx.seekg(at);
            if (!cdx.read(&attribute, 1)) break;
            if (attribute == 2) node = at;  // a leaf, not the root
        }
        cdx.clear();
        ASSERT_NE(node, 0);
        cdx.seekp(node + 2);
        cdx.write("\xFF\x7F", 2);
    }
    ASSERT_EQ(table.Open(group), 0);
    FacilityDay day;
    DayDate damaged{};
    for (int i = 0; i < 60 && damaged.year == 0; ++i) {
        CSchedule fresh;  // a stored error would fail every later call of one table
        ASSERT_EQ(fresh.Open(group), 0);
        if (loadFacilityDay(fresh, "Court 1", addDays({2026, 3, 1}, i), day) < 0)
            damaged = addDays({2026, 3, 1}, i);
    }
    ASSERT_NE(damaged.year, 0) << "no day's walk met the damaged leaf";
    messages.clear();
    const BookingOutcome out = book(request("Court 1", damaged, 9, 30, 10, 30));
    EXPECT_EQ(out.booked, 0);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0].title, "Database Error");
}

TEST(BookingText, LongDates) {
    EXPECT_EQ(longDateText({1970, 1, 1}), "Thursday, January 01, 1970");
    EXPECT_EQ(longDateText({2099, 12, 31}), "Thursday, December 31, 2099");
    EXPECT_EQ(longDateText({2024, 2, 29}), "Thursday, February 29, 2024");
}

// Make Reservation's selection turned into who is booked: the rule's message, or the chosen
// record read by its number (the table stands on another record meanwhile).
TEST_F(BookingTableTest, AReservationFormBooksTheCustomerOrItemItsSelectionNames) {
    CPeople people;
    CMaintenance items;
    ReservationLists lists;
    ASSERT_EQ(people.Create(group), 0);
    for (const char* last : {"Jansen", "Smith"}) {
        ASSERT_EQ(tables_test::addCustomer(people, "Anna", "B", last, "555-0101", "12", "Club"), 0);
        lists.customers.push_back(people.GetRecordNumber());
    }
    ASSERT_EQ(items.Create(group), 0);
    items.Clear();
    items.SetName("Resurface");
    ASSERT_EQ(items.Add(), 0);
    lists.items.push_back(items.GetRecordNumber());
    ReservationForm form{{{2026, 3, 9}, {2026, 3, 30}, kWeekly, 9, 15, 10, 45, "lights \xE9"}};
    const struct {
        int customerRow, maintenanceRow;
        ReservedFor who;
        std::string message, last;
    } cases[] = {
        {-1, -1, ReservedFor::kNobody,
         "A customer or maintenance item must be selected for the reservation", ""},
        {0, -1, ReservedFor::kNewCustomer, "", ""},
        {1, -1, ReservedFor::kCustomer, "", "Jansen"},
        {0, 0, ReservedFor::kMaintenance, "", "Resurface"},  // an item wins over a customer
        {3, -1, ReservedFor::kCustomer, "Could not read selected customer from database", ""},
        {-1, 1, ReservedFor::kMaintenance, "Could not read maintenance item from database", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.customerRow << " " << c.maintenanceRow);
        form.customerRow = c.customerRow;
        form.maintenanceRow = c.maintenanceRow;
        EXPECT_EQ(reservedFor(form), c.who);
        BookingRequest q = bookingRequest("Court 1", form);
        std::optional<Message> message = checkSelection(form);
        if (!message) message = readReservedFor(form, lists, &people, &items, q);
        EXPECT_EQ(message ? message->text : "", c.message);
        EXPECT_EQ(q.last, c.last);
        EXPECT_EQ(q.maintenance, c.who == ReservedFor::kMaintenance && c.message.empty());
        EXPECT_EQ(std::tie(q.facility, q.firstDay, q.throughDay, q.kind, q.startHH, q.startMM,
                           q.endHH, q.endMM, q.notes),
                  std::make_tuple("Court 1", form.firstDay, form.throughDay, form.kind,
                                  form.startHH, form.startMM, form.endHH, form.endMM, form.notes));
        if (c.who == ReservedFor::kCustomer && c.message.empty()) {
            EXPECT_EQ(std::tie(q.first, q.mi, q.phone, q.ext, q.org),
                      std::make_tuple("Anna", "B", "555-0101", "12", "Club"));
        }
    }
}

}  // namespace
}  // namespace quorvane

namespace quorvane {
namespace {

// Every lock change and write the engine makes, in order.
struct RecordingIo final : Io4 {
    struct Event {
        char kind;  // 'L' lock, 'U' unlock, 'W' write
        int fd;
        off_t start;
    };
    std::vector<Event> events;
    int fcntl(int fd, int cmd, struct flock* l) override {
        if (l && (cmd == F_OFD_SETLK || cmd == F_SETLK))
            events.push_back({l->l_type == F_UNLCK ? 'U' : 'L', fd, l->l_start});
        return Io4::fcntl(fd, cmd, l);
    }
    ssize_t pwrite(int fd, const void* buf, size_t len, off_t pos) override {
        events.push_back({'W', fd, pos});
        return Io4::pwrite(fd, buf, len, pos);
    }
};

constexpr off_t kAppendByte = 0x7FFFFFFE;

// The booking lock: another user can take neither the append lock nor the index lock while a
// booking holds it, and the append inside Add never lets the append lock go before the record
// is written (in that gap another user could check the day without it).
TEST_F(BookingTableTest, TheBookingLockHoldsFromTheDayReadThroughTheAppend) {
    auto otherUserTakes = [&](bool index) {
        const pid_t p = fork();
        if (p == 0) {
            Vask4 c;
            vask4init(&c);
            c.lockAttempts = 1;
            Data4* d = d4open(&c, (dir.path / "Courts.DBF").c_str());
            int r = d ? (index ? d4lockIndex(d) : d4lockAppend(d)) : -1;
            _exit(r == 0 ? 0 : r == 50 ? 50 : 1);
        }
        int st = 0;
        waitpid(p, &st, 0);
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    };
    ASSERT_EQ(table.LockAppend(), 0);
    EXPECT_EQ(otherUserTakes(false), 50);
    EXPECT_EQ(otherUserTakes(true), 50);

    RecordingIo io;
    Io4* previous = io4set(&io);
    table.Clear();
    table.SetDate(3, 9, 2026);
    table.SetFacility("Court 1");
    table.SetStart(9, 0);
    table.SetEnd(10, 0);
    const int added = table.Add();
    io4set(previous);
    table.Unlock();
    ASSERT_EQ(added, 0);
    // The data file's descriptor, by the name it is open under.
    int appendFd = -1;
    for (const auto& e : io.events) {
        const std::string link = "/proc/self/fd/" + std::to_string(e.fd);
        char target[4096];
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n > 4 && std::string(target, std::size_t(n)).ends_with(".DBF")) appendFd = e.fd;
    }
    ASSERT_GE(appendFd, 0);
    bool recordWritten = false;
    for (const auto& e : io.events) {
        if (e.kind == 'W' && e.fd == appendFd) recordWritten = true;
        if (!recordWritten) {
            EXPECT_FALSE(e.kind == 'U' && e.fd == appendFd && e.start == kAppendByte)
                << "the append lock was let go before the record was written";
        }
    }
    EXPECT_EQ(otherUserTakes(false), 0);
    EXPECT_EQ(otherUserTakes(true), 0);
}

}  // namespace
}  // namespace quorvane
