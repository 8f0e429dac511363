#pragma once
// The current day of an open group: the date shown as today, that day's reservations (the day
// list), who occupies each facility this minute, and the change stamp through which users of
// the same group tell each other that today's reservations changed. The group document owns
// one; the minute timer of a window drives it. No Qt and no tables: the day is loaded through
// the loader the document gives, so every rule runs without a window or a table.
#include <functional>
#include <string>
#include <vector>

#include "base/Calendar.h"
#include "group/ChangeStamp.h"
#include "group/DayState.h"

namespace quorvane {

struct GroupFile;

class CurrentDay {
public:
    // Fills `out` with the reservations dated `key` of the group's facilities.
    using DayLoader = std::function<int(const std::string& key, std::vector<_SCHEDITEM>& out)>;

    // The occupant lines live in the group's facility slots, which `group` keeps.
    explicit CurrentDay(GroupFile& group);
    CurrentDay(const CurrentDay&) = delete;
    CurrentDay& operator=(const CurrentDay&) = delete;

    // Without a loader (a group without tables) every day is empty.
    void setLoader(DayLoader loader) { loader_ = std::move(loader); }

    const DayDate& date() const { return date_; }
    void setDate(const DayDate& date) { date_ = date; }
    std::string key() const { return dateKey(date_); }
    bool isDate(const DayDate& date) const { return date_ == date; }
    const std::vector<_SCHEDITEM>& items() const { return items_; }

    // Whether the minute polls the stamp, and whether each poll reopens the file first (a
    // network folder may otherwise answer from a cache).
    bool refresh() const { return refresh_; }
    void setRefresh(bool on) { refresh_ = on; }
    bool forceFlush() const { return forceFlush_; }
    void setForceFlush(bool on) { forceFlush_ = on; }

    ChangeStamp& stamp() { return stamp_; }
    const ChangeStamp& stamp() const { return stamp_; }
    void writeStamp() { stamp_.write(); }
    // True when another user rewrote the stamp since the last look (never with refresh off).
    bool checkStamp() { return stamp_.check(refresh_, forceFlush_); }

    // Today's date from the clock; then, for an opened group, its day list and every occupant.
    // A group just created has no reservations to load.
    void start(bool justCreated);
    // Reloads the day list for the current date.
    void reload();
    // Sets the occupant lines for the present minute; whether one changed.
    bool updateOccupancy(bool recomputeAll);

    struct Tick {
        bool dateChanged = false;
        bool reloaded = false;
        bool occupancyChanged = false;
    };
    // One minute: the date moves on when the clock's local date differs from it (the whole
    // date: a group left open from the 8th of one month to the 8th of the next still moves
    // on); with `pollStamp` the stamp is checked; the list reloads when either changed; then
    // the occupants follow, all of them after a reload.
    Tick minute(bool pollStamp);

    // Reservations dated `date` were written or removed by this user. When that date is the
    // current one the list reloads, the occupants are recomputed and the stamp is rewritten so
    // that other users reload at their next minute. Whether it was the current date.
    bool reservationsChanged(const DayDate& date);

private:
    GroupFile& group_;
    DayLoader loader_;
    ChangeStamp stamp_;
    DayDate date_;
    std::vector<_SCHEDITEM> items_;
    bool refresh_ = false;
    bool forceFlush_ = false;
};

}  // namespace quorvane
