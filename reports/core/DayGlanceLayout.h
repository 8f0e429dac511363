#pragma once
// Where the day at a glance puts things, as plain numbers and Windows-1252 texts: the bar of an
// item in a row's area, and the printed chart as text placements from the surface's metrics.
// The window and the printer only paint what these return, so tests check every position
// without Qt.
#include <string>
#include <vector>

#include "reports/core/DayChart.h"

namespace quorvane {

// A rectangle from its left and top edge; right and bottom are x + width and y + height, one
// past the last pixel.
struct DayRect {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const DayRect&, const DayRect&) = default;
};

// The bar of a shown item in a row's drawing area: every quarter it touches, `quarterWidth`
// pixels each, cut to the area; the area's top and height are the bar's. The width is not
// positive when the item lies wholly left of the area.
DayRect dayBarRect(const _SCHEDITEM& item, int startHour, int quarterWidth, const DayRect& area);

// The bars of facility `position` in `area`, in the items' order: its shown items whose bar
// has a width.
std::vector<DayRect> dayRowBars(const std::vector<_SCHEDITEM>& items, int position, int startHour,
                                int quarterWidth, const DayRect& area);

// A text whose line box starts at (x, y) (top, not baseline); Windows-1252 bytes.
struct DayPrintText {
    int x = 0, y = 0;
    std::string text;
    friend bool operator==(const DayPrintText&, const DayPrintText&) = default;
};

// The printed chart in the order it is drawn: the date at (w, 2 L), the title at (w, 4 L), the
// scale at (x0 - w, 7 L), the names ("%20s") from 8 L one line apart, one "X" per quarter of
// each shown item of a named facility, and the scale again under the names. L is the line
// height (character height + external leading), w the average character width, x0 = 23 w the
// first quarter and xMax = 71 w the end of the last.
struct DayPrintLayout {
    int L = 0, w = 0, x0 = 0, xMax = 0;
    std::vector<int> rowY;  // per facility
    std::vector<DayPrintText> texts;
};
DayPrintLayout dayPrintLayout(int lineHeight, int charWidth, const DayDate& date,
                              const std::vector<std::string>& names,
                              const std::vector<_SCHEDITEM>& items, int startHour);

// The starting-hour field (Windows-1252): "" and the hour, or the range message for anything
// but an integer from 0 to 12, blanks around it allowed.
inline constexpr char kStartHourRange[] = "Enter an integer between 0 and 12.";
std::string readStartHour(const std::string& text, int& hour);

}  // namespace quorvane
