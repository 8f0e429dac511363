// The fault sweep's power-loss replay.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>

#include "fault_sweep_internal.h"

namespace faultsweep {

// ----- power loss -----

// Applies the recorded stream to the copy as a power loss at `crash` leaves it: every write
// that a later sync of its file (before the crash) made durable, and of the others a random
// part, whole or torn at sector boundaries, in a random order. Files created, renamed and removed
// keep their order (the file system's journal keeps the order of changes to names).
bool replay(const std::vector<Event>& events, std::size_t crash, const std::string& from,
            const std::string& to, std::mt19937& rng) {
    auto mapped = [&](const std::string& p) {
        return p.compare(0, from.size(), from) == 0 ? to + p.substr(from.size()) : p;
    };
    std::vector<std::size_t> loose;
    auto apply = [&](const Event& e) {
        const std::string path = mapped(e.path);
        if (e.type == 'w' || e.type == 't') {
            const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
            if (fd < 0) return;
            if (e.type == 'w') {
                if (::pwrite(fd, e.data.data(), e.data.size(), off_t(e.off)) < 0) {
                }
            } else if (::ftruncate(fd, off_t(e.off)) != 0) {
            }
            ::close(fd);
        } else if (e.type == 'o') {
            const int fd =
                ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (e.off ? O_TRUNC : 0), 0644);
            if (fd >= 0) ::close(fd);
        } else if (e.type == 'u') {
            ::unlink(path.c_str());
        } else if (e.type == 'r') {
            ::rename(path.c_str(), mapped(e.data).c_str());
        }
    };
    for (std::size_t i = 0; i < crash; ++i) {
        const Event& e = events[i];
        if (e.type != 'w' && e.type != 't') {
            if (e.type == 'o' || e.type == 'u' || e.type == 'r') apply(e);
            continue;
        }
        bool durable = false;
        for (std::size_t k = i + 1; k < crash && !durable; ++k)
            durable = events[k].type == 's' && events[k].path == e.path;
        if (durable)
            apply(e);
        else
            loose.push_back(i);
    }
    // A write not yet synced is lost, lands whole, or lands torn: the disk may have written
    // any of its sectors and not the others.
    std::shuffle(loose.begin(), loose.end(), rng);
    for (std::size_t i : loose) {
        const Event& e = events[i];
        const unsigned how = rng() % 3;
        if (how == 0) continue;
        const long long end = e.off + static_cast<long long>(e.data.size());
        if (how == 1 || e.type != 'w' || (e.off / kSector + 1) * kSector >= end) {
            apply(e);
            continue;
        }
        for (long long at = e.off; at < end;) {
            const long long next = std::min(end, (at / kSector + 1) * kSector);
            if (rng() % 2) {
                Event piece = e;
                piece.off = at;
                piece.data = e.data.substr(std::size_t(at - e.off), std::size_t(next - at));
                apply(piece);
            }
            at = next;
        }
    }
    return true;
}

}  // namespace faultsweep
