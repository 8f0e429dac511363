// The locked edit of a group file: it starts from the file as other users left it, saves only
// a change that was made, and always gives the lock back.
#include <gtest/gtest.h>

#include "core_testutil.h"
#include "group/GroupSession.h"

namespace quorvane {
namespace {

using Stage = GroupEditResult::Stage;

TEST(GroupSession, EditsTheFileAsOnDiskAndAlwaysUnlocks) {
    struct Case {
        const char* what;
        bool lockFree;
        bool fileThere;
        const char* add;  // the facility the edit adds ("B" is already there)
        Stage stage;
        int facilitiesAfter;
    };
    const Case cases[] = {
        {"another user holds the lock", false, true, "C", Stage::Locked, 2},
        {"the file cannot be read", true, false, "C", Stage::ReadFailed, -1},
        {"the edit is refused", true, true, "B", Stage::Refused, 2},
        {"the edit is saved", true, true, "C", Stage::Done, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        groupcore_test::ScratchDir dir;
        const std::string path = dir.filePath("Courts.rec");
        if (c.fileThere) {
            // Another user's copy has B too; this document still believes only A is there.
            GroupFile theirs;
            theirs.addFacility("A", "", 0);
            theirs.addFacility("B", "", 0);
            ASSERT_TRUE(saveGroupFile(path, theirs).ok());
        }
        GroupFile mine;
        mine.addFacility("A", "", 0);
        int locks = 0, unlocks = 0, reloads = 0;
        const GroupLock lock{[&] { return ++locks, c.lockFree; }, [&] { ++unlocks; }};
        const GroupEditResult r = editGroupFile(
            path, mine, lock, [&](GroupFile& g) { return g.addFacility(c.add, "", 0); },
            [&] { ++reloads; });
        EXPECT_EQ(r.stage, c.stage);
        EXPECT_EQ(unlocks, c.lockFree ? 1 : 0) << "the lock is given back exactly when taken";
        EXPECT_EQ(reloads, r.read() ? 1 : 0);
        if (c.facilitiesAfter < 0) continue;
        GroupFile onDisk;
        ASSERT_TRUE(loadGroupFile(path, onDisk).ok());
        EXPECT_EQ(onDisk.count, c.facilitiesAfter) << "B, added by the other user, is kept";
        EXPECT_EQ(dir.files().size(), 1u) << "no temporary file is left";
    }
}

// The files beside a group are named after its path without the extension; a dot in a
// folder's name is no extension.
TEST(GroupSession, FilesBesideTheGroupAreNamedAfterItsBasePath) {
    const std::pair<const char*, const char*> cases[] = {
        {"/g/Tennis Courts.rec", "/g/Tennis CourtsUpdate.bin"},
        {"/g.v2/Courts", "/g.v2/CourtsUpdate.bin"},
        {"Courts.old.rec", "Courts.oldUpdate.bin"},
        {".rec", "Update.bin"},
    };
    for (const auto& [group, stamp] : cases) EXPECT_EQ(stampPathOf(group), stamp) << group;
}

}  // namespace
}  // namespace quorvane
