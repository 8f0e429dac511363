#include "base/Clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using namespace quorvane;

namespace {

class ClockTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        if (tz) oldTz_ = tz, hadTz_ = true;
        ::setenv("TZ", "Europe/Amsterdam", 1);
        ::tzset();
    }
    void TearDown() override {
        if (hadTz_)
            ::setenv("TZ", oldTz_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
        setAppClock(nullptr);
    }
    std::string oldTz_;
    bool hadTz_ = false;
};

TEST_F(ClockTest, LocalTimeBothWays) {
    // 2026-03-29 is the spring-forward day in that zone: 01:59:59 UTC is 03:59:59 local.
    const std::int64_t t = 1774749599;
    const LocalTime lt = Clock::toLocal(t);
    EXPECT_EQ(lt.year, 2026);
    EXPECT_EQ(lt.month, 3);
    EXPECT_EQ(lt.day, 29);
    EXPECT_EQ(lt.weekday, 0);  // Sunday
    EXPECT_EQ(lt.hour, 3);
    EXPECT_EQ(lt.minute, 59);
    EXPECT_EQ(lt.second, 59);
    EXPECT_EQ(Clock::fromLocal(2026, 3, 29, 3, 59, 59), t);
    // Midnight local of a winter day is 23:00 UTC the day before.
    EXPECT_EQ(Clock::fromLocal(2026, 1, 1), 1767222000);
    EXPECT_EQ(Clock::toLocal(1767222000).hour, 0);
}

TEST_F(ClockTest, AppClockIsInjectable) {
    FixedClock fixed(Clock::fromLocal(2026, 12, 8, 23, 59, 0));
    setAppClock(&fixed);
    EXPECT_EQ(appClock().localNow().day, 8);
    fixed.advance(60);
    EXPECT_EQ(appClock().localNow().day, 9);
    EXPECT_EQ(appClock().localNow().hour, 0);
    setAppClock(nullptr);
    const std::int64_t sys = appClock().now();
    EXPECT_LE(std::llabs(sys - std::int64_t(std::time(nullptr))), 2);
}

}  // namespace
