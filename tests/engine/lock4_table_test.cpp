// The lock rules of a table handle against real second processes: positions seen from
// outside, refusals, automatic unlocking, appends, index rounds and in-process tests.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/lock4.h"
#include "lock4_fork.h"

using namespace lock4test;

namespace {

struct Reports {
    std::vector<std::pair<int, long>> calls;
};

// A table handle on one data file (with a production index) and its index files, with
// hooks that record what the rules asked of the engine.
struct Table {
    Lock4table t;
    Reports reports;
    std::vector<int> autoUnlocks;
    int stale = 0;
    std::vector<std::size_t> indexLocked;
    std::function<long()> count = [] { return 0L; };

    Table(Lock4file* data, std::vector<Lock4file*> idx = {}) {
        t.data = data;
        t.indexes = std::move(idx);
        t.layout.tableFlags = 1;
        t.layout.headerLength = 161;
        t.layout.recordLength = 106;
        t.hooks.report = [this](int code, long loc, const char*) {
            reports.calls.push_back({code, loc});
            return code;
        };
        t.hooks.autoUnlock = [this](int mode) {
            autoUnlocks.push_back(mode);
            return t.unlockAll();
        };
        t.hooks.countStale = [this] { ++stale; };
        t.hooks.recordCount = [this] { return count(); };
        t.hooks.indexLocked = [this](std::size_t i) { indexLocked.push_back(i); };
    }
};

// Holds [off, off+len) from another process until told (or for holdMs when > 0).
struct Holder {
    Child c;
    Holder(const std::string& path, std::uint64_t off, std::uint64_t len, int holdMs = 0)
        : c([=](const Channel& ch) {
              int fd = openRw(path);
              ch.send(lock4osLock(fd, off, len) == lock4granted ? 1 : 0);
              if (holdMs > 0)
                  ::usleep(holdMs * 1000);
              else
                  ch.recv(30000);
              return 0;
          }) {}
    bool ready() { return c.ch().recv() == 1; }
    void release() {
        c.ch().send(1);
        c.wait();
    }
};

const Lock4settings kOnce{1, 100, 1, 0};

}  // namespace

TEST(Lock4Table, PositionsSeenFromAnotherProcess) {
    TempDir dir;
    const std::string dbf = dir.file("T.DBF"), cdx = dir.file("T.CDX");
    Lock4file data(openRw(dbf), "T.DBF"), index(openRw(cdx), "T.CDX");
    Table tab(&data, {&index});
    Lock4settings s;
    s.unlockAuto = 0;

    ASSERT_EQ(tab.t.lockRecord(1, s), 0);
    EXPECT_EQ(probe(dbf, 0x7FFFFFFD, 1), 1);
    EXPECT_EQ(probe(dbf, 0x7FFFFFFE, 1), 0);
    ASSERT_EQ(tab.t.lockAppend(s), 0);
    EXPECT_EQ(probe(dbf, 0x7FFFFFFE, 1), 1);
    EXPECT_EQ(tab.stale, 1);
    ASSERT_EQ(tab.t.lockIndexes(s), 0);
    EXPECT_EQ(probe(cdx, 0x7FFFFFFE, 1), 1);
    EXPECT_EQ(tab.indexLocked, (std::vector<std::size_t>{0}));
    ASSERT_EQ(tab.t.unlockAll(), 0);
    EXPECT_EQ(probe(dbf, 0x40000000, 0x3FFFFFFF), 0);
    EXPECT_EQ(probe(cdx, 0x7FFFFFFE, 1), 0);

    ASSERT_EQ(tab.t.lockFile(s), 0);
    EXPECT_EQ(tab.stale, 2);
    EXPECT_EQ(probe(dbf, 0x40000000, 1), 1);
    EXPECT_EQ(probe(dbf, 0x7FFFFFFE, 1), 1);
    EXPECT_EQ(probe(dbf, 0x3FFFFFFF, 1), 0);
    EXPECT_EQ(probe(dbf, 0x7FFFFFFF, 1), 0);
    EXPECT_TRUE(tab.t.holdsRecord(12345));
    ASSERT_EQ(tab.t.unlockAll(), 0);

    // A table without a production index locks a shadow of its records at 1 GiB.
    tab.t.layout.tableFlags = 0;
    ASSERT_EQ(tab.t.lockRecord(2, s), 0);
    EXPECT_EQ(probe(dbf, 0x40000000 + 161 + 106, 1), 1);
    ASSERT_EQ(tab.t.lockAppend(s), 0);
    EXPECT_EQ(probe(dbf, 0x40000000, 1), 1);
    ASSERT_EQ(tab.t.unlockAll(), 0);

    // Extended offsets put everything above 4 GiB.
    s.extended = 2;
    tab.t.layout.tableFlags = 1;
    ASSERT_EQ(tab.t.lockRecord(1, s), 0);
    EXPECT_EQ(probe(dbf, 0x200000001ull, 1), 1);
    EXPECT_EQ(probe(dbf, 0x7FFFFFFD, 1), 0);
    ASSERT_EQ(tab.t.unlockAll(), 0);
    EXPECT_TRUE(tab.reports.calls.empty());
}

TEST(Lock4Table, RefusedRecordLockWithOneAttemptReturns50AtOnce) {
    TempDir dir;
    const std::string dbf = dir.file("T.DBF");
    Holder h(dbf, 0x7FFFFFFD, 1);
    ASSERT_TRUE(h.ready());
    Lock4file data(openRw(dbf), "T.DBF");
    Table tab(&data);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(tab.t.lockRecord(1, kOnce), 50);
    EXPECT_LT(secondsSince(t0), 0.2);
    EXPECT_TRUE(tab.reports.calls.empty());  // a refusal is no error
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(tab.t.lockTest(1, kOnce), 0);
    EXPECT_EQ(tab.t.lockRecord(2, kOnce), 0);
    h.release();
    EXPECT_EQ(tab.t.lockRecord(1, kOnce), 0);
}

TEST(Lock4Table, AutomaticUnlockModes) {
    TempDir dir;
    Lock4file data(openRw(dir.file("T.DBF")), "T.DBF");
    Table tab(&data);
    Lock4settings s = kOnce;

    s.unlockAuto = 1;
    ASSERT_EQ(tab.t.lockRecord(1, s), 0);
    ASSERT_EQ(tab.t.lockRecord(2, s), 0);  // releases record 1 first
    EXPECT_EQ(tab.autoUnlocks, (std::vector<int>{1, 1}));
    EXPECT_EQ(tab.t.records(), (std::vector<std::uint32_t>{2}));
    ASSERT_EQ(tab.t.lockRecord(2, s), 0);  // already held: nothing released
    EXPECT_EQ(tab.autoUnlocks.size(), 2u);

    s.unlockAuto = 0;
    ASSERT_EQ(tab.t.lockRecord(3, s), 0);
    ASSERT_EQ(tab.t.lockAppend(s), 0);
    EXPECT_EQ(tab.t.records(), (std::vector<std::uint32_t>{2, 3}));
    EXPECT_EQ(tab.autoUnlocks.size(), 2u);

    s.unlockAuto = 2;
    ASSERT_EQ(tab.t.lockFile(s), 0);
    EXPECT_EQ(tab.autoUnlocks.back(), 2);
    EXPECT_TRUE(tab.t.records().empty());
    EXPECT_TRUE(tab.t.holdsFile());
    EXPECT_FALSE(tab.t.holdsAppend());
}

TEST(Lock4Table, HandlesOfOneProcessNeverWaitForEachOther) {
    TempDir dir;
    const std::string dbf = dir.file("T.DBF");
    Lock4file data(openRw(dbf), "T.DBF");
    Table a(&data), b(&data);
    Lock4settings s;  // attempts -1
    s.unlockAuto = 0;
    ASSERT_EQ(a.t.lockRecord(3, s), 0);

    EXPECT_EQ(b.t.lockTest(3, s), 50);
    EXPECT_EQ(b.t.lockTest(4, s), 0);
    EXPECT_EQ(a.t.lockTest(3, s), 1);

    ::alarm(10);  // a wait for ever here would be the fault under test
    EXPECT_EQ(b.t.lockFile(s), -50);
    EXPECT_EQ(b.t.lockRecord(3, s), -50);
    ASSERT_EQ(b.reports.calls.size(), 2u);
    EXPECT_EQ(b.reports.calls[0], (std::pair<int, long>{-50, 80074}));

    // With a finite setting the same conflict is a plain refusal.
    Lock4settings few = s;
    few.attempts = 5;
    b.reports.calls.clear();
    lock4statsReset();
    EXPECT_EQ(b.t.lockFile(few), 50);
    EXPECT_EQ(lock4stats().waits, 0u);
    EXPECT_TRUE(b.reports.calls.empty());

    // Another opening of the same file in this process (another context): the kernel
    // sees a conflict, and a wait for ever would never end either.
    Lock4file other(openRw(dbf), "T.DBF");
    Table c(&other);
    EXPECT_EQ(c.t.lockRecord(3, s), -50);
    EXPECT_EQ(c.reports.calls.at(0).second, 80074);
    EXPECT_EQ(c.t.lockRecord(3, kOnce), 50);
    EXPECT_EQ(c.t.lockRecord(4, s), 0);
    ::alarm(0);

    ASSERT_EQ(a.t.unlockAll(), 0);
    EXPECT_EQ(b.t.lockFile(kOnce), 50);  // c still holds record 4 through its opening
    ASSERT_EQ(c.t.unlockAll(), 0);
    EXPECT_EQ(b.t.lockFile(kOnce), 0);
    EXPECT_EQ(a.t.lockTest(77, s), 50);
    EXPECT_EQ(b.t.lockTest(77, s), 1);
}

TEST(Lock4Table, ModeOneAndTwoTakeNoLocksAndTestAsLocked) {
    TempDir dir;
    Lock4file data(openRw(dir.file("T.DBF")), "T.DBF");
    Table tab(&data);
    for (int mode : {1, 2}) {
        tab.t.accessMode = mode;
        lock4statsReset();
        EXPECT_EQ(tab.t.lockRecord(1, kOnce), 0);
        EXPECT_EQ(tab.t.lockAppend(kOnce), 0);
        EXPECT_EQ(tab.t.lockFile(kOnce), 0);
        EXPECT_EQ(tab.t.lockAll(kOnce), 0);
        std::uint32_t rec = 99;
        EXPECT_EQ(tab.t.lockForAppend(kOnce, &rec), 0);
        EXPECT_EQ(rec, 0u);
        for (std::uint32_t r : {1u, 2u, 1000000u}) EXPECT_EQ(tab.t.lockTest(r, kOnce), 1);
        EXPECT_EQ(lock4stats().lockCalls, 0u);
        EXPECT_TRUE(data.empty());
    }
}

TEST(Lock4Table, AppendWaitsForTheOtherAppenderAndReadsItsCount) {
    TempDir dir;
    const std::string dbf = dir.file("T.DBF");
    // The "header": 4 bytes of record count at offset 4.
    auto writeCount = [&](std::uint32_t n) {
        int fd = openRw(dbf);
        bool ok = ::pwrite(fd, &n, 4, 4) == 4;
        ::close(fd);
        return ok;
    };
    ASSERT_TRUE(writeCount(7));
    Child other([&](const Channel& ch) {
        int fd = openRw(dbf);
        if (lock4osLock(fd, 0x7FFFFFFE, 1) != lock4granted) return 3;
        ch.send(1);
        ::usleep(1200000);
        std::uint32_t n = 8;  // it appended one record
        if (::pwrite(fd, &n, 4, 4) != 4) return 4;
        return 0;  // exiting releases the append lock
    });
    ASSERT_EQ(other.ch().recv(), 1);

    Lock4file data(openRw(dbf), "T.DBF");
    Table tab(&data);
    tab.count = [&] {
        std::uint32_t n = 0;
        return ::pread(data.fd(), &n, 4, 4) == 4 ? static_cast<long>(n) : -1L;
    };
    std::uint32_t rec = 0;
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(tab.t.lockForAppend(Lock4settings{}, &rec), 0);
    double s = secondsSince(t0);
    EXPECT_GE(s, 0.95);
    EXPECT_LT(s, 3.0);
    EXPECT_EQ(rec, 9u);
    EXPECT_EQ(tab.stale, 1);
    EXPECT_EQ(other.wait(), 0);
    EXPECT_EQ(probe(dbf, 0x7FFFFFFE, 1), 1);
    EXPECT_EQ(probe(dbf, 0x7FFFFFFE - 9, 1), 1);

    // The next append with both locks still held releases nothing.
    tab.autoUnlocks.clear();
    ASSERT_EQ(tab.t.lockForAppend(Lock4settings{}, &rec), 0);
    EXPECT_EQ(rec, 9u);  // nothing written yet
    EXPECT_TRUE(tab.autoUnlocks.empty());
}

TEST(Lock4Table, RefusedNewRecordLockGivesTheAppendLockBack) {
    TempDir dir;
    const std::string dbf = dir.file("T.DBF");
    Holder h(dbf, 0x7FFFFFFE - 1, 1);  // record 1 of an empty table
    ASSERT_TRUE(h.ready());
    Lock4file data(openRw(dbf), "T.DBF");
    Table tab(&data);
    std::uint32_t rec = 0;
    EXPECT_EQ(tab.t.lockForAppend(kOnce, &rec), 50);
    EXPECT_FALSE(tab.t.holdsAppend());
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(probe(dbf, 0x7FFFFFFE, 1), 0);
    h.release();
}

TEST(Lock4Table, IndexRoundsReleaseWhatTheyTookAndStartAgain) {
    TempDir dir;
    const std::string i1 = dir.file("A.CDX"), i2 = dir.file("B.CDX");
    Holder h(i2, 0x7FFFFFFE, 1);
    ASSERT_TRUE(h.ready());
    Lock4file data(openRw(dir.file("T.DBF")), "T.DBF");
    Lock4file x1(openRw(i1), "A.CDX"), x2(openRw(i2), "B.CDX");
    Table tab(&data, {&x1, &x2});
    int spy = openRw(i1);  // another opening in this process sees our locks
    std::vector<int> firstHeldDuringWait;
    int rounds = 0;
    tab.t.hooks.sleep = [&](long ms) {
        EXPECT_EQ(ms, 30);
        firstHeldDuringWait.push_back(lock4osTest(spy, 0x7FFFFFFE, 1, lock4write));
        if (++rounds == 2) {
            h.release();
        }
    };
    Lock4settings s{3, 3, 0, 0};
    ASSERT_EQ(tab.t.lockIndexes(s), 0);
    EXPECT_EQ(firstHeldDuringWait, (std::vector<int>{0, 0}));
    EXPECT_TRUE(tab.t.holdsIndexes());
    EXPECT_EQ(tab.indexLocked, (std::vector<std::size_t>{0, 1}));

    // Too few rounds: refused, nothing left held.
    ASSERT_EQ(tab.t.unlockIndexes(), 0);
    Holder h2(i2, 0x7FFFFFFE, 1);
    ASSERT_TRUE(h2.ready());
    rounds = 0;
    firstHeldDuringWait.clear();
    tab.t.hooks.sleep = [&](long) { ++rounds; };
    EXPECT_EQ(tab.t.lockIndexes(s), 50);
    EXPECT_EQ(rounds, 2);
    EXPECT_FALSE(tab.t.holdsAny());
    EXPECT_EQ(lock4osTest(spy, 0x7FFFFFFE, 1, lock4write), 0);

    // lockAll: the file lock is given back as the automatic-unlock mode says.
    s.unlockAuto = 1;
    EXPECT_EQ(tab.t.lockAll(s), 50);
    EXPECT_FALSE(tab.t.holdsFile());
    EXPECT_EQ(tab.autoUnlocks.back(), 1);
    h2.release();
    EXPECT_EQ(tab.t.lockAll(s), 0);
    EXPECT_TRUE(tab.t.holdsFile());
    EXPECT_TRUE(tab.t.holdsIndexes());
    ::close(spy);
}
