// Record-level access: go, top, bottom, skip, blank, append, delete, flush, pack.
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/file4replace.h"
#include "engine/io4.h"
#include "engine/lock4.h"
#include "engine/src/data4impl.h"
#include "engine/src/lock4engine.h"
#include "engine/src/vask4impl.h"

namespace {

// With lock enforcement on, a shared table's current record may only change while locked.
int enforceLock(Data4* d, long location) {
    Vask4* c = d->c;
    if (c->lockEnforce && d->df->accessMode == 0 && d->recNum > 0 && d4lockTest(d, d->recNum) != 1)
        return error4describe(c, e4lock, location, d->df->name.c_str());
    return 0;
}

// A damaged header may count more records than the file holds; shared mode still opens it so
// that the records that exist can be read. Writing at count + 1 would then land far beyond the
// end of the file (gigabytes of holes that a pack fills in), so appends and packs refuse such
// a file as not a data file. A count smaller than the file (a crash between the record write
// and the header write) is fine: the next append overwrites the partial record.
int checkCountFits(DataFile4* df, Vask4* c) {
    if (df->backedRecs == df->numRecs) return 0;
    std::int64_t len = file4len(&df->file);
    if (len < 0) return static_cast<int>(len);
    if (dfile4recordPos(df, static_cast<long>(df->numRecs) + 1) > len)
        return error4describe(c, e4data, L4_corrupt, df->name.c_str());
    df->backedRecs = df->numRecs;
    return 0;
}

void goEof(Data4* d) {
    d->recNum = static_cast<long>(d->df->numRecs) + 1;
    d->eof = 1;
    d->recordChanged = 0;
    d4blankBuffer(d);
}

}  // namespace

std::int64_t dfile4recordPos(const DataFile4* df, long rec) {
    return static_cast<std::int64_t>(df->headerLen) +
           static_cast<std::int64_t>(rec - 1) * static_cast<std::int64_t>(df->recordLen);
}

void d4blankBuffer(Data4* d) {
    std::memcpy(d->record, d->recordBlank, d->df->recordLen);
}

int dfile4readRecord(DataFile4* df, long rec, char* buf) {
    if (rec < 1) return r4entry;
    long n = file4read(&df->file, dfile4recordPos(df, rec), buf, df->recordLen);
    if (n < 0) return static_cast<int>(n);
    return n == static_cast<long>(df->recordLen) ? 0 : r4entry;
}

int d4readOld(Data4* d) {
    int r = dfile4readRecord(d->df, d->recNum, d->recordOld);
    if (r == r4entry) return error4describe(d->c, e4read, L4_dfile4, d->df->name.c_str());
    if (r == 0) d->oldValid = 1;
    return r;
}

int d4goData(Data4* d, long rec, int reportGo) {
    DataFile4* df = d->df;
    if (int r = d4writeCurrent(d)) return r;
    if (rec > static_cast<long>(df->numRecs)) {
        // The table may have grown since the count was read.
        if (int r = dfile4recCountRefresh(df, true)) return r;
    }
    int r = r4entry;
    if (rec >= 1 && rec <= static_cast<long>(df->numRecs)) {
        if (d->c->readLock) {
            if (int l = d4lock(d, rec)) return l;
        }
        r = dfile4readRecord(df, rec, d->record);
        if (r < 0) return r;
    }
    if (r == r4entry) {
        d4blankBuffer(d);
        d->recNum = -1;
        d->recordChanged = 0;
        d->oldValid = 0;
        if (reportGo && d->c->errGo)
            return error4describe(d->c, e4read, L4_dfile4, df->name.c_str());
        return r4entry;
    }
    d->recNum = rec;
    d->bof = d->eof = 0;
    d->recordChanged = 0;
    // Under the whole-table lock nobody else writes the record, so what was just read is
    // what a later write of it replaces: keeping it spares that write a second read.
    if (d->haveFileLock) {
        std::memcpy(d->recordOld, d->record, df->recordLen);
        d->oldValid = 1;
    } else {
        d->oldValid = 0;
    }
    return 0;
}

int d4writeCurrent(Data4* d) {
    if (!d->recordChanged || d->recNum == 0) return 0;  // an append pending is written by d4append
    DataFile4* df = d->df;
    Vask4* c = d->c;
    if (df->readOnly) return error4describe(c, e4write, L4_readOnlyWrite, df->name.c_str());
    long rec = d->recNum;
    if (rec < 0 || rec > static_cast<long>(df->numRecs))
        return error4describe(c, e4write, L4_writeNoRecord, df->name.c_str());
    if (d4lockTest(d, rec) != 1) {
        int r = d4lock(d, rec);
        if (r != 0) return r;  // refused: the record stays changed and unwritten
    }
    // The record as it stands: the keys it had, and the bytes the rewrite changes.
    if (!d->oldValid) {
        if (int r = d4readOld(d)) return r;
    }
    const Index4Hooks* hooks = index4hooks();
    if (hooks && hooks->writeKeys && !d->tags.empty()) {
        int r = hooks->writeKeys(d, rec, d->recordOld, d->record);
        if (r != 0) {
            // A refused change is dropped rather than retried by every later positioning.
            if (r == r4unique) d->recordChanged = 0;
            return r;
        }
    }
    d4walkForget(d);
    const int r = dfile4rewriteMayTear(df, rec, d->recordOld, d->record)
                      ? dfile4rewriteJournaled(df, rec, d->recordOld, d->record)
                      : file4write(&df->file, dfile4recordPos(df, rec), d->record, df->recordLen);
    if (r) return r;
    std::memcpy(d->recordOld, d->record, df->recordLen);
    d->oldValid = 1;
    d->recordChanged = 0;
    df->fileChanged = true;
    log4append(c, "WRITE", df->name.c_str(), rec);
    return 0;
}

long d4recNo(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4recNo);
    return d->recNum;
}

long d4recCount(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4recCount);
    if (d->df->countStale) {
        if (int r = dfile4recCountRefresh(d->df, false)) return r;
    }
    return static_cast<long>(d->df->numRecs);
}

int d4bof(Data4* d) {
    return d ? d->bof : error4(nullptr, e4parmNull, L4_d4recNo);
}
int d4eof(Data4* d) {
    return d ? d->eof : error4(nullptr, e4parmNull, L4_d4recNo);
}

int d4deleted(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4deleted);
    return d->record[0] == '*' ? 1 : 0;
}

int d4changed(Data4* d, int flag) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4changed);
    int old = d->recordChanged;
    if (flag >= 0) d->recordChanged = flag ? 1 : 0;
    return old;
}

int d4go(Data4* d, long rec, int oldCopy) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4go);
    if (d4errorStanding(d->c)) return -1;
    int r = d4goData(d, rec, 1);
    if (r == 0 && oldCopy == 1 && !d->oldValid && d4lockTest(d, rec) == 1) {
        std::memcpy(d->recordOld, d->record, d->df->recordLen);
        d->oldValid = 1;
    }
    return r;
}

int d4walkStart(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4skip);
    if (d4errorStanding(d->c)) return -1;
    if (!d->walk) {
        d->walk.reset(new (std::nothrow) Walk4);
        if (!d->walk) return error4(d->c, e4memory, L4_d4skip);
    }
    if (d->walk->depth++ == 0) {
        d->walk->forget();
        d->walk->served = 0;
    }
    return 0;
}

int d4walkEnd(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4skip);
    Walk4* w = d->walk.get();
    if (!w || w->depth == 0) return 0;
    if (--w->depth == 0) {
        w->forget();
        if (w->pages.size() > 4) w->pages.resize(4);
    }
    return 0;
}

int d4goEof(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4goEof);
    if (d4errorStanding(d->c)) return -1;
    if (int r = d4writeCurrent(d)) return r;
    goEof(d);
    return r4eof;
}

int d4top(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4top);
    if (d4errorStanding(d->c)) return -1;
    if (int r = d4writeCurrent(d)) return r;
    const Index4Hooks* hooks = index4hooks();
    if (d->tagSelected && hooks && hooks->top) return hooks->top(d);
    DataFile4* df = d->df;
    if (df->numRecs == 0)
        if (int r = dfile4recCountRefresh(df, true)) return r;
    int r = df->numRecs == 0 ? r4entry : d4goData(d, 1, 0);
    if (r == r4entry) {
        goEof(d);
        d->bof = 1;
        return r4eof;
    }
    return r;
}

int d4bottom(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4bottom);
    if (d4errorStanding(d->c)) return -1;
    if (int r = d4writeCurrent(d)) return r;
    const Index4Hooks* hooks = index4hooks();
    if (d->tagSelected && hooks && hooks->bottom) return hooks->bottom(d);
    DataFile4* df = d->df;
    if (int r = dfile4recCountRefresh(df, true)) return r;
    int r = df->numRecs == 0 ? r4entry : d4goData(d, static_cast<long>(df->numRecs), 0);
    if (r == r4entry) {
        goEof(d);
        d->bof = 1;
        return r4eof;
    }
    return r;
}

int d4skip(Data4* d, long count) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4skip);
    Vask4* c = d->c;
    if (d4errorStanding(c)) return -1;
    if (d->recNum <= 0) {
        if (c->errSkip) return error4(c, e4info, L4_skipInvalid);
        return e4info;
    }
    if (int r = d4writeCurrent(d)) return r;
    const Index4Hooks* hooks = index4hooks();
    if (d->tagSelected && hooks && hooks->skip) return hooks->skip(d, count);
    DataFile4* df = d->df;
    long target = d->recNum + count;
    if (target > static_cast<long>(df->numRecs)) {
        if (int r = dfile4recCountRefresh(df, true)) return r;
        if (target > static_cast<long>(df->numRecs)) {
            goEof(d);
            return r4eof;
        }
    }
    if (target < 1) {
        int r = df->numRecs == 0 ? r4entry : d4goData(d, 1, 0);
        if (r == r4entry) {
            goEof(d);
            d->bof = 1;
            return r4eof;
        }
        if (r != 0) return r;
        d->bof = 1;
        return r4bof;
    }
    int r = d4goData(d, target, 0);
    if (r == r4entry) {
        goEof(d);
        return r4eof;
    }
    return r;
}

int d4seek(Data4* d, const char* key) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4seek);
    if (d4errorStanding(d->c)) return -1;
    const Index4Hooks* hooks = index4hooks();
    if (!d->tagSelected || !hooks || !hooks->seek) return r4noTag;
    if (!key) return error4(d->c, e4parmNull, L4_d4seek);
    if (int r = d4writeCurrent(d)) return r;
    return hooks->seek(d, key, static_cast<int>(std::strlen(key)));
}

int d4blank(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4blank);
    if (d4errorStanding(d->c)) return -1;
    if (int r = enforceLock(d, L4_d4blank)) return r;
    d4blankBuffer(d);
    d->recordChanged = 1;
    return 0;
}

int d4appendStart(Data4* d, int copyFlag) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4appendStart);
    if (d4errorStanding(d->c)) return -1;
    if (int r = d4writeCurrent(d)) return r;
    DataFile4* df = d->df;
    if (copyFlag == 1 && d->recNum > 0) {
        int r = dfile4readRecord(df, d->recNum, d->record);
        if (r < 0) return r;
    }
    // A copied record must not share the memo entries of its template.
    for (const Field4rec& f : df->fields)
        if (f.type == 'M' || f.type == 'G')
            std::memset(d->record + f.offset, (f.flags & 4) || df->level == 30 ? 0 : ' ', f.len);
    d->recNum = 0;
    return 0;
}

int d4append(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4append);
    Vask4* c = d->c;
    if (d4errorStanding(c)) return -1;
    DataFile4* df = d->df;
    if (df->readOnly) return error4describe(c, e4write, L4_readOnlyWrite, df->name.c_str());
    d4walkForget(d);
    if (!d->haveFileLock && df->accessMode == 0) {
        long locked = 0;  // the append lock, the count read again, the new record's lock
        if (int r = lock4engineAppend(d, &locked)) return r;
    }
    if (int r = dfile4recCountRefresh(df, false)) return r;
    if (df->numRecs >= 0xFFFFFFFEul)
        return error4describe(c, e4append, L4_d4append, df->name.c_str());
    if (int r = checkCountFits(df, c)) return r;
    long rec = static_cast<long>(df->numRecs) + 1;
    const Index4Hooks* hooks = index4hooks();
    bool keys = hooks && hooks->writeKeys && !d->tags.empty();
    if (keys) {
        if (int r = hooks->writeKeys(d, rec, nullptr, d->record)) return r;
    }
    // The record and the end-of-file byte in one write, then the count: a reader never counts
    // a record that is not completely there.
    d->record[df->recordLen] = 0x1A;
    int r = file4write(&df->file, dfile4recordPos(df, rec), d->record, df->recordLen + 1);
    d->record[df->recordLen] = 0;
    if (r < 0) {
        // Nothing of the failed record may stay behind: cut the file back and restore the
        // end-of-file byte (space freed by the cut makes room for it).
        int saved = c->errorCode;
        long savedLoc = c->errorLocation;
        int silent = c->errOff;
        c->errOff = 1;
        if (file4lenSet(&df->file, dfile4recordPos(df, rec)) == 0) {
            const char eof = 0x1A;
            file4write(&df->file, dfile4recordPos(df, rec), &eof, 1);
        }
        c->errOff = silent;
        c->errorCode = saved;
        c->errorLocation = savedLoc;
        if (keys) hooks->writeKeys(d, rec, d->record, nullptr);
        return r;
    }
    df->numRecs++;
    df->backedRecs = df->numRecs;
    df->headerDirty = true;
    df->fileChanged = true;
    if (df->accessMode != 1) {
        if (int h = dfile4writeHeader(df, true)) return h;
    }
    d->recNum = rec;
    d->bof = d->eof = 0;
    d->recordChanged = 0;
    std::memcpy(d->recordOld, d->record, df->recordLen);
    d->oldValid = 1;
    log4append(c, "APPEND", df->name.c_str(), rec);
    return 0;
}

int d4delete(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4delete);
    if (d4errorStanding(d->c)) return -1;
    if (int r = enforceLock(d, L4_d4delete)) return r;
    if (d->record[0] == '*') return 0;
    d->record[0] = '*';
    d->recordChanged = 1;
    return 0;
}

int d4recall(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4recall);
    if (d4errorStanding(d->c)) return -1;
    if (int r = enforceLock(d, L4_d4recall)) return r;
    if (d->record[0] != '*') return 0;
    d->record[0] = ' ';
    d->recordChanged = 1;
    return 0;
}

int d4update(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4update);
    if (d4errorStanding(d->c)) return -1;
    return d4writeCurrent(d);
}

int d4flush(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4flush);
    if (d4errorStanding(d->c)) return -1;
    if (int r = d4writeCurrent(d)) return r;
    DataFile4* df = d->df;
    if (df->headerDirty && (df->accessMode != 0 || d->haveAppendLock || d->haveFileLock))
        if (int r = dfile4writeHeader(df, true)) return r;
    // The records reach the disk before the index entries that point at them: a power loss
    // between the two syncs leaves records the index lacks (a reindex finds them), never an
    // entry naming a record that is not there.
    if (df->memo)
        if (int r = file4flush(df->memo.get())) return r;
    if (int r = file4flush(&df->file)) return r;
    const Index4Hooks* hooks = index4hooks();
    if (hooks && hooks->flush && !d->indexes.empty()) return hooks->flush(d);
    return 0;
}

namespace {

// The records kept by a pack, in order, handed to `put` (header excluded); the count kept, or a
// negative error. Only records marked deleted go; a record with any other flag byte stays.
template <typename Put>
long keptRecords(DataFile4* df, Put put) {
    const unsigned len = df->recordLen;
    File4seqRead in;
    if (int r = file4seqReadInit(&in, &df->file, df->headerLen, 0)) return r;
    std::vector<char> rec(len);
    long kept = 0;
    for (unsigned long i = 0; i < df->numRecs; ++i) {
        long n = file4seqRead(&in, rec.data(), len);
        if (n < 0) return n;
        if (n < static_cast<long>(len)) break;  // the file ends early: nothing more to keep
        if (rec[0] == '*') continue;
        if (int r = put(rec.data(), len)) return r;
        ++kept;
    }
    return kept;
}

// The records are moved down in place and the file is cut after them. A crash in between
// leaves each moved record twice; only a table that other openers may hold (shared or deny
// write: they keep the file they opened, so it cannot be replaced under them) is packed so.
long packInPlace(DataFile4* df) {
    File4seqWrite out;
    if (int r = file4seqWriteInit(&out, &df->file, df->headerLen, 0)) return r;
    const long kept = keptRecords(
        df, [&](const char* rec, unsigned len) { return file4seqWrite(&out, rec, len); });
    if (kept < 0) return kept;
    const char eof = 0x1A;
    if (int r = file4seqWrite(&out, &eof, 1)) return r;
    if (int r = file4seqWriteFlush(&out)) return r;
    // Counted before the cut: should the cut fail, the header written at close counts only
    // the records moved down.
    df->numRecs = static_cast<unsigned long>(kept);
    df->headerDirty = true;
    df->fileChanged = true;
    if (int r = file4lenSet(&df->file, dfile4recordPos(df, kept + 1) + 1)) return r;
    return kept;
}

int packFailed(DataFile4* df, int err) {
    return error4describe(df->c, e4write, L4_d4pack, df->name.c_str(), std::strerror(err));
}

// A table held exclusively is packed into a new file beside it: the header with the new count,
// the kept records and the end mark, synced and renamed over the table. Until the rename the
// old file is wholly there; after it the new one is. The new file announces the exclusive
// opening on its sentinel bytes before a byte is written, so an opener that finds it under the
// table's name is refused as it was by the old one; the handle then goes on with it. The bytes
// are those the in-place pack leaves.
long packIntoNewFile(DataFile4* df) {
    // The file the handle opened, where it lies (a link to it is followed, as the opening did);
    // a name that no longer leads to it is not replaced.
    char real[PATH_MAX];
    struct stat named {
    }, held{};
    if (!::realpath(df->name.c_str(), real) || ::stat(real, &named) != 0)
        return packFailed(df, errno);
    if (io4()->fstat(df->file.fd, &held) != 0) return packFailed(df, errno);
    if (named.st_dev != held.st_dev || named.st_ino != held.st_ino) return packFailed(df, ESTALE);

    std::vector<char> header(df->headerLen);
    if (int r = file4readAll(&df->file, 0, header.data(), df->headerLen)) return r;
    File4Replace out;
    if (int e = out.begin(real, File4Replace::Mode::Replace, true)) return packFailed(df, e);
    if (const int s = lock4shareOpen(out.descriptor(), lock4exclusive, true))
        return packFailed(df, s == 1 ? EBUSY : errno);
    // The new file belongs to whoever packs; in a shared folder the others reach the table
    // through its group, which is handed on where the packer may (a member of that group).
    if (held.st_gid != ::getegid() &&
        ::fchown(out.descriptor(), static_cast<uid_t>(-1), held.st_gid) != 0) {
    }
    // Written in runs of whole records, the header's count patched in at the end.
    std::vector<char> run;
    run.reserve(256 * 1024);
    run.insert(run.end(), header.begin(), header.end());
    const long kept = keptRecords(df, [&](const char* rec, unsigned len) {
        if (run.size() + len > run.capacity()) {
            if (int e = out.write(run.data(), run.size())) return packFailed(df, e);
            run.clear();
        }
        run.insert(run.end(), rec, rec + len);
        return 0;
    });
    if (kept < 0) return kept;
    run.push_back(0x1A);
    unsigned char h[10];
    h[0] = df->version;
    h[1] = df->yy;
    h[2] = df->mm;
    h[3] = df->dd;
    for (int i = 0; i < 4; ++i) h[4 + i] = static_cast<unsigned char>(kept >> (8 * i));
    h[8] = static_cast<unsigned char>(df->headerLen);
    h[9] = static_cast<unsigned char>(df->headerLen >> 8);
    if (int e = out.write(run.data(), run.size())) return packFailed(df, e);
    if (int e = out.writeAt(0, h, df->headerLen < sizeof h ? df->headerLen : sizeof h))
        return packFailed(df, e);
    int fd = -1;
    const int e = out.commit(&fd);
    if (fd >= 0) {
        file4adopt(&df->file, fd);
        lock4engineFileReplaced(df);
    }
    if (e) return packFailed(df, e);
    return kept;
}

int packTable(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4pack);
    Vask4* c = d->c;
    if (d4errorStanding(c)) return -1;
    DataFile4* df = d->df;
    if (df->readOnly) return error4describe(c, e4write, L4_d4pack, df->name.c_str());
    if (int r = d4writeCurrent(d)) return r;
    if (df->accessMode == 0 && !d->haveFileLock) {
        if (int r = d4lockFile(d)) return r;
    }
    if (int r = dfile4recCountRefresh(df, df->accessMode == 0)) return r;
    if (int r = checkCountFits(df, c)) return r;
    const long kept = df->accessMode == 1 ? packIntoNewFile(df) : packInPlace(df);
    if (kept < 0) return static_cast<int>(kept);
    df->numRecs = static_cast<unsigned long>(kept);
    df->backedRecs = df->numRecs;
    df->headerDirty = df->accessMode != 1;  // the new file was written with its count
    df->fileChanged = true;
    d->recNum = -1;
    d->recordChanged = 0;
    d->oldValid = 0;
    d4blankBuffer(d);
    d->bof = d->eof = kept == 0 ? 1 : 0;
    const Index4Hooks* hooks = index4hooks();
    if (hooks && hooks->reindex && !d->tags.empty())
        if (int r = hooks->reindex(d)) return r;
    if (int r = df->headerDirty ? dfile4writeHeader(df, true) : 0) return r;
    // The file was cut: its new count goes to the file now, not when the lock is given back,
    // so that no reader meets the count of the records that were cut away.
    return df->file.held ? file4writeBehindFlush(&df->file) : 0;
}

}  // namespace

// The rewrite and the rebuild allocate buffers: running out of memory is reported as -920
// (which ends the program after closing the files) rather than escaping as an exception.
int d4pack(Data4* d) {
    try {
        return packTable(d);
    } catch (const std::bad_alloc&) {
        return error4(d ? d->c : nullptr, e4memory, L4_d4pack);
    }
}

Tag4* d4tag(Data4* d, const char* name) {
    if (!d) {
        error4(nullptr, e4parmNull, L4_d4tag);
        return nullptr;
    }
    const Index4Hooks* hooks = index4hooks();
    if (hooks && hooks->tag) return hooks->tag(d, name);
    if (d->c->errTagName) error4describe(d->c, e4tagName, L4_d4tag, name ? name : "");
    return nullptr;
}

int d4tagSelect(Data4* d, Tag4* tag) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4tagSelect);
    d->tagSelected = tag;
    return 0;
}

Tag4* d4tagSelected(Data4* d) {
    if (!d) {
        error4(nullptr, e4parmNull, L4_d4tagSelected);
        return nullptr;
    }
    return d->tagSelected;
}

int d4reindex(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4reindex);
    if (d4errorStanding(d->c)) return -1;
    if (int r = d4writeCurrent(d)) return r;
    const Index4Hooks* hooks = index4hooks();
    if (hooks && hooks->reindex && !d->tags.empty()) return hooks->reindex(d);
    return 0;
}

long d4readRecords(Data4* d, long first, long count, char* out) {
    if (!d || !out || first < 1 || count < 0) return error4(d ? d->c : nullptr, e4parm, L4_d4go);
    if (d4errorStanding(d->c)) return -1;
    DataFile4* df = d->df;
    if (static_cast<unsigned long>(first) + static_cast<unsigned long>(count) - 1 > df->numRecs)
        if (int r = dfile4recCountRefresh(df, true)) return r;
    if (static_cast<unsigned long>(first) > df->numRecs) return 0;
    count = std::min<long>(count, static_cast<long>(df->numRecs) - first + 1);
    const std::int64_t pos =
        static_cast<std::int64_t>(df->headerLen) +
        static_cast<std::int64_t>(first - 1) * static_cast<std::int64_t>(df->recordLen);
    const std::uint64_t bytes = static_cast<std::uint64_t>(count) * df->recordLen;
    if (bytes > 0x7fffffffu) return error4(d->c, e4parm, L4_d4go);
    long n = file4read(&df->file, pos, out, static_cast<unsigned>(bytes));
    if (n < 0) return n;
    // A file cut short (another program, a crash) yields the whole records it still holds.
    return n / static_cast<long>(df->recordLen);
}
