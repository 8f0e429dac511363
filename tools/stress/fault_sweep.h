#pragma once
// The fault sweep of quorvane-stress (fault_sweep.cpp): every user operation is run in a child
// process through a system-call seam that counts its writes and syncs, then run again once per
// fault point: the process ends at the k-th write (before it, or after half of it), or the k-th
// write or sync fails with EIO or ENOSPC. A power-loss replay applies the operation's recorded
// writes up to each crash point, with a random part of what was not yet synced. After each
// trial the group is checked as a user and the administrator would find it.
#include <string>
#include <vector>

struct FaultSweepOptions {
    std::string folder;      // scratch folder for the trials (best on a memory file system)
    std::string tablesTool;  // the quorvane-tables program the check runs; empty: the one built in
    std::vector<std::string> operations;  // names; empty: all
    // Fault points tried per operation (and as many power-loss replays); 0: every point of every
    // kind. A sample keeps the first points and every failed sync when there are few syncs.
    long sample = 0;
    int powerTrials = 3;     // random replays per crash point; 0: no power-loss replay
    bool tornWrites = true;  // also end the process after half of a write
    unsigned seed = 1;
    bool verbose = false;  // one line per trial
};

struct FaultSweepTotals {
    long points = 0;    // fault points the operations offered (power loss: crash points x trials)
    long tried = 0;     // trials run
    long repaired = 0;  // sound once the repair the check named was run
    long refused = 0;   // of those, the program refused the group until then
    long unsound = 0;
    long temporaries = 0;  // sound trials whose killed run left a replacement's temporary file
};

// Runs the sweep; prints one line per operation and fault kind and, last, the verdict.
// 0 when every trial was sound.
int runFaultSweep(const FaultSweepOptions& options, FaultSweepTotals* totals = nullptr);

// The names of the operations, in sweep order.
std::vector<std::string> faultSweepOperations();

// quorvane-tables' own entry point, compiled into quorvane-stress (tables_admin_entry.cpp), so
// that pack, reindex and repair run under the sweep's seam exactly as the tool runs them.
int quorvaneTablesMain(int argc, char** argv);
