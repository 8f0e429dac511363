#include "reports/DayGlance.h"

#include "app/GroupLayout.h"
#include "platform/TextCodec.h"

namespace quorvane {

void paintDayRow(PaintSurface& surface, const std::vector<_SCHEDITEM>& items, int position,
                 int startHour, int quarterWidth, const QRect& area, std::uint32_t color) {
    const DayRect rowArea{area.left(), area.top(), area.width(), area.height()};
    for (const DayRect& bar : dayRowBars(items, position, startHour, quarterWidth, rowArea))
        surface.fillRect(QRect(bar.x, bar.y, bar.width, bar.height), color);
}

DayPrintLayout printDayGlance(PaintSurface& surface, const DayChart& chart, int startHour) {
    DayPrintLayout layout =
        dayPrintLayout(surface.charHeight() + surface.externalLeading(), surface.averageCharWidth(),
                       chart.date, chart.names, chart.items, startHour);
    for (const DayPrintText& t : layout.texts) surface.drawText(t.x, t.y, fromCp1252(t.text));
    return layout;
}

}  // namespace quorvane
