#pragma once
// The Windows-1252 table, without Qt, so the group-file reader and the Qt boundary share one
// definition. Bytes 0x00-0x7F and 0xA0-0xFF equal their code points; 0x80-0x9F map through the
// table. The five bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to
// the C1 control of the same number and back, so every byte survives a round trip.
#include <cstdint>
#include <string_view>

namespace quorvane::cp1252 {

inline constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80-0x87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88-0x8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90-0x97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98-0x9F
};

constexpr char16_t toUnicode(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : char16_t(byte);
}

// The byte for a code point, or -1 when Windows-1252 cannot hold it.
constexpr int fromUnicode(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return int(c);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == c) return 0x80 + i;
    return -1;
}

// The first character of `text` that Windows-1252 cannot hold, or 0 when it holds them all. A
// stored field would get '?' in its place, so every text field that reaches a table refuses it.
constexpr char32_t firstUnstorable(std::u32string_view text) {
    for (char32_t c : text)
        if (fromUnicode(c) < 0) return c;
    return 0;
}

}  // namespace quorvane::cp1252
