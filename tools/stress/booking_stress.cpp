// The booking mode of quorvane-stress: N processes book single and recurring reservations on
// three facilities of one group through the same functions the Make Reservation dialog runs,
// cancel single reservations and the rest of series, and change notes; now and then one of
// them is killed in the middle of a series and replaced. A verifier checks the table every few
// seconds and at the end against what every process was told had succeeded.
#include "booking_stress.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/clock4.h"
#include "engine/tag4.h"
#include "group/GroupFile.h"
#include "reservations/core/BookingCore.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/Schedule.h"
#include "tables/TableCore.h"

namespace {

using quorvane::BookingRequest;
using quorvane::DayDate;

const char* const kFacilities[3] = {"Court 1", "Court 2", "Court 3"};
// Sixty days around the night the clocks go forward in the zone the run uses.
const DayDate kFirstDay{2026, 3, 10};
constexpr int kDays = 60;

// What the parent and the workers share: each worker's phase, so a kill can land mid-series.
struct Shared {
    std::atomic<int> inSeries[64];
    std::atomic<long> bookings, refused, cancels, restCancels, restDeleted, notes, failures;
};

struct Counters {
    long bookings = 0, refused = 0, cancels = 0, rests = 0, restDeleted = 0, notes = 0;
};

// One acknowledged effect per line, written before the next operation starts:
//   A worker seq date facility start end stamp   a reservation stored (Add returned 0)
//   C worker seq date                            that reservation cancelled
//   R facility start stamp from end              the later members of a series cancelled
//   P facility date start                        a cancellation is about to run
//   N worker seq date                            notes written
class Log {
public:
    explicit Log(const std::string& path)
        : fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644)) {}
    ~Log() {
        if (fd_ >= 0) ::close(fd_);
    }
    void line(const std::string& s) {
        const std::string l = s + "\n";
        if (fd_ >= 0 && ::write(fd_, l.data(), l.size()) != ssize_t(l.size())) std::abort();
    }

private:
    int fd_;
};

std::string stampText(const BookingRequest& q) {
    return quorvane::dateKey(q.madeDate) + tables::format("%02d%02d", q.madeHH, q.madeMM);
}

std::string stampOf(const CSchedule& t) {
    int mo, d, y, h, mi;
    t.GetMade(mo, d, y, h, mi);
    return quorvane::dateKey(y, mo, d) + tables::format("%02d%02d", h, mi);
}

struct Booking {
    std::string worker, seq, date, facility;
    int start = 0, end = 0;
    std::string stamp;
};

struct Live {
    std::string date, facility, first, phone, last, stamp;
    int start = 0, end = 0, kind = 0;
    std::string recurDate;
};

// Reads every live reservation through the tag. With `locked` the walk runs while a handle of
// its own holds the append and index locks, so that the others' changes do not pass under it;
// that handle waits in steps of 10 ms, not the table objects' second, or the busy workers
// would keep it out.
bool readLive(const std::string& group, bool locked, std::vector<Live>& out) {
    out.clear();
    Vask4 c;
    vask4init(&c);
    c.lockDelay = 1;
    Data4* lock = nullptr;
    struct Release {
        Vask4& c;
        Data4*& d;
        ~Release() {
            if (d) {
                d4unlock(d);
                d4close(d);
            }
            vask4initUndo(&c);
        }
    } release{c, lock};
    if (locked) {
        lock = d4open(&c, (tables::groupBase(group) + ".DBF").c_str());
        if (!lock || d4lockAppend(lock) != 0 || d4lockIndex(lock) != 0) return false;
    }
    CSchedule t;
    if (t.Open(group) != 0) return false;
    for (int r = t.First(); r == 0; r = t.Next()) {
        Live l;
        int mo, d, y;
        t.GetDate(mo, d, y);
        l.date = quorvane::dateKey(y, mo, d);
        l.facility = t.GetFacility();
        std::string mi, ext, org;
        t.GetNames(l.first, mi, l.last, l.phone, ext, org);
        int h, m;
        t.GetStart(h, m);
        l.start = h * 100 + m;
        t.GetEnd(h, m);
        l.end = h * 100 + m;
        l.stamp = stampOf(t);
        l.kind = t.GetRecurDays();
        t.GetRecurDate(mo, d, y);
        l.recurDate = quorvane::dateKey(y, mo, d);
        out.push_back(l);
    }
    t.Close();
    return true;
}

std::string identity(const Live& l) {
    // Customer bookings carry "w<id>" and the sequence in the phone; maintenance bookings
    // "Resurface w<id> <seq>" as the item name.
    if (!l.first.empty()) return l.first.substr(1) + " " + l.phone;
    std::istringstream in(l.last);
    std::string word, w, seq;
    in >> word >> w >> seq;
    return w.size() > 1 ? w.substr(1) + " " + seq : std::string();
}

int workerMain(const BookingStressOptions& o, int id, unsigned seed, Shared* shared) {
    CSchedule table;
    if (table.Open(o.groupPath) != 0) return 3;
    Log log(o.folder + "/booking-" + std::to_string(id) + ".log");
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(o.seconds);
    long seq = 0;
    Counters c;
    while (std::chrono::steady_clock::now() < until) {
        const int op = pick(100);
        const std::string facility = kFacilities[pick(3)];
        const DayDate day = quorvane::addDays(kFirstDay, pick(kDays));
        if (op < 65) {
            // A single reservation (45 %) or a series (20 %) at a random quarter hour.
            BookingRequest q;
            q.facility = facility;
            q.firstDay = day;
            q.startHH = 6 + pick(16);
            q.startMM = 15 * pick(4);
            const int length = 15 * (1 + pick(8));
            const int end = q.startHH * 60 + q.startMM + length;
            q.endHH = end >= 24 * 60 ? 0 : end / 60;  // 12:00 AM: to the end of the day
            q.endMM = end >= 24 * 60 ? 0 : end % 60;
            static const int kinds[3] = {quorvane::kDaily, quorvane::kWeekdays, quorvane::kWeekly};
            q.kind = op < 45 ? quorvane::kSingle : kinds[pick(3)];
            q.throughDay =
                quorvane::addDays(day, q.kind == quorvane::kWeekly ? 7 * pick(6) : pick(12));
            q.maintenance = pick(10) == 0;
            ++seq;
            q.first = q.maintenance ? "" : "w" + std::to_string(id);
            q.last = q.maintenance ? "Resurface w" + std::to_string(id) : "Stress, \"O'Neil\"";
            q.phone = q.maintenance ? "" : std::to_string(seq);
            if (q.maintenance) q.last += " " + std::to_string(seq);
            const std::int64_t now = clock4now();
            q.madeDate = quorvane::localDate(now);
            const std::time_t tt = std::time_t(now);
            std::tm tm{};
            localtime_r(&tt, &tm);
            q.madeHH = tm.tm_hour;
            q.madeMM = tm.tm_min;
            quorvane::FacilityDay fd;
            quorvane::BookingHooks hooks;
            long refused = 0;
            hooks.message = [&](const quorvane::Message& m) {
                if (m.title == "Reservation Error") ++refused;
            };
            hooks.added = [&](const DayDate& d, int result) {
                if (result != 0) return;
                int eh = q.endHH, em = q.endMM;
                if (eh == 0 && em == 0) eh = 23, em = 59;
                log.line(tables::format("A %d %ld %s %s %04d %04d %s", id, seq,
                                        quorvane::dateKey(d).c_str(), q.facility.c_str(),
                                        q.startHH * 100 + q.startMM, eh * 100 + em,
                                        stampText(q).c_str()));
                ++c.bookings;
                shared->bookings.fetch_add(1);
            };
            if (q.kind != quorvane::kSingle) shared->inSeries[id % 64].store(1);
            const quorvane::BookingOutcome out = quorvane::bookReservation(table, q, fd, hooks);
            shared->inSeries[id % 64].store(0);
            c.refused += refused;
            shared->refused.fetch_add(refused);
            shared->failures.fetch_add(out.failed);
        } else if (op < 90) {
            // Cancel a listed reservation; a series member with its rest half of the time.
            quorvane::FacilityDay fd;
            if (quorvane::loadFacilityDay(table, facility, day, fd) != 0 || fd.starts.empty())
                continue;
            const int start = fd.starts[std::size_t(pick(int(fd.starts.size())))];
            const bool rest = pick(2) == 0;
            log.line(tables::format("P %s %s %04d%s", facility.c_str(),
                                    quorvane::dateKey(day).c_str(), start, rest ? " rest" : ""));
            quorvane::SeriesMember m;
            if (quorvane::cancelReservation(table, facility, day, start, m) != 0) continue;
            Live gone;
            std::string mi, ext, org;
            table.GetNames(gone.first, mi, gone.last, gone.phone, ext, org);
            log.line("C " + identity(gone) + " " + quorvane::dateKey(day));
            ++c.cancels;
            shared->cancels.fetch_add(1);
            if (rest && m.kind != quorvane::kSingle) {
                const int n = quorvane::cancelRest(table, m);
                log.line(
                    tables::format("R %s %04d %s%02d%02d %s %s", facility.c_str(), start,
                                   quorvane::dateKey(m.madeYear, m.madeMonth, m.madeDay).c_str(),
                                   m.madeHH, m.madeMM, quorvane::dateKey(day).c_str(),
                                   quorvane::dateKey(m.endYear, m.endMonth, m.endDay).c_str()));
                ++c.rests;
                c.restDeleted += n;
                shared->restCancels.fetch_add(1);
                shared->restDeleted.fetch_add(n);
            }
        } else {
            // Change a listed reservation's notes (80 bytes of Windows-1252 at most).
            quorvane::FacilityDay fd;
            if (quorvane::loadFacilityDay(table, facility, day, fd) != 0 || fd.starts.empty())
                continue;
            const int start = fd.starts[std::size_t(pick(int(fd.starts.size())))];
            quorvane::ReservationDetail detail;
            long rec = 0;
            if (quorvane::readReservationDetail(table, facility, day, start, detail, &rec) != 0)
                continue;
            std::string notes = "note \"" + std::to_string(pick(1000)) + "\", caf\xE9 \x80";
            notes.resize(std::size_t(pick(81)), '\xE9');
            if (quorvane::storeNotes(table, facility, day, start, rec, detail.notes, notes)) {
                ++c.notes;
                shared->notes.fetch_add(1);
            }
        }
    }
    table.Close();
    return 0;
}

// The checks every pass makes: no overlap, series members alike.
void checkTable(const std::vector<Live>& live, std::vector<std::string>& problems) {
    std::map<std::pair<std::string, std::string>, std::vector<const Live*>> days;
    for (const Live& l : live) days[{l.date, l.facility}].push_back(&l);
    for (auto& [key, list] : days) {
        std::sort(list.begin(), list.end(),
                  [](const Live* a, const Live* b) { return a->start < b->start; });
        for (std::size_t i = 1; i < list.size(); ++i)
            if (list[i]->start < list[i - 1]->end)
                problems.push_back(tables::format("overlap on %s %s: %04d-%04d and %04d-%04d",
                                                  key.first.c_str(), key.second.c_str(),
                                                  list[i - 1]->start, list[i - 1]->end,
                                                  list[i]->start, list[i]->end));
        for (const Live* l : list)
            if (l->start >= l->end)
                problems.push_back("a reservation that does not end after it starts on " +
                                   key.first);
    }
    std::map<std::string, const Live*> series;
    for (const Live& l : live) {
        if (l.kind == 0) continue;
        const std::string id = identity(l);
        auto [it, fresh] = series.emplace(id, &l);
        if (fresh) continue;
        const Live& a = *it->second;
        if (a.stamp != l.stamp || a.facility != l.facility || a.start != l.start ||
            a.end != l.end || a.kind != l.kind || a.recurDate != l.recurDate)
            problems.push_back("series " + id + " has members that differ (" + a.date + ", " +
                               l.date + ")");
    }
}

int indexCheck(const std::string& group, std::string& report) {
    // The checker reads the whole index; it runs when nobody writes any more.
    Vask4 c;
    vask4init(&c);
    const std::string dbf = tables::groupBase(group) + ".DBF";
    Data4* d = d4open(&c, dbf.c_str());
    if (!d) {
        vask4initUndo(&c);
        report = "the table does not open";
        return -1;
    }
    const int r = i4check(d, &report);
    d4close(d);
    vask4initUndo(&c);
    return r;
}

}  // namespace

int runBookingStress(const BookingStressOptions& o) {
    // A zone with clock changes: the date window crosses the night the clocks go forward.
    setenv("TZ", o.zone.c_str(), 1);
    tzset();
    quorvane::GroupFile g;
    g.typeName = "Tennis Courts";
    g.description = "booking stress";
    for (const char* f : kFacilities) g.rooms[std::size_t(g.count++)].name = f;
    if (!quorvane::saveGroupFile(o.groupPath, g).ok()) {
        std::printf("verdict: UNSOUND (the group file could not be written)\n");
        return 1;
    }
    {
        CSchedule s;
        CPeople p;
        CMaintenance m;
        if (s.Create(o.groupPath) != 0 ||
            (p.Open(o.groupPath) != 0 && p.Create(o.groupPath) != 0) ||
            (m.Open(o.groupPath) != 0 && m.Create(o.groupPath) != 0)) {
            std::printf("verdict: UNSOUND (the tables could not be created; remove an old run)\n");
            return 1;
        }
    }
    auto* shared = static_cast<Shared*>(
        mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    if (shared == MAP_FAILED) return 1;
    new (shared) Shared{};

    std::printf(
        "bookings: processes %d, %.0f seconds, seed %u, zone %s, kill every %.0f s, group %s\n",
        o.processes, o.seconds, o.seed, o.zone.c_str(), o.killEvery, o.groupPath.c_str());
    std::fflush(stdout);
    const auto t0 = std::chrono::steady_clock::now();
    const auto end = t0 + std::chrono::duration<double>(o.seconds);
    std::map<pid_t, int> workers;  // pid -> worker id
    std::set<int> killed;
    int nextId = 0;
    auto spawn = [&]() {
        const int id = nextId++;
        const double left =
            std::chrono::duration<double>(end - std::chrono::steady_clock::now()).count();
        pid_t p = ::fork();
        if (p == 0) {
            BookingStressOptions mine = o;
            mine.seconds = std::max(left, 0.1);
            ::_exit(workerMain(mine, id, o.seed * 7919u + unsigned(id), shared));
        }
        workers[p] = id;
    };
    for (int i = 0; i < o.processes; ++i) spawn();

    std::vector<std::string> problems;
    int passes = 0, failedWorkers = 0;
    auto nextKill = t0 + std::chrono::duration<double>(o.killEvery);
    auto nextCheck = t0 + std::chrono::seconds(5);
    while (!workers.empty()) {
        int st = 0;
        const pid_t p = ::waitpid(-1, &st, WNOHANG);
        if (p > 0) {
            auto it = workers.find(p);
            if (it != workers.end()) {
                const bool wasKilled = killed.count(it->second) > 0;
                if (!wasKilled && !(WIFEXITED(st) && WEXITSTATUS(st) == 0)) {
                    ++failedWorkers;
                    problems.push_back(
                        tables::format("worker %d ended with status %d", it->second,
                                       WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st)));
                }
                workers.erase(it);
            }
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        if (o.killEvery > 0 && now >= nextKill && now + std::chrono::seconds(3) < end) {
            // Prefer a worker in the middle of a series; give it two seconds to start one.
            pid_t victim = 0;
            for (int tries = 0; tries < 200 && !victim; ++tries) {
                for (auto& [pid, id] : workers)
                    if (shared->inSeries[id % 64].load()) victim = pid;
                if (!victim) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (!victim && !workers.empty()) victim = workers.begin()->first;
            if (victim) {
                killed.insert(workers[victim]);
                ::kill(victim, SIGKILL);
                spawn();
            }
            nextKill = now + std::chrono::duration<double>(o.killEvery);
        }
        if (now >= nextCheck) {
            std::vector<Live> live;
            if (readLive(o.groupPath, true, live)) {
                std::vector<std::string> found;
                checkTable(live, found);
                ++passes;
                for (const std::string& f : found) problems.push_back("during the run: " + f);
            } else {
                problems.push_back("during the run: the table could not be read under its lock");
            }
            nextCheck = now + std::chrono::seconds(5);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    // The final pass: every acknowledged booking against the table.
    std::vector<Live> live;
    if (!readLive(o.groupPath, false, live)) problems.push_back("the table does not open");
    checkTable(live, problems);
    std::map<std::string, Booking> booked;  // "worker seq date" -> booking
    std::set<std::string> cancelled;
    struct Rest {
        std::string facility, stamp, from, to;
        int start;
    };
    std::vector<Rest> rests;
    struct Pending {
        std::string facility, date;
        int start;
        bool rest;
    };
    std::map<int, Pending> lastPending;  // killed workers only
    std::map<int, std::string> lastSeq;
    for (int id = 0; id < nextId; ++id) {
        std::ifstream in(o.folder + "/booking-" + std::to_string(id) + ".log");
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream s(line);
            std::string kind;
            s >> kind;
            if (kind == "A") {
                Booking b;
                std::string f1, f2;
                s >> b.worker >> b.seq >> b.date >> f1 >> f2 >> b.start >> b.end >> b.stamp;
                b.facility = f1 + " " + f2;
                booked[b.worker + " " + b.seq + " " + b.date] = b;
                lastSeq[id] = b.seq;
            } else if (kind == "C") {
                std::string w, seq, date;
                s >> w >> seq >> date;
                cancelled.insert(w + " " + seq + " " + date);
            } else if (kind == "R") {
                Rest r;
                std::string f1, f2;
                s >> f1 >> f2 >> r.start >> r.stamp >> r.from >> r.to;
                r.facility = f1 + " " + f2;
                rests.push_back(r);
            } else if (kind == "P") {
                Pending p;
                std::string f1, f2, rest;
                s >> f1 >> f2 >> p.date >> p.start >> rest;
                p.facility = f1 + " " + f2;
                p.rest = rest == "rest";
                lastPending[id] = p;
            }
        }
    }
    std::set<std::string> present;
    long notAcknowledged = 0;
    for (const Live& l : live) {
        const std::string key = identity(l) + " " + l.date;
        present.insert(key);
        if (!booked.count(key)) {
            // Only a killed worker's last series may have stored a day it never logged.
            const std::string w = identity(l).substr(0, identity(l).find(' '));
            const int wid = std::atoi(w.c_str());
            const std::string seq = identity(l).substr(identity(l).find(' ') + 1);
            if (killed.count(wid) && std::atol(seq.c_str()) >= std::atol(lastSeq[wid].c_str()))
                ++notAcknowledged;
            else
                problems.push_back("a reservation nobody was told had been stored: " + key);
        }
    }
    long missing = 0, tolerated = 0;
    for (const auto& [key, b] : booked) {
        if (present.count(key) || cancelled.count(key)) continue;
        bool byRest = false;
        for (const Rest& r : rests)
            if (r.facility == b.facility && r.start == b.start && r.stamp == b.stamp &&
                b.date > r.from && b.date <= r.to)
                byRest = true;
        if (byRest) continue;
        bool byKilled = false;
        for (const auto& [wid, p] : lastPending)
            if (killed.count(wid) && p.facility == b.facility && p.start == b.start &&
                (p.date == b.date || (p.rest && b.date > p.date)))
                byKilled = true;
        if (byKilled) {
            ++tolerated;
            continue;
        }
        ++missing;
        if (missing <= 20) problems.push_back("a stored reservation is missing: " + key);
    }
    std::string report;
    const int checked = indexCheck(o.groupPath, report);
    if (checked != 0) problems.push_back("index checker: " + report);

    std::printf("%.1f s; bookings stored %ld, days refused (overlap) %ld, failed %ld\n", wall,
                shared->bookings.load(), shared->refused.load(), shared->failures.load());
    std::printf("cancels %ld, rest-of-series cancels %ld (%ld later members), notes written %ld\n",
                shared->cancels.load(), shared->restCancels.load(), shared->restDeleted.load(),
                shared->notes.load());
    std::printf("workers %d, killed %zu; live reservations %zu; checks during the run %d\n", nextId,
                killed.size(), live.size(), passes);
    std::printf("after the kills: %ld stored but not logged, %ld cancelled but not logged\n",
                notAcknowledged, tolerated);
    std::printf("index checker: %s\n", checked == 0 ? "clean" : "PROBLEMS");
    for (std::size_t i = 0; i < problems.size() && i < 40; ++i)
        std::printf("  %s\n", problems[i].c_str());
    const bool sound = problems.empty() && failedWorkers == 0;
    std::printf("verdict: %s (%zu problems)\n", sound ? "sound" : "UNSOUND", problems.size());
    munmap(shared, sizeof(Shared));
    return sound ? 0 : 1;
}
