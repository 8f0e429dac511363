#pragma once
// The byte archive of the group file: little-endian integers and length-prefixed strings.
// No Qt here, so the reader can be fuzzed on its own.
//
// String length prefix:
//   < 255            one byte
//   255 .. 65533     0xFF, uint16
//   65534 and above  0xFF, uint16 0xFFFF, uint32
// A prefix of 0xFF, uint16 0xFFFE marks a UTF-16 string; the length that follows (in the same
// forms) counts 16-bit units. Such strings are read and converted to Windows-1252; strings are
// always written in the single-byte form.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

// Reads from a byte buffer. The first read that runs past the end fails, marks the reader
// failed, and every later read fails too, so a caller may check once at the end.
class ArchiveReader {
public:
    explicit ArchiveReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool readU8(std::uint8_t& v);
    bool readU16(std::uint16_t& v);
    bool readU32(std::uint32_t& v);
    bool readI32(std::int32_t& v);
    // The characters as Windows-1252 bytes; UTF-16 strings are converted, one '?' for each
    // character the code page cannot hold.
    bool readString(std::string& out);

    bool ok() const { return !failed_; }
    std::size_t remaining() const { return bytes_.size() - pos_; }
    std::size_t position() const { return pos_; }

private:
    bool take(std::size_t n, const std::uint8_t*& p);
    bool readLength(std::uint64_t& length, bool& utf16);

    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

class ArchiveWriter {
public:
    void writeU8(std::uint8_t v) { bytes_.push_back(v); }
    void writeU16(std::uint16_t v);
    void writeU32(std::uint32_t v);
    void writeI32(std::int32_t v) { writeU32(static_cast<std::uint32_t>(v)); }
    void writeString(std::string_view s);

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
    std::vector<std::uint8_t> take() { return std::move(bytes_); }

private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace quorvane
