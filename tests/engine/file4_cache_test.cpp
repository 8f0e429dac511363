// Reads through the block cache of files opened exclusively or deny-write: they must always see
// what this process wrote, however it was written (at once, behind, delayed, by a pack), never
// read past the end of the file, and give a short read (not a crash) when another program cut
// the file short underneath the advisory lock.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/data4.h"
#include "engine/file4.h"
#include "engine/io4.h"
#include "engine/vask4.h"
#include "tests/engine/data4_testutil.h"

using namespace engine_test;

namespace {

class File4Cache : public ContextTest {
protected:
    std::string at(File4* f, std::int64_t pos, unsigned len) {
        std::string s(len, '?');
        long n = file4read(f, pos, s.data(), len);
        if (n < 0) return "error";
        s.resize(static_cast<size_t>(n));
        return s;
    }
};

TEST_F(File4Cache, ExclusiveReadsSeeEveryOwnWriteAndStopAtTheEnd) {
    c.accessMode = 1;
    File4 f;
    ASSERT_EQ(file4create(&f, &c, dir.file("M.BIN").c_str()), 0);
    ASSERT_TRUE(f.blockCache);
    // Written behind (buffered), then read: the buffered bytes are what is read.
    ASSERT_EQ(file4write(&f, 0, "abcdefgh", 8), 0);
    EXPECT_EQ(at(&f, 2, 4), "cdef");
    ASSERT_EQ(file4write(&f, 2, "XY", 2), 0);
    EXPECT_EQ(at(&f, 0, 8), "abXYefgh");
    ASSERT_EQ(file4flush(&f), 0);
    // Across many blocks, and grown after the first blocks were cached.
    std::vector<char> big(3 << 20, 'z');
    big[(3 << 20) - 1] = 'E';
    ASSERT_EQ(file4write(&f, 8, big.data(), static_cast<unsigned>(big.size())), 0);
    EXPECT_EQ(at(&f, 8 + (3 << 20) - 2, 2), "zE");
    EXPECT_EQ(at(&f, 8 + (3 << 20) - 1, 8), "E");  // short at the end, nothing past it
    EXPECT_EQ(at(&f, 0, 4), "abXY");
    // Cut back: reading where the file was gives nothing, however much of it was cached.
    ASSERT_EQ(file4lenSet(&f, 6), 0);
    EXPECT_EQ(at(&f, 4, 100), "ef");
    EXPECT_EQ(at(&f, 4096, 16), "");
    EXPECT_EQ(at(&f, (2 << 20), 16), "");
    // Grown again by a delayed write: read after it landed, not before.
    Request4 r;
    char data[] = "later";
    ASSERT_EQ(file4writeDelay(&f, &r, 6, data, 5, nullptr, nullptr), 0);
    EXPECT_EQ(at(&f, 0, 11), "abXYeflater");
    file4wait(&r);
    // Bytes already on disk come from the cache: at most one pread for the block, not one each.
    ASSERT_EQ(file4flush(&f), 0);
    {
        CountingIo io;
        for (int i = 0; i < 50; ++i)
            EXPECT_EQ(at(&f, i % 6, 3), std::string("abXYeflater", i % 6, 3));
        EXPECT_LE(io.reads, 1);
    }
    ASSERT_EQ(file4close(&f), 0);
    EXPECT_TRUE(f.blocks.empty());
}

TEST_F(File4Cache, SharedFilesAreNeverCached) {
    File4 f;
    ASSERT_EQ(file4create(&f, &c, dir.file("S.BIN").c_str()), 0);
    EXPECT_FALSE(f.blockCache);
    ASSERT_EQ(file4write(&f, 0, "shared", 6), 0);
    {
        CountingIo io;
        EXPECT_EQ(at(&f, 0, 6), "shared");
        EXPECT_EQ(at(&f, 0, 6), "shared");
        EXPECT_EQ(io.reads, 2);  // every read goes to the file: another user may have changed it
    }
    EXPECT_TRUE(f.blocks.empty());
    file4close(&f);
}

// A table opened exclusively: records rewritten, appended and packed away are read as they
// are now, whatever an earlier read left in the cache.
TEST_F(File4Cache, ExclusiveTableReadsFollowWritesAppendsAndPack) {
    const std::string path = dir.file("wide");
    static const FIELD4INFO kWide[] = {{"A", 'C', 250, 0, 0},
                                       {"B", 'C', 250, 0, 0},
                                       {"C", 'C', 250, 0, 0},
                                       {"D", 'C', 250, 0, 0},
                                       {nullptr, 0, 0, 0, 0}};
    c.accessMode = 1;
    Data4* d = d4create(&c, path.c_str(), kWide, nullptr);
    ASSERT_NE(d, nullptr);
    for (int i = 1; i <= 20; ++i) ASSERT_EQ(appendRow(d, {std::to_string(i)}), 0);
    ASSERT_EQ(d4flush(d), 0);
    ASSERT_EQ(d4go(d, 7, 0), 0);
    EXPECT_EQ(std::string(f4str(d4field(d, "A"))).substr(0, 2), "7 ");
    d4field(d, "A")->assign("seven");
    ASSERT_EQ(d4go(d, 8, 0), 0);  // writes record 7 on the way
    ASSERT_EQ(d4go(d, 7, 0), 0);
    EXPECT_EQ(std::string(f4str(d4field(d, "A"))).substr(0, 6), "seven ");
    // Over many blocks: 1,200 records of 1,001 bytes.
    for (int i = 21; i <= 1200; ++i) ASSERT_EQ(appendRow(d, {std::to_string(i)}), 0);
    ASSERT_EQ(d4go(d, 1200, 0), 0);
    EXPECT_EQ(std::string(f4str(d4field(d, "A"))).substr(0, 5), "1200 ");
    for (long n = 2; n <= 1200; n += 2) {
        ASSERT_EQ(d4go(d, n, 0), 0);
        ASSERT_EQ(d4delete(d), 0);
    }
    ASSERT_EQ(d4pack(d), 0);
    ASSERT_EQ(d4recCount(d), 600);
    ASSERT_EQ(d4go(d, 4, 0), 0);
    EXPECT_EQ(std::string(f4str(d4field(d, "A"))).substr(0, 6), "seven ");
    ASSERT_EQ(d4go(d, 600, 0), 0);
    EXPECT_EQ(std::string(f4str(d4field(d, "A"))).substr(0, 5), "1199 ");
    c.errGo = 0;
    EXPECT_EQ(d4go(d, 601, 0), r4entry);
    d4close(d);
    // Reopened deny-write: the same records, read into a fresh cache.
    c.accessMode = 2;
    d = d4open(&c, path.c_str());
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d4go(d, 300, 0), 0);
    EXPECT_EQ(std::string(f4str(d4field(d, "A"))).substr(0, 4), "599 ");
    d4close(d);
}

const FIELD4INFO kWideOne[] = {{"A", 'C', 250, 0, 0}, {"B", 'C', 750, 0, 0}, {nullptr, 0, 0, 0, 0}};

// Another program cuts the table to half its length while we hold it exclusively (the lock is
// only advisory). Records past the cut give the ordinary short-read result, exactly as in
// shared mode, and nothing faults; records before it still read as they are.
TEST_F(File4Cache, ATableCutShortByAnotherProcessGivesShortReadsNotACrash) {
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        const std::string path = dir.file("cut" + std::to_string(mode));
        c.accessMode = 0;
        {
            Data4* d = d4create(&c, path.c_str(), kWideOne, nullptr);
            ASSERT_NE(d, nullptr);
            for (int i = 1; i <= 1000; ++i) ASSERT_EQ(appendRow(d, {std::to_string(i)}), 0);
            d4close(d);
        }
        c.accessMode = mode;
        c.errGo = 0;
        Data4* d = d4open(&c, path.c_str());
        ASSERT_NE(d, nullptr);
        ASSERT_EQ(d4recCount(d), 1000);
        const std::string file = d4fileName(d);
        // Records of the first block and of the last one are cached before the cut.
        for (long n = 1; n <= 10; ++n) ASSERT_EQ(d4go(d, n, 0), 0);
        ASSERT_EQ(d4go(d, 1000, 0), 0);
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        const off_t half = st.st_size / 2;
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int fd = ::open(file.c_str(), O_RDWR);
            _exit(fd >= 0 && ::ftruncate(fd, half) == 0 ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        ASSERT_EQ(st.st_size, half);

        // Uncached records past the cut: a short read, as a pread gives it.
        for (long n : {700L, 800L, 940L}) EXPECT_EQ(d4go(d, n, 0), r4entry) << n;
        // Past the cut but in a block read before it: the bytes as they were read, or a short
        // read - either way an answer.
        int r = d4go(d, 995, 0);
        EXPECT_TRUE(r == 0 || r == r4entry) << r;
        EXPECT_EQ(error4code(&c), 0);
        c.errGo = 1;
        EXPECT_EQ(d4go(d, 750, 0), -70);
        error4set(&c, 0);
        c.errGo = 0;
        // Before the cut the records are whole.
        ASSERT_EQ(d4go(d, 200, 0), 0);
        EXPECT_EQ(std::string(f4str(d4field(d, "A"))).substr(0, 4), "200 ");
        ASSERT_EQ(d4go(d, 5, 0), 0);
        EXPECT_EQ(std::string(f4str(d4field(d, "A"))).substr(0, 2), "5 ");
        d4close(d);
        error4set(&c, 0);
    }
}

}  // namespace
