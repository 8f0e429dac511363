#pragma once
// What the parts of the fault sweep (fault_sweep.h) share: the faults, the recorded calls, the
// operations, the state read back from a group and the judgement of a trial.
//   fault_sweep_io.cpp     the system-call seam that counts and injects, and the child process
//   fault_sweep_ops.cpp    the template group and the user operations
//   fault_sweep_judge.cpp  reading a group back, the check and the judgement of one trial
//   fault_sweep_power.cpp  the power-loss replay of a recorded run
//   fault_sweep.cpp        the driver: the fault points of each operation, tried and tallied
#include <sys/types.h>

#include <functional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "reservations/core/BookingCore.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/Schedule.h"

namespace faultsweep {

using quorvane::DayDate;

enum class Fault { none, killBefore, killHalf, eio, enospc };
const char* faultName(Fault f);

// One recorded call: a write ('w'), a truncation ('t'), a sync ('s'), a file created or
// emptied by its open ('o'), a removal ('u'), a rename ('r': data holds the new name), or the
// caller being told ('a': text holds "ack UNIT CODE" or "told CODE").
struct Event {
    char type = 0;
    std::string path;
    long long off = 0;
    std::string data;
};

inline constexpr const char* kGroupName = "Sweep Courts.rec";
// What a disk writes whole or not at all.
inline constexpr long long kSector = 512;

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

// ----- the operations (fault_sweep_ops.cpp) -----

// The group every operation starts from, written into the folder.
bool writeBaseGroup(const std::string& folder);
std::vector<Operation> operations();
// quorvane-tables with these arguments, run in this process.
int quorvaneTables(const std::vector<std::string>& args);
// The file the export operation replaces, beside the group.
std::string exportFile(const std::string& group);
// The data file of the address pair the address export creates, beside the group.
std::string addressFile(const std::string& group);

// ----- the seam and the child (fault_sweep_io.cpp) -----

// What the operation tells its caller, to the report file and into the recorded stream.
void ack(const std::string& unit, int code);
void told(int code);

struct Told {
    bool fired = false;
    bool toldAny = false;
    int code = -1;                                  // the final "told"; -1: never told
    std::vector<std::pair<std::string, int>> acks;  // unit, code
};
Told parseReport(const std::string& text);

struct ChildResult {
    Told told;
    std::string kinds;
    std::vector<Event> events;
    bool crashed = false;
};
// Runs the operation on the copy in `folder` in a child process under the seam.
ChildResult runChild(const Operation& op, const std::string& folder, long target, Fault fault,
                     bool record);

// ----- files and judgement (fault_sweep_judge.cpp) -----

std::vector<std::string> listFolder(const std::string& folder);
bool readFile(const std::string& path, std::string& out);
void removeFolder(const std::string& folder);
bool copyFolder(const std::string& from, const std::string& to);

// The live records of the three tables as text, one line each, sorted; and the reservations'
// intervals for the overlap check.
struct State {
    std::vector<std::string> rows;
    bool opens = false;   // the group file loaded and the three tables opened
    std::string problem;  // empty when the group opened and every table was read to its end
    std::vector<std::string> overlaps;
};
State readState(const std::string& group);
// a - b as multisets of sorted rows.
std::vector<std::string> minus(const std::vector<std::string>& a,
                               const std::vector<std::string>& b);

// What a fault-free run of the operation did.
struct Baseline {
    std::vector<std::string> before, after, added, removed;
    std::vector<std::string> files, filesAfter;  // in the folder before and after
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

Judgement judge(const Operation& op, const Baseline& base, const std::string& folder,
                const std::string& tablesTool, const Told& told, bool errorFault, bool killed,
                const std::set<std::string>& ackedUnits);

// ----- power loss (fault_sweep_power.cpp) -----

bool replay(const std::vector<Event>& events, std::size_t crash, const std::string& from,
            const std::string& to, std::mt19937& rng);

}  // namespace faultsweep
