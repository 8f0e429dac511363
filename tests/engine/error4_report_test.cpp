// The error report on standard error, the code and location tables, silent errors and the
// codes that end the process.
#include <gtest/gtest.h>

#include "engine/error4.h"
#include "tests/engine/data4_testutil.h"

using namespace engine_test;

namespace {

std::string report(Vask4* c, int code, long location, const char* s1 = nullptr,
                   const char* s2 = nullptr, const char* s3 = nullptr) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(error4describe(c, code, location, s1, s2, s3), code);
    return testing::internal::GetCapturedStderr();
}

TEST(ErrorReport, LayoutAndTables) {
    Vask4 c;
    ASSERT_EQ(vask4init(&c, VASK4_VERSION, 0, 1), 0);
    EXPECT_EQ(report(&c, -70, 90130, "A.DBF"),
              "\n\nError Number  -70, 91102\nReading File\ndfile4...()\n\nA.DBF\n");
    EXPECT_EQ(error4code(&c), -70);
    EXPECT_EQ(c.errorLocation, 90130);
    EXPECT_EQ(report(&c, -20, 90142, "a", "b", "c"),
              "\n\nError Number  -20, 91401\nCreating File\nd4create\n\na\nb\nc\n");
    EXPECT_EQ(report(&c, -310, 80097),
              "\n\nError Number  -310, 81714\nNot a Correct Index File\n"
              "root <= 0L, or typeCode < 32\n\n");
    EXPECT_EQ(report(&c, -12345, 12),
              "\n\nError Number  -12345, 12\nInvalid or Unknown Error Code\n"
              "Invalid or Unknown Error Code\n\n");
    // Positions beyond each table's size are unknown too.
    long n = 0;
    EXPECT_EQ(error4locationText(90524, &n), nullptr);
    EXPECT_EQ(error4locationText(90525, &n), nullptr);
    EXPECT_STREQ(error4locationText(90307, &n), "d4open");
    EXPECT_EQ(n, 94301);
    EXPECT_STREQ(error4locationText(60039, &n), "Str4::assign");
    EXPECT_EQ(n, 61012);
    EXPECT_STREQ(error4locationText(80177, &n), "skip must be made from valid record number");
    EXPECT_EQ(n, 84801);
    // The code table, spot checks across its groups.
    EXPECT_STREQ(error4text(-250), "Seeking to File Position");
    EXPECT_STREQ(error4text(-935), "Null Input Parameter unexpected");
    EXPECT_STREQ(error4text(-1095), "Application/Library version mismatch");
    EXPECT_STREQ(error4text(-2110), "Server Configuration Failure");
    EXPECT_EQ(error4text(-100), nullptr);
    // Code 0 prints nothing.
    EXPECT_EQ(report(&c, 0, 90307), "");
}

TEST(ErrorReport, EveryLocationTheEngineUsesHasAText) {
    const long used[] = {L4_vask4init,       L4_d4create,        L4_d4open,
                         L4_d4close,         L4_d4field,         L4_d4numFields,
                         L4_d4recCount,      L4_d4recNo,         L4_d4go,
                         L4_d4goEof,         L4_d4top,           L4_d4bottom,
                         L4_d4skip,          L4_d4seek,          L4_d4blank,
                         L4_d4appendStart,   L4_d4append,        L4_d4delete,
                         L4_d4recall,        L4_d4deleted,       L4_d4changed,
                         L4_d4flush,         L4_d4update,        L4_d4write,
                         L4_d4pack,          L4_d4tag,           L4_d4tagSelect,
                         L4_d4tagSelected,   L4_d4reindex,       L4_t4uniqueSet,
                         L4_d4lock,          L4_d4lockAll,       L4_d4lockAppend,
                         L4_d4lockFile,      L4_d4lockTest,      L4_d4unlock,
                         L4_i4create,        L4_i4open,          L4_file4close,
                         L4_file4create,     L4_file4flush,      L4_file4len,
                         L4_file4lenSet,     L4_file4read,       L4_file4lock,
                         L4_file4unlock,     L4_file4open,       L4_file4write,
                         L4_file4seqRead,    L4_file4seqWrite,   L4_file4writeDelay,
                         L4_dfile4,          L4_expr4parse,      L4_log4,
                         L4_Str4assign,      L4_Str4str,         L4_Field4lockCheck,
                         L4_Field4changed,   L4_Field4info,      L4_Tag4info,
                         L4_readOnlyWrite,   L4_lockOwnImpeding, L4_lockUnopened,
                         L4_rootInvalid,     L4_tagCreate,       L4_corrupt,
                         L4_nonUniqueTag,    L4_skipInvalid,     L4_writeNoRecord,
                         L4_fieldDefinition, L4_accessMode,      L4_fileNameLength};
    for (long loc : used) {
        long n = 0;
        EXPECT_NE(error4locationText(loc, &n), nullptr) << loc;
        EXPECT_NE(n, loc) << loc;
    }
}

TEST(ErrorReport, VersionAndStructureChecks) {
    Vask4 c;
    testing::internal::CaptureStderr();
    EXPECT_EQ(vask4init(&c, 6400, VASK4_STRUCT_SIZE, 1), e4version);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\n\nError Number  -1095, 91001\nApplication/Library version mismatch\nvask4init\n"
              "\nLibrary: 6500\nHeaders: 6400\n");
    EXPECT_EQ(c.initialized, 0);
    EXPECT_EQ(error4code(&c), e4version);
    // Unusable: nothing opens or is created.
    ScratchDir dir;
    EXPECT_EQ(d4create(&c, dir.file("x").c_str(), exampleFields()), nullptr);
    EXPECT_NE(access(dir.file("X.DBF").c_str(), F_OK), 0);

    testing::internal::CaptureStderr();
    EXPECT_EQ(vask4init(&c, VASK4_VERSION, 1000, 1), e4verify);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\n\nError Number  -960, 91001\nStructure Verification Failure\nvask4init\n"
              "\nLibrary struct size: 1554\nHeader struct size: 1000\n");
    EXPECT_EQ(vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1), 0);
    EXPECT_EQ(error4code(&c), 0);
}

TEST(ErrorReport, SilentErrorsAreStoredButNotPrinted) {
    Vask4 c;
    ASSERT_EQ(vask4init(&c, VASK4_VERSION, 0, 1), 0);
    c.errOff = 1;
    EXPECT_EQ(report(&c, -70, 90130, "A.DBF"), "");
    EXPECT_EQ(error4code(&c), -70);
    EXPECT_EQ(c.errorLocation, 90130);
    EXPECT_EQ(error4set(&c, 0), -70);
}

// A table in exclusive mode holds its count in memory until flush or close; the fatal error
// must still close it, so the count reaches the file before the process ends.
void appendThenFail(const std::string& path, bool skipWithoutRecord) {
    Vask4 c;
    if (vask4init(&c) != 0) std::exit(1);
    c.accessMode = 1;
    Data4* d = d4open(&c, path.c_str());
    if (!d || appendRow(d, {"AFTER"}) != 0) std::exit(2);
    if (skipWithoutRecord) {
        d4go(d, 1);
        c.errGo = 0;
        d4go(d, 99);  // no current record any more
        d4skip(d, 1);
    } else {
        error4(&c, e4info, L4_d4skip);
    }
    std::exit(3);  // not reached
}

TEST(ErrorReportDeathTest, FatalCodesCloseFilesAndEndTheProcess) {
    // The default "fast" style forks right here, so the child works on this test's folder
    // (no context, hence no worker thread, is alive at that point).
    ScratchDir dir;
    std::string path = dir.file("FATAL.DBF");
    for (bool viaSkip : {false, true}) {
        {
            Vask4 c;
            ASSERT_EQ(vask4init(&c), 0);
            c.safety = 0;
            Data4* d = d4create(&c, path.c_str(), exampleFields());
            ASSERT_NE(d, nullptr);
            ASSERT_EQ(appendRow(d, {"BEFORE"}), 0);
            d4close(d);
        }
        EXPECT_EXIT(appendThenFail(path, viaSkip), testing::ExitedWithCode(-910 & 0xFF),
                    viaSkip ? "-910, 84801\nUnexpected Information\nskip must be made from valid "
                              "record number"
                            : "-910, 94802\nUnexpected Information\nd4skip");
        std::vector<unsigned char> b = readBytes(path);
        ASSERT_EQ(b.size(), 161u + 2 * 106 + 1);
        EXPECT_EQ(le32(b, 4), 2u) << "the exclusive table's count was written on the way out";
        EXPECT_EQ(std::string(reinterpret_cast<char*>(&b[161 + 106 + 1]), 5), "AFTER");
    }
    for (int code : {-920, -950, -970}) {
        EXPECT_EXIT(
            {
                Vask4 c;
                vask4init(&c);
                error4(&c, code, L4_d4open);
            },
            testing::ExitedWithCode(code & 0xFF), error4text(code));
    }
}

}  // namespace
