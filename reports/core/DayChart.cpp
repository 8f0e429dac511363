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

std::string dayScaleText(int startHour) {
    const int s = std::clamp(startHour, 0, kMaxStartHour);
    std::string text(kDayScale + 4 * s, kDayScaleShown);
    if (text[0] == '.') text[0] = ' ';
    return text;
}

bool dayItemShown(const _SCHEDITEM& item, int startHour) {
    const int s = startHour, e = startHour + kDayHours;
    return (s <= item.startHH && item.startHH < e) || (s < item.endHH && item.endHH < e) ||
           (item.startHH <= s && item.endHH >= e);
}

int dayStartQuarter(const _SCHEDITEM& item, int startHour) {
    return item.startMM / 15 + (item.startHH - startHour) * 4;
}

int dayEndQuarter(const _SCHEDITEM& item, int startHour) {
    return (item.endMM + 14) / 15 + (item.endHH - startHour) * 4;
}

}  // namespace quorvane
