// The index binding's own types and helpers, shared by its four parts: key forming
// (tag4key.cpp), binding, opening and creating (tag4bind.cpp), navigation in tag order with
// the walk read path (tag4nav.cpp), and key writes with their undo (tag4write.cpp).
#pragma once

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
#include "engine/expr4.h"
#include "engine/file4.h"
#include "engine/io4.h"
#include "engine/lock4.h"
#include "engine/src/data4impl.h"
#include "engine/src/expr4internal.h"
#include "engine/src/lock4engine.h"

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
    std::string scratch;             // key buffer reused by navigation
    std::vector<uint32_t> ahead;     // the records of the leaf a walk stands on, in tag order
    std::vector<uint32_t> seekRecs;  // d4seekRecords' buffer
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
    // Read as the other users left it since its lock was last granted: while the lock stays
    // ours nobody else changes it, so the key writes that follow need not read its header.
    bool freshUnderLock = false;
};

namespace tag4i {

// A null-marked key leads with 0x00 when a null-capable field it reads is null, so that
// such records sort first, and with 0x80 otherwise.
constexpr char kNullMarker = 0x00;
constexpr char kValueMarker = static_cast<char>(0x80);

int reportCdx(Index4* i, int code);
inline unsigned long recordCount(Data4* d) {
    return d->df->numRecs;
}
inline bool nullMarked(const Tag4* t) {
    return (t->tree->options() & cdx4::kOptNullable) != 0;
}
int tagKey(Tag4* t, const char* rec, std::string& out);
std::vector<int> nullBitsOf(Data4* d, const std::string& text);
bool generalCollation(const Vask4* c);
int tagPasses(Tag4* t, const char* rec);
inline const uint8_t* u8(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}
std::vector<Tag4Slice> plainKeySlices(const Expr4* e, unsigned keyLen);
bool filterIsNotDeleted(const Expr4* f);
int bindTag(Index4* i, Tag4* t);
void detach(Index4* i);
void bindLocks(Data4* d, Lock4table* t);
int destroy(Index4* i);
int bindAll(Index4* i);
std::string indexPath(Data4* d, const char* name);
int feedTag(Tag4* t, cdx4::Sorter& s);
int rebuild(Index4* i);
void watchWriters(Index4* i);
void setWriteBack(Index4* i);
int keysWritten(Data4* d);
int validTagInfo(const TAG4INFO& t);
int hookOpen(Data4* d);
int hookCreate(Data4* d, const TAG4INFO* tags);
int hookClose(Data4* d);
int hookFlush(Data4* d);
int hookWriteKeys(Data4* d, long rec, const char* oldRec, const char* newRec);
int hookReindex(Data4* d);
Tag4* hookTag(Data4* d, const char* name);
// Looks at the index's change counter (reads it again when it moved); *changed tells.
int refreshTag(Tag4* t, bool* changed = nullptr);
bool walking(Data4* d);
const char* walkRecord(Data4* d, Tag4* t, long rec, int* failed);
int goRecord(Data4* d, Tag4* t, long rec);
int landRecord(Data4* d, Tag4* t, int rc, int dir);
void goEof(Data4* d);
int hookTopOnce(Data4* d);
int hookBottomOnce(Data4* d);
int storedKeyAgrees(Data4* d, Tag4* t);
int hookSkipOnce(Data4* d, long count);
int hookSeekOnce(Data4* d, const char* key, int len);
int hookTop(Data4* d);
int hookBottom(Data4* d);
int hookSkip(Data4* d, long count);
int hookSeek(Data4* d, const char* key, int len);

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

}  // namespace tag4i
