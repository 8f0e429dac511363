// Reading in tag order: a whole walk and day lookups, with the rows inserted in random order
// (so the record file is not read front to back), in a shared table and in one opened
// exclusively. Each row's fields are read on both sides. Each walk and each lookup is one
// operation (d4walkStart .. d4walkEnd), as the reports and lists run them; SQLite runs each
// as one statement.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench_util.h"
#include "engine/data4.h"
#include "engine/field4.h"
#include "engine/tag4.h"
#include "engine/vask4.h"

namespace {

constexpr long kRows = 20000;

const TAG4INFO kTags[] = {{"SCHEDTAG", "DATE+ROOMNAME+STARTHH+STARTMM", ".NOT. DELETED()", 20, 0},
                          {nullptr, nullptr, nullptr, 0, 0}};

// Booking i: 15 rooms, 16 bookings per room and day, days in sequence.
struct Row {
    char date[16], room[21], hh[12], mm[12];
};
Row row(long i) {
    Row r;
    unsigned day = static_cast<unsigned>(i / 240 % 3360), slot = static_cast<unsigned>(i % 16),
             room = static_cast<unsigned>(i / 16 % 15);
    std::snprintf(r.date, sizeof r.date, "%04u%02u%02u", 2026 + day / 336, 1 + day / 28 % 12,
                  1 + day % 28);
    std::snprintf(r.room, sizeof r.room, "Court %u", room + 1);
    std::snprintf(r.hh, sizeof r.hh, "%02u", 6 + slot);
    std::snprintf(r.mm, sizeof r.mm, "%02d", 0);
    return r;
}

// The insertion order: every booking once, shuffled with a fixed seed.
const std::vector<long>& order() {
    static const std::vector<long> o = [] {
        std::vector<long> v(kRows);
        for (long i = 0; i < kRows; ++i) v[static_cast<size_t>(i)] = i;
        std::shuffle(v.begin(), v.end(), std::mt19937(4711));
        return v;
    }();
    return o;
}

struct Engine {
    Vask4 c;
    Data4* d = nullptr;
    bench::ScratchFolder dir;
    Field4 *date, *room, *hh, *mm, *last;
    explicit Engine(int accessMode) {
        vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
        std::string name = dir.path + "/res";
        d = d4create(&c, name.c_str(), bench::kRowFields, kTags);
        d4lockAll(d);
        for (long i : order()) {
            Row r = row(i);
            d4appendStart(d, 0);
            d4blank(d);
            d4field(d, "DATE")->assign(r.date);
            d4field(d, "ROOMNAME")->assign(r.room);
            d4field(d, "STARTHH")->assign(r.hh);
            d4field(d, "STARTMM")->assign(r.mm);
            d4field(d, "LASTNAME")->assign("Smith");
            d4append(d);
        }
        d4flush(d);
        d4unlock(d);
        d4close(d);
        c.accessMode = accessMode;
        d = d4open(&c, name.c_str());
        d4tagSelect(d, d4tag(d, "SCHEDTAG"));
        date = d4field(d, "DATE");
        room = d4field(d, "ROOMNAME");
        hh = d4field(d, "STARTHH");
        mm = d4field(d, "STARTMM");
        last = d4field(d, "LASTNAME");
    }
    ~Engine() {
        if (d) d4close(d);
        vask4initUndo(&c);
    }
    // Reads the fields of the current row; returns a checksum byte.
    int touch() const {
        return f4ptr(date)[7] + f4ptr(room)[6] + f4ptr(hh)[1] + f4ptr(mm)[1] + f4ptr(last)[0];
    }
};

struct Lite {
    sqlite3* db = nullptr;
    bench::ScratchFolder dir;
    Lite() {
        sqlite3_open((dir.path + "/res.db").c_str(), &db);
        exec("PRAGMA synchronous=OFF");
        exec(bench::kRowTableSql);
        exec("CREATE UNIQUE INDEX sched ON res(date, roomname, starthh, startmm)");
        sqlite3_stmt* ins;
        sqlite3_prepare_v2(db, bench::kRowInsertSql, -1, &ins, nullptr);
        exec("BEGIN");
        for (long i : order()) {
            Row r = row(i);
            sqlite3_bind_text(ins, 1, r.date, -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(ins, 2, r.room, -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(ins, 3, r.hh, -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(ins, 4, r.mm, -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(ins, 5, "Smith", -1, SQLITE_STATIC);
            sqlite3_step(ins);
            sqlite3_reset(ins);
        }
        exec("COMMIT");
        sqlite3_finalize(ins);
    }
    ~Lite() { sqlite3_close(db); }
    void exec(const char* sql) { sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
    static int touch(sqlite3_stmt* s) {
        int sum = 0;
        for (int k = 0; k < 5; ++k) {
            const unsigned char* t = sqlite3_column_text(s, k);
            sum += t ? t[0] : 0;
        }
        return sum;
    }
};

void walkEngine(benchmark::State& st, int mode) {
    Engine e(mode);
    for (auto _ : st) {
        long n = 0, sum = 0;
        d4walkStart(e.d);
        for (int rc = d4top(e.d); rc == 0; rc = d4skip(e.d, 1)) {
            sum += e.touch();
            ++n;
        }
        d4walkEnd(e.d);
        if (n != kRows) st.SkipWithError("walk lost rows");
        benchmark::DoNotOptimize(sum);
    }
    st.SetItemsProcessed(st.iterations() * kRows);
}
void walkSqlite(benchmark::State& st) {
    Lite l;
    sqlite3_stmt* s;
    sqlite3_prepare_v2(l.db, "SELECT * FROM res ORDER BY date, roomname, starthh, startmm", -1, &s,
                       nullptr);
    for (auto _ : st) {
        long n = 0, sum = 0;
        while (sqlite3_step(s) == SQLITE_ROW) {
            sum += Lite::touch(s);
            ++n;
        }
        sqlite3_reset(s);
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(n);
    }
    sqlite3_finalize(s);
    st.SetItemsProcessed(st.iterations() * kRows);
}

// One room's bookings of one day (16 rows), rooms and days picked all over the table.
void dayEngine(benchmark::State& st, int mode) {
    Engine e(mode);
    long found = 0, q = 0;
    char prefix[64];
    for (auto _ : st) {
        Row r = row((q++ * 7919) % kRows);
        std::snprintf(prefix, sizeof prefix, "%-8.8s%-20.20s", r.date, r.room);
        d4walkStart(e.d);
        int rc = d4seek(e.d, prefix);
        while (rc == 0) {
            if (std::memcmp(f4ptr(e.date), prefix, 8) != 0 ||
                std::memcmp(f4ptr(e.room), prefix + 8, 20) != 0)
                break;
            found += e.touch() != 0;
            rc = d4skip(e.d, 1);
        }
        d4walkEnd(e.d);
    }
    if (found != st.iterations() * 16) st.SkipWithError("lookup found the wrong rows");
    st.SetItemsProcessed(st.iterations());
}
void daySqlite(benchmark::State& st) {
    Lite l;
    sqlite3_stmt* s;
    sqlite3_prepare_v2(l.db,
                       "SELECT * FROM res WHERE date=? AND roomname=? ORDER BY starthh, startmm",
                       -1, &s, nullptr);
    long found = 0, q = 0;
    for (auto _ : st) {
        Row r = row((q++ * 7919) % kRows);
        sqlite3_bind_text(s, 1, r.date, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 2, r.room, -1, SQLITE_TRANSIENT);
        while (sqlite3_step(s) == SQLITE_ROW) found += Lite::touch(s) != 0;
        sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    if (found != st.iterations() * 16) st.SkipWithError("lookup found the wrong rows");
    st.SetItemsProcessed(st.iterations());
}

void ReadPathWalkShared(benchmark::State& st) {
    walkEngine(st, 0);
}
void ReadPathWalkExclusive(benchmark::State& st) {
    walkEngine(st, 1);
}
void ReadPathDayShared(benchmark::State& st) {
    dayEngine(st, 0);
}
void ReadPathDayExclusive(benchmark::State& st) {
    dayEngine(st, 1);
}

}  // namespace

BENCHMARK(ReadPathWalkShared)->Name("ReadPathWalk/engine")->Unit(benchmark::kMillisecond);
BENCHMARK(walkSqlite)->Name("ReadPathWalk/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(ReadPathWalkExclusive)
    ->Name("ReadPathWalkExclusive/engine")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(walkSqlite)->Name("ReadPathWalkExclusive/sqlite")->Unit(benchmark::kMillisecond);
BENCHMARK(ReadPathDayShared)->Name("ReadPathDay/engine");
BENCHMARK(daySqlite)->Name("ReadPathDay/sqlite");
BENCHMARK(ReadPathDayExclusive)->Name("ReadPathDayExclusive/engine");
BENCHMARK(daySqlite)->Name("ReadPathDayExclusive/sqlite");
