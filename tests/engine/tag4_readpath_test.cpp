// Navigation in tag order on its fast paths: keys built from the field bytes must equal the
// evaluator's, a skip must still notice a record changed here or by another process, and the
// disk is read exactly as often as sharing demands.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/cdx4.h"
#include "engine/data4.h"
#include "engine/index4io.h"
#include "engine/io4.h"
#include "engine/tag4.h"
#include "lock4_fork.h"
#include "tests/engine/data4_testutil.h"

#if __has_include("engine/expr4.h")
#include "engine/expr4.h"

using namespace engine_test;

namespace {

const FIELD4INFO kFields[] = {
    {"NAME", 'C', 6, 0, 0}, {"ROOM", 'C', 4, 0, 0}, {"NOTE", 'C', 5, 0, 0}, {nullptr, 0, 0, 0, 0}};
// A plain field join with the usual filter, a trimming join with a negated filter, a function
// of a field, and a single field with no filter.
const TAG4INFO kTags[] = {
    {"PLAIN", "NAME+ROOM", ".NOT. DELETED()", 0, 0},
    {"TRIMMED", "NAME-ROOM", "DELETED()", 0, 0},
    {"UPPERED", "UPPER(NOTE)+ROOM", ".NOT. DELETED() .AND. ROOM <> 'XX'", 0, 0},
    {"ROOMONLY", "ROOM", nullptr, 0, 0},
    {nullptr, nullptr, nullptr, 0, 0}};

class ReadPath : public ContextTest {
protected:
    // The tag order as the evaluator gives it, record by record, independent of the tag code.
    static std::vector<long> expected(Data4* d, const TAG4INFO& t) {
        Expr4* key = expr4parse(d, t.expression);
        Expr4* filter = t.filter ? expr4parse(d, t.filter) : nullptr;
        std::vector<std::pair<std::string, long>> rows;
        for (long n = 1; n <= d4recCount(d); ++n) {
            if (d4go(d, n, 0) != 0) break;
            if (filter && expr4true(filter) != 1) continue;
            char* k = nullptr;
            int len = expr4key(key, &k);
            rows.push_back({std::string(k, static_cast<size_t>(len)), n});
        }
        expr4free(key);
        if (filter) expr4free(filter);
        std::sort(rows.begin(), rows.end());
        std::vector<long> out;
        for (auto& r : rows) out.push_back(r.second);
        return out;
    }
    static std::string word(std::mt19937& rng, size_t n) {
        static const char kLetters[] = "abAB yZ";
        std::string s;
        for (size_t i = 0; i < n; ++i) s += kLetters[rng() % 7];
        return s;
    }
};

TEST_F(ReadPath, TagOrderEqualsTheEvaluatorsThroughWritesDeletesAndRecalls) {
    Data4* d = d4create(&c, dir.file("mixed").c_str(), kFields, kTags);
    ASSERT_NE(d, nullptr);
    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(appendRow(d, {word(rng, 1 + rng() % 6), rng() % 9 == 0 ? "XX" : word(rng, 3),
                                word(rng, 5)}),
                  0);
    }
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 60; ++i) {
            ASSERT_EQ(d4go(d, 1 + static_cast<long>(rng() % 300), 0), 0);
            switch (rng() % 4) {
                case 0:
                    d4delete(d);
                    break;
                case 1:
                    d4recall(d);
                    break;
                case 2:
                    d4field(d, "NAME")->assign(word(rng, 1 + rng() % 6).c_str());
                    break;
                default:
                    d4field(d, "NOTE")->assign(word(rng, 5).c_str());
                    break;
            }
            ASSERT_GE(d4flush(d), 0);
        }
        for (const TAG4INFO* t = kTags; t->name; ++t) {
            ASSERT_EQ(d4tagSelect(d, d4tag(d, t->name)), 0);
            std::vector<long> want = expected(d, *t);
            EXPECT_EQ(walk(d), want) << t->name << " round " << round;
            std::reverse(want.begin(), want.end());
            EXPECT_EQ(walk(d, true), want) << t->name << " backwards, round " << round;
        }
        std::string report;
        EXPECT_EQ(i4check(d, &report), 0) << report;
    }
    ASSERT_EQ(d4pack(d), 0);
    for (const TAG4INFO* t = kTags; t->name; ++t) {
        d4tagSelect(d, d4tag(d, t->name));
        EXPECT_EQ(walk(d), expected(d, *t)) << t->name << " after pack";
    }
    d4close(d);
}

// Keys a, c, e, g, i in records 1..5 on the plain tag.
Data4* fiveKeys(Vask4* c, const std::string& path) {
    Data4* d = d4create(c, path.c_str(), kFields, kTags);
    if (!d) return nullptr;
    for (const char* k : {"a", "c", "e", "g", "i"}) appendRow(d, {k, "r", "n"});
    d4flush(d);
    d4unlock(d);
    d4tagSelect(d, d4tag(d, "PLAIN"));
    return d;
}

TEST_F(ReadPath, ASkipAfterTheRecordChangedHereStartsFromItsNewPlace) {
    Data4* d = fiveKeys(&c, dir.file("five"));
    ASSERT_NE(d, nullptr);
    // On "c", renamed to "h": the skip writes it and goes on after "h".
    ASSERT_EQ(d4seek(d, "c"), 0);
    d4field(d, "NAME")->assign("h");
    ASSERT_EQ(d4skip(d, 1), 0);
    EXPECT_EQ(fieldText(d, "NAME"), "i     ");
    ASSERT_EQ(d4skip(d, -1), 0);
    EXPECT_EQ(fieldText(d, "NAME"), "h     ");
    // Renamed backwards, then stepped back: before "b" comes "a".
    d4field(d, "NAME")->assign("b");
    ASSERT_EQ(d4skip(d, -1), 0);
    EXPECT_EQ(fieldText(d, "NAME"), "a     ");
    // A change only to a field outside the key, then a skip: the next key in order.
    ASSERT_EQ(d4seek(d, "e"), 0);
    d4field(d, "NOTE")->assign("zz");
    ASSERT_EQ(d4skip(d, 1), 0);
    EXPECT_EQ(fieldText(d, "NAME"), "g     ");
    // A changed buffer that is thrown away (d4changed off) is still not the tag's entry.
    ASSERT_EQ(d4seek(d, "e"), 0);
    d4field(d, "NAME")->assign("f");
    d4changed(d, 0);
    ASSERT_EQ(d4skip(d, 1), 0);
    EXPECT_EQ(fieldText(d, "NAME"), "g     ");  // after (f, 3): g
    // d4blank on a record: its blank key sorts first, so a skip forward lands on the first.
    ASSERT_EQ(d4seek(d, "g"), 0);
    d4blank(d);
    d4changed(d, 0);
    ASSERT_EQ(d4skip(d, 1), 0);
    EXPECT_EQ(fieldText(d, "NAME"), "a     ");
    d4close(d);
}

TEST_F(ReadPath, DeleteThenSkipLandsOnTheNeighboursEitherWay) {
    Data4* d = fiveKeys(&c, dir.file("del"));
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4seek(d, "e"), 0);
    ASSERT_EQ(d4delete(d), 0);
    ASSERT_EQ(d4skip(d, 1), 0);
    EXPECT_EQ(fieldText(d, "NAME"), "g     ");
    ASSERT_EQ(d4seek(d, "g"), 0);
    ASSERT_EQ(d4delete(d), 0);
    ASSERT_EQ(d4skip(d, -1), 0);
    EXPECT_EQ(fieldText(d, "NAME"), "c     ");
    // Deleted but not yet written (changed flag off): the entry is still there and is passed.
    ASSERT_EQ(d4seek(d, "c"), 0);
    d4delete(d);
    d4changed(d, 0);
    ASSERT_EQ(d4skip(d, 1), 0);
    EXPECT_EQ(fieldText(d, "NAME"), "i     ");
    // Recalled again after a write: back in the tag between a and i.
    ASSERT_EQ(d4go(d, 3, 0), 0);
    ASSERT_EQ(d4recall(d), 0);
    ASSERT_EQ(d4skip(d, 1), 0);
    EXPECT_EQ(fieldText(d, "NAME"), "i     ");
    EXPECT_EQ(walk(d), (std::vector<long>{1, 2, 3, 5}));
    d4close(d);
}

// The five keys written and closed, then opened again (in the context's mode) on the plain tag.
void reopenFiveKeys(Vask4* c, const std::string& path, Data4*& d) {
    d = fiveKeys(c, path);
    ASSERT_NE(d, nullptr);
    d4close(d);
    d = d4open(c, path.c_str());
    ASSERT_NE(d, nullptr);
    d4tagSelect(d, d4tag(d, "PLAIN"));
}

TEST_F(ReadPath, EachSharedSkipRereadsTheCounterAndTheRecordUnlessTheIndexIsOurs) {
    const std::string path = dir.file("count");
    Data4* d = nullptr;
    ASSERT_NO_FATAL_FAILURE(reopenFiveKeys(&c, path, d));
    ASSERT_EQ(d4top(d), 0);
    {
        CountingIo n;
        for (int i = 0; i < 4; ++i) ASSERT_EQ(d4skip(d, 1), 0);
        EXPECT_EQ(n.counterReads, 4);  // unlocked: the change counter before every use
        EXPECT_EQ(n.reads, 8);         // and the record at every step
    }
    ASSERT_EQ(d4lockAll(d), 0);
    ASSERT_EQ(d4top(d), 0);
    {
        CountingIo n;
        for (int i = 0; i < 4; ++i) ASSERT_EQ(d4skip(d, 1), 0);
        EXPECT_EQ(n.counterReads, 0);  // locked by us: nobody else can change it
        EXPECT_EQ(n.reads, 2);         // and records in sequence are read ahead
    }
    d4unlock(d);
    d4close(d);

    c.accessMode = 1;
    d = d4open(&c, path.c_str());
    ASSERT_NE(d, nullptr);
    d4tagSelect(d, d4tag(d, "PLAIN"));
    ASSERT_EQ(d4top(d), 0);
    {
        CountingIo n;
        for (int i = 0; i < 4; ++i) ASSERT_EQ(d4skip(d, 1), 0);
        EXPECT_EQ(n.counterReads, 0);
        EXPECT_EQ(n.reads, 0);  // opened exclusively: records come from the block cache
    }
    EXPECT_EQ(d4skip(d, 1), r4eof);
    d4close(d);
}

// Opened exclusively, a walk in tag order over many records in random physical order reads each
// 64 KiB block of the table and the index at most once, not a record per skip.
TEST_F(ReadPath, AnExclusiveWalkReadsEachBlockAtMostOnce) {
    const std::string path = dir.file("many");
    const long kRecords = 20000;
    {
        Data4* d = d4create(&c, path.c_str(), kFields, kTags);
        ASSERT_NE(d, nullptr);
        std::mt19937 rng(7);
        for (long i = 0; i < kRecords; ++i)
            ASSERT_EQ(appendRow(d, {word(rng, 6), std::to_string(i % 97), "n"}), 0);
        d4close(d);
    }
    c.accessMode = 1;
    Data4* d = d4open(&c, path.c_str());
    ASSERT_NE(d, nullptr);
    d4tagSelect(d, d4tag(d, "ROOMONLY"));
    std::int64_t bytes = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("")))
        bytes += static_cast<std::int64_t>(e.file_size());
    const long blocks = static_cast<long>(bytes / 65536) + 4;
    long steps = 0;
    {
        CountingIo n;
        int r = d4top(d);
        while (r == 0) {
            ++steps;
            r = d4skip(d, 1);
        }
        EXPECT_EQ(r, r4eof);
        EXPECT_LE(n.reads, blocks) << "over " << steps << " skips";
        RecordProperty("preads", static_cast<int>(n.reads));
        RecordProperty("blocks", static_cast<int>(blocks));
    }
    EXPECT_EQ(steps, kRecords);
    d4close(d);
}

TEST_F(ReadPath, ARecordAnotherProcessChangedIsSeenAtTheNextSharedSkip) {
    using namespace lock4test;
    const std::string path = dir.file("other");
    Data4* d = nullptr;
    ASSERT_NO_FATAL_FAILURE(reopenFiveKeys(&c, path, d));
    ASSERT_EQ(d4seek(d, "c"), 0);  // record 2, its nodes now cached here
    Child other([&](const Channel& ch) {
        Vask4 oc;
        vask4init(&oc, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
        Data4* od = d4open(&oc, path.c_str());
        if (!od) return 2;
        // Record 2 ("c") becomes "h", record 4 ("g") gets a new note.
        d4go(od, 2, 0);
        d4field(od, "NAME")->assign("h");
        if (d4flush(od) != 0) return 3;
        d4go(od, 4, 0);
        d4field(od, "NOTE")->assign("other");
        if (d4flush(od) != 0) return 4;
        d4unlock(od);
        d4close(od);
        vask4initUndo(&oc);
        ch.send(1);
        return 0;
    });
    ASSERT_EQ(other.ch().recv(), 1);
    ASSERT_EQ(other.wait(), 0);
    // Our buffer still holds "c" in record 2; its entry is gone, so landing on the next
    // greater entry ("e") is the step.
    EXPECT_EQ(fieldText(d, "NAME"), "c     ");
    ASSERT_EQ(d4skip(d, 1), 0);
    EXPECT_EQ(fieldText(d, "NAME"), "e     ");
    ASSERT_EQ(d4skip(d, 1), 0);
    EXPECT_EQ(fieldText(d, "NAME"), "g     ");
    EXPECT_EQ(fieldText(d, "NOTE"), "other");  // the record as the other process left it
    ASSERT_EQ(d4skip(d, 1), 0);
    EXPECT_EQ(fieldText(d, "NAME"), "h     ");
    EXPECT_EQ(d4recNo(d), 2);
    EXPECT_EQ(walk(d), (std::vector<long>{1, 3, 4, 2, 5}));
    d4close(d);
}

// The read side hands out cached nodes in place; a cache that must make room in the middle of
// a walk, a seek or a leaf hop may not pull a node from under it.
TEST(ReadPathCache, WalksAndSeeksStaySoundWhileTheNodeCacheEvicts) {
    ScratchDir dir;
    auto* io = Index4FdIo::openPath(dir.file("E.CDX"), true);
    ASSERT_NE(io, nullptr);
    cdx4::Index ix{std::unique_ptr<Index4Io>(io)};
    cdx4::TagDef def;
    def.name = "T";
    def.keyExpr = "NAME";
    def.keyLen = 12;
    ASSERT_EQ(ix.create({def}, 5000), 0);
    cdx4::Tree& t = *ix.tags()[0];
    std::mt19937 rng(11);
    std::set<std::pair<std::string, uint32_t>> held;
    auto randomKey = [&] {
        std::string k;
        for (int i = 0; i < 12; ++i) k += static_cast<char>('a' + rng() % 6);
        return k;
    };
    auto bytes = [](const std::string& k) { return reinterpret_cast<const uint8_t*>(k.data()); };
    ix.setCacheLimit(3);  // inserts with evictions too
    for (uint32_t r = 1; r <= 3000; ++r) {
        std::string k = randomKey();
        ASSERT_EQ(t.insert(bytes(k), r, 5000), 0);
        held.insert({k, r});
    }
    auto verify = [&](size_t limit) {
        ix.setCacheLimit(limit);
        ix.dropCache();
        std::vector<std::pair<std::string, uint32_t>> want(held.begin(), held.end());
        std::vector<std::pair<std::string, uint32_t>> got;
        cdx4::Pos p;
        for (int rc = t.top(p); rc == 0 && got.size() <= want.size(); rc = t.next(p))
            got.push_back({std::string(p.key.begin(), p.key.end()), p.rec});
        EXPECT_EQ(got, want) << "forward, limit " << limit;
        got.clear();
        for (int rc = t.bottom(p); rc == 0 && got.size() <= want.size(); rc = t.prev(p))
            got.push_back({std::string(p.key.begin(), p.key.end()), p.rec});
        std::reverse(got.begin(), got.end());
        EXPECT_EQ(got, want) << "backward, limit " << limit;
        for (int i = 0; i < 200; ++i) {
            std::string k = randomKey().substr(0, 1 + rng() % 12);
            auto it = held.lower_bound({k, 0});
            int rc = t.seek(bytes(k), k.size(), p);
            if (it == held.end()) {
                EXPECT_EQ(rc, cdx4::kEof) << k;
                continue;
            }
            EXPECT_EQ(rc, it->first.compare(0, k.size(), k) == 0 ? cdx4::kFound : cdx4::kAfter);
            EXPECT_EQ(std::string(p.key.begin(), p.key.end()), it->first) << k;
            EXPECT_EQ(p.rec, it->second) << k;
            // Three steps on from there, and back again.
            auto at = it;
            for (int s = 0; s < 3 && std::next(at) != held.end(); ++s) {
                ++at;
                ASSERT_EQ(t.next(p), 0);
                EXPECT_EQ(p.rec, at->second);
            }
            auto e = std::next(held.begin(), static_cast<long>(rng() % held.size()));
            EXPECT_EQ(t.seekEntry(bytes(e->first), e->second, p), cdx4::kFound);
            EXPECT_EQ(p.rec, e->second);
        }
    };
    for (size_t limit : {2, 3, 7, 8192}) verify(limit);
    // Removals that empty and unlink leaves, with walks in between, at a tiny cache.
    for (int round = 0; round < 5; ++round) {
        ix.setCacheLimit(3);
        for (int i = 0; i < 400 && !held.empty(); ++i) {
            auto e = std::next(held.begin(), static_cast<long>(rng() % held.size()));
            ASSERT_EQ(t.remove(bytes(e->first), e->second, 5000), 0);
            held.erase(e);
        }
        verify(round % 2 ? 2 : 5);
    }
    EXPECT_TRUE(ix.check(5000).ok()) << ix.check(5000).text();
}

}  // namespace

#endif
