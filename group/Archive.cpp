#include "group/Archive.h"

#include <algorithm>

#include "base/Cp1252.h"

namespace quorvane {

bool ArchiveReader::take(std::size_t n, const std::uint8_t*& p) {
    if (failed_ || n > remaining()) {
        failed_ = true;
        return false;
    }
    p = bytes_.data() + pos_;
    pos_ += n;
    return true;
}

bool ArchiveReader::readU8(std::uint8_t& v) {
    const std::uint8_t* p = nullptr;
    if (!take(1, p)) return false;
    v = p[0];
    return true;
}

bool ArchiveReader::readU16(std::uint16_t& v) {
    const std::uint8_t* p = nullptr;
    if (!take(2, p)) return false;
    v = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    return true;
}

bool ArchiveReader::readU32(std::uint32_t& v) {
    const std::uint8_t* p = nullptr;
    if (!take(4, p)) return false;
    v = std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
        (std::uint32_t(p[3]) << 24);
    return true;
}

bool ArchiveReader::readI32(std::int32_t& v) {
    std::uint32_t u = 0;
    if (!readU32(u)) return false;
    v = static_cast<std::int32_t>(u);
    return true;
}

bool ArchiveReader::readLength(std::uint64_t& length, bool& utf16) {
    utf16 = false;
    std::uint8_t b = 0;
    if (!readU8(b)) return false;
    if (b < 0xFF) {
        length = b;
        return true;
    }
    std::uint16_t w = 0;
    if (!readU16(w)) return false;
    if (w == 0xFFFE) {
        // UTF-16 marker; the real length follows in the same forms. A second 0xFFFE there
        // is a length of 65534, not another marker.
        utf16 = true;
        if (!readU8(b)) return false;
        if (b < 0xFF) {
            length = b;
            return true;
        }
        if (!readU16(w)) return false;
    }
    if (w < 0xFFFF) {
        length = w;
        return true;
    }
    std::uint32_t d = 0;
    if (!readU32(d)) return false;
    length = d;
    return true;
}

bool ArchiveReader::readString(std::string& out) {
    std::uint64_t length = 0;
    bool utf16 = false;
    if (!readLength(length, utf16)) return false;
    const std::uint64_t byteCount = utf16 ? length * 2 : length;
    // Checked before allocating, so a damaged length cannot ask for gigabytes.
    if (byteCount > remaining()) {
        failed_ = true;
        return false;
    }
    const std::uint8_t* p = nullptr;
    if (!take(static_cast<std::size_t>(byteCount), p)) return false;
    out.clear();
    if (!utf16) {
        out.assign(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length));
        return true;
    }
    out.reserve(static_cast<std::size_t>(length));
    for (std::uint64_t i = 0; i < length; ++i) {
        const char16_t unit = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length) {
            const char16_t next = static_cast<char16_t>(p[2 * i + 2] | (p[2 * i + 3] << 8));
            if (next >= 0xDC00 && next <= 0xDFFF) {
                ++i;  // a pair is one character beyond the code page
                out.push_back('?');
                continue;
            }
        }
        const int b = cp1252::fromUnicode(unit);
        out.push_back(b < 0 ? '?' : static_cast<char>(b));
    }
    return true;
}

void ArchiveWriter::writeU16(std::uint16_t v) {
    bytes_.push_back(static_cast<std::uint8_t>(v & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
}

void ArchiveWriter::writeU32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void ArchiveWriter::writeString(std::string_view s) {
    // Texts held by a group are far below 4 GiB; anything longer is cut, never wrapped.
    const std::uint64_t n = std::min<std::uint64_t>(s.size(), UINT32_MAX);
    if (n < 0xFF) {
        writeU8(static_cast<std::uint8_t>(n));
    } else if (n < 0xFFFE) {
        writeU8(0xFF);
        writeU16(static_cast<std::uint16_t>(n));
    } else {
        writeU8(0xFF);
        writeU16(0xFFFF);
        writeU32(static_cast<std::uint32_t>(n));
    }
    bytes_.insert(bytes_.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
}

}  // namespace quorvane
