// Indexed tables shared by real processes: lock positions, other users' keys seen through
// the change counter, concurrent appends, updates and deletions, and a crash mid-append.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "engine/data4.h"
#include "engine/io4.h"
#include "engine/lock4.h"
#include "engine/lock4verify.h"
#include "engine/tag4.h"
#include "lock4_fork.h"

using namespace lock4test;

namespace {

struct Open {
    Ctx x;
    Data4* d = nullptr;
    Open(const std::string& table, int accessMode = 0) : x(accessMode) {
        d = d4open(&x.c, table.c_str());
        if (d) d4tagSelect(d, d4tag(d, "KEYTAG"));
    }
    ~Open() {
        if (d) d4close(d);
    }
};

std::string key(long k) {
    char b[24];
    std::snprintf(b, sizeof b, "K%07ld", k);
    return b;
}

int add(Data4* d, const std::string& k) {
    int rc = d4appendStart(d);
    if (rc == 0) rc = d4blank(d);
    if (rc == 0) rc = f4assign(d4field(d, "KEY"), k.c_str());
    if (rc == 0) rc = f4assign(d4field(d, "VER"), "0");
    if (rc == 0) rc = d4append(d);
    if (rc == 0) rc = d4flush(d);
    return rc;
}

std::string keyOf(Data4* d) {
    return std::string(f4str(d4field(d, "KEY"))).substr(0, 8);
}

// Runs `processes` workers of the shared workload at once and verifies the result.
Lock4verdict runWorkers(const TempDir& dir, int processes, long ops, bool appendOnly, long keySpace,
                        std::vector<int>* statuses = nullptr) {
    const std::string table = dir.file("S");
    std::vector<std::string> logs;
    std::vector<std::unique_ptr<Child>> kids;
    for (int i = 0; i < processes; ++i) {
        logs.push_back(dir.file("w" + std::to_string(i) + ".log"));
        Lock4work w;
        w.table = table;
        w.log = logs.back();
        w.owner = i;
        w.seed = 11;
        w.ops = ops;
        w.appendOnly = appendOnly;
        w.keySpace = keySpace;
        kids.push_back(std::make_unique<Child>(
            [w](const Channel&) {
                Lock4workResult r;
                return lock4verifyWork(w, &r);
            },
            170));
    }
    for (auto& k : kids) {
        int st = k->wait(180000);
        if (statuses) statuses->push_back(st);
    }
    return lock4verifyTable(table, "KEYTAG", logs, true);
}

}  // namespace

TEST(Lock4Index, LockPositionsOfAnIndexedTableSeenFromAnotherProcess) {
    TempDir dir;
    const std::string table = dir.file("S");
    ASSERT_EQ(lock4verifyCreate(table), 0);
    Open t(table);
    ASSERT_NE(t.d, nullptr);
    ASSERT_EQ(add(t.d, key(5)), 0);                      // keeps the append, record and index locks
    EXPECT_EQ(probe(table + ".DBF", 0x7FFFFFFD, 1), 1);  // record 1
    EXPECT_EQ(probe(table + ".DBF", 0x7FFFFFFE, 1), 1);  // append
    EXPECT_EQ(probe(table + ".CDX", 0x7FFFFFFE, 1), 1);  // index
    EXPECT_EQ(probe(table + ".DBF", 0x7FFFFFFC, 1), 0);
    ASSERT_EQ(d4unlock(t.d), 0);
    EXPECT_EQ(probe(table + ".DBF", 0x40000000, 0x3FFFFFFF), 0);
    EXPECT_EQ(probe(table + ".CDX", 0x7FFFFFFE, 1), 0);
    ASSERT_EQ(d4lockAll(t.d), 0);
    EXPECT_EQ(probe(table + ".DBF", 0x40000000, 0x3FFFFFFF), 1);
    EXPECT_EQ(probe(table + ".CDX", 0x7FFFFFFE, 1), 1);
    ASSERT_EQ(d4unlock(t.d), 0);
}

TEST(Lock4Index, SeeksSeeOtherUsersKeysAndPositionsSurviveTheirSplits) {
    TempDir dir;
    const std::string table = dir.file("S");
    ASSERT_EQ(lock4verifyCreate(table), 0);
    Open t(table);
    ASSERT_NE(t.d, nullptr);
    std::set<std::string> keys;
    for (long k = 0; k < 200; k += 10) {
        ASSERT_EQ(add(t.d, key(k)), 0);
        keys.insert(key(k));
    }
    ASSERT_EQ(d4unlock(t.d), 0);
    ASSERT_EQ(d4seek(t.d, key(100).c_str()), 0);

    // Another user inserts keys all around, enough to split nodes several times.
    Child other([&](const Channel& ch) {
        Open o(table);
        if (!o.d) return 3;
        for (long k = 1; k < 2000; k += 2)
            if (add(o.d, key(k)) != 0 || d4unlock(o.d) != 0) return 4;
        ch.send(1);
        return 0;
    });
    ASSERT_EQ(other.ch().recv(60000), 1);
    EXPECT_EQ(other.wait(), 0);
    for (long k = 1; k < 2000; k += 2) keys.insert(key(k));

    // The position is still on its record, and the next key is the other user's.
    EXPECT_EQ(keyOf(t.d), key(100));
    ASSERT_EQ(d4skip(t.d, 1), 0);
    EXPECT_EQ(keyOf(t.d), key(101));
    ASSERT_EQ(d4skip(t.d, -2), 0);
    EXPECT_EQ(keyOf(t.d), key(99));
    EXPECT_EQ(d4seek(t.d, key(1777).c_str()), 0);
    EXPECT_EQ(keyOf(t.d), key(1777));
    long n = 0;
    std::string prev;
    for (int rc = d4top(t.d); rc == 0; rc = d4skip(t.d, 1)) {
        EXPECT_LT(prev, keyOf(t.d));
        prev = keyOf(t.d);
        ++n;
    }
    EXPECT_EQ(n, static_cast<long>(keys.size()));
    std::string report;
    EXPECT_EQ(i4check(t.d, &report), 0) << report;
}

TEST(Lock4Index, FourProcessesAppendingWithCollidingKeys) {
    TempDir dir;
    ASSERT_EQ(lock4verifyCreate(dir.file("S")), 0);
    std::vector<int> st;
    // 2000 appends into 8000 keys: about one in eight meets a taken key.
    Lock4verdict v = runWorkers(dir, 4, 500, true, 8000, &st);
    EXPECT_EQ(st, (std::vector<int>{0, 0, 0, 0}));
    EXPECT_TRUE(v.sound) << v.summary;
    for (const std::string& p : v.problems) ADD_FAILURE() << p;
    EXPECT_GT(v.records, 1500);
    EXPECT_LT(v.records, 2000);  // some refused as duplicates
}

TEST(Lock4Index, FourProcessesAppendingUpdatingAndDeleting) {
    TempDir dir;
    ASSERT_EQ(lock4verifyCreate(dir.file("S")), 0);
    std::vector<int> st;
    Lock4verdict v = runWorkers(dir, 4, 400, false, 600, &st);
    EXPECT_EQ(st, (std::vector<int>{0, 0, 0, 0}));
    EXPECT_TRUE(v.sound) << v.summary;
    for (const std::string& p : v.problems) ADD_FAILURE() << p;
    EXPECT_GT(v.records, 0);
    EXPECT_LT(v.live, v.records);  // deletions happened
}

TEST(Lock4Index, CrashMidAppendIsReportedByTheCheckerAndMendedByReindex) {
    TempDir dir;
    const std::string table = dir.file("S");
    ASSERT_EQ(lock4verifyCreate(table), 0);
    const std::string log = dir.file("a.log");
    Child victim([&](const Channel&) {
        KillAtHeaderWrite io(21);
        io4set(&io);
        Lock4work w;
        w.table = table;
        w.log = log;
        w.ops = 1000;
        w.appendOnly = true;
        w.keySpace = 1000000;
        Lock4workResult r;
        return lock4verifyWork(w, &r);
    });
    ASSERT_EQ(victim.wait(), 128 + SIGKILL);

    // Record and key of the 21st append are written, the header still counts 20.
    Lock4verdict v = lock4verifyTable(table, "KEYTAG", {log}, false);
    EXPECT_EQ(v.records, 20);
    EXPECT_FALSE(v.notes.empty());
    EXPECT_FALSE(v.sound);  // the index names a record beyond the count
    bool named = false;
    for (const std::string& p : v.problems)
        if (p.find("index check") != std::string::npos) named = true;
    EXPECT_TRUE(named) << v.summary;

    {
        // Still opens in shared mode and takes appends at once.
        Open t(table);
        ASSERT_NE(t.d, nullptr);
        t.x.c.lockAttempts = 1;
        EXPECT_EQ(add(t.d, "ZZZZZZZZ"), 0);
        EXPECT_EQ(d4recNo(t.d), 21);
        EXPECT_EQ(d4unlock(t.d), 0);
    }
    {
        // The mending: reopened exclusively, the tags are rebuilt from the records.
        Open t(table, 1);
        ASSERT_NE(t.d, nullptr);
        ASSERT_EQ(d4reindex(t.d), 0);
        std::string report;
        EXPECT_EQ(i4check(t.d, &report), 0) << report;
    }
    Lock4verdict after = lock4verifyTable(table, "KEYTAG", {log}, false);
    EXPECT_TRUE(after.sound) << after.summary;
    EXPECT_EQ(after.records, 21);
    EXPECT_EQ(after.live, 21);
}
