#pragma once
// A folder with a group's three real tables, and quick ways to add customers, items and
// bookings to them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dialogs/core/EditorCore.h"
#include "engine/io4.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/Schedule.h"

namespace quorvane::testing {

struct ScratchFolder {
    std::filesystem::path path;
    ScratchFolder() {
        char tmpl[] = "/tmp/quorvane-editors-XXXXXX";
        if (mkdtemp(tmpl)) path = tmpl;
    }
    ~ScratchFolder() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
};

// Lets a test fill a table quickly: appends skip the flush to disk each one otherwise makes.
struct NoSync final : Io4 {
    Io4* previous = io4set(this);
    int fdatasync(int) override { return 0; }
    ~NoSync() override { io4set(previous); }
};

struct Person {
    std::string first, mi, last, phone, ext, org;
};

class EditorTables : public ::testing::Test {
protected:
    ScratchFolder dir;
    std::string group;
    CSchedule schedule;
    CPeople people;
    CMaintenance maintenance;

    void SetUp() override {
        group = (dir.path / "Courts.rec").string();
        // Created, then opened shared as an open group holds them, so other processes can
        // open them too.
        ASSERT_EQ(schedule.Create(group), 0);
        ASSERT_EQ(people.Create(group), 0);
        ASSERT_EQ(maintenance.Create(group), 0);
        schedule.Close();
        people.Close();
        maintenance.Close();
        ASSERT_EQ(schedule.Open(group), 0);
        ASSERT_EQ(people.Open(group), 0);
        ASSERT_EQ(maintenance.Open(group), 0);
    }
    void TearDown() override {
        schedule.Close();
        people.Close();
        maintenance.Close();
    }

    // Appends the customer; its record number, or -code on a refusal.
    long addPerson(const Person& p, const std::string& notes = {}) {
        people.Clear();
        people.SetName(p.first, p.mi, p.last);
        people.SetPhone(p.phone, p.ext);
        people.SetOrg(p.org);
        people.SetNotes(notes);
        const int r = people.Add();
        return r == 0 ? people.GetRecordNumber() : -r;
    }
    long addItem(const std::string& name, const std::string& notes = {}) {
        maintenance.Clear();
        maintenance.SetName(name);
        maintenance.SetNotes(notes);
        const int r = maintenance.Add();
        return r == 0 ? maintenance.GetRecordNumber() : -r;
    }
    // Books `facility` on `d` from sh:00 for an hour for the person (or, with `item`, for the
    // maintenance item of that name). Its record number.
    long book(const DayDate& d, const std::string& facility, int sh, const Person& p,
              const std::string& notes = {}, bool item = false) {
        schedule.Clear();
        schedule.SetDate(d.month, d.day, d.year);
        schedule.SetFacility(facility);
        schedule.SetStart(sh, 0);
        schedule.SetEnd(sh + 1, 0);
        schedule.SetNames(p.first, p.mi, p.last, p.phone, p.ext, p.org);
        schedule.SetTypeFlag(item ? 1 : 0);
        schedule.SetNotes(notes);
        EXPECT_EQ(schedule.LockAppend(), 0);
        const int r = schedule.Add();
        const long rec = schedule.GetRecordNumber();
        schedule.Unlock();
        EXPECT_EQ(r, 0);
        return rec;
    }
    long bookItem(const DayDate& d, const std::string& facility, int sh, const std::string& name) {
        return book(d, facility, sh, Person{"", "", name, "", "", ""}, {}, true);
    }

    static std::vector<std::string> lines(const auto& rows) {
        std::vector<std::string> out;
        for (const auto& r : rows) out.push_back(r.line);
        return out;
    }
};

}  // namespace quorvane::testing
