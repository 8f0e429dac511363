// Fuzz target: arbitrary bytes as a record rewrite's journal left beside a small table, which
// the next opening settles (finishes, drops or leaves), then the table is walked.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/data4.h"
#include "engine/io4.h"

namespace {
class NoSyncIo : public Io4 {
public:
    int fdatasync(int) override { return 0; }
    int fsync(int) override { return 0; }
};
NoSyncIo noSync;

std::string folder;
std::vector<char> table;  // the table's bytes as made, put back before every run

void removeScratch() {
    unlink((folder + "/T.DBF").c_str());
    for (int rec = 1; rec <= 4; ++rec)
        unlink((folder + "/.T.DBF." + std::to_string(rec) + "~j").c_str());
    rmdir(folder.c_str());
}

bool makeTable() {
    char tmpl[] = "/tmp/fuzz_journal_XXXXXX";
    if (!mkdtemp(tmpl)) return false;
    folder = tmpl;
    std::atexit(removeScratch);
    Vask4 c;
    if (vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1) != 0) return false;
    static const FIELD4INFO fields[] = {
        {"NAME", 'C', 200, 0, 0}, {"NOTES", 'C', 300, 0, 0}, {nullptr, 0, 0, 0, 0}};
    Data4* d = d4create(&c, (folder + "/T.DBF").c_str(), fields);
    for (int rec = 1; d && rec <= 4; ++rec) {
        d4appendStart(d, 0);
        d4blank(d);
        d4field(d, "NAME")->assign(("name " + std::to_string(rec)).c_str());
        d4append(d);
    }
    if (d) d4close(d);
    vask4initUndo(&c);
    FILE* f = std::fopen((folder + "/T.DBF").c_str(), "rb");
    if (!f) return false;
    table.resize(1 << 16);
    table.resize(std::fread(table.data(), 1, table.size(), f));
    std::fclose(f);
    return !table.empty();
}

void writeFile(const std::string& path, const void* bytes, std::size_t size) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(bytes, 1, size, f);
        std::fclose(f);
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    io4set(&noSync);
    if (table.empty() && !makeTable()) return 0;
    writeFile(folder + "/T.DBF", table.data(), table.size());
    // The first byte names the record whose journal the rest is; with its high bit set the
    // journal gets the header and checksum a writer gives it, so that the runs reach the
    // settling of whole journals (old and new images from the input) and not only refusals.
    const int rec = size ? data[0] % 4 + 1 : 1;
    const std::string journal = folder + "/.T.DBF." + std::to_string(rec) + "~j";
    std::vector<unsigned char> j(data + (size ? 1 : 0), data + size);
    if (size && (data[0] & 0x80)) {
        const unsigned len = 501, headerLen = 97;  // of the table made above
        j.resize(32 + 2 * len);
        const std::uint64_t head[] = {0x314A5651u | std::uint64_t(rec) << 32,
                                      headerLen + std::uint64_t(rec - 1) * len, len};
        std::memcpy(j.data(), head, sizeof head);
        std::uint64_t h = 14695981039346656037ull;
        for (std::size_t i = 0; i < j.size(); i = i == 23 ? 32 : i + 1)
            h = (h ^ j[i]) * 1099511628211ull;
        std::memcpy(&j[24], &h, 8);
    }
    writeFile(journal, j.data(), j.size());
    Vask4 c;
    if (vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1) != 0) return 0;
    c.errOff = 1;
    c.autoOpen = 0;
    c.logOpen = 0;
    if (Data4* d = d4open(&c, (folder + "/T.DBF").c_str())) {
        for (int r = d4top(d); r == 0; r = d4skip(d, 1)) {
        }
        d4close(d);
    }
    vask4initUndo(&c);
    unlink(journal.c_str());
    return 0;
}
