// Evaluation of compiled expressions, key forms and date arithmetic.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "engine/clock4.h"
#include "engine/src/expr4internal.h"
#include "engine/src/expr4value.h"

namespace {

// Julian day numbers of 1 January 0001 and 31 December 9999 (proleptic Gregorian).
constexpr long kFirstDay = 1721426;
constexpr long kLastDay = 5373484;

// The process-wide evaluation state: the working buffer and the per-item lengths.  Every
// evaluation holds the lock from binding the record until its result has been copied out.
struct EvalState {
    std::mutex lock;
    std::vector<char> buf;
    std::vector<int> actLen;
};

EvalState& evalState() {
    static EvalState state;
    return state;
}

// Runs the items of expr against record; the caller holds the evaluation lock.  Returns the
// index of the last item.
int run(EvalState& st, Expr4* e, const char* record, E4run& r) {
    if (st.buf.size() < static_cast<size_t>(e->bufLen) + 8)
        st.buf.resize(static_cast<size_t>(e->bufLen) + 8);
    if (st.actLen.size() < e->items.size()) st.actLen.resize(e->items.size());
    r.expr = e;
    r.record = record;
    r.buf = st.buf.data();
    r.actLen = st.actLen.data();
    const int n = static_cast<int>(e->items.size());
    for (int i = 0; i < n; ++i) {
        r.current = i;
        const E4item& it = e->items[static_cast<size_t>(i)];
        it.row->fn(r, it);
    }
    return n - 1;
}

const char* recordOf(Expr4* e, const char* record) {
    return record ? record : e->source->record();
}

}  // namespace

namespace e4v {

double parseNumber(const char* text, int len) {
    int i = 0;
    while (i < len && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool neg = false;
    if (i < len && (text[i] == '+' || text[i] == '-')) {
        neg = text[i] == '-';
        ++i;
    }
    char tmp[80];
    int n = 0;
    bool point = false;
    if (i < len && text[i] == '.') tmp[n++] = '0';
    for (; i < len && n < 78; ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            tmp[n++] = c;
        } else if (c == '.' && !point) {
            point = true;
            tmp[n++] = c;
        } else {
            break;
        }
    }
    if (n == 0) return 0.0;
    double v = 0.0;
    std::from_chars(tmp, tmp + n, v, std::chars_format::fixed);
    return neg ? -v : v;
}

long dayOfNumber(double v) {
    if (!(v >= static_cast<double>(kFirstDay) && v < static_cast<double>(kLastDay + 1))) return 0;
    return static_cast<long>(std::floor(v));
}

void civil(long julian, int& y, int& m, int& d) {
    if (julian < kFirstDay || julian > kLastDay) {
        y = m = d = 0;
        return;
    }
    // Fliegel and Van Flandern.
    long l = julian + 68569;
    long n = 4 * l / 146097;
    l = l - (146097 * n + 3) / 4;
    long i = 4000 * (l + 1) / 1461001;
    l = l - 1461 * i / 4 + 31;
    long j = 80 * l / 2447;
    d = static_cast<int>(l - 2447 * j / 80);
    l = j / 11;
    m = static_cast<int>(j + 2 - 12 * l);
    y = static_cast<int>(100 * (n - 49) + i + l);
}

char upper1252(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z') return static_cast<char>(u - 32);
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char>(u - 32);
    switch (u) {
        case 0x9A:
            return static_cast<char>(0x8A);
        case 0x9C:
            return static_cast<char>(0x8C);
        case 0x9E:
            return static_cast<char>(0x8E);
        case 0xFF:
            return static_cast<char>(0x9F);
        default:
            return c;
    }
}

// Right-aligned fixed-point text of exactly len characters, rounded half away from zero;
// a value that does not fit fills the field with '*'.
void formatNumber(char* dst, int len, int dec, double v, bool zeros) {
    if (len <= 0) return;
    dec = std::clamp(dec, 0, 100);
    if (!std::isfinite(v)) {
        std::memset(dst, '*', static_cast<size_t>(len));
        return;
    }
    double scale = std::pow(10.0, dec);
    double scaled = v * scale;
    if (std::fabs(scaled) < 1e15) {
        scaled = std::round(scaled + std::copysign(std::fabs(scaled) * 1e-13, scaled));
        v = scaled / scale;
    }
    bool neg = v < 0;
    double a = std::fabs(v);
    char tmp[512];
    auto res = std::to_chars(tmp, tmp + sizeof tmp, a, std::chars_format::fixed, dec);
    int n = res.ec == std::errc() ? static_cast<int>(res.ptr - tmp) : static_cast<int>(sizeof tmp);
    bool allZero = true;
    for (int i = 0; i < n && allZero; ++i) allZero = tmp[i] == '0' || tmp[i] == '.';
    if (allZero) neg = false;
    int need = n + (neg ? 1 : 0);
    if (need > len) {
        std::memset(dst, '*', static_cast<size_t>(len));
        return;
    }
    int fill = len - need;
    if (zeros) {
        int p = 0;
        if (neg) dst[p++] = '-';
        std::memset(dst + p, '0', static_cast<size_t>(fill));
        std::memcpy(dst + p + fill, tmp, static_cast<size_t>(n));
    } else {
        std::memset(dst, ' ', static_cast<size_t>(fill));
        if (neg) dst[fill] = '-';
        std::memcpy(dst + fill + (neg ? 1 : 0), tmp, static_cast<size_t>(n));
    }
}

namespace {
const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                               "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
const char* const kMonthNames[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

void putDigits(char* dst, int n, long value) {
    for (int i = n - 1; i >= 0; --i) {
        dst[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

int runLength(const char* pic, int len, int i) {
    int j = i;
    char c = static_cast<char>(pic[i] & ~0x20);
    while (j < len && static_cast<char>(pic[j] & ~0x20) == c) ++j;
    return j - i;
}
}  // namespace

// Date pictures: runs of C (century), Y (year; four Y give the whole year), M (month; three
// or more give the month's name) and D (day); other characters are copied.
void formatDate(char* dst, const char* pic, int len, long julian) {
    int y, m, d;
    civil(julian, y, m, d);
    for (int i = 0; i < len;) {
        char c = static_cast<char>(pic[i] & ~0x20);
        if (c != 'C' && c != 'Y' && c != 'M' && c != 'D') {
            dst[i] = pic[i];
            ++i;
            continue;
        }
        int n = runLength(pic, len, i);
        if (y == 0) {
            std::memset(dst + i, ' ', static_cast<size_t>(n));
        } else if (c == 'C') {
            putDigits(dst + i, n, y / 100);
        } else if (c == 'Y') {
            putDigits(dst + i, n, n >= 4 ? y : y % 100);
        } else if (c == 'M' && n >= 3) {
            const char* name = kMonthNames[m - 1];
            int k = static_cast<int>(std::strlen(name));
            for (int j = 0; j < n; ++j) dst[i + j] = j < k ? name[j] : ' ';
        } else if (c == 'M') {
            putDigits(dst + i, n, m);
        } else {
            putDigits(dst + i, n, d);
        }
        i += n;
    }
}

long parseDate(const char* text, int len, const char* pic, int picLen) {
    int century = -1, year = -1, month = -1, day = -1, yearDigits = 0;
    for (int i = 0; i < picLen;) {
        char c = static_cast<char>(pic[i] & ~0x20);
        if (c != 'C' && c != 'Y' && c != 'M' && c != 'D') {
            ++i;
            continue;
        }
        int n = runLength(pic, picLen, i);
        if (c == 'M' && n >= 3) {
            month = 0;
            for (int k = 0; k < 12 && i + 3 <= len; ++k) {
                bool same = true;
                for (int j = 0; j < 3; ++j) same = same && upper1252(text[i + j]) == kMonths[k][j];
                if (same) month = k + 1;
            }
        } else {
            long v = 0;
            bool any = false;
            for (int j = i; j < i + n && j < len; ++j) {
                if (text[j] == ' ') continue;
                if (text[j] < '0' || text[j] > '9') return 0;
                v = v * 10 + (text[j] - '0');
                any = true;
            }
            if (!any) return 0;
            if (c == 'C') century = static_cast<int>(v);
            if (c == 'Y') {
                year = static_cast<int>(v);
                yearDigits = n;
            }
            if (c == 'M') month = static_cast<int>(v);
            if (c == 'D') day = static_cast<int>(v);
        }
        i += n;
    }
    if (year < 0 || month < 0 || day < 0) return 0;
    if (yearDigits < 4)
        year = century >= 0 ? century * 100 + year : (year < 50 ? 2000 : 1900) + year;
    return expr4julian(year, month, day);
}

std::time_t e4now() {
    return static_cast<std::time_t>(clock4now());
}

double numValue(const E4run& r, int idx) {
    const E4item& it = r.expr->items[static_cast<size_t>(idx)];
    const char* p = r.buf + it.pos;
    switch (it.row->result) {
        case 'n':
        case 'd': {
            double v;
            std::memcpy(&v, p, sizeof v);
            return v;
        }
        case 'N':
        case 'F':
            return parseNumber(p, r.actLen[idx]);
        case 'B': {
            uint64_t bits = readLE(p, 8);
            double v;
            std::memcpy(&v, &bits, sizeof v);
            return std::isnan(v) ? 0.0 : v;
        }
        case 'I':
        case 'P':
            return static_cast<double>(static_cast<int32_t>(readLE(p, 4)));
        case 'Q':
        case 'R':
            return static_cast<double>(static_cast<int16_t>(readLE(p, 2)));
        case 'Y':
            return static_cast<double>(static_cast<int64_t>(readLE(p, 8))) / 10000.0;
        case 'D':
            return static_cast<double>(expr4julianText(p));
        case 'T':
            return dateTimeValue(r, idx) / 86400000.0;
        default:
            return 0.0;
    }
}

long dayValue(const E4run& r, int idx) {
    const E4item& it = r.expr->items[static_cast<size_t>(idx)];
    const char* p = r.buf + it.pos;
    switch (it.row->result) {
        case 'D':
            return expr4julianText(p);
        case 'T':
            return static_cast<long>(static_cast<int32_t>(readLE(p, 4)));
        default:
            return dayOfNumber(numValue(r, idx));
    }
}

double dateTimeValue(const E4run& r, int idx) {
    const char* p = r.buf + r.expr->items[static_cast<size_t>(idx)].pos;
    double day = static_cast<double>(static_cast<int32_t>(readLE(p, 4)));
    double ms = static_cast<double>(static_cast<int32_t>(readLE(p + 4, 4)));
    return day * 86400000.0 + ms;
}

void setDateTime(E4run& r, const E4item& it, double ms) {
    double day = std::floor(ms / 86400000.0);
    char* p = out(r, it);
    if (!(day >= 0 && day <= static_cast<double>(kLastDay))) {
        writeLE(p, 0, 8);  // outside the calendar: a blank date-time
    } else {
        double rest = ms - day * 86400000.0;
        writeLE(p, static_cast<uint32_t>(static_cast<int32_t>(day)), 4);
        writeLE(p + 4, static_cast<uint32_t>(std::clamp(rest, 0.0, 86399999.0)), 4);
    }
    r.actLen[r.current] = 8;
}

bool logValue(const E4run& r, int idx) {
    char c = r.buf[r.expr->items[static_cast<size_t>(idx)].pos];
    return c == 'T' || c == 't' || c == 'Y' || c == 'y';
}

bool charLike(char type) {
    switch (type) {
        case 'L':
        case 'n':
        case 'd':
        case 'D':
        case 'N':
        case 'F':
        case 'B':
        case 'Y':
        case 'T':
        case 'I':
        case 'P':
        case 'Q':
        case 'R':
            return false;
        default:
            return true;
    }
}

int keyLength(char type, int len) {
    if (charLike(type)) return len;
    switch (type) {
        case 'L':
            return 1;
        case 'I':
        case 'P':
        case 'Q':
        case 'R':
            return 4;
        default:
            return 8;
    }
}

int keyForm(const E4run& r, int idx, unsigned char* key, bool* isChar) {
    const E4item& it = r.expr->items[static_cast<size_t>(idx)];
    char type = it.row->result;
    if (isChar) *isChar = charLike(type);
    if (charLike(type)) return -1;
    switch (type) {
        case 'L':
            key[0] = logValue(r, idx) ? 'T' : 'F';
            return 1;
        case 'd':
        case 'D':
            expr4keyDate(dayValue(r, idx), key);
            return 8;
        case 'I':
        case 'P':
        case 'Q':
        case 'R':
            expr4keyInt(static_cast<int32_t>(numValue(r, idx)), key);
            return 4;
        default:
            expr4keyDouble(numValue(r, idx), key);
            return 8;
    }
}

}  // namespace e4v

using namespace e4v;

// ---- public evaluation --------------------------------------------------------------------

int expr4vary(Expr4* e, char** result, const char* record) {
    if (!e || !result) return -1;
    EvalState& st = evalState();
    std::lock_guard<std::mutex> hold(st.lock);
    E4run r{};
    int last = run(st, e, recordOf(e, record), r);
    const E4item& it = e->items[static_cast<size_t>(last)];
    int n = r.actLen[last];
    e->value.assign(r.buf + it.pos, r.buf + it.pos + n);
    e->value.push_back('\0');
    *result = e->value.data();
    return n;
}

int expr4key(Expr4* e, char** key, const char* record) {
    if (!e || !key) return -1;
    EvalState& st = evalState();
    std::lock_guard<std::mutex> hold(st.lock);
    E4run r{};
    int last = run(st, e, recordOf(e, record), r);
    const E4item& it = e->items[static_cast<size_t>(last)];
    unsigned char form[8];
    bool isChar = false;
    int n = keyForm(r, last, form, &isChar);
    if (isChar) {
        // Character keys keep the compiled length; a shorter value (TRIM) is blank-padded.
        int la = std::min(r.actLen[last], e->len);
        e->value.assign(static_cast<size_t>(e->len) + 1, ' ');
        std::memcpy(e->value.data(), r.buf + it.pos, static_cast<size_t>(la));
        n = e->len;
    } else {
        e->value.assign(form, form + n);
        e->value.push_back('\0');
    }
    e->value[static_cast<size_t>(n)] = '\0';
    *key = e->value.data();
    return n;
}

int expr4true(Expr4* e, const char* record) {
    if (!e) return -1;
    if (e->type != 'L') return e->source->error(e4typeSub, L4_expr4parse, e->text.c_str());
    EvalState& st = evalState();
    std::lock_guard<std::mutex> hold(st.lock);
    E4run r{};
    int last = run(st, e, recordOf(e, record), r);
    return logValue(r, last) ? 1 : 0;
}

double expr4double(Expr4* e, const char* record) {
    if (!e) return 0.0;
    EvalState& st = evalState();
    std::lock_guard<std::mutex> hold(st.lock);
    E4run r{};
    int last = run(st, e, recordOf(e, record), r);
    char t = e->type;
    if (charLike(t) || t == 'L') return 0.0;
    return numValue(r, last);
}

// ---- key forms ----------------------------------------------------------------------------

void expr4keyDouble(double value, unsigned char out[8]) {
    if (std::isnan(value) || value == 0.0) value = 0.0;  // also turns -0.0 into 0.0
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    if (bits >> 63)
        bits = ~bits;
    else
        bits |= uint64_t{1} << 63;
    for (int i = 7; i >= 0; --i) {
        out[i] = static_cast<unsigned char>(bits & 0xFF);
        bits >>= 8;
    }
}

double expr4keyDoubleValue(const unsigned char in[8]) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | in[i];
    if (bits >> 63)
        bits &= ~(uint64_t{1} << 63);
    else
        bits = ~bits;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

void expr4keyDate(long julian, unsigned char out[8]) {
    expr4keyDouble(static_cast<double>(julian), out);
}

void expr4keyInt(int32_t value, unsigned char out[4]) {
    uint32_t u = static_cast<uint32_t>(value) ^ 0x80000000u;
    for (int i = 3; i >= 0; --i) {
        out[i] = static_cast<unsigned char>(u & 0xFF);
        u >>= 8;
    }
}

// ---- dates --------------------------------------------------------------------------------

long expr4julian(int year, int month, int day) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return 0;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int dim = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    if (day > dim) return 0;
    long a = (14 - month) / 12;
    long y = year + 4800 - a;
    long m = month + 12 * a - 3;
    return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

long expr4julianText(const char* t) {
    int v[8];
    for (int i = 0; i < 8; ++i) {
        if (t[i] < '0' || t[i] > '9') return 0;
        v[i] = t[i] - '0';
    }
    int year = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
    return expr4julian(year, v[4] * 10 + v[5], v[6] * 10 + v[7]);
}

void expr4julianToText(long julian, char out[8]) {
    int y, m, d;
    civil(julian, y, m, d);
    if (y == 0) {
        std::memset(out, ' ', 8);
        return;
    }
    putDigits(out, 4, y);
    putDigits(out + 4, 2, m);
    putDigits(out + 6, 2, d);
}
