#include "reports/ReportSource.h"

#include "tables/Schedule.h"

namespace quorvane {

int ScheduleCursor::first() {
    return schedule_.First();
}

int ScheduleCursor::seekDate(const std::string& dateKey) {
    // An empty facility and time position on the first record of the date or after it.
    return schedule_.Seek(dateKey, "", "", "");
}

int ScheduleCursor::next() {
    return schedule_.Next();
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
