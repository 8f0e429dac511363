#include "engine/index4io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

Index4FdIo::~Index4FdIo() {
    if (own_ && fd_ >= 0) ::close(fd_);
}

Index4FdIo* Index4FdIo::openPath(const std::string& path, bool create) {
    int flags = O_RDWR | O_CLOEXEC | O_NONBLOCK;  // a FIFO under the name must not block
    if (create) flags |= O_CREAT | O_TRUNC;
    int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return new Index4FdIo(fd, true);
}

long Index4FdIo::read(uint64_t off, void* buf, size_t len) {
    size_t done = 0;
    auto* p = static_cast<char*>(buf);
    while (done < len) {
        ssize_t r = ::pread(fd_, p + done, len - done, static_cast<off_t>(off + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        done += static_cast<size_t>(r);
    }
    return static_cast<long>(done);
}

int Index4FdIo::write(uint64_t off, const void* buf, size_t len) {
    size_t done = 0;
    const auto* p = static_cast<const char*>(buf);
    while (done < len) {
        ssize_t r = ::pwrite(fd_, p + done, len - done, static_cast<off_t>(off + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        done += static_cast<size_t>(r);
    }
    return 0;
}

int64_t Index4FdIo::length() {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

int Index4FdIo::setLength(uint64_t len) {
    return ::ftruncate(fd_, static_cast<off_t>(len)) == 0 ? 0 : -1;
}

int Index4FdIo::flush() {
    return ::fdatasync(fd_) == 0 ? 0 : -1;
}
