// Lock calls of the record operations. For now every request is granted without taking a
// byte-range lock; the bookkeeping (what a handle holds, a stale count after the append or
// file lock) is already what the record operations rely on, so the real locks slot in here.
#include <algorithm>

#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/src/data4impl.h"

int d4lock(Data4* d, long rec) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4lock);
    if (d->df->accessMode != 0 || d->haveFileLock) return 0;
    if (std::find(d->lockedRecs.begin(), d->lockedRecs.end(), rec) == d->lockedRecs.end())
        d->lockedRecs.push_back(rec);
    return 0;
}

int d4lockAppend(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4lockAppend);
    if (d->df->accessMode != 0 || d->haveFileLock || d->haveAppendLock) return 0;
    d->haveAppendLock = 1;
    d->df->countStale = true;  // another user may have appended before the lock
    return 0;
}

int d4lockFile(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4lockFile);
    if (d->df->accessMode != 0 || d->haveFileLock) return 0;
    d->haveFileLock = 1;
    d->df->countStale = true;
    return 0;
}

int d4lockAll(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4lockAll);
    return d4lockFile(d);
}

int d4lockTest(Data4* d, long rec) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4lockTest);
    if (d->df->accessMode != 0 || d->haveFileLock) return 1;
    return std::find(d->lockedRecs.begin(), d->lockedRecs.end(), rec) != d->lockedRecs.end() ? 1
                                                                                             : 0;
}

int d4unlock(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4unlock);
    int r = d4writeCurrent(d);
    DataFile4* df = d->df;
    if (r == 0 && df->headerDirty && (df->accessMode != 0 || d->haveAppendLock || d->haveFileLock))
        r = dfile4writeHeader(df, true);
    d->haveAppendLock = 0;
    d->haveFileLock = 0;
    d->lockedRecs.clear();
    return r;
}
