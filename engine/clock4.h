// The engine's clock: every "today" the engine writes (header date bytes) comes from here.
#pragma once

#include <cstdint>
#include <functional>

// Seconds since 1970. An empty function restores the system clock (time(nullptr)).
void clock4set(std::function<std::int64_t()> now);
std::int64_t clock4now();
// Local calendar date of clock4now().
void clock4today(int* year, int* month, int* day);
