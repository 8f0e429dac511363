// Checks a table that several processes changed at once against the operations each of
// them was told had succeeded (used by the stress tool and the multi-process tests).
#pragma once

#include <string>
#include <vector>

// Log lines, one per acknowledged operation (fields separated by single blanks):
//   A owner seq recno key   an append of record recno with OWNER, SEQ and KEY, VER 0
//   U recno ver key         record recno now has KEY key and VER ver
//   D recno                 record recno was deleted
// The table has the fields KEY, OWNER, SEQ, VER and a unique tag on KEY that filters
// deleted records out (an empty tag name skips the key and tag checks).
struct Lock4verdict {
    bool sound = true;
    std::string summary;
    std::vector<std::string> problems;
    std::vector<std::string> notes;  // tolerated after a crash (not exact), still worth saying
    long records = 0, live = 0;
};

// One process's share of a multi-user workload on a table made by lock4verifyCreate:
// appends with random keys (60 %), key-changing updates (20 %) and deletions (20 %), or
// appends only; each acknowledged operation is logged as above.
struct Lock4work {
    std::string table, log;
    int owner = 0;
    unsigned seed = 1;
    long ops = 0;  // operations to run; 0: run for `seconds`
    double seconds = 0;
    bool appendOnly = false;
    long keySpace = 1000;
};
struct Lock4workResult {
    long ops = 0, appends = 0, updates = 0, deletes = 0;
    long refusedLock = 0, refusedUnique = 0, misses = 0;
    long errors = 0;
    unsigned long long lockCalls = 0, unlockCalls = 0, appendLockCalls = 0;
    double seconds = 0;
};
// Runs the share in this process; 0, or a status telling what failed.
int lock4verifyWork(const Lock4work& work, Lock4workResult* result);
// Creates the table (replacing it): KEY C 8, OWNER C 2, SEQ C 8, VER C 6, PAD C 40 and the
// unique tag KEYTAG on KEY filtering deleted records out. 0 or the engine's code.
int lock4verifyCreate(const std::string& table);

// exact: every record must come from an acknowledged append (no process was killed).
// Without it records beyond the acknowledged ones are allowed (a killed appender).
Lock4verdict lock4verifyTable(const std::string& table, const std::string& tagName,
                              const std::vector<std::string>& logs, bool exact);
