// Fuzz target: arbitrary bytes as a data file, opened, walked record by record with every
// field read, then appended to and packed.
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/data4.h"
#include "engine/io4.h"

namespace {
// Syncing to disk proves nothing here and would slow every run down to the disk's pace.
class NoSyncIo : public Io4 {
public:
    int fdatasync(int) override { return 0; }
};
NoSyncIo noSync;

// No run may grow a file past this: inputs are a few kilobytes and an append adds at most one
// record. Anything bigger is a fault, and it must fail as a write error (the signal is
// ignored) instead of filling the disk or memory.
constexpr rlim_t kMaxFileBytes = 8 << 20;

std::string scratchDir;

void removeScratch() {
    if (scratchDir.empty()) return;
    const std::string file = scratchDir + "/T.DBF";
    unlink(file.c_str());
    rmdir(scratchDir.c_str());
}

std::string scratchFile() {
    static std::string path;
    if (path.empty()) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit lim {};
        if (getrlimit(RLIMIT_FSIZE, &lim) == 0 &&
            (lim.rlim_cur == RLIM_INFINITY || lim.rlim_cur > kMaxFileBytes)) {
            lim.rlim_cur = kMaxFileBytes;
            setrlimit(RLIMIT_FSIZE, &lim);
        }
        // On disk, never in a memory-backed folder: a runaway file must not eat the RAM.
        char tmpl[] = "/tmp/fuzz_d4open_XXXXXX";
        if (const char* dir = mkdtemp(tmpl)) {
            scratchDir = dir;
            std::atexit(removeScratch);
        }
        path = (scratchDir.empty() ? std::string("/tmp") : scratchDir) + "/T.DBF";
    }
    return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    io4set(&noSync);
    const std::string path = scratchFile();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }
    Vask4 c;
    if (vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1) != 0) return 0;
    c.errOff = 1;    // refusals are expected; keep the output quiet
    c.autoOpen = 0;  // the index reader has its own target
    c.logOpen = 0;
    c.accessMode = static_cast<int>(size % 3);
    c.memSizeBuffer = 2048;  // small sequential buffers: many buffer boundaries in a pack
    Data4* d = d4open(&c, path.c_str());
    if (d) {
        const int n = d4numFields(d);
        long walked = 0;
        for (int r = d4top(d); r == 0 && walked < 100000; r = d4skip(d, 1), ++walked) {
            for (int j = 1; j <= n; ++j) {
                Field4* f = d4fieldJ(d, j);
                volatile const char* s = f4str(f);
                (void)s;
                volatile long v = f4long(f);
                (void)v;
                volatile int isNull = f4null(f);
                (void)isNull;
            }
            (void)d4deleted(d);
        }
        error4set(&c, 0);
        if (d4appendStart(d, 0) == 0 && d4blank(d) == 0) {
            if (n > 0) d4fieldJ(d, 1)->assign("fuzz");
            if (d4append(d) == 0) d4delete(d);
        }
        error4set(&c, 0);
        d4pack(d);
        error4set(&c, 0);
        d4close(d);
    }
    vask4initUndo(&c);
    return 0;
}
