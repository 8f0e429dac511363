// Feeds arbitrary bytes to the group-file reader. Whatever it accepts must write back to bytes
// that read as the same group, and the rewritten file must be stable; a file with bytes
// after its end is refused (it was not read whole).
#include <cstdint>
#include <cstdlib>
#include <span>

#include "group/GroupFile.h"

using namespace quorvane;

namespace {

bool sameGroup(const GroupFile& a, const GroupFile& b) {
    if (a.count != b.count || a.description != b.description || a.typeName != b.typeName ||
        a.reserved != b.reserved || !(a.window == b.window))
        return false;
    for (int i = 0; i < kMaxFacilities; ++i) {
        const CRoom& x = a.rooms[std::size_t(i)];
        const CRoom& y = b.rooms[std::size_t(i)];
        if (x.name != y.name || x.description != y.description || x.defaultTime != y.defaultTime)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    GroupFile g;
    const GroupFileResult r = readGroupBytes(std::span<const std::uint8_t>(data, size), g);
    if (!r.ok()) {
        // A refused file leaves the group untouched.
        if (g.count != 0 || !g.typeName.empty() || !g.description.empty()) std::abort();
        return 0;
    }
    if (g.count < 0 || g.count > kMaxFacilities) std::abort();
    // Names as the reservations store them, no two alike: else two facilities would share
    // their bookings, or one would never see its own.
    for (int i = 0; i < g.count; ++i) {
        const std::string& n = g.rooms[std::size_t(i)].name;
        if (n != storedFacilityName(n)) std::abort();
        for (int j = 0; j < i && !n.empty(); ++j)
            if (g.rooms[std::size_t(j)].name == n) std::abort();
    }
    // Accepted means read to the last byte: one more byte is refused.
    std::vector<std::uint8_t> longer(data, data + size);
    longer.push_back(0);
    GroupFile ignored;
    if (readGroupBytes(longer, ignored).ok()) std::abort();
    const std::vector<std::uint8_t> once = writeGroupBytes(g);
    GroupFile back;
    if (!readGroupBytes(once, back).ok() || !sameGroup(g, back)) std::abort();
    if (writeGroupBytes(back) != once) std::abort();
    return 0;
}
