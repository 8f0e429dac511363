#include "group/CurrentDay.h"

#include "base/Clock.h"
#include "group/GroupFile.h"

namespace quorvane {

namespace {
DayDate today() {
    const LocalTime t = appClock().localNow();
    return {t.year, t.month, t.day};
}
int clockValueNow() {
    const LocalTime t = appClock().localNow();
    return t.hour * 100 + t.minute;
}
}  // namespace

CurrentDay::CurrentDay(GroupFile& group) : group_(group) {}

void CurrentDay::start(bool justCreated) {
    date_ = today();
    if (justCreated) {
        items_.clear();
        return;
    }
    reload();
    updateOccupancy(true);
}

void CurrentDay::reload() {
    items_.clear();
    if (loader_) loader_(key(), items_);
}

bool CurrentDay::updateOccupancy(bool recomputeAll) {
    return quorvane::updateOccupancy(group_.rooms, items_, clockValueNow(), recomputeAll);
}

CurrentDay::Tick CurrentDay::minute(bool pollStamp) {
    Tick tick;
    const DayDate now = today();
    if (now != date_) {
        date_ = now;
        tick.dateChanged = true;
    }
    tick.reloaded = (pollStamp && checkStamp()) || tick.dateChanged;
    if (tick.reloaded) reload();
    tick.occupancyChanged = updateOccupancy(tick.reloaded);
    return tick;
}

bool CurrentDay::reservationsChanged(const DayDate& date) {
    if (date != date_) return false;
    reload();
    updateOccupancy(true);
    writeStamp();
    return true;
}

}  // namespace quorvane
