// Block access for compound index files.
//
// The index code reads and writes whole nodes at byte offsets. It talks to the
// file through this small interface so that the same tree code runs on a plain
// POSIX descriptor (tests, tools) and on the engine's shared file object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Index4Io {
public:
    virtual ~Index4Io() = default;
    // Reads up to len bytes at off; returns the number of bytes read (short at
    // the end of the file) or a negative value on failure.
    virtual long read(uint64_t off, void* buf, size_t len) = 0;
    // Writes len bytes at off, extending the file when needed; 0 or negative.
    virtual int write(uint64_t off, const void* buf, size_t len) = 0;
    // Current length in bytes, negative on failure.
    virtual int64_t length() = 0;
    // Truncates or extends the file to len bytes; 0 or negative.
    virtual int setLength(uint64_t len) = 0;
    // Makes earlier writes durable; 0 or negative.
    virtual int flush() { return 0; }
};

// Index4Io over a POSIX file descriptor.
class Index4FdIo final : public Index4Io {
public:
    // Takes ownership of fd when own is true.
    explicit Index4FdIo(int fd, bool own = true) : fd_(fd), own_(own) {}
    ~Index4FdIo() override;
    Index4FdIo(const Index4FdIo&) = delete;
    Index4FdIo& operator=(const Index4FdIo&) = delete;

    // Opens (or, with create, creates and truncates) path; nullptr on failure.
    static Index4FdIo* openPath(const std::string& path, bool create);

    long read(uint64_t off, void* buf, size_t len) override;
    int write(uint64_t off, const void* buf, size_t len) override;
    int64_t length() override;
    int setLength(uint64_t len) override;
    int flush() override;
    int fd() const { return fd_; }

private:
    int fd_;
    bool own_;
};
