// Who may receive the group a start names: only a running program of the same user, found in a
// folder no one else can write to. Real processes throughout; the cases that need a second
// user become "nobody" after fork, which only root may do, and skip otherwise.
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QTest>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/InstanceChannel.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using quorvane::InstanceChannel;

constexpr uid_t kOtherUser = 65534;  // "nobody"
const char* const kNeedsRoot = "becoming a second user (nobody) after fork needs root";

// A folder where, as in /tmp, every user may create files.
struct Scratch {
    fs::path dir;
    Scratch() {
        char tmpl[] = "/tmp/q4chanXXXXXX";
        dir = ::mkdtemp(tmpl);
        ::chmod(dir.c_str(), 01777);
    }
    ~Scratch() { fs::remove_all(dir); }
};

// Sets (or with nullopt removes) an environment variable for one scope.
class EnvVar {
public:
    EnvVar(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~EnvVar() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

bool waitFor(const std::function<bool()>& ready, int seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return ready();
}

sockaddr_un address(const fs::path& path) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    return a;
}

// Whether something accepts connections at path.
bool connectable(const fs::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un a = address(path);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// A socket file that nobody serves any more, as a killed program leaves it.
void leaveStaleSocket(const fs::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un a = address(path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a), 0) << path;
    ::close(fd);
}

// A server another user runs at the given socket paths, open to anyone who connects. When
// makeFolders is set it first makes the sockets' folders itself (mode 0700), as someone
// taking our folder name would. stop() returns every byte it was sent. Only plain system calls
// in the child: it is a fork of a threaded process.
class ForeignServer {
public:
    ForeignServer(const std::vector<fs::path>& sockets, bool makeFolders) {
        for (const fs::path& s : sockets) {
            paths_.push_back(s.string());
            folders_.push_back(s.parent_path().string());
        }
        int ready[2], control[2], result[2];
        if (::pipe(ready) || ::pipe(control) || ::pipe(result)) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(control[1]);
            ::close(result[0]);
            serve(ready[1], control[0], result[1], makeFolders);
        }
        ::close(ready[1]);
        ::close(control[0]);
        ::close(result[1]);
        control_ = control[1];
        result_ = result[0];
        pollfd p{ready[0], POLLIN, 0};
        char byte = 0;
        up_ = ::poll(&p, 1, 10000) == 1 && ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
    }
    ~ForeignServer() { stop(); }
    bool up() const { return up_; }

    std::string stop() {
        if (pid_ <= 0) return received_;
        ::close(control_);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
        char buffer[4096];
        for (ssize_t n; (n = ::read(result_, buffer, sizeof buffer)) > 0;)
            received_.append(buffer, n);
        ::close(result_);
        return received_;
    }

private:
    [[noreturn]] void serve(int ready, int control, int result, bool makeFolders) {
        if (::setgroups(0, nullptr) || ::setgid(kOtherUser) || ::setuid(kOtherUser)) ::_exit(2);
        pollfd fds[8] = {{control, POLLIN, 0}};
        const std::size_t count = paths_.size() + 1;
        if (count > std::size(fds)) ::_exit(2);
        for (std::size_t i = 0; i < paths_.size(); ++i) {
            const std::string& path = paths_[i];
            if (makeFolders && ::mkdir(folders_[i].c_str(), 0700)) ::_exit(3);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            const sockaddr_un a = address(path);
            if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) || ::listen(fd, 4))
                ::_exit(4);
            ::chmod(path.c_str(), 0777);
            fds[i + 1] = {fd, POLLIN, 0};
        }
        if (::write(ready, "r", 1) != 1) ::_exit(5);
        // Once the test closes the control pipe, connections made before that are still read.
        for (bool stopping = false;;) {
            const int ready = stopping ? ::poll(fds + 1, count - 1, 0) : ::poll(fds, count, -1);
            if (ready < 0) ::_exit(6);
            if (stopping && ready == 0) ::_exit(0);
            stopping = stopping || fds[0].revents;
            for (std::size_t i = 1; i < count; ++i) {
                if (!fds[i].revents) continue;
                const int conn = ::accept(fds[i].fd, nullptr, nullptr);
                char buffer[4096];
                pollfd in{conn, POLLIN, 0};
                ssize_t n = 0;
                while (::poll(&in, 1, 2000) == 1 && (n = ::read(conn, buffer, sizeof buffer)) > 0)
                    if (::write(result, buffer, n) != n) ::_exit(7);
                ::close(conn);
            }
        }
    }

    std::vector<std::string> paths_, folders_;
    pid_t pid_ = -1;
    int control_ = -1, result_ = -1;
    bool up_ = false;
    std::string received_;
};

// forward() waits for the program's answer, which this thread's event loop gives: the start
// runs on a thread of its own meanwhile.
bool forwardFromAnotherThread(const QStringList& paths, const QString& name, int timeoutMs) {
    auto sent = std::async(std::launch::async,
                           [&] { return InstanceChannel::forward(paths, name, timeoutMs); });
    while (sent.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
        QCoreApplication::processEvents();
    return sent.get();
}

// ----- the folder -----

TEST(InstanceChannelFolder, OnlyARealFolderOfThisUserThatNoOneElseCanWriteIsTrusted) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> make;
        bool create, trusted, needsRoot;
    };
    const auto folder = [](mode_t mode) {
        return [mode](const fs::path& p) {
            fs::create_directory(p);
            ::chmod(p.c_str(), mode);
        };
    };
    const Case cases[] = {
        {"missing, made", [](const fs::path&) {}, true, true, false},
        {"missing, not made", [](const fs::path&) {}, false, false, false},
        {"own 0700", folder(0700), false, true, false},
        {"own 0755", folder(0755), true, true, false},
        {"group may write", folder(0770), true, false, false},
        {"anyone may write", folder(0777), true, false, false},
        {"link to an own folder",
         [](const fs::path& p) {
             fs::create_directory(p.string() + ".real");
             ::chmod((p.string() + ".real").c_str(), 0700);
             fs::create_directory_symlink(p.string() + ".real", p);
         },
         true, false, false},
        {"a file", [](const fs::path& p) { std::ofstream(p) << "x"; }, true, false, false},
        {"another user's",
         [](const fs::path& p) {
             fs::create_directory(p);
             ::chmod(p.c_str(), 0700);
             ASSERT_EQ(::chown(p.c_str(), kOtherUser, kOtherUser), 0);
         },
         true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsRoot && ::geteuid() != 0) {
            std::printf("skipped \"%s\": %s\n", c.name, kNeedsRoot);
            continue;
        }
        Scratch s;
        const fs::path p = s.dir / "channel";
        c.make(p);
        QString why;
        EXPECT_EQ(InstanceChannel::trustedFolder(QString::fromStdString(p), c.create, &why),
                  c.trusted)
            << why.toStdString();
        EXPECT_EQ(why.isEmpty(), c.trusted) << "a refusal says why";
        if (c.trusted) {
            struct stat st {};
            ASSERT_EQ(::lstat(p.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 022, 0u);
        }
    }
}

TEST(InstanceChannelFolder, TheSocketLivesInTheRuntimeFolderOrInAPrivateOneUnderTemp) {
    Scratch s;
    const fs::path good = s.dir / "run-good", open = s.dir / "run-open";
    fs::create_directory(good);
    ::chmod(good.c_str(), 0700);
    fs::create_directory(open);
    ::chmod(open.c_str(), 0777);
    const fs::path own = s.dir / ("quorvane-run-" + std::to_string(::geteuid()));
    struct Case {
        const char* name;
        std::optional<std::string> runtime;
        mode_t ownMode;  // 0: our temporary folder does not exist yet
        std::string expected;
    };
    const Case cases[] = {
        {"runtime folder", good.string(), 0, (good / "quorvane").string()},
        {"no runtime folder", std::nullopt, 0, (own / "quorvane").string()},
        {"relative runtime folder", "run-good", 0, (own / "quorvane").string()},
        {"runtime folder open to all", open.string(), 0700, (own / "quorvane").string()},
        {"own temporary folder opened up", std::nullopt, 0777, ""},
    };
    EnvVar tmp("TMPDIR", s.dir.string());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(own);
        if (c.ownMode) {
            fs::create_directory(own);
            ::chmod(own.c_str(), c.ownMode);
        }
        EnvVar runtime("XDG_RUNTIME_DIR", c.runtime);
        QString why;
        EXPECT_EQ(InstanceChannel::defaultName(&why).toStdString(), c.expected);
        EXPECT_EQ(why.isEmpty(), !c.expected.empty()) << why.toStdString();
        if (!c.runtime && !c.ownMode) {
            struct stat st {};
            ASSERT_EQ(::lstat(own.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0700u) << "made private";
        }
    }
}

// ----- the socket -----

TEST(InstanceChannelSocket, ALiveChannelIsKeptAndAStaleSocketReplaced) {
    Scratch s;
    const QString name = QString::fromStdString((s.dir / "quorvane").string());
    InstanceChannel first(name);
    ASSERT_TRUE(first.listen());
    QStringList opened;
    QObject::connect(&first, &InstanceChannel::openRequested,
                     [&](const QString& p) { opened << p; });
    {
        InstanceChannel second(name);
        EXPECT_FALSE(second.listen()) << "a start without a group must not take the channel";
    }
    ASSERT_TRUE(forwardFromAnotherThread({"/srv/a.rec"}, name, 3000));
    QTRY_COMPARE_WITH_TIMEOUT(opened, QStringList{"/srv/a.rec"}, 3000);

    const fs::path stale = s.dir / "stale";
    leaveStaleSocket(stale);
    EXPECT_FALSE(InstanceChannel::forward({"/srv/a.rec"}, QString::fromStdString(stale), 200));
    InstanceChannel next(QString::fromStdString(stale));
    EXPECT_TRUE(next.listen());
    EXPECT_TRUE(connectable(stale));
}

TEST(InstanceChannelSocket, AProgramThatDoesNotAnswerKeepsNoStart) {
    // A program that ended its main window (ready says no), and one that hangs: a socket that
    // is listened on and never served. The start gives up after its timeout, saying nothing.
    Scratch s;
    const QString name = QString::fromStdString((s.dir / "quorvane").string());
    InstanceChannel closing(name);
    ASSERT_TRUE(closing.listen());
    closing.setReady([] { return false; });
    QStringList opened;
    QObject::connect(&closing, &InstanceChannel::openRequested,
                     [&](const QString& p) { opened << p; });
    EXPECT_FALSE(forwardFromAnotherThread({"/srv/a.rec"}, name, 500));
    QTest::qWait(100);
    EXPECT_TRUE(opened.isEmpty());

    const fs::path hung = s.dir / "hung";
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un a = address(hung);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    const auto began = std::chrono::steady_clock::now();
    EXPECT_FALSE(InstanceChannel::forward({"/srv/a.rec"}, QString::fromStdString(hung), 300));
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(3));
    ::close(fd);
}

TEST(InstanceChannelSocket, APathIsNeverHandedToAProgramOfAnotherUser) {
    if (::geteuid() != 0) GTEST_SKIP() << kNeedsRoot;
    Scratch s;
    const fs::path socket = s.dir / "quorvane";
    ForeignServer foreign({socket}, false);
    ASSERT_TRUE(foreign.up());
    EXPECT_FALSE(InstanceChannel::forward({"/srv/Private/Tennis Courts.rec"},
                                          QString::fromStdString(socket)));
    // The server does receive what is sent to it, so the silence above is the check's doing.
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un a = address(socket);
        ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a), 0);
        ASSERT_EQ(::write(fd, "probe\n", 6), 6);
        ::close(fd);
    }
    EXPECT_EQ(foreign.stop(), "probe\n");
}

// ----- the program -----

// The program with its settings, temporary folder and (when given) runtime folder in home.
class Program {
public:
    Program(const fs::path& home, const fs::path& group, const std::optional<fs::path>& runtime) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string v = *e;
            bool keep = true;
            for (const char* drop :
                 {"XDG_CONFIG_HOME=", "HOME=", "TMPDIR=", "QT_QPA_PLATFORM=", "XDG_RUNTIME_DIR="})
                keep = keep && v.rfind(drop, 0) != 0;
            if (keep) env.push_back(v);
        }
        env.push_back("XDG_CONFIG_HOME=" + (home / "config").string());
        env.push_back("HOME=" + home.string());
        env.push_back("TMPDIR=" + home.string());
        env.push_back("QT_QPA_PLATFORM=offscreen");
        if (runtime) env.push_back("XDG_RUNTIME_DIR=" + runtime->string());
        std::vector<char*> envp;
        for (std::string& v : env) envp.push_back(v.data());
        envp.push_back(nullptr);
        std::string exe = QUORVANE_EXE, arg = group.string();
        char* argv[] = {exe.data(), arg.data(), nullptr};
        if (::posix_spawn(&pid_, exe.c_str(), nullptr, nullptr, argv, envp.data()) != 0) pid_ = -1;
    }
    ~Program() {
        if (pid_ > 0 && !ended_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool started() const { return pid_ > 0; }
    bool ended() { return endsWithin(0); }
    bool endsWithin(int seconds) {
        ended_ =
            ended_ || waitFor([&] { return ::waitpid(pid_, &status_, WNOHANG) == pid_; }, seconds);
        return ended_;
    }
    // Whether it has taken over SIGTERM, i.e. start-up is done and a logout closes it cleanly.
    bool catchesSigterm() const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("SigCgt:", 0) == 0)
                return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1;
        return false;
    }
    // Ends it as a logout would; true when it closed cleanly.
    bool terminate() {
        waitFor([&] { return catchesSigterm() || ended(); }, 60);
        if (!ended_) ::kill(pid_, SIGTERM);
        return endsWithin(60) && WIFEXITED(status_) && WEXITSTATUS(status_) == 0;
    }
    int exitStatus() const { return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }
    // Whether it holds a file of the group in folder open, i.e. has opened that group.
    bool hasOpen(const fs::path& folder) const {
        std::error_code ec;
        for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid_) + "/fd", ec))
            if (fs::read_symlink(fd.path(), ec).string().rfind(folder.string(), 0) == 0)
                return true;
        return false;
    }

private:
    pid_t pid_ = -1;
    int status_ = 0;
    bool ended_ = false;
};

std::string slurp(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A home with settings that skip the first-start help, and copies of the sample group.
struct Home : Scratch {
    Home() {
        fs::create_directories(dir / "config" / "Vendrik");
        std::ofstream(dir / "config" / "Vendrik" / "Quorvane.ini")
            << "[Startup]\nStartedBefore=1\n";
    }
    fs::path group(const char* folder) const {
        fs::copy(QUORVANE_SAMPLES, dir / folder, fs::copy_options::recursive);
        return dir / folder / "Tennis Courts.rec";
    }
    std::string settings() const { return slurp(dir / "config" / "Vendrik" / "Quorvane.ini"); }
};

TEST(InstanceChannelProgram, ASocketOfAnotherUserDoesNotCaptureAStart) {
    if (::geteuid() != 0) GTEST_SKIP() << kNeedsRoot;
    const std::string uid = std::to_string(::geteuid());
    struct Case {
        const char* name;
        const char* socket;  // under the temporary folder
        bool makesFolder;
        bool weListen;  // our start can still offer a channel of its own
    };
    const Case cases[] = {
        {"at the name a socket had before", "quorvane-", false, true},
        {"in our folder's name, made first", "quorvane-run-", true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Home home;
        const fs::path group = home.group("samples");
        const fs::path foreignSocket =
            c.makesFolder ? home.dir / (c.socket + uid) / "quorvane" : home.dir / (c.socket + uid);
        ForeignServer foreign({foreignSocket}, c.makesFolder);
        ASSERT_TRUE(foreign.up());

        Program start(home.dir, group, std::nullopt);
        ASSERT_TRUE(start.started());
        waitFor([&] { return start.hasOpen(home.dir / "samples") || start.ended(); }, 60);
        EXPECT_TRUE(start.hasOpen(home.dir / "samples"))
            << "the start opens the group itself (exit status " << start.exitStatus() << ")";
        const fs::path ours = home.dir / ("quorvane-run-" + uid) / "quorvane";
        if (c.weListen) {
            EXPECT_TRUE(waitFor([&] { return connectable(ours); }, 30)) << "ours listens";
        }
        EXPECT_TRUE(start.terminate());
        EXPECT_EQ(foreign.stop(), "") << "the group's path went to the other user";
        EXPECT_NE(home.settings().find("File1=" + fs::canonical(group).string()),
                  std::string::npos);
    }
}

TEST(InstanceChannelProgram, ARunningProgramOfThisUserReceivesTheGroup) {
    Home home;
    const fs::path first = home.group("first"), second = home.group("second");
    const fs::path runtime = home.dir / "run";
    fs::create_directory(runtime);
    ::chmod(runtime.c_str(), 0700);
    // A program of ours that was killed left its socket behind.
    leaveStaleSocket(runtime / "quorvane");

    Program running(home.dir, first, runtime);
    ASSERT_TRUE(running.started());
    ASSERT_TRUE(waitFor([&] { return connectable(runtime / "quorvane"); }, 60))
        << "the stale socket is replaced";
    Program next(home.dir, second, runtime);
    ASSERT_TRUE(next.started());
    ASSERT_TRUE(next.endsWithin(60));
    EXPECT_EQ(next.exitStatus(), 0);
    EXPECT_TRUE(waitFor([&] { return running.hasOpen(home.dir / "second"); }, 30));
    EXPECT_TRUE(running.terminate());
    const std::string settings = home.settings();
    EXPECT_NE(settings.find("=" + fs::canonical(second).string()), std::string::npos) << settings;
}

}  // namespace
