#include "engine/clock4.h"

#include <mutex>

#include "base/Clock.h"

// The engine reads the program's one clock, so the dates it writes into table headers agree
// with the day the program shows, also when a test or the stress tool stands the clock still.
namespace {

class FunctionClock final : public quorvane::Clock {
public:
    void set(std::function<std::int64_t()> now) {
        std::lock_guard<std::mutex> g(mutex_);
        now_ = std::move(now);
    }
    std::int64_t now() const override {
        std::lock_guard<std::mutex> g(mutex_);
        return now_();
    }

private:
    mutable std::mutex mutex_;
    std::function<std::int64_t()> now_;
};

FunctionClock& functionClock() {
    static FunctionClock clock;
    return clock;
}

}  // namespace

void clock4set(std::function<std::int64_t()> now) {
    if (!now) {
        quorvane::setAppClock(nullptr);
        return;
    }
    functionClock().set(std::move(now));
    quorvane::setAppClock(&functionClock());
}

std::int64_t clock4now() {
    return quorvane::appClock().now();
}

void clock4today(int* year, int* month, int* day) {
    const quorvane::LocalTime lt = quorvane::Clock::toLocal(clock4now());
    if (year) *year = lt.year;
    if (month) *month = lt.month;
    if (day) *day = lt.day;
}
