#pragma once
// What Day at a Glance shows and prints, loaded one way for the window and for the command
// line: the date, the names of the first fifteen facilities and the day's items. Qt-free;
// texts are Windows-1252 bytes.
#include <functional>
#include <string>
#include <vector>

#include "group/DayState.h"
#include "tables/Calendar.h"

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

}  // namespace quorvane
