// The reports on the 1,000,000-record reservation table of the group workloads: the
// reservation report over a month and over a year (every facility, no filter) and the
// utilization of all 15 facilities over a year, with and without an hour window. SQLite does
// the same work in the same run: the same builder reads the same rows in the same order
// through a cursor on an indexed SQLite table, so both sides format identical lines.
#if defined(QUORVANE_HAVE_TABLES) && defined(QUORVANE_HAVE_REPORTS)
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <string>

#include "base/Calendar.h"
#include "base/Clock.h"
#include "reports/core/ReservationReport.h"
#include "reports/core/UtilizationReport.h"
#include "tables/Schedule.h"

std::string benchBigGroupPath();  // group_bench.cpp

namespace {

using namespace quorvane;

int number(const unsigned char* t, int from, int len) {
    int v = 0;
    for (int i = from; i < from + len && t && t[i] >= '0' && t[i] <= '9'; ++i)
        v = v * 10 + (t[i] - '0');
    return v;
}

std::string text(sqlite3_stmt* st, int c) {
    const unsigned char* t = sqlite3_column_text(st, c);
    return t ? std::string(reinterpret_cast<const char*>(t),
                           std::size_t(sqlite3_column_bytes(st, c)))
             : std::string();
}

// The rows of [from, to] in key order, from an SQLite table indexed on the same key.
class SqliteCursor final : public ReservationCursor {
public:
    SqliteCursor(sqlite3* db, const std::string& toKey) : to_(toKey) {
        sqlite3_prepare_v2(db,
                           "SELECT date, roomname, starthh, startmm, endhh, endmm, lastname,"
                           " firstname, mi, phone, ext FROM sched WHERE date >= ?1 AND date <= ?2"
                           " ORDER BY date, roomname, starthh, startmm",
                           -1, &st_, nullptr);
    }
    ~SqliteCursor() override { sqlite3_finalize(st_); }
    bool ok() const { return st_ != nullptr; }
    int first() override { return seekDate("00000000"); }
    int seekDate(const std::string& key) override {
        sqlite3_reset(st_);
        sqlite3_bind_text(st_, 1, key.c_str(), int(key.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(st_, 2, to_.c_str(), int(to_.size()), SQLITE_TRANSIENT);
        return next();
    }
    int next() override { return sqlite3_step(st_) == SQLITE_ROW ? 0 : 3; }
    void read(ReservationRecord& r) const override {
        const unsigned char* d = sqlite3_column_text(st_, 0);
        r.year = number(d, 0, 4);
        r.month = number(d, 4, 2);
        r.day = number(d, 6, 2);
        r.facility = text(st_, 1);
        r.startHour = number(sqlite3_column_text(st_, 2), 0, 2);
        r.startMinute = number(sqlite3_column_text(st_, 3), 0, 2);
        r.endHour = number(sqlite3_column_text(st_, 4), 0, 2);
        r.endMinute = number(sqlite3_column_text(st_, 5), 0, 2);
        r.last = text(st_, 6);
        r.first = text(st_, 7);
        r.mi = text(st_, 8);
        r.phone = text(st_, 9);
        r.ext = text(st_, 10);
    }

private:
    sqlite3_stmt* st_ = nullptr;
    std::string to_;
};

// The same reservations in SQLite, copied from the group's table once per run (beside it, so
// it goes with the group's folder at exit).
struct Stores {
    std::string group;
    sqlite3* db = nullptr;
    bool ok = false;
    Stores() {
        group = benchBigGroupPath();
        if (group.empty()) return;
        const std::string path = group.substr(0, group.rfind('/') + 1) + "sched.sqlite";
        if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return;
        sqlite3_exec(db,
                     "PRAGMA journal_mode=WAL;"
                     "CREATE TABLE sched(date TEXT, roomname TEXT, starthh TEXT, startmm TEXT,"
                     " endhh TEXT, endmm TEXT, lastname TEXT, firstname TEXT, mi TEXT,"
                     " phone TEXT, ext TEXT); BEGIN;",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt* ins = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO sched VALUES(?,?,?,?,?,?,?,?,?,?,?)", -1, &ins,
                           nullptr);
        CSchedule s;
        if (s.Open(group) != 0) return;
        for (int r = s.First(); r == 0; r = s.Next()) {
            int m, d, y, sh, sm, eh, em;
            s.GetDate(m, d, y);
            s.GetStart(sh, sm);
            s.GetEnd(eh, em);
            std::string first, mi, last, phone, ext, org;
            s.GetNames(first, mi, last, phone, ext, org);
            auto two = [](int v) {
                const int n = ((v % 100) + 100) % 100;
                return std::string{char('0' + n / 10), char('0' + n % 10)};
            };
            const std::string values[11] = {dateKey(y, m, d),
                                            s.GetFacility(),
                                            two(sh),
                                            two(sm),
                                            two(eh),
                                            two(em),
                                            last,
                                            first,
                                            mi,
                                            phone,
                                            ext};
            for (int i = 0; i < 11; ++i)
                sqlite3_bind_text(ins, i + 1, values[i].c_str(), int(values[i].size()),
                                  SQLITE_TRANSIENT);
            sqlite3_step(ins);
            sqlite3_reset(ins);
        }
        sqlite3_finalize(ins);
        sqlite3_exec(db,
                     "COMMIT; CREATE UNIQUE INDEX schedtag ON sched(date, roomname, starthh,"
                     " startmm); ANALYZE; PRAGMA wal_checkpoint(TRUNCATE);",
                     nullptr, nullptr, nullptr);
        ::sync();
        ok = true;
    }
    ~Stores() {
        if (db) sqlite3_close(db);
    }
};

// A connection of the benchmark's own: none finds the page cache another one warmed.
struct Connection {
    sqlite3* db = nullptr;
    explicit Connection(const std::string& group) {
        const std::string path = group.substr(0, group.rfind('/') + 1) + "sched.sqlite";
        if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
            sqlite3_close(db);
            db = nullptr;
        }
    }
    ~Connection() {
        if (db) sqlite3_close(db);
    }
};

Stores& stores() {
    static Stores s;
    return s;
}

ReportCriteria rangeOf(DayDate from, DayDate to) {
    ReportCriteria c;
    c.rangeStart = localTimeValue(from);
    c.rangeEnd = localTimeValue(to, 23, 0);
    return c;
}

const DayDate kMonthFrom{2005, 3, 1}, kMonthTo{2005, 3, 31};
const DayDate kYearFrom{2005, 1, 1}, kYearTo{2005, 12, 31};

std::vector<std::string> courts() {
    std::vector<std::string> names;
    for (int i = 0; i < 15; ++i) names.push_back("Court " + std::to_string(i + 1));
    return names;
}

// Runs the report on either store; the first run of each pair checks that both give the
// same lines.
void reservationReport(benchmark::State& state, bool engine, DayDate from, DayDate to) {
    Stores& st = stores();
    if (!st.ok) return state.SkipWithError("cannot build the stores");
    const ReportCriteria c = rangeOf(from, to);
    const std::vector<std::string> names = courts();
    CSchedule schedule;
    if (schedule.Open(st.group) != 0) return state.SkipWithError("open failed");
    // One cursor per report: a cursor is one walk, and what it read must not serve the next.
    Connection own(st.group);
    SqliteCursor sql(own.db, dateKey(to));
    if (!sql.ok()) return state.SkipWithError("prepare failed");
    {
        ReportLines a, b;
        ScheduleCursor table(schedule);
        buildReservationReport(c, names, table, a);
        buildReservationReport(c, names, sql, b);
        if (a.size() < 100 || a.toVector() != b.toVector())
            return state.SkipWithError("the two stores give different lines");
    }
    std::size_t lines = 0;
    for (auto _ : state) {
        ReportLines out;
        if (engine) {
            ScheduleCursor table(schedule);
            buildReservationReport(c, names, table, out);
        } else
            buildReservationReport(c, names, sql, out);
        lines = out.size();
        benchmark::DoNotOptimize(out);
    }
    state.counters["lines"] = double(lines);
}

void utilization(benchmark::State& state, bool engine, bool window) {
    Stores& st = stores();
    if (!st.ok) return state.SkipWithError("cannot build the stores");
    ReportCriteria c = rangeOf(kYearFrom, kYearTo);
    std::array<std::string, kSlots> names;
    for (int i = 0; i < 15; ++i) {
        names[std::size_t(i)] = "Court " + std::to_string(i + 1);
        c.facilities.push_back(i);
    }
    c.useHourWindow = window;
    c.windowStart = 8;
    c.windowEnd = 20;
    CSchedule schedule;
    if (schedule.Open(st.group) != 0) return state.SkipWithError("open failed");
    Connection own(st.group);
    SqliteCursor sql(own.db, dateKey(kYearTo));
    {
        ScheduleCursor table(schedule);
        const auto a = computeUtilization(c, names, 15, table);
        const auto b = computeUtilization(c, names, 15, sql);
        for (int i = 0; i < kSlots; ++i)
            if (a.rooms[std::size_t(i)].share != b.rooms[std::size_t(i)].share)
                return state.SkipWithError("the two stores give different figures");
    }
    long records = 0;
    for (auto _ : state) {
        UtilizationResult r;
        if (engine) {
            ScheduleCursor table(schedule);
            r = computeUtilization(c, names, 15, table);
        } else {
            r = computeUtilization(c, names, 15, sql);
        }
        records = r.recordsRead;
        benchmark::DoNotOptimize(r);
    }
    state.counters["records"] = double(records);
}

void ReportMonthEngine(benchmark::State& s) {
    reservationReport(s, true, kMonthFrom, kMonthTo);
}
void ReportMonthSqlite(benchmark::State& s) {
    reservationReport(s, false, kMonthFrom, kMonthTo);
}
void ReportYearEngine(benchmark::State& s) {
    reservationReport(s, true, kYearFrom, kYearTo);
}
void ReportYearSqlite(benchmark::State& s) {
    reservationReport(s, false, kYearFrom, kYearTo);
}
void UtilizationYearEngine(benchmark::State& s) {
    utilization(s, true, false);
}
void UtilizationYearSqlite(benchmark::State& s) {
    utilization(s, false, false);
}
void UtilizationYearWindowEngine(benchmark::State& s) {
    utilization(s, true, true);
}
void UtilizationYearWindowSqlite(benchmark::State& s) {
    utilization(s, false, true);
}

}  // namespace

BENCHMARK(ReportMonthEngine)->Name("ReportMonth/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(ReportMonthSqlite)->Name("ReportMonth/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(ReportYearEngine)->Name("ReportYear/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(ReportYearSqlite)->Name("ReportYear/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(UtilizationYearEngine)->Name("UtilizationYear/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(UtilizationYearSqlite)->Name("UtilizationYear/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(UtilizationYearWindowEngine)
    ->Name("UtilizationYearWindow/engine")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(UtilizationYearWindowSqlite)
    ->Name("UtilizationYearWindow/sqlite")
    ->Unit(benchmark::kMillisecond);
#endif
