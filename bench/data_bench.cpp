// Record-level speed of the data-file layer without indexes, against SQLite doing the same
// work on a table of the same 20 text columns (no index, prepared statements).
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "bench_util.h"
#include "engine/data4.h"

namespace {

const auto& kFields = bench::kReservationFields;
constexpr int kNumFields = bench::kReservationFieldCount;
constexpr int kAppends = 200000;
constexpr int kRandomGos = 100000;

const char* const kCreateSql =
    "CREATE TABLE res(DATE TEXT, ROOMNAME TEXT, STARTHH TEXT, STARTMM TEXT, ENDHH TEXT, "
    "ENDMM TEXT, LASTNAME TEXT, FIRSTNAME TEXT, MI TEXT, PHONE TEXT, EXT TEXT, NOTES TEXT, "
    "DATEMADE TEXT, TIMEMADE TEXT, RECURDAYS TEXT, RECURDATE TEXT, TYPEFLAG TEXT, "
    "RESKEPT TEXT, FLAG1 TEXT, ORG TEXT)";
const char* const kInsertSql = "INSERT INTO res VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";

// A pool of rows, made before any timing, cycled through by every workload.
struct Rows {
    std::vector<std::vector<std::string>> rows;
    Rows() {
        for (int i = 0; i < 1000; ++i) {
            char date[16];
            std::snprintf(date, sizeof date, "2026%02d%02d", 1 + i % 12, 1 + i % 28);
            rows.push_back({date,
                            "Court " + std::to_string(i % 15),
                            std::to_string(10 + i % 12),
                            i % 2 ? "30" : "00",
                            std::to_string(11 + i % 12),
                            i % 2 ? "30" : "00",
                            "Lastname" + std::to_string(i),
                            "First" + std::to_string(i % 97),
                            "Q",
                            "555-01" + std::to_string(10 + i % 90),
                            "12",
                            "Notes for booking " + std::to_string(i),
                            "20260101",
                            "0915",
                            "000",
                            "00000000",
                            "0",
                            "T",
                            "0",
                            "Organisation " + std::to_string(i % 31)});
        }
    }
};
const Rows& rows() {
    static Rows r;
    return r;
}

const std::string& folder() {
    static const bench::ScratchFolder f;
    return f.path;
}

void removeFile(const std::string& p) {
    unlink(p.c_str());
    unlink((p + "-journal").c_str());
}

// ---- engine ----

struct EngineTable {
    Vask4 c;
    Data4* d = nullptr;
    Field4* f[kNumFields] = {};
    void bind() {
        for (int j = 0; j < kNumFields; ++j) f[j] = d4fieldJ(d, j + 1);
    }
    bool create(const std::string& path, int mode) {
        vask4init(&c);
        c.safety = 0;
        c.accessMode = mode;
        d = d4create(&c, path.c_str(), kFields);
        if (d) bind();
        return d != nullptr;
    }
    bool open(const std::string& path, int mode) {
        vask4init(&c);
        c.accessMode = mode;
        d = d4open(&c, path.c_str());
        if (d) bind();
        return d != nullptr;
    }
    int append(const std::vector<std::string>& row) {
        d4appendStart(d, 0);
        d4blank(d);
        for (int j = 0; j < kNumFields; ++j) f[j]->assign(row[j].data(), row[j].size());
        return d4append(d);
    }
    // Touches every field the way a caller reads a record: its bytes in the buffer.
    unsigned read() {
        unsigned sum = 0;
        for (int j = 0; j < kNumFields; ++j) sum += static_cast<unsigned char>(f4ptr(f[j])[0]);
        return sum;
    }
    ~EngineTable() { vask4initUndo(&c); }
};

void appendEngine(benchmark::State& state, int mode) {
    const std::string path = folder() + "/APPEND.DBF";
    const auto& pool = rows().rows;
    for (auto _ : state) {
        state.PauseTiming();
        EngineTable t;
        if (!t.create(path, mode)) {
            state.SkipWithError("create failed");
            break;
        }
        state.ResumeTiming();
        for (int i = 0; i < kAppends; ++i)
            if (t.append(pool[i % pool.size()]) != 0) {
                state.SkipWithError("append failed");
                break;
            }
        if (mode == 1 && d4flush(t.d) != 0) state.SkipWithError("flush failed");
        state.PauseTiming();
        if (d4recCount(t.d) != kAppends) state.SkipWithError("wrong count");
        d4close(t.d);
        t.d = nullptr;
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kAppends);
}

// ---- SQLite ----

struct SqliteDb {
    sqlite3* db = nullptr;
    bool open(const std::string& path) {
        if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
        return exec("PRAGMA synchronous=OFF");
    }
    bool exec(const char* sql) {
        return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~SqliteDb() {
        if (db) sqlite3_close(db);
    }
};

void appendSqlite(benchmark::State& state, bool oneTransaction) {
    const std::string path = folder() + "/append.sqlite";
    const auto& pool = rows().rows;
    for (auto _ : state) {
        state.PauseTiming();
        removeFile(path);
        SqliteDb s;
        sqlite3_stmt* ins = nullptr;
        if (!s.open(path) || !s.exec(kCreateSql) ||
            sqlite3_prepare_v2(s.db, kInsertSql, -1, &ins, nullptr) != SQLITE_OK) {
            state.SkipWithError("sqlite set-up failed");
            break;
        }
        state.ResumeTiming();
        if (oneTransaction) s.exec("BEGIN");
        for (int i = 0; i < kAppends; ++i) {
            const auto& row = pool[i % pool.size()];
            for (int j = 0; j < kNumFields; ++j)
                sqlite3_bind_text(ins, j + 1, row[j].data(), static_cast<int>(row[j].size()),
                                  SQLITE_STATIC);
            if (sqlite3_step(ins) != SQLITE_DONE) {
                state.SkipWithError("insert failed");
                break;
            }
            sqlite3_reset(ins);
        }
        if (oneTransaction) s.exec("COMMIT");
        state.PauseTiming();
        sqlite3_finalize(ins);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kAppends);
}

// Both stores filled once with the same 200,000 rows, for the read workloads.
struct Filled {
    std::string dbf, sql;
    bool ok = false;
    Filled() {
        dbf = folder() + "/READ.DBF";
        sql = folder() + "/read.sqlite";
        const auto& pool = rows().rows;
        {
            EngineTable t;
            if (!t.create(dbf, 1)) return;
            for (int i = 0; i < kAppends; ++i) t.append(pool[i % pool.size()]);
            if (d4close(t.d) != 0) return;
            t.d = nullptr;
        }
        removeFile(sql);
        SqliteDb s;
        sqlite3_stmt* ins = nullptr;
        if (!s.open(sql) || !s.exec(kCreateSql) ||
            sqlite3_prepare_v2(s.db, kInsertSql, -1, &ins, nullptr) != SQLITE_OK)
            return;
        s.exec("BEGIN");
        for (int i = 0; i < kAppends; ++i) {
            const auto& row = pool[i % pool.size()];
            for (int j = 0; j < kNumFields; ++j)
                sqlite3_bind_text(ins, j + 1, row[j].data(), static_cast<int>(row[j].size()),
                                  SQLITE_STATIC);
            sqlite3_step(ins);
            sqlite3_reset(ins);
        }
        s.exec("COMMIT");
        sqlite3_finalize(ins);
        // Neither side's scan may run under the other's writeback.
        ::sync();
        ok = true;
    }
};
const Filled& filled() {
    static Filled f;
    return f;
}

std::vector<long> randomRecords() {
    std::mt19937 rng(42);
    std::uniform_int_distribution<long> pick(1, kAppends);
    std::vector<long> v(kRandomGos);
    for (long& r : v) r = pick(rng);
    return v;
}

// ---- workloads ----

// A scan holds the table against writers for its duration on both sides: the engine opens it
// deny-write (others may still read), SQLite runs the scan as one read transaction.
void BM_DataScan_engine(benchmark::State& state) {
    const Filled& f = filled();
    if (!f.ok) return state.SkipWithError("fill failed");
    unsigned sum = 0;
    long n = 0;
    auto scan = [&] {
        EngineTable t;
        if (!t.open(f.dbf, 2)) return false;
        for (int r = d4top(t.d); r == 0; r = d4skip(t.d, 1)) {
            sum += t.read();
            ++n;
        }
        return true;
    };
    // One scan before the timing on either side: the first one in a process pays for the
    // memory its cache takes (page faults here cost about 15 us each), and whether an earlier
    // benchmark left such memory free decided the row before.
    if (!scan()) return state.SkipWithError("open failed");
    n = 0;
    for (auto _ : state)
        if (!scan()) return state.SkipWithError("open failed");
    benchmark::DoNotOptimize(sum);
    if (n != state.iterations() * kAppends) state.SkipWithError("wrong record count");
    state.SetItemsProcessed(n);
}

void BM_DataScan_sqlite(benchmark::State& state) {
    const Filled& f = filled();
    if (!f.ok) return state.SkipWithError("fill failed");
    unsigned sum = 0;
    long n = 0;
    auto scan = [&] {
        SqliteDb s;
        sqlite3_stmt* q = nullptr;
        if (!s.open(f.sql) ||
            sqlite3_prepare_v2(s.db, "SELECT * FROM res", -1, &q, nullptr) != SQLITE_OK)
            return false;
        while (sqlite3_step(q) == SQLITE_ROW) {
            for (int j = 0; j < kNumFields; ++j) sum += sqlite3_column_text(q, j)[0];
            ++n;
        }
        sqlite3_finalize(q);
        return true;
    };
    if (!scan()) return state.SkipWithError("sqlite open failed");
    n = 0;
    for (auto _ : state)
        if (!scan()) return state.SkipWithError("sqlite open failed");
    benchmark::DoNotOptimize(sum);
    if (n != state.iterations() * kAppends) state.SkipWithError("wrong row count");
    state.SetItemsProcessed(n);
}

// Random reads in shared mode: every d4go reads the record from the file afresh; every
// SQLite lookup is its own statement (autocommit).
void BM_DataRandomGo_engine(benchmark::State& state) {
    const Filled& f = filled();
    if (!f.ok) return state.SkipWithError("fill failed");
    const std::vector<long> recs = randomRecords();
    EngineTable t;
    if (!t.open(f.dbf, 0)) return state.SkipWithError("open failed");
    unsigned sum = 0;
    for (auto _ : state) {
        for (long r : recs) {
            if (d4go(t.d, r) != 0) return state.SkipWithError("go failed");
            sum += t.read();
        }
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations() * kRandomGos);
}

void BM_DataRandomGo_sqlite(benchmark::State& state) {
    const Filled& f = filled();
    if (!f.ok) return state.SkipWithError("fill failed");
    const std::vector<long> recs = randomRecords();
    SqliteDb s;
    sqlite3_stmt* q = nullptr;
    if (!s.open(f.sql) ||
        sqlite3_prepare_v2(s.db, "SELECT * FROM res WHERE rowid=?", -1, &q, nullptr) != SQLITE_OK)
        return state.SkipWithError("sqlite open failed");
    unsigned sum = 0;
    for (auto _ : state) {
        for (long r : recs) {
            sqlite3_bind_int64(q, 1, r);
            if (sqlite3_step(q) != SQLITE_ROW) return state.SkipWithError("lookup failed");
            for (int j = 0; j < kNumFields; ++j) sum += sqlite3_column_text(q, j)[0];
            sqlite3_reset(q);
        }
    }
    sqlite3_finalize(q);
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations() * kRandomGos);
}

}  // namespace

namespace {

// The appends run once, three times over; the scans five times; all on the wall clock.
void thriceOnce(benchmark::internal::Benchmark* b) {
    b->Iterations(1)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();
}
void fiveTimes(benchmark::internal::Benchmark* b) {
    b->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
}
void wallClock(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->UseRealTime();
}

[[maybe_unused]] const bool registered =
    bench::registerPair(
        "DataAppendShared", [](benchmark::State& st) { appendEngine(st, 0); },
        [](benchmark::State& st) { appendSqlite(st, false); }, thriceOnce) &&
    bench::registerPair(
        "DataAppendBulk", [](benchmark::State& st) { appendEngine(st, 1); },
        [](benchmark::State& st) { appendSqlite(st, true); }, thriceOnce) &&
    bench::registerPair("DataScan", BM_DataScan_engine, BM_DataScan_sqlite, fiveTimes) &&
    bench::registerPair("DataRandomGo", BM_DataRandomGo_engine, BM_DataRandomGo_sqlite, wallClock);

}  // namespace
