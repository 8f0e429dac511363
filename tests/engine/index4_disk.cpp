// The compound index on-disk layer, driven with keys we supply.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/cdx4.h"
#include "tests/engine/index4_testutil.h"

namespace fs = std::filesystem;
using namespace cdx4;

namespace {

using index_test::fileBytes;
using index_test::openIndex;
using index_test::TempDir;
using index_test::treeOrder;
using index_test::u8;

void patch(const fs::path& p, long off, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(p.c_str(), "r+b");
    std::fseek(f, off, SEEK_SET);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}

std::string padKey(const std::string& s, unsigned len) {
    std::string k = s.substr(0, len);
    k.resize(len, ' ');
    return k;
}
TagDef def(const std::string& name, unsigned keyLen, int unique = 0) {
    TagDef d;
    d.name = name;
    d.keyExpr = "NAME";
    d.filterExpr = ".NOT. DELETED()";
    d.keyLen = keyLen;
    d.uniqueCode = unique;
    return d;
}

int depthOf(Index& ix, Tree& t) {
    // Follow the first child down from the root.
    std::vector<uint8_t> b(512);
    uint64_t off = t.root();
    int depth = 1;
    for (;;) {
        ix.io().read(off, b.data(), 512);
        if (le16(b.data()) & kAttrLeaf) return depth;
        off = (uint32_t(b[12 + t.keyLen() + 4]) << 24) | (b[12 + t.keyLen() + 5] << 16) |
              (b[12 + t.keyLen() + 6] << 8) | b[12 + t.keyLen() + 7];
        ++depth;
    }
}

}  // namespace

TEST(Index4Geometry, BitCountsAndEntryWidthFollowKeyLengthAndRecordCount) {
    Geometry g = Geometry::forKey(60, 0);
    EXPECT_EQ(g.dupBits, 6);
    EXPECT_EQ(g.trailBits, 6);
    EXPECT_EQ(g.dupMask, 0x3F);
    g = Geometry::forKey(60, 255);
    EXPECT_EQ(g.recBits, 12);
    EXPECT_EQ(g.bytesPerEntry, 3);
    EXPECT_EQ(g.recMask, 0xFFFu);
    g = Geometry::forKey(60, 256);
    EXPECT_EQ(g.recBits, 20);
    EXPECT_EQ(g.bytesPerEntry, 4);
    g = Geometry::forKey(60, 65535);
    EXPECT_EQ(g.recBits, 20);
    EXPECT_EQ(g.bytesPerEntry, 4);
    g = Geometry::forKey(60, 65536);
    EXPECT_EQ(g.recBits, 28);
    EXPECT_EQ(g.bytesPerEntry, 5);
    EXPECT_EQ(Geometry::forKey(32, 0).dupBits, 6);
    EXPECT_EQ(Geometry::forKey(21, 0).dupBits, 5);
    Geometry d = Geometry::forKey(10, 1024);
    EXPECT_EQ(d.dupBits, 4);
    EXPECT_EQ(d.recBits, 16);
    EXPECT_EQ(d.bytesPerEntry, 3);
    Geometry w = Geometry::forKey(60, 10);
    ASSERT_TRUE(w.widen());
    EXPECT_EQ(w.recBits, 20);
    EXPECT_EQ(w.bytesPerEntry, 4);
    EXPECT_EQ(w.recMask, 0xFFFFFu);
}

TEST(Index4Create, NewIndexHasDirectoryLeafAndEmptyRootLeaf) {
    TempDir d;
    fs::path p = d.path / "T.CDX";
    auto ix = openIndex(p, true);
    ASSERT_EQ(ix->create({def("schedtag", 32, 20)}, 0), 0);
    ASSERT_EQ(ix->flush(), 0);
    auto b = fileBytes(p);
    ASSERT_EQ(b.size(), 3072u);  // two header pairs, directory leaf, tag root
    // Directory header.
    EXPECT_EQ(le32(&b[0]), 2048u);
    EXPECT_EQ(le32(&b[4]), 0u);
    EXPECT_EQ(le16(&b[12]), 10);
    EXPECT_EQ(b[14], 0xE0);
    EXPECT_EQ(b[15], 1);
    EXPECT_EQ(le16(&b[504]), 1);
    EXPECT_EQ(le16(&b[506]), 1);
    EXPECT_EQ(le16(&b[510]), 1);
    // Tag header: unique + filter + compact + compound.
    const uint8_t* h = &b[1024];
    EXPECT_EQ(le32(h), 2560u);
    EXPECT_EQ(le16(h + 12), 32);
    EXPECT_EQ(h[14], 0x69);
    EXPECT_EQ(le16(h + 504), 5);   // "NAME" + NUL
    EXPECT_EQ(le16(h + 506), 16);  // ".NOT. DELETED()" + NUL
    EXPECT_EQ(le16(h + 508), 0);
    EXPECT_EQ(le16(h + 510), 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(h + 512)), "NAME");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(h + 517)), ".NOT. DELETED()");
    // Directory leaf with one key pointing at the tag header.
    const uint8_t* dl = &b[2048];
    EXPECT_EQ(le16(dl), 3);
    EXPECT_EQ(le16(dl + 2), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(dl + 512 - 8), 8), "SCHEDTAG");
    EXPECT_EQ(le32(dl + 24) & 0xFFFF, 1024u);
    // Empty root leaf of the tag.
    const uint8_t* r = &b[2560];
    EXPECT_EQ(le16(r), 3);
    EXPECT_EQ(le16(r + 2), 0);
    EXPECT_EQ(le32(r + 4), kNoLink);
    EXPECT_EQ(le32(r + 8), kNoLink);
    EXPECT_EQ(le16(r + 12), 488);
    EXPECT_EQ(ix->check(0).text(), "");

    // It opens again with the same tag.
    auto again = openIndex(p, false);
    ASSERT_EQ(again->open(), 0);
    ASSERT_EQ(again->tags().size(), 1u);
    EXPECT_EQ(again->tags()[0]->name(), "SCHEDTAG");
    EXPECT_EQ(again->tags()[0]->keyExpr(), "NAME");
    EXPECT_EQ(again->tags()[0]->filterExpr(), ".NOT. DELETED()");
    EXPECT_EQ(again->tags()[0]->uniqueCode(), 20);
}

TEST(Index4Create, InvalidTagDefinitionsAreRefused) {
    TempDir d;
    auto ix = openIndex(d.path / "T.CDX", true);
    TagDef bad = def("A", 10, 7);
    EXPECT_EQ(ix->create({bad}, 0), kErrTagInfo);
    TagDef noExpr = def("A", 10);
    noExpr.keyExpr.clear();
    EXPECT_EQ(ix->create({noExpr}, 0), kErrTagInfo);
    TagDef longFilter = def("A", 10);
    longFilter.filterExpr = std::string(255, 'X');
    EXPECT_EQ(ix->create({longFilter}, 0), kErrTagInfo);
    EXPECT_EQ(ix->create({def("A", 10), def("a", 10)}, 0), kErrTagInfo);
}

TEST(Index4Leaf, SmithThenSmithsonSharesFiveBytesAndCutsTheBlanks) {
    TempDir d;
    fs::path p = d.path / "P.CDX";
    auto ix = openIndex(p, true);
    ASSERT_EQ(ix->create({def("PEOPLE", 60, 20)}, 0), 0);
    Tree& t = *ix->tags()[0];
    ASSERT_EQ(t.insert(u8(padKey("SMITH", 60)), 1, 2), 0);
    ASSERT_EQ(t.insert(u8(padKey("SMITHSON", 60)), 2, 2), 0);
    ASSERT_EQ(ix->flush(), 0);
    auto b = fileBytes(p);
    const uint8_t* leaf = &b[t.root()];
    EXPECT_EQ(le16(leaf + 2), 2);
    EXPECT_EQ(leaf[20], 12);  // R
    EXPECT_EQ(leaf[23], 3);   // bytes per entry
    uint32_t e2 = leaf[27] | (leaf[28] << 8) | (leaf[29] << 16);
    EXPECT_EQ(e2 & 0xFFF, 2u);
    EXPECT_EQ((e2 >> 12) & 0x3F, 5u);
    EXPECT_EQ((e2 >> 18) & 0x3F, 60u - 8);
    uint32_t e1 = leaf[24] | (leaf[25] << 8) | (leaf[26] << 16);
    EXPECT_EQ((e1 >> 12) & 0x3F, 0u);
    EXPECT_EQ((e1 >> 18) & 0x3F, 55u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(leaf + 512 - 5), 5), "SMITH");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(leaf + 512 - 8), 3), "SON");
    EXPECT_EQ(le16(leaf + 12), 488 - 6 - 8);
}

TEST(Index4Seek, PrefixFoundAfterAndEnd) {
    TempDir d;
    auto ix = openIndex(d.path / "S.CDX", true);
    ASSERT_EQ(ix->create({def("PEOPLE", 60)}, 0), 0);
    Tree& t = *ix->tags()[0];
    ASSERT_EQ(t.insert(u8(padKey("ADAMS", 60)), 3, 5), 0);
    ASSERT_EQ(t.insert(u8(padKey("SMITHSON", 60)), 1, 5), 0);
    ASSERT_EQ(t.insert(u8(padKey("SMITH", 60)), 4, 5), 0);
    ASSERT_EQ(t.insert(u8(padKey("SMITH", 60)), 2, 5), 0);
    ASSERT_EQ(t.insert(u8(padKey("TAYLOR", 60)), 5, 5), 0);
    Pos p;
    EXPECT_EQ(t.seek(u8("SMI"), 3, p), kFound);
    EXPECT_EQ(p.rec, 2u);  // first SMITH by record number
    EXPECT_EQ(t.seek(u8("SMJ"), 3, p), kAfter);
    EXPECT_EQ(p.rec, 5u);
    EXPECT_EQ(t.seek(u8("ZZZ"), 3, p), kEof);
    EXPECT_EQ(t.seek(u8(padKey("SMITH", 60)), 60, p), kFound);
    EXPECT_EQ(p.rec, 2u);
    EXPECT_EQ(t.seekEntry(u8(padKey("SMITH", 60)), 3, p), kAfter);
    EXPECT_EQ(p.rec, 4u);
    EXPECT_EQ(treeOrder(t), (std::vector<uint32_t>{3, 2, 4, 1, 5}));
    EXPECT_EQ(treeOrder(t, true), (std::vector<uint32_t>{5, 1, 4, 2, 3}));
}

TEST(Index4Unique, RefusalLeavesTheTagUnchangedAndCodesDiffer) {
    TempDir d;
    auto ix = openIndex(d.path / "U.CDX", true);
    ASSERT_EQ(ix->create({def("U", 20, 20), def("PLAIN", 20, 0)}, 0), 0);
    Tree& u = *ix->tags()[0];
    Tree& plain = *ix->tags()[1];
    ASSERT_EQ(u.insert(u8(padKey("KEY", 20)), 1, 2), 0);
    ASSERT_EQ(ix->flush(), 0);
    uint32_t counter = ix->changeCounter();
    std::vector<Entry> before;
    ASSERT_EQ(u.entries(before), 0);
    EXPECT_EQ(u.insert(u8(padKey("KEY", 20)), 2, 2), kUniqueRefused);
    EXPECT_EQ(ix->changeCounter(), counter);
    std::vector<Entry> after;
    ASSERT_EQ(u.entries(after), 0);
    EXPECT_EQ(before, after);
    u.setUniqueCode(25);
    EXPECT_EQ(u.insert(u8(padKey("KEY", 20)), 2, 2), kUniqueSkipped);
    u.setUniqueCode(-340);
    EXPECT_EQ(u.insert(u8(padKey("KEY", 20)), 2, 2), kErrUnique);
    // A non-unique tag takes both.
    EXPECT_EQ(plain.insert(u8(padKey("KEY", 20)), 1, 2), 0);
    EXPECT_EQ(plain.insert(u8(padKey("KEY", 20)), 2, 2), 0);
    // Removing the holder frees the key for another record.
    u.setUniqueCode(20);
    ASSERT_EQ(u.remove(u8(padKey("KEY", 20)), 1, 2), 0);
    EXPECT_EQ(u.insert(u8(padKey("KEY", 20)), 2, 2), 0);
    EXPECT_EQ(u.remove(u8(padKey("NOPE", 20)), 9, 2), 1);
    EXPECT_EQ(ix->check(2).text(), "");
}

TEST(Index4Tree, SplitsToThreeLevelsAndEmptiesBackToARootLeaf) {
    TempDir d;
    fs::path p = d.path / "B.CDX";
    auto ix = openIndex(p, true);
    ASSERT_EQ(ix->create({def("BIG", 60)}, 0), 0);
    Tree& t = *ix->tags()[0];
    std::mt19937 rng(7);
    std::vector<std::pair<std::string, uint32_t>> all;
    const uint32_t n = 1500;
    for (uint32_t r = 1; r <= n; ++r) {
        std::string k;
        for (int i = 0; i < 60; ++i) k.push_back(static_cast<char>('A' + rng() % 26));
        all.emplace_back(k, r);
        ASSERT_EQ(t.insert(u8(k), r, n), 0) << r;
    }
    ASSERT_EQ(ix->flush(), 0);
    EXPECT_GE(depthOf(*ix, t), 3);
    EXPECT_EQ(ix->check(n).text(), "");
    std::sort(all.begin(), all.end());
    std::vector<uint32_t> want;
    for (auto& e : all) want.push_back(e.second);
    EXPECT_EQ(treeOrder(t), want);
    // Remove everything in random order, checking as the tree shrinks.
    std::shuffle(all.begin(), all.end(), rng);
    int64_t grown = ix->fileLength();
    for (size_t i = 0; i < all.size(); ++i) {
        ASSERT_EQ(t.remove(u8(all[i].first), all[i].second, n), 0) << i;
        if (i % 250 == 0) {
            ASSERT_EQ(ix->flush(), 0);
            ASSERT_EQ(ix->check(n).text(), "") << i;
        }
    }
    ASSERT_EQ(ix->flush(), 0);
    EXPECT_EQ(ix->check(n).text(), "");
    auto b = fileBytes(p);
    const uint8_t* r = &b[t.root()];
    EXPECT_EQ(le16(r), 3);
    EXPECT_EQ(le16(r + 2), 0);
    EXPECT_EQ(le16(r + 12), 488);
    EXPECT_EQ(le32(r + 4), kNoLink);
    EXPECT_EQ(le32(r + 8), kNoLink);
    EXPECT_NE(ix->freeHead(), 0u);
    // Growing again reuses the freed blocks before extending the file.
    for (uint32_t i = 0; i < 600; ++i) ASSERT_EQ(t.insert(u8(all[i].first), all[i].second, n), 0);
    ASSERT_EQ(ix->flush(), 0);
    EXPECT_LE(ix->fileLength(), grown);
    EXPECT_EQ(ix->check(n).text(), "");
}

TEST(Index4Tree, LeafWidensWhenRecordNumbersOutgrowIt) {
    TempDir d;
    fs::path p = d.path / "W.CDX";
    auto ix = openIndex(p, true);
    ASSERT_EQ(ix->create({def("W", 60)}, 0), 0);
    Tree& t = *ix->tags()[0];
    ASSERT_EQ(t.insert(u8(padKey("A", 60)), 1, 1), 0);
    ASSERT_EQ(t.insert(u8(padKey("B", 60)), 4095, 1), 0);
    auto b = fileBytes(p);
    EXPECT_EQ(b[t.root() + 20], 12);
    ASSERT_EQ(t.insert(u8(padKey("C", 60)), 4096, 4096), 0);
    b = fileBytes(p);
    EXPECT_EQ(b[t.root() + 20], 20);
    EXPECT_EQ(b[t.root() + 23], 4);
    EXPECT_EQ(le16(&b[t.root() + 12]), 488 - 3 * 4 - 3);
    ASSERT_EQ(t.insert(u8(padKey("D", 60)), 1u << 20, 1u << 20), 0);
    b = fileBytes(p);
    EXPECT_EQ(b[t.root() + 20], 28);
    EXPECT_EQ(b[t.root() + 23], 5);
    EXPECT_EQ(treeOrder(t), (std::vector<uint32_t>{1, 4095, 4096, 1u << 20}));
    EXPECT_EQ(ix->check(1u << 20).text(), "");
}

// Bookings made a day at a time, court by court in any order, leave each day's leaves a few
// blocks apart in another order than the keys': a walk of record numbers still reads them in
// a few large reads, and in key order.
TEST(Index4Walk, LeavesOutOfFileOrderAreReadInWindows) {
    TempDir d;
    auto ix = openIndex(d.path / "W.CDX", true);
    ASSERT_EQ(ix->create({def("RES", 32)}, 0), 0);
    Tree& t = *ix->tags()[0];
    std::mt19937 rng(7);
    std::map<std::string, uint32_t> model;
    uint32_t rec = 0;
    for (int day = 1000; day < 1300; ++day) {
        std::vector<int> courts(15);
        for (int c = 0; c < 15; ++c) courts[std::size_t(c)] = 10 + c;
        std::shuffle(courts.begin(), courts.end(), rng);
        for (int c : courts)
            for (int h = 10; h < 14; ++h) {
                const std::string k =
                    padKey("2026" + std::to_string(day) + "Court " + std::to_string(c), 28) +
                    std::to_string(h) + "00";
                ++rec;
                ASSERT_EQ(t.insert(u8(k), rec, rec), 0);
                model[k] = rec;
            }
    }
    ASSERT_EQ(ix->flush(), 0);
    ix->dropCache();
    ix->setCheckReads(true);  // counts the node reads from the file
    std::vector<uint32_t> got, want;
    for (const auto& e : model) want.push_back(e.second);
    const uint64_t before = ix->checkedReads();
    ASSERT_EQ(t.recordsFrom(u8("2026"), 4, got), 0);
    EXPECT_EQ(got, want);
    // 13 reads; read ahead only while the next leaf is the next block, 63.
    EXPECT_LE(ix->checkedReads() - before, 20u);
}

// Random appends, key changes, deletions and recalls against an ordered model.
TEST(Index4Model, RandomOperationsMatchAnOrderedSet) {
    for (unsigned seed : {1u, 2u, 3u}) {
        TempDir d;
        auto ix = openIndex(d.path / "M.CDX", true);
        ASSERT_EQ(ix->create({def("RES", 32, 20)}, 0), 0);
        // A tiny cache makes walks read their leaves from the file, ahead of the changes.
        if (seed == 3) ix->setCacheLimit(4);
        Tree& t = *ix->tags()[0];
        std::mt19937 rng(seed);
        std::set<std::pair<std::string, uint32_t>> model;
        std::map<uint32_t, std::string> keyOf;  // records in the tag
        std::map<uint32_t, std::string> deleted;
        uint32_t count = 0;
        auto randomKey = [&] {
            // Dates and room names with a small alphabet: many shared prefixes.
            std::string k =
                "2026120" + std::to_string(rng() % 4) + "Court " + std::to_string(rng() % 7);
            k += std::string(rng() % 3, 'x');
            return padKey(k, 28) + std::to_string(10 + rng() % 14) +
                   std::to_string(10 + rng() % 50);
        };
        auto holds = [&](const std::string& k) {
            auto it = model.lower_bound({k, 0});
            return it != model.end() && it->first == k;
        };
        for (int step = 0; step < 3000; ++step) {
            int op = static_cast<int>(rng() % 10);
            if (op < 4 || keyOf.empty()) {  // append
                std::string k = randomKey();
                uint32_t r = count + 1;
                int rc = t.insert(u8(k), r, r);
                if (holds(k)) {
                    ASSERT_EQ(rc, kUniqueRefused);
                } else {
                    ASSERT_EQ(rc, 0);
                    count = r;
                    model.insert({k, r});
                    keyOf[r] = k;
                }
            } else if (op < 6) {  // change a key
                auto it = keyOf.begin();
                std::advance(it, rng() % keyOf.size());
                std::string k = randomKey();
                if (holds(k)) continue;
                ASSERT_EQ(t.remove(u8(it->second), it->first, count), 0);
                ASSERT_EQ(t.insert(u8(k), it->first, count), 0);
                model.erase({it->second, it->first});
                model.insert({k, it->first});
                it->second = k;
            } else if (op < 8) {  // delete: the record leaves the tag
                auto it = keyOf.begin();
                std::advance(it, rng() % keyOf.size());
                ASSERT_EQ(t.remove(u8(it->second), it->first, count), 0);
                model.erase({it->second, it->first});
                deleted[it->first] = it->second;
                keyOf.erase(it);
            } else if (op < 9 && !deleted.empty()) {  // recall
                auto it = deleted.begin();
                std::advance(it, rng() % deleted.size());
                int rc = t.insert(u8(it->second), it->first, count);
                if (holds(it->second)) {
                    ASSERT_EQ(rc, kUniqueRefused);
                } else {
                    ASSERT_EQ(rc, 0);
                    model.insert({it->second, it->first});
                    keyOf[it->first] = it->second;
                    deleted.erase(it);
                }
            } else {  // seek a random prefix and compare with the model
                std::string k = randomKey().substr(0, 8 + rng() % 10);
                Pos p;
                int rc = t.seek(u8(k), k.size(), p);
                auto it = std::find_if(model.begin(), model.end(), [&](const auto& e) {
                    return e.first.compare(0, k.size(), k) >= 0;
                });
                if (it == model.end()) {
                    ASSERT_EQ(rc, kEof);
                } else {
                    ASSERT_EQ(p.rec, it->second);
                    ASSERT_EQ(rc, it->first.compare(0, k.size(), k) == 0 ? kFound : kAfter);
                }
                std::vector<uint32_t> from, want;
                for (; it != model.end(); ++it) want.push_back(it->second);
                ASSERT_EQ(t.recordsFrom(u8(k), k.size(), from), 0);
                ASSERT_EQ(from, want) << "seed " << seed << " step " << step;
            }
            if (step % 100 == 0 || step == 2999) {
                std::vector<uint32_t> want, back;
                for (auto& e : model) want.push_back(e.second);
                ASSERT_EQ(treeOrder(t), want) << "seed " << seed << " step " << step;
                back.assign(want.rbegin(), want.rend());
                ASSERT_EQ(treeOrder(t, true), back);
                ASSERT_EQ(ix->flush(), 0);
                std::map<std::string, std::vector<Entry>> expected;
                for (auto& e : model)
                    expected["RES"].push_back(
                        {std::vector<uint8_t>(e.first.begin(), e.first.end()), e.second});
                if (model.empty()) expected["RES"];
                ASSERT_EQ(ix->check(count, &expected).text(), "")
                    << "seed " << seed << " step " << step;
            }
        }
    }
}

TEST(Index4Skip, StepAfterTheCurrentEntryLeftTheTag) {
    TempDir d;
    auto ix = openIndex(d.path / "K.CDX", true);
    ASSERT_EQ(ix->create({def("K", 10)}, 0), 0);
    Tree& t = *ix->tags()[0];
    for (uint32_t r = 1; r <= 5; ++r)
        ASSERT_EQ(t.insert(u8(padKey(std::string(1, char('A' + r)), 10)), r, 5), 0);
    Pos p;
    ASSERT_EQ(t.seek(u8("D"), 1, p), kFound);
    ASSERT_EQ(p.rec, 3u);
    Pos q = p;
    ASSERT_EQ(t.remove(u8(padKey("D", 10)), 3, 5), 0);
    ASSERT_EQ(t.next(p), 0);
    EXPECT_EQ(p.rec, 4u);  // landing on the follower is the step
    ASSERT_EQ(t.prev(q), 0);
    EXPECT_EQ(q.rec, 2u);
    // The last entry removed: forward reaches the end, backward the new last.
    ASSERT_EQ(t.bottom(p), 0);
    q = p;
    ASSERT_EQ(t.remove(u8(padKey("F", 10)), 5, 5), 0);
    EXPECT_EQ(t.next(p), kEof);
    ASSERT_EQ(t.prev(q), 0);
    EXPECT_EQ(q.rec, 4u);
}

TEST(Index4Reindex, SpoolSortEqualsInMemoryBuildAndUsesTheTempFolder) {
    TempDir d;
    fs::path spoolDir = d.path / "spool";
    fs::create_directory(spoolDir);
    std::mt19937 rng(11);
    std::vector<std::pair<std::string, uint32_t>> keys;
    const uint32_t n = 20000;
    for (uint32_t r = 1; r <= n; ++r) {
        std::string k = "K" + std::to_string(rng() % 5000);
        keys.emplace_back(padKey(k, 21), r);
    }
    auto feed = [&](Tree&, Sorter& s) {
        for (auto& [k, r] : keys)
            if (int rc = s.add(u8(k), r)) return rc;
        return 0;
    };
    auto build = [&](const fs::path& p, size_t budget, std::vector<Entry>& out, size_t& spools) {
        auto ix = openIndex(p, true);
        ASSERT_EQ(ix->create({def("NAME", 21), def("OTHER", 21)}, n), 0);
        ASSERT_EQ(ix->reindex(n, feed, budget), 0);
        spools = ix->spoolFilesUsed();
        ASSERT_EQ(ix->check(n).text(), "");
        ASSERT_EQ(ix->tags()[0]->entries(out), 0);
    };
    std::string oldTemp = std::getenv("TEMP") ? std::getenv("TEMP") : "";
    setenv("TEMP", spoolDir.c_str(), 1);
    std::vector<Entry> mem, spooled;
    size_t s1 = 0, s2 = 0;
    build(d.path / "MEM.CDX", 64u << 20, mem, s1);
    build(d.path / "SPOOL.CDX", 16 * 1024, spooled, s2);
    EXPECT_EQ(s1, 0u);
    EXPECT_GT(s2, 4u);
    ASSERT_EQ(mem.size(), n);
    EXPECT_EQ(mem, spooled);
    EXPECT_TRUE(std::is_sorted(mem.begin(), mem.end(), [](const Entry& a, const Entry& b) {
        return compareEntry(a.key.data(), a.rec, b.key.data(), b.rec, 21) < 0;
    }));
    EXPECT_EQ(fileBytes(d.path / "MEM.CDX"), fileBytes(d.path / "SPOOL.CDX"));
    // A temp folder that does not exist makes the spooling build fail cleanly.
    setenv("TEMP", (d.path / "missing").c_str(), 1);
    {
        auto ix = openIndex(d.path / "BAD.CDX", true);
        ASSERT_EQ(ix->create({def("NAME", 21)}, n), 0);
        EXPECT_LT(ix->reindex(n, feed, 16 * 1024), 0);
    }
    if (oldTemp.empty())
        unsetenv("TEMP");
    else
        setenv("TEMP", oldTemp.c_str(), 1);
    // The rebuilt index opens and seeks.
    auto ix = openIndex(d.path / "SPOOL.CDX", false);
    ASSERT_EQ(ix->open(), 0);
    Pos p;
    EXPECT_EQ(ix->tags()[1]->seek(mem[777].key.data(), 21, p), kFound);
    EXPECT_EQ(p.key, mem[777].key);
}

TEST(Index4Reindex, UniqueCodesDuringTheBuild) {
    TempDir d;
    auto feed = [](Tree&, Sorter& s) {
        s.add(u8(padKey("SAME", 10)), 1);
        s.add(u8(padKey("SAME", 10)), 2);
        s.add(u8(padKey("OTHER", 10)), 3);
        return 0;
    };
    auto ix = openIndex(d.path / "R.CDX", true);
    ASSERT_EQ(ix->create({def("U", 10, 20)}, 3), 0);
    EXPECT_EQ(ix->reindex(3, feed), kUniqueRefused);
    EXPECT_EQ(ix->check(3).text(), "");
    ix->tags()[0]->setUniqueCode(25);
    ASSERT_EQ(ix->reindex(3, feed), 0);
    EXPECT_EQ(treeOrder(*ix->tags()[0]), (std::vector<uint32_t>{3, 1}));
    ix->tags()[0]->setUniqueCode(-340);
    EXPECT_EQ(ix->reindex(3, feed), kErrUnique);
}

TEST(Index4Counter, ChangesAreSeenByAnotherHandle) {
    TempDir d;
    fs::path p = d.path / "C.CDX";
    auto a = openIndex(p, true);
    ASSERT_EQ(a->create({def("C", 10)}, 0), 0);
    ASSERT_EQ(a->flush(), 0);
    auto b = openIndex(p, false);
    ASSERT_EQ(b->open(), 0);
    Pos pos;
    EXPECT_EQ(b->tags()[0]->top(pos), kEof);
    uint32_t before = a->changeCounter();
    for (uint32_t r = 1; r <= 200; ++r)
        ASSERT_EQ(a->tags()[0]->insert(u8(padKey("K" + std::to_string(r), 10)), r, 200), 0);
    ASSERT_EQ(a->flush(), 0);
    EXPECT_GT(a->changeCounter(), before);
    auto raw = fileBytes(p);
    EXPECT_EQ((uint32_t(raw[8]) << 24) | (raw[9] << 16) | (raw[10] << 8) | raw[11],
              a->changeCounter());
    bool changed = false;
    ASSERT_EQ(b->refresh(&changed), 0);
    EXPECT_TRUE(changed);
    EXPECT_EQ(treeOrder(*b->tags()[0]).size(), 200u);
    ASSERT_EQ(b->refresh(&changed), 0);
    EXPECT_FALSE(changed);
}

// Damaged files are refused with -310, never crash or loop.
TEST(Index4Damage, BrokenHeadersAndNodesAreRefused) {
    TempDir d;
    fs::path good = d.path / "G.CDX";
    {
        auto ix = openIndex(good, true);
        ASSERT_EQ(ix->create({def("T", 10)}, 0), 0);
        Tree& t = *ix->tags()[0];
        for (uint32_t r = 1; r <= 300; ++r)
            ASSERT_EQ(t.insert(u8(padKey("K" + std::to_string(r * 7919 % 1000), 10)), r, 300), 0);
        ASSERT_EQ(ix->flush(), 0);
        ASSERT_EQ(ix->check(300).text(), "");
    }
    auto goodBytes = fileBytes(good);
    uint32_t tagRoot = le32(&goodBytes[1024]);
    // Find the first leaf below the root (a branch after 300 keys).
    ASSERT_EQ(le16(&goodBytes[tagRoot]) & 2, 0);
    uint32_t firstLeaf = (uint32_t(goodBytes[tagRoot + 12 + 14]) << 24) |
                         (goodBytes[tagRoot + 12 + 15] << 16) |
                         (goodBytes[tagRoot + 12 + 16] << 8) | goodBytes[tagRoot + 12 + 17];
    uint32_t secondLeaf = le32(&goodBytes[firstLeaf + 8]);

    struct Case {
        const char* what;
        long off;
        std::vector<uint8_t> bytes;
        bool truncate;
    };
    std::vector<Case> cases = {
        {"root 0", 1024, {0, 0, 0, 0}, false},
        {"root none", 1024, {0xFF, 0xFF, 0xFF, 0xFF}, false},
        {"options below 32", 1024 + 14, {0x10}, false},
        {"directory root 0", 0, {0, 0, 0, 0}, false},
        {"key length 0", 1024 + 12, {0, 0}, false},
        {"root past the end", 1024, {0x00, 0x00, 0x10, 0x00}, false},
        {"bit counts overflow", static_cast<long>(firstLeaf + 20), {30, 8, 8, 3}, false},
        {"masks wider than bits",
         static_cast<long>(firstLeaf + 14),
         {0xFF, 0xFF, 0xFF, 0xFF},
         false},
        {"key count too large", static_cast<long>(firstLeaf + 2), {0xFF, 0x00}, false},
        {"free count wrong", static_cast<long>(firstLeaf + 12), {0x01, 0x00}, false},
        {"child past the end",
         static_cast<long>(tagRoot + 12 + 14),
         {0x00, 0x10, 0x00, 0x00},
         false},
        {"child cycle",
         static_cast<long>(tagRoot + 12 + 14),
         {uint8_t(tagRoot >> 24), uint8_t(tagRoot >> 16), uint8_t(tagRoot >> 8), uint8_t(tagRoot)},
         false},
        {"sibling cycle",
         static_cast<long>(secondLeaf + 8),
         {uint8_t(firstLeaf), uint8_t(firstLeaf >> 8), uint8_t(firstLeaf >> 16),
          uint8_t(firstLeaf >> 24)},
         false},
        {"short node", static_cast<long>(goodBytes.size() - 100), {}, true},
    };
    for (const auto& c : cases) {
        fs::path p = d.path / "D.CDX";
        fs::copy_file(good, p, fs::copy_options::overwrite_existing);
        if (c.truncate)
            fs::resize_file(p, static_cast<uintmax_t>(c.off));
        else
            patch(p, c.off, c.bytes);
        auto ix = openIndex(p, false);
        int rc = ix->open();
        if (rc == 0) {
            // Opened: every use of the broken part must fail with -310 or
            // stay inside the tree, and the checker must see the damage.
            Tree& t = *ix->tags()[0];
            std::vector<Entry> all;
            int w = t.entries(all);
            Pos p1;
            int s = t.seek(u8("K5"), 2, p1);
            int b = 0;
            for (int rcb = t.bottom(p1), guard = 0; rcb == 0 && guard < 1000;
                 rcb = t.prev(p1), ++guard)
                b = rcb;
            bool refused = w == kErrCorrupt || s == kErrCorrupt || b == kErrCorrupt;
            EXPECT_TRUE(refused || !ix->check(300).ok()) << c.what;
            EXPECT_FALSE(ix->check(300).ok()) << c.what;
            EXPECT_LE(all.size(), 300u) << c.what;
        } else {
            EXPECT_EQ(rc, kErrCorrupt) << c.what;
            EXPECT_TRUE(ix->lastLocation() == kLocCorrupt || ix->lastLocation() == kLocRootType)
                << c.what;
        }
    }
    // Root and options problems carry their own location.
    fs::path p = d.path / "D.CDX";
    fs::copy_file(good, p, fs::copy_options::overwrite_existing);
    patch(p, 1024, {0, 0, 0, 0});
    auto ix = openIndex(p, false);
    EXPECT_EQ(ix->open(), kErrCorrupt);
    EXPECT_EQ(ix->lastLocation(), kLocRootType);
}

TEST(Index4Damage, CheckerFindsBrokenLinksAndFreeListCycles) {
    TempDir d;
    fs::path good = d.path / "G.CDX";
    std::vector<Entry> want;
    {
        auto ix = openIndex(good, true);
        ASSERT_EQ(ix->create({def("T", 10)}, 0), 0);
        Tree& t = *ix->tags()[0];
        for (uint32_t r = 1; r <= 200; ++r)
            ASSERT_EQ(t.insert(u8(padKey("K" + std::to_string(r), 10)), r, 200), 0);
        for (uint32_t r = 1; r <= 120; ++r)
            ASSERT_EQ(t.remove(u8(padKey("K" + std::to_string(r), 10)), r, 200), 0);
        ASSERT_EQ(ix->flush(), 0);
        ASSERT_NE(ix->freeHead(), 0u);
        ASSERT_EQ(ix->check(200).text(), "");
        ASSERT_EQ(t.entries(want), 0);
    }
    auto bytes = fileBytes(good);
    uint32_t head = le32(&bytes[4]);
    // A free block pointing at itself.
    fs::path p = d.path / "F.CDX";
    fs::copy_file(good, p);
    patch(p, head, {uint8_t(head), uint8_t(head >> 8), uint8_t(head >> 16), uint8_t(head >> 24)});
    auto ix = openIndex(p, false);
    ASSERT_EQ(ix->open(), 0);
    EXPECT_FALSE(ix->check(200).ok());
    // Records beyond the table and a wrong expected set are reported too.
    auto ix2 = openIndex(good, false);
    ASSERT_EQ(ix2->open(), 0);
    EXPECT_FALSE(ix2->check(150).ok());
    std::map<std::string, std::vector<Entry>> expected{{"T", want}};
    EXPECT_TRUE(ix2->check(200, &expected).ok());
    expected["T"].pop_back();
    EXPECT_FALSE(ix2->check(200, &expected).ok());
}

// An independent reader of the format walks what we wrote in our order.
TEST(Index4Interop, IndependentReaderSeesOurKeyOrder) {
    if (::access("/usr/bin/index_dump", X_OK) != 0) GTEST_SKIP() << "index_dump not installed";
    TempDir d;
    fs::path p = d.path / "PEOPLE.CDX";
    std::vector<std::pair<std::string, uint32_t>> model;
    {
        auto ix = openIndex(p, true);
        ASSERT_EQ(ix->create({def("PEOPLE", 21), def("OTHER", 10)}, 3000), 0);
        Tree& t = *ix->tags()[0];
        std::mt19937 rng(5);
        for (uint32_t r = 1; r <= 3000; ++r) {
            std::string k = "N" + std::to_string(rng() % 900) + "Q" + std::string(rng() % 4, 'z');
            ASSERT_EQ(t.insert(u8(padKey(k, 21)), r, 3000), 0);
            model.emplace_back(k, r);
        }
        for (uint32_t r = 1; r <= 3000; r += 3)
            ASSERT_EQ(t.remove(u8(padKey(model[r - 1].first, 21)), r, 3000), 0);
        ASSERT_EQ(ix->flush(), 0);
        ASSERT_EQ(ix->check(3000).text(), "");
    }
    std::vector<std::pair<std::string, long>> want;
    for (auto& e : model)
        if ((e.second - 1) % 3 != 0) want.emplace_back(e.first, e.second);
    std::sort(want.begin(), want.end(), [](const auto& a, const auto& b) {
        std::string ka = padKey(a.first, 21), kb = padKey(b.first, 21);
        return ka != kb ? ka < kb : a.second < b.second;
    });
    std::vector<std::pair<std::string, long>> got;
    ASSERT_NO_FATAL_FAILURE(index_test::dumpedTag(p.string(), "PEOPLE", got));
    ASSERT_EQ(got.size(), want.size());
    EXPECT_EQ(got, want);
}
