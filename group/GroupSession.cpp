#include "group/GroupSession.h"

namespace quorvane {

GroupEditResult editGroupFile(const std::string& path, GroupFile& group, const GroupLock& lock,
                              const std::function<GroupFile::Edit(GroupFile&)>& change,
                              const std::function<void()>& reloaded) {
    GroupEditResult r;
    if (lock.lock && !lock.lock()) return r;
    struct Unlock {
        const GroupLock& lock;
        ~Unlock() {
            if (lock.unlock) lock.unlock();
        }
    } unlock{lock};
    GroupFile loaded;
    r.file = loadGroupFile(path, loaded);
    if (!r.file.ok()) {
        r.stage = GroupEditResult::Stage::ReadFailed;
        return r;
    }
    group = std::move(loaded);
    if (reloaded) reloaded();
    r.edit = change(group);
    if (r.edit != GroupFile::Edit::Done) {
        r.stage = GroupEditResult::Stage::Refused;
        return r;
    }
    r.file = saveGroupFile(path, group);
    r.stage = r.file.ok() ? GroupEditResult::Stage::Done : GroupEditResult::Stage::SaveFailed;
    return r;
}

}  // namespace quorvane
