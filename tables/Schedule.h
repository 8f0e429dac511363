// The reservation table of one group: all reservations of all its facilities, ordered by
// date, facility and start time through the tag SCHEDTAG. One reservation is held in memory
// (the current reservation): every read fills it, every write is built from it.
#pragma once

#include <functional>
#include <string>

#include "tables/TableCore.h"

// The fields of one reservation a listing of many prints or counts (the reports); texts
// without trailing blanks.
struct ListedReservation {
    int year = 0, month = 0, day = 0;
    std::string facility;
    int startHour = 0, startMinute = 0, endHour = 0, endMinute = 0;
    std::string last, first, mi, phone, ext;
    // year * 10000 + month * 100 + day: compares in date order.
    int dateNumber() const { return year * 10000 + month * 100 + day; }
};

class CSchedule : public tables::RecordTable<CSchedule> {
public:
    CSchedule();

    // The group path is the group file's path; the table lies beside it without the
    // file's extension. Both return 0 or the engine's code.
    int Create(const std::string& groupPath);
    int Open(const std::string& groupPath);

    void Clear();
    // Positions on the key "%8s%-20s%2s%2s" of the four texts and reads. With an empty start
    // hour, landing after the key still reads the record there (the first of that date and
    // facility or later); the caller checks IsOnDate and GetFacility.
    int Seek(const std::string& dateKey, const std::string& facility, const std::string& startHH,
             const std::string& startMM);

    int Update();
    // Marks the current record deleted; the mark is written by the next positioning call.
    int Delete(bool pack);
    // The lock a booking runs under: the append lock, held through Add until Unlock (Add's
    // append keeps it instead of letting every lock go first), and the index locks, so that
    // the day read for the overlap check meets no other user's half-written index change.
    // 0, or the engine's code with nothing held.
    int LockAppend();
    // Marks a walk in key order (a report) as one operation, so a shared table looks at the
    // index's change counter only when it reads records and reads them in runs until WalkEnd;
    // any lock or write in between ends what the walk had read. Calls nest.
    int WalkStart();
    // A walk that takes only the fields a listing shows (a report's) moves on with
    // NextUnlisted, which reads nothing into the current reservation (it is cleared, as by
    // Clear), and takes them with ReadListed, straight from the record: decoding every field
    // of every record was a third of a month's report. ReadListed also reads the record
    // positioned on by Seek, First or Next.
    int NextUnlisted();
    void ReadListed(ListedReservation& out) const;
    int WalkEnd();
    // The whole-table lock a change of many reservations runs under (data file and index):
    // nobody books, cancels or rewrites meanwhile, and Update keeps it, so the change is one
    // operation for every other user. 0, or the engine's code with nothing held.
    int LockAll();
    // After a refused write: forgets it and the engine's standing error, so the writes made
    // before it can be put back.
    void DropFailedWrite() { core_.dropFailedWrite(); }
    // Whether the data file still holds every record its header counts: false once another
    // program or a crash has cut it short, which a walk in tag order meets as its end.
    bool HoldsAllRecords();
    // Writes a pending change and releases every lock of the table.
    int Unlock();
    // Writes a pending change (a deletion mark) and syncs the table and its index to the disk,
    // so that what the caller is told of survives a power loss. 0, or the engine's code.
    int Flush();
    // How often a write tries for a lock another user holds: 1 asks once, so the write is
    // refused at once (r4locked) instead of waiting; -1 waits until granted. The old value.
    int SetLockAttempts(int attempts);

    // The name texts a bulk filter compares, and the comparison, which makes no string.
    enum NameField { kFirstName, kMiddleInitial, kLastName, kPhone };
    bool NameIs(NameField field, const std::string& text) const;
    // The reservations dated `dateKey` or later in key order, read in large blocks rather than
    // one step at a time (a customer's or an item's reservations from today on). `keep` is
    // asked for each with only NameIs meaningful; `visit` gets each kept one as this object's
    // current reservation (GetRecordNumber gives its number). Afterwards the current
    // reservation is the table's current record again. 0, or the engine's code.
    int ScanFrom(const std::string& dateKey, const std::function<bool(const CSchedule&)>& keep,
                 const std::function<void(const CSchedule&)>& visit);

    bool IsOnDate(const std::string& dateKey) const;
    bool IsBefore(const std::string& dateKey) const;
    static std::string FormatDateKey(int month, int day, int year);
    bool HasNotes() const { return !notes_.empty(); }
    bool IsMaintenance() const { return typeFlag_ == 1; }
    bool IsRecurring() const { return recurYear_ != 0; }

    void GetDate(int& month, int& day, int& year) const;
    void SetDate(int month, int day, int year);
    void GetStart(int& hour, int& minute) const;
    void SetStart(int hour, int minute);
    void GetEnd(int& hour, int& minute) const;
    void SetEnd(int hour, int minute);
    void GetMade(int& month, int& day, int& year, int& hour, int& minute) const;
    void SetMade(int month, int day, int year, int hour, int minute);
    int GetRecurDays() const { return recurDays_; }
    void SetRecurDays(int days) { recurDays_ = days; }
    void GetRecurDate(int& month, int& day, int& year) const;
    void SetRecurDate(int month, int day, int year);
    const std::string& GetFacility() const { return facility_; }
    void SetFacility(const std::string& name) { facility_ = name; }
    void GetNames(std::string& first, std::string& mi, std::string& last, std::string& phone,
                  std::string& ext, std::string& org) const;
    void SetNames(const std::string& first, const std::string& mi, const std::string& last,
                  const std::string& phone, const std::string& ext, const std::string& org);
    std::string GetNotes() const { return notes_; }
    void SetNotes(const std::string& notes) { notes_ = notes; }
    int GetTypeFlag() const { return typeFlag_; }
    void SetTypeFlag(int flag) { typeFlag_ = flag; }
    bool GetKept() const { return kept_; }
    void SetKept(bool kept) { kept_ = kept; }
    int GetFlag1() const { return flag1_; }

    // True when the open table is an older one without the organization field.
    bool HasNoOrg() const { return noOrg_; }
    // The table path in use (group path with the extension cut).
    const std::string& GetPath() const { return base_; }

private:
    friend class tables::RecordTable<CSchedule>;
    int readRecord(int result);
    void build();

    std::string base_;
    bool noOrg_ = false;
    // The context's automatic-unlock setting while a booking lock holds it at 0, else -1.
    int savedUnlockAuto_ = -1;
    bool holdsAll_ = false;

    std::string facility_, last_, first_, mi_, phone_, ext_, notes_, org_;
    int year_ = 0, month_ = 0, day_ = 0;
    int startHH_ = 0, startMM_ = 0, endHH_ = 0, endMM_ = 0;
    int madeYear_ = 0, madeMonth_ = 0, madeDay_ = 0, madeHH_ = 0, madeMM_ = 0;
    int recurDays_ = 0;
    int recurYear_ = 0, recurMonth_ = 0, recurDay_ = 0;
    int typeFlag_ = 0;
    bool kept_ = true;
    int flag1_ = 0;
};
