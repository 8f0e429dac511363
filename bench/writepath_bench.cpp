// Write-path workloads at sizes quick enough to run while tuning: appends in random date order
// (shared, one lock round each; exclusive, flushed once; durable, flushed each), delete and
// pack, reindex. Each is a pair <Workload>/engine and <Workload>/sqlite with the same count.
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

#include "base/Calendar.h"
#include "bench_util.h"
#include "engine/data4.h"
#include "engine/field4.h"
#include "engine/tag4.h"
#include "engine/vask4.h"

namespace {

const TAG4INFO kTags[] = {{"SCHEDTAG", "DATE+ROOMNAME+STARTHH+STARTMM", ".NOT. DELETED()", 0, 0},
                          {nullptr, nullptr, nullptr, 0, 0}};

struct Row {
    char date[16], room[24], hh[8], mm[8];
};

// Booking k of a shuffled list: the dates come in random order, as bookings do.
std::vector<long> order(long n) {
    std::vector<long> o(static_cast<size_t>(n));
    for (long i = 0; i < n; ++i) o[static_cast<size_t>(i)] = i;
    std::mt19937 g(7);
    std::shuffle(o.begin(), o.end(), g);
    return o;
}

Row row(long i) {
    Row r;
    long day = i / 600, slot = i % 40, room = (i / 40) % 15;
    const std::string key =
        quorvane::dateKey(static_cast<int>(2000 + day / 336 % 100),
                          static_cast<int>(1 + day / 28 % 12), static_cast<int>(1 + day % 28));
    std::memcpy(r.date, key.c_str(), key.size() + 1);
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
    bench::ScratchFolder dir;
    explicit Engine(int accessMode) {
        vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
        c.accessMode = accessMode;
        d = d4create(&c, dir.file("res").c_str(), bench::kRowFields, kTags);
        d4tagSelect(d, d4tag(d, "SCHEDTAG"));
    }
    ~Engine() {
        if (d) d4close(d);
        vask4initUndo(&c);
    }
};

struct Lite {
    sqlite3* db = nullptr;
    bench::ScratchFolder dir;
    sqlite3_stmt* ins = nullptr;
    explicit Lite(bool durable = false) {
        sqlite3_open((dir.path + "/res.db").c_str(), &db);
        exec(durable ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=OFF");
        exec("PRAGMA journal_mode=DELETE");
        exec(bench::kRowTableSql);
        exec("CREATE INDEX sched ON res(date, roomname, starthh, startmm)");
        sqlite3_prepare_v2(db, bench::kRowInsertSql, -1, &ins, nullptr);
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
};

void engineFill(Engine& e, const std::vector<long>& o) {
    for (long i : o) engineAppend(e.d, i);
    d4flush(e.d);
}
void liteFill(Lite& l, const std::vector<long>& o) {
    l.exec("BEGIN");
    for (long i : o) l.append(i);
    l.exec("COMMIT");
}

// Each round gets a fresh store made, and readied by `prepare`, outside the timing; `work` on
// the shuffled bookings is what is timed, and the store goes at the end of the round, as before.
template <typename Store, typename Arg, typename Prepare, typename Work>
void freshRounds(benchmark::State& st, Arg arg, Prepare&& prepare, Work&& work) {
    auto o = order(st.range(0));
    for (auto _ : st) {
        st.PauseTiming();
        Store s(arg);
        prepare(s, o);
        st.ResumeTiming();
        work(s, o);
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}
template <typename Store, typename Arg, typename Work>
void freshRounds(benchmark::State& st, Arg arg, Work&& work) {
    freshRounds<Store>(
        st, arg, [](Store&, const std::vector<long>&) {}, work);
}

void WriteSharedEngine(benchmark::State& st) {
    freshRounds<Engine>(st, 0, [](Engine& e, const std::vector<long>& o) {
        for (long i : o) {
            engineAppend(e.d, i);
            d4unlock(e.d);
        }
    });
}
void WriteSharedSqlite(benchmark::State& st) {
    freshRounds<Lite>(st, false, [](Lite& l, const std::vector<long>& o) {
        for (long i : o) l.append(i);
    });
}

void WriteBulkEngine(benchmark::State& st) {
    freshRounds<Engine>(st, 1, engineFill);
}
void WriteBulkSqlite(benchmark::State& st) {
    freshRounds<Lite>(st, false, liteFill);
}

void WriteDurableEngine(benchmark::State& st) {
    freshRounds<Engine>(st, 0, [](Engine& e, const std::vector<long>& o) {
        for (long i : o) {
            engineAppend(e.d, i);
            d4flush(e.d);
            d4unlock(e.d);
        }
    });
}
void WriteDurableSqlite(benchmark::State& st) {
    freshRounds<Lite>(st, true, [](Lite& l, const std::vector<long>& o) {
        for (long i : o) l.append(i);
    });
}

// A tenth of the records deleted, then packed.
void WritePackEngine(benchmark::State& st) {
    const long n = st.range(0);
    freshRounds<Engine>(
        st, 1,
        [n](Engine& e, const std::vector<long>& o) {
            engineFill(e, o);
            for (long r = 1; r <= n; r += 10) {
                d4go(e.d, r);
                d4delete(e.d);
            }
            d4flush(e.d);
        },
        [](Engine& e, const std::vector<long>&) { d4pack(e.d); });
}
void WritePackSqlite(benchmark::State& st) {
    freshRounds<Lite>(
        st, false,
        [](Lite& l, const std::vector<long>& o) {
            liteFill(l, o);
            l.exec("UPDATE res SET del=1 WHERE rowid % 10 = 1");
        },
        [](Lite& l, const std::vector<long>&) {
            l.exec("DELETE FROM res WHERE del=1");
            l.exec("VACUUM");
        });
}

void WriteReindexEngine(benchmark::State& st) {
    Engine e(1);
    engineFill(e, order(st.range(0)));
    for (auto _ : st) d4reindex(e.d);
    st.SetItemsProcessed(st.iterations() * st.range(0));
}
void WriteReindexSqlite(benchmark::State& st) {
    Lite l;
    liteFill(l, order(st.range(0)));
    for (auto _ : st) {
        l.exec("DROP INDEX sched");
        l.exec("CREATE INDEX sched ON res(date, roomname, starthh, startmm)");
    }
    st.SetItemsProcessed(st.iterations() * st.range(0));
}

}  // namespace

BENCHMARK(WriteSharedEngine)->Name("WriteShared/engine")->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteSharedSqlite)->Name("WriteShared/sqlite")->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteBulkEngine)->Name("WriteBulk/engine")->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteBulkSqlite)->Name("WriteBulk/sqlite")->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteDurableEngine)->Name("WriteDurable/engine")->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteDurableSqlite)->Name("WriteDurable/sqlite")->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK(WritePackEngine)->Name("WritePack/engine")->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(WritePackSqlite)->Name("WritePack/sqlite")->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(WriteReindexEngine)
    ->Name("WriteReindex/engine")
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(WriteReindexSqlite)
    ->Name("WriteReindex/sqlite")
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond);
