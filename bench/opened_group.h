#pragma once
// A group opened as the program opens it (openGroup: the group file, the change stamp, the
// three tables), with its current day started, and closed in the program's order: what the
// group window does, without a window.
#include <memory>
#include <string>
#include <vector>

#include "group/ChangeStamp.h"
#include "group/CurrentDay.h"
#include "group/GroupFile.h"
#include "group/GroupSession.h"
#include "group/GroupTables.h"

namespace bench {

struct OpenedGroup {
    quorvane::GroupFile file;
    std::unique_ptr<quorvane::GroupTables> tables = quorvane::makeGroupTables();
    quorvane::CurrentDay day{file};
    bool open = false;

    explicit OpenedGroup(const std::string& path) {
        if (!tables || !quorvane::openGroup(path, file, tables.get(), day.stamp()).ok()) return;
        day.setLoader([this](const std::string& key, std::vector<quorvane::_SCHEDITEM>& out) {
            return loadDay(key, out);
        });
        day.start(false);
        open = true;
    }
    ~OpenedGroup() {
        if (open) quorvane::closeGroupTables(*tables);
        day.stamp().close();
    }
    OpenedGroup(const OpenedGroup&) = delete;
    OpenedGroup& operator=(const OpenedGroup&) = delete;

    int loadDay(const std::string& key, std::vector<quorvane::_SCHEDITEM>& out) {
        return quorvane::loadGroupDay(*tables, file, key, out);
    }
};

}  // namespace bench
