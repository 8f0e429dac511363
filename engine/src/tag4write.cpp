// Key maintenance on record writes, with the undo of a write that failed half-way, the
// record numbers of a key range, and the index check.
#include "engine/src/tag4impl.h"

using namespace tag4i;

namespace {

struct KeyChange {
    Tag4* t;
    std::string oldKey, newKey;
    bool removed = false, inserted = false;
};

// Keys change only under the index locks of every index file of the table, on the tree as
// the other users left it.
int lockIndexes(Data4* d) {
    if (d->df->accessMode != 0) return 0;
    if (int r = lock4engineIndexLock(d)) return r;
    for (Index4* i : d->indexes) {
        i->cdx->setHold(d->haveFileLock != 0);
        if (i->freshUnderLock) continue;
        if (int r = i->cdx->refresh()) return reportCdx(i, r);
        i->freshUnderLock = true;
    }
    return 0;
}

// Puts the tags named in done back as they were.
void undo(Data4* d, long rec, std::vector<KeyChange>& done) {
    for (auto it = done.rbegin(); it != done.rend(); ++it) {
        if (it->inserted)
            it->t->tree->remove(u8(it->newKey), static_cast<uint32_t>(rec), recordCount(d));
        if (it->removed)
            it->t->tree->insertPlain(u8(it->oldKey), static_cast<uint32_t>(rec), recordCount(d));
    }
    done.clear();
}

}  // namespace

int d4lockIndex(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4write);
    if (d4errorStanding(d->c)) return -1;
    return lockIndexes(d);
}

int d4writeKeys(Data4* d, long rec, const char* oldRec, const char* newRec) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4write);
    if (d4errorStanding(d->c)) return -1;
    if (int r = lockIndexes(d)) return r;
    std::vector<KeyChange> done;
    const uint64_t count = std::max<uint64_t>(recordCount(d), static_cast<uint64_t>(rec));
    bool locked = false;
    for (Tag4* t : d->tags) {
        KeyChange ch{t, {}, {}};
        int oldPass = 0, newPass = 0;
        if (oldRec) {
            if ((oldPass = tagPasses(t, oldRec)) < 0) return undo(d, rec, done), oldPass;
            if (int r = tagKey(t, oldRec, ch.oldKey)) return undo(d, rec, done), r;
        }
        if (newRec) {
            if ((newPass = tagPasses(t, newRec)) < 0) return undo(d, rec, done), newPass;
            if (int r = tagKey(t, newRec, ch.newKey)) return undo(d, rec, done), r;
        }
        if (oldRec && newRec && oldPass == newPass && ch.oldKey == ch.newKey) continue;
        if (!locked) {
            // One index lock for the whole write; it stays until d4unlock.
            if (int r = lock4engineIndexLock(d)) return r;
            locked = true;
        }
        if (oldRec && oldPass) {
            int r = t->tree->remove(u8(ch.oldKey), static_cast<uint32_t>(rec), count);
            if (r < 0) {
                undo(d, rec, done);
                return reportCdx(t->index, r);
            }
            ch.removed = r == 0;
        }
        if (newRec && newPass) {
            int r = t->tree->insert(u8(ch.newKey), static_cast<uint32_t>(rec), count);
            if (r == cdx4::kUniqueRefused || r < 0) {
                done.push_back(ch);
                undo(d, rec, done);
                if (r < 0) return reportCdx(t->index, r);
                return r4unique;
            }
            ch.inserted = r == 0;
        }
        done.push_back(ch);
    }
    return keysWritten(d);
}

int d4unwriteKeys(Data4* d, long rec, const char* oldRec, const char* newRec) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4write);
    // Undoing is writing the other way round, without unique refusals.
    if (int r = lockIndexes(d)) return r;
    const uint64_t count = std::max<uint64_t>(recordCount(d), static_cast<uint64_t>(rec));
    for (Tag4* t : d->tags) {
        std::string a, b;
        int pa = 0, pb = 0;
        if (newRec) {
            pa = tagPasses(t, newRec);
            if (tagKey(t, newRec, a)) pa = 0;
        }
        if (oldRec) {
            pb = tagPasses(t, oldRec);
            if (tagKey(t, oldRec, b)) pb = 0;
        }
        if (newRec && oldRec && pa == pb && a == b) continue;
        if (pa == 1) t->tree->remove(u8(a), static_cast<uint32_t>(rec), count);
        if (pb == 1) t->tree->insertPlain(u8(b), static_cast<uint32_t>(rec), count);
    }
    return keysWritten(d);
}

int d4seekRecords(Data4* d, const char* key, std::vector<long>& out) {
    if (!d || !key) return error4(d ? d->c : nullptr, e4parmNull, L4_d4seek);
    if (d4errorStanding(d->c)) return -1;
    out.clear();
    Tag4* t = d->tagSelected;
    if (!t) return r4noTag;
    if (t->tree->descending() || !expr4keyIsChar(t->expr)) return error4(d->c, e4parm, L4_d4seek);
    return guarded(d, L4_d4seek, [&]() -> int {
        // The tag's own buffer, kept from one call to the next: a list opened again and again
        // would otherwise fault in megabytes of fresh memory each time.
        std::vector<uint32_t>& recs = t->seekRecs;
        // Another user's change met on the way makes the whole walk start again.
        int rc = reread(t, [&]() -> int {
            if (int r = refreshTag(t)) return r;
            const bool marked = nullMarked(t);
            const unsigned kl = t->tree->keyLen() - (marked ? 1 : 0);
            std::string sought(key, std::min<size_t>(std::strlen(key), kl));
            size_t n = sought.size();
            if (t->general) cdx4::collateGeneral(reinterpret_cast<uint8_t*>(sought.data()), n);
            if (marked) {
                sought.insert(sought.begin(), kValueMarker);
                ++n;
            }
            return t->tree->recordsFrom(u8(sought), n, recs);
        });
        if (rc < 0) return reportCdx(t->index, rc);
        out.reserve(recs.size());
        bool refreshed = false;
        for (const uint32_t rec : recs) {
            if (rec > recordCount(d) && !refreshed) {
                if (int r = dfile4recCountRefresh(d->df, true)) return r;
                refreshed = true;
            }
            if (rec >= 1 && rec <= recordCount(d)) out.push_back(static_cast<long>(rec));
        }
        return 0;
    });
}

int i4check(Data4* d, std::string* report) {
    if (!d) return error4(nullptr, e4parmNull, L4_corrupt);
    std::string all;
    DataFile4* df = d->df;
    for (Index4* i : d->indexes) {
        std::map<std::string, std::vector<cdx4::Entry>> expected;
        for (auto& t : i->tags) expected[t->tree->name()];
        std::vector<char> rec(df->recordLen + 1);
        std::string key;
        for (unsigned long n = 1; n <= df->numRecs; ++n) {
            if (dfile4readRecord(df, static_cast<long>(n), rec.data()) != 0) break;
            for (auto& t : i->tags) {
                if (tagPasses(t.get(), rec.data()) != 1) continue;
                if (tagKey(t.get(), rec.data(), key)) continue;
                expected[t->tree->name()].push_back(
                    {std::vector<uint8_t>(key.begin(), key.end()), static_cast<uint32_t>(n)});
            }
        }
        cdx4::CheckReport r = i->cdx->check(df->numRecs, &expected);
        for (const auto& p : r.problems) all += i->path + ": " + p + "\n";
    }
    if (report) *report = all;
    return all.empty() ? 0 : e4index;
}
