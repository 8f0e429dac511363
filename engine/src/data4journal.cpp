// A record rewritten in place whose changed bytes lie on both sides of a sector boundary can
// be torn by a power loss (or a kill between the two pages the write spans): the first part
// new, the rest old, a record no check can tell from a whole one. Such a rewrite goes through a
// redo journal first, a hidden file of that record beside the table (".NAME.DBF.<record>~j"),
// which other xBase programs never open: the old and the new image with a checksum, synced with
// its folder before the record is written, and removed once the record is on the disk. The
// next opener that finds one left behind (its writer died) puts the new image in place when
// the journal is whole and drops it when it is torn (the record was not yet touched).
//
// Layout (little-endian): "QVJ1", record number (4), record offset (8), record length (4),
// zero (4), checksum (8, FNV-1a over every other byte), the old image, the new image.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/file4replace.h"
#include "engine/io4.h"
#include "engine/lock4.h"
#include "engine/src/data4impl.h"
#include "engine/src/vask4impl.h"

namespace {

constexpr std::size_t kHead = 32;
constexpr std::int64_t kSector = 512;  // what a disk writes whole or not at all

void put(unsigned char* at, std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) at[i] = static_cast<unsigned char>(v >> (8 * i));
}
std::uint64_t get(const unsigned char* at, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | at[i];
    return v;
}

std::uint64_t checksum(const std::vector<unsigned char>& j) {
    std::uint64_t h = 14695981039346656037ull;
    for (std::size_t i = 0; i < j.size(); ++i) {
        if (i == 24) i = kHead;
        h = (h ^ j[i]) * 1099511628211ull;
    }
    return h;
}

std::string baseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string journalPath(const DataFile4* df, long rec) {
    return file4folder(df->name) + "/." + baseName(df->name) + "." + std::to_string(rec) + "~j";
}

// The record number a journal's name gives, for a table's journals; 0 for any other name.
long journalRecord(const std::string& entry, const std::string& table) {
    const std::string prefix = "." + table + ".";
    if (entry.size() < prefix.size() + 3 || entry.compare(0, prefix.size(), prefix) != 0 ||
        entry.compare(entry.size() - 2, 2, "~j") != 0)
        return 0;
    long rec = 0;
    for (std::size_t i = prefix.size(); i + 2 < entry.size(); ++i) {
        if (entry[i] < '0' || entry[i] > '9' || rec > 0xFFFFFFFL) return 0;
        rec = rec * 10 + (entry[i] - '0');
    }
    return rec;
}

int fail(DataFile4* df, int error) {
    return error4describe(df->c, e4write, L4_dfile4,
                          (df->name + ": " + std::strerror(error ? error : EIO)).c_str());
}

}  // namespace

bool dfile4rewriteMayTear(const DataFile4* df, long rec, const char* old, const char* neu) {
    const unsigned len = df->recordLen;
    unsigned first = 0, last = len;
    while (first < len && old[first] == neu[first]) ++first;
    if (first == len) return false;
    while (old[last - 1] == neu[last - 1]) --last;
    const std::int64_t pos = dfile4recordPos(df, rec);
    return (pos + first) / kSector != (pos + last - 1) / kSector;
}

int dfile4rewriteJournaled(DataFile4* df, long rec, const char* old, const char* neu) {
    const unsigned len = df->recordLen;
    const std::int64_t pos = dfile4recordPos(df, rec);
    std::vector<unsigned char> j(kHead + 2 * std::size_t(len));
    std::memcpy(j.data(), "QVJ1", 4);
    put(&j[4], static_cast<std::uint64_t>(rec), 4);
    put(&j[8], static_cast<std::uint64_t>(pos), 8);
    put(&j[16], len, 4);
    std::memcpy(&j[kHead], old, len);
    std::memcpy(&j[kHead + len], neu, len);
    put(&j[24], checksum(j), 8);

    // A journal of this record can only be one its writer left when it died after this table
    // was opened: the record's lock, held now, is what every writer of it holds.
    const std::string path = journalPath(df, rec);
    io4()->unlink(path.c_str());
    const int fd =
        io4()->open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return fail(df, errno);
    // Whoever may read the table may settle the journal: it takes the table's permissions.
    struct stat table {};
    if (io4()->fstat(df->file.fd, &table) == 0) io4()->fchmod(fd, table.st_mode & 0666);
    // Held while the journal lives, so that an opener never takes it for one left behind.
    lock4osLock(fd, 0, 1, lock4write);
    int e = file4writeAll(fd, j.data(), j.size(), 0);
    if (e == 0 && io4()->fdatasync(fd) != 0) e = errno;
    if (e == 0) e = file4syncFolder(path);
    if (e != 0) {
        io4()->unlink(path.c_str());
        io4()->close(fd);
        return fail(df, e);
    }
    int r = file4write(&df->file, pos, neu, len);
    if (r == 0) r = file4flush(&df->file);
    if (r != 0) {
        // The record may be half written: the old one goes back, and only if that fails too is
        // the journal left for the next opener to finish the rewrite.
        if (file4write(&df->file, pos, old, len) == 0 && file4flush(&df->file) == 0) {
            io4()->unlink(path.c_str());
            file4syncFolder(path);
        }
        io4()->close(fd);
        return r;
    }
    io4()->unlink(path.c_str());
    e = file4syncFolder(path);
    io4()->close(fd);
    // The record is whole on the disk; should the removal be lost, the journal finds it so.
    return e ? fail(df, e) : 0;
}

std::vector<std::string> d4journalsLeft(const char* table) {
    std::vector<std::string> found;
    // The journals carry the table's name as the engine spells it (upper-cased).
    std::string path;
    if (!dfile4name(table, nullptr, &path)) return found;
    const std::string folder = file4folder(path), name = baseName(path);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return found;
    while (const dirent* e = ::readdir(dir))
        if (journalRecord(e->d_name, name) > 0) found.push_back(folder + "/" + e->d_name);
    ::closedir(dir);
    return found;
}

namespace {

// Settles one journal left behind, under the lock of its record: nothing happens when its
// writer still holds it or the record is locked by someone else (a later opener settles it).
void settle(Data4* d, const std::string& path, long rec) {
    DataFile4* df = d->df;
    // Read-only, as another user's journal may not be writable: a read lock still tells
    // whether its writer holds it.
    const int fd = io4()->open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0);
    struct stat st {};
    // A link or anything else but a file under a journal's name was planted, never written by
    // a writer: the name goes (a link's target is untouched).
    if ((fd < 0 && errno == ELOOP) ||
        (fd >= 0 && io4()->fstat(fd, &st) == 0 && !S_ISREG(st.st_mode))) {
        io4()->unlink(path.c_str());
        if (fd >= 0) io4()->close(fd);
        return;
    }
    if (fd < 0) return;
    if (!S_ISREG(st.st_mode) || lock4osLock(fd, 0, 1, lock4read) != lock4granted) {
        io4()->close(fd);
        return;
    }
    const unsigned len = df->recordLen;
    std::vector<unsigned char> j(kHead + 2 * std::size_t(len));
    const bool whole =
        st.st_size == static_cast<off_t>(j.size()) &&
        io4()->pread(fd, j.data(), j.size(), 0) == static_cast<ssize_t>(j.size()) &&
        std::memcmp(j.data(), "QVJ1", 4) == 0 && get(&j[4], 4) == std::uint64_t(rec) &&
        get(&j[8], 8) == std::uint64_t(dfile4recordPos(df, rec)) && get(&j[16], 4) == len &&
        get(&j[24], 8) == checksum(j) && rec <= static_cast<long>(df->numRecs);
    bool drop = !whole;
    if (whole) {
        Vask4* c = d->c;
        const int attempts = c->lockAttempts;
        c->lockAttempts = 1;
        const int locked = d4lock(d, rec);
        c->lockAttempts = attempts;
        std::vector<char> now(len);
        if (locked == 0 && dfile4readRecord(df, rec, now.data()) == 0) {
            // Only a record whose every sector holds the old bytes or the new is the one the
            // journal's writer left; one rewritten since by somebody else stays as it is.
            const char* old = reinterpret_cast<const char*>(&j[kHead]);
            const char* neu = old + len;
            const std::int64_t pos = dfile4recordPos(df, rec);
            bool mix = true, done = std::memcmp(now.data(), neu, len) == 0;
            for (std::int64_t at = 0; at < len && mix;) {
                const std::int64_t end =
                    std::min<std::int64_t>(len, (pos + at) / kSector * kSector + kSector - pos);
                const std::size_t n = std::size_t(end - at);
                mix = std::memcmp(&now[std::size_t(at)], old + at, n) == 0 ||
                      std::memcmp(&now[std::size_t(at)], neu + at, n) == 0;
                at = end;
            }
            drop = done || !mix ||
                   (file4write(&df->file, pos, neu, len) == 0 && file4flush(&df->file) == 0);
            if (!done && mix && drop) log4append(c, "REDO", df->name.c_str(), rec);
        }
        if (locked == 0) d4unlock(d);
        error4set(c, 0);
    }
    if (drop) {
        io4()->unlink(path.c_str());
        file4syncFolder(path);
    }
    io4()->close(fd);
}

}  // namespace

void d4journalSettle(Data4* d) {
    if (d->df->readOnly) return;
    const std::string table = baseName(d->df->name);
    for (const std::string& path : d4journalsLeft(d->df->name.c_str()))
        settle(d, path, journalRecord(baseName(path), table));
}
