// Walks declared as one operation on shared tables, with other processes changing the table:
// what a walk read serves only that walk, and no reader ever uses a tree half changed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/data4.h"
#include "engine/io4.h"
#include "engine/tag4.h"
#include "lock4_fork.h"
#include "tests/engine/data4_testutil.h"

#if __has_include("engine/expr4.h")

using namespace engine_test;
using namespace lock4test;

namespace {

const FIELD4INFO kFields[] = {
    {"NAME", 'C', 60, 0, 0}, {"NOTE", 'C', 10, 0, 0}, {nullptr, 0, 0, 0, 0}};
const TAG4INFO kTags[] = {{"BYNAME", "NAME", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};

// Keys that fill their 60 bytes and differ early, so that a leaf holds only a few.
std::string name(int i) {
    char b[16];
    std::snprintf(b, sizeof b, "K%05d", i);
    std::string s = b;
    for (int k = 0; s.size() < 60; ++k) s += static_cast<char>('a' + (i * 7 + k * 13) % 26);
    return s;
}

// A shared table of n records named K00001.., record i holding name((i - 1) * stride % n + 1):
// in record order, or scattered over the file for a stride prime to n.
void makeTable(const std::string& path, int n, int stride = 1) {
    Vask4 c;
    vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
    Data4* d = d4create(&c, path.c_str(), kFields, kTags);
    ASSERT_NE(d, nullptr);
    for (int i = 1; i <= n; ++i)
        ASSERT_EQ(appendRow(d, {name((i - 1) * stride % n + 1), "old"}), 0);
    d4close(d);
    vask4initUndo(&c);
}

Data4* openShared(Vask4* c, const std::string& path) {
    vask4init(c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
    Data4* d = d4open(c, path.c_str());
    if (d) d4tagSelect(d, d4tag(d, "BYNAME"));
    return d;
}

// A table of makeTable's, open shared with every leaf read once, so that only what a walk
// must read counts; closed at the end of the scope.
struct CachedTable {
    ScratchDir dir;
    std::string path;
    Vask4 c;
    Data4* d = nullptr;
    CachedTable(const char* file, int n, int stride = 1) : path(dir.file(file)) {
        makeTable(path, n, stride);
        d = openShared(&c, path);
        if (d)
            for (int r = d4top(d); r == 0; r = d4skip(d, 1)) {
            }
    }
    ~CachedTable() {
        if (d) d4close(d);
        vask4initUndo(&c);
    }
};

std::string note(Data4* d) {
    std::string s = fieldText(d, "NOTE");
    return s.substr(0, s.find(' '));
}

// Another process gives record rec a new note and lets go of it.
int changeNote(const std::string& path, long rec, const char* text) {
    Child other([&](const Channel&) {
        Vask4 c;
        Data4* d = openShared(&c, path);
        if (!d || d4go(d, rec) != 0) return 2;
        d4field(d, "NOTE")->assign(text);
        if (d4flush(d) != 0 || d4unlock(d) != 0) return 3;
        d4close(d);
        return 0;
    });
    return other.wait();
}

// What the table shows after another user changed a record the walk already read, by what
// happened in between.
struct AfterChange {
    const char* what;
    int (*between)(Data4* d);
    const char* seen;
};

const AfterChange kAfterChange[] = {
    // Within the walk the record is as the walk read it, like a record read a moment earlier.
    {"same walk", [](Data4*) { return 0; }, "old"},
    {"new walk", [](Data4* d) { return d4walkEnd(d) + d4walkStart(d); }, "new"},
    {"no walk", [](Data4* d) { return d4walkEnd(d); }, "new"},
    {"index lock in the walk", [](Data4* d) { return d4lockAll(d); }, "new"},
    {"record lock in the walk", [](Data4* d) { return d4lock(d, 7); }, "new"},
    {"unlock in the walk", [](Data4* d) { return d4unlock(d); }, "new"},
};

TEST(Tag4Walk, WhatAWalkReadServesOnlyThatWalk) {
    ScratchDir dir;
    const std::string path = dir.file("walk");
    makeTable(path, 40);
    for (const AfterChange& t : kAfterChange) {
        SCOPED_TRACE(t.what);
        ASSERT_EQ(changeNote(path, 20, "old"), 0);
        Vask4 c;
        Data4* d = openShared(&c, path);
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(d4walkStart(d), 0);
        ASSERT_EQ(d4seek(d, name(19).c_str()), 0);
        ASSERT_EQ(d4skip(d, 1), 0);
        ASSERT_EQ(d4recNo(d), 20);
        ASSERT_EQ(note(d), "old");
        ASSERT_EQ(changeNote(path, 20, "new"), 0);
        ASSERT_EQ(t.between(d), 0);
        ASSERT_EQ(d4seek(d, name(20).c_str()), 0);
        EXPECT_EQ(note(d), t.seen);
        d4walkEnd(d);
        d4close(d);
        vask4initUndo(&c);
    }
}

TEST(Tag4Walk, AWalkReadsRecordsInKeyOrderInStretchesAndTheCounterPerRead) {
    CachedTable t("runs", 400);
    Data4* d = t.d;
    ASSERT_NE(d, nullptr);
    {
        CountingIo io;
        long n = 0;
        d4walkStart(d);
        for (int r = d4top(d); r == 0; r = d4skip(d, 1)) ++n;
        d4walkEnd(d);
        EXPECT_EQ(n, 400);
        // Records in key order lie in record order: the first two leaves' runs, then one
        // stretch holds the rest (outside a walk, 400 steps read the counter and the record
        // each). The counter is read at the top and after each read for a later leaf.
        EXPECT_LE(io.reads - io.counterReads, 3);
        EXPECT_LE(io.counterReads, 3);
    }
}

// A short walk (a day's list) from anywhere in a leaf (of four keys here) into the next one:
// its records, in key order in the file, come in one read.
TEST(Tag4Walk, AShortWalkIntoTheNextLeafReadsItsRecordsOnce) {
    CachedTable t("short", 200);
    Data4* d = t.d;
    ASSERT_NE(d, nullptr);
    for (int start = 20; start < 40; ++start) {
        SCOPED_TRACE(start);
        CountingIo io;
        d4walkStart(d);
        int r = d4seek(d, name(start).c_str());
        for (int i = 0; r == 0 && i < 3; ++i) r = d4skip(d, 1);
        d4walkEnd(d);
        ASSERT_EQ(r, 0);
        EXPECT_EQ(d4recNo(d), start + 3);
        EXPECT_EQ(io.reads - io.counterReads, 1);
    }
}

// A day's list whose records lie scattered over the file: after the first lone record, each
// leaf's records come in one batch (5 reads here; one at a time, 18).
TEST(Tag4Walk, AWalkOverScatteredRecordsReadsThemInBatches) {
    CachedTable t("scattered", 400, 151);
    Data4* d = t.d;
    ASSERT_NE(d, nullptr);
    CountingIo io;
    std::vector<std::string> seen;
    d4walkStart(d);
    int r = d4seek(d, name(100).c_str());
    for (; r == 0 && seen.size() < 16; r = d4skip(d, 1)) seen.push_back(fieldText(d, "NAME"));
    d4walkEnd(d);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(seen.at(static_cast<size_t>(i)), name(100 + i));
    EXPECT_LE(io.reads - io.counterReads, 6);
}

// Another user moves a record that the walk's view of the index still has further on, after
// the walk began: the walk never shows the record where it no longer belongs.
TEST(Tag4Walk, ARecordMovedAheadOfAWalkIsNotShownInItsOldPlace) {
    CachedTable t("moved", 2500);  // some stretches of records
    Data4* d = t.d;
    ASSERT_NE(d, nullptr);
    d4walkStart(d);
    std::vector<std::string> seen;
    int r = d4top(d);
    for (; r == 0 && seen.size() < 40; r = d4skip(d, 1)) seen.push_back(fieldText(d, "NAME"));
    ASSERT_EQ(r, 0);
    Child other([&](const Channel&) {
        Vask4 oc;
        Data4* od = openShared(&oc, t.path);
        if (!od || d4go(od, 2000) != 0) return 2;
        d4field(od, "NAME")->assign(("K00005z" + name(2000).substr(7)).c_str());
        if (d4flush(od) != 0 || d4unlock(od) != 0) return 3;
        d4close(od);
        return 0;
    });
    ASSERT_EQ(other.wait(), 0);
    for (; r == 0; r = d4skip(d, 1)) seen.push_back(fieldText(d, "NAME"));
    d4walkEnd(d);
    EXPECT_EQ(r, r4eof);
    for (size_t i = 1; i < seen.size(); ++i) ASSERT_LT(seen[i - 1], seen[i]) << i;
    EXPECT_EQ(seen.size(), 2499u);  // the moved record now lies behind the walk
}

// Node writes of another process that take their time: every block write of the index pauses.
class SlowNodeWrites : public Io4 {
public:
    ssize_t pwrite(int fd, const void* buf, size_t len, off_t pos) override {
        ssize_t n = Io4::pwrite(fd, buf, len, pos);
        if (len == 512) ::usleep(1500);
        return n;
    }
};

TEST(Tag4Walk, ReadersNeverUseATreeHalfChanged) {
    ScratchDir dir;
    const std::string path = dir.file("split");
    makeTable(path, 60);
    // A leaf holds about eight keys: every few appends split one.
    Child writer([&](const Channel& ch) {
        SlowNodeWrites slow;
        io4set(&slow);
        Vask4 c;
        Data4* d = openShared(&c, path);
        if (!d) return 2;
        ch.send(1);
        for (int i = 0; i < 24; ++i) {
            // Between existing keys, so that inner leaves split too.
            // All between two neighbouring keys, differing early: the leaf there splits every
            // few appends.
            std::string key = "K00030d" + name(100 + i).substr(7);
            if (appendRow(d, {key, "new"}) != 0) return 3;
            if (d4unlock(d) != 0) return 4;
            // A pause between changes, as between two bookings at a desk: readers wait while
            // a change is being written, so back-to-back changes would keep them out.
            ::usleep(3000);
        }
        d4close(d);
        ch.send(2);
        return 0;
    });
    ASSERT_EQ(writer.ch().recv(), 1);
    int walks = 0;
    for (bool done = false; !done; ++walks) {
        done = writer.ch().recv(0) == 2;
        // Opened afresh for every walk, so that nothing comes from a cache of nodes read
        // before the change began.
        Vask4 c;
        Data4* d = openShared(&c, path);
        ASSERT_NE(d, nullptr) << "walk " << walks;
        // A declared walk, a plain one, and the record numbers of a seek read in one go.
        const int mode = walks % 3;
        if (mode == 0) d4walkStart(d);
        std::vector<std::string> seen;
        int r = r4eof;
        if (mode == 2) {
            std::vector<long> recs;
            const int listed = d4seekRecords(d, "", recs);
            ASSERT_EQ(listed, 0) << "walk " << walks;
            for (const long rec : recs)
                if (d4go(d, rec, 1) == 0) seen.push_back(fieldText(d, "NAME"));
        } else {
            for (r = d4top(d); r == 0; r = d4skip(d, 1)) seen.push_back(fieldText(d, "NAME"));
        }
        if (mode == 0) d4walkEnd(d);
        d4close(d);
        vask4initUndo(&c);
        ASSERT_EQ(r, r4eof) << "walk " << walks;
        ASSERT_GE(seen.size(), 60u);
        for (size_t i = 1; i < seen.size(); ++i)
            ASSERT_LT(seen[i - 1], seen[i]) << "walk " << walks;
    }
    EXPECT_EQ(writer.wait(), 0);
    EXPECT_GT(walks, 2);
}

}  // namespace

#endif
