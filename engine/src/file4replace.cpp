#include "engine/file4replace.h"

#include <sys/stat.h>

#include <cerrno>
#include <random>

#include "engine/io4.h"

namespace {

// ".<name>.<6 letters>~": hidden, and matching no pattern the program lists or opens.
std::string temporaryName(const std::string& folder, const std::string& name) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random{std::random_device{}()};
    std::string tmp = folder + "/." + name.substr(0, 200) + ".";
    for (int i = 0; i < 6; ++i) tmp += letters[random() % (sizeof letters - 1)];
    return tmp + "~";
}

}  // namespace

std::string file4folder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

int file4writeAll(int fd, const void* bytes, std::size_t size, off_t at) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    while (size > 0) {
        const ssize_t n = io4()->pwrite(fd, p, size, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return ENOSPC;  // no progress: the disk takes nothing more
        p += n;
        at += n;
        size -= std::size_t(n);
    }
    return 0;
}

int file4syncFolder(const std::string& path) {
    const int dir = io4()->open(file4folder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
    if (dir < 0) return 0;
    const int error = io4()->fsync(dir) != 0 ? errno : 0;
    io4()->close(dir);
    return error;
}

File4Replace::~File4Replace() {
    abandon();
}

int File4Replace::fail(int error) {
    if (error_ == 0) error_ = error ? error : EIO;
    return error_;
}

int File4Replace::begin(const std::string& target, Mode mode, bool readWrite) {
    abandon();
    error_ = 0;
    size_ = 0;
    mode_ = mode;
    target_ = target;
    const std::size_t slash = target.rfind('/');
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") return fail(EISDIR);

    // Only a regular file hands on its permissions; a link or anything else planted under the
    // name is replaced by a new file under the usual ones.
    struct stat st {};
    bool keepMode = false;
    if (::lstat(target.c_str(), &st) == 0) {
        if (mode == Mode::CreateOnly) return fail(EEXIST);
        if (S_ISDIR(st.st_mode)) return fail(EISDIR);
        keepMode = S_ISREG(st.st_mode);
    } else if (errno != ENOENT) {
        return fail(errno);
    }

    const std::string folder = file4folder(target);
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        const std::string tmp = temporaryName(folder, name);
        fd_ = io4()->open(
            tmp.c_str(),
            (readWrite ? O_RDWR : O_WRONLY) | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            temporary_ = tmp;
        } else if (errno != EEXIST) {
            return fail(errno);
        }
    }
    if (fd_ < 0) return fail(EEXIST);
    if (keepMode && io4()->fchmod(fd_, st.st_mode & 07777) != 0) {
        const int e = errno;
        abandon();
        return fail(e);
    }
    return 0;
}

int File4Replace::writeAt(off_t position, const void* bytes, std::size_t size) {
    if (error_) return error_;
    if (fd_ < 0) return fail(EBADF);
    if (const int e = file4writeAll(fd_, bytes, size, position)) return fail(e);
    if (position + off_t(size) > size_) size_ = position + off_t(size);
    return 0;
}

int File4Replace::write(const void* bytes, std::size_t size) {
    return writeAt(size_, bytes, size);
}

int File4Replace::commit(int* kept) {
    if (kept) *kept = -1;
    if (error_ == 0 && fd_ < 0) fail(EBADF);
    if (error_) {
        abandon();
        return error_;
    }
    // The size the kernel reports must be what was written: a write that claimed success
    // and left a hole or less behind is not taken as done.
    struct stat st {};
    if (io4()->fstat(fd_, &st) != 0)
        fail(errno);
    else if (st.st_size != size_)
        fail(EIO);
    if (error_ == 0 && io4()->fdatasync(fd_) != 0) fail(errno);
    const int fd = fd_;
    if (!kept) {
        fd_ = -1;
        if (io4()->close(fd) != 0) fail(errno);
    }
    const unsigned flags = mode_ == Mode::CreateOnly ? RENAME_NOREPLACE : 0;
    if (error_ == 0 && io4()->rename(temporary_.c_str(), target_.c_str(), flags) != 0) fail(errno);
    if (error_) {
        abandon();
        return error_;
    }
    temporary_.clear();
    if (kept) {
        fd_ = -1;
        *kept = fd;
    }

    // The rename lasts only once the folder's entries are on the disk.
    if (const int e = file4syncFolder(target_)) fail(e);
    return error_;
}

void File4Replace::abandon() {
    if (fd_ >= 0) io4()->close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) io4()->unlink(temporary_.c_str());
    temporary_.clear();
}

int file4replace(const std::string& target, std::span<const std::uint8_t> bytes,
                 File4Replace::Mode mode) {
    File4Replace file;
    if (const int e = file.begin(target, mode)) return e;
    file.write(bytes.data(), bytes.size());
    return file.commit();
}
