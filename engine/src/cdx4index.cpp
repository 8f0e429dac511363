// Compound index file: headers, tag directory, node cache, block allocation and the
// change counter. The left-to-right rebuild is in cdx4rebuild.cpp.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <set>
#include <thread>

#include "engine/cdx4.h"
#include "engine/src/cdx4bytes.h"
#include "engine/src/cdx4layout.h"

namespace cdx4 {

namespace {

constexpr size_t kCacheLimit = 8192;      // decoded nodes held per index file
constexpr size_t kWriteRun = 128 * 1024;  // largest single write of adjacent blocks
constexpr size_t kReadAhead = 64 * 1024;  // read at once when a walk goes block after block
constexpr uint64_t kNearBlocks = 16;      // how far a walk may jump and still read ahead

bool validUniqueCode(int c) {
    return c == 0 || c == 15 || c == 20 || c == 25 || c == -340 || c == -360;
}

}  // namespace

std::string CheckReport::text() const {
    std::string s;
    for (const auto& p : problems) s += p + "\n";
    return s;
}

Index::Index(std::unique_ptr<Index4Io> io) : io_(std::move(io)), cacheLimit_(kCacheLimit) {}
Index::~Index() = default;

int Index::fail(int code, int location, const std::string& text) {
    lastError_ = code;
    lastLocation_ = location;
    lastText_ = text;
    return code;
}

Tree* Index::tag(const std::string& name) {
    std::string want = padName(name);
    for (auto& t : tags_)
        if (padName(t->name()) == want) return t.get();
    return nullptr;
}

void Index::dropCache() {
    // Nodes held back are written before the cache forgets them; when that fails they stay
    // (and the next flush reports the failure) rather than being lost.
    if ((!dirty_.empty() || !freedDirty_.empty()) && writeBackNodes() != 0) {
        for (auto it = cache_.begin(); it != cache_.end();)
            it = dirty_.count(it->first) ? std::next(it) : cache_.erase(it);
    } else {
        cache_.clear();
    }
    ++serial_;
}

int Index::writeBackNodes() {
    if (dirty_.empty() && freedDirty_.empty()) return 0;
    if (int rc = markWriting()) return rc;
    std::vector<uint8_t> run;
    uint64_t runStart = 0;
    auto drain = [&]() -> int {
        if (run.empty()) return 0;
        if (io_->write(runStart, run.data(), run.size()) != 0)
            return fail(kErrWrite, kLocCorrupt, "index node write failed");
        run.clear();
        return 0;
    };
    auto add = [&](uint64_t off) -> uint8_t* {
        if (!run.empty() && (off != runStart + run.size() || run.size() >= kWriteRun))
            if (drain() != 0) return nullptr;
        if (run.empty()) runStart = off;
        const size_t at = run.size();
        run.resize(at + blockSize_, 0);
        return &run[at];
    };
    // The nodes in offset order, then the freed blocks: a writer stopped part-way (a kill, a
    // full disk) leaves each freed node as it was, so a node not yet written that still
    // points at one finds it whole.
    for (const auto& [off, node] : dirty_) {
        uint8_t* at = add(off);
        if (!at) return lastError_;
        auto it = cache_.find(off);
        if (it == cache_.end() || !encodeNode(it->second, blockSize_, node.keyLen, node.pad, at))
            return fail(kErrCorrupt, kLocCorrupt, "node does not fit its block");
    }
    if (int rc = drain()) return rc;
    for (const auto& [off, next] : freedDirty_) {
        uint8_t* at = add(off);
        if (!at) return lastError_;
        put32(at, next);
    }
    if (int rc = drain()) return rc;
    dirty_.clear();
    freedDirty_.clear();
    return 0;
}

void Index::changed() {
    ++counter_;
    ++serial_;
}

int Index::nodeRef(Tree& t, uint64_t off, const Node*& out) {
    out = nullptr;
    if (off < 512 || off % 512 != 0 || static_cast<int64_t>(off + blockSize_) > fileLen_) {
        // A link into a part of the file that grew after its length was taken: read on when
        // the file now holds it (the counter check after the read decides), else again.
        if (checkReads_ && off >= 512 && off % 512 == 0) {
            if (changedSince()) return kChanged;
            fileLen_ = std::max(fileLen_, io_->length());
            if (static_cast<int64_t>(off + blockSize_) <= fileLen_) return nodeRef(t, off, out);
        }
        return fail(kErrCorrupt, kLocCorrupt,
                    "node pointer " + std::to_string(off) + " outside the file");
    }
    auto it = cache_.find(off);
    if (it != cache_.end() && it->second.keys.size() == it->second.recs.size() * t.keyLen()) {
        out = &it->second;
        return 0;
    }
    if (it != cache_.end()) cache_.erase(it);  // decoded for another key length
    if (int rc = makeRoom()) return rc;
    const uint8_t* block = nullptr;
    if (int rc = readBlock(off, block)) return rc;
    Node& slot = cache_[off];
    std::string why;
    // Decoded straight into its cache slot: a miss costs one decode and no copies.
    if (decodeNode(block, blockSize_, t.keyLen(), t.pad(), off, slot, &why) != 0) {
        cache_.erase(off);
        // Half of a node another user was writing does not decode: read it again.
        if (checkReads_ && changedSince()) return kChanged;
        return fail(kErrCorrupt, kLocCorrupt, why + " (node " + std::to_string(off) + ")");
    }
    out = &slot;
    return 0;
}

int Index::leafRecords(Tree& t, uint64_t off, std::vector<uint32_t>& out, LeafLinks& links) {
    const Node* n = cached(off);
    const bool inFile =
        off >= 512 && off % 512 == 0 && static_cast<int64_t>(off + blockSize_) <= fileLen_;
    // Cached (perhaps changed and not yet written), a link past the length last taken, or a
    // cache with room to spare (a list opened again and again, such as the customers, then
    // reads nothing the second time): the ordinary node read serves and judges it. A walk
    // over more leaves than that leaves the cache as it is.
    if ((n && n->keys.size() == n->recs.size() * t.keyLen()) || !inFile ||
        cache_.size() < cacheLimit_ / 2) {
        if (int rc = nodeRef(t, off, n)) return rc;
        links = LeafLinks{n->attr, n->left, n->right};
        if (n->leaf()) out.insert(out.end(), n->recs.begin(), n->recs.end());
        return 0;
    }
    const uint8_t* block = nullptr;
    if (int rc = readBlock(off, block)) return rc;
    std::string why;
    if (decodeLeafRecords(block, blockSize_, t.keyLen(), links, out, &why) != 0) {
        if (checkReads_ && changedSince()) return kChanged;
        return fail(kErrCorrupt, kLocCorrupt, why + " (node " + std::to_string(off) + ")");
    }
    return 0;
}

int Index::readBlock(uint64_t off, const uint8_t*& block) {
    // A walk from leaf to leaf among near blocks reads ahead, more the longer it goes on: a
    // day's list that steps into the next leaf reads two blocks, a walk over thousands 64 KiB.
    const uint64_t near = kNearBlocks * blockSize_;
    const bool onward = off != lastMiss_ && off + near >= lastMiss_ && off <= lastMiss_ + near;
    aheadRun_ = onward ? std::min(aheadRun_ + 1, 7u) : 0;
    lastMiss_ = off;
    for (const Window* w : {&ahead_, &behind_}) {
        if (w->holds(off, blockSize_, serial_)) {
            block = w->bytes.data() + (off - w->off);  // checked against the counter when read
            return 0;
        }
    }
    size_t want = blockSize_;
    uint64_t from = off;
    if (aheadRun_ > 0) {
        // A few blocks before this one come too: the next leaf may lie just behind it.
        // (Nodes lie on 512-byte steps from the end of the first 512 bytes, whatever their size.)
        if (aheadRun_ > 3) from = off >= 512 + near / 2 ? off - near / 2 : 512;
        const int64_t left = fileLen_ - static_cast<int64_t>(from);
        want = std::min(blockSize_ << aheadRun_, kReadAhead);
        want = std::max(blockSize_,
                        std::min(want, static_cast<size_t>(left)) / blockSize_ * blockSize_);
        if (from + want < off + blockSize_) from = off;  // the file ends: read this block
    }
    if (want > blockSize_) {
        std::swap(ahead_, behind_);
        ahead_.serial = 0;  // holds nothing until this read is checked
    }
    std::vector<uint8_t>& buf = want > blockSize_ ? ahead_.bytes : blockBuf_;
    buf.resize(want);
    if (checkReads_) ++checkedReads_;
    const long got = io_->read(from, buf.data(), want);
    if (got < 0) return fail(kErrRead, kLocCorrupt, "index node read failed");
    if (got < 0 || static_cast<uint64_t>(got) < off - from + blockSize_) {
        if (checkReads_ && changedSince()) return kChanged;
        return fail(kErrCorrupt, kLocCorrupt, "short index node at " + std::to_string(off));
    }
    // Read while another user was writing, the blocks may belong to a newer tree than the
    // nodes cached, or be half of each.
    if (checkReads_ && changedSince()) return kChanged;
    if (want > blockSize_) {
        ahead_.bytes.resize(static_cast<size_t>(got) / blockSize_ * blockSize_);
        ahead_.off = from;
        ahead_.serial = serial_;
    }
    block = buf.data() + (off - from);
    return 0;
}

bool Index::changedSince() {
    uint8_t b[16];
    if (io_->read(0, b, 16) != 16) return true;
    return be32(b + 8) != counterOnDisk_;
}

int Index::markWriting() {
    forgetAhead();  // blocks read ahead may be the ones about to change
    if (writeBack_ || marked_) return 0;
    uint32_t mark = std::max(counter_, counterOnDisk_) + 1;
    if ((mark & 1) == 0) ++mark;
    uint8_t b[4];
    putBe32(b, mark);
    if (io_->write(8, b, 4) != 0) return fail(kErrWrite, kLocCorrupt, "index header write failed");
    if (dir_ && dir_->rawHeader_.size() >= 16) putBe32(dir_->rawHeader_.data() + 8, mark);
    counterOnDisk_ = mark;
    marked_ = true;
    return 0;
}

int Index::readStableHeader(uint8_t* b) {
    // A writer's change takes microseconds, but a writer that holds the index lock may be
    // kept from the processor far longer on a busy machine or a slow network folder: reading
    // on after a short wait then meets a tree half changed. So a reader waits while the lock
    // is held, up to two seconds; a counter left odd by a writer that failed, or by another
    // program that counts by one, costs that wait once (the value is remembered).
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (int pause = 20;; pause = std::min(pause * 2, 2000)) {
        if (io_->read(0, b, 16) != 16) return fail(kErrCorrupt, kLocCorrupt, "short index header");
        uint32_t c = be32(b + 8);
        if ((c & 1) == 0 || c == oddAccepted_ || !writerActive_ || !writerActive_()) return 0;
        if (std::chrono::steady_clock::now() > until) {
            oddAccepted_ = c;  // not waited for again
            return 0;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(pause));
    }
}

int Index::readNode(Tree& t, uint64_t off, Node& n) {
    const Node* p = nullptr;
    if (int rc = nodeRef(t, off, p)) return rc;
    n = *p;
    return 0;
}

// A full cache gives up its leaves first: the branches, a small share of the nodes, are
// what every descent passes through. Held-back nodes go only once written.
int Index::makeRoom() {
    if (cache_.size() < cacheLimit_) return 0;
    auto dropLeaves = [this] {
        for (auto it = cache_.begin(); it != cache_.end();)
            it = it->second.leaf() && !dirty_.count(it->first) ? cache_.erase(it) : std::next(it);
    };
    dropLeaves();
    if (cache_.size() < cacheLimit_ / 2) return 0;
    if (int rc = writeBackNodes()) return rc;
    dropLeaves();
    if (cache_.size() >= cacheLimit_ / 2) cache_.clear();
    return 0;
}

int Index::writeNode(Tree& t, Node&& n) {
    if (!holding()) return writeNode(t, static_cast<const Node&>(n));
    if (int rc = markWriting()) return rc;
    if (!n.leaf() && n.count() * (t.keyLen() + 8) > blockSize_ - 12)
        return fail(kErrCorrupt, kLocCorrupt, "node does not fit its block");
    fileLen_ = std::max<int64_t>(fileLen_, static_cast<int64_t>(n.offset + blockSize_));
    auto it = cache_.find(n.offset);
    if (it == cache_.end()) {
        if (int rc = makeRoom()) return rc;
        it = cache_.emplace(n.offset, Node()).first;
    }
    const uint64_t off = n.offset;
    std::swap(it->second, n);  // the caller's buffers are reused for its next node
    dirty_[off] = DirtyNode{t.keyLen(), t.pad()};
    freedDirty_.erase(off);
    return 0;
}

int Index::writeNode(Tree& t, const Node& n) {
    if (int rc = markWriting()) return rc;
    if (holding()) {
        // Held until flush. Leaves are sized by the tree code before they are written (a
        // second count here would double the cost of an insert); a branch is checked now.
        if (!n.leaf() && n.count() * (t.keyLen() + 8) > blockSize_ - 12)
            return fail(kErrCorrupt, kLocCorrupt, "node does not fit its block");
        fileLen_ = std::max<int64_t>(fileLen_, static_cast<int64_t>(n.offset + blockSize_));
        if (cache_.find(n.offset) == cache_.end())
            if (int rc = makeRoom()) return rc;
        cache_[n.offset] = n;
        dirty_[n.offset] = DirtyNode{t.keyLen(), t.pad()};
        freedDirty_.erase(n.offset);
        return 0;
    }
    std::vector<uint8_t> buf(blockSize_);
    if (!encodeNode(n, blockSize_, t.keyLen(), t.pad(), buf.data()))
        return fail(kErrCorrupt, kLocCorrupt, "node does not fit its block");
    if (io_->write(n.offset, buf.data(), blockSize_) != 0)
        return fail(kErrWrite, kLocCorrupt, "index node write failed");
    fileLen_ = std::max<int64_t>(fileLen_, static_cast<int64_t>(n.offset + blockSize_));
    if (cache_.find(n.offset) == cache_.end())
        if (int rc = makeRoom()) return rc;
    cache_[n.offset] = n;
    return 0;
}

int Index::allocBlock(uint64_t& off) {
    if (freeHead_ != 0) {
        uint64_t head = freeHead_;
        if (head < kHeaderPair || head % 512 != 0 ||
            static_cast<int64_t>(head + blockSize_) > fileLen_)
            return fail(kErrCorrupt, kLocCorrupt, "free block list points outside the file");
        uint32_t next;
        auto held = freedDirty_.find(head);
        if (held != freedDirty_.end()) {
            next = held->second;
            freedDirty_.erase(held);
        } else {
            uint8_t b[4];
            if (io_->read(head, b, 4) != 4)
                return fail(kErrCorrupt, kLocCorrupt, "short free block");
            next = le32(b);
        }
        if (next != 0 && (next < kHeaderPair || next % 512 != 0 ||
                          static_cast<int64_t>(next + blockSize_) > fileLen_ || next == head))
            return fail(kErrCorrupt, kLocCorrupt, "free block list damaged");
        freeHead_ = next;
        cache_.erase(head);
        off = head;
        return 0;
    }
    uint64_t end = static_cast<uint64_t>(fileLen_);
    end = (end + blockSize_ - 1) / blockSize_ * blockSize_;
    if (end + blockSize_ > 0xFFFFFFFFull)
        return fail(kErrWrite, kLocCorrupt, "index file would pass 4 GB");
    off = end;
    fileLen_ = static_cast<int64_t>(end + blockSize_);
    return 0;
}

int Index::freeBlock(uint64_t off) {
    if (holding()) {
        if (int rc = markWriting()) return rc;
        cache_.erase(off);
        dirty_.erase(off);
        freedDirty_[off] = freeHead_;
        freeHead_ = static_cast<uint32_t>(off);
        return 0;
    }
    if (int rc = markWriting()) return rc;
    std::vector<uint8_t> buf(blockSize_, 0);
    put32(buf.data(), freeHead_);
    if (io_->write(off, buf.data(), blockSize_) != 0)
        return fail(kErrWrite, kLocCorrupt, "index free block write failed");
    cache_.erase(off);
    freeHead_ = static_cast<uint32_t>(off);
    return 0;
}

int Index::writeTagRoot(Tree& t) {
    uint8_t b[4];
    put32(b, t.root_);
    put32(t.rawHeader_.data(), t.root_);
    if (&t == dir_.get()) return 0;  // written with the first 16 bytes at flush
    if (holding()) return 0;         // written at flush
    if (int rc = markWriting()) return rc;
    if (io_->write(t.headerOffset_, b, 4) != 0)
        return fail(kErrWrite, kLocCorrupt, "tag header write failed");
    t.rootOnDisk_ = t.root_;
    return 0;
}

int Index::writeRoots() {
    for (auto& t : tags_) {
        if (t->root_ == t->rootOnDisk_) continue;
        if (int rc = markWriting()) return rc;
        uint8_t b[4];
        put32(b, t->root_);
        if (io_->write(t->headerOffset_, b, 4) != 0)
            return fail(kErrWrite, kLocCorrupt, "tag header write failed");
        t->rootOnDisk_ = t->root_;
    }
    return 0;
}

int Index::flush(bool durable) {
    // Nodes first, then the roots that point at them, the header (with the change counter
    // other users watch) last.
    if (int rc = writeBackNodes()) return rc;
    if (int rc = writeRoots()) return rc;
    if (marked_) {
        // The change is complete: an even counter past the "being written" one.
        counter_ = std::max(counter_, counterOnDisk_) + 1;
        if (counter_ & 1) ++counter_;
    }
    if (dir_ && (marked_ || dir_->root_ != dirRootOnDisk_ || freeHead_ != freeOnDisk_ ||
                 counter_ != counterOnDisk_)) {
        uint8_t b[16];
        std::memcpy(b, dir_->rawHeader_.data(), 16);
        put32(b, dir_->root_);
        put32(b + 4, freeHead_);
        putBe32(b + 8, counter_);
        if (io_->write(0, b, 16) != 0)
            return fail(kErrWrite, kLocCorrupt, "index header write failed");
        std::memcpy(dir_->rawHeader_.data(), b, 16);
        dirRootOnDisk_ = dir_->root_;
        freeOnDisk_ = freeHead_;
        counterOnDisk_ = counter_;
        marked_ = false;
    }
    if (durable && io_->flush() != 0) return fail(kErrWrite, kLocCorrupt, "index flush failed");
    return 0;
}

int Index::refresh(bool* changedOut) {
    if (changedOut) *changedOut = false;
    uint8_t b[16];
    if (int rc = readStableHeader(b)) return rc;
    uint32_t c = be32(b + 8);
    if (c == counterOnDisk_ && (c == counter_ || holding()) && !stale_) return 0;
    if (changedOut) *changedOut = true;
    dropCache();
    // Until the roots are read under one counter value, the next refresh reads them again.
    stale_ = true;
    for (int round = 0;; ++round) {
        fileLen_ = io_->length();
        counter_ = counterOnDisk_ = c;
        freeHead_ = freeOnDisk_ = le32(b + 4);
        dir_->root_ = dirRootOnDisk_ = le32(b);
        std::memcpy(dir_->rawHeader_.data(), b, 16);
        bool torn = false;
        for (auto& t : tags_) {
            uint8_t r[4];
            if (io_->read(t->headerOffset_, r, 4) != 4) {
                torn = true;
                break;
            }
            uint32_t root = le32(r);
            if (root == 0 || root == kNoLink) {
                torn = true;
                break;
            }
            t->root_ = t->rootOnDisk_ = root;
            put32(t->rawHeader_.data(), root);
        }
        // The roots must belong to the counter just taken: read again when it moved meanwhile.
        bool moved = checkReads_ && changedSince();
        if (!torn && !moved) break;
        if (!moved || round >= 100)
            return fail(kErrCorrupt, torn ? kLocRootType : kLocCorrupt,
                        torn ? "tag root missing" : "index keeps changing while read");
        if (int rc = readStableHeader(b)) return rc;
        c = be32(b + 8);
    }
    stale_ = false;
    return 0;
}

int Index::readTagHeader(Tree& t, bool directoryHeader) {
    t.rawHeader_.assign(kHeaderPair, 0);
    long got = io_->read(t.headerOffset_, t.rawHeader_.data(), kHeaderPair);
    if (got != static_cast<long>(kHeaderPair))
        return fail(kErrCorrupt, kLocCorrupt, "short tag header");
    const uint8_t* h = t.rawHeader_.data();
    uint32_t root = le32(h);
    uint8_t options = h[14];
    if (root == 0 || root == kNoLink || options < 32)
        return fail(kErrCorrupt, kLocRootType, "root <= 0L, or typeCode < 32");
    if (root % 512 != 0 || static_cast<int64_t>(root + blockSize_) > fileLen_)
        return fail(kErrCorrupt, kLocCorrupt, "tag root outside the file");
    unsigned keyLen = le16(h + 12);
    if (keyLen == 0 || keyLen > kMaxKeyLen)
        return fail(kErrCorrupt, kLocCorrupt, "tag key length out of range");
    if (directoryHeader && !(options & kOptDirectory) && keyLen != kDirKeyLen)
        return fail(kErrCorrupt, kLocCorrupt, "tag directory header damaged");
    t.root_ = t.rootOnDisk_ = root;
    t.keyLen_ = keyLen;
    t.options_ = options;
    t.descending_ = le16(h + 502) == 1;
    // Collation name.
    const uint8_t* c = h + 494;
    std::string coll;
    for (int i = 0; i < 8 && c[i]; ++i) coll.push_back(static_cast<char>(c[i]));
    for (int i = static_cast<int>(coll.size()); i < 8; ++i)
        if (c[i] != 0) return fail(kErrCorrupt, kLocCorrupt, "collation name damaged");
    bool known = coll.empty() || coll == "GENERAL" || coll == "MACHINE";
    if (!known && coll.size() == 7 && coll.compare(0, 2, "CB") == 0) {
        known = true;
        for (int i = 2; i < 7; ++i)
            if (!std::isdigit(static_cast<unsigned char>(coll[i]))) known = false;
    }
    if (!known) return fail(kErrCorrupt, kLocCorrupt, "unknown collation " + coll);
    t.collation_ = coll == "MACHINE" ? std::string() : coll;
    // Expression texts.
    const uint8_t* area = h + 512;
    auto text = [&](unsigned start, unsigned len, std::string& out) -> bool {
        out.clear();
        if (start > 512 || len > 512 - start) return false;
        for (unsigned i = 0; i < len && area[start + i]; ++i)
            out.push_back(static_cast<char>(area[start + i]));
        return true;
    };
    if (!text(le16(h + 508), le16(h + 510), t.keyExpr_) ||
        !text(le16(h + 504), le16(h + 506), t.filterExpr_))
        return fail(kErrCorrupt, kLocCorrupt, "expression area damaged");
    if (t.unique())
        t.uniqueCode_ = t.candidate() ? 15 : 20;
    else
        t.uniqueCode_ = 0;
    return 0;
}

int Index::open() {
    clearError();
    cache_.clear();
    forgetAhead();
    dirty_.clear();
    freedDirty_.clear();
    tags_.clear();
    uint8_t h[32];
    // A change another user is writing is waited for before the length is taken: the tree
    // as it will be read may not point past it. (A file too short fails below.)
    (void)readStableHeader(h);
    clearError();
    fileLen_ = io_->length();
    if (fileLen_ < 0) return fail(kErrRead, kLocCorrupt, "index length unknown");
    if (fileLen_ < static_cast<int64_t>(kHeaderPair))
        return fail(kErrCorrupt, kLocCorrupt, "index file shorter than its header");
    if (io_->read(0, h, 32) != 32) return fail(kErrCorrupt, kLocCorrupt, "short index header");
    blockSize_ = 512;
    multiplier_ = 1;
    if (le32(h + 16) == 0xABCD) {
        uint32_t bs = le32(h + 20), mult = le32(h + 24);
        if (!validBlockLayout(bs, mult))
            return fail(kErrCorrupt, kLocCorrupt, "index block size invalid");
        blockSize_ = bs;
        multiplier_ = mult;
    }
    dir_ = std::make_unique<Tree>(*this, 0);
    dir_->pad_ = ' ';
    int rc = readTagHeader(*dir_, true);
    if (rc) return rc;
    counter_ = counterOnDisk_ = be32(h + 8);
    freeHead_ = freeOnDisk_ = le32(h + 4);
    dirRootOnDisk_ = dir_->root_;
    std::vector<Entry> list;
    rc = dir_->entries(list);
    if (rc) return rc;
    std::set<uint32_t> offsets;
    for (const auto& e : list) {
        uint32_t off = e.rec;
        if (off < kHeaderPair || off % 512 != 0 ||
            static_cast<int64_t>(off + kHeaderPair) > fileLen_ || !offsets.insert(off).second)
            return fail(kErrCorrupt, kLocCorrupt, "tag header offset invalid");
        auto t = std::make_unique<Tree>(*this, off);
        std::string name(e.key.begin(), e.key.end());
        while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.pop_back();
        t->name_ = name;
        rc = readTagHeader(*t, false);
        if (rc) return rc;
        tags_.push_back(std::move(t));
    }
    // Keep creation order (header position), as the directory is sorted by name.
    std::sort(tags_.begin(), tags_.end(),
              [](const auto& a, const auto& b) { return a->headerOffset_ < b->headerOffset_; });
    return 0;
}

int Index::writeHeaderBlock(uint64_t off, const TagDef* def, bool directory, uint32_t root) {
    std::vector<uint8_t> h(kHeaderPair, 0);
    put32(h.data(), root);
    std::string expr, filter;
    if (directory) {
        put16(h.data() + 12, kDirKeyLen);
        h[14] = kOptDirectory | kOptCompound | kOptCompact;
    } else {
        put16(h.data() + 12, static_cast<uint16_t>(def->keyLen));
        uint8_t opt = kOptCompound | kOptCompact;
        if (def->uniqueCode == 20 || def->uniqueCode == 25 || def->uniqueCode == -340)
            opt |= kOptUnique;
        if (def->uniqueCode == 15 || def->uniqueCode == -360) opt |= kOptCandidate;
        if (!def->filterExpr.empty()) opt |= kOptFilter;
        if (def->nullable) opt |= kOptNullable;
        h[14] = opt;
        put16(h.data() + 502, def->descending ? 1 : 0);
        expr = def->keyExpr;
        filter = def->filterExpr;
    }
    h[15] = 1;
    if (blockSize_ != 512 || multiplier_ != 1) {
        // Only other node sizes are recorded; the default layout leaves these bytes zero.
        put32(h.data() + 16, 0xABCD);
        put32(h.data() + 20, static_cast<uint32_t>(blockSize_));
        put32(h.data() + 24, multiplier_);
    }
    if (def && !def->collation.empty())
        std::memcpy(h.data() + 494, def->collation.data(),
                    std::min<size_t>(8, def->collation.size()));
    put16(h.data() + 504, static_cast<uint16_t>(expr.size() + 1));
    put16(h.data() + 506, static_cast<uint16_t>(filter.size() + 1));
    put16(h.data() + 508, 0);
    put16(h.data() + 510, static_cast<uint16_t>(expr.size() + 1));
    std::memcpy(h.data() + 512, expr.data(), expr.size());
    std::memcpy(h.data() + 512 + expr.size() + 1, filter.data(), filter.size());
    if (io_->write(off, h.data(), h.size()) != 0)
        return fail(kErrWrite, kLocCreateTag, "tag header write failed");
    return 0;
}

int Index::create(const std::vector<TagDef>& defs, uint64_t recordCount) {
    clearError();
    std::set<std::string> names;
    for (const auto& d : defs) {
        if (d.name.empty() || d.keyLen == 0 || d.keyLen > kMaxKeyLen || d.keyExpr.empty() ||
            d.keyExpr.size() > 254 || d.filterExpr.size() > 254 || !validUniqueCode(d.uniqueCode) ||
            !names.insert(padName(d.name)).second)
            return fail(kErrTagInfo, kLocCreateTag, "tag information invalid: " + d.name);
    }
    if (defs.size() > 60) return fail(kErrTagInfo, kLocCreateTag, "too many tags");
    if (io_->setLength(0) != 0) return fail(kErrWrite, kLocCreateTag, "index truncate failed");
    fileLen_ = 0;
    cache_.clear();
    dirty_.clear();
    freedDirty_.clear();
    const size_t n = defs.size();
    uint64_t nodes = kHeaderPair * (n + 1);
    uint32_t dirRoot = static_cast<uint32_t>(nodes);
    int rc = writeHeaderBlock(0, nullptr, true, dirRoot);
    for (size_t k = 0; k < n && rc == 0; ++k)
        rc = writeHeaderBlock(kHeaderPair * (k + 1), &defs[k], false,
                              static_cast<uint32_t>(nodes + blockSize_ * (k + 1)));
    if (rc) return rc;
    fileLen_ = static_cast<int64_t>(nodes + blockSize_ * (n + 1));
    // The directory leaf: one key per tag, in name order, pointing at its header.
    Tree dirTree(*this, 0);
    dirTree.keyLen_ = kDirKeyLen;
    Node dl;
    dl.offset = dirRoot;
    dl.attr = kAttrRoot | kAttrLeaf;
    dl.geom = Geometry::forKey(kDirKeyLen, n * kHeaderPair);
    std::vector<std::pair<std::string, uint32_t>> sorted;
    for (size_t k = 0; k < n; ++k)
        sorted.emplace_back(padName(defs[k].name), static_cast<uint32_t>(kHeaderPair * (k + 1)));
    std::sort(sorted.begin(), sorted.end());
    for (const auto& [name, off] : sorted)
        dl.insert(dl.count(), reinterpret_cast<const uint8_t*>(name.data()), off, kDirKeyLen);
    if ((rc = writeNode(dirTree, dl)) != 0) return rc;
    for (size_t k = 0; k < n; ++k) {
        Tree t(*this, 0);
        t.keyLen_ = defs[k].keyLen;
        t.pad_ = defs[k].pad;
        Node e;
        e.offset = nodes + blockSize_ * (k + 1);
        e.attr = kAttrRoot | kAttrLeaf;
        e.geom = Geometry::forKey(defs[k].keyLen, recordCount);
        if ((rc = writeNode(t, e)) != 0) return rc;
    }
    if ((rc = writeBackNodes()) != 0) return rc;
    cache_.clear();
    if ((rc = open()) != 0) return rc;
    for (size_t k = 0; k < n; ++k) {
        tags_[k]->pad_ = defs[k].pad;
        tags_[k]->uniqueCode_ = defs[k].uniqueCode;
    }
    return 0;
}

}  // namespace cdx4
