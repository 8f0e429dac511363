// The day at a glance's rules without Qt: the scale, which reservations show and where their
// bars go, the printed grid's placements, and the starting-hour field.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "reports/core/DayChart.h"
#include "reports/core/DayGlanceLayout.h"

namespace quorvane::testing {
namespace {

_SCHEDITEM item(int position, int sh, int sm, int eh, int em) {
    return {position, sh, sm, eh, em, "Lee", ""};
}

TEST(DayScale, FiftyCharactersFromTheStartHour) {
    const std::string full = kDayScale;
    ASSERT_EQ(full.size(), 98u);
    EXPECT_EQ(dayScaleText(0), full.substr(0, 50));
    EXPECT_EQ(dayScaleText(0).back(), 'N');
    EXPECT_EQ(dayScaleText(8), " 8...9..10..11...N...1...2...3...4...5...6...7...8");
    const std::string at12 = dayScaleText(12);
    EXPECT_EQ(at12, " " + full.substr(49));
    EXPECT_EQ(at12.substr(0, 2), " N");
    EXPECT_EQ(at12.back(), 'M');
    EXPECT_FALSE(lowerScaleShown(8));
    EXPECT_TRUE(lowerScaleShown(9));
}

TEST(DayBars, ShownItemsCoverEveryQuarterTheyTouch) {
    const DayRect area{0, 0, 480, 20};  // quarter width 10
    const struct {
        _SCHEDITEM in;
        int start;
        bool shown;
        int left, right;  // x of the first pixel and one past the last
    } cases[] = {
        {item(0, 7, 30, 8, 20), 8, false, 0, 0},
        {item(0, 7, 30, 9, 0), 8, true, 0, 40},  // to the end of the 08:45 quarter
        {item(0, 19, 50, 21, 0), 8, true, 470, 480},
        {item(0, 20, 0, 21, 0), 8, false, 0, 0},
        {item(0, 6, 0, 21, 0), 8, true, 0, 480},
        {item(0, 8, 5, 8, 10), 8, true, 0, 10},
        {item(0, 10, 10, 10, 50), 8, true, 80, 120},
        {item(0, 23, 0, 23, 59), 12, true, 440, 480},
        {item(0, 0, 0, 0, 15), 0, true, 0, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.in.startHH) + ":" + std::to_string(c.in.startMM) + "-" +
                     std::to_string(c.in.endHH) + ":" + std::to_string(c.in.endMM));
        EXPECT_EQ(dayItemShown(c.in, c.start), c.shown);
        if (!c.shown) continue;
        const DayRect bar = dayBarRect(c.in, c.start, 10, area);
        EXPECT_EQ(bar.x, c.left);
        EXPECT_EQ(bar.x + bar.width, c.right);
        EXPECT_EQ(bar.y, 0);
        EXPECT_EQ(bar.y + bar.height - 1, 19);
    }
    // A row has bars only for its own facility's shown items.
    const std::vector<DayRect> bars = dayRowBars(
        {item(0, 9, 0, 10, 0), item(1, 9, 0, 10, 0), item(1, 20, 0, 21, 0), item(1, 12, 0, 12, 30)},
        1, 8, 10, area);
    ASSERT_EQ(bars.size(), 2u);
    EXPECT_EQ(bars[0], (DayRect{40, 0, 40, 20}));
    EXPECT_EQ(bars[1], (DayRect{160, 0, 20, 20}));
}

TEST(DayPrint, CharacterGridPositions) {
    const std::vector<std::string> names = {"Court 1", "Court 2"};
    const DayPrintLayout g = dayPrintLayout(
        16, 8, {2026, 12, 8}, names,
        {item(0, 7, 30, 9, 0), item(1, 19, 50, 21, 0), item(1, 7, 30, 8, 20), item(5, 9, 0, 10, 0)},
        8);
    EXPECT_EQ(g.x0, 184);
    EXPECT_EQ(g.xMax, 568);
    auto at = [&](const std::string& text) -> std::pair<int, int> {
        for (const DayPrintText& t : g.texts)
            if (t.text == text) return {t.x, t.y};
        return {-1, -1};
    };
    EXPECT_EQ(at("Tuesday, December 08, 2026"), std::pair(8, 32));
    EXPECT_EQ(at("Day at a Glance"), std::pair(8, 64));
    EXPECT_EQ(at("             Court 2"), std::pair(8, 144));
    std::vector<std::pair<int, int>> scales, xs;
    for (const auto& t : g.texts) {
        if (t.text == dayScaleText(8)) scales.push_back({t.x, t.y});
        if (t.text == "X") xs.push_back({t.x, t.y});
    }
    EXPECT_EQ(scales, (std::vector<std::pair<int, int>>{{176, 112}, {176, 160}}));
    EXPECT_EQ(xs, (std::vector<std::pair<int, int>>{
                      {184, 128}, {192, 128}, {200, 128}, {208, 128}, {560, 144}}));
}

TEST(DayFields, StartHourRange) {
    const std::pair<const char*, int> cases[] = {{"0", 0},   {"12", 12}, {" 7 ", 7}, {"13", -1},
                                                 {"-1", -1}, {"", -1},   {"8a", -1}};
    for (auto [text, want] : cases) {
        int hour = 99;
        const std::string message = readStartHour(text, hour);
        EXPECT_EQ(message.empty(), want >= 0) << text;
        EXPECT_EQ(hour, want >= 0 ? want : 99) << text;
        if (want < 0) {
            EXPECT_EQ(message, "Enter an integer between 0 and 12.");
        }
    }
    EXPECT_EQ(longDateText({2024, 2, 29}), "Thursday, February 29, 2024");
}

}  // namespace
}  // namespace quorvane::testing
