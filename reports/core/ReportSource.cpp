#include "reports/core/ReportSource.h"

#include "tables/Schedule.h"

namespace quorvane {

ScheduleCursor::ScheduleCursor(CSchedule& schedule) : schedule_(schedule) {
    schedule_.WalkStart();
}

ScheduleCursor::~ScheduleCursor() {
    schedule_.WalkEnd();
}

int ScheduleCursor::first() {
    return last_ = schedule_.First();
}

int ScheduleCursor::seekDate(const std::string& dateKey) {
    // An empty facility and time position on the first record of the date or after it.
    return last_ = schedule_.Seek(dateKey, "", "", "");
}

int ScheduleCursor::next() {
    return last_ = schedule_.Next();
}

bool ScheduleCursor::cutShort() {
    return last_ > 0 && !schedule_.HoldsAllRecords();
}

void ScheduleCursor::read(ReservationRecord& out) const {
    schedule_.GetDate(out.month, out.day, out.year);
    out.facility = schedule_.GetFacility();
    schedule_.GetStart(out.startHour, out.startMinute);
    schedule_.GetEnd(out.endHour, out.endMinute);
    std::string org;
    schedule_.GetNames(out.first, out.mi, out.last, out.phone, out.ext, org);
}

}  // namespace quorvane
