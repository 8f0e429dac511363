#pragma once
// printf into a std::string: the program's one formatter of stored texts and messages, which
// are Windows-1252 bytes like the tables.
#include <string>

namespace quorvane {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace quorvane
