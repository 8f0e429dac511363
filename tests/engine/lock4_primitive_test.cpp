// The lock primitive and its attempts policy, the lock positions, and the in-process
// lock lists, checked against a second real process.
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "engine/lock4.h"
#include "lock4_fork.h"

using namespace lock4test;

namespace {

std::vector<long> g_sleeps;
const Channel* g_releaseAfter3 = nullptr;

void recordSleep(long ms) {
    g_sleeps.push_back(ms);
    // Lets the holder go on the third wait, so "for ever" is tested without real time.
    if (g_releaseAfter3 && g_sleeps.size() == 3) {
        g_releaseAfter3->send(1);
        ::usleep(100000);
    }
}

struct SleepRecorder {
    SleepRecorder() {
        g_sleeps.clear();
        prev = lock4sleepSet(&recordSleep);
    }
    ~SleepRecorder() {
        lock4sleepSet(prev);
        g_releaseAfter3 = nullptr;
    }
    Lock4sleep prev;
};

// A child that opens the file itself, locks [off, off+len) and holds it until told.
// Reports 1 once it holds the lock, 0 when it could not get it.
int holdUntilTold(const std::string& path, std::uint64_t off, std::uint64_t len,
                  const Channel& ch) {
    int fd = openRw(path);
    Lock4os os = lock4osLock(fd, off, len);
    ch.send(os == lock4granted ? 1 : 0);
    ch.recv(30000);
    return 0;
}

}  // namespace

TEST(Lock4Policy, AttemptsAndDelayFollowTheSettings) {
    EXPECT_EQ(lock4attemptsStart(0), 1);
    EXPECT_EQ(lock4attemptsStart(1), 1);
    EXPECT_EQ(lock4attemptsStart(-1), -1);
    EXPECT_EQ(lock4attemptsStart(4), 4);

    auto tries = [](int setting) {
        int left = lock4attemptsStart(setting), n = 1;
        while (lock4attemptsNext(left) && n < 1000) ++n;
        return n;
    };
    EXPECT_EQ(tries(0), 1);
    EXPECT_EQ(tries(1), 1);
    EXPECT_EQ(tries(2), 2);
    EXPECT_EQ(tries(7), 7);
    EXPECT_EQ(tries(-1), 1000);  // never runs out

    EXPECT_EQ(lock4delayMilliseconds(100), 1000);
    EXPECT_EQ(lock4delayMilliseconds(3), 30);
    EXPECT_EQ(lock4delayMilliseconds(0), 0);
    EXPECT_EQ(lock4delayMilliseconds(-5), 0);
}

TEST(Lock4Positions, EveryRowOfTheLockTable) {
    Lock4layout indexed;
    indexed.tableFlags = 0x01;
    indexed.headerLength = 161;
    indexed.recordLength = 106;
    EXPECT_TRUE(lock4layoutHigh(indexed));
    EXPECT_EQ(lock4posRecord(indexed, 1), (Lock4range{0x7FFFFFFD, 1}));
    EXPECT_EQ(lock4posRecord(indexed, 1000), (Lock4range{0x7FFFFFFE - 1000, 1}));
    EXPECT_EQ(lock4posAppend(indexed), (Lock4range{0x7FFFFFFE, 1}));

    Lock4layout level30;
    level30.version = 0x30;
    EXPECT_TRUE(lock4layoutHigh(level30));
    EXPECT_EQ(lock4posRecord(level30, 2), (Lock4range{0x7FFFFFFC, 1}));

    Lock4layout plain = indexed;
    plain.tableFlags = 0x02;  // only bit 0 counts
    EXPECT_FALSE(lock4layoutHigh(plain));
    EXPECT_EQ(lock4posRecord(plain, 1), (Lock4range{0x40000000 + 161, 1}));
    EXPECT_EQ(lock4posRecord(plain, 3), (Lock4range{0x40000000 + 161 + 2 * 106, 1}));
    EXPECT_EQ(lock4posAppend(plain), (Lock4range{0x40000000, 1}));
    // Large tables reach past 32 bits instead of wrapping.
    EXPECT_EQ(lock4posRecord(plain, 50000000).offset, 0x40000000ull + 161 + 49999999ull * 106);

    const Lock4range file = lock4posFile(indexed);
    EXPECT_EQ(file, (Lock4range{0x40000000, 0x3FFFFFFF}));
    EXPECT_EQ(lock4posFile(plain), file);
    // The whole-file lock covers the append byte and every record lock of both forms.
    for (Lock4range r : {lock4posAppend(indexed), lock4posAppend(plain), lock4posRecord(indexed, 1),
                         lock4posRecord(plain, 1), lock4posRecord(indexed, 0x3FFFFFFE)}) {
        EXPECT_GE(r.offset, file.offset);
        EXPECT_LE(r.offset + r.length, file.offset + file.length);
    }

    EXPECT_EQ(lock4posIndex(0), (Lock4range{0x7FFFFFFE, 1}));
    EXPECT_EQ(lock4posMemo(0), (Lock4range{0x40000000, 1}));

    Lock4layout ext = indexed;
    ext.extended = 1;
    EXPECT_EQ(lock4posRecord(ext, 1), (Lock4range{0x100000001ull, 1}));
    EXPECT_EQ(lock4posRecord(ext, 77), (Lock4range{0x10000004Dull, 1}));
    EXPECT_EQ(lock4posAppend(ext), (Lock4range{0x100000000ull, 1}));
    EXPECT_EQ(lock4posFile(ext), (Lock4range{0x100000000ull, 0xFFFFFFFFull}));
    ext.extended = 3;
    EXPECT_EQ(lock4posAppend(ext).offset, 0x300000000ull);
    EXPECT_EQ(lock4posIndex(3).offset, 0x37FFFFFFEull);

    // Every extended position stays clear of the open-mode sentinels.
    ext.extended = 0x7FFFFFFE;
    Lock4range top = lock4posFile(ext);
    EXPECT_LT(top.offset + top.length, lock4shareBase);
}

TEST(Lock4Primitive, LocksBeyondEndOfFileAndAt64BitOffsetsSeenByAnotherProcess) {
    TempDir dir;
    const std::string path = dir.file("T.DBF");
    int fd = openRw(path);  // empty file: every range is beyond its end
    ASSERT_GE(fd, 0);
    ASSERT_EQ(lock4osLock(fd, 0x7FFFFFFD, 1), lock4granted);
    ASSERT_EQ(lock4osLock(fd, 5ull << 30, 1), lock4granted);

    EXPECT_EQ(probe(path, 0x7FFFFFFD, 1), 1);
    EXPECT_EQ(probe(path, 5ull << 30, 1), 1);
    EXPECT_EQ(probe(path, 0x7FFFFFFE, 1), 0);
    EXPECT_EQ(probe(path, 0x7FFFFFFC, 1), 0);

    ASSERT_EQ(lock4osUnlock(fd, 0x7FFFFFFD, 1), 0);
    EXPECT_EQ(probe(path, 0x7FFFFFFD, 1), 0);
    EXPECT_EQ(probe(path, 5ull << 30, 1), 1);
    ::close(fd);
    EXPECT_EQ(probe(path, 5ull << 30, 1), 0);  // closing the description releases
}

TEST(Lock4Primitive, TwoOpeningsInOneProcessExcludeEachOther) {
    TempDir dir;
    const std::string path = dir.file("T.DBF");
    int a = openRw(path), b = openRw(path);
    ASSERT_EQ(lock4osLock(a, 0x7FFFFFFE, 1), lock4granted);
    EXPECT_EQ(lock4osLock(b, 0x7FFFFFFE, 1), lock4conflict);
    EXPECT_EQ(lock4osTest(b, 0x7FFFFFFE, 1, lock4write), 1);
    EXPECT_EQ(lock4osTest(a, 0x7FFFFFFE, 1, lock4write), 0);  // own locks never impede
    ::close(a);
    EXPECT_EQ(lock4osLock(b, 0x7FFFFFFE, 1), lock4granted);
    ::close(b);
}

TEST(Lock4Primitive, FailureIsToldApartFromConflictAndNeverRetried) {
    SleepRecorder rec;
    Lock4policy forever{-1, 100};
    EXPECT_EQ(lock4osLock(-1, 0, 1), lock4failed);
    errno = 0;
    EXPECT_EQ(lock4acquire(987654, 0x7FFFFFFE, 1, forever), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_TRUE(g_sleeps.empty());

    TempDir dir;
    int fd = openRw(dir.file("T.DBF"));
    EXPECT_EQ(lock4osLock(fd, 0, 0), lock4failed);  // no "lock to infinity" by accident
    EXPECT_EQ(lock4osLock(fd, 0x7FFFFFFFFFFFFFFFull, 2), lock4failed);

    // The kernel's own answers, injected: out of lock memory is a failure, EACCES a conflict.
    static int injected;
    auto prev = lock4sysSet([](int, int, void*) {
        errno = injected;
        return -1;
    });
    injected = ENOLCK;
    EXPECT_EQ(lock4acquire(fd, 1, 1, forever), -1);
    EXPECT_EQ(errno, ENOLCK);
    EXPECT_TRUE(g_sleeps.empty());
    injected = EACCES;
    EXPECT_EQ(lock4osLock(fd, 1, 1), lock4conflict);
    EXPECT_EQ(lock4acquire(fd, 1, 1, Lock4policy{3, 7}), lock4refused);
    EXPECT_EQ(g_sleeps, (std::vector<long>{70, 70}));
    lock4sysSet(prev);
    EXPECT_EQ(lock4osLock(fd, 1, 1), lock4granted);
    ::close(fd);
}

TEST(Lock4Primitive, AttemptsAgainstAHolderInAnotherProcess) {
    TempDir dir;
    const std::string path = dir.file("T.DBF");
    Child holder([&](const Channel& ch) { return holdUntilTold(path, 0x7FFFFFFE, 1, ch); });
    ASSERT_EQ(holder.ch().recv(), 1);
    int fd = openRw(path);

    {
        SleepRecorder rec;
        lock4statsReset();
        EXPECT_EQ(lock4acquire(fd, 0x7FFFFFFE, 1, Lock4policy{1, 100}), lock4refused);
        EXPECT_TRUE(g_sleeps.empty());
        EXPECT_EQ(lock4stats().lockCalls, 1u);
        EXPECT_EQ(lock4acquire(fd, 0x7FFFFFFE, 1, Lock4policy{0, 100}), lock4refused);
        EXPECT_TRUE(g_sleeps.empty());
        EXPECT_EQ(lock4acquire(fd, 0x7FFFFFFE, 1, Lock4policy{4, 100}), lock4refused);
        EXPECT_EQ(g_sleeps, (std::vector<long>{1000, 1000, 1000}));
        // Other bytes are free meanwhile.
        EXPECT_EQ(lock4acquire(fd, 0x7FFFFFFD, 1, Lock4policy{1, 100}), 0);
    }
    {
        // For ever: granted on the try after the holder lets go.
        SleepRecorder rec;
        g_releaseAfter3 = &holder.ch();
        EXPECT_EQ(lock4acquire(fd, 0x7FFFFFFE, 1, Lock4policy{-1, 100}), 0);
        EXPECT_EQ(g_sleeps.size(), 3u);
    }
    EXPECT_EQ(holder.wait(), 0);
    ::close(fd);
}

TEST(Lock4Primitive, DefaultPolicyWaitsInOneSecondSteps) {
    TempDir dir;
    const std::string path = dir.file("T.DBF");
    Child holder([&](const Channel& ch) {
        int fd = openRw(path);
        lock4osLock(fd, 0x7FFFFFFE, 1);
        ch.send(1);
        ::usleep(1500000);  // let go after 1.5 s
        return 0;
    });
    ASSERT_EQ(holder.ch().recv(), 1);
    int fd = openRw(path);
    lock4statsReset();
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(lock4acquire(fd, 0x7FFFFFFE, 1, Lock4policy{}), 0);
    double s = secondsSince(t0);
    // Tries at 0 s, 1 s and 2 s: granted on the third, not before the holder let go.
    EXPECT_GE(s, 1.9);
    EXPECT_LT(s, 3.5);
    EXPECT_EQ(lock4stats().waits, 2u);
    EXPECT_EQ(holder.wait(), 0);
    ::close(fd);
}

TEST(Lock4Primitive, LocksOfAKilledProcessAreReleasedAtOnce) {
    TempDir dir;
    const std::string path = dir.file("T.DBF");
    Child holder(
        [&](const Channel& ch) { return holdUntilTold(path, 0x40000000, 0x3FFFFFFF, ch); });
    ASSERT_EQ(holder.ch().recv(), 1);
    int fd = openRw(path);
    EXPECT_EQ(lock4osLock(fd, 0x7FFFFFFD, 1), lock4conflict);
    holder.kill9();
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(lock4acquire(fd, 0x40000000, 0x3FFFFFFF, Lock4policy{1, 100}), 0);
    EXPECT_LT(secondsSince(t0), 0.5);
    ::close(fd);
}

// ---------------------------------------------------------------------------------------

TEST(Lock4File, HandlesSharingOneDescriptionAreKeptApartByTheList) {
    TempDir dir;
    const std::string path = dir.file("T.DBF");
    int fd = openRw(path);
    Lock4file file(fd);
    int a = 0, b = 0;  // two table handles
    Lock4layout lay;
    lay.tableFlags = 1;
    const Lock4policy once{1, 100};

    ASSERT_EQ(file.lock(&a, lock4kindRecord, 1, lock4posRecord(lay, 1), once), 0);
    lock4statsReset();
    EXPECT_EQ(file.lock(&b, lock4kindRecord, 1, lock4posRecord(lay, 1), once), lock4refused);
    EXPECT_EQ(file.lock(&b, lock4kindFile, 0, lock4posFile(lay), once), lock4refused);
    EXPECT_EQ(lock4stats().lockCalls, 0u);  // answered without the kernel
    EXPECT_TRUE(file.othersHoldRecords(&b));
    EXPECT_FALSE(file.othersHoldRecords(&a));
    EXPECT_EQ(file.impeding(&b, lock4posRecord(lay, 1))->owner, &a);
    EXPECT_EQ(file.impeding(&a, lock4posRecord(lay, 1)), nullptr);

    ASSERT_EQ(file.lock(&b, lock4kindAppend, 0, lock4posAppend(lay), once), 0);
    ASSERT_EQ(file.lock(&b, lock4kindRecord, 2, lock4posRecord(lay, 2), once), 0);
    EXPECT_EQ(file.records(&b), (std::vector<std::uint32_t>{2}));
    EXPECT_EQ(probe(path, 0x7FFFFFFC, 1), 1);

    // Releasing a's record leaves b's bytes with the kernel.
    ASSERT_EQ(file.unlockAll(&a), 0);
    EXPECT_EQ(probe(path, 0x7FFFFFFD, 1), 0);
    EXPECT_EQ(probe(path, 0x7FFFFFFC, 1), 1);
    EXPECT_EQ(probe(path, 0x7FFFFFFE, 1), 1);
    EXPECT_EQ(file.lock(&a, lock4kindFile, 0, lock4posFile(lay), once), lock4refused);

    ASSERT_EQ(file.unlockAll(&b), 0);
    EXPECT_TRUE(file.empty());
    EXPECT_EQ(probe(path, 0x40000000, 0x3FFFFFFF), 0);
    ::close(fd);
}

TEST(Lock4File, ReleasingTheFileLockKeepsTheRecordsStillHeld) {
    TempDir dir;
    const std::string path = dir.file("T.DBF");
    int fd = openRw(path);
    Lock4file file(fd);
    int a = 0;
    Lock4layout lay;
    lay.tableFlags = 1;
    const Lock4policy once{1, 100};

    ASSERT_EQ(file.lock(&a, lock4kindFile, 0, lock4posFile(lay), once), 0);
    lock4statsReset();
    // Inside its own file lock no further system call is needed.
    ASSERT_EQ(file.lock(&a, lock4kindRecord, 5, lock4posRecord(lay, 5), once), 0);
    EXPECT_EQ(lock4stats().lockCalls, 0u);
    EXPECT_TRUE(file.covers(&a, lock4posRecord(lay, 9)));
    ASSERT_EQ(file.unlock(&a, lock4kindFile), 0);
    EXPECT_FALSE(file.covers(&a, lock4posRecord(lay, 9)));
    EXPECT_TRUE(file.covers(&a, lock4posRecord(lay, 5)));
    EXPECT_EQ(probe(path, 0x7FFFFFFE - 5, 1), 1);
    EXPECT_EQ(probe(path, 0x7FFFFFFE - 6, 1), 0);
    EXPECT_EQ(probe(path, 0x7FFFFFFE - 4, 1), 0);
    EXPECT_EQ(probe(path, 0x40000000, 1), 0);
    ASSERT_EQ(file.unlock(&a, lock4kindRecord, 5), 0);
    EXPECT_EQ(probe(path, 0x40000000, 0x3FFFFFFF), 0);
    ::close(fd);
}
