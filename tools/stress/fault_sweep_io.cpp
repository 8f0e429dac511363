// The fault sweep's system-call seam: it counts the writes, truncations, renames and syncs of an
// operation (its fault points), injects the one fault of a trial and records every call for the
// power-loss replay; and the child process that runs an operation under it.
#include <execinfo.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include "engine/io4.h"
#include "fault_sweep_internal.h"

namespace faultsweep {

const char* faultName(Fault f) {
    switch (f) {
        case Fault::killBefore:
            return "kill before";
        case Fault::killHalf:
            return "kill mid-write";
        case Fault::eio:
            return "EIO";
        case Fault::enospc:
            return "ENOSPC";
        case Fault::none:
            break;
    }
    return "none";
}

// Writes a line to the report file with plain system calls, past the seam.
void reportLine(int fd, const std::string& line) {
    const std::string l = line + "\n";
    if (fd >= 0 && ::write(fd, l.data(), l.size()) != ssize_t(l.size())) ::_exit(90);
}

// Counts the writes, truncations and syncs (the fault points) in the order they are made,
// injects the one fault asked for, and records every call for the power-loss replay.
class SweepIo final : public Io4 {
public:
    SweepIo(long target, Fault fault, int reportFd, bool record)
        : target_(target), fault_(fault), report_(reportFd), record_(record) {}

    int open(const char* path, int flags, mode_t mode) override {
        const int fd = Io4::open(path, flags, mode);
        if (fd >= 0) {
            std::lock_guard<std::mutex> g(m_);
            paths_[fd] = path;
            if (record_ && (flags & (O_CREAT | O_TRUNC)))
                events_.push_back({'o', path, flags & O_TRUNC, {}});
        }
        return fd;
    }
    int close(int fd) override {
        {
            std::lock_guard<std::mutex> g(m_);
            paths_.erase(fd);
        }
        return Io4::close(fd);
    }
    int unlink(const char* path) override {
        const int r = Io4::unlink(path);
        if (r == 0 && record_) {
            std::lock_guard<std::mutex> g(m_);
            events_.push_back({'u', path, 0, {}});
        }
        return r;
    }
    // A write is torn only where the disk can tear it: at a sector boundary. A sector (512
    // bytes) is written whole or not at all, and a killed process stops a write only between
    // pages, which are whole sectors too; so a write inside one sector ('w') cannot be torn,
    // one across a boundary ('W') can, and its tear keeps the sectors before the boundary
    // nearest its middle.
    ssize_t pwrite(int fd, const void* buf, size_t len, off_t pos) override {
        const off_t first = (pos / kSector + 1) * kSector;
        const bool crosses = off_t(pos + off_t(len)) > first;
        const Fault f = point(crosses ? 'W' : 'w');
        if (f == Fault::killHalf && crosses) {
            off_t cut = (pos + off_t(len / 2)) / kSector * kSector;
            if (cut <= pos) cut = first;
            Io4::pwrite(fd, buf, size_t(cut - pos), pos);
            ::_exit(77);
        }
        if (f == Fault::eio || f == Fault::enospc || full_) {
            if (f == Fault::enospc) full_ = true;  // a full disk stays full
            errno = f == Fault::eio ? EIO : ENOSPC;
            return -1;
        }
        const ssize_t n = Io4::pwrite(fd, buf, len, pos);
        if (n > 0 && record_) {
            std::lock_guard<std::mutex> g(m_);
            events_.push_back(
                {'w', pathOf(fd), pos, std::string(static_cast<const char*>(buf), size_t(n))});
        }
        return n;
    }
    int ftruncate(int fd, off_t len) override {
        if (failed(point('t'))) return -1;
        const int r = Io4::ftruncate(fd, len);
        if (r == 0 && record_) {
            std::lock_guard<std::mutex> g(m_);
            events_.push_back({'t', pathOf(fd), len, {}});
        }
        return r;
    }
    // A rename is a point of its own ('r'); the descriptors of the renamed file follow it.
    int rename(const char* from, const char* to, unsigned flags) override {
        if (failed(point('r'))) return -1;
        const int r = Io4::rename(from, to, flags);
        if (r == 0) {
            std::lock_guard<std::mutex> g(m_);
            for (auto& [fd, path] : paths_)
                if (path == from) path = to;
            if (record_) events_.push_back({'r', from, 0, to});
        }
        return r;
    }
    // The sync of a folder after a rename is a sync point like the files' own.
    int fsync(int fd) override { return sync(fd, true); }
    int fdatasync(int fd) override { return sync(fd, false); }
    // The caller was told something: a mark in the recorded stream.
    void told(const std::string& what) {
        std::lock_guard<std::mutex> g(m_);
        if (record_) events_.push_back({'a', {}, 0, what});
    }

    long points() const { return calls_.load(); }
    std::string kinds() const {
        std::lock_guard<std::mutex> g(m_);
        return kinds_;
    }
    bool fired() const { return fired_.load(); }
    std::vector<Event> events() const {
        std::lock_guard<std::mutex> g(m_);
        return events_;
    }

private:
    // An injected failure: errno set, and true.
    static bool failed(Fault f) {
        if (f != Fault::eio && f != Fault::enospc) return false;
        errno = f == Fault::eio ? EIO : ENOSPC;
        return true;
    }
    int sync(int fd, bool folder) {
        if (failed(point('s'))) return -1;
        const int r = folder ? Io4::fsync(fd) : Io4::fdatasync(fd);
        if (record_) {
            std::lock_guard<std::mutex> g(m_);
            events_.push_back({'s', pathOf(fd), 0, {}});
        }
        return r;
    }
    Fault point(char kind) {
        const long k = ++calls_;
        {
            std::lock_guard<std::mutex> g(m_);
            if (record_) kinds_ += kind;
        }
        if (k != target_ || fault_ == Fault::none) return Fault::none;
        fired_ = true;
        reportLine(report_, "fired");
        if (std::getenv("QUORVANE_SWEEP_TRACE")) {
            void* frames[32];
            ::backtrace_symbols_fd(frames, ::backtrace(frames, 32), 2);
        }
        if (fault_ == Fault::killBefore) ::_exit(77);
        return fault_;
    }
    // The tables were opened before the seam was installed: their paths come from the system.
    std::string pathOf(int fd) const {
        auto it = paths_.find(fd);
        if (it != paths_.end()) return it->second;
        char buf[4096];
        const ssize_t n =
            ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), buf, sizeof buf);
        return n > 0 ? std::string(buf, std::size_t(n)) : std::string();
    }

    const long target_;
    const Fault fault_;
    const int report_;
    const bool record_;
    std::atomic<long> calls_{0};
    std::atomic<bool> fired_{false}, full_{false};
    mutable std::mutex m_;
    std::map<int, std::string> paths_;
    std::string kinds_;
    std::vector<Event> events_;
};

SweepIo* g_io = nullptr;
int g_report = -1;

// What the operation tells its caller, to the report file and into the recorded stream.
void ack(const std::string& unit, int code) {
    const std::string l = "ack " + unit + " " + std::to_string(code);
    if (g_io) g_io->told(l);
    reportLine(g_report, l);
}
void told(int code) {
    const std::string l = "told " + std::to_string(code);
    if (g_io) g_io->told(l);
    reportLine(g_report, l);
}

// ----- the child -----

// Runs the operation on the copy in `folder` in a child process under SweepIo.
ChildResult runChild(const Operation& op, const std::string& folder, long target, Fault fault,
                     bool record) {
    ChildResult res;
    const std::string reportPath = folder + ".report", eventsPath = folder + ".events";
    ::unlink(reportPath.c_str());
    ::unlink(eventsPath.c_str());
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The operation's own output would drown the table; QUORVANE_SWEEP_OUTPUT keeps it.
        if (!std::getenv("QUORVANE_SWEEP_OUTPUT")) {
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 1);
            ::dup2(devnull, 2);
        }
        g_report = ::open(reportPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        const std::string group = folder + "/" + kGroupName;
        Tables t;
        if (t.open(group) != 0) ::_exit(91);
        SweepIo io(target, fault, g_report, record);
        g_io = &io;
        io4set(&io);
        op.run(t, group);
        // What the operation wrote ends with its telling; the close is the group's (the purge
        // sweeps it).
        io4set(nullptr);
        g_io = nullptr;
        t.s.Close();
        t.p.Close();
        t.m.Close();
        // The count, the kinds of point and the recorded stream for the parent.
        std::string out = io.kinds() + "\n";
        for (const Event& e : io.events()) {
            out += e.type;
            out += " " + std::to_string(e.off) + " " + std::to_string(e.path.size()) + " " +
                   std::to_string(e.data.size()) + " " + e.path + e.data + "\n";
        }
        const int fd = ::open(eventsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const bool ok = fd >= 0 && ::write(fd, out.data(), out.size()) == ssize_t(out.size());
        if (fd >= 0) ::close(fd);
        ::_exit(ok ? 0 : 92);
    }
    int st = 0;
    ::waitpid(pid, &st, 0);
    res.crashed = !WIFEXITED(st) || WEXITSTATUS(st) != 0;
    std::string text;
    readFile(reportPath, text);
    res.told = parseReport(text);
    if (readFile(eventsPath, text)) {
        const std::size_t nl = text.find('\n');
        res.kinds = text.substr(0, nl);
        std::size_t at = nl + 1;
        while (at < text.size()) {
            Event e;
            e.type = text[at];
            std::size_t pathLen = 0, dataLen = 0;
            char* end = nullptr;
            e.off = std::strtoll(text.c_str() + at + 2, &end, 10);
            pathLen = std::strtoul(end, &end, 10);
            dataLen = std::strtoul(end, &end, 10);
            const std::size_t p = std::size_t(end - text.c_str()) + 1;
            e.path = text.substr(p, pathLen);
            e.data = text.substr(p + pathLen, dataLen);
            at = p + pathLen + dataLen + 1;
            res.events.push_back(std::move(e));
        }
    }
    ::unlink(reportPath.c_str());
    ::unlink(eventsPath.c_str());
    return res;
}

}  // namespace faultsweep
