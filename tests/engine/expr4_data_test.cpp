// Expressions compiled against an open table: fields bound to its record buffer, its alias,
// and errors reported through its context.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/expr4.h"
#include "tests/engine/data4_testutil.h"

using namespace engine_test;

namespace {

class Expr4Data : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1), 0);
        c.errOff = 1;  // keep the report quiet; codes are still stored
        static const FIELD4INFO fields[] = {{"NAME", 'C', 21, 0, 0}, {"NOTES", 'C', 80, 0, 0},
                                            {"HH", 'C', 2, 0, 0},    {"MM", 'C', 2, 0, 0},
                                            {"OK", 'L', 1, 0, 0},    {nullptr, 0, 0, 0, 0}};
        d = d4create(&c, dir.file("rooms").c_str(), fields);
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(appendRow(d, {"Court 1", "clay", "08", "30", "T"}), 0);
        ASSERT_EQ(appendRow(d, {"Pool", "", "12", "00", "F"}), 0);
        ASSERT_EQ(d4flush(d), 0);
    }
    void TearDown() override {
        if (d) d4close(d);
        vask4initUndo(&c);
    }
    std::string key(Expr4* e) {
        char* k;
        int n = expr4key(e, &k);
        return n < 0 ? "<error>" : std::string(k, static_cast<size_t>(n));
    }
    Vask4 c;
    ScratchDir dir;
    Data4* d = nullptr;
};

TEST_F(Expr4Data, FieldItemsReadTheCurrentRecord) {
    Expr4* e = expr4parse(d, "NAME");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(expr4len(e), 21);
    Expr4* hm = expr4parse(d, "hh+mm+UPPER(name)");
    ASSERT_NE(hm, nullptr);
    EXPECT_EQ(expr4len(hm), 25);
    ASSERT_EQ(d4go(d, 1), 0);
    EXPECT_EQ(key(e), "Court 1              ");
    EXPECT_EQ(key(hm), "0830COURT 1              ");
    ASSERT_EQ(d4go(d, 2), 0);
    EXPECT_EQ(key(e), "Pool                 ");
    EXPECT_EQ(key(hm), "1200POOL                 ");
    // a changed buffer is seen before it is written
    d4field(d, "HH")->assign("07");
    EXPECT_EQ(key(hm), "0700POOL                 ");
    expr4free(hm);
    expr4free(e);
}

TEST_F(Expr4Data, FilterFollowsTheDeletionFlag) {
    Expr4* f = expr4parseTag(d, ".NOT. DELETED()");
    ASSERT_NE(f, nullptr);
    Expr4* n = expr4parse(d, "RECNO() * 10 + RECCOUNT()");
    ASSERT_NE(n, nullptr);
    ASSERT_EQ(d4go(d, 2), 0);
    EXPECT_EQ(expr4true(f), 1);
    EXPECT_DOUBLE_EQ(expr4double(n), 22.0);
    ASSERT_EQ(d4delete(d), 0);
    EXPECT_EQ(expr4true(f), 0);
    ASSERT_EQ(d4go(d, 1), 0);
    EXPECT_EQ(expr4true(f), 1);
    EXPECT_DOUBLE_EQ(expr4double(n), 12.0);
    Expr4* ok = expr4parse(d, "OK .AND. NAME = 'Court'");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(expr4true(ok), 1);
    expr4free(ok);
    expr4free(n);
    expr4free(f);
}

TEST_F(Expr4Data, TheTablesAliasOutsideTagsOnly) {
    Expr4* a = expr4parse(d, "ROOMS->NAME + rooms.HH");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(expr4len(a), 23);
    expr4free(a);
    EXPECT_EQ(error4code(&c), 0);
    EXPECT_EQ(expr4parseTag(d, "ROOMS->NAME"), nullptr);
    EXPECT_EQ(error4code(&c), -510);
    EXPECT_EQ(c.errorLocation, L4_expr4parse);
    error4set(&c, 0);
    Expr4* f = expr4parseTag(d, "FIELD->NAME");
    ASSERT_NE(f, nullptr);
    expr4free(f);
    EXPECT_EQ(expr4parse(d, "OTHER->NAME"), nullptr);
    EXPECT_EQ(error4code(&c), -420);
    error4set(&c, 0);
}

TEST_F(Expr4Data, ErrorsGoThroughTheContextAndAStandingErrorRefuses) {
    EXPECT_EQ(expr4parse(d, "NAME+"), nullptr);
    EXPECT_EQ(error4code(&c), -490);
    EXPECT_EQ(c.errorLocation, L4_expr4parse);
    // while the error stands nothing compiles
    EXPECT_EQ(expr4parse(d, "NAME"), nullptr);
    error4set(&c, 0);
    EXPECT_EQ(expr4parse(d, "NAME + XYZ"), nullptr);
    EXPECT_EQ(error4code(&c), -210);
    error4set(&c, 0);
    // with the expression-error setting off the parse fails quietly
    c.errExpr = 0;
    EXPECT_EQ(expr4parse(d, "NAME + 1"), nullptr);
    EXPECT_EQ(error4code(&c), 0);
    c.errExpr = 1;
    EXPECT_EQ(expr4parse(d, "NAME + 1"), nullptr);
    EXPECT_EQ(error4code(&c), -460);
    error4set(&c, 0);
}

TEST_F(Expr4Data, DtocUsesTheContextsDateFormat) {
    Expr4* e = expr4parse(d, "DTOC(STOD('20260309'))");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(key(e), "03/09/26");
    expr4free(e);
    std::snprintf(c.dateFormat, sizeof c.dateFormat, "DD.MM.CCYY");
    e = expr4parse(d, "DTOC(STOD('20260309'))");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(expr4len(e), 10);
    EXPECT_EQ(key(e), "09.03.2026");
    expr4free(e);
    // a picture filling the whole setting, with no NUL after it, ends with the setting
    std::memcpy(c.dateFormat, "CCYYMMDD-DD.MM.CCYY.", sizeof c.dateFormat);
    e = expr4parse(d, "DTOC(STOD('20260309'))");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(expr4len(e), 20);
    EXPECT_EQ(key(e), "20260309-09.03.2026.");
    expr4free(e);
}

}  // namespace
