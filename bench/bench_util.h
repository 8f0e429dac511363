// What the benchmark files share in their set-up: a scratch folder, the reservation table's
// layout and the five-field table of the read and write path workloads, the rows-per-iteration
// counter, and the registration of a workload's engine/sqlite pair.
#pragma once

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <string>

#include "engine/data4.h"

namespace bench {

// A fresh folder below `parent`, removed with everything in it when it goes. The removal runs
// the same command it always did, since some workloads drop their folder inside the timing.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& parent = "/tmp") {
        std::string tmpl = parent + "/quorvane-bench-XXXXXX";
        if (const char* p = ::mkdtemp(tmpl.data())) path = p;
    }
    ~ScratchFolder() {
        if (!path.empty()) std::system(("rm -rf '" + path + "'").c_str());
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string file(const std::string& name) const { return path + "/" + name; }

    std::string path;  // empty where the folder could not be made
};

// The reservation table's layout: 20 fields, 242-byte records.
inline constexpr int kReservationFieldCount = 20;
inline const FIELD4INFO kReservationFields[] = {
    {"DATE", 'C', 8, 0, 0},      {"ROOMNAME", 'C', 20, 0, 0},  {"STARTHH", 'C', 2, 0, 0},
    {"STARTMM", 'C', 2, 0, 0},   {"ENDHH", 'C', 2, 0, 0},      {"ENDMM", 'C', 2, 0, 0},
    {"LASTNAME", 'C', 21, 0, 0}, {"FIRSTNAME", 'C', 16, 0, 0}, {"MI", 'C', 2, 0, 0},
    {"PHONE", 'C', 15, 0, 0},    {"EXT", 'C', 6, 0, 0},        {"NOTES", 'C', 80, 0, 0},
    {"DATEMADE", 'C', 8, 0, 0},  {"TIMEMADE", 'C', 4, 0, 0},   {"RECURDAYS", 'C', 3, 0, 0},
    {"RECURDATE", 'C', 8, 0, 0}, {"TYPEFLAG", 'C', 1, 0, 0},   {"RESKEPT", 'L', 1, 0, 0},
    {"FLAG1", 'C', 1, 0, 0},     {"ORG", 'C', 39, 0, 0},       {nullptr, 0, 0, 0, 0}};

// The reservation rows of the read and write path workloads: the key's four fields and a name.
inline const FIELD4INFO kRowFields[] = {{"DATE", 'C', 8, 0, 0},      {"ROOMNAME", 'C', 20, 0, 0},
                                        {"STARTHH", 'C', 2, 0, 0},   {"STARTMM", 'C', 2, 0, 0},
                                        {"LASTNAME", 'C', 20, 0, 0}, {nullptr, 0, 0, 0, 0}};
// The same rows in SQLite, with a deletion flag for the workloads that pack.
inline constexpr const char* kRowTableSql =
    "CREATE TABLE res(date TEXT, roomname TEXT, starthh TEXT, startmm TEXT, lastname TEXT, "
    "del INT DEFAULT 0)";
inline constexpr const char* kRowInsertSql =
    "INSERT INTO res(date, roomname, starthh, startmm, lastname) VALUES(?,?,?,?,?)";

// The rows a workload read, as an average per iteration.
inline void countRows(benchmark::State& state, long rows) {
    state.counters["rows"] =
        benchmark::Counter(static_cast<double>(rows), benchmark::Counter::kAvgIterations);
}

// Registers <workload>/engine and <workload>/sqlite with the same settings, so that the two
// sides of a comparison cannot come to run differently.
template <typename Engine, typename Sqlite, typename Settings>
bool registerPair(const std::string& workload, Engine&& engine, Sqlite&& sqlite,
                  Settings&& settings) {
    settings(benchmark::RegisterBenchmark((workload + "/engine").c_str(), engine));
    settings(benchmark::RegisterBenchmark((workload + "/sqlite").c_str(), sqlite));
    return true;
}

}  // namespace bench
