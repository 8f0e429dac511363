#pragma once
// The group of the group benchmarks: 15 courts whose reservation table holds 1,000,000
// one-hour bookings, sixteen a day per court (6:00 to 22:00) on consecutive days from
// 1 January 2000; "today" (the clock installed) is a day in the middle. Built once per run in
// /var/tmp, removed at exit.
#include <filesystem>
#include <functional>
#include <string>

#include "base/Calendar.h"
#include "base/Clock.h"
#include "engine/io4.h"
#include "group/GroupFile.h"

namespace bench {

constexpr int kFacilities = 15;
constexpr int kPerDay = kFacilities * 16;  // sixteen one-hour bookings per facility and day
constexpr long kRecords = 1000000;

// Building the table is not what is measured: its million appends skip the flush to disk
// that each one otherwise makes.
struct NoSyncIo final : Io4 {
    int fdatasync(int) override { return 0; }
};

struct BigGroup {
    std::filesystem::path folder;
    std::string groupPath;
    quorvane::FixedClock clock;
    bool ok = false;
    BigGroup();
    ~BigGroup();
};

BigGroup& bigGroup();

// The groups the benchmarks build: kFacilities courts ("Court 1".."Court 15") in `group`, its
// file written at `groupPath` with empty customer and maintenance tables beside it, and its
// reservation table filled with kRecords one-hour bookings (sixteen a day per court, 6:00 to
// 22:00, from 1 January 2000), each also handed to `each` (for an SQLite twin). Appends skip
// the flush each one otherwise makes. The middle day of the bookings goes to `middle`.
using CourtBooking = std::function<void(const quorvane::DayDate& day, int court, int hour)>;
bool buildCourtsGroup(const std::string& groupPath, quorvane::GroupFile& group,
                      const CourtBooking& each, quorvane::DayDate& middle);

// A folder of a benchmark's own for work that writes, so that no benchmark sees another's
// bookings: the given files (the group's, or an SQLite twin) copied in before its timing and
// made durable there, so that no writeback of the copy runs under the timing; removed with it.
struct Scratch {
    std::filesystem::path folder;
    bool ok = false;
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    // Copies every regular file of from whose name the filter accepts; true when all came.
    bool copyFrom(const std::filesystem::path& from, bool (*accept)(const std::string& name));
};

// The group's own files (no SQLite twins kept beside them).
bool groupFile(const std::string& name);

}  // namespace bench
