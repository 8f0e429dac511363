// A sample of the fault sweep on every run: each family of user operations under crashes at a
// write, failed writes and syncs (EIO, ENOSPC) and power losses, judged as the sweep judges
// them. Operations with few writes are swept at every point; the sample of the others always
// holds the failed syncs, where the faults this sweep found were (a failed sync acknowledged
// as a booking, a cancellation or a notes change; an index synced before its record).
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "fault_sweep.h"

namespace {

struct Case {
    const char* operation;
    long sample;      // 0: every fault point
    int powerTrials;  // random replays per crash point (for the operations replayed)
    bool tornWrites = true;
};

std::string scratch() {
    // A memory file system keeps the syncs cheap; any temporary folder will do.
    const std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : ::testing::TempDir();
    return base + "/quorvane-faults-" + std::to_string(::getpid());
}

void sweep(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        FaultSweepOptions o;
        o.folder = scratch();
        o.operations = {c.operation};
        o.sample = c.sample;
        o.powerTrials = c.powerTrials;
        o.tornWrites = c.tornWrites;
        o.seed = 26;
        FaultSweepTotals t;
        EXPECT_EQ(runFaultSweep(o, &t), 0);
        EXPECT_EQ(t.unsound, 0);
        // The operation offered fault points and the trials ran: a sweep of nothing is no proof.
        EXPECT_GT(t.points, 0);
        EXPECT_GT(t.tried, 0);
        if (c.sample == 0) {
            EXPECT_EQ(t.tried, t.points);
        }
        ::rmdir(o.folder.c_str());
    }
}

TEST(FaultSweep, Bookings) {
    sweep({{"booking", 0, 2},
           {"year series", 16, 0},
           {"cancel one", 0, 1},
           {"cancel rest", 20, 1},
           {"notes", 0, 1}});
}

// A rewrite is torn only at a sector boundary. A customer record lying across one goes through
// a journal, so neither its torn write nor a power loss keeps the new name with the old rest.
TEST(FaultSweep, CustomersAndMaintenance) {
    sweep({{"customer add", 0, 0},
           {"customer modify", 0, 0},
           {"customer modify@512", 0, 2},
           {"customer delete", 0, 0},
           {"maintenance add", 0, 0},
           {"maintenance modify", 0, 0},
           {"maintenance delete", 0, 0}});
}

// The pack writes a new file renamed over the table (the tool's, and the close's after a purge
// or a deletion): a crash before the rename leaves the old table, after it the new one.
TEST(FaultSweep, TableUpkeep) {
    sweep({{"reindex", 0, 1}, {"repair", 0, 0}, {"pack", 0, 1}, {"purge", 40, 0}});
}

// Files written whole (the group file's facility edits, the exports and a report's PDF) are
// replaced by a rename: the old file or the new one, and no temporary left after a failure; the
// address pair is there whole or not at all.
TEST(FaultSweep, FileReplacements) {
    sweep({{"facility add", 0, 1},
           {"facility modify", 0, 1},
           {"facility delete", 0, 1},
           {"export replace", 0, 1},
           {"text export", 0, 1},
           {"address export", 0, 1}});
}

}  // namespace
