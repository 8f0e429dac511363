// Fuzz target: a sound table and its compound index, both damaged by the input's byte flips,
// then walked in tag order both ways (stepping alone and as one declared walk) and sought
// into. Every walk must end, in at most as many steps as the damaged files can hold entries:
// a walk that goes on longer is going round in circles, and the run aborts.
//
// Input: byte 0 picks the access mode, the direction and whether the walk is declared; then
// groups of four bytes: the file and the offset's high bits, two more offset bytes, and the
// value XORed into the byte there.
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/data4.h"
#include "engine/io4.h"
#include "engine/tag4.h"

namespace {

class NoSyncIo : public Io4 {
public:
    int fdatasync(int) override { return 0; }
};
NoSyncIo noSync;

constexpr int kRows = 240;
const FIELD4INFO kFields[] = {{"DATE", 'C', 8, 0, 0},
                              {"ROOMNAME", 'C', 20, 0, 0},
                              {"STARTHH", 'C', 2, 0, 0},
                              {"NOTE", 'C', 30, 0, 0},
                              {nullptr, 0, 0, 0, 0}};
// The reservations' own kind of tag: joined character fields, only live records, unique.
const TAG4INFO kTags[] = {{"SCHEDTAG", "DATE+ROOMNAME+STARTHH", ".NOT. DELETED()", r4unique, 0},
                          {nullptr, nullptr, nullptr, 0, 0}};

std::string scratchDir;
std::vector<std::uint8_t> pristineDbf, pristineCdx;

void removeScratch() {
    if (scratchDir.empty()) return;
    for (const char* f : {"/T.DBF", "/T.CDX"}) unlink((scratchDir + f).c_str());
    rmdir(scratchDir.c_str());
}

std::vector<std::uint8_t> readAll(const std::string& path) {
    std::vector<std::uint8_t> b;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        std::uint8_t buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
        std::fclose(f);
    }
    return b;
}

bool writeAll(const std::string& path, const std::vector<std::uint8_t>& b) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return std::fclose(f) == 0 && ok;
}

// Made once: the pristine pair every run starts from.
bool setUp() {
    if (!scratchDir.empty()) return !pristineDbf.empty();
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim {};
    if (getrlimit(RLIMIT_FSIZE, &lim) == 0) {
        lim.rlim_cur = 8 << 20;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    char tmpl[] = "/tmp/fuzz_walk4_XXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (!dir) return false;
    scratchDir = dir;
    std::atexit(removeScratch);
    Vask4 c;
    vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
    Data4* d = d4create(&c, (scratchDir + "/T.DBF").c_str(), kFields, kTags);
    if (!d) return false;
    const char* rooms[] = {"Court 1", "Court 2", "Court 3", "Court 4"};
    for (int i = 0; i < kRows; ++i) {
        char date[9], hh[3];
        std::snprintf(date, sizeof date, "202601%02d", 1 + i / 16);
        std::snprintf(hh, sizeof hh, "%02d", 6 + (i % 16) / 4 * 3);
        d4appendStart(d, 0);
        d4blank(d);
        d4field(d, "DATE")->assign(date);
        d4field(d, "ROOMNAME")->assign(rooms[i % 4]);
        d4field(d, "STARTHH")->assign(hh);
        d4field(d, "NOTE")->assign("note");
        d4append(d);
        if (i % 7 == 3) d4delete(d);
    }
    d4close(d);
    vask4initUndo(&c);
    pristineDbf = readAll(scratchDir + "/T.DBF");
    pristineCdx = readAll(scratchDir + "/T.CDX");
    return !pristineDbf.empty() && !pristineCdx.empty();
}

// Steps from one end, or on from a seek's record; aborts when the walk takes more steps
// than there can be entries.
void walk(Data4* d, bool forward, bool declared, long bound, const char* seek = nullptr) {
    if (declared) d4walkStart(d);
    long steps = 0;
    int first = seek ? d4seek(d, seek) : forward ? d4top(d) : d4bottom(d);
    if (first == r4after) first = 0;
    for (int r = first; r == 0; r = d4skip(d, forward ? 1 : -1)) {
        if (++steps > bound) std::abort();  // round in circles
        volatile const char* s = d4field(d, "ROOMNAME") ? f4str(d4field(d, "ROOMNAME")) : "";
        (void)s;
    }
    if (declared) d4walkEnd(d);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 || !setUp()) return 0;
    io4set(&noSync);
    std::vector<std::uint8_t> dbf = pristineDbf, cdx = pristineCdx;
    for (std::size_t at = 1; at + 4 <= size; at += 4) {
        std::vector<std::uint8_t>& file = data[at] & 0x80 ? cdx : dbf;
        const std::size_t off = ((std::size_t(data[at] & 0x7F) << 16) |
                                 (std::size_t(data[at + 1]) << 8) | data[at + 2]) %
                                file.size();
        file[off] ^= data[at + 3];
    }
    if (!writeAll(scratchDir + "/T.DBF", dbf) || !writeAll(scratchDir + "/T.CDX", cdx)) return 0;
    // Every entry of every leaf block, twice over (each leaf may be reached from both sides).
    const long bound = 2 * (long(cdx.size()) / 512 + 1) * 512 + kRows;
    Vask4 c;
    if (vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1) != 0) return 0;
    c.errOff = 1;
    c.logOpen = 0;
    c.accessMode = data[0] % 3 == 1 ? 1 : 0;
    c.readOnly = data[0] % 3 == 2;
    Data4* d = d4open(&c, (scratchDir + "/T.DBF").c_str());
    if (d) {
        if (Tag4* t = d4tag(d, "SCHEDTAG")) {
            d4tagSelect(d, t);
            const bool declared = (data[0] & 8) != 0;
            walk(d, (data[0] & 4) == 0, declared, bound);
            error4set(&c, 0);
            walk(d, (data[0] & 4) != 0, !declared, bound);
            error4set(&c, 0);
            for (const char* key : {"20260105Court 3", "20260115", "2026"}) {
                walk(d, (data[0] & 16) == 0, declared, bound, key);
                error4set(&c, 0);
            }
        }
        error4set(&c, 0);
        d4close(d);
    }
    vask4initUndo(&c);
    return 0;
}
