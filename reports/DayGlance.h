#pragma once
// The day at a glance: one day's reservations of every facility as bars over twelve hours,
// on the screen and printed as a character grid. Both drawings work on a PaintSurface, so they
// are checked without a window or a printer; the scale's rules are the day chart's.
#include <QRect>
#include <QString>
#include <cstdint>
#include <vector>

#include "reports/core/DayChart.h"

namespace quorvane {

class PaintSurface;

// The bar of a shown item in a row's drawing area: every quarter it touches, `quarterWidth`
// pixels each, cut to the area; the row band gives top and bottom.
QRect dayBarRect(const _SCHEDITEM& item, int startHour, int quarterWidth, const QRect& area);

// Fills the bars of the shown items of facility `position` in `area`.
void paintDayRow(PaintSurface& surface, const std::vector<_SCHEDITEM>& items, int position,
                 int startHour, int quarterWidth, const QRect& area, std::uint32_t color);

// The printed chart: the date, the title, the scale, the names ("%20s") with one "X" per
// quarter of each shown item, and the scale again under the names. `names` are the group's
// facilities in order.
struct DayPrintLayout {
    int L = 0, w = 0, x0 = 0, xMax = 0;
    std::vector<int> rowY;  // per facility
};
DayPrintLayout printDayGlance(PaintSurface& surface, const DayDate& date,
                              const std::vector<QString>& names,
                              const std::vector<_SCHEDITEM>& items, int startHour);

// The starting-hour field: "" and the hour, or the range message for anything but an integer
// from 0 to 12.
QString readStartHour(const QString& text, int& hour);
inline const QString kStartHourRange = QStringLiteral("Enter an integer between 0 and 12.");

}  // namespace quorvane
