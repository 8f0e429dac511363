// Open modes between openers: every pair of (mode, write access) across two processes,
// and two racing exclusive openers.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "engine/lock4.h"
#include "lock4_fork.h"

using namespace lock4test;

namespace {

struct Opening {
    int mode;
    bool write;
    const char* name;
};

const Opening kOpenings[] = {
    {lock4shared, true, "shared rw"},   {lock4shared, false, "shared r"},
    {lock4exclusive, true, "excl rw"},  {lock4exclusive, false, "excl r"},
    {lock4denyWrite, true, "denyw rw"}, {lock4denyWrite, false, "denyw r"},
};

// Whether a second opening is admitted while the first is open: the sharing rules of
// the platform the file format comes from (access read/write against share read/write,
// both ways round).
const int kAdmitted[6][6] = {
    // second: Srw Sr Xrw Xr Drw Dr          first:
    {1, 1, 0, 0, 0, 0},  // shared rw
    {1, 1, 0, 0, 1, 1},  // shared r
    {0, 0, 0, 0, 0, 0},  // exclusive rw
    {0, 0, 0, 0, 0, 0},  // exclusive r
    {0, 1, 0, 0, 0, 0},  // deny write rw
    {0, 1, 0, 0, 0, 1},  // deny write r
};

}  // namespace

TEST(Lock4Share, EveryPairOfOpenModesAcrossProcesses) {
    TempDir dir;
    const std::string path = dir.file("T.DBF");
    for (int i = 0; i < 6; ++i) {
        Child first([&](const Channel& ch) {
            int fd = openRw(path);
            ch.send(lock4shareOpen(fd, kOpenings[i].mode, kOpenings[i].write));
            ch.recv(30000);
            return 0;
        });
        ASSERT_EQ(first.ch().recv(), 0) << kOpenings[i].name;
        for (int j = 0; j < 6; ++j) {
            int fd = openRw(path);
            int rc = lock4shareOpen(fd, kOpenings[j].mode, kOpenings[j].write);
            EXPECT_EQ(rc, kAdmitted[i][j] ? 0 : 1)
                << "first " << kOpenings[i].name << ", then " << kOpenings[j].name;
            ::close(fd);
        }
        first.ch().send(1);
        EXPECT_EQ(first.wait(), 0);
        // Once the first has gone, every opening is admitted again.
        for (int j = 0; j < 6; ++j) {
            int fd = openRw(path);
            EXPECT_EQ(lock4shareOpen(fd, kOpenings[j].mode, kOpenings[j].write), 0);
            ::close(fd);
        }
    }
}

TEST(Lock4Share, RefusedOpeningLeavesNothingAndCloseReadmits) {
    TempDir dir;
    const std::string path = dir.file("T.DBF");
    int reader = openRw(path);
    ASSERT_EQ(lock4shareOpen(reader, lock4denyWrite, false), 0);
    int writer = openRw(path);
    EXPECT_EQ(lock4shareOpen(writer, lock4shared, true), 1);  // stopped by the deny-write opener
    // The refused writer announced itself for a moment only: a second deny-write opener
    // finds no writer.
    int reader2 = openRw(path);
    EXPECT_EQ(lock4shareOpen(reader2, lock4denyWrite, false), 0);
    ASSERT_EQ(lock4shareClose(reader), 0);
    EXPECT_EQ(lock4shareOpen(writer, lock4shared, true), 1);  // reader2 still denies
    ::close(reader2);
    EXPECT_EQ(lock4shareOpen(writer, lock4shared, true), 0);
    // The share bytes are far from every lock position.
    EXPECT_EQ(lock4osLock(writer, 0x40000000, 0x3FFFFFFF), lock4granted);
    EXPECT_EQ(lock4shareOpen(-1, lock4shared, true), -1);
    EXPECT_EQ(lock4shareOpen(writer, 3, true), -1);
    ::close(reader);
    ::close(writer);
}

TEST(Lock4Share, AnExclusiveOpenerThatIsKilledLeavesTheFileFree) {
    TempDir dir;
    const std::string path = dir.file("T.DBF");
    Child packer([&](const Channel& ch) {
        int fd = openRw(path);
        ch.send(lock4shareOpen(fd, lock4exclusive, true));
        ch.recv(30000);
        return 0;
    });
    ASSERT_EQ(packer.ch().recv(), 0);
    int fd = openRw(path);
    EXPECT_EQ(lock4shareOpen(fd, lock4shared, false), 1);
    packer.kill9();
    EXPECT_EQ(lock4shareOpen(fd, lock4shared, true), 0);
    ::close(fd);
}

TEST(Lock4Share, RacingExclusiveOpenersNeverOverlap) {
    TempDir dir;
    const std::string path = dir.file("T.DBF");
    const std::string log = dir.file("log");
    auto body = [&](char me) {
        return [&, me](const Channel& ch) {
            ch.recv(30000);  // start together
            int logFd = ::open(log.c_str(), O_WRONLY | O_APPEND | O_CREAT, 0644);
            int admitted = 0;
            for (int i = 0; i < 300; ++i) {
                int fd = openRw(path);
                if (lock4shareOpen(fd, lock4exclusive, true) == 0) {
                    ++admitted;
                    char in[2] = {me, '+'}, out[2] = {me, '-'};
                    if (::write(logFd, in, 2) != 2) return 2;
                    if (::write(logFd, out, 2) != 2) return 2;
                }
                ::close(fd);
            }
            ch.send(admitted);
            return 0;
        };
    };
    Child a(body('a')), b(body('b'));
    a.ch().send(1);
    b.ch().send(1);
    int na = a.ch().recv(20000), nb = b.ch().recv(20000);
    EXPECT_EQ(a.wait(), 0);
    EXPECT_EQ(b.wait(), 0);
    ASSERT_NE(na, kNoAnswer);
    ASSERT_NE(nb, kNoAnswer);
    EXPECT_GT(na + nb, 0);
    std::ifstream in(log);
    std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(s.size(), static_cast<size_t>(4 * (na + nb)));
    // Each admitted window is "x+" immediately followed by "x-" of the same opener.
    for (size_t k = 0; k < s.size(); k += 4) {
        EXPECT_EQ(s[k + 1], '+');
        EXPECT_EQ(s[k + 2], s[k]) << "two exclusive openers were inside at once";
        EXPECT_EQ(s[k + 3], '-');
    }
}
