// Locking of tables: d4lock and its companions on top of the lock rules of lock4table.cpp,
// and the sharing check of every file the engine opens.
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>

#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/lock4.h"
#include "engine/src/data4impl.h"
#include "engine/src/lock4engine.h"
#include "engine/src/vask4impl.h"

namespace {

// Tables whose locks the automatic unlock is releasing right now, and the table whose
// current record the caller is about to write (it must not be written from inside).
thread_local int g_autoUnlockDepth = 0;
thread_local const Data4* g_writing = nullptr;
Lock4indexBinder g_indexBinder = nullptr;

// Lock lists of the engine's other files (index files), by file object.
std::mutex g_otherFilesMutex;
std::map<const File4*, std::unique_ptr<Lock4file>> g_otherFiles;

// Points the table at the lock lists of its index files as they are now. The lists belong
// to the files (their entries go when a file closes, as the kernel's locks do), so binding
// again never drops a lock; it is done before every use, so an index closed or reopened
// since is never reached through a stale pointer.
void bindIndexes(Data4* d, Lock4table* t) {
    t->indexes.clear();
    t->hooks.indexLocked = nullptr;
    t->hooks.indexReleasing = nullptr;
    if (g_indexBinder && !d->indexes.empty()) g_indexBinder(d, t);
}

Lock4settings settingsOf(const Vask4* c) {
    Lock4settings s;
    s.attempts = c->lockAttempts;
    s.delay = c->lockDelay;
    s.unlockAuto = c->unlockAuto;
    s.extended = static_cast<std::int32_t>(c->largeOffset);
    return s;
}

// The lock lists of a data file and of its memo file.
struct FileLocks {
    Lock4file data;
    std::unique_ptr<Lock4file> memo;
};

FileLocks* locksOf(DataFile4* df) {
    if (!df->lockState) df->lockState = new FileLocks{Lock4file(df->file.fd, df->name), nullptr};
    return static_cast<FileLocks*>(df->lockState);
}

Lock4file* fileLocks(DataFile4* df) {
    return &locksOf(df)->data;
}

Lock4file* memoLocks(DataFile4* df) {
    if (!df->memo || df->memo->fd < 0) return nullptr;
    FileLocks* l = locksOf(df);
    if (!l->memo) l->memo = std::make_unique<Lock4file>(df->memo->fd, df->memo->name);
    return l->memo.get();
}

void sync(Data4* d, Lock4table* t) {
    d->haveAppendLock = t->holdsAppend() ? 1 : 0;
    d->haveFileLock = t->holdsFile() ? 1 : 0;
    if (d->haveFileLock) file4holdBegin(&d->df->file);
    d->lockedRecs.clear();
    for (std::uint32_t r : t->records()) d->lockedRecs.push_back(static_cast<long>(r));
}

int releaseTable(Data4* d, bool writeRecord);

Lock4table* tableLocks(Data4* d) {
    if (d->lockState) {
        auto* t = static_cast<Lock4table*>(d->lockState);
        t->accessMode = d->df->accessMode;
        // Creating the production index sets the table-flags bit under the file lock, whose
        // range does not depend on it; the record and append locks taken from then on must
        // lie where every other opener of the table looks for them.
        t->layout.tableFlags = d->df->tableFlags;
        bindIndexes(d, t);
        return t;
    }
    auto* t = new Lock4table;
    DataFile4* df = d->df;
    t->data = fileLocks(df);
    t->accessMode = df->accessMode;
    t->layout.version = df->version;
    t->layout.tableFlags = df->tableFlags;
    t->layout.headerLength = df->headerLen;
    t->layout.recordLength = df->recordLen;
    Vask4* c = d->c;
    t->hooks.report = [c](int code, long location, const char* name) {
        return error4describe(c, code, location, name);
    };
    t->hooks.countStale = [df] { df->countStale = true; };
    t->hooks.dataReleasing = [df] { return file4holdEnd(&df->file); };
    t->hooks.recordCount = [df]() -> long {
        int rc = dfile4recCountRefresh(df, false);
        if (rc < 0) return rc;
        return static_cast<long>(df->numRecs);
    };
    t->hooks.autoUnlock = [d](int mode) -> int {
        ++g_autoUnlockDepth;
        int rc = 0;
        if (mode == 1) {
            // Every table of the context; each writes its changed record first.
            std::vector<Data4*> tables = d->c->impl->tables;
            for (Data4* other : tables) {
                int r = releaseTable(other, other != g_writing);
                if (r < 0 && rc == 0) rc = r;
            }
        } else if (mode == 2) {
            rc = releaseTable(d, d != g_writing);
        }
        --g_autoUnlockDepth;
        return rc;
    };
    d->lockState = t;
    bindIndexes(d, t);
    return t;
}

// Writes the table's changed record (when asked) and its header, then lets go of all
// its locks.
int releaseTable(Data4* d, bool writeRecord) {
    auto* t = static_cast<Lock4table*>(d->lockState);
    if (t) bindIndexes(d, t);
    int rc = 0;
    if (writeRecord && d->recordChanged && d->recNum > 0) {
        rc = d4writeCurrent(d);
        if (rc < 0) return rc;
    }
    DataFile4* df = d->df;
    const bool ownsHeader = df->accessMode != 0 || (t && (t->holdsAppend() || t->holdsFile()));
    if (df->headerDirty && ownsHeader && !df->readOnly) {
        int h = dfile4writeHeader(df, true);
        if (h < 0) return h;
    }
    if (!t) return rc;
    int u = t->holdsAny() ? t->unlockAll() : 0;
    sync(d, t);
    return u < 0 ? u : rc;
}

// Runs a lock operation with the automatic unlock suppressed while another automatic
// unlock is already releasing (writing a table's record there takes its record lock).
struct Nested {
    Lock4settings s;
    explicit Nested(const Vask4* c) : s(settingsOf(c)) {
        if (g_autoUnlockDepth > 0) s.unlockAuto = 0;
    }
};

}  // namespace

// ---------------------------------------------------------------------------------------

int d4lock(Data4* d, long rec) {
    d4walkForget(d);  // what a walk read must not outlive a lock change
    if (!d) return error4(nullptr, e4parmNull, L4_d4lock);
    if (d4errorStanding(d->c)) return -1;
    if (rec < 1 || rec > 0xFFFFFFFFL) return error4(d->c, e4parm, L4_d4lock);
    Lock4table* t = tableLocks(d);
    Nested n(d->c);
    // Writing the current record locks it: the automatic unlock must not write that
    // record again from inside.
    const Data4* saved = g_writing;
    if (d->recordChanged && d->recNum == rec) g_writing = d;
    int rc = t->lockRecord(static_cast<std::uint32_t>(rec), n.s);
    g_writing = saved;
    sync(d, t);
    return rc;
}

int d4lockAppend(Data4* d) {
    d4walkForget(d);  // what a walk read must not outlive a lock change
    if (!d) return error4(nullptr, e4parmNull, L4_d4lockAppend);
    if (d4errorStanding(d->c)) return -1;
    Lock4table* t = tableLocks(d);
    Nested n(d->c);
    const Data4* saved = g_writing;
    if (d->recNum <= 0) g_writing = d;  // an append pending: its buffer is no record yet
    int rc = t->lockAppend(n.s);
    g_writing = saved;
    sync(d, t);
    return rc;
}

int d4lockFile(Data4* d) {
    d4walkForget(d);  // what a walk read must not outlive a lock change
    if (!d) return error4(nullptr, e4parmNull, L4_d4lockFile);
    if (d4errorStanding(d->c)) return -1;
    Lock4table* t = tableLocks(d);
    Nested n(d->c);
    const Data4* saved = g_writing;
    if (d->recNum <= 0) g_writing = d;
    int rc = t->lockFile(n.s);
    g_writing = saved;
    sync(d, t);
    return rc;
}

int d4lockAll(Data4* d) {
    d4walkForget(d);  // what a walk read must not outlive a lock change
    if (!d) return error4(nullptr, e4parmNull, L4_d4lockAll);
    if (d4errorStanding(d->c)) return -1;
    Lock4table* t = tableLocks(d);
    t->memo = memoLocks(d->df);
    Nested n(d->c);
    const Data4* saved = g_writing;
    if (d->recNum <= 0) g_writing = d;
    int rc = t->lockAll(n.s);
    g_writing = saved;
    sync(d, t);
    return rc;
}

int d4lockTest(Data4* d, long rec) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4lockTest);
    if (d4errorStanding(d->c)) return -1;
    if (rec < 1 || rec > 0xFFFFFFFFL) return 0;
    return tableLocks(d)->lockTest(static_cast<std::uint32_t>(rec), settingsOf(d->c));
}

int d4unlock(Data4* d) {
    d4walkForget(d);  // what a walk read must not outlive a lock change
    if (!d) return error4(nullptr, e4parmNull, L4_d4unlock);
    if (d4errorStanding(d->c)) {
        // Nothing is written while an error stands, but the locks go all the same: kept,
        // they would stop every other user until this process ends.
        if (d->lockState) {
            auto* t = static_cast<Lock4table*>(d->lockState);
            bindIndexes(d, t);
            t->unlockAll();
            sync(d, t);
        }
        return -1;
    }
    return releaseTable(d, true);
}

// ---------------------------------------------------------------------------------------

int lock4engineAppend(Data4* d, long* recordOut) {
    d4walkForget(d);  // what a walk read must not outlive a lock change
    *recordOut = 0;
    Lock4table* t = tableLocks(d);
    Nested n(d->c);
    const Data4* saved = g_writing;
    g_writing = d;
    std::uint32_t rec = 0;
    int rc = t->lockForAppend(n.s, &rec);
    g_writing = saved;
    sync(d, t);
    *recordOut = static_cast<long>(rec);
    return rc;
}

void lock4engineIndexBinderSet(Lock4indexBinder binder) {
    g_indexBinder = binder;
}

void lock4engineIndexRebind(Data4* d) {
    if (d->lockState) bindIndexes(d, static_cast<Lock4table*>(d->lockState));
}

Lock4file* lock4engineFileLocks(File4* f) {
    std::lock_guard<std::mutex> g(g_otherFilesMutex);
    auto& slot = g_otherFiles[f];
    if (!slot || slot->fd() != f->fd) slot = std::make_unique<Lock4file>(f->fd, f->name);
    return slot.get();
}

void lock4engineFileClosed(File4* f) {
    std::lock_guard<std::mutex> g(g_otherFilesMutex);
    g_otherFiles.erase(f);
}

int lock4engineIndexLock(Data4* d) {
    d4walkForget(d);  // what a walk read must not outlive a lock change
    Lock4table* t = tableLocks(d);
    Nested n(d->c);
    return t->lockIndexes(n.s);
}

bool lock4engineIndexHeld(Data4* d, std::size_t i) {
    if (d->df->accessMode != 0) return true;
    if (!d->lockState) return false;
    auto* t = static_cast<Lock4table*>(d->lockState);
    bindIndexes(d, t);
    return t->holdsIndex(i);
}

void lock4engineTableClose(Data4* d) {
    if (!d->lockState) return;
    auto* t = static_cast<Lock4table*>(d->lockState);
    bindIndexes(d, t);  // the index files may be closed already, their lists gone with them
    t->unlockAll();
    delete t;
    d->lockState = nullptr;
    d->haveAppendLock = d->haveFileLock = 0;
    d->lockedRecs.clear();
}

void lock4engineFileClose(DataFile4* df) {
    delete static_cast<FileLocks*>(df->lockState);
    df->lockState = nullptr;
}

void lock4engineFileReplaced(DataFile4* df) {
    if (df->lockState) locksOf(df)->data.attach(df->file.fd, df->name);
}

int lock4engineShare(Vask4* c, int fd, int accessMode, bool readOnly, const char* name,
                     bool report) {
    int rc = lock4shareOpen(fd, accessMode, !readOnly);
    if (rc == 0) return 0;
    if (!report) return error4set(c, r4noOpen), r4noOpen;
    return error4describe(c, e4open, L4_file4open, name,
                          rc == 1 ? "the file is in use in a way that excludes this opening"
                                  : "sharing check failed");
}

int file4lock(File4* f, std::uint64_t offset, std::uint64_t length) {
    Vask4* c = f ? f->c : nullptr;
    if (!f || f->fd < 0)
        return error4describe(c, e4lock, L4_lockUnopened, f ? f->name.c_str() : nullptr);
    Lock4policy p;
    if (c) {
        p.attempts = c->lockAttempts;
        p.delay = c->lockDelay;
    }
    int rc = lock4acquire(f->fd, offset, length, p);
    if (rc == -1) return error4describe(c, e4lock, L4_file4lock, f->name.c_str());
    return rc;
}

int file4unlock(File4* f, std::uint64_t offset, std::uint64_t length) {
    Vask4* c = f ? f->c : nullptr;
    if (!f || f->fd < 0 || lock4osUnlock(f->fd, offset, length) != 0)
        return error4describe(c, e4unlock, L4_file4unlock, f ? f->name.c_str() : nullptr);
    return 0;
}
