// The file layer through its system-call seam: full disks and short writes, flush to disk,
// waiting for delayed writes, and the sequential reader and writer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "engine/file4.h"
#include "engine/io4.h"
#include "lock4_fork.h"
#include "tests/engine/data4_testutil.h"

using namespace engine_test;

namespace {

// Records the calls and fails or slows down the ones it is told to.
class TestIo : public Io4 {
public:
    ssize_t pwrite(int fd, const void* buf, size_t len, off_t pos) override {
        std::unique_lock<std::mutex> lk(m);
        int n = ++writes;
        bool fail = n == failWrite;
        bool shortOne = n == shortWrite;
        int delay = delayMs;
        lk.unlock();
        if (delay) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        if (fail) {
            errno = ENOSPC;
            return -1;
        }
        if (shortOne) return Io4::pwrite(fd, buf, len / 2, pos);
        ssize_t r = Io4::pwrite(fd, buf, len, pos);
        lk.lock();
        events.push_back("w" + std::to_string(fd));
        if (std::this_thread::get_id() != mainThread) backgroundWrites++;
        return r;
    }
    int fdatasync(int fd) override {
        std::lock_guard<std::mutex> g(m);
        events.push_back("s" + std::to_string(fd));
        if (failSync) {
            errno = EIO;
            return -1;
        }
        return Io4::fdatasync(fd);
    }
    std::mutex m;
    int writes = 0, failWrite = -1, shortWrite = -1, delayMs = 0, backgroundWrites = 0;
    bool failSync = false;
    std::vector<std::string> events;
    std::thread::id mainThread = std::this_thread::get_id();
};

class FileIo : public ::testing::Test {
protected:
    void SetUp() override { io4set(&io); }
    void TearDown() override {
        vask4initUndo(&c);
        io4set(nullptr);
    }
    Data4* table(int rows, int mode = 0, int noThreads = 0) {
        EXPECT_EQ(vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, noThreads), 0);
        Data4* d = d4create(&c, path().c_str(), exampleFields());
        for (int i = 0; i < rows; ++i) appendRow(d, {"row" + std::to_string(i)});
        if (mode != 0) {
            d4close(d);
            c.accessMode = mode;
            d = d4open(&c, path().c_str());
        }
        return d;
    }
    std::string path() const { return dir.file("IO.DBF"); }
    TestIo io;
    Vask4 c;
    ScratchDir dir;
};

TEST_F(FileIo, FullDiskOrShortWriteLeavesTheTableAsItWas) {
    Data4* d = table(2);
    ASSERT_NE(d, nullptr);
    const std::vector<unsigned char> before = readBytes(path());
    for (bool shortWrite : {false, true}) {
        SCOPED_TRACE(shortWrite ? "short write" : "disk full");
        {
            std::lock_guard<std::mutex> g(io.m);
            (shortWrite ? io.shortWrite : io.failWrite) = io.writes + 1;
        }
        testing::internal::CaptureStderr();
        EXPECT_EQ(appendRow(d, {"lost"}), e4write);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("Writing to File"), std::string::npos) << err;
        EXPECT_EQ(d4recCount(d), 2);
        EXPECT_EQ(readBytes(path()), before) << "no trace of the failed record";
        error4set(&c, 0);
    }
    ASSERT_EQ(appendRow(d, {"third"}), 0) << "the table works on afterwards";
    EXPECT_EQ(d4recCount(d), 3);
}

TEST_F(FileIo, FlushWaitsForDelayedWritesAndSyncsAfterThem) {
    Data4* d = table(0, 1);
    ASSERT_NE(d, nullptr);
    io.delayMs = 5;  // the writer thread is slow
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(appendRow(d, {"n" + std::to_string(i)}), 0);
    ASSERT_EQ(d4flush(d), 0);
    std::vector<unsigned char> b = readBytes(path());
    ASSERT_EQ(b.size(), 161u + 1000 * 106 + 1) << "everything is in the file when flush returns";
    EXPECT_EQ(le32(b, 4), 1000u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&b[161 + 999 * 106 + 1]), 4), "n999");
    {
        std::lock_guard<std::mutex> g(io.m);
        EXPECT_GT(io.backgroundWrites, 0) << "bulk appends go through the writer thread";
        EXPECT_LT(io.writes, 100) << "appends are buffered, not one call each";
        ASSERT_FALSE(io.events.empty());
        EXPECT_EQ(io.events.back()[0], 's') << "the sync comes after the last write";
        io.events.clear();
    }
    for (int i = 0; i < 300; ++i) ASSERT_EQ(appendRow(d, {"m" + std::to_string(i)}), 0);
    ASSERT_EQ(d4close(d), 0);
    b = readBytes(path());
    ASSERT_EQ(b.size(), 161u + 1300 * 106 + 1) << "close waits as well";
    EXPECT_EQ(le32(b, 4), 1300u);
    std::lock_guard<std::mutex> g(io.m);
    EXPECT_EQ(io.events.back()[0], 's');
}

TEST_F(FileIo, FailedDelayedWriteOrSyncIsReported) {
    Data4* d = table(0, 1);
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < 50; ++i) ASSERT_EQ(appendRow(d, {"x"}), 0);
    {
        std::lock_guard<std::mutex> g(io.m);
        io.failWrite = io.writes + 1;
    }
    c.errOff = 1;
    EXPECT_EQ(d4flush(d), e4write);
    error4set(&c, 0);
    ASSERT_EQ(d4flush(d), 0) << "the retry writes the header";
    io.failSync = true;
    ASSERT_EQ(appendRow(d, {"y"}), 0);
    EXPECT_EQ(d4flush(d), e4write);
    io.failSync = false;
    error4set(&c, 0);
}

TEST_F(FileIo, SharedAppendsAreVisibleAtOnceAndWithoutThreadsStayOnTheCaller) {
    Data4* d = table(0, 0, 1);
    ASSERT_NE(d, nullptr);
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(appendRow(d, {"s"}), 0);
        std::vector<unsigned char> b = readBytes(path());
        ASSERT_EQ(le32(b, 4), static_cast<unsigned>(i + 1));
        ASSERT_EQ(b.size(), 161u + (i + 1) * 106 + 1);
    }
    d4close(d);
    c.accessMode = 1;
    d = d4open(&c, path().c_str());
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(appendRow(d, {"b"}), 0);
    ASSERT_EQ(d4flush(d), 0);
    std::lock_guard<std::mutex> g(io.m);
    EXPECT_EQ(io.backgroundWrites, 0);
}

// A batch of reads through the system's seam gives what pread gives, piece by piece: at and
// beyond the end of the file, more pieces than one submission takes, a closed descriptor, and
// in a forked child, whose parent's context for the batch is not its own.
TEST(Io4Batch, ReadsWhatPreadReads) {
    ScratchDir dir;
    const std::string path = dir.file("batch");
    std::vector<char> data(10000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 % 251);
    writeBytes(path, std::vector<unsigned char>(data.begin(), data.end()));
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    // The first piece (from 1) of a batch of (pos, len) on `from` that did not read what pread
    // reads, or 0.
    auto differs = [&](int from, const std::vector<std::pair<off_t, size_t>>& pieces) {
        std::vector<std::vector<char>> bufs, want;
        std::vector<Io4Read> reads;
        for (const auto& [pos, len] : pieces) {
            bufs.emplace_back(len, 'x');
            want.emplace_back(len, 'x');
            reads.push_back(Io4Read{bufs.back().data(), len, pos, 0});
        }
        io4()->preadBatch(from, reads.data(), static_cast<int>(reads.size()));
        for (size_t k = 0; k < reads.size(); ++k) {
            ssize_t n = ::pread(from, want[k].data(), pieces[k].second, pieces[k].first);
            if (n < 0) n = -errno;
            if (reads[k].got != n || bufs[k] != want[k]) return static_cast<int>(k) + 1;
        }
        return 0;
    };
    const std::vector<std::pair<off_t, size_t>> edges = {{0, 100},    {9990, 100},  {10000, 5},
                                                         {20000, 50}, {5000, 3000}, {1, 1}};
    std::vector<std::pair<off_t, size_t>> many;
    for (int k = 0; k < 40; ++k) many.push_back({k * 241 % 9900, 60});
    EXPECT_EQ(differs(fd, edges), 0);
    EXPECT_EQ(differs(fd, many), 0);
    EXPECT_EQ(differs(-1, edges), 0);
    lock4test::Child child([&](const lock4test::Channel&) { return differs(fd, many); });
    EXPECT_EQ(child.wait(), 0);
    EXPECT_EQ(differs(fd, many), 0);
    ::close(fd);
}

TEST(File4Seq, RoundTripAcrossBuffers) {
    ScratchDir dir;
    for (int noThreads : {0, 1}) {
        Vask4 c;
        ASSERT_EQ(vask4init(&c, VASK4_VERSION, 0, noThreads), 0);
        std::string name = dir.file("seq" + std::to_string(noThreads));
        File4 f;
        ASSERT_EQ(file4create(&f, &c, name.c_str()), 0);
        std::vector<char> data(100003);
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
        {
            File4seqWrite w;
            ASSERT_EQ(file4seqWriteInit(&w, &f, 10, 4096), 0);
            size_t at = 0, step = 1;
            while (at < data.size()) {
                size_t n = std::min(step, data.size() - at);
                ASSERT_EQ(file4seqWrite(&w, data.data() + at, static_cast<unsigned>(n)), 0);
                at += n;
                step = step * 3 % 9973 + 1;
            }
            ASSERT_EQ(file4seqWriteFlush(&w), 0);
        }
        EXPECT_EQ(file4len(&f), 10 + static_cast<std::int64_t>(data.size()));
        File4seqRead r;
        ASSERT_EQ(file4seqReadInit(&r, &f, 10, 4096), 0);
        std::vector<char> back(data.size() + 50);
        size_t got = 0, step = 5;
        for (;;) {
            long n = file4seqRead(&r, back.data() + got,
                                  static_cast<unsigned>(std::min(step, back.size() - got)));
            ASSERT_GE(n, 0);
            if (n == 0) break;
            got += static_cast<size_t>(n);
            step = step * 5 % 7001 + 1;
        }
        ASSERT_EQ(got, data.size());
        back.resize(got);
        EXPECT_EQ(back, data);
        file4seqReadInitUndo(&r);
        EXPECT_EQ(file4close(&f), 0);
    }
    unsigned got = 0;
    char* p = file4bufferAlloc(5000, &got);
    EXPECT_EQ(got, 4096u);
    delete[] p;
}

}  // namespace
