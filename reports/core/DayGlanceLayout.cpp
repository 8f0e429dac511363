#include "reports/core/DayGlanceLayout.h"

#include <algorithm>
#include <cstddef>

namespace quorvane {

DayRect dayBarRect(const _SCHEDITEM& item, int startHour, int quarterWidth, const DayRect& area) {
    const int left = std::max(area.x + dayStartQuarter(item, startHour) * quarterWidth, area.x);
    const int right =
        std::min(area.x + dayEndQuarter(item, startHour) * quarterWidth, area.x + area.width);
    return {left, area.y, right - left, area.height};
}

std::vector<DayRect> dayRowBars(const std::vector<_SCHEDITEM>& items, int position, int startHour,
                                int quarterWidth, const DayRect& area) {
    std::vector<DayRect> bars;
    for (const _SCHEDITEM& item : items) {
        if (item.position != position || !dayItemShown(item, startHour)) continue;
        const DayRect bar = dayBarRect(item, startHour, quarterWidth, area);
        if (bar.width > 0) bars.push_back(bar);
    }
    return bars;
}

DayPrintLayout dayPrintLayout(int lineHeight, int charWidth, const DayDate& date,
                              const std::vector<std::string>& names,
                              const std::vector<_SCHEDITEM>& items, int startHour) {
    DayPrintLayout g;
    g.L = lineHeight;
    g.w = charWidth;
    g.x0 = 23 * g.w;
    g.xMax = 71 * g.w;
    const std::string scale = dayScaleText(startHour);
    g.texts.push_back({g.w, 2 * g.L, longDateText(date)});
    g.texts.push_back({g.w, 4 * g.L, "Day at a Glance"});
    g.texts.push_back({g.x0 - g.w, 7 * g.L, scale});
    int y = 8 * g.L;
    for (const std::string& name : names) {
        // Padded to twenty characters, never cut; one byte is one character.
        g.texts.push_back(
            {g.w, y, std::string(20 - std::min<std::size_t>(name.size(), 20), ' ') + name});
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
        for (int x = from; x < to; x += g.w) g.texts.push_back({x, rowY, "X"});
    }
    g.texts.push_back({g.x0 - g.w, 8 * g.L + int(names.size()) * g.L, scale});
    return g;
}

namespace {

// The blanks of Windows-1252: tab to carriage return, space, and the no-break space.
bool isBlank(char c) {
    const unsigned char b = static_cast<unsigned char>(c);
    return b == 0x20 || (b >= 0x09 && b <= 0x0D) || b == 0xA0;
}

}  // namespace

std::string readStartHour(const std::string& text, int& hour) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin])) ++begin;
    while (end > begin && isBlank(text[end - 1])) --end;
    std::size_t i = begin;
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == end) return kStartHourRange;
    // Digits only; anything past 12 is out of range however long it goes on.
    int value = 0;
    for (; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return kStartHourRange;
        value = std::min(value * 10 + (text[i] - '0'), kMaxStartHour + 1);
    }
    if (negative && value != 0) return kStartHourRange;
    if (value > kMaxStartHour) return kStartHourRange;
    hour = value;
    return {};
}

}  // namespace quorvane
