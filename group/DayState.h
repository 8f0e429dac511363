#pragma once
// The current day of an open group: the day list, who occupies each facility this minute, the
// minute timer's first interval and the date keys of the purges. No Qt and no tables here, so
// every rule can be checked on its own.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/Calendar.h"
#include "group/Room.h"

namespace quorvane {

// One reservation of the current day as the group keeps it in memory.
struct _SCHEDITEM {
    int position = 0;  // facility slot 0-14
    int startHH = 0, startMM = 0;
    int endHH = 0, endMM = 0;
    std::string lastName;  // customer's last name, or the maintenance item's name
    std::string org;
};

// Sets and clears the occupant lines of `rooms` from the day list for the clock value `now`
// (hour x 100 + minute). A facility is occupied while its occupant line 1 is not empty. With
// `recomputeAll` every line 1 is cleared first. An item covers S <= now < E; the first item
// covering a free facility wins; an item ending exactly now clears its facility. Items whose
// position is outside the slots are ignored. Returns whether anything changed.
template <std::size_t N>
bool updateOccupancy(std::array<CRoom, N>& rooms, const std::vector<_SCHEDITEM>& items, int now,
                     bool recomputeAll);

// The first interval of the minute timer for a view opened at `second` (-1 when the time could
// not be read): the rest of the minute, or a whole minute when that is under 5 seconds.
int firstTimerInterval(int second);
constexpr int kMinuteMs = 60000;

// The date key of the local date `days` x 24 hours before `now` (seconds since 1970).
std::string daysBeforeKey(std::int64_t now, int days);
// The automatic purge at close: the key before which reservations go, or empty when the
// days-to-keep value is 0 or less (nothing is purged).
std::string purgeCutoffKey(std::int64_t now, int daysToKeep);

// Deleting old reservations by hand. The proposed date is now less `daysToKeep` days, or 31
// days when the setting is negative.
std::int64_t proposedDeletionDate(std::int64_t now, int daysToKeep);
// The local midnight starting the day of `t`.
std::int64_t localMidnight(std::int64_t t);
// A picked deletion date is refused when its day lies after today's.
bool deletionDateInFuture(std::int64_t picked, std::int64_t now);

// ----- implementation of the template -----
template <std::size_t N>
bool updateOccupancy(std::array<CRoom, N>& rooms, const std::vector<_SCHEDITEM>& items, int now,
                     bool recomputeAll) {
    bool changed = false;
    if (recomputeAll) {
        for (CRoom& room : rooms) room.occupant1.clear();
        changed = true;
    }
    for (const _SCHEDITEM& item : items) {
        if (item.position < 0 || item.position >= int(N)) continue;
        CRoom& room = rooms[std::size_t(item.position)];
        const int start = item.startHH * 100 + item.startMM;
        const int end = item.endHH * 100 + item.endMM;
        if (start <= now && now < end && room.occupant1.empty()) {
            room.occupant1 = item.lastName;
            room.occupant2 = item.org;
            changed = true;
        } else if (now == end) {
            room.occupant1.clear();
            changed = true;
        }
    }
    return changed;
}

}  // namespace quorvane
