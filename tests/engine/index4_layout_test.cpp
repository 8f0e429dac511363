// The compound index on-disk layer with other node sizes, the descending seek and the
// general collation's weights, driven with keys we supply and checked against a model.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
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

using index_test::expectEntries;
using index_test::fileBytes;
using index_test::Model;
using index_test::nameTag;
using index_test::openIndex;
using index_test::treeOrder;
using index_test::u8;
using Scratch = index_test::TempDir;

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

}  // namespace

// Inserts, removals, splits, emptied nodes and a rebuild with 1024- and 2048-byte nodes.
TEST(Index4Layout, LargerNodesHoldTheModelThroughChangesReopenAndRebuild) {
    for (auto [bs, mult] : {std::pair{1024u, 1u}, std::pair{2048u, 2u}}) {
        Scratch d;
        fs::path file = d.path / "L.CDX";
        const unsigned kl = 32;
        Model model;
        {
            auto ix = openIndex(file, true);
            ASSERT_EQ(ix->setBlockLayout(bs, mult), 0);
            ASSERT_EQ(ix->create({nameTag("RES", kl)}, 0), 0);
            EXPECT_EQ(ix->blockSize(), bs);
            Tree& t = *ix->tags()[0];
            std::mt19937 rng(bs);
            uint32_t count = 0;
            for (int step = 0; step < 6000; ++step) {
                if (model.empty() || rng() % 3 != 0) {
                    std::string k = "2026120" + std::to_string(rng() % 9) + "Court " +
                                    std::to_string(rng() % 500);
                    k.resize(kl, ' ');
                    ++count;
                    ASSERT_EQ(t.insert(u8(k), count, count), 0);
                    model.insert({k, count});
                } else {
                    auto it = model.begin();
                    std::advance(it, rng() % model.size());
                    ASSERT_EQ(t.remove(u8(it->first), it->second, count), 0);
                    model.erase(it);
                }
                if (step == 4000) {  // empty most of it again: nodes go to the free list
                    while (model.size() > 50) {  // the greatest keys: whole leaves
                        auto it = std::prev(model.end());
                        ASSERT_EQ(t.remove(u8(it->first), it->second, count), 0);
                        model.erase(it);
                    }
                    ASSERT_EQ(ix->flush(), 0);
                    EXPECT_NE(ix->freeHead(), 0u);
                    auto mid = expectEntries("RES", model);
                    ASSERT_EQ(ix->check(count, &mid).text(), "");
                }
            }
            ASSERT_EQ(ix->flush(), 0);
            auto want = expectEntries("RES", model);
            ASSERT_EQ(ix->check(count, &want).text(), "");
            std::vector<uint32_t> fwd;
            for (auto& e : model) fwd.push_back(e.second);
            EXPECT_EQ(treeOrder(t, false), fwd);
            std::reverse(fwd.begin(), fwd.end());
            EXPECT_EQ(treeOrder(t, true), fwd);
        }
        auto b = fileBytes(file);
        EXPECT_EQ(le32(b, 16), 0xABCDu);
        EXPECT_EQ(le32(b, 20), bs);
        EXPECT_EQ(le32(b, 24), mult);
        EXPECT_EQ(le32(b, 1024 + 20), bs);  // in the tag's header too
        // Another handle reads the size from the file and keeps working in it.
        auto ix = openIndex(file, false);
        ASSERT_EQ(ix->open(), 0);
        EXPECT_EQ(ix->blockSize(), bs);
        EXPECT_EQ(ix->multiplier(), mult);
        auto want = expectEntries("RES", model);
        EXPECT_EQ(ix->check(100000, &want).text(), "");
        // A rebuild over many keys fills leaves to block size − 24 and branches to
        // (block size − 12) / (key + 8) entries.
        std::vector<std::string> keys;
        for (uint32_t r = 1; r <= 20000; ++r) {
            std::string k = "K" + std::to_string((r * 7919u) % 20000u);
            k.resize(kl, ' ');
            keys.push_back(k);
        }
        ASSERT_EQ(ix->reindex(20000,
                              [&](Tree&, Sorter& s) {
                                  for (uint32_t r = 1; r <= keys.size(); ++r)
                                      if (int rc = s.add(u8(keys[r - 1]), r)) return rc;
                                  return 0;
                              }),
                  0);
        EXPECT_EQ(ix->check(20000).text(), "");
        std::vector<Entry> all;
        ASSERT_EQ(ix->tags()[0]->entries(all), 0);
        ASSERT_EQ(all.size(), 20000u);
        b = fileBytes(file);
        EXPECT_EQ((b.size() - 2048) % bs, 0u);
        // Walk down the first children: the leftmost branch above the leaves is full.
        uint32_t off = le32(b, 1024);
        uint32_t branch = 0;
        while (!(b[off] & 2)) {
            branch = off;
            size_t e = off + 12 + kl + 4;
            off = (uint32_t(b[e]) << 24) | (b[e + 1] << 16) | (b[e + 2] << 8) | b[e + 3];
        }
        ASSERT_NE(branch, 0u);
        EXPECT_EQ(b[branch + 2] | (b[branch + 3] << 8), (bs - 12) / (kl + 8));
        unsigned freeBytes = b[off + 12] | (b[off + 13] << 8);
        EXPECT_LT(freeBytes, 40u);  // the first leaf is filled before the next is begun
        EXPECT_GT(bs - 24 - freeBytes, 512u);
    }
}

TEST(Index4Layout, ImpossibleSizesAreRefusedAtCreateAndOpen) {
    EXPECT_TRUE(validBlockLayout(512, 1));
    EXPECT_TRUE(validBlockLayout(32768, 1024));
    for (auto [bs, mult] :
         {std::pair{0u, 1u}, std::pair{1000u, 1u}, std::pair{1024u, 0u}, std::pair{1536u, 1024u},
          std::pair{2048u, 2048u}, std::pair{65536u, 1u}, std::pair{1024u, 3u}})
        EXPECT_FALSE(validBlockLayout(bs, mult)) << bs << " " << mult;
    Scratch d;
    fs::path file = d.path / "B.CDX";
    {
        auto ix = openIndex(file, true);
        EXPECT_EQ(ix->setBlockLayout(1000, 1), kErrCorrupt);
        EXPECT_EQ(ix->lastError(), kErrCorrupt);
        EXPECT_EQ(ix->blockSize(), 512u);  // unchanged
        ASSERT_EQ(ix->setBlockLayout(1024, 1), 0);
        ASSERT_EQ(ix->create({nameTag("T", 10)}, 0), 0);
        ASSERT_EQ(ix->tags()[0]->insert(u8("ABCDEFGHIJ"), 1, 1), 0);
        ASSERT_EQ(ix->flush(), 0);
    }
    auto good = fileBytes(file);
    for (auto [at, value] : {std::pair{20, 1536u}, std::pair{20, 0u}, std::pair{24, 3u},
                             std::pair{24, 2048u}, std::pair{20, 65536u}}) {
        auto b = good;
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(value >> (8 * i));
        FILE* f = std::fopen(file.c_str(), "wb");
        std::fwrite(b.data(), 1, b.size(), f);
        std::fclose(f);
        auto ix = openIndex(file, false);
        EXPECT_EQ(ix->open(), kErrCorrupt) << at << " " << value;
    }
}

// The descending seek against a model, with duplicates and 0xFF bytes in keys and texts.
TEST(Index4Layout, SeekLastMatchesTheModel) {
    Scratch d;
    auto ix = openIndex(d.path / "D.CDX", true);
    ASSERT_EQ(ix->create({nameTag("D", 4)}, 0), 0);
    Tree& t = *ix->tags()[0];
    Pos p;
    EXPECT_EQ(t.seekLast(u8("AB"), 2, p), kEof);  // empty tag
    std::mt19937 rng(9);
    const char alphabet[] = {'A', 'B', 'C', '\xFF'};
    auto randomText = [&](size_t n) {
        std::string s;
        for (size_t i = 0; i < n; ++i) s.push_back(alphabet[rng() % 4]);
        return s;
    };
    Model model;
    for (uint32_t r = 1; r <= 3000; ++r) {
        std::string k = randomText(4);
        ASSERT_EQ(t.insert(u8(k), r, 3000), 0);
        model.insert({k, r});
    }
    for (int i = 0; i < 2000; ++i) {
        std::string s = randomText(1 + rng() % 4);
        int rc = t.seekLast(u8(s), s.size(), p);
        // The last entry whose prefix is <= s.
        auto it = std::find_if(model.rbegin(), model.rend(),
                               [&](const auto& e) { return e.first.compare(0, s.size(), s) <= 0; });
        if (it == model.rend()) {
            ASSERT_EQ(rc, kEof) << s;
            continue;
        }
        ASSERT_EQ(p.rec, it->second) << s;
        ASSERT_EQ(rc, it->first.compare(0, s.size(), s) == 0 ? kFound : kAfter) << s;
    }
    std::string top(4, '\xFF');
    ASSERT_EQ(t.seekLast(u8(top), 4, p), model.rbegin()->first == top ? kFound : kAfter);
    EXPECT_EQ(p.rec, model.rbegin()->second);
}

TEST(Index4Layout, GeneralWeightsFoldCaseAndAccentsAndKeepLength) {
    auto weigh = [](std::string s) {
        collateGeneral(reinterpret_cast<uint8_t*>(s.data()), s.size());
        return s;
    };
    EXPECT_LT(weigh("apple "), weigh("Banana"));
    EXPECT_LT(weigh("Banana"), weigh("cherry"));
    EXPECT_EQ(weigh("resume"), weigh("R\xC9SUM\xC9"));
    EXPECT_EQ(weigh("\xE5\xE4\xE0"), weigh("AAA"));
    EXPECT_EQ(weigh("\xE7\xF1\xFF\x9A"), weigh("CNYS"));
    EXPECT_LT(weigh("9"), weigh("A"));
    EXPECT_LT(weigh("!"), weigh("0"));
    EXPECT_LT(weigh(" "), weigh("!"));
    EXPECT_EQ(weigh(" "), std::string(1, '\0'));  // blanks weigh like the pad byte
    EXPECT_EQ(weigh("\xDE"), weigh("T"));
    std::string all;
    for (int c = 1; c < 256; ++c) all.push_back(static_cast<char>(c));
    EXPECT_EQ(weigh(all).size(), all.size());
    // Every letter pair keeps the alphabet's order.
    for (char a = 'A'; a < 'Z'; ++a)
        EXPECT_LT(weigh(std::string(1, a)), weigh(std::string(1, static_cast<char>(a + 1 + 32))));
}

// With 2048-byte nodes a pointer into the middle of a live node is aligned to 512 and
// inside the file, so only the extent of the blocks shows it.
TEST(Index4Layout, CheckerFindsBlocksSharingBytes) {
    Scratch d;
    fs::path file = d.path / "O.CDX";
    uint32_t leaf = 0;
    {
        auto ix = openIndex(file, true);
        ASSERT_EQ(ix->setBlockLayout(2048, 1), 0);
        ASSERT_EQ(ix->create({nameTag("T", 10)}, 0), 0);
        for (uint32_t r = 1; r <= 20; ++r)
            ASSERT_EQ(ix->tags()[0]->insert(u8("KEY" + std::to_string(1000 + r) + "   "), r, 20),
                      0);
        ASSERT_EQ(ix->flush(), 0);
        EXPECT_EQ(ix->check(20).text(), "");
        leaf = ix->directory().root();
    }
    auto b = fileBytes(file);
    uint32_t inside = leaf + 512;  // free list head into the directory leaf
    for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<uint8_t>(inside >> (8 * i));
    b[inside] = b[inside + 1] = b[inside + 2] = b[inside + 3] = 0;  // ends the list there
    FILE* f = std::fopen(file.c_str(), "wb");
    std::fwrite(b.data(), 1, b.size(), f);
    std::fclose(f);
    auto ix = openIndex(file, false);
    ASSERT_EQ(ix->open(), 0);
    std::string text = ix->check(20).text();
    EXPECT_NE(text.find("overlaps block " + std::to_string(leaf)), std::string::npos) << text;
}
