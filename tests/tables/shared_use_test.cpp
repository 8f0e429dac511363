// Two users of one group folder, as two processes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "engine/data4.h"
#include "tables/Schedule.h"
#include "tables_testutil.h"

using tables_test::fill;
using tables_test::ScratchDir;

namespace {

long records(const std::string& dbf) {
    std::vector<unsigned char> b = tables_test::readBytes(dbf);
    return b.size() < 8 ? -1 : static_cast<long>(b[4] | (b[5] << 8) | (b[6] << 16) | (b[7] << 24));
}

}  // namespace

TEST(SharedUse, AppendLockHoldsOffTheOtherUsersBookingUntilUnlock) {
    ScratchDir dir;
    const std::string group = dir.file("Courts.rec");
    // The other user is a process of its own, started before this one touches the engine.
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        char ch = 0;
        if (::read(go[0], &ch, 1) != 1) ::_exit(2);
        CSchedule theirs;
        int rc = theirs.Open(group);
        if (rc == 0) {
            fill(theirs, 2026, 8, 1, "Court 1", 10, 0, 11, 0, "Other");
            rc = theirs.Add();  // waits for the append lock
            theirs.Close();
        }
        ::_exit(rc == 0 ? 0 : 1);
    }
    CSchedule mine;
    ASSERT_EQ(mine.Create(group), 0);
    fill(mine, 2026, 8, 1, "Court 1", 9, 0, 10, 0);
    ASSERT_EQ(mine.Add(), 0);
    ASSERT_EQ(mine.LockAppend(), 0);  // as the booking dialog does before its overlap check
    ASSERT_EQ(::write(go[1], "g", 1), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(records(dir.file("COURTS.DBF")), 1) << "the other booking went in under our lock";
    fill(mine, 2026, 8, 1, "Court 1", 11, 0, 12, 0, "Mine");
    ASSERT_EQ(mine.Add(), 0);  // Add ends with the unlock
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    ASSERT_EQ(mine.Seek("20260801", "Court 1", "", ""), 0);
    std::string order;
    do {
        int h, m;
        mine.GetStart(h, m);
        order += std::to_string(h) + " ";
    } while (mine.Next() == 0);
    EXPECT_EQ(order, "9 10 11 ");
    ::close(go[0]);
    ::close(go[1]);
}

TEST(SharedUse, PackIsLeftForLaterWhileAnotherProcessHasTheTableOpen) {
    ScratchDir dir;
    const std::string group = dir.file("Courts.rec");
    {
        CSchedule s;
        ASSERT_EQ(s.Create(group), 0);
        for (int d = 1; d <= 3; ++d) {
            fill(s, 2026, 9, d, "Court 1", 9, 0, 10, 0);
            ASSERT_EQ(s.Add(), 0);
        }
    }
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        CSchedule theirs;
        int rc = theirs.Open(group);
        char ch = rc == 0 ? 'y' : 'n';
        (void)!::write(ready[1], &ch, 1);
        (void)!::read(release[0], &ch, 1);
        theirs.Close();
        ::_exit(0);
    }
    char ch = 0;
    ASSERT_EQ(::read(ready[0], &ch, 1), 1);
    ASSERT_EQ(ch, 'y');
    const long size = tables_test::fileSize(dir.file("COURTS.DBF"));
    {
        CSchedule mine;
        ASSERT_EQ(mine.Open(group), 0);
        ASSERT_EQ(mine.First(), 0);
        ASSERT_EQ(mine.Delete(true), 0);
        mine.Close();
    }
    EXPECT_EQ(tables_test::fileSize(dir.file("COURTS.DBF")), size);
    ASSERT_EQ(::write(release[1], "x", 1), 1);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    {
        CSchedule mine;
        ASSERT_EQ(mine.Open(group), 0);
        ASSERT_EQ(mine.First(), 0);
        int m, d, y;
        mine.GetDate(m, d, y);
        EXPECT_EQ(d, 2);  // the cancelled record stayed out of the tag
        ASSERT_EQ(mine.Delete(true), 0);
        mine.Close();
    }
    EXPECT_EQ(tables_test::fileSize(dir.file("COURTS.DBF")), size - 2 * 242);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
}
