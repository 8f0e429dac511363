// The pack of a table held exclusively: written into a new file renamed over the table, byte
// for byte what the in-place pack of a shared table leaves, with the table's permissions and its
// sharing kept; a failure before the rename leaves the table as it was and no file behind.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <set>

#include "engine/io4.h"
#include "tests/engine/data4_testutil.h"

using namespace engine_test;

namespace {

const TAG4INFO* packTags() {
    static const TAG4INFO t[] = {{"NAME", "NAME", ".NOT. DELETED()", 20, 0},
                                 {nullptr, nullptr, nullptr, 0, 0}};
    return t;
}

std::set<std::string> folder(const std::string& path) {
    std::set<std::string> names;
    if (DIR* d = ::opendir(path.c_str())) {
        while (dirent* e = ::readdir(d)) names.insert(e->d_name);
        ::closedir(d);
    }
    return names;
}

// A table of `records` rows with every `gap`-th one deleted (0: none), packed under the access
// mode; the table's path.
std::string packed(const ScratchDir& dir, const char* name, int accessMode, int records, int gap) {
    Vask4 c;
    EXPECT_EQ(vask4init(&c), 0);
    const std::string path = dir.file(name);
    Data4* d = d4create(&c, path.c_str(), exampleFields(), packTags());
    EXPECT_NE(d, nullptr);
    for (int i = 1; i <= records; ++i) EXPECT_EQ(appendRow(d, {"n" + std::to_string(i)}), 0);
    d4close(d);
    c.accessMode = accessMode;
    d = d4open(&c, path.c_str());
    EXPECT_NE(d, nullptr);
    for (long r = 1; gap && r <= records; ++r)
        if (r % gap == 0) {
            EXPECT_EQ(d4go(d, r), 0);
            d4delete(d);
        }
    EXPECT_EQ(d4lockAll(d), 0);
    EXPECT_EQ(d4pack(d), 0);
    d4close(d);
    vask4initUndo(&c);
    return path;
}

TEST(DataPack, NewFileHoldsTheBytesOfTheInPlacePack) {
    struct Case {
        int records, gap;
    };
    // None deleted, some, all, and enough records to cross several read buffers.
    for (const Case& k : {Case{5, 0}, Case{7, 2}, Case{4, 1}, Case{1000, 3}}) {
        ScratchDir dir;
        const std::string inPlace = packed(dir, "SHARED.DBF", 0, k.records, k.gap);
        const std::string renamed = packed(dir, "EXCL.DBF", 1, k.records, k.gap);
        const std::vector<unsigned char> a = readBytes(inPlace), b = readBytes(renamed);
        EXPECT_EQ(a.size(),
                  161u + std::size_t(k.records - (k.gap ? k.records / k.gap : 0)) * 106 + 1);
        EXPECT_TRUE(a == b) << k.records << " records, every " << k.gap << " deleted";
        // The indexes rebuilt after either pack are alike but for the change counter, which
        // the shared opening advances at each of its writes.
        std::vector<unsigned char> x = readBytes(dir.file("SHARED.CDX")),
                                   y = readBytes(dir.file("EXCL.CDX"));
        ASSERT_GT(x.size(), 12u);
        std::fill(x.begin() + 8, x.begin() + 12, 0);
        if (y.size() > 12) std::fill(y.begin() + 8, y.begin() + 12, 0);
        EXPECT_TRUE(x == y);
        EXPECT_EQ(folder(dir.path()), (std::set<std::string>{".", "..", "EXCL.CDX", "EXCL.DBF",
                                                             "SHARED.CDX", "SHARED.DBF"}));
    }
}

TEST(DataPack, KeepsPermissionsSharingAndTheHandle) {
    ScratchDir dir;
    const std::string path = packed(dir, "T.DBF", 0, 6, 0);
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    Vask4 c, other;
    ASSERT_EQ(vask4init(&c), 0);
    ASSERT_EQ(vask4init(&other), 0);
    other.errOpen = 0;
    c.accessMode = 1;
    Data4* d = d4open(&c, path.c_str());
    ASSERT_NE(d, nullptr);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    ASSERT_EQ(d4go(d, 2), 0);
    d4delete(d);
    ASSERT_EQ(d4pack(d), 0);
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "a new file was renamed into place";
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    // Another opening (its own description, as another process's) is refused while held.
    EXPECT_EQ(d4open(&other, path.c_str()), nullptr);
    // The handle goes on with the new file: an append, a seek through the rebuilt tag.
    ASSERT_EQ(appendRow(d, {"added"}), 0);
    EXPECT_EQ(d4recCount(d), 6);
    ASSERT_EQ(d4tagSelect(d, d4tag(d, "NAME")), 0);
    EXPECT_EQ(d4seek(d, "n3"), 0);
    EXPECT_EQ(d4recNo(d), 2);
    ASSERT_EQ(d4close(d), 0);
    Data4* e = d4open(&other, path.c_str());
    ASSERT_NE(e, nullptr) << "free again once closed";
    EXPECT_EQ(d4recCount(e), 6);
    ASSERT_EQ(d4go(e, 6), 0);
    EXPECT_EQ(fieldText(e, "NAME").substr(0, 5), "added");
    d4close(e);
    vask4initUndo(&c);
    vask4initUndo(&other);
}

// Fails one call on the pack's new file (its writes, its sync) or the rename.
class FailingIo final : public Io4 {
public:
    explicit FailingIo(char what) : what_(what) {}
    int open(const char* path, int flags, mode_t mode) override {
        const int fd = Io4::open(path, flags, mode);
        if (fd >= 0 && (flags & O_EXCL)) fresh_ = fd;
        return fd;
    }
    ssize_t pwrite(int fd, const void* buf, size_t len, off_t pos) override {
        if (what_ == 'w' && fd == fresh_) return errno = ENOSPC, -1;
        return Io4::pwrite(fd, buf, len, pos);
    }
    int fdatasync(int fd) override {
        if (what_ == 's' && fd == fresh_) return errno = EIO, -1;
        return Io4::fdatasync(fd);
    }
    int rename(const char* from, const char* to, unsigned flags) override {
        if (what_ == 'r') return errno = EIO, -1;
        return Io4::rename(from, to, flags);
    }

private:
    char what_;
    int fresh_ = -1;
};

TEST(DataPack, FailureBeforeTheRenameLeavesTheTable) {
    for (char what : {'w', 's', 'r'}) {
        ScratchDir dir;
        const std::string path = packed(dir, "T.DBF", 0, 9, 0);
        Vask4 c;
        ASSERT_EQ(vask4init(&c), 0);
        c.accessMode = 1;
        c.errOff = 1;
        Data4* d = d4open(&c, path.c_str());
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(d4go(d, 4), 0);
        d4delete(d);
        ASSERT_EQ(d4flush(d), 0);
        const std::vector<unsigned char> was = readBytes(path);
        FailingIo io(what);
        Io4* saved = io4set(&io);
        EXPECT_LT(d4pack(d), 0) << what;
        io4set(saved);
        EXPECT_TRUE(readBytes(path) == was) << what;
        EXPECT_EQ(folder(dir.path()).size(), 4u) << what << ": the new file is removed";
        error4set(&c, 0);
        d4close(d);
        vask4initUndo(&c);
    }
}

}  // namespace
