#include "engine/io4.h"

#include <linux/aio_abi.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
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
void Io4::preadBatch(int fd, Io4Read* reads, int n) {
    for (int k = 0; k < n; ++k) {
        reads[k].got = pread(fd, reads[k].buf, reads[k].len, reads[k].pos);
        if (reads[k].got < 0) reads[k].got = -errno;
    }
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

// The scattered records of a lookup (a day's bookings made over weeks lie all over the file)
// cost a system call each, and on a virtual machine the call costs more than the copy. The
// kernel's asynchronous reads take a whole batch in one call and give the results in a
// second; on an ordinary (cached) file they are done within the first. A thread's context is
// made at its first batch; where the system refuses it (no support, a sandbox that forbids
// the calls, the system-wide limit reached), batches are read one by one.
class AioContext {
public:
    static constexpr int kDepth = 32;
    ~AioContext() { drop(); }
    // The context, or 0 where none can be had.
    aio_context_t get() {
        if (state_ == 0) state_ = syscall(SYS_io_setup, kDepth, &id_) == 0 ? 1 : -1;
        return state_ > 0 ? id_ : 0;
    }
    // Gives the context up for good (waiting for what is in flight).
    void drop() {
        if (state_ > 0) syscall(SYS_io_destroy, id_);
        state_ = -1;
    }

private:
    aio_context_t id_ = 0;
    int state_ = 0;  // 0 not tried, 1 made, -1 refused
};

thread_local AioContext aio;

// Submits reads[0..n) (n <= kDepth) and waits for them; the count submitted (each with its
// result in got), or -1 when none could be.
int aioBatch(aio_context_t ctx, int fd, Io4Read* reads, int n) {
    iocb cbs[AioContext::kDepth];
    iocb* ptrs[AioContext::kDepth];
    for (int k = 0; k < n; ++k) {
        std::memset(&cbs[k], 0, sizeof cbs[k]);
        cbs[k].aio_data = static_cast<__u64>(k);
        cbs[k].aio_fildes = static_cast<__u32>(fd);
        cbs[k].aio_lio_opcode = IOCB_CMD_PREAD;
        cbs[k].aio_buf = reinterpret_cast<__u64>(reads[k].buf);
        cbs[k].aio_nbytes = reads[k].len;
        cbs[k].aio_offset = reads[k].pos;
        ptrs[k] = &cbs[k];
        reads[k].got = -EAGAIN;  // until its result comes
    }
    long sent;
    do sent = syscall(SYS_io_submit, ctx, n, ptrs);
    while (sent < 0 && errno == EINTR);
    if (sent <= 0) return -1;
    io_event events[AioContext::kDepth];
    for (long done = 0; done < sent;) {
        const long got = syscall(SYS_io_getevents, ctx, sent - done, sent - done, events, nullptr);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            // Cannot happen with a valid context. Were it to, giving the context up waits for
            // what is still in flight; those reads keep -EAGAIN and are made again by pread.
            aio.drop();
            break;
        }
        for (long e = 0; e < got; ++e)
            if (events[e].data < static_cast<__u64>(sent))
                reads[events[e].data].got = static_cast<ssize_t>(events[e].res);
        done += got;
    }
    return static_cast<int>(sent);
}

class PosixIo4 final : public Io4 {
public:
    void preadBatch(int fd, Io4Read* reads, int n) override {
        int k = 0;
        if (n > 1) {
            while (k < n) {
                const aio_context_t ctx = aio.get();
                const int sent =
                    ctx ? aioBatch(ctx, fd, reads + k, std::min(n - k, +AioContext::kDepth)) : -1;
                if (sent < 0) {
                    if (ctx && errno != EAGAIN) aio.drop();  // (a forked child's is not its own)
                    break;
                }
                k += sent;
            }
        }
        Io4::preadBatch(fd, reads + k, n - k);
    }
};

PosixIo4 posixIo;
std::atomic<Io4*> current{&posixIo};
}  // namespace

Io4* io4() {
    return current.load(std::memory_order_acquire);
}

Io4* io4set(Io4* io) {
    return current.exchange(io ? io : &posixIo, std::memory_order_acq_rel);
}
