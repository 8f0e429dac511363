#pragma once
// The change stamp of a group: a 60-byte file beside the group file ("<base>Update.bin") that
// whoever changes today's reservations rewrites, and that every other open copy of the group
// polls once a minute. Bytes 0-23 are reserved (zero when this program creates the file, else
// written back as last seen); bytes 24-59 hold the local time of the last change as nine
// little-endian int32: second, minute, hour, day of month, month 0-11, years since 1900,
// weekday (0 = Sunday), day of year 0-365, daylight-saving flag. The file is never locked.
#include <array>
#include <cstdint>
#include <string>

namespace quorvane {

class ChangeStamp {
public:
    static constexpr std::size_t kSize = 60;
    using Bytes = std::array<std::uint8_t, kSize>;

    ChangeStamp() = default;
    ~ChangeStamp();
    ChangeStamp(const ChangeStamp&) = delete;
    ChangeStamp& operator=(const ChangeStamp&) = delete;

    // A new group: creates (or truncates) the file and writes a stamp. False when the file
    // cannot be made; the group then works without a stamp.
    bool create(const std::string& path);
    // An opened group: reads the stamp into the last seen one, or creates the file when it is
    // missing. A file that exists but cannot be opened read-write stays closed.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }

    // Puts the present local time into the last seen stamp and writes it to disk (flushed).
    // Nothing happens while the file is not open.
    void write();
    // True when the file holds a stamp other than the last seen one (which it then becomes).
    // With `forceFlush` the file is closed and opened again first, so that no cached content
    // is read. A read that fails gives 60 zero bytes. False without touching the file when
    // `refresh` is off.
    bool check(bool refresh, bool forceFlush);

    const Bytes& lastSeen() const { return lastSeen_; }
    const Bytes& readStamp() const { return read_; }
    const std::string& path() const { return path_; }

    // The nine values of the layout for a time (seconds since 1970, local time zone).
    static void encodeTime(std::int64_t seconds, Bytes& stamp);

private:
    bool readInto(Bytes& out);

    int fd_ = -1;
    std::string path_;
    Bytes lastSeen_{};
    Bytes read_{};
};

}  // namespace quorvane
