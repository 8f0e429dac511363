// A read front to back of a file larger than the blocks it keeps behind it reuses their memory:
// whatever order the records are read in afterwards, each must come back as written.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/data4.h"
#include "engine/field4.h"
#include "tests/engine/data4_testutil.h"

namespace {

using engine_test::appendRow;
using engine_test::ScratchDir;

const FIELD4INFO kWide[] = {{"N", 'C', 8, 0, 0}, {"PAD", 'C', 120, 0, 0}, {nullptr, 0, 0, 0, 0}};
constexpr long kRecords = 20000;  // about 2.5 MB: forty 64 KiB blocks

std::string number(long i) {
    char b[32];
    std::snprintf(b, sizeof b, "%08ld", i);
    return b;
}

TEST(File4Scan, BlocksReusedBehindAScanServeTheRightBytes) {
    ScratchDir dir;
    const std::string path = dir.file("wide");
    {
        Vask4 c;
        vask4init(&c);
        c.accessMode = 1;
        Data4* d = d4create(&c, path.c_str(), kWide);
        ASSERT_NE(d, nullptr);
        for (long i = 1; i <= kRecords; ++i)
            ASSERT_EQ(appendRow(d, {number(i), std::string(120, char('a' + i % 26))}), 0);
        ASSERT_EQ(d4close(d), 0);
        vask4initUndo(&c);
    }
    for (int mode : {1, 2}) {  // exclusive and deny-write: the modes with the block cache
        Vask4 c;
        vask4init(&c);
        c.accessMode = mode;
        Data4* d = d4open(&c, path.c_str());
        ASSERT_NE(d, nullptr);
        Field4* n = d4field(d, "N");
        Field4* pad = d4field(d, "PAD");
        long seen = 0;
        for (int r = d4top(d); r == 0; r = d4skip(d, 1)) {
            ++seen;
            ASSERT_EQ(std::string(f4ptr(n), 8), number(seen)) << "mode " << mode;
            ASSERT_EQ(f4ptr(pad)[119], char('a' + seen % 26));
        }
        EXPECT_EQ(seen, kRecords);
        // Backwards and by jumps: blocks given up behind the scan are read again.
        for (long i = kRecords; i >= 1; i -= 997) {
            ASSERT_EQ(d4go(d, i), 0);
            ASSERT_EQ(std::string(f4ptr(n), 8), number(i)) << "mode " << mode;
        }
        d4close(d);
        vask4initUndo(&c);
    }
}

}  // namespace
