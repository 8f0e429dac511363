// Table locking through the engine's operations, against real second processes sharing
// a folder: lock positions, refusals and waits, open modes, what is re-read, crashes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/data4.h"
#include "engine/file4.h"
#include "engine/lock4.h"
#include "lock4_fork.h"

using namespace lock4test;

namespace {

// NAME C 10, NOTE C 20: header 32 * 2 + 33 = 97, record 31.
constexpr unsigned kHeader = 97, kRecLen = 31;

void makeTable(const std::string& path, int records) {
    Ctx x;
    Field4info f(x.c);
    f.add("NAME", 'C', 10);
    f.add("NOTE", 'C', 20);
    Data4* d = d4create(&x.c, path.c_str(), f.fields());
    ASSERT_NE(d, nullptr);
    for (int i = 1; i <= records; ++i) {
        ASSERT_EQ(d4appendStart(d), 0);
        ASSERT_EQ(d4blank(d), 0);
        ASSERT_EQ(f4assign(d4field(d, "NAME"), ("R" + std::to_string(i)).c_str()), 0);
        ASSERT_EQ(d4append(d), 0);
    }
    ASSERT_EQ(d4close(d), 0);
}

std::string dbf(const TempDir& dir) {
    return dir.file("T.DBF");
}

// A second user: opens the table in its own context and runs steps on command.
// Step codes: 1 lock record 1, 2 lock append, 3 lock file, 4 append one record (and
// keep its locks), 5 unlock, 6 close, 7 report record count.
int secondUser(const std::string& path, const Channel& ch, int accessMode = 0) {
    Ctx x(accessMode);
    Data4* d = d4open(&x.c, path.c_str());
    ch.send(d ? 0 : -1);
    if (!d) return 1;
    for (;;) {
        int step = ch.recv(30000);
        int rc = 0;
        switch (step) {
            case 1:
                rc = d4lock(d, 1);
                break;
            case 2:
                rc = d4lockAppend(d);
                break;
            case 3:
                rc = d4lockFile(d);
                break;
            case 4:
                rc = d4appendStart(d);
                if (rc == 0) rc = d4blank(d);
                if (rc == 0) rc = f4assign(d4field(d, "NAME"), "OTHER");
                if (rc == 0) rc = d4append(d);
                if (rc == 0) rc = d4flush(d);
                break;
            case 5:
                rc = d4unlock(d);
                break;
            case 6:
                rc = d4close(d);
                d = nullptr;
                break;
            case 7:
                rc = static_cast<int>(d4recCount(d));
                break;
            case 8:
                rc = d4go(d, 1);
                if (rc == 0) rc = f4assign(d4field(d, "NOTE"), "UPDATED");
                if (rc == 0) rc = d4flush(d);
                if (rc == 0) rc = d4unlock(d);
                break;
            default:
                if (d) d4close(d);
                return 0;
        }
        ch.send(rc);
        if (!d) return 0;
    }
}

}  // namespace

TEST(Lock4Data, LockPositionsOfAPlainTableSeenFromAnotherProcess) {
    TempDir dir;
    makeTable(dbf(dir), 3);
    Ctx x;
    x.c.unlockAuto = 0;
    Data4* d = d4open(&x.c, dbf(dir).c_str());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4lock(d, 2), 0);
    EXPECT_EQ(probe(dbf(dir), 0x40000000 + kHeader + kRecLen, 1), 1);
    EXPECT_EQ(probe(dbf(dir), 0x40000000 + kHeader, 1), 0);
    EXPECT_EQ(d4lockTest(d, 2), 1);
    EXPECT_EQ(d4lockTest(d, 1), 0);
    ASSERT_EQ(d4lockAppend(d), 0);
    EXPECT_EQ(probe(dbf(dir), 0x40000000, 1), 1);
    ASSERT_EQ(d4unlock(d), 0);
    EXPECT_EQ(probe(dbf(dir), 0x40000000, 0x3FFFFFFF), 0);
    ASSERT_EQ(d4lockFile(d), 0);
    EXPECT_EQ(probe(dbf(dir), 0x7FFFFFFE, 1), 1);
    EXPECT_EQ(probe(dbf(dir), 0x40000000, 1), 1);
    EXPECT_EQ(d4lockTest(d, 3), 1);
    EXPECT_EQ(d4close(d), 0);
    EXPECT_EQ(probe(dbf(dir), 0x40000000, 0x3FFFFFFF), 0);
}

TEST(Lock4Data, OneAttemptRefusesAtOnceSilentlyAndWritesNothing) {
    TempDir dir;
    makeTable(dbf(dir), 2);
    Child other([&](const Channel& ch) { return secondUser(dbf(dir), ch); });
    ASSERT_EQ(other.ch().recv(), 0);
    other.ch().send(1);
    ASSERT_EQ(other.ch().recv(), 0);

    Ctx x;
    x.c.lockAttempts = 1;
    Data4* d = d4open(&x.c, dbf(dir).c_str());
    ASSERT_NE(d, nullptr);
    testing::internal::CaptureStderr();
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(d4lock(d, 1), 50);
    EXPECT_LT(secondsSince(t0), 0.3);
    // A refused record write: nothing reaches the file, the record stays changed.
    ASSERT_EQ(d4go(d, 1), 0);
    ASSERT_EQ(f4assign(d4field(d, "NOTE"), "CHANGED"), 0);
    EXPECT_EQ(d4flush(d), 50);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(d4changed(d, -1), 1);
    EXPECT_EQ(x.c.errorCode, 0);
    {
        Ctx y;
        Data4* e = d4open(&y.c, dbf(dir).c_str());
        ASSERT_EQ(d4go(e, 1), 0);
        EXPECT_EQ(std::string(f4str(d4field(e, "NOTE"))), std::string(20, ' '));
        d4close(e);
    }
    other.ch().send(5);
    ASSERT_EQ(other.ch().recv(), 0);
    EXPECT_EQ(d4flush(d), 0);
    EXPECT_EQ(d4unlock(d), 0);
    other.ch().send(0);
    EXPECT_EQ(other.wait(), 0);
    d4close(d);
}

TEST(Lock4Data, AppendWaitsInOneSecondStepsForTheOtherAppender) {
    TempDir dir;
    makeTable(dbf(dir), 1);
    Child other([&](const Channel& ch) {
        Ctx x;
        Data4* d = d4open(&x.c, dbf(dir).c_str());
        if (!d || d4lockAppend(d) != 0) return 3;
        ch.send(1);
        ::usleep(1500000);
        d4unlock(d);
        ch.recv(30000);
        d4close(d);
        return 0;
    });
    ASSERT_EQ(other.ch().recv(), 1);
    Ctx x;
    Data4* d = d4open(&x.c, dbf(dir).c_str());
    ASSERT_NE(d, nullptr);
    lock4statsReset();
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(d4appendStart(d), 0);
    ASSERT_EQ(d4blank(d), 0);
    ASSERT_EQ(d4append(d), 0);
    double s = secondsSince(t0);
    EXPECT_GE(s, 1.9);
    EXPECT_LT(s, 3.5);
    EXPECT_EQ(lock4stats().waits, 2u);
    EXPECT_EQ(d4recNo(d), 2);
    // The new record's lock and the append lock stay until the unlock.
    EXPECT_EQ(probe(dbf(dir), 0x40000000, 1), 1);
    EXPECT_EQ(probe(dbf(dir), 0x40000000 + kHeader + kRecLen, 1), 1);
    EXPECT_EQ(d4unlock(d), 0);
    EXPECT_EQ(probe(dbf(dir), 0x40000000, 0x3FFFFFFF), 0);
    other.ch().send(0);
    EXPECT_EQ(other.wait(), 0);
    d4close(d);
}

TEST(Lock4Data, AnotherUsersAppendIsSeenAfterTheAppendLockOrBeyondTheCount) {
    TempDir dir;
    makeTable(dbf(dir), 2);
    Child other([&](const Channel& ch) { return secondUser(dbf(dir), ch); });
    ASSERT_EQ(other.ch().recv(), 0);
    Ctx x;
    Data4* d = d4open(&x.c, dbf(dir).c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d4recCount(d), 2);

    other.ch().send(4);
    ASSERT_EQ(other.ch().recv(), 0);
    other.ch().send(5);
    ASSERT_EQ(other.ch().recv(), 0);
    EXPECT_EQ(d4recCount(d), 2);  // not re-read without a reason
    ASSERT_EQ(d4lockAppend(d), 0);
    EXPECT_EQ(d4recCount(d), 3);
    ASSERT_EQ(d4unlock(d), 0);

    other.ch().send(4);
    ASSERT_EQ(other.ch().recv(), 0);
    other.ch().send(5);
    ASSERT_EQ(other.ch().recv(), 0);
    EXPECT_EQ(d4recCount(d), 3);
    ASSERT_EQ(d4go(d, 4), 0);  // beyond the known count: read again
    EXPECT_EQ(std::string(f4str(d4field(d, "NAME"))).substr(0, 5), "OTHER");
    EXPECT_EQ(d4recCount(d), 4);

    // Records are read again at every positioning, never kept from an earlier one.
    ASSERT_EQ(d4top(d), 0);
    EXPECT_EQ(std::string(f4str(d4field(d, "NOTE"))), std::string(20, ' '));
    other.ch().send(8);
    ASSERT_EQ(other.ch().recv(), 0);
    ASSERT_EQ(d4go(d, 1), 0);
    EXPECT_EQ(std::string(f4str(d4field(d, "NOTE"))).substr(0, 7), "UPDATED");
    other.ch().send(0);
    EXPECT_EQ(other.wait(), 0);
    d4close(d);
}

TEST(Lock4Data, DenyWriteTakesNoLocksAndExclusiveReopenWaitsForTheOthersToClose) {
    TempDir dir;
    makeTable(dbf(dir), 3);
    {
        Ctx x(2);
        Data4* d = d4open(&x.c, dbf(dir).c_str());
        ASSERT_NE(d, nullptr);
        for (long r = 1; r <= 5; ++r) EXPECT_EQ(d4lockTest(d, r), 1);
        lock4statsReset();
        EXPECT_EQ(d4lock(d, 1), 0);
        EXPECT_EQ(d4lockFile(d), 0);
        EXPECT_EQ(d4lockAppend(d), 0);
        EXPECT_EQ(lock4stats().lockCalls, 0u);
        EXPECT_EQ(probe(dbf(dir), 0x40000000, 0x3FFFFFFF), 0);
        // Meanwhile nobody can open it for writing.
        Child writer([&](const Channel& ch) {
            Ctx y;
            y.c.errOff = 1;
            Data4* e = d4open(&y.c, dbf(dir).c_str());
            ch.send(e ? 1 : 0);
            if (e) d4close(e);
            return 0;
        });
        EXPECT_EQ(writer.ch().recv(), 0);
        writer.wait();
        d4close(d);
    }

    Child other([&](const Channel& ch) { return secondUser(dbf(dir), ch); });
    ASSERT_EQ(other.ch().recv(), 0);
    {
        Ctx x(1);
        x.c.errOff = 1;
        EXPECT_EQ(d4open(&x.c, dbf(dir).c_str()), nullptr);
        EXPECT_NE(x.c.errorCode, 0);
    }
    other.ch().send(6);  // the other user closes
    ASSERT_EQ(other.ch().recv(), 0);
    EXPECT_EQ(other.wait(), 0);
    {
        Ctx x(1);
        Data4* d = d4open(&x.c, dbf(dir).c_str());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d4lockTest(d, 2), 1);
        EXPECT_EQ(d4pack(d), 0);
        d4close(d);
    }
}

TEST(Lock4Data, HandlesOfOneContextAndTheAutomaticUnlock) {
    TempDir dir;
    makeTable(dbf(dir), 3);
    makeTable(dir.file("U.DBF"), 3);
    Ctx x;
    x.c.unlockAuto = 0;
    Data4* a = d4open(&x.c, dbf(dir).c_str());
    Data4* b = d4open(&x.c, dbf(dir).c_str());
    Data4* u = d4open(&x.c, dir.file("U.DBF").c_str());
    ASSERT_TRUE(a && b && u);
    ASSERT_EQ(d4lock(a, 1), 0);
    EXPECT_EQ(d4lockTest(b, 1), 50);
    EXPECT_EQ(d4lockTest(a, 1), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(d4lockFile(b), -50);  // lock attempts -1: waiting on ourselves would never end
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("WAIT4EVER lock conflicts with own local impeding lock"), std::string::npos)
        << err;
    x.c.errorCode = 0;
    x.c.lockAttempts = 3;
    EXPECT_EQ(d4lockFile(b), 50);
    EXPECT_EQ(d4lock(b, 1), 50);

    // Mode 2 releases the locked table's own locks only; mode 1 those of every table.
    ASSERT_EQ(d4lock(u, 2), 0);
    x.c.unlockAuto = 2;
    ASSERT_EQ(d4lock(a, 2), 0);
    EXPECT_EQ(d4lockTest(a, 1), 0);
    EXPECT_EQ(d4lockTest(u, 2), 1);
    x.c.unlockAuto = 1;
    ASSERT_EQ(d4lock(b, 3), 0);
    EXPECT_EQ(d4lockTest(a, 2), 0);
    EXPECT_EQ(d4lockTest(u, 2), 0);
    EXPECT_EQ(probe(dir.file("U.DBF"), 0x40000000, 0x3FFFFFFF), 0);
    d4close(a);
    d4close(b);
    d4close(u);
}

TEST(Lock4Data, AKilledLockHolderLeavesNothingBehind) {
    TempDir dir;
    makeTable(dbf(dir), 1);
    Child other([&](const Channel& ch) { return secondUser(dbf(dir), ch); });
    ASSERT_EQ(other.ch().recv(), 0);
    other.ch().send(4);  // appends and keeps the append and record locks
    ASSERT_EQ(other.ch().recv(), 0);
    other.kill9();  // while it holds the append lock and the new record's lock
    Ctx x;
    x.c.lockAttempts = 1;
    Data4* d = d4open(&x.c, dbf(dir).c_str());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4appendStart(d), 0);
    ASSERT_EQ(d4blank(d), 0);
    EXPECT_EQ(d4append(d), 0);
    EXPECT_EQ(d4recCount(d), 3);
    EXPECT_EQ(d4lockFile(d), 0);
    d4close(d);
}

TEST(Lock4Data, ReplacingCreateNeverEmptiesAFileInExclusiveUse) {
    TempDir dir;
    makeTable(dbf(dir), 4);
    Child packer([&](const Channel& ch) { return secondUser(dbf(dir), ch, 1); });
    ASSERT_EQ(packer.ch().recv(), 0);
    const long long before = [&] {
        struct stat st;
        return ::stat(dbf(dir).c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
    }();
    {
        Ctx x;
        x.c.safety = 0;  // replace an existing file
        x.c.errCreate = 0;
        Field4info f(x.c);
        f.add("OTHER", 'C', 3);
        EXPECT_EQ(d4create(&x.c, dbf(dir).c_str(), f.fields()), nullptr);
        EXPECT_EQ(x.c.errorCode, 60);
    }
    struct stat st;
    ASSERT_EQ(::stat(dbf(dir).c_str(), &st), 0);
    EXPECT_EQ(static_cast<long long>(st.st_size), before);
    packer.ch().send(7);
    EXPECT_EQ(packer.ch().recv(), 4);
    packer.ch().send(0);
    EXPECT_EQ(packer.wait(), 0);
}

TEST(Lock4Data, FileLockOnEngineFilesReportsAsTheEngineDoes) {
    TempDir dir;
    makeTable(dbf(dir), 1);
    Ctx x;
    x.c.lockAttempts = 1;
    File4 f;
    ASSERT_EQ(file4open(&f, &x.c, dbf(dir).c_str()), 0);
    ASSERT_EQ(file4lock(&f, 0x1'2345'6789ull, 2), 0);  // 64-bit, beyond the end of file
    EXPECT_EQ(probe(dbf(dir), 0x1'2345'678Aull, 1), 1);
    Child other([&](const Channel& ch) {
        int fd = openRw(dbf(dir));
        ch.send(lock4osLock(fd, 0x40000000, 1) == lock4granted ? 1 : 0);
        ch.recv(30000);
        return 0;
    });
    ASSERT_EQ(other.ch().recv(), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(file4lock(&f, 0x40000000, 1), 50);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    other.ch().send(0);
    other.wait();
    EXPECT_EQ(file4unlock(&f, 0x1'2345'6789ull, 2), 0);
    EXPECT_EQ(probe(dbf(dir), 0x1'2345'678Aull, 1), 0);

    testing::internal::CaptureStderr();
    auto prev = lock4sysSet([](int, int, void*) {
        errno = ENOLCK;
        return -1;
    });
    EXPECT_EQ(file4lock(&f, 7, 1), -50);
    x.c.errorCode = 0;
    EXPECT_EQ(file4unlock(&f, 7, 1), -110);
    lock4sysSet(prev);
    x.c.errorCode = 0;
    file4close(&f);
    EXPECT_EQ(file4lock(&f, 7, 1), -50);  // no longer open
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Locking File"), std::string::npos) << err;
    EXPECT_NE(err.find("Unlocking File"), std::string::npos) << err;
    EXPECT_NE(err.find("attempt to lock an unopened file"), std::string::npos) << err;
}
