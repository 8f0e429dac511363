// Create: exact header and descriptor bytes, widths, level-30 forms and refusals.
#include <gtest/gtest.h>

#include "engine/clock4.h"
#include "tests/engine/data4_testutil.h"

using namespace engine_test;

namespace {

class DataCreate : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 0), 0);
        // 2026-03-09 12:00 local time
        std::tm tm{};
        tm.tm_year = 126;
        tm.tm_mon = 2;
        tm.tm_mday = 9;
        tm.tm_hour = 12;
        tm.tm_isdst = -1;
        std::int64_t t = std::mktime(&tm);
        clock4set([t] { return t; });
    }
    void TearDown() override {
        vask4initUndo(&c);
        clock4set({});
    }
    Vask4 c;
    ScratchDir dir;
};

TEST_F(DataCreate, ExampleTableHeaderAndDescriptorBytes) {
    Data4* d = d4create(&c, dir.file("example").c_str(), exampleFields());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d4recCount(d), 0);
    EXPECT_EQ(d4numFields(d), 4);
    ASSERT_EQ(d4close(d), 0);

    std::vector<unsigned char> b = readBytes(dir.file("EXAMPLE.DBF"));
    ASSERT_EQ(b.size(), 162u);
    EXPECT_EQ(b[0], 0x03);
    EXPECT_EQ(b[1], 26);
    EXPECT_EQ(b[2], 3);
    EXPECT_EQ(b[3], 9);
    EXPECT_EQ(le32(b, 4), 0u);
    EXPECT_EQ(le16(b, 8), 161u);
    EXPECT_EQ(le16(b, 10), 106u);
    for (int i = 12; i < 32; ++i) EXPECT_EQ(b[i], 0) << "header byte " << i;
    const char* names[] = {"NAME", "NOTES", "HH", "MM"};
    unsigned widths[] = {21, 80, 2, 2};
    unsigned offset = 1;
    for (int f = 0; f < 4; ++f) {
        size_t at = 32 + 32 * f;
        std::string name(reinterpret_cast<const char*>(&b[at]));
        EXPECT_EQ(name, names[f]);
        for (size_t i = name.size(); i < 11; ++i) EXPECT_EQ(b[at + i], 0);
        EXPECT_EQ(b[at + 11], 'C');
        EXPECT_EQ(le32(b, at + 12), offset);
        EXPECT_EQ(b[at + 16], widths[f]);
        EXPECT_EQ(b[at + 17], 0);
        for (int i = 18; i < 32; ++i) EXPECT_EQ(b[at + i], 0);
        offset += widths[f];
    }
    EXPECT_EQ(b[160], 0x0D);
    EXPECT_EQ(b[161], 0x1A);
}
}  // namespace
