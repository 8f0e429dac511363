// The group document's tables on the engine: CSchedule, CPeople and CMaintenance. A test may
// install another factory (or none: a document without tables is its group file alone).
#include "group/GroupTables.h"

#include "group/Room.h"
#include "tables/Maintenance.h"
#include "tables/People.h"
#include "tables/Schedule.h"

namespace quorvane {

namespace {

GroupTablesFactory& factorySlot() {
    static GroupTablesFactory factory;
    return factory;
}

class EngineGroupTables final : public GroupTables {
public:
    int createReservations(const std::string& p) override { return schedule_.Create(p); }
    int openReservations(const std::string& p) override { return schedule_.Open(p); }
    int createPeople(const std::string& p) override { return people_.Create(p); }
    int openPeople(const std::string& p) override { return people_.Open(p); }
    int createMaintenance(const std::string& p) override { return maintenance_.Create(p); }
    int openMaintenance(const std::string& p) override { return maintenance_.Open(p); }
    void closeReservations() override {
        if (schedule_.IsOpen()) schedule_.Close();
    }
    void closePeople() override {
        if (people_.IsOpen()) people_.Close();
    }
    void closeMaintenance() override {
        if (maintenance_.IsOpen()) maintenance_.Close();
    }
    int lockGroup() override { return people_.IsOpen() ? people_.LockAll() : 0; }
    void unlockGroup() override {
        if (people_.IsOpen()) people_.Unlock();
    }

    int loadDay(const std::string& key, const std::function<int(const std::string&)>& find,
                std::vector<_SCHEDITEM>& out) override {
        out.clear();
        if (!schedule_.IsOpen()) return -1;
        // The first record at or after the date alone; then forward while on the date.
        int r = schedule_.Seek(key, "", "", "");
        std::string lastName = {};
        int position = -1;
        bool first = true;
        while (r == 0 && schedule_.IsOnDate(key)) {
            const std::string facility = schedule_.GetFacility();
            if (first || facility != lastName) {
                position = find(facility);
                lastName = facility;
                first = false;
            }
            if (position >= 0) {
                _SCHEDITEM item;
                item.position = position;
                schedule_.GetStart(item.startHH, item.startMM);
                schedule_.GetEnd(item.endHH, item.endMM);
                std::string f, mi, phone, ext;
                schedule_.GetNames(f, mi, item.lastName, phone, ext, item.org);
                out.push_back(std::move(item));
            }
            r = schedule_.Next();
        }
        return r < 0 ? r : 0;
    }

    int deleteBefore(const std::string& key) override {
        if (!schedule_.IsOpen()) return 0;
        int count = 0;
        if (schedule_.First() != 0) return 0;
        for (;;) {
            if (!schedule_.IsBefore(key)) break;
            if (schedule_.Delete(true) != 0) break;
            ++count;
            if (schedule_.Next() != 0) break;
        }
        return count;
    }

    int deleteFacility(const std::string& name) override {
        if (!schedule_.IsOpen()) return 0;
        int count = 0;
        int r = schedule_.First();
        while (r == 0) {
            if (schedule_.GetFacility() == storedFacilityName(name) && schedule_.Delete(true) == 0)
                ++count;
            r = schedule_.Next();
        }
        return count;
    }

    CSchedule* schedule() override { return &schedule_; }
    CPeople* people() override { return &people_; }
    CMaintenance* maintenance() override { return &maintenance_; }

private:
    CSchedule schedule_;
    CPeople people_;
    CMaintenance maintenance_;
};

}  // namespace

std::unique_ptr<GroupTables> makeGroupTables() {
    if (factorySlot()) return factorySlot()();
    return std::make_unique<EngineGroupTables>();
}

void setGroupTablesFactory(GroupTablesFactory factory) {
    factorySlot() = std::move(factory);
}

}  // namespace quorvane
