#include "tables/People.h"

#include "engine/error4.h"
#include "engine/field4.h"

namespace {

enum Field {
    fLastName,
    fFirstName,
    fMi,
    fPhone,
    fExt,
    fAltPhone,
    fAltExt,
    fOrg,
    fAddress,
    fCity,
    fState,
    fZip,
    fNotes,
    fMoreInfo,
    fieldCount
};

const tables::FieldSpec kFields[fieldCount] = {
    {"LASTNAME", 'C', 21}, {"FIRSTNAME", 'C', 16}, {"MI", 'C', 2},     {"PHONE", 'C', 15},
    {"EXT", 'C', 6},       {"ALTPHONE", 'C', 15},  {"ALTEXT", 'C', 6}, {"ORG", 'C', 39},
    {"ADDRESS", 'C', 39},  {"CITY", 'C', 25},      {"STATE", 'C', 2},  {"ZIP", 'C', 12},
    {"NOTES", 'C', 80},    {"MOREINFO", 'C', 20},
};

const tables::TableSpec kSpec = {kFields, fieldCount, "PEOPLETAG",
                                 "LASTNAME+FIRSTNAME+MI+PHONE+EXT", ".NOT. DELETED()"};

std::string path(const std::string& groupPath) {
    return tables::groupFolder(groupPath) + "RecPeople";
}

std::string cut(const std::string& s, std::size_t width) {
    return s.size() > width ? s.substr(0, width) : s;
}

}  // namespace

CPeople::CPeople() : RecordTable(kSpec) {}

int CPeople::Create(const std::string& groupPath) {
    return core_.create(path(groupPath));
}

int CPeople::Open(const std::string& groupPath) {
    return core_.open(path(groupPath));
}

void CPeople::Clear() {
    for (std::string* s : {&last_, &first_, &mi_, &phone_, &ext_, &altPhone_, &altExt_, &org_,
                           &address_, &city_, &state_, &zip_, &notes_, &moreInfo_})
        s->clear();
}

int CPeople::readRecord(int result) {
    if (result != 0) return result;
    readListed();
    core_.textInto(fAltPhone, altPhone_);
    core_.textInto(fAltExt, altExt_);
    core_.textInto(fAddress, address_);
    core_.textInto(fCity, city_);
    state_ = core_.raw(fState);  // as stored: a one-letter state keeps its blank
    core_.textInto(fZip, zip_);
    core_.textInto(fNotes, notes_);
    moreInfo_ = core_.raw(fMoreInfo);
    return 0;
}

void CPeople::readListed() {
    core_.textInto(fLastName, last_);
    core_.textInto(fFirstName, first_);
    core_.textInto(fMi, mi_);
    core_.textInto(fPhone, phone_);
    core_.textInto(fExt, ext_);
    core_.textInto(fOrg, org_);
}

int CPeople::Seek(const std::string& first, const std::string& mi, const std::string& last,
                  const std::string& phone, const std::string& ext) {
    std::string key =
        tables::format("%-21s%-16s%-2s%-15s%-6s", cut(last, 21).c_str(), cut(first, 16).c_str(),
                       cut(mi, 2).c_str(), cut(phone, 15).c_str(), cut(ext, 6).c_str());
    int r = core_.seek(key);
    if (r == 0) return readRecord(0);
    return r;
}

int CPeople::ScanAll(const std::function<void(const CPeople&)>& visit) {
    int r = core_.scan(
        "", [] { return true; },
        [&] {
            Clear();
            readListed();
            visit(*this);
        });
    if (core_.recNo() > 0)
        readRecord(0);
    else
        Clear();
    return r;
}

void CPeople::build() {
    core_.assign(fLastName, last_);
    core_.assign(fFirstName, first_);
    core_.assign(fMi, mi_);
    core_.assign(fPhone, phone_);
    core_.assign(fExt, ext_);
    core_.assign(fAltPhone, altPhone_);
    core_.assign(fAltExt, altExt_);
    core_.assign(fOrg, org_);
    core_.assign(fAddress, address_);
    core_.assign(fCity, city_);
    core_.assign(fState, state_);
    core_.assign(fZip, zip_);
    core_.assign(fNotes, notes_);
    core_.assign(fMoreInfo, moreInfo_);
}

int CPeople::Update() {
    return core_.updateRecord([this] { build(); });
}

int CPeople::Delete(bool pack) {
    return core_.deleteRecord(true, pack);
}

int CPeople::LockAll() {
    return core_.lockAll();
}

int CPeople::Unlock() {
    return core_.unlock();
}

void CPeople::GetName(std::string& first, std::string& mi, std::string& last) const {
    first = first_;
    mi = mi_;
    last = last_;
}
void CPeople::SetName(const std::string& first, const std::string& mi, const std::string& last) {
    first_ = first;
    mi_ = mi;
    last_ = last;
}
void CPeople::GetPhone(std::string& phone, std::string& ext) const {
    phone = phone_;
    ext = ext_;
}
void CPeople::SetPhone(const std::string& phone, const std::string& ext) {
    phone_ = phone;
    ext_ = ext;
}
void CPeople::GetAltPhone(std::string& phone, std::string& ext) const {
    phone = altPhone_;
    ext = altExt_;
}
void CPeople::SetAltPhone(const std::string& phone, const std::string& ext) {
    altPhone_ = phone;
    altExt_ = ext;
}
void CPeople::GetAddress(std::string& address, std::string& city, std::string& state,
                         std::string& zip) const {
    address = address_;
    city = city_;
    state = state_;
    zip = zip_;
}
void CPeople::SetAddress(const std::string& address, const std::string& city,
                         const std::string& state, const std::string& zip) {
    address_ = address;
    city_ = city;
    state_ = state;
    zip_ = zip;
}
void CPeople::GetKey(CPeopleKey& key) const {
    key.Set(first_, mi_, last_, phone_, ext_);
}
