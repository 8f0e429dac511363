// Expressions over an open table: the fields, record buffer and context of a Data4.
#include <cstring>
#include <new>
#include <string>

#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/expr4.h"
#include "engine/field4.h"
#include "engine/src/expr4internal.h"
#include "engine/vask4.h"

namespace {

class DataSource : public Expr4source {
public:
    explicit DataSource(Data4* d) : d_(d) {}

    int numFields() const override { return d4numFields(d_); }
    Expr4field field(int j) const override {
        Field4* f = d4fieldJ(d_, j);
        if (!f) return {nullptr, 0, 0, 0, 0};
        return {f4name(f), f4type(f), f4len(f), f4decimals(f),
                static_cast<int>(f4ptr(f) - d4record(d_))};
    }
    const char* record() const override { return d4record(d_); }
    long recNo() const override { return d4recNo(d_); }
    long recCount() const override { return d4recCount(d_); }
    const char* alias() const override {
        const char* a = d4alias(d_);
        return a ? a : "";
    }
    const char* dateFormat() const override {
        // the setting is a fixed array that need not hold a terminating NUL
        const Vask4* c = d4vask(d_);
        picture_.assign(c->dateFormat, strnlen(c->dateFormat, sizeof c->dateFormat));
        return picture_.c_str();
    }
    bool errorPending() const override { return error4code(d4vask(d_)) < 0; }
    bool reportExprErrors() const override { return d4vask(d_)->errExpr != 0; }
    int error(int code, long location, const char* text) override {
        return error4describe(d4vask(d_), code, location, text);
    }

private:
    Data4* d_;
    mutable std::string picture_;
};

Expr4* parseData(Data4* d, const char* text, bool forTag) {
    if (!d) return nullptr;
    DataSource* source = new (std::nothrow) DataSource(d);
    if (!source) {
        error4(d4vask(d), e4memory, L4_expr4parse);
        return nullptr;
    }
    Expr4* e = expr4parseSource(source, text, forTag);
    if (!e) {
        delete source;
        return nullptr;
    }
    e->owned = source;
    return e;
}

}  // namespace

Expr4* expr4parse(Data4* d, const char* text) {
    return parseData(d, text, false);
}
Expr4* expr4parseTag(Data4* d, const char* text) {
    return parseData(d, text, true);
}
