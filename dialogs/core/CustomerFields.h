#pragma once
// A customer's fields as the customer editor shows them, and the editor's rules: the name
// check and the store (add, or write over the chosen customer). Free of Qt, so the rules are
// tested and run without a display.
#include <array>
#include <optional>
#include <string>

#include "base/Message.h"
#include "tables/People.h"

namespace quorvane {

// The 13 fields of a customer as the editor shows them (Windows-1252).
struct PersonFields {
    std::string first, mi, last, phone, ext, altPhone, altExt, org, address, city, state, zip,
        notes;
    bool operator==(const PersonFields&) const = default;
};

struct PersonFieldSpec {
    int id;
    int maxLength;
    const char* label;
    std::string PersonFields::*member;
};
// In dialog order: control id, the most characters the box takes, label, field.
extern const std::array<PersonFieldSpec, 13> kPersonFields;

// The current customer of the table as fields, and the fields into the table's current one.
PersonFields personFieldsOf(const CPeople& people);
void assignPerson(CPeople& people, const PersonFields& f);

// "A first and last name must be specified" ("Name Error") when either is empty or blanks.
std::optional<Message> checkPersonName(const PersonFields& f);
// Stores the customer: appended in add mode; in modify mode written over record `record` (a
// changed key moves that record to the new key). The "Add Error" message on a refusal (code
// 20: the customer exists); "Database Error" when the customer to modify is gone.
std::optional<Message> storePerson(CPeople& people, const PersonFields& f, bool modify,
                                   long record = 0);

}  // namespace quorvane
