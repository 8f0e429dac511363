// Tag orders beyond plain machine order: the descending walk's seek, the general collation
// of character keys and the choice of node size.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/cdx4.h"

namespace cdx4 {

bool validBlockLayout(uint32_t blockSize, uint32_t multiplier) {
    return blockSize >= 512 && blockSize % 512 == 0 && blockSize <= 32768 && multiplier >= 1 &&
           multiplier <= 1024 && blockSize % multiplier == 0;
}

int Index::setBlockLayout(uint32_t blockSize, uint32_t multiplier) {
    if (!validBlockLayout(blockSize, multiplier))
        return fail(kErrCorrupt, kLocCreateTag,
                    "index block size " + std::to_string(blockSize) + " with multiplier " +
                        std::to_string(multiplier) + " is not possible");
    blockSize_ = blockSize;
    multiplier_ = multiplier;
    return 0;
}

// Keys stay stored ascending; a descending tag walks them from the end.  Its seek stands
// on the first entry in that walk whose prefix equals the sought bytes: the last stored
// entry with that prefix.  That is the entry just before the first one whose prefix is
// greater, and "prefix greater than s" is "prefix at least s with its last byte below
// 0xFF raised by one and the rest cut".
int Tree::seekLast(const uint8_t* key, size_t len, Pos& pos) {
    len = std::min<size_t>(len, keyLen_);
    std::vector<uint8_t> above(key, key + len);
    while (!above.empty() && above.back() == 0xFF) above.pop_back();
    int rc;
    if (above.empty()) {
        rc = bottom(pos);  // nothing can be greater: start from the last entry
    } else {
        ++above.back();
        rc = seek(above.data(), above.size(), pos);
        if (rc == kEof)
            rc = bottom(pos);
        else if (rc >= 0)
            rc = prev(pos);
    }
    if (rc < 0) return rc;
    if (rc != 0) {
        pos.state = kEof;
        return kEof;
    }
    return std::memcmp(pos.key.data(), key, len) == 0 ? kFound : kAfter;
}

namespace {

// Base letter (upper case) of a Windows-1252 letter, 0 for anything else.
char baseLetter(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<char>(c);
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 32);
    switch (c) {
        case 0x8A:
        case 0x9A:
            return 'S';  // S caron
        case 0x8E:
        case 0x9E:
            return 'Z';  // Z caron
        case 0x8C:
        case 0x9C:
            return 'O';  // OE ligature
        case 0x9F:
        case 0xDD:
        case 0xFD:
        case 0xFF:
            return 'Y';
        case 0x83:
            return 'F';  // f hook
        case 0xC7:
        case 0xE7:
            return 'C';
        case 0xD0:
        case 0xF0:
            return 'D';  // eth
        case 0xD1:
        case 0xF1:
            return 'N';
        case 0xDF:
            return 'S';  // sharp s
        case 0xDE:
        case 0xFE:
            return 'T';  // thorn
        default:
            break;
    }
    if ((c >= 0xC0 && c <= 0xC6) || (c >= 0xE0 && c <= 0xE6)) return 'A';
    if ((c >= 0xC8 && c <= 0xCB) || (c >= 0xE8 && c <= 0xEB)) return 'E';
    if ((c >= 0xCC && c <= 0xCF) || (c >= 0xEC && c <= 0xEF)) return 'I';
    if ((c >= 0xD2 && c <= 0xD6) || c == 0xD8 || (c >= 0xF2 && c <= 0xF6) || c == 0xF8) return 'O';
    if ((c >= 0xD9 && c <= 0xDC) || (c >= 0xF9 && c <= 0xFC)) return 'U';
    return 0;
}

int digitOf(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c == 0xB9) return 1;  // superscripts
    if (c == 0xB2) return 2;
    if (c == 0xB3) return 3;
    return -1;
}

struct Weights {
    uint8_t w[256];
    Weights() {
        // Blanks and controls first, then symbols in code order, digits, letters.
        uint8_t next = 1;
        for (int c = 0; c < 256; ++c) {
            auto u = static_cast<unsigned char>(c);
            if (c <= 0x20 || c == 0xA0 || c == 0x7F) {
                w[c] = 0;
            } else if (!baseLetter(u) && digitOf(u) < 0) {
                w[c] = next++;
            }
        }
        const uint8_t digits = next;
        for (int c = 0; c < 256; ++c) {
            auto u = static_cast<unsigned char>(c);
            if (int d = digitOf(u); d >= 0) w[c] = static_cast<uint8_t>(digits + d);
        }
        const uint8_t letters = static_cast<uint8_t>(digits + 10);
        for (int c = 0; c < 256; ++c) {
            auto u = static_cast<unsigned char>(c);
            if (char b = baseLetter(u)) w[c] = static_cast<uint8_t>(letters + (b - 'A'));
        }
    }
};

}  // namespace

void collateGeneral(uint8_t* text, size_t len) {
    static const Weights table;
    for (size_t i = 0; i < len; ++i) text[i] = table.w[text[i]];
}

}  // namespace cdx4
