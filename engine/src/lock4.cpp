// The lock primitive, the attempts policy, the lock positions and the open modes.
#include "engine/lock4.h"

#include "engine/io4.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <ctime>

namespace {

// Through the engine's one system-call seam, so that fault injection there reaches locks too.
int realSys(int fd, int cmd, void* flockPtr) {
    return io4()->fcntl(fd, cmd, static_cast<struct flock*>(flockPtr));
}

void realSleep(long milliseconds) {
    if (milliseconds <= 0) return;
    struct timespec left;
    left.tv_sec = milliseconds / 1000;
    left.tv_nsec = (milliseconds % 1000) * 1000000L;
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

std::atomic<Lock4sys> g_sys{&realSys};
std::atomic<Lock4sleep> g_sleep{&realSleep};

struct Counters {
    std::atomic<std::uint64_t> lockCalls{0}, unlockCalls{0}, testCalls{0}, conflicts{0}, waits{0};
};
Counters g_stats;

constexpr std::uint64_t kOffMax = static_cast<std::uint64_t>(LLONG_MAX);

// off_t is signed: a range must start and end inside it.
bool rangeFits(std::uint64_t offset, std::uint64_t length) {
    return length != 0 && offset <= kOffMax && length <= kOffMax - offset + 1;
}

// A lock call's arguments as the system would judge them: false, with errno set, for a
// descriptor that is none (EBADF) or a range the file offsets cannot hold (EINVAL).
bool usableRange(int fd, std::uint64_t offset, std::uint64_t length) {
    if (fd >= 0 && rangeFits(offset, length)) return true;
    errno = fd < 0 ? EBADF : EINVAL;
    return false;
}

void fill(struct flock& fl, short type, std::uint64_t offset, std::uint64_t length) {
    fl = {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    fl.l_pid = 0;  // required by the OFD commands
}

int callSys(int fd, int cmd, struct flock& fl) {
    int rc;
    do {
        rc = g_sys.load()(fd, cmd, &fl);
    } while (rc == -1 && errno == EINTR);
    return rc;
}

}  // namespace

Lock4sys lock4sysSet(Lock4sys hook) {
    return g_sys.exchange(hook ? hook : &realSys);
}

Lock4sleep lock4sleepSet(Lock4sleep hook) {
    return g_sleep.exchange(hook ? hook : &realSleep);
}

void lock4sleep(long milliseconds) {
    g_sleep.load()(milliseconds);
}

Lock4stats lock4stats() {
    Lock4stats s;
    s.lockCalls = g_stats.lockCalls.load();
    s.unlockCalls = g_stats.unlockCalls.load();
    s.testCalls = g_stats.testCalls.load();
    s.conflicts = g_stats.conflicts.load();
    s.waits = g_stats.waits.load();
    return s;
}

void lock4statsReset() {
    g_stats.lockCalls = 0;
    g_stats.unlockCalls = 0;
    g_stats.testCalls = 0;
    g_stats.conflicts = 0;
    g_stats.waits = 0;
}

Lock4os lock4osLock(int fd, std::uint64_t offset, std::uint64_t length, Lock4type type) {
    if (!usableRange(fd, offset, length)) return lock4failed;
    struct flock fl;
    fill(fl, type == lock4read ? F_RDLCK : F_WRLCK, offset, length);
    ++g_stats.lockCalls;
    if (callSys(fd, F_OFD_SETLK, fl) == 0) return lock4granted;
    // POSIX allows either code for "someone else holds it".
    if (errno == EAGAIN || errno == EACCES) {
        ++g_stats.conflicts;
        return lock4conflict;
    }
    return lock4failed;
}

int lock4osUnlock(int fd, std::uint64_t offset, std::uint64_t length) {
    if (!usableRange(fd, offset, length)) return -1;
    struct flock fl;
    fill(fl, F_UNLCK, offset, length);
    ++g_stats.unlockCalls;
    return callSys(fd, F_OFD_SETLK, fl) == 0 ? 0 : -1;
}

int lock4osTest(int fd, std::uint64_t offset, std::uint64_t length, Lock4type type,
                int* holderPid) {
    if (!usableRange(fd, offset, length)) return -1;
    struct flock fl;
    fill(fl, type == lock4read ? F_RDLCK : F_WRLCK, offset, length);
    ++g_stats.testCalls;
    if (callSys(fd, F_OFD_GETLK, fl) != 0) return -1;
    if (fl.l_type == F_UNLCK) return 0;
    if (holderPid) *holderPid = fl.l_pid;
    return 1;
}

int lock4attemptsStart(int attemptsSetting) {
    return attemptsSetting == 0 ? 1 : attemptsSetting;
}

bool lock4attemptsNext(int& attemptsLeft) {
    if (attemptsLeft == 1) return false;
    if (attemptsLeft > 1) --attemptsLeft;
    return true;
}

long lock4delayMilliseconds(int delaySetting) {
    return delaySetting > 0 ? static_cast<long>(delaySetting) * 10L : 0L;
}

int lock4acquire(int fd, std::uint64_t offset, std::uint64_t length, const Lock4policy& policy,
                 Lock4type type) {
    int left = lock4attemptsStart(policy.attempts);
    for (;;) {
        switch (lock4osLock(fd, offset, length, type)) {
            case lock4granted:
                return 0;
            case lock4failed:
                return -1;
            case lock4conflict:
                break;
        }
        if (!lock4attemptsNext(left)) return lock4refused;
        ++g_stats.waits;
        g_sleep.load()(lock4delayMilliseconds(policy.delay));
    }
}

// ---------------------------------------------------------------------------------------

namespace {

constexpr std::uint64_t kHigh = 0x7FFFFFFEull;  // append byte of tables with a production index
constexpr std::uint64_t kLow = 0x40000000ull;   // start of the locking area of other tables
constexpr std::uint64_t kFileLength = 0x3FFFFFFFull;

// The high 32 bits supplied by the extended-offset setting. 0x7FFFFFFF (and negative
// values) would reach the open-mode sentinels or leave off_t, so they map to a base
// outside the lockable range and every lock there fails instead of colliding.
std::uint64_t extendedBase(std::int32_t extended) {
    if (extended <= 0 || extended >= 0x7FFFFFFF) return kOffMax + 1;
    return static_cast<std::uint64_t>(extended) << 32;
}

}  // namespace

bool lock4layoutHigh(const Lock4layout& layout) {
    return (layout.tableFlags & 0x01) != 0 || layout.version == 0x30;
}

Lock4range lock4posRecord(const Lock4layout& layout, std::uint32_t recordNumber) {
    if (layout.extended != 0) return {extendedBase(layout.extended) + recordNumber, 1};
    if (lock4layoutHigh(layout)) {
        // Record numbers beyond the area wrap past zero; such a range is refused by
        // lock4osLock as out of reach rather than locking somebody else's byte.
        return {kHigh - recordNumber, 1};
    }
    return {kLow + layout.headerLength +
                static_cast<std::uint64_t>(recordNumber - 1u) * layout.recordLength,
            1};
}

Lock4range lock4posAppend(const Lock4layout& layout) {
    if (layout.extended != 0) return {extendedBase(layout.extended), 1};
    return {lock4layoutHigh(layout) ? kHigh : kLow, 1};
}

Lock4range lock4posFile(const Lock4layout& layout) {
    if (layout.extended != 0) return {extendedBase(layout.extended), 0xFFFFFFFFull};
    return {kLow, kFileLength};
}

Lock4range lock4posIndex(std::int32_t extended) {
    if (extended != 0) return {extendedBase(extended) + kHigh, 1};
    return {kHigh, 1};
}

Lock4range lock4posMemo(std::int32_t extended) {
    if (extended != 0) return {extendedBase(extended) + kLow, 1};
    return {kLow, 1};
}

// ---------------------------------------------------------------------------------------
// Open modes. Every opening announces, with read locks that never conflict with each
// other, what it does (reads; writes) and what it forbids others (reading; writing);
// then it checks that no other opening forbids what it does or does what it forbids.
// Announcing before checking makes two racing openers that exclude each other see each
// other: at worst both are refused, never both admitted. Nobody ever holds a write lock
// on these bytes; the checks are F_OFD_GETLK probes, which ignore the prober's own locks.

int lock4shareOpen(int fd, int accessMode, bool writeAccess) {
    if (accessMode < lock4shared || accessMode > lock4denyWrite) {
        errno = EINVAL;
        return -1;
    }
    const bool deniesRead = accessMode == lock4exclusive;
    const bool deniesWrite = accessMode != lock4shared;

    struct Byte {
        std::uint64_t announce;
        bool take;
        std::uint64_t check;  // nobody else may hold a lock here
    };
    const Byte bytes[] = {
        {lock4shareHasRead, true, lock4shareDeniesRead},
        {lock4shareHasWrite, writeAccess, lock4shareDeniesWrite},
        {lock4shareDeniesRead, deniesRead, lock4shareHasRead},
        {lock4shareDeniesWrite, deniesWrite, lock4shareHasWrite},
    };
    for (const Byte& b : bytes) {
        if (!b.take) continue;
        Lock4os os = lock4osLock(fd, b.announce, 1, lock4read);
        if (os != lock4granted) {
            int saved = errno;
            lock4shareClose(fd);
            // Nobody holds write locks on the sentinels, so a conflict here means a
            // foreign program does; treat it as a sharing refusal.
            errno = saved;
            return os == lock4conflict ? 1 : -1;
        }
    }
    for (const Byte& b : bytes) {
        if (!b.take) continue;
        int t = lock4osTest(fd, b.check, 1, lock4write);
        if (t != 0) {
            int saved = errno;
            lock4shareClose(fd);
            errno = saved;
            return t == 1 ? 1 : -1;
        }
    }
    return 0;
}

int lock4shareClose(int fd) {
    return lock4osUnlock(fd, lock4shareBase, lock4shareLength);
}
