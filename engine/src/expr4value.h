// Reading operands and writing results in the evaluation buffer.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "engine/src/expr4internal.h"

namespace e4v {

inline int parmIndex(const E4run& r, const E4item& it, int i) {
    return r.expr->parms[static_cast<size_t>(it.firstParm + i)];
}
inline const E4item& parmItem(const E4run& r, const E4item& it, int i) {
    return r.expr->items[static_cast<size_t>(parmIndex(r, it, i))];
}
inline char* out(E4run& r, const E4item& it) {
    return r.buf + it.pos;
}

inline uint64_t readLE(const char* p, int n) {
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    return v;
}
inline void writeLE(char* p, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) {
        p[i] = static_cast<char>(v & 0xFF);
        v >>= 8;
    }
}

double parseNumber(const char* text, int len);
long dayOfNumber(double v);                       // floor to a day, 0 outside years 1-9999
void civil(long julian, int& y, int& m, int& d);  // 0, 0, 0 for 0
char upper1252(char c);
void formatNumber(char* dst, int len, int dec, double v, bool zeros);
void formatDate(char* dst, const char* picture, int len, long julian);
long parseDate(const char* text, int len, const char* picture, int picLen);
std::time_t e4now();

// Value of any item as a number (numbers, numeric text, binary numbers, dates).
double numValue(const E4run& r, int idx);
// Days of a date-valued item ('D', 'd' or 'T').
long dayValue(const E4run& r, int idx);
// Milliseconds since day 0 of a 'T' value.
double dateTimeValue(const E4run& r, int idx);
bool logValue(const E4run& r, int idx);

inline double numArg(const E4run& r, const E4item& it, int i) {
    return numValue(r, parmIndex(r, it, i));
}
inline long dayArg(const E4run& r, const E4item& it, int i) {
    return dayValue(r, parmIndex(r, it, i));
}
inline double dateTimeArg(const E4run& r, const E4item& it, int i) {
    return dateTimeValue(r, parmIndex(r, it, i));
}
inline bool logArg(const E4run& r, const E4item& it, int i) {
    return logValue(r, parmIndex(r, it, i));
}
inline int64_t currencyArg(const E4run& r, const E4item& it, int i) {
    return static_cast<int64_t>(readLE(r.buf + parmItem(r, it, i).pos, 8));
}
inline const char* strArg(const E4run& r, const E4item& it, int i, int& len) {
    int idx = parmIndex(r, it, i);
    len = r.actLen[idx];
    return r.buf + r.expr->items[static_cast<size_t>(idx)].pos;
}

inline void setNum(E4run& r, const E4item& it, double v) {
    if (std::isnan(v)) v = 0.0;
    std::memcpy(out(r, it), &v, sizeof v);
    r.actLen[r.current] = 8;
}
inline void setLog(E4run& r, const E4item& it, bool v) {
    out(r, it)[0] = v ? 'T' : 'F';
    r.actLen[r.current] = 1;
}
inline void setCurrency(E4run& r, const E4item& it, int64_t v) {
    writeLE(out(r, it), static_cast<uint64_t>(v), 8);
    r.actLen[r.current] = 8;
}
void setDateTime(E4run& r, const E4item& it, double ms);

inline int64_t addSat(int64_t a, int64_t b) {
    if (b > 0 && a > INT64_MAX - b) return INT64_MAX;
    if (b < 0 && a < INT64_MIN - b) return INT64_MIN;
    return a + b;
}

// Writes the key form of a non-character item's value into out (at most 8 bytes) and returns
// its length; returns -1 for character-like values, whose bytes are their own key.
int keyForm(const E4run& r, int idx, unsigned char* outKey, bool* isChar);
// Key length of a value of this type and result length.
int keyLength(char type, int len);
bool charLike(char type);

}  // namespace e4v
