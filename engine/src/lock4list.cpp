// The in-process lock lists of one open file.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include "engine/lock4.h"

namespace {

// Every attached list of the process, so that a lock held through another opening of the
// same file in this process can be recognised. Also guards the entries of every list
// against another thread's context probing them.
std::mutex g_registryMutex;
std::vector<Lock4file*> g_registry;

bool overlaps(const Lock4range& a, const Lock4range& b) {
    return a.offset < b.offset + b.length && b.offset < a.offset + a.length;
}

bool contains(const Lock4range& outer, const Lock4range& inner) {
    return outer.offset <= inner.offset &&
           inner.offset + inner.length <= outer.offset + outer.length;
}

bool same(const Lock4entry& e, const void* owner, Lock4kind kind, std::uint32_t rec) {
    return e.owner == owner && e.kind == kind && (kind != lock4kindRecord || e.recordNumber == rec);
}

}  // namespace

Lock4file::Lock4file(int fd, std::string name) {
    attach(fd, std::move(name));
}

Lock4file::~Lock4file() {
    attach(-1);
}

void Lock4file::attach(int fd, std::string name) {
    std::lock_guard<std::mutex> g(g_registryMutex);
    g_registry.erase(std::remove(g_registry.begin(), g_registry.end(), this), g_registry.end());
    entries_.clear();
    fd_ = fd;
    name_ = std::move(name);
    dev_ = ino_ = 0;
    struct stat st;
    if (fd >= 0 && ::fstat(fd, &st) == 0) {
        dev_ = static_cast<std::uint64_t>(st.st_dev);
        ino_ = static_cast<std::uint64_t>(st.st_ino);
        g_registry.push_back(this);
    }
}

bool Lock4file::impededInProcess(Lock4range range) const {
    std::lock_guard<std::mutex> g(g_registryMutex);
    for (const Lock4file* other : g_registry) {
        if (other == this || other->dev_ != dev_ || other->ino_ != ino_) continue;
        for (const Lock4entry& e : other->entries_)
            if (overlaps(e.range, range)) return true;
    }
    return false;
}

const Lock4entry* Lock4file::find(const void* owner, Lock4kind kind,
                                  std::uint32_t recordNumber) const {
    for (const Lock4entry& e : entries_)
        if (same(e, owner, kind, recordNumber)) return &e;
    return nullptr;
}

const Lock4entry* Lock4file::impeding(const void* owner, Lock4range range) const {
    for (const Lock4entry& e : entries_)
        if (e.owner != owner && overlaps(e.range, range)) return &e;
    return nullptr;
}

bool Lock4file::covers(const void* owner, Lock4range range) const {
    for (const Lock4entry& e : entries_)
        if (e.owner == owner && contains(e.range, range)) return true;
    return false;
}

bool Lock4file::othersHoldRecords(const void* owner) const {
    for (const Lock4entry& e : entries_)
        if (e.owner != owner && e.kind == lock4kindRecord) return true;
    return false;
}

int Lock4file::lock(const void* owner, Lock4kind kind, std::uint32_t recordNumber, Lock4range range,
                    const Lock4policy& policy) {
    if (find(owner, kind, recordNumber)) return 0;
    // Another handle of this file shares our open file description, so the kernel
    // would grant it; waiting cannot help either, that handle is ours.
    if (impeding(owner, range)) return lock4refused;
    // Bytes this description already holds for someone (the same owner's file lock,
    // say) need no system call.
    bool held = false;
    for (const Lock4entry& e : entries_)
        if (contains(e.range, range)) held = true;
    if (!held) {
        int rc = lock4acquire(fd_, range.offset, range.length, policy);
        if (rc != 0) return rc;
    }
    std::lock_guard<std::mutex> g(g_registryMutex);
    Lock4entry e;
    e.owner = owner;
    e.kind = kind;
    e.recordNumber = kind == lock4kindRecord ? recordNumber : 0;
    e.range = range;
    entries_.push_back(e);
    return 0;
}

int Lock4file::releaseRange(Lock4range range, size_t remaining) const {
    // Subtract the first `remaining` entries from the range and unlock the gaps, walking
    // the covering entries in offset order. Unlocking runs in destructors and on error
    // paths, so it allocates nothing: the entries are few and a quadratic walk is fine.
    int rc = 0;
    std::uint64_t at = range.offset;
    const std::uint64_t end = range.offset + range.length;
    while (at < end) {
        // The covering entry that starts first among those reaching beyond `at`.
        const Lock4range* next = nullptr;
        for (size_t i = 0; i < remaining; ++i) {
            const Lock4range& k = entries_[i].range;
            if (!overlaps(k, range) || k.offset + k.length <= at) continue;
            if (!next || k.offset < next->offset) next = &k;
        }
        if (!next) break;
        if (next->offset > at && lock4osUnlock(fd_, at, std::min(next->offset, end) - at) != 0)
            rc = -1;
        at = std::max(at, next->offset + next->length);
    }
    if (at < end && lock4osUnlock(fd_, at, end - at) != 0) rc = -1;
    return rc;
}

int Lock4file::unlock(const void* owner, Lock4kind kind, std::uint32_t recordNumber) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (!same(*it, owner, kind, recordNumber)) continue;
        Lock4range r = it->range;
        {
            std::lock_guard<std::mutex> g(g_registryMutex);
            entries_.erase(it);
        }
        return releaseRange(r, entries_.size());
    }
    return 0;
}

int Lock4file::unlockAll(const void* owner, int kind) {
    // Forget them all first, then release: unlocking one by one would keep the bytes of
    // an outer range (the file lock) alive for inner ones that are about to go too. The
    // leaving entries are moved to the end in place (no allocation: this runs from
    // destructors), released against the ones that stay, then dropped.
    std::unique_lock<std::mutex> g(g_registryMutex);
    size_t stay = 0;
    for (size_t i = 0; i < entries_.size(); ++i) {
        const Lock4entry& e = entries_[i];
        if (e.owner == owner && (kind < 0 || e.kind == kind)) continue;
        if (i != stay) std::swap(entries_[stay], entries_[i]);
        ++stay;
    }
    g.unlock();
    int rc = 0;
    for (size_t i = stay; i < entries_.size(); ++i)
        if (releaseRange(entries_[i].range, stay) != 0) rc = -1;
    g.lock();
    entries_.resize(stay);
    return rc;
}

std::vector<std::uint32_t> Lock4file::records(const void* owner) const {
    std::vector<std::uint32_t> out;
    for (const Lock4entry& e : entries_)
        if (e.owner == owner && e.kind == lock4kindRecord) out.push_back(e.recordNumber);
    return out;
}
