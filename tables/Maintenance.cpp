#include "tables/Maintenance.h"

#include "engine/error4.h"
#include "engine/field4.h"

namespace {

enum Field { fName, fNotes, fHH, fMM, fieldCount };

const tables::FieldSpec kFields[fieldCount] = {
    {"NAME", 'C', 21},
    {"NOTES", 'C', 80},
    {"HH", 'C', 2},
    {"MM", 'C', 2},
};

const tables::TableSpec kSpec = {kFields, fieldCount, "MAINTENANC", "NAME", ".NOT. DELETED()"};

std::string path(const std::string& groupPath) {
    return tables::groupFolder(groupPath) + "RecMaintenance";
}

}  // namespace

CMaintenance::CMaintenance() : RecordTable(kSpec) {}

int CMaintenance::Create(const std::string& groupPath) {
    return core_.create(path(groupPath));
}

int CMaintenance::Open(const std::string& groupPath) {
    return core_.open(path(groupPath));
}

void CMaintenance::Clear() {
    name_.clear();
    notes_.clear();
    hour_ = minute_ = 0;
}

int CMaintenance::readRecord(int result) {
    if (result != 0) return result;
    core_.textInto(fName, name_);
    core_.textInto(fNotes, notes_);
    hour_ = core_.number(fHH);
    minute_ = core_.number(fMM);
    return 0;
}

int CMaintenance::Seek(const std::string& name) {
    int r = core_.seek(name);
    if (r == 0) return readRecord(0);
    return r;
}

void CMaintenance::build() {
    core_.assign(fName, name_);
    core_.assign(fNotes, notes_);
    core_.assign(fHH, tables::format("%02d", hour_));
    core_.assign(fMM, tables::format("%02d", minute_));
}

int CMaintenance::Update() {
    return core_.updateRecord([this] { build(); });
}

int CMaintenance::Delete(bool pack) {
    return core_.deleteRecord(true, pack);
}
