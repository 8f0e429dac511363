#pragma once
// The writer of the mailing-list address pair: a data file of fixed-size records and a keyed
// index file beside it (docs/formats/address-file.md). Records are added one at a time; each
// key goes into its bucket's chain of index nodes in ascending byte order, and a key already
// present is refused.
//
// Only this writer ever wrote the pair it has open (Create refuses existing files), so it
// keeps a copy of every node and every key in memory and searches there. Both files are
// written as temporary files beside their names and appear together at Close, complete and
// durable; a pair that failed or was never closed leaves nothing behind, and no file or link
// that appeared under either name meanwhile is overwritten.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/file4replace.h"

class CKFSClass {
public:
    enum Status {
        kOk = 0,
        kPathTooLong = 1,      // more than kMaxPathChars characters
        kIndexNotCreated = 2,  // includes a failed write of the empty index
        kDataNotCreated = 3,
        kDuplicateKey = 4,  // nothing was written
        kWriteFailed = 5,   // a write, flush or sync failed; the pair is incomplete
        kNotOpen = 6,
        kExists = 9,           // the data file or the index file is there already
        kRecordTooSmall = 10,  // record size below key offset + key length
    };

    static constexpr int kMaxPathChars = 64;
    static constexpr int kBlockSize = 128;
    static constexpr int kBuckets = 66;
    static constexpr int kEntriesPerNode = 14;
    static constexpr int kSplitAt = 7;
    static constexpr int kMaxPrefix = 4;

    CKFSClass() = default;
    ~CKFSClass();
    CKFSClass(const CKFSClass&) = delete;
    CKFSClass& operator=(const CKFSClass&) = delete;

    // `path` is the data file (UTF-8, as the file system takes it); the index file is
    // IndexName(path). Creates both empty and writes the header and the empty bucket nodes.
    int Create(const std::string& path, int recordSize, int keyOffset, int keyLength, int flags);
    // `record` holds recordSize bytes.
    int AddRecord(const unsigned char* record);
    // Syncs both files and puts them under their names; kWriteFailed when any write, the sync
    // or the renaming failed (then neither file is there).
    int Close();
    bool IsOpen() const { return data_.isOpen(); }

    // The path with the extension after the last "." of the file name replaced by "PTR", or
    // ".PTR" appended when the file name has none.
    static std::string IndexName(const std::string& path);
    // The index node (block number) of a key starting with `first`.
    static int BucketOf(unsigned char first);
    // Characters of a UTF-8 path (the limit counts characters, not bytes).
    static int PathChars(const std::string& path);

private:
    struct Node {
        std::array<std::array<unsigned char, kMaxPrefix>, kEntriesPerNode> prefix{};
        std::array<std::int32_t, kEntriesPerNode> offset{};
        std::int32_t next = -1;  // block number; the file holds its byte offset
        Node() { offset.fill(-1); }
    };

    std::array<unsigned char, kBlockSize> headerBlock(const std::string& path) const;
    static std::array<unsigned char, kBlockSize> nodeBlock(const Node& node);
    bool writeAt(File4Replace& f, long offset, const void* bytes, std::size_t size);
    bool writeNode(std::int32_t block);
    int compareWithEntry(const Node& node, int slot, const unsigned char* key) const;
    void closeFiles();
    bool leftoverIndex() const;

    File4Replace data_, index_;
    std::string dataPath_, indexPath_;
    int recordSize_ = 0, keyOffset_ = 0, keyLength_ = 0, prefixLength_ = 0, flags_ = 0;
    bool failed_ = false;
    std::vector<Node> nodes_;        // by block number; block 0 (the header) unused
    std::vector<std::string> keys_;  // the key of record i, at offset i x recordSize
};
