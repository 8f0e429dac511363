// The file layer. Every system call goes through io4(). In exclusive mode writes are collected
// in a write-behind buffer that the delayed-write thread writes out; in exclusive and
// deny-write modes sequential reads are served from a read cache, since no other process can
// change the file underneath. There reads are also served from a cache of aligned blocks, each
// filled by one pread, so that reads of what is on disk need no system call each. The cache is
// filled with pread rather than by mapping the file: the exclusive mode is only an advisory lock,
// and a file another program cuts short must give a short read, never a fault.
#include "engine/file4.h"
#include "engine/src/lock4engine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include "engine/error4.h"
#include "engine/file4replace.h"
#include "engine/io4.h"
#include "engine/src/vask4impl.h"
#include "engine/vask4.h"

namespace {

constexpr unsigned kLargestBuffer = 1u << 20;
constexpr unsigned kWritebackRun = 256u * 1024;

Worker4* writerOf(File4* f) {
    return f->c && f->c->impl && f->c->impl->threads ? &f->c->impl->writer : nullptr;
}
Worker4* readerOf(File4* f) {
    return f->c && f->c->impl && f->c->impl->threads ? &f->c->impl->reader : nullptr;
}

int report(File4* f, int code, long location, int err) {
    const char* why = err ? std::strerror(err) : nullptr;
    return error4describe(f->c, code, location, f->name.c_str(), why);
}

void dropBlocks(File4* f);

// Writes all bytes or fails: a short write means the disk (or a quota) is full.
int writeDirect(File4* f, std::int64_t pos, const char* p, unsigned len) {
    if (len == 0) return 0;
    ssize_t n;
    do {
        n = io4()->pwrite(f->fd, p, len, static_cast<off_t>(pos));
    } while (n < 0 && errno == EINTR);
    f->written = true;
    if (n != static_cast<ssize_t>(len)) {
        dropBlocks(f);  // the cached blocks hold bytes that did not reach the file
        return report(f, e4write, L4_file4write, n < 0 ? errno : ENOSPC);
    }
    return 0;
}

// Reads up to len bytes; fewer only at end of file. Returns the count or -errno.
long readDirect(File4* f, std::int64_t pos, char* p, unsigned len) {
    unsigned done = 0;
    while (done < len) {
        ssize_t n = io4()->pread(f->fd, p + done, len - done, static_cast<off_t>(pos + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -errno;
        }
        if (n == 0) break;
        done += static_cast<unsigned>(n);
    }
    return static_cast<long>(done);
}

void waitPending(File4* f) {
    std::unique_lock<std::mutex> lk(f->m);
    f->cv.wait(lk, [f] { return f->pending == 0; });
}

int checkDelayed(File4* f) {
    int e;
    {
        std::lock_guard<std::mutex> g(f->m);
        e = f->delayedErrno;
        f->delayedErrno = 0;
    }
    if (e) dropBlocks(f);  // a delayed write failed: its bytes are not in the file
    return e ? report(f, e4write, L4_file4writeDelay, e) : 0;
}

void waitInflight(File4* f) {
    if (f->wInflight) {
        file4wait(&f->wreq);
        f->wInflight = false;
    }
}

// Sends the write-behind buffer off (to the writer thread, or written at once) and leaves an
// empty buffer. At most one buffer is in flight.
int handOff(File4* f, bool run = false) {
    if (f->wlen == 0) return 0;
    waitInflight(f);
    if (int e = checkDelayed(f)) return e;
    Worker4* w = writerOf(f);
    if (!w || !f->wspare) {
        int r = writeDirect(f, f->wpos, f->wbuf, f->wlen);
        f->wlen = 0;
        return r;
    }
    // A buffer filled by a run of writes in sequence (a bulk append, a copy) that goes on
    // past its end. Each hand-off waits for a thread switch, which on an otherwise idle
    // machine costs as much as writing tens of kilobytes: such runs get larger buffers, up
    // to kLargestBuffer.
    const bool full = run;
    if (f->wspareCap < f->wcap || (full && f->wcap < kLargestBuffer)) {
        unsigned want = full ? std::min(f->wcap * 2, kLargestBuffer) : f->wcap;
        if (char* p = new (std::nothrow) char[want]) {
            delete[] f->wspare;
            f->wspare = p;
            f->wspareCap = want;
        }
    }
    const bool grown = f->wspareCap > f->wcap;
    std::swap(f->wbuf, f->wspare);
    std::swap(f->wcap, f->wspareCap);
    if (f->wcap < f->wspareCap && !grown) {
        // The spare could not be made as large as the full buffer: use the smaller size.
        std::swap(f->wbuf, f->wspare);
        std::swap(f->wcap, f->wspareCap);
        int r = writeDirect(f, f->wpos, f->wbuf, f->wlen);
        f->wlen = 0;
        return r;
    }
    unsigned len = f->wlen;
    f->wlen = 0;
    f->wInflight = true;
    // Long runs start their way to the disk at once, so that the flush that makes them
    // durable finds little left to write.
    f->wreq.writeback = len >= kWritebackRun;
    return file4writeDelay(f, &f->wreq, f->wpos, f->wspare, len, nullptr, nullptr);
}

void patchBlocks(File4* f, std::int64_t pos, const char* p, unsigned len);

void patchCache(File4* f, std::int64_t pos, const char* p, unsigned len) {
    patchBlocks(f, pos, p, len);
    if (!f->rbuf || f->rlen == 0) return;
    std::int64_t lo = std::max(pos, f->rpos);
    std::int64_t hi = std::min(pos + static_cast<std::int64_t>(len),
                               f->rpos + static_cast<std::int64_t>(f->rlen));
    if (lo < hi)
        std::memcpy(f->rbuf + (lo - f->rpos), p + (lo - pos), static_cast<size_t>(hi - lo));
}

constexpr std::int64_t kBlock = 64 * 1024;
constexpr size_t kMaxBlocks = (64 << 20) / kBlock;  // 64 MiB per file at most

void dropBlocks(File4* f) {
    f->blocks.clear();
    f->lastBlock = nullptr;
}

// Brings this process's write of [pos, pos + len) into the cached blocks it overlaps. A block
// that the write does not continue (it starts past the block's known bytes) is dropped: the
// bytes in between are not known.
void patchBlocks(File4* f, std::int64_t pos, const char* p, unsigned len) {
    if (f->blocks.empty() || len == 0) return;
    std::int64_t end = pos + static_cast<std::int64_t>(len);
    for (std::int64_t bn = pos / kBlock; bn <= (end - 1) / kBlock; ++bn) {
        auto it = f->blocks.find(bn);
        if (it == f->blocks.end()) continue;
        std::int64_t start = bn * kBlock;
        std::int64_t lo = std::max(pos, start) - start;
        std::int64_t hi = std::min(end, start + kBlock) - start;
        File4::Block& b = it->second;
        if (lo > static_cast<std::int64_t>(b.len)) {
            f->blocks.erase(it);
            f->lastBlock = nullptr;
            continue;
        }
        std::memcpy(b.data.get() + lo, p + (start + lo - pos), static_cast<size_t>(hi - lo));
        if (hi > static_cast<std::int64_t>(b.len)) b.len = static_cast<unsigned>(hi);
    }
}

// Reads block bn from the file into b; false on a read error.
bool fillBlock(File4* f, std::int64_t bn, File4::Block& b) {
    long n = readDirect(f, bn * kBlock, b.data.get(), static_cast<unsigned>(kBlock));
    if (n < 0) return false;
    b.len = static_cast<unsigned>(n);
    return true;
}

// A read front to back (each read starting where the last one ended) keeps this many blocks
// behind it and reuses the memory of the one before them: a scan of a large file then holds
// about a megabyte instead of the whole file, and does not take (and page-fault) fresh memory
// for every block at every opening.
constexpr std::int64_t kScanKeep = 16;

// The cached block bn, read from the file when missing; nullptr when it cannot be had (no
// memory, a read error): the caller then reads the ordinary way, which reports the error.
File4::Block* blockAt(File4* f, std::int64_t bn, bool* fresh, bool sequential) {
    *fresh = false;
    if (f->lastBlock && f->lastBn == bn) return f->lastBlock;  // the usual case: the same block
    auto it = f->blocks.find(bn);
    if (it != f->blocks.end()) {
        f->lastBn = bn;
        return f->lastBlock = &it->second;
    }
    *fresh = true;
    File4::Block b;
    if (sequential && bn >= kScanKeep) {
        auto behind = f->blocks.find(bn - kScanKeep);
        if (behind != f->blocks.end()) {
            if (&behind->second == f->lastBlock) f->lastBlock = nullptr;
            b.data = std::move(behind->second.data);
            f->blocks.erase(behind);
        }
    }
    if (f->blocks.size() >= kMaxBlocks) {
        // Give up one block, not all: starting over made every lookup in a file larger than
        // the cache read whole blocks again.
        auto victim = f->blocks.begin();
        if (&victim->second == f->lastBlock) f->lastBlock = nullptr;
        f->blocks.erase(victim);
    }
    if (!b.data) b.data.reset(new (std::nothrow) char[kBlock]);
    if (!b.data || !fillBlock(f, bn, b)) return nullptr;
    try {
        File4::Block* got = &f->blocks.emplace(bn, std::move(b)).first->second;
        f->lastBn = bn;
        return f->lastBlock = got;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

// Serves [pos, pos + len) from the block cache. Returns the bytes read (fewer at the end of the
// file, as a pread gives them), or -1 when the cache cannot serve it: something of this process
// is still in the write-behind buffer or the delayed-write queue, or the read is large.
long readCached(File4* f, std::int64_t pos, char* p, unsigned len) {
    if (len > kBlock) return -1;
    if (f->wbuf && (f->wlen > 0 || f->wInflight)) return -1;
    {
        std::lock_guard<std::mutex> g(f->m);
        if (f->pending != 0) return -1;
    }
    unsigned done = 0;
    while (done < len) {
        std::int64_t at = pos + done;
        std::int64_t bn = at / kBlock;
        unsigned off = static_cast<unsigned>(at - bn * kBlock);
        unsigned want = std::min<unsigned>(len - done, static_cast<unsigned>(kBlock) - off);
        bool fresh;
        File4::Block* b = blockAt(f, bn, &fresh, pos == f->lastReadEnd);
        if (!b) return done == 0 ? -1 : static_cast<long>(done);
        // Bytes past what the block held may be there now: the file is read again for them.
        if (!fresh && off + want > b->len && b->len < kBlock && !fillBlock(f, bn, *b)) {
            f->blocks.erase(bn);
            f->lastBlock = nullptr;
            return done == 0 ? -1 : static_cast<long>(done);
        }
        unsigned got = b->len > off ? std::min(want, b->len - off) : 0;
        std::memcpy(p + done, b->data.get() + off, got);
        done += got;
        if (got < want) break;  // the end of the file
    }
    f->lastReadEnd = pos + done;
    return static_cast<long>(done);
}

// The file was cut to len by this process: nothing past it may be served.
void cutBlocks(File4* f, std::int64_t len) {
    for (auto it = f->blocks.begin(); it != f->blocks.end();) {
        std::int64_t start = it->first * kBlock;
        if (start >= len) {
            it = f->blocks.erase(it);
            f->lastBlock = nullptr;
            continue;
        }
        if (start + static_cast<std::int64_t>(it->second.len) > len)
            it->second.len = static_cast<unsigned>(len - start);
        ++it;
    }
}

void freeBuffers(File4* f) {
    dropBlocks(f);
    delete[] f->wbuf;
    delete[] f->wspare;
    delete[] f->rbuf;
    f->wbuf = f->wspare = f->rbuf = nullptr;
    f->wcap = f->wspareCap = f->rcap = f->wlen = f->rlen = 0;
    f->held = false;
}

void setUp(File4* f, Vask4* c, int fd, const char* name, int accessMode, bool readOnly) {
    f->c = c;
    f->fd = fd;
    f->name = name;
    f->accessMode = accessMode;
    f->readOnly = readOnly;
    f->written = false;
    f->delayedErrno = 0;
    f->lastReadEnd = -1;
    f->blockCache = false;
    unsigned want = c ? c->memSizeBuffer : 32768;
    if (accessMode == 1 && !readOnly) {
        f->wbuf = file4bufferAlloc(want, &f->wcap);
        if (f->wbuf) {
            unsigned got2 = 0;
            f->wspare = file4bufferAlloc(f->wcap, &got2);
            if (f->wspare && got2 != f->wcap) {  // both halves must be alike
                delete[] f->wspare;
                f->wspare = nullptr;
            }
            f->wspareCap = f->wspare ? got2 : 0;
        }
    }
    if (accessMode == 1 || accessMode == 2) {
        f->rbuf = file4bufferAlloc(want, &f->rcap);
        f->blockCache = true;
    }
}

bool regularFile(int fd) {
    struct stat st {};
    return io4()->fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

File4::~File4() {
    if (fd >= 0) file4close(this);
    freeBuffers(this);
}

char* file4bufferAlloc(unsigned want, unsigned* got) {
    unsigned size = want < 2048 ? 2048 : want - want % 2048;
    for (;;) {
        char* p = new (std::nothrow) char[size];
        if (p) {
            if (got) *got = size;
            return p;
        }
        if (size <= 2048) break;
        size -= 2048;
    }
    if (got) *got = 0;
    return nullptr;
}

int file4openMode(File4* f, Vask4* c, const char* name, int accessMode, bool readOnly,
                  bool report) {
    if (accessMode < 0 || accessMode > 2) {
        if (!report) return error4set(c, r4noOpen), r4noOpen;
        return error4describe(c, e4open, L4_accessMode, name);
    }
    // O_NONBLOCK: a FIFO or device under a table's name must be refused below, not wait in
    // open() for a writer that never comes. It changes nothing for a regular file.
    int fd;
    do {
        fd = io4()->open(name, (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NONBLOCK, 0);
    } while (fd < 0 && errno == EINTR);
    int err = errno;
    if (fd >= 0 && !regularFile(fd)) {
        io4()->close(fd);
        fd = -1;
        err = EISDIR;
    }
    if (fd < 0) {
        if (!report) return error4set(c, r4noOpen), r4noOpen;
        int code = (err == EACCES || err == EPERM || err == EROFS) ? e4permiss
                   : (err == EMFILE || err == ENFILE)              ? e4numFiles
                                                                   : e4open;
        return error4describe(c, code, L4_file4open, name, std::strerror(err));
    }
    if (int s = lock4engineShare(c, fd, accessMode, readOnly, name, report)) {
        io4()->close(fd);
        return s;
    }
    setUp(f, c, fd, name, accessMode, readOnly);
    return 0;
}

int file4open(File4* f, Vask4* c, const char* name) {
    return file4openMode(f, c, name, c->accessMode, c->readOnly != 0, c->errOpen != 0);
}

int file4create(File4* f, Vask4* c, const char* name) {
    if (c->accessMode < 0 || c->accessMode > 2) return error4set(c, r4noCreate), r4noCreate;
    // Truncated only once the sharing check admitted us: a file another user holds open
    // must not be emptied under them.
    int flags = O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | (c->safety ? O_EXCL : 0);
    int fd;
    do {
        fd = io4()->open(name, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0 && !regularFile(fd)) {
        io4()->close(fd);
        fd = -1;
    }
    if (fd < 0) {
        if (!c->errCreate) return error4set(c, r4noCreate), r4noCreate;
        return error4describe(c, e4create, L4_file4create, name);
    }
    if (lock4engineShare(c, fd, c->accessMode, false, name, false) != 0 ||
        (!c->safety && io4()->ftruncate(fd, 0) != 0)) {
        io4()->close(fd);
        if (!c->errCreate) return error4set(c, r4noCreate), r4noCreate;
        return error4describe(c, e4create, L4_file4create, name);
    }
    setUp(f, c, fd, name, c->accessMode, false);
    f->dirSync = true;
    return 0;
}

int file4writeBehindFlush(File4* f) {
    if (f->fd < 0) return 0;
    int r = 0;
    if (f->wbuf) r = handOff(f);
    waitInflight(f);
    waitPending(f);
    int d = checkDelayed(f);
    return r < 0 ? r : d;
}

void file4holdBegin(File4* f) {
    if (f->fd < 0 || f->accessMode != 0 || f->readOnly || f->held) return;
    const unsigned want = f->c ? f->c->memSizeBuffer : 32768;
    // Without a spare buffer a full one is written at once, on this thread.
    f->wbuf = file4bufferAlloc(want, &f->wcap);
    f->rbuf = file4bufferAlloc(want, &f->rcap);
    f->wlen = f->rlen = 0;
    f->lastReadEnd = -1;
    f->held = true;
}

int file4holdEnd(File4* f) {
    if (!f->held) return 0;
    const int r = f->fd >= 0 ? file4writeBehindFlush(f) : 0;
    // Once the lock is gone other users write again: nothing read may serve a later read.
    delete[] f->wbuf;
    delete[] f->rbuf;
    f->wbuf = f->rbuf = nullptr;
    f->wcap = f->rcap = f->wlen = f->rlen = 0;
    f->lastReadEnd = -1;
    f->held = false;
    return r;
}

int file4flush(File4* f) {
    if (f->fd < 0) return 0;
    int r = file4writeBehindFlush(f);
    if (r < 0) return r;
    if (f->written) {
        if (io4()->fdatasync(f->fd) != 0) return report(f, e4write, L4_file4flush, errno);
        f->written = false;
    }
    if (f->dirSync) {
        int dfd = io4()->open(file4folder(f->name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
        if (dfd >= 0) {
            io4()->fdatasync(dfd);
            io4()->close(dfd);
        }
        f->dirSync = false;
    }
    return 0;
}

int file4close(File4* f) {
    if (f->fd < 0) return 0;
    int r = file4flush(f);
    // Whatever happened, no request of this file may still be queued when it is closed.
    waitInflight(f);
    waitPending(f);
    lock4engineFileClosed(f);  // the kernel forgets the locks with the descriptor
    if (io4()->close(f->fd) != 0 && r == 0) r = report(f, e4close, L4_file4close, errno);
    f->fd = -1;
    freeBuffers(f);
    return r;
}

void file4adopt(File4* f, int fd) {
    waitInflight(f);
    waitPending(f);
    lock4engineFileClosed(f);
    if (f->fd >= 0) io4()->close(f->fd);
    f->fd = fd;
    f->wlen = 0;
    f->rlen = 0;
    f->lastReadEnd = -1;
    f->written = false;
    f->delayedErrno = 0;
    dropBlocks(f);
}

long file4read(File4* f, std::int64_t pos, void* ptr, unsigned len) {
    char* p = static_cast<char*>(ptr);
    if (f->fd < 0 || pos < 0) return error4describe(f->c, e4read, L4_file4read, f->name.c_str());
    if (f->blockCache && len > 0) {
        long n = readCached(f, pos, p, len);
        if (n >= 0) return n;
    }
    if (f->rbuf && pos >= f->rpos &&
        pos + static_cast<std::int64_t>(len) <= f->rpos + static_cast<std::int64_t>(f->rlen)) {
        std::memcpy(p, f->rbuf + (pos - f->rpos), len);
        f->lastReadEnd = pos + len;
        return static_cast<long>(len);
    }
    if (f->wbuf && (f->wlen > 0 || f->wInflight)) {
        if (int r = file4writeBehindFlush(f)) return r;
    } else {
        // Delayed writes of a sequential writer must land before the bytes are read back.
        waitPending(f);
    }
    long n;
    if (f->rbuf && len < f->rcap && pos == f->lastReadEnd) {
        n = readDirect(f, pos, f->rbuf, f->rcap);
        if (n < 0) {
            f->rlen = 0;
            return report(f, e4read, L4_file4read, static_cast<int>(-n));
        }
        f->rpos = pos;
        f->rlen = static_cast<unsigned>(n);
        n = std::min<long>(n, len);
        std::memcpy(p, f->rbuf, static_cast<size_t>(n));
    } else {
        n = readDirect(f, pos, p, len);
        if (n < 0) return report(f, e4read, L4_file4read, static_cast<int>(-n));
    }
    f->lastReadEnd = pos + n;
    return n;
}

int file4readBatch(File4* f, Io4Read* reads, int n) {
    if (f->fd < 0) return error4describe(f->c, e4read, L4_file4read, f->name.c_str());
    // Bytes held in this process (cached blocks, a read buffer, writes not yet made) are read
    // the ordinary way, which knows them.
    if (f->blockCache || f->rbuf || f->wbuf) {
        for (int k = 0; k < n; ++k) {
            const long got =
                file4read(f, reads[k].pos, reads[k].buf, static_cast<unsigned>(reads[k].len));
            if (got < 0) return static_cast<int>(got);
            reads[k].got = got;
        }
        return 0;
    }
    waitPending(f);
    io4()->preadBatch(f->fd, reads, n);
    // A piece that failed or came short is read on by pread, whose answer stands: the end
    // of the file, or the error to report.
    for (int k = 0; k < n; ++k) {
        Io4Read& r = reads[k];
        const unsigned done = r.got > 0 ? static_cast<unsigned>(r.got) : 0;
        if (r.got >= 0 && static_cast<size_t>(r.got) == r.len) continue;
        if (done > r.len) return report(f, e4read, L4_file4read, EIO);
        const long more = readDirect(f, r.pos + done, static_cast<char*>(r.buf) + done,
                                     static_cast<unsigned>(r.len - done));
        if (more < 0) return report(f, e4read, L4_file4read, static_cast<int>(-more));
        r.got = static_cast<ssize_t>(done + static_cast<unsigned>(more));
    }
    return 0;
}

int file4readAll(File4* f, std::int64_t pos, void* ptr, unsigned len) {
    long n = file4read(f, pos, ptr, len);
    if (n < 0) return static_cast<int>(n);
    if (n != static_cast<long>(len)) return report(f, e4read, L4_file4read, 0);
    return 0;
}

int file4write(File4* f, std::int64_t pos, const void* ptr, unsigned len) {
    const char* p = static_cast<const char*>(ptr);
    if (f->fd < 0 || pos < 0) return report(f, e4write, L4_file4write, EBADF);
    if (f->readOnly) return error4describe(f->c, e4write, L4_readOnlyWrite, f->name.c_str());
    if (len == 0) return 0;
    patchCache(f, pos, p, len);
    if (!f->wbuf) {
        waitPending(f);  // keeps the order of writes to overlapping ranges
        return writeDirect(f, pos, p, len);
    }
    std::int64_t end = pos + static_cast<std::int64_t>(len);
    if (f->wlen > 0 && pos >= f->wpos && pos <= f->wpos + f->wlen &&
        end <= f->wpos + static_cast<std::int64_t>(f->wcap)) {
        std::memcpy(f->wbuf + (pos - f->wpos), p, len);
        if (end - f->wpos > f->wlen) f->wlen = static_cast<unsigned>(end - f->wpos);
        return 0;
    }
    if (f->wlen > 0) {
        // A buffer that is full or covers another range goes to the writer thread first.
        const bool run = pos >= f->wpos && pos <= f->wpos + static_cast<std::int64_t>(f->wlen);
        if (int r = handOff(f, run)) return r;
    }
    if (f->wInflight && pos < f->wreq.pos + f->wreq.len && end > f->wreq.pos) waitInflight(f);
    if (len >= f->wcap) {
        waitInflight(f);
        return writeDirect(f, pos, p, len);
    }
    f->wpos = pos;
    std::memcpy(f->wbuf, p, len);
    f->wlen = len;
    return 0;
}

std::int64_t file4len(File4* f) {
    if (f->fd < 0) return error4describe(f->c, e4len, L4_file4len, f->name.c_str());
    struct stat st {};
    if (io4()->fstat(f->fd, &st) != 0) return report(f, e4len, L4_file4len, errno);
    std::int64_t len = st.st_size;
    if (f->wlen > 0) len = std::max<std::int64_t>(len, f->wpos + f->wlen);
    if (f->wInflight) len = std::max<std::int64_t>(len, f->wreq.pos + f->wreq.len);
    return len;
}

int file4lenSet(File4* f, std::int64_t len) {
    if (f->fd < 0) return error4describe(f->c, e4lenSet, L4_file4lenSet, f->name.c_str());
    if (f->readOnly) return error4describe(f->c, e4write, L4_readOnlyWrite, f->name.c_str());
    if (int r = file4writeBehindFlush(f)) return r;
    if (io4()->ftruncate(f->fd, static_cast<off_t>(len)) != 0)
        return report(f, e4lenSet, L4_file4lenSet, errno);
    f->written = true;
    if (f->rbuf && f->rpos + static_cast<std::int64_t>(f->rlen) > len)
        f->rlen = f->rpos >= len ? 0 : static_cast<unsigned>(len - f->rpos);
    cutBlocks(f, len);
    return 0;
}

int file4writeDelay(File4* f, Request4* r, std::int64_t pos, char* data, unsigned len,
                    void (*completion)(Request4*), void* arg) {
    r->file = f;
    r->pos = pos;
    r->data = data;
    r->len = len;
    r->write = true;
    r->completion = completion;
    r->arg = arg;
    r->result = 0;
    patchCache(f, pos, data, len);
    Worker4* w = writerOf(f);
    if (!w) {
        int e = writeDirect(f, pos, data, len);
        r->result = e < 0 ? e : static_cast<long>(len);
        r->done = true;
        if (completion) completion(r);
        return e;
    }
    {
        std::lock_guard<std::mutex> g(f->m);
        r->done = false;
        f->pending++;
    }
    f->written = true;
    w->post(r);
    return 0;
}

int file4readAhead(File4* f, Request4* r, std::int64_t pos, char* data, unsigned len) {
    r->file = f;
    r->pos = pos;
    r->data = data;
    r->len = len;
    r->write = false;
    r->completion = nullptr;
    r->result = 0;
    Worker4* w = readerOf(f);
    if (!w) {
        r->result = readDirect(f, pos, data, len);
        r->done = true;
        return 0;
    }
    {
        std::lock_guard<std::mutex> g(f->m);
        r->done = false;
        f->pending++;
    }
    w->post(r);
    return 0;
}

void file4wait(Request4* r) {
    if (!r->file) return;
    File4* f = r->file;
    std::unique_lock<std::mutex> lk(f->m);
    f->cv.wait(lk, [r] { return r->done; });
}
