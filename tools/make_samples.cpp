// Writes the sample groups shipped with Quorvane into a folder (the build tree's samples/ at
// build time; the installed copy is what the About box names).
//
//   make_samples FOLDER
#include <cctype>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "group/GroupFile.h"
#include "engine/io4.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/Schedule.h"

namespace {

struct SampleFacility {
    const char* name;
    const char* description;
};

constexpr SampleFacility kCourts[] = {
    {"Court 1", "Hard court, lighted for evening play"},
    {"Court 2", "Hard court, lighted for evening play"},
    {"Court 3", "Clay court beside the clubhouse"},
    {"Court 4", "Clay court with a practice wall and ball machine"},
};

// Fresh files written at build time need no flush after every append.
struct NoSyncIo final : Io4 {
    int fdatasync(int) override { return 0; }
};

struct SampleCustomer {
    const char *first, *mi, *last, *phone, *ext, *org;
};
constexpr SampleCustomer kCustomers[] = {
    {"Anna", "M", "Jansen", "555-0101", "", "Riverside Tennis Club"},
    {"Pieter", "", "de Vries", "555-0102", "12", ""},
    {"Maria", "L", "Okafor", "555-0103", "", "North High School"},
    {"Tom", "", "Bakker", "555-0104", "", "Tuesday Ladder League"},
    {"Lena", "K", "Visser", "555-0105", "3", ""},
    {"Sam", "", "Mulder", "555-0106", "", "Parks Junior Camp"},
};
constexpr const char* kMaintenance[] = {"Resurfacing", "Net Repair", "Line Painting"};

// The customers, the maintenance items and, for every court, one-hour bookings around the
// clock on each day from a week before `today` to a year after it, with a free hour that moves
// from court to court; so whenever the samples are opened within that year the courts show
// their occupants at once. Returns 0 or the table's code.
int writeTables(const std::string& groupPath, const quorvane::GroupFile& group, std::time_t today) {
    CPeople people;
    if (int r = people.Create(groupPath)) return r;
    for (const SampleCustomer& c : kCustomers) {
        people.Clear();
        people.SetName(c.first, c.mi, c.last);
        people.SetPhone(c.phone, c.ext);
        people.SetOrg(c.org);
        if (int r = people.Add()) return r;
    }
    people.Close();
    CMaintenance maintenance;
    if (int r = maintenance.Create(groupPath)) return r;
    for (const char* name : kMaintenance) {
        maintenance.Clear();
        maintenance.SetName(name);
        if (int r = maintenance.Add()) return r;
    }
    maintenance.Close();

    CSchedule schedule;
    if (int r = schedule.Create(groupPath)) return r;
    std::tm now{};
    localtime_r(&today, &now);
    for (int offset = -7; offset <= 366; ++offset) {
        std::tm day = now;
        day.tm_mday += offset;
        day.tm_hour = 12;
        day.tm_isdst = -1;
        std::mktime(&day);
        for (int k = 0; k < group.count; ++k) {
            for (int hour = 0; hour < 24; ++hour) {
                // Nights belong to the maintenance crew on two courts; by day customers play,
                // with a free hour now and then.
                const bool night = hour < 7 || hour >= 22;
                if (night && k % 2 == 1) continue;
                if (!night && (hour + k + offset) % 4 == 0) continue;
                const bool maint = night || (hour + k + offset) % 23 == 0;
                const SampleCustomer& c =
                    kCustomers[std::size_t(hour + 2 * k + offset + 700) % std::size(kCustomers)];
                schedule.Clear();
                schedule.SetDate(day.tm_mon + 1, day.tm_mday, day.tm_year + 1900);
                schedule.SetFacility(group.rooms[std::size_t(k)].name);
                schedule.SetStart(hour, 0);
                if (hour == 23)
                    schedule.SetEnd(23, 59);
                else
                    schedule.SetEnd(hour + 1, 0);
                schedule.SetMade(now.tm_mon + 1, now.tm_mday, now.tm_year + 1900, 9, 0);
                if (maint) {
                    schedule.SetTypeFlag(1);
                    schedule.SetNames("", "", kMaintenance[std::size_t(offset + 700) % 3], "", "",
                                      "");
                } else {
                    schedule.SetNames(c.first, c.mi, c.last, c.phone, c.ext, c.org);
                }
                if (int r = schedule.Add()) return r;
            }
        }
    }
    return schedule.Close();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        std::fprintf(stderr, "make_samples: cannot create %s: %s\n", folder.c_str(),
                     ec.message().c_str());
        return 1;
    }

    quorvane::GroupFile group;
    group.typeName = "Tennis Courts";
    group.description = "Riverside Park";
    for (const SampleFacility& court : kCourts) {
        quorvane::CRoom& room = group.rooms[static_cast<std::size_t>(group.count++)];
        room.name = court.name;
        room.description = court.description;
        room.defaultTime = 60;
    }
    const std::string path = (folder / "Tennis Courts.rec").string();
    // The tables are written afresh each time, so the bookings lie around the build day.
    // (The engine spells the file names in upper case; compare without case.)
    std::vector<std::filesystem::path> old;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename().string();
        for (char& ch : name) ch = char(std::tolower(static_cast<unsigned char>(ch)));
        for (const char* stem : {"tennis courts", "recpeople", "recmaintenance"})
            for (const char* ext : {".dbf", ".cdx"})
                if (name == std::string(stem) + ext) old.push_back(entry.path());
    }
    for (const auto& file : old) std::filesystem::remove(file, ec);
    NoSyncIo noSync;
    Io4* previous = io4set(&noSync);
    const int written = writeTables(path, group, std::time(nullptr));
    io4set(previous);
    if (const int r = written; r != 0) {
        std::fprintf(stderr, "make_samples: cannot write the sample tables (code %d)\n", r);
        return 1;
    }
    const quorvane::GroupFileResult result = quorvane::saveGroupFile(path, group);
    if (!result.ok()) {
        std::fprintf(stderr, "make_samples: %s\n",
                     quorvane::groupFileMessage(result, path).c_str());
        return 1;
    }
    return 0;
}
