// The group window's work on a reservation table of 1,000,000 records: opening the group (its
// three tables and today's day list), one minute tick without a reload (the stamp poll and the
// occupancy update), and a reload of the day list. Built only when the application layer and
// the tables are part of the tree.
#ifdef QUORVANE_HAVE_TABLES
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "big_group.h"
#include "opened_group.h"

#include "base/Clock.h"
#include "engine/io4.h"
#include "group/GroupFile.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/Schedule.h"

namespace bench {

bool buildCourtsGroup(const std::string& groupPath, quorvane::GroupFile& group,
                      const CourtBooking& each, quorvane::DayDate& middle) {
    group.typeName = "Tennis Courts";
    for (int i = 0; i < kFacilities; ++i)
        group.rooms[std::size_t(group.count++)].name = "Court " + std::to_string(i + 1);
    if (!quorvane::saveGroupFile(groupPath, group).ok()) return false;
    CPeople people;
    CMaintenance maintenance;
    if (people.Create(groupPath) || maintenance.Create(groupPath)) return false;
    people.Close();
    maintenance.Close();
    NoSyncIo noSync;
    Io4* previous = io4set(&noSync);
    struct Restore {
        Io4* io;
        ~Restore() { io4set(io); }
    } restore{previous};
    CSchedule s;
    if (s.Create(groupPath)) return false;
    const long days = (kRecords + kPerDay - 1) / kPerDay;
    const quorvane::DayDate first{2000, 1, 1};
    long written = 0;
    for (long d = 0; d < days && written < kRecords; ++d) {
        const quorvane::DayDate date = quorvane::addDays(first, int(d));
        for (int f = 0; f < kFacilities && written < kRecords; ++f) {
            for (int h = 6; h < 22 && written < kRecords; ++h, ++written) {
                s.Clear();
                s.SetDate(date.month, date.day, date.year);
                s.SetFacility(group.rooms[std::size_t(f)].name);
                s.SetStart(h, 0);
                s.SetEnd(h + 1, 0);
                s.SetNames("Anna", "", "Jansen" + std::to_string(f), "555-0101", "", "Club");
                if (s.Add()) return false;
                if (each) each(date, f, h);
            }
        }
    }
    if (s.Close()) return false;
    middle = quorvane::addDays(first, int(days / 2));
    return true;
}

BigGroup::BigGroup() {
    char tmpl[] = "/var/tmp/quorvane-group-bench-XXXXXX";
    if (!mkdtemp(tmpl)) return;
    folder = tmpl;
    groupPath = (folder / "Courts.rec").string();
    quorvane::GroupFile g;
    quorvane::DayDate middle;
    if (!buildCourtsGroup(groupPath, g, {}, middle)) return;
    // Every benchmark finds the table on disk and in the page cache alike: none pays for
    // writing back what the build left dirty.
    ::sync();
    clock.set(quorvane::localTimeValue(middle, 10, 30));
    quorvane::setAppClock(&clock);
    ok = true;
}

BigGroup::~BigGroup() {
    std::error_code ec;
    if (!folder.empty()) std::filesystem::remove_all(folder, ec);
}

BigGroup& bigGroup() {
    static BigGroup group;
    return group;
}

Scratch::Scratch() {
    char tmpl[] = "/var/tmp/quorvane-bench-scratch-XXXXXX";
    if (mkdtemp(tmpl)) {
        folder = tmpl;
        ok = true;
    }
}

Scratch::~Scratch() {
    std::error_code ec;
    if (!folder.empty()) std::filesystem::remove_all(folder, ec);
}

bool Scratch::copyFrom(const std::filesystem::path& from, bool (*accept)(const std::string& name)) {
    if (!ok) return false;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(from, ec)) {
        const std::string name = e.path().filename().string();
        if (!e.is_regular_file() || !accept(name)) continue;
        if (!std::filesystem::copy_file(e.path(), folder / name, ec)) return false;
    }
    ::sync();
    return !ec;
}

bool groupFile(const std::string& name) {
    for (const char* twin : {".db", ".sqlite", "-journal", "-wal", "-shm"}) {
        const std::string end(twin);
        if (name.size() >= end.size() &&
            name.compare(name.size() - end.size(), end.size(), end) == 0)
            return false;
    }
    return true;
}

}  // namespace bench

namespace {

using bench::bigGroup;
using bench::BigGroup;

void GroupOpen(benchmark::State& state) {
    BigGroup& g = bigGroup();
    if (!g.ok) {
        state.SkipWithError("cannot build the group");
        return;
    }
    std::size_t items = 0;
    for (auto _ : state) {
        auto group = std::make_unique<bench::OpenedGroup>(g.groupPath);
        if (!group->open) {
            state.SkipWithError("open failed");
            return;
        }
        items = group->day.items().size();
        state.PauseTiming();
        group.reset();
        state.ResumeTiming();
    }
    state.counters["day_items"] = double(items);
}

void GroupMinuteTick(benchmark::State& state) {
    BigGroup& g = bigGroup();
    bench::OpenedGroup group(g.groupPath);
    if (!g.ok || !group.open) {
        state.SkipWithError("open failed");
        return;
    }
    group.day.setRefresh(true);
    for (auto _ : state) {
        // What a tick does when nothing changed: poll the stamp, update the occupants.
        const bool changed = group.day.checkStamp();
        benchmark::DoNotOptimize(changed);
        benchmark::DoNotOptimize(group.day.updateOccupancy(false));
    }
}

void GroupDayReload(benchmark::State& state) {
    BigGroup& g = bigGroup();
    bench::OpenedGroup group(g.groupPath);
    if (!g.ok || !group.open) {
        state.SkipWithError("open failed");
        return;
    }
    for (auto _ : state) {
        group.day.reload();
        group.day.updateOccupancy(true);
    }
    state.counters["day_items"] = double(group.day.items().size());
}

}  // namespace

// The group for the other workloads on the same table (report_bench.cpp); empty when it could
// not be built.
std::string benchBigGroupPath() {
    BigGroup& g = bigGroup();
    return g.ok ? g.groupPath : std::string();
}

BENCHMARK(GroupOpen)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(GroupMinuteTick)->Unit(benchmark::kMicrosecond);
BENCHMARK(GroupDayReload)->Unit(benchmark::kMillisecond);
#endif
