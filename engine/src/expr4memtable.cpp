// A table held in memory, for compiling and evaluating expressions without a data file.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "engine/expr4.h"

struct Expr4memTable::Impl {
    struct Field {
        std::string name;
        char type;
        int len;
        int decimals;
        int offset;
    };
    std::vector<Field> fields;
    std::vector<char> record{' '};
    std::string alias;
    std::string dateFormat = "MM/DD/YY";

    Field* find(const char* name) {
        for (Field& f : fields) {
            if (f.name.size() != std::strlen(name)) continue;
            bool same = true;
            for (size_t i = 0; i < f.name.size() && same; ++i)
                same = std::toupper(static_cast<unsigned char>(f.name[i])) ==
                       std::toupper(static_cast<unsigned char>(name[i]));
            if (same) return &f;
        }
        return nullptr;
    }
};

Expr4memTable::Expr4memTable() : impl_(new Impl) {}
Expr4memTable::~Expr4memTable() {
    delete impl_;
}

void Expr4memTable::addField(const char* name, char type, int len, int decimals) {
    int offset = static_cast<int>(impl_->record.size());
    impl_->fields.push_back({name, type, len, decimals, offset});
    impl_->record.resize(impl_->record.size() + static_cast<size_t>(len), ' ');
}

void Expr4memTable::set(const char* name, const char* text) {
    Impl::Field* f = impl_->find(name);
    if (!f) return;
    char* p = impl_->record.data() + f->offset;
    std::memset(p, ' ', static_cast<size_t>(f->len));
    std::memcpy(p, text, std::min(std::strlen(text), static_cast<size_t>(f->len)));
}

void Expr4memTable::setBytes(const char* name, const void* bytes, int n) {
    Impl::Field* f = impl_->find(name);
    if (!f) return;
    std::memcpy(impl_->record.data() + f->offset, bytes, static_cast<size_t>(std::min(n, f->len)));
}

void Expr4memTable::setDeleted(bool deleted) {
    impl_->record[0] = deleted ? '*' : ' ';
}
void Expr4memTable::blank() {
    std::fill(impl_->record.begin(), impl_->record.end(), ' ');
}
char* Expr4memTable::buffer() {
    return impl_->record.data();
}
int Expr4memTable::recordLength() const {
    return static_cast<int>(impl_->record.size());
}
void Expr4memTable::setAlias(const char* a) {
    impl_->alias = a;
}
void Expr4memTable::setDateFormat(const char* f) {
    impl_->dateFormat = f;
}

int Expr4memTable::numFields() const {
    return static_cast<int>(impl_->fields.size());
}

Expr4field Expr4memTable::field(int j) const {
    const Impl::Field& f = impl_->fields[static_cast<size_t>(j - 1)];
    return {f.name.c_str(), f.type, f.len, f.decimals, f.offset};
}

const char* Expr4memTable::record() const {
    return impl_->record.data();
}
const char* Expr4memTable::alias() const {
    return impl_->alias.c_str();
}
const char* Expr4memTable::dateFormat() const {
    return impl_->dateFormat.c_str();
}

int Expr4memTable::error(int code, long location, const char*) {
    lastError_ = code;
    lastLocation_ = location;
    return code;
}
