#pragma once
// A group as the program opens and changes it, free of Qt: the open (the group file, the
// change stamp beside it, the three tables in their fixed order), the load of a day, and the
// one way a group file is changed while other users of the folder may change it too: under
// the folder's group lock, read again from disk (their changes count), changed, saved whole,
// unlocked. The window's adapter only shows what went wrong and redraws.
#include <functional>
#include <string>
#include <vector>

#include "group/DayState.h"
#include "group/GroupFile.h"
#include "group/GroupTables.h"

namespace quorvane {

class ChangeStamp;

// The group file's path without its extension: what the files beside it are named after.
std::string groupBasePath(const std::string& groupPath);
// The change stamp of the group file at `groupPath`: "<base path>Update.bin".
std::string stampPathOf(const std::string& groupPath);

struct GroupOpenResult {
    GroupFileResult file;       // the group file could not be read: nothing else was opened
    GroupTablesOutcome tables;  // a table did not open: the ones opened are closed again
    bool ok() const { return file.ok() && tables.ok; }
};
// Reads the group file into `group` (left as it was when the file cannot be read), opens the
// change stamp beside it (a stamp that cannot be opened or made only means other users'
// changes show later), then the tables, when there are any.
GroupOpenResult openGroup(const std::string& path, GroupFile& group, GroupTables* tables,
                          ChangeStamp& stamp);

// The reservations dated `key` of the group's facilities, in key order, in place of what
// `out` held; reservations of a facility no longer in the group are left out. The engine's
// code of the walk.
int loadGroupDay(GroupTables& tables, const GroupFile& group, const std::string& key,
                 std::vector<_SCHEDITEM>& out);

struct GroupLock {
    std::function<bool()> lock;    // false: another user holds it (nothing was changed)
    std::function<void()> unlock;  // called once, after the save or the failure
};

struct GroupEditResult {
    enum class Stage { Locked, ReadFailed, Refused, SaveFailed, Done };
    Stage stage = Stage::Locked;
    GroupFileResult file;  // the failed read or save
    GroupFile::Edit edit = GroupFile::Edit::Done;
    bool read() const { return stage >= Stage::Refused; }  // `group` holds the disk's content
};

// Locks, reads `path` into `group`, calls `reloaded` (still under the lock: what is shown
// follows the file as it is now), applies `change` and saves when it returns Done. The lock
// is given back before returning, whatever happened.
GroupEditResult editGroupFile(const std::string& path, GroupFile& group, const GroupLock& lock,
                              const std::function<GroupFile::Edit(GroupFile&)>& change,
                              const std::function<void()>& reloaded = {});

}  // namespace quorvane
