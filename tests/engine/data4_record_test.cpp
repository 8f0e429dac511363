// Record access: assign and read, go, skip, append, delete, pack, flush and close.
#include <gtest/gtest.h>

#include "engine/src/data4impl.h"
#include "tests/engine/data4_testutil.h"

using namespace engine_test;

namespace {

class DataRecord : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(vask4init(&c), 0);
        d = d4create(&c, path().c_str(), exampleFields());
        ASSERT_NE(d, nullptr);
    }
    void TearDown() override { vask4initUndo(&c); }
    std::string path() const { return dir.file("TABLE.DBF"); }
    void fill(int n) {
        for (int i = 1; i <= n; ++i)
            ASSERT_EQ(appendRow(d, {"name" + std::to_string(i), "note",
                                    "1" + std::to_string(i % 10), "30"}),
                      0);
    }
    Vask4 c;
    ScratchDir dir;
    Data4* d = nullptr;
};

TEST_F(DataRecord, AssignPadsAndCutsAndReadKeepsBlanks) {
    const FIELD4INFO f[] = {
        {"A", 'C', 5, 0, 0}, {"B", 'C', 3, 0, 0}, {"OK", 'L', 1, 0, 0}, {nullptr, 0, 0, 0, 0}};
    Data4* t = d4create(&c, dir.file("small").c_str(), f);
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(d4appendStart(t, 0), 0);
    ASSERT_EQ(d4blank(t), 0);
    Field4* a = d4field(t, "A");
    Field4* b = d4field(t, "b");
    ASSERT_EQ(b->assign("xyz"), 0);
    ASSERT_EQ(a->assign("ab"), 0);
    EXPECT_EQ(std::string(f4ptr(a), 5), "ab   ");
    EXPECT_EQ(std::string(a->str()), "ab   ") << "trailing blanks stay";
    ASSERT_EQ(a->assign("1234567"), 0);
    EXPECT_EQ(std::string(f4ptr(a), 5), "12345");
    EXPECT_EQ(std::string(f4ptr(b), 3), "xyz") << "the next field is intact";
    EXPECT_EQ(f4long(a), 12345);
    d4field(t, "OK")->assign("T");
    ASSERT_EQ(d4append(t), 0);
    ASSERT_EQ(d4go(t, 1), 0);
    EXPECT_EQ(fieldText(t, "A"), "12345");
    EXPECT_EQ(fieldText(t, "OK"), "T");
    EXPECT_EQ(std::string(d4record(t), 10), " 12345xyzT");
    d4close(t);
}

TEST_F(DataRecord, AppendToEmptyTableWritesRecordAndCount) {
    ASSERT_EQ(appendRow(d, {"SMITH", "hello", "09", "30"}), 0);
    EXPECT_EQ(d4recNo(d), 1);
    EXPECT_EQ(d4recCount(d), 1);
    // Shared mode: the count is on disk as soon as the append returns.
    std::vector<unsigned char> b = readBytes(path());
    ASSERT_EQ(b.size(), 161u + 106 + 1);
    EXPECT_EQ(le32(b, 4), 1u);
    EXPECT_EQ(b[161], ' ');
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&b[162]), 21), "SMITH                ");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&b[183]), 5), "hello");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&b[263]), 4), "0930");
    EXPECT_EQ(b.back(), 0x1A);
}

TEST_F(DataRecord, GoPastTheEnd) {
    fill(3);
    testing::internal::CaptureStderr();
    EXPECT_EQ(d4go(d, 4), e4read);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "\n\nError Number  -70, 91102\nReading File\ndfile4...()\n\n" + path() + "\n");
    EXPECT_EQ(d4recNo(d), -1);
    EXPECT_EQ(std::string(d4record(d), 106), std::string(106, ' '));
    // The error stands: later calls return -1 until it is cleared.
    EXPECT_EQ(d4go(d, 1), -1);
    EXPECT_EQ(d4top(d), -1);
    error4set(&c, 0);

    c.errGo = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(d4go(d, 4), r4entry);
    EXPECT_EQ(d4go(d, 0), r4entry);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(error4code(&c), 0);
    EXPECT_EQ(d4go(d, 3), 0);
    EXPECT_EQ(fieldText(d, "NAME").substr(0, 5), "name3");
}

TEST_F(DataRecord, TopSkipAndEnds) {
    EXPECT_EQ(d4top(d), r4eof) << "empty table";
    EXPECT_EQ(d4eof(d), 1);
    EXPECT_EQ(d4bof(d), 1);
    fill(3);
    ASSERT_EQ(d4top(d), 0);
    EXPECT_EQ(d4recNo(d), 1);
    EXPECT_EQ(d4skip(d, 2), 0);
    EXPECT_EQ(d4recNo(d), 3);
    EXPECT_EQ(d4skip(d, 1), r4eof);
    EXPECT_EQ(d4recNo(d), 4);
    EXPECT_EQ(d4eof(d), 1);
    EXPECT_EQ(d4skip(d, -1), 0);
    EXPECT_EQ(d4recNo(d), 3);
    EXPECT_EQ(d4skip(d, -5), r4bof);
    EXPECT_EQ(d4recNo(d), 1);
    EXPECT_EQ(d4bof(d), 1);
    EXPECT_EQ(d4bottom(d), 0);
    EXPECT_EQ(d4recNo(d), 3);
    EXPECT_EQ(d4goEof(d), r4eof);
    EXPECT_EQ(d4recNo(d), 4);
    // Without a current record, skip is refused (the error setting off: no report, no exit).
    c.errSkip = 0;
    d4go(d, 1);
    c.errGo = 0;
    d4go(d, 9);
    EXPECT_EQ(d4skip(d, 1), e4info);
}

TEST_F(DataRecord, ChangesAreWrittenWhenMovingOn) {
    fill(2);
    ASSERT_EQ(d4go(d, 1), 0);
    d4field(d, "NOTES")->assign("changed");
    EXPECT_EQ(d4changed(d, -1), 1);
    ASSERT_EQ(d4go(d, 2), 0);  // writes record 1 first
    EXPECT_EQ(d4changed(d, -1), 0);
    ASSERT_EQ(d4go(d, 1), 0);
    EXPECT_EQ(fieldText(d, "NOTES").substr(0, 8), "changed ");
    // blank + assign rewrites the current record in full
    d4blank(d);
    d4field(d, "NAME")->assign("only");
    ASSERT_EQ(d4flush(d), 0);
    std::vector<unsigned char> b = readBytes(path());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&b[161]), 106), " only" + std::string(101, ' '));
}

TEST_F(DataRecord, DeleteTwiceAndRecall) {
    fill(2);
    ASSERT_EQ(d4go(d, 2), 0);
    ASSERT_EQ(d4delete(d), 0);
    EXPECT_EQ(d4deleted(d), 1);
    EXPECT_EQ(d4changed(d, -1), 1);
    ASSERT_EQ(d4flush(d), 0);
    EXPECT_EQ(readBytes(path())[161 + 106], '*');
    ASSERT_EQ(d4go(d, 2), 0);
    EXPECT_EQ(d4deleted(d), 1);
    ASSERT_EQ(d4delete(d), 0);
    EXPECT_EQ(d4changed(d, -1), 0) << "deleting a deleted record changes nothing";
    ASSERT_EQ(d4recall(d), 0);
    EXPECT_EQ(d4deleted(d), 0);
    ASSERT_EQ(d4flush(d), 0);
    EXPECT_EQ(readBytes(path())[161 + 106], ' ');
}

TEST_F(DataRecord, PackAllDeleted) {
    fill(3);
    for (long r = 1; r <= 3; ++r) {
        ASSERT_EQ(d4go(d, r), 0);
        d4delete(d);
    }
    ASSERT_EQ(d4pack(d), 0);
    EXPECT_EQ(d4recCount(d), 0);
    EXPECT_EQ(d4recNo(d), -1);
    EXPECT_EQ(d4bof(d), 1);
    EXPECT_EQ(d4eof(d), 1);
    std::vector<unsigned char> b = readBytes(path());
    ASSERT_EQ(b.size(), 162u);
    EXPECT_EQ(le32(b, 4), 0u);
    EXPECT_EQ(b[161], 0x1A);
}

TEST_F(DataRecord, PackMixedKeepsOrderAcrossBuffers) {
    // Enough records to cross several sequential buffers (32768 / 106 ~ 309 per buffer).
    for (int i = 1; i <= 1000; ++i) ASSERT_EQ(appendRow(d, {"r" + std::to_string(i)}), 0);
    for (long r = 1; r <= 1000; ++r)
        if (r % 3 == 0) {
            ASSERT_EQ(d4go(d, r), 0);
            d4delete(d);
        }
    ASSERT_EQ(d4pack(d), 0);
    ASSERT_EQ(d4recCount(d), 667);
    long rec = 0;
    for (int i = 1; i <= 1000; ++i) {
        if (i % 3 == 0) continue;
        ASSERT_EQ(d4go(d, ++rec), 0);
        ASSERT_EQ(fieldText(d, "NAME"),
                  ("r" + std::to_string(i)).append(21 - 1 - std::to_string(i).size(), ' '));
        ASSERT_EQ(d4deleted(d), 0);
    }
    d4close(d);
    d = nullptr;
    std::vector<unsigned char> b = readBytes(path());
    ASSERT_EQ(b.size(), 161u + 667 * 106 + 1);
    EXPECT_EQ(le32(b, 4), 667u);
    EXPECT_EQ(b.back(), 0x1A);
}

TEST_F(DataRecord, ExclusiveModeDefersTheHeader) {
    fill(1);
    d4close(d);
    c.accessMode = 1;
    d = d4open(&c, path().c_str());
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(appendRow(d, {"x" + std::to_string(i)}), 0);
    EXPECT_EQ(le32(readBytes(path()), 4), 1u) << "count deferred to flush";
    ASSERT_EQ(d4go(d, 300), 0) << "reads see the buffered records";
    EXPECT_EQ(fieldText(d, "NAME").substr(0, 4), "x298");
    ASSERT_EQ(d4flush(d), 0);
    std::vector<unsigned char> b = readBytes(path());
    EXPECT_EQ(le32(b, 4), 501u);
    EXPECT_EQ(b.size(), 161u + 501 * 106 + 1);
    EXPECT_EQ(b.back(), 0x1A);
}

TEST_F(DataRecord, CloseRewritesDateOnlyWhenChanged) {
    d4close(d);
    std::vector<unsigned char> b = readBytes(path());
    b[1] = 99, b[2] = 1, b[3] = 1;
    writeBytes(path(), b);
    d = d4open(&c, path().c_str());
    ASSERT_NE(d, nullptr);
    d4close(d);
    EXPECT_EQ(readBytes(path())[1], 99) << "unchanged table keeps its date";
    d = d4open(&c, path().c_str());
    ASSERT_EQ(appendRow(d, {"a"}), 0);
    d4close(d);
    d = nullptr;
    EXPECT_NE(readBytes(path())[1], 99);
}

TEST_F(DataRecord, MissingHandles) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(d4close(nullptr), e4parmNull);
    EXPECT_EQ(d4go(nullptr, 1), e4parmNull);
    EXPECT_EQ(d4top(nullptr), e4parmNull);
    EXPECT_EQ(d4bottom(nullptr), e4parmNull);
    EXPECT_EQ(d4skip(nullptr, 1), e4parmNull);
    EXPECT_EQ(d4goEof(nullptr), e4parmNull);
    EXPECT_EQ(d4blank(nullptr), e4parmNull);
    EXPECT_EQ(d4appendStart(nullptr), e4parmNull);
    EXPECT_EQ(d4append(nullptr), e4parmNull);
    EXPECT_EQ(d4delete(nullptr), e4parmNull);
    EXPECT_EQ(d4flush(nullptr), e4parmNull);
    EXPECT_EQ(d4pack(nullptr), e4parmNull);
    EXPECT_EQ(d4recNo(nullptr), e4parmNull);
    EXPECT_EQ(d4recCount(nullptr), e4parmNull);
    EXPECT_EQ(d4numFields(nullptr), e4parmNull);
    EXPECT_EQ(d4deleted(nullptr), e4parmNull);
    EXPECT_EQ(d4seek(nullptr, "A"), e4parmNull);
    EXPECT_EQ(d4tagSelect(nullptr, nullptr), e4parmNull);
    EXPECT_EQ(d4lock(nullptr, 1), e4parmNull);
    EXPECT_EQ(d4unlock(nullptr), e4parmNull);
    EXPECT_EQ(d4field(nullptr, "A"), nullptr);
    EXPECT_EQ(d4fieldJ(nullptr, 1), nullptr);
    EXPECT_EQ(f4len(nullptr), e4parmNull);
    EXPECT_EQ(f4assign(nullptr, "x"), e4parmNull);
    EXPECT_EQ(d4open(nullptr, "x"), nullptr);
    EXPECT_EQ(d4create(&c, nullptr, exampleFields()), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Null Input Parameter unexpected"), std::string::npos);
}

TEST_F(DataRecord, FieldLookupAndNoTag) {
    EXPECT_EQ(d4field(d, "notes"), d4fieldJ(d, 2));
    EXPECT_EQ(d4fieldJ(d, 5), nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(d4field(d, "NOPE"), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(error4code(&c), e4fieldName);
    EXPECT_NE(err.find("Unrecognized Field Name"), std::string::npos);
    EXPECT_NE(err.find("NOPE"), std::string::npos);
    error4set(&c, 0);
    fill(1);
    EXPECT_EQ(d4seek(d, "name1"), r4noTag);
    EXPECT_EQ(d4tagSelect(d, nullptr), 0);
    EXPECT_EQ(d4tagSelected(d), nullptr);
}

TEST_F(DataRecord, LockEnforceRefusesUnlockedChanges) {
    fill(1);
    ASSERT_EQ(d4unlock(d), 0);  // the append left the new record locked
    ASSERT_EQ(d4go(d, 1), 0);
    c.lockEnforce = 1;
    c.errOff = 1;
    EXPECT_EQ(d4field(d, "NAME")->assign("zzz"), e4lock);
    EXPECT_EQ(fieldText(d, "NAME").substr(0, 5), "name1") << "buffer unchanged";
    EXPECT_EQ(d4changed(d, -1), 0);
    error4set(&c, 0);
    EXPECT_EQ(d4delete(d), e4lock);
    error4set(&c, 0);
    ASSERT_EQ(d4lock(d, 1), 0);
    EXPECT_EQ(d4field(d, "NAME")->assign("zzz"), 0);
    EXPECT_EQ(d4unlock(d), 0);
    ASSERT_EQ(d4go(d, 1), 0);
    EXPECT_EQ(fieldText(d, "NAME").substr(0, 4), "zzz ");
}

TEST_F(DataRecord, WritingWithoutCurrentRecordFails) {
    c.errOff = 1;
    d4blank(d);  // no current record
    EXPECT_EQ(d4flush(d), e4write);
    EXPECT_EQ(c.errorLocation, L4_writeNoRecord);
}

}  // namespace
