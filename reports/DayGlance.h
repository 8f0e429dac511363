#pragma once
// The day at a glance painted: the bars of a row on the screen and the printed character grid,
// both on a PaintSurface, so they draw the same in the window, on the printer and in a test's
// recorder. Where everything goes is the Qt-free layout's (reports/core/DayGlanceLayout.h);
// this side only paints it.
#include <QRect>
#include <cstdint>
#include <vector>

#include "reports/core/DayChart.h"
#include "reports/core/DayGlanceLayout.h"

namespace quorvane {

class PaintSurface;

// Fills the bars of the shown items of facility `position` in `area` (dayRowBars).
void paintDayRow(PaintSurface& surface, const std::vector<_SCHEDITEM>& items, int position,
                 int startHour, int quarterWidth, const QRect& area, std::uint32_t color);

// Draws the printed chart of `chart` (dayPrintLayout) with the surface's metrics; the layout
// drawn.
DayPrintLayout printDayGlance(PaintSurface& surface, const DayChart& chart, int startHour);

}  // namespace quorvane
