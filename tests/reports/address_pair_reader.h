#pragma once
// A reader of the address pair written on its own from the format document, so the tests check
// the files and not the writer's idea of them: it walks every bucket chain and reports the
// first rule the files break.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace quorvane::testing {

struct AddressPair {
    std::string error;  // empty: the pair keeps every rule
    std::string data, index;
    // Per bucket (1-66): the entry count of each node along the chain, and the keys in order.
    std::vector<std::vector<int>> nodeFill = std::vector<std::vector<int>>(67);
    std::vector<std::vector<std::string>> keys = std::vector<std::vector<std::string>>(67);
    std::size_t records() const { return data.size() / 260; }
    std::string record(std::size_t i) const { return data.substr(i * 260, 260); }
};

inline std::int32_t le32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + std::size_t(i)]);
    return static_cast<std::int32_t>(v);
}
inline int le16(const std::string& b, std::size_t at) {
    return static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8);
}

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline int expectedBucket(unsigned char first) {
    const int k = first >= 128 ? int(first) - 256 : int(first);
    if (k < '0') return 1;
    if (k <= '9') return 2 + (k - '0');
    if (k < 'A') return 12;
    if (k <= 'Z') return 13 + (k - 'A');
    if (k < 'a') return 39;
    if (k <= 'z') return 40 + (k - 'a');
    return 66;
}

inline AddressPair readAddressPair(const std::string& dataPath, const std::string& indexPath) {
    AddressPair p;
    p.data = slurp(dataPath);
    p.index = slurp(indexPath);
    auto fail = [&p](const std::string& why) {
        if (p.error.empty()) p.error = why;
        return p;
    };
    const std::string& ix = p.index;
    if (ix.size() < 67 * 128 || ix.size() % 128) return fail("index size");
    if (p.data.size() % 260) return fail("data size");
    if (le32(ix, 0) != 67 || le32(ix, 16) != -1 || le32(ix, 20) != -1) return fail("header counts");
    if (le16(ix, 28) != 260 || le16(ix, 30) != 12 || le16(ix, 32) != 44 || le16(ix, 34) != 128 ||
        le16(ix, 100) != 4 || le16(ix, 102) != 14 || le16(ix, 104) != 66 || le16(ix, 106) != 0 ||
        le16(ix, 126) != 531)
        return fail("header layout");
    const std::size_t blocks = ix.size() / 128;
    std::set<std::int32_t> seenRecords;
    std::set<std::size_t> seenBlocks;
    for (int bucket = 1; bucket <= 66; ++bucket) {
        std::size_t block = std::size_t(bucket);
        std::string previous;
        for (;;) {
            if (!seenBlocks.insert(block).second) return fail("node reached twice");
            const std::size_t at = block * 128;
            if (le32(ix, at) != 0) return fail("free link in a live node");
            int fill = 0;
            bool ended = false;
            for (int s = 0; s < 14; ++s) {
                const std::string prefix = ix.substr(at + 12 + 4 * std::size_t(s), 4);
                const std::int32_t offset = le32(ix, at + 68 + 4 * std::size_t(s));
                if (offset == -1) {
                    if (prefix != std::string(4, '\0')) return fail("prefix in an empty slot");
                    ended = true;
                    continue;
                }
                if (ended) return fail("gap in a node");
                if (offset < 0 || offset % 260 || std::size_t(offset) + 260 > p.data.size())
                    return fail("record offset");
                if (!seenRecords.insert(offset).second) return fail("record listed twice");
                const std::string key = p.data.substr(std::size_t(offset) + 12, 44);
                if (key.compare(0, 4, prefix) != 0) return fail("prefix differs from the key");
                if (expectedBucket(static_cast<unsigned char>(key[0])) != bucket)
                    return fail("key in the wrong bucket");
                // std::string compares char_traits<char>, which orders as unsigned bytes.
                if (!previous.empty() && !(previous < key)) return fail("keys not ascending");
                previous = key;
                p.keys[std::size_t(bucket)].push_back(key);
                ++fill;
            }
            p.nodeFill[std::size_t(bucket)].push_back(fill);
            const std::int32_t link = le32(ix, at + 124);
            if (link == -1) break;
            if (link % 128 || link < 67 * 128 || std::size_t(link) / 128 >= blocks)
                return fail("chain link");
            block = std::size_t(link) / 128;
        }
    }
    if (seenRecords.size() != p.records()) return fail("record not indexed");
    if (seenBlocks.size() != blocks - 1) return fail("node not on any chain");
    return p;
}

}  // namespace quorvane::testing
