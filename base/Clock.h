#pragma once
// Every read of "now" in the program goes through a Clock, so tests can stand at any minute.
#include <cstdint>

namespace quorvane {

struct LocalTime {
    int year = 1970;  // e.g. 2026
    int month = 1;    // 1-12
    int day = 1;      // 1-31
    int weekday = 4;  // 0 = Sunday ... 6 = Saturday
    int hour = 0;     // 0-23
    int minute = 0;   // 0-59
    int second = 0;   // 0-60
};

class Clock {
public:
    virtual ~Clock() = default;
    // Seconds since 1970-01-01 00:00 UTC.
    virtual std::int64_t now() const = 0;
    LocalTime localNow() const { return toLocal(now()); }
    // Converts with the process's time zone (localtime_r).
    static LocalTime toLocal(std::int64_t seconds);
    // The inverse for a local wall-clock time (mktime, DST resolved by the C library).
    static std::int64_t fromLocal(int year, int month, int day, int hour = 0, int minute = 0,
                                  int second = 0);
};

class SystemClock final : public Clock {
public:
    std::int64_t now() const override;
};

// A clock that stands still until a test moves it.
class FixedClock final : public Clock {
public:
    explicit FixedClock(std::int64_t seconds = 0) : now_(seconds) {}
    std::int64_t now() const override { return now_; }
    void set(std::int64_t seconds) { now_ = seconds; }
    void advance(std::int64_t seconds) { now_ += seconds; }

private:
    std::int64_t now_;
};

// The clock the application uses; the system clock unless a test installs another.
Clock& appClock();
void setAppClock(Clock* clock);  // nullptr restores the system clock

}  // namespace quorvane
