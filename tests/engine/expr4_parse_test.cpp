// Compiling expressions: the application's expressions, every parse error, the forms other
// xBase programs store, and the merging of .AND./.OR. chains.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/expr4.h"
#include "engine/src/expr4internal.h"

namespace {

// The reservation table's layout (DATE is a character field there) and a customer table.
struct Tables {
    Expr4memTable sched, people, rooms;
    Tables() {
        sched.addField("DATE", 'C', 8);
        sched.addField("ROOMNAME", 'C', 20);
        sched.addField("STARTHH", 'C', 2);
        sched.addField("STARTMM", 'C', 2);
        people.addField("LASTNAME", 'C', 20);
        people.addField("FIRSTNAME", 'C', 20);
        people.addField("MI", 'C', 1);
        people.addField("PHONE", 'C', 14);
        people.addField("EXT", 'C', 5);
        rooms.addField("NAME", 'C', 21);
        rooms.addField("NOTES", 'C', 80);
        rooms.addField("COUNT", 'N', 5, 1);
        rooms.addField("OPENED", 'D', 8);
        rooms.addField("ACTIVE", 'L', 1);
        rooms.setAlias("ROOMS");
    }
};

struct Compiled {
    Expr4* e;
    explicit Compiled(Expr4* x) : e(x) {}
    ~Compiled() { expr4free(e); }
    Compiled(const Compiled&) = delete;
    Compiled& operator=(const Compiled&) = delete;
};

// The error a text gives (0 when it compiles) and the location it was reported with.
int parseError(Expr4memTable& t, const char* text, bool forTag = false, long* location = nullptr) {
    t.clearError();
    Expr4* e = expr4parseSource(&t, text, forTag);
    if (e) {
        expr4free(e);
        EXPECT_EQ(t.lastError(), 0) << text;
        return 0;
    }
    if (location) *location = t.lastLocation();
    return t.lastError();
}

TEST(Expr4Parse, ApplicationKeysHaveTheirFieldLengths) {
    Tables t;
    Compiled name(expr4parseSource(&t.rooms, "NAME"));
    ASSERT_NE(name.e, nullptr);
    EXPECT_EQ(expr4type(name.e), 'C');
    EXPECT_EQ(expr4len(name.e), 21);
    ASSERT_EQ(name.e->items.size(), 1u);
    EXPECT_EQ(name.e->items[0].row->kind, E4kind::field);
    EXPECT_EQ(name.e->items[0].len, 21);
    EXPECT_EQ(name.e->items[0].fieldOffset, 1);

    Compiled sched(expr4parseSource(&t.sched, "DATE+ROOMNAME+STARTHH+STARTMM"));
    ASSERT_NE(sched.e, nullptr);
    EXPECT_EQ(expr4type(sched.e), 'C');
    EXPECT_EQ(expr4len(sched.e), 32);
    EXPECT_EQ(expr4keyLen(sched.e), 32);

    Compiled people(expr4parseSource(&t.people, "LASTNAME+FIRSTNAME+MI+PHONE+EXT"));
    ASSERT_NE(people.e, nullptr);
    EXPECT_EQ(expr4len(people.e), 60);

    Compiled filter(expr4parseSource(&t.rooms, ".NOT. DELETED()"));
    ASSERT_NE(filter.e, nullptr);
    EXPECT_EQ(expr4type(filter.e), 'L');
    EXPECT_EQ(expr4len(filter.e), 1);
}

TEST(Expr4Parse, NamesIgnoreCase) {
    Tables t;
    Compiled lower(expr4parseSource(&t.rooms, "name"));
    ASSERT_NE(lower.e, nullptr);
    EXPECT_EQ(lower.e->items[0].fieldIndex, 1);
    EXPECT_EQ(expr4len(lower.e), 21);
    Compiled fn(expr4parseSource(&t.rooms, "upper(Name) = 'X' .and. .Not. deleted()"));
    ASSERT_NE(fn.e, nullptr);
    EXPECT_EQ(expr4type(fn.e), 'L');
}

TEST(Expr4Parse, ErrorsOfTheExamples) {
    Tables t;
    EXPECT_EQ(parseError(t.rooms, "NAME+"), -490);
    EXPECT_EQ(parseError(t.rooms, "NAME+XYZ"), -210);
    EXPECT_EQ(parseError(t.rooms, "NAME + 1"), -460);
}

struct ErrorCase {
    const char* text;
    int code;
    long location;
    bool forTag;
};

TEST(Expr4Parse, EveryParseErrorWithItsCodeAndLocation) {
    Tables t;
    const ErrorCase cases[] = {
        {"UPPER(NAME", -400, L4_expr4parse, false},
        {"SUBSTR(NAME,1", -400, L4_expr4parse, false},
        {"UPPER(NAME NOTES)", -400, L4_expr4parse, false},
        {"SUBSTR(NAME 1, 2)", -400, L4_expr4parse, false},
        {"UPPER((NAME NOTES))", -480, L4_expr4parse, false},
        {"", -410, L4_expr4parse, false},
        {"   ", -410, L4_expr4parse, false},
        {"()", -410, L4_expr4parse, false},
        {"(NAME+)", -410, L4_expr4parse, false},
        {"SUBSTR(NAME,,2)", -410, L4_expr4parse, false},
        {"OTHER->NAME", -420, L4_expr4parse, false},
        {"IIF(ACTIVE, NAME, NOTES)", -422, L4_expr4parse, false},
        {"SUBSTR(NAME, COUNT, 2)", -425, L4_expr4parse, false},
        {"STR(COUNT, 2+3)", -425, L4_expr4parse, false},
        {"LEFT(NAME, COUNT)", -425, L4_expr4parse, false},
        {"UPPER(NAME, NOTES)", -430, L4_expr4parse, false},
        {"DELETED(NAME)", -430, L4_expr4parse, false},
        {"IIF(ACTIVE, NAME)", -430, L4_expr4parse, false},
        {"(NAME", -450, L4_expr4parse, false},
        {"((NAME)", -450, L4_expr4parse, false},
        {"(NAME, NOTES)", -450, L4_expr4parse, false},
        {"NAME + 1", -460, L4_expr4parse, false},
        {"UPPER(COUNT)", -460, L4_expr4parse, false},
        {".NOT. NAME", -460, L4_expr4parse, false},
        {"ACTIVE .AND. NAME", -460, L4_expr4parse, false},
        {"OPENED * 2", -460, L4_expr4parse, false},
        {"NOSUCH(NAME)", -470, L4_expr4parse, false},
        {"AND(NAME)", -470, L4_expr4parse, false},
        {"NAME NOTES", -480, L4_expr4parse, false},
        {"NAME & NOTES", -480, L4_expr4parse, false},
        {"NAME)", -480, L4_expr4parse, false},
        {"ACTIVE .NOT. ACTIVE", -480, L4_expr4parse, false},
        {"ABCDEFGHIJK", -490, L4_expr4parse, false},
        {"NAME = ?", -490, L4_expr4parse, false},
        {"+", -490, L4_expr4parse, false},
        {".X.", -490, L4_expr4parse, false},
        {"'abc", -500, L4_expr4parse, false},
        {"\"abc'", -500, L4_expr4parse, false},
        {"[abc", -500, L4_expr4parse, false},
        {"ROOMS->NAME", -510, L4_expr4parse, true},
        {"ROOMS.NAME", -510, L4_expr4parse, true},
        {"FIELD.NAME", -510, L4_expr4parse, true},
        {"NOSUCH", -210, L4_expr4parse, false},
        {"NAME + 'x' + NOSUCH", -210, L4_expr4parse, false},
    };
    for (const ErrorCase& c : cases) {
        long location = 0;
        EXPECT_EQ(parseError(t.rooms, c.text, c.forTag, &location), c.code) << c.text;
        EXPECT_EQ(location, c.location) << c.text;
    }
}

TEST(Expr4Parse, TheConstantAreaOverflowsInsteadOfSpilling) {
    Tables t;
    std::string big = "'" + std::string(300, 'a') + "' + '" + std::string(300, 'b') + "'";
    EXPECT_EQ(parseError(t.rooms, big.c_str()), -440);
    std::string fits = "'" + std::string(250, 'a') + "' + '" + std::string(250, 'b') + "'";
    EXPECT_EQ(parseError(t.rooms, fits.c_str()), 0);
    EXPECT_EQ(parseError(t.rooms, "PADL(NAME, 70000)"), -440);
}

TEST(Expr4Parse, AliasesNameTheTableOutsideTags) {
    Tables t;
    EXPECT_EQ(parseError(t.rooms, "ROOMS->NAME"), 0);
    EXPECT_EQ(parseError(t.rooms, "rooms.NAME + NOTES"), 0);
    EXPECT_EQ(parseError(t.rooms, "ROOMS -> NAME"), 0);
    EXPECT_EQ(parseError(t.rooms, "ROOMS->NOSUCH"), -210);
    // a point that begins a logical operator is no alias
    EXPECT_EQ(parseError(t.rooms, "ACTIVE.AND.ACTIVE"), 0);
    EXPECT_EQ(parseError(t.rooms, "ACTIVE.OR..NOT.ACTIVE"), 0);
}

TEST(Expr4Parse, ReportingCanBeSwitchedOffAndAPendingErrorRefuses) {
    Tables t;
    t.rooms.setReportErrors(false);
    EXPECT_EQ(expr4parseSource(&t.rooms, "NAME+"), nullptr);
    EXPECT_EQ(t.rooms.lastError(), 0);

    struct Pending : Expr4memTable {
        bool errorPending() const override { return true; }
    } pending;
    pending.addField("NAME", 'C', 10);
    EXPECT_EQ(expr4parseSource(&pending, "NAME"), nullptr);
    EXPECT_EQ(pending.lastError(), 0);
}

TEST(Expr4Parse, StoredFormsOfOtherPrograms) {
    Tables t;
    // exact equality, "!" and "!=", and FIELD-> even inside a tag expression
    Compiled eq(expr4parseSource(&t.rooms, "TRIM(UPPER(NAME))==\"AUDIO\"", true));
    ASSERT_NE(eq.e, nullptr);
    EXPECT_EQ(expr4type(eq.e), 'L');
    Compiled bang(expr4parseSource(&t.rooms, "!DELETED()", true));
    ASSERT_NE(bang.e, nullptr);
    EXPECT_EQ(bang.e->items.back().row->code, 18);
    Compiled ne(expr4parseSource(&t.rooms, "NAME != 'X'", true));
    ASSERT_NE(ne.e, nullptr);
    EXPECT_EQ(ne.e->items.back().row->code, 50);
    Compiled field(expr4parseSource(&t.rooms, "FIELD->NAME", true));
    ASSERT_NE(field.e, nullptr);
    EXPECT_EQ(expr4len(field.e), 21);
    Compiled lower(expr4parseSource(&t.rooms, "field->name+field->notes", true));
    ASSERT_NE(lower.e, nullptr);
    EXPECT_EQ(expr4len(lower.e), 101);
    // "==" is for two character values only; the other operators keep their errors
    EXPECT_EQ(parseError(t.rooms, "COUNT == 1"), -460);
    EXPECT_EQ(parseError(t.rooms, "NAME === 'X'"), -490);
    EXPECT_EQ(parseError(t.rooms, "NAME ! 'X'"), -480);
}

TEST(Expr4Parse, NumericConstantsStopBeforeLogicalOperators) {
    Tables t;
    Compiled e(expr4parseSource(&t.rooms, "COUNT=5.AND.COUNT<6.5.OR.COUNT>-.5"));
    ASSERT_NE(e.e, nullptr);
    EXPECT_EQ(expr4type(e.e), 'L');
    double five, six5, half;
    std::memcpy(&five, e.e->constants.data() + e.e->items[1].extra, 8);
    EXPECT_EQ(five, 5.0);
    std::memcpy(&six5, e.e->constants.data() + e.e->items[4].extra, 8);
    EXPECT_EQ(six5, 6.5);
    std::memcpy(&half, e.e->constants.data() + e.e->items[8].extra, 8);
    EXPECT_EQ(half, -0.5);
}

int countRows(const Expr4* e, int code) {
    int n = 0;
    for (const E4item& it : e->items) n += it.row->code == code;
    return n;
}

TEST(Expr4Parse, AdjacentAndOrMergeIntoOneItem) {
    Tables t;
    Compiled chain(expr4parseSource(&t.rooms, "ACTIVE .AND. ACTIVE .AND. NAME='A' .AND. .T."));
    ASSERT_NE(chain.e, nullptr);
    EXPECT_EQ(countRows(chain.e, 22), 1);
    EXPECT_EQ(chain.e->items.back().numParms, 4);

    Compiled ors(expr4parseSource(&t.rooms, "ACTIVE .OR. ACTIVE .OR. ACTIVE"));
    ASSERT_NE(ors.e, nullptr);
    EXPECT_EQ(countRows(ors.e, 20), 1);
    EXPECT_EQ(ors.e->items.back().numParms, 3);

    // .AND. binds tighter than .OR.: two .AND. groups under one .OR.
    Compiled mixed(
        expr4parseSource(&t.rooms, "ACTIVE .AND. ACTIVE .OR. ACTIVE .AND. ACTIVE .AND. ACTIVE"));
    ASSERT_NE(mixed.e, nullptr);
    EXPECT_EQ(countRows(mixed.e, 22), 2);
    EXPECT_EQ(countRows(mixed.e, 20), 1);
    EXPECT_EQ(mixed.e->items.back().row->code, 20);
    EXPECT_EQ(mixed.e->items.back().numParms, 2);

    // Different operators never merge.
    Compiled apart(expr4parseSource(&t.rooms, "(ACTIVE .OR. ACTIVE) .AND. ACTIVE"));
    ASSERT_NE(apart.e, nullptr);
    EXPECT_EQ(apart.e->items.back().numParms, 2);
}

TEST(Expr4Parse, PrecedenceFollowsThePriorities) {
    Tables t;
    // .NOT. (5) is weaker than "=" (6) and stronger than .AND. (4)
    Compiled a(expr4parseSource(&t.rooms, ".NOT. NAME = 'A' .AND. ACTIVE"));
    ASSERT_NE(a.e, nullptr);
    ASSERT_EQ(a.e->items.size(), 6u);  // NAME 'A' = .NOT. ACTIVE .AND.
    EXPECT_EQ(a.e->items[2].row->code, 40);
    EXPECT_EQ(a.e->items[3].row->code, 18);
    EXPECT_EQ(a.e->items[5].row->code, 22);
    // "*" before "+", "**" before "*"
    Compiled b(expr4parseSource(&t.rooms, "1 + 2 * 3 ** 2"));
    ASSERT_NE(b.e, nullptr);
    EXPECT_EQ(b.e->items[4].row->code, 100);
    EXPECT_EQ(b.e->items[5].row->code, 102);
    EXPECT_EQ(b.e->items[6].row->code, 25);
    // two-character comparisons are read before "=", ">" and "<"
    for (const char* text :
         {"COUNT <= 1", "COUNT =< 1", "COUNT >= 1", "COUNT => 1", "COUNT <> 1"}) {
        Compiled c(expr4parseSource(&t.rooms, text));
        ASSERT_NE(c.e, nullptr) << text;
        EXPECT_EQ(c.e->items.size(), 3u) << text;
    }
}

TEST(Expr4Parse, DeepNestingNeedsNoRecursion) {
    Tables t;
    std::string text = std::string(20000, '(') + "NAME" + std::string(20000, ')');
    EXPECT_EQ(parseError(t.rooms, text.c_str()), 0);
    std::string nots;
    for (int i = 0; i < 5000; ++i) nots += ".NOT.";
    nots += "ACTIVE";
    EXPECT_EQ(parseError(t.rooms, nots.c_str()), 0);
}

}  // namespace
