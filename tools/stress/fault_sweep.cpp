// The fault sweep (see fault_sweep.h). One template group per operation is written once; each
// trial copies it, runs the operation in a child process through SweepIo and judges the copy:
//   - the group opens as the program opens it (group file, then the three tables);
//   - quorvane-tables check says sound, or names a repair that makes it sound;
//   - the live records are the ones before the operation with the operation's own changes
//     either all there or none there (a series, a cancelled rest and a purge per record), and
//     every change the caller was told of is there;
//   - no two live reservations of a facility overlap;
//   - after a failed write or sync the caller was told of a failure, never of success;
//   - no file is left in the folder that was not there before.
#include "fault_sweep.h"

#include <dirent.h>
#include <execinfo.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/core/GroupFile.h"
#include "engine/file4replace.h"
#include "engine/io4.h"
#include "reservations/core/BookingCore.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/Schedule.h"
#include "tables/TableCore.h"

extern char** environ;

namespace {

using quorvane::DayDate;

// ----- the seam -----

enum class Fault { none, killBefore, killHalf, eio, enospc };
const char* faultName(Fault f) {
    switch (f) {
        case Fault::killBefore:
            return "kill before";
        case Fault::killHalf:
            return "kill mid-write";
        case Fault::eio:
            return "EIO";
        case Fault::enospc:
            return "ENOSPC";
        case Fault::none:
            break;
    }
    return "none";
}

// One recorded call: a write ('w'), a truncation ('t'), a sync ('s'), a file created or
// emptied by its open ('o'), a removal ('u'), a rename ('r': data holds the new name), or the
// caller being told ('a': text holds "ack UNIT CODE" or "told CODE").
struct Event {
    char type = 0;
    std::string path;
    long long off = 0;
    std::string data;
};

// Writes a line to the report file with plain system calls, past the seam.
void reportLine(int fd, const std::string& line) {
    const std::string l = line + "\n";
    if (fd >= 0 && ::write(fd, l.data(), l.size()) != ssize_t(l.size())) ::_exit(90);
}

constexpr off_t kSector = 512;

// Counts the writes, truncations and syncs (the fault points) in the order they are made,
// injects the one fault asked for, and records every call for the power-loss replay.
class SweepIo final : public Io4 {
public:
    SweepIo(long target, Fault fault, int reportFd, bool record)
        : target_(target), fault_(fault), report_(reportFd), record_(record) {}

    int open(const char* path, int flags, mode_t mode) override {
        const int fd = Io4::open(path, flags, mode);
        if (fd >= 0) {
            std::lock_guard<std::mutex> g(m_);
            paths_[fd] = path;
            if (record_ && (flags & (O_CREAT | O_TRUNC)))
                events_.push_back({'o', path, flags & O_TRUNC, {}});
        }
        return fd;
    }
    int close(int fd) override {
        {
            std::lock_guard<std::mutex> g(m_);
            paths_.erase(fd);
        }
        return Io4::close(fd);
    }
    int unlink(const char* path) override {
        const int r = Io4::unlink(path);
        if (r == 0 && record_) {
            std::lock_guard<std::mutex> g(m_);
            events_.push_back({'u', path, 0, {}});
        }
        return r;
    }
    // A write is torn only where the disk can tear it: at a sector boundary. A sector (512
    // bytes) is written whole or not at all, and a killed process stops a write only between
    // pages, which are whole sectors too; so a write inside one sector ('w') cannot be torn,
    // one across a boundary ('W') can, and its tear keeps the sectors before the boundary
    // nearest its middle.
    ssize_t pwrite(int fd, const void* buf, size_t len, off_t pos) override {
        const off_t first = (pos / kSector + 1) * kSector;
        const bool crosses = off_t(pos + off_t(len)) > first;
        const Fault f = point(crosses ? 'W' : 'w');
        if (f == Fault::killHalf && crosses) {
            off_t cut = (pos + off_t(len / 2)) / kSector * kSector;
            if (cut <= pos) cut = first;
            Io4::pwrite(fd, buf, size_t(cut - pos), pos);
            ::_exit(77);
        }
        if (f == Fault::eio || f == Fault::enospc || full_) {
            if (f == Fault::enospc) full_ = true;  // a full disk stays full
            errno = f == Fault::eio ? EIO : ENOSPC;
            return -1;
        }
        const ssize_t n = Io4::pwrite(fd, buf, len, pos);
        if (n > 0 && record_) {
            std::lock_guard<std::mutex> g(m_);
            events_.push_back(
                {'w', pathOf(fd), pos, std::string(static_cast<const char*>(buf), size_t(n))});
        }
        return n;
    }
    int ftruncate(int fd, off_t len) override {
        const Fault f = point('t');
        if (f == Fault::eio || f == Fault::enospc) {
            errno = f == Fault::eio ? EIO : ENOSPC;
            return -1;
        }
        const int r = Io4::ftruncate(fd, len);
        if (r == 0 && record_) {
            std::lock_guard<std::mutex> g(m_);
            events_.push_back({'t', pathOf(fd), len, {}});
        }
        return r;
    }
    // A rename is a point of its own ('r'); the descriptors of the renamed file follow it.
    int rename(const char* from, const char* to, unsigned flags) override {
        const Fault f = point('r');
        if (f == Fault::eio || f == Fault::enospc) {
            errno = f == Fault::eio ? EIO : ENOSPC;
            return -1;
        }
        const int r = Io4::rename(from, to, flags);
        if (r == 0) {
            std::lock_guard<std::mutex> g(m_);
            for (auto& [fd, path] : paths_)
                if (path == from) path = to;
            if (record_) events_.push_back({'r', from, 0, to});
        }
        return r;
    }
    // The sync of a folder after a rename: a sync point like the files' own.
    int fsync(int fd) override {
        const Fault f = point('s');
        if (f == Fault::eio || f == Fault::enospc) {
            errno = f == Fault::eio ? EIO : ENOSPC;
            return -1;
        }
        const int r = Io4::fsync(fd);
        if (record_) {
            std::lock_guard<std::mutex> g(m_);
            events_.push_back({'s', pathOf(fd), 0, {}});
        }
        return r;
    }
    int fdatasync(int fd) override {
        const Fault f = point('s');
        if (f == Fault::eio || f == Fault::enospc) {
            errno = f == Fault::eio ? EIO : ENOSPC;
            return -1;
        }
        const int r = Io4::fdatasync(fd);
        if (record_) {
            std::lock_guard<std::mutex> g(m_);
            events_.push_back({'s', pathOf(fd), 0, {}});
        }
        return r;
    }
    // The caller was told something: a mark in the recorded stream.
    void told(const std::string& what) {
        std::lock_guard<std::mutex> g(m_);
        if (record_) events_.push_back({'a', {}, 0, what});
    }

    long points() const { return calls_.load(); }
    std::string kinds() const {
        std::lock_guard<std::mutex> g(m_);
        return kinds_;
    }
    bool fired() const { return fired_.load(); }
    std::vector<Event> events() const {
        std::lock_guard<std::mutex> g(m_);
        return events_;
    }

private:
    Fault point(char kind) {
        const long k = ++calls_;
        {
            std::lock_guard<std::mutex> g(m_);
            if (record_) kinds_ += kind;
        }
        if (k != target_ || fault_ == Fault::none) return Fault::none;
        fired_ = true;
        reportLine(report_, "fired");
        if (std::getenv("QUORVANE_SWEEP_TRACE")) {
            void* frames[32];
            ::backtrace_symbols_fd(frames, ::backtrace(frames, 32), 2);
        }
        if (fault_ == Fault::killBefore) ::_exit(77);
        return fault_;
    }
    // The tables were opened before the seam was installed: their paths come from the system.
    std::string pathOf(int fd) const {
        auto it = paths_.find(fd);
        if (it != paths_.end()) return it->second;
        char buf[4096];
        const ssize_t n =
            ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), buf, sizeof buf);
        return n > 0 ? std::string(buf, std::size_t(n)) : std::string();
    }

    const long target_;
    const Fault fault_;
    const int report_;
    const bool record_;
    std::atomic<long> calls_{0};
    std::atomic<bool> fired_{false}, full_{false};
    mutable std::mutex m_;
    std::map<int, std::string> paths_;
    std::string kinds_;
    std::vector<Event> events_;
};

SweepIo* g_io = nullptr;
int g_report = -1;

// What the operation tells its caller, to the report file and into the recorded stream.
void ack(const std::string& unit, int code) {
    const std::string l = "ack " + unit + " " + std::to_string(code);
    if (g_io) g_io->told(l);
    reportLine(g_report, l);
}
void told(int code) {
    const std::string l = "told " + std::to_string(code);
    if (g_io) g_io->told(l);
    reportLine(g_report, l);
}

// ----- the group -----

const char* const kGroupName = "Sweep Courts.rec";
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

struct Tables {
    CSchedule s;
    CPeople p;
    CMaintenance m;
    int open(const std::string& group) {
        if (int r = s.Open(group)) return r;
        if (int r = p.Open(group)) return r;
        return m.Open(group);
    }
};

enum class Shape {
    atomic,  // all of the operation's changes, or none
    units,   // each record change on its own (series, cancelled rest, purge)
    same,    // the live records stay as they were (pack, reindex, repair)
};

struct Operation {
    const char* name;
    Shape shape;
    bool silent;  // tells its caller nothing (the purge at close)
    bool power;   // also replayed as a power loss
    // Changes the base group into this operation's starting point (plain I/O).
    std::function<bool(const std::string& group)> prepare;
    // Runs in the child under the seam: the operation itself, closing what it changed.
    std::function<void(Tables& t, const std::string& group)> run;
};

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
    ops.push_back({"customer modify@512", Shape::atomic, false, false, noPrep,
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
    // The replacement step of the text, address and calendar exports and of a report saved
    // as a PDF (File4Replace: begin, writes of up to 64 KiB, commit), over an earlier export.
    // The exports' own code needs Qt's headers and the PDF Qt itself, which the sweep's child
    // does not load.
    ops.push_back({"export replace", Shape::atomic, false, true,
                   [](const std::string& group) {
                       return writeExport(exportFile(group), 700, "earlier") == 0;
                   },
                   [](Tables&, const std::string& group) {
                       told(writeExport(exportFile(group), 3000, "replacing") == 0 ? 0 : 1);
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

// ----- files -----

std::vector<std::string> listFolder(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool readFile(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    out.clear();
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, size_t(n));
    ::close(fd);
    return n == 0;
}

bool writeFile(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    ::close(fd);
    return ok;
}

void removeFolder(const std::string& folder) {
    for (const std::string& n : listFolder(folder)) ::unlink((folder + "/" + n).c_str());
    ::rmdir(folder.c_str());
}

bool copyFolder(const std::string& from, const std::string& to) {
    removeFolder(to);
    if (::mkdir(to.c_str(), 0755) != 0) return false;
    for (const std::string& n : listFolder(from)) {
        std::string bytes;
        if (!readFile(from + "/" + n, bytes) || !writeFile(to + "/" + n, bytes)) return false;
    }
    return true;
}

// Runs a program, its output to `out`; the exit status, or -1.
int runProgram(const std::vector<std::string>& args, std::string& out) {
    int pipeFd[2];
    if (::pipe(pipeFd) != 0) return -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, pipeFd[1], 1);
    posix_spawn_file_actions_adddup2(&fa, pipeFd[1], 2);
    posix_spawn_file_actions_addclose(&fa, pipeFd[0]);
    std::vector<std::string> a = args;
    std::vector<char*> argv;
    for (std::string& s : a) argv.push_back(s.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int sp = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(pipeFd[1]);
    out.clear();
    char buf[4096];
    ssize_t n;
    while ((n = ::read(pipeFd[0], buf, sizeof buf)) > 0) out.append(buf, size_t(n));
    ::close(pipeFd[0]);
    if (sp != 0) return -1;
    int st = 0;
    ::waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// Runs quorvane-tables in a child process of this program (the tool is compiled in: no program
// to load for each of the many checks), its output to `out`; the exit status, or -1.
int runTables(const std::vector<std::string>& args, std::string& out) {
    int pipeFd[2];
    if (::pipe(pipeFd) != 0) return -1;
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFd[0]);
        ::dup2(pipeFd[1], 1);
        ::dup2(pipeFd[1], 2);
        const int rc = quorvaneTables(args);
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(rc);
    }
    ::close(pipeFd[1]);
    out.clear();
    char buf[4096];
    ssize_t n;
    while ((n = ::read(pipeFd[0], buf, sizeof buf)) > 0) out.append(buf, size_t(n));
    ::close(pipeFd[0]);
    int st = 0;
    if (pid < 0 || ::waitpid(pid, &st, 0) != pid) return -1;
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// The check and the repairs it names: the installed tool when one is given, else the one
// compiled in.
int runCheckTool(const std::string& tool, std::vector<std::string> args, std::string& out) {
    if (tool.empty()) return runTables(args, out);
    args.insert(args.begin(), tool);
    return runProgram(args, out);
}

// ----- reading a group back -----

// The live records of the three tables as text, one line each, sorted; and the reservations'
// intervals for the overlap check.
struct State {
    std::vector<std::string> rows;
    bool opens = false;   // the group file loaded and the three tables opened
    std::string problem;  // empty when the group opened and every table was read to its end
    std::vector<std::string> overlaps;
};

std::string scheduleRow(const CSchedule& s) {
    int mo, d, y, sh, sm, eh, em, cm, cd, cy, ch, cmi, rm, rd, ry;
    s.GetDate(mo, d, y);
    s.GetStart(sh, sm);
    s.GetEnd(eh, em);
    s.GetMade(cm, cd, cy, ch, cmi);
    s.GetRecurDate(rm, rd, ry);
    std::string first, mi, last, phone, ext, org;
    s.GetNames(first, mi, last, phone, ext, org);
    return tables::format(
        "R|%s|%s|%02d%02d|%02d%02d|%s|%s|%s|%s|%s|%s|%s|%04d%02d%02d%02d%02d|%d|%04d%02d%02d|%d",
        quorvane::dateKey(y, mo, d).c_str(), s.GetFacility().c_str(), sh, sm, eh, em, first.c_str(),
        mi.c_str(), last.c_str(), phone.c_str(), ext.c_str(), org.c_str(), s.GetNotes().c_str(), cy,
        cm, cd, ch, cmi, s.GetRecurDays(), ry, rm, rd, s.GetTypeFlag());
}

State readStateLoud(const std::string& group);

// The engine reports what it meets in a damaged copy on standard error; the sweep's verdict
// says it once.
State readState(const std::string& group) {
    std::fflush(stderr);
    const int saved = ::dup(2), devnull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ::dup2(devnull, 2);
    State st = readStateLoud(group);
    ::dup2(saved, 2);
    ::close(saved);
    ::close(devnull);
    return st;
}

State readStateLoud(const std::string& group) {
    State st;
    quorvane::GroupFile g;
    if (!quorvane::loadGroupFile(group, g).ok()) {
        st.problem = "the group file does not load";
        return st;
    }
    st.rows.push_back("G|" + g.typeName + "|" + g.description);
    for (int i = 0; i < g.count; ++i) {
        const auto& room = g.rooms[std::size_t(i)];
        st.rows.push_back(tables::format("G|%d|%s|%s|%u", i, room.name.c_str(),
                                         room.description.c_str(), room.defaultTime));
    }
    // The exported file, whole: its length and a digest of its bytes.
    std::string exported;
    if (readFile(exportFile(group), exported))
        st.rows.push_back("X|" + std::to_string(exported.size()) + "|" +
                          std::to_string(std::hash<std::string>{}(exported)));
    Tables t;
    if (int r = t.open(group)) {
        st.problem = "the tables do not open (" + std::to_string(r) + ")";
        return st;
    }
    st.opens = true;
    std::map<std::string, std::vector<std::pair<int, int>>> days;  // date|facility -> intervals
    // A damaged index can chain its leaves into a circle: a walk that passes any real table's
    // size is reported instead of followed.
    constexpr long kSteps = 20000;
    long steps = 0;
    int r;
    for (r = t.s.First(); r == 0 && ++steps < kSteps; r = t.s.Next()) {
        if (t.s.IsDeleted()) continue;
        st.rows.push_back(scheduleRow(t.s));
        int mo, d, y, sh, sm, eh, em;
        t.s.GetDate(mo, d, y);
        t.s.GetStart(sh, sm);
        t.s.GetEnd(eh, em);
        days[quorvane::dateKey(y, mo, d) + "|" + t.s.GetFacility()].push_back(
            {sh * 60 + sm, eh * 60 + em});
    }
    if (r != 3 && r != 1) st.problem = "the reservations end with " + std::to_string(r);
    if (steps >= kSteps) st.problem = "the walk of the reservations does not end";
    steps = 0;
    for (r = t.p.First(); r == 0 && ++steps < kSteps; r = t.p.Next()) {
        if (t.p.IsDeleted()) continue;
        std::string f, mi, l, ph, ext;
        t.p.GetName(f, mi, l);
        t.p.GetPhone(ph, ext);
        st.rows.push_back("P|" + f + "|" + mi + "|" + l + "|" + ph + "|" + ext + "|" +
                          t.p.GetOrg() + "|" + t.p.GetNotes());
    }
    if (r != 3 && r != 1 && st.problem.empty())
        st.problem = "the customers end with " + std::to_string(r);
    if (steps >= kSteps) st.problem = "the walk of the customers does not end";
    steps = 0;
    for (r = t.m.First(); r == 0 && ++steps < kSteps; r = t.m.Next()) {
        if (t.m.IsDeleted()) continue;
        st.rows.push_back("M|" + t.m.GetName() + "|" + t.m.GetNotes());
    }
    if (r != 3 && r != 1 && st.problem.empty())
        st.problem = "the maintenance items end with " + std::to_string(r);
    if (steps >= kSteps) st.problem = "the walk of the maintenance items does not end";
    for (auto& [key, spans] : days) {
        std::sort(spans.begin(), spans.end());
        for (std::size_t i = 1; i < spans.size(); ++i)
            if (spans[i].first < spans[i - 1].second) st.overlaps.push_back(key);
    }
    std::sort(st.rows.begin(), st.rows.end());
    return st;
}

// a - b as multisets of sorted rows.
std::vector<std::string> minus(const std::vector<std::string>& a,
                               const std::vector<std::string>& b) {
    std::vector<std::string> out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

bool within(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
    return std::includes(whole.begin(), whole.end(), part.begin(), part.end());
}

// ----- one trial -----

struct Told {
    bool fired = false;
    bool toldAny = false;
    int code = -1;                                  // the final "told"; -1: never told
    std::vector<std::pair<std::string, int>> acks;  // unit, code
};

Told parseReport(const std::string& text) {
    Told t;
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        if (word == "fired") {
            t.fired = true;
        } else if (word == "ack") {
            std::string unit;
            int code = 0;
            in >> unit >> code;
            t.acks.push_back({unit, code});
        } else if (word == "told") {
            in >> t.code;
            t.toldAny = true;
        }
    }
    return t;
}

// What a fault-free run of the operation did.
struct Baseline {
    std::vector<std::string> before, after, added, removed;
    std::vector<std::string> files;
    std::string kinds;  // per fault point: w (W: across a sector boundary), t, r or s
    std::vector<Event> events;
    std::string folder;  // where the recorded run ran
};

// repaired: sound once the repair the check named ran; refused: the program refused the group
// until then.
enum class Outcome { sound, repaired, refused, unsound };

struct Judgement {
    Outcome outcome = Outcome::sound;
    std::string why;
    bool temporaryLeft = false;  // a killed replacement's temporary file stayed behind
};

// The hidden name a file replacement writes under before its rename (".NAME.xxxxxx~").
bool temporaryName(const std::string& name) {
    return name.size() > 9 && name[0] == '.' && name.back() == '~' && name[name.size() - 8] == '.';
}

// The row of a unit (a reservation's date) among the operation's changes.
bool unitPresent(const std::string& unit, const std::vector<std::string>& changes,
                 const std::vector<std::string>& rows) {
    for (const std::string& c : changes)
        if (c.compare(0, 2 + unit.size(), "R|" + unit) == 0 &&
            std::binary_search(rows.begin(), rows.end(), c))
            return true;
    return false;
}

Judgement judge(const Operation& op, const Baseline& base, const std::string& folder,
                const std::string& tablesTool, const Told& told, bool errorFault, bool killed,
                const std::set<std::string>& ackedUnits) {
    Judgement j;
    auto bad = [&](const std::string& why) {
        if (j.outcome != Outcome::unsound) j.why = why;
        j.outcome = Outcome::unsound;
    };
    // A process killed (or a power loss) between creating a replacement's temporary file and
    // renaming it leaves the file behind: nothing can remove it then. It is counted, and only
    // then allowed; a failure the program saw must remove it.
    std::vector<std::string> files = listFolder(folder), left = minus(files, base.files);
    if (killed && !left.empty() && std::all_of(left.begin(), left.end(), [](const std::string& n) {
            return temporaryName(n);
        })) {
        j.temporaryLeft = true;
        files = base.files;
    }
    if (files != base.files) {
        std::string names;
        for (const std::string& n : listFolder(folder)) names += " " + n;
        bad("the folder holds other files:" + names);
    }
    const std::string group = folder + "/" + kGroupName;
    State opened = readState(group);
    // A group the program refuses must be one the check names a repair for; it is judged
    // again once that repair ran.
    const bool refused = !opened.opens;
    std::string out;
    int rc = runCheckTool(tablesTool, {"check", folder}, out);
    // What the program meets opening and reading the tables, the check must find.
    if (rc == 0 && !opened.problem.empty()) bad("check says sound, but " + opened.problem);
    if (rc != 0) {
        // Each damaged table names its repair; run it, then check again.
        std::istringstream lines(out);
        std::string line, table;
        bool named = false;
        while (std::getline(lines, line)) {
            if (!line.empty() && line[0] != ' ') table = line.substr(0, line.find(':'));
            const bool repair = line.find("run repair") != std::string::npos;
            const bool reindex = line.find("run reindex") != std::string::npos;
            if ((repair || reindex) && !table.empty()) {
                std::string ignored;
                runCheckTool(tablesTool, {repair ? "repair" : "reindex", table}, ignored);
                named = true;
            }
        }
        rc = runCheckTool(tablesTool, {"check", folder}, out);
        if (!named || rc != 0) {
            bad("check after the named repair: " + out);
            return j;
        }
        if (j.outcome == Outcome::sound) j.outcome = refused ? Outcome::refused : Outcome::repaired;
        opened = readState(group);
        if (!opened.problem.empty())
            bad("after the repair the group does not open: " + opened.problem);
    }
    if (!opened.overlaps.empty()) bad("overlapping reservations on " + opened.overlaps.front());
    const std::vector<std::string>& rows = opened.rows;
    const std::vector<std::string> extra = minus(rows, base.before),
                                   missing = minus(base.before, rows);
    const bool none = extra.empty() && missing.empty();
    const bool all = rows == base.after;
    switch (op.shape) {
        case Shape::atomic:
            if (!none && !all)
                bad("the operation is half there (" + std::to_string(extra.size()) +
                    " more: " + (extra.empty() ? std::string("-") : extra.front()) + "; " +
                    std::to_string(missing.size()) +
                    " fewer: " + (missing.empty() ? std::string("-") : missing.front()) + ")");
            break;
        case Shape::units:
            if (!within(extra, base.added) || !within(missing, base.removed))
                bad("records other than the operation's changed");
            break;
        case Shape::same:
            if (!none) bad("the live records changed");
            break;
    }
    if (told.code == 0 && !all && op.shape != Shape::same)
        bad("told of success, but not all there");
    if (errorFault && told.code == 0 && !op.silent)
        bad("a write failed and the caller was told of success");
    if (errorFault && !told.toldAny && !op.silent)
        bad("a write failed and the caller was told nothing");
    for (const std::string& unit : ackedUnits) {
        const bool adds = unitPresent(unit, base.added, base.added);
        const bool present =
            adds ? unitPresent(unit, base.added, rows) : !unitPresent(unit, base.removed, rows);
        if (!present) bad("acknowledged change of " + unit + " is not there");
    }
    return j;
}

// ----- the child -----

struct ChildResult {
    Told told;
    std::string kinds;
    std::vector<Event> events;
    bool crashed = false;
};

// Runs the operation on the copy in `folder` in a child process under SweepIo.
ChildResult runChild(const Operation& op, const std::string& folder, long target, Fault fault,
                     bool record) {
    ChildResult res;
    const std::string reportPath = folder + ".report", eventsPath = folder + ".events";
    ::unlink(reportPath.c_str());
    ::unlink(eventsPath.c_str());
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The operation's own output would drown the table; QUORVANE_SWEEP_OUTPUT keeps it.
        if (!std::getenv("QUORVANE_SWEEP_OUTPUT")) {
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
        }
        g_report = ::open(reportPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        const std::string group = folder + "/" + kGroupName;
        Tables t;
        if (t.open(group) != 0) ::_exit(91);
        SweepIo io(target, fault, g_report, record);
        g_io = &io;
        io4set(&io);
        op.run(t, group);
        // What the operation wrote ends with its telling; the close is the group's (the purge
        // sweeps it).
        io4set(nullptr);
        g_io = nullptr;
        t.s.Close();
        t.p.Close();
        t.m.Close();
        // The count, the kinds of point and the recorded stream for the parent.
        std::string out = io.kinds() + "\n";
        for (const Event& e : io.events()) {
            out += e.type;
            out += " " + std::to_string(e.off) + " " + std::to_string(e.path.size()) + " " +
                   std::to_string(e.data.size()) + " " + e.path + e.data + "\n";
        }
        const int fd = ::open(eventsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const bool ok = fd >= 0 && ::write(fd, out.data(), out.size()) == ssize_t(out.size());
        if (fd >= 0) ::close(fd);
        ::_exit(ok ? 0 : 92);
    }
    int st = 0;
    ::waitpid(pid, &st, 0);
    res.crashed = !WIFEXITED(st) || WEXITSTATUS(st) != 0;
    std::string text;
    readFile(reportPath, text);
    res.told = parseReport(text);
    if (readFile(eventsPath, text)) {
        const std::size_t nl = text.find('\n');
        res.kinds = text.substr(0, nl);
        std::size_t at = nl + 1;
        while (at < text.size()) {
            Event e;
            e.type = text[at];
            std::size_t pathLen = 0, dataLen = 0;
            char* end = nullptr;
            e.off = std::strtoll(text.c_str() + at + 2, &end, 10);
            pathLen = std::strtoul(end, &end, 10);
            dataLen = std::strtoul(end, &end, 10);
            const std::size_t p = std::size_t(end - text.c_str()) + 1;
            e.path = text.substr(p, pathLen);
            e.data = text.substr(p + pathLen, dataLen);
            at = p + pathLen + dataLen + 1;
            res.events.push_back(std::move(e));
        }
    }
    ::unlink(reportPath.c_str());
    ::unlink(eventsPath.c_str());
    return res;
}

// ----- power loss -----

// Applies the recorded stream to the copy as a power loss at `crash` leaves it: every write
// that a later sync of its file (before the crash) made durable, and of the others a random
// part, in a random order. Files created, renamed and removed keep their order (the file
// system's journal keeps the order of changes to names).
bool replay(const std::vector<Event>& events, std::size_t crash, const std::string& from,
            const std::string& to, std::mt19937& rng) {
    auto mapped = [&](const std::string& p) {
        return p.compare(0, from.size(), from) == 0 ? to + p.substr(from.size()) : p;
    };
    std::vector<std::size_t> loose;
    auto apply = [&](const Event& e) {
        const std::string path = mapped(e.path);
        if (e.type == 'w' || e.type == 't') {
            const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd < 0) return;
            if (e.type == 'w') {
                if (::pwrite(fd, e.data.data(), e.data.size(), off_t(e.off)) < 0) {
                }
            } else if (::ftruncate(fd, off_t(e.off)) != 0) {
            }
            ::close(fd);
        } else if (e.type == 'o') {
            const int fd =
                ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (e.off ? O_TRUNC : 0), 0644);
            if (fd >= 0) ::close(fd);
        } else if (e.type == 'u') {
            ::unlink(path.c_str());
        } else if (e.type == 'r') {
            ::rename(path.c_str(), mapped(e.data).c_str());
        }
    };
    for (std::size_t i = 0; i < crash; ++i) {
        const Event& e = events[i];
        if (e.type != 'w' && e.type != 't') {
            if (e.type == 'o' || e.type == 'u' || e.type == 'r') apply(e);
            continue;
        }
        bool durable = false;
        for (std::size_t k = i + 1; k < crash && !durable; ++k)
            durable = events[k].type == 's' && events[k].path == e.path;
        if (durable)
            apply(e);
        else
            loose.push_back(i);
    }
    std::shuffle(loose.begin(), loose.end(), rng);
    for (std::size_t i : loose)
        if (rng() % 2) apply(events[i]);
    return true;
}

// ----- the sweep -----

struct Tally {
    long tried = 0, sound = 0, repaired = 0, refused = 0, unsound = 0, temporaries = 0;
    void count(const Judgement& j) {
        const Outcome o = j.outcome;
        temporaries += j.temporaryLeft;
        ++tried;
        (o == Outcome::sound      ? sound
         : o == Outcome::repaired ? repaired
         : o == Outcome::refused  ? refused
                                  : unsound)++;
    }
};

const char* outcomeText(Outcome o) {
    switch (o) {
        case Outcome::sound:
            return "sound";
        case Outcome::repaired:
            return "repaired";
        case Outcome::refused:
            return "refused until repaired";
        case Outcome::unsound:
            break;
    }
    return "UNSOUND";
}

bool buildBaseline(const Operation& op, const std::string& tmpl, const std::string& work,
                   Baseline& base, std::string& why) {
    const std::string group = tmpl + "/" + kGroupName;
    if (!op.prepare(group)) {
        why = "the starting point could not be prepared";
        return false;
    }
    base.files = listFolder(tmpl);
    State before = readState(group);
    if (!before.problem.empty()) {
        why = "the starting point does not open: " + before.problem;
        return false;
    }
    base.before = before.rows;
    if (!copyFolder(tmpl, work)) {
        why = "no copy";
        return false;
    }
    ChildResult r = runChild(op, work, 0, Fault::none, true);
    if (r.crashed || r.told.code != 0) {
        why = "the fault-free run failed (told " + std::to_string(r.told.code) + ")";
        return false;
    }
    State after = readState(work + "/" + kGroupName);
    if (!after.problem.empty()) {
        why = "the fault-free run leaves a group that does not open: " + after.problem;
        return false;
    }
    base.after = after.rows;
    base.added = minus(base.after, base.before);
    base.removed = minus(base.before, base.after);
    base.kinds = r.kinds;
    base.events = std::move(r.events);
    base.folder = work;
    return true;
}

}  // namespace

std::vector<std::string> faultSweepOperations() {
    std::vector<std::string> names;
    for (const Operation& op : operations()) names.push_back(op.name);
    return names;
}

int runFaultSweep(const FaultSweepOptions& options, FaultSweepTotals* totals) {
    FaultSweepOptions o = options;
    ::mkdir(o.folder.c_str(), 0755);
    // The replay finds the recorded files by their full paths.
    if (char* real = ::realpath(o.folder.c_str(), nullptr)) {
        o.folder = real;
        std::free(real);
    }
    const std::string baseFolder = o.folder + "/base";
    removeFolder(baseFolder);
    ::mkdir(baseFolder.c_str(), 0755);
    if (!writeBaseGroup(baseFolder)) {
        std::printf("verdict: UNSOUND (the base group could not be written)\n");
        return 1;
    }
    std::mt19937 rng(o.seed);
    long unsound = 0, total = 0;
    const auto t0 = std::chrono::steady_clock::now();
    std::printf("%-20s %-16s %8s %8s %8s %8s %8s %8s %8s\n", "operation", "fault", "points",
                "tried", "sound", "repaired", "refused", "UNSOUND", "tmp left");
    for (const Operation& op : operations()) {
        if (!o.operations.empty() &&
            std::find(o.operations.begin(), o.operations.end(), op.name) == o.operations.end())
            continue;
        const std::string tmpl = o.folder + "/template", work = o.folder + "/trial";
        if (!copyFolder(baseFolder, tmpl)) return 1;
        Baseline base;
        std::string why;
        if (!buildBaseline(op, tmpl, work, base, why)) {
            std::printf("%-20s %s: UNSOUND\n", op.name, why.c_str());
            ++unsound;
            if (totals) ++totals->unsound;
            continue;
        }
        const long n = long(base.kinds.size());
        // Every (point, fault) pair that applies; a sample keeps the first and last points.
        std::vector<std::pair<long, Fault>> pairs;
        for (long k = 1; k <= n; ++k) {
            const char kind = base.kinds[std::size_t(k - 1)];
            pairs.push_back({k, Fault::killBefore});
            if (kind == 'W' && o.tornWrites) pairs.push_back({k, Fault::killHalf});
            pairs.push_back({k, Fault::eio});
            pairs.push_back({k, Fault::enospc});
        }
        if (o.sample > 0 && long(pairs.size()) > o.sample) {
            // The first two always; a failed sync each when there are few syncs (where a
            // failure is easiest to swallow); the rest drawn at random.
            const long syncs = long(std::count(base.kinds.begin(), base.kinds.end(), 's'));
            std::vector<std::pair<long, Fault>> keep, rest;
            for (std::size_t i = 0; i < pairs.size(); ++i) {
                const bool failedSync = base.kinds[std::size_t(pairs[i].first - 1)] == 's' &&
                                        pairs[i].second == Fault::eio && syncs <= 8;
                (i < 2 || failedSync ? keep : rest).push_back(pairs[i]);
            }
            std::shuffle(rest.begin(), rest.end(), rng);
            rest.resize(std::size_t(std::max<long>(
                0, std::min<long>(long(rest.size()), o.sample - long(keep.size())))));
            keep.insert(keep.end(), rest.begin(), rest.end());
            pairs = keep;
        }
        std::map<Fault, Tally> tallies;
        std::map<Fault, long> points;
        for (long k = 1; k <= n; ++k) {
            points[Fault::killBefore]++;
            if (base.kinds[std::size_t(k - 1)] == 'W' && o.tornWrites) points[Fault::killHalf]++;
            points[Fault::eio]++;
            points[Fault::enospc]++;
        }
        for (const auto& [k, fault] : pairs) {
            if (!copyFolder(tmpl, work)) return 1;
            ChildResult r = runChild(op, work, k, fault, false);
            std::set<std::string> acked;
            for (const auto& [unit, code] : r.told.acks)
                if (code == 0) acked.insert(unit);
            const bool errorFault = r.told.fired && (fault == Fault::eio || fault == Fault::enospc);
            const bool killed = fault == Fault::killBefore || fault == Fault::killHalf;
            Judgement j = judge(op, base, work, o.tablesTool, r.told, errorFault, killed, acked);
            tallies[fault].count(j);
            if (j.outcome == Outcome::unsound || o.verbose)
                std::printf("  %s, %s at point %ld of %ld (%c): %s%s%s\n", op.name,
                            faultName(fault), k, n, base.kinds[std::size_t(k - 1)],
                            outcomeText(j.outcome), j.outcome == Outcome::unsound ? ": " : "",
                            j.outcome == Outcome::unsound ? j.why.c_str() : "");
        }
        // Power loss: crash points after every sync and right after the caller was told.
        Tally power;
        long crashPoints = 0;
        if (op.power && o.powerTrials > 0) {
            std::vector<std::size_t> crashes;
            for (std::size_t i = 0; i < base.events.size(); ++i)
                if (base.events[i].type == 's' || base.events[i].type == 'a')
                    crashes.push_back(i + 1);
            crashes.push_back(base.events.size());
            crashPoints = long(crashes.size());
            std::vector<std::pair<std::size_t, int>> trials;
            for (std::size_t c : crashes)
                for (int t = 0; t < o.powerTrials; ++t) trials.push_back({c, t});
            if (o.sample > 0 && long(trials.size()) > o.sample) {
                std::shuffle(trials.begin(), trials.end(), rng);
                trials.resize(std::size_t(o.sample));
            }
            for (const auto& [crash, t] : trials) {
                (void)t;
                if (!copyFolder(tmpl, work)) return 1;
                replay(base.events, crash, base.folder, work, rng);
                Told told;
                std::set<std::string> acked;
                for (std::size_t i = 0; i < crash; ++i) {
                    const Event& e = base.events[i];
                    if (e.type != 'a') continue;
                    Told one = parseReport(e.data);
                    for (const auto& [unit, code] : one.acks)
                        if (code == 0) acked.insert(unit);
                    if (one.toldAny) told.code = one.code, told.toldAny = true;
                }
                Judgement j = judge(op, base, work, o.tablesTool, told, false, true, acked);
                power.count(j);
                if (j.outcome == Outcome::unsound || o.verbose)
                    std::printf("  %s, power loss at event %zu of %zu: %s%s%s\n", op.name, crash,
                                base.events.size(), outcomeText(j.outcome),
                                j.outcome == Outcome::unsound ? ": " : "",
                                j.outcome == Outcome::unsound ? j.why.c_str() : "");
            }
        }
        for (Fault f : {Fault::killBefore, Fault::killHalf, Fault::eio, Fault::enospc}) {
            const Tally& t = tallies[f];
            std::printf("%-20s %-16s %8ld %8ld %8ld %8ld %8ld %8ld %8ld\n", op.name, faultName(f),
                        points[f], t.tried, t.sound, t.repaired, t.refused, t.unsound,
                        t.temporaries);
            unsound += t.unsound;
            total += t.tried;
            if (totals) {
                totals->points += points[f];
                totals->tried += t.tried;
                totals->repaired += t.repaired + t.refused;
                totals->refused += t.refused;
                totals->unsound += t.unsound;
                totals->temporaries += t.temporaries;
            }
        }
        if (op.power && o.powerTrials > 0) {
            std::printf("%-20s %-16s %8ld %8ld %8ld %8ld %8ld %8ld %8ld\n", op.name, "power loss",
                        crashPoints * o.powerTrials, power.tried, power.sound, power.repaired,
                        power.refused, power.unsound, power.temporaries);
            unsound += power.unsound;
            total += power.tried;
            if (totals) {
                totals->points += crashPoints * o.powerTrials;
                totals->tried += power.tried;
                totals->repaired += power.repaired + power.refused;
                totals->refused += power.refused;
                totals->unsound += power.unsound;
                totals->temporaries += power.temporaries;
            }
        }
        std::fflush(stdout);
        removeFolder(work);
        removeFolder(tmpl);
    }
    removeFolder(baseFolder);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("fault points tried %ld in %.1f s\n", total, wall);
    std::printf("verdict: %s (%ld unsound)\n", unsound == 0 ? "sound" : "UNSOUND", unsound);
    return unsound == 0 ? 0 : 1;
}
