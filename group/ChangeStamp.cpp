#include "group/ChangeStamp.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "base/Clock.h"
#include "engine/io4.h"

namespace quorvane {

namespace {
// The stamp lies in the shared group folder, where anyone with write access may have put a
// link or a special file under its name: it is opened without following links and without
// waiting on a FIFO, and anything but a plain file of one name is left alone (its writes
// would land in whatever file the link or the second name belongs to).
int openReadWrite(const std::string& path, int extra) {
    Io4* io = io4();
    int fd;
    do {
        fd = io->open(path.c_str(),
                      O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | (extra & ~O_TRUNC), 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return fd;
    struct stat st {};
    // Emptied only once it is known to be the stamp itself.
    if (io->fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
        ((extra & O_TRUNC) && io->ftruncate(fd, 0) != 0)) {
        io->close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}
}  // namespace

ChangeStamp::~ChangeStamp() {
    close();
}

void ChangeStamp::close() {
    if (fd_ >= 0) io4()->close(fd_);
    fd_ = -1;
}

bool ChangeStamp::create(const std::string& path) {
    close();
    path_ = path;
    lastSeen_.fill(0);
    fd_ = openReadWrite(path, O_CREAT | O_TRUNC);
    if (fd_ < 0) return false;
    write();
    return true;
}

bool ChangeStamp::open(const std::string& path) {
    close();
    path_ = path;
    lastSeen_.fill(0);
    fd_ = openReadWrite(path, 0);
    if (fd_ >= 0) {
        if (!readInto(lastSeen_)) lastSeen_.fill(0);
        return true;
    }
    if (errno != ENOENT) return false;
    return create(path);
}

void ChangeStamp::encodeTime(std::int64_t seconds, Bytes& stamp) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    const std::int32_t values[9] = {tm.tm_sec,  tm.tm_min,  tm.tm_hour, tm.tm_mday, tm.tm_mon,
                                    tm.tm_year, tm.tm_wday, tm.tm_yday, tm.tm_isdst};
    for (int i = 0; i < 9; ++i) {
        const auto v = static_cast<std::uint32_t>(values[i]);
        for (int b = 0; b < 4; ++b) stamp[std::size_t(24 + 4 * i + b)] = std::uint8_t(v >> (8 * b));
    }
}

void ChangeStamp::write() {
    if (fd_ < 0) return;
    encodeTime(appClock().now(), lastSeen_);
    std::size_t done = 0;
    while (done < kSize) {
        const ssize_t n = io4()->pwrite(fd_, lastSeen_.data() + done, kSize - done, off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // a stamp that cannot be written only delays other users' reloads
        done += std::size_t(n);
    }
    io4()->fdatasync(fd_);
}

bool ChangeStamp::readInto(Bytes& out) {
    std::size_t done = 0;
    while (done < kSize) {
        const ssize_t n = io4()->pread(fd_, out.data() + done, kSize - done, off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += std::size_t(n);
    }
    return true;
}

bool ChangeStamp::check(bool refresh, bool forceFlush) {
    if (!refresh) return false;
    if (fd_ >= 0 && forceFlush) {
        io4()->close(fd_);
        fd_ = openReadWrite(path_, 0);
    }
    if (fd_ < 0 || !readInto(read_)) read_.fill(0);
    if (read_ == lastSeen_) return false;
    lastSeen_ = read_;
    return true;
}

}  // namespace quorvane
