// The current day: occupancy at its boundaries, the minute timer's first interval, the purge
// cut-offs, the deletion date, and the change-stamp file's bytes and polling.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "group/ChangeStamp.h"
#include "base/Clock.h"
#include "group/DayState.h"
#include "tests/groupcore/core_testutil.h"

namespace quorvane {
namespace {

_SCHEDITEM item(int slot, int sh, int sm, int eh, int em, std::string last, std::string org = "") {
    return {slot, sh, sm, eh, em, std::move(last), std::move(org)};
}

TEST(Occupancy, ShowsFromTheStartMinuteUntilBeforeTheEndMinute) {
    std::array<CRoom, 15> rooms{};
    const std::vector<_SCHEDITEM> day = {item(0, 9, 0, 10, 0, "Smith", "Club")};
    EXPECT_TRUE(updateOccupancy(rooms, day, 859, true));
    EXPECT_EQ(rooms[0].occupant1, "");
    EXPECT_TRUE(updateOccupancy(rooms, day, 900, false));
    EXPECT_EQ(rooms[0].occupant1, "Smith");
    EXPECT_EQ(rooms[0].occupant2, "Club");
    EXPECT_FALSE(updateOccupancy(rooms, day, 959, false)) << "nothing new at 9:59";
    EXPECT_EQ(rooms[0].occupant1, "Smith");
    EXPECT_TRUE(updateOccupancy(rooms, day, 1000, false));
    EXPECT_EQ(rooms[0].occupant1, "") << "blank from 10:00 on";
}

TEST(Occupancy, FirstListedWinsAndRecomputeAllClearsCancelledOnes) {
    std::array<CRoom, 15> rooms{};
    std::vector<_SCHEDITEM> day = {item(1, 9, 0, 11, 0, "Early"), item(1, 9, 30, 10, 0, "Later"),
                                   item(14, 9, 0, 9, 45, "Last slot"),
                                   item(15, 9, 0, 10, 0, "Nowhere"),
                                   item(-1, 9, 0, 10, 0, "Nowhere")};
    updateOccupancy(rooms, day, 930, true);
    EXPECT_EQ(rooms[1].occupant1, "Early");
    EXPECT_EQ(rooms[14].occupant1, "Last slot");
    // Another user cancelled "Early": without recompute-all it would stay.
    day.erase(day.begin());
    EXPECT_FALSE(updateOccupancy(rooms, day, 931, false));
    EXPECT_EQ(rooms[1].occupant1, "Early");
    EXPECT_TRUE(updateOccupancy(rooms, day, 931, true));
    EXPECT_EQ(rooms[1].occupant1, "Later");
}

TEST(MinuteTimer, FirstIntervalEndsOnTheNextMinuteUnlessUnderFiveSeconds) {
    EXPECT_EQ(firstTimerInterval(50), 10000) << "10:42:50 ticks at 10:43:00";
    EXPECT_EQ(firstTimerInterval(57), 60000) << "3000 ms is under 5000";
    EXPECT_EQ(firstTimerInterval(55), 5000);
    EXPECT_EQ(firstTimerInterval(0), 60000);
    EXPECT_EQ(firstTimerInterval(-1), 61000) << "time unreadable";
}

class LocalZone : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = getenv("TZ") ? getenv("TZ") : "";
        setenv("TZ", "Europe/Amsterdam", 1);
        tzset();
    }
    void TearDown() override {
        if (old_.empty())
            unsetenv("TZ");
        else
            setenv("TZ", old_.c_str(), 1);
        tzset();
    }
    std::string old_;
};

TEST_F(LocalZone, PurgeCutOffKeepsTheDayExactlyThatManyDaysBack) {
    const std::int64_t closing = Clock::fromLocal(2024, 3, 15, 14, 30);
    EXPECT_EQ(purgeCutoffKey(closing, 30), "20240214") << "a booking of 14 Feb stays";
    EXPECT_EQ(purgeCutoffKey(closing, 0), "");
    EXPECT_EQ(purgeCutoffKey(closing, -1), "");
    // 31 days when the key is empty; 10 days as set.
    EXPECT_EQ(daysBeforeKey(closing, 31), "20240213");
    const LocalTime proposed = Clock::toLocal(proposedDeletionDate(closing, -1));
    EXPECT_EQ(dateKey(proposed.year, proposed.month, proposed.day), "20240213");
    const LocalTime ten = Clock::toLocal(proposedDeletionDate(closing, 10));
    EXPECT_EQ(dateKey(ten.year, ten.month, ten.day), "20240305");
}

TEST_F(LocalZone, DeletionDateMayBeTodayButNotTomorrow) {
    const std::int64_t now = Clock::fromLocal(2024, 3, 31, 1, 30);  // the night clocks go forward
    EXPECT_FALSE(deletionDateInFuture(Clock::fromLocal(2024, 3, 31, 23, 59), now));
    EXPECT_FALSE(deletionDateInFuture(Clock::fromLocal(2024, 3, 1), now));
    EXPECT_TRUE(deletionDateInFuture(Clock::fromLocal(2024, 4, 1), now));
    EXPECT_EQ(localMidnight(Clock::fromLocal(2024, 3, 31, 12, 0)), Clock::fromLocal(2024, 3, 31));
}

class StampTest : public LocalZone {
protected:
    groupcore_test::ScratchDir dir;
    FixedClock clock;
    void SetUp() override {
        LocalZone::SetUp();
        clock.set(Clock::fromLocal(2024, 3, 15, 10, 15, 7));
        setAppClock(&clock);
    }
    void TearDown() override {
        setAppClock(nullptr);
        LocalZone::TearDown();
    }
    std::string file() const { return dir.filePath("Tennis CourtsUpdate.bin"); }
    std::string bytes() const { return groupcore_test::readBytes(file()); }
    static std::int32_t at(const std::string& b, int i) {
        std::int32_t v;
        std::memcpy(&v, b.data() + 24 + 4 * i, 4);
        return v;
    }
};

TEST_F(StampTest, CreateWritesSixtyBytesOfZerosAndTheLocalTime) {
    ChangeStamp stamp;
    ASSERT_TRUE(stamp.create(file()));
    const std::string b = bytes();
    ASSERT_EQ(b.size(), 60u);
    EXPECT_EQ(b.substr(0, 24), std::string(24, '\0'));
    // second, minute, hour, day, month 0-11, years since 1900, weekday, day of year, DST.
    const std::int32_t expected[9] = {7, 15, 10, 15, 2, 124, 5, 74, 0};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(at(b, i), expected[i]) << i;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(stamp.lastSeen().data()), 60), b);
}

TEST_F(StampTest, ChecksSeeOtherUsersStampsOnlyWithRefreshOn) {
    ChangeStamp mine, theirs;
    ASSERT_TRUE(mine.create(file()));
    ASSERT_TRUE(theirs.open(file()));
    EXPECT_EQ(theirs.lastSeen(), mine.lastSeen()) << "opening reads the stamp";
    EXPECT_FALSE(theirs.check(true, false));

    clock.advance(60);
    mine.write();
    EXPECT_FALSE(theirs.check(false, false)) << "refresh off: the file is not read";
    EXPECT_TRUE(theirs.check(true, false));
    EXPECT_FALSE(theirs.check(true, false)) << "seen now";

    // Two changes within one second leave identical stamps: the second is not seen.
    clock.advance(60);
    mine.write();
    EXPECT_TRUE(theirs.check(true, true)) << "force flush reopens and reads";
    mine.write();
    EXPECT_FALSE(theirs.check(true, true));
    EXPECT_TRUE(theirs.isOpen());
}

TEST_F(StampTest, MissingUnreadableOrVanishedStampsNeverFail) {
    ChangeStamp stamp;
    ASSERT_TRUE(stamp.open(file())) << "a missing stamp is created";
    EXPECT_EQ(bytes().size(), 60u);
    // A short file: the last seen stamp reads as zeros and the group carries on.
    ASSERT_TRUE(groupcore_test::writeBytes(file(), "abc"));
    ChangeStamp shortOne;
    ASSERT_TRUE(shortOne.open(file()));
    EXPECT_EQ(shortOne.lastSeen(), ChangeStamp::Bytes{});
    EXPECT_FALSE(shortOne.check(true, false)) << "zeros read, zeros seen";
    // The file vanishes under a force-flush poll: zeros, a change once, then nothing.
    ChangeStamp gone;
    ASSERT_TRUE(gone.create(file()));
    ASSERT_EQ(::unlink(file().c_str()), 0);
    EXPECT_TRUE(gone.check(true, true));
    EXPECT_FALSE(gone.isOpen());
    EXPECT_EQ(gone.readStamp(), ChangeStamp::Bytes{});
    EXPECT_FALSE(gone.check(true, true));
    gone.write();  // no file: nothing happens, no crash
    // A folder that does not exist: no stamp, no failure.
    ChangeStamp nowhere;
    EXPECT_FALSE(nowhere.open(dir.filePath("no/such/folder/xUpdate.bin")));
    EXPECT_FALSE(nowhere.check(true, true));
}

// Anyone with write access to the group folder may plant a link or a special file under the
// stamp's name: the stamp is then neither written through it nor made where it points.
TEST_F(StampTest, LinksAndSpecialFilesInTheStampsPlaceAreLeftAlone) {
    const std::string victim = dir.filePath("victim");
    ASSERT_TRUE(groupcore_test::writeBytes(victim, std::string(80, 'v')));
    struct Case {
        const char* what;
        int (*plant)(const std::string& victim, const std::string& stamp);
    };
    const Case cases[] = {
        {"link to a file", [](auto& v, auto& s) { return ::symlink(v.c_str(), s.c_str()); }},
        {"dangling link", [](auto& v, auto& s) { return ::symlink((v + "2").c_str(), s.c_str()); }},
        {"second name", [](auto& v, auto& s) { return ::link(v.c_str(), s.c_str()); }},
        {"FIFO", [](auto&, auto& s) { return ::mkfifo(s.c_str(), 0600); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ::unlink(file().c_str());
        ASSERT_EQ(c.plant(victim, file()), 0);
        ChangeStamp opened, created;
        EXPECT_FALSE(opened.open(file()));
        EXPECT_FALSE(created.create(file()));
        opened.write();
        EXPECT_EQ(groupcore_test::readBytes(victim), std::string(80, 'v'));
        EXPECT_NE(::access((victim + "2").c_str(), F_OK), 0);
    }
}

}  // namespace
}  // namespace quorvane
