// Shared helpers of the tests that drive the index layer directly: a scratch folder, an index
// opened on a file, key bytes from a string, a plain tag on NAME, the model of a tag's entries,
// a tree's order, a file's bytes and what the independent reader lists of a tag.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

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

// A tag on NAME without a filter, keyLen bytes a key.
inline cdx4::TagDef nameTag(const std::string& name, unsigned keyLen, bool descending = false) {
    cdx4::TagDef d;
    d.name = name;
    d.keyExpr = "NAME";
    d.keyLen = keyLen;
    d.descending = descending;
    return d;
}

// A tag's entries as the test expects them, key and record number, in key order.
using Model = std::set<std::pair<std::string, uint32_t>>;

// The model as the index's check takes it: the one tag's entries.
inline std::map<std::string, std::vector<cdx4::Entry>> expectEntries(const std::string& tag,
                                                                     const Model& m) {
    std::map<std::string, std::vector<cdx4::Entry>> out;
    auto& v = out[tag];
    for (auto& [k, r] : m) v.push_back({std::vector<uint8_t>(k.begin(), k.end()), r});
    return out;
}

// The record numbers in the tree's order, from the top or from the bottom.
inline std::vector<uint32_t> treeOrder(cdx4::Tree& t, bool back = false) {
    std::vector<uint32_t> out;
    cdx4::Pos p;
    for (int rc = back ? t.bottom(p) : t.top(p); rc == 0; rc = back ? t.prev(p) : t.next(p))
        out.push_back(p.rec);
    return out;
}

inline std::vector<uint8_t> fileBytes(const std::filesystem::path& p) {
    std::vector<uint8_t> b(std::filesystem::file_size(p));
    FILE* f = std::fopen(p.c_str(), "rb");
    size_t got = std::fread(b.data(), 1, b.size(), f);
    std::fclose(f);
    b.resize(got);
    return b;
}

// What the independent index reader (/usr/bin/index_dump) lists of a tag in the stored order:
// each key, its trailing blanks cut, with its record number.
inline void dumpedTag(const std::string& cdx, const std::string& tag,
                      std::vector<std::pair<std::string, long>>& got) {
    std::string cmd = "/usr/bin/index_dump --type char --tag " + tag + " '" + cdx + "' 2>&1";
    FILE* f = ::popen(cmd.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char line[256];
    while (std::fgets(line, sizeof line, f)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
        size_t sp = s.rfind(' ');
        ASSERT_NE(sp, std::string::npos) << s;
        std::string key = s.substr(0, sp);
        while (!key.empty() && key.back() == ' ') key.pop_back();
        got.emplace_back(key, std::stol(s.substr(sp + 1)));
    }
    ::pclose(f);
}

}  // namespace index_test
