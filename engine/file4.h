// The file layer: positioned reads and writes, length, flush, sequential reader and writer,
// and the background read-ahead and delayed-write requests.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

struct Vask4;
struct File4;

// One queued background request (read-ahead or delayed write).
struct Request4 {
    File4* file = nullptr;
    std::int64_t pos = 0;
    char* data = nullptr;
    unsigned len = 0;
    long result = 0;  // bytes transferred, or -errno
    bool write = false;
    bool writeback = false;  // a write: start writing it back to the disk at once
    bool done = true;        // set by the worker when finished
    void (*completion)(Request4*) = nullptr;
    void* arg = nullptr;
    Request4* next = nullptr;
};

struct File4 {
    File4() = default;
    ~File4();
    File4(const File4&) = delete;
    File4& operator=(const File4&) = delete;

    Vask4* c = nullptr;
    int fd = -1;
    std::string name;
    int accessMode = 0;  // 0 shared, 1 exclusive, 2 deny write
    bool readOnly = false;
    bool written = false;  // written since the last fdatasync
    bool dirSync = false;  // newly created: its folder entry still has to reach the disk
    int delayedErrno = 0;  // a background write failed

    // Background requests of this file not yet finished.
    std::mutex m;
    std::condition_variable cv;
    int pending = 0;

    // Write-behind buffer (exclusive mode only): one contiguous range not yet written.
    char* wbuf = nullptr;
    char* wspare = nullptr;  // the second buffer, handed to the writer thread in turn
    unsigned wcap = 0;       // bytes wbuf holds
    unsigned wspareCap = 0;  // bytes wspare holds (less than wcap while a buffer grows)
    std::int64_t wpos = 0;
    unsigned wlen = 0;
    Request4 wreq;           // the buffer in flight
    bool wInflight = false;  // wreq was posted and not yet waited for (calling thread only)

    bool held = false;  // shared, under this process's whole-file lock: see file4holdBegin

    // Read cache (exclusive and deny-write modes, where no other process writes).
    char* rbuf = nullptr;
    unsigned rcap = 0;
    std::int64_t rpos = 0;
    unsigned rlen = 0;
    std::int64_t lastReadEnd = -1;
    // Block cache (exclusive and deny-write modes): aligned blocks of the file, each filled by
    // one pread, so that a walk or lookup makes no system call per record. Every write of this
    // process patches or drops the blocks it overlaps, and bytes past what a block's pread
    // returned are read again, so the cache never claims more than the file held.
    struct Block {
        std::unique_ptr<char[]> data;
        unsigned len = 0;  // bytes the file held there when last read or written
    };
    bool blockCache = false;
    std::unordered_map<std::int64_t, Block> blocks;  // keyed by block number
    std::int64_t lastBn = -1;                        // the block found last, and where it is
    Block* lastBlock = nullptr;                      // (null after any block was dropped)
};

// Opens an existing file with the context's access mode and read-only setting.
// Returns 0, or the error (reported with the context's report-open-errors setting; with it off
// the code 70 is left in the context and returned).
int file4open(File4* f, Vask4* c, const char* name);
// The same with an explicit access mode and read-only flag; report 0 fails silently (70).
int file4openMode(File4* f, Vask4* c, const char* name, int accessMode, bool readOnly, bool report);
// Creates a file (refusing an existing one while the context's safety setting is on).
// Returns 0, or -20 reported (60 left silently with the report-create-errors setting off).
int file4create(File4* f, Vask4* c, const char* name);
// Waits for queued requests, writes buffered data, flushes to disk when written, closes.
int file4close(File4* f);
// The file's name now names another file, already written and synced, open as fd (a pack's
// new file renamed into place): waits for the queued requests, closes the old descriptor
// without writing what it still held, forgets what was cached of it and goes on with fd.
void file4adopt(File4* f, int fd);

// Reads up to len bytes at pos; returns the bytes read (fewer at end of file) or a negative error.
long file4read(File4* f, std::int64_t pos, void* ptr, unsigned len);
// Reads each of n pieces (reads[k].len bytes at reads[k].pos into reads[k].buf), in as few
// system calls as the system allows: 0, with each got set to the bytes read (fewer at the end
// of the file), or the negative error of the first that failed.
int file4readBatch(File4* f, struct Io4Read* reads, int n);
// Reads exactly len bytes; a short read is reported as -70.
int file4readAll(File4* f, std::int64_t pos, void* ptr, unsigned len);
// Writes len bytes at pos; a short write or a full disk is -120.
int file4write(File4* f, std::int64_t pos, const void* ptr, unsigned len);
// Length of the file including buffered writes, or a negative error.
std::int64_t file4len(File4* f);
int file4lenSet(File4* f, std::int64_t len);
// Waits for the file's queued requests, writes buffered data and fdatasyncs a written file.
int file4flush(File4* f);
// Writes the write-behind buffer and waits for queued requests, without syncing.
int file4writeBehindFlush(File4* f);
// While this process holds the whole-file lock of a shared file nobody else writes it, and
// a run of changes (a series cancelled day by day) need not make two system calls a record:
// reads in sequence are read ahead and writes in sequence are gathered, as in exclusive mode.
// file4holdEnd makes the gathered writes and forgets what was read; it must come before the
// lock goes. Both return 0 or the error of a write.
void file4holdBegin(File4* f);
int file4holdEnd(File4* f);
// Hands a write to the delayed-write thread (or writes at once without threads). The data
// must stay untouched until the completion routine ran; file4flush and file4close wait for it.
int file4writeDelay(File4* f, Request4* r, std::int64_t pos, char* data, unsigned len,
                    void (*completion)(Request4*), void* arg);
// Queues a read-ahead request on the reader thread (or reads at once without threads).
int file4readAhead(File4* f, Request4* r, std::int64_t pos, char* data, unsigned len);
// Waits until one request is done.
void file4wait(Request4* r);

// Allocates a sequential buffer of at most want bytes, trying 2048 bytes smaller each time
// memory is short. Returns nullptr (and size 0) when not even 2048 bytes are available.
char* file4bufferAlloc(unsigned want, unsigned* got);

// Sequential reader: large reads, with the next buffer read ahead on the reader thread.
struct File4seqRead {
    File4seqRead() = default;
    ~File4seqRead();
    File4seqRead(const File4seqRead&) = delete;
    File4seqRead& operator=(const File4seqRead&) = delete;

    File4* file = nullptr;
    char* buf[2] = {nullptr, nullptr};
    unsigned cap = 0;
    int cur = 0;
    unsigned off = 0;    // consumed bytes of buf[cur]
    unsigned avail = 0;  // valid bytes of buf[cur]
    bool loaded = false;
    bool ahead = false;        // buf[cur ^ 1] is being read ahead
    std::int64_t nextPos = 0;  // file position of the next block to request
    Request4 req[2];
};
// bufferSize 0 takes the context's sequential buffer size.
int file4seqReadInit(File4seqRead* s, File4* f, std::int64_t pos, unsigned bufferSize);
long file4seqRead(File4seqRead* s, void* ptr, unsigned len);
int file4seqReadAll(File4seqRead* s, void* ptr, unsigned len);
void file4seqReadInitUndo(File4seqRead* s);

// Sequential writer: fills a buffer and hands full buffers to the delayed-write thread.
struct File4seqWrite {
    File4seqWrite() = default;
    ~File4seqWrite();
    File4seqWrite(const File4seqWrite&) = delete;
    File4seqWrite& operator=(const File4seqWrite&) = delete;

    File4* file = nullptr;
    char* buf[2] = {nullptr, nullptr};
    unsigned cap = 0;
    int cur = 0;
    unsigned used = 0;
    std::int64_t pos = 0;  // file position of buf[cur][0]
    Request4 req[2];
    int error = 0;
};
int file4seqWriteInit(File4seqWrite* s, File4* f, std::int64_t pos, unsigned bufferSize);
int file4seqWrite(File4seqWrite* s, const void* ptr, unsigned len);
int file4seqWriteRepeat(File4seqWrite* s, long count, char ch);
// Writes what is buffered and waits for the handed-off buffers.
int file4seqWriteFlush(File4seqWrite* s);
void file4seqWriteInitUndo(File4seqWrite* s);
