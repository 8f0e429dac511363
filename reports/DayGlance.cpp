#include "reports/DayGlance.h"

#include <algorithm>
#include <cstdio>

#include "app/GroupLayout.h"

namespace quorvane {

QRect dayBarRect(const _SCHEDITEM& item, int startHour, int quarterWidth, const QRect& area) {
    const int left =
        std::max(area.left() + dayStartQuarter(item, startHour) * quarterWidth, area.left());
    const int right = std::min(area.left() + dayEndQuarter(item, startHour) * quarterWidth,
                               area.left() + area.width());
    return QRect(QPoint(left, area.top()), QPoint(right - 1, area.bottom()));
}

void paintDayRow(PaintSurface& surface, const std::vector<_SCHEDITEM>& items, int position,
                 int startHour, int quarterWidth, const QRect& area, std::uint32_t color) {
    for (const _SCHEDITEM& item : items) {
        if (item.position != position || !dayItemShown(item, startHour)) continue;
        const QRect bar = dayBarRect(item, startHour, quarterWidth, area);
        if (bar.width() > 0) surface.fillRect(bar, color);
    }
}

DayPrintLayout printDayGlance(PaintSurface& surface, const DayDate& date,
                              const std::vector<QString>& names,
                              const std::vector<_SCHEDITEM>& items, int startHour) {
    DayPrintLayout g;
    g.L = surface.charHeight() + surface.externalLeading();
    g.w = surface.averageCharWidth();
    g.x0 = 23 * g.w;
    g.xMax = 71 * g.w;
    const QString scale = QString::fromLatin1(dayScaleText(startHour));
    surface.drawText(g.w, 2 * g.L, QString::fromLatin1(longDateText(date)));
    surface.drawText(g.w, 4 * g.L, QStringLiteral("Day at a Glance"));
    surface.drawText(g.x0 - g.w, 7 * g.L, scale);
    int y = 8 * g.L;
    for (const QString& name : names) {
        surface.drawText(g.w, y, name.rightJustified(20, QLatin1Char(' ')));
        g.rowY.push_back(y);
        y += g.L;
    }
    for (const _SCHEDITEM& item : items) {
        if (item.position < 0 || item.position >= int(names.size()) ||
            !dayItemShown(item, startHour))
            continue;
        const int rowY = g.rowY[std::size_t(item.position)];
        const int from = std::max(g.x0 + dayStartQuarter(item, startHour) * g.w, g.x0);
        const int to = std::min(g.x0 + dayEndQuarter(item, startHour) * g.w, g.xMax);
        for (int x = from; x < to; x += g.w) surface.drawText(x, rowY, QStringLiteral("X"));
    }
    surface.drawText(g.x0 - g.w, 8 * g.L + int(names.size()) * g.L, scale);
    return g;
}

QString readStartHour(const QString& text, int& hour) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < 0 || value > kMaxStartHour) return kStartHourRange;
    hour = value;
    return {};
}

}  // namespace quorvane
