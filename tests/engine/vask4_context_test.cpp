// The context: defaults, the process-wide count, shut-down closing tables, the log.
#include <gtest/gtest.h>

#include "engine/src/vask4impl.h"
#include "tests/engine/data4_testutil.h"

using namespace engine_test;

namespace {

TEST(Vask4Context, DefaultsAfterInit) {
    Vask4 c;
    ASSERT_EQ(vask4init(&c), 0);
    c.accessMode = 1;
    c.lockEnforce = 1;
    c.errorCode = -5;
    ASSERT_EQ(vask4initUndo(&c), -5);
    ASSERT_EQ(vask4init(&c), 0);  // a fresh start restores every default
    EXPECT_EQ(c.autoOpen, 1);
    EXPECT_EQ(c.safety, 1);
    EXPECT_EQ(c.errCreate, 1);
    EXPECT_EQ(c.errOpen, 1);
    EXPECT_EQ(c.errFieldName, 1);
    EXPECT_EQ(c.errExpr, 1);
    EXPECT_EQ(c.errTagName, 1);
    EXPECT_EQ(c.errGo, 1);
    EXPECT_EQ(c.errSkip, 1);
    EXPECT_EQ(c.errOff, 0);
    EXPECT_EQ(c.compatibility, 25);
    EXPECT_EQ(c.collatingSequence, 0);
    EXPECT_EQ(c.collateCodePage, 0);
    EXPECT_EQ(c.codePage, 0);
    EXPECT_EQ(c.accessMode, 0);
    EXPECT_EQ(c.readOnly, 0);
    EXPECT_EQ(c.lockAttempts, -1);
    EXPECT_EQ(c.lockDelay, 100);
    EXPECT_EQ(c.readLock, 0);
    EXPECT_EQ(c.lockEnforce, 0);
    EXPECT_EQ(c.unlockAuto, 1);
    EXPECT_EQ(c.largeOffset, 0);
    EXPECT_EQ(c.indexBlockSize, 512);
    EXPECT_EQ(c.indexBlockMultiplier, 1);
    EXPECT_EQ(c.memSizeBlock, 512);
    EXPECT_EQ(c.memSizeBuffer, 32768u);
    EXPECT_STREQ(c.dateFormat, "MM/DD/YY");
    EXPECT_EQ(c.logOpen, 1);
    EXPECT_EQ(c.errorCode, 0);
    EXPECT_TRUE(c.impl->threads);
}

TEST(Vask4Context, CountAndShutDown) {
    int before = vask4contextCount();
    ScratchDir dir;
    {
        Vask4 a, b;
        ASSERT_EQ(vask4init(&a), 0);
        ASSERT_EQ(vask4init(&b, VASK4_VERSION, VASK4_STRUCT_SIZE, 1), 0);
        EXPECT_FALSE(b.impl->threads);
        EXPECT_EQ(vask4contextCount(), before + 2);
        a.accessMode = 1;
        Data4* d = d4create(&a, dir.file("ONE").c_str(), exampleFields());
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(appendRow(d, {"kept"}), 0);
        ASSERT_NE(d4create(&a, dir.file("TWO").c_str(), exampleFields()), nullptr);
        EXPECT_EQ(a.impl->tables.size(), 2u);
        // Shut-down closes (and flushes) every table; the exclusive count lands on disk.
        vask4initUndo(&a);
        EXPECT_EQ(vask4contextCount(), before + 1);
        EXPECT_EQ(le32(readBytes(dir.file("ONE.DBF")), 4), 1u);
        // b is shut down by its destructor.
    }
    EXPECT_EQ(vask4contextCount(), before);
}

TEST(Vask4Context, TransactionLogOnlyWhenPresent) {
    ScratchDir dir;
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    {
        Vask4 c;
        ASSERT_EQ(vask4init(&c), 0);
        Data4* d = d4create(&c, "nolog", exampleFields());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(error4code(&c), 0) << "a missing log leaves no error";
        EXPECT_FALSE(c.impl->log);
        vask4initUndo(&c);
        EXPECT_NE(access("C4.LOG", F_OK), 0) << "the log is never created";

        writeBytes("C4.LOG", {});
        ASSERT_EQ(vask4init(&c), 0);
        d = d4open(&c, "nolog");
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(appendRow(d, {"x"}), 0);
        ASSERT_EQ(d4go(d, 1), 0);
        d4field(d, "NAME")->assign("y");
        ASSERT_EQ(d4flush(d), 0);
        c.errOff = 1;
        d4go(d, 7);
        vask4initUndo(&c);
    }
    std::vector<unsigned char> b = readBytes("C4.LOG");
    std::string log(b.begin(), b.end());
    ASSERT_EQ(chdir(old), 0);
    EXPECT_NE(log.find("PUBLIC OPEN"), std::string::npos) << log;
    EXPECT_NE(log.find("PUBLIC APPEND NOLOG.DBF 1\n"), std::string::npos) << log;
    EXPECT_NE(log.find("PUBLIC WRITE NOLOG.DBF 1\n"), std::string::npos) << log;
    EXPECT_NE(log.find("PUBLIC ERROR - -70 90130\n"), std::string::npos) << log;
}

}  // namespace
