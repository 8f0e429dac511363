// The index checker: walks every tree level by level and verifies each rule
// of the file, then compares every tag with the entries it should hold.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "engine/cdx4.h"

namespace cdx4 {

class Checker {
public:
    Checker(Index& ix, CheckReport& rep) : ix_(ix), rep_(rep) {}

    void problem(const std::string& s) {
        if (rep_.problems.size() < 200) rep_.problems.push_back(s);
    }

    // Takes a block (a node or free block; headers are 512 bytes) for one use.
    bool claim(uint64_t off, const std::string& what, uint64_t len = 0) {
        if (!seen_.insert(off).second) {
            problem(what + ": block " + std::to_string(off) + " reachable twice");
            return false;
        }
        spans_[off] = {len ? len : ix_.blockSize(), what};
        return true;
    }

    // With nodes larger than 512 bytes two different offsets may still share bytes.
    void overlaps() {
        auto prev = spans_.end();
        for (auto it = spans_.begin(); it != spans_.end(); prev = it++) {
            if (prev != spans_.end() && prev->first + prev->second.first > it->first)
                problem(it->second.second + ": block " + std::to_string(it->first) +
                        " overlaps block " + std::to_string(prev->first) + " of " +
                        prev->second.second);
        }
    }

    static std::string show(const std::vector<uint8_t>& k) {
        std::string s;
        for (uint8_t c : k) {
            if (c >= 32 && c < 127) {
                s.push_back(static_cast<char>(c));
            } else {
                char b[5];
                std::snprintf(b, sizeof b, "\\x%02x", c);
                s += b;
            }
        }
        return s;
    }

    // Walks one tree; entries receives its leaf entries in order.
    void tree(Tree& t, const std::string& label, bool isDir, uint64_t recordCount,
              const std::set<uint32_t>& headerOffsets, std::vector<Entry>& entries) {
        const unsigned kl = t.keyLen_;
        struct Want {
            uint64_t off;
            bool haveLast;
            std::vector<uint8_t> key;
            uint32_t rec;
        };
        std::vector<Want> level{{t.root_, false, {}, 0}};
        bool prevHave = false;
        for (unsigned depth = 0; !level.empty(); ++depth) {
            if (depth >= kMaxDepth) {
                problem(label + ": tree deeper than " + std::to_string(kMaxDepth));
                return;
            }
            std::vector<Want> below;
            bool leafLevel = false;
            std::vector<uint8_t> prevKey;
            uint32_t prevRec = 0;
            prevHave = false;
            for (size_t j = 0; j < level.size(); ++j) {
                const Want& w = level[j];
                std::string where = label + " node " + std::to_string(w.off);
                if (!claim(w.off, label)) return;
                Node n;
                if (ix_.readNode(t, w.off, n) != 0) {
                    problem(where + ": " + ix_.lastText());
                    ix_.clearError();
                    return;
                }
                ++rep_.nodes;
                if (j == 0) leafLevel = n.leaf();
                if (n.leaf() != leafLevel) problem(where + ": leaves at different depths");
                if ((n.attr & 3) != ((depth == 0 ? kAttrRoot : 0) | (n.leaf() ? kAttrLeaf : 0)))
                    problem(where + ": attribute " + std::to_string(n.attr) +
                            " wrong for its place");
                uint32_t wantLeft = j == 0 ? kNoLink : static_cast<uint32_t>(level[j - 1].off);
                uint32_t wantRight =
                    j + 1 == level.size() ? kNoLink : static_cast<uint32_t>(level[j + 1].off);
                if (n.left != wantLeft) problem(where + ": left sibling link wrong");
                if (n.right != wantRight) problem(where + ": right sibling link wrong");
                if (n.count() == 0 && depth > 0) problem(where + ": empty node below the root");
                if (n.count() == 0 && depth == 0 && !n.leaf())
                    problem(where + ": empty root branch");
                for (size_t i = 0; i < n.count(); ++i) {
                    const uint8_t* k = n.key(i, kl);
                    if (prevHave && compareEntry(prevKey.data(), prevRec, k, n.recs[i], kl) >= 0)
                        problem(where + ": key order broken at entry " + std::to_string(i));
                    prevKey.assign(k, k + kl);
                    prevRec = n.recs[i];
                    prevHave = true;
                    if (n.leaf()) {
                        if (isDir) {
                            if (!headerOffsets.count(n.recs[i]))
                                problem(where + ": directory entry points at no tag header");
                        } else if (n.recs[i] == 0 || n.recs[i] > recordCount) {
                            problem(where + ": record " + std::to_string(n.recs[i]) +
                                    " outside the table");
                        }
                        entries.push_back({std::vector<uint8_t>(k, k + kl), n.recs[i]});
                        ++rep_.entries;
                    } else {
                        uint32_t c = n.children[i];
                        if (static_cast<int64_t>(c + ix_.blockSize()) > ix_.fileLen_ || c < 1024) {
                            problem(where + ": child pointer outside the file");
                            return;
                        }
                        below.push_back({c, true, std::vector<uint8_t>(k, k + kl), n.recs[i]});
                    }
                }
                if (w.haveLast) {
                    if (n.count() == 0 || compareEntry(n.key(n.count() - 1, kl), n.recs.back(),
                                                       w.key.data(), w.rec, kl) != 0)
                        problem(where + ": parent entry differs from the node's last key");
                }
            }
            if (leafLevel) {
                if (!below.empty()) problem(label + ": branch and leaf levels mixed");
                break;
            }
            level.swap(below);
        }
    }

    void run(uint64_t recordCount, const std::map<std::string, std::vector<Entry>>* expected) {
        std::set<uint32_t> headers;
        claim(0, "index header", 512);
        claim(512, "index header", 512);
        for (auto& t : ix_.tags_) {
            headers.insert(static_cast<uint32_t>(t->headerOffset_));
            claim(t->headerOffset_, "tag header " + t->name_, 512);
            claim(t->headerOffset_ + 512, "tag header " + t->name_, 512);
        }
        std::vector<Entry> dirEntries;
        tree(*ix_.dir_, "tag directory", true, recordCount, headers, dirEntries);
        for (size_t i = 1; i < dirEntries.size(); ++i)
            if (dirEntries[i].key == dirEntries[i - 1].key)
                problem("tag directory: duplicate tag name");
        std::map<std::string, std::vector<Entry>> held;
        for (auto& t : ix_.tags_) {
            std::vector<Entry>& e = held[t->name_];
            tree(*t, "tag " + t->name_, false, recordCount, headers, e);
            if (t->unique() && t->uniqueCode_ != 0)
                for (size_t i = 1; i < e.size(); ++i)
                    if (e[i].key == e[i - 1].key) {
                        problem("tag " + t->name_ + ": unique key held twice: " + show(e[i].key));
                        break;
                    }
        }
        // Free list.
        uint32_t f = ix_.freeHead_;
        size_t guard = 0;
        while (f != 0) {
            if (f % 512 != 0 || f < 1024 ||
                static_cast<int64_t>(f + ix_.blockSize()) > ix_.fileLen_) {
                problem("free list: block " + std::to_string(f) + " outside the file");
                break;
            }
            if (!claim(f, "free list")) break;
            uint8_t b[4];
            if (ix_.io_->read(f, b, 4) != 4) {
                problem("free list: short block");
                break;
            }
            f = static_cast<uint32_t>(b[0] | (b[1] << 8) | (b[2] << 16) |
                                      (static_cast<uint32_t>(b[3]) << 24));
            if (++guard > static_cast<size_t>(ix_.fileLen_ / 512)) {
                problem("free list: cycle");
                break;
            }
        }
        overlaps();
        if (!expected) return;
        for (const auto& [name, want] : *expected) {
            auto it = held.find(name);
            if (it == held.end()) {
                problem("tag " + name + ": missing from the index");
                continue;
            }
            // Content is compared as a set; the order is the walk's business
            // (reported above), so a writer with its own collation is judged
            // only on what it holds.
            auto have = it->second;
            auto less = [](const Entry& a, const Entry& b) {
                if (a.key != b.key) return a.key < b.key;
                return a.rec < b.rec;
            };
            std::sort(have.begin(), have.end(), less);
            std::vector<Entry> sortedWant = want;
            std::sort(sortedWant.begin(), sortedWant.end(), less);
            if (have.size() != sortedWant.size())
                problem("tag " + name + ": holds " + std::to_string(have.size()) +
                        " keys, the table gives " + std::to_string(sortedWant.size()));
            std::vector<Entry> missing, extra;
            std::set_difference(sortedWant.begin(), sortedWant.end(), have.begin(), have.end(),
                                std::back_inserter(missing), less);
            std::set_difference(have.begin(), have.end(), sortedWant.begin(), sortedWant.end(),
                                std::back_inserter(extra), less);
            if (!missing.empty())
                problem("tag " + name + ": " + std::to_string(missing.size()) +
                        " entries missing, first record " + std::to_string(missing[0].rec) + " '" +
                        show(missing[0].key) + "'");
            if (!extra.empty())
                problem("tag " + name + ": " + std::to_string(extra.size()) +
                        " entries not from the table, first record " +
                        std::to_string(extra[0].rec) + " '" + show(extra[0].key) + "'");
        }
    }

private:
    Index& ix_;
    CheckReport& rep_;
    std::set<uint64_t> seen_;
    std::map<uint64_t, std::pair<uint64_t, std::string>> spans_;  // offset -> length, use
};

CheckReport Index::check(uint64_t recordCount,
                         const std::map<std::string, std::vector<Entry>>* expected) {
    CheckReport rep;
    if (!dir_) {
        rep.problems.push_back("index not open");
        return rep;
    }
    int savedErr = lastError_, savedLoc = lastLocation_;
    std::string savedText = lastText_;
    // Check what is on disk, with everything held back written first.
    if (flush() != 0) rep.problems.push_back("index write failed: " + lastText_);
    dropCache();
    Checker(*this, rep).run(recordCount, expected);
    lastError_ = savedErr;
    lastLocation_ = savedLoc;
    lastText_ = savedText;
    return rep;
}

}  // namespace cdx4
