// Navigation in tag order: top, bottom, skip and seek, kept current with other users'
// changes, and the walk read path that reads a leaf's records in runs.
#include "engine/src/tag4impl.h"

namespace tag4i {

// Keeps the tag current with other users' changes before it is used.
int refreshTag(Tag4* t, bool* changedOut) {
    Index4* i = t->index;
    Data4* d = i->d;
    if (d->df->accessMode != 0) return 0;
    size_t k = static_cast<size_t>(std::find(d->indexes.begin(), d->indexes.end(), i) -
                                   d->indexes.begin());
    if (lock4engineIndexHeld(d, k)) {
        // Held by us: nobody else changed it; but a lock layer that locks nothing
        // (mode 1 or 2) also lands here, and then nobody else can write either.
        i->cdx->setCheckReads(false);
        return 0;
    }
    // Read without the lock while others may write: every node read is checked.
    i->cdx->setCheckReads(true);
    bool changed = false;
    int rc = reportCdx(i, i->cdx->refresh(&changed));
    if (rc == 0 && d->walk) {
        d->walk->lookedAt = i;
        d->walk->lookedLeaf = 0;
    }
    if (rc == 0 && changedOut) *changedOut = changed;
    return rc;
}

// Whether the table is inside a walk that may serve what it read itself.
bool walking(Data4* d) {
    return d->walk && d->walk->depth > 0 && d->df->accessMode == 0 && !d->c->readLock;
}

// Most bytes one walk keeps; past it the walk starts over with an empty store.
constexpr std::size_t kWalkBytes = 32u << 20;
constexpr long kStretchBytes = 64 * 1024;

// After records were read for the walk: read for another leaf than the one the walk looked
// at the change counter on, they are checked now. A writer changes the keys before the
// record, so a counter that has not moved since the walk's look means these records agree
// with the index the walk goes through. When it moved, what the walk read is dropped and
// the step starts again on the index as it is (*failed then kChanged). False with *failed set.
bool lookAfterRead(Data4* d, Tag4* t, int* failed) {
    Walk4& w = *d->walk;
    if (w.lookedLeaf == t->pos.leaf) return true;  // of that look's moment, as steps always were
    bool changed = false;
    if (int r = refreshTag(t, &changed)) {
        *failed = r;
        return false;
    }
    if (changed) {
        w.forget();
        *failed = cdx4::kChanged;
        return false;
    }
    w.lookedLeaf = t->pos.leaf;
    return true;
}

// Room in the walk's pages for want bytes of records, or nullptr (the record is then read the
// ordinary way). A walk past its most bytes starts over with an empty store.
char* walkRoom(Walk4& w, std::size_t want) {
    if (want > Walk4::kPage) return nullptr;
    if (w.total + want > kWalkBytes) w.forget();
    return w.room(want);
}

// read() with the context's reports off, its result: a failed read is made again the ordinary
// way, which reports it, so this one leaves the context's last error as it was.
template <class Read>
long quietRead(Vask4* c, Read read) {
    const int silent = c->errOff, code = c->errorCode;
    const long location = c->errorLocation;
    c->errOff = 1;
    const long got = read();
    c->errOff = silent;
    if (got < 0) {
        c->errorCode = code;
        c->errorLocation = location;
    }
    return got;
}

// Most records one batch reads.
constexpr int kBatch = 16;

// Record rec (entry `at` of the walk's current leaf, whose records are `ahead`) read in one
// batch with the records of the entries after it in the leaf that the walk does not hold yet;
// nullptr as walkRecord.
const char* walkBatch(Data4* d, Tag4* t, long rec, std::size_t at,
                      const std::vector<uint32_t>& ahead, int* failed) {
    Walk4& w = *d->walk;
    DataFile4* df = d->df;
    const long len = static_cast<long>(df->recordLen);
    const long count = static_cast<long>(df->numRecs);
    long recs[kBatch];
    int n = 0;
    recs[n++] = rec;
    const int most = static_cast<int>(std::min<long>(kBatch, Walk4::kPage / std::max(1L, len)));
    for (std::size_t k = at + 1; k < ahead.size() && n < most; ++k) {
        const long r = static_cast<long>(ahead[k]);
        // A damaged leaf may name a record twice or one beyond the table: read each once.
        if (r >= 1 && r <= count && !w.find(r) && std::find(recs, recs + n, r) == recs + n)
            recs[n++] = r;
    }
    const std::size_t want = static_cast<std::size_t>(n * len);
    char* to = walkRoom(w, want);
    if (!to) return nullptr;
    Io4Read reads[kBatch];
    for (int k = 0; k < n; ++k)
        reads[k] = Io4Read{to + k * len, static_cast<size_t>(len),
                           static_cast<off_t>(df->headerLen + (recs[k] - 1) * len), 0};
    if (quietRead(d->c, [&] { return file4readBatch(&df->file, reads, n); }) < 0) return nullptr;
    if (!lookAfterRead(d, t, failed)) return nullptr;
    w.runEnd = rec;
    w.used += want;
    w.total += want;
    for (int k = 0; k < n; ++k)
        if (reads[k].got == len && !w.put(recs[k], to + k * len)) return nullptr;
    return reads[0].got == len ? to : nullptr;
}

// Record rec for the walk: from what it read, else read in one run with the records next to
// it in the file that the walk's current leaf also holds. A walk
// that has shown it reads a good share of the file reads whole stretches instead. nullptr
// when the read fails (the caller then reads the ordinary way, which reports it), or with
// *failed set when the index changed under the walk (kChanged) or could not be looked at.
const char* walkRecord(Data4* d, Tag4* t, long rec, int* failed) {
    Walk4& w = *d->walk;
    DataFile4* df = d->df;
    const long len = static_cast<long>(df->recordLen);
    const long count = static_cast<long>(df->numRecs);
    const long per = std::max(1L, kStretchBytes / std::max(1L, len));
    ++w.served;
    if (w.lookedLeaf == 0) w.lookedLeaf = t->pos.leaf;  // the first landing after a look
    if (!w.stretches.empty()) {
        auto s = w.stretches.find((rec - 1) / per);
        if (s != w.stretches.end() && (rec - 1) % per < s->second.second)
            return s->second.first + static_cast<std::size_t>(((rec - 1) % per) * len);
    }
    if (const char* held = w.find(rec)) return held;
    long first = rec, last = rec;
    // Reading stretches pays once the walk has landed on about four records per stretch
    // of the file, or once it has gone on from where its last reads ended (a report over a
    // month of a table written day by day): one read per stretch instead of one per leaf.
    w.streak = rec == w.runEnd + 1 ? w.streak + 1 : 0;
    const bool stretch = w.served > std::max(64L, 4 * (count / per)) || w.streak >= 2;
    if (stretch) {
        first = (rec - 1) / per * per + 1;
        last = std::min(count, first + per - 1);
    } else {
        // The entries next to this one in the leaf whose records lie next to it in the file
        // (a file written in key order) come with it in one read. Looking at neighbours
        // only, rather than sorting the leaf, keeps a lookup of a few scattered records
        // as cheap as reading them one by one.
        std::vector<uint32_t>& ahead = t->ahead;
        const uint64_t serial = t->index->cdx->serial();
        if (t->aheadLeaf != t->pos.leaf || t->aheadSerial != serial) {
            t->tree->leafRecords(t->pos, ahead);
            t->aheadLeaf = t->pos.leaf;
            t->aheadSerial = serial;
        }
        const std::size_t at = t->pos.index;
        if (at < ahead.size() && ahead[at] == static_cast<uint32_t>(rec)) {
            std::size_t k = at + 1;
            for (; k < ahead.size() && last - first + 1 < per &&
                   ahead[k] == static_cast<uint32_t>(last + 1) && last + 1 <= count &&
                   !w.find(last + 1);
                 ++k)
                ++last;
            const bool toLeafEnd = k == ahead.size();
            for (std::size_t k = at; k-- > 0 && last - first + 1 < per &&
                                     ahead[k] == static_cast<uint32_t>(first - 1) &&
                                     first - 1 >= 1 && !w.find(first - 1);)
                --first;
            // The run goes on to the leaf's last entry: the records after it in the file are
            // most likely the next leaf's, and as many again come with this read, so a day's
            // list that goes on into the next leaf reads nothing more.
            if (toLeafEnd && last > first)
                last = std::min({count, first + per - 1, last + (last - first + 1)});
            // A record alone, and not the walk's first: its neighbours in the file are not its
            // neighbours in the leaf, so the next entries' records come in one batch.
            if (last == first && w.singles++ > 0 && at + 1 < ahead.size())
                return walkBatch(d, t, rec, at, ahead, failed);
        }
    }
    const std::size_t want = static_cast<std::size_t>((last - first + 1) * len);
    char* to = walkRoom(w, want);
    if (!to) return nullptr;
    const long got = quietRead(d->c, [&] {
        return file4read(&df->file, static_cast<std::int64_t>(df->headerLen) + (first - 1) * len,
                         to, static_cast<unsigned>(want));
    });
    if (got < 0) return nullptr;
    const long whole = got / len;
    if (!lookAfterRead(d, t, failed)) return nullptr;
    w.runEnd = first + whole - 1;
    w.used += static_cast<std::size_t>(whole * len);
    w.total += static_cast<std::size_t>(whole * len);
    if (rec - first >= whole) return nullptr;
    if (stretch) {
        w.stretches[(rec - 1) / per] = {to, whole};
    } else {
        for (long r = 0; r < whole; ++r)
            if (!w.put(first + r, to + r * len)) return nullptr;
    }
    return to + (rec - first) * len;
}

// Positions on record rec reached in tag order: inside a walk from what the walk read.
int goRecord(Data4* d, Tag4* t, long rec) {
    if (!walking(d)) return d4goData(d, rec, 0);
    if (int r = d4writeCurrent(d)) return r;
    DataFile4* df = d->df;
    if (rec > static_cast<long>(df->numRecs))
        if (int r = dfile4recCountRefresh(df, true)) return r;
    int code = 0;
    const char* p = rec >= 1 && rec <= static_cast<long>(df->numRecs) && walking(d)
                        ? walkRecord(d, t, rec, &code)
                        : nullptr;
    if (code != 0) return code;
    if (!p) return d4goData(d, rec, 0);
    std::memcpy(d->record, p, df->recordLen);
    d->recNum = rec;
    d->bof = d->eof = 0;
    d->recordChanged = 0;
    d->oldValid = 0;
    return 0;
}

// Positions the table on the tag's current entry, passing entries whose records are
// beyond the table; dir +1 or -1 for the direction to pass them in.
int landRecord(Data4* d, Tag4* t, int rc, int dir) {
    for (;;) {
        if (rc < 0) return reportCdx(t->index, rc);
        if (rc == cdx4::kEof || rc == cdx4::kBof) return rc;
        if (t->pos.rec >= 1 && t->pos.rec <= recordCount(d)) break;
        if (int r = dfile4recCountRefresh(d->df, true)) return r;
        if (t->pos.rec >= 1 && t->pos.rec <= recordCount(d)) break;
        rc = dir > 0 ? t->tree->next(t->pos) : t->tree->prev(t->pos);
    }
    return goRecord(d, t, static_cast<long>(t->pos.rec));
}

void goEof(Data4* d) {
    d4blankBuffer(d);
    d->recNum = static_cast<long>(recordCount(d)) + 1;
    d->eof = 1;
    d->recordChanged = 0;
    d->oldValid = 0;
}

int hookTopOnce(Data4* d) {
    Tag4* t = d->tagSelected;
    if (int r = refreshTag(t)) return r;
    bool desc = t->tree->descending();
    int rc = desc ? t->tree->bottom(t->pos) : t->tree->top(t->pos);
    rc = landRecord(d, t, rc, desc ? -1 : 1);
    // Passing entries beyond the table backwards (a descending tag) ends at the start.
    if (rc == cdx4::kEof || rc == cdx4::kBof) {
        goEof(d);
        d->bof = 1;
        return r4eof;
    }
    return rc;
}

int hookBottomOnce(Data4* d) {
    Tag4* t = d->tagSelected;
    if (int r = refreshTag(t)) return r;
    bool desc = t->tree->descending();
    int rc = desc ? t->tree->top(t->pos) : t->tree->bottom(t->pos);
    rc = landRecord(d, t, rc, desc ? 1 : -1);
    // Passing entries beyond the table backwards (an ascending tag) ends at the start.
    if (rc == cdx4::kEof || rc == cdx4::kBof) {
        goEof(d);
        d->bof = 1;
        return r4eof;
    }
    return rc;
}

// The tag stands on the entry that brought the table to its record, in the index as it still
// is, yet the key rebuilt from the record buffer is another. When the record as stored agrees
// with the entry, the buffer holds a change of this handle that was not written (d4blank,
// d4changed off), and the place is re-found from the buffer's key as always. When the stored
// record disagrees too, re-finding from its key could land before the entry and walk the
// same records for ever: a record another user is rewriting agrees once its write lands (its
// keys are written first), one that still disagrees means the table and its index are
// damaged, and that is reported. 0 to go on (also when the index changed meanwhile).
int storedKeyAgrees(Data4* d, Tag4* t) {
    const long rec = d->recNum;
    const bool shared = d->df->accessMode == 0;
    std::vector<char> stored(d->df->recordLen + 1);
    std::string key;
    for (int round = 0; round < (shared ? 5 : 1); ++round) {
        if (round > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2 * round));
            if (int r = refreshTag(t)) return r;
            if (t->pos.serial != t->index->cdx->serial()) return 0;
        }
        if (int r = dfile4readRecord(d->df, rec, stored.data())) return r;
        if (int r = tagKey(t, stored.data(), key)) return r;
        if (key.size() == t->pos.key.size() &&
            std::memcmp(key.data(), t->pos.key.data(), key.size()) == 0)
            return 0;
    }
    return reportCdx(
        t->index, t->index->cdx->fail(cdx4::kErrCorrupt, cdx4::kLocCorrupt,
                                      "tag " + t->tree->name() + ": record " + std::to_string(rec) +
                                          " does not have the key of its entry"));
}

int hookSkipOnce(Data4* d, long count) {
    Tag4* t = d->tagSelected;
    const bool desc = t->tree->descending();
    // The tag's entry must be the current record: rebuild its key from the record as it is
    // now and stand on (key, record). When that entry is gone, landing on the next greater
    // one counts as a step forward (backward for a descending tag).
    std::string& key = t->scratch;
    if (int r = tagKey(t, d->record, key)) return r;
    int pass = tagPasses(t, d->record);
    if (pass < 0) return pass;
    long rec = d->recNum;
    auto onOwnEntry = [&] {
        return t->pos.onEntry() && t->pos.rec == static_cast<uint32_t>(rec) &&
               t->pos.serial == t->index->cdx->serial();
    };
    auto standing = [&] {
        return onOwnEntry() && key.size() == t->pos.key.size() &&
               std::memcmp(key.data(), t->pos.key.data(), key.size()) == 0;
    };
    // Inside a walk, once the walk has looked at the change counter, a step reads the tree as
    // it was then: its cached nodes are all of that moment (a change empties the cache), and
    // a node it must read from the file is checked against the counter as it is read, which
    // starts the step over on a change. The walk is one view of the index, as a report or a
    // list needs; looking at the counter at every leaf was one read per 30 records.
    const bool sameView =
        (count == 1 || count == -1) && walking(d) && d->walk->lookedAt == t->index && standing();
    if (!sameView)
        if (int r = refreshTag(t)) return r;
    if (!standing() && onOwnEntry())
        if (int r = storedKeyAgrees(d, t)) return r;
    int rc;
    if (standing()) {
        rc = cdx4::kFound;  // still standing on it: no descent needed
    } else {
        rc = t->tree->seekEntry(u8(key), static_cast<uint32_t>(rec), t->pos);
    }
    if (rc < 0) return reportCdx(t->index, rc);
    bool exact = rc == cdx4::kFound && pass;
    if (rc == cdx4::kFound && !pass) {
        // Filtered out yet still there (e.g. not written): step past it.
        exact = true;
    }
    long steps = count;
    int last = 0;
    if (!exact) {
        if (rc == cdx4::kEof) {
            // Nothing greater is stored. Moving towards greater keys ends there: at the end of
            // an ascending tag, before the start of a descending one. Moving the other way
            // starts from the greatest stored entry, which counts as the first step.
            if ((count > 0) != desc) {
                if (count > 0) {
                    goEof(d);
                    return r4eof;
                }
                steps = 0;
                last = cdx4::kBof;
            } else {
                last = t->tree->bottom(t->pos);
                if (last == cdx4::kEof) {
                    goEof(d);
                    d->bof = 1;
                    return r4eof;
                }
                steps += count > 0 ? -1 : 1;
            }
        } else if ((count > 0) != desc) {
            steps += count > 0 ? -1 : 1;  // landing was the first step
        }
    }
    bool forward = (count > 0) != desc;
    long n = steps < 0 ? -steps : steps;
    for (long s = 0; s < n; ++s) {
        last = forward ? t->tree->next(t->pos) : t->tree->prev(t->pos);
        if (last != 0) break;
        if (t->pos.rec > recordCount(d) && dfile4recCountRefresh(d->df, true) == 0 &&
            t->pos.rec > recordCount(d))
            --s;  // entries of records beyond the table are passed
    }
    if (last < 0) return reportCdx(t->index, last);
    // Past either end of the tag (also when only entries beyond the table were left there).
    auto pastEnd = [&]() -> int {
        if (count > 0) {
            goEof(d);
            return r4eof;
        }
        // Before the first entry: stay on the first record.
        int r = desc ? t->tree->bottom(t->pos) : t->tree->top(t->pos);
        r = landRecord(d, t, r, desc ? -1 : 1);
        if (r == cdx4::kEof || r == cdx4::kBof) {
            goEof(d);
            d->bof = 1;
            return r4eof;
        }
        if (r != 0) return r;
        d->bof = 1;
        return r4bof;
    };
    if (last == cdx4::kEof || last == cdx4::kBof) return pastEnd();
    int r = landRecord(d, t, 0, forward ? 1 : -1);
    if (r == cdx4::kEof || r == cdx4::kBof) return pastEnd();
    return r;
}

int hookSeekOnce(Data4* d, const char* key, int len) {
    Tag4* t = d->tagSelected;
    if (int r = refreshTag(t)) return r;
    const bool marked = nullMarked(t);
    const bool desc = t->tree->descending();
    unsigned kl = t->tree->keyLen() - (marked ? 1 : 0);
    std::string sought(key, static_cast<size_t>(len));
    size_t n = expr4keyIsChar(t->expr) ? std::min<size_t>(sought.size(), kl) : kl;
    if (!expr4keyIsChar(t->expr)) {
        // Non-character tags are sought by their whole key: convert the text as the key
        // expression would (numbers and dates).
        unsigned char k[8] = {};
        char type = expr4type(t->expr);
        if (type == 'D' || type == 'd') {
            expr4keyDate(expr4julianText(sought.c_str()), k);
        } else {
            expr4keyDouble(std::atof(sought.c_str()), k);
        }
        sought.assign(reinterpret_cast<char*>(k), std::min<size_t>(8, kl));
        sought.resize(kl, 0);
    }
    sought.resize(std::max(sought.size(), n));
    if (t->general) cdx4::collateGeneral(reinterpret_cast<uint8_t*>(sought.data()), n);
    if (marked) {
        // A sought value is never null.
        sought.insert(sought.begin(), kValueMarker);
        ++n;
    }
    // A descending tag is walked from the end of the stored order: its seek stands on the
    // last matching entry, or the greatest one below, and passes changed records backwards.
    int rc = desc ? t->tree->seekLast(u8(sought), n, t->pos) : t->tree->seek(u8(sought), n, t->pos);
    for (;;) {
        if (rc < 0) return reportCdx(t->index, rc);
        if (rc == cdx4::kEof) {
            goEof(d);
            return r4eof;
        }
        if (t->pos.rec > recordCount(d)) dfile4recCountRefresh(d->df, true);
        if (t->pos.rec >= 1 && t->pos.rec <= recordCount(d)) {
            if (int r = goRecord(d, t, static_cast<long>(t->pos.rec))) return r;
            // Another user may have changed the record since the entry was read.
            std::string& now = t->scratch;
            if (int r = tagKey(t, d->record, now)) return r;
            if (now.size() == t->pos.key.size() &&
                std::memcmp(now.data(), t->pos.key.data(), now.size()) == 0 &&
                tagPasses(t, d->record) == 1)
                break;
            if (d->df->accessMode != 0) break;  // nobody else can change it
        }
        rc = desc ? t->tree->prev(t->pos) : t->tree->next(t->pos);
        if (rc == cdx4::kBof) rc = cdx4::kEof;
        if (rc == 0) rc = std::memcmp(t->pos.key.data(), sought.data(), n) == 0 ? 0 : cdx4::kAfter;
    }
    return std::memcmp(t->pos.key.data(), sought.data(), n) == 0 ? 0 : r4after;
}

int hookTop(Data4* d) {
    return reread(d->tagSelected, [&] { return hookTopOnce(d); });
}
int hookBottom(Data4* d) {
    return reread(d->tagSelected, [&] { return hookBottomOnce(d); });
}
int hookSkip(Data4* d, long count) {
    return reread(d->tagSelected, [&] { return hookSkipOnce(d, count); });
}
int hookSeek(Data4* d, const char* key, int len) {
    return reread(d->tagSelected, [&] { return hookSeekOnce(d, key, len); });
}

}  // namespace tag4i
