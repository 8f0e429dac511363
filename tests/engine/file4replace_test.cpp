// Replacing a file whole: with any system call failing or writing short, the target keeps its
// old bytes and no temporary file stays behind; a symbolic link at the target is replaced
// itself and the file it points at is never written.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "engine/file4replace.h"
#include "engine/io4.h"
#include "tests/engine/data4_testutil.h"

using namespace engine_test;

namespace {

enum class Fault {
    None,
    OneByteWrites,
    ShortThenFull,
    NoProgress,
    LyingWrite,
    SyncEio,
    RenameFails
};

class FaultIo : public Io4 {
public:
    Fault fault = Fault::None;
    int writes = 0;
    ssize_t pwrite(int fd, const void* buf, size_t len, off_t pos) override {
        ++writes;
        switch (fault) {
            case Fault::OneByteWrites:
                return Io4::pwrite(fd, buf, len ? 1 : 0, pos);
            case Fault::ShortThenFull:
                if (writes == 1) return Io4::pwrite(fd, buf, len / 2, pos);
                errno = ENOSPC;
                return -1;
            case Fault::NoProgress:
                return 0;
            case Fault::LyingWrite:  // claims the bytes and leaves them out
                return ssize_t(len);
            default:
                return Io4::pwrite(fd, buf, len, pos);
        }
    }
    int fdatasync(int fd) override {
        if (fault != Fault::SyncEio) return Io4::fdatasync(fd);
        errno = EIO;
        return -1;
    }
    int rename(const char* from, const char* to, unsigned flags) override {
        if (fault != Fault::RenameFails) return Io4::rename(from, to, flags);
        errno = EXDEV;
        return -1;
    }
};

std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    DIR* d = ::opendir(folder.c_str());
    while (dirent* e = d ? ::readdir(d) : nullptr)
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
            names.insert(e->d_name);
    if (d) ::closedir(d);
    return names;
}

std::string text(const std::vector<unsigned char>& b) {
    return std::string(b.begin(), b.end());
}

TEST(File4Replace, FaultsLeaveTheTargetAndNoTemporaryFile) {
    const std::string fresh(10000, 'n');
    const std::vector<std::uint8_t> bytes(fresh.begin(), fresh.end());
    const struct {
        const char* name;
        Fault fault;
        bool link;  // the target is a symbolic link to "victim"
        File4Replace::Mode mode;
        int error;
    } cases[] = {
        {"plain", Fault::None, false, File4Replace::Mode::Replace, 0},
        {"one byte per write", Fault::OneByteWrites, false, File4Replace::Mode::Replace, 0},
        {"short write, then a full disk", Fault::ShortThenFull, false, File4Replace::Mode::Replace,
         ENOSPC},
        {"a write that takes nothing", Fault::NoProgress, false, File4Replace::Mode::Replace,
         ENOSPC},
        {"a write that claims what it left out", Fault::LyingWrite, false,
         File4Replace::Mode::Replace, EIO},
        {"EIO on sync", Fault::SyncEio, false, File4Replace::Mode::Replace, EIO},
        {"rename refused", Fault::RenameFails, false, File4Replace::Mode::Replace, EXDEV},
        {"symlink at the target", Fault::None, true, File4Replace::Mode::Replace, 0},
        {"create-only on an existing file", Fault::None, false, File4Replace::Mode::CreateOnly,
         EEXIST},
        {"create-only on a symlink", Fault::None, true, File4Replace::Mode::CreateOnly, EEXIST},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        const std::string target = dir.file("Tennis Courts.rec");
        writeBytes(dir.file("victim"), {'v'});
        if (c.link)
            ASSERT_EQ(::symlink("victim", target.c_str()), 0);
        else
            writeBytes(target, {'o', 'l', 'd'});
        ::chmod(dir.file("victim").c_str(), 0600);
        if (!c.link) ::chmod(target.c_str(), 0640);

        FaultIo io;
        io.fault = c.fault;
        Io4* before = io4set(&io);
        const int r = file4replace(target, bytes, c.mode);
        io4set(before);

        EXPECT_EQ(r, c.error) << std::strerror(r);
        EXPECT_EQ(namesIn(dir.path()), (std::set<std::string>{"Tennis Courts.rec", "victim"}));
        EXPECT_EQ(text(readBytes(dir.file("victim"))), "v");
        struct stat st {};
        ASSERT_EQ(::lstat(target.c_str(), &st), 0);
        if (r != 0) {
            EXPECT_EQ(S_ISLNK(st.st_mode), c.link);
            if (!c.link) {
                EXPECT_EQ(text(readBytes(target)), "old");
            }
        } else {
            EXPECT_TRUE(S_ISREG(st.st_mode));
            EXPECT_TRUE(text(readBytes(target)) == fresh) << "the new content, whole";
            // A replaced regular file keeps its permissions; a replaced link gets the umask's.
            const mode_t mask = ::umask(0);
            ::umask(mask);
            EXPECT_EQ(st.st_mode & 0777, c.link ? (0666 & ~mask) : 0640u);
        }
    }
}

TEST(File4Replace, PositionedWritesAndAbandon) {
    ScratchDir dir;
    const std::string target = dir.file("pair.PTR");
    {
        File4Replace f;
        ASSERT_EQ(f.begin(target, File4Replace::Mode::CreateOnly), 0);
        ASSERT_EQ(f.writeAt(4, "efgh", 4), 0);
        ASSERT_EQ(f.writeAt(0, "abcd", 4), 0);
        ASSERT_EQ(f.write("ij", 2), 0);  // after the furthest byte
        EXPECT_TRUE(namesIn(dir.path()).count("pair.PTR") == 0) << "visible before commit";
        ASSERT_EQ(f.commit(), 0);
    }
    EXPECT_EQ(text(readBytes(target)), "abcdefghij");
    {
        File4Replace f;  // dropped without commit: nothing changes
        ASSERT_EQ(f.begin(target), 0);
        ASSERT_EQ(f.write("zz", 2), 0);
    }
    EXPECT_EQ(text(readBytes(target)), "abcdefghij");
    EXPECT_EQ(namesIn(dir.path()), std::set<std::string>{"pair.PTR"});
    File4Replace f;
    EXPECT_EQ(f.begin(dir.file("missing/x")), ENOENT);
    EXPECT_EQ(f.begin(dir.path() + "/"), EISDIR);
}

}  // namespace
