// Compound index file: the on-disk layer.
//
// A compound index file holds a tag directory and any number of tags, each a
// B+-tree of (key, record number) entries in 512-byte nodes.  Leaves store keys
// compressed (shared prefix with the previous key and cut trailing pad bytes)
// and record their own bit geometry, which other writers choose differently; we
// always decode a leaf by what it records and encode new leaves with ours.
//
// This layer knows nothing about records or expressions: callers hand it key
// bytes.  All failures are reported as return codes (negative = error) and the
// index remembers the location number and a text of the last one.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/index4io.h"

namespace cdx4 {

constexpr uint32_t kNoLink = 0xFFFFFFFFu;
constexpr unsigned kMaxKeyLen = 240;
constexpr unsigned kMaxDepth = 32;

// Result codes shared with the record layer.
constexpr int kFound = 0;
constexpr int kAfter = 2;
constexpr int kEof = 3;
constexpr int kBof = 4;
constexpr int kUniqueRefused = 20;
constexpr int kUniqueSkipped = 25;  // key silently not stored (unique code 25)

constexpr int kErrRead = -70;
constexpr int kErrWrite = -120;
constexpr int kErrCorrupt = -310;
constexpr int kErrUnique = -340;
constexpr int kErrTagInfo = -350;
constexpr int kErrCandidate = -360;
constexpr int kErrMemory = -920;
// Not an error: a node read while another user was changing the tree may mix its old and new
// state, so the operation must be done again on the tree as it is now (refresh, then retry).
constexpr int kChanged = -9001;

// Location numbers of the failures raised here.
constexpr int kLocRootType = 80097;  // root <= 0 or options below 32
constexpr int kLocCorrupt = 80137;   // database corruption detected
constexpr int kLocCreateTag = 80109;

// Tag options byte.
constexpr uint8_t kOptUnique = 0x01;
constexpr uint8_t kOptNullable = 0x02;
constexpr uint8_t kOptCandidate = 0x04;
constexpr uint8_t kOptFilter = 0x08;
constexpr uint8_t kOptCompact = 0x20;
constexpr uint8_t kOptCompound = 0x40;
constexpr uint8_t kOptDirectory = 0x80;

// Node attribute bits.
constexpr uint16_t kAttrRoot = 0x01;
constexpr uint16_t kAttrLeaf = 0x02;

// Bit layout of the packed entries of one leaf.
struct Geometry {
    uint32_t recMask = 0;
    uint8_t dupMask = 0;
    uint8_t trailMask = 0;
    uint8_t recBits = 0;
    uint8_t dupBits = 0;
    uint8_t trailBits = 0;
    uint8_t bytesPerEntry = 0;

    // Our choice for a new leaf of a tag with keys of keyLen bytes over a
    // table of recordCount records.
    static Geometry forKey(unsigned keyLen, uint64_t recordCount);
    // Whether rec can be stored.
    bool fits(uint32_t rec) const { return rec <= recMask; }
    // Makes record numbers 8 bits wider (one more byte per entry).  False when
    // the record field is already 32 bits wide.
    bool widen();
    bool operator==(const Geometry&) const = default;
};

// Number of bits needed to hold v (0 for 0).
unsigned bitsFor(uint64_t v);

// A decoded node.  Keys are held whole (keyLen bytes each, back to back).
struct Node {
    uint64_t offset = 0;
    uint16_t attr = 0;
    uint32_t left = kNoLink;
    uint32_t right = kNoLink;
    Geometry geom;            // leaves only
    uint16_t storedFree = 0;  // leaves: the free-byte count as read
    std::vector<uint8_t> keys;
    std::vector<uint32_t> recs;
    std::vector<uint32_t> children;  // branches only
    // Leaves: leafUsedBytes for usedGeom as an insert last worked it out, so that the next
    // insert only adds what changes (-1: not known). Every change of the keys forgets it.
    long usedBytes = -1;
    Geometry usedGeom;

    bool leaf() const { return (attr & kAttrLeaf) != 0; }
    bool root() const { return (attr & kAttrRoot) != 0; }
    size_t count() const { return recs.size(); }
    const uint8_t* key(size_t i, unsigned keyLen) const { return keys.data() + i * keyLen; }
    void erase(size_t i, unsigned keyLen);
    void insert(size_t i, const uint8_t* key, uint32_t rec, unsigned keyLen, uint32_t child = 0);
};

// Decodes one node block.  Never reads outside [block, block + blockSize).
// Returns 0 or kErrCorrupt with a reason in why.
int decodeNode(const uint8_t* block, size_t blockSize, unsigned keyLen, uint8_t pad,
               uint64_t offset, Node& out, std::string* why);
// What a leaf walk needs of a node block besides its record numbers.
struct LeafLinks {
    uint16_t attr = 0;
    uint32_t left = kNoLink;
    uint32_t right = kNoLink;
    bool leaf() const { return (attr & kAttrLeaf) != 0; }
};
// A leaf's record numbers appended to out, checked as decodeNode checks them but with no key
// built; a branch appends nothing (links.leaf() tells).
int decodeLeafRecords(const uint8_t* block, size_t blockSize, unsigned keyLen, LeafLinks& links,
                      std::vector<uint32_t>& out, std::string* why);
// Bytes the packed entries and stored key bytes of a leaf take with geometry g.
size_t leafUsedBytes(const Node& n, const Geometry& g, unsigned keyLen, uint8_t pad);
// Bytes one entry takes after prev (nullptr for the first of a leaf).
size_t entryBytes(const uint8_t* prev, const uint8_t* key, const Geometry& g, unsigned keyLen,
                  uint8_t pad);
// Encodes a node into blockSize bytes.  A leaf that does not fit returns false.
bool encodeNode(const Node& n, size_t blockSize, unsigned keyLen, uint8_t pad, uint8_t* out);

// Compares (key a, record ra) with (key b, record rb).
int compareEntry(const uint8_t* a, uint32_t ra, const uint8_t* b, uint32_t rb, unsigned keyLen);

struct Entry {
    std::vector<uint8_t> key;
    uint32_t rec = 0;
    bool operator==(const Entry&) const = default;
};

// A position in a tag: the entry it stands on, remembered by value so that it
// survives changes to the tree (it is then found again by (key, record)).
struct Pos {
    int state = kEof;  // 0 on an entry, kEof or kBof otherwise
    uint64_t leaf = 0;
    size_t index = 0;
    std::vector<uint8_t> key;
    uint32_t rec = 0;
    uint64_t serial = 0;
    uint64_t hops = 0;  // leaf hops since the last seek: bounds walks over damaged links
    bool onEntry() const { return state == 0; }
};

class Index;

// Definition of a tag written by Index::create.
struct TagDef {
    std::string name;  // at most 10 characters, stored upper-cased
    std::string keyExpr;
    std::string filterExpr;  // empty: no filter
    unsigned keyLen = 0;
    uint8_t pad = ' ';
    int uniqueCode = 0;  // 0, 15, 20, 25, -340, -360
    bool descending = false;
    bool nullable = false;
    std::string collation;  // empty: machine order; else "GENERAL" or "CB" + 5 digits
};

// Whether a block size and multiplier make a valid layout: a multiple of 512 up to
// 32768 (the leaf's free-byte count is 16 bits), divisible by a multiplier of 1 to 1024.
bool validBlockLayout(uint32_t blockSize, uint32_t multiplier);

// The general collation of character keys: every Windows-1252 byte becomes its primary
// weight, one byte for one, so the key keeps its length.  Case and accents are ignored
// (a, A and a-grave weigh the same); blanks and control characters weigh 0, then come
// punctuation and symbols in code order, then digits, then letters.
void collateGeneral(uint8_t* text, size_t len);

// One tag (or the tag directory) of an open index.
class Tree {
public:
    Tree(Index& ix, uint64_t headerOffset) : ix_(ix), headerOffset_(headerOffset) {}

    const std::string& name() const { return name_; }
    uint64_t headerOffset() const { return headerOffset_; }
    uint32_t root() const { return root_; }
    unsigned keyLen() const { return keyLen_; }
    uint8_t options() const { return options_; }
    uint8_t pad() const { return pad_; }
    void setPad(uint8_t p) { pad_ = p; }
    bool descending() const { return descending_; }
    const std::string& keyExpr() const { return keyExpr_; }
    const std::string& filterExpr() const { return filterExpr_; }
    const std::string& collation() const { return collation_; }
    bool unique() const { return (options_ & (kOptUnique | kOptCandidate)) != 0; }
    bool candidate() const { return (options_ & kOptCandidate) != 0; }
    int uniqueCode() const { return uniqueCode_; }
    void setUniqueCode(int c) { uniqueCode_ = c; }
    Index& index() { return ix_; }

    // Seeks the first entry whose first len key bytes are >= key.
    // kFound (prefix equal), kAfter, kEof.
    int seek(const uint8_t* key, size_t len, Pos& pos);
    // The same in the walk order of a descending tag: the last entry whose first len key
    // bytes equal key (kFound), else the greatest entry below it (kAfter), else kEof.
    int seekLast(const uint8_t* key, size_t len, Pos& pos);
    // Seeks (key, rec) with a whole key: kFound on that exact entry, kAfter on
    // the next greater entry, kEof.
    int seekEntry(const uint8_t* key, uint32_t rec, Pos& pos);
    int top(Pos& pos);
    int bottom(Pos& pos);
    // One step; after a change to the tree the position is first found again,
    // and when its entry is gone, landing on the next greater one counts as
    // the forward step.  kEof / kBof at the ends (pos then keeps its last entry
    // for skip's sake, state set accordingly).
    int next(Pos& pos);
    int prev(Pos& pos);
    // Whether key (whole) is held for any record; when so *rec receives the first.
    int find(const uint8_t* key, uint32_t* rec);

    // Adds (key, rec) under the unique code in force: 0, kUniqueRefused,
    // kUniqueSkipped, kErrUnique, kErrCandidate or another error.
    // recordCount sizes the geometry of new leaves.
    int insert(const uint8_t* key, uint32_t rec, uint64_t recordCount);
    // Inserts without any unique check.
    int insertPlain(const uint8_t* key, uint32_t rec, uint64_t recordCount);
    // Removes (key, rec); 0, 1 when the entry is not there, or an error.
    int remove(const uint8_t* key, uint32_t rec, uint64_t recordCount);

    // Every entry in order (used by tests and the checker).
    int entries(std::vector<Entry>& out);

    // The record numbers of pos's cached leaf; empty when the leaf is not cached.
    void leafRecords(const Pos& pos, std::vector<uint32_t>& out);
    // The record numbers of every entry from the first whose first len key bytes are >= key
    // to the end, in key order, read leaf by leaf without building a key (leaves are cached
    // only while the node cache has room to spare).
    int recordsFrom(const uint8_t* key, size_t len, std::vector<uint32_t>& out);

private:
    int edge(Pos& pos, bool first);
    // The most leaf hops a walk may take: the blocks the file holds (ends a cycle of links).
    uint64_t hopLimit() const;
    friend class Index;
    friend class Checker;

    struct Step {
        uint64_t off;
        size_t idx;
    };
    int readNode(uint64_t off, Node& n);
    int writeNode(const Node& n);
    int descend(const uint8_t* key, uint32_t rec, std::vector<Step>& path, Node& leaf);
    int descendPrefix(const uint8_t* key, size_t len, const Node*& leaf, size_t& idx, bool& none);
    int descendEntry(const uint8_t* key, uint32_t rec, const Node*& leaf, size_t& idx);
    int notRoot();
    int setRoot(uint32_t off);
    int fixParents(std::vector<Step>& path, size_t level, const Node& child);
    int addToParent(std::vector<Step>& path, size_t level, Node& leftChild, Node& rightChild);
    // Puts a node just split off after `left` in its level's chain (the old right
    // neighbour's back link included) and writes both halves.
    int writeSplit(Node& left, Node& right);
    int removeFromParent(std::vector<Step>& path, size_t level, uint64_t recordCount);
    int unlink(const Node& n);
    int emptyRoot(uint64_t off, uint64_t recordCount);
    int land(const Node& leaf, size_t idx, Pos& pos);
    int nextLeaf(const Node& from, const Node*& to, bool forward, Pos* pos);
    int refind(Pos& pos);
    int insertAt(const uint8_t* key, uint32_t rec, uint64_t recordCount, int code);
    int heldByOther(const Node& leaf, size_t idx, const uint8_t* key, uint32_t rec, bool& other);
    int refuse(int code);

    Index& ix_;
    uint64_t headerOffset_;
    std::string name_;
    uint32_t root_ = 0;
    unsigned keyLen_ = 0;
    uint8_t options_ = 0;
    uint8_t pad_ = ' ';
    bool descending_ = false;
    std::string keyExpr_;
    std::string filterExpr_;
    std::string collation_;
    int uniqueCode_ = 0;
    uint32_t rootOnDisk_ = 0;         // the root as the tag header on disk holds it
    Node work_;                       // an insert's copy of its leaf
    std::vector<Step> path_;          // an insert's way down
    std::vector<uint8_t> rawHeader_;  // 1024 bytes: header and expression area
};

struct CheckReport {
    std::vector<std::string> problems;
    size_t entries = 0;
    size_t nodes = 0;
    bool ok() const { return problems.empty(); }
    std::string text() const;
};

class Sorter;

// An open compound index file.
class Index {
public:
    explicit Index(std::unique_ptr<Index4Io> io);
    ~Index();
    Index(const Index&) = delete;
    Index& operator=(const Index&) = delete;

    // Writes a new index with the given tags, all empty.
    int create(const std::vector<TagDef>& tags, uint64_t recordCount);
    // Reads the header, the directory and every tag header.
    int open();
    // A reader's verdict that a node is not what its link promised holds only when the tree
    // did not change meanwhile (another user may have split the root under it).
    bool movedUnderReader() { return checkReads_ && changedSince(); }

    Tree& directory() { return *dir_; }
    std::vector<std::unique_ptr<Tree>>& tags() { return tags_; }
    Tree* tag(const std::string& name);
    size_t blockSize() const { return blockSize_; }
    uint32_t multiplier() const { return multiplier_; }
    // Chooses the node size of the next create; kErrCorrupt when the pair is not valid.
    int setBlockLayout(uint32_t blockSize, uint32_t multiplier);
    uint32_t changeCounter() const { return counter_; }
    uint32_t freeHead() const { return freeHead_; }
    uint64_t serial() const { return serial_; }
    Index4Io& io() { return *io_; }
    int64_t fileLength() const { return fileLen_; }

    // Writes every node held back, the changed tag roots and then the first 16
    // bytes of the header when changed; then flushes the file when durable.
    int flush(bool durable = false);
    // With write-back on, written nodes, freed blocks and tag roots stay in memory
    // until flush (or until the cache must make room) and then go out in offset
    // order, adjacent blocks in one write.  Only for a file nobody else uses.
    void setWriteBack(bool on) { writeBack_ = on; }
    bool writeBack() const { return writeBack_; }
    // A held change, for a shared file whose index lock this user holds through many key
    // changes: the odd "being written" counter goes to the file at the first change, so
    // other users wait for it as for any change, and the nodes are held as with write-back
    // until flush, which ends the change. Each key change would otherwise mark, write its
    // nodes and close the change on its own: three writes for a key that moves one entry.
    void setHold(bool on) { hold_ = on; }
    bool holding() const { return writeBack_ || hold_; }
    // Whether a change was begun and not yet ended by flush.
    bool changeOpen() const { return marked_; }
    // Nodes waiting to be written (tests).
    size_t dirtyNodes() const { return dirty_.size() + freedDirty_.size(); }
    // Re-reads the change counter; when another writer changed the file every
    // cached node and tag root is read again.  *changed (optional) tells.
    int refresh(bool* changed = nullptr);
    // Forgets every cached node.
    void dropCache();
    // Read checking for a file that other users change while we read it without the index
    // lock: every node read from the file is followed by a look at the change counter, and
    // a counter that moved (or that says a change is being written) makes the read kChanged.
    // writerActive tells whether another user holds the index lock.
    void setCheckReads(bool on) { checkReads_ = on; }
    bool checkReads() const { return checkReads_; }
    // Node reads checked against the counter so far (tests).
    uint64_t checkedReads() const { return checkedReads_; }
    void setWriterActive(std::function<bool()> f) { writerActive_ = std::move(f); }
    // The cached node at off, or nullptr; reads nothing.
    const Node* cached(uint64_t off) const {
        auto it = cache_.find(off);
        return it == cache_.end() ? nullptr : &it->second;
    }
    // Most decoded nodes held at once (tests set small limits to make evictions happen).
    void setCacheLimit(size_t nodes) { cacheLimit_ = std::max<size_t>(nodes, 2); }

    // Rebuilds every tag.  For each tag, feed adds its keys to a sorter (any
    // order); the sorted keys are written leaf by leaf.  Returns 0, 20 (unique
    // refusal: the tag is left empty), -340 or an error.
    using Feed = std::function<int(Tree& tag, Sorter& sorter)>;
    int reindex(uint64_t recordCount, const Feed& feed, size_t memoryBudget = 8u << 20);

    // Walks everything and verifies every structural rule; with expected
    // (tag name -> sorted entries) also that each tag holds exactly those.
    CheckReport check(uint64_t recordCount,
                      const std::map<std::string, std::vector<Entry>>* expected = nullptr);

    // Last failure.
    int lastError() const { return lastError_; }
    int lastLocation() const { return lastLocation_; }
    const std::string& lastText() const { return lastText_; }
    int fail(int code, int location, const std::string& text);
    void clearError() {
        lastError_ = 0;
        lastLocation_ = 0;
        lastText_.clear();
    }

    // Node storage (used by the trees).
    int readNode(Tree& t, uint64_t off, Node& n);
    // The cached node itself, without a copy.  The pointer stays good only until the
    // next node read, write, allocation or cache drop.
    int nodeRef(Tree& t, uint64_t off, const Node*& out);
    // The record numbers of the leaf at off appended to out (a cached copy when there is one),
    // its links in links; a branch appends nothing.
    int leafRecords(Tree& t, uint64_t off, std::vector<uint32_t>& out, LeafLinks& links);
    int writeNode(Tree& t, const Node& n);
    // The same, exchanging buffers with the cached copy (n is left with unspecified content).
    int writeNode(Tree& t, Node&& n);
    int allocBlock(uint64_t& off);
    int freeBlock(uint64_t off);
    void changed();
    int writeTagRoot(Tree& t);

    // Statistics for tests.
    size_t spoolFilesUsed() const { return spoolFiles_; }

private:
    friend class Checker;
    int readTagHeader(Tree& t, bool directoryHeader);
    int buildTree(Tree& t, Sorter& s, uint64_t recordCount, std::vector<uint8_t>& out,
                  uint64_t& nextOff, int uniqueCode);
    int writeHeaderBlock(uint64_t off, const TagDef* def, bool directory, uint32_t root);
    // Writes the held-back nodes and freed blocks; they stay held when a write fails.
    int writeBackNodes();
    int writeRoots();
    // Before the first block of a change reaches a file others read: the change counter is
    // set to an odd value, which says "being written" until the header write at flush
    // leaves it even again.
    int markWriting();
    // Reads the first 16 bytes, waiting (briefly) while another user is writing a change.
    int readStableHeader(uint8_t* b);
    // After a node was read from the file: whether the tree changed meanwhile.
    bool changedSince();

    struct DirtyNode {
        unsigned keyLen;
        uint8_t pad;
    };

    std::unique_ptr<Index4Io> io_;
    std::unique_ptr<Tree> dir_;
    std::vector<std::unique_ptr<Tree>> tags_;
    size_t blockSize_ = 512;
    uint32_t multiplier_ = 1;
    uint32_t counter_ = 0;
    uint32_t freeHead_ = 0;
    uint32_t dirRootOnDisk_ = 0;
    uint32_t freeOnDisk_ = 0;
    uint32_t counterOnDisk_ = 0;
    uint64_t serial_ = 1;
    int64_t fileLen_ = 0;
    int makeRoom();
    std::unordered_map<uint64_t, Node> cache_;
    std::vector<uint8_t> blockBuf_;  // one node block as read
    // Blocks read ahead of a walk that moves through the file block after block, or back and
    // forth among near blocks (the leaves of a tree built in key order, or of one whose keys
    // came a day at a time in another order): one read for many leaves instead of two per
    // leaf. The last two windows read are kept, so a step back into the one before is no
    // read either. They belong to the serial they were read under and are forgotten at the
    // first write of this index.
    struct Window {
        std::vector<uint8_t> bytes;
        uint64_t off = 0;
        uint64_t serial = 0;  // 0: holds nothing
        bool holds(uint64_t at, size_t len, uint64_t current) const {
            return serial == current && at >= off && at + len <= off + bytes.size();
        }
    };
    Window ahead_, behind_;
    void forgetAhead() { ahead_.serial = behind_.serial = 0; }
    uint64_t lastMiss_ = 0;  // the block the last node read from the file came from
    unsigned aheadRun_ = 0;  // near blocks read one after another so far (up to 7 counted)
    int readBlock(uint64_t off, const uint8_t*& block);
    size_t cacheLimit_;
    bool writeBack_ = false;
    bool hold_ = false;
    bool checkReads_ = false;
    bool marked_ = false;       // the odd "being written" counter is in the file
    bool stale_ = false;        // the tag roots were not read completely under one counter
    uint32_t oddAccepted_ = 0;  // an odd counter waited for in vain: taken as it is
    uint64_t checkedReads_ = 0;
    std::function<bool()> writerActive_;
    std::map<uint64_t, DirtyNode> dirty_;      // cached nodes newer than their blocks
    std::map<uint64_t, uint32_t> freedDirty_;  // freed blocks -> free-list link, unwritten
    int lastError_ = 0;
    int lastLocation_ = 0;
    std::string lastText_;
    size_t spoolFiles_ = 0;
};

// External sorter of (key, record) pairs: in memory up to a budget, then
// through sorted runs spooled to temporary files in TEMP, TMP or /tmp.
class Sorter {
public:
    Sorter(unsigned keyLen, size_t memoryBudget);
    ~Sorter();
    Sorter(const Sorter&) = delete;
    Sorter& operator=(const Sorter&) = delete;

    int add(const uint8_t* key, uint32_t rec);
    // Ends the input; then next() yields the pairs in (key, record) order.
    int finish();
    // 1 with *key/*rec set, 0 at the end, negative on failure.
    int next(const uint8_t** key, uint32_t* rec);
    size_t spoolFiles() const { return runs_.size(); }
    uint64_t count() const { return total_; }
    static std::string tempFolder();

private:
    struct Run;
    int spool();
    // Merges the runs from index from on into one run a level up, so that a build holds
    // only a few spool files open at once.
    int collapse(size_t from);
    unsigned keyLen_;
    size_t recLen_;
    size_t budget_;
    std::vector<uint8_t> buf_;
    std::vector<uint32_t> order_;
    size_t memPos_ = 0;
    bool finished_ = false;
    uint64_t total_ = 0;
    std::vector<std::unique_ptr<Run>> runs_;
    std::vector<size_t> heap_;
    std::vector<uint8_t> current_;
    std::vector<uint8_t> out_;
    bool pendingPop_ = false;
};

}  // namespace cdx4
