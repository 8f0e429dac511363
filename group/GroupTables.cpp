#include "group/GroupTables.h"

#include "tables/TableCore.h"

namespace quorvane {

namespace {
const char* const kDamagedGroup =
    "The File selected has been damaged, please recover all files from backup";
const char* const kPeopleMissing =
    "The files RecPeople.dbf and RecPeople.idx cannot be found or are damaged, please recover "
    "from backup";
const char* const kMaintenanceMissing =
    "The files RecMaintenance.dbf and RecMaintenance.idx cannot be found or are damaged, please "
    "recover from backup";
const char* const kCreateTablesFailed =
    "Error creating people and maintenance files, disk possibly full?";
// Without its reservation table the folder cannot hold the group (read-only, full, or a table
// of that name that is not ours): say so rather than nothing.
const char* const kReservationsNotCreated =
    "The reservation table of the new group cannot be created in this folder.";

const char* const kReservationsInUse =
    "The reservation table of this group is in use by another user who needs it alone (a "
    "rebuild or pack of the tables). Its files are not damaged; please try again in a moment.";
const char* const kReservationsReadOnly =
    "The reservation table of this group cannot be written here: the folder, the disk or the "
    "file is read-only for you. Its files are not damaged; ask for write access.";

GroupTablesOutcome failed(const char* message) {
    return {false, message};
}
}  // namespace

GroupTablesOutcome openGroupTables(GroupTables& tables, const std::string& groupPath) {
    if (tables.openReservations(groupPath) != 0) {
        tables.closeReservations();
        // A table that is only out of reach is not damaged: restoring a backup would throw
        // away the day's bookings.
        switch (tables::tableReach(tables::groupBase(groupPath) + ".DBF")) {
            case tables::Reach::InUse:
                return failed(kReservationsInUse);
            case tables::Reach::ReadOnly:
                return failed(kReservationsReadOnly);
            case tables::Reach::Other:
                break;
        }
        return failed(kDamagedGroup);
    }
    if (tables.openPeople(groupPath) != 0) {
        tables.closePeople();
        tables.closeReservations();
        return failed(kPeopleMissing);
    }
    if (tables.openMaintenance(groupPath) != 0) {
        tables.closeMaintenance();
        tables.closePeople();
        tables.closeReservations();
        return failed(kMaintenanceMissing);
    }
    return {};
}

GroupTablesOutcome createGroupTables(GroupTables& tables, const std::string& groupPath) {
    if (tables.createReservations(groupPath) != 0) return failed(kReservationsNotCreated);
    if (tables.openPeople(groupPath) == 0) {
        if (tables.openMaintenance(groupPath) != 0) {
            tables.closePeople();
            tables.closeReservations();
            return failed(kMaintenanceMissing);
        }
        return {};
    }
    tables.closePeople();
    if (tables.createPeople(groupPath) != 0) {
        tables.closePeople();
        tables.closeReservations();
        return failed(kCreateTablesFailed);
    }
    if (tables.createMaintenance(groupPath) != 0) {
        tables.closeMaintenance();
        tables.closePeople();
        tables.closeReservations();
        return failed(kCreateTablesFailed);
    }
    return {};
}

void closeGroupTables(GroupTables& tables) {
    tables.closeMaintenance();
    tables.closeReservations();
    tables.closePeople();
}

}  // namespace quorvane
