// Replacing a whole file so that a reader, a crash or a full disk sees either the old content
// or the new, never a mix, and never writing through a symbolic link. Used for every file the
// program writes whole into a folder it does not trust (a shared group folder): the group
// file, the exports.
//
// The new content goes into a temporary file created beside the target (O_CREAT | O_EXCL |
// O_NOFOLLOW, so nothing planted under that name is opened), is written out and synced, and
// is then renamed over the target: a symbolic link at the target is replaced itself. The
// folder is synced so the rename lasts. Any failure removes the temporary file and leaves the
// target as it was. Every call goes through the system-call seam (io4.h), so tests inject
// short writes, a full disk or a failing rename.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

class File4Replace {
public:
    enum class Mode {
        Replace,     // an existing target is replaced; a regular file's permissions are kept
        CreateOnly,  // an existing target (anything, a dangling link too) fails with EEXIST
    };

    File4Replace() = default;
    ~File4Replace();  // abandons what was not committed
    File4Replace(const File4Replace&) = delete;
    File4Replace& operator=(const File4Replace&) = delete;

    // Creates the temporary file beside `target` (opened for reading too with `readWrite`, for a
    // caller that goes on using it as the target). 0 or the errno.
    int begin(const std::string& target, Mode mode = Mode::Replace, bool readWrite = false);
    // Appends after the furthest byte written so far. 0 or the errno (the first failure sticks).
    int write(const void* bytes, std::size_t size);
    int writeAt(off_t position, const void* bytes, std::size_t size);
    // Checks the file holds every byte written, syncs it, renames it over the target and syncs
    // the folder. 0 or the errno; on failure the target is as it was. With `kept` the descriptor
    // is not closed but handed over once the rename was made (-1 when it was not): a failing
    // sync of the folder is reported, yet the target is then the new file.
    int commit(int* kept = nullptr);
    // The temporary file's descriptor while it is being written (-1 when none).
    int descriptor() const { return fd_; }
    // Removes the temporary file; the target is untouched.
    void abandon();

    bool isOpen() const { return fd_ >= 0; }
    int error() const { return error_; }
    const std::string& target() const { return target_; }

private:
    int fail(int error);

    int fd_ = -1;
    int error_ = 0;
    Mode mode_ = Mode::Replace;
    off_t size_ = 0;
    std::string target_, temporary_;
};

// The whole content in one call: begin, write, commit. 0 or the errno.
int file4replace(const std::string& target, std::span<const std::uint8_t> bytes,
                 File4Replace::Mode mode = File4Replace::Mode::Replace);

// The folder a path's entry is in ("." for a bare name).
std::string file4folder(const std::string& path);
// Writes all `size` bytes at `at` through the seam, again after a short write: 0 or the errno
// (ENOSPC when a write makes no progress).
int file4writeAll(int fd, const void* bytes, std::size_t size, off_t at);
// Makes the entries of the folder `path` is in last (a creation, a rename, a removal): 0 or the
// errno. A folder that cannot be opened for reading (write and search permission only) cannot
// be synced; that is no failure.
int file4syncFolder(const std::string& path);
