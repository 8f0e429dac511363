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

namespace {

TEST_F(DataCreate, FieldWidthsAndNaming) {
    // A C field wider than 255 keeps its width in bytes 16-17; L is one byte wide.
    const FIELD4INFO f[] = {{"text", 'c', 300, 0, 0},        {"ok", 'L', 7, 3, 0},
                            {"AMOUNT", 'N', 10, 2, 0},       {"DAY", 'D', 0, 0, 0},
                            {"AVERYLONGNAME", 'C', 3, 0, 0}, {nullptr, 0, 0, 0, 0}};
    std::string base = dir.file("Mixed Case");
    Data4* d = d4create(&c, base.c_str(), f);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(std::string(d4fileName(d)), dir.path() + "/MIXED CASE.DBF");
    EXPECT_EQ(d4recWidth(d), 1 + 300 + 1 + 10 + 8 + 3);
    EXPECT_EQ(f4len(d4field(d, "TEXT")), 300);
    EXPECT_EQ(f4len(d4field(d, "ok")), 1);
    EXPECT_EQ(f4decimals(d4field(d, "OK")), 0);
    EXPECT_EQ(f4decimals(d4field(d, "AMOUNT")), 2);
    EXPECT_EQ(f4len(d4field(d, "DAY")), 8);
    EXPECT_EQ(std::string(f4name(d4fieldJ(d, 5))), "AVERYLONGN");
    ASSERT_EQ(d4close(d), 0);
    std::vector<unsigned char> b = readBytes(dir.path() + "/MIXED CASE.DBF");
    ASSERT_GE(b.size(), 32u + 5 * 32 + 2);
    EXPECT_EQ(b[32 + 11], 'C');
    EXPECT_EQ(b[32 + 16], 300 & 0xFF);
    EXPECT_EQ(b[32 + 17], 300 >> 8);
    EXPECT_EQ(b[64 + 16], 1);
    EXPECT_EQ(b[64 + 17], 0);

    // The folder part keeps its case; a name with an extension keeps it.
    ScratchDir other;
    std::string sub = other.file("Sub");
    ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
    d = d4create(&c, (sub + "/data.dat").c_str(), exampleFields());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(std::string(d4fileName(d)), sub + "/DATA.DAT");
    d4close(d);
    EXPECT_EQ(access((sub + "/DATA.DAT").c_str(), F_OK), 0);
}

TEST_F(DataCreate, RefusedDefinitions) {
    const FIELD4INFO unknown[] = {{"A", 'C', 5, 0, 0}, {"B", 'K', 4, 0, 0}, {nullptr, 0, 0, 0, 0}};
    testing::internal::CaptureStderr();
    EXPECT_EQ(d4create(&c, dir.file("u").c_str(), unknown), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(error4code(&c), e4fieldType);
    EXPECT_NE(err.find("Unrecognized Field Type"), std::string::npos);
    EXPECT_NE(access(dir.file("U.DBF").c_str(), F_OK), 0) << "nothing may be created";

    error4set(&c, 0);
    c.errOff = 1;
    // Level-30-only types and null-capable fields in level 25.
    const FIELD4INFO binary[] = {{"N", 'I', 4, 0, 0}, {nullptr, 0, 0, 0, 0}};
    EXPECT_EQ(d4create(&c, dir.file("i").c_str(), binary), nullptr);
    EXPECT_EQ(error4code(&c), e4data);
    error4set(&c, 0);
    const FIELD4INFO nullable[] = {{"N", 'C', 4, 0, r4null}, {nullptr, 0, 0, 0, 0}};
    EXPECT_EQ(d4create(&c, dir.file("n").c_str(), nullable), nullptr);
    EXPECT_EQ(error4code(&c), e4data);
    error4set(&c, 0);
    // Record length 65535 and more.
    const FIELD4INFO huge[] = {
        {"A", 'C', 65000, 0, 0}, {"B", 'C', 534, 0, 0}, {nullptr, 0, 0, 0, 0}};
    EXPECT_EQ(d4create(&c, dir.file("h").c_str(), huge), nullptr);
    EXPECT_EQ(error4code(&c), e4recordLen);
    error4set(&c, 0);
    const FIELD4INFO fits[] = {
        {"A", 'C', 65000, 0, 0}, {"B", 'C', 533, 0, 0}, {nullptr, 0, 0, 0, 0}};
    Data4* d = d4create(&c, dir.file("h").c_str(), fits);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d4recWidth(d), 65534);
    d4close(d);
}

TEST_F(DataCreate, ExistingFileIsKeptOrReplaced) {
    Data4* d = d4create(&c, dir.file("keep").c_str(), exampleFields());
    ASSERT_NE(d, nullptr);
    appendRow(d, {"A"});
    d4close(d);
    const std::vector<unsigned char> before = readBytes(dir.file("KEEP.DBF"));

    testing::internal::CaptureStderr();
    EXPECT_EQ(d4create(&c, dir.file("keep").c_str(), exampleFields()), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(error4code(&c), e4create);
    EXPECT_NE(err.find("Creating File"), std::string::npos);
    EXPECT_NE(err.find(dir.file("KEEP.DBF")), std::string::npos);
    EXPECT_EQ(readBytes(dir.file("KEEP.DBF")), before);

    error4set(&c, 0);
    c.errCreate = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(d4create(&c, dir.file("keep").c_str(), exampleFields()), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(error4code(&c), r4noCreate);
    EXPECT_EQ(readBytes(dir.file("KEEP.DBF")), before);

    // A second create of a table open in this context is refused too.
    error4set(&c, 0);
    Data4* open = d4open(&c, dir.file("keep").c_str());
    ASSERT_NE(open, nullptr);
    c.safety = 0;
    EXPECT_EQ(d4create(&c, dir.file("keep").c_str(), exampleFields()), nullptr);
    EXPECT_EQ(error4code(&c), r4noCreate);
    d4close(open);

    error4set(&c, 0);
    d = d4create(&c, dir.file("keep").c_str(), exampleFields());
    ASSERT_NE(d, nullptr) << "with safety off the file is replaced";
    EXPECT_EQ(d4recCount(d), 0);
    d4close(d);
    EXPECT_EQ(readBytes(dir.file("KEEP.DBF")).size(), 162u);
}

TEST_F(DataCreate, Level30Forms) {
    c.compatibility = 30;
    const FIELD4INFO f[] = {{"NAME", 'C', 10, 0, r4null}, {"NOTE", 'M', 10, 0, 0},
                            {"PRICE", 'Y', 0, 0, 0},      {"COUNT", 'I', 0, 0, 0},
                            {"RATE", 'B', 0, 3, 0},       {"BLOB", 'O', 5, 0, 0},
                            {"WIDE", 'Z', 7, 0, r4null},  {nullptr, 0, 0, 0, 0}};
    Data4* d = d4create(&c, dir.file("vfp").c_str(), f);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d4numFields(d), 7) << "_NullFlags is not counted";
    ASSERT_EQ(d4close(d), 0);
    std::vector<unsigned char> b = readBytes(dir.file("VFP.DBF"));
    const unsigned fields = 8;  // the seven plus _NullFlags
    const unsigned headerLen = 32 * 7 + 296 + 32;
    ASSERT_EQ(b.size(), headerLen) << "no end-of-file byte after the backlink area";
    EXPECT_EQ(b[0], 0x30);
    EXPECT_EQ(le16(b, 8), headerLen);
    EXPECT_EQ(b[28], 2) << "memo flag";
    struct Expect {
        const char* name;
        char type;
        unsigned w, dec, flags;
    } e[] = {{"NAME", 'C', 10, 0, 2}, {"NOTE", 'M', 4, 0, 0},      {"PRICE", 'Y', 8, 4, 4},
             {"COUNT", 'I', 4, 0, 4}, {"RATE", 'B', 8, 3, 4},      {"BLOB", 'O', 8, 0, 4},
             {"WIDE", 'C', 7, 0, 6},  {"_NullFlags", '0', 1, 0, 5}};
    unsigned rec = 1;
    for (unsigned i = 0; i < fields; ++i) {
        size_t at = 32 + 32 * i;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[at])), e[i].name);
        EXPECT_EQ(b[at + 11], e[i].type) << e[i].name;
        EXPECT_EQ(le32(b, at + 12), rec) << e[i].name;
        EXPECT_EQ(b[at + 16], e[i].w) << e[i].name;
        EXPECT_EQ(b[at + 17], e[i].dec) << e[i].name;
        EXPECT_EQ(b[at + 18], e[i].flags) << e[i].name;
        rec += e[i].w;
    }
    EXPECT_EQ(le16(b, 10), rec);
    EXPECT_EQ(b[32 + 32 * fields], 0x0D);
    for (unsigned i = 32 + 32 * fields + 1; i < headerLen; ++i) ASSERT_EQ(b[i], 0) << i;
    // The memo file exists with its header.
    std::vector<unsigned char> m = readBytes(dir.file("VFP.FPT"));
    ASSERT_EQ(m.size(), 512u);
    EXPECT_EQ(m[3], 1);
    EXPECT_EQ((m[6] << 8) | m[7], 512);

    // It opens again and takes records.
    c.compatibility = 25;
    d = d4open(&c, dir.file("vfp").c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d4numFields(d), 7);
    ASSERT_EQ(d4appendStart(d, 0), 0);
    d4blank(d);
    d4field(d, "NAME")->assign("abc");
    ASSERT_EQ(d4append(d), 0);
    EXPECT_EQ(fieldText(d, "NAME"), "abc       ");
    EXPECT_EQ(f4null(d4field(d, "NAME")), 0);
    d4close(d);
    EXPECT_EQ(readBytes(dir.file("VFP.DBF")).size(), headerLen + rec + 1);
}

}  // namespace

TEST_F(DataCreate, BlankLevel30RecordHasNoNullFields) {
    // Enough null-capable fields to reach bit 5 of the flag byte (the blank's 0x20) and a
    // second flag byte.
    c.compatibility = 30;
    std::vector<std::string> names;
    std::vector<FIELD4INFO> f;
    for (int i = 0; i < 10; ++i) names.push_back("F" + std::to_string(i));
    for (const std::string& n : names) f.push_back({n.c_str(), 'C', 4, 0, r4null});
    f.push_back({nullptr, 0, 0, 0, 0});
    Data4* d = d4create(&c, dir.file("nulls").c_str(), f.data());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4appendStart(d, 0), 0);
    ASSERT_EQ(d4blank(d), 0);
    for (const std::string& n : names) EXPECT_EQ(f4null(d4field(d, n.c_str())), 0) << n;
    ASSERT_EQ(d4append(d), 0);
    ASSERT_EQ(d4close(d), 0);
    d = d4open(&c, dir.file("nulls").c_str());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4go(d, 1), 0);
    for (const std::string& n : names) EXPECT_EQ(f4null(d4field(d, n.c_str())), 0) << n;
    d4close(d);
}
