// The table handle and the shared data-file object, for the engine's own modules (data,
// index, expression and lock code). Not part of the public interface.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/data4.h"
#include "engine/file4.h"

struct Index4;  // an open index file; defined by the index code
struct Tag4;

// A field as described by its descriptor.
struct Field4rec {
    char name[12];        // upper-cased, NUL-terminated (at most 11 significant bytes)
    char type;            // type letter as stored
    unsigned len;         // width in bytes
    unsigned dec;         // decimals (0 for C, O and W, whose width takes both bytes)
    unsigned offset;      // offset in the record (the deletion flag is byte 0)
    unsigned char flags;  // descriptor byte 18: 4 binary, 2 null-capable, 1 system
    int nullBit;          // bit in the _NullFlags field, -1 when not null-capable
};

// One physical data file; shared by the tables of one context that open the same file.
struct DataFile4 {
    Vask4* c = nullptr;
    File4 file;
    std::string name;   // full path as opened
    std::string alias;  // file-name part without extension
    int refs = 0;

    // header copy
    unsigned char version = 0x03;
    unsigned char yy = 0, mm = 0, dd = 0;
    unsigned long numRecs = 0;
    unsigned headerLen = 0;
    unsigned recordLen = 0;
    unsigned char tableFlags = 0;
    unsigned char codePage = 0;
    int nFields = 0;      // descriptors, including a trailing _NullFlags
    int nUserFields = 0;  // without _NullFlags
    int level = 25;       // 25 or 30
    int memoCount = 0;
    int accessMode = 0;
    bool readOnly = false;
    int nullFlagsField = -1;  // index of the _NullFlags field, -1 when none

    bool countStale = false;   // header bytes 4-7 must be read again before use
    bool fileChanged = false;  // changed during this opening: the date is rewritten on close
    bool headerDirty = false;  // count or flags changed since the header was last written
    // The count last seen to fit inside the file; an append or pack checks the file length
    // again whenever the count differs from it.
    unsigned long backedRecs = ~0ul;

    std::vector<Field4rec> fields;
    std::unique_ptr<File4> memo;

    void* lockState = nullptr;  // per-file lock bookkeeping of the lock layer
};

// A walk in tag order that the caller declared as one operation (d4walkStart .. d4walkEnd)
// on a shared table: the records read for it, read ahead in runs, serve its later steps.
// Forgotten at its end and at every lock, unlock and write of the handle, so nothing read
// for one walk reaches past it.
struct Walk4 {
    static constexpr std::size_t kPage = 256 * 1024;  // more than any one read
    int depth = 0;                                    // nested starts
    long served = 0;                                  // records landed on since the start
    // The records read, back to back in pages that never move; pages stay allocated for the
    // next walk (up to a few) but their bytes are forgotten.
    std::vector<std::unique_ptr<char[]>> pages;
    std::size_t page = 0, used = 0;  // the page being filled and its bytes in use
    std::size_t total = 0;           // bytes read in this walk
    // Record number -> its bytes: open addressing in one array, so that a lookup of a day's
    // sixteen records allocates nothing and the walk's end wipes only a small table.
    struct Slot {
        long rec = 0;  // 0: empty
        const char* bytes = nullptr;
    };
    std::vector<Slot> slots;
    std::size_t held = 0;  // records in slots
    static std::size_t hash(long rec, std::size_t mask) {
        return static_cast<std::size_t>(
                   (static_cast<unsigned long long>(rec) * 0x9E3779B97F4A7C15ull) >> 32) &
               mask;
    }
    const char* find(long rec) const {
        if (slots.empty()) return nullptr;
        const std::size_t mask = slots.size() - 1;
        for (std::size_t i = hash(rec, mask);; i = (i + 1) & mask) {
            if (slots[i].rec == rec) return slots[i].bytes;
            if (slots[i].rec == 0) return nullptr;
        }
    }
    // False without memory (the record is then read the ordinary way).
    bool put(long rec, const char* bytes) {
        if ((held + 1) * 2 > slots.size()) {
            std::vector<Slot> grown;
            try {
                grown.resize(std::max<std::size_t>(64, slots.size() * 2));
            } catch (const std::bad_alloc&) {
                return false;
            }
            const std::size_t mask = grown.size() - 1;
            for (const Slot& o : slots) {
                if (o.rec == 0) continue;
                std::size_t i = hash(o.rec, mask);
                while (grown[i].rec != 0) i = (i + 1) & mask;
                grown[i] = o;
            }
            slots.swap(grown);
        }
        const std::size_t mask = slots.size() - 1;
        std::size_t i = hash(rec, mask);
        while (slots[i].rec != 0 && slots[i].rec != rec) i = (i + 1) & mask;
        held += slots[i].rec == 0;
        slots[i] = {rec, bytes};
        return true;
    }
    // Whole stretches of the file, once a walk has shown it reads most of it: stretch
    // number -> (first record's bytes, records held).
    std::unordered_map<long, std::pair<const char*, long>> stretches;
    // Room for len bytes (at most kPage), or nullptr without memory.
    char* room(std::size_t len) {
        if (used + len > kPage || pages.empty()) {
            if (!pages.empty()) ++page;
            used = 0;
            if (page >= pages.size()) {
                pages.emplace_back(new (std::nothrow) char[kPage]);
                if (!pages.back()) {
                    pages.pop_back();
                    return nullptr;
                }
            }
        }
        return pages[page].get() + used;
    }
    // The index whose change counter this walk last read, and the leaf the walk stood on then
    // (0 until it lands): steps go on in the index as it was then, and records read for
    // another leaf are followed by a new look.
    const void* lookedAt = nullptr;
    std::uint64_t lookedLeaf = 0;
    // The last record of the last read, and how many reads in a row each began right after
    // the one before: a walk through records that lie in key order reads whole stretches.
    long runEnd = 0;
    int streak = 0;
    // Reads of one record alone: from the second on, the records of the entries after it in
    // its leaf come with it in one batch (a day's bookings scattered over the file).
    int singles = 0;
    void forget() {
        page = used = total = 0;
        // A large table (a whole report's records) is given back rather than wiped.
        if (slots.size() > 4096)
            std::vector<Slot>().swap(slots);
        else if (held > 0)
            std::fill(slots.begin(), slots.end(), Slot{});
        held = 0;
        stretches.clear();
        lookedAt = nullptr;
        lookedLeaf = 0;
        runEnd = 0;
        streak = 0;
        singles = 0;
    }
};

struct Data4 {
    Vask4* c = nullptr;
    DataFile4* df = nullptr;

    long recNum = -1;  // -1 none, 0 append pending, count + 1 at end of file
    int bof = 0;
    int eof = 0;
    int recordChanged = 0;
    int oldValid = 0;  // recordOld holds the record as it is on disk

    std::vector<char> storage;
    char* record = nullptr;       // recordLen + 1 bytes
    char* recordOld = nullptr;    // the record as last read from disk
    char* recordBlank = nullptr;  // all blanks

    std::vector<std::unique_ptr<Field4>> fields;  // one per descriptor (incl. _NullFlags)

    // Index seam: filled and emptied by the index code through Index4Hooks.
    std::vector<Index4*> indexes;
    std::vector<Tag4*> tags;
    Tag4* tagSelected = nullptr;
    void* indexState = nullptr;

    // Lock seam: what this handle holds (kept by the lock layer).
    int haveAppendLock = 0;
    int haveFileLock = 0;
    std::vector<long> lockedRecs;
    void* lockState = nullptr;

    std::unique_ptr<Walk4> walk;
};
// Forgets what the current walk read (the table is about to be locked, unlocked or written).
inline void d4walkForget(Data4* d) {
    if (d && d->walk) d->walk->forget();
}

// Key maintenance and tag navigation, supplied by the index code. Every member may be null.
// Return codes follow the record operations (0, 2, 3, 4, 20, 50, 80, negative error).
struct Index4Hooks {
    // d4open: header byte 28 bit 0 is set and autoOpen is on. Fill d->indexes and d->tags.
    int (*open)(Data4* d);
    // d4create with a non-empty tag list, after the data file was opened.
    int (*create)(Data4* d, const TAG4INFO* tags);
    // d4close, after the last record write: close and free d->indexes and d->tags.
    int (*close)(Data4* d);
    // d4flush: write cached nodes.
    int (*flush)(Data4* d);
    // Before record rec is written (oldRec is the record on disk) or appended (oldRec null).
    // Returning 20 (unique refusal) or an error stops the write; the hook undoes its own
    // partial key changes. newRec null: an append failed after its keys went in; remove the
    // keys of oldRec again.
    int (*writeKeys)(Data4* d, long rec, const char* oldRec, const char* newRec);
    // d4pack (after the records moved) and d4reindex: rebuild every tag.
    int (*reindex)(Data4* d);
    // d4tag: find a tag by name (case-insensitive); nullptr when missing (the hook reports).
    Tag4* (*tag)(Data4* d, const char* name);
    // Navigation through d->tagSelected (never null when called).
    int (*top)(Data4* d);
    int (*bottom)(Data4* d);
    int (*skip)(Data4* d, long count);
    int (*seek)(Data4* d, const char* key, int keyLen);
};
void index4hooksInstall(const Index4Hooks* hooks);
const Index4Hooks* index4hooks();
// The index code's own hooks (engine/src/tag4.cpp), used while none were installed.
const Index4Hooks* index4builtinHooks();

// Record-level helpers shared with the index and lock code.
// Reads record rec into buf; returns 0, or r4entry when the record is beyond the file.
int dfile4readRecord(DataFile4* df, long rec, char* buf);
// Where record `rec` (1-based) starts in the data file.
std::int64_t dfile4recordPos(const DataFile4* df, long rec);
// Positions on record rec without consulting tags; reportGo 0 returns 5 instead of -70.
int d4goData(Data4* d, long rec, int reportGo);
// Writes the current record when it is changed (record lock, keys, then the bytes).
int d4writeCurrent(Data4* d);
// Fills recordOld from the file for the current record.
int d4readOld(Data4* d);
// Whether rewriting record `rec` from `old` to `neu` changes bytes on both sides of a sector
// boundary, where a power loss can keep one side and lose the other.
bool dfile4rewriteMayTear(const DataFile4* df, long rec, const char* old, const char* neu);
// Rewrites the record through a redo journal beside the table and syncs it: 0, or the engine's
// error code with the record as it was (or, when even that could not be written back, with the
// journal left for the next opener to finish).
int dfile4rewriteJournaled(DataFile4* df, long rec, const char* old, const char* neu);
// Settles the journals a writer that died left beside the table just opened.
void d4journalSettle(Data4* d);
void d4blankBuffer(Data4* d);
// The data file's path with its extension replaced (e.g. "CDX", "FPT"), upper-cased like it.
std::string d4nameWithExtension(Data4* d, const char* extension);
// Builds a file name the way the engine names files: the extension added when the file-name
// part has none, the file-name part upper-cased (folders untouched). False when too long.
bool dfile4name(const char* in, const char* extension, std::string* out);
// Re-reads header bytes 4-7 when the count is stale (or always with force).
int dfile4recCountRefresh(DataFile4* df, bool force);
// Rewrites header bytes 0-9 (or 0-3 with countToo false).
int dfile4writeHeader(DataFile4* df, bool countToo);
// The standing-error rule: a negative code in the context stops most operations.
inline bool d4errorStanding(const Vask4* c) {
    return c == nullptr || c->errorCode < 0;
}
