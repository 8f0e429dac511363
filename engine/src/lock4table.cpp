// The lock rules of a table handle: records, appends, the whole file, memo and index
// files, automatic unlocking and the in-process tests.
#include <cerrno>

#include "engine/lock4.h"

Lock4layout Lock4table::effective(const Lock4settings& s) const {
    Lock4layout l = layout;
    l.extended = s.extended;
    return l;
}

int Lock4table::failed(Lock4file* f, long location) {
    const char* name = f ? f->name().c_str() : "";
    if (hooks.report) return hooks.report(lock4errLock, location, name);
    return lock4errLock;
}

int Lock4table::runAutoUnlock(const Lock4settings& s) {
    if (s.unlockAuto != 1 && s.unlockAuto != 2) return 0;
    if (hooks.autoUnlock) return hooks.autoUnlock(s.unlockAuto);
    return unlockAll();
}

// A range held by another handle of this process can never be granted by waiting on
// this thread: refused at once, and an error when the settings asked to wait for ever.
int Lock4table::ownImpeding(Lock4file* f, Lock4range r, const Lock4settings& s, long) {
    bool local = f->impeding(this, r) != nullptr;
    // Through another opening in this process the kernel would report an ordinary
    // conflict; with attempts -1 that wait would never end.
    if (!local && s.attempts == -1) local = f->impededInProcess(r);
    if (!local) return 0;
    if (s.attempts == -1) {
        if (hooks.report) return hooks.report(lock4errLock, lock4locOwnImpeding, f->name().c_str());
        return lock4errLock;
    }
    return lock4refused;
}

int Lock4table::take(Lock4file* f, Lock4kind kind, std::uint32_t rec, Lock4range r,
                     const Lock4settings& s, long location) {
    if (!f || f->fd() < 0) {
        if (hooks.report)
            return hooks.report(lock4errLock, lock4locUnopened, f ? f->name().c_str() : "");
        return lock4errLock;
    }
    int rc = ownImpeding(f, r, s, location);
    if (rc != 0) return rc;
    rc = f->lock(this, kind, rec, r, Lock4policy{s.attempts, s.delay});
    if (rc == -1) return failed(f, location);
    return rc;
}

bool Lock4table::holdsAppend() const {
    return data && data->find(this, lock4kindAppend) != nullptr;
}

bool Lock4table::holdsFile() const {
    return data && data->find(this, lock4kindFile) != nullptr;
}

bool Lock4table::holdsRecord(std::uint32_t rec) const {
    if (!data) return false;
    return data->find(this, lock4kindRecord, rec) != nullptr || holdsFile();
}

bool Lock4table::holdsIndex(std::size_t i) const {
    return i < indexes.size() && indexes[i] && indexes[i]->find(this, lock4kindIndex) != nullptr;
}

bool Lock4table::holdsIndexes() const {
    for (std::size_t i = 0; i < indexes.size(); ++i)
        if (!holdsIndex(i)) return false;
    return true;
}

bool Lock4table::holdsAny() const {
    for (const Lock4file* f : {data, memo})
        if (f)
            for (const Lock4entry& e : f->entries())
                if (e.owner == this) return true;
    for (const Lock4file* f : indexes)
        if (f)
            for (const Lock4entry& e : f->entries())
                if (e.owner == this) return true;
    return false;
}

std::vector<std::uint32_t> Lock4table::records() const {
    return data ? data->records(this) : std::vector<std::uint32_t>{};
}

int Lock4table::lockRecord(std::uint32_t rec, const Lock4settings& s, bool autoUnlock) {
    if (locksNothing()) return 0;
    if (holdsRecord(rec)) return 0;
    if (autoUnlock) {
        int rc = runAutoUnlock(s);
        if (rc < 0) return rc;
    }
    return take(data, lock4kindRecord, rec, lock4posRecord(effective(s), rec), s,
                lock4locFile4lock);
}

int Lock4table::lockAppend(const Lock4settings& s) {
    if (locksNothing() || holdsFile() || holdsAppend()) return 0;
    int rc = runAutoUnlock(s);
    if (rc < 0) return rc;
    rc = take(data, lock4kindAppend, 0, lock4posAppend(effective(s)), s, lock4locFile4lock);
    if (rc == 0 && hooks.countStale) hooks.countStale();
    return rc;
}

int Lock4table::lockFile(const Lock4settings& s) {
    if (locksNothing() || holdsFile()) return 0;
    int rc = runAutoUnlock(s);
    if (rc < 0) return rc;
    rc = take(data, lock4kindFile, 0, lock4posFile(effective(s)), s, lock4locFile4lock);
    if (rc == 0 && hooks.countStale) hooks.countStale();
    return rc;
}

int Lock4table::lockMemo(const Lock4settings& s) {
    if (locksNothing() || !memo || memo->find(this, lock4kindMemo)) return 0;
    return take(memo, lock4kindMemo, 0, lock4posMemo(s.extended), s, lock4locFile4lock);
}

int Lock4table::lockIndexes(const Lock4settings& s) {
    if (locksNothing() || indexes.empty() || holdsIndexes()) return 0;
    const Lock4range r = lock4posIndex(s.extended);
    // Any index held by another handle of this process blocks every round alike.
    for (Lock4file* f : indexes) {
        if (!f) continue;
        int rc = ownImpeding(f, r, s, lock4locFile4lock);
        if (rc != 0) return rc;
    }
    const Lock4settings once{1, s.delay, s.unlockAuto, s.extended};
    int left = lock4attemptsStart(s.attempts);
    for (;;) {
        std::vector<std::size_t> taken;
        int rc = 0;
        for (std::size_t i = 0; i < indexes.size(); ++i) {
            if (!indexes[i] || holdsIndex(i)) continue;
            rc = take(indexes[i], lock4kindIndex, 0, r, once, lock4locFile4lock);
            if (rc != 0) break;
            taken.push_back(i);
        }
        if (rc == 0) {
            // Other users may have changed the index while it was not ours.
            if (hooks.indexLocked)
                for (std::size_t i : taken) hooks.indexLocked(i);
            return 0;
        }
        // Holding some indexes while waiting for another invites a deadlock with a user
        // who locks them in another order: let go and start the round again.
        for (std::size_t i : taken) indexes[i]->unlock(this, lock4kindIndex);
        if (rc < 0) return rc;
        if (!lock4attemptsNext(left)) return lock4refused;
        long ms = lock4delayMilliseconds(s.delay);
        if (hooks.sleep)
            hooks.sleep(ms);
        else
            lock4sleep(ms);
    }
}

int Lock4table::lockAll(const Lock4settings& s) {
    if (locksNothing()) return 0;
    int rc = lockFile(s);
    if (rc == 0) rc = lockMemo(s);
    if (rc == 0) rc = lockIndexes(s);
    if (rc != 0 && (s.unlockAuto == 1 || s.unlockAuto == 2)) {
        int u = hooks.autoUnlock ? hooks.autoUnlock(s.unlockAuto) : unlockAll();
        if (u < 0 && rc > 0) rc = u;
    }
    return rc;
}

int Lock4table::lockForAppend(const Lock4settings& s, std::uint32_t* recordOut) {
    *recordOut = 0;
    if (locksNothing() || holdsFile()) return 0;
    long count = hooks.recordCount ? hooks.recordCount() : 0;
    if (count < 0) return static_cast<int>(count);
    const bool appendHeld = holdsAppend();
    if (!(appendHeld && data->find(this, lock4kindRecord, static_cast<std::uint32_t>(count) + 1))) {
        int rc = runAutoUnlock(s);
        if (rc < 0) return rc;
    }
    if (!holdsAppend()) {
        int rc = take(data, lock4kindAppend, 0, lock4posAppend(effective(s)), s, lock4locFile4lock);
        if (rc != 0) return rc;
        if (hooks.countStale) hooks.countStale();
    }
    // Read again: another user may have appended before we held the append lock.
    count = hooks.recordCount ? hooks.recordCount() : count;
    if (count < 0) return static_cast<int>(count);
    const std::uint32_t rec = static_cast<std::uint32_t>(count) + 1;
    int rc = lockRecord(rec, s, false);
    if (rc != 0) {
        data->unlock(this, lock4kindAppend);
        return rc;
    }
    *recordOut = rec;
    return 0;
}

int Lock4table::lockTest(std::uint32_t rec, const Lock4settings& s) const {
    if (locksNothing()) return 1;
    if (holdsRecord(rec)) return 1;
    if (data && data->impeding(this, lock4posRecord(effective(s), rec))) return lock4refused;
    return 0;
}

int Lock4table::unlockRecords() {
    if (!data) return 0;
    return data->unlockAll(this, lock4kindRecord);
}

int Lock4table::unlockIndexes() {
    int rc = hooks.indexReleasing ? hooks.indexReleasing() : 0;
    for (Lock4file* f : indexes)
        if (f && f->unlockAll(this, lock4kindIndex) != 0) rc = -1;
    return rc;
}

int Lock4table::unlockAll() {
    // Held records and a held index change are written before the whole-file lock goes,
    // the records first, as a flush writes them.
    int held = hooks.dataReleasing && holdsFile() ? hooks.dataReleasing() : 0;
    if (int i = hooks.indexReleasing ? hooks.indexReleasing() : 0; i < 0 && held == 0) held = i;
    int rc = 0;
    if (data && data->unlockAll(this) != 0) rc = -1;
    if (memo && memo->unlockAll(this) != 0) rc = -1;
    if (unlockIndexes() != 0) rc = -1;
    if (held < 0) return held;
    if (rc == 0) return 0;
    const char* name = data ? data->name().c_str() : "";
    if (hooks.report) return hooks.report(lock4errUnlock, lock4locFile4unlock, name);
    return lock4errUnlock;
}
