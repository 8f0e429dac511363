// Open: every header check refuses a damaged file with its error, leaves nothing open and
// changes nothing in the file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

#include "engine/src/data4impl.h"
#include "engine/src/vask4impl.h"
#include "tests/engine/data4_testutil.h"

using namespace engine_test;

namespace {

class DataOpen : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(vask4init(&c), 0);
        Data4* d = d4create(&c, path().c_str(), exampleFields());
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(appendRow(d, {"ONE"}), 0);
        ASSERT_EQ(d4close(d), 0);
        good = readBytes(path());
        ASSERT_EQ(good.size(), 161u + 106 + 1);
    }
    void TearDown() override { vask4initUndo(&c); }
    std::string path() const { return dir.file("T.DBF"); }

    // Writes a damaged copy, opens it in the given mode and checks the refusal.
    void expectRefused(const char* what, std::function<void(std::vector<unsigned char>&)> damage,
                       int code, int mode = 0) {
        SCOPED_TRACE(what);
        std::vector<unsigned char> b = good;
        damage(b);
        writeBytes(path(), b);
        error4set(&c, 0);
        c.accessMode = mode;
        testing::internal::CaptureStderr();
        Data4* d = d4open(&c, path().c_str());
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(d, nullptr);
        if (d) d4close(d);
        EXPECT_EQ(error4code(&c), code);
        EXPECT_NE(err.find(error4text(code)), std::string::npos) << err;
        EXPECT_NE(err.find(path()), std::string::npos) << err;
        EXPECT_TRUE(c.impl->tables.empty());
        EXPECT_TRUE(c.impl->files.empty());
        EXPECT_EQ(readBytes(path()), b) << "the file must not change";
        c.accessMode = 0;
        error4set(&c, 0);
    }

    Vask4 c;
    ScratchDir dir;
    std::vector<unsigned char> good;
};

TEST_F(DataOpen, DamagedHeadersAreRefused) {
    expectRefused(
        "shorter than a header", [](auto& b) { b.resize(20); }, e4data);
    expectRefused(
        "text file",
        [](auto& b) {
            std::string t = "This is a plain text file and not a table at all, sorry.\n";
            b.assign(t.begin(), t.end());
        },
        e4data);
    expectRefused(
        "record length 0", [](auto& b) { b[10] = b[11] = 0; }, e4data);
    expectRefused(
        "widths do not add up", [](auto& b) { b[10] = 107; }, e4data);
    expectRefused(
        "unknown field type", [](auto& b) { b[32 + 32 + 11] = 'K'; }, e4fieldType);
    expectRefused(
        "date-time in a level-25 file", [](auto& b) { b[32 + 11] = 'T'; }, e4fieldType);
    expectRefused(
        "header beyond the file", [](auto& b) { b[8] = 0x60, b[9] = 0xEA; }, e4data);
    expectRefused(
        "header too short for a terminator", [](auto& b) { b[8] = 32, b[9] = 0; }, e4data);
    expectRefused(
        "truncated descriptor array", [](auto& b) { b[8] = 112, b[9] = 0; }, e4data);
    expectRefused(
        "no terminator", [](auto& b) { b[160] = 'X'; }, e4data);
    expectRefused(
        "field wider than the record", [](auto& b) { b[32 + 16] = 200; }, e4data);
}

TEST_F(DataOpen, CountMustMatchTheLengthOutsideSharedMode) {
    auto wrongCount = [](std::vector<unsigned char>& b) { b[4] = 5; };
    expectRefused("exclusive", wrongCount, e4data, 1);
    expectRefused("deny write", wrongCount, e4data, 2);
    // Shared mode accepts it; reads past the real end behave as the end of the table.
    std::vector<unsigned char> b = good;
    wrongCount(b);
    writeBytes(path(), b);
    Data4* d = d4open(&c, path().c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d4recCount(d), 5);
    ASSERT_EQ(d4top(d), 0);
    EXPECT_EQ(d4skip(d, 1), r4eof);
    c.errOff = 1;
    EXPECT_EQ(d4go(d, 3), e4read);
    d4close(d);
    // A file without the end-of-file byte is counted the same.
    b = good;
    b.pop_back();
    writeBytes(path(), b);
    error4set(&c, 0);
    c.accessMode = 1;
    d = d4open(&c, path().c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d4recCount(d), 1);
    d4close(d);
}

// A count far beyond the file (shared mode opens it) must never make a write land past the
// end: the append would otherwise leave a file of count x record length bytes behind.
TEST_F(DataOpen, CountBeyondTheFileRefusesAppendAndPack) {
    std::vector<unsigned char> b = good;
    b[4] = 0x00, b[5] = 0x00, b[6] = 0x00, b[7] = 0x60;  // 1.6 thousand million records
    writeBytes(path(), b);
    Data4* d = d4open(&c, path().c_str());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4go(d, 1), 0);
    EXPECT_EQ(fieldText(d, "NAME").substr(0, 3), "ONE") << "the records that exist still read";
    ASSERT_EQ(d4appendStart(d, 0), 0);
    ASSERT_EQ(d4blank(d), 0);
    d4field(d, "NAME")->assign("NEW");
    // Checked by size first: should the guard ever fail, the file is far too big to read in.
    auto size = [this] {
        struct stat st {};
        return stat(path().c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
    };
    testing::internal::CaptureStderr();
    int r = d4append(d);
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(size(), static_cast<long long>(b.size())) << "nothing may be written";
    ASSERT_EQ(r, e4data);
    EXPECT_NE(err.find("File is not a Data File\ndatabase corruption detected\n\n" + path()),
              std::string::npos)
        << err;
    EXPECT_EQ(readBytes(path()), b);
    error4set(&c, 0);
    c.errOff = 1;
    EXPECT_EQ(d4pack(d), e4data);
    ASSERT_EQ(size(), static_cast<long long>(b.size()));
    EXPECT_EQ(readBytes(path()), b);
    error4set(&c, 0);
    // Closed with the refused pack's locks still held: the close releases them.
    EXPECT_EQ(d4close(d), 0);
    EXPECT_EQ(readBytes(path()), b) << "close must not rewrite the header either";
    // With the extended-offset setting the open skips its checks; the write guard still holds.
    c.largeOffset = 1;
    d = d4open(&c, path().c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(appendRow(d, {"NEW"}), e4data);
    ASSERT_EQ(size(), static_cast<long long>(b.size()));
    error4set(&c, 0);
    d4close(d);
    EXPECT_EQ(readBytes(path()), b);
}

// A crash between the record write and the header write leaves a count short of the file.
// Shared mode keeps working: the next append goes at count + 1, over the partial record.
TEST_F(DataOpen, CountShortOfTheFileAppendsOverThePartialRecord) {
    std::vector<unsigned char> b = good;
    b.pop_back();                // the end-of-file byte
    b.insert(b.end(), 50, 'Z');  // half of a second record, the header still says 1
    writeBytes(path(), b);
    Data4* d = d4open(&c, path().c_str());
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d4recCount(d), 1);
    ASSERT_EQ(appendRow(d, {"TWO"}), 0);
    EXPECT_EQ(d4recNo(d), 2);
    ASSERT_EQ(d4flush(d), 0);
    d4unlock(d);
    std::vector<unsigned char> now = readBytes(path());
    ASSERT_EQ(now.size(), 161u + 2 * 106 + 1);
    EXPECT_EQ(le32(now, 4), 2u);
    EXPECT_EQ(now[161 + 106], ' ');
    EXPECT_EQ(std::string(now.begin() + 161 + 106 + 1, now.begin() + 161 + 106 + 4), "TWO");
    EXPECT_EQ(std::string(now.begin() + 161 + 106 + 4, now.begin() + 161 + 106 + 22),
              std::string(18, ' '))
        << "no byte of the partial record may survive";
    EXPECT_EQ(now.back(), 0x1A);
    ASSERT_EQ(d4pack(d), 0);
    EXPECT_EQ(d4recCount(d), 2);
    d4close(d);
}

TEST_F(DataOpen, MissingFilesAndModes) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(d4open(&c, dir.file("nothere").c_str()), nullptr);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(error4code(&c), e4open);
    EXPECT_NE(err.find("Opening File\nfile4open\n"), std::string::npos) << err;
    EXPECT_NE(err.find(dir.file("NOTHERE.DBF")), std::string::npos);

    error4set(&c, 0);
    c.errOpen = 0;
    testing::internal::CaptureStderr();
    EXPECT_EQ(d4open(&c, dir.file("nothere").c_str()), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(error4code(&c), r4noOpen);
    // A standing positive code does not stop the next call.
    Data4* d = d4open(&c, path().c_str());
    ASSERT_NE(d, nullptr);
    d4close(d);

    error4set(&c, 0);
    c.errOpen = 1;
    c.errOff = 1;
    c.accessMode = 3;
    EXPECT_EQ(d4open(&c, path().c_str()), nullptr);
    EXPECT_EQ(error4code(&c), e4open);
    error4set(&c, 0);
    EXPECT_EQ(d4create(&c, dir.file("new").c_str(), exampleFields()), nullptr);
    EXPECT_EQ(error4code(&c), r4noCreate);
    EXPECT_NE(access(dir.file("NEW.DBF").c_str(), F_OK), 0);

    // A second opening in one context shares the file but may not be more restrictive.
    error4set(&c, 0);
    c.accessMode = 0;
    Data4* a = d4open(&c, path().c_str());
    ASSERT_NE(a, nullptr);
    c.accessMode = 1;
    EXPECT_EQ(d4open(&c, path().c_str()), nullptr);
    EXPECT_EQ(error4code(&c), e4open);
    error4set(&c, 0);
    c.accessMode = 0;
    Data4* b = d4open(&c, path().c_str());
    ASSERT_NE(b, nullptr);
    ASSERT_EQ(appendRow(b, {"TWO"}), 0);
    EXPECT_EQ(d4recCount(a), 2) << "both handles see one file";
    EXPECT_EQ(c.impl->files.size(), 1u);
    d4close(b);
    d4close(a);
    EXPECT_TRUE(c.impl->files.empty());
}

TEST_F(DataOpen, ReadOnlyTablesRefuseWrites) {
    c.readOnly = 1;
    Data4* d = d4open(&c, path().c_str());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4go(d, 1), 0);
    EXPECT_EQ(fieldText(d, "NAME").substr(0, 3), "ONE");
    c.errOff = 1;
    d4field(d, "NAME")->assign("X");
    EXPECT_EQ(d4flush(d), e4write);
    error4set(&c, 0);
    EXPECT_EQ(d4pack(d), e4write);
    error4set(&c, 0);
    d4changed(d, 0);
    d4close(d);
    EXPECT_EQ(readBytes(path()), good);
}

}  // namespace
