// The current day as the minute timer drives it: the date at midnight, the other users' stamp,
// when the day list reloads, and what a booking of this user does.
#include "group/CurrentDay.h"

#include <gtest/gtest.h>

#include <map>

#include "base/Clock.h"
#include "group/GroupFile.h"
#include "tests/groupcore/core_testutil.h"

namespace quorvane {
namespace {

class CurrentDayTest : public ::testing::Test {
protected:
    void SetUp() override {
        clock.set(Clock::fromLocal(2024, 3, 15, 9, 30));
        setAppClock(&clock);
        group.count = 2;
        group.rooms[0].name = "Court 1";
        group.rooms[1].name = "Court 2";
        day.setLoader([this](const std::string& key, std::vector<_SCHEDITEM>& out) {
            ++loads;
            out = bookings[key];
            return 0;
        });
    }
    void TearDown() override { setAppClock(nullptr); }

    FixedClock clock;
    GroupFile group;
    CurrentDay day{group};
    std::map<std::string, std::vector<_SCHEDITEM>> bookings{
        {"20240315", {{0, 9, 0, 10, 0, "Smith", "Club"}}},
        {"20240316", {{1, 0, 0, 1, 0, "Jones", ""}}},
        {"20240415", {{0, 9, 0, 10, 0, "April", ""}}},
    };
    int loads = 0;
};

TEST_F(CurrentDayTest, StartLoadsTodayUnlessTheGroupIsNew) {
    day.start(true);
    EXPECT_EQ(day.key(), "20240315");
    EXPECT_TRUE(day.items().empty());
    EXPECT_EQ(loads, 0);
    day.start(false);
    EXPECT_EQ(loads, 1);
    ASSERT_EQ(day.items().size(), 1u);
    EXPECT_EQ(group.rooms[0].occupant1, "Smith");
}

TEST_F(CurrentDayTest, MinuteMovesTheDateAndReloadsOnlyWhenSomethingChanged) {
    struct Case {
        const char* what;
        std::int64_t at;
        const char* key;
        bool dateChanged, reloaded;
        const char* court1;
        const char* court2;
    };
    const Case cases[] = {
        {"same minute, nothing new", Clock::fromLocal(2024, 3, 15, 9, 31), "20240315", false, false,
         "Smith", ""},
        {"the booking ends", Clock::fromLocal(2024, 3, 15, 10, 0), "20240315", false, false, "",
         ""},
        {"midnight", Clock::fromLocal(2024, 3, 16, 0, 0), "20240316", true, true, "", "Jones"},
        {"a month on, same day of the month", Clock::fromLocal(2024, 4, 16, 0, 30), "20240416",
         true, true, "", ""},
        {"back to a day of the list", Clock::fromLocal(2024, 4, 15, 9, 15), "20240415", true, true,
         "April", ""},
    };
    day.start(false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int before = loads;
        clock.set(c.at);
        const CurrentDay::Tick tick = day.minute(true);
        EXPECT_EQ(day.key(), c.key);
        EXPECT_EQ(tick.dateChanged, c.dateChanged);
        EXPECT_EQ(tick.reloaded, c.reloaded);
        EXPECT_EQ(loads - before, c.reloaded ? 1 : 0);
        EXPECT_EQ(group.rooms[0].occupant1, c.court1);
        EXPECT_EQ(group.rooms[1].occupant1, c.court2);
    }
}

TEST_F(CurrentDayTest, AnotherUsersStampReloadsOnlyWhenPolled) {
    groupcore_test::ScratchDir dir;
    const std::string stampFile = dir.filePath("gUpdate.bin");
    ASSERT_TRUE(day.stamp().create(stampFile));
    day.setRefresh(true);
    day.start(false);
    ChangeStamp theirs;
    ASSERT_TRUE(theirs.open(stampFile));

    clock.advance(60);
    theirs.write();
    EXPECT_FALSE(day.minute(false).reloaded) << "a window with refresh off does not poll";
    EXPECT_TRUE(day.minute(true).reloaded);
    EXPECT_FALSE(day.minute(true).reloaded) << "seen already";
}

TEST_F(CurrentDayTest, OwnBookingOfTodayReloadsAndTellsTheOthers) {
    groupcore_test::ScratchDir dir;
    const std::string stampFile = dir.filePath("gUpdate.bin");
    ASSERT_TRUE(day.stamp().create(stampFile));
    day.start(false);
    ChangeStamp theirs;
    ASSERT_TRUE(theirs.open(stampFile));
    clock.advance(60);

    bookings["20240316"].push_back({0, 8, 0, 9, 0, "Later", ""});
    const int before = loads;
    EXPECT_FALSE(day.reservationsChanged({2024, 3, 16}));
    EXPECT_EQ(loads, before);
    EXPECT_FALSE(theirs.check(true, false)) << "another day: no stamp";

    bookings["20240315"] = {{1, 9, 0, 9, 45, "Now", "Here"}};
    EXPECT_TRUE(day.reservationsChanged({2024, 3, 15}));
    EXPECT_EQ(loads, before + 1);
    EXPECT_EQ(group.rooms[0].occupant1, "") << "the cancelled booking's line is cleared";
    EXPECT_EQ(group.rooms[1].occupant1, "Now");
    EXPECT_TRUE(theirs.check(true, false));
}

TEST_F(CurrentDayTest, WithoutALoaderEveryDayIsEmpty) {
    CurrentDay bare{group};
    bare.start(false);
    EXPECT_TRUE(bare.items().empty());
    clock.set(Clock::fromLocal(2024, 3, 16, 0, 0));
    EXPECT_TRUE(bare.minute(true).reloaded);
    EXPECT_EQ(bare.key(), "20240316");
    EXPECT_TRUE(bare.items().empty());
}

}  // namespace
}  // namespace quorvane
