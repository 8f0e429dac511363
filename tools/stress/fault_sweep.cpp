// The fault sweep (see fault_sweep.h). One template group per operation is written once; each
// trial copies it, runs the operation in a child process through the seam (fault_sweep_io.cpp)
// and judges the copy (fault_sweep_judge.cpp):
//   - the group opens as the program opens it (group file, then the three tables);
//   - quorvane-tables check says sound, or names a repair that makes it sound;
//   - the live records are the ones before the operation with the operation's own changes
//     either all there or none there (a series, a cancelled rest and a purge per record), and
//     every change the caller was told of is there;
//   - no two live reservations of a facility overlap;
//   - after a failed write or sync the caller was told of a failure, never of success;
//   - no file is left in the folder that was not there before.
#include "fault_sweep.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "fault_sweep_internal.h"

using namespace faultsweep;

namespace {

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
    base.filesAfter = listFolder(work);
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
