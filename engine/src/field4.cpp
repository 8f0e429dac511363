// Str4 and Field4: text access to the fields of the record buffer.
#include "engine/field4.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/src/data4impl.h"

namespace {

// Integer value of a text: leading blanks, a sign, digits; stops at anything else.
long parseLong(const char* p, unsigned long n) {
    unsigned long i = 0;
    while (i < n && p[i] == ' ') ++i;
    bool neg = false;
    if (i < n && (p[i] == '-' || p[i] == '+')) neg = p[i++] == '-';
    unsigned long v = 0;
    const unsigned long limit = static_cast<unsigned long>(LONG_MAX);
    for (; i < n && p[i] >= '0' && p[i] <= '9'; ++i) {
        v = v * 10 + static_cast<unsigned long>(p[i] - '0');
        if (v > limit) {
            v = limit;
            break;
        }
    }
    return neg ? -static_cast<long>(v) : static_cast<long>(v);
}

std::int64_t leInt(const unsigned char* p, int n) {
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
    if (n < 8 && (v >> (8 * n - 1)) & 1) v |= ~std::uint64_t{0} << (8 * n);  // sign-extend
    return static_cast<std::int64_t>(v);
}

double leDouble(const unsigned char* p) {
    std::uint64_t v = static_cast<std::uint64_t>(leInt(p, 8));
    double d;
    std::memcpy(&d, &v, sizeof d);
    return d;
}

// Calendar date of a Julian day number.
void julianToDate(long jd, int* y, int* m, int* d) {
    long a = jd + 32044;
    long b = (4 * a + 3) / 146097;
    long c = a - 146097 * b / 4;
    long dd = (4 * c + 3) / 1461;
    long e = c - 1461 * dd / 4;
    long mm = (5 * e + 2) / 153;
    *d = static_cast<int>(e - (153 * mm + 2) / 5 + 1);
    *m = static_cast<int>(mm + 3 - 12 * (mm / 10));
    *y = static_cast<int>(100 * b + dd - 4800 + mm / 10);
}

}  // namespace

Str4::~Str4() {
    delete[] text_;
}

char* Str4::textBuffer() {
    if (!text_) {
        text_ = new char[257];
        text_[0] = 0;
    }
    return text_;
}

Str4::operator long() {
    const char* p = ptr();
    return parseLong(p, len());
}

unsigned long Str4::len() const {
    return std::strlen(ptr());
}
unsigned long Str4::lenMax() const {
    return std::strlen(ptr());
}

const char* Str4::str() {
    char* t = textBuffer();
    unsigned long n = len();
    if (n > 256) n = 256;
    std::memcpy(t, ptr(), n);
    t[n] = 0;
    return t;
}

int Str4::assign(const char* text) {
    return assign(text, text ? std::strlen(text) : 0);
}

int Str4::assign(const char* text, unsigned long textLen) {
    if (int r = lockCheck()) return r;
    changed();
    unsigned long width = len();
    char* p = ptr();
    if (textLen <= width) std::memset(p, ' ', width);
    if (text && textLen) std::memcpy(p, text, textLen < width ? textLen : width);
    return 0;
}

// ---- Field4 ----

Field4::operator long() {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(ptr());
    switch (rec_->type) {
        case 'I':
        case 'P':
            return static_cast<long>(leInt(p, 4));
        case 'Q':
        case 'R':
            return static_cast<long>(leInt(p, 2));
        case 'Y':
            return static_cast<long>(leInt(p, 8) / 10000);
        case 'B': {
            double v = leDouble(p);
            if (!(v > static_cast<double>(LONG_MIN) && v < static_cast<double>(LONG_MAX))) return 0;
            return static_cast<long>(v);
        }
        default:
            return parseLong(ptr(), rec_->len);
    }
}

void Field4::changed() {
    d4changed(data_, 1);
    DataFile4* df = data_->df;
    if (df->level == 30 && rec_->nullBit >= 0 && df->nullFlagsField >= 0) {
        const Field4rec& nf = df->fields[df->nullFlagsField];
        data_->record[nf.offset + rec_->nullBit / 8] &=
            static_cast<char>(~(1u << (rec_->nullBit % 8)));
    }
}

int Field4::assign(const char* text) {
    return assign(text, text ? std::strlen(text) : 0);
}

int Field4::assign(const char* text, unsigned long textLen) {
    if (int r = Field4::lockCheck()) return r;
    Field4::changed();
    const unsigned long width = rec_->len;
    char* p = data_->record + rec_->offset;
    if (textLen <= width) std::memset(p, ' ', width);
    if (text && textLen) std::memcpy(p, text, textLen < width ? textLen : width);
    return 0;
}

int Field4::decimals() const {
    return static_cast<int>(rec_->dec);
}
unsigned long Field4::len() const {
    return rec_->len;
}
unsigned long Field4::lenMax() const {
    return rec_->len;
}

int Field4::lockCheck() {
    Vask4* c = data_->c;
    if (c->lockEnforce && data_->df->accessMode == 0 && data_->recNum > 0 &&
        d4lockTest(data_, data_->recNum) != 1)
        return error4describe(c, e4lock, L4_Field4lockCheck, rec_->name);
    return 0;
}

char* Field4::ptr() {
    return data_->record + rec_->offset;
}
const char* Field4::ptr() const {
    return data_->record + rec_->offset;
}

const char* Field4::str() {
    char* t = textBuffer();
    const unsigned char* p = reinterpret_cast<const unsigned char*>(ptr());
    switch (rec_->type) {
        case 'B':
            std::snprintf(t, 257, "%.*f", static_cast<int>(rec_->dec > 15 ? 15 : rec_->dec),
                          leDouble(p));
            return t;
        case 'I':
            std::snprintf(t, 257, "%ld", static_cast<long>(leInt(p, 4)));
            return t;
        case 'Y': {
            std::int64_t v = leInt(p, 8);
            std::uint64_t a =
                v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
            std::snprintf(t, 257, "%s%llu.%04llu", v < 0 ? "-" : "",
                          static_cast<unsigned long long>(a / 10000),
                          static_cast<unsigned long long>(a % 10000));
            return t;
        }
        case 'T': {
            long jd = static_cast<long>(leInt(p, 4));
            long ms = static_cast<long>(leInt(p + 4, 4));
            if (jd <= 0) {
                t[0] = 0;
                return t;
            }
            int y, m, d;
            julianToDate(jd, &y, &m, &d);
            long s = ms / 1000;
            std::snprintf(t, 257, "%04d%02d%02d%02ld:%02ld:%02ld", y, m, d, (s / 3600) % 100,
                          (s / 60) % 60, s % 60);
            return t;
        }
        default: {
            unsigned long n = rec_->len > 256 ? 256 : rec_->len;
            std::memcpy(t, p, n);
            t[n] = 0;
            return t;
        }
    }
}

const char* f4name(const Field4* f) {
    if (!f) return error4(nullptr, e4parmNull, L4_Field4changed), nullptr;
    return f->rec()->name;
}
char f4type(const Field4* f) {
    if (!f) return error4(nullptr, e4parmNull, L4_Field4changed), 0;
    return f->rec()->type;
}
int f4len(const Field4* f) {
    if (!f) return error4(nullptr, e4parmNull, L4_Field4changed);
    return static_cast<int>(f->rec()->len);
}
int f4decimals(const Field4* f) {
    if (!f) return error4(nullptr, e4parmNull, L4_Field4changed);
    return static_cast<int>(f->rec()->dec);
}
char* f4ptr(Field4* f) {
    if (!f) return error4(nullptr, e4parmNull, L4_Field4changed), nullptr;
    return f->ptr();
}
long f4long(Field4* f) {
    if (!f) return error4(nullptr, e4parmNull, L4_Field4changed);
    return static_cast<long>(*f);
}
const char* f4str(Field4* f) {
    if (!f) return error4(nullptr, e4parmNull, L4_Str4str), nullptr;
    return f->str();
}
int f4assign(Field4* f, const char* text) {
    if (!f) return error4(nullptr, e4parmNull, L4_Str4assign);
    return f->assign(text);
}
Data4* f4data(const Field4* f) {
    return f ? f->data() : nullptr;
}
int f4null(const Field4* f) {
    if (!f) return error4(nullptr, e4parmNull, L4_Field4changed);
    Data4* d = f->data();
    DataFile4* df = d->df;
    int bit = f->rec()->nullBit;
    if (df->level != 30 || bit < 0 || df->nullFlagsField < 0) return 0;
    const Field4rec& nf = df->fields[df->nullFlagsField];
    return (d->record[nf.offset + bit / 8] >> (bit % 8)) & 1;
}
