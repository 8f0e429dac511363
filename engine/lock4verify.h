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

// exact: every record must come from an acknowledged append (no process was killed).
// Without it records beyond the acknowledged ones are allowed (a killed appender).
Lock4verdict lock4verifyTable(const std::string& table, const std::string& tagName,
                              const std::vector<std::string>& logs, bool exact);
