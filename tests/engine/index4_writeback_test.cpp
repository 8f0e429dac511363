// Index nodes held back in exclusive mode: what reaches the file and when, through closes,
// full caches, freed blocks, packs and failed writes; and in shared mode another process
// sees every key right after d4unlock.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/io4.h"
#include "engine/tag4.h"
#include "tests/engine/data4_testutil.h"
#include "tests/engine/lock4_fork.h"

#if __has_include("engine/expr4.h")

using namespace engine_test;

namespace {

const FIELD4INFO* fields() {
    static const FIELD4INFO f[] = {
        {"CODE", 'C', 10, 0, 0}, {"NOTE", 'C', 100, 0, 0}, {nullptr, 0, 0, 0, 0}};
    return f;
}

// CODEKEY: short keys, many per leaf. NOTEKEY: 100-byte keys, few per leaf (many nodes).
const TAG4INFO* tags() {
    static const TAG4INFO t[] = {{"CODEKEY", "CODE", ".NOT. DELETED()", 0, 0},
                                 {"NOTEKEY", "NOTE", nullptr, 0, 0},
                                 {nullptr, nullptr, nullptr, 0, 0}};
    return t;
}

std::string codeOf(long i) {
    char b[16];
    std::snprintf(b, sizeof b, "C%08ld", (i * 7919) % 1000003);
    return b;
}

std::string noteOf(long i) {
    std::mt19937 g(static_cast<unsigned>(i));
    std::string s(100, ' ');
    for (auto& ch : s) ch = static_cast<char>('A' + g() % 26);
    return s;
}

// Counts index writes and can make them fail.
class IndexIo : public Io4 {
public:
    int open(const char* path, int flags, mode_t mode) override {
        int fd = Io4::open(path, flags, mode);
        std::string p = path;
        if (fd >= 0 && p.size() > 4 && p.compare(p.size() - 4, 4, ".CDX") == 0) indexFd = fd;
        return fd;
    }
    ssize_t pwrite(int fd, const void* buf, size_t len, off_t pos) override {
        if (fd != indexFd) ++otherWrites;
        if (fd == indexFd) {
            ++indexWrites;
            writes.push_back({pos, len});
            if (failIndex) {
                errno = ENOSPC;
                return -1;
            }
        }
        return Io4::pwrite(fd, buf, len, pos);
    }
    ssize_t pread(int fd, void* buf, size_t len, off_t pos) override {
        if (fd == indexFd && pos == 0 && len == 16) ++headerReads;
        return Io4::pread(fd, buf, len, pos);
    }
    long headerReads = 0;
    int indexFd = -1;
    long indexWrites = 0, otherWrites = 0;
    std::vector<std::pair<off_t, size_t>> writes;  // the index writes, in order
    bool failIndex = false;
};

class WriteBack : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1), 0);
        c.accessMode = 1;
    }
    void TearDown() override {
        io4set(nullptr);
        vask4initUndo(&c);
    }
    std::string table() const { return dir.file("wb"); }

    static int add(Data4* d, long i) { return appendRow(d, {codeOf(i), noteOf(i)}); }

    // Every tag holds exactly the keys of the records (i4check), and the CODEKEY walk
    // meets the records of the given numbers in key order.
    static void expectSound(Data4* d, const std::vector<long>& live) {
        std::string report;
        EXPECT_EQ(i4check(d, &report), 0) << report;
        std::vector<std::pair<std::string, long>> want;
        for (long r : live) {
            ASSERT_EQ(d4go(d, r), 0);
            want.emplace_back(fieldText(d, "CODE"), r);
        }
        std::sort(want.begin(), want.end());
        std::vector<std::pair<std::string, long>> got;
        ASSERT_EQ(d4tagSelect(d, d4tag(d, "CODEKEY")), 0);
        for (int r = d4top(d); r == 0; r = d4skip(d, 1))
            got.emplace_back(fieldText(d, "CODE"), d4recNo(d));
        EXPECT_EQ(got, want);
    }

    // A shared table of 400 records, opened again with io counting (nothing counted yet).
    Data4* sharedTableOf400(IndexIo& io) {
        c.accessMode = 0;
        Data4* d = d4create(&c, table().c_str(), fields(), tags());
        for (long n = 0; d && n < 400; ++n)
            if (add(d, n) != 0) return nullptr;
        if (!d || d4close(d) != 0) return nullptr;
        io4set(&io);
        d = d4open(&c, table().c_str());
        io.indexWrites = io.otherWrites = 0;
        io.writes.clear();
        return d;
    }

    static void deleteRecords(Data4* d, long from, long to) {
        for (long r = from; r <= to; ++r) {
            ASSERT_EQ(d4go(d, r), 0);
            ASSERT_EQ(d4delete(d), 0);
        }
    }

    Vask4 c;
    ScratchDir dir;
};

std::vector<long> range(long n) {
    std::vector<long> v;
    for (long r = 1; r <= n; ++r) v.push_back(r);
    return v;
}

}  // namespace

TEST_F(WriteBack, BulkAppendsWithSplitsAreWrittenAtFlushAndKeptThroughClose) {
    IndexIo io;
    io4set(&io);
    Data4* d = d4create(&c, table().c_str(), fields(), tags());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4flush(d), 0);
    const long n = 3000;  // NOTEKEY grows several levels deep
    long before = io.indexWrites;
    for (long i = 0; i < n; ++i) ASSERT_EQ(add(d, i), 0) << i;
    // Not a write per append: the index is untouched until the flush.
    EXPECT_EQ(io.indexWrites, before);
    ASSERT_EQ(d4flush(d), 0);
    long flushWrites = io.indexWrites - before;
    EXPECT_GT(flushWrites, 0);
    EXPECT_LT(flushWrites, 200);  // adjacent blocks go in one write
    expectSound(d, range(n));
    ASSERT_EQ(d4close(d), 0);

    // Everything was on the file: another handle in shared mode finds every key.
    c.accessMode = 0;
    d = d4open(&c, table().c_str());
    ASSERT_NE(d, nullptr);
    expectSound(d, range(n));
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "NOTEKEY")), 0);
    for (long i : {0L, 1234L, n - 1}) {
        EXPECT_EQ(d4seek(d, noteOf(i).c_str()), 0) << i;
        EXPECT_EQ(d4recNo(d), i + 1);
    }
    EXPECT_EQ(d4close(d), 0);
}

TEST_F(WriteBack, CloseWithoutFlushWritesEverythingEvenPastAFullCache) {
    // 100-byte random keys: about four a leaf, so the held-back nodes outgrow the node
    // cache and part of them is written on the way.
    Data4* d = d4create(&c, table().c_str(), fields(), tags());
    ASSERT_NE(d, nullptr);
    const long n = 24000;
    for (long i = 0; i < n; ++i) ASSERT_EQ(add(d, i), 0) << i;
    ASSERT_EQ(d4close(d), 0);
    d = d4open(&c, table().c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d4recCount(d), n);
    expectSound(d, range(n));
    EXPECT_EQ(d4close(d), 0);
}

TEST_F(WriteBack, FreedBlocksHeldBackAreReusedAndTheFreeListStaysSound) {
    Data4* d = d4create(&c, table().c_str(), fields(), tags());
    ASSERT_NE(d, nullptr);
    const long n = 2000;
    for (long i = 0; i < n; ++i) ASSERT_EQ(add(d, i), 0);
    ASSERT_EQ(d4flush(d), 0);
    // Deleting takes the keys out of CODEKEY (its filter): whole leaves empty and are freed,
    // then new appends take those blocks again, all before anything is written.
    std::vector<long> live;
    for (long r = 1; r <= n; ++r) {
        if (r > 100 && r <= 1900) {
            ASSERT_EQ(d4go(d, r), 0);
            ASSERT_EQ(d4delete(d), 0);
        } else {
            live.push_back(r);
        }
    }
    ASSERT_EQ(d4go(d, 1), 0);  // writes the last deletion
    for (long i = n; i < n + 500; ++i) {
        ASSERT_EQ(add(d, i), 0);
        live.push_back(i + 1);
    }
    expectSound(d, live);  // the check flushes first and then reads the file
    ASSERT_EQ(d4close(d), 0);
    d = d4open(&c, table().c_str());
    ASSERT_NE(d, nullptr);
    expectSound(d, live);
    // A pack rebuilds from the records whatever was held back.
    for (long i = 0; i < 300; ++i) ASSERT_EQ(add(d, n + 500 + i), 0);
    ASSERT_EQ(d4pack(d), 0);
    EXPECT_EQ(d4recCount(d), static_cast<long>(live.size()) + 300);
    expectSound(d, range(d4recCount(d)));
    EXPECT_EQ(d4close(d), 0);
}

TEST_F(WriteBack, AFailedWriteOfHeldBackNodesIsReportedAtFlushAndAtClose) {
    IndexIo io;
    io4set(&io);
    c.errOff = 1;
    Data4* d = d4create(&c, table().c_str(), fields(), tags());
    ASSERT_NE(d, nullptr);
    for (long i = 0; i < 500; ++i) ASSERT_EQ(add(d, i), 0);
    io.failIndex = true;
    EXPECT_EQ(d4flush(d), e4write);
    EXPECT_EQ(c.errorCode, e4write);
    error4set(&c, 0);
    // Closing writes again, fails again and says so; the table is closed all the same.
    EXPECT_EQ(d4close(d), e4write);
    io.failIndex = false;
    error4set(&c, 0);
    // What did reach the files is mended by a reindex.
    d = d4open(&c, table().c_str());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4reindex(d), 0);
    expectSound(d, range(d4recCount(d)));
    EXPECT_EQ(d4close(d), 0);
}

TEST_F(WriteBack, SharedModeKeysAreInTheFileWhenUnlockReturns) {
    c.accessMode = 0;
    Data4* d = d4create(&c, table().c_str(), fields(), tags());
    ASSERT_NE(d, nullptr);
    using lock4test::Channel;
    const std::string path = table();
    // The other user: at each word, the count it was told must be there, and the last
    // record's keys must be found in both tags.
    lock4test::Child reader([&](const Channel& ch) {
        Vask4 rc;
        vask4init(&rc, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
        Data4* r = d4open(&rc, path.c_str());
        if (!r) return 2;
        ch.send(0);
        for (;;) {
            int n = ch.recv();
            if (n == lock4test::kNoAnswer || n < 0) break;
            int ok = 1;
            d4tagSelect(r, d4tag(r, "CODEKEY"));
            if (d4seek(r, codeOf(n - 1).c_str()) != 0 || d4recNo(r) != n) ok = -2;
            d4tagSelect(r, d4tag(r, "NOTEKEY"));
            if (ok == 1 && (d4seek(r, noteOf(n - 1).c_str()) != 0 || d4recNo(r) != n)) ok = -3;
            if (ok == 1 && d4recCount(r) != n) ok = -1;  // the seek read the count again
            ch.send(ok);
        }
        d4close(r);
        vask4initUndo(&rc);
        return 0;
    });
    ASSERT_EQ(reader.ch().recv(), 0);
    long n = 0;
    for (; n < 300; ++n) {
        ASSERT_EQ(add(d, n), 0);
        ASSERT_EQ(d4unlock(d), 0);
        reader.ch().send(static_cast<int>(n + 1));
        ASSERT_EQ(reader.ch().recv(), 1) << "after append " << n + 1;
    }
    // Many appends under one lock, splits included: all there once unlocked.
    ASSERT_EQ(d4lockAll(d), 0);
    for (; n < 1500; ++n) ASSERT_EQ(add(d, n), 0);
    ASSERT_EQ(d4unlock(d), 0);
    reader.ch().send(static_cast<int>(n));
    EXPECT_EQ(reader.ch().recv(), 1);
    reader.ch().send(-1);
    EXPECT_EQ(reader.wait(), 0);
    expectSound(d, range(n));
    EXPECT_EQ(d4close(d), 0);
}

TEST_F(WriteBack, KeyWritesUnderAHeldIndexLockReadTheHeaderOnlyOnceItIsGranted) {
    c.accessMode = 0;
    IndexIo io;
    io4set(&io);
    Data4* d = d4create(&c, table().c_str(), fields(), tags());
    ASSERT_NE(d, nullptr);
    for (long n = 0; n < 50; ++n) ASSERT_EQ(add(d, n), 0);
    ASSERT_EQ(d4unlock(d), 0);
    for (int round = 0; round < 2; ++round) {
        // Another user's change between the rounds (enough keys to give CODEKEY a new root)
        // must be read: the grant reads the header.
        if (round == 1) {
            const std::string path = table();
            lock4test::Child other([&](const lock4test::Channel&) {
                Vask4 oc;
                vask4init(&oc, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
                Data4* o = d4open(&oc, path.c_str());
                int rc = o ? 0 : 1;
                for (long n = 50; rc == 0 && n < 350; ++n) rc = add(o, n);
                if (o && d4close(o) != 0) rc = 1;
                vask4initUndo(&oc);
                return rc;
            });
            ASSERT_EQ(other.wait(), 0);
        }
        ASSERT_EQ(d4lockAll(d), 0);
        io.headerReads = 0;
        for (long r = 1; r <= 40; r += 2) {
            ASSERT_EQ(d4go(d, r), 0);
            d4field(d, "NOTE")->assign(noteOf(r + 100 * (round + 1)).c_str());
        }
        ASSERT_EQ(d4unlock(d), 0);
        EXPECT_LE(io.headerReads, 2) << "round " << round;
    }
    io4set(nullptr);
    ASSERT_EQ(d4close(d), 0);
    d = d4open(&c, table().c_str());
    ASSERT_NE(d, nullptr);
    expectSound(d, range(350));
    EXPECT_EQ(d4close(d), 0);
}

TEST_F(WriteBack, DeletionsUnderTheWholeTableLockAreOneChangeWrittenInRuns) {
    IndexIo io;
    Data4* d = sharedTableOf400(io);
    ASSERT_NE(d, nullptr);
    // A series cancelled day by day: its records, appended together, each leaving CODEKEY.
    ASSERT_EQ(d4lockAll(d), 0);
    ASSERT_NO_FATAL_FAILURE(deleteRecords(d, 101, 300));
    ASSERT_EQ(d4flush(d), 0);
    // One at a time they took four writes each (the odd counter, the leaf, the header, the
    // record): 600 index and 200 record writes. Held, the leaves go once each and the records
    // in a few runs.
    EXPECT_LE(io.indexWrites, 40);
    EXPECT_LE(io.otherWrites, 10);
    ASSERT_EQ(d4unlock(d), 0);
    io4set(nullptr);
    std::vector<long> live;
    for (long r = 1; r <= 400; ++r)
        if (r < 101 || r > 300) live.push_back(r);
    expectSound(d, live);
    EXPECT_EQ(d4close(d), 0);
}

TEST_F(WriteBack, FreedBlocksAreWrittenAfterEveryNodeThatMayStillPointAtThem) {
    IndexIo io;
    Data4* d = sharedTableOf400(io);
    ASSERT_NE(d, nullptr);
    // Every record deleted under one lock empties CODEKEY, which keeps the records not
    // deleted: its leaves are freed.
    ASSERT_EQ(d4lockAll(d), 0);
    ASSERT_NO_FATAL_FAILURE(deleteRecords(d, 1, 400));
    ASSERT_EQ(d4unlock(d), 0);
    io4set(nullptr);
    ASSERT_EQ(d4close(d), 0);
    // The free list as the file keeps it.
    const std::vector<unsigned char> b = readBytes(dir.file("WB.CDX"));
    std::set<off_t> freed;
    for (unsigned long at = le32(b, 4); at != 0 && at + 4 <= b.size() && freed.size() < 1000;
         at = le32(b, at))
        freed.insert(static_cast<off_t>(at));
    ASSERT_FALSE(freed.empty());
    size_t lastNode = 0, firstFreed = io.writes.size();
    for (size_t k = 0; k < io.writes.size(); ++k) {
        const auto [pos, len] = io.writes[k];
        if (pos < 512) continue;  // headers
        for (off_t at = pos; at < pos + off_t(len); at += 512)
            if (freed.count(at))
                firstFreed = std::min(firstFreed, k);
            else
                lastNode = k;
    }
    EXPECT_LT(lastNode, firstFreed);
}

TEST_F(WriteBack, AKillBeforeTheFlushLosesOnlyUnflushedAppendsAndReindexMendsTheIndex) {
    const std::string path = table();
    Data4* d = d4create(&c, path.c_str(), fields(), tags());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4close(d), 0);
    const long flushed = 1000;
    // The victim flushes after 1000 appends, then goes on far enough for a full node cache
    // to write part of its held-back nodes (roots and header not), and is killed.
    const std::string index = dir.file("WB.CDX");
    auto indexSize = [&index] {
        struct stat st {};
        return ::stat(index.c_str(), &st) == 0 ? static_cast<int>(st.st_size / 512) : -1;
    };
    lock4test::Child victim(
        [&](const lock4test::Channel& ch) {
            Vask4 vc;
            vask4init(&vc, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
            vc.accessMode = 1;
            Data4* v = d4open(&vc, path.c_str());
            if (!v) return 2;
            for (long i = 0; i < flushed; ++i)
                if (add(v, i)) return 3;
            if (d4flush(v)) return 4;
            ch.send(indexSize());
            for (long i = flushed; i < flushed + 30000; ++i)
                if (add(v, i)) return 5;
            ch.send(indexSize());
            ::raise(SIGKILL);
            return 6;
        },
        120);
    int atFlush = victim.ch().recv(60000);
    int atKill = victim.ch().recv(120000);
    ASSERT_EQ(victim.wait(120000), 128 + SIGKILL) << atFlush << " " << atKill;
    EXPECT_GT(atKill, atFlush) << "held-back nodes were written on the way";

    // The file holds more records than its header counts (an exclusive open refuses that, as
    // for any such file); shared, the counted records are there and the index is rebuilt.
    c.accessMode = 0;
    d = d4open(&c, path.c_str());
    ASSERT_NE(d, nullptr) << "the table must still open";
    long count = d4recCount(d);
    EXPECT_EQ(count, flushed);
    for (long r : {1L, flushed / 2, flushed}) {
        ASSERT_EQ(d4go(d, r), 0);
        EXPECT_EQ(fieldText(d, "CODE"), codeOf(r - 1) + " ");  // 10 wide
        EXPECT_EQ(fieldText(d, "NOTE"), noteOf(r - 1));
    }
    ASSERT_EQ(d4reindex(d), 0);
    expectSound(d, range(count));
    // The next append takes the place of the first uncounted record.
    ASSERT_EQ(add(d, 999999), 0);
    EXPECT_EQ(d4recNo(d), flushed + 1);
    ASSERT_EQ(d4unlock(d), 0);
    expectSound(d, range(flushed + 1));
    EXPECT_EQ(d4close(d), 0);
}

#endif
