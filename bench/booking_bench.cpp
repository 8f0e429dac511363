// Booking on the 1,000,000-record reservation table of the group benchmarks, against SQLite
// holding the same rows with a unique index on (date, room, start):
//   BookingOpenList    a facility's day as its list shows it (16 lines)
//   BookingSingle      append lock, the day, the check, Add with its flush, unlock;
//                      SQLite: BEGIN IMMEDIATE, the day's SELECT, INSERT, COMMIT
//   BookingSeriesYear  a daily series through one year, every day on its own as above
//   CancelRestYear     cancelling a year series' first member and its rest; SQLite: one
//                      transaction deleting the first and then, per day, the member with the
//                      same stamp
// SQLite runs with synchronous=FULL and the rollback journal.
#ifdef QUORVANE_HAVE_TABLES
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "big_group.h"
#include "reservations/core/BookingCore.h"
#include "tables/Schedule.h"
#include "tables/TableCore.h"

namespace {

using bench::bigGroup;
using quorvane::DayDate;

constexpr DayDate kFirstDay{2000, 1, 1};
constexpr int kListed = 16;
// Booked days lie after the last day of the big table.
constexpr DayDate kFreeFrom{2013, 1, 1};

std::string room(int f) {
    return "Court " + std::to_string(f + 1);
}

// The same list line the engine side builds, from a row's values.
std::string lineOf(int sh, int sm, int eh, int em, const std::string& last,
                   const std::string& first, const std::string& mi, const std::string& org,
                   bool notes) {
    return quorvane::amPmTime(sh, sm) + "   " + quorvane::amPmTime(eh, em) + "   " + last + ", " +
           first + " " + mi + "  " + quorvane::orgText(org) + "   " + (notes ? "(Note)" : "");
}

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The SQLite twin of the group's reservations, built once per run in a folder of its own and
// never written after: the benchmarks that write work on their own copies of it.
struct Twin {
    bench::Scratch folder;
    std::string path;
    bool ok = false;
    Twin();
};

struct Sqlite {
    sqlite3* db = nullptr;
    bool ok = false;
    sqlite3_stmt* day = nullptr;
    sqlite3_stmt* insert = nullptr;
    sqlite3_stmt* removeOne = nullptr;
    sqlite3_stmt* removeMember = nullptr;

    bool exec(const char* sql) { return ::exec(db, sql); }
    sqlite3_stmt* prepare(const char* sql) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, sql, -1, &s, nullptr);
        return s;
    }

    // A connection of its own on the twin at path (or on a copy of it).
    explicit Sqlite(const std::string& path) {
        if (path.empty() || sqlite3_open(path.c_str(), &db) != SQLITE_OK) return;
        if (!exec("PRAGMA journal_mode=DELETE") || !exec("PRAGMA synchronous=FULL")) return;
        insert = prepare(
            "INSERT INTO r VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, '', ?9, '', ?10, ?11, ?12, ?13, "
            "?14, 0, 1, 0, ?15)");
        day = prepare(
            "SELECT sh, sm, eh, em, last, first, mi, org, notes FROM r "
            "WHERE date = ?1 AND room = ?2 ORDER BY sh, sm");
        removeOne = prepare("DELETE FROM r WHERE date = ?1 AND room = ?2 AND sh = ?3 AND sm = ?4");
        removeMember = prepare(
            "DELETE FROM r WHERE date = ?1 AND room = ?2 AND sh = ?3 AND sm = ?4 AND "
            "datemade = ?5 AND timemade = ?6");
        ok = day && insert && removeOne && removeMember;
    }
    ~Sqlite() {
        for (sqlite3_stmt* s : {day, insert, removeOne, removeMember}) sqlite3_finalize(s);
        if (db) sqlite3_close(db);
    }

    bool add(const std::string& date, const std::string& r, int sh, int sm, int eh, int em,
             const std::string& last, const std::string& first, const std::string& notes,
             const std::string& made, const std::string& time, int kind,
             const std::string& recurDate, const std::string& org) {
        sqlite3_reset(insert);
        sqlite3_bind_text(insert, 1, date.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, r.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 3, sh);
        sqlite3_bind_int(insert, 4, sm);
        sqlite3_bind_int(insert, 5, eh);
        sqlite3_bind_int(insert, 6, em);
        sqlite3_bind_text(insert, 7, last.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 8, first.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 9, "555-0101", -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 10, notes.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 11, made.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 12, time.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 13, kind);
        sqlite3_bind_text(insert, 14, recurDate.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 15, org.c_str(), -1, SQLITE_TRANSIENT);
        return sqlite3_step(insert) == SQLITE_DONE;
    }

    // The day's lines and clock values, as the list loads them.
    void loadDay(const std::string& date, const std::string& r, quorvane::FacilityDay& out) {
        out.clear();
        sqlite3_reset(day);
        sqlite3_bind_text(day, 1, date.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(day, 2, r.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(day) == SQLITE_ROW) {
            const int sh = sqlite3_column_int(day, 0), sm = sqlite3_column_int(day, 1);
            const int eh = sqlite3_column_int(day, 2), em = sqlite3_column_int(day, 3);
            auto text = [&](int c) {
                const unsigned char* t = sqlite3_column_text(day, c);
                return t ? std::string(reinterpret_cast<const char*>(t)) : std::string();
            };
            out.starts.push_back(sh * 100 + sm);
            out.ends.push_back(eh * 100 + em);
            out.lines.push_back(
                lineOf(sh, sm, eh, em, text(4), text(5), text(6), text(7), !text(8).empty()));
        }
    }

    // One day of a booking as the dialog makes it: 0 stored, 2 refused, -1 failed.
    int book(const quorvane::BookingRequest& q, const DayDate& d, const std::string& recurDate) {
        if (!exec("BEGIN IMMEDIATE")) return -1;
        quorvane::FacilityDay fd;
        const std::string key = quorvane::dateKey(d);
        loadDay(key, q.facility, fd);
        if (quorvane::checkReservation(q.startHH, q.startMM, q.endHH, q.endMM, fd) != 0) {
            exec("ROLLBACK");
            return 2;
        }
        const bool added =
            add(key, q.facility, q.startHH, q.startMM, q.endHH, q.endMM, q.last, q.first, q.notes,
                quorvane::dateKey(q.madeDate), tables::format("%02d%02d", q.madeHH, q.madeMM),
                q.kind, recurDate, q.org);
        if (!exec("COMMIT")) return -1;
        return added ? 0 : -1;
    }
};

Twin::Twin() {
    const bench::BigGroup& g = bigGroup();
    if (!g.ok || !folder.ok) return;
    path = (folder.folder / "reservations.db").string();
    {
        Sqlite s(path);
        // The schema first: the statements of a connection opened on an empty file fail.
        if (!s.db || !s.exec("PRAGMA synchronous=OFF") ||
            !s.exec("CREATE TABLE r(date TEXT, room TEXT, sh INT, sm INT, eh INT, em INT, "
                    "last TEXT, first TEXT, mi TEXT, phone TEXT, ext TEXT, notes TEXT, "
                    "datemade TEXT, timemade TEXT, recurdays INT, recurdate TEXT, typeflag INT, "
                    "kept INT, flag1 INT, org TEXT)") ||
            !s.exec("CREATE UNIQUE INDEX k ON r(date, room, sh, sm)"))
            return;
    }
    Sqlite s(path);
    if (!s.ok || !s.exec("PRAGMA synchronous=OFF") || !s.exec("BEGIN")) return;
    long written = 0;
    const long days = (bench::kRecords + bench::kPerDay - 1) / bench::kPerDay;
    for (long d = 0; d < days && written < bench::kRecords; ++d) {
        const std::string key = quorvane::dateKey(quorvane::addDays(kFirstDay, int(d)));
        for (int f = 0; f < bench::kFacilities && written < bench::kRecords; ++f)
            for (int h = 6; h < 22 && written < bench::kRecords; ++h, ++written)
                if (!s.add(key, room(f), h, 0, h + 1, 0, "Jansen" + std::to_string(f), "Anna", "",
                           "00000000", "0000", 0, "00000000", "Club"))
                    return;
    }
    if (!s.exec("COMMIT")) return;
    // Written without flushes; no measured flush may pay for writing it out.
    ::sync();
    ok = true;
}

const Twin& twin() {
    static Twin t;
    return t;
}

bool twinFile(const std::string& name) {
    return name == "reservations.db";
}

// A benchmark's own copy of the twin (for the benchmarks that write), opened.
struct TwinCopy {
    bench::Scratch scratch;
    std::unique_ptr<Sqlite> s;
    TwinCopy() {
        if (twin().ok && scratch.copyFrom(twin().folder.folder, twinFile))
            s = std::make_unique<Sqlite>((scratch.folder / "reservations.db").string());
    }
    bool ok() const { return s && s->ok; }
};

// The group's table opened for one benchmark: the pristine group for reading, or a copy of it
// of the benchmark's own for writing.
struct EngineTable {
    bench::Scratch scratch;
    CSchedule table;
    bool ok = false;
    explicit EngineTable(bool writes) {
        const bench::BigGroup& g = bigGroup();
        if (!g.ok) return;
        std::string path = g.groupPath;
        if (writes) {
            if (!scratch.copyFrom(g.folder, bench::groupFile)) return;
            path = (scratch.folder / std::filesystem::path(g.groupPath).filename()).string();
        }
        ok = table.Open(path) == 0;
    }
};

// The slot of booking number i: a free day, a court and an hour no other booking of the run
// takes.
quorvane::BookingRequest slot(long i, int kind = quorvane::kSingle) {
    quorvane::BookingRequest q;
    q.facility = room(int(i / 16 % bench::kFacilities));
    q.firstDay = quorvane::addDays(kFreeFrom, int(kind == quorvane::kSingle ? i / 240 : 0) +
                                                  (kind == quorvane::kSingle ? 2000 : 0));
    q.startHH = 6 + int(i % 16);
    q.endHH = q.startHH + 1;
    q.kind = kind;
    q.throughDay = kind == quorvane::kSingle ? q.firstDay : quorvane::addDays(q.firstDay, 364);
    q.first = "Anna";
    q.last = "Jansen";
    q.org = "Club";
    q.madeDate = {2026, 3, 10};
    q.madeHH = 9;
    q.madeMM = int(i % 60);
    return q;
}

const DayDate kMiddle = quorvane::addDays(kFirstDay, int(bench::kRecords / bench::kPerDay / 2));

void BookingOpenList_engine(benchmark::State& state) {
    EngineTable e(false);
    if (!e.ok) return state.SkipWithError("cannot build the group");
    quorvane::FacilityDay day;
    for (auto _ : state) quorvane::loadFacilityDay(e.table, "Court 7", kMiddle, day);
    if (day.lines.size() != kListed) state.SkipWithError("not the day's 16 lines");
    state.counters["lines"] = double(day.lines.size());
}

void BookingOpenList_sqlite(benchmark::State& state) {
    Sqlite s(twin().ok ? twin().path : std::string());
    if (!s.ok) return state.SkipWithError("cannot build the SQLite twin");
    quorvane::FacilityDay day;
    for (auto _ : state) s.loadDay(quorvane::dateKey(kMiddle), "Court 7", day);
    if (day.lines.size() != kListed) state.SkipWithError("not the day's 16 lines");
    state.counters["lines"] = double(day.lines.size());
}

// The benchmarks that write run a fixed number of iterations: one run each, on copies of
// their own made before it.
constexpr int kSingles = 100;

void BookingSingle_engine(benchmark::State& state) {
    EngineTable e(true);
    if (!e.ok) return state.SkipWithError("cannot build the group");
    long next = 0;
    quorvane::FacilityDay day;
    long booked = 0;
    for (auto _ : state) booked += quorvane::bookReservation(e.table, slot(next++), day, {}).booked;
    if (booked != long(state.iterations())) state.SkipWithError("a booking was refused");
}

void BookingSingle_sqlite(benchmark::State& state) {
    TwinCopy c;
    if (!c.ok()) return state.SkipWithError("cannot build the SQLite twin");
    long next = 0;
    long booked = 0;
    for (auto _ : state) {
        const quorvane::BookingRequest q = slot(next++);
        booked += c.s->book(q, q.firstDay, "00000000") == 0;
    }
    if (booked != long(state.iterations())) state.SkipWithError("a booking was refused");
}

void BookingSeriesYear_engine(benchmark::State& state) {
    EngineTable e(true);
    if (!e.ok) return state.SkipWithError("cannot build the group");
    long next = 0;
    quorvane::FacilityDay day;
    int booked = 0;
    for (auto _ : state)
        booked = quorvane::bookReservation(e.table, slot(next++, quorvane::kDaily), day, {}).booked;
    if (booked != 365) state.SkipWithError("not 365 days booked");
    state.counters["days"] = booked;
}

void BookingSeriesYear_sqlite(benchmark::State& state) {
    TwinCopy c;
    if (!c.ok()) return state.SkipWithError("cannot build the SQLite twin");
    Sqlite& s = *c.s;
    long next = 0;
    int booked = 0;
    for (auto _ : state) {
        const quorvane::BookingRequest q = slot(next++, quorvane::kDaily);
        const std::string end = quorvane::dateKey(q.throughDay);
        booked = 0;
        for (DayDate d = q.firstDay; d <= q.throughDay; d = quorvane::addDays(d, 1))
            booked += s.book(q, d, end) == 0;
    }
    if (booked != 365) state.SkipWithError("not 365 days booked");
    state.counters["days"] = booked;
}

// The series of CancelRestYear use hours of their own (after the booking benchmarks' slots).
quorvane::BookingRequest restSlot(long i) {
    quorvane::BookingRequest q = slot(i, quorvane::kDaily);
    q.firstDay = quorvane::addDays(kFreeFrom, 400);
    q.throughDay = quorvane::addDays(q.firstDay, 364);
    return q;
}

void CancelRestYear_engine(benchmark::State& state) {
    EngineTable e(true);
    if (!e.ok) return state.SkipWithError("cannot build the group");
    CSchedule* t = &e.table;
    long next = 0;
    quorvane::FacilityDay day;
    int cancelled = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const quorvane::BookingRequest q = restSlot(next++);
        const int booked = quorvane::bookReservation(*t, q, day, {}).booked;
        state.ResumeTiming();
        quorvane::SeriesMember m;
        if (booked != 365 ||
            quorvane::cancelReservation(*t, q.facility, q.firstDay, q.startHH * 100, m) != 0)
            return state.SkipWithError("the series is not there");
        cancelled = 1 + quorvane::cancelRest(*t, m);
    }
    if (cancelled != 365) state.SkipWithError("not 365 days cancelled");
    state.counters["days"] = cancelled;
}

void CancelRestYear_sqlite(benchmark::State& state) {
    TwinCopy c;
    if (!c.ok()) return state.SkipWithError("cannot build the SQLite twin");
    Sqlite& s = *c.s;
    long next = 0;
    int cancelled = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const quorvane::BookingRequest q = restSlot(next++);
        const std::string end = quorvane::dateKey(q.throughDay);
        const std::string made = quorvane::dateKey(q.madeDate);
        const std::string time = tables::format("%02d%02d", q.madeHH, q.madeMM);
        s.exec("BEGIN");
        for (DayDate d = q.firstDay; d <= q.throughDay; d = quorvane::addDays(d, 1))
            s.add(quorvane::dateKey(d), q.facility, q.startHH, 0, q.endHH, 0, q.last, q.first, "",
                  made, time, q.kind, end, q.org);
        s.exec("COMMIT");
        state.ResumeTiming();
        cancelled = 0;
        if (!s.exec("BEGIN IMMEDIATE")) return state.SkipWithError("no transaction");
        auto bindKey = [&](sqlite3_stmt* st, const DayDate& d) {
            sqlite3_reset(st);
            const std::string key = quorvane::dateKey(d);
            sqlite3_bind_text(st, 1, key.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 2, q.facility.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(st, 3, q.startHH);
            sqlite3_bind_int(st, 4, 0);
        };
        bindKey(s.removeOne, q.firstDay);
        if (sqlite3_step(s.removeOne) == SQLITE_DONE) cancelled += sqlite3_changes(s.db);
        for (DayDate d = quorvane::addDays(q.firstDay, 1); d <= q.throughDay;
             d = quorvane::addDays(d, 1)) {
            bindKey(s.removeMember, d);
            sqlite3_bind_text(s.removeMember, 5, made.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(s.removeMember, 6, time.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(s.removeMember) == SQLITE_DONE) cancelled += sqlite3_changes(s.db);
        }
        s.exec("COMMIT");
    }
    if (cancelled != 365) state.SkipWithError("not 365 days cancelled");
    state.counters["days"] = cancelled;
}

}  // namespace

BENCHMARK(BookingOpenList_engine)
    ->Name("BookingOpenList/engine")
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BookingOpenList_sqlite)
    ->Name("BookingOpenList/sqlite")
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();
BENCHMARK(BookingSingle_engine)
    ->Name("BookingSingle/engine")
    ->Iterations(kSingles)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BookingSingle_sqlite)
    ->Name("BookingSingle/sqlite")
    ->Iterations(kSingles)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BookingSeriesYear_engine)
    ->Name("BookingSeriesYear/engine")
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BookingSeriesYear_sqlite)
    ->Name("BookingSeriesYear/sqlite")
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(CancelRestYear_engine)
    ->Name("CancelRestYear/engine")
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(CancelRestYear_sqlite)
    ->Name("CancelRestYear/sqlite")
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif
