#include "group/GroupSession.h"

#include "group/ChangeStamp.h"

namespace quorvane {

std::string groupBasePath(const std::string& groupPath) {
    const std::size_t slash = groupPath.rfind('/');
    const std::size_t dot = groupPath.rfind('.');
    const bool extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return extension ? groupPath.substr(0, dot) : groupPath;
}

std::string stampPathOf(const std::string& groupPath) {
    return groupBasePath(groupPath) + "Update.bin";
}

GroupOpenResult openGroup(const std::string& path, GroupFile& group, GroupTables* tables,
                          ChangeStamp& stamp) {
    GroupOpenResult r;
    GroupFile loaded;
    r.file = loadGroupFile(path, loaded);
    if (!r.file.ok()) return r;
    group = std::move(loaded);
    stamp.open(stampPathOf(path));
    if (tables) r.tables = openGroupTables(*tables, path);
    return r;
}

int loadGroupDay(GroupTables& tables, const GroupFile& group, const std::string& key,
                 std::vector<_SCHEDITEM>& out) {
    out.clear();
    return tables.loadDay(
        key, [&group](const std::string& name) { return group.find(name); }, out);
}

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
