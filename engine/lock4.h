// Byte-range locking and open-mode sharing between processes.
//
// Everything here works on plain POSIX file descriptors with open-file-description
// locks (F_OFD_SETLK): those belong to the open file description, not to the process,
// so two handles opened separately in one process exclude each other just as two
// processes do, and the kernel drops them when the last descriptor of the description
// is closed (a crashed process leaves nothing behind).
//
// Layers, bottom up:
//   - lock4sys      the one system call (injectable, so tests can refuse or fail locks);
//   - lock4os...    one attempt on a byte range, telling a conflict from a failure;
//   - lock4acquire  the attempts / delay policy around it;
//   - lock4pos...   where each kind of lock lies in its file;
//   - lock4share... the open modes (shared, exclusive, deny write) between openers;
//   - Lock4file     what the handles of one open file hold, answering in-process tests
//                   and releasing a range without dropping what another handle still holds.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------------------
// System-call seam
// ---------------------------------------------------------------------------------------

// Same shape as fcntl(fd, cmd, struct flock*) for the F_OFD_* commands. The pointer
// is declared as void* so this header does not drag <fcntl.h> into every user.
using Lock4sys = int (*)(int fd, int cmd, void* flockPtr);

// Installs a replacement for the lock system call (nullptr restores the real one);
// returns the previous hook.
Lock4sys lock4sysSet(Lock4sys hook);

// Waits between lock attempts; milliseconds. Tests install a recorder.
using Lock4sleep = void (*)(long milliseconds);
Lock4sleep lock4sleepSet(Lock4sleep hook);
// Sleeps through the installed hook.
void lock4sleep(long milliseconds);

// Process-wide counters of lock system calls, for measurements.
struct Lock4stats {
    std::uint64_t lockCalls = 0;    // F_OFD_SETLK with a read or write lock
    std::uint64_t unlockCalls = 0;  // F_OFD_SETLK with F_UNLCK
    std::uint64_t testCalls = 0;    // F_OFD_GETLK
    std::uint64_t conflicts = 0;    // lock calls refused because someone else holds the range
    std::uint64_t waits = 0;        // lock-delay steps slept
};
Lock4stats lock4stats();
void lock4statsReset();

// ---------------------------------------------------------------------------------------
// One attempt
// ---------------------------------------------------------------------------------------

enum Lock4os : int {
    lock4granted = 0,
    lock4conflict = 1,  // another open file description holds an overlapping lock
    lock4failed = -1,   // anything else (bad descriptor, range out of reach, no lock memory);
                        // errno tells which
};

enum Lock4type : int { lock4read = 0, lock4write = 1 };

// One non-blocking attempt to lock [offset, offset + length). A length of 0 is refused
// as a failure (POSIX would read it as "to the end of all offsets").
Lock4os lock4osLock(int fd, std::uint64_t offset, std::uint64_t length,
                    Lock4type type = lock4write);
// Releases [offset, offset + length); returns 0 or -1 (errno set).
int lock4osUnlock(int fd, std::uint64_t offset, std::uint64_t length);
// Whether an open file description other than fd's holds a lock that would block a lock
// of the given type on the range: 1 yes, 0 no, -1 failure. When yes and holderPid is
// given, it receives the pid reported by the kernel (-1 for OFD locks).
int lock4osTest(int fd, std::uint64_t offset, std::uint64_t length, Lock4type type,
                int* holderPid = nullptr);

// ---------------------------------------------------------------------------------------
// Attempts and delay
// ---------------------------------------------------------------------------------------

// The lock-attempts setting: -1 tries until granted, 0 and 1 try once, n tries n times.
// The lock-delay setting is in hundredths of a second.
struct Lock4policy {
    int attempts = -1;
    int delay = 100;
};

// Attempts left before the first try.
int lock4attemptsStart(int attemptsSetting);
// After a refusal: false when no attempt is left; otherwise counts one off (a negative
// count never runs out) and answers true, meaning wait one delay step and try again.
bool lock4attemptsNext(int& attemptsLeft);
// One delay step in milliseconds (never negative).
long lock4delayMilliseconds(int delaySetting);

// Result codes of lock4acquire (the engine's own result code for a refused lock is 50).
constexpr int lock4refused = 50;

// Tries to lock the range under the policy. Returns 0 when granted, lock4refused when
// every allowed attempt met a conflict, -1 on any other failure (errno set, no retry).
int lock4acquire(int fd, std::uint64_t offset, std::uint64_t length, const Lock4policy& policy,
                 Lock4type type = lock4write);

// ---------------------------------------------------------------------------------------
// On the engine's file objects
// ---------------------------------------------------------------------------------------

struct File4;
// Locks [offset, offset + length) of an open engine file under its context's lock-attempts
// and lock-delay settings: 0 granted; 50 refused after the allowed attempts (no message);
// -50 "Locking File" on any other failure (also for a file that is not open).
int file4lock(File4* f, std::uint64_t offset, std::uint64_t length);
// 0, or -110 "Unlocking File".
int file4unlock(File4* f, std::uint64_t offset, std::uint64_t length);

// ---------------------------------------------------------------------------------------
// Lock positions
// ---------------------------------------------------------------------------------------

struct Lock4range {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    bool operator==(const Lock4range&) const = default;
};

// What the positions depend on: the data file's header and the context's extended-offset
// setting (0 = the classic 32-bit positions; otherwise the high 32 bits of every position).
struct Lock4layout {
    std::uint8_t version = 0x03;     // header byte 0
    std::uint8_t tableFlags = 0;     // header byte 28; bit 0 = production index
    std::uint32_t headerLength = 0;  // header bytes 8-9
    std::uint32_t recordLength = 0;  // header bytes 10-11
    std::int32_t extended = 0;
};

// Tables with a production index (or in the 0x30 form) lock records downwards from
// just below the append byte; others lock a shadow of the record area at 1 GiB.
bool lock4layoutHigh(const Lock4layout& layout);

Lock4range lock4posRecord(const Lock4layout& layout, std::uint32_t recordNumber);
Lock4range lock4posAppend(const Lock4layout& layout);
Lock4range lock4posFile(const Lock4layout& layout);
Lock4range lock4posIndex(std::int32_t extended);
Lock4range lock4posMemo(std::int32_t extended);

// ---------------------------------------------------------------------------------------
// Open modes between openers
// ---------------------------------------------------------------------------------------

// Access modes of the context: 0 shared, 1 exclusive, 2 deny write.
enum Lock4access : int { lock4shared = 0, lock4exclusive = 1, lock4denyWrite = 2 };

// The sentinel bytes live at the very top of the offset space, far above 4 GiB and
// above every position the extended-offset setting can produce (it is refused at
// 0x7FFFFFFF, which would reach them).
constexpr std::uint64_t lock4shareBase = 0x7FFFFFFFFFFFFF00ull;
constexpr std::uint64_t lock4shareHasRead = lock4shareBase + 0;      // every opener
constexpr std::uint64_t lock4shareHasWrite = lock4shareBase + 1;     // openers that may write
constexpr std::uint64_t lock4shareDeniesRead = lock4shareBase + 2;   // exclusive openers
constexpr std::uint64_t lock4shareDeniesWrite = lock4shareBase + 3;  // exclusive and deny-write
constexpr std::uint64_t lock4shareLength = 4;

// Registers the opening of fd in the given access mode (with or without write access)
// against every other opening of the same file. Returns 0 when admitted, 1 when
// another opening's sharing forbids it (nothing is left held), -1 on a failure
// (errno set; nothing held). An access mode outside 0-2 gives -1 with EINVAL.
int lock4shareOpen(int fd, int accessMode, bool writeAccess);
// Drops fd's registration (closing the descriptor does it as well).
int lock4shareClose(int fd);

// ---------------------------------------------------------------------------------------
// Who holds what inside one process
// ---------------------------------------------------------------------------------------

enum Lock4kind : int {
    lock4kindRecord = 0,
    lock4kindAppend = 1,
    lock4kindFile = 2,
    lock4kindIndex = 3,
    lock4kindMemo = 4,
};

struct Lock4entry {
    const void* owner = nullptr;  // the table handle
    Lock4kind kind = lock4kindRecord;
    std::uint32_t recordNumber = 0;  // record locks only
    Lock4type type = lock4write;
    Lock4range range;
};

// One per open file (one open file description shared by every handle of the file in
// a context). The kernel cannot tell those handles apart, so this list does: it refuses
// a range another handle holds, and a release unlocks only the bytes no other entry
// still covers.
class Lock4file {
public:
    explicit Lock4file(int fd = -1, std::string name = {});
    ~Lock4file();
    Lock4file(const Lock4file&) = delete;
    Lock4file& operator=(const Lock4file&) = delete;

    int fd() const { return fd_; }
    const std::string& name() const { return name_; }
    // Attaches the list to an opened descriptor (and the process-wide registry of files
    // by device and inode); -1 detaches it. Entries are dropped either way: the kernel
    // forgets a closed description's locks.
    void attach(int fd, std::string name = {});

    // The entry of that owner, kind and record, or nullptr.
    const Lock4entry* find(const void* owner, Lock4kind kind, std::uint32_t recordNumber = 0) const;
    // Another owner's entry overlapping the range, or nullptr.
    const Lock4entry* impeding(const void* owner, Lock4range range) const;
    // Whether the owner holds a lock covering the range (its own record lock or its file lock).
    bool covers(const void* owner, Lock4range range) const;
    // Record locks of owners other than the given one.
    bool othersHoldRecords(const void* owner) const;

    // Whether another list of this process, on another opening of the same file, holds a
    // range overlapping this one: a lock the calling thread would wait for in vain.
    bool impededInProcess(Lock4range range) const;

    // Locks the range in the kernel under the policy and records the entry.
    // 0 granted (also when the owner already holds exactly this entry), lock4refused
    // when another handle of this file holds an overlapping range or the kernel refused
    // after every attempt, -1 on failure (errno set).
    int lock(const void* owner, Lock4kind kind, std::uint32_t recordNumber, Lock4range range,
             const Lock4policy& policy);
    // Releases one entry; 0, or -1 when the kernel refused the unlock (the entry is
    // forgotten all the same: nothing sensible can be retried).
    int unlock(const void* owner, Lock4kind kind, std::uint32_t recordNumber = 0);
    // Releases every entry of the owner (of one kind, or all kinds with kind < 0).
    int unlockAll(const void* owner, int kind = -1);

    std::vector<std::uint32_t> records(const void* owner) const;
    const std::vector<Lock4entry>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }

private:
    // Unlocks the parts of range that none of the first `remaining` entries covers.
    int releaseRange(Lock4range range, size_t remaining) const;

    int fd_ = -1;
    std::string name_;
    std::uint64_t dev_ = 0, ino_ = 0;
    std::vector<Lock4entry> entries_;
};

// ---------------------------------------------------------------------------------------
// The lock rules of one table handle
// ---------------------------------------------------------------------------------------

// Context settings the rules read (the engine copies them from its context per call).
struct Lock4settings {
    int attempts = -1;
    int delay = 100;
    int unlockAuto = 1;  // 1 all locks of the context, 2 those of the table, 0 none
    std::int32_t extended = 0;
};

// Location numbers reported by the rules (the engine's error table gives their texts).
enum : long {
    lock4locFile4lock = 90069,
    lock4locFile4unlock = 90070,
    lock4locD4lockAll = 90220,
    lock4locD4lockAppend = 90226,
    lock4locD4unlock = 90235,
    lock4locOwnImpeding = 80074,  // "WAIT4EVER lock conflicts with own local impeding lock"
    lock4locUnopened = 80075,     // "attempt to lock an unopened file"
};
constexpr int lock4errLock = -50;
constexpr int lock4errUnlock = -110;

// What the engine supplies to a table's lock rules.
struct Lock4hooks {
    // Releases locks before a new one: mode 1 every table of the context, mode 2 this
    // table only, each after its changed record and header are written. Returns 0 or an
    // error (which the new lock then returns).
    std::function<int(int mode)> autoUnlock;
    // The in-memory record count may be stale (append or file lock just taken).
    std::function<void()> countStale;
    // The record count, re-read from the header when stale.
    std::function<long()> recordCount;
    // Index i was just locked: drop its cached nodes.
    std::function<void(std::size_t i)> indexLocked;
    // The index locks (or, for dataReleasing, the whole-file lock) are about to be given
    // back: what is still held in memory is written first, while nobody else can write.
    // Returns 0 or an error.
    std::function<int()> indexReleasing;
    std::function<int()> dataReleasing;
    // Reports an error (code, location, file name) and returns the code.
    std::function<int(int code, long location, const char* name)> report;
    // Waits one lock-delay step between index-lock rounds (nullptr: the sleep hook).
    std::function<void(long ms)> sleep;
};

// One table handle's locks on its data, memo and index files. The lists are per file
// and shared by the handles of a context that opened the same file; this object is the
// handle's view (its owner key is itself).
class Lock4table {
public:
    Lock4file* data = nullptr;
    Lock4file* memo = nullptr;
    std::vector<Lock4file*> indexes;
    int accessMode = 0;  // 1 and 2 count as locked for everything
    Lock4layout layout;  // header facts for the positions (extended is taken from settings)
    Lock4hooks hooks;

    // d4lock: 0 locked, 50 refused, negative error.
    int lockRecord(std::uint32_t rec, const Lock4settings& s, bool autoUnlock = true);
    // d4lockAppend
    int lockAppend(const Lock4settings& s);
    // d4lockFile
    int lockFile(const Lock4settings& s);
    // All index files at once, in rounds.
    int lockIndexes(const Lock4settings& s);
    // The memo file.
    int lockMemo(const Lock4settings& s);
    // d4lockAll: file, memo, indexes; a refusal releases per the automatic-unlock mode.
    int lockAll(const Lock4settings& s);
    // Steps 1-5 of an append: on 0, *recordOut is the number of the record to write
    // (0 when the file lock covers everything and no record lock was needed).
    int lockForAppend(const Lock4settings& s, std::uint32_t* recordOut);
    // d4lockTest: 1 this handle may change the record, 50 another handle of the file holds
    // it, 0 nobody here holds it.
    int lockTest(std::uint32_t rec, const Lock4settings& s) const;

    // Releases every lock of the handle (append, file, records, memo, indexes).
    // 0, or -110 reported.
    int unlockAll();
    int unlockIndexes();
    int unlockRecords();

    bool locksNothing() const { return accessMode == 1 || accessMode == 2; }
    bool holdsAppend() const;
    bool holdsFile() const;
    bool holdsRecord(std::uint32_t rec) const;  // its own record lock or its file lock
    bool holdsIndexes() const;                  // every index file locked by this handle
    bool holdsIndex(std::size_t i) const;
    bool holdsAny() const;
    std::vector<std::uint32_t> records() const;

private:
    Lock4layout effective(const Lock4settings& s) const;
    int runAutoUnlock(const Lock4settings& s);
    int ownImpeding(Lock4file* f, Lock4range r, const Lock4settings& s, long location);
    int take(Lock4file* f, Lock4kind kind, std::uint32_t rec, Lock4range r, const Lock4settings& s,
             long location);
    int failed(Lock4file* f, long location);
};
