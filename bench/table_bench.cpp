// The reservation table against SQLite on the same rows: 1,000,000 reservations of 15
// facilities over about 20 years, with the same ordering (date, facility, start) as an index.
// Workloads: opening the table, one facility's day, a whole day, a month.
//
// The fixture is built once into QUORVANE_BENCH_DIR (default /tmp/quorvane-bench-tables) and
// reused by later runs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "base/Calendar.h"
#include "bench_util.h"
#include "engine/data4.h"
#include "engine/tag4.h"
#include "engine/vask4.h"
#include "tables/Schedule.h"

namespace {

constexpr long kRecords = 1000000;
constexpr int kFacilities = 15;
constexpr int kFirstYear = 2006;
constexpr int kRecordLen = 242;

struct Day {
    int y, m, d;
};

std::vector<Day> calendar() {
    static const int len[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    std::vector<Day> days;
    for (int y = kFirstYear; y < kFirstYear + 21; ++y)
        for (int m = 1; m <= 12; ++m) {
            int n = len[m - 1] + (m == 2 && y % 4 == 0 && (y % 100 != 0 || y % 400 == 0));
            for (int d = 1; d <= n; ++d) days.push_back({y, m, d});
        }
    return days;
}

std::string facility(int f) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "Court %02d", f + 1);
    return buf;
}

std::string benchDir() {
    const char* env = std::getenv("QUORVANE_BENCH_DIR");
    return env && *env ? env : "/tmp/quorvane-bench-tables";
}

// One row as both stores hold it: the 20 texts of a reservation record.
struct Row {
    char date[9], room[21], sh[3], sm[3], eh[3], em[3];
    int n;
};

// Visits every reservation in key order: per day, per facility, nine or ten one-hour
// bookings from 08:00 (the tenth at 17:00 for the first pairs, so that the total is exact).
template <typename F>
void eachRow(F&& f) {
    std::vector<Day> days = calendar();
    const long pairs = static_cast<long>(days.size()) * kFacilities;
    const long extra = kRecords - pairs * 9;
    long made = 0, pair = 0;
    Row r{};
    for (const Day& day : days) {
        std::memcpy(r.date, quorvane::dateKey(day.y, day.m, day.d).c_str(), sizeof r.date);
        for (int fac = 0; fac < kFacilities && made < kRecords; ++fac, ++pair) {
            std::snprintf(r.room, sizeof r.room, "%-20s", facility(fac).c_str());
            int slots = 9 + (pair < extra ? 1 : 0);
            for (int s = 0; s < slots && made < kRecords; ++s) {
                std::snprintf(r.sh, sizeof r.sh, "%02d", 8 + s);
                std::snprintf(r.sm, sizeof r.sm, "00");
                std::snprintf(r.eh, sizeof r.eh, "%02d", 8 + s);
                std::snprintf(r.em, sizeof r.em, "50");
                r.n = static_cast<int>(made);
                f(r);
                ++made;
            }
        }
        if (made >= kRecords) break;
    }
}

void recordBytes(const Row& r, char* out) {
    std::memset(out, ' ', kRecordLen);
    char* p = out + 1;
    auto put = [&p](const char* s, int w) {
        size_t n = std::strlen(s);
        std::memcpy(p, s, n < static_cast<size_t>(w) ? n : static_cast<size_t>(w));
        p += w;
    };
    char last[32], phone[16];
    std::snprintf(last, sizeof last, "Player%06d", r.n % 50000);
    std::snprintf(phone, sizeof phone, "555-%04d", r.n % 10000);
    put(r.date, 8);
    put(r.room, 20);
    put(r.sh, 2);
    put(r.sm, 2);
    put(r.eh, 2);
    put(r.em, 2);
    put(last, 21);
    put("Pat", 16);
    put("Q", 2);
    put(phone, 15);
    put("", 6);
    put("league night", 80);
    put("20050101", 8);
    put("0930", 4);
    put("000", 3);
    put("00000000", 8);
    put("0", 1);
    put("T", 1);
    put("0", 1);
    put("Parks Club", 39);
}

bool exists(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0;
}

void buildEngineTable(const std::string& dir) {
    const std::string group = dir + "/Courts.rec";
    {
        CSchedule s;
        if (s.Create(group) != 0) std::abort();
        s.Close();
    }
    // The records are written in bulk behind the engine's back and the index is then built
    // in one pass, as a pack or reindex does.
    const std::string dbf = dir + "/COURTS.DBF";
    int fd = ::open(dbf.c_str(), O_RDWR);
    if (fd < 0) std::abort();
    unsigned char h[32];
    if (::pread(fd, h, 32, 0) != 32) std::abort();
    const off_t headerLen = h[8] | (h[9] << 8);
    std::vector<char> buf;
    buf.reserve(4u << 20);
    off_t at = headerLen;
    char rec[kRecordLen];
    eachRow([&](const Row& r) {
        recordBytes(r, rec);
        buf.insert(buf.end(), rec, rec + kRecordLen);
        if (buf.size() >= (4u << 20) - kRecordLen) {
            if (::pwrite(fd, buf.data(), buf.size(), at) != static_cast<ssize_t>(buf.size()))
                std::abort();
            at += static_cast<off_t>(buf.size());
            buf.clear();
        }
    });
    buf.push_back(0x1A);
    if (::pwrite(fd, buf.data(), buf.size(), at) != static_cast<ssize_t>(buf.size())) std::abort();
    const unsigned long n = kRecords;
    unsigned char c[4] = {static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8),
                          static_cast<unsigned char>(n >> 16), static_cast<unsigned char>(n >> 24)};
    if (::pwrite(fd, c, 4, 4) != 4) std::abort();
    ::close(fd);
    Vask4 ctx;
    vask4init(&ctx);
    ctx.accessMode = 1;
    Data4* d = d4open(&ctx, dbf.c_str());
    if (!d || d4reindex(d) != 0) std::abort();
    d4close(d);
    vask4initUndo(&ctx);
}

void buildSqlite(const std::string& path) {
    ::unlink(path.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) std::abort();
    sqlite3_exec(db,
                 "PRAGMA journal_mode=WAL;"
                 "CREATE TABLE sched(date TEXT, roomname TEXT, starthh TEXT, startmm TEXT,"
                 " endhh TEXT, endmm TEXT, lastname TEXT, firstname TEXT, mi TEXT, phone TEXT,"
                 " ext TEXT, notes TEXT, datemade TEXT, timemade TEXT, recurdays TEXT,"
                 " recurdate TEXT, typeflag TEXT, reskept TEXT, flag1 TEXT, org TEXT);"
                 "BEGIN;",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO sched VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", -1,
                       &ins, nullptr);
    char rec[kRecordLen];
    static const int widths[20] = {8, 20, 2, 2, 2, 2, 21, 16, 2, 15,
                                   6, 80, 8, 4, 3, 8, 1,  1,  1, 39};
    eachRow([&](const Row& r) {
        recordBytes(r, rec);
        const char* p = rec + 1;
        for (int i = 0; i < 20; ++i) {
            sqlite3_bind_text(ins, i + 1, p, widths[i], SQLITE_TRANSIENT);
            p += widths[i];
        }
        sqlite3_step(ins);
        sqlite3_reset(ins);
    });
    sqlite3_finalize(ins);
    sqlite3_exec(db,
                 "COMMIT; CREATE UNIQUE INDEX schedtag ON sched(date, roomname, starthh, startmm);"
                 "ANALYZE;",
                 nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

// Builds the fixture on first use; a marker file says it is complete.
const std::string& fixture() {
    static const std::string dir = [] {
        std::string d = benchDir();
        std::string marker = d + "/complete-v1";
        if (!exists(marker)) {
            std::system(("rm -rf '" + d + "' && mkdir -p '" + d + "'").c_str());
            buildEngineTable(d);
            buildSqlite(d + "/sched.sqlite");
            FILE* f = std::fopen(marker.c_str(), "w");
            if (f) std::fclose(f);
        }
        return d;
    }();
    return dir;
}

// The query days: spread over the whole table, the same sequence for both stores.
std::vector<Day> queryDays() {
    std::vector<Day> all = calendar();
    std::vector<Day> out;
    unsigned long x = 12345;
    const size_t usable = 7300;  // the days the table covers
    for (int i = 0; i < 1024; ++i) {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        out.push_back(all[(x >> 33) % usable]);
    }
    return out;
}

std::string key(const Day& d) {
    return quorvane::dateKey(d.y, d.m, d.d);
}

// ---- engine ----

void openEngine(benchmark::State& state) {
    const std::string group = fixture() + "/Courts.rec";
    for (auto _ : state) {
        CSchedule s;
        if (s.Open(group) != 0) state.SkipWithError("open failed");
        state.PauseTiming();
        s.Close();
        state.ResumeTiming();
    }
}

// Reads every field of the current reservation, as a caller showing it would.
long touch(CSchedule& s) {
    int a, b, c, d, e;
    s.GetStart(a, b);
    s.GetEnd(c, d);
    std::string f, mi, l, p, x, o;
    s.GetNames(f, mi, l, p, x, o);
    s.GetMade(a, b, c, d, e);
    return a + b + c + d + static_cast<long>(l.size() + o.size() + s.GetNotes().size());
}

// The first of the query day's month and the first of the next.
std::pair<std::string, std::string> monthOf(const Day& d) {
    return {quorvane::dateKey(d.y, d.m, 1),
            d.m == 12 ? quorvane::dateKey(d.y + 1, 1, 1) : quorvane::dateKey(d.y, d.m + 1, 1)};
}

// One query an iteration on the reservation table, over the query days in turn: `walk` gets
// the day and the count of queries so far, reads the rows it asks for, counting them in `rows`,
// and returns their fields' sum.
template <typename Walk>
void engineQueries(benchmark::State& state, Walk&& walk) {
    CSchedule s;
    if (s.Open(fixture() + "/Courts.rec") != 0) return state.SkipWithError("open failed");
    std::vector<Day> days = queryDays();
    size_t i = 0;
    long rows = 0;
    for (auto _ : state) {
        const Day& d = days[i++ % days.size()];
        benchmark::DoNotOptimize(walk(s, d, i, rows));
    }
    bench::countRows(state, rows);
}

void dayFacilityEngine(benchmark::State& state) {
    engineQueries(state, [](CSchedule& s, const Day& d, size_t i, long& rows) {
        const std::string k = key(d), fac = facility(static_cast<int>(i % kFacilities));
        long sum = 0;
        for (int r = s.Seek(k, fac, "", ""); r == 0 && s.IsOnDate(k) && s.GetFacility() == fac;
             r = s.Next()) {
            sum += touch(s);
            ++rows;
        }
        return sum;
    });
}

void dayAllEngine(benchmark::State& state) {
    engineQueries(state, [](CSchedule& s, const Day& d, size_t, long& rows) {
        const std::string k = key(d);
        long sum = 0;
        for (int r = s.Seek(k, "", "", ""); r == 0 && s.IsOnDate(k); r = s.Next()) {
            sum += touch(s);
            ++rows;
        }
        return sum;
    });
}

void monthEngine(benchmark::State& state) {
    engineQueries(state, [](CSchedule& s, const Day& d, size_t, long& rows) {
        const auto [from, to] = monthOf(d);
        long sum = 0;
        for (int r = s.Seek(from, "", "", ""); r == 0 && s.IsBefore(to); r = s.Next()) {
            sum += touch(s);
            ++rows;
        }
        return sum;
    });
}

// The reports' access pattern straight on the engine: one month in tag order on the table
// opened shared, as one walk, every field of every record read.
void rangeEngine(benchmark::State& state) {
    Vask4 c;
    vask4init(&c);
    c.accessMode = 0;
    Data4* d = d4open(&c, (fixture() + "/COURTS.DBF").c_str());
    if (!d) return state.SkipWithError("open failed");
    d4tagSelect(d, d4tag(d, "SCHEDTAG"));
    Field4* date = d4field(d, "DATE");
    const int fields = d4numFields(d);
    std::vector<Day> days = queryDays();
    size_t i = 0;
    long rows = 0;
    for (auto _ : state) {
        const auto [from, to] = monthOf(days[i++ % days.size()]);
        long sum = 0;
        d4walkStart(d);
        for (int r = d4seek(d, from.c_str());
             r == 0 && std::memcmp(f4ptr(date), to.data(), to.size()) < 0; r = d4skip(d, 1)) {
            for (int j = 1; j <= fields; ++j) sum += f4ptr(d4fieldJ(d, j))[0];
            ++rows;
        }
        d4walkEnd(d);
        benchmark::DoNotOptimize(sum);
    }
    bench::countRows(state, rows);
    d4close(d);
    vask4initUndo(&c);
}

// ---- SQLite ----

const char* kColumns =
    "date, roomname, starthh, startmm, endhh, endmm, lastname, firstname, mi, phone, ext, "
    "notes, datemade, timemade, recurdays, recurdate, typeflag, reskept, flag1, org";

sqlite3* openSqlite() {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2((fixture() + "/sched.sqlite").c_str(), &db, SQLITE_OPEN_READWRITE,
                        nullptr) != SQLITE_OK)
        return nullptr;
    return db;
}

// Reads every column of the row, as the engine side reads every field.
long touchRow(sqlite3_stmt* st) {
    long sum = 0;
    for (int c = 0; c < 20; ++c) {
        const unsigned char* t = sqlite3_column_text(st, c);
        sum += t ? t[0] : 0;
        sum += sqlite3_column_bytes(st, c);
    }
    return sum;
}

void openSqliteBench(benchmark::State& state) {
    fixture();
    std::string q = std::string("SELECT ") + kColumns +
                    " FROM sched WHERE date = ? AND roomname = ? ORDER BY starthh, startmm";
    for (auto _ : state) {
        sqlite3* db = openSqlite();
        if (!db) state.SkipWithError("open failed");
        // Opening counts until the schema is read and a query is ready.
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, q.c_str(), -1, &st, nullptr);
        state.PauseTiming();
        sqlite3_finalize(st);
        sqlite3_close(db);
        state.ResumeTiming();
    }
}

void runSqlite(benchmark::State& state, const char* where, int kind) {
    sqlite3* db = openSqlite();
    if (!db) return state.SkipWithError("open failed");
    std::string q = std::string("SELECT ") + kColumns + " FROM sched WHERE " + where +
                    " ORDER BY date, roomname, starthh, startmm";
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, q.c_str(), -1, &st, nullptr) != SQLITE_OK)
        return state.SkipWithError(sqlite3_errmsg(db));
    std::vector<Day> days = queryDays();
    size_t i = 0;
    long rows = 0;
    for (auto _ : state) {
        const Day& d = days[i++ % days.size()];
        std::string a, b;
        if (kind == 0) {
            a = key(d);
            b = facility(static_cast<int>(i % kFacilities));
            char padded[24];
            std::snprintf(padded, sizeof padded, "%-20s", b.c_str());
            b = padded;
        } else if (kind == 1) {
            a = key(d);
        } else {
            std::tie(a, b) = monthOf(d);
        }
        sqlite3_bind_text(st, 1, a.c_str(), static_cast<int>(a.size()), SQLITE_TRANSIENT);
        if (kind != 1)
            sqlite3_bind_text(st, 2, b.c_str(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
        long sum = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            sum += touchRow(st);
            ++rows;
        }
        sqlite3_reset(st);
        benchmark::DoNotOptimize(sum);
    }
    bench::countRows(state, rows);
    sqlite3_finalize(st);
    sqlite3_close(db);
}

void dayFacilitySqlite(benchmark::State& state) {
    runSqlite(state, "date = ? AND roomname = ?", 0);
}
void dayAllSqlite(benchmark::State& state) {
    runSqlite(state, "date = ?", 1);
}
void monthSqlite(benchmark::State& state) {
    runSqlite(state, "date >= ? AND date < ?", 2);
}

[[maybe_unused]] const bool registered = [] {
    benchmark::RegisterBenchmark("TableOpen/engine", openEngine)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("TableOpen/sqlite", openSqliteBench)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("TableDayFacility/engine", dayFacilityEngine)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("TableDayFacility/sqlite", dayFacilitySqlite)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("TableDayAll/engine", dayAllEngine)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("TableDayAll/sqlite", dayAllSqlite)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("TableMonth/engine", monthEngine)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("TableMonth/sqlite", monthSqlite)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("ReadPathRange/engine", rangeEngine)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("ReadPathRange/sqlite", monthSqlite)
        ->Unit(benchmark::kMicrosecond);
    return true;
}();

}  // namespace
