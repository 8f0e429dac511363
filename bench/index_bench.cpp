// The reservation table's tag against SQLite, like with like.
//
// Both sides hold the same 20 text columns as the reservation record (242-byte records on the
// engine side; 20 TEXT columns plus a DELETED flag standing for the deletion mark in SQLite)
// and the same key: the engine's tag SCHEDTAG "DATE+ROOMNAME+STARTHH+STARTMM" with the filter
// ".NOT. DELETED()" and unique code 20; in SQLite a UNIQUE index on the same four columns,
// partial on DELETED=0 as the filter is. SQLite runs through the C API with prepared
// statements, in the same process and run.
//
// The rows are a booking set of 15 facilities with 16 bookings each a day at distinct start
// times (so the unique key holds), shuffled with a fixed seed; both sides get the same rows in
// the same order, so record number n on the engine side is rowid n in SQLite.
//
// Each pair runs one iteration of its whole workload; set-up lies outside the timing.
// QUORVANE_BENCH_SCALE (default 1) scales every row and query count, e.g. 0.05 for a quick run.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_util.h"
#include "engine/data4.h"
#include "engine/field4.h"
#include "engine/tag4.h"
#include "engine/vask4.h"

namespace {

// ---- sizes ----

double scale() {
    static const double s = [] {
        const char* env = std::getenv("QUORVANE_BENCH_SCALE");
        double v = env && *env ? std::atof(env) : 1.0;
        return v > 0 ? v : 1.0;
    }();
    return s;
}
long scaled(long n, long atLeast = 1) {
    long v = std::lround(static_cast<double>(n) * scale());
    return v < atLeast ? atLeast : v;
}
long appendRows() {
    return scaled(200000, 480);
}
long durableRows() {
    return scaled(2000, 20);
}
long lookupQueries() {
    return scaled(100000, 100);
}
long reindexRows() {
    return scaled(1000000, 480);
}

// ---- the reservation layout ----

const auto& kFields = bench::kReservationFields;
constexpr int kNumFields = bench::kReservationFieldCount;
const TAG4INFO kTags[] = {{"SCHEDTAG", "DATE+ROOMNAME+STARTHH+STARTMM", ".NOT. DELETED()", 20, 0},
                          {nullptr, nullptr, nullptr, 0, 0}};

const char* const kColumns =
    "DATE, ROOMNAME, STARTHH, STARTMM, ENDHH, ENDMM, LASTNAME, FIRSTNAME, MI, PHONE, EXT, "
    "NOTES, DATEMADE, TIMEMADE, RECURDAYS, RECURDATE, TYPEFLAG, RESKEPT, FLAG1, ORG";
const char* const kCreateTable =
    "CREATE TABLE res(DATE TEXT, ROOMNAME TEXT, STARTHH TEXT, STARTMM TEXT, ENDHH TEXT, "
    "ENDMM TEXT, LASTNAME TEXT, FIRSTNAME TEXT, MI TEXT, PHONE TEXT, EXT TEXT, NOTES TEXT, "
    "DATEMADE TEXT, TIMEMADE TEXT, RECURDAYS TEXT, RECURDATE TEXT, TYPEFLAG TEXT, "
    "RESKEPT TEXT, FLAG1 TEXT, ORG TEXT, DELETED INTEGER NOT NULL DEFAULT 0)";
const char* const kCreateIndex =
    "CREATE UNIQUE INDEX SCHEDTAG ON res(DATE, ROOMNAME, STARTHH, STARTMM) WHERE DELETED=0";
const char* const kInsert =
    "INSERT INTO res(DATE, ROOMNAME, STARTHH, STARTMM, ENDHH, ENDMM, LASTNAME, FIRSTNAME, MI, "
    "PHONE, EXT, NOTES, DATEMADE, TIMEMADE, RECURDAYS, RECURDATE, TYPEFLAG, RESKEPT, FLAG1, "
    "ORG) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";

// ---- the booking set ----

constexpr int kFacilities = 15;
constexpr int kPerFacilityDay = 16;
constexpr long kPerDay = kFacilities * kPerFacilityDay;

// One reservation as the program assigns it: 20 texts without their padding, packed.
struct Row {
    char text[248];
    unsigned char off[kNumFields + 1];
    const char* field(int j) const { return text + off[j]; }
    int len(int j) const { return off[j + 1] - off[j]; }
};

struct RowBuilder {
    Row& r;
    int j = 0;
    void add(const char* s) {
        size_t n = std::strlen(s);
        size_t w = kFields[j].len;
        if (n > w) n = w;
        std::memcpy(r.text + r.off[j], s, n);
        r.off[j + 1] = static_cast<unsigned char>(r.off[j] + n);
        ++j;
    }
};

std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

void dateKey(long dayIndex, char out[9]) {
    using namespace std::chrono;
    year_month_day ymd{sys_days{year{2024} / January / 1} + days{dayIndex}};
    // Years stay within four digits here, so the key is written digit by digit.
    const unsigned v = static_cast<unsigned>(static_cast<int>(ymd.year())) * 10000 +
                       static_cast<unsigned>(ymd.month()) * 100 + static_cast<unsigned>(ymd.day());
    for (int i = 7, x = static_cast<int>(v); i >= 0; --i, x /= 10)
        out[i] = static_cast<char>('0' + x % 10);
    out[8] = 0;
}

void facilityName(int f, char out[21]) {
    std::snprintf(out, 21, "Court %d", f + 1);
}

// Booking k of the set in key order: day k / 240, facility (k / 16) % 15, slot k % 16.
void makeRow(long k, Row& r) {
    static const char* const kLast[] = {
        "Andersen", "Bakker", "Castillo", "Dijkstra", "Evans",  "Fischer",  "Garcia", "Hughes",
        "Ivanova",  "Jansen", "Kowalski", "Lambert",  "Moreau", "Nakamura", "Okafor", "Peters",
        "Quinn",    "Rossi",  "Schmidt",  "Tanaka",   "Visser", "Walsh",    "Young",  "Zimmerman"};
    static const char* const kFirst[] = {"Anna",  "Ben",  "Carla", "David", "Emma",  "Frank",
                                         "Grace", "Henk", "Iris",  "Jack",  "Karin", "Liam",
                                         "Maya",  "Noah", "Olga",  "Paul"};
    static const char* const kTasks[] = {"Resurface court", "Net repair", "Line painting",
                                         "Lighting check", "Drain cleaning"};
    static const char* const kNotes[] = {"Bring own rackets", "Lesson with coach",
                                         "League match, home team", "Pay at the desk",
                                         "Birthday party, 8 children"};
    static const char* const kOrgs[] = {"City Tennis Club", "Riverside School", "Eastside Seniors",
                                        "Hillcrest Athletics", "Northpoint Youth League"};
    const long day = k / kPerDay;
    const int fac = static_cast<int>(k / kPerFacilityDay % kFacilities);
    const int slot = static_cast<int>(k % kPerFacilityDay);
    const std::uint64_t h = mix(static_cast<std::uint64_t>(k));
    const int start = 6 * 60 + slot * 60 + (fac % 4) * 15;  // 06:00 to 21:45
    const int end = start + 50;
    const bool maintenance = h % 20 == 0;
    char date[9], room[21], buf[16];
    dateKey(day, date);
    facilityName(fac, room);
    r.off[0] = 0;
    RowBuilder b{r};
    b.add(date);
    b.add(room);
    std::snprintf(buf, sizeof buf, "%02d", start / 60);
    b.add(buf);
    std::snprintf(buf, sizeof buf, "%02d", start % 60);
    b.add(buf);
    std::snprintf(buf, sizeof buf, "%02d", end / 60);
    b.add(buf);
    std::snprintf(buf, sizeof buf, "%02d", end % 60);
    b.add(buf);
    if (maintenance) {
        b.add(kTasks[h / 20 % 5]);
        for (int i = 0; i < 4; ++i) b.add("");
    } else {
        b.add(kLast[h / 7 % 24]);
        b.add(kFirst[h / 11 % 16]);
        char mi[2] = {static_cast<char>('A' + h / 13 % 26), 0};
        b.add(h % 3 ? mi : "");
        std::snprintf(buf, sizeof buf, "616-555-%04d", static_cast<int>(h / 17 % 10000));
        b.add(buf);
        std::snprintf(buf, sizeof buf, "%d", static_cast<int>(h / 19 % 900 + 100));
        b.add(h % 5 == 1 ? buf : "");
    }
    b.add(h % 4 == 1 ? kNotes[h / 23 % 5] : "");
    char made[9];
    dateKey(day - static_cast<long>(h / 29 % 60), made);
    b.add(made);
    std::snprintf(buf, sizeof buf, "%02d%02d", static_cast<int>(8 + h / 31 % 12),
                  static_cast<int>(h / 37 % 60));
    b.add(buf);
    const bool weekly = h % 10 == 3;
    b.add(weekly ? "007" : "000");
    char until[9];
    dateKey(day + 28, until);
    b.add(weekly ? until : "00000000");
    b.add(maintenance ? "1" : "0");
    b.add("T");
    b.add("0");
    b.add(!maintenance && h % 3 == 2 ? kOrgs[h / 41 % 5] : "");
}

// A fixed-seed Fisher-Yates shuffle of 0..n-1, the same on every library.
std::vector<std::uint32_t> shuffled(long n) {
    std::vector<std::uint32_t> p(static_cast<size_t>(n));
    for (long i = 0; i < n; ++i) p[static_cast<size_t>(i)] = static_cast<std::uint32_t>(i);
    std::mt19937_64 rng(20260412);
    for (long i = n - 1; i > 0; --i) {
        long j = static_cast<long>(rng() % static_cast<std::uint64_t>(i + 1));
        std::swap(p[static_cast<size_t>(i)], p[static_cast<size_t>(j)]);
    }
    return p;
}

// The appended rows in booking order, made once.
const std::vector<Row>& rows() {
    static const std::vector<Row> all = [] {
        const long n = appendRows();
        std::vector<std::uint32_t> p = shuffled(n);
        std::vector<Row> v(static_cast<size_t>(n));
        for (long i = 0; i < n; ++i) makeRow(p[static_cast<size_t>(i)], v[static_cast<size_t>(i)]);
        return v;
    }();
    return all;
}

// How many bookings a (day, facility) pair has in a set of n rows.
long bookingsOf(long n, long day, int fac) {
    long first = day * kPerDay + fac * kPerFacilityDay;
    long left = n - first;
    return left <= 0 ? 0 : left < kPerFacilityDay ? left : kPerFacilityDay;
}

struct Query {
    char key[29];  // the engine's 28-byte date + facility prefix
    char date[9];  // the same two texts for SQLite
    char room[21];
    long expected;  // bookings of that pair, from the set itself
};

const std::vector<Query>& queries() {
    static const std::vector<Query> all = [] {
        const long n = appendRows();
        const long days = (n + kPerDay - 1) / kPerDay;
        std::mt19937_64 rng(7331);
        std::vector<Query> v(static_cast<size_t>(lookupQueries()));
        for (Query& q : v) {
            long day = static_cast<long>(rng() % static_cast<std::uint64_t>(days));
            int fac = static_cast<int>(rng() % kFacilities);
            dateKey(day, q.date);
            facilityName(fac, q.room);
            std::snprintf(q.key, sizeof q.key, "%8s%-20s", q.date, q.room);
            q.expected = bookingsOf(n, day, fac);
        }
        return v;
    }();
    return all;
}

long expectedFound() {
    long sum = 0;
    for (const Query& q : queries()) sum += q.expected;
    return sum;
}

// ---- scratch files ----

// The workloads' files, in a folder below TMPDIR (or /tmp).
std::string inFolder(const char* name) {
    static const bench::ScratchFolder f([] {
        const char* tmp = std::getenv("TMPDIR");
        return std::string(tmp && *tmp ? tmp : "/tmp");
    }());
    return f.file(name);
}

double fileBytes(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 ? static_cast<double>(st.st_size) : -1;
}
void removeTable(const std::string& base) {
    ::unlink((base + ".DBF").c_str());
    ::unlink((base + ".CDX").c_str());
}
void removeDb(const std::string& p) {
    ::unlink(p.c_str());
    ::unlink((p + "-journal").c_str());
}
bool copyFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    return std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing,
                                      ec);
}

// Part of a timed workload, shown beside it (the final flush or commit of a bulk fill).
double msSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

benchmark::Counter bytes(double v) {
    return benchmark::Counter(v, benchmark::Counter::kDefaults, benchmark::Counter::kIs1024);
}

// ---- engine side ----

struct EngineTable {
    Vask4 c;
    Data4* d = nullptr;
    Field4* f[kNumFields] = {};

    bool bind(bool tagged) {
        if (!d) return false;
        for (int j = 0; j < kNumFields; ++j) f[j] = d4fieldJ(d, j + 1);
        if (!tagged) return true;
        Tag4* t = d4tag(d, "SCHEDTAG");
        return t && d4tagSelect(d, t) == 0 && t4uniqueSet(t, 20) == 0;
    }
    // base: a path without extension whose file-name part is upper case already.
    bool create(const std::string& base, int mode, bool tagged = true) {
        removeTable(base);
        vask4init(&c);
        c.accessMode = mode;
        d = d4create(&c, base.c_str(), kFields, tagged ? kTags : nullptr);
        return bind(tagged);
    }
    bool open(const std::string& base, int mode) {
        vask4init(&c);
        c.accessMode = mode;
        d = d4open(&c, base.c_str());
        return bind(true);
    }
    int append(const Row& r) {
        d4appendStart(d, 0);
        d4blank(d);
        for (int j = 0; j < kNumFields; ++j) f[j]->assign(r.field(j), r.len(j));
        return d4append(d);
    }
    // Reads every field of the current record in place, as a caller looks at it.
    unsigned read() {
        unsigned sum = 0;
        for (int j = 0; j < kNumFields; ++j) sum += static_cast<unsigned char>(f4ptr(f[j])[0]);
        return sum;
    }
    // Whether the current record carries the row's key fields (padded as the engine keeps them).
    bool holds(const Row& r) {
        for (int j = 0; j < 4; ++j) {
            const char* p = f4ptr(f[j]);
            const int n = r.len(j), w = f4len(f[j]);
            if (std::memcmp(p, r.field(j), static_cast<size_t>(n)) != 0) return false;
            for (int i = n; i < w; ++i)
                if (p[i] != ' ') return false;
        }
        return true;
    }
    bool samePrefix(const char* key) {
        return std::memcmp(f4ptr(f[0]), key, 8) == 0 && std::memcmp(f4ptr(f[1]), key + 8, 20) == 0;
    }
    int close() {
        int r = d ? d4close(d) : 0;
        d = nullptr;
        return r;
    }
    ~EngineTable() {
        close();
        if (c.initialized) vask4initUndo(&c);
    }
};

void engineSizes(benchmark::State& st, const std::string& base) {
    st.counters["cdx_bytes"] = bytes(fileBytes(base + ".CDX"));
    st.counters["dbf_bytes"] = bytes(fileBytes(base + ".DBF"));
}

// ---- SQLite side ----

struct Lite {
    sqlite3* db = nullptr;
    sqlite3_stmt* ins = nullptr;

    bool exec(const char* sql) {
        return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    bool open(const std::string& path, const char* synchronous) {
        if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
        std::string pragma = std::string("PRAGMA synchronous=") + synchronous;
        return exec("PRAGMA journal_mode=DELETE") && exec(pragma.c_str());
    }
    bool create(const std::string& path, const char* synchronous, bool indexed = true) {
        removeDb(path);
        return open(path, synchronous) && exec(kCreateTable) && (!indexed || exec(kCreateIndex)) &&
               sqlite3_prepare_v2(db, kInsert, -1, &ins, nullptr) == SQLITE_OK;
    }
    int append(const Row& r) {
        for (int j = 0; j < kNumFields; ++j)
            sqlite3_bind_text(ins, j + 1, r.field(j), r.len(j), SQLITE_STATIC);
        int rc = sqlite3_step(ins);
        sqlite3_reset(ins);
        return rc == SQLITE_DONE ? 0 : rc;
    }
    sqlite3_stmt* prepare(const std::string& sql) {
        sqlite3_stmt* s = nullptr;
        return sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK ? s : nullptr;
    }
    // True when the statement's plan walks the SCHEDTAG index (so both sides use their key).
    bool usesIndex(const std::string& sql) {
        sqlite3_stmt* s = prepare("EXPLAIN QUERY PLAN " + sql);
        bool found = false;
        while (s && sqlite3_step(s) == SQLITE_ROW) {
            const unsigned char* d = sqlite3_column_text(s, 3);
            if (d && std::strstr(reinterpret_cast<const char*>(d), "INDEX SCHEDTAG")) found = true;
        }
        sqlite3_finalize(s);
        return found;
    }
    long long scalar(const char* sql) {
        sqlite3_stmt* s = prepare(sql);
        long long v = -1;
        if (s && sqlite3_step(s) == SQLITE_ROW) v = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
        return v;
    }
    // Whether the statement's first four columns are the row's key fields.
    static bool holds(sqlite3_stmt* s, const Row& r) {
        for (int j = 0; j < 4; ++j) {
            const unsigned char* t = sqlite3_column_text(s, j);
            if (!t || sqlite3_column_bytes(s, j) != r.len(j) ||
                std::memcmp(t, r.field(j), static_cast<size_t>(r.len(j))) != 0)
                return false;
        }
        return true;
    }
    static unsigned read(sqlite3_stmt* s) {
        unsigned sum = 0;
        for (int j = 0; j < kNumFields; ++j) {
            const unsigned char* t = sqlite3_column_text(s, j);
            sum += t ? t[0] : 0;
        }
        return sum;
    }
    void close() {
        if (ins) sqlite3_finalize(ins);
        ins = nullptr;
        if (db) sqlite3_close(db);
        db = nullptr;
    }
    ~Lite() { close(); }
};

// The database's size, and its index's size from the dbstat table where the library has it,
// otherwise the pages the index holds found by dropping it in a copy.
void sqliteSizes(benchmark::State& st, const std::string& path) {
    st.counters["db_bytes"] = bytes(fileBytes(path));
    Lite l;
    if (!l.open(path, "OFF")) return;
    long long idx = l.scalar("SELECT sum(pgsize) FROM dbstat WHERE name='SCHEDTAG'");
    if (idx < 0) {
        l.close();
        const std::string copy = path + ".sizes";
        if (!copyFile(path, copy)) return;
        Lite c;
        if (c.open(copy, "OFF") && c.exec("DROP INDEX SCHEDTAG") && c.exec("VACUUM"))
            idx = static_cast<long long>(fileBytes(path) - fileBytes(copy));
        c.close();
        removeDb(copy);
    }
    if (idx >= 0) st.counters["index_bytes"] = bytes(static_cast<double>(idx));
}

// ---- the filled fixture for the read workloads and the pack ----

// Both stores filled once with the appended rows, in exclusive mode and one transaction.
struct Fixture {
    std::string base = inFolder("FIXTURE"), db = inFolder("fixture.db");
    bool ok = false;
    Fixture() {
        const auto& rs = rows();
        {
            EngineTable e;
            if (!e.create(base, 1)) return;
            for (const Row& r : rs)
                if (e.append(r) != 0) return;
            if (e.close() != 0) return;
        }
        Lite l;
        if (!l.create(db, "OFF") || !l.exec("BEGIN")) return;
        for (const Row& r : rs)
            if (l.append(r) != 0) return;
        ok = l.exec("COMMIT");
    }
};
const Fixture& fixture() {
    static Fixture f;
    return f;
}

// ---- appends ----

// After an append workload: the table holds the n rows appended, closes, tells its files' sizes
// where asked, and goes.
void endEngineAppends(benchmark::State& st, EngineTable& e, const std::string& base, long n,
                      bool sizes) {
    if (d4recCount(e.d) != n) return st.SkipWithError("wrong count");
    if (e.close() != 0) return st.SkipWithError("close failed");
    if (sizes) engineSizes(st, base);
    st.SetItemsProcessed(n);
    removeTable(base);
}
void endSqliteAppends(benchmark::State& st, Lite& l, const std::string& path, long n, bool sizes) {
    if (l.scalar("SELECT count(*) FROM res") != n) return st.SkipWithError("wrong count");
    l.close();
    if (sizes) sqliteSizes(st, path);
    st.SetItemsProcessed(n);
    removeDb(path);
}

// Shared mode as the program runs: each append is released at once so that other users see
// the record and its key; nothing is forced to the disk. SQLite: one autocommit per row,
// synchronous=OFF.
void IndexAppendSharedEngine(benchmark::State& st) {
    const auto& rs = rows();
    const std::string base = inFolder("SHARED");
    EngineTable e;
    if (!e.create(base, 0)) return st.SkipWithError("create failed");
    for (auto _ : st) {
        for (const Row& r : rs) {
            if (e.append(r) != 0) return st.SkipWithError("append failed");
            d4unlock(e.d);
        }
    }
    endEngineAppends(st, e, base, static_cast<long>(rs.size()), true);
}
void IndexAppendSharedSqlite(benchmark::State& st) {
    const auto& rs = rows();
    const std::string path = inFolder("shared.db");
    Lite l;
    if (!l.create(path, "OFF")) return st.SkipWithError("sqlite set-up failed");
    for (auto _ : st) {
        for (const Row& r : rs)
            if (l.append(r) != 0) return st.SkipWithError("insert failed");
    }
    endSqliteAppends(st, l, path, static_cast<long>(rs.size()), true);
}

// Exclusive mode, flushed (to the disk) once at the end. SQLite: one transaction, whose commit
// reaches the disk (synchronous=FULL).
void IndexAppendBulkEngine(benchmark::State& st) {
    const auto& rs = rows();
    const std::string base = inFolder("BULK");
    EngineTable e;
    if (!e.create(base, 1)) return st.SkipWithError("create failed");
    for (auto _ : st) {
        for (const Row& r : rs)
            if (e.append(r) != 0) return st.SkipWithError("append failed");
        const auto t0 = std::chrono::steady_clock::now();
        if (d4flush(e.d) != 0) return st.SkipWithError("flush failed");
        st.counters["flush_ms"] = msSince(t0);
    }
    endEngineAppends(st, e, base, static_cast<long>(rs.size()), true);
}
void IndexAppendBulkSqlite(benchmark::State& st) {
    const auto& rs = rows();
    const std::string path = inFolder("bulk.db");
    Lite l;
    if (!l.create(path, "FULL")) return st.SkipWithError("sqlite set-up failed");
    for (auto _ : st) {
        if (!l.exec("BEGIN")) return st.SkipWithError("begin failed");
        for (const Row& r : rs)
            if (l.append(r) != 0) return st.SkipWithError("insert failed");
        const auto t0 = std::chrono::steady_clock::now();
        if (!l.exec("COMMIT")) return st.SkipWithError("commit failed");
        st.counters["commit_ms"] = msSince(t0);
    }
    endSqliteAppends(st, l, path, static_cast<long>(rs.size()), true);
}

// The rows the durable workloads append: at most as many as there are.
long durableCount() {
    return std::min(durableRows(), static_cast<long>(rows().size()));
}

// As the program books: every append flushed to the disk, then released. SQLite: autocommit
// with synchronous=FULL.
void IndexAppendDurableEngine(benchmark::State& st) {
    const auto& all = rows();
    const long n = durableCount();
    const std::string base = inFolder("DURABLE");
    EngineTable e;
    if (!e.create(base, 0)) return st.SkipWithError("create failed");
    for (auto _ : st) {
        for (long i = 0; i < n; ++i) {
            if (e.append(all[static_cast<size_t>(i)]) != 0)
                return st.SkipWithError("append failed");
            if (d4flush(e.d) != 0) return st.SkipWithError("flush failed");
            d4unlock(e.d);
        }
    }
    endEngineAppends(st, e, base, n, false);
}
void IndexAppendDurableSqlite(benchmark::State& st) {
    const auto& all = rows();
    const long n = durableCount();
    const std::string path = inFolder("durable.db");
    Lite l;
    if (!l.create(path, "FULL")) return st.SkipWithError("sqlite set-up failed");
    for (auto _ : st) {
        for (long i = 0; i < n; ++i)
            if (l.append(all[static_cast<size_t>(i)]) != 0)
                return st.SkipWithError("insert failed");
    }
    endSqliteAppends(st, l, path, n, false);
}

// ---- one facility's day ----

// Seek the date + facility prefix, then step while the prefix holds, reading every field.
void dayLookupEngine(benchmark::State& st, int mode) {
    const Fixture& fx = fixture();
    if (!fx.ok) return st.SkipWithError("fixture failed");
    const auto& qs = queries();
    EngineTable e;
    if (!e.open(fx.base, mode)) return st.SkipWithError("open failed");
    long found = 0;
    unsigned sum = 0;
    for (auto _ : st) {
        for (const Query& q : qs) {
            int rc = d4seek(e.d, q.key);
            if (rc < 0) return st.SkipWithError("seek failed");
            if (rc != 0) continue;
            while (rc == 0 && e.samePrefix(q.key)) {
                sum += e.read();
                ++found;
                rc = d4skip(e.d, 1);
            }
            if (rc < 0) return st.SkipWithError("skip failed");
        }
    }
    benchmark::DoNotOptimize(sum);
    st.counters["found"] = static_cast<double>(found);
    if (found != expectedFound()) return st.SkipWithError("rows found differ from the set");
    st.SetItemsProcessed(static_cast<int64_t>(qs.size()));
}

const char* dayQuerySql() {
    static const std::string sql = std::string("SELECT ") + kColumns +
                                   " FROM res WHERE DATE=?1 AND ROOMNAME=?2 AND DELETED=0 "
                                   "ORDER BY STARTHH, STARTMM";
    return sql.c_str();
}

void dayLookupSqlite(benchmark::State& st, bool exclusive) {
    const Fixture& fx = fixture();
    if (!fx.ok) return st.SkipWithError("fixture failed");
    const auto& qs = queries();
    Lite l;
    if (!l.open(fx.db, "OFF")) return st.SkipWithError("sqlite open failed");
    if (exclusive && !l.exec("PRAGMA locking_mode=EXCLUSIVE"))
        return st.SkipWithError("exclusive failed");
    if (!l.usesIndex(dayQuerySql())) return st.SkipWithError("day query does not use SCHEDTAG");
    sqlite3_stmt* s = l.prepare(dayQuerySql());
    if (!s) return st.SkipWithError("prepare failed");
    long found = 0;
    unsigned sum = 0;
    for (auto _ : st) {
        for (const Query& q : qs) {
            sqlite3_bind_text(s, 1, q.date, 8, SQLITE_STATIC);
            sqlite3_bind_text(s, 2, q.room, static_cast<int>(std::strlen(q.room)), SQLITE_STATIC);
            int rc;
            while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
                sum += Lite::read(s);
                ++found;
            }
            sqlite3_reset(s);
            if (rc != SQLITE_DONE) {
                sqlite3_finalize(s);
                return st.SkipWithError("query failed");
            }
        }
    }
    sqlite3_finalize(s);
    benchmark::DoNotOptimize(sum);
    st.counters["found"] = static_cast<double>(found);
    if (found != expectedFound()) return st.SkipWithError("rows found differ from the set");
    st.SetItemsProcessed(static_cast<int64_t>(qs.size()));
}

// ---- the whole table in key order ----

void IndexWalkEngine(benchmark::State& st) {
    const Fixture& fx = fixture();
    if (!fx.ok) return st.SkipWithError("fixture failed");
    EngineTable e;
    if (!e.open(fx.base, 0)) return st.SkipWithError("open failed");
    long n = 0;
    unsigned sum = 0;
    for (auto _ : st) {
        int rc = d4top(e.d);
        for (; rc == 0; rc = d4skip(e.d, 1)) {
            sum += e.read();
            ++n;
        }
        if (rc < 0) return st.SkipWithError("walk failed");
    }
    benchmark::DoNotOptimize(sum);
    if (n != static_cast<long>(rows().size())) return st.SkipWithError("wrong record count");
    st.SetItemsProcessed(n);
}
void IndexWalkSqlite(benchmark::State& st) {
    const Fixture& fx = fixture();
    if (!fx.ok) return st.SkipWithError("fixture failed");
    Lite l;
    if (!l.open(fx.db, "OFF")) return st.SkipWithError("sqlite open failed");
    const std::string sql = std::string("SELECT ") + kColumns +
                            " FROM res WHERE DELETED=0 ORDER BY DATE, ROOMNAME, STARTHH, STARTMM";
    if (!l.usesIndex(sql)) return st.SkipWithError("walk does not use SCHEDTAG");
    sqlite3_stmt* s = l.prepare(sql);
    if (!s) return st.SkipWithError("prepare failed");
    long n = 0;
    unsigned sum = 0;
    for (auto _ : st) {
        while (sqlite3_step(s) == SQLITE_ROW) {
            sum += Lite::read(s);
            ++n;
        }
        sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    benchmark::DoNotOptimize(sum);
    if (n != static_cast<long>(rows().size())) return st.SkipWithError("wrong row count");
    st.SetItemsProcessed(n);
}

// ---- pack ----

// Every 10th record deleted (the same rows on both sides) before the timing; the pack itself
// removes them, rebuilds the tag and reaches the disk. SQLite: DELETE + VACUUM, synchronous=FULL.
void IndexPackEngine(benchmark::State& st) {
    const Fixture& fx = fixture();
    if (!fx.ok) return st.SkipWithError("fixture failed");
    const long n = static_cast<long>(rows().size());
    const std::string base = inFolder("PACK");
    if (!copyFile(fx.base + ".DBF", base + ".DBF") || !copyFile(fx.base + ".CDX", base + ".CDX"))
        return st.SkipWithError("copy failed");
    EngineTable e;
    if (!e.open(base, 1) || d4lockAll(e.d) != 0) return st.SkipWithError("open failed");
    for (long r = 10; r <= n; r += 10) {
        if (d4go(e.d, r) != 0) return st.SkipWithError("go failed");
        if (!e.holds(rows()[static_cast<size_t>(r - 1)]))
            return st.SkipWithError("record is not the row appended as it");
        if (d4delete(e.d) != 0) return st.SkipWithError("delete failed");
    }
    if (d4flush(e.d) != 0) return st.SkipWithError("flush failed");
    for (auto _ : st) {
        if (d4pack(e.d) != 0) return st.SkipWithError("pack failed");
        if (d4flush(e.d) != 0) return st.SkipWithError("flush failed");
    }
    if (d4recCount(e.d) != n - n / 10) return st.SkipWithError("wrong count after pack");
    std::string report;
    if (i4check(e.d, &report) != 0) return st.SkipWithError("index unsound after pack");
    st.SetItemsProcessed(n);
    e.close();
    engineSizes(st, base);
    removeTable(base);
}
void IndexPackSqlite(benchmark::State& st) {
    const Fixture& fx = fixture();
    if (!fx.ok) return st.SkipWithError("fixture failed");
    const long n = static_cast<long>(rows().size());
    const std::string path = inFolder("pack.db");
    removeDb(path);
    if (!copyFile(fx.db, path)) return st.SkipWithError("copy failed");
    Lite l;
    if (!l.open(path, "FULL")) return st.SkipWithError("sqlite open failed");
    {
        sqlite3_stmt* q =
            l.prepare("SELECT DATE, ROOMNAME, STARTHH, STARTMM FROM res WHERE rowid=?");
        bool same = q != nullptr;
        for (long r = 10; same && r <= n; r += 10) {
            sqlite3_bind_int64(q, 1, r);
            same =
                sqlite3_step(q) == SQLITE_ROW && Lite::holds(q, rows()[static_cast<size_t>(r - 1)]);
            sqlite3_reset(q);
        }
        sqlite3_finalize(q);
        if (!same) return st.SkipWithError("row is not the one appended as it");
    }
    if (!l.exec("UPDATE res SET DELETED=1 WHERE rowid % 10 = 0"))
        return st.SkipWithError("delete failed");
    for (auto _ : st) {
        if (!l.exec("DELETE FROM res WHERE DELETED=1") || !l.exec("VACUUM"))
            return st.SkipWithError("pack failed");
    }
    if (l.scalar("SELECT count(*) FROM res") != n - n / 10)
        return st.SkipWithError("wrong count after pack");
    st.SetItemsProcessed(n);
    l.close();
    sqliteSizes(st, path);
    removeDb(path);
}

// ---- reindex ----

// A million rows, appended once in exclusive mode without the index, which is then built in
// one sorted pass; SQLite the same: rows in one transaction, then CREATE UNIQUE INDEX.
struct BigFixture {
    std::string base = inFolder("BIG"), db = inFolder("big.db");
    long n = reindexRows();
    bool ok = false;
    BigFixture() {
        const std::vector<std::uint32_t> p = shuffled(n);
        Row r;
        {
            EngineTable e;
            if (!e.create(base, 1, false)) return;
            for (long i = 0; i < n; ++i) {
                makeRow(p[static_cast<size_t>(i)], r);
                if (e.append(r) != 0) return;
            }
            if (!i4create(e.d, nullptr, kTags) || e.close() != 0) return;
        }
        Lite l;
        if (!l.create(db, "OFF", false) || !l.exec("BEGIN")) return;
        for (long i = 0; i < n; ++i) {
            makeRow(p[static_cast<size_t>(i)], r);
            if (l.append(r) != 0) return;
        }
        ok = l.exec("COMMIT") && l.exec(kCreateIndex);
    }
};
const BigFixture& bigFixture() {
    static BigFixture f;
    return f;
}

// Rebuilds the tag from every record and writes it to the disk. SQLite: REINDEX SCHEDTAG, which
// likewise rebuilds the existing index from the table (synchronous=FULL).
void IndexReindexEngine(benchmark::State& st) {
    const BigFixture& fx = bigFixture();
    if (!fx.ok) return st.SkipWithError("fixture failed");
    EngineTable e;
    if (!e.open(fx.base, 1) || d4lockAll(e.d) != 0) return st.SkipWithError("open failed");
    for (auto _ : st) {
        if (d4reindex(e.d) != 0) return st.SkipWithError("reindex failed");
        if (d4flush(e.d) != 0) return st.SkipWithError("flush failed");
    }
    long n = 0;
    for (int rc = d4top(e.d); rc == 0; rc = d4skip(e.d, 1)) ++n;
    if (n != fx.n) return st.SkipWithError("wrong key count after reindex");
    st.SetItemsProcessed(fx.n);
    e.close();
    engineSizes(st, fx.base);
}
void IndexReindexSqlite(benchmark::State& st) {
    const BigFixture& fx = bigFixture();
    if (!fx.ok) return st.SkipWithError("fixture failed");
    Lite l;
    if (!l.open(fx.db, "FULL")) return st.SkipWithError("sqlite open failed");
    for (auto _ : st) {
        if (!l.exec("REINDEX SCHEDTAG")) return st.SkipWithError("reindex failed");
    }
    if (l.scalar("SELECT count(*) FROM res INDEXED BY SCHEDTAG WHERE DELETED=0") != fx.n)
        return st.SkipWithError("wrong key count after reindex");
    st.SetItemsProcessed(fx.n);
    l.close();
    sqliteSizes(st, fx.db);
}

}  // namespace

namespace {

// Each workload runs once, timed by the wall clock.
void once(benchmark::internal::Benchmark* b) {
    b->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
}

[[maybe_unused]] const bool registered =
    bench::registerPair("IndexAppendShared", IndexAppendSharedEngine, IndexAppendSharedSqlite,
                        once) &&
    bench::registerPair("IndexAppendBulk", IndexAppendBulkEngine, IndexAppendBulkSqlite, once) &&
    bench::registerPair("IndexAppendDurable", IndexAppendDurableEngine, IndexAppendDurableSqlite,
                        once) &&
    bench::registerPair(
        "IndexDayLookup", [](benchmark::State& st) { dayLookupEngine(st, 0); },
        [](benchmark::State& st) { dayLookupSqlite(st, false); }, once) &&
    bench::registerPair(
        "IndexDayLookupExclusive", [](benchmark::State& st) { dayLookupEngine(st, 1); },
        [](benchmark::State& st) { dayLookupSqlite(st, true); }, once) &&
    bench::registerPair("IndexWalk", IndexWalkEngine, IndexWalkSqlite, once) &&
    bench::registerPair("IndexPack", IndexPackEngine, IndexPackSqlite, once) &&
    bench::registerPair("IndexReindex", IndexReindexEngine, IndexReindexSqlite, once);

}  // namespace
