// The group window's drawing, recorded with W = 8 and L = 16 (character height 14 plus an
// external leading of 2): header, icons, colours, occupants and the scrolling extent.
#include <gtest/gtest.h>

#include "app/GroupLayout.h"
#include "group/GroupFile.h"
#include "view_fakes.h"

namespace quorvane {
namespace {

using testing::RecordingSurface;
constexpr int W = 8, L = 16;

GroupFile groupOf(int count, std::string type = "Tennis Courts", std::string desc = "") {
    GroupFile g;
    g.typeName = std::move(type);
    g.description = std::move(desc);
    g.count = count;
    for (int i = 0; i < count; ++i) g.rooms[std::size_t(i)].name = "Court " + std::to_string(i + 1);
    return g;
}

TEST(GroupLayout, MetricsComeFromTheFontInUnitsOfWAndL) {
    const GroupMetrics m = GroupMetrics::from(L, W);
    EXPECT_EQ(m.iconWidth, 22 * W);
    EXPECT_EQ(m.iconHeight, 4 * L);
    EXPECT_EQ(m.columnGap, 5 * W);
    EXPECT_EQ(m.rowGap, L + L / 2);
    EXPECT_EQ(m.leftMargin, 3 * W);
    EXPECT_EQ(m.topMargin, 3 * L);
    EXPECT_EQ(GroupMetrics::from(15, 7).rowGap, 22) << "integer halves";
    EXPECT_EQ(groupTotalSize(GroupMetrics{}, 5), QSize(100, 100)) << "before the first drawing";
    EXPECT_EQ(groupTotalSize(m, 0), QSize(79 * W, 4 * L + 3 * L));
    // Six and seven facilities have the same height: room for a third row either way.
    const int seven = 3 * 4 * L + 2 * (L + L / 2) + 3 * L;
    EXPECT_EQ(groupTotalSize(m, 7).height(), seven);
    EXPECT_EQ(groupTotalSize(m, 6).height(), seven);
    EXPECT_EQ(groupTotalSize(m, 5).height(), 2 * 4 * L + (L + L / 2) + 3 * L);
}

TEST(GroupLayout, HeaderTextAndItsThreePositions) {
    struct Case {
        int count;
        std::string type, desc;
        QString text;
    } cases[] = {
        {0, "Tennis Courts", "", "0 Tennis Courts  (click icon for reservations)"},
        {1, "Tennis Courts", "North Park",
         "1 Tennis Court - North Park  (click icon for reservations)"},
        {1, "Glasss", "", "1 Gla  (click icon for reservations)"},
        {2, "Pools", "", "2 Pools  (click icon for reservations)"},
        {7, "Pools", "East", "7 Pools - East  (click icon for reservations)"},
    };
    for (const Case& c : cases) {
        RecordingSurface s;
        const GroupFile g = groupOf(c.count, c.type, c.desc);
        drawGroup(s, g, {});
        ASSERT_FALSE(s.texts.empty());
        const auto& header = s.texts.front();
        EXPECT_EQ(header.text, c.text);
        EXPECT_EQ(header.y, L);
        EXPECT_EQ(header.color, std::int64_t(kHeaderColor)) << "blue";
        const int width = W * int(c.text.size());
        const int expected = c.count <= 1   ? 3 * W
                             : c.count == 2 ? 30 * W - width / 2
                                            : 41 * W - width / 2;
        EXPECT_EQ(header.x, std::max(expected, W)) << c.count;
    }
    EXPECT_EQ(groupHeaderX(3, 1000, W), W) << "never left of one character";
}

TEST(GroupLayout, IconsInRowsOfThreeWithTheSecondAndThirdWider) {
    RecordingSurface s;
    GroupFile g = groupOf(7);
    GroupDrawOptions options;
    options.openIcon = 4;
    options.background = 0x0000FFFF;
    const GroupDrawing d = drawGroup(s, g, options);
    ASSERT_EQ(s.rects.size(), 7u);
    const int x0 = 3 * W, step = 22 * W + 5 * W, rowStep = 4 * L + L + L / 2;
    EXPECT_EQ(d.icons[0], QRect(x0, 3 * L, 22 * W, 4 * L));
    EXPECT_EQ(d.icons[1], QRect(x0 + step, 3 * L, 23 * W, 4 * L));
    EXPECT_EQ(d.icons[2], QRect(x0 + 2 * step, 3 * L, 23 * W, 4 * L));
    EXPECT_EQ(d.icons[3], QRect(x0, 3 * L + rowStep, 22 * W, 4 * L));
    EXPECT_EQ(d.icons[6], QRect(x0, 3 * L + 2 * rowStep, 22 * W, 4 * L));
    EXPECT_TRUE(d.icons[7].isNull()) << "slots past the count have no icon";
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(s.rects[std::size_t(i)], d.icons[std::size_t(i)]);
        EXPECT_EQ(s.fills[std::size_t(i)].rect, d.icons[std::size_t(i)].adjusted(2, 2, -2, -2));
        EXPECT_EQ(s.fills[std::size_t(i)].color, i == 4 ? 0x00C0C0C0u : 0x0000FFFFu);
    }
    // Names centred on the icon width (22 W even for the wider icons), half a line down.
    const auto* name = s.find("Court 2");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->x, x0 + step + (22 * W - 7 * W) / 2);
    EXPECT_EQ(name->y, 3 * L + L / 2);
    EXPECT_LT(name->color, 0) << "names in the surface's own colour";
    EXPECT_EQ(d.totalSize, QSize(79 * W, 3 * 4 * L + 2 * (L + L / 2) + 3 * L));
}

TEST(GroupLayout, OccupantLinesCutTo20InTheOccupiedColour) {
    RecordingSurface s;
    GroupFile g = groupOf(2);
    g.rooms[0].name = "Court 1   ";                  // trailing blanks are not drawn
    g.rooms[0].occupant1 = "Abcdefghijklmnopqrstu";  // 21 characters
    g.rooms[0].occupant2 = "Riverside Tennis Club of the North";
    g.rooms[1].occupant1 = "";
    g.rooms[1].occupant2 = "stale organisation";  // not shown while line 1 is empty
    GroupDrawOptions options;
    options.occupied = 0x000000FF;
    drawGroup(s, g, options);
    const auto* name = s.find("Court 1");
    ASSERT_NE(name, nullptr);
    const auto* line1 = s.find("Abcdefghijklmnopqrst");
    ASSERT_NE(line1, nullptr);
    EXPECT_EQ(line1->y, name->y + L);
    EXPECT_EQ(line1->x, 3 * W + (22 * W - 20 * W) / 2);
    EXPECT_EQ(line1->color, 0x000000FF);
    const auto* line2 = s.find("Riverside Tennis Clu");
    ASSERT_NE(line2, nullptr);
    EXPECT_EQ(line2->y, name->y + 2 * L);
    EXPECT_EQ(line2->color, 0x000000FF);
    EXPECT_EQ(s.find("stale organisation"), nullptr);
    EXPECT_EQ(s.texts.size(), 1u + 2 + 2) << "header, two names, two occupant lines";
}

}  // namespace
}  // namespace quorvane
