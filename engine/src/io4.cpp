#include "engine/io4.h"

#include <unistd.h>

#include <cerrno>

#include <atomic>

int Io4::open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}
ssize_t Io4::pread(int fd, void* buf, size_t len, off_t pos) {
    return ::pread(fd, buf, len, pos);
}
ssize_t Io4::pwrite(int fd, const void* buf, size_t len, off_t pos) {
    return ::pwrite(fd, buf, len, pos);
}
int Io4::ftruncate(int fd, off_t len) {
    return ::ftruncate(fd, len);
}
int Io4::fdatasync(int fd) {
    return ::fdatasync(fd);
}
int Io4::fcntl(int fd, int cmd, struct flock* lock) {
    return ::fcntl(fd, cmd, lock);
}
int Io4::close(int fd) {
    return ::close(fd);
}
int Io4::fstat(int fd, struct stat* st) {
    return ::fstat(fd, st);
}
int Io4::unlink(const char* path) {
    return ::unlink(path);
}
int Io4::fchmod(int fd, mode_t mode) {
    return ::fchmod(fd, mode);
}
int Io4::fsync(int fd) {
    return ::fsync(fd);
}
int Io4::rename(const char* from, const char* to, unsigned flags) {
    if (flags == 0) return ::rename(from, to);
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, flags) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // A file system without the flag: a hard link fails on an existing name just the same.
    if ((flags & RENAME_NOREPLACE) == 0 || ::link(from, to) != 0) return -1;
    ::unlink(from);
    return 0;
}
void Io4::startWriteback(int fd, off_t pos, off_t len) {
#ifdef SYNC_FILE_RANGE_WRITE
    ::sync_file_range(fd, pos, len, SYNC_FILE_RANGE_WRITE);
#else
    (void)fd;
    (void)pos;
    (void)len;
#endif
}

namespace {
Io4 posixIo;
std::atomic<Io4*> current{&posixIo};
}  // namespace

Io4* io4() {
    return current.load(std::memory_order_acquire);
}

Io4* io4set(Io4* io) {
    return current.exchange(io ? io : &posixIo, std::memory_order_acq_rel);
}
