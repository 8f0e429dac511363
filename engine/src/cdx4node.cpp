// Node bytes: decoding by the geometry a leaf records, encoding with ours.
#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/cdx4.h"
#include "engine/src/cdx4bytes.h"

namespace cdx4 {

namespace {

int bad(std::string* why, const char* text) {
    if (why) *why = text;
    return kErrCorrupt;
}

constexpr size_t kLeafHeader = 24;
constexpr size_t kBranchHeader = 12;

// Shared prefix with prev and cut trailing pad of key, capped by what the
// geometry can hold.
// Runs on every entry of a leaf at each insert and each encode, so it compares eight bytes
// at a time.
void compress(const uint8_t* prev, const uint8_t* k, const Geometry& g, unsigned keyLen,
              uint8_t pad, unsigned& dup, unsigned& trail) {
    unsigned t = 0;
    const uint64_t pads = 0x0101010101010101ull * pad;
    while (t + 8 <= keyLen) {
        uint64_t w;
        std::memcpy(&w, k + keyLen - t - 8, 8);
        if (w != pads) break;
        t += 8;
    }
    while (t < keyLen && k[keyLen - 1 - t] == pad) ++t;
    trail = std::min<unsigned>(t, g.trailMask);
    dup = 0;
    if (prev) {
        const unsigned limit = std::min<unsigned>(keyLen - trail, g.dupMask);
        while (dup + 8 <= limit) {
            uint64_t a, b;
            std::memcpy(&a, prev + dup, 8);
            std::memcpy(&b, k + dup, 8);
            if (a != b) {
                // The first differing byte is the lowest set byte of a ^ b on little-endian
                // machines; elsewhere the byte loop below finds it.
                if constexpr (std::endian::native == std::endian::little) {
                    dup += static_cast<unsigned>(std::countr_zero(a ^ b)) / 8;
                    return;
                }
                break;
            }
            dup += 8;
        }
        while (dup < limit && prev[dup] == k[dup]) ++dup;
    }
}

void compression(const Node& n, size_t i, const Geometry& g, unsigned keyLen, uint8_t pad,
                 unsigned& dup, unsigned& trail) {
    compress(i ? n.key(i - 1, keyLen) : nullptr, n.key(i, keyLen), g, keyLen, pad, dup, trail);
}

}  // namespace

unsigned bitsFor(uint64_t v) {
    unsigned b = 0;
    while (v) {
        ++b;
        v >>= 1;
    }
    return b;
}

Geometry Geometry::forKey(unsigned keyLen, uint64_t recordCount) {
    Geometry g;
    unsigned d = std::max(1u, bitsFor(keyLen));
    unsigned r = bitsFor(recordCount) + ((8 - (2 * d) % 8) % 8);
    if (r < 12) r = 12;
    while ((r + 2 * d) % 8 != 0) ++r;
    if (r > 32) r = 32;
    // With 32 record bits the entry may need a sixth byte; that is allowed.
    g.recBits = static_cast<uint8_t>(r);
    g.dupBits = g.trailBits = static_cast<uint8_t>(d);
    g.dupMask = g.trailMask = static_cast<uint8_t>(255u >> (8 - d));
    g.bytesPerEntry = static_cast<uint8_t>((r + 2 * d + 7) / 8);
    g.recMask = 0xFFFFFFFFu >> (32 - r);
    return g;
}

bool Geometry::widen() {
    if (recBits >= 32 || bytesPerEntry >= 8) return false;
    unsigned r = std::min(32u, recBits + 8u);
    recBits = static_cast<uint8_t>(r);
    recMask = 0xFFFFFFFFu >> (32 - r);
    bytesPerEntry = static_cast<uint8_t>(bytesPerEntry + 1);
    return true;
}

void Node::erase(size_t i, unsigned keyLen) {
    usedBytes = -1;
    keys.erase(keys.begin() + static_cast<long>(i * keyLen),
               keys.begin() + static_cast<long>((i + 1) * keyLen));
    recs.erase(recs.begin() + static_cast<long>(i));
    if (!leaf() && i < children.size()) children.erase(children.begin() + static_cast<long>(i));
}

void Node::insert(size_t i, const uint8_t* key, uint32_t rec, unsigned keyLen, uint32_t child) {
    usedBytes = -1;
    keys.insert(keys.begin() + static_cast<long>(i * keyLen), key, key + keyLen);
    recs.insert(recs.begin() + static_cast<long>(i), rec);
    if (!leaf()) children.insert(children.begin() + static_cast<long>(i), child);
}

int compareEntry(const uint8_t* a, uint32_t ra, const uint8_t* b, uint32_t rb, unsigned keyLen) {
    int c = std::memcmp(a, b, keyLen);
    if (c) return c < 0 ? -1 : 1;
    return ra < rb ? -1 : (ra > rb ? 1 : 0);
}

namespace {

// Reads a leaf's geometry and checks each of its n entries against the block; each(i, rec,
// dup, trail, keyAt) sees them in order, the entry's stored key bytes at b + keyAt.
template <class Each>
int forLeafEntries(const uint8_t* b, size_t blockSize, unsigned keyLen, size_t n, Geometry& g,
                   uint16_t& storedFree, std::string* why, Each&& each) {
    storedFree = le16(b + 12);
    g.recMask = le32(b + 14);
    g.dupMask = b[18];
    g.trailMask = b[19];
    g.recBits = b[20];
    g.dupBits = b[21];
    g.trailBits = b[22];
    g.bytesPerEntry = b[23];
    if (g.bytesPerEntry == 0 || g.bytesPerEntry > 8)
        return bad(why, "leaf bytes per entry out of range");
    if (g.recBits > 32 || g.dupBits > 8 || g.trailBits > 8 ||
        unsigned(g.recBits) + g.dupBits + g.trailBits > 8u * g.bytesPerEntry)
        return bad(why, "leaf bit counts overflow the entry");
    if ((g.recBits < 32 && (g.recMask >> g.recBits) != 0) || (g.dupMask >> g.dupBits) != 0 ||
        (g.trailMask >> g.trailBits) != 0)
        return bad(why, "leaf masks wider than their bit counts");
    if (n * g.bytesPerEntry > blockSize - kLeafHeader) return bad(why, "leaf key count too large");
    size_t keyEnd = blockSize;
    const size_t entriesEnd = kLeafHeader + n * g.bytesPerEntry;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t* e = b + kLeafHeader + i * g.bytesPerEntry;
        uint64_t v = 0;
        for (unsigned j = 0; j < g.bytesPerEntry; ++j) v |= static_cast<uint64_t>(e[j]) << (8 * j);
        const uint32_t rec = static_cast<uint32_t>(v & g.recMask);
        const unsigned dup = static_cast<unsigned>((v >> g.recBits) & g.dupMask);
        const unsigned trail = static_cast<unsigned>((v >> (g.recBits + g.dupBits)) & g.trailMask);
        if (i == 0 && dup != 0) return bad(why, "first leaf key shares bytes with nothing");
        if (dup + trail > keyLen) return bad(why, "leaf entry counts exceed the key length");
        const size_t stored = keyLen - dup - trail;
        if (keyEnd < entriesEnd + stored) return bad(why, "leaf key bytes overlap the entries");
        keyEnd -= stored;
        each(i, rec, dup, trail, keyEnd);
    }
    if (storedFree != keyEnd - entriesEnd)
        return bad(why, "leaf free byte count contradicts its keys");
    return 0;
}

}  // namespace

int decodeNode(const uint8_t* b, size_t blockSize, unsigned keyLen, uint8_t pad, uint64_t offset,
               Node& out, std::string* why) {
    out = Node{};
    out.offset = offset;
    out.attr = le16(b);
    out.left = le32(b + 4);
    out.right = le32(b + 8);
    size_t n = le16(b + 2);
    if (keyLen == 0 || keyLen > kMaxKeyLen) return bad(why, "key length out of range");
    if (!(out.attr & kAttrLeaf)) {
        if (n * (keyLen + 8) > blockSize - kBranchHeader)
            return bad(why, "branch key count too large");
        out.keys.resize(n * keyLen);
        out.recs.resize(n);
        out.children.resize(n);
        const uint8_t* p = b + kBranchHeader;
        for (size_t i = 0; i < n; ++i, p += keyLen + 8) {
            std::memcpy(out.keys.data() + i * keyLen, p, keyLen);
            out.recs[i] = be32(p + keyLen);
            out.children[i] = be32(p + keyLen + 4);
            if (out.children[i] == 0 || out.children[i] % 512 != 0)
                return bad(why, "branch child pointer not on a block");
        }
        return 0;
    }
    return forLeafEntries(b, blockSize, keyLen, n, out.geom, out.storedFree, why,
                          [&](size_t i, uint32_t rec, unsigned dup, unsigned trail, size_t at) {
                              if (i == 0) {  // the count is checked against the block by now
                                  out.keys.resize(n * keyLen);
                                  out.recs.resize(n);
                              }
                              uint8_t* k = out.keys.data() + i * keyLen;
                              const size_t stored = keyLen - dup - trail;
                              if (dup) std::memcpy(k, k - keyLen, dup);
                              std::memcpy(k + dup, b + at, stored);
                              std::memset(k + dup + stored, pad, trail);
                              out.recs[i] = rec;
                          });
}

int decodeLeafRecords(const uint8_t* b, size_t blockSize, unsigned keyLen, LeafLinks& links,
                      std::vector<uint32_t>& out, std::string* why) {
    links.attr = le16(b);
    links.left = le32(b + 4);
    links.right = le32(b + 8);
    if (keyLen == 0 || keyLen > kMaxKeyLen) return bad(why, "key length out of range");
    if (!(links.attr & kAttrLeaf)) return 0;
    const size_t n = le16(b + 2);
    const size_t had = out.size();
    Geometry g;
    uint16_t storedFree = 0;
    const int rc = forLeafEntries(
        b, blockSize, keyLen, n, g, storedFree, why,
        [&](size_t, uint32_t rec, unsigned, unsigned, size_t) { out.push_back(rec); });
    if (rc) out.resize(had);
    return rc;
}

size_t entryBytes(const uint8_t* prev, const uint8_t* key, const Geometry& g, unsigned keyLen,
                  uint8_t pad) {
    unsigned dup, trail;
    compress(prev, key, g, keyLen, pad, dup, trail);
    return g.bytesPerEntry + (keyLen - dup - trail);
}

size_t leafUsedBytes(const Node& n, const Geometry& g, unsigned keyLen, uint8_t pad) {
    size_t used = 0;
    for (size_t i = 0; i < n.count(); ++i) {
        unsigned dup, trail;
        compression(n, i, g, keyLen, pad, dup, trail);
        used += g.bytesPerEntry + (keyLen - dup - trail);
    }
    return used;
}

bool encodeNode(const Node& n, size_t blockSize, unsigned keyLen, uint8_t pad, uint8_t* out) {
    std::memset(out, 0, blockSize);
    put16(out, n.attr);
    put16(out + 2, static_cast<uint16_t>(n.count()));
    put32(out + 4, n.left);
    put32(out + 8, n.right);
    if (!n.leaf()) {
        if (n.count() * (keyLen + 8) > blockSize - kBranchHeader) return false;
        uint8_t* p = out + kBranchHeader;
        for (size_t i = 0; i < n.count(); ++i, p += keyLen + 8) {
            std::memcpy(p, n.key(i, keyLen), keyLen);
            putBe32(p + keyLen, n.recs[i]);
            putBe32(p + keyLen + 4, n.children[i]);
        }
        return true;
    }
    const Geometry& g = n.geom;
    // Each entry's compression is worked out once and used both to size the leaf
    // and to write it: this runs at every node write of an insert.
    const size_t cnt = n.count();
    std::vector<uint8_t> comp(2 * cnt);
    size_t used = 0;
    for (size_t i = 0; i < cnt; ++i) {
        unsigned dup, trail;
        compression(n, i, g, keyLen, pad, dup, trail);
        comp[2 * i] = static_cast<uint8_t>(dup);
        comp[2 * i + 1] = static_cast<uint8_t>(trail);
        used += g.bytesPerEntry + (keyLen - dup - trail);
    }
    if (used > blockSize - kLeafHeader) return false;
    put16(out + 12, static_cast<uint16_t>(blockSize - kLeafHeader - used));
    put32(out + 14, g.recMask);
    out[18] = g.dupMask;
    out[19] = g.trailMask;
    out[20] = g.recBits;
    out[21] = g.dupBits;
    out[22] = g.trailBits;
    out[23] = g.bytesPerEntry;
    size_t keyEnd = blockSize;
    for (size_t i = 0; i < cnt; ++i) {
        const unsigned dup = comp[2 * i], trail = comp[2 * i + 1];
        if (!g.fits(n.recs[i])) return false;
        uint64_t v = n.recs[i] | (static_cast<uint64_t>(dup) << g.recBits) |
                     (static_cast<uint64_t>(trail) << (g.recBits + g.dupBits));
        uint8_t* e = out + kLeafHeader + i * g.bytesPerEntry;
        for (unsigned j = 0; j < g.bytesPerEntry; ++j) e[j] = static_cast<uint8_t>(v >> (8 * j));
        size_t stored = keyLen - dup - trail;
        keyEnd -= stored;
        std::memcpy(out + keyEnd, n.key(i, keyLen) + dup, stored);
    }
    return true;
}

}  // namespace cdx4
