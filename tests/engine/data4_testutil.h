// Shared helpers of the engine's data-file tests: a scratch folder, file bytes, stderr capture.
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

}  // namespace engine_test
