#include "group/Room.h"

#include <algorithm>
#include <cstdio>

namespace quorvane {

bool CRoom::Serialize(ArchiveReader& ar) {
    clearWorkingValues();
    defaultTime = 0;
    if (!ar.readString(name) || !ar.readString(description)) return false;
    if (carriesDefaultTime && !ar.readU32(defaultTime)) return false;
    return true;
}

void CRoom::Serialize(ArchiveWriter& ar) const {
    ar.writeString(name);
    ar.writeString(description);
    ar.writeU32(defaultTime);
}

std::string storedFacilityName(std::string_view name) {
    name = name.substr(0, std::min(name.find('\0'), CRoom::kMaxName));
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    return std::string(name);
}

void CRoom::clearWorkingValues() {
    occupant1.clear();
    occupant2.clear();
    utilizationSelected = 0;
    utilization.fill(0.0);
}

void CRoom::clear() {
    name.clear();
    description.clear();
    defaultTime = 0;
    clearWorkingValues();
}

std::string formatDefaultTime(std::uint32_t minutes) {
    char buf[32];
    if (minutes < 60)
        std::snprintf(buf, sizeof buf, "%2u", unsigned(minutes));
    else
        std::snprintf(buf, sizeof buf, "%2u:%02u", unsigned(minutes / 60), unsigned(minutes % 60));
    return buf;
}

namespace {

// Leading blanks, then decimal digits up to the first other character. Saturates instead of
// overflowing, so an absurdly long number is simply too large.
std::uint64_t leadingNumber(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    std::uint64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + std::uint64_t(s[i] - '0');
        if (v > 0xFFFFFFFFull) v = 0xFFFFFFFFull + 1;
    }
    return v;
}

}  // namespace

std::optional<std::uint32_t> parseDefaultTime(std::string_view text) {
    const std::size_t colon = text.rfind(':');
    std::uint64_t value = 0;
    if (colon == std::string_view::npos) {
        value = leadingNumber(text);
    } else {
        const std::uint64_t minutes = leadingNumber(text.substr(colon + 1));
        if (minutes > 59) return std::nullopt;
        std::uint64_t hours = 0;
        if (colon > 0) {
            hours = leadingNumber(text.substr(0, colon));
            if (hours > 23) return std::nullopt;
        }
        value = hours * 60 + minutes;
    }
    // The minutes field is stored as 32 bits; more cannot be a reservation length. (The
    // historical -1 invalid marker becomes 0xFFFFFFFF here and is refused the same way.)
    if (value >= 0xFFFFFFFFull) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

}  // namespace quorvane
