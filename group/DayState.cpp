#include "group/DayState.h"

#include <cstdio>
#include <ctime>

#include "base/Clock.h"

namespace quorvane {

int firstTimerInterval(int second) {
    const int interval = kMinuteMs - 1000 * second;
    return interval < 5000 ? kMinuteMs : interval;
}

std::string daysBeforeKey(std::int64_t now, int days) {
    const LocalTime t = Clock::toLocal(now - std::int64_t(days) * 24 * 60 * 60);
    return dateKey(t.year, t.month, t.day);
}

std::string purgeCutoffKey(std::int64_t now, int daysToKeep) {
    if (daysToKeep <= 0) return {};
    return daysBeforeKey(now, daysToKeep);
}

std::int64_t proposedDeletionDate(std::int64_t now, int daysToKeep) {
    const int n = daysToKeep < 0 ? 31 : daysToKeep;
    return now - std::int64_t(n) * 86400;
}

std::int64_t localMidnight(std::int64_t t) {
    // The local wall-clock midnight itself: subtracting hours, minutes and seconds would land
    // an hour off on the days the clocks change.
    const LocalTime l = Clock::toLocal(t);
    return Clock::fromLocal(l.year, l.month, l.day);
}

bool deletionDateInFuture(std::int64_t picked, std::int64_t now) {
    return localMidnight(picked) > localMidnight(now);
}

}  // namespace quorvane
