// Compound index workloads against SQLite with an index on the same key.
// Each workload is a pair <Workload>/engine and <Workload>/sqlite with the same record count.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/data4.h"
#include "engine/field4.h"
#include "engine/tag4.h"
#include "engine/vask4.h"

namespace {

struct Scratch {
    std::string path;
    Scratch() {
        char tmpl[] = "/tmp/q4benchXXXXXX";
        path = ::mkdtemp(tmpl);
    }
    ~Scratch() { std::system(("rm -rf '" + path + "'").c_str()); }
};

const FIELD4INFO kFields[] = {{"DATE", 'C', 8, 0, 0},      {"ROOMNAME", 'C', 20, 0, 0},
                              {"STARTHH", 'C', 2, 0, 0},   {"STARTMM", 'C', 2, 0, 0},
                              {"LASTNAME", 'C', 20, 0, 0}, {nullptr, 0, 0, 0, 0}};
const TAG4INFO kTags[] = {{"SCHEDTAG", "DATE+ROOMNAME+STARTHH+STARTMM", ".NOT. DELETED()", 20, 0},
                          {nullptr, nullptr, nullptr, 0, 0}};

// Record i of a reservation table: 15 rooms, 40 slots a day, days in sequence.
struct Row {
    char date[9], room[21], hh[3], mm[3];
};
Row row(long i) {
    Row r;
    long day = i / 600, slot = i % 40, room = (i / 40) % 15;
    std::snprintf(r.date, sizeof r.date, "2026%02ld%02ld", 1 + day / 28 % 12, 1 + day % 28);
    std::snprintf(r.room, sizeof r.room, "Court %ld", room + 1);
    std::snprintf(r.hh, sizeof r.hh, "%02ld", 6 + slot / 4);
    std::snprintf(r.mm, sizeof r.mm, "%02ld", slot % 4 * 15);
    return r;
}

int engineAppend(Data4* d, long i) {
    Row r = row(i);
    d4appendStart(d, 0);
    d4blank(d);
    d4field(d, "DATE")->assign(r.date);
    d4field(d, "ROOMNAME")->assign(r.room);
    d4field(d, "STARTHH")->assign(r.hh);
    d4field(d, "STARTMM")->assign(r.mm);
    d4field(d, "LASTNAME")->assign("Smith");
    return d4append(d);
}

struct Engine {
    Vask4 c;
    Data4* d = nullptr;
    Scratch dir;
    explicit Engine(int accessMode = 0) {
        vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
        c.accessMode = accessMode;
        d = d4create(&c, (dir.path + "/res").c_str(), kFields, kTags);
        d4tagSelect(d, d4tag(d, "SCHEDTAG"));
    }
    ~Engine() {
        if (d) d4close(d);
        vask4initUndo(&c);
    }
    void fill(long n) {
        d4lockAll(d);
        for (long i = 0; i < n; ++i) engineAppend(d, i);
        d4flush(d);
        d4unlock(d);
    }
};

struct Lite {
    sqlite3* db = nullptr;
    Scratch dir;
    sqlite3_stmt* ins = nullptr;
    explicit Lite(bool durable = false) {
        sqlite3_open((dir.path + "/res.db").c_str(), &db);
        exec(durable ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=OFF");
        exec("PRAGMA journal_mode=DELETE");
        exec(
            "CREATE TABLE res(date TEXT, roomname TEXT, starthh TEXT, startmm TEXT, lastname TEXT, "
            "del INT DEFAULT 0)");
        exec("CREATE UNIQUE INDEX sched ON res(date, roomname, starthh, startmm)");
        sqlite3_prepare_v2(
            db, "INSERT INTO res(date, roomname, starthh, startmm, lastname) VALUES(?,?,?,?,?)", -1,
            &ins, nullptr);
    }
    ~Lite() {
        sqlite3_finalize(ins);
        sqlite3_close(db);
    }
    void exec(const char* sql) { sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }
    int append(long i) {
        Row r = row(i);
        sqlite3_bind_text(ins, 1, r.date, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 2, r.room, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 3, r.hh, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 4, r.mm, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 5, "Smith", -1, SQLITE_STATIC);
        int rc = sqlite3_step(ins);
        sqlite3_reset(ins);
        return rc;
    }
    void fill(long n) {
        exec("BEGIN");
        for (long i = 0; i < n; ++i) append(i);
        exec("COMMIT");
    }
};

// One append per lock round in a shared table, nothing forced to the disk.
void IndexAppendSharedEngine(benchmark::State& st) {
    for (auto _ : st) {
        st.PauseTiming();
        Engine e;
        st.ResumeTiming();
        for (long i = 0; i < st.range(0); ++i) {
            engineAppend(e.d, i);
            d4unlock(e.d);
        }
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}
void IndexAppendSharedSqlite(benchmark::State& st) {
    for (auto _ : st) {
        st.PauseTiming();
        Lite l;
        st.ResumeTiming();
        for (long i = 0; i < st.range(0); ++i) l.append(i);
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

// Many appends under one lock / one transaction.
void IndexAppendBulkEngine(benchmark::State& st) {
    for (auto _ : st) {
        st.PauseTiming();
        Engine e;
        st.ResumeTiming();
        e.fill(st.range(0));
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}
void IndexAppendBulkSqlite(benchmark::State& st) {
    for (auto _ : st) {
        st.PauseTiming();
        Lite l;
        st.ResumeTiming();
        l.fill(st.range(0));
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

// Each append made durable before the next.
void IndexAppendDurableEngine(benchmark::State& st) {
    for (auto _ : st) {
        st.PauseTiming();
        Engine e;
        st.ResumeTiming();
        for (long i = 0; i < st.range(0); ++i) {
            engineAppend(e.d, i);
            d4flush(e.d);
            d4unlock(e.d);
        }
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}
void IndexAppendDurableSqlite(benchmark::State& st) {
    for (auto _ : st) {
        st.PauseTiming();
        Lite l(true);
        st.ResumeTiming();
        for (long i = 0; i < st.range(0); ++i) l.append(i);
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

// The day list: every reservation of one room on one day.
void IndexDayLookupEngine(benchmark::State& st) {
    Engine e;
    e.fill(st.range(0));
    long found = 0, q = 0;
    for (auto _ : st) {
        Row r = row((q++ * 7919) % st.range(0));
        std::string prefix = std::string(r.date) + r.room;
        prefix.resize(28, ' ');
        int rc = d4seek(e.d, prefix.c_str());
        while (rc == 0) {
            if (std::string(f4str(d4field(e.d, "DATE"))) + f4str(d4field(e.d, "ROOMNAME")) !=
                prefix)
                break;
            ++found;
            rc = d4skip(e.d, 1);
        }
    }
    benchmark::DoNotOptimize(found);
    st.SetItemsProcessed(st.iterations());
}
void IndexDayLookupSqlite(benchmark::State& st) {
    Lite l;
    l.fill(st.range(0));
    sqlite3_stmt* s;
    sqlite3_prepare_v2(l.db,
                       "SELECT * FROM res WHERE date=? AND roomname=? ORDER BY starthh, startmm",
                       -1, &s, nullptr);
    long found = 0, q = 0;
    for (auto _ : st) {
        Row r = row((q++ * 7919) % st.range(0));
        sqlite3_bind_text(s, 1, r.date, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(s, 2, r.room, -1, SQLITE_TRANSIENT);
        while (sqlite3_step(s) == SQLITE_ROW) ++found;
        sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    benchmark::DoNotOptimize(found);
    st.SetItemsProcessed(st.iterations());
}

// Every record in key order.
void IndexWalkEngine(benchmark::State& st) {
    Engine e;
    e.fill(st.range(0));
    for (auto _ : st) {
        long n = 0;
        for (int rc = d4top(e.d); rc == 0; rc = d4skip(e.d, 1)) ++n;
        benchmark::DoNotOptimize(n);
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}
void IndexWalkSqlite(benchmark::State& st) {
    Lite l;
    l.fill(st.range(0));
    sqlite3_stmt* s;
    sqlite3_prepare_v2(l.db, "SELECT * FROM res ORDER BY date, roomname, starthh, startmm", -1, &s,
                       nullptr);
    for (auto _ : st) {
        long n = 0;
        while (sqlite3_step(s) == SQLITE_ROW) ++n;
        sqlite3_reset(s);
        benchmark::DoNotOptimize(n);
    }
    sqlite3_finalize(s);
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

// Half the records deleted, then packed (the table and its tag rebuilt).
void IndexPackEngine(benchmark::State& st) {
    for (auto _ : st) {
        st.PauseTiming();
        Engine e(1);
        e.fill(st.range(0));
        for (long r = 1; r <= st.range(0); r += 2) {
            d4go(e.d, r);
            d4delete(e.d);
        }
        d4flush(e.d);
        st.ResumeTiming();
        d4pack(e.d);
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}
void IndexPackSqlite(benchmark::State& st) {
    for (auto _ : st) {
        st.PauseTiming();
        Lite l;
        l.fill(st.range(0));
        l.exec("UPDATE res SET del=1 WHERE rowid % 2 = 1");
        st.ResumeTiming();
        l.exec("DELETE FROM res WHERE del=1");
        l.exec("VACUUM");
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

void IndexReindexEngine(benchmark::State& st) {
    Engine e(1);
    e.fill(st.range(0));
    for (auto _ : st) d4reindex(e.d);
    st.SetItemsProcessed(st.iterations() * st.range(0));
}
void IndexReindexSqlite(benchmark::State& st) {
    Lite l;
    l.fill(st.range(0));
    for (auto _ : st) l.exec("REINDEX sched");
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

}  // namespace

BENCHMARK(IndexAppendSharedEngine)
    ->Name("IndexAppendShared/engine")
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(IndexAppendSharedSqlite)
    ->Name("IndexAppendShared/sqlite")
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(IndexAppendBulkEngine)
    ->Name("IndexAppendBulk/engine")
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(IndexAppendBulkSqlite)
    ->Name("IndexAppendBulk/sqlite")
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(IndexAppendDurableEngine)
    ->Name("IndexAppendDurable/engine")
    ->Arg(100)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(IndexAppendDurableSqlite)
    ->Name("IndexAppendDurable/sqlite")
    ->Arg(100)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(IndexDayLookupEngine)->Name("IndexDayLookup/engine")->Arg(20000);
BENCHMARK(IndexDayLookupSqlite)->Name("IndexDayLookup/sqlite")->Arg(20000);
BENCHMARK(IndexWalkEngine)->Name("IndexWalk/engine")->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(IndexWalkSqlite)->Name("IndexWalk/sqlite")->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(IndexPackEngine)->Name("IndexPack/engine")->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(IndexPackSqlite)->Name("IndexPack/sqlite")->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(IndexReindexEngine)
    ->Name("IndexReindex/engine")
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(IndexReindexSqlite)
    ->Name("IndexReindex/sqlite")
    ->Arg(20000)
    ->Unit(benchmark::kMillisecond);
