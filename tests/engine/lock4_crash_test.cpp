// Processes killed with SIGKILL while they hold locks and are in the middle of appends:
// the others go on at once, and nothing an append acknowledged is lost.
#include <gtest/gtest.h>

#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/data4.h"
#include "engine/io4.h"
#include "engine/lock4.h"
#include "engine/lock4verify.h"
#include "lock4_fork.h"

using namespace lock4test;

namespace {

// The layout the verifier knows: KEY, OWNER, SEQ, VER.
void makeTable(const std::string& path) {
    Ctx x;
    Field4info f(x.c);
    f.add("KEY", 'C', 8);
    f.add("OWNER", 'C', 2);
    f.add("SEQ", 'C', 8);
    f.add("VER", 'C', 6);
    Data4* d = d4create(&x.c, path.c_str(), f.fields());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4close(d), 0);
}

// Appends one record; returns the engine's result (0 acknowledged).
int appendOne(Data4* d, int owner, long seq) {
    char buf[32];
    int rc = d4appendStart(d);
    if (rc == 0) rc = d4blank(d);
    if (rc == 0) {
        std::snprintf(buf, sizeof buf, "K%07ld", seq * 10 + owner);
        f4assign(d4field(d, "KEY"), buf);
        std::snprintf(buf, sizeof buf, "%d", owner);
        f4assign(d4field(d, "OWNER"), buf);
        std::snprintf(buf, sizeof buf, "%ld", seq);
        f4assign(d4field(d, "SEQ"), buf);
        f4assign(d4field(d, "VER"), "0");
        rc = d4append(d);
    }
    if (rc == 0) rc = d4flush(d);
    return rc;
}

void logAppend(int fd, int owner, long seq, long rec) {
    char line[64];
    int n = std::snprintf(line, sizeof line, "A %d %ld %ld K%07ld\n", owner, seq, rec,
                          seq * 10 + owner);
    if (::write(fd, line, static_cast<size_t>(n)) != n) ::_exit(7);
}

// Appends until killed (or count appends), logging each acknowledged one.
int appender(const std::string& table, const std::string& log, int owner, long count, Io4* io,
             const Channel* ch) {
    if (io) io4set(io);
    int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Ctx x;
    Data4* d = d4open(&x.c, table.c_str());
    if (!d || logFd < 0) return 3;
    if (ch) ch->send(1);
    for (long seq = 1; seq <= count; ++seq) {
        if (appendOne(d, owner, seq) != 0) return 4;
        const long rec = d4recNo(d);
        if (d4unlock(d) != 0) return 5;
        logAppend(logFd, owner, seq, rec);
    }
    d4close(d);
    return 0;
}

long long fileLength(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

}  // namespace

TEST(Lock4Crash, KilledBetweenRecordAndHeaderLosesNothingAcknowledged) {
    TempDir dir;
    const std::string table = dir.file("T");
    makeTable(table + ".DBF");
    const std::string log = dir.file("a.log");
    Child victim([&](const Channel&) {
        KillAtHeaderWrite io(37);
        return appender(table, log, 0, 1000, &io, nullptr);
    });
    ASSERT_EQ(victim.wait(), 128 + SIGKILL);

    // The record of the 37th append is on disk, the header still counts 36.
    const long long headerLen = 32 * 4 + 33, recLen = 1 + 8 + 2 + 8 + 6;
    EXPECT_EQ(fileLength(table + ".DBF"), headerLen + 37 * recLen + 1);
    {
        Ctx excl(1);
        excl.c.errOff = 1;
        EXPECT_EQ(d4open(&excl.c, table.c_str()), nullptr);  // the count check of mode 1
        EXPECT_EQ(excl.c.errorCode, -200);
    }
    Lock4verdict before = lock4verifyTable(table, "", {log}, false);
    EXPECT_TRUE(before.sound) << before.summary;
    EXPECT_EQ(before.records, 36);
    ASSERT_EQ(before.notes.size(), 1u);
    EXPECT_NE(before.notes[0].find("header count 36"), std::string::npos) << before.notes[0];

    // Another user goes on at once: no lock is left, its append takes the place of the
    // unacknowledged record and the file is consistent again.
    Ctx x;
    x.c.lockAttempts = 1;
    Data4* d = d4open(&x.c, table.c_str());
    ASSERT_NE(d, nullptr);
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(appendOne(d, 1, 1), 0);
    EXPECT_LT(secondsSince(t0), 0.5);
    EXPECT_EQ(d4recNo(d), 37);
    ASSERT_EQ(d4unlock(d), 0);
    d4close(d);
    const std::string log2 = dir.file("b.log");
    {
        int fd = ::open(log2.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        logAppend(fd, 1, 1, 37);
        ::close(fd);
    }
    Lock4verdict after = lock4verifyTable(table, "", {log, log2}, true);
    EXPECT_TRUE(after.sound) << after.summary;
    EXPECT_EQ(after.records, 37);
}

TEST(Lock4Crash, OthersGoOnWhenOneAppenderIsKilledAtRandom) {
    TempDir dir;
    const std::string table = dir.file("T");
    makeTable(table + ".DBF");
    std::vector<std::string> logs;
    for (int i = 0; i < 3; ++i) logs.push_back(dir.file("w" + std::to_string(i) + ".log"));
    Child a([&](const Channel& ch) { return appender(table, logs[0], 0, 300, nullptr, &ch); });
    Child b([&](const Channel& ch) { return appender(table, logs[1], 1, 300, nullptr, &ch); });
    Child victim(
        [&](const Channel& ch) { return appender(table, logs[2], 2, 100000, nullptr, &ch); });
    ASSERT_EQ(a.ch().recv(), 1);
    ASSERT_EQ(b.ch().recv(), 1);
    ASSERT_EQ(victim.ch().recv(), 1);
    ::usleep(150000);
    victim.kill9();
    EXPECT_EQ(a.wait(60000), 0);
    EXPECT_EQ(b.wait(60000), 0);

    Lock4verdict v = lock4verifyTable(table, "", logs, false);
    EXPECT_TRUE(v.sound) << v.summary;
    for (const std::string& p : v.problems) ADD_FAILURE() << p;
    EXPECT_GE(v.records, 600);
}
