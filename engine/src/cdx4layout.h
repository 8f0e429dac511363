#pragma once
// Where the parts of a compound index file lie: every tag owns a header block pair (the
// header and its expression area) after the directory's, and the directory's keys are tag
// names padded to ten upper-case characters. Shared by the index code and its rebuild.
#include <cctype>
#include <cstddef>
#include <string>

namespace cdx4 {

constexpr size_t kHeaderPair = 1024;  // tag header + expression area
constexpr unsigned kDirKeyLen = 10;

inline std::string padName(const std::string& name) {
    std::string n = name.substr(0, kDirKeyLen);
    for (auto& ch : n) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    n.resize(kDirKeyLen, ' ');
    return n;
}

}  // namespace cdx4
