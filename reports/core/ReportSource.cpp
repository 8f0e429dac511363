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
    return last_ = schedule_.NextUnlisted();
}

bool ScheduleCursor::cutShort() {
    return last_ > 0 && !schedule_.HoldsAllRecords();
}

void ScheduleCursor::read(ReservationRecord& out) const {
    schedule_.ReadListed(out);
}

}  // namespace quorvane
