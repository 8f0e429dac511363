// The left-to-right rebuild of a compound index: every tag's keys are sorted before the file
// is touched, then the directory's tree and each tag's tree are written bottom-up in large
// sequential writes, the tag headers after their trees and the file header last.
#include <algorithm>
#include <cstring>

#include "engine/cdx4.h"
#include "engine/src/cdx4bytes.h"
#include "engine/src/cdx4layout.h"

namespace cdx4 {

namespace {

// Appends whole blocks at increasing offsets, writing them in large pieces.
class SeqWriter {
public:
    SeqWriter(Index4Io& io, uint64_t start, size_t blockSize)
        : io_(io), base_(start), bs_(blockSize) {}
    int put(uint64_t off, const uint8_t* block) {
        if (off != base_ + buf_.size()) {
            int rc = drain();
            if (rc) return rc;
            base_ = off;
        }
        buf_.insert(buf_.end(), block, block + bs_);
        if (buf_.size() >= 64 * 1024) return drain();
        return 0;
    }
    int drain() {
        if (buf_.empty()) return 0;
        int rc = io_.write(base_, buf_.data(), buf_.size());
        base_ += buf_.size();
        buf_.clear();
        return rc;
    }

private:
    Index4Io& io_;
    uint64_t base_;
    size_t bs_;
    std::vector<uint8_t> buf_;
};

struct UpEntry {
    std::vector<uint8_t> key;
    uint32_t rec;
    uint32_t child;
};

}  // namespace

int Index::buildTree(Tree& t, Sorter& s, uint64_t recordCount, std::vector<uint8_t>& /*unused*/,
                     uint64_t& nextOff, int uniqueCode) {
    const unsigned kl = t.keyLen_;
    const size_t room = blockSize_ - 24;
    SeqWriter w(*io_, nextOff, blockSize_);
    std::vector<uint8_t> block(blockSize_);
    std::vector<UpEntry> up;
    int result = 0;

    auto emit = [&](Node& n, bool last) -> int {
        n.right = last ? kNoLink : static_cast<uint32_t>(nextOff);
        if (!encodeNode(n, blockSize_, kl, t.pad_, block.data()))
            return fail(kErrCorrupt, kLocCorrupt, "rebuilt node does not fit");
        if (n.count()) {
            up.push_back(
                {std::vector<uint8_t>(n.key(n.count() - 1, kl), n.key(n.count() - 1, kl) + kl),
                 n.recs.back(), static_cast<uint32_t>(n.offset)});
        }
        return w.put(n.offset, block.data()) ? fail(kErrWrite, kLocCorrupt, "index write failed")
                                             : 0;
    };
    auto fresh = [&](Node& n, bool leafNode, uint32_t left) {
        n = Node{};
        n.offset = nextOff;
        nextOff += blockSize_;
        n.attr = leafNode ? kAttrLeaf : 0;
        n.left = left;
    };

    // Leaf level.
    Geometry g = Geometry::forKey(kl, recordCount);
    Node cur;
    fresh(cur, true, kNoLink);
    cur.geom = g;
    size_t used = 0;
    std::vector<uint8_t> prev;
    bool havePrev = false;
    const uint8_t* key;
    uint32_t rec;
    int rc;
    while ((rc = s.next(&key, &rec)) == 1) {
        if (havePrev && std::memcmp(prev.data(), key, kl) == 0 && t.unique() && uniqueCode != 0) {
            if (uniqueCode == 25) continue;
            if (uniqueCode == 15 || uniqueCode == 20)
                result = kUniqueRefused;
            else
                result = fail(kErrUnique, kLocCreateTag, "Unique Key Error: " + t.name_);
            break;
        }
        prev.assign(key, key + kl);
        havePrev = true;
        while (!cur.geom.fits(rec)) {
            if (!cur.geom.widen()) return fail(kErrCorrupt, kLocCorrupt, "record number too large");
            used += cur.count();
        }
        size_t need = entryBytes(cur.count() ? cur.key(cur.count() - 1, kl) : nullptr, key,
                                 cur.geom, kl, t.pad_);
        if (used + need > room && cur.count() > 0) {
            // The next leaf takes the offset fresh() hands out next.
            uint32_t here = static_cast<uint32_t>(cur.offset);
            Geometry cg = cur.geom;
            if ((rc = emit(cur, false)) != 0) return rc;
            fresh(cur, true, here);
            cur.geom = cg;
            need = entryBytes(nullptr, key, cur.geom, kl, t.pad_);
            used = 0;
        }
        cur.insert(cur.count(), key, rec, kl);
        used += need;
    }
    if (rc < 0) return fail(rc, kLocCorrupt, "sort failed");
    if (result != 0) {
        // Leave the tag empty rather than half built.
        up.clear();
        Node e;
        e.offset = cur.offset;
        e.attr = kAttrRoot | kAttrLeaf;
        e.geom = g;
        if (!encodeNode(e, blockSize_, kl, t.pad_, block.data()) || w.put(e.offset, block.data()) ||
            w.drain())
            return fail(kErrWrite, kLocCorrupt, "index write failed");
        t.root_ = static_cast<uint32_t>(e.offset);
        return result;
    }
    bool single = cur.left == kNoLink;
    if (single) cur.attr |= kAttrRoot;
    if ((rc = emit(cur, true)) != 0) return rc;
    uint32_t rootOff = static_cast<uint32_t>(cur.offset);
    // Branch levels, each built left to right from the level below.
    const size_t cap = (blockSize_ - 12) / (kl + 8);
    while (!single) {
        std::vector<UpEntry> below;
        below.swap(up);
        size_t nodesNeeded = (below.size() + cap - 1) / cap;
        single = nodesNeeded == 1;
        Node b;
        fresh(b, false, kNoLink);
        for (size_t i = 0; i < below.size(); ++i) {
            if (b.count() == cap) {
                uint32_t here = static_cast<uint32_t>(b.offset);
                if ((rc = emit(b, false)) != 0) return rc;
                fresh(b, false, here);
            }
            b.insert(b.count(), below[i].key.data(), below[i].rec, kl, below[i].child);
        }
        if (single) b.attr |= kAttrRoot;
        if ((rc = emit(b, true)) != 0) return rc;
        rootOff = static_cast<uint32_t>(b.offset);
    }
    if (w.drain()) return fail(kErrWrite, kLocCorrupt, "index write failed");
    t.root_ = rootOff;
    return 0;
}

int Index::reindex(uint64_t recordCount, const Feed& feed, size_t memoryBudget) {
    clearError();
    if (!dir_) return fail(kErrCorrupt, kLocCorrupt, "index not open");
    const size_t n = tags_.size();
    // Every tag's keys are gathered and sorted before the file is touched, so that a failed
    // sort (no memory, no temporary folder) leaves the index as it was.
    std::vector<std::unique_ptr<Sorter>> sorted;
    int rc;
    spoolFiles_ = 0;
    for (size_t k = 0; k < n; ++k) {
        auto s = std::make_unique<Sorter>(tags_[k]->keyLen_, memoryBudget);
        rc = feed(*tags_[k], *s);
        if (rc == 0) rc = s->finish();
        if (rc < 0) return lastError_ ? rc : fail(rc, kLocCorrupt, "sort failed");
        spoolFiles_ += s->spoolFiles();
        sorted.push_back(std::move(s));
    }
    // Everything is rebuilt: what was held back for the old tree is moot.
    cache_.clear();
    dirty_.clear();
    freedDirty_.clear();
    freeHead_ = 0;
    if ((rc = markWriting()) != 0) return rc;
    uint64_t nextOff = kHeaderPair * (n + 1);
    // The file is cut to the new trees' end only once they are written: a crash part-way
    // leaves every tag root inside the file, so the index still opens with its tag
    // definitions and a reindex can rebuild it. (Every block up to that end is written anew.)
    fileLen_ = static_cast<int64_t>(nextOff);
    std::vector<uint8_t> scratch;
    {
        Sorter s(kDirKeyLen, memoryBudget);
        for (size_t k = 0; k < n; ++k) {
            std::string nm = padName(tags_[k]->name_);
            if ((rc = s.add(reinterpret_cast<const uint8_t*>(nm.data()),
                            static_cast<uint32_t>(kHeaderPair * (k + 1)))) != 0)
                return fail(rc, kLocCorrupt, "sort failed");
        }
        if ((rc = s.finish()) != 0) return fail(rc, kLocCorrupt, "sort failed");
        if ((rc = buildTree(*dir_, s, n * kHeaderPair, scratch, nextOff, -340)) != 0) return rc;
    }
    int result = 0;
    for (size_t k = 0; k < n; ++k) {
        Tree& t = *tags_[k];
        t.headerOffset_ = kHeaderPair * (k + 1);
        rc = buildTree(t, *sorted[k], recordCount, scratch, nextOff, t.uniqueCode_);
        sorted[k].reset();  // its memory and spool files go at once
        if (rc < 0) return rc;
        if (rc != 0 && result == 0) result = rc;
        put32(t.rawHeader_.data(), t.root_);
        if (io_->write(t.headerOffset_, t.rawHeader_.data(), kHeaderPair) != 0)
            return fail(kErrWrite, kLocCorrupt, "tag header write failed");
        t.rootOnDisk_ = t.root_;
    }
    fileLen_ = static_cast<int64_t>(nextOff);
    // The directory header keeps its expression area; rewrite it in full.
    put32(dir_->rawHeader_.data(), dir_->root_);
    put32(dir_->rawHeader_.data() + 4, 0);
    if (io_->write(0, dir_->rawHeader_.data(), kHeaderPair) != 0)
        return fail(kErrWrite, kLocCorrupt, "index header write failed");
    if (io_->setLength(nextOff) != 0) return fail(kErrWrite, kLocCorrupt, "index truncate failed");
    dirRootOnDisk_ = dir_->root_;
    freeOnDisk_ = 0;
    changed();
    if ((rc = flush()) != 0) return rc;
    return result;
}

}  // namespace cdx4
