// The bytes a leaf uses, as an insert carries them from one key to the next, must always be
// what counting the whole leaf gives: a leaf that believes it has room overflows its block.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/cdx4.h"
#include "tests/engine/index4_testutil.h"

using namespace cdx4;

namespace {

// Keys with long shared prefixes, trailing blanks and neither, in random order and in order,
// with removals in between: every compression case of an entry and of its follower.
struct UsedCase {
    const char* what;
    bool sorted;
    bool removals;
};
const UsedCase kUsedCases[] = {
    {"random order", false, false}, {"in order", true, false}, {"with removals", false, true}};

TEST(Index4Used, CarriedLeafSizeEqualsACountOfTheWholeLeaf) {
    for (const UsedCase& c : kUsedCases) {
        SCOPED_TRACE(c.what);
        index_test::TempDir dir;
        auto ix = index_test::openIndex(dir.path / "U.CDX", true);
        ASSERT_TRUE(ix);
        TagDef d;
        d.name = "U";
        d.keyExpr = "NAME";
        d.keyLen = 24;
        ASSERT_EQ(ix->create({d}, 0), 0);
        ix->setWriteBack(true);
        Tree& t = *ix->tags()[0];
        std::mt19937 rng(7);
        for (uint32_t r = 1; r <= 3000; ++r) {
            uint32_t k = c.sorted ? r : static_cast<uint32_t>(rng() % 100000);
            std::string key =
                "PREFIX" + std::to_string(k % 7) + std::string(k % 5, 'x') + std::to_string(k);
            key.resize(24, ' ');
            ASSERT_EQ(t.insert(index_test::u8(key), r, 3000), 0);
            if (c.removals && r % 3 == 0) {
                ASSERT_EQ(t.remove(index_test::u8(key), r, 3000), 0);
            }
        }
        Pos pos;
        ASSERT_EQ(t.top(pos), 0);
        size_t known = 0;
        for (uint64_t off = pos.leaf; off != kNoLink;) {
            const Node* n = ix->cached(off);
            ASSERT_NE(n, nullptr);
            if (n->usedBytes >= 0) {
                ++known;
                EXPECT_EQ(static_cast<size_t>(n->usedBytes),
                          leafUsedBytes(*n, n->usedGeom, 24, ' '));
            }
            off = n->right;
        }
        EXPECT_GT(known, 0u);
        EXPECT_EQ(ix->flush(), 0);  // every leaf still fits its block
        EXPECT_TRUE(ix->check(3000).ok());
    }
}

}  // namespace
