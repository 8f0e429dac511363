// Node sizes beyond 512 bytes at the tree layer: deep trees, record numbers that outgrow
// the leaves, freed blocks taken again, nodes held back until flush, and damaged headers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
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

using index_test::expectEntries;
using index_test::Model;
using index_test::nameTag;
using index_test::openIndex;
using index_test::TempDir;
using index_test::treeOrder;
using index_test::u8;

}  // namespace

// For each node size: keys long enough for three levels, record numbers that jump past
// 255, 65535 and 2^24 (leaves widen or split), removals down to nothing that free blocks,
// growth that takes them again, with nodes written through and held back.
TEST(Index4Blocks, DeepTreesWidenFreeAndReuseAtEveryNodeSize) {
    struct Case {
        uint32_t blockSize;
        uint32_t multiplier;
        unsigned keyLen;
        uint32_t count;
    };
    const Case cases[] = {{1024, 1, 60, 1400},
                          {2048, 2, 120, 1300},
                          {4096, 8, 200, 1500},
                          {8192, 1, 240, 2200},
                          {32768, 512, 240, 18000}};
    for (const Case& cs : cases) {
        for (bool writeBack : {false, true}) {
            if (cs.blockSize == 32768 && !writeBack) continue;  // the costly size once
            SCOPED_TRACE(std::to_string(cs.blockSize) + (writeBack ? " held back" : ""));
            TempDir dir;
            fs::path path = dir.path / "B.CDX";
            auto ix = openIndex(path, true);
            ASSERT_EQ(ix->setBlockLayout(cs.blockSize, cs.multiplier), 0);
            ASSERT_EQ(ix->create({nameTag("BIG", cs.keyLen), nameTag("DOWN", 12, true)}, 0), 0);
            ix->setWriteBack(writeBack);
            Tree& t = *ix->tags()[0];
            Tree& down = *ix->tags()[1];
            std::mt19937 rng(cs.blockSize + writeBack);
            Model model, downModel;
            // Record numbers: small ones first, then past each width the leaves can hold.
            auto recFor = [&](uint32_t i) -> uint32_t {
                if (i < cs.count / 4) return i + 1;
                if (i < cs.count / 2) return 250 + i;
                if (i < 3 * cs.count / 4) return 65530 + i;
                return (1u << 24) + i;
            };
            uint32_t most = 0;
            for (uint32_t i = 0; i < cs.count; ++i) {
                std::string k;
                for (unsigned j = 0; j < cs.keyLen; ++j)
                    k.push_back(static_cast<char>('A' + rng() % (j < 4 ? 26 : 3)));
                uint32_t r = recFor(i);
                most = std::max(most, r);
                ASSERT_EQ(t.insert(u8(k), r, most), 0) << i;
                model.insert({k, r});
                std::string dk = k.substr(0, 12);
                ASSERT_EQ(down.insert(u8(dk), r, most), 0) << i;
                downModel.insert({dk, r});
                if (i % 700 == 0) {
                    ASSERT_EQ(ix->flush(), 0);
                    ASSERT_EQ(ix->check(most, nullptr).text(), "") << i;
                }
            }
            ASSERT_EQ(ix->flush(), 0);
            EXPECT_EQ(ix->dirtyNodes(), 0u);
            auto all = expectEntries("BIG", model);
            all["DOWN"] = expectEntries("DOWN", downModel)["DOWN"];
            ASSERT_EQ(ix->check(most, &all).text(), "");
            // Three levels: the root's first child is a branch.
            Node root, child;
            ASSERT_EQ(ix->readNode(t, t.root(), root), 0);
            ASSERT_FALSE(root.leaf());
            ASSERT_EQ(ix->readNode(t, root.children[0], child), 0);
            EXPECT_FALSE(child.leaf());
            std::vector<uint32_t> want;
            for (auto& e : model) want.push_back(e.second);
            EXPECT_EQ(treeOrder(t, false), want);
            std::reverse(want.begin(), want.end());
            EXPECT_EQ(treeOrder(t, true), want);
            // Nodes lie at multiples of their size; another handle reads the same.
            int64_t grown = ix->fileLength();
            EXPECT_EQ(grown % cs.blockSize, 0);
            {
                auto other = openIndex(path, false);
                ASSERT_EQ(other->open(), 0);
                EXPECT_EQ(other->blockSize(), cs.blockSize);
                EXPECT_EQ(other->multiplier(), cs.multiplier);
                EXPECT_EQ(other->check(most, &all).text(), "");
            }
            // Remove all in random order; the last one leaves an empty root leaf.
            std::vector<std::pair<std::string, uint32_t>> order(model.begin(), model.end());
            std::shuffle(order.begin(), order.end(), rng);
            for (size_t i = 0; i < order.size(); ++i) {
                ASSERT_EQ(t.remove(u8(order[i].first), order[i].second, most), 0) << i;
                model.erase(order[i]);
                if (i % 900 == 0) {
                    ASSERT_EQ(ix->flush(), 0);
                    auto now = expectEntries("BIG", model);
                    now["DOWN"] = all["DOWN"];
                    ASSERT_EQ(ix->check(most, &now).text(), "") << i;
                }
            }
            ASSERT_EQ(ix->flush(), 0);
            ASSERT_EQ(ix->readNode(t, t.root(), root), 0);
            EXPECT_TRUE(root.leaf());
            EXPECT_EQ(root.count(), 0u);
            EXPECT_NE(ix->freeHead(), 0u);
            // Growing again takes the freed nodes before the file grows.
            for (size_t i = 0; i < order.size() / 2; ++i) {
                ASSERT_EQ(t.insert(u8(order[i].first), order[i].second, most), 0) << i;
                model.insert(order[i]);
            }
            ASSERT_EQ(ix->flush(), 0);
            EXPECT_LE(ix->fileLength(), grown);
            auto now = expectEntries("BIG", model);
            now["DOWN"] = all["DOWN"];
            EXPECT_EQ(ix->check(most, &now).text(), "");
            // The descending tag's seek: the last entry with the prefix in stored order.
            const auto& pick = *std::next(downModel.begin(), rng() % downModel.size());
            std::string prefix = pick.first.substr(0, 3);
            auto last = downModel.lower_bound({prefix + std::string(1, '\x7f'), 0});
            ASSERT_NE(last, downModel.begin());
            --last;
            Pos p;
            EXPECT_EQ(down.seekLast(u8(prefix), prefix.size(), p), kFound);
            EXPECT_EQ(p.rec, last->second);
        }
    }
}

// Random bytes in the header's key length, options, signature and layout fields: every
// open either succeeds with a sound layout or refuses with -310, and never reads outside
// what it holds (the sanitizer build watches that).
TEST(Index4Blocks, DamagedHeaderLayoutFieldsOpenOrRefuseCleanly) {
    TempDir dir;
    for (uint32_t bs : {512u, 2048u, 8192u}) {
        fs::path good = dir.path / ("G" + std::to_string(bs) + ".CDX");
        {
            auto ix = openIndex(good, true);
            ASSERT_EQ(ix->setBlockLayout(bs, 1), 0);
            ASSERT_EQ(ix->create({nameTag("T", 10)}, 0), 0);
            Tree& t = *ix->tags()[0];
            for (uint32_t r = 1; r <= 400; ++r) {
                std::string k = "K" + std::to_string(r * 7919 % 1000);
                k.resize(10, ' ');
                ASSERT_EQ(t.insert(u8(k), r, 400), 0);
            }
            ASSERT_EQ(ix->flush(), 0);
        }
        std::vector<uint8_t> bytes(fs::file_size(good));
        {
            FILE* f = std::fopen(good.c_str(), "rb");
            ASSERT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
            std::fclose(f);
        }
        std::mt19937 rng(bs);
        fs::path bad = dir.path / "BAD.CDX";
        for (int round = 0; round < 300; ++round) {
            std::vector<uint8_t> b = bytes;
            size_t header = rng() % 2 ? 0 : 1024;  // the directory's or the tag's
            int changes = 1 + static_cast<int>(rng() % 4);
            for (int k = 0; k < changes; ++k) {
                size_t at = header + 12 + rng() % 16;
                b[at] = static_cast<uint8_t>(rng() % 3 == 0 ? 0 : rng());
            }
            if (rng() % 4 == 0) {  // a plausible marker with odd values
                b[header + 16] = 0xCD;
                b[header + 17] = 0xAB;
                b[header + 18] = b[header + 19] = 0;
            }
            {
                FILE* f = std::fopen(bad.c_str(), "wb");
                std::fwrite(b.data(), 1, b.size(), f);
                std::fclose(f);
            }
            auto ix = openIndex(bad, false);
            ASSERT_NE(ix, nullptr);
            int rc = ix->open();
            if (rc != 0) {
                EXPECT_EQ(rc, kErrCorrupt) << round;
                continue;
            }
            EXPECT_TRUE(validBlockLayout(static_cast<uint32_t>(ix->blockSize()), ix->multiplier()))
                << round;
            // Whatever opened can be walked and checked without harm.
            for (auto& tag : ix->tags()) {
                Pos p;
                int n = 0;
                for (int r = tag->top(p); r == 0 && n < 2000; r = tag->next(p)) ++n;
            }
            (void)ix->check(400);
        }
    }
}
