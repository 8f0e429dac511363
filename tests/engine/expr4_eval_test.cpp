// Evaluating compiled expressions against a record.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "engine/clock4.h"
#include "engine/expr4.h"

namespace {

struct People : Expr4memTable {
    People() {
        addField("LASTNAME", 'C', 20);
        addField("FIRSTNAME", 'C', 20);
        addField("MI", 'C', 1);
        addField("PHONE", 'C', 14);
        addField("EXT", 'C', 5);
        addField("COUNT", 'N', 7, 2);
        addField("HIRED", 'D', 8);
        addField("ACTIVE", 'L', 1);
        addField("SEATS", 'I', 4);
        addField("PRICE", 'Y', 8);
        addField("RATE", 'B', 8);
        addField("STAMP", 'T', 8);
        addField("SMALL", 'Q', 2);
        set("LASTNAME", "Smith");
        set("FIRSTNAME", "Anna");
        set("MI", "K");
        set("PHONE", "555-0100");
        set("EXT", "12");
        set("COUNT", "  12.50");
        set("HIRED", "20240229");
        set("ACTIVE", "T");
        unsigned char seats[4] = {0xFE, 0xFF, 0xFF, 0xFF};  // -2
        setBytes("SEATS", seats, 4);
        int64_t price = 123456;  // 12.3456
        unsigned char p[8];
        for (int i = 0; i < 8; ++i) p[i] = static_cast<unsigned char>(price >> (8 * i));
        setBytes("PRICE", p, 8);
        double rate = 0.25;
        unsigned char r[8];
        std::memcpy(r, &rate, 8);  // the test host is little-endian like the file
        setBytes("RATE", r, 8);
        int32_t day = 2460370, ms = 3600000;  // 2024-02-29 01:00:00
        unsigned char t[8];
        for (int i = 0; i < 4; ++i) t[i] = static_cast<unsigned char>(day >> (8 * i));
        for (int i = 0; i < 4; ++i) t[4 + i] = static_cast<unsigned char>(ms >> (8 * i));
        setBytes("STAMP", t, 8);
        unsigned char q[2] = {0x2C, 0x01};  // 300
        setBytes("SMALL", q, 2);
        setRecNo(7);
        setRecCount(42);
    }

    std::string value(const char* text) {
        Expr4* e = expr4parseSource(this, text);
        EXPECT_NE(e, nullptr) << text << " error " << lastError();
        if (!e) return "<error>";
        char* v = nullptr;
        int n = expr4vary(e, &v);
        std::string s(v, static_cast<size_t>(n));
        expr4free(e);
        return s;
    }
    double number(const char* text) {
        Expr4* e = expr4parseSource(this, text);
        EXPECT_NE(e, nullptr) << text << " error " << lastError();
        if (!e) return -99999;
        double v = expr4double(e);
        expr4free(e);
        return v;
    }
    bool truth(const char* text) {
        Expr4* e = expr4parseSource(this, text);
        EXPECT_NE(e, nullptr) << text << " error " << lastError();
        if (!e) return false;
        int v = expr4true(e);
        EXPECT_GE(v, 0) << text;
        expr4free(e);
        return v == 1;
    }
};

TEST(Expr4Eval, CharacterFieldsAndConcatenation) {
    People t;
    EXPECT_EQ(t.value("LASTNAME"), "Smith               ");
    std::string key = t.value("LASTNAME+FIRSTNAME+MI+PHONE+EXT");
    EXPECT_EQ(key.size(), 60u);
    EXPECT_EQ(key, std::string("Smith               Anna                K555-0100      12   "));
    // "-" moves the left operand's trailing blanks behind the right one
    EXPECT_EQ(t.value("EXT - MI"), "12K   ");
    EXPECT_EQ(t.value("TRIM(LASTNAME) + ', ' + TRIM(FIRSTNAME)"), "Smith, Anna");
}

TEST(Expr4Eval, DeletedAndNot) {
    People t;
    EXPECT_TRUE(t.truth(".NOT. DELETED()"));
    EXPECT_FALSE(t.truth("DELETED()"));
    EXPECT_EQ(t.value("DEL()"), " ");
    t.setDeleted(true);
    EXPECT_FALSE(t.truth(".NOT. DELETED()"));
    EXPECT_TRUE(t.truth("DELETED()"));
    EXPECT_EQ(t.value("DEL()"), "*");
    EXPECT_FALSE(t.truth("!DELETED()"));
}

TEST(Expr4Eval, LogicalOperatorsOverMergedOperands) {
    People t;
    EXPECT_TRUE(t.truth(".T. .AND. ACTIVE .AND. .NOT. .F."));
    EXPECT_FALSE(t.truth(".T. .AND. ACTIVE .AND. .F. .AND. .T."));
    EXPECT_TRUE(t.truth(".F. .OR. .F. .OR. .F. .OR. ACTIVE"));
    EXPECT_FALSE(t.truth(".F. .OR. .F. .OR. .NOT. ACTIVE"));
    EXPECT_TRUE(t.truth(".F. .AND. .F. .OR. .T. .AND. .T."));
    EXPECT_FALSE(t.truth(".F. .AND. (.F. .OR. .T.) .AND. .T."));
    t.set("ACTIVE", "?");
    EXPECT_FALSE(t.truth("ACTIVE"));
    t.set("ACTIVE", "y");
    EXPECT_TRUE(t.truth("ACTIVE"));
}

TEST(Expr4Eval, CharacterComparisons) {
    People t;
    // "=" compares over the right operand's length; "==" wants the same length and bytes
    EXPECT_TRUE(t.truth("LASTNAME = 'Smi'"));
    EXPECT_FALSE(t.truth("'Smi' = LASTNAME"));
    EXPECT_TRUE(t.truth("'Smi' = 'Smi  '"));
    EXPECT_FALSE(t.truth("LASTNAME == 'Smith'"));
    EXPECT_TRUE(t.truth("TRIM(LASTNAME) == 'Smith'"));
    EXPECT_FALSE(t.truth("TRIM(LASTNAME) == 'SMITH'"));
    EXPECT_TRUE(t.truth("UPPER(TRIM(LASTNAME)) == 'SMITH'"));
    EXPECT_TRUE(t.truth("LASTNAME # 'Jones'"));
    EXPECT_TRUE(t.truth("LASTNAME <> 'Jones'"));
    EXPECT_TRUE(t.truth("LASTNAME != 'Jones'"));
    EXPECT_FALSE(t.truth("LASTNAME # 'Smith'"));
    EXPECT_TRUE(t.truth("LASTNAME > 'Sma'"));
    EXPECT_FALSE(t.truth("LASTNAME > 'Smi'"));
    EXPECT_TRUE(t.truth("LASTNAME >= 'Smi'"));
    EXPECT_TRUE(t.truth("LASTNAME => 'Smi'"));
    EXPECT_TRUE(t.truth("LASTNAME < 'Sn'"));
    EXPECT_TRUE(t.truth("LASTNAME <= 'Smith'"));
    EXPECT_TRUE(t.truth("LASTNAME =< 'Smith'"));
    EXPECT_TRUE(t.truth("'mit' $ LASTNAME"));
    EXPECT_FALSE(t.truth("'Mit' $ LASTNAME"));
    // bytes compare unsigned: 0xE9 sorts after 'z'
    EXPECT_TRUE(t.truth("'\xE9' > 'z'"));
}

TEST(Expr4Eval, NumbersFromEveryStoredForm) {
    People t;
    EXPECT_DOUBLE_EQ(t.number("COUNT"), 12.5);
    EXPECT_DOUBLE_EQ(t.number("COUNT * 2 + 1"), 26.0);
    EXPECT_DOUBLE_EQ(t.number("SEATS"), -2.0);
    EXPECT_DOUBLE_EQ(t.number("SEATS + 1"), -1.0);
    EXPECT_DOUBLE_EQ(t.number("PRICE + 0"), 12.3456);
    EXPECT_DOUBLE_EQ(t.number("RATE * 4"), 1.0);
    EXPECT_DOUBLE_EQ(t.number("SMALL / 3"), 100.0);
    EXPECT_DOUBLE_EQ(t.number("2 ^ 10"), 1024.0);
    EXPECT_DOUBLE_EQ(t.number("2 ** 3 ** 2"), 64.0);  // left to right
    EXPECT_DOUBLE_EQ(t.number("10 - 4 - 3"), 3.0);
    EXPECT_DOUBLE_EQ(t.number("1 + 2 * 3"), 7.0);
    EXPECT_DOUBLE_EQ(t.number("(1 + 2) * 3"), 9.0);
    EXPECT_DOUBLE_EQ(t.number("5 / 0"), 0.0);
    EXPECT_DOUBLE_EQ(t.number("-.5 + +1.5"), 1.0);
    EXPECT_DOUBLE_EQ(t.number("VAL('  -3.25xyz')"), -3.25);
    EXPECT_DOUBLE_EQ(t.number("VAL('abc')"), 0.0);
    EXPECT_DOUBLE_EQ(t.number("RECNO()"), 7.0);
    EXPECT_DOUBLE_EQ(t.number("RECCOUNT()"), 42.0);
    EXPECT_DOUBLE_EQ(t.number("PAGENO()"), 0.0);
    EXPECT_TRUE(t.truth("COUNT = 12.5"));
    EXPECT_TRUE(t.truth("COUNT > 12 .AND. COUNT < 13 .AND. COUNT # 1"));
    EXPECT_TRUE(t.truth("SEATS < 0"));
    // currency keeps its four decimals exactly
    EXPECT_TRUE(t.truth("PRICE + PRICE = PRICE + PRICE"));
    EXPECT_TRUE(t.truth("PRICE - PRICE < PRICE"));
    t.set("COUNT", "       ");
    EXPECT_DOUBLE_EQ(t.number("COUNT"), 0.0);
}

TEST(Expr4Eval, NumbersAsText) {
    People t;
    EXPECT_EQ(t.value("STR(COUNT)"), "        13");
    EXPECT_EQ(t.value("STR(COUNT, 6, 1)"), "  12.5");
    EXPECT_EQ(t.value("STR(2.675, 6, 2)"), "  2.68");
    EXPECT_EQ(t.value("STR(-2.5, 4)"), "  -3");
    EXPECT_EQ(t.value("STR(123456, 3)"), "***");
    EXPECT_EQ(t.value("STR(-0.001, 5, 2)"), " 0.00");
    EXPECT_EQ(t.value("STRZERO(42, 5)"), "00042");
    EXPECT_EQ(t.value("STRZERO(-5, 4)"), "-005");
    EXPECT_EQ(t.value("STRZERO(COUNT, 7, 2)"), "0012.50");
    EXPECT_EQ(t.value("CHR(65) + CHR(321) + CHR(-191)"), "AAA");
}

TEST(Expr4Eval, CharacterFunctions) {
    People t;
    EXPECT_EQ(t.value("SUBSTR(LASTNAME, 2, 3)"), "mit");
    EXPECT_EQ(t.value("SUBSTR(PHONE, 5)"), "0100      ");
    EXPECT_EQ(t.value("SUBSTR(MI, 3, 2)"), "");
    EXPECT_EQ(t.value("UPPER(LASTNAME)"), "SMITH               ");
    EXPECT_EQ(t.value("UPPER('\xE9t\xE9 \xFF\x9A')"), "\xC9T\xC9 \x9F\x8A");
    EXPECT_EQ(t.value("TRIM('  ab  ')"), "  ab");
    EXPECT_EQ(t.value("LTRIM('  ab  ')"), "ab  ");
    EXPECT_EQ(t.value("ALLTRIM('  ab  ')"), "ab");
    EXPECT_EQ(t.value("ALLTRIM('    ')"), "");
    EXPECT_EQ(t.value("LEFT(LASTNAME, 3)"), "Smi");
    EXPECT_EQ(t.value("RIGHT(TRIM(LASTNAME), 3)"), "ith");
    EXPECT_EQ(t.value("RIGHT(EXT, 4)"), "2   ");
    EXPECT_EQ(t.value("PADL(TRIM(EXT), 5)"), "   12");
    EXPECT_EQ(t.value("PADL(TRIM(EXT), 5, '0')"), "00012");
    EXPECT_EQ(t.value("PADR(TRIM(EXT), 4, '.')"), "12..");
    EXPECT_EQ(t.value("PADR(LASTNAME, 3)"), "Smi");
    EXPECT_EQ(t.value("IIF(ACTIVE, MI, 'x')"), "K");
    EXPECT_EQ(t.value("IIF(.NOT. ACTIVE, MI, 'x')"), "x");
    EXPECT_DOUBLE_EQ(t.number("IIF(ACTIVE, 1, 2) + IIF(.F., 10, 20)"), 21.0);
}

std::int64_t fixedNow() {
    std::tm tm{};
    tm.tm_year = 2026 - 1900;
    tm.tm_mon = 11;
    tm.tm_mday = 8;
    tm.tm_hour = 23;
    tm.tm_min = 59;
    tm.tm_sec = 58;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

TEST(Expr4Eval, Dates) {
    People t;
    EXPECT_EQ(t.value("DTOS(HIRED)"), "20240229");
    EXPECT_EQ(t.value("DTOS(HIRED + 1)"), "20240301");
    EXPECT_EQ(t.value("DTOS(HIRED - 366)"), "20230228");
    EXPECT_DOUBLE_EQ(t.number("HIRED - STOD('20240101')"), 59.0);
    EXPECT_EQ(t.value("DTOC(HIRED)"), "02/29/24");
    EXPECT_EQ(t.value("DTOS(CTOD('12/31/99'))"), "19991231");
    EXPECT_EQ(t.value("DTOS(CTOD('01/02/03'))"), "20030102");
    EXPECT_EQ(t.value("DTOS(CTOD('13/02/03'))"), "        ");
    EXPECT_DOUBLE_EQ(t.number("DAY(HIRED)"), 29.0);
    EXPECT_DOUBLE_EQ(t.number("MONTH(HIRED)"), 2.0);
    EXPECT_DOUBLE_EQ(t.number("YEAR(HIRED)"), 2024.0);
    EXPECT_TRUE(t.truth("HIRED = STOD('20240229')"));
    EXPECT_TRUE(t.truth("HIRED < STOD('20240301') .AND. HIRED > STOD('20240228')"));
    EXPECT_EQ(t.value("DTOS(STOD('20230229'))"), "        ");
    EXPECT_EQ(t.value("DTOS(STOD('2023'))"), "        ");
    t.set("HIRED", "        ");
    EXPECT_EQ(t.value("DTOS(HIRED)"), "        ");
    EXPECT_EQ(t.value("DTOC(HIRED)"), "  /  /  ");
    EXPECT_EQ(t.value("DTOS(HIRED + 1)"), "        ");
    EXPECT_DOUBLE_EQ(t.number("YEAR(HIRED)"), 0.0);

    Expr4memTable c;
    c.addField("D", 'D', 8);
    c.set("D", "20240705");
    c.setDateFormat("CCYY.MMM.DD");
    Expr4* e = expr4parseSource(&c, "DTOC(D)");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(expr4len(e), 11);
    char* v;
    int n = expr4vary(e, &v);
    EXPECT_EQ(std::string(v, static_cast<size_t>(n)), "2024.Jul.05");
    expr4free(e);
    e = expr4parseSource(&c, "DTOS(CTOD('1999.Dec.31'))");
    ASSERT_NE(e, nullptr);
    n = expr4vary(e, &v);
    EXPECT_EQ(std::string(v, static_cast<size_t>(n)), "19991231");
    expr4free(e);
}

TEST(Expr4Eval, DateTimes) {
    People t;
    EXPECT_EQ(t.value("DTOS(STAMP)"), "20240229");
    EXPECT_DOUBLE_EQ(t.number("DAY(STAMP)"), 29.0);
    EXPECT_EQ(t.value("DTOS(STAMP + 23 * 3600)"), "20240301");
    EXPECT_EQ(t.value("DTOS(STAMP - 3601)"), "20240228");
    EXPECT_DOUBLE_EQ(t.number("(STAMP + 90) - STAMP"), 90.0);
    EXPECT_TRUE(t.truth("STAMP < STAMP + 1 .AND. STAMP = STAMP"));
}

TEST(Expr4Eval, TimeAndDateReadTheInjectedClock) {
    People t;
    clock4set(fixedNow);
    EXPECT_EQ(t.value("TIME()"), "23:59:58");
    EXPECT_EQ(t.value("DTOS(DATE())"), "20261208");
    EXPECT_EQ(t.value("DTOS(DATE() + 1)"), "20261209");
    clock4set(nullptr);
    EXPECT_EQ(t.value("TIME()").size(), 8u);
}

TEST(Expr4Eval, AscendAndDescendGiveKeyFormsAsText) {
    People t;
    EXPECT_EQ(t.value("ASCEND(MI)"), "K");
    std::string up = t.value("ASCEND(COUNT)");
    std::string down = t.value("DESCEND(COUNT)");
    ASSERT_EQ(up.size(), 8u);
    ASSERT_EQ(down.size(), 8u);
    unsigned char form[8];
    expr4keyDouble(12.5, form);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(static_cast<unsigned char>(up[static_cast<size_t>(i)]), form[i]);
        EXPECT_EQ(static_cast<unsigned char>(down[static_cast<size_t>(i)]), 255 - form[i]);
    }
    EXPECT_EQ(t.value("DESCEND(MI)"), std::string(1, static_cast<char>(255 - 'K')));
    EXPECT_EQ(t.value("ASCEND(ACTIVE)"), "T");
    EXPECT_EQ(t.value("ASCEND(SEATS)"), std::string("\x7F\xFF\xFF\xFE", 4));
    // descending keys of two values sort the other way round
    EXPECT_TRUE(t.truth("DESCEND(COUNT) > DESCEND(COUNT + 1)"));
    EXPECT_TRUE(t.truth("DESCEND('ABC') > DESCEND('ABD')"));
}

TEST(Expr4Eval, NonLogicalFiltersAreRefused) {
    People t;
    Expr4* e = expr4parseSource(&t, "LASTNAME");
    ASSERT_NE(e, nullptr);
    EXPECT_LT(expr4true(e), 0);
    EXPECT_EQ(t.lastError(), -460);
    expr4free(e);
}

TEST(Expr4Eval, AnExplicitRecordBufferIsUsedInsteadOfTheTables) {
    People t;
    Expr4* e = expr4parseSource(&t, "UPPER(LASTNAME)+MI");
    ASSERT_NE(e, nullptr);
    std::vector<char> old(t.buffer(), t.buffer() + t.recordLength());
    t.set("LASTNAME", "Jones");
    char* key;
    ASSERT_EQ(expr4key(e, &key, old.data()), 21);
    EXPECT_EQ(std::string(key, 21), "SMITH               K");
    ASSERT_EQ(expr4key(e, &key), 21);
    EXPECT_EQ(std::string(key, 21), "JONES               K");
    expr4free(e);
}

TEST(Expr4Eval, ThreadsShareTheEvaluationStateSafely) {
    People a, b;
    b.set("LASTNAME", "Brown");
    Expr4* ea = expr4parseSource(&a, "LASTNAME+FIRSTNAME+STR(COUNT,8,2)");
    Expr4* eb = expr4parseSource(&b, "LASTNAME+FIRSTNAME+STR(COUNT,8,2)");
    ASSERT_NE(ea, nullptr);
    ASSERT_NE(eb, nullptr);
    int bad = 0;
    auto work = [&bad](Expr4* e, const char* expect) {
        for (int i = 0; i < 20000; ++i) {
            char* key;
            int n = expr4key(e, &key);
            if (n != 48 || std::memcmp(key, expect, 5) != 0) ++bad;
        }
    };
    std::thread t1(work, ea, "Smith");
    std::thread t2(work, eb, "Brown");
    t1.join();
    t2.join();
    EXPECT_EQ(bad, 0);
    expr4free(ea);
    expr4free(eb);
}

}  // namespace
