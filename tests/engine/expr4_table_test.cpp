// The function and operator table: names, codes and priorities as documented, and every row
// reached by an expression that compiles to the documented result type and length.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "engine/expr4.h"
#include "engine/src/expr4internal.h"

namespace {

struct NamedRow {
    const char* name;
    int code;
    int priority;
};

// Names, codes and priorities of the documented table.
const NamedRow kDocumented[] = {
    {".TRUE.", 14, 0},  {".T.", 14, 0},    {".FALSE.", 16, 0},  {".F.", 16, 0},
    {".NOT.", 18, 5},   {".OR.", 20, 3},   {".AND.", 22, 4},    {"+", 25, 7},
    {"-", 30, 7},       {"#", 50, 6},      {"<>", 50, 6},       {">=", 60, 6},
    {"=>", 60, 6},      {"<=", 70, 6},     {"=<", 70, 6},       {"=", 40, 6},
    {">", 80, 6},       {"<", 90, 6},      {"^", 100, 9},       {"**", 100, 9},
    {"*", 102, 8},      {"/", 105, 8},     {"$", 110, 6},       {"CHR", 120, 0},
    {"DEL", 130, 0},    {"STR", 140, 0},   {"STRZERO", 145, 0}, {"SUBSTR", 150, 0},
    {"TIME", 160, 0},   {"UPPER", 170, 0}, {"DTOS", 180, 0},    {"DTOC", 200, 0},
    {"TRIM", 220, 0},   {"LTRIM", 230, 0}, {"ALLTRIM", 235, 0}, {"LEFT", 240, 0},
    {"RIGHT", 245, 0},  {"PADL", 246, 0},  {"PADR", 247, 0},    {"IIF", 250, 0},
    {"STOD", 260, 0},   {"CTOD", 270, 0},  {"DATE", 280, 0},    {"DAY", 290, 0},
    {"MONTH", 310, 0},  {"YEAR", 340, 0},  {"DELETED", 350, 0}, {"RECCOUNT", 360, 0},
    {"RECNO", 370, 0},  {"VAL", 380, 0},   {"PAGENO", 410, 0},  {"DESCEND", 420, 0},
    {"ASCEND", 430, 0},
};

TEST(Expr4Table, RowsCarryTheDocumentedNamesCodesAndPriorities) {
    ASSERT_EQ(kE4rowCount, 158);
    EXPECT_EQ(e4rows[kE4rowCount].kind, E4kind::end);
    std::map<std::string, const E4row*> named;
    for (int i = 0; i < kE4rowCount; ++i) {
        const E4row& r = e4rows[i];
        if (r.name) {
            EXPECT_TRUE(named.emplace(r.name, &r).second) << "name twice: " << r.name;
            EXPECT_EQ(r.nameLen, static_cast<int>(std::strlen(r.name)));
        } else if (r.kind != E4kind::field && r.kind != E4kind::constant) {
            // an overload row continues the row before it
            ASSERT_GT(i, 0);
            EXPECT_EQ(e4rows[i - 1].code, r.code) << "row " << i;
        }
    }
    EXPECT_EQ(named.size(), std::size(kDocumented));
    for (const NamedRow& d : kDocumented) {
        auto it = named.find(d.name);
        ASSERT_NE(it, named.end()) << d.name;
        EXPECT_EQ(it->second->code, d.code) << d.name;
        EXPECT_EQ(it->second->priority, d.priority) << d.name;
    }
    // "**" must be tried before "*", the two-character comparisons before "=", ">" and "<".
    auto index = [&](const char* n) { return named.at(n) - e4rows; };
    EXPECT_LT(index("**"), index("*"));
    for (const char* two : {"<>", ">=", "=>", "<=", "=<"})
        for (const char* one : {"=", ">", "<"}) EXPECT_LT(index(two), index(one)) << two;
    // field rows: codes 0-9 and 440-452
    std::set<int> fieldCodes;
    for (int i = 0; i < kE4rowCount; ++i)
        if (e4rows[i].kind == E4kind::field) fieldCodes.insert(e4rows[i].code);
    std::set<int> expected;
    for (int c = 0; c <= 9; ++c) expected.insert(c);
    for (int c = 440; c <= 452; ++c) expected.insert(c);
    EXPECT_EQ(fieldCodes, expected);
}

struct TypedCase {
    const char* text;
    char type;
    int len;
};

// One table with a field of every type.
struct AllTypes : Expr4memTable {
    AllTypes() {
        addField("CF", 'C', 10);
        addField("NF", 'N', 6, 2);
        addField("FF", 'F', 8, 3);
        addField("DF", 'D', 8);
        addField("LF", 'L', 1);
        addField("MF", 'M', 10);
        addField("GF", 'G', 10);
        addField("BF", 'B', 8, 2);
        addField("IF", 'I', 4);
        addField("YF", 'Y', 8, 4);
        addField("TF", 'T', 8);
        addField("PF", 'P', 4);
        addField("QF", 'Q', 2);
        addField("RF", 'R', 2);
        addField("OF", 'O', 12);
        addField("WF", 'W', 14);
        addField("ZF", 'Z', 9);
        addField("VF", 'V', 16);
        addField("X1", '1', 8);
        addField("X2", '2', 6);
        addField("X3", '3', 6);
        addField("X4", '4', 16);
        addField("X5", '5', 8);
    }
};

// Result types and lengths as documented: a field has its type and width; "+" and "-" on C
// the sum of both lengths; logical results 1; numbers and dates 8; DTOS 8; UPPER and the TRIMs
// the operand's length; SUBSTR, LEFT, RIGHT, PADL, PADR and STR their constant length; IIF the
// common length; ASCEND and DESCEND the length of the operand's key form (C its length, L 1,
// I 4, numbers and dates 8).  STR without a length gives 10, TIME "HH:MM:SS" 8, DTOC the
// default date picture "MM/DD/YY" 8, SUBSTR without a length the rest of the operand.
const TypedCase kCases[] = {
    // field references
    {"CF", 'C', 10},
    {"NF", 'N', 6},
    {"FF", 'F', 8},
    {"DF", 'D', 8},
    {"LF", 'L', 1},
    {"MF", 'M', 10},
    {"GF", 'G', 10},
    {"BF", 'B', 8},
    {"IF", 'I', 4},
    {"YF", 'Y', 8},
    {"TF", 'T', 8},
    {"PF", 'P', 4},
    {"QF", 'Q', 2},
    {"RF", 'R', 2},
    {"OF", 'O', 12},
    {"WF", 'W', 14},
    {"ZF", 'Z', 9},
    {"VF", 'V', 16},
    {"X1", '1', 8},
    {"X2", '2', 6},
    {"X3", '3', 6},
    {"X4", '4', 16},
    {"X5", '5', 8},
    // constants
    {"'abc'", 'C', 3},
    {"12.5", 'n', 8},
    {".TRUE.", 'L', 1},
    {".T.", 'L', 1},
    {".FALSE.", 'L', 1},
    {".F.", 'L', 1},
    // logical operators
    {".NOT. LF", 'L', 1},
    {"LF .OR. LF", 'L', 1},
    {"LF .AND. LF", 'L', 1},
    // "+"
    {"CF+CF", 'C', 20},
    {"YF+YF", 'Y', 8},
    {"NF+NF", 'n', 8},
    {"DF+1", 'd', 8},
    {"1+DF", 'd', 8},
    {"TF+60", 'T', 8},
    {"60+TF", 'T', 8},
    // "-"
    {"CF-ZF", 'C', 19},
    {"YF-YF", 'Y', 8},
    {"NF-IF", 'n', 8},
    {"DF-DF", 'n', 8},
    {"DF-7", 'd', 8},
    {"TF-TF", 'n', 8},
    {"TF-60", 'T', 8},
    // comparisons
    {"CF#CF", 'L', 1},
    {"YF#YF", 'L', 1},
    {"TF#TF", 'L', 1},
    {"NF#1", 'L', 1},
    {"DF#DF", 'L', 1},
    {"LF#LF", 'L', 1},
    {"CF<>CF", 'L', 1},
    {"YF<>YF", 'L', 1},
    {"TF<>TF", 'L', 1},
    {"NF<>1", 'L', 1},
    {"DF<>DATE()", 'L', 1},
    {"LF<>.T.", 'L', 1},
    {"CF>=CF", 'L', 1},
    {"YF>=YF", 'L', 1},
    {"TF>=TF", 'L', 1},
    {"NF>=1", 'L', 1},
    {"DF>=DF", 'L', 1},
    {"CF=>CF", 'L', 1},
    {"YF=>YF", 'L', 1},
    {"TF=>TF", 'L', 1},
    {"NF=>1", 'L', 1},
    {"DF=>DF", 'L', 1},
    {"CF<=CF", 'L', 1},
    {"YF<=YF", 'L', 1},
    {"TF<=TF", 'L', 1},
    {"NF<=1", 'L', 1},
    {"DF<=DF", 'L', 1},
    {"CF=<CF", 'L', 1},
    {"YF=<YF", 'L', 1},
    {"TF=<TF", 'L', 1},
    {"NF=<1", 'L', 1},
    {"DF=<DF", 'L', 1},
    {"CF='x'", 'L', 1},
    {"LF=LF", 'L', 1},
    {"YF=YF", 'L', 1},
    {"TF=TF", 'L', 1},
    {"BF=1", 'L', 1},
    {"DF=STOD('20240101')", 'L', 1},
    {"CF>CF", 'L', 1},
    {"YF>YF", 'L', 1},
    {"TF>TF", 'L', 1},
    {"FF>1", 'L', 1},
    {"DF>DF", 'L', 1},
    {"CF<CF", 'L', 1},
    {"YF<YF", 'L', 1},
    {"TF<TF", 'L', 1},
    {"QF<1", 'L', 1},
    {"DF<DF", 'L', 1},
    // arithmetic and containment
    {"2^3", 'n', 8},
    {"2**3", 'n', 8},
    {"NF*2", 'n', 8},
    {"NF/2", 'n', 8},
    {"'a'$CF", 'L', 1},
    // functions
    {"CHR(65)", 'C', 1},
    {"DEL()", 'C', 1},
    {"STR(NF)", 'C', 10},
    {"STR(NF,5)", 'C', 5},
    {"STR(NF,7,2)", 'C', 7},
    {"STRZERO(NF)", 'C', 10},
    {"STRZERO(NF,5)", 'C', 5},
    {"STRZERO(NF,7,2)", 'C', 7},
    {"SUBSTR(CF,2,3)", 'C', 3},
    {"SUBSTR(CF,4)", 'C', 7},
    {"TIME()", 'C', 8},
    {"UPPER(CF)", 'C', 10},
    {"DTOS(DF)", 'C', 8},
    {"DTOS(DATE())", 'C', 8},
    {"DTOS(TF)", 'C', 8},
    {"DTOC(DF)", 'C', 8},
    {"DTOC(DF+1)", 'C', 8},
    {"DTOC(TF)", 'C', 8},
    {"TRIM(CF)", 'C', 10},
    {"LTRIM(CF)", 'C', 10},
    {"ALLTRIM(CF)", 'C', 10},
    {"LEFT(CF,3)", 'C', 3},
    {"RIGHT(CF,4)", 'C', 4},
    {"PADL(CF,12)", 'C', 12},
    {"PADL(CF,12,'*')", 'C', 12},
    {"PADR(CF,15)", 'C', 15},
    {"PADR(CF,15,'.')", 'C', 15},
    {"IIF(LF,CF,CF)", 'C', 10},
    {"IIF(LF,NF,2)", 'n', 8},
    {"IIF(LF,DF,DF)", 'd', 8},
    {"IIF(LF,LF,.F.)", 'L', 1},
    {"STOD('20240101')", 'd', 8},
    {"CTOD('01/02/24')", 'd', 8},
    {"DATE()", 'd', 8},
    {"DAY(DF)", 'n', 8},
    {"DAY(TF)", 'n', 8},
    {"MONTH(DF)", 'n', 8},
    {"MONTH(TF)", 'n', 8},
    {"YEAR(DATE())", 'n', 8},
    {"YEAR(TF)", 'n', 8},
    {"DELETED()", 'L', 1},
    {"RECCOUNT()", 'n', 8},
    {"RECNO()", 'n', 8},
    {"VAL(CF)", 'n', 8},
    {"PAGENO()", 'n', 8},
    {"DESCEND(CF)", 'C', 10},
    {"DESCEND(LF)", 'C', 1},
    {"DESCEND(IF)", 'C', 4},
    {"DESCEND(YF)", 'C', 8},
    {"DESCEND(TF)", 'C', 8},
    {"DESCEND(NF)", 'C', 8},
    {"DESCEND(DF)", 'C', 8},
    {"ASCEND(CF)", 'C', 10},
    {"ASCEND(LF)", 'C', 1},
    {"ASCEND(IF)", 'C', 4},
    {"ASCEND(YF)", 'C', 8},
    {"ASCEND(TF)", 'C', 8},
    {"ASCEND(BF)", 'C', 8},
    {"ASCEND(DF)", 'C', 8},
};

TEST(Expr4Table, EveryRowCompilesToItsResultTypeAndLength) {
    AllTypes t;
    std::set<long> reached;
    for (const TypedCase& c : kCases) {
        t.clearError();
        Expr4* e = expr4parseSource(&t, c.text);
        ASSERT_NE(e, nullptr) << c.text << " error " << t.lastError();
        EXPECT_EQ(expr4type(e), c.type) << c.text;
        EXPECT_EQ(expr4len(e), c.len) << c.text;
        reached.insert(e->items.back().row - e4rows);
        expr4free(e);
    }
    for (int i = 0; i < kE4rowCount; ++i)
        EXPECT_TRUE(reached.count(i)) << "row " << i << " (code " << e4rows[i].code << ")";
}

TEST(Expr4Table, StoredOperandTypesWidenToNumbersAndDates) {
    AllTypes t;
    // a D operand matches d; N, F, I, Y, B and the other stored numbers match n
    const TypedCase widened[] = {
        {"DF+1", 'd', 8},     {"DAY(DF)", 'n', 8},       {"IF*2", 'n', 8},
        {"YF+1", 'n', 8},     {"IIF(LF,YF,IF)", 'n', 8}, {"FF-BF", 'n', 8},
        {"PF+QF+RF", 'n', 8}, {"STR(IF,4)", 'C', 4},     {"CHR(QF)", 'C', 1},
    };
    for (const TypedCase& c : widened) {
        Expr4* e = expr4parseSource(&t, c.text);
        ASSERT_NE(e, nullptr) << c.text;
        EXPECT_EQ(expr4type(e), c.type) << c.text;
        EXPECT_EQ(expr4len(e), c.len) << c.text;
        expr4free(e);
    }
    // but not the other way round, and nothing becomes a character value
    for (const char* bad : {"UPPER(DF)", "CF+NF", "DF+DF", "TRIM(MF)", "LF+1", "DTOS(CF)",
                            "VAL(NF)", "DAY(NF)", "MF=MF", "YEAR(CF)", "DESCEND(MF)"}) {
        t.clearError();
        EXPECT_EQ(expr4parseSource(&t, bad), nullptr) << bad;
        EXPECT_EQ(t.lastError(), -460) << bad;
    }
}

}  // namespace
