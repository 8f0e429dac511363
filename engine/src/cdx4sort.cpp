// External sort of (key, record) pairs for rebuilding tags.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/cdx4.h"

namespace cdx4 {

struct Sorter::Run {
    int fd = -1;
    uint64_t remaining = 0;  // records not yet read
    std::vector<uint8_t> buf;
    size_t pos = 0, len = 0;
    uint64_t readOff = 0;
    unsigned level = 0;  // 0: spooled from memory; n + 1: merged from runs of level n
    ~Run() {
        if (fd >= 0) ::close(fd);
    }
    // Points rec at the next record; false at the end or on failure.
    bool fetch(size_t recLen, const uint8_t*& rec, bool& failed) {
        failed = false;
        if (remaining == 0) return false;
        if (pos + recLen > len) {
            size_t keep = len - pos;
            std::memmove(buf.data(), buf.data() + pos, keep);
            len = keep;
            pos = 0;
            while (len < recLen) {
                ssize_t r =
                    ::pread(fd, buf.data() + len, buf.size() - len, static_cast<off_t>(readOff));
                if (r <= 0) {
                    failed = true;
                    return false;
                }
                len += static_cast<size_t>(r);
                readOff += static_cast<uint64_t>(r);
            }
        }
        rec = buf.data() + pos;
        pos += recLen;
        --remaining;
        return true;
    }
};

namespace {

// Each sorted run holds a descriptor open until the build ends, and a process has only so
// many: as soon as this many runs of one level stand at the end they are merged into one
// run of the next level.  Few levels are ever open, and each key is rewritten once a level.
constexpr size_t kFanIn = 16;

int makeSpoolFile() {
    std::string tmpl = Sorter::tempFolder() + "/q4sortXXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return -1;
    ::unlink(name.data());  // the run lives only as long as this descriptor
    return fd;
}

int writeAll(int fd, const std::vector<uint8_t>& out, uint64_t off) {
    size_t done = 0;
    while (done < out.size()) {
        ssize_t w =
            ::pwrite(fd, out.data() + done, out.size() - done, static_cast<off_t>(off + done));
        if (w <= 0) return kErrWrite;
        done += static_cast<size_t>(w);
    }
    return 0;
}

}  // namespace

std::string Sorter::tempFolder() {
    for (const char* name : {"TEMP", "TMP"}) {
        const char* v = std::getenv(name);
        if (v && *v) return v;
    }
    return "/tmp";
}

Sorter::Sorter(unsigned keyLen, size_t memoryBudget)
    : keyLen_(keyLen),
      recLen_(keyLen + 4u),
      budget_(std::max<size_t>(memoryBudget, 4 * (keyLen + 8u))) {}

Sorter::~Sorter() = default;

int Sorter::add(const uint8_t* key, uint32_t rec) {
    if (finished_) return kErrCorrupt;
    if (buf_.size() + recLen_ + 4 > budget_ && !order_.empty()) {
        int rc = spool();
        if (rc) return rc;
    }
    // Record number big-endian after the key: one memcmp orders by (key, record).
    size_t at = buf_.size();
    buf_.resize(at + recLen_);
    std::memcpy(buf_.data() + at, key, keyLen_);
    for (int i = 0; i < 4; ++i) buf_[at + keyLen_ + i] = static_cast<uint8_t>(rec >> (24 - 8 * i));
    order_.push_back(static_cast<uint32_t>(at));
    ++total_;
    return 0;
}

int Sorter::spool() {
    const uint8_t* base = buf_.data();
    const size_t len = recLen_;
    std::sort(order_.begin(), order_.end(), [base, len](uint32_t a, uint32_t b) {
        return std::memcmp(base + a, base + b, len) < 0;
    });
    int fd = makeSpoolFile();
    if (fd < 0) return -20;
    auto run = std::make_unique<Run>();
    run->fd = fd;
    std::vector<uint8_t> out;
    out.reserve(64 * 1024);
    uint64_t off = 0;
    for (uint32_t o : order_) {
        out.insert(out.end(), base + o, base + o + len);
        if (out.size() >= 60 * 1024) {
            if (int rc = writeAll(fd, out, off)) return rc;
            off += out.size();
            out.clear();
        }
    }
    if (int rc = writeAll(fd, out, off)) return rc;
    run->remaining = order_.size();
    runs_.push_back(std::move(run));
    buf_.clear();
    order_.clear();
    for (;;) {
        const size_t n = runs_.size();
        if (n < kFanIn) return 0;
        const unsigned level = runs_[n - 1]->level;
        for (size_t k = n - kFanIn; k < n; ++k)
            if (runs_[k]->level != level) return 0;
        if (int rc = collapse(n - kFanIn)) return rc;
    }
}

int Sorter::collapse(size_t from) {
    if (runs_.size() - from < 2) return 0;
    int fd = makeSpoolFile();
    if (fd < 0) return -20;
    auto merged = std::make_unique<Run>();
    merged->fd = fd;
    merged->level = runs_.back()->level + 1;
    const size_t count = runs_.size() - from;
    const size_t per = std::max<size_t>({recLen_ * 4, budget_ / count, 4096});
    std::vector<uint8_t> cur(count * recLen_);
    std::vector<size_t> heap;
    for (size_t i = 0; i < count; ++i) {
        merged->remaining += runs_[from + i]->remaining;
        runs_[from + i]->buf.assign(per, 0);
        const uint8_t* r;
        bool failed;
        if (runs_[from + i]->fetch(recLen_, r, failed)) {
            std::memcpy(cur.data() + i * recLen_, r, recLen_);
            heap.push_back(i);
        } else if (failed) {
            return kErrRead;
        }
    }
    const size_t len = recLen_;
    auto greater = [&cur, len](size_t a, size_t b) {
        return std::memcmp(cur.data() + a * len, cur.data() + b * len, len) > 0;
    };
    std::make_heap(heap.begin(), heap.end(), greater);
    std::vector<uint8_t> out;
    out.reserve(64 * 1024);
    uint64_t off = 0;
    while (!heap.empty()) {
        std::pop_heap(heap.begin(), heap.end(), greater);
        size_t i = heap.back();
        out.insert(out.end(), cur.data() + i * len, cur.data() + (i + 1) * len);
        const uint8_t* r;
        bool failed;
        if (runs_[from + i]->fetch(len, r, failed)) {
            std::memcpy(cur.data() + i * len, r, len);
            std::push_heap(heap.begin(), heap.end(), greater);
        } else if (failed) {
            return kErrRead;
        } else {
            heap.pop_back();
        }
        if (out.size() >= 60 * 1024) {
            if (int rc = writeAll(fd, out, off)) return rc;
            off += out.size();
            out.clear();
        }
    }
    if (int rc = writeAll(fd, out, off)) return rc;
    runs_.resize(from);  // closes the merged runs' files
    runs_.push_back(std::move(merged));
    return 0;
}

int Sorter::finish() {
    if (finished_) return 0;
    finished_ = true;
    if (!runs_.empty() && !order_.empty()) {
        int rc = spool();
        if (rc) return rc;
    }
    if (runs_.empty()) {
        const uint8_t* base = buf_.data();
        const size_t len = recLen_;
        std::sort(order_.begin(), order_.end(), [base, len](uint32_t a, uint32_t b) {
            return std::memcmp(base + a, base + b, len) < 0;
        });
        memPos_ = 0;
        return 0;
    }
    // Merge: each run keeps a read buffer from what the budget allows.
    size_t per = std::max<size_t>(recLen_ * 4, budget_ / runs_.size());
    per = std::max<size_t>(per, 4096);
    current_.assign(runs_.size() * recLen_, 0);
    out_.assign(recLen_, 0);
    heap_.clear();
    for (size_t i = 0; i < runs_.size(); ++i) {
        runs_[i]->buf.assign(per, 0);
        const uint8_t* r;
        bool failed;
        if (runs_[i]->fetch(recLen_, r, failed)) {
            std::memcpy(current_.data() + i * recLen_, r, recLen_);
            heap_.push_back(i);
        } else if (failed) {
            return kErrRead;
        }
    }
    auto greater = [this](size_t a, size_t b) {
        return std::memcmp(current_.data() + a * recLen_, current_.data() + b * recLen_, recLen_) >
               0;
    };
    std::make_heap(heap_.begin(), heap_.end(), greater);
    return 0;
}

int Sorter::next(const uint8_t** key, uint32_t* rec) {
    if (!finished_) {
        int rc = finish();
        if (rc) return rc;
    }
    auto decode = [this, key, rec](const uint8_t* p) {
        *key = p;
        *rec = (static_cast<uint32_t>(p[keyLen_]) << 24) |
               (static_cast<uint32_t>(p[keyLen_ + 1]) << 16) |
               (static_cast<uint32_t>(p[keyLen_ + 2]) << 8) | p[keyLen_ + 3];
    };
    if (runs_.empty()) {
        if (memPos_ >= order_.size()) return 0;
        decode(buf_.data() + order_[memPos_++]);
        return 1;
    }
    auto greater = [this](size_t a, size_t b) {
        return std::memcmp(current_.data() + a * recLen_, current_.data() + b * recLen_, recLen_) >
               0;
    };
    // The previous winner was handed out last time; replace it now.
    static_assert(sizeof(size_t) >= 4);
    if (!heap_.empty() && pendingPop_) {
        std::pop_heap(heap_.begin(), heap_.end(), greater);
        size_t i = heap_.back();
        heap_.pop_back();
        const uint8_t* r;
        bool failed;
        if (runs_[i]->fetch(recLen_, r, failed)) {
            std::memcpy(current_.data() + i * recLen_, r, recLen_);
            heap_.push_back(i);
            std::push_heap(heap_.begin(), heap_.end(), greater);
        } else if (failed) {
            return kErrRead;
        }
        pendingPop_ = false;
    }
    if (heap_.empty()) return 0;
    size_t w = heap_.front();
    std::memcpy(out_.data(), current_.data() + w * recLen_, recLen_);
    pendingPop_ = true;
    decode(out_.data());
    return 1;
}

}  // namespace cdx4
