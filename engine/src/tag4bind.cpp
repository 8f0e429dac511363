// Binds the compound index to tables: opening and creating index files, the hooks the
// data-file layer calls, and the tag properties.
#include "engine/src/tag4impl.h"

using namespace tag4i;

namespace {

// The index code reads and writes its blocks through the engine's file layer.
class Index4FileIo final : public Index4Io {
public:
    explicit Index4FileIo(File4* f) : f_(f) {}
    long read(uint64_t off, void* buf, size_t len) override {
        return file4read(f_, static_cast<std::int64_t>(off), buf, static_cast<unsigned>(len));
    }
    int write(uint64_t off, const void* buf, size_t len) override {
        return file4write(f_, static_cast<std::int64_t>(off), buf, static_cast<unsigned>(len));
    }
    int64_t length() override { return file4len(f_); }
    int setLength(uint64_t len) override { return file4lenSet(f_, static_cast<std::int64_t>(len)); }
    int flush() override { return file4flush(f_); }

private:
    File4* f_;
};

}  // namespace

namespace tag4i {

// Compiles a tag's expressions; -310 when they do not fit the stored header.
int bindTag(Index4* i, Tag4* t) {
    Data4* d = i->d;
    t->expr = expr4parseTag(d, t->tree->keyExpr().c_str());
    if (!t->expr) return d->c->errorCode < 0 ? d->c->errorCode : e4index;
    int kl = expr4keyLen(t->expr) + ((t->tree->options() & cdx4::kOptNullable) ? 1 : 0);
    if (kl != static_cast<int>(t->tree->keyLen()))
        return error4describe(d->c, e4index, L4_corrupt, i->path.c_str(), t->tree->name().c_str());
    t->tree->setPad(expr4keyIsChar(t->expr) && t->tree->collation().empty() ? ' ' : 0);
    t->general = expr4keyIsChar(t->expr) && !t->tree->collation().empty();
    if (nullMarked(t)) {
        t->nullBits = nullBitsOf(d, t->tree->keyExpr());
        if (d->df->nullFlagsField >= 0)
            t->nullFlags = d->df->fields[static_cast<size_t>(d->df->nullFlagsField)].offset;
    }
    if (!t->tree->filterExpr().empty()) {
        t->filter = expr4parseTag(d, t->tree->filterExpr().c_str());
        if (!t->filter) return d->c->errorCode < 0 ? d->c->errorCode : e4index;
        if (expr4type(t->filter) != 'L')
            return error4describe(d->c, e4index, L4_corrupt, i->path.c_str(),
                                  t->tree->filterExpr().c_str());
    }
    t->slices = plainKeySlices(t->expr, t->tree->keyLen());
    if (!t->tree->collation().empty() || nullMarked(t)) t->slices.clear();
    t->filterKind = !t->filter                      ? Tag4filter::none
                    : filterIsNotDeleted(t->filter) ? Tag4filter::notDeleted
                                                    : Tag4filter::general;
    if (t->tree->unique()) {
        int code = d->c->errDefaultUnique;
        if (t->tree->candidate())
            t->tree->setUniqueCode(code == -360 ? -360 : 15);
        else
            t->tree->setUniqueCode(code == 25 || code == -340 ? code : 20);
    }
    return 0;
}

void detach(Index4* i) {
    Data4* d = i->d;
    for (auto& t : i->tags) {
        if (d->tagSelected == t.get()) d->tagSelected = nullptr;
        d->tags.erase(std::remove(d->tags.begin(), d->tags.end(), t.get()), d->tags.end());
    }
    d->indexes.erase(std::remove(d->indexes.begin(), d->indexes.end(), i), d->indexes.end());
}

// A change held under the whole-table lock goes to the file before the index lock does.
int writeHeldChanges(Data4* d) {
    int rc = 0;
    for (Index4* i : d->indexes) {
        i->cdx->setHold(false);
        if (i->cdx->changeOpen() && !i->cdx->writeBack())
            if (int r = i->cdx->flush(); r != 0 && rc == 0) rc = reportCdx(i, r);
    }
    return rc;
}

// Tells the lock layer which index files the table has, so that a record write
// locks them all and a granted lock drops what another user may have changed.
void bindLocks(Data4* d, Lock4table* t) {
    for (Index4* i : d->indexes) t->indexes.push_back(lock4engineFileLocks(&i->file));
    t->hooks.indexReleasing = [d] { return writeHeldChanges(d); };
    t->hooks.indexLocked = [d](std::size_t k) {
        d4walkForget(d);
        if (k < d->indexes.size()) {
            d->indexes[k]->freshUnderLock = false;
            d->indexes[k]->cdx->setCheckReads(false);  // ours now: nobody else writes it
            d->indexes[k]->cdx->refresh();
        }
    };
}

const bool kLocksBound = (lock4engineIndexBinderSet(&bindLocks), true);

// Returns the close's result: the last delayed writes and the sync happen there.
int destroy(Index4* i) {
    Data4* d = i->d;
    bool attached = std::find(d->indexes.begin(), d->indexes.end(), i) != d->indexes.end();
    detach(i);
    if (attached) lock4engineIndexRebind(d);
    const int rc = i->fileOpen ? file4close(&i->file) : 0;
    delete i;
    return rc;
}

int bindAll(Index4* i) {
    for (auto& tree : i->cdx->tags()) {
        auto t = std::make_unique<Tag4>();
        t->index = i;
        t->tree = tree.get();
        i->tags.push_back(std::move(t));
        if (int r = bindTag(i, i->tags.back().get())) return r;
    }
    for (auto& t : i->tags) i->d->tags.push_back(t.get());
    i->d->indexes.push_back(i);
    (void)kLocksBound;
    lock4engineIndexRebind(i->d);
    return 0;
}

std::string indexPath(Data4* d, const char* name) {
    if (!name) return d4nameWithExtension(d, "CDX");
    std::string out;
    dfile4name(name, "CDX", &out);
    return out;
}

// Feeds every record's key to the sorter of one tag.
int feedTag(Tag4* t, cdx4::Sorter& s) {
    Data4* d = t->index->d;
    DataFile4* df = d->df;
    std::vector<char> rec(df->recordLen + 1);
    File4seqRead in;
    if (int r = file4seqReadInit(&in, &df->file, df->headerLen, 0)) return r;
    std::string key;
    int rc = 0;
    for (unsigned long n = 1; n <= df->numRecs && rc == 0; ++n) {
        long got = file4seqRead(&in, rec.data(), df->recordLen);
        if (got < static_cast<long>(df->recordLen)) break;
        int pass = tagPasses(t, rec.data());
        if (pass < 0) {
            rc = pass;
            break;
        }
        if (!pass) continue;
        if ((rc = tagKey(t, rec.data(), key)) != 0) break;
        rc = s.add(u8(key), static_cast<uint32_t>(n));
    }
    file4seqReadInitUndo(&in);
    return rc;
}

std::atomic<std::size_t> sortMemory{0};

int rebuild(Index4* i) {
    std::map<cdx4::Tree*, Tag4*> byTree;
    for (auto& t : i->tags) byTree[t->tree] = t.get();
    const std::size_t budget = sortMemory.load();
    auto feed = [&](cdx4::Tree& tree, cdx4::Sorter& s) { return feedTag(byTree[&tree], s); };
    int rc = budget ? i->cdx->reindex(recordCount(i->d), feed, budget)
                    : i->cdx->reindex(recordCount(i->d), feed);
    for (auto& t : i->tags) t->pos = cdx4::Pos{};
    if (rc == cdx4::kUniqueRefused) return r4unique;
    return reportCdx(i, rc);
}

// Whether another user holds the index lock: a change counter left odd is then a change
// being written, worth a short wait, rather than one a failed writer left behind.
void watchWriters(Index4* i) {
    i->cdx->setWriterActive([i] {
        const Lock4range r = lock4posIndex(static_cast<std::int32_t>(i->d->c->largeOffset));
        return lock4osTest(i->file.fd, r.offset, r.length, lock4write, nullptr) == 1;
    });
}

// Nobody else reads an index opened exclusively: its nodes are written at d4flush and
// d4close (or when the node cache is full) instead of at every key change.
void setWriteBack(Index4* i) {
    i->cdx->setWriteBack(i->d->df->accessMode == 1 && !i->d->df->readOnly);
}

// After a change of keys, in shared mode everything reaches the file at once: the other
// users read it as soon as the index lock is given back. Under the whole-table lock the
// change is held until the flush or the unlock, so that a run of changes is one change.
int keysWritten(Data4* d) {
    for (Index4* i : d->indexes)
        if (!i->cdx->holding())
            if (int r = i->cdx->flush()) return reportCdx(i, r);
    return 0;
}

int validTagInfo(const TAG4INFO& t) {
    static const int codes[] = {0, 15, 20, 25, -340, -360};
    if (std::find(std::begin(codes), std::end(codes), t.unique) == std::end(codes)) return 0;
    if (t.descending != 0 && t.descending != 10) return 0;
    if (!t.expression || !*t.expression || std::strlen(t.expression) > 254) return 0;
    if (t.filter && std::strlen(t.filter) > 254) return 0;
    return 1;
}

// ---- hooks ----------------------------------------------------------------

int hookOpen(Data4* d) {
    return i4open(d, nullptr) ? 0 : (d->c->errorCode < 0 ? d->c->errorCode : e4open);
}

int hookCreate(Data4* d, const TAG4INFO* tags) {
    return i4create(d, nullptr, tags) ? 0 : (d->c->errorCode != 0 ? d->c->errorCode : e4tagInfo);
}

int hookClose(Data4* d) {
    int rc = 0;
    while (!d->indexes.empty()) {
        int r = i4close(d->indexes.back());
        if (r && !rc) rc = r;
    }
    return rc;
}

int hookFlush(Data4* d) {
    for (Index4* i : d->indexes)
        if (int r = i->cdx->flush(true)) return reportCdx(i, r);
    return 0;
}

int hookWriteKeys(Data4* d, long rec, const char* oldRec, const char* newRec) {
    if (!newRec) return d4unwriteKeys(d, rec, nullptr, oldRec);
    return d4writeKeys(d, rec, oldRec, newRec);
}

int hookReindex(Data4* d) {
    // The whole table and its indexes stay still while the tags are rebuilt.
    if (d->df->accessMode == 0 && !d->haveFileLock)
        if (int r = d4lockAll(d)) return r;
    for (Index4* i : d->indexes)
        if (int r = rebuild(i)) return r;
    return 0;
}

Tag4* hookTag(Data4* d, const char* name) {
    std::string want = name ? name : "";
    for (auto& ch : want) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    while (!want.empty() && want.back() == ' ') want.pop_back();
    for (Tag4* t : d->tags)
        if (t->tree->name() == want) return t;
    if (d->c->errTagName) error4describe(d->c, e4tagName, L4_d4tag, name ? name : "");
    return nullptr;
}

}  // namespace tag4i

namespace {

const Index4Hooks kHooks = {
    [](Data4* d) { return guarded(d, L4_i4open, [&] { return hookOpen(d); }); },
    [](Data4* d, const TAG4INFO* tags) {
        return guarded(d, L4_i4create, [&] { return hookCreate(d, tags); });
    },
    [](Data4* d) { return guarded(d, L4_d4close, [&] { return hookClose(d); }); },
    [](Data4* d) { return guarded(d, L4_d4flush, [&] { return hookFlush(d); }); },
    [](Data4* d, long rec, const char* oldRec, const char* newRec) {
        return guarded(d, L4_d4write, [&] { return hookWriteKeys(d, rec, oldRec, newRec); });
    },
    [](Data4* d) { return guarded(d, L4_d4reindex, [&] { return hookReindex(d); }); },
    [](Data4* d, const char* name) -> Tag4* {
        try {
            return hookTag(d, name);
        } catch (const std::bad_alloc&) {
            error4(d ? d->c : nullptr, e4memory, L4_d4tag);
            return nullptr;
        }
    },
    [](Data4* d) { return guarded(d, L4_d4top, [&] { return hookTop(d); }); },
    [](Data4* d) { return guarded(d, L4_d4bottom, [&] { return hookBottom(d); }); },
    [](Data4* d, long count) { return guarded(d, L4_d4skip, [&] { return hookSkip(d, count); }); },
    [](Data4* d, const char* key, int len) {
        return guarded(d, L4_d4seek, [&] { return hookSeek(d, key, len); });
    }};

// The lock layer's view of a table's index files: their lock lists, and what to forget
// once one is locked (the nodes as other users may have left them).
void bindIndexLocks(Data4* d, Lock4table* t) {
    for (Index4* i : d->indexes) t->indexes.push_back(lock4engineFileLocks(&i->file));
    t->hooks.indexReleasing = [d] { return writeHeldChanges(d); };
    t->hooks.indexLocked = [d](std::size_t k) {
        d4walkForget(d);
        if (k < d->indexes.size()) {
            d->indexes[k]->freshUnderLock = false;
            d->indexes[k]->cdx->setCheckReads(false);  // ours now: nobody else writes it
            d->indexes[k]->cdx->dropCache();
        }
    };
}

}  // namespace

const Index4Hooks* index4builtinHooks() {
    lock4engineIndexBinderSet(&bindIndexLocks);
    return &kHooks;
}

static Index4* openIndex(Data4* d, const char* name) {
    if (!d) {
        error4(nullptr, e4parmNull, L4_i4open);
        return nullptr;
    }
    if (d4errorStanding(d->c)) return nullptr;
    std::string path = indexPath(d, name);
    for (Index4* i : d->indexes)
        if (i->path == path) {
            error4describe(d->c, e4instance, L4_i4open, path.c_str());
            return nullptr;
        }
    auto* i = new Index4;
    i->d = d;
    i->path = path;
    if (file4openMode(&i->file, d->c, path.c_str(), d->df->accessMode, d->df->readOnly,
                      d->c->errOpen != 0) != 0) {
        delete i;
        return nullptr;
    }
    i->fileOpen = true;
    i->cdx = std::make_unique<cdx4::Index>(std::make_unique<Index4FileIo>(&i->file));
    watchWriters(i);  // before the open: it waits while another user writes a change
    int rc = i->cdx->open();
    setWriteBack(i);
    if (rc == 0) rc = bindAll(i);
    if (rc != 0) {
        reportCdx(i, rc);
        destroy(i);
        return nullptr;
    }
    return i;
}

static Index4* createIndex(Data4* d, const char* name, const TAG4INFO* tags) {
    if (!d) {
        error4(nullptr, e4parmNull, L4_i4create);
        return nullptr;
    }
    Vask4* c = d->c;
    if (d4errorStanding(c)) return nullptr;
    if (!tags) {
        error4(c, e4parmNull, L4_i4create);
        return nullptr;
    }
    // The data file is locked for the whole create; a lock we took is given back after.
    const bool heldNothing = !d->haveFileLock && !d->haveAppendLock && d->lockedRecs.empty();
    if (int r = d4lockFile(d)) {
        if (r > 0) error4describe(c, e4lock, L4_i4create, d->df->name.c_str());
        return nullptr;
    }
    struct Release {
        Data4* d;
        bool on;
        ~Release() {
            if (on) d4unlock(d);
        }
    } release{d, heldNothing};
    std::vector<cdx4::TagDef> defs;
    for (const TAG4INFO* t = tags; t->name && t->name[0]; ++t) {
        if (!validTagInfo(*t)) {
            error4describe(c, e4tagInfo, L4_i4create, t->name);
            return nullptr;
        }
        Expr4* e = expr4parseTag(d, t->expression);
        if (!e) return nullptr;
        cdx4::TagDef def;
        def.name = std::string(t->name).substr(0, 10);
        for (auto& ch : def.name)
            ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        def.keyExpr = t->expression;
        def.keyLen = static_cast<unsigned>(expr4keyLen(e));
        def.pad = expr4keyIsChar(e) ? ' ' : 0;
        if (expr4keyIsChar(e) && generalCollation(c)) {
            def.collation = "GENERAL";
            def.pad = 0;
        }
        def.nullable = !nullBitsOf(d, t->expression).empty();
        if (def.nullable) ++def.keyLen;  // the leading null marker
        def.uniqueCode = t->unique;
        def.descending = t->descending != 0;
        expr4free(e);
        if (def.keyLen == 0 || def.keyLen > cdx4::kMaxKeyLen) {
            error4describe(c, e4tagInfo, L4_i4create, t->name);
            return nullptr;
        }
        if (t->filter && *t->filter) {
            Expr4* f = expr4parseTag(d, t->filter);
            if (!f) return nullptr;
            bool logical = expr4type(f) == 'L';
            expr4free(f);
            if (!logical) {
                error4describe(c, e4tagInfo, L4_i4create, t->name, t->filter);
                return nullptr;
            }
            def.filterExpr = t->filter;
        }
        defs.push_back(def);
    }
    std::string path = indexPath(d, name);
    for (Index4* i : d->indexes)
        if (i->path == path) {
            error4describe(c, e4instance, L4_i4create, path.c_str());
            return nullptr;
        }
    if (!cdx4::validBlockLayout(static_cast<uint32_t>(c->indexBlockSize),
                                static_cast<uint32_t>(c->indexBlockMultiplier))) {
        error4describe(c, e4index, L4_i4create, path.c_str(), "index block size or multiplier");
        return nullptr;
    }
    auto* i = new Index4;
    i->d = d;
    i->path = path;
    if (file4create(&i->file, c, path.c_str()) != 0) {
        delete i;
        return nullptr;
    }
    i->fileOpen = true;
    i->cdx = std::make_unique<cdx4::Index>(std::make_unique<Index4FileIo>(&i->file));
    int rc = i->cdx->setBlockLayout(static_cast<uint32_t>(c->indexBlockSize),
                                    static_cast<uint32_t>(c->indexBlockMultiplier));
    if (rc == 0) rc = i->cdx->create(defs, recordCount(d));
    setWriteBack(i);
    watchWriters(i);
    if (rc == 0) rc = bindAll(i);
    if (rc == 0) {
        for (size_t k = 0; k < defs.size(); ++k)
            i->tags[k]->tree->setUniqueCode(defs[k].uniqueCode);
        rc = rebuild(i);
    }
    if (rc == 0) rc = reportCdx(i, i->cdx->flush());
    if (rc != 0) {
        if (rc < 0 && c->errorCode >= 0) reportCdx(i, rc);
        if (rc == r4unique) error4set(c, r4unique);
        destroy(i);
        ::unlink(path.c_str());
        return nullptr;
    }
    if (!name && !(d->df->tableFlags & 1)) {
        d->df->tableFlags |= 1;
        unsigned char flags = d->df->tableFlags;
        if (int r = file4write(&d->df->file, 28, &flags, 1)) {
            destroy(i);
            (void)r;
            return nullptr;
        }
    }
    return i;
}

int i4close(Index4* i) {
    if (!i) return error4(nullptr, e4parmNull, L4_i4open);
    int rc = i->cdx->flush();
    if (rc) rc = reportCdx(i, rc);
    const int closed = destroy(i);
    return rc != 0 ? rc : closed;
}

std::size_t i4sortMemorySet(std::size_t bytes) {
    return sortMemory.exchange(bytes);
}

const char* t4alias(Tag4* t) {
    return t ? t->tree->name().c_str() : nullptr;
}
const char* t4expr(Tag4* t) {
    return t ? t->tree->keyExpr().c_str() : nullptr;
}
const char* t4filter(Tag4* t) {
    return t ? t->tree->filterExpr().c_str() : nullptr;
}
int t4unique(Tag4* t) {
    return t ? t->tree->uniqueCode() : error4(nullptr, e4parmNull, L4_t4uniqueSet);
}

int t4uniqueSet(Tag4* t, short code) {
    if (!t) return error4(nullptr, e4parmNull, L4_t4uniqueSet);
    Vask4* c = t->index->d->c;
    if (code == t->tree->uniqueCode()) return 0;
    bool ok;
    if (t->tree->candidate())
        ok = code == 15 || code == -360;
    else if (t->tree->unique())
        ok = code == 20 || code == 25 || code == -340;
    else
        ok = false;
    if (!ok) return error4(c, e4parm, t->tree->unique() ? L4_t4uniqueSet : L4_nonUniqueTag);
    t->tree->setUniqueCode(code);
    return 0;
}

// Out of memory while an index handle is built: -920 (which ends the program after closing
// the open files) rather than an exception escaping through the C-style interface.
Index4* i4open(Data4* d, const char* name) {
    try {
        return openIndex(d, name);
    } catch (const std::bad_alloc&) {
        error4(d ? d->c : nullptr, e4memory, L4_i4open);
        return nullptr;
    }
}

Index4* i4create(Data4* d, const char* name, const TAG4INFO* tags) {
    try {
        return createIndex(d, name, tags);
    } catch (const std::bad_alloc&) {
        error4(d ? d->c : nullptr, e4memory, L4_i4create);
        return nullptr;
    }
}
