// The fault sweep's template group and the user operations it runs, each through the Qt-free
// layers the program runs it through.
#include <fcntl.h>
#include <unistd.h>

#include <cctype>

#include "engine/file4replace.h"
#include "fault_sweep.h"
#include "fault_sweep_internal.h"
#include "group/GroupFile.h"
#include "reports/core/CustomerExport.h"
#include "tables/TableCore.h"

namespace faultsweep {

// ----- the group -----

const char* const kCourts[3] = {"Court 1", "Court 2", "Court 3"};
const DayDate kMade{2026, 11, 2};

quorvane::BookingRequest request(const char* facility, DayDate day, int startHH, int endHH,
                                 const char* last, int kind = quorvane::kSingle,
                                 DayDate through = {}) {
    quorvane::BookingRequest q;
    q.facility = facility;
    q.firstDay = day;
    q.throughDay = kind == quorvane::kSingle ? day : through;
    q.kind = kind;
    q.startHH = startHH;
    q.endHH = endHH;
    q.first = "Ann";
    q.mi = "B";
    q.last = last;
    q.phone = "555-0100";
    q.notes = "net";
    q.madeDate = kMade;
    q.madeHH = startHH;
    q.madeMM = 7;
    return q;
}

int book(CSchedule& s, const quorvane::BookingRequest& q) {
    quorvane::FacilityDay day;
    quorvane::BookingHooks hooks;
    return quorvane::bookReservation(s, q, day, hooks).booked > 0 ? 0 : 1;
}

// The group every operation starts from: three courts, reservations before and after the purge
// cut-off, a 30-day series, customers and maintenance items.
bool writeBaseGroup(const std::string& folder) {
    const std::string group = folder + "/" + kGroupName;
    quorvane::GroupFile g;
    g.typeName = "Tennis Courts";
    g.description = "fault sweep";
    for (const char* f : kCourts) g.rooms[std::size_t(g.count++)].name = f;
    if (!quorvane::saveGroupFile(group, g).ok()) return false;
    CSchedule s;
    CPeople p;
    CMaintenance m;
    if (s.Create(group) || p.Create(group) || m.Create(group)) return false;
    int bad = 0;
    for (int i = 0; i < 6; ++i) {
        bad += book(s, request(kCourts[i % 3], {2026, 1, 10 + i}, 9, 10, "Old"));
        bad += book(s, request(kCourts[i % 3], {2027, 2, 1 + i}, 8 + i, 9 + i, "Later"));
    }
    bad += book(
        s, request("Court 2", {2027, 3, 1}, 18, 19, "Series", quorvane::kDaily, {2027, 3, 30}));
    for (int i = 0; i < 5; ++i) {
        p.Clear();
        p.SetName("First" + std::to_string(i), "M", "Customer" + std::to_string(i));
        p.SetPhone("555-010" + std::to_string(i), "");
        p.SetOrg("Club");
        p.SetNotes("notes of " + std::to_string(i));
        bad += p.Add() != 0;
        m.Clear();
        m.SetName("Item" + std::to_string(i));
        m.SetNotes("sweep");
        bad += m.Add() != 0;
    }
    return bad == 0;
}

// ----- the operations -----

int quorvaneTables(const std::vector<std::string>& args) {
    std::vector<std::string> a = args;
    a.insert(a.begin(), "quorvane-tables");
    std::vector<char*> argv;
    for (std::string& s : a) argv.push_back(s.data());
    argv.push_back(nullptr);
    return quorvaneTablesMain(int(a.size()), argv.data());
}

// The engine upper-cases a table's file name.
std::string dataFile(const std::string& group) {
    std::string base = tables::groupBase(group);
    const std::size_t slash = base.rfind('/');
    for (std::size_t i = slash == std::string::npos ? 0 : slash + 1; i < base.size(); ++i)
        base[i] = char(std::toupper(static_cast<unsigned char>(base[i])));
    return base + ".DBF";
}

// The file the export operation replaces, beside the group.
std::string exportFile(const std::string& group) {
    return group.substr(0, group.rfind('/') + 1) + "Sweep export.txt";
}

// The data file of the address pair the address export creates, beside the group.
std::string addressFile(const std::string& group) {
    return group.substr(0, group.rfind('/') + 1) + "SWEEPADR.DAT";
}

// What an export writes: `lines` numbered lines, in the 64 KiB writes the exports make.
int writeExport(const std::string& path, int lines, const char* what) {
    File4Replace file;
    if (int e = file.begin(path)) return e;
    std::string buffer;
    for (int i = 0; i < lines; ++i) {
        buffer += tables::format("%06d %s, a line as long as an exported customer's\r\n", i, what);
        if (buffer.size() >= 64 * 1024) {
            file.write(buffer.data(), buffer.size());
            buffer.clear();
        }
    }
    file.write(buffer.data(), buffer.size());
    return file.commit();
}

// A facility edit as the program makes it: the group file read again, changed and replaced.
template <typename Edit>
int editGroup(const std::string& group, Edit edit) {
    quorvane::GroupFile g;
    if (!quorvane::loadGroupFile(group, g).ok()) return 1;
    if (edit(g) != quorvane::GroupFile::Edit::Done) return 1;
    return quorvane::saveGroupFile(group, g).ok() ? 0 : 1;
}

std::vector<Operation> operations() {
    using namespace quorvane;
    auto noPrep = [](const std::string&) { return true; };
    std::vector<Operation> ops;
    ops.push_back(
        {"booking", Shape::atomic, false, true, noPrep, [](Tables& t, const std::string&) {
             auto q = request("Court 1", {2027, 2, 3}, 14, 15, "Single");
             FacilityDay day;
             BookingHooks hooks;
             hooks.added = [](const DayDate& d, int r) { ack(dateKey(d), r); };
             const BookingOutcome o = bookReservation(t.s, q, day, hooks);
             told(o.booked == 1 && o.failed == 0 ? 0 : 1);
         }});
    ops.push_back(
        {"year series", Shape::units, false, false, noPrep, [](Tables& t, const std::string&) {
             auto q = request("Court 3", {2027, 1, 1}, 20, 21, "Yearly", kDaily, {2027, 12, 31});
             FacilityDay day;
             BookingHooks hooks;
             hooks.added = [](const DayDate& d, int r) { ack(dateKey(d), r); };
             const BookingOutcome o = bookReservation(t.s, q, day, hooks);
             told(o.failed == 0 && o.refused == 0 ? 0 : 1);
         }});
    ops.push_back(
        {"cancel one", Shape::atomic, false, true, noPrep, [](Tables& t, const std::string&) {
             SeriesMember m;
             told(cancelReservation(t.s, "Court 2", {2027, 2, 2}, 900, m) == 0 ? 0 : 1);
         }});
    ops.push_back(
        {"cancel rest", Shape::units, false, true, noPrep, [](Tables& t, const std::string&) {
             SeriesMember m;
             int r = cancelReservation(t.s, "Court 2", {2027, 3, 10}, 1800, m);
             ack("20270310", r);
             if (r == 0) r = cancelRest(t.s, m) < 0 ? 1 : 0;
             told(r == 0 ? 0 : 1);
         }});
    ops.push_back({"notes", Shape::atomic, false, true, noPrep, [](Tables& t, const std::string&) {
                       ReservationDetail d;
                       long rec = 0;
                       int r = readReservationDetail(t.s, "Court 1", {2027, 2, 4}, 1100, d, &rec);
                       told(r == 0 && storeNotes(t.s, "Court 1", {2027, 2, 4}, 1100, rec, d.notes,
                                                 "new notes for the sweep")
                                ? 0
                                : 1);
                   }});
    ops.push_back(
        {"customer add", Shape::atomic, false, false, noPrep, [](Tables& t, const std::string&) {
             t.p.Clear();
             t.p.SetName("Newly", "N", "Added");
             t.p.SetPhone("555-0199", "12");
             t.p.SetNotes("added by the sweep");
             told(t.p.Add());
         }});
    ops.push_back(
        {"customer modify", Shape::atomic, false, false, noPrep, [](Tables& t, const std::string&) {
             int r = t.p.Seek("First2", "M", "Customer2", "555-0102", "");
             if (r == 0) {
                 // A new last name: the record moves to another key.
                 t.p.SetName("First2", "M", "Renamed2");
                 t.p.SetNotes("modified by the sweep");
                 r = t.p.Update();
             }
             told(r);
         }});
    // The first customer's record (bytes 481 to 779 of the file) lies across the sector
    // boundary at 512: its rewrite can be torn, the one above (bytes 1079 to 1377) cannot.
    ops.push_back({"customer modify@512", Shape::atomic, false, true, noPrep,
                   [](Tables& t, const std::string&) {
                       int r = t.p.Seek("First0", "M", "Customer0", "555-0100", "");
                       if (r == 0) {
                           t.p.SetName("First0", "M", "Renamed0");
                           t.p.SetNotes("modified by the sweep");
                           r = t.p.Update();
                       }
                       told(r);
                   }});
    ops.push_back(
        {"customer delete", Shape::atomic, false, false, noPrep, [](Tables& t, const std::string&) {
             // The pack it asks for runs when the group closes (the purge's close).
             int r = t.p.Seek("First3", "M", "Customer3", "555-0103", "");
             if (r == 0) r = t.p.Delete(true);
             told(r);
         }});
    ops.push_back(
        {"maintenance add", Shape::atomic, false, false, noPrep, [](Tables& t, const std::string&) {
             t.m.Clear();
             t.m.SetName("Resurface");
             t.m.SetNotes("yearly");
             told(t.m.Add());
         }});
    ops.push_back({"maintenance modify", Shape::atomic, false, false, noPrep,
                   [](Tables& t, const std::string&) {
                       int r = t.m.Seek("Item1");
                       if (r == 0) {
                           t.m.SetName("Lines repainted");
                           t.m.SetNotes("renamed");
                           r = t.m.Update();
                       }
                       told(r);
                   }});
    ops.push_back({"maintenance delete", Shape::atomic, false, false, noPrep,
                   [](Tables& t, const std::string&) {
                       int r = t.m.Seek("Item4");
                       if (r == 0) r = t.m.Delete(true);
                       told(r);
                   }});
    ops.push_back(
        {"facility add", Shape::atomic, false, true, noPrep, [](Tables&, const std::string& group) {
             told(editGroup(group, [](quorvane::GroupFile& g) {
                 return g.addFacility("Court 4", "new lights", 90);
             }));
         }});
    ops.push_back({"facility modify", Shape::atomic, false, true, noPrep,
                   [](Tables&, const std::string& group) {
                       told(editGroup(group, [](quorvane::GroupFile& g) {
                           return g.modifyFacility("Court 2", "clay, resurfaced", 60);
                       }));
                   }});
    ops.push_back({"facility delete", Shape::atomic, false, true, noPrep,
                   [](Tables&, const std::string& group) {
                       told(editGroup(group, [](quorvane::GroupFile& g) {
                           return g.removeFacility("Court 1");
                       }));
                   }});
    // The replacement step of the calendar export and of a report saved as a PDF
    // (File4Replace: begin, writes of up to 64 KiB, commit), over an earlier export: their own
    // code needs Qt, which the sweep's child does not load.
    ops.push_back({"export replace", Shape::atomic, false, true,
                   [](const std::string& group) {
                       return writeExport(exportFile(group), 700, "earlier") == 0;
                   },
                   [](Tables&, const std::string& group) {
                       told(writeExport(exportFile(group), 3000, "replacing") == 0 ? 0 : 1);
                   }});
    // The text export itself over an earlier one: every customer, in key order.
    ops.push_back({"text export", Shape::atomic, false, true,
                   [](const std::string& group) {
                       return writeExport(exportFile(group), 700, "earlier") == 0;
                   },
                   [](Tables& t, const std::string& group) {
                       told(exportCustomersText(t.p, exportFile(group)) == kTextExported ? 0 : 1);
                   }});
    // The mailing-list pair of every customer: two new files beside the group.
    ops.push_back({"address export", Shape::atomic, false, true, noPrep,
                   [](Tables& t, const std::string& group) {
                       std::string index;
                       told(quorvane::exportCustomersAddress(t.p, addressFile(group), index) ==
                                    quorvane::kAddressExported
                                ? 0
                                : 1);
                   }});
    // The purge at close: every reservation before the cut-off is deleted, then the close packs.
    ops.push_back({"purge", Shape::units, true, false, noPrep, [](Tables& t, const std::string&) {
                       const std::string cut = "20270101";
                       if (t.s.First() == 0) {
                           for (;;) {
                               if (!t.s.IsBefore(cut)) break;
                               if (t.s.Delete(true) != 0) break;
                               if (t.s.Next() != 0) break;
                           }
                       }
                       told(t.s.Close());
                   }});
    // Deleted reservations for the pack to remove.
    auto someDeleted = [](const std::string& group) {
        CSchedule s;
        if (s.Open(group)) return false;
        SeriesMember m;
        if (cancelReservation(s, "Court 1", {2026, 1, 10}, 900, m) ||
            cancelReservation(s, "Court 2", {2027, 3, 3}, 1800, m))
            return false;
        return s.Close() == 0;
    };
    ops.push_back(
        {"pack", Shape::same, false, true, someDeleted, [](Tables& t, const std::string& group) {
             t.s.Close();
             told(quorvaneTables({"pack", dataFile(group)}));
         }});
    ops.push_back(
        {"reindex", Shape::same, false, true, noPrep, [](Tables& t, const std::string& group) {
             t.s.Close();
             told(quorvaneTables({"reindex", dataFile(group)}));
         }});
    // A crash's leftovers for the repair: a partial record after the last whole one.
    ops.push_back({"repair", Shape::same, false, false,
                   [](const std::string& group) {
                       const int fd = ::open(dataFile(group).c_str(), O_WRONLY | O_APPEND);
                       const char junk[40] = " partial record";
                       const bool ok = fd >= 0 && ::write(fd, junk, sizeof junk) == sizeof junk;
                       if (fd >= 0) ::close(fd);
                       return ok;
                   },
                   [](Tables& t, const std::string& group) {
                       t.s.Close();
                       told(quorvaneTables({"repair", dataFile(group)}));
                   }});
    return ops;
}

}  // namespace faultsweep
