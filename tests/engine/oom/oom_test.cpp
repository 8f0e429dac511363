// Running out of memory while a table handle is built. This executable replaces the global
// allocator with one that can be told to fail the n-th allocation, so it lives apart from
// the other engine tests.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>

#include "engine/data4.h"
#include "engine/vask4.h"
#include "tests/engine/data4_testutil.h"

namespace {
std::atomic<long> gFailAfter{-1};
}

// Under AddressSanitizer the standard library's own nothrow and aligned forms may still pair
// with the sanitizer's operators; the mix is ours on purpose, every other check stays on.
extern "C" const char* __asan_default_options() {
    return "alloc_dealloc_mismatch=0";
}

// The replacement pairs malloc with free by design; the compiler cannot see that the new
// and delete below are the same replacement.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t n) {
    if (gFailAfter.load(std::memory_order_relaxed) >= 0 && gFailAfter.fetch_sub(1) == 0)
        throw std::bad_alloc();
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    return ::operator new(n);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

using engine_test::ScratchDir;

const FIELD4INFO kFields[] = {
    {"DATE", 'C', 8, 0, 0}, {"NAME", 'C', 20, 0, 0}, {nullptr, 0, 0, 0, 0}};
const TAG4INFO kTags[] = {{"DAYTAG", "DATE+NAME", ".NOT. DELETED()", 20, 0},
                          {nullptr, nullptr, nullptr, 0, 0}};

// Runs body in a child with the n-th allocation failing; returns the wait status.
template <class F>
int inChild(long n, F body) {
    pid_t pid = ::fork();
    if (pid == 0) {
        // The error report goes to stderr; only the exit status is judged. (Closing fd 2
        // instead would hand it to the table's file and the report would land in it.)
        int null = ::open("/dev/null", O_WRONLY);
        if (!std::getenv("OOM_KEEP_STDERR")) ::dup2(null, 2);
        // An exception escaping the engine must not run the rest of the tests in the child.
        int rc = 97;
        try {
            rc = body(n);
        } catch (...) {
            rc = 98;
        }
        std::_Exit(rc);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

// Every allocation of an open or create may fail: the program then ends with -920's exit
// status after closing its files, never with an escaping exception (abort) or a crash.
void everyAllocationFails(const char* what, int (*body)(const std::string&, long),
                          const std::string& folder) {
    long n = 0;
    for (; n < 5000; ++n) {
        int status = inChild(n, [&](long k) { return body(folder, k); });
        ASSERT_TRUE(WIFEXITED(status))
            << what << ": allocation " << n << " ended by signal " << WTERMSIG(status);
        if (WEXITSTATUS(status) == 0) break;  // no allocation left to fail
        ASSERT_EQ(WEXITSTATUS(status), (-920) & 0xFF) << what << ": allocation " << n;
    }
    EXPECT_GT(n, 0) << what << " allocated nothing";
    EXPECT_LT(n, 5000);
}

int openTable(const std::string& folder, long failAt) {
    Vask4 c;
    vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
    const std::string path = folder + "/res";
    gFailAfter = failAt;
    Data4* d = d4open(&c, path.c_str());
    gFailAfter = -1;
    int rc = d && d4recCount(d) == 3 ? 0 : 1;
    vask4initUndo(&c);
    return rc;
}

int createTable(const std::string& folder, long failAt) {
    Vask4 c;
    vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
    c.safety = 0;
    const std::string path = folder + "/fresh";
    gFailAfter = failAt;
    Data4* d = d4create(&c, path.c_str(), kFields, kTags);
    gFailAfter = -1;
    int rc = d ? 0 : 1;
    vask4initUndo(&c);
    return rc;
}

// Opens a fresh copy of the table, then runs one operation with the n-th of its allocations
// failing. (A rebuild that runs out of memory after it began writing the new trees leaves
// the index unreadable, as a crash there would; each run therefore starts from a copy.)
int afterOpen(const std::string& folder, long failAt, int (*op)(Data4*)) {
    for (const char* ext : {".DBF", ".CDX"})
        std::filesystem::copy_file(folder + "/RES" + ext, folder + "/WORK" + ext,
                                   std::filesystem::copy_options::overwrite_existing);
    Vask4 c;
    vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
    Data4* d = d4open(&c, (folder + "/work").c_str());
    if (!d) return 2;
    gFailAfter = failAt;
    int r = op(d);
    gFailAfter = -1;
    int rc = r == 0 ? 0 : 1;
    vask4initUndo(&c);
    return rc;
}

int reindexTable(const std::string& folder, long failAt) {
    return afterOpen(folder, failAt, [](Data4* d) { return d4reindex(d); });
}

int packTable(const std::string& folder, long failAt) {
    return afterOpen(folder, failAt, [](Data4* d) { return d4pack(d); });
}

int seekAndSkip(const std::string& folder, long failAt) {
    return afterOpen(folder, failAt, [](Data4* d) {
        int r = d4tagSelect(d, d4tag(d, "DAYTAG"));
        if (r == 0) r = d4seek(d, "20261209");
        if (r == 0) r = d4skip(d, 1);
        if (r == 0) r = d4skip(d, -1);
        if (r == 0) r = d4bottom(d);
        if (r == 0) r = d4top(d);
        return r;
    });
}

// The table the workloads run on: three days of one court, written with memory to spare.
void threeDays(const ScratchDir& dir) {
    Vask4 c;
    vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
    Data4* d = d4create(&c, dir.file("res").c_str(), kFields, kTags);
    ASSERT_NE(d, nullptr);
    for (const char* day : {"20261208", "20261209", "20261210"})
        ASSERT_EQ(engine_test::appendRow(d, {day, "Court 1"}), 0);
    d4close(d);
    vask4initUndo(&c);
}

TEST(EngineOutOfMemory, OpenAndCreateReportMinus920) {
    ScratchDir dir;
    ASSERT_NO_FATAL_FAILURE(threeDays(dir));
    everyAllocationFails("d4open", openTable, dir.path());
    everyAllocationFails("d4create", createTable, dir.path());
}

// Rebuilds and tag navigation allocate too (sort buffers, nodes): the same holds there.
TEST(EngineOutOfMemory, RebuildsAndWritesReportMinus920) {
    ScratchDir dir;
    ASSERT_NO_FATAL_FAILURE(threeDays(dir));
    everyAllocationFails("d4reindex", reindexTable, dir.path());
    everyAllocationFails("d4pack", packTable, dir.path());
    everyAllocationFails("d4seek", seekAndSkip, dir.path());
}

}  // namespace
