// The record editors' lists: the customer chooser filled from 10,000 customers, and the
// reservation list of one customer and of one maintenance item from today on the group
// benchmarks' 1,000,000-record table (about half of it after today). Each is measured against
// SQLite doing the same work in the same run: the same rows in a table whose only index is the
// one the walk needs (the customers' key; the reservations' date), the same lines built.
#if defined(QUORVANE_HAVE_TABLES) && defined(QUORVANE_HAVE_DIALOGS)
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "bench_util.h"
#include "big_group.h"
#include "dialogs/core/EditorCore.h"
#include "engine/io4.h"
#include "tables/People.h"
#include "tables/Schedule.h"
#include "tables/TableCore.h"

std::string benchBigGroupPath();  // group_bench.cpp

namespace {

constexpr int kCustomers = 10000;

using bench::NoSyncIo;

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string text(sqlite3_stmt* s, int col) {
    const unsigned char* t = sqlite3_column_text(s, col);
    return t ? reinterpret_cast<const char*>(t) : std::string();
}

// 10,000 customers in a customer table and in SQLite, built once per run.
struct CustomerFolder {
    bench::ScratchFolder folder{"/var/tmp"};  // the workload's own, beside no other's files
    std::string groupPath;
    sqlite3* db = nullptr;
    bool ok = false;

    CustomerFolder() {
        if (folder.path.empty()) return;
        groupPath = folder.file("Courts.rec");
        NoSyncIo noSync;
        Io4* previous = io4set(&noSync);
        CPeople people;
        const bool created = people.Create(groupPath) == 0;
        if (sqlite3_open(folder.file("people.sqlite").c_str(), &db) != SQLITE_OK) return;
        exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
        exec(db,
             "CREATE TABLE people(last TEXT, first TEXT, mi TEXT, phone TEXT, ext TEXT, "
             "altphone TEXT, altext TEXT, org TEXT, address TEXT, city TEXT, state TEXT, "
             "zip TEXT, notes TEXT);"
             "CREATE UNIQUE INDEX people_key ON people(last, first, mi, phone, ext);");
        exec(db, "BEGIN");
        sqlite3_stmt* ins = nullptr;
        sqlite3_prepare_v2(db,
                           "INSERT INTO people VALUES(?1, ?2, ?3, ?4, ?5, '', '', ?6, "
                           "'12 Main Street', 'Springfield', 'IL', '62701', '')",
                           -1, &ins, nullptr);
        bool added = created;
        const char* firsts[] = {"Anna", "John", "Maria", "Pieter", "Sam", "Lee", "Chris"};
        for (int i = 0; i < kCustomers && added; ++i) {
            // Inserted out of key order, as customers arrive.
            const int n = (i * 7919) % kCustomers;
            const std::string last = tables::format("Name%05d", n);
            const std::string first = firsts[n % 7];
            const std::string phone = tables::format("555-%04d", n);
            const std::string ext = n % 3 ? "" : std::to_string(n % 100);
            const std::string org = n % 4 ? "" : "Tennis Club " + std::to_string(n % 50);
            people.Clear();
            people.SetName(first, "", last);
            people.SetPhone(phone, ext);
            people.SetOrg(org);
            people.SetAddress("12 Main Street", "Springfield", "IL", "62701");
            added = people.Add() == 0;
            const std::string* values[] = {&last, &first, nullptr, &phone, &ext, &org};
            for (int c = 0; c < 6; ++c)
                sqlite3_bind_text(ins, c + 1, values[c] ? values[c]->c_str() : "", -1,
                                  SQLITE_TRANSIENT);
            added = added && sqlite3_step(ins) == SQLITE_DONE;
            sqlite3_reset(ins);
        }
        sqlite3_finalize(ins);
        exec(db, "COMMIT");
        people.Close();
        io4set(previous);
        sqlite3_close(db);
        db = nullptr;
        ::sync();
        ok = added;
    }
    ~CustomerFolder() {
        if (db) sqlite3_close(db);
    }
};

CustomerFolder& customerFolder() {
    static CustomerFolder f;
    return f;
}

void PeopleList_engine(benchmark::State& state) {
    CustomerFolder& f = customerFolder();
    CPeople people;
    if (!f.ok || people.Open(f.groupPath) != 0) {
        state.SkipWithError("cannot build the customers");
        return;
    }
    std::vector<quorvane::RecordRow> rows;
    for (auto _ : state) {
        quorvane::customerRows(people, rows);
        benchmark::DoNotOptimize(rows.data());
    }
    state.counters["rows"] = double(rows.size());
    people.Close();
}

// A connection of the benchmark's own: none finds the page cache another one warmed.
struct Connection {
    sqlite3* db = nullptr;
    explicit Connection(const std::filesystem::path& path) {
        if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) {
            sqlite3_close(db);
            db = nullptr;
        }
    }
    ~Connection() {
        if (db) sqlite3_close(db);
    }
};

void PeopleList_sqlite(benchmark::State& state) {
    CustomerFolder& f = customerFolder();
    Connection own(f.folder.file("people.sqlite"));
    sqlite3_stmt* q = nullptr;
    if (!f.ok || !own.db ||
        sqlite3_prepare_v2(own.db,
                           "SELECT rowid, phone, ext, last, first, mi, org FROM people "
                           "ORDER BY last, first, mi, phone, ext",
                           -1, &q, nullptr) != SQLITE_OK) {
        state.SkipWithError("cannot build the customers");
        return;
    }
    std::vector<quorvane::RecordRow> rows;
    for (auto _ : state) {
        rows.clear();
        while (sqlite3_step(q) == SQLITE_ROW)
            rows.push_back({quorvane::customerLine(text(q, 1), text(q, 2), text(q, 3), text(q, 4),
                                                   text(q, 5), text(q, 6)),
                            long(sqlite3_column_int64(q, 0))});
        sqlite3_reset(q);
        benchmark::DoNotOptimize(rows.data());
    }
    state.counters["rows"] = double(rows.size());
    sqlite3_finalize(q);
}

// The group benchmarks' reservations copied into SQLite with an index on the date only.
struct ReservationCopy {
    bench::ScratchFolder folder{"/var/tmp"};  // the workload's own, beside no other's files
    std::string groupPath;
    sqlite3* db = nullptr;
    quorvane::DayDate today;
    bool ok = false;

    ReservationCopy() {
        groupPath = benchBigGroupPath();
        if (groupPath.empty() || folder.path.empty()) return;
        today = quorvane::localDate(quorvane::appClock().now());
        if (sqlite3_open(folder.file("res.sqlite").c_str(), &db) != SQLITE_OK) return;
        exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
        exec(db,
             "CREATE TABLE res(date TEXT, room TEXT, sh INT, sm INT, eh INT, em INT, "
             "last TEXT, first TEXT, mi TEXT, phone TEXT, ext TEXT, notes TEXT, org TEXT)");
        CSchedule s;
        if (s.Open(groupPath) != 0) return;
        exec(db, "BEGIN");
        sqlite3_stmt* ins = nullptr;
        sqlite3_prepare_v2(db,
                           "INSERT INTO res VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, "
                           "?12, ?13)",
                           -1, &ins, nullptr);
        long n = 0;
        for (int r = s.First(); r == 0; r = s.Next(), ++n) {
            int mo, d, y, sh, sm, eh, em;
            s.GetDate(mo, d, y);
            s.GetStart(sh, sm);
            s.GetEnd(eh, em);
            std::string first, mi, last, phone, ext, org;
            s.GetNames(first, mi, last, phone, ext, org);
            const std::string key = quorvane::dateKey(y, mo, d), room = s.GetFacility(),
                              notes = s.GetNotes();
            sqlite3_bind_text(ins, 1, key.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(ins, 2, room.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(ins, 3, sh);
            sqlite3_bind_int(ins, 4, sm);
            sqlite3_bind_int(ins, 5, eh);
            sqlite3_bind_int(ins, 6, em);
            const std::string* t[] = {&last, &first, &mi, &phone, &ext, &notes, &org};
            for (int c = 0; c < 7; ++c)
                sqlite3_bind_text(ins, 7 + c, t[c]->c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(ins) != SQLITE_DONE) return;
            sqlite3_reset(ins);
        }
        sqlite3_finalize(ins);
        exec(db, "CREATE INDEX res_date ON res(date)");
        exec(db, "COMMIT");
        s.Close();
        sqlite3_close(db);
        db = nullptr;
        ::sync();
        ok = n > 0;
    }
    ~ReservationCopy() {
        if (db) sqlite3_close(db);
    }
};

ReservationCopy& reservationCopy() {
    static ReservationCopy c;
    return c;
}

// The customer whose list is measured: one of the fifteen courts' regulars, so about 1 in 15
// of the reservations after today is theirs; the item matches none, so its list is the walk.
const quorvane::CustomerName kWho{"Anna", "", "Jansen3", "555-0101"};
const char* const kItem = "Mowing";

void walkEngine(benchmark::State& state, bool item) {
    ReservationCopy& c = reservationCopy();
    CSchedule s;
    if (!c.ok || s.Open(c.groupPath) != 0) {
        state.SkipWithError("cannot build the reservations");
        return;
    }
    std::vector<quorvane::ReservationRow> rows;
    for (auto _ : state) {
        if (item)
            quorvane::maintenanceReservations(s, kItem, c.today, rows);
        else
            quorvane::customerReservations(s, kWho, c.today, rows);
        benchmark::DoNotOptimize(rows.data());
    }
    state.counters["rows"] = double(rows.size());
    s.Close();
}

void walkSqlite(benchmark::State& state, bool item) {
    ReservationCopy& c = reservationCopy();
    Connection own(c.folder.file("res.sqlite"));
    sqlite3_stmt* q = nullptr;
    const char* sql =
        item ? "SELECT rowid, date, room, sh, sm, eh, em, notes FROM res "
               "WHERE date >= ?1 AND last = ?2 ORDER BY date, room, sh, sm"
             : "SELECT rowid, date, room, sh, sm, eh, em, notes FROM res "
               "WHERE date >= ?1 AND first = ?2 AND mi = ?3 AND last = ?4 AND phone = ?5 "
               "ORDER BY date, room, sh, sm";
    if (!c.ok || !own.db || sqlite3_prepare_v2(own.db, sql, -1, &q, nullptr) != SQLITE_OK) {
        state.SkipWithError("cannot build the reservations");
        return;
    }
    const std::string from = quorvane::dateKey(c.today);
    sqlite3_bind_text(q, 1, from.c_str(), -1, SQLITE_TRANSIENT);
    if (item) {
        sqlite3_bind_text(q, 2, kItem, -1, SQLITE_STATIC);
    } else {
        sqlite3_bind_text(q, 2, kWho.first.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(q, 3, kWho.mi.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(q, 4, kWho.last.c_str(), -1, SQLITE_STATIC);
        sqlite3_bind_text(q, 5, kWho.phone.c_str(), -1, SQLITE_STATIC);
    }
    std::vector<quorvane::ReservationRow> rows;
    for (auto _ : state) {
        rows.clear();
        while (sqlite3_step(q) == SQLITE_ROW) {
            const std::string date = text(q, 1), room = text(q, 2);
            const std::string line = tables::format(
                "%.2s/%.2s/%.4s   %s   %s \t%s   %s", date.c_str() + 4, date.c_str() + 6,
                date.c_str(),
                quorvane::amPmTime(sqlite3_column_int(q, 3), sqlite3_column_int(q, 4)).c_str(),
                quorvane::amPmTime(sqlite3_column_int(q, 5), sqlite3_column_int(q, 6)).c_str(),
                room.c_str(), sqlite3_column_bytes(q, 7) > 0 ? "(Note)" : "");
            rows.push_back({line, long(sqlite3_column_int64(q, 0)), room});
        }
        sqlite3_reset(q);
        benchmark::DoNotOptimize(rows.data());
    }
    state.counters["rows"] = double(rows.size());
    sqlite3_finalize(q);
}

void PersonReservations_engine(benchmark::State& state) {
    walkEngine(state, false);
}
void PersonReservations_sqlite(benchmark::State& state) {
    walkSqlite(state, false);
}
void MaintReservations_engine(benchmark::State& state) {
    walkEngine(state, true);
}
void MaintReservations_sqlite(benchmark::State& state) {
    walkSqlite(state, true);
}

}  // namespace

BENCHMARK(PeopleList_engine)->Name("PeopleList/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(PeopleList_sqlite)->Name("PeopleList/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(PersonReservations_engine)
    ->Name("PersonReservations/engine")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(PersonReservations_sqlite)
    ->Name("PersonReservations/sqlite")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(MaintReservations_engine)
    ->Name("MaintReservations/engine")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(MaintReservations_sqlite)
    ->Name("MaintReservations/sqlite")
    ->Unit(benchmark::kMillisecond);
#endif
