// The engine's clock: every "today" the engine writes (header date bytes) comes from here.
#pragma once

#include <cstdint>
#include <functional>

// The program's one clock (base/Clock.h, appClock()) in the engine's terms. Seconds since
// 1970; setting a function installs it as that clock, an empty function restores the system one.
void clock4set(std::function<std::int64_t()> now);
std::int64_t clock4now();
// Local calendar date of clock4now().
void clock4today(int* year, int* month, int* day);
