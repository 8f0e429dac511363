// quorvane-stress: several processes append, update and delete records of one indexed
// table in a shared folder at once, then the result is checked record by record against
// what every process was told had succeeded.
//
//   quorvane-stress --processes N --seconds T --seed S [--ops K] [--workload mixed|append]
//                   [--keys M] FOLDER
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

namespace {

struct Options {
    int processes = 4;
    double seconds = 10;
    unsigned seed = 1;
    long ops = 0;  // per process; 0 = run for the given seconds
    bool appendOnly = false;
    long keys = 0;  // key space; 0 = chosen from the expected number of appends
    std::string folder;
};

// What one worker reports back to the parent (binary, through its result file).
struct WorkerResult {
    long ops = 0, appends = 0, updates = 0, deletes = 0;
    long refusedLock = 0, refusedUnique = 0, misses = 0;
    long errors = 0;
    unsigned long long lockCalls = 0, unlockCalls = 0, appendLockCalls = 0;
    double seconds = 0;
};

void usage() {
    std::fprintf(stderr,
                 "usage: quorvane-stress --processes N --seconds T --seed S [--ops K] "
                 "[--workload mixed|append] [--keys M] FOLDER\n");
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

std::string keyText(long k) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "K%07ld", k);
    return buf;
}

void logLine(int fd, const std::string& s) {
    std::string line = s + "\n";
    // One write per acknowledged operation: a killed worker loses at most the line
    // being written, never one the kernel already has.
    ssize_t n = ::write(fd, line.data(), line.size());
    (void)n;
}

std::string fieldText(Field4* f) {
    std::string s = f4str(f);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// One worker process. Returns its exit status.
int worker(const Options& o, int me, long keySpace) {
    std::mt19937 rng(o.seed * 7919u + static_cast<unsigned>(me));
    std::uniform_int_distribution<long> keyDist(0, keySpace - 1);
    std::uniform_int_distribution<int> opDist(0, 99);

    const std::string log = o.folder + "/stress-" + std::to_string(me) + ".log";
    int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (logFd < 0) return 3;

    Vask4 c;
    if (vask4init(&c) != 0) return 4;
    Data4* d = d4open(&c, (o.folder + "/STRESS").c_str());
    if (!d) return 5;
    Tag4* tag = d4tag(d, "KEYTAG");
    if (!tag) return 6;
    d4tagSelect(d, tag);
    Field4* fKey = d4field(d, "KEY");
    Field4* fOwner = d4field(d, "OWNER");
    Field4* fSeq = d4field(d, "SEQ");
    Field4* fVer = d4field(d, "VER");
    if (!fKey || !fOwner || !fSeq || !fVer) return 7;

    WorkerResult r;
    lock4statsReset();
    const auto t0 = std::chrono::steady_clock::now();
    const auto until = t0 + std::chrono::duration<double>(o.seconds);
    long seq = 0;
    char buf[64];
    for (;;) {
        if (o.ops > 0 ? r.ops >= o.ops : std::chrono::steady_clock::now() >= until) break;
        ++r.ops;
        const int pick = o.appendOnly ? 0 : opDist(rng);
        const std::string key = keyText(keyDist(rng));
        if (pick < 60) {
            ++seq;
            Lock4stats before = lock4stats();
            int rc = d4appendStart(d, 0);
            if (rc == 0) rc = d4blank(d);
            if (rc == 0) {
                fKey->assign(key.c_str());
                std::snprintf(buf, sizeof buf, "%d", me);
                fOwner->assign(buf);
                std::snprintf(buf, sizeof buf, "%ld", seq);
                fSeq->assign(buf);
                fVer->assign("0");
                rc = d4append(d);
            }
            if (rc == 0) rc = d4flush(d);
            const long rec = d4recNo(d);
            int u = d4unlock(d);
            Lock4stats after = lock4stats();
            r.appendLockCalls +=
                (after.lockCalls - before.lockCalls) + (after.unlockCalls - before.unlockCalls);
            if (rc == 0 && u == 0) {
                ++r.appends;
                std::snprintf(buf, sizeof buf, "A %d %ld %ld ", me, seq, rec);
                logLine(logFd, buf + key);
            } else if (rc == r4unique) {
                ++r.refusedUnique;
            } else if (rc == r4locked) {
                ++r.refusedLock;
            } else {
                ++r.errors;
                break;
            }
            continue;
        }
        // Update or delete: find a record by key, lock it, read it again under the lock.
        int rc = d4seek(d, key.c_str());
        if (rc != 0) {
            if (rc < 0) {
                ++r.errors;
                break;
            }
            ++r.misses;
            continue;
        }
        const long rec = d4recNo(d);
        rc = d4lock(d, rec);
        if (rc == r4locked) {
            ++r.refusedLock;
            continue;
        }
        if (rc == 0) rc = d4go(d, rec);
        if (rc != 0) {
            ++r.errors;
            break;
        }
        if (d4deleted(d) || fieldText(fKey) != key) {
            ++r.misses;  // changed by someone else between the seek and the lock
            d4unlock(d);
            continue;
        }
        if (pick < 80) {
            const long ver = f4long(fVer) + 1;
            const std::string newKey = keyText(keyDist(rng));
            fKey->assign(newKey.c_str());
            std::snprintf(buf, sizeof buf, "%ld", ver);
            fVer->assign(buf);
            rc = d4flush(d);
            if (rc == r4unique) {
                // The file keeps the old record; so must the buffer, or the unlock
                // would try the refused write again.
                d4changed(d, 0);
                ++r.refusedUnique;
            } else if (rc == r4locked) {
                d4changed(d, 0);
                ++r.refusedLock;
            } else if (rc == 0) {
                ++r.updates;
                std::snprintf(buf, sizeof buf, "U %ld %ld ", rec, ver);
                logLine(logFd, buf + newKey);
            }
        } else {
            rc = d4delete(d);
            if (rc == 0) rc = d4flush(d);
            if (rc == 0) {
                ++r.deletes;
                std::snprintf(buf, sizeof buf, "D %ld", rec);
                logLine(logFd, buf);
            } else if (rc == r4locked) {
                d4changed(d, 0);
                ++r.refusedLock;
            }
        }
        if (rc < 0) {
            ++r.errors;
            break;
        }
        if (d4unlock(d) < 0) {
            ++r.errors;
            break;
        }
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    Lock4stats st = lock4stats();
    r.lockCalls = st.lockCalls;
    r.unlockCalls = st.unlockCalls;
    d4close(d);
    vask4initUndo(&c);
    ::close(logFd);

    const std::string res = o.folder + "/stress-" + std::to_string(me) + ".res";
    int fd = ::open(res.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, &r, sizeof r) != sizeof r) return 8;
    ::close(fd);
    return r.errors ? 9 : 0;
}

bool createTable(const Options& o) {
    for (const char* ext : {".DBF", ".CDX"}) ::unlink((o.folder + "/STRESS" + ext).c_str());
    Vask4 c;
    if (vask4init(&c) != 0) return false;
    Field4info fields(c);
    fields.add("KEY", 'C', 8);
    fields.add("OWNER", 'C', 2);
    fields.add("SEQ", 'C', 8);
    fields.add("VER", 'C', 6);
    fields.add("PAD", 'C', 40);
    Tag4info tags(c);
    tags.add("KEYTAG", "KEY", ".NOT. DELETED()", r4unique, 0);
    Data4* d = d4create(&c, (o.folder + "/STRESS").c_str(), fields.fields(), tags.tags());
    bool ok = d != nullptr;
    if (d) d4close(d);
    vask4initUndo(&c);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        usage();
        return 2;
    }
    ::mkdir(o.folder.c_str(), 0755);
    if (!createTable(o)) {
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
        if (p == 0) ::_exit(worker(o, i, keySpace));
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

    WorkerResult sum;
    std::vector<std::string> logs;
    bool workersOk = true;
    for (int i = 0; i < o.processes; ++i) {
        logs.push_back(o.folder + "/stress-" + std::to_string(i) + ".log");
        WorkerResult r;
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

    Lock4verdict v = lock4verifyTable(o.folder + "/STRESS", "KEYTAG", logs, true);
    for (const std::string& p : v.problems) std::printf("  %s\n", p.c_str());
    if (!workersOk && v.sound) {
        v.sound = false;
        v.summary = "a worker failed";
    }
    std::printf("verdict: %s (%s)\n", v.sound ? "sound" : "UNSOUND", v.summary.c_str());
    return v.sound ? 0 : 1;
}
