#pragma once
// The three tables of a group as the group document uses them: the reservation table of the
// group, and the customer and maintenance tables shared by the groups of its folder. The
// customer table's whole-table lock is the group lock under which group files are rewritten.
// Results are the engine's codes (0 success, negative errors).
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "group/DayState.h"

class CSchedule;
class CPeople;
class CMaintenance;

namespace quorvane {

class GroupTables {
public:
    virtual ~GroupTables() = default;

    virtual int createReservations(const std::string& groupPath) = 0;
    virtual int openReservations(const std::string& groupPath) = 0;
    virtual int createPeople(const std::string& groupPath) = 0;
    virtual int openPeople(const std::string& groupPath) = 0;
    virtual int createMaintenance(const std::string& groupPath) = 0;
    virtual int openMaintenance(const std::string& groupPath) = 0;
    // Each close packs its table when a deletion of this opening asked for it and nobody
    // else has the table open.
    virtual void closeReservations() = 0;
    virtual void closePeople() = 0;
    virtual void closeMaintenance() = 0;

    // The group lock (the customer table's LockAll) and its release.
    virtual int lockGroup() = 0;
    virtual void unlockGroup() = 0;

    // The reservations dated `dateKey`, in key order (facility name, then start time); each
    // facility name is turned into a slot by `findFacility` (-1: not in the group, skipped).
    virtual int loadDay(const std::string& dateKey,
                        const std::function<int(const std::string&)>& findFacility,
                        std::vector<_SCHEDITEM>& out) = 0;
    // Deletes (with pack request) every reservation dated before the key; the count.
    virtual int deleteBefore(const std::string& dateKey) = 0;
    // Deletes every reservation of the facility name; the count.
    virtual int deleteFacility(const std::string& name) = 0;

    // The table objects themselves, for the booking, report and editor dialogs; nullptr in a
    // document whose tables are not the engine's (tests of the group layer).
    virtual CSchedule* schedule() { return nullptr; }
    virtual CPeople* people() { return nullptr; }
    virtual CMaintenance* maintenance() { return nullptr; }
};

// Opening and creating the three tables of a group, in their fixed order. On failure every
// table the call opened is closed again and `message` says what went wrong.
struct GroupTablesOutcome {
    bool ok = true;
    std::string message;
};
// An existing group: its reservation table, the folder's customer table, then its maintenance
// table.
GroupTablesOutcome openGroupTables(GroupTables& tables, const std::string& groupPath);
// A new group: its reservation table is created; the folder's customer and maintenance tables
// are opened, or both created when the folder has no customer table.
GroupTablesOutcome createGroupTables(GroupTables& tables, const std::string& groupPath);
// Closes maintenance, reservations and customers, the order of a group's close.
void closeGroupTables(GroupTables& tables);

// Makes the tables of a new document. The program's factory gives the engine's tables; tests
// may install another. Nullptr (no factory) gives a document without tables.
using GroupTablesFactory = std::function<std::unique_ptr<GroupTables>()>;
std::unique_ptr<GroupTables> makeGroupTables();
void setGroupTablesFactory(GroupTablesFactory factory);  // empty restores the program's

}  // namespace quorvane
