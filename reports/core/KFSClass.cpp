#include "reports/core/KFSClass.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/Cp1252.h"
#include "engine/io4.h"

namespace {

void put16(unsigned char* p, int v) {
    const auto u = static_cast<std::uint16_t>(v);
    p[0] = static_cast<unsigned char>(u & 0xFF);
    p[1] = static_cast<unsigned char>(u >> 8);
}

void put32(unsigned char* p, std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>((u >> (8 * i)) & 0xFF);
}

// Decodes one UTF-8 sequence at `i`; a byte that starts no valid sequence stands for itself.
char32_t nextChar(const std::string& s, std::size_t& i) {
    const auto b = static_cast<unsigned char>(s[i]);
    const std::size_t extra = b >= 0xC2 && b < 0xE0   ? 1
                              : b >= 0xE0 && b < 0xF0 ? 2
                              : b >= 0xF0 && b < 0xF5 ? 3
                                                      : 0;
    if (extra == 0 || i + extra >= s.size()) {
        ++i;
        return b;
    }
    char32_t c = b & (0x3Fu >> extra);
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto cont = static_cast<unsigned char>(s[i + k]);
        if ((cont & 0xC0) != 0x80) {
            ++i;
            return b;
        }
        c = (c << 6) | (cont & 0x3Fu);
    }
    i += extra + 1;
    return c;
}

bool exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace

CKFSClass::~CKFSClass() {
    if (IsOpen()) Close();
}

int CKFSClass::PathChars(const std::string& path) {
    int n = 0;
    for (std::size_t i = 0; i < path.size();) {
        nextChar(path, i);
        ++n;
    }
    return n;
}

std::string CKFSClass::IndexName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) return path + ".PTR";
    return path.substr(0, dot + 1) + "PTR";
}

int CKFSClass::BucketOf(unsigned char first) {
    // Taken as a signed character: bytes 128-255 count as below 48.
    const int k = static_cast<signed char>(first);
    if (k < 48) return 1;
    if (k <= 57) return k - 46;
    if (k <= 64) return 12;
    if (k <= 90) return k - 52;
    if (k <= 96) return 39;
    if (k <= 122) return k - 57;
    return 66;
}

std::array<unsigned char, CKFSClass::kBlockSize> CKFSClass::headerBlock(
    const std::string& path) const {
    std::array<unsigned char, kBlockSize> b{};
    put32(&b[0], 1 + kBuckets);
    put32(&b[16], -1);  // no free node
    put32(&b[20], -1);  // no free record
    put16(&b[28], recordSize_);
    put16(&b[30], keyOffset_);
    put16(&b[32], keyLength_);
    put16(&b[34], kBlockSize);
    // The first 63 characters of the path, as the mailing program's code page has them.
    std::size_t out = 0;
    for (std::size_t i = 0; i < path.size() && out < 63;) {
        const char32_t c = nextChar(path, i);
        const int byte = quorvane::cp1252::fromUnicode(c);
        b[36 + out++] = static_cast<unsigned char>(byte < 0 ? '?' : byte);
    }
    put16(&b[100], prefixLength_);
    put16(&b[102], kEntriesPerNode);
    put16(&b[104], kBuckets);
    put16(&b[106], 0);
    b[108] = static_cast<unsigned char>(flags_);
    put16(&b[126], 531);
    return b;
}

std::array<unsigned char, CKFSClass::kBlockSize> CKFSClass::nodeBlock(const Node& node) {
    std::array<unsigned char, kBlockSize> b{};
    for (int i = 0; i < kEntriesPerNode; ++i) {
        std::memcpy(&b[12 + 4 * std::size_t(i)], node.prefix[std::size_t(i)].data(), 4);
        put32(&b[68 + 4 * std::size_t(i)], node.offset[std::size_t(i)]);
    }
    put32(&b[124], node.next < 0 ? -1 : node.next * kBlockSize);
    return b;
}

int CKFSClass::Create(const std::string& path, int recordSize, int keyOffset, int keyLength,
                      int flags) {
    if (IsOpen()) Close();
    if (PathChars(path) > kMaxPathChars) return kPathTooLong;
    if (keyOffset < 0 || keyLength <= 0 || recordSize < keyOffset + keyLength)
        return kRecordTooSmall;
    dataPath_ = path;
    indexPath_ = IndexName(path);
    recordSize_ = recordSize;
    keyOffset_ = keyOffset;
    keyLength_ = keyLength;
    prefixLength_ = keyLength < kMaxPrefix ? keyLength : kMaxPrefix;
    flags_ = flags;
    if (exists(path)) return kExists;
    const bool leftover = leftoverIndex();
    if (!leftover && exists(indexPath_)) return kExists;
    failed_ = false;
    keys_.clear();
    nodes_.assign(std::size_t(1 + kBuckets), Node());

    // Both files are made as temporary files and put under their names only at Close, and
    // then only where nothing has appeared meanwhile: a file another program made is never
    // overwritten.
    if (const int e = index_.begin(
            indexPath_, leftover ? File4Replace::Mode::Replace : File4Replace::Mode::CreateOnly))
        return e == EEXIST ? kExists : kIndexNotCreated;
    if (const int e = data_.begin(path, File4Replace::Mode::CreateOnly)) {
        index_.abandon();
        return e == EEXIST ? kExists : kDataNotCreated;
    }
    bool ok = writeAt(index_, 0, headerBlock(path).data(), kBlockSize);
    for (int block = 1; ok && block <= kBuckets; ++block) ok = writeNode(block);
    if (!ok) {
        closeFiles();
        return kIndexNotCreated;
    }
    return kOk;
}

bool CKFSClass::writeAt(File4Replace& f, long offset, const void* bytes, std::size_t size) {
    if (failed_) return false;
    if (f.writeAt(off_t(offset), bytes, size) != 0) {
        failed_ = true;
        return false;
    }
    return true;
}

bool CKFSClass::writeNode(std::int32_t block) {
    return writeAt(index_, long(block) * kBlockSize, nodeBlock(nodes_[std::size_t(block)]).data(),
                   kBlockSize);
}

// The order of the key against the entry in `slot`: the stored prefix first, then, when the
// prefixes are equal, the whole key of the record the entry points to.
int CKFSClass::compareWithEntry(const Node& node, int slot, const unsigned char* key) const {
    const int p =
        std::memcmp(node.prefix[std::size_t(slot)].data(), key, std::size_t(prefixLength_));
    if (p != 0) return p < 0 ? -1 : 1;
    const std::string& stored = keys_[std::size_t(node.offset[std::size_t(slot)] / recordSize_)];
    const int k = std::memcmp(stored.data(), key, std::size_t(keyLength_));
    return k < 0 ? -1 : k > 0 ? 1 : 0;
}

int CKFSClass::AddRecord(const unsigned char* record) {
    if (!IsOpen()) return kNotOpen;
    if (failed_) return kWriteFailed;
    const unsigned char* key = record + keyOffset_;

    // 1. The insertion point along the bucket's chain.
    std::int32_t block = BucketOf(key[0]);
    int slot = 0;
    for (;;) {
        const Node& node = nodes_[std::size_t(block)];
        bool found = false;
        for (slot = 0; slot < kEntriesPerNode; ++slot) {
            if (node.offset[std::size_t(slot)] < 0) {
                if (node.next < 0) found = true;
                break;
            }
            const int order = compareWithEntry(node, slot, key);
            if (order == 0) return kDuplicateKey;
            if (order > 0) {
                found = true;
                break;
            }
        }
        if (found) break;
        if (node.next < 0) break;  // full last node: the point is past its last slot
        block = node.next;
    }

    // 2. The record goes to the end of the data file (no record is ever freed here).
    const auto recordOffset = std::int32_t(keys_.size() * std::size_t(recordSize_));

    // 3. Room at the insertion point.
    Node* node = &nodes_[std::size_t(block)];
    if (node->offset[kEntriesPerNode - 1] >= 0) {
        const auto fresh = std::int32_t(nodes_.size());
        nodes_.emplace_back();
        node = &nodes_[std::size_t(block)];
        Node& other = nodes_.back();
        other.next = node->next;
        node->next = fresh;
        for (int i = kSplitAt; i < kEntriesPerNode; ++i) {
            other.prefix[std::size_t(i - kSplitAt)] = node->prefix[std::size_t(i)];
            other.offset[std::size_t(i - kSplitAt)] = node->offset[std::size_t(i)];
            node->prefix[std::size_t(i)] = {};
            node->offset[std::size_t(i)] = -1;
        }
        std::int32_t untouched = fresh;
        if (slot >= kSplitAt) {
            untouched = block;
            block = fresh;
            slot -= kSplitAt;
            node = &other;
        }
        if (!writeNode(untouched)) return kWriteFailed;
    }
    for (int i = kEntriesPerNode - 1; i > slot; --i) {
        node->prefix[std::size_t(i)] = node->prefix[std::size_t(i - 1)];
        node->offset[std::size_t(i)] = node->offset[std::size_t(i - 1)];
    }

    // 4 and 5. The entry, the node, the record.
    node->prefix[std::size_t(slot)] = {};
    std::memcpy(node->prefix[std::size_t(slot)].data(), key, std::size_t(prefixLength_));
    node->offset[std::size_t(slot)] = recordOffset;
    keys_.emplace_back(reinterpret_cast<const char*>(key), std::size_t(keyLength_));
    if (!writeNode(block) || !writeAt(data_, recordOffset, record, std::size_t(recordSize_))) {
        failed_ = true;
        return kWriteFailed;
    }
    return kOk;
}

void CKFSClass::closeFiles() {
    index_.abandon();
    data_.abandon();
    nodes_.clear();
    keys_.clear();
}

int CKFSClass::Close() {
    if (!IsOpen()) return kOk;
    // The pair becomes durable once, here, instead of at every record. The index goes first, so
    // that a data file never stands without its index: a crash between the two renames leaves
    // the index alone, which no reader takes for a pair (the data file is what is opened) and
    // the next Create of the pair replaces. When the data file cannot follow, or a rename was
    // made but its folder not synced, what was placed is taken away again: the pair is there
    // whole or not at all.
    if (failed_) {
        closeFiles();
        return kWriteFailed;
    }
    auto place = [](File4Replace& f, bool& placed) {
        int fd = -1;
        const int e = f.commit(&fd);
        placed = fd >= 0;
        if (placed) io4()->close(fd);
        return e == 0;
    };
    bool indexPlaced = false, dataPlaced = false;
    const bool ok = place(index_, indexPlaced) && place(data_, dataPlaced);
    if (!ok) {
        if (dataPlaced) io4()->unlink(dataPath_.c_str());
        if (indexPlaced) io4()->unlink(indexPath_.c_str());
        if (dataPlaced || indexPlaced) file4syncFolder(dataPath_);
    }
    closeFiles();
    return ok ? kOk : kWriteFailed;
}

// An index file under the pair's name with no data file beside it, whose header names this
// pair's path and layout: what a crash between Close's two renames leaves.
bool CKFSClass::leftoverIndex() const {
    const int fd = ::open(indexPath_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    std::array<unsigned char, kBlockSize> head{};
    const bool read = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                      ::pread(fd, head.data(), head.size(), 0) == kBlockSize;
    ::close(fd);
    // Bytes 0 to 27 count nodes and records; from 28 on the header is the layout and the path.
    const auto made = headerBlock(dataPath_);
    return read && std::equal(head.begin() + 28, head.end(), made.begin() + 28);
}
