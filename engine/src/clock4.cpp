#include "engine/clock4.h"

#include <ctime>
#include <mutex>

namespace {
std::mutex clockMutex;
std::function<std::int64_t()> clockNow;
}  // namespace

void clock4set(std::function<std::int64_t()> now) {
    std::lock_guard<std::mutex> g(clockMutex);
    clockNow = std::move(now);
}

std::int64_t clock4now() {
    std::lock_guard<std::mutex> g(clockMutex);
    if (clockNow) return clockNow();
    return static_cast<std::int64_t>(std::time(nullptr));
}

void clock4today(int* year, int* month, int* day) {
    std::time_t t = static_cast<std::time_t>(clock4now());
    std::tm tm{};
    localtime_r(&t, &tm);
    if (year) *year = tm.tm_year + 1900;
    if (month) *month = tm.tm_mon + 1;
    if (day) *day = tm.tm_mday;
}
