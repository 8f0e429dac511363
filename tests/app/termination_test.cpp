// The program ended by a signal (logout, kill) must close its groups and write the
// recent-file list as File > Exit does. Runs the real executable on a copy of the samples.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct Scratch {
    fs::path dir;
    Scratch() {
        char tmpl[] = "/tmp/q4termXXXXXX";
        dir = ::mkdtemp(tmpl);
    }
    ~Scratch() { fs::remove_all(dir); }
};

// Starts the program with its settings, temp folder and instance socket inside dir (no
// runtime folder, so the socket goes under the temp folder).
pid_t start(const Scratch& s, const fs::path& group) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string v = *e;
        if (v.rfind("XDG_CONFIG_HOME=", 0) && v.rfind("HOME=", 0) && v.rfind("TMPDIR=", 0) &&
            v.rfind("QT_QPA_PLATFORM=", 0) && v.rfind("XDG_RUNTIME_DIR=", 0))
            env.push_back(v);
    }
    env.push_back("XDG_CONFIG_HOME=" + (s.dir / "config").string());
    env.push_back("HOME=" + s.dir.string());
    env.push_back("TMPDIR=" + s.dir.string());
    env.push_back("QT_QPA_PLATFORM=offscreen");
    std::vector<char*> envp;
    for (auto& v : env) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string exe = QUORVANE_EXE, arg = group.string();
    char* argv[] = {exe.data(), arg.data(), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
    return pid;
}

bool waitFor(const std::function<bool()>& ready, int seconds) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return ready();
}

TEST(Termination, SigtermClosesGroupsAndWritesRecentList) {
    Scratch s;
    fs::copy(QUORVANE_SAMPLES, s.dir / "samples", fs::copy_options::recursive);
    const fs::path group = s.dir / "samples" / "Tennis Courts.rec";
    ASSERT_TRUE(fs::exists(group));
    // Not a first start: no help window in the way.
    fs::create_directories(s.dir / "config" / "Vendrik");
    std::ofstream(s.dir / "config" / "Vendrik" / "Quorvane.ini") << "[Startup]\nStartedBefore=1\n";

    pid_t pid = start(s, group);
    ASSERT_GT(pid, 0);
    // The instance socket is made once start-up (and the group's opening) is done.
    const fs::path socket = s.dir / ("quorvane-run-" + std::to_string(::geteuid())) / "quorvane";
    int status = 0;
    bool up = waitFor([&] { return fs::exists(socket); }, 60);
    if (!up) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        FAIL() << "the program did not come up";
    }
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    bool ended = waitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 60);
    if (!ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        FAIL() << "the program did not end after SIGTERM";
    }
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string ini = slurp(s.dir / "config" / "Vendrik" / "Quorvane.ini");
    EXPECT_NE(ini.find("File1=" + fs::canonical(group).string()), std::string::npos) << ini;
}

}  // namespace
