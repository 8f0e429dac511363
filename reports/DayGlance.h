#pragma once
// The day at a glance: one day's reservations of every facility as bars over twelve hours,
// on the screen and printed as a character grid. The rules and both drawings work on a
// PaintSurface, so they are checked without a window or a printer.
#include <QRect>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "group/DayState.h"
#include "tables/Calendar.h"

namespace quorvane {

class PaintSurface;

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
