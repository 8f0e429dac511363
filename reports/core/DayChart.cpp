#include "reports/core/DayChart.h"

#include <algorithm>

#include "group/GroupFile.h"

namespace quorvane {

DayChart loadDayChart(const GroupFile& group, const DayItemsLoader& load, const DayDate& date) {
    DayChart chart;
    chart.date = date;
    for (int i = 0; i < std::min(group.count, 15); ++i)
        chart.names.push_back(group.rooms[std::size_t(i)].name);
    load(dateKey(date), chart.items);
    return chart;
}

}  // namespace quorvane
