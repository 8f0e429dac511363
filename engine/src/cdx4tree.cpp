// Tag trees: seek, walk, insert with splits, removal with unlinking.
#include <algorithm>
#include <cstring>

#include "engine/cdx4.h"

namespace cdx4 {

namespace {

const uint8_t* lastKey(const Node& n, unsigned kl) {
    return n.key(n.count() - 1, kl);
}

// First entry >= (key, rec) in n.
size_t lowerBound(const Node& n, const uint8_t* key, uint32_t rec, unsigned kl) {
    size_t lo = 0, hi = n.count();
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (compareEntry(n.key(mid, kl), n.recs[mid], key, rec, kl) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// First entry whose first len bytes are >= key.
size_t lowerBoundPrefix(const Node& n, const uint8_t* key, size_t len, unsigned kl) {
    size_t lo = 0, hi = n.count();
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (std::memcmp(n.key(mid, kl), key, len) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

}  // namespace

int Tree::readNode(uint64_t off, Node& n) {
    return ix_.readNode(*this, off, n);
}
int Tree::writeNode(const Node& n) {
    return ix_.writeNode(*this, n);
}

int Tree::setRoot(uint32_t off) {
    root_ = off;
    return ix_.writeTagRoot(*this);
}

// A tag's root pointer that leads to a node not marked as a root is damaged (one flipped bit
// of it leads into the middle of the tree): what lies below would be taken for the whole tag.
int Tree::notRoot() {
    if (ix_.movedUnderReader()) return kChanged;
    return ix_.fail(kErrCorrupt, kLocCorrupt, "the tag's root pointer does not lead to its root");
}

int Tree::descend(const uint8_t* key, uint32_t rec, std::vector<Step>& path, Node& leaf) {
    path.clear();
    uint64_t off = root_;
    for (unsigned depth = 0; depth < kMaxDepth; ++depth) {
        // Branches are read in place; only the leaf is copied out.
        const Node* n = nullptr;
        int rc = ix_.nodeRef(*this, off, n);
        if (rc) return rc;
        if (depth == 0 && !n->root()) return notRoot();
        if (n->leaf()) {
            path.push_back({off, lowerBound(*n, key, rec, keyLen_)});
            leaf = *n;
            return 0;
        }
        if (n->count() == 0) {
            leaf = *n;
            return ix_.fail(kErrCorrupt, kLocCorrupt, "empty branch node");
        }
        size_t i = lowerBound(*n, key, rec, keyLen_);
        if (i == n->count()) i = n->count() - 1;
        path.push_back({off, i});
        off = n->children[i];
    }
    return ix_.fail(kErrCorrupt, kLocCorrupt, "tree deeper than it can be (child cycle)");
}

// The read side's descents: the leaf reached stays in the cache and is handed out in place.
// The pointer holds until the next node read.
int Tree::descendPrefix(const uint8_t* key, size_t len, const Node*& leaf, size_t& idx,
                        bool& none) {
    none = false;
    uint64_t off = root_;
    for (unsigned depth = 0; depth < kMaxDepth; ++depth) {
        const Node* n = nullptr;
        int rc = ix_.nodeRef(*this, off, n);
        if (rc) return rc;
        if (depth == 0 && !n->root()) return notRoot();
        size_t i = lowerBoundPrefix(*n, key, len, keyLen_);
        leaf = n;
        if (n->leaf()) {
            idx = i;
            return 0;
        }
        if (i == n->count()) {
            none = true;
            return 0;
        }
        off = n->children[i];
    }
    return ix_.fail(kErrCorrupt, kLocCorrupt, "tree deeper than it can be (child cycle)");
}

int Tree::descendEntry(const uint8_t* key, uint32_t rec, const Node*& leaf, size_t& idx) {
    uint64_t off = root_;
    for (unsigned depth = 0; depth < kMaxDepth; ++depth) {
        const Node* n = nullptr;
        int rc = ix_.nodeRef(*this, off, n);
        if (rc) return rc;
        if (depth == 0 && !n->root()) return notRoot();
        size_t i = lowerBound(*n, key, rec, keyLen_);
        if (n->leaf()) {
            leaf = n;
            idx = i;
            return 0;
        }
        if (n->count() == 0) return ix_.fail(kErrCorrupt, kLocCorrupt, "empty branch node");
        if (i == n->count()) i = n->count() - 1;
        off = n->children[i];
    }
    return ix_.fail(kErrCorrupt, kLocCorrupt, "tree deeper than it can be (child cycle)");
}

int Tree::land(const Node& leaf, size_t idx, Pos& pos) {
    pos.state = 0;
    pos.leaf = leaf.offset;
    pos.index = idx;
    pos.key.assign(leaf.key(idx, keyLen_), leaf.key(idx, keyLen_) + keyLen_);
    pos.rec = leaf.recs[idx];
    pos.serial = ix_.serial();
    return 0;
}

// Moves from a leaf to its next non-empty neighbour.  Refuses links that do
// not point back.  Key order is not relied on (other writers order some keys
// by their own collation); instead a walk may not take more leaf hops than the
// file has blocks, which ends any cycle in the links.
int Tree::nextLeaf(const Node& from, const Node*& to, bool forward, Pos* pos) {
    uint32_t link = forward ? from.right : from.left;
    uint64_t prevOff = from.offset;
    const uint64_t limit = hopLimit();
    uint64_t local = 0;
    uint64_t& hops = pos ? pos->hops : local;
    for (;;) {
        if (link == kNoLink) return 1;
        if (++hops > limit) return ix_.fail(kErrCorrupt, kLocCorrupt, "sibling links form a cycle");
        // from (a cached node itself) may be gone after this read; only link and prevOff,
        // copied out above, are used from here on.
        int rc = ix_.nodeRef(*this, link, to);
        if (rc) return rc;
        if (!to->leaf()) return ix_.fail(kErrCorrupt, kLocCorrupt, "leaf sibling is a branch");
        if ((forward ? to->left : to->right) != prevOff)
            return ix_.fail(kErrCorrupt, kLocCorrupt, "sibling links disagree");
        if (to->count() > 0) return 0;
        prevOff = link;
        link = forward ? to->right : to->left;
    }
}

int Tree::seek(const uint8_t* key, size_t len, Pos& pos) {
    pos.hops = 0;
    len = std::min<size_t>(len, keyLen_);
    const Node* leaf = nullptr;
    size_t idx = 0;
    bool none = false;
    int rc = descendPrefix(key, len, leaf, idx, none);
    if (rc) return rc;
    if (!none && idx == leaf->count()) {
        const Node* next = nullptr;  // nextLeaf reads nodes: leaf is not used after it
        rc = nextLeaf(*leaf, next, true, nullptr);
        if (rc < 0) return rc;
        if (rc == 1) {
            none = true;
        } else {
            land(*next, 0, pos);
            return std::memcmp(pos.key.data(), key, len) == 0 ? kFound : kAfter;
        }
    }
    if (none) {
        pos.state = kEof;
        pos.serial = ix_.serial();
        return kEof;
    }
    land(*leaf, idx, pos);
    return std::memcmp(pos.key.data(), key, len) == 0 ? kFound : kAfter;
}

int Tree::seekEntry(const uint8_t* key, uint32_t rec, Pos& pos) {
    pos.hops = 0;
    const Node* leaf = nullptr;
    size_t idx = 0;
    int rc = descendEntry(key, rec, leaf, idx);
    if (rc) return rc;
    if (idx == leaf->count()) {
        const Node* next = nullptr;
        rc = nextLeaf(*leaf, next, true, nullptr);
        if (rc < 0) return rc;
        if (rc == 1) {
            pos.state = kEof;
            pos.serial = ix_.serial();
            return kEof;
        }
        land(*next, 0, pos);
    } else {
        land(*leaf, idx, pos);
    }
    return compareEntry(pos.key.data(), pos.rec, key, rec, keyLen_) == 0 ? kFound : kAfter;
}

int Tree::top(Pos& pos) {
    return edge(pos, true);
}

int Tree::bottom(Pos& pos) {
    return edge(pos, false);
}

// Follows the first (or last) child down to a leaf; an empty leaf, which only an emptied
// tree or a foreign file leaves behind, passes on to its neighbour in that direction.
int Tree::edge(Pos& pos, bool first) {
    pos.hops = 0;
    uint64_t off = root_;
    for (unsigned depth = 0; depth < kMaxDepth; ++depth) {
        const Node* n = nullptr;
        int rc = ix_.nodeRef(*this, off, n);
        if (rc) return rc;
        if (depth == 0 && !n->root()) return notRoot();
        if (n->leaf()) {
            if (n->count() == 0) {
                const Node* next = nullptr;
                rc = nextLeaf(*n, next, first, nullptr);
                if (rc < 0) return rc;
                if (rc == 1) {
                    pos.state = kEof;
                    pos.serial = ix_.serial();
                    return kEof;
                }
                n = next;
            }
            return land(*n, first ? 0 : n->count() - 1, pos);
        }
        if (n->count() == 0) return ix_.fail(kErrCorrupt, kLocCorrupt, "empty branch node");
        off = first ? n->children.front() : n->children.back();
    }
    return ix_.fail(kErrCorrupt, kLocCorrupt, "tree deeper than it can be (child cycle)");
}

int Tree::refind(Pos& pos) {
    std::vector<uint8_t> key = pos.key;
    return seekEntry(key.data(), pos.rec, pos);
}

int Tree::next(Pos& pos) {
    if (pos.state == kEof) return kEof;
    if (pos.state == kBof) return top(pos);
    if (pos.serial != ix_.serial()) {
        int rc = refind(pos);
        if (rc < 0) return rc;
        if (rc != kFound) return rc == kAfter ? 0 : kEof;  // landing counts as the step
    }
    // The cached node is read in place: a walk would otherwise copy a whole node per step.
    // Nothing below reads another node while lp is still in use.
    const Node* lp = nullptr;
    int rc = ix_.nodeRef(*this, pos.leaf, lp);
    if (rc) return rc;
    if (pos.index >= lp->count() || compareEntry(lp->key(pos.index, keyLen_), lp->recs[pos.index],
                                                 pos.key.data(), pos.rec, keyLen_) != 0) {
        pos.serial = 0;
        return next(pos);
    }
    if (pos.index + 1 < lp->count()) return land(*lp, pos.index + 1, pos);
    const Node* to = nullptr;
    rc = nextLeaf(*lp, to, true, &pos);
    if (rc < 0) return rc;
    if (rc == 1) {
        pos.state = kEof;
        return kEof;
    }
    return land(*to, 0, pos);
}

int Tree::prev(Pos& pos) {
    if (pos.state == kBof) return kBof;
    if (pos.state == kEof) {
        int rc = bottom(pos);
        return rc == kEof ? kBof : rc;
    }
    if (pos.serial != ix_.serial()) {
        int rc = refind(pos);
        if (rc < 0) return rc;
        if (rc == kEof) {
            rc = bottom(pos);
            return rc == kEof ? kBof : rc;
        }
    }
    const Node* lp = nullptr;
    int rc = ix_.nodeRef(*this, pos.leaf, lp);
    if (rc) return rc;
    if (pos.index >= lp->count()) return ix_.fail(kErrCorrupt, kLocCorrupt, "position lost");
    if (pos.index > 0) return land(*lp, pos.index - 1, pos);
    const Node* to = nullptr;
    rc = nextLeaf(*lp, to, false, &pos);
    if (rc < 0) return rc;
    if (rc == 1) {
        pos.state = kBof;
        return kBof;
    }
    return land(*to, to->count() - 1, pos);
}

void Tree::leafRecords(const Pos& pos, std::vector<uint32_t>& out) {
    out.clear();
    const Node* n = pos.onEntry() ? ix_.cached(pos.leaf) : nullptr;
    if (n && n->leaf()) out = n->recs;
}

uint64_t Tree::hopLimit() const {
    return static_cast<uint64_t>(std::max<int64_t>(ix_.fileLength(), 0)) / 512 + 1;
}

int Tree::recordsFrom(const uint8_t* key, size_t len, std::vector<uint32_t>& out) {
    out.clear();
    Pos pos;
    int rc = seek(key, len, pos);
    if (rc == kEof) return 0;
    if (rc < 0) return rc;
    const Node* n = nullptr;
    if ((rc = ix_.nodeRef(*this, pos.leaf, n))) return rc;
    out.assign(n->recs.begin() + static_cast<long>(pos.index), n->recs.end());
    uint64_t prev = n->offset;
    uint32_t link = n->right;
    // As nextLeaf: the links must point back, and no walk takes more hops than the file has
    // blocks.
    const uint64_t limit = hopLimit();
    LeafLinks l;
    for (uint64_t hops = 0; link != kNoLink; prev = link, link = l.right) {
        if (++hops > limit) return ix_.fail(kErrCorrupt, kLocCorrupt, "sibling links form a cycle");
        if ((rc = ix_.leafRecords(*this, link, out, l))) return rc;
        if (!l.leaf()) return ix_.fail(kErrCorrupt, kLocCorrupt, "leaf sibling is a branch");
        if (l.left != prev) return ix_.fail(kErrCorrupt, kLocCorrupt, "sibling links disagree");
    }
    return 0;
}

int Tree::find(const uint8_t* key, uint32_t* rec) {
    Pos p;
    int rc = seek(key, keyLen_, p);
    if (rc < 0) return rc;
    if (rc == kFound && rec) *rec = p.rec;
    return rc == kFound ? 1 : 0;
}

int Tree::entries(std::vector<Entry>& out) {
    out.clear();
    Pos p;
    int rc = top(p);
    size_t guard = static_cast<size_t>(std::max<int64_t>(ix_.fileLength(), 0));
    while (rc == 0) {
        out.push_back({p.key, p.rec});
        if (out.size() > guard) return ix_.fail(kErrCorrupt, kLocCorrupt, "walk does not end");
        rc = next(p);
    }
    return rc < 0 ? rc : 0;
}

// ---- insert ---------------------------------------------------------------

int Tree::insert(const uint8_t* key, uint32_t rec, uint64_t recordCount) {
    return insertAt(key, rec, recordCount, unique() ? uniqueCode_ : 0);
}

// Whether a record other than rec holds key, judged from the leaf an insert of (key, rec)
// descended to and the entry index there: the key's first entry is the one before idx (it
// then has a smaller record), the one at idx, or the first of the next leaf. Several records
// may hold a key in files of others; as with a seek, the first one decides.
int Tree::heldByOther(const Node& leaf, size_t idx, const uint8_t* key, uint32_t rec, bool& other) {
    other = false;
    int rc;
    if (idx > 0) {
        if (std::memcmp(leaf.key(idx - 1, keyLen_), key, keyLen_) == 0) return other = true, 0;
    } else {
        const Node* before = nullptr;
        if ((rc = nextLeaf(leaf, before, false, nullptr)) < 0) return rc;
        if (rc == 0 && std::memcmp(lastKey(*before, keyLen_), key, keyLen_) == 0)
            return other = true, 0;
    }
    if (idx < leaf.count()) {
        if (std::memcmp(leaf.key(idx, keyLen_), key, keyLen_) == 0) other = leaf.recs[idx] != rec;
        return 0;
    }
    const Node* after = nullptr;
    if ((rc = nextLeaf(leaf, after, true, nullptr)) < 0) return rc;
    if (rc == 0 && std::memcmp(after->key(0, keyLen_), key, keyLen_) == 0)
        other = after->recs[0] != rec;
    return 0;
}

int Tree::refuse(int code) {
    switch (code) {
        case 15:
        case 20:
            return kUniqueRefused;
        case 25:
            return kUniqueSkipped;
        case -360:
            return ix_.fail(kErrCandidate, kLocCorrupt, "Candidate Key Error: " + name_);
        default:
            return ix_.fail(kErrUnique, kLocCorrupt, "Unique Key Error: " + name_);
    }
}

int Tree::fixParents(std::vector<Step>& path, size_t level, const Node& child) {
    Node cur;
    const Node* c = &child;
    Node a;
    for (size_t l = level; l-- > 0;) {
        if (c->count() == 0) return 0;
        int rc = readNode(path[l].off, a);
        if (rc) return rc;
        size_t i = path[l].idx;
        if (i >= a.count() || a.children[i] != c->offset)
            return ix_.fail(kErrCorrupt, kLocCorrupt, "branch does not point at its child");
        const uint8_t* lk = lastKey(*c, keyLen_);
        if (compareEntry(a.key(i, keyLen_), a.recs[i], lk, c->recs.back(), keyLen_) == 0) return 0;
        std::memcpy(a.keys.data() + i * keyLen_, lk, keyLen_);
        a.recs[i] = c->recs.back();
        if ((rc = writeNode(a)) != 0) return rc;
        if (i + 1 != a.count()) return 0;
        cur = std::move(a);
        c = &cur;
    }
    return 0;
}

// Links a freshly split right half into the parent level, splitting upwards
// and growing a new root when the split node was the root.
int Tree::addToParent(std::vector<Step>& path, size_t level, Node& left, Node& right) {
    int rc;
    if (level == 0) {
        uint64_t off;
        if ((rc = ix_.allocBlock(off)) != 0) return rc;
        Node r;
        r.offset = off;
        r.attr = kAttrRoot;
        r.insert(0, lastKey(left, keyLen_), left.recs.back(), keyLen_,
                 static_cast<uint32_t>(left.offset));
        r.insert(1, lastKey(right, keyLen_), right.recs.back(), keyLen_,
                 static_cast<uint32_t>(right.offset));
        if ((rc = writeNode(r)) != 0) return rc;
        return setRoot(static_cast<uint32_t>(off));
    }
    Node p;
    if ((rc = readNode(path[level - 1].off, p)) != 0) return rc;
    size_t i = path[level - 1].idx;
    if (i >= p.count() || p.children[i] != left.offset)
        return ix_.fail(kErrCorrupt, kLocCorrupt, "branch does not point at its child");
    std::memcpy(p.keys.data() + i * keyLen_, lastKey(left, keyLen_), keyLen_);
    p.recs[i] = left.recs.back();
    p.insert(i + 1, lastKey(right, keyLen_), right.recs.back(), keyLen_,
             static_cast<uint32_t>(right.offset));
    const size_t cap = (ix_.blockSize() - 12) / (keyLen_ + 8);
    if (p.count() <= cap) {
        if ((rc = writeNode(p)) != 0) return rc;
        if (i + 2 == p.count()) return fixParents(path, level - 1, p);
        return 0;
    }
    // Branch split: the lower part stays, the upper half moves right.
    const size_t total = p.count();
    const size_t moved = total / 2;
    Node r;
    uint64_t off;
    if ((rc = ix_.allocBlock(off)) != 0) return rc;
    r.offset = off;
    r.attr = static_cast<uint16_t>(p.attr & ~kAttrRoot & ~kAttrLeaf);
    const size_t keep = total - moved;
    r.keys.assign(p.keys.begin() + static_cast<long>(keep * keyLen_), p.keys.end());
    r.recs.assign(p.recs.begin() + static_cast<long>(keep), p.recs.end());
    r.children.assign(p.children.begin() + static_cast<long>(keep), p.children.end());
    p.keys.resize(keep * keyLen_);
    p.recs.resize(keep);
    p.children.resize(keep);
    p.attr = static_cast<uint16_t>(p.attr & ~kAttrRoot);
    if ((rc = writeSplit(p, r)) != 0) return rc;
    return addToParent(path, level - 1, p, r);
}

int Tree::writeSplit(Node& left, Node& right) {
    right.left = static_cast<uint32_t>(left.offset);
    right.right = left.right;
    left.right = static_cast<uint32_t>(right.offset);
    int rc;
    if (right.right != kNoLink) {
        Node nb;
        if ((rc = readNode(right.right, nb)) != 0) return rc;
        nb.left = static_cast<uint32_t>(right.offset);
        if ((rc = writeNode(nb)) != 0) return rc;
    }
    if ((rc = writeNode(left)) != 0) return rc;
    return writeNode(right);
}

int Tree::insertPlain(const uint8_t* key, uint32_t rec, uint64_t recordCount) {
    return insertAt(key, rec, recordCount, 0);
}

// The unique check (code not 0) is made on the first descent, before anything changes; a
// split sends the insert down again.
int Tree::insertAt(const uint8_t* key, uint32_t rec, uint64_t recordCount, int code) {
    const size_t room = ix_.blockSize() - 24;
    (void)recordCount;  // split halves keep the geometry of the leaf they came from
    std::vector<Step>& path = path_;
    for (int attempt = 0; attempt < 64; ++attempt) {
        // The leaf is copied into a node kept for the purpose, whose buffers are reused.
        Node& leaf = work_;
        int rc = descend(key, rec, path, leaf);
        if (rc) return rc;
        size_t idx = path.back().idx;
        if (attempt == 0 && code != 0) {
            bool other = false;
            if ((rc = heldByOther(leaf, idx, key, rec, other)) != 0) return rc;
            if (other) return refuse(code);
        }
        if (idx < leaf.count() &&
            compareEntry(leaf.key(idx, keyLen_), leaf.recs[idx], key, rec, keyLen_) == 0)
            return 0;  // already there
        // The entry goes into the copy in hand; when it does not fit it comes out again.
        const size_t before = leaf.count();
        const Geometry geom = leaf.geom;
        const long usedBefore = leaf.usedBytes >= 0 && leaf.usedGeom == geom
                                    ? leaf.usedBytes
                                    : static_cast<long>(leafUsedBytes(leaf, geom, keyLen_, pad_));
        leaf.insert(idx, key, rec, keyLen_);
        while (!leaf.geom.fits(rec))
            if (!leaf.geom.widen()) return ix_.fail(kErrCorrupt, kLocCorrupt, "leaf cannot widen");
        size_t used;
        if (leaf.geom == geom) {
            // Only the new entry and its follower (whose predecessor changed) differ.
            const uint8_t* prev = idx ? leaf.key(idx - 1, keyLen_) : nullptr;
            used = static_cast<size_t>(usedBefore) + entryBytes(prev, key, geom, keyLen_, pad_);
            if (idx + 1 < leaf.count()) {
                const uint8_t* next = leaf.key(idx + 1, keyLen_);
                used = used + entryBytes(key, next, geom, keyLen_, pad_) -
                       entryBytes(prev, next, geom, keyLen_, pad_);
            }
        } else {
            used = leafUsedBytes(leaf, leaf.geom, keyLen_, pad_);
        }
        if (used <= room) {
            leaf.usedBytes = static_cast<long>(used);
            leaf.usedGeom = leaf.geom;
            // The parents first, so that the leaf can then be handed over without a copy.
            if (idx == before && (rc = fixParents(path, path.size() - 1, leaf)) != 0) return rc;
            if ((rc = ix_.writeNode(*this, std::move(leaf))) != 0) return rc;
            ix_.changed();
            return 0;
        }
        // No room: split the leaf as it stands, then try again from the top; a lone huge
        // key splits the pair itself.
        const bool pair = before < 2;
        if (!pair) {
            leaf.erase(idx, keyLen_);
            leaf.geom = geom;
        }
        Node& l = leaf;
        const size_t n = l.count();
        size_t keep = n - n / 2;
        auto fitsSplit = [&](size_t k) {
            Node a = l, b = l;
            a.keys.resize(k * keyLen_);
            a.recs.resize(k);
            b.keys.erase(b.keys.begin(), b.keys.begin() + static_cast<long>(k * keyLen_));
            b.recs.erase(b.recs.begin(), b.recs.begin() + static_cast<long>(k));
            return leafUsedBytes(a, a.geom, keyLen_, pad_) <= room &&
                   leafUsedBytes(b, b.geom, keyLen_, pad_) <= room;
        };
        if (!fitsSplit(keep)) {
            keep = 0;
            for (size_t k = 1; k < n && !keep; ++k)
                if (fitsSplit(k)) keep = k;
            if (!keep) return ix_.fail(kErrCorrupt, kLocCorrupt, "key too long for a leaf");
        }
        Node r;
        uint64_t off;
        if ((rc = ix_.allocBlock(off)) != 0) return rc;
        r.offset = off;
        r.attr = static_cast<uint16_t>((l.attr & ~kAttrRoot) | kAttrLeaf);
        r.geom = l.geom;
        r.keys.assign(l.keys.begin() + static_cast<long>(keep * keyLen_), l.keys.end());
        r.recs.assign(l.recs.begin() + static_cast<long>(keep), l.recs.end());
        l.keys.resize(keep * keyLen_);
        l.recs.resize(keep);
        l.usedBytes = -1;
        l.attr = static_cast<uint16_t>(l.attr & ~kAttrRoot);
        if ((rc = writeSplit(l, r)) != 0) return rc;
        if ((rc = addToParent(path, path.size() - 1, l, r)) != 0) return rc;
        ix_.changed();
        if (pair) return 0;
    }
    return ix_.fail(kErrCorrupt, kLocCorrupt, "insert does not converge");
}

// ---- removal --------------------------------------------------------------

int Tree::unlink(const Node& n) {
    int rc;
    Node nb;
    if (n.left != kNoLink) {
        if ((rc = readNode(n.left, nb)) != 0) return rc;
        nb.right = n.right;
        if ((rc = writeNode(nb)) != 0) return rc;
    }
    if (n.right != kNoLink) {
        if ((rc = readNode(n.right, nb)) != 0) return rc;
        nb.left = n.left;
        if ((rc = writeNode(nb)) != 0) return rc;
    }
    return 0;
}

int Tree::emptyRoot(uint64_t off, uint64_t recordCount) {
    Node e;
    e.offset = off;
    e.attr = kAttrRoot | kAttrLeaf;
    e.geom = Geometry::forKey(keyLen_, recordCount);
    int rc = writeNode(e);
    if (rc) return rc;
    if (root_ != off) return setRoot(static_cast<uint32_t>(off));
    return 0;
}

int Tree::removeFromParent(std::vector<Step>& path, size_t level, uint64_t recordCount) {
    if (level == 0) return 0;
    Node p;
    int rc = readNode(path[level - 1].off, p);
    if (rc) return rc;
    size_t i = path[level - 1].idx;
    if (i >= p.count() || p.children[i] != path[level].off)
        return ix_.fail(kErrCorrupt, kLocCorrupt, "branch does not point at its child");
    p.erase(i, keyLen_);
    if (p.count() == 0) {
        if (p.root()) return emptyRoot(p.offset, recordCount);
        if ((rc = unlink(p)) != 0) return rc;
        if ((rc = ix_.freeBlock(p.offset)) != 0) return rc;
        return removeFromParent(path, level - 1, recordCount);
    }
    if ((rc = writeNode(p)) != 0) return rc;
    if (i == p.count()) return fixParents(path, level - 1, p);
    return 0;
}

int Tree::remove(const uint8_t* key, uint32_t rec, uint64_t recordCount) {
    std::vector<Step> path;
    Node leaf;
    int rc = descend(key, rec, path, leaf);
    if (rc) return rc;
    size_t idx = path.back().idx;
    if (idx >= leaf.count() ||
        compareEntry(leaf.key(idx, keyLen_), leaf.recs[idx], key, rec, keyLen_) != 0)
        return 1;
    leaf.erase(idx, keyLen_);
    if (leaf.count() == 0) {
        if (leaf.root()) {
            rc = emptyRoot(leaf.offset, recordCount);
        } else {
            if ((rc = unlink(leaf)) != 0) return rc;
            if ((rc = ix_.freeBlock(leaf.offset)) != 0) return rc;
            rc = removeFromParent(path, path.size() - 1, recordCount);
        }
        if (rc) return rc;
        ix_.changed();
        return 0;
    }
    if (leafUsedBytes(leaf, leaf.geom, keyLen_, pad_) > ix_.blockSize() - 24) {
        // The follower lost shared bytes and no longer fits: put the entry
        // back through a split of the leaf is not worth it; widen by
        // re-inserting the follower alone.
        std::vector<uint8_t> k(leaf.key(idx, keyLen_), leaf.key(idx, keyLen_) + keyLen_);
        uint32_t r = leaf.recs[idx];
        leaf.erase(idx, keyLen_);
        if ((rc = writeNode(leaf)) != 0) return rc;
        if (idx == leaf.count() && (rc = fixParents(path, path.size() - 1, leaf)) != 0) return rc;
        ix_.changed();
        return insertPlain(k.data(), r, recordCount);
    }
    if ((rc = writeNode(leaf)) != 0) return rc;
    if (idx == leaf.count() && (rc = fixParents(path, path.size() - 1, leaf)) != 0) return rc;
    ix_.changed();
    return 0;
}

}  // namespace cdx4
