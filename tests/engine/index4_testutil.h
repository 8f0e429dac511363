// Shared helpers of the tests that drive the index layer directly: a scratch folder, an index
// opened on a file, key bytes from a string.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/cdx4.h"

namespace index_test {

// A fresh folder under /tmp, removed with everything in it at the end of the test.
struct TempDir {
    std::filesystem::path path;
    TempDir() {
        char tmpl[] = "/tmp/q4idxXXXXXX";
        path = ::mkdtemp(tmpl);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
};

inline std::unique_ptr<cdx4::Index> openIndex(const std::filesystem::path& p, bool create) {
    auto* io = Index4FdIo::openPath(p, create);
    if (!io) return nullptr;
    return std::make_unique<cdx4::Index>(std::unique_ptr<Index4Io>(io));
}

inline const uint8_t* u8(const std::string& s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

}  // namespace index_test
