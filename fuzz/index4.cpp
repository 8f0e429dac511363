// Arbitrary bytes as a compound index file: open, seek, walk both ways and by record numbers,
// check, and a few key changes. Everything must end in a result code, never a crash or a hang.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/cdx4.h"

namespace {

class MemIo final : public Index4Io {
public:
    explicit MemIo(std::vector<uint8_t> b) : b_(std::move(b)) {}
    long read(uint64_t off, void* buf, size_t len) override {
        if (off >= b_.size()) return 0;
        size_t n = std::min<size_t>(len, b_.size() - off);
        std::memcpy(buf, b_.data() + off, n);
        return static_cast<long>(n);
    }
    int write(uint64_t off, const void* buf, size_t len) override {
        if (off + len > (4u << 20)) return -1;  // keep the fuzzer's memory bounded
        if (b_.size() < off + len) b_.resize(off + len);
        std::memcpy(b_.data() + off, buf, len);
        return 0;
    }
    int64_t length() override { return static_cast<int64_t>(b_.size()); }
    int setLength(uint64_t len) override {
        if (len > (4u << 20)) return -1;
        b_.resize(len);
        return 0;
    }

private:
    std::vector<uint8_t> b_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    cdx4::Index ix(std::make_unique<MemIo>(std::vector<uint8_t>(data, data + size)));
    if (ix.open() != 0) return 0;
    const uint64_t records = 100;
    for (auto& tp : ix.tags()) {
        cdx4::Tree& t = *tp;
        t.setPad(size % 2 ? ' ' : 0);
        std::vector<uint8_t> key(t.keyLen(), ' ');
        cdx4::Pos p;
        for (const char* probe : {"A", "M", "Z", "\x01", "\xFF"}) {
            std::memcpy(key.data(), probe, 1);
            t.seek(key.data(), 1, p);
            t.seekLast(key.data(), 1, p);  // the descending walk's seek
        }
        std::vector<uint32_t> recs;
        ix.dropCache();  // the records' walk then reads its leaves from the bytes, ahead
        t.recordsFrom(key.data(), 1, recs);
        int steps = 0;
        for (int rc = t.top(p); rc == 0 && steps < 5000; rc = t.next(p)) ++steps;
        steps = 0;
        for (int rc = t.bottom(p); rc == 0 && steps < 5000; rc = t.prev(p)) ++steps;
        ix.check(records);
        // A few changes on whatever the tree holds.
        for (uint32_t r = 1; r <= 20; ++r) {
            key[0] = static_cast<uint8_t>('A' + r % 26);
            if (t.insert(key.data(), r, records) < 0) break;
        }
        for (uint32_t r = 1; r <= 20; r += 2) {
            key[0] = static_cast<uint8_t>('A' + r % 26);
            if (t.remove(key.data(), r, records) < 0) break;
        }
        for (int rc = t.top(p); rc == 0 && steps < 10000; rc = t.next(p)) ++steps;
    }
    ix.flush();
    return 0;
}
