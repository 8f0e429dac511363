#include "base/Clock.h"

#include <atomic>
#include <ctime>

namespace quorvane {

LocalTime Clock::toLocal(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    LocalTime lt;
    if (!localtime_r(&t, &tm)) return lt;  // out of the C library's range: the epoch
    lt.year = tm.tm_year + 1900;
    lt.month = tm.tm_mon + 1;
    lt.day = tm.tm_mday;
    lt.weekday = tm.tm_wday;
    lt.hour = tm.tm_hour;
    lt.minute = tm.tm_min;
    lt.second = tm.tm_sec;
    return lt;
}

std::int64_t Clock::fromLocal(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;  // let the C library decide whether summer time applies
    return static_cast<std::int64_t>(std::mktime(&tm));
}

std::int64_t SystemClock::now() const {
    return static_cast<std::int64_t>(std::time(nullptr));
}

namespace {
SystemClock g_systemClock;
// Atomic: the engine's writer threads read the clock while a test may be installing another.
std::atomic<Clock*> g_clock{nullptr};
}  // namespace

Clock& appClock() {
    Clock* c = g_clock.load(std::memory_order_acquire);
    return c ? *c : g_systemClock;
}
void setAppClock(Clock* clock) {
    g_clock.store(clock, std::memory_order_release);
}

}  // namespace quorvane
