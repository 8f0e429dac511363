// Evaluation routines and the function and operator table.
//
// Every routine reads its operands from the evaluation buffer at the positions of the items that
// produced them and writes its result at its own position.  The result position is always the
// position of the first operand, so routines read what they need before writing (or use memmove).
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>

#include "engine/src/expr4internal.h"
#include "engine/src/expr4value.h"

namespace {

using namespace e4v;

// ---- field items and constants ------------------------------------------------------------

void fField(E4run& r, const E4item& it) {
    std::memcpy(out(r, it), r.record + it.fieldOffset, static_cast<size_t>(it.len));
    r.actLen[r.current] = it.len;
}

void fConstString(E4run& r, const E4item& it) {
    std::memcpy(out(r, it), r.expr->constants.data() + it.extra, static_cast<size_t>(it.len));
    r.actLen[r.current] = it.len;
}

void fConstNumber(E4run& r, const E4item& it) {
    double v;
    std::memcpy(&v, r.expr->constants.data() + it.extra, sizeof v);
    setNum(r, it, v);
}

void fTrue(E4run& r, const E4item& it) {
    setLog(r, it, true);
}
void fFalse(E4run& r, const E4item& it) {
    setLog(r, it, false);
}

// ---- logical operators --------------------------------------------------------------------

void fNot(E4run& r, const E4item& it) {
    setLog(r, it, !logArg(r, it, 0));
}

void fOr(E4run& r, const E4item& it) {
    bool v = false;
    for (int i = 0; i < it.numParms; ++i) v = logArg(r, it, i) || v;
    setLog(r, it, v);
}

void fAnd(E4run& r, const E4item& it) {
    bool v = true;
    for (int i = 0; i < it.numParms; ++i) v = logArg(r, it, i) && v;
    setLog(r, it, v);
}

// ---- "+" and "-" --------------------------------------------------------------------------

void fConcat(E4run& r, const E4item& it) {
    int la, ra;
    const char* left = strArg(r, it, 0, la);
    const char* right = strArg(r, it, 1, ra);
    char* dst = out(r, it);
    std::memmove(dst, left, static_cast<size_t>(la));
    std::memmove(dst + la, right, static_cast<size_t>(ra));
    r.actLen[r.current] = la + ra;
}

// Left value with its trailing blanks moved behind the right value.
void fConcatTrim(E4run& r, const E4item& it) {
    int la, ra;
    const char* left = strArg(r, it, 0, la);
    const char* right = strArg(r, it, 1, ra);
    int t = la;
    while (t > 0 && left[t - 1] == ' ') --t;
    char* dst = out(r, it);
    std::memmove(dst, left, static_cast<size_t>(t));
    std::memmove(dst + t, right, static_cast<size_t>(ra));
    std::memset(dst + t + ra, ' ', static_cast<size_t>(la - t));
    r.actLen[r.current] = la + ra;
}

void fAddN(E4run& r, const E4item& it) {
    setNum(r, it, numArg(r, it, 0) + numArg(r, it, 1));
}
void fSubN(E4run& r, const E4item& it) {
    setNum(r, it, numArg(r, it, 0) - numArg(r, it, 1));
}

void fAddY(E4run& r, const E4item& it) {
    setCurrency(r, it, addSat(currencyArg(r, it, 0), currencyArg(r, it, 1)));
}
void fSubY(E4run& r, const E4item& it) {
    int64_t b = currencyArg(r, it, 1);
    setCurrency(r, it, addSat(currencyArg(r, it, 0), b == INT64_MIN ? INT64_MAX : -b));
}

// Date-times count in seconds when numbers are added or a difference is taken.
void fAddTN(E4run& r, const E4item& it) {
    setDateTime(r, it, dateTimeArg(r, it, 0) + numArg(r, it, 1) * 1000.0);
}
void fAddNT(E4run& r, const E4item& it) {
    setDateTime(r, it, dateTimeArg(r, it, 1) + numArg(r, it, 0) * 1000.0);
}
void fSubTT(E4run& r, const E4item& it) {
    setNum(r, it, (dateTimeArg(r, it, 0) - dateTimeArg(r, it, 1)) / 1000.0);
}
void fSubTN(E4run& r, const E4item& it) {
    setDateTime(r, it, dateTimeArg(r, it, 0) - numArg(r, it, 1) * 1000.0);
}

// ---- comparisons --------------------------------------------------------------------------

enum Cmp { eq, ne, ge, le, gt, lt };

bool judge(int c, Cmp op) {
    switch (op) {
        case eq:
            return c == 0;
        case ne:
            return c != 0;
        case ge:
            return c >= 0;
        case le:
            return c <= 0;
        case gt:
            return c > 0;
        case lt:
            return c < 0;
    }
    return false;
}

// Character comparison over the length of the right operand, a shorter left operand counting
// as blank-padded: "ABC" = "AB" holds, "AB" = "ABC" does not.
int compareChar(E4run& r, const E4item& it) {
    int la, ra;
    const unsigned char* a = reinterpret_cast<const unsigned char*>(strArg(r, it, 0, la));
    const unsigned char* b = reinterpret_cast<const unsigned char*>(strArg(r, it, 1, ra));
    for (int i = 0; i < ra; ++i) {
        unsigned char x = i < la ? a[i] : ' ';
        if (x != b[i]) return x < b[i] ? -1 : 1;
    }
    return 0;
}

template <typename T>
int sign(T a, T b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

template <Cmp op>
void fCmpC(E4run& r, const E4item& it) {
    int c = compareChar(r, it);
    setLog(r, it, judge(c, op));
}
template <Cmp op>
void fCmpN(E4run& r, const E4item& it) {
    setLog(r, it, judge(sign(numArg(r, it, 0), numArg(r, it, 1)), op));
}
template <Cmp op>
void fCmpY(E4run& r, const E4item& it) {
    setLog(r, it, judge(sign(currencyArg(r, it, 0), currencyArg(r, it, 1)), op));
}
template <Cmp op>
void fCmpT(E4run& r, const E4item& it) {
    setLog(r, it, judge(sign(dateTimeArg(r, it, 0), dateTimeArg(r, it, 1)), op));
}
template <Cmp op>
void fCmpL(E4run& r, const E4item& it) {
    setLog(r, it, judge(sign(logArg(r, it, 0), logArg(r, it, 1)), op));
}

// "==": both values of the same length and the same bytes.
void fExactEqual(E4run& r, const E4item& it) {
    int la, ra;
    const char* a = strArg(r, it, 0, la);
    const char* b = strArg(r, it, 1, ra);
    setLog(r, it, la == ra && std::memcmp(a, b, static_cast<size_t>(la)) == 0);
}

// ---- arithmetic ---------------------------------------------------------------------------

void fPower(E4run& r, const E4item& it) {
    setNum(r, it, std::pow(numArg(r, it, 0), numArg(r, it, 1)));
}
void fMultiply(E4run& r, const E4item& it) {
    setNum(r, it, numArg(r, it, 0) * numArg(r, it, 1));
}
// Division by zero gives 0 rather than an infinity, so a key never depends on it.
void fDivide(E4run& r, const E4item& it) {
    double b = numArg(r, it, 1);
    setNum(r, it, b == 0.0 ? 0.0 : numArg(r, it, 0) / b);
}

// Left operand contained in the right one.
void fContained(E4run& r, const E4item& it) {
    int la, ra;
    const char* a = strArg(r, it, 0, la);
    const char* b = strArg(r, it, 1, ra);
    bool found = la == 0;
    for (int i = 0; !found && i + la <= ra; ++i)
        found = std::memcmp(b + i, a, static_cast<size_t>(la)) == 0;
    setLog(r, it, found);
}

// ---- character functions ------------------------------------------------------------------

void fChr(E4run& r, const E4item& it) {
    double v = numArg(r, it, 0);
    double m = std::isfinite(v) ? std::fmod(std::trunc(v), 256.0) : 0.0;
    if (m < 0) m += 256.0;
    out(r, it)[0] = static_cast<char>(static_cast<unsigned char>(m));
    r.actLen[r.current] = 1;
}

void fDel(E4run& r, const E4item& it) {
    out(r, it)[0] = r.record[0];
    r.actLen[r.current] = 1;
}

void fStr(E4run& r, const E4item& it) {
    double v = numArg(r, it, 0);
    formatNumber(out(r, it), it.len, it.extra2, v, false);
    r.actLen[r.current] = it.len;
}

void fStrZero(E4run& r, const E4item& it) {
    double v = numArg(r, it, 0);
    formatNumber(out(r, it), it.len, it.extra2, v, true);
    r.actLen[r.current] = it.len;
}

void fSubstr(E4run& r, const E4item& it) {
    int la;
    const char* a = strArg(r, it, 0, la);
    int start = it.extra - 1;
    int n = start >= la ? 0 : std::min(it.len, la - start);
    if (n > 0) std::memmove(out(r, it), a + start, static_cast<size_t>(n));
    r.actLen[r.current] = n;
}

void fTime(E4run& r, const E4item& it) {
    std::time_t now = e4now();
    std::tm tm{};
    localtime_r(&now, &tm);
    char text[16];
    int h = tm.tm_hour, m = tm.tm_min, s = tm.tm_sec;
    text[0] = static_cast<char>('0' + h / 10);
    text[1] = static_cast<char>('0' + h % 10);
    text[2] = ':';
    text[3] = static_cast<char>('0' + m / 10);
    text[4] = static_cast<char>('0' + m % 10);
    text[5] = ':';
    text[6] = static_cast<char>('0' + s / 10);
    text[7] = static_cast<char>('0' + s % 10);
    std::memcpy(out(r, it), text, 8);
    r.actLen[r.current] = 8;
}

void fUpper(E4run& r, const E4item& it) {
    int la;
    const char* a = strArg(r, it, 0, la);
    char* dst = out(r, it);
    for (int i = 0; i < la; ++i) dst[i] = upper1252(a[i]);
    r.actLen[r.current] = la;
}

void fDtosD(E4run& r, const E4item& it) {
    int la;
    const char* a = strArg(r, it, 0, la);
    std::memmove(out(r, it), a, 8);
    r.actLen[r.current] = 8;
}
void fDtosDay(E4run& r, const E4item& it) {
    expr4julianToText(dayArg(r, it, 0), out(r, it));
    r.actLen[r.current] = 8;
}

void fDtoc(E4run& r, const E4item& it) {
    long day = dayArg(r, it, 0);
    formatDate(out(r, it), r.expr->constants.data() + it.extra, it.len, day);
    r.actLen[r.current] = it.len;
}

void fTrim(E4run& r, const E4item& it) {
    int la;
    const char* a = strArg(r, it, 0, la);
    while (la > 0 && a[la - 1] == ' ') --la;
    std::memmove(out(r, it), a, static_cast<size_t>(la));
    r.actLen[r.current] = la;
}

void fLtrim(E4run& r, const E4item& it) {
    int la;
    const char* a = strArg(r, it, 0, la);
    int s = 0;
    while (s < la && a[s] == ' ') ++s;
    std::memmove(out(r, it), a + s, static_cast<size_t>(la - s));
    r.actLen[r.current] = la - s;
}

void fAlltrim(E4run& r, const E4item& it) {
    int la;
    const char* a = strArg(r, it, 0, la);
    int s = 0;
    while (s < la && a[s] == ' ') ++s;
    while (la > s && a[la - 1] == ' ') --la;
    std::memmove(out(r, it), a + s, static_cast<size_t>(la - s));
    r.actLen[r.current] = la - s;
}

void fLeft(E4run& r, const E4item& it) {
    int la;
    const char* a = strArg(r, it, 0, la);
    int n = std::min(it.len, la);
    std::memmove(out(r, it), a, static_cast<size_t>(n));
    r.actLen[r.current] = n;
}

void fRight(E4run& r, const E4item& it) {
    int la;
    const char* a = strArg(r, it, 0, la);
    int n = std::min(it.len, la);
    std::memmove(out(r, it), a + (la - n), static_cast<size_t>(n));
    r.actLen[r.current] = n;
}

// PADL and PADR fill up to the length with the pad character (extra2); a longer value keeps
// its leftmost characters.
void fPadl(E4run& r, const E4item& it) {
    int la;
    const char* a = strArg(r, it, 0, la);
    char* dst = out(r, it);
    if (la >= it.len) {
        std::memmove(dst, a, static_cast<size_t>(it.len));
    } else {
        int fill = it.len - la;
        std::memmove(dst + fill, a, static_cast<size_t>(la));
        std::memset(dst, it.extra2, static_cast<size_t>(fill));
    }
    r.actLen[r.current] = it.len;
}

void fPadr(E4run& r, const E4item& it) {
    int la;
    const char* a = strArg(r, it, 0, la);
    char* dst = out(r, it);
    int n = std::min(la, it.len);
    std::memmove(dst, a, static_cast<size_t>(n));
    std::memset(dst + n, it.extra2, static_cast<size_t>(it.len - n));
    r.actLen[r.current] = it.len;
}

void fIif(E4run& r, const E4item& it) {
    bool cond = logArg(r, it, 0);
    int idx = parmIndex(r, it, cond ? 1 : 2);
    int n = r.actLen[idx];
    std::memmove(out(r, it), r.buf + r.expr->items[static_cast<size_t>(idx)].pos,
                 static_cast<size_t>(n));
    r.actLen[r.current] = n;
}

// ---- dates --------------------------------------------------------------------------------

void fStod(E4run& r, const E4item& it) {
    int la;
    const char* a = strArg(r, it, 0, la);
    setNum(r, it, la >= 8 ? static_cast<double>(expr4julianText(a)) : 0.0);
}

void fCtod(E4run& r, const E4item& it) {
    int la;
    const char* a = strArg(r, it, 0, la);
    const char* pic = r.expr->constants.data() + it.extra;
    setNum(r, it, static_cast<double>(parseDate(a, la, pic, it.extra2)));
}

void fDate(E4run& r, const E4item& it) {
    std::time_t now = e4now();
    std::tm tm{};
    localtime_r(&now, &tm);
    setNum(r, it, static_cast<double>(expr4julian(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday)));
}

void fDay(E4run& r, const E4item& it) {
    int y, m, d;
    civil(dayArg(r, it, 0), y, m, d);
    setNum(r, it, d);
}
void fMonth(E4run& r, const E4item& it) {
    int y, m, d;
    civil(dayArg(r, it, 0), y, m, d);
    setNum(r, it, m);
}
void fYear(E4run& r, const E4item& it) {
    int y, m, d;
    civil(dayArg(r, it, 0), y, m, d);
    setNum(r, it, y);
}

// ---- table state --------------------------------------------------------------------------

void fDeleted(E4run& r, const E4item& it) {
    setLog(r, it, r.record[0] == '*');
}
void fRecCount(E4run& r, const E4item& it) {
    setNum(r, it, static_cast<double>(r.expr->source->recCount()));
}
void fRecNo(E4run& r, const E4item& it) {
    setNum(r, it, static_cast<double>(r.expr->source->recNo()));
}

void fVal(E4run& r, const E4item& it) {
    int la;
    const char* a = strArg(r, it, 0, la);
    setNum(r, it, parseNumber(a, la));
}

// There are no report pages while a key or filter is evaluated.
void fPageNo(E4run& r, const E4item& it) {
    setNum(r, it, 0.0);
}

// ---- key forms as character values --------------------------------------------------------

void fAscend(E4run& r, const E4item& it) {
    int idx = parmIndex(r, it, 0);
    unsigned char key[8];
    const E4item& src = r.expr->items[static_cast<size_t>(idx)];
    int n = keyForm(r, idx, key, nullptr);
    char* dst = out(r, it);
    if (n < 0) {  // character operand: already its own key form, blank-padded
        int la = r.actLen[idx];
        std::memmove(dst, r.buf + src.pos, static_cast<size_t>(la));
        std::memset(dst + la, ' ', static_cast<size_t>(it.len - la));
    } else {
        std::memcpy(dst, key, static_cast<size_t>(n));
    }
    r.actLen[r.current] = it.len;
}

void fDescend(E4run& r, const E4item& it) {
    fAscend(r, it);
    char* dst = out(r, it);
    for (int i = 0; i < it.len; ++i)
        dst[i] = static_cast<char>(~static_cast<unsigned char>(dst[i]));
}

constexpr int nl(const char* s) {
    int n = 0;
    while (s && s[n]) ++n;
    return n;
}

#define ROW(fn, name, code, prio, res, np, p1, p2, p3, kind)                \
    E4row {                                                                 \
        fn, name, code, nl(name), prio, res, np, {p1, p2, p3}, E4kind::kind \
    }

}  // namespace

// The table.  Rows of one name are adjacent and only the first carries the name; the parser
// takes the first row whose name matches, type resolution the first row of the same code whose
// parameter types fit the operands.
const E4row e4rows[] = {
    // Field references, one row per field type.
    ROW(fField, nullptr, 0, 0, 'C', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 1, 0, 'N', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 2, 0, 'F', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 3, 0, 'D', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 4, 0, 'L', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 5, 0, 'M', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 6, 0, 'G', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 7, 0, 'B', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 8, 0, 'I', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 9, 0, 'Y', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 440, 0, 'T', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 441, 0, 'P', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 442, 0, 'Q', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 443, 0, 'R', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 444, 0, 'O', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 445, 0, 'W', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 446, 0, 'Z', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 447, 0, 'V', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 448, 0, '1', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 449, 0, '2', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 450, 0, '3', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 451, 0, '4', 0, 0, 0, 0, field),
    ROW(fField, nullptr, 452, 0, '5', 0, 0, 0, 0, field),
    // Constants.
    ROW(fConstString, nullptr, 10, 0, 'C', 0, 0, 0, 0, constant),
    ROW(fConstNumber, nullptr, 12, 0, 'n', 0, 0, 0, 0, constant),
    ROW(fTrue, ".TRUE.", 14, 0, 'L', 0, 0, 0, 0, logical),
    ROW(fTrue, ".T.", 14, 0, 'L', 0, 0, 0, 0, logical),
    ROW(fFalse, ".FALSE.", 16, 0, 'L', 0, 0, 0, 0, logical),
    ROW(fFalse, ".F.", 16, 0, 'L', 0, 0, 0, 0, logical),
    ROW(fNot, ".NOT.", 18, 5, 'L', 1, 'L', 0, 0, unary),
    ROW(fOr, ".OR.", 20, 3, 'L', E4ANY, 'L', 0, 0, binary),
    ROW(fAnd, ".AND.", 22, 4, 'L', E4ANY, 'L', 0, 0, binary),
    // "+"
    ROW(fConcat, "+", 25, 7, 'C', 2, 'C', 'C', 0, binary),
    ROW(fAddY, nullptr, 25, 7, 'Y', 2, 'Y', 'Y', 0, binary),
    ROW(fAddN, nullptr, 25, 7, 'n', 2, 'n', 'n', 0, binary),
    ROW(fAddN, nullptr, 25, 7, 'd', 2, 'd', 'n', 0, binary),
    ROW(fAddN, nullptr, 25, 7, 'd', 2, 'n', 'd', 0, binary),
    ROW(fAddTN, nullptr, 25, 7, 'T', 2, 'T', 'n', 0, binary),
    ROW(fAddNT, nullptr, 25, 7, 'T', 2, 'n', 'T', 0, binary),
    // "-"
    ROW(fConcatTrim, "-", 30, 7, 'C', 2, 'C', 'C', 0, binary),
    ROW(fSubY, nullptr, 30, 7, 'Y', 2, 'Y', 'Y', 0, binary),
    ROW(fSubN, nullptr, 30, 7, 'n', 2, 'n', 'n', 0, binary),
    ROW(fSubN, nullptr, 30, 7, 'n', 2, 'd', 'd', 0, binary),
    ROW(fSubN, nullptr, 30, 7, 'd', 2, 'd', 'n', 0, binary),
    ROW(fSubTT, nullptr, 30, 7, 'n', 2, 'T', 'T', 0, binary),
    ROW(fSubTN, nullptr, 30, 7, 'T', 2, 'T', 'n', 0, binary),
    // "#", "<>"
    ROW(fCmpC<ne>, "#", 50, 6, 'L', 2, 'C', 'C', 0, binary),
    ROW(fCmpY<ne>, nullptr, 50, 6, 'L', 2, 'Y', 'Y', 0, binary),
    ROW(fCmpT<ne>, nullptr, 50, 6, 'L', 2, 'T', 'T', 0, binary),
    ROW(fCmpN<ne>, nullptr, 50, 6, 'L', 2, 'n', 'n', 0, binary),
    ROW(fCmpN<ne>, nullptr, 50, 6, 'L', 2, 'd', 'd', 0, binary),
    ROW(fCmpL<ne>, nullptr, 50, 6, 'L', 2, 'L', 'L', 0, binary),
    ROW(fCmpC<ne>, "<>", 50, 6, 'L', 2, 'C', 'C', 0, binary),
    ROW(fCmpY<ne>, nullptr, 50, 6, 'L', 2, 'Y', 'Y', 0, binary),
    ROW(fCmpT<ne>, nullptr, 50, 6, 'L', 2, 'T', 'T', 0, binary),
    ROW(fCmpN<ne>, nullptr, 50, 6, 'L', 2, 'n', 'n', 0, binary),
    ROW(fCmpN<ne>, nullptr, 50, 6, 'L', 2, 'd', 'd', 0, binary),
    ROW(fCmpL<ne>, nullptr, 50, 6, 'L', 2, 'L', 'L', 0, binary),
    // ">=", "=>"
    ROW(fCmpC<ge>, ">=", 60, 6, 'L', 2, 'C', 'C', 0, binary),
    ROW(fCmpY<ge>, nullptr, 60, 6, 'L', 2, 'Y', 'Y', 0, binary),
    ROW(fCmpT<ge>, nullptr, 60, 6, 'L', 2, 'T', 'T', 0, binary),
    ROW(fCmpN<ge>, nullptr, 60, 6, 'L', 2, 'n', 'n', 0, binary),
    ROW(fCmpN<ge>, nullptr, 60, 6, 'L', 2, 'd', 'd', 0, binary),
    ROW(fCmpC<ge>, "=>", 60, 6, 'L', 2, 'C', 'C', 0, binary),
    ROW(fCmpY<ge>, nullptr, 60, 6, 'L', 2, 'Y', 'Y', 0, binary),
    ROW(fCmpT<ge>, nullptr, 60, 6, 'L', 2, 'T', 'T', 0, binary),
    ROW(fCmpN<ge>, nullptr, 60, 6, 'L', 2, 'n', 'n', 0, binary),
    ROW(fCmpN<ge>, nullptr, 60, 6, 'L', 2, 'd', 'd', 0, binary),
    // "<=", "=<"
    ROW(fCmpC<le>, "<=", 70, 6, 'L', 2, 'C', 'C', 0, binary),
    ROW(fCmpY<le>, nullptr, 70, 6, 'L', 2, 'Y', 'Y', 0, binary),
    ROW(fCmpT<le>, nullptr, 70, 6, 'L', 2, 'T', 'T', 0, binary),
    ROW(fCmpN<le>, nullptr, 70, 6, 'L', 2, 'n', 'n', 0, binary),
    ROW(fCmpN<le>, nullptr, 70, 6, 'L', 2, 'd', 'd', 0, binary),
    ROW(fCmpC<le>, "=<", 70, 6, 'L', 2, 'C', 'C', 0, binary),
    ROW(fCmpY<le>, nullptr, 70, 6, 'L', 2, 'Y', 'Y', 0, binary),
    ROW(fCmpT<le>, nullptr, 70, 6, 'L', 2, 'T', 'T', 0, binary),
    ROW(fCmpN<le>, nullptr, 70, 6, 'L', 2, 'n', 'n', 0, binary),
    ROW(fCmpN<le>, nullptr, 70, 6, 'L', 2, 'd', 'd', 0, binary),
    // "="
    ROW(fCmpC<eq>, "=", 40, 6, 'L', 2, 'C', 'C', 0, binary),
    ROW(fCmpL<eq>, nullptr, 40, 6, 'L', 2, 'L', 'L', 0, binary),
    ROW(fCmpY<eq>, nullptr, 40, 6, 'L', 2, 'Y', 'Y', 0, binary),
    ROW(fCmpT<eq>, nullptr, 40, 6, 'L', 2, 'T', 'T', 0, binary),
    ROW(fCmpN<eq>, nullptr, 40, 6, 'L', 2, 'n', 'n', 0, binary),
    ROW(fCmpN<eq>, nullptr, 40, 6, 'L', 2, 'd', 'd', 0, binary),
    // ">"
    ROW(fCmpC<gt>, ">", 80, 6, 'L', 2, 'C', 'C', 0, binary),
    ROW(fCmpY<gt>, nullptr, 80, 6, 'L', 2, 'Y', 'Y', 0, binary),
    ROW(fCmpT<gt>, nullptr, 80, 6, 'L', 2, 'T', 'T', 0, binary),
    ROW(fCmpN<gt>, nullptr, 80, 6, 'L', 2, 'n', 'n', 0, binary),
    ROW(fCmpN<gt>, nullptr, 80, 6, 'L', 2, 'd', 'd', 0, binary),
    // "<"
    ROW(fCmpC<lt>, "<", 90, 6, 'L', 2, 'C', 'C', 0, binary),
    ROW(fCmpY<lt>, nullptr, 90, 6, 'L', 2, 'Y', 'Y', 0, binary),
    ROW(fCmpT<lt>, nullptr, 90, 6, 'L', 2, 'T', 'T', 0, binary),
    ROW(fCmpN<lt>, nullptr, 90, 6, 'L', 2, 'n', 'n', 0, binary),
    ROW(fCmpN<lt>, nullptr, 90, 6, 'L', 2, 'd', 'd', 0, binary),
    // Arithmetic and containment.
    ROW(fPower, "^", 100, 9, 'n', 2, 'n', 'n', 0, binary),
    ROW(fPower, "**", 100, 9, 'n', 2, 'n', 'n', 0, binary),
    ROW(fMultiply, "*", 102, 8, 'n', 2, 'n', 'n', 0, binary),
    ROW(fDivide, "/", 105, 8, 'n', 2, 'n', 'n', 0, binary),
    ROW(fContained, "$", 110, 6, 'L', 2, 'C', 'C', 0, binary),
    // Functions.
    ROW(fChr, "CHR", 120, 0, 'C', 1, 'n', 0, 0, function),
    ROW(fDel, "DEL", 130, 0, 'C', 0, 0, 0, 0, function),
    ROW(fStr, "STR", 140, 0, 'C', 1, 'n', 0, 0, function),
    ROW(fStr, nullptr, 140, 0, 'C', 2, 'n', 'n', 0, function),
    ROW(fStr, nullptr, 140, 0, 'C', 3, 'n', 'n', 'n', function),
    ROW(fStrZero, "STRZERO", 145, 0, 'C', 1, 'n', 0, 0, function),
    ROW(fStrZero, nullptr, 145, 0, 'C', 2, 'n', 'n', 0, function),
    ROW(fStrZero, nullptr, 145, 0, 'C', 3, 'n', 'n', 'n', function),
    ROW(fSubstr, "SUBSTR", 150, 0, 'C', 3, 'C', 'n', 'n', function),
    ROW(fSubstr, nullptr, 150, 0, 'C', 2, 'C', 'n', 0, function),
    ROW(fTime, "TIME", 160, 0, 'C', 0, 0, 0, 0, function),
    ROW(fUpper, "UPPER", 170, 0, 'C', 1, 'C', 0, 0, function),
    ROW(fDtosD, "DTOS", 180, 0, 'C', 1, 'D', 0, 0, function),
    ROW(fDtosDay, nullptr, 180, 0, 'C', 1, 'd', 0, 0, function),
    ROW(fDtosDay, nullptr, 180, 0, 'C', 1, 'T', 0, 0, function),
    ROW(fDtoc, "DTOC", 200, 0, 'C', 1, 'D', 0, 0, function),
    ROW(fDtoc, nullptr, 200, 0, 'C', 1, 'd', 0, 0, function),
    ROW(fDtoc, nullptr, 200, 0, 'C', 1, 'T', 0, 0, function),
    ROW(fTrim, "TRIM", 220, 0, 'C', 1, 'C', 0, 0, function),
    ROW(fLtrim, "LTRIM", 230, 0, 'C', 1, 'C', 0, 0, function),
    ROW(fAlltrim, "ALLTRIM", 235, 0, 'C', 1, 'C', 0, 0, function),
    ROW(fLeft, "LEFT", 240, 0, 'C', 2, 'C', 'n', 0, function),
    ROW(fRight, "RIGHT", 245, 0, 'C', 2, 'C', 'n', 0, function),
    ROW(fPadl, "PADL", 246, 0, 'C', 2, 'C', 'n', 0, function),
    ROW(fPadl, nullptr, 246, 0, 'C', 3, 'C', 'n', 'C', function),
    ROW(fPadr, "PADR", 247, 0, 'C', 2, 'C', 'n', 0, function),
    ROW(fPadr, nullptr, 247, 0, 'C', 3, 'C', 'n', 'C', function),
    ROW(fIif, "IIF", 250, 0, 'C', 3, 'L', 'C', 'C', function),
    ROW(fIif, nullptr, 250, 0, 'n', 3, 'L', 'n', 'n', function),
    ROW(fIif, nullptr, 250, 0, 'd', 3, 'L', 'd', 'd', function),
    ROW(fIif, nullptr, 250, 0, 'L', 3, 'L', 'L', 'L', function),
    ROW(fStod, "STOD", 260, 0, 'd', 1, 'C', 0, 0, function),
    ROW(fCtod, "CTOD", 270, 0, 'd', 1, 'C', 0, 0, function),
    ROW(fDate, "DATE", 280, 0, 'd', 0, 0, 0, 0, function),
    ROW(fDay, "DAY", 290, 0, 'n', 1, 'd', 0, 0, function),
    ROW(fDay, nullptr, 290, 0, 'n', 1, 'T', 0, 0, function),
    ROW(fMonth, "MONTH", 310, 0, 'n', 1, 'd', 0, 0, function),
    ROW(fMonth, nullptr, 310, 0, 'n', 1, 'T', 0, 0, function),
    ROW(fYear, "YEAR", 340, 0, 'n', 1, 'd', 0, 0, function),
    ROW(fYear, nullptr, 340, 0, 'n', 1, 'T', 0, 0, function),
    ROW(fDeleted, "DELETED", 350, 0, 'L', 0, 0, 0, 0, function),
    ROW(fRecCount, "RECCOUNT", 360, 0, 'n', 0, 0, 0, 0, function),
    ROW(fRecNo, "RECNO", 370, 0, 'n', 0, 0, 0, 0, function),
    ROW(fVal, "VAL", 380, 0, 'n', 1, 'C', 0, 0, function),
    ROW(fPageNo, "PAGENO", 410, 0, 'n', 0, 0, 0, 0, function),
    ROW(fDescend, "DESCEND", 420, 0, 'C', 1, 'C', 0, 0, function),
    ROW(fDescend, nullptr, 420, 0, 'C', 1, 'L', 0, 0, function),
    ROW(fDescend, nullptr, 420, 0, 'C', 1, 'I', 0, 0, function),
    ROW(fDescend, nullptr, 420, 0, 'C', 1, 'Y', 0, 0, function),
    ROW(fDescend, nullptr, 420, 0, 'C', 1, 'T', 0, 0, function),
    ROW(fDescend, nullptr, 420, 0, 'C', 1, 'n', 0, 0, function),
    ROW(fDescend, nullptr, 420, 0, 'C', 1, 'd', 0, 0, function),
    ROW(fAscend, "ASCEND", 430, 0, 'C', 1, 'C', 0, 0, function),
    ROW(fAscend, nullptr, 430, 0, 'C', 1, 'L', 0, 0, function),
    ROW(fAscend, nullptr, 430, 0, 'C', 1, 'I', 0, 0, function),
    ROW(fAscend, nullptr, 430, 0, 'C', 1, 'Y', 0, 0, function),
    ROW(fAscend, nullptr, 430, 0, 'C', 1, 'T', 0, 0, function),
    ROW(fAscend, nullptr, 430, 0, 'C', 1, 'n', 0, 0, function),
    ROW(fAscend, nullptr, 430, 0, 'C', 1, 'd', 0, 0, function),
    // End of the table.
    ROW(nullptr, nullptr, -1, 0, 0, 0, 0, 0, 0, end),
};

const int kE4rowCount = static_cast<int>(sizeof e4rows / sizeof e4rows[0]) - 1;

// Operators other xBase programs write into stored expressions.
const E4row e4compatRows[] = {
    ROW(fExactEqual, "==", 45, 6, 'L', 2, 'C', 'C', 0, binary),
    ROW(nullptr, nullptr, -1, 0, 0, 0, 0, 0, 0, end),
};
