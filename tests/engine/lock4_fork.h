// Helpers for tests that need a second (real) process: a forked child talking to the
// test over two pipes. The child never returns into the test framework: it always
// leaves through _exit, and an alarm ends it should the test stop talking to it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "engine/io4.h"
#include "engine/lock4.h"
#include "engine/vask4.h"

namespace lock4test {

constexpr int kNoAnswer = INT_MIN;

class Channel {
public:
    Channel() = default;
    Channel(int readFd, int writeFd) : in_(readFd), out_(writeFd) {}
    void send(int value) const {
        ssize_t n = ::write(out_, &value, sizeof value);
        (void)n;
    }
    // kNoAnswer after the timeout or when the other side has gone.
    int recv(int timeoutMs = 10000) const {
        struct pollfd p = {in_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return kNoAnswer;
        int value;
        if (::read(in_, &value, sizeof value) != sizeof value) return kNoAnswer;
        return value;
    }
    int in_ = -1, out_ = -1;
};

class Child {
public:
    // Starts body(channel) in a child; the child exits with body's result.
    explicit Child(const std::function<int(const Channel&)>& body, unsigned alarmSeconds = 30) {
        int down[2], up[2];
        if (::pipe(down) != 0 || ::pipe(up) != 0) std::abort();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::alarm(alarmSeconds);
            ::close(down[1]);
            ::close(up[0]);
            int rc = 1;
            try {
                rc = body(Channel(down[0], up[1]));
            } catch (...) {
                rc = 99;
            }
            ::_exit(rc);
        }
        ::close(down[0]);
        ::close(up[1]);
        ch_ = Channel(up[0], down[1]);
    }
    ~Child() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(ch_.in_);
        ::close(ch_.out_);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    const Channel& ch() const { return ch_; }
    pid_t pid() const { return pid_; }
    void kill9() {
        ::kill(pid_, SIGKILL);
        wait();
    }
    // Exit status (or 128 + signal); -1 when it did not end within the timeout.
    int wait(int timeoutMs = 20000) {
        if (reaped_) return status_;
        auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            int st = 0;
            pid_t r = ::waitpid(pid_, &st, WNOHANG);
            if (r == pid_) {
                reaped_ = true;
                status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
                return status_;
            }
            if (std::chrono::steady_clock::now() > until) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, nullptr, 0);
                reaped_ = true;
                status_ = -1;
                return -1;
            }
            ::usleep(2000);
        }
    }

private:
    pid_t pid_ = -1;
    Channel ch_;
    bool reaped_ = false;
    int status_ = -1;
};

// A fresh folder under the temporary directory, removed with its files at the end.
class TempDir {
public:
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        std::string tmpl = std::string(base && *base ? base : "/tmp") + "/lock4test-XXXXXX";
        if (!::mkdtemp(tmpl.data())) std::abort();
        path_ = tmpl;
    }
    ~TempDir() {
        std::string cmd = "rm -rf '" + path_ + "'";
        int rc = std::system(cmd.c_str());
        (void)rc;
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

inline int openRw(const std::string& path) {
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
}

// Whether another process may write-lock [off, off+len) of the file: a child asks the system
// from an open file description of its own, so the test's own locks count as someone else's.
inline int probe(const std::string& path, std::uint64_t off, std::uint64_t len) {
    Child c([&](const Channel& ch) {
        int fd = openRw(path);
        ch.send(lock4osTest(fd, off, len, lock4write));
        return 0;
    });
    int r = c.ch().recv();
    c.wait();
    return r;
}

// An engine context of its own, in the given access mode, for a test or a child.
struct Ctx {
    Vask4 c;
    explicit Ctx(int accessMode = 0) {
        vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
        c.accessMode = accessMode;
    }
    ~Ctx() { vask4initUndo(&c); }
};

// Kills its own process when the header (bytes 0-9) is written for the n-th time: the
// record and its end-of-file byte are on disk, the count in the header is not.
class KillAtHeaderWrite : public Io4 {
public:
    explicit KillAtHeaderWrite(int n) : left_(n) {}
    ssize_t pwrite(int fd, const void* buf, size_t len, off_t pos) override {
        if (pos == 0 && len == 10 && --left_ == 0) ::raise(SIGKILL);
        return Io4::pwrite(fd, buf, len, pos);
    }

private:
    int left_;
};

inline double secondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace lock4test
