// The day chart and the customer exports, each beside SQLite doing the same work in the same
// run:
//   DayGlanceOpen   one day of 15 courts read from a 1,000,000-record reservation table and
//                   painted as the chart's bars;
//   ExportText      10,000 customers in key order to the comma-delimited file;
//   ExportAddress   the same customers into the keyed address pair, durable at the end
//                   (SQLite: into a table keyed the same way, committed once).
// Built only when the report layer and the tables are part of the tree.
#ifdef QUORVANE_HAVE_REPORTS
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "bench_util.h"
#include "big_group.h"
#include "engine/io4.h"
#include "group/GroupFile.h"
#include "opened_group.h"
#include "reports/core/CustomerExport.h"
#include "reports/core/DayChart.h"
#include "reports/core/KFSClass.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/Schedule.h"

namespace {

using bench::kFacilities;
using bench::NoSyncIo;
constexpr int kCustomers = 10000;

sqlite3* openSqlite(const std::string& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return nullptr;
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;", nullptr, nullptr,
                 nullptr);
    return db;
}

// ----- the day chart -----

struct BigDay {
    bench::ScratchFolder folder{"/var/tmp"};  // the workload's own, beside no other's files
    std::string groupPath, sqlitePath;
    quorvane::GroupFile group;
    quorvane::DayDate day;
    quorvane::FixedClock clock;
    bool ok = false;

    BigDay() {
        if (folder.path.empty()) return;
        groupPath = folder.file("Courts.rec");
        sqlitePath = folder.file("courts.sqlite");
        sqlite3* db = openSqlite(sqlitePath);
        if (!db) return;
        sqlite3_exec(db,
                     "PRAGMA synchronous=OFF; CREATE TABLE sched(date TEXT, room TEXT, sh INT, "
                     "sm INT, eh INT, em INT, last TEXT, org TEXT, PRIMARY KEY(date, room, sh, "
                     "sm)) WITHOUT ROWID; BEGIN;",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO sched VALUES(?,?,?,?,?,?,?,?)", -1, &insert, nullptr);
        // The same bookings into SQLite as they are appended to the group's table.
        const bool built = bench::buildCourtsGroup(
            groupPath, group,
            [&](const quorvane::DayDate& date, int f, int h) {
                const std::string key = quorvane::dateKey(date);
                sqlite3_bind_text(insert, 1, key.c_str(), -1, SQLITE_TRANSIENT);
                sqlite3_bind_text(insert, 2, group.rooms[std::size_t(f)].name.c_str(), -1,
                                  SQLITE_TRANSIENT);
                sqlite3_bind_int(insert, 3, h);
                sqlite3_bind_int(insert, 4, 0);
                sqlite3_bind_int(insert, 5, h + 1);
                sqlite3_bind_int(insert, 6, 0);
                sqlite3_bind_text(insert, 7, "Jansen", -1, SQLITE_STATIC);
                sqlite3_bind_text(insert, 8, "Club", -1, SQLITE_STATIC);
                sqlite3_step(insert);
                sqlite3_reset(insert);
            },
            day);
        sqlite3_finalize(insert);
        sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        if (!built) return;
        clock.set(quorvane::localTimeValue(day, 10, 30));
        quorvane::setAppClock(&clock);
        ok = true;
    }
};

BigDay& bigDay() {
    static BigDay d;
    return d;
}

// The chart's pixels: a row of 22 pixels per facility, 48 quarters of 8 pixels from 8:00.
constexpr int kChartWidth = 384, kRowPitch = 24, kRowHeight = 22, kChartStart = 8;
using Pixels = std::vector<std::uint32_t>;

// The bars of every row as the chart's row areas fill them: every quarter a shown item
// touches, cut to the twelve hours.
void paintRows(const std::vector<quorvane::_SCHEDITEM>& items, Pixels& image) {
    for (int row = 0; row < kFacilities; ++row)
        for (const quorvane::_SCHEDITEM& item : items) {
            if (item.position != row || !quorvane::dayItemShown(item, kChartStart)) continue;
            const int from = std::max(0, quorvane::dayStartQuarter(item, kChartStart)) * 8;
            const int to =
                std::min(quorvane::kDayQuarters, quorvane::dayEndQuarter(item, kChartStart)) * 8;
            for (int y = row * kRowPitch; y < row * kRowPitch + kRowHeight && from < to; ++y)
                std::fill(image.begin() + y * kChartWidth + from,
                          image.begin() + y * kChartWidth + to, 0x000000FFu);
        }
}

void DayGlanceOpen_engine(benchmark::State& state) {
    BigDay& g = bigDay();
    bench::OpenedGroup group(g.groupPath);
    if (!g.ok || !group.open) {
        state.SkipWithError("cannot build or open the group");
        return;
    }
    Pixels image(std::size_t(kChartWidth) * kRowPitch * kFacilities);
    std::vector<quorvane::_SCHEDITEM> items;
    const std::string key = quorvane::dateKey(g.day);
    for (auto _ : state) {
        group.loadDay(key, items);
        paintRows(items, image);
    }
    state.counters["items"] = double(items.size());
}

void DayGlanceOpen_sqlite(benchmark::State& state) {
    BigDay& g = bigDay();
    sqlite3* db = g.ok ? openSqlite(g.sqlitePath) : nullptr;
    sqlite3_stmt* select = nullptr;
    if (!db || sqlite3_prepare_v2(db,
                                  "SELECT room, sh, sm, eh, em, last, org FROM sched WHERE "
                                  "date = ? ORDER BY room, sh, sm",
                                  -1, &select, nullptr) != SQLITE_OK) {
        state.SkipWithError("cannot open the SQLite table");
        return;
    }
    Pixels image(std::size_t(kChartWidth) * kRowPitch * kFacilities);
    std::vector<quorvane::_SCHEDITEM> items;
    const std::string key = quorvane::dateKey(g.day);
    for (auto _ : state) {
        items.clear();
        sqlite3_bind_text(select, 1, key.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(select) == SQLITE_ROW) {
            quorvane::_SCHEDITEM item;
            const std::string room = reinterpret_cast<const char*>(sqlite3_column_text(select, 0));
            item.position = std::stoi(room.substr(6)) - 1;
            item.startHH = sqlite3_column_int(select, 1);
            item.startMM = sqlite3_column_int(select, 2);
            item.endHH = sqlite3_column_int(select, 3);
            item.endMM = sqlite3_column_int(select, 4);
            item.lastName = reinterpret_cast<const char*>(sqlite3_column_text(select, 5));
            item.org = reinterpret_cast<const char*>(sqlite3_column_text(select, 6));
            items.push_back(std::move(item));
        }
        sqlite3_reset(select);
        paintRows(items, image);
    }
    state.counters["items"] = double(items.size());
    sqlite3_finalize(select);
    sqlite3_close(db);
}

// ----- the customer exports -----

struct Customers {
    bench::ScratchFolder folder{"/var/tmp"};  // the workload's own, beside no other's files
    std::string groupPath, sqlitePath;
    bool ok = false;
    Customers() {
        if (folder.path.empty()) return;
        groupPath = folder.file("Club.rec");
        sqlitePath = folder.file("people.sqlite");
        static const char* const kFirst[] = {"Anna",  "Bram",  "Carla", "Dirk", "Eva",
                                             "Frank", "Greta", "Hugo",  "Ines", "Jan"};
        NoSyncIo noSync;
        Io4* previous = io4set(&noSync);
        CPeople people;
        sqlite3* db = openSqlite(sqlitePath);
        if (people.Create(groupPath) || !db) {
            io4set(previous);
            return;
        }
        sqlite3_exec(db,
                     "PRAGMA synchronous=OFF; CREATE TABLE people(last, first, mi, phone, ext, "
                     "org, address, city, state, zip, PRIMARY KEY(last, first, mi, phone, ext)) "
                     "WITHOUT ROWID; BEGIN;",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO people VALUES(?,?,?,?,?,?,?,?,?,?)", -1, &insert,
                           nullptr);
        for (int i = 0; i < kCustomers; ++i) {
            // Some names repeat (same person, another phone) so the counters are exercised.
            const std::string last = "Name" + std::to_string((i * 7919) % 4000);
            const std::string first = kFirst[i % 10];
            const std::string phone = "555-" + std::to_string(10000 + i);
            const std::string city = "City " + std::to_string(i % 50);
            people.Clear();
            people.SetName(first, i % 3 ? "" : "Q", last);
            people.SetPhone(phone, "");
            people.SetOrg("Tennis Club " + std::to_string(i % 30));
            people.SetAddress(std::to_string(i) + " Main Street", city, "NY", "10001");
            if (people.Add()) {
                io4set(previous);
                return;
            }
            const std::string values[] = {last,
                                          first,
                                          i % 3 ? "" : "Q",
                                          phone,
                                          "",
                                          "Tennis Club " + std::to_string(i % 30),
                                          std::to_string(i) + " Main Street",
                                          city,
                                          "NY",
                                          "10001"};
            for (int k = 0; k < 10; ++k)
                sqlite3_bind_text(insert, k + 1, values[k].c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        people.Close();
        io4set(previous);
        ok = true;
    }
};

Customers& customers() {
    static Customers c;
    return c;
}

void ExportText_engine(benchmark::State& state) {
    Customers& c = customers();
    CPeople people;
    if (!c.ok || people.Open(c.groupPath)) {
        state.SkipWithError("cannot build the customers");
        return;
    }
    const std::string out = c.folder.file("engine.txt");
    for (auto _ : state) {
        if (quorvane::exportCustomersText(people, out) != 0) state.SkipWithError("export failed");
    }
    state.counters["bytes"] = double(std::filesystem::file_size(out));
    people.Close();
}

// The exported fields of SQLite's customers in the table's key order; nothing, with the
// benchmark skipped, when the table cannot be read.
sqlite3_stmt* exportSelect(benchmark::State& state, Customers& c, sqlite3*& db) {
    db = c.ok ? openSqlite(c.sqlitePath) : nullptr;
    sqlite3_stmt* select = nullptr;
    if (!db || sqlite3_prepare_v2(db,
                                  "SELECT first, mi, last, org, address, city, state, zip FROM "
                                  "people ORDER BY last, first, mi, phone, ext",
                                  -1, &select, nullptr) != SQLITE_OK) {
        state.SkipWithError("cannot open the SQLite table");
        sqlite3_close(db);
        db = nullptr;
        return nullptr;
    }
    return select;
}

// The same file from SQLite's rows in the same order.
void ExportText_sqlite(benchmark::State& state) {
    Customers& c = customers();
    sqlite3* db = nullptr;
    sqlite3_stmt* select = exportSelect(state, c, db);
    if (!select) return;
    const std::string out = c.folder.file("sqlite.txt");
    for (auto _ : state) {
        std::FILE* f = std::fopen(out.c_str(), "wb");
        std::fputs(quorvane::kTextExportHeader, f);
        std::fputs("\r\n", f);
        while (sqlite3_step(select) == SQLITE_ROW) {
            std::string v[8];
            for (int k = 0; k < 8; ++k)
                v[k] = reinterpret_cast<const char*>(sqlite3_column_text(select, k));
            const std::string line =
                quorvane::textExportLine(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
            std::fwrite(line.data(), 1, line.size(), f);
            std::fputs("\r\n", f);
        }
        sqlite3_reset(select);
        std::fclose(f);
    }
    state.counters["bytes"] = double(std::filesystem::file_size(out));
    sqlite3_finalize(select);
    sqlite3_close(db);
}

void ExportAddress_engine(benchmark::State& state) {
    Customers& c = customers();
    CPeople people;
    if (!c.ok || people.Open(c.groupPath)) {
        state.SkipWithError("cannot build the customers");
        return;
    }
    const std::string out = c.folder.file("e.adr");
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(out);
        std::filesystem::remove(CKFSClass::IndexName(out));
        state.ResumeTiming();
        std::string index;
        if (quorvane::exportCustomersAddress(people, out, index) != 0)
            state.SkipWithError("export failed");
    }
    state.counters["records"] = double(std::filesystem::file_size(out) / 260);
    people.Close();
}

// The same records into a fresh SQLite table keyed by the same 44 bytes, committed once.
void ExportAddress_sqlite(benchmark::State& state) {
    Customers& c = customers();
    sqlite3* db = nullptr;
    sqlite3_stmt* select = exportSelect(state, c, db);
    if (!select) return;
    const std::string out = c.folder.file("addr.sqlite");
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(out);
        std::filesystem::remove(out + "-wal");
        std::filesystem::remove(out + "-shm");
        state.ResumeTiming();
        sqlite3* pair = openSqlite(out);
        sqlite3_exec(pair, "CREATE TABLE addr(k BLOB PRIMARY KEY, rec BLOB) WITHOUT ROWID; BEGIN;",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(pair, "INSERT INTO addr VALUES(?, ?)", -1, &insert, nullptr);
        while (sqlite3_step(select) == SQLITE_ROW) {
            quorvane::AddressFields f;
            std::string* fields[] = {&f.first,   &f.mi,   &f.last,  &f.org,
                                     &f.address, &f.city, &f.state, &f.zip};
            for (int k = 0; k < 8; ++k)
                *fields[k] = reinterpret_cast<const char*>(sqlite3_column_text(select, k));
            for (int counter = 0; counter < quorvane::kMaxDuplicateCounter; ++counter) {
                const quorvane::AddressRecord r = quorvane::addressRecord(f, counter);
                sqlite3_bind_blob(insert, 1, &r[12], 44, SQLITE_TRANSIENT);
                sqlite3_bind_blob(insert, 2, r.data(), 260, SQLITE_TRANSIENT);
                const int rc = sqlite3_step(insert);
                sqlite3_reset(insert);
                if (rc == SQLITE_DONE) break;
            }
        }
        sqlite3_reset(select);
        sqlite3_finalize(insert);
        sqlite3_exec(pair, "COMMIT;", nullptr, nullptr, nullptr);
        sqlite3_close(pair);
    }
    sqlite3_finalize(select);
    sqlite3_close(db);
}

}  // namespace

BENCHMARK(DayGlanceOpen_engine)
    ->Name("DayGlanceOpen/engine")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(DayGlanceOpen_sqlite)
    ->Name("DayGlanceOpen/sqlite")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(ExportText_engine)
    ->Name("ExportText/engine")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(ExportText_sqlite)
    ->Name("ExportText/sqlite")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(ExportAddress_engine)
    ->Name("ExportAddress/engine")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(ExportAddress_sqlite)
    ->Name("ExportAddress/sqlite")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif
