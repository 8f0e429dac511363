// Shared helpers of the engine's data-file tests: a scratch folder, file bytes, a test with its
// own context, the tag order and check, a counter of reads.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/data4.h"
#include "engine/io4.h"
#include "engine/tag4.h"
#include "engine/vask4.h"

namespace engine_test {

// A fresh folder under /tmp, removed with everything in it at the end of the test.
class ScratchDir {
public:
    ScratchDir() {
        char tmpl[] = "/tmp/quorvane-engine-XXXXXX";
        const char* p = mkdtemp(tmpl);
        if (p) path_ = p;
    }
    ~ScratchDir() {
        if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline std::vector<unsigned char> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline unsigned long le32(const std::vector<unsigned char>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
           (static_cast<unsigned long>(b[at + 3]) << 24);
}
inline unsigned le16(const std::vector<unsigned char>& b, size_t at) {
    return b[at] | (b[at + 1] << 8);
}

// The four-field table the record tests share: NAME C 21, NOTES C 80, HH C 2, MM C 2.
inline const FIELD4INFO* exampleFields() {
    static const FIELD4INFO f[] = {{"NAME", 'C', 21, 0, 0},
                                   {"NOTES", 'C', 80, 0, 0},
                                   {"HH", 'C', 2, 0, 0},
                                   {"MM", 'C', 2, 0, 0},
                                   {nullptr, 0, 0, 0, 0}};
    return f;
}

// The two-field table the tag order and layout tests share: NAME C 10, CITY C 12.
inline const FIELD4INFO* nameCityFields() {
    static const FIELD4INFO f[] = {
        {"NAME", 'C', 10, 0, 0}, {"CITY", 'C', 12, 0, 0}, {nullptr, 0, 0, 0, 0}};
    return f;
}

// Appends one record through the ordinary calling order.
inline int appendRow(Data4* d, const std::vector<std::string>& values) {
    int r = d4appendStart(d, 0);
    if (r) return r;
    d4blank(d);
    for (size_t i = 0; i < values.size(); ++i)
        d4fieldJ(d, static_cast<int>(i) + 1)->assign(values[i].c_str());
    return d4append(d);
}

inline std::string fieldText(Data4* d, const char* name) {
    return f4str(d4field(d, name));
}

// The record numbers in the selected tag's order, from the top or from the bottom. It stops
// after 100,000 records, so that a tag whose chain runs in a circle fails the comparison
// instead of hanging the test.
inline std::vector<long> tagOrder(Data4* d, bool back = false) {
    std::vector<long> out;
    int r = back ? d4bottom(d) : d4top(d);
    while (r == 0 && out.size() < 100000) {
        out.push_back(d4recNo(d));
        r = d4skip(d, back ? -1 : 1);
    }
    return out;
}

// The tag check's report: empty for sound tags, the return code where it gave no text.
inline std::string tagCheck(Data4* d) {
    std::string rep;
    int r = i4check(d, &rep);
    if (r != 0 && rep.empty()) rep = "i4check " + std::to_string(r);
    return rep;
}

// A test with its own engine context and scratch folder.
class ContextTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1), 0); }
    void TearDown() override { vask4initUndo(&c); }

    static std::vector<long> walk(Data4* d, bool back = false) { return tagOrder(d, back); }
    static std::string check(Data4* d) { return tagCheck(d); }

    Vask4 c;
    ScratchDir dir;
};

// Counts the reads made while it is installed: all of them, and those of a data file's change
// counter (the 16 header bytes at 0).
class CountingIo : public Io4 {
public:
    CountingIo() : before_(io4set(this)) {}
    ~CountingIo() override { io4set(before_); }
    ssize_t pread(int fd, void* buf, size_t len, off_t pos) override {
        ++reads;
        if (len == 16 && pos == 0) ++counterReads;
        return Io4::pread(fd, buf, len, pos);
    }
    void preadBatch(int fd, Io4Read* batch, int n) override {
        ++reads;  // one call, as the system's seam makes it
        before_->preadBatch(fd, batch, n);
    }
    long reads = 0, counterReads = 0;

private:
    Io4* before_;
};

}  // namespace engine_test
