// Binds the compound index to tables: opening and creating index files, key maintenance
// on record writes, and navigation in tag order.
#include "engine/tag4.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "engine/cdx4.h"
#include "engine/error4.h"
#include "engine/file4.h"
#include "engine/lock4.h"
#include "engine/src/data4impl.h"
#include "engine/src/lock4engine.h"

#if __has_include("engine/expr4.h")
#include "engine/expr4.h"
#include "engine/src/expr4internal.h"
#define TAG4_HAVE_EXPR 1
#endif

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

#ifdef TAG4_HAVE_EXPR

// How a tag's key and filter are worked out. Most tags concatenate character fields and
// filter out deleted records; for those the key is the field bytes side by side and the
// filter one byte, so the evaluator (and its process-wide lock) is not needed at every step.
struct Tag4Slice {
    unsigned offset, len;
};
enum class Tag4filter : uint8_t { general, none, notDeleted };

struct Tag4 {
    Index4* index = nullptr;
    cdx4::Tree* tree = nullptr;
    Expr4* expr = nullptr;
    Expr4* filter = nullptr;
    cdx4::Pos pos;
    std::vector<Tag4Slice> slices;  // the key's fields in order; empty: evaluate the expression
    Tag4filter filterKind = Tag4filter::general;
    std::string scratch;          // key buffer reused by navigation
    std::vector<uint32_t> ahead;  // the records of the leaf a walk stands on, in tag order
    uint64_t aheadLeaf = 0, aheadSerial = 0;
    // Null-marked keys: the bits of the null-capable fields the key reads, in the
    // _NullFlags field at nullFlags.
    std::vector<int> nullBits;
    unsigned nullFlags = 0;
    bool general = false;  // character key under the general collation
    ~Tag4() {
        if (expr) expr4free(expr);
        if (filter) expr4free(filter);
    }
};

struct Index4 {
    Data4* d = nullptr;
    std::string path;
    File4 file;
    bool fileOpen = false;
    std::unique_ptr<cdx4::Index> cdx;
    std::vector<std::unique_ptr<Tag4>> tags;
};

namespace {

int reportCdx(Index4* i, int code) {
    if (code >= 0 || code == cdx4::kChanged) return code;  // kChanged: read again, no error
    Vask4* c = i->d->c;
    if (c->errorCode < 0) return code;  // already reported by the file layer
    long loc = i->cdx && i->cdx->lastLocation() ? static_cast<long>(i->cdx->lastLocation())
                                                : static_cast<long>(L4_corrupt);
    if (code == cdx4::kErrUnique || code == cdx4::kErrCandidate)
        return error4describe(c, code, loc, i->path.c_str(), i->cdx->lastText().c_str());
    return error4describe(c, code, loc, i->path.c_str(),
                          i->cdx ? i->cdx->lastText().c_str() : nullptr);
}

unsigned long recordCount(Data4* d) {
    return d->df->numRecs;
}

bool nullMarked(const Tag4* t) {
    return (t->tree->options() & cdx4::kOptNullable) != 0;
}

// A null-marked key leads with 0x00 when a null-capable field it reads is null, so that
// such records sort first, and with 0x80 otherwise.
constexpr char kNullMarker = 0x00;
constexpr char kValueMarker = static_cast<char>(0x80);

// The key of a record in the tag's key form, exactly the tag's key length.
int tagKey(Tag4* t, const char* rec, std::string& out) {
    if (!t->slices.empty()) {
        out.resize(t->tree->keyLen());
        char* o = out.data();
        for (const Tag4Slice& s : t->slices) {
            std::memcpy(o, rec + s.offset, s.len);
            o += s.len;
        }
        return 0;
    }
    char* k = nullptr;
    int n = expr4key(t->expr, &k, rec);
    if (n < 0) return n;
    unsigned kl = t->tree->keyLen();
    out.clear();
    if (nullMarked(t)) {
        bool isNull = false;
        for (int bit : t->nullBits)
            if ((static_cast<unsigned char>(rec[t->nullFlags + bit / 8]) >> (bit % 8)) & 1)
                isNull = true;
        out.push_back(isNull ? kNullMarker : kValueMarker);
    }
    size_t body = std::min<size_t>(static_cast<size_t>(n), kl - out.size());
    out.append(k, body);
    if (t->general)
        cdx4::collateGeneral(reinterpret_cast<uint8_t*>(out.data()) + (out.size() - body), body);
    out.resize(kl, static_cast<char>(t->tree->pad()));
    return 0;
}

// The null-capable fields a key expression reads: its names outside quotes that are not
// function names and match such a field.
std::vector<int> nullBitsOf(Data4* d, const std::string& text) {
    std::vector<int> bits;
    DataFile4* df = d->df;
    if (df->level != 30 || df->nullFlagsField < 0) return bits;
    size_t i = 0;
    while (i < text.size()) {
        char ch = text[i];
        if (ch == '"' || ch == '\'' || ch == '[') {
            char close = ch == '[' ? ']' : ch;
            size_t e = text.find(close, i + 1);
            i = e == std::string::npos ? text.size() : e + 1;
            continue;
        }
        if (!std::isalpha(static_cast<unsigned char>(ch)) && ch != '_') {
            ++i;
            continue;
        }
        size_t b = i;
        while (i < text.size() &&
               (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_'))
            ++i;
        if (b > 0 && text[b - 1] == '.') continue;  // .T., .NOT. and the like
        size_t after = i;
        while (after < text.size() && text[after] == ' ') ++after;
        if (after < text.size() && text[after] == '(') continue;  // a function
        if (text.compare(after, 2, "->") == 0) continue;          // an alias
        if (after < text.size() && text[after] == '.') {
            // "ALIAS.NAME" names a field of the alias; "NAME.AND." is the field itself.
            std::string op = text.substr(after, 5);
            for (auto& c : op) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (op.rfind(".AND.", 0) != 0 && op.rfind(".OR.", 0) != 0 && op.rfind(".NOT.", 0) != 0)
                continue;
        }
        std::string name = text.substr(b, i - b);
        for (auto& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (int f = 0; f < df->nUserFields; ++f) {
            const Field4rec& fr = df->fields[static_cast<size_t>(f)];
            if (fr.nullBit >= 0 && name == fr.name &&
                std::find(bits.begin(), bits.end(), fr.nullBit) == bits.end())
                bits.push_back(fr.nullBit);
        }
    }
    return bits;
}

// Whether new character tags of this context get the general collation.
bool generalCollation(const Vask4* c) {
    return c->collateCodePage != 0 || c->collatingSequence != 0;
}

int tagPasses(Tag4* t, const char* rec) {
    if (t->filterKind == Tag4filter::notDeleted) return rec[0] != '*';
    if (!t->filter) return 1;
    return expr4true(t->filter, rec);
}

const uint8_t* u8(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

// The key's fields when the key expression only joins character fields with "+" (the fields
// then appear in the compiled items in key order); empty otherwise.
std::vector<Tag4Slice> plainKeySlices(const Expr4* e, unsigned keyLen) {
    std::vector<Tag4Slice> out;
    unsigned total = 0;
    for (const E4item& it : e->items) {
        if (!it.row || it.row->kind == E4kind::end) continue;
        if (it.row->kind == E4kind::field && it.row->result == 'C' && it.len > 0) {
            out.push_back({static_cast<unsigned>(it.fieldOffset), static_cast<unsigned>(it.len)});
            total += static_cast<unsigned>(it.len);
        } else if (!(it.row->kind == E4kind::binary && it.row->code == 25 &&
                     it.row->result == 'C')) {
            return {};
        }
    }
    if (out.empty() || total != keyLen || static_cast<int>(total) != e->len) return {};
    return out;
}

// Whether the filter is exactly .NOT. DELETED(): the deleted function, then the negation.
bool filterIsNotDeleted(const Expr4* f) {
    std::vector<const E4item*> live;
    for (const E4item& it : f->items)
        if (it.row && it.row->kind != E4kind::end) live.push_back(&it);
    return live.size() == 2 && live[0]->row->kind == E4kind::function &&
           live[0]->row->code == 350 && live[0]->row->name &&
           std::strcmp(live[0]->row->name, "DELETED") == 0 && live[1]->row->kind == E4kind::unary &&
           live[1]->row->code == 18;
}

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

// Tells the lock layer which index files the table has, so that a record write
// locks them all and a granted lock drops what another user may have changed.
void bindLocks(Data4* d, Lock4table* t) {
    for (Index4* i : d->indexes) t->indexes.push_back(lock4engineFileLocks(&i->file));
    t->hooks.indexLocked = [d](std::size_t k) {
        d4walkForget(d);
        if (k < d->indexes.size()) {
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
// users read it as soon as the index lock is given back.
int keysWritten(Data4* d) {
    for (Index4* i : d->indexes)
        if (!i->cdx->writeBack())
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

// Keeps the tag current with other users' changes before it is used.
int refreshTag(Tag4* t) {
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
    if (rc == 0 && d->walk) d->walk->lookedAt = i;
    return rc;
}

// Whether the table is inside a walk that may serve what it read itself.
bool walking(Data4* d) {
    return d->walk && d->walk->depth > 0 && d->df->accessMode == 0 && !d->c->readLock;
}

// Most bytes one walk keeps; past it the walk starts over with an empty store.
constexpr std::size_t kWalkBytes = 32u << 20;
constexpr long kStretchBytes = 64 * 1024;

// Record rec for the walk: from what it read, else read in one run with the records next to
// it in the file that the walk's current leaf also holds. A walk
// that has shown it reads a good share of the file reads whole stretches instead. nullptr
// when the read fails (the caller then reads the ordinary way, which reports it).
const char* walkRecord(Data4* d, Tag4* t, long rec) {
    Walk4& w = *d->walk;
    DataFile4* df = d->df;
    const long len = static_cast<long>(df->recordLen);
    const long count = static_cast<long>(df->numRecs);
    const long per = std::max(1L, kStretchBytes / std::max(1L, len));
    ++w.served;
    if (!w.stretches.empty()) {
        auto s = w.stretches.find((rec - 1) / per);
        if (s != w.stretches.end() && (rec - 1) % per < s->second.second)
            return s->second.first + static_cast<std::size_t>(((rec - 1) % per) * len);
    }
    if (const char* held = w.find(rec)) return held;
    long first = rec, last = rec;
    // Reading stretches pays once the walk has landed on about four records per stretch
    // of the file.
    const bool stretch = w.served > std::max(64L, 4 * (count / per));
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
            for (std::size_t k = at + 1; k < ahead.size() && last - first + 1 < per &&
                                         ahead[k] == static_cast<uint32_t>(last + 1) &&
                                         last + 1 <= count && !w.find(last + 1);
                 ++k)
                ++last;
            for (std::size_t k = at; k-- > 0 && last - first + 1 < per &&
                                     ahead[k] == static_cast<uint32_t>(first - 1) &&
                                     first - 1 >= 1 && !w.find(first - 1);)
                --first;
        }
    }
    const std::size_t want = static_cast<std::size_t>((last - first + 1) * len);
    if (want > Walk4::kPage) return nullptr;
    if (w.total + want > kWalkBytes) w.forget();
    char* to = w.room(want);
    if (!to) return nullptr;
    // A failed read is made again the ordinary way, which reports it.
    Vask4* c = d->c;
    const int silent = c->errOff, code = c->errorCode;
    const long location = c->errorLocation;
    c->errOff = 1;
    long got = file4read(&df->file, static_cast<std::int64_t>(df->headerLen) + (first - 1) * len,
                         to, static_cast<unsigned>(want));
    c->errOff = silent;
    if (got < 0) {
        c->errorCode = code;
        c->errorLocation = location;
        return nullptr;
    }
    const long whole = got / len;
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
    const char* p = rec >= 1 && rec <= static_cast<long>(df->numRecs) && walking(d)
                        ? walkRecord(d, t, rec)
                        : nullptr;
    if (!p) return d4goData(d, rec, 0);
    std::memcpy(d->record, p, df->recordLen);
    d->recNum = rec;
    d->bof = d->eof = 0;
    d->recordChanged = 0;
    d->oldValid = 0;
    return 0;
}

// Runs a navigation again, on the tree as it is now, when it read a node that another user
// was changing (kChanged): what it had read may mix the old and the new tree.
template <class F>
int reread(Tag4* t, F&& op) {
    for (int round = 0;; ++round) {
        int rc = op();
        if (rc != cdx4::kChanged) return rc;
        cdx4::Index& ix = *t->index->cdx;
        if (round >= 100)
            return reportCdx(t->index, ix.fail(cdx4::kErrCorrupt, cdx4::kLocCorrupt,
                                               "index keeps changing while read"));
        ix.dropCache();
    }
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
    // Inside a walk, a step within the leaf the walk read uses that leaf as read: the change
    // counter is looked at again when the walk moves on to another leaf.
    const bool inLeaf = (count == 1 || count == -1) && walking(d) &&
                        d->walk->lookedAt == t->index && standing() &&
                        t->tree->stepStaysInLeaf(t->pos, (count > 0) != desc);
    if (!inLeaf)
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

// Index work allocates (node caches, key buffers, sort runs) on every path. Running out of
// memory there is reported as -920, which ends the program after closing the open files,
// rather than an exception escaping through the engine's C-style interface.
template <class F>
int guarded(Data4* d, long location, F&& work) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        return error4(d ? d->c : nullptr, e4memory, location);
    }
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
    t->hooks.indexLocked = [d](std::size_t k) {
        d4walkForget(d);
        if (k < d->indexes.size()) {
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
    for (Index4* i : d->indexes)
        if (int r = i->cdx->refresh()) return reportCdx(i, r);
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
        // A position of its own: the tag's stays on the current record's entry.
        cdx4::Pos pos;
        int rc = t->tree->seek(u8(sought), n, pos);
        bool refreshed = false;
        while (rc == cdx4::kFound || rc == cdx4::kAfter) {
            if (pos.rec > recordCount(d) && !refreshed) {
                if (int r = dfile4recCountRefresh(d->df, true)) return r;
                refreshed = true;
            }
            if (pos.rec >= 1 && pos.rec <= recordCount(d))
                out.push_back(static_cast<long>(pos.rec));
            rc = t->tree->next(pos);
        }
        return rc == cdx4::kEof ? 0 : reportCdx(t->index, rc);
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

#else  // no expression compiler yet: the table engine runs without indexes

const Index4Hooks* index4builtinHooks() {
    return nullptr;
}

int d4seekRecords(Data4* d, const char*, std::vector<long>& out) {
    out.clear();
    return d ? r4noTag : error4(nullptr, e4parmNull, L4_d4seek);
}

#endif
