#pragma once
// A scratch folder with a real customer table and, for the commands' tests, a group on it.
// Free of Qt: the exports' core tests run in a build without the GUI too.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "engine/io4.h"
#include "group/GroupFile.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/Schedule.h"
#include "tests/groupcore/core_testutil.h"
#include "tests/tables/tables_testutil.h"

namespace quorvane::testing {

struct TestCustomer {
    std::string first, mi, last, phone, org, address, city, state, zip;
};

// Filling test tables does not need every append on the disk.
struct NoSyncIo final : Io4 {
    int fdatasync(int) override { return 0; }
};

class ExportCoreFixture : public ::testing::Test {
protected:
    std::unique_ptr<groupcore_test::ScratchDir> dir =
        std::make_unique<groupcore_test::ScratchDir>();
    std::string folder = dir->path(), groupPath = folder + "/Club.rec";

    ~ExportCoreFixture() override {
        // QUORVANE_KEEP_TEST_FILES=1 leaves the exported files for a look: the folder is let go
        // without being removed.
        if (std::getenv("QUORVANE_KEEP_TEST_FILES")) (void)dir.release();
    }
    void SetUp() override { ASSERT_FALSE(folder.empty()); }

    // The customer table of the folder with these customers.
    void makePeople(const std::vector<TestCustomer>& customers) {
        NoSyncIo noSync;
        Io4* previous = io4set(&noSync);
        CPeople people;
        ASSERT_EQ(people.Create(groupPath), 0);
        for (const TestCustomer& c : customers) {
            people.Clear();
            people.SetName(c.first, c.mi, c.last);
            people.SetPhone(c.phone, "");
            people.SetOrg(c.org);
            people.SetAddress(c.address, c.city, c.state, c.zip);
            ASSERT_EQ(people.Add(), 0) << c.last << ' ' << c.phone;
        }
        people.Close();
        io4set(previous);
        peopleMade_ = true;
    }

    // A group of `facilities` courts in the folder, with its three tables; the customer table
    // is made by makePeople() first, or empty here.
    void makeGroup(int facilities = 4) {
        GroupFile g;
        g.typeName = "Tennis Courts";
        for (int i = 0; i < facilities; ++i)
            g.rooms[std::size_t(g.count++)].name = "Court " + std::to_string(i + 1);
        ASSERT_TRUE(saveGroupFile(groupPath, g).ok());
        ASSERT_EQ(tables_test::createEmpty<CSchedule>(groupPath), 0);
        ASSERT_EQ(tables_test::createEmpty<CMaintenance>(groupPath), 0);
        if (!peopleMade_) makePeople({});
    }

    bool peopleMade_ = false;

    std::string file(const std::string& name) const { return folder + "/" + name; }
};

}  // namespace quorvane::testing
