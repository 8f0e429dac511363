#include "tables/Schedule.h"

#include <string_view>
#include <vector>

#include "base/Calendar.h"

#include <cstring>

#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/field4.h"

namespace {

enum Field {
    fDate,
    fRoomName,
    fStartHH,
    fStartMM,
    fEndHH,
    fEndMM,
    fLastName,
    fFirstName,
    fMi,
    fPhone,
    fExt,
    fNotes,
    fDateMade,
    fTimeMade,
    fRecurDays,
    fRecurDate,
    fTypeFlag,
    fResKept,
    fFlag1,
    fOrg,
    fieldCount
};

const tables::FieldSpec kFields[fieldCount] = {
    {"DATE", 'C', 8},     {"ROOMNAME", 'C', 20}, {"STARTHH", 'C', 2},   {"STARTMM", 'C', 2},
    {"ENDHH", 'C', 2},    {"ENDMM", 'C', 2},     {"LASTNAME", 'C', 21}, {"FIRSTNAME", 'C', 16},
    {"MI", 'C', 2},       {"PHONE", 'C', 15},    {"EXT", 'C', 6},       {"NOTES", 'C', 80},
    {"DATEMADE", 'C', 8}, {"TIMEMADE", 'C', 4},  {"RECURDAYS", 'C', 3}, {"RECURDATE", 'C', 8},
    {"TYPEFLAG", 'C', 1}, {"RESKEPT", 'L', 1},   {"FLAG1", 'C', 1},     {"ORG", 'C', 39, true},
};

const tables::TableSpec kSpec = {kFields, fieldCount, "SCHEDTAG", "DATE+ROOMNAME+STARTHH+STARTMM",
                                 ".NOT. DELETED()"};

// A stored date key read into its three numbers; a short or damaged key reads as zeros
// where its digits are missing.
void readDate(const std::string& raw, int& year, int& month, int& day) {
    const char* p = raw.c_str();
    std::size_t n = raw.size();
    year = tables::parseNumber(p, n < 4 ? n : 4);
    month = n > 4 ? tables::parseNumber(p + 4, n - 4 < 2 ? n - 4 : 2) : 0;
    day = n > 6 ? tables::parseNumber(p + 6, n - 6 < 2 ? n - 6 : 2) : 0;
}

void readDate(const tables::TableCore& t, int field, int& year, int& month, int& day) {
    year = t.number(field, 0, 4);
    month = t.number(field, 4, 2);
    day = t.number(field, 6, 2);
}

// The key texts are cut to their parts' widths so that a longer text cannot shift the
// parts after it.
std::string cut(const std::string& s, std::size_t width) {
    return s.size() > width ? s.substr(0, width) : s;
}

// The data file's name is given whole: a stem that still holds a "." (a.b) would otherwise
// count as a file with the extension "b".
std::string dataFile(const std::string& base) {
    return base + ".DBF";
}

}  // namespace

CSchedule::CSchedule() : RecordTable(kSpec) {}

int CSchedule::Create(const std::string& groupPath) {
    noOrg_ = false;
    savedUnlockAuto_ = -1;
    base_ = tables::groupBase(groupPath);
    return core_.create(dataFile(base_));
}

int CSchedule::Open(const std::string& groupPath) {
    noOrg_ = false;
    savedUnlockAuto_ = -1;
    base_ = tables::groupBase(groupPath);
    int r = core_.open(dataFile(base_));
    if (r == 0) noOrg_ = core_.numFieldsInFile() == 19 || !core_.hasField(fOrg);
    return r;
}

void CSchedule::Clear() {
    facility_.clear();
    last_.clear();
    first_.clear();
    mi_.clear();
    phone_.clear();
    ext_.clear();
    notes_.clear();
    org_.clear();
    year_ = month_ = day_ = 0;
    startHH_ = startMM_ = endHH_ = endMM_ = 0;
    madeYear_ = madeMonth_ = madeDay_ = madeHH_ = madeMM_ = 0;
    recurDays_ = 0;
    recurYear_ = recurMonth_ = recurDay_ = 0;
    typeFlag_ = 0;
    kept_ = true;
    flag1_ = 0;
}

int CSchedule::readRecord(int result) {
    if (result != 0) return result;
    core_.textInto(fRoomName, facility_);
    core_.textInto(fLastName, last_);
    core_.textInto(fFirstName, first_);
    core_.textInto(fMi, mi_);
    core_.textInto(fPhone, phone_);
    core_.textInto(fExt, ext_);
    core_.textInto(fNotes, notes_);
    if (noOrg_)
        org_.clear();
    else
        core_.textInto(fOrg, org_);
    readDate(core_, fDate, year_, month_, day_);
    readDate(core_, fDateMade, madeYear_, madeMonth_, madeDay_);
    readDate(core_, fRecurDate, recurYear_, recurMonth_, recurDay_);
    startHH_ = core_.number(fStartHH);
    startMM_ = core_.number(fStartMM);
    endHH_ = core_.number(fEndHH);
    endMM_ = core_.number(fEndMM);
    recurDays_ = core_.number(fRecurDays);
    typeFlag_ = core_.number(fTypeFlag);
    flag1_ = core_.number(fFlag1);
    madeHH_ = core_.number(fTimeMade, 0, 2);
    madeMM_ = core_.number(fTimeMade, 2, 2);
    std::size_t keptLen;
    const char* kept = core_.bytes(fResKept, keptLen);
    char k = keptLen == 0 ? ' ' : kept[0];
    kept_ = k == 'T' || k == 't' || k == 'Y' || k == 'y';
    return 0;
}

int CSchedule::NextUnlisted() {
    const int r = core_.next();
    if (r == 0) Clear();
    return r;
}

void CSchedule::ReadListed(ListedReservation& out) const {
    readDate(core_, fDate, out.year, out.month, out.day);
    core_.textInto(fRoomName, out.facility);
    out.startHour = core_.number(fStartHH);
    out.startMinute = core_.number(fStartMM);
    out.endHour = core_.number(fEndHH);
    out.endMinute = core_.number(fEndMM);
    core_.textInto(fLastName, out.last);
    core_.textInto(fFirstName, out.first);
    core_.textInto(fMi, out.mi);
    core_.textInto(fPhone, out.phone);
    core_.textInto(fExt, out.ext);
}

int CSchedule::Seek(const std::string& dateKey, const std::string& facility,
                    const std::string& startHH, const std::string& startMM) {
    Clear();
    std::string key =
        tables::format("%8s%-20s%2s%2s", cut(dateKey, 8).c_str(), cut(facility, 20).c_str(),
                       cut(startHH, 2).c_str(), cut(startMM, 2).c_str());
    int r = core_.seek(key);
    if (r == 0) return readRecord(0);
    if (r == r4after && startHH.empty()) return readRecord(0);
    return r;
}

void CSchedule::build() {
    core_.assign(fRoomName, facility_);
    core_.assign(fLastName, last_);
    core_.assign(fFirstName, first_);
    core_.assign(fMi, mi_);
    core_.assign(fPhone, phone_);
    core_.assign(fExt, ext_);
    core_.assign(fNotes, notes_);
    core_.assign(fDate, quorvane::dateKey(year_, month_, day_));
    core_.assign(fStartHH, tables::format("%02d", startHH_));
    core_.assign(fStartMM, tables::format("%02d", startMM_));
    core_.assign(fEndHH, tables::format("%02d", endHH_));
    core_.assign(fEndMM, tables::format("%02d", endMM_));
    core_.assign(fDateMade, quorvane::dateKey(madeYear_, madeMonth_, madeDay_));
    core_.assign(fTimeMade, tables::format("%02d%02d", madeHH_, madeMM_));
    core_.assign(fRecurDays, tables::format("%03d", recurDays_));
    core_.assign(fRecurDate, quorvane::dateKey(recurYear_, recurMonth_, recurDay_));
    core_.assign(fTypeFlag, tables::format("%01d", typeFlag_));
    core_.assign(fResKept, kept_ ? "T" : "F");
    core_.assign(fFlag1, tables::format("%01d", flag1_));
    if (!noOrg_) core_.assign(fOrg, org_);
}

int CSchedule::Update() {
    return core_.updateRecord([this] { build(); }, !holdsAll_);
}

int CSchedule::Delete(bool pack) {
    return core_.deleteRecord(false, pack);
}

int CSchedule::LockAppend() {
    if (int r = core_.lockAppend()) return r;
    // An append releases every lock of the context before it locks its record, unless the
    // automatic unlock is off; in that gap another user could take the append lock, check
    // the day without this booking and book the same times.
    if (savedUnlockAuto_ < 0) savedUnlockAuto_ = core_.context().unlockAuto;
    core_.context().unlockAuto = 0;
    // Readers take no index lock; another user's deletion or rewrite may be half-way through
    // its nodes. Under the index locks the walk sees every tree whole.
    if (int r = core_.lockIndex()) {
        Unlock();
        return r;
    }
    return 0;
}

int CSchedule::LockAll() {
    if (savedUnlockAuto_ < 0) savedUnlockAuto_ = core_.context().unlockAuto;
    core_.context().unlockAuto = 0;
    if (int r = core_.lockAll()) {
        Unlock();
        return r;
    }
    holdsAll_ = true;
    return 0;
}

int CSchedule::SetLockAttempts(int attempts) {
    const int old = core_.context().lockAttempts;
    core_.context().lockAttempts = attempts;
    return old;
}

int CSchedule::WalkStart() {
    return core_.isOpen() ? d4walkStart(core_.data()) : 0;
}

int CSchedule::WalkEnd() {
    return core_.isOpen() ? d4walkEnd(core_.data()) : 0;
}

bool CSchedule::HoldsAllRecords() {
    if (!core_.isOpen()) return true;
    Data4* d = core_.data();
    const long count = d4recCount(d);
    if (count <= 0) return true;
    std::vector<char> last(std::size_t(d4recWidth(d)));
    return d4readRecords(d, count, 1, last.data()) == 1;
}

int CSchedule::Unlock() {
    holdsAll_ = false;
    int r = core_.unlock();
    if (savedUnlockAuto_ >= 0) {
        core_.context().unlockAuto = savedUnlockAuto_;
        savedUnlockAuto_ = -1;
    }
    return r;
}

int CSchedule::Flush() {
    if (!core_.isOpen()) return r4noOpen;
    return d4flush(core_.data());
}

bool CSchedule::NameIs(NameField field, const std::string& text) const {
    static const int kFields[] = {fFirstName, fMi, fLastName, fPhone};
    return core_.textIs(kFields[field], text);
}

int CSchedule::ScanFrom(const std::string& dateKey,
                        const std::function<bool(const CSchedule&)>& keep,
                        const std::function<void(const CSchedule&)>& visit) {
    const std::string from = cut(dateKey, 8);
    int r = core_.scan(
        from,
        [&] {
            // The entry was dated from the key on when it was read; another user may have
            // moved the record since.
            std::size_t n;
            const char* date = core_.bytes(fDate, n);
            return std::string_view(date, n) >= from && keep(*this);
        },
        [&] {
            readRecord(0);
            visit(*this);
        });
    if (core_.recNo() > 0)
        readRecord(0);
    else
        Clear();
    return r;
}

bool CSchedule::IsOnDate(const std::string& dateKey) const {
    if (dateKey.size() != 8) return false;
    int y, m, d;
    readDate(dateKey, y, m, d);
    return y == year_ && m == month_ && d == day_;
}

bool CSchedule::IsBefore(const std::string& key) const {
    if (key.size() != 8) return false;
    return quorvane::dateKey(year_, month_, day_) < key;
}

std::string CSchedule::FormatDateKey(int month, int day, int year) {
    return quorvane::dateKey(year, month, day);
}

void CSchedule::GetDate(int& month, int& day, int& year) const {
    month = month_;
    day = day_;
    year = year_;
}
void CSchedule::SetDate(int month, int day, int year) {
    month_ = month;
    day_ = day;
    year_ = year;
}
void CSchedule::GetStart(int& hour, int& minute) const {
    hour = startHH_;
    minute = startMM_;
}
void CSchedule::SetStart(int hour, int minute) {
    startHH_ = hour;
    startMM_ = minute;
}
void CSchedule::GetEnd(int& hour, int& minute) const {
    hour = endHH_;
    minute = endMM_;
}
void CSchedule::SetEnd(int hour, int minute) {
    endHH_ = hour;
    endMM_ = minute;
}
void CSchedule::GetMade(int& month, int& day, int& year, int& hour, int& minute) const {
    month = madeMonth_;
    day = madeDay_;
    year = madeYear_;
    hour = madeHH_;
    minute = madeMM_;
}
void CSchedule::SetMade(int month, int day, int year, int hour, int minute) {
    madeMonth_ = month;
    madeDay_ = day;
    madeYear_ = year;
    madeHH_ = hour;
    madeMM_ = minute;
}
void CSchedule::GetRecurDate(int& month, int& day, int& year) const {
    month = recurMonth_;
    day = recurDay_;
    year = recurYear_;
}
void CSchedule::SetRecurDate(int month, int day, int year) {
    recurMonth_ = month;
    recurDay_ = day;
    recurYear_ = year;
}
void CSchedule::GetNames(std::string& first, std::string& mi, std::string& last, std::string& phone,
                         std::string& ext, std::string& org) const {
    first = first_;
    mi = mi_;
    last = last_;
    phone = phone_;
    ext = ext_;
    org = org_;
}
void CSchedule::SetNames(const std::string& first, const std::string& mi, const std::string& last,
                         const std::string& phone, const std::string& ext, const std::string& org) {
    first_ = first;
    mi_ = mi;
    last_ = last;
    phone_ = phone;
    ext_ = ext;
    org_ = org;
}
