// quorvane-stress: several processes append, update and delete records of one indexed
// table in a shared folder at once, then the result is checked record by record against
// what every process was told had succeeded.
//
//   quorvane-stress --processes N --seconds T --seed S [--ops K] [--workload mixed|append]
//                   [--keys M] FOLDER
//   quorvane-stress --bookings --processes N --seconds T --seed S [--kill-every K]
//                   [--zone TZ] FOLDER
//   quorvane-stress --faults [--operation NAME]... [--sample N] [--power-trials N] [--seed S]
//                   [--no-torn-writes] [--tables PATH] [--verbose] FOLDER
//
// The booking mode books, cancels and annotates reservations of one group through the booking
// functions of the program (booking_stress.cpp) and leaves the group in FOLDER.
//
// The fault mode runs every user operation once per fault point (fault_sweep.h): the full sweep
// without --sample, a sample of N points per operation and kind of fault with it.
//
// Prints the operations per second, the refusals and, as its last line, the verdict.
// Exit status 0 only when the verdict is sound.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/data4.h"
#include "engine/lock4.h"
#include "engine/lock4verify.h"
#ifdef QUORVANE_STRESS_BOOKINGS
#include "booking_stress.h"
#include "fault_sweep.h"
#endif

namespace {

struct Options {
    int processes = 4;
    double seconds = 10;
    unsigned seed = 1;
    long ops = 0;  // per process; 0 = run for the given seconds
    bool appendOnly = false;
    long keys = 0;  // key space; 0 = chosen from the expected number of appends
    std::string folder;
    bool bookings = false;
    double killEvery = 20;
    std::string zone = "Europe/Amsterdam";
    bool faults = false;
    std::vector<std::string> operations;
    long sample = 0;
    int powerTrials = 3;
    std::string tablesTool;
    bool verbose = false;
    bool tornWrites = true;
};

void usage() {
    std::fprintf(stderr,
                 "usage: quorvane-stress --processes N --seconds T --seed S [--ops K] "
                 "[--workload mixed|append] [--keys M] FOLDER\n"
                 "       quorvane-stress --bookings --processes N --seconds T --seed S "
                 "[--kill-every K] [--zone TZ] FOLDER\n"
                 "       quorvane-stress --faults [--operation NAME]... [--sample N] "
                 "[--power-trials N] [--seed S] [--no-torn-writes] [--tables PATH] [--verbose] "
                 "FOLDER\n");
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&](const char* what) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "quorvane-stress: %s needs a value\n", what);
                return nullptr;
            }
            return argv[++i];
        };
        const char* v = nullptr;
        if (a == "--processes") {
            if (!(v = next("--processes"))) return false;
            o.processes = std::atoi(v);
        } else if (a == "--seconds") {
            if (!(v = next("--seconds"))) return false;
            o.seconds = std::atof(v);
        } else if (a == "--seed") {
            if (!(v = next("--seed"))) return false;
            o.seed = static_cast<unsigned>(std::strtoul(v, nullptr, 10));
        } else if (a == "--ops") {
            if (!(v = next("--ops"))) return false;
            o.ops = std::atol(v);
        } else if (a == "--keys") {
            if (!(v = next("--keys"))) return false;
            o.keys = std::atol(v);
        } else if (a == "--bookings") {
            o.bookings = true;
        } else if (a == "--faults") {
            o.faults = true;
        } else if (a == "--operation") {
            if (!(v = next("--operation"))) return false;
            o.operations.push_back(v);
        } else if (a == "--sample") {
            if (!(v = next("--sample"))) return false;
            o.sample = std::atol(v);
        } else if (a == "--power-trials") {
            if (!(v = next("--power-trials"))) return false;
            o.powerTrials = std::atoi(v);
        } else if (a == "--tables") {
            if (!(v = next("--tables"))) return false;
            o.tablesTool = v;
        } else if (a == "--no-torn-writes") {
            o.tornWrites = false;
        } else if (a == "--verbose") {
            o.verbose = true;
        } else if (a == "--kill-every") {
            if (!(v = next("--kill-every"))) return false;
            o.killEvery = std::atof(v);
        } else if (a == "--zone") {
            if (!(v = next("--zone"))) return false;
            o.zone = v;
        } else if (a == "--workload") {
            if (!(v = next("--workload"))) return false;
            if (std::string(v) == "append")
                o.appendOnly = true;
            else if (std::string(v) != "mixed")
                return false;
        } else if (!a.empty() && a[0] == '-') {
            return false;
        } else {
            o.folder = a;
        }
    }
    return !o.folder.empty() && o.processes >= 1 && o.processes <= 64 &&
           (o.seconds > 0 || o.ops > 0);
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        usage();
        return 2;
    }
    ::mkdir(o.folder.c_str(), 0755);
    if (o.faults) {
#ifdef QUORVANE_STRESS_BOOKINGS
        FaultSweepOptions f;
        f.folder = o.folder;
        f.operations = o.operations;
        f.sample = o.sample;
        f.powerTrials = o.powerTrials;
        f.seed = o.seed;
        f.verbose = o.verbose;
        f.tornWrites = o.tornWrites;
        // The check runs the tool's code compiled into this program unless --tables names one.
        f.tablesTool = o.tablesTool;
        for (const std::string& name : f.operations) {
            const std::vector<std::string> known = faultSweepOperations();
            if (std::find(known.begin(), known.end(), name) == known.end()) {
                std::fprintf(stderr, "quorvane-stress: no operation \"%s\"\n", name.c_str());
                return 2;
            }
        }
        return runFaultSweep(f);
#else
        std::fprintf(stderr, "quorvane-stress: built without the scheduling tables\n");
        return 2;
#endif
    }
    if (o.bookings) {
#ifdef QUORVANE_STRESS_BOOKINGS
        BookingStressOptions b;
        b.folder = o.folder;
        b.groupPath = o.folder + "/Stress Courts.rec";
        b.processes = o.processes;
        b.seconds = o.seconds;
        b.seed = o.seed;
        b.killEvery = o.killEvery;
        b.zone = o.zone;
        return runBookingStress(b);
#else
        std::fprintf(stderr, "quorvane-stress: built without the scheduling tables\n");
        return 2;
#endif
    }
    const std::string table = o.folder + "/STRESS";
    if (lock4verifyCreate(table) != 0) {
        std::printf("verdict: unsound (the table could not be created)\n");
        return 1;
    }
    long keySpace = o.keys;
    if (keySpace <= 0) {
        // Appends alone: about one in eight meets a key already taken. Mixed: keys dense
        // enough that most updates and deletions find a record.
        long expected = o.ops > 0 ? o.ops * o.processes : 1000L * o.processes;
        keySpace = o.appendOnly ? expected * 4 : std::max(expected / 2, 16L);
    }

    std::printf("processes %d, %s, seed %u, workload %s, key space %ld\n", o.processes,
                o.ops > 0 ? (std::to_string(o.ops) + " operations each").c_str()
                          : (std::to_string(o.seconds) + " seconds").c_str(),
                o.seed, o.appendOnly ? "append" : "mixed", keySpace);
    std::fflush(stdout);

    const auto t0 = std::chrono::steady_clock::now();
    std::vector<pid_t> pids;
    for (int i = 0; i < o.processes; ++i) {
        pid_t p = ::fork();
        if (p == 0) {
            Lock4work w;
            w.table = table;
            w.log = o.folder + "/stress-" + std::to_string(i) + ".log";
            w.owner = i;
            w.seed = o.seed;
            w.ops = o.ops;
            w.seconds = o.seconds;
            w.appendOnly = o.appendOnly;
            w.keySpace = keySpace;
            Lock4workResult r;
            int st = lock4verifyWork(w, &r);
            const std::string res = o.folder + "/stress-" + std::to_string(i) + ".res";
            int fd = ::open(res.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd < 0 || ::write(fd, &r, sizeof r) != sizeof r) st = 8;
            if (fd >= 0) ::close(fd);
            ::_exit(st);
        }
        pids.push_back(p);
    }
    std::vector<int> statuses;
    for (pid_t p : pids) {
        int st = 0;
        ::waitpid(p, &st, 0);
        statuses.push_back(WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st));
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    Lock4workResult sum;
    std::vector<std::string> logs;
    bool workersOk = true;
    for (int i = 0; i < o.processes; ++i) {
        logs.push_back(o.folder + "/stress-" + std::to_string(i) + ".log");
        Lock4workResult r;
        const std::string res = o.folder + "/stress-" + std::to_string(i) + ".res";
        int fd = ::open(res.c_str(), O_RDONLY | O_CLOEXEC);
        bool got = fd >= 0 && ::read(fd, &r, sizeof r) == sizeof r;
        if (fd >= 0) ::close(fd);
        if (!got || statuses[i] != 0) {
            std::printf("worker %d ended with status %d\n", i, statuses[i]);
            workersOk = false;
        }
        sum.ops += r.ops;
        sum.appends += r.appends;
        sum.updates += r.updates;
        sum.deletes += r.deletes;
        sum.refusedLock += r.refusedLock;
        sum.refusedUnique += r.refusedUnique;
        sum.misses += r.misses;
        sum.errors += r.errors;
        sum.lockCalls += r.lockCalls;
        sum.unlockCalls += r.unlockCalls;
        sum.appendLockCalls += r.appendLockCalls;
    }
    std::printf("operations %ld in %.2f s: %.1f per second\n", sum.ops, wall, sum.ops / wall);
    std::printf("appends %ld, updates %ld, deletes %ld, keys not found %ld\n", sum.appends,
                sum.updates, sum.deletes, sum.misses);
    std::printf("refusals: lock %ld, unique key %ld; errors %ld\n", sum.refusedLock,
                sum.refusedUnique, sum.errors);
    std::printf("lock system calls %llu (lock %llu, unlock %llu); per append %.2f\n",
                sum.lockCalls + sum.unlockCalls, sum.lockCalls, sum.unlockCalls,
                sum.appends ? static_cast<double>(sum.appendLockCalls) /
                                  static_cast<double>(sum.appends + sum.refusedUnique)
                            : 0.0);

    Lock4verdict v = lock4verifyTable(table, "KEYTAG", logs, true);
    for (const std::string& p : v.problems) std::printf("  %s\n", p.c_str());
    if (!workersOk && v.sound) {
        v.sound = false;
        v.summary = "a worker failed";
    }
    std::printf("verdict: %s (%s)\n", v.sound ? "sound" : "UNSOUND", v.summary.c_str());
    return v.sound ? 0 : 1;
}
