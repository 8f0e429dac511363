// The one seam through which the engine makes every file and lock system call.
// The default forwards to POSIX; tests install their own to inject faults (ENOSPC, short writes).
#pragma once

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>

// One read of a batch: len bytes at pos into buf; got is set to the bytes read or -errno.
struct Io4Read {
    void* buf = nullptr;
    size_t len = 0;
    off_t pos = 0;
    ssize_t got = 0;
};

class Io4 {
public:
    virtual ~Io4() = default;
    virtual int open(const char* path, int flags, mode_t mode);
    virtual ssize_t pread(int fd, void* buf, size_t len, off_t pos);
    virtual ssize_t pwrite(int fd, const void* buf, size_t len, off_t pos);
    // Each of n reads of fd, as pread would make them. This one calls pread n times, so a
    // seam that injects faults into pread covers these reads too; the POSIX seam makes the
    // batch in one or two system calls where the system allows.
    virtual void preadBatch(int fd, Io4Read* reads, int n);
    virtual int ftruncate(int fd, off_t len);
    virtual int fdatasync(int fd);
    virtual int fcntl(int fd, int cmd, struct flock* lock);
    virtual int close(int fd);
    virtual int fstat(int fd, struct stat* st);
    virtual int unlink(const char* path);
    virtual int fchmod(int fd, mode_t mode);
    // A folder is made durable with fsync; fdatasync is not promised to cover its entries.
    virtual int fsync(int fd);
    // `flags` 0 replaces `to` (a symbolic link there is replaced itself, never followed);
    // RENAME_NOREPLACE fails with EEXIST when `to` exists.
    virtual int rename(const char* from, const char* to, unsigned flags);
    // Starts writing [pos, pos + len) back to the disk without waiting for it; a later
    // fdatasync then has less left to do. Only a hint: failures are ignored.
    virtual void startWriteback(int fd, off_t pos, off_t len);
};

// The installed seam (never null). io4set(nullptr) restores the POSIX default; returns the
// previous one. Install only while no file I/O is in flight.
Io4* io4();
Io4* io4set(Io4* io);
