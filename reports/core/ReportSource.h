#pragma once
// The reports read reservations through this cursor: in key order (date, facility, start
// time), from the first record or from the first record of a date on. The program's cursor
// walks the group's reservation table; tests may walk rows held in memory.
#include <string>

#include "tables/Schedule.h"

namespace quorvane {

// The fields of one reservation the reports print or count; texts without trailing blanks.
using ReservationRecord = ListedReservation;

enum class ReportScan {
    FromRangeStart,  // seek to the first day of the range, stop after its last day
    WholeTable,      // every record from the first; the same lines, for checks and comparisons
};

class ReservationCursor {
public:
    virtual ~ReservationCursor() = default;
    // Each returns 0 when positioned on a record (and it can be read), otherwise the table's
    // code: 3 at the end, negative for an error.
    virtual int first() = 0;
    // The first record dated `dateKey` ("CCYYMMDD") or later.
    virtual int seekDate(const std::string& dateKey) = 0;
    virtual int next() = 0;
    virtual void read(ReservationRecord& out) const = 0;
    // After a step that found no more records: whether the table ended before the records it
    // promised (its file cut short under the walk), so the report is incomplete.
    virtual bool cutShort() { return false; }
};

class ScheduleCursor final : public ReservationCursor {
public:
    // The whole report is one walk of the table: see CSchedule::WalkStart.
    explicit ScheduleCursor(CSchedule& schedule);
    ~ScheduleCursor() override;
    ScheduleCursor(const ScheduleCursor&) = delete;
    ScheduleCursor& operator=(const ScheduleCursor&) = delete;
    int first() override;
    int seekDate(const std::string& dateKey) override;
    int next() override;
    void read(ReservationRecord& out) const override;
    bool cutShort() override;

private:
    CSchedule& schedule_;
    int last_ = 0;  // the code of the last step
};

// The one walk of the reports over a date range: from the first record dated `fromKey`
// ("CCYYMMDD") on, in date order, ending past `lastDay` (a dateNumber); or, WholeTable, every
// record from the first. Each record is read into `rec`, counted in `recordsRead` and handed
// to `visit`, which returns false to end the walk. Returns the cursor's last code: 0 when the
// range or `visit` ended the walk, > 0 at the table's end, < 0 for a failed step.
template <class Visit>
int scanDateRange(ReservationCursor& cursor, ReportScan scan, const std::string& fromKey,
                  int lastDay, ReservationRecord& rec, long& recordsRead, Visit&& visit) {
    const bool seek = scan == ReportScan::FromRangeStart;
    int r = seek ? cursor.seekDate(fromKey) : cursor.first();
    for (; r == 0; r = cursor.next()) {
        cursor.read(rec);
        ++recordsRead;
        // Records come in date order: past the last day nothing more can be selected.
        if (seek && rec.dateNumber() > lastDay) break;
        if (!visit()) break;
    }
    return r;
}

}  // namespace quorvane
