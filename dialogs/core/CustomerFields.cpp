#include "dialogs/core/CustomerFields.h"

#include "engine/error4.h"
#include "tables/TableCore.h"

namespace quorvane {

const std::array<PersonFieldSpec, 13> kPersonFields = {{
    {1023, 16, "First Name", &PersonFields::first},
    {1024, 1, "MI", &PersonFields::mi},
    {1025, 21, "Last Name", &PersonFields::last},
    {1028, 15, "Phone", &PersonFields::phone},
    {1174, 6, "Ext", &PersonFields::ext},
    {1032, 15, "Alternate Phone", &PersonFields::altPhone},
    {1175, 6, "Alt Ext", &PersonFields::altExt},
    {1027, 39, "Organization", &PersonFields::org},
    {1030, 39, "Street Address", &PersonFields::address},
    {1031, 39, "City", &PersonFields::city},
    {1145, 2, "State", &PersonFields::state},
    {1146, 11, "Zip", &PersonFields::zip},
    {1029, 39, "Notes", &PersonFields::notes},
}};

PersonFields personFieldsOf(const CPeople& p) {
    PersonFields f;
    p.GetName(f.first, f.mi, f.last);
    p.GetPhone(f.phone, f.ext);
    p.GetAltPhone(f.altPhone, f.altExt);
    f.org = p.GetOrg();
    p.GetAddress(f.address, f.city, f.state, f.zip);
    f.notes = p.GetNotes();
    return f;
}

void assignPerson(CPeople& p, const PersonFields& f) {
    p.SetName(f.first, f.mi, f.last);
    p.SetPhone(f.phone, f.ext);
    p.SetAltPhone(f.altPhone, f.altExt);
    p.SetOrg(f.org);
    p.SetAddress(f.address, f.city, f.state, f.zip);
    p.SetNotes(f.notes);
}

std::optional<Message> checkPersonName(const PersonFields& f) {
    // The table keeps no trailing blanks: a name of blanks alone would be stored empty.
    auto blank = [](const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; };
    if (blank(f.first) || blank(f.last))
        return Message{"A first and last name must be specified", "Name Error"};
    return std::nullopt;
}

std::optional<Message> storePerson(CPeople& people, const PersonFields& f, bool modify,
                                   long record) {
    int r;
    if (modify) {
        // Written over the customer chosen, found again by its record number: the table's
        // current record may have moved since the chooser read it. A customer another user
        // deleted meanwhile is not brought back by writing over the deleted record.
        r = people.GoTo(record);
        if (r != 0 || people.IsDeleted())
            return Message{"Could not read selected customer from database", "Database Error"};
        assignPerson(people, f);
        r = people.Update();
    } else {
        people.Clear();
        assignPerson(people, f);
        r = people.Add();
    }
    if (r != 0) {
        if (r == r4unique)
            return Message{"A record for this customer already exists in the database",
                           "Add Error"};
        return Message{tables::format("Error adding customer to database, already exist? (%d)", r),
                       "Add Error"};
    }
    // A changed key needs no clean-up: the rewrite moved this record to its new key. A live
    // record still under the old key is another one, added after the key was freed (by this
    // change or another user's), and stays.
    return std::nullopt;
}

}  // namespace quorvane
