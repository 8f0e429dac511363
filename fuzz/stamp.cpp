// Arbitrary bytes as a group's change stamp (another program, a truncated copy, a folder
// restored from backup): opening, polling and rewriting it must never crash, must read a
// stamp only from a whole 60-byte file start, and a rewrite must leave exactly the new stamp
// in the first 60 bytes and every later byte as it was.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "group/ChangeStamp.h"
#include "base/Clock.h"

using quorvane::ChangeStamp;

namespace {

std::string scratchFile() {
    static std::string path = [] {
        struct rlimit lim = {1u << 20, 1u << 20};  // no run may grow a file past 1 MiB
        ::setrlimit(RLIMIT_FSIZE, &lim);
        char tmpl[] = "/tmp/q4fuzzstampXXXXXX";
        const char* dir = ::mkdtemp(tmpl);
        if (!dir) std::abort();
        return std::string(dir) + "/GroupUpdate.bin";
    }();
    return path;
}

std::vector<std::uint8_t> readAll(const std::string& path) {
    std::vector<std::uint8_t> out;
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return out;
    std::uint8_t buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.insert(out.end(), buf, buf + n);
    ::close(fd);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;
    const std::string path = scratchFile();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
    ::close(fd);

    static quorvane::FixedClock clock;
    clock.set(size ? static_cast<std::int64_t>(data[0]) * 86400 * 97 : 0);
    quorvane::setAppClock(&clock);

    ChangeStamp stamp;
    if (!stamp.open(path)) std::abort();
    ChangeStamp::Bytes expected{};
    if (size >= ChangeStamp::kSize) std::memcpy(expected.data(), data, ChangeStamp::kSize);
    if (stamp.lastSeen() != expected) std::abort();
    // Nobody changed it: neither poll may report a change.
    if (stamp.check(true, false) || stamp.check(true, true)) std::abort();

    stamp.write();
    const std::vector<std::uint8_t> after = readAll(path);
    if (after.size() != std::max(size, ChangeStamp::kSize)) std::abort();
    if (std::memcmp(after.data(), stamp.lastSeen().data(), ChangeStamp::kSize) != 0) std::abort();
    if (size > ChangeStamp::kSize &&
        std::memcmp(after.data() + ChangeStamp::kSize, data + ChangeStamp::kSize,
                    size - ChangeStamp::kSize) != 0)
        std::abort();
    stamp.close();
    quorvane::setAppClock(nullptr);
    return 0;
}
