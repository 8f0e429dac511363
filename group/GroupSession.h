#pragma once
// The one way a group file is changed while other users of the folder may change it too:
// under the folder's group lock, read again from disk (their changes count), changed, saved
// whole, unlocked. The window's adapter only shows what went wrong and redraws.
#include <functional>
#include <string>

#include "group/GroupFile.h"

namespace quorvane {

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
