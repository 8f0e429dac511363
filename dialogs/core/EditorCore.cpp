#include "dialogs/core/EditorCore.h"

#include "engine/error4.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/Schedule.h"
#include "tables/TableCore.h"

namespace quorvane {

namespace {

const Message kCustomerGone{"Could not read selected customer from database", "Database Error"};
const Message kItemGone{"Could not read selected maintenance item from database", "Database Error"};
const Message kReservationGone{"Could not read reservation detail", "Database Error"};

std::string slashDate(const DayDate& d) {
    return tables::format("%02d/%02d/%04d", d.month, d.day, d.year);
}

DayDate dateOf(const CSchedule& t) {
    DayDate d;
    t.GetDate(d.month, d.day, d.year);
    return d;
}

int startOf(const CSchedule& t) {
    int hh = 0, mm = 0;
    t.GetStart(hh, mm);
    return hh * 100 + mm;
}

// The walk both reservation lists share: the reservations dated `from` or later, in key
// order, read in bulk (half a table of a million reservations lies after today), keeping those
// `keep` accepts by their names.
template <class Keep>
int reservationsFrom(CSchedule& table, const DayDate& from, Keep keep,
                     std::vector<ReservationRow>& rows) {
    rows.clear();
    const int r = table.ScanFrom(dateKey(from), keep, [&rows](const CSchedule& t) {
        rows.push_back({listedReservationLine(t), t.GetRecordNumber(), t.GetFacility()});
    });
    return r < 0 ? r : 0;
}

// Reads the listed record again; false when it cannot be read or is no longer the listed one.
bool rereadListed(CSchedule& table, const ReservationRow& row) {
    return table.GoTo(row.record) == 0 && !table.IsDeleted() && table.GetFacility() == row.facility;
}

void fillTimes(const CSchedule& table, ListedReservation& out) {
    int sh = 0, sm = 0, eh = 0, em = 0;
    table.GetStart(sh, sm);
    table.GetEnd(eh, em);
    out.record = table.GetRecordNumber();
    out.date = dateOf(table);
    out.startClock = sh * 100 + sm;
    out.detail = {};
    out.detail.facility = table.GetFacility();
    out.detail.date = slashDate(out.date);
    out.detail.start = amPmTime(sh, sm);
    out.detail.end = amPmTime(eh, em);
    out.detail.recurring = table.IsRecurring();
    out.detail.notes = table.GetNotes();
}

}  // namespace

// ----- choosers -----

std::string customerChooserTitle(int mode) {
    switch (mode) {
        case kModifyMode:
            return "Select Customer to Modify";
        case kDeleteMode:
            return "Select Customer to Delete";
        case kReservationsMode:
            return "Select Customer Whose Reservations You Want to See";
        default:
            return "List of Customers in this Group";
    }
}

std::string maintenanceChooserTitle(int mode) {
    switch (mode) {
        case kModifyMode:
            return "Select Maintenance Item to Modify";
        case kDeleteMode:
            return "Select Maintenance Item to Delete";
        case kReservationsMode:
            return "Select Maintenance Item Whose Reservations You Want to See";
        default:
            return "List of Maintenance Items in this Group";
    }
}

std::optional<Message> pickCustomer(CPeople& people, const std::vector<RecordRow>& rows,
                                    int selected) {
    if (selected < 0 || static_cast<std::size_t>(selected) >= rows.size())
        return Message{"A customer must be selected", "No Customer Selected"};
    if (people.GoTo(rows[static_cast<std::size_t>(selected)].record) != 0 || people.IsDeleted())
        return kCustomerGone;
    return std::nullopt;
}

std::optional<Message> pickMaintenance(CMaintenance& maintenance,
                                       const std::vector<RecordRow>& rows, int selected) {
    if (selected < 0 || static_cast<std::size_t>(selected) >= rows.size())
        return Message{"A maintenance item must be selected", "No Maintenance Item Selected"};
    if (maintenance.GoTo(rows[static_cast<std::size_t>(selected)].record) != 0 ||
        maintenance.IsDeleted())
        return kItemGone;
    return std::nullopt;
}

int deleteCustomer(CPeople& people, long record) {
    if (int r = people.GoTo(record)) return r;
    if (people.IsDeleted()) return 0;
    return people.Delete(true);
}

int deleteMaintenance(CMaintenance& maintenance, long record) {
    if (int r = maintenance.GoTo(record)) return r;
    if (maintenance.IsDeleted()) return 0;
    return maintenance.Delete(true);
}

// ----- a customer's key and its reservations -----

CustomerCopy customerCopyOf(const CPeople& people) {
    CustomerCopy c;
    people.GetName(c.first, c.mi, c.last);
    people.GetPhone(c.phone, c.ext);
    c.org = people.GetOrg();
    return c;
}

namespace {

// The record numbers of the customer's reservations from `from` on.
int reservationsOf(CSchedule& table, const CustomerCopy& who, const DayDate& from,
                   std::vector<long>& records) {
    records.clear();
    const int r = table.ScanFrom(
        dateKey(from),
        [&who](const CSchedule& t) {
            return t.NameIs(CSchedule::kLastName, who.last) &&
                   t.NameIs(CSchedule::kFirstName, who.first) &&
                   t.NameIs(CSchedule::kMiddleInitial, who.mi) &&
                   t.NameIs(CSchedule::kPhone, who.phone);
        },
        [&](const CSchedule& t) {
            std::string first, mi, last, phone, ext, org;
            t.GetNames(first, mi, last, phone, ext, org);
            if (!t.IsMaintenance() && ext == who.ext) records.push_back(t.GetRecordNumber());
        });
    return r < 0 ? r : 0;
}

bool carries(const CSchedule& t, const CustomerCopy& who) {
    std::string first, mi, last, phone, ext, org;
    t.GetNames(first, mi, last, phone, ext, org);
    return !t.IsMaintenance() && first == who.first && mi == who.mi && last == who.last &&
           phone == who.phone && ext == who.ext;
}

int writeCopy(CSchedule& table, long record, const CustomerCopy& copy) {
    if (int r = table.GoTo(record)) return r;
    table.SetNames(copy.first, copy.mi, copy.last, copy.phone, copy.ext, copy.org);
    return table.Update();
}

}  // namespace

int countCustomerReservations(CSchedule& table, const CustomerCopy& who, const DayDate& from,
                              long& count) {
    std::vector<long> records;
    const int r = reservationsOf(table, who, from, records);
    count = long(records.size());
    return r;
}

CarryResult carryCustomerChange(CSchedule& table, const CustomerCopy& before,
                                const CustomerCopy& after, const DayDate& from) {
    CarryResult out;
    if (before == after) return out;
    if ((out.code = table.LockAll()) != 0) return out;
    std::vector<long> records;
    out.code = reservationsOf(table, before, from, records);
    // Each record written, with the copy it had (its own organization).
    std::vector<std::pair<long, CustomerCopy>> written;
    for (std::size_t i = 0; out.code == 0 && i < records.size(); ++i) {
        // Read again by number: another user may have changed the record since it was listed.
        if ((out.code = table.GoTo(records[i])) != 0) break;
        if (table.IsDeleted() || !carries(table, before)) continue;
        CustomerCopy had;
        table.GetNames(had.first, had.mi, had.last, had.phone, had.ext, had.org);
        if ((out.code = writeCopy(table, records[i], after)) == 0)
            written.emplace_back(records[i], had);
    }
    if (out.code != 0) {
        // All or none: the ones written get their old copy back.
        table.DropFailedWrite();
        for (const auto& [record, had] : written) writeCopy(table, record, had);
        written.clear();
    }
    out.changed = long(written.size());
    table.Unlock();
    return out;
}

std::optional<std::string> carryQuestion(const CustomerCopy& before, const CustomerCopy& after,
                                         long reservations) {
    if (before == after || reservations <= 0) return std::nullopt;
    return tables::format(
        "This customer has %ld reservation%s from today on, booked under the old name, phone "
        "or organization. The reservation lists and reports find a customer's reservations by "
        "these.\n\nChange %s to the new ones as well?",
        reservations, reservations == 1 ? "" : "s", reservations == 1 ? "it" : "them");
}

std::string deleteCustomerQuestion(long reservations) {
    if (reservations <= 0) return "Are you sure you want to delete this customer?";
    return tables::format(
        "This customer has %ld reservation%s from today on. %s stay booked.\n\nAre you sure "
        "you want to delete this customer?",
        reservations, reservations == 1 ? "" : "s", reservations == 1 ? "It will" : "They will");
}

// ----- the maintenance editor -----

std::optional<Message> checkMaintName(const MaintFields& f) {
    // Blanks alone are stored as an empty name.
    if (f.name.find_first_not_of(' ') == std::string::npos)
        return Message{"A name for the maintenance must be specified", "Name Error"};
    return std::nullopt;
}

std::optional<Message> storeMaintenance(CMaintenance& maintenance, const MaintFields& f,
                                        bool modify, long record) {
    int r;
    if (modify) {
        // Written over the item chosen, read again by its number. The rewrite moves the record
        // to its new name in the index; a record found under the old name afterwards can only
        // be another user's new item, so nothing is deleted by name.
        r = maintenance.GoTo(record);
        if (r != 0 || maintenance.IsDeleted()) return kItemGone;
        maintenance.SetName(f.name);
        maintenance.SetNotes(f.notes);
        r = maintenance.Update();
    } else {
        maintenance.Clear();
        maintenance.SetName(f.name);
        maintenance.SetNotes(f.notes);
        r = maintenance.Add();
    }
    if (r == r4unique)
        return Message{"A record for this maintenance item already exists in the database",
                       "Add Error"};
    if (r != 0)
        return Message{
            tables::format("Error adding maintenance to database, already exist? (%d)", r),
            "Add Error"};
    return std::nullopt;
}

// ----- reservation lists -----

std::string listedReservationLine(const CSchedule& table) {
    const DayDate d = dateOf(table);
    int sh = 0, sm = 0, eh = 0, em = 0;
    table.GetStart(sh, sm);
    table.GetEnd(eh, em);
    return tables::format("%s   %s   %s \t%s   %s", slashDate(d).c_str(), amPmTime(sh, sm).c_str(),
                          amPmTime(eh, em).c_str(), table.GetFacility().c_str(),
                          table.HasNotes() ? "(Note)" : "");
}

CustomerName customerNameOf(const CPeople& people) {
    CustomerName who;
    std::string ext;
    people.GetName(who.first, who.mi, who.last);
    people.GetPhone(who.phone, ext);
    return who;
}

int customerReservations(CSchedule& table, const CustomerName& who, const DayDate& from,
                         std::vector<ReservationRow>& rows) {
    return reservationsFrom(
        table, from,
        [&who](const CSchedule& t) {
            return t.NameIs(CSchedule::kLastName, who.last) &&
                   t.NameIs(CSchedule::kFirstName, who.first) &&
                   t.NameIs(CSchedule::kMiddleInitial, who.mi) &&
                   t.NameIs(CSchedule::kPhone, who.phone);
        },
        rows);
}

int maintenanceReservations(CSchedule& table, const std::string& item, const DayDate& from,
                            std::vector<ReservationRow>& rows) {
    return reservationsFrom(
        table, from, [&item](const CSchedule& t) { return t.NameIs(CSchedule::kLastName, item); },
        rows);
}

std::string customerReservationsTitle(const CustomerName& who) {
    return tables::format("List of Reservations for %s, %s %s", who.last.c_str(), who.first.c_str(),
                          who.mi.c_str());
}

std::string maintenanceReservationsTitle(const std::string& item) {
    return "List of Reservations for " + item;
}

namespace {
// The listed reservation read again, its times and its names; a customer's detail names the
// person, an item's only the item and the phone.
std::optional<Message> readListedReservation(CSchedule& table, const ReservationRow& row,
                                             ListedReservation& out, bool customer) {
    if (!rereadListed(table, row)) return kReservationGone;
    fillTimes(table, out);
    std::string first, mi, last, phone, ext, org;
    table.GetNames(first, mi, last, phone, ext, org);
    out.last = last;
    out.detail.phone = phone;
    if (!customer) {
        out.detail.reservedFor = last;
        return std::nullopt;
    }
    out.detail.reservedFor = tables::format("%s, %s %s", last.c_str(), first.c_str(), mi.c_str());
    out.detail.org = org;
    out.detail.ext = ext;
    return std::nullopt;
}
}  // namespace

std::optional<Message> readCustomerReservation(CSchedule& table, const ReservationRow& row,
                                               ListedReservation& out) {
    return readListedReservation(table, row, out, true);
}

std::optional<Message> readMaintenanceReservation(CSchedule& table, const ReservationRow& row,
                                                  ListedReservation& out) {
    return readListedReservation(table, row, out, false);
}

std::optional<Message> checkMaintenanceItem(CMaintenance& maintenance, const std::string& name) {
    // The name padded to the key's width is an exact key: an unpadded text would also find an
    // item whose name merely begins with it.
    std::string key = name;
    if (key.size() < kMaintNameMax) key.append(kMaintNameMax - key.size(), ' ');
    if (maintenance.Seek(key) == 0 && maintenance.GetName() == name) return std::nullopt;
    return Message{"Could not read maintenance item from database", "Database Error"};
}

namespace {
bool rereadShown(CSchedule& table, const ListedReservation& shown) {
    return table.GoTo(shown.record) == 0 && !table.IsDeleted() &&
           table.GetFacility() == shown.detail.facility && dateOf(table) == shown.date &&
           startOf(table) == shown.startClock;
}
}  // namespace

bool writeListedNotes(CSchedule& table, const ListedReservation& shown, const std::string& notes) {
    if (notes == shown.detail.notes || !rereadShown(table, shown)) return false;
    table.SetNotes(notes);
    return table.Update() == 0;
}

NotesWrite writeListedNotesOnce(CSchedule& table, const ListedReservation& shown,
                                const std::string& notes) {
    if (notes == shown.detail.notes) return NotesWrite::kUnchanged;
    if (!rereadShown(table, shown)) return NotesWrite::kGone;
    return updateNotesOnce(table, notes);
}

}  // namespace quorvane
