#pragma once
// What Day at a Glance shows and prints, loaded one way for the window and for the command
// line: the date, the names of the first fifteen facilities and the day's items, and the
// rules of its twelve-hour scale. Qt-free; texts are Windows-1252 bytes.
#include <functional>
#include <string>
#include <vector>

#include "base/Calendar.h"
#include "group/DayState.h"

namespace quorvane {

struct GroupFile;

struct DayChart {
    DayDate date;
    std::vector<std::string> names;  // the facilities the chart has a row for, by position
    std::vector<_SCHEDITEM> items;
};

// Reads the items of the day with key `key` into `out`; 0 or the engine's code.
using DayItemsLoader = std::function<int(const std::string& key, std::vector<_SCHEDITEM>& out)>;

// The chart of `date` for `group`: up to fifteen rows, the items as `load` reads them (none
// when it fails).
DayChart loadDayChart(const GroupFile& group, const DayItemsLoader& load, const DayDate& date);

// ----- the twelve hours shown -----

inline constexpr int kDayQuarters = 48;  // twelve hours of quarter hours
inline constexpr int kDayHours = 12;
inline constexpr int kMaxStartHour = 12;
// Four characters per hour from midnight to midnight; "N" is noon and "M" the closing midnight.
inline constexpr char kDayScale[] =
    " 0...1...2...3...4...5...6...7...8...9..10..11...N...1...2...3...4...5...6...7...8...9..10"
    "..11...M";
inline constexpr int kDayScaleShown = 50;

// The 50 characters of the scale from 4 x startHour, a leading "." made a blank.
std::string dayScaleText(int startHour);
// The lower scale stands under the rows only from nine facilities on.
inline bool lowerScaleShown(int facilityCount) {
    return facilityCount > 8;
}

// Whether any hour of the item meets the twelve hours from `startHour` (S): S <= start hour
// < S+12, or S < end hour < S+12, or the item spans the whole period.
bool dayItemShown(const _SCHEDITEM& item, int startHour);
// The first quarter the item touches and the quarter after its last, counted from startHour
// (may lie outside 0-48).
int dayStartQuarter(const _SCHEDITEM& item, int startHour);
int dayEndQuarter(const _SCHEDITEM& item, int startHour);

}  // namespace quorvane
