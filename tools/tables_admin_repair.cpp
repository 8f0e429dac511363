// pack, reindex and repair: the table opened exclusively, its index created anew from its
// tag definitions when it no longer opens, the header set from the field descriptors.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/cdx4.h"
#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/expr4.h"
#include "engine/field4.h"
#include "engine/index4io.h"
#include "engine/lock4.h"
#include "engine/tag4.h"
#include "engine/vask4.h"

#include "tools/tables_admin.h"

namespace tables_admin {

// Opens the table exclusively. When its index no longer opens, the index is created anew
// from the tag definitions its headers still hold (rebuilt is then set).
Data4* openExclusive(Context& ctx, const std::string& name, const std::string& data,
                     bool& rebuilt) {
    rebuilt = false;
    // An own tag whose options lost its uniqueness is created anew from its definition, made
    // unique: a rebuild in place would keep the damaged options.
    bool damagedOptions = false;
    {
        std::vector<TagDefinition> defs;
        std::string why;
        const std::string cdx = indexOf(data);
        if (!cdx.empty() && readTagDefinitions(cdx, defs, why) == 0)
            for (const TagDefinition& t : defs) damagedOptions |= ownTagMustBeUnique(t);
    }
    Data4* d = damagedOptions ? nullptr : d4open(&ctx.c, name.c_str());
    if (d) return d;
    int code = ctx.c.errorCode;
    error4set(&ctx.c, 0);
    ctx.c.autoOpen = 0;
    d = d4open(&ctx.c, name.c_str());
    ctx.c.autoOpen = 1;
    if (!d) {
        if (unsupportedLayout(ctx.c.errorCode)) {
            std::fprintf(stderr,
                         "%s: UNSUPPORTED, not rebuilt: written with a layout this program does "
                         "not read: %s\n",
                         data.c_str(), errorText(ctx.c.errorCode).c_str());
            return nullptr;
        }
        std::fprintf(stderr,
                     "%s: cannot be opened exclusively: %s (is another user working with it, "
                     "or does its record count need repair?)\n",
                     data.c_str(), errorText(code).c_str());
        return nullptr;
    }
    std::string cdx = indexOf(data);
    std::vector<TagDefinition> defs;
    std::string why;
    if (cdx.empty() || readTagDefinitions(cdx, defs, why) != 0 || defs.empty()) {
        std::fprintf(stderr,
                     "%s: the index does not open and its tag definitions cannot be read%s%s\n",
                     data.c_str(), why.empty() ? "" : ": ", why.c_str());
        d4close(d);
        return nullptr;
    }
    // Tags that name what the table does not have are another program's: say so, and leave
    // the files as they are.
    if (const std::vector<std::string> foreign = foreignTags(&ctx.c, d, cdx); !foreign.empty()) {
        std::fprintf(stderr, "%s: UNSUPPORTED, not rebuilt: %s\n", data.c_str(),
                     foreign.front().c_str());
        d4close(d);
        return nullptr;
    }
    std::vector<TAG4INFO> info;
    for (const auto& t : defs)
        info.push_back({t.name.c_str(), t.expression.c_str(),
                        t.filter.empty() ? nullptr : t.filter.c_str(),
                        static_cast<short>(ownTagMustBeUnique(t) ? r4unique : t.unique),
                        static_cast<unsigned short>(t.descending ? 10 : 0)});
    info.push_back({nullptr, nullptr, nullptr, 0, 0});
    ctx.c.safety = 0;
    Index4* ix = i4create(d, nullptr, info.data());
    ctx.c.safety = 1;
    if (!ix) {
        std::fprintf(stderr, "%s: the index could not be created anew: %s\n", data.c_str(),
                     ctx.c.errorCode == r4unique ? "two records have the same key in a unique tag"
                                                 : errorText(ctx.c.errorCode).c_str());
        error4set(&ctx.c, 0);
        d4close(d);
        return nullptr;
    }
    rebuilt = true;
    std::printf(damagedOptions
                    ? "%s: the index's tag options were damaged; created anew from its tag "
                      "definitions\n"
                    : "%s: the index did not open; created anew from its tag definitions\n",
                data.c_str());
    return d;
}

int rebuildTable(const std::string& data, Rebuild what) {
    Staged staged;
    std::string name = staged.prepare(data);
    if (name.empty()) {
        std::fprintf(stderr, "%s: cannot be prepared for opening\n", data.c_str());
        return kDamaged;
    }
    {
        Context ctx(1);
        bool rebuilt = false;
        Data4* d = openExclusive(ctx, name, data, rebuilt);
        if (!d) return kDamaged;
        int r = 0;
        if (what == Rebuild::pack) {
            long before = d4recCount(d);
            r = d4lockAll(d);
            if (r == 0) r = d4pack(d);
            if (r == 0)
                std::printf("%s: packed, %ld of %ld records kept\n", data.c_str(), d4recCount(d),
                            before);
        } else if (!rebuilt) {
            r = d4reindex(d);
            if (r == 0) std::printf("%s: index rebuilt\n", data.c_str());
        }
        if (r != 0) {
            std::fprintf(stderr, "%s: %s failed: %s\n", data.c_str(),
                         what == Rebuild::pack ? "pack" : "reindex",
                         r == r4unique || ctx.c.errorCode == e4unique
                             ? "two records have the same key in a unique tag"
                             : errorText(ctx.c.errorCode ? ctx.c.errorCode : r).c_str());
            error4set(&ctx.c, 0);
            d4close(d);
            return kDamaged;
        }
        if (int c = d4close(d)) {
            std::fprintf(stderr, "%s: closing failed: %s\n", data.c_str(), errorText(c).c_str());
            return kDamaged;
        }
    }
    return checkTable(data);
}

// The lengths a data file's field descriptors give, read without trusting the header's own
// lengths: a flipped bit there must not decide where records begin or how long they are.
struct Layout {
    bool ok = false;
    std::string problem;
    unsigned headerLen = 0;
    unsigned recordLen = 0;
};

Layout layoutOf(int fd, long long fileLen, unsigned char version) {
    Layout l;
    const long long most = std::min<long long>(fileLen, 32 + 32LL * 2048 + 1 + 263);
    std::vector<unsigned char> head(static_cast<std::size_t>(std::max<long long>(most, 0)));
    if (most < 33 || ::pread(fd, head.data(), head.size(), 0) != static_cast<ssize_t>(most)) {
        l.problem = "the field descriptors cannot be read";
        return l;
    }
    unsigned long sum = 1;
    for (std::size_t at = 32;; at += 32) {
        if (at >= head.size()) {
            l.problem = "the field descriptors have no end mark";
            return l;
        }
        if (head[at] == 0x0D || head[at] == 0x0A) {
            l.headerLen = static_cast<unsigned>(at + 1 + (version == 0x30 ? 263 : 0));
            break;
        }
        if (at + 32 > head.size()) {
            l.problem = "the field descriptors are cut short";
            return l;
        }
        const unsigned char type = head[at + 11];
        const bool wide = type == 'C' || type == 'O' || type == 'W';
        sum += wide ? (head[at + 16] | (head[at + 17] << 8)) : head[at + 16];
    }
    if (sum > 0xFFFF || l.headerLen > fileLen) {
        l.problem = "the field descriptors describe no table this file can hold";
        return l;
    }
    l.recordLen = static_cast<unsigned>(sum);
    l.ok = true;
    return l;
}

void put16(unsigned char* p, unsigned v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

// Makes the header agree with the field descriptors and the file: its lengths from the
// descriptors, its record count from the whole records the file holds, its index mark from
// the index beside it. Nothing is cut off (a partial record after a crash stays behind the
// counted ones, where the engine passes it over), and nothing is written unless every counted
// record starts with a deletion flag (blank or '*'): records that do not line up mean the
// derived lengths are not the table's, and a header written from them would lose records.
int repairData(const std::string& data) {
    int fd = ::open(data.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    struct stat st {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        fd = -1;
        errno = EINVAL;
    }
    if (fd < 0) {
        std::fprintf(stderr, "%s: cannot be opened: %s\n", data.c_str(), std::strerror(errno));
        return kDamaged;
    }
    int share = lock4shareOpen(fd, lock4exclusive, true);
    if (share != 0) {
        std::fprintf(stderr, "%s: %s\n", data.c_str(),
                     share == 1 ? "in use by another user; try again when it is closed"
                                : "cannot be opened exclusively");
        ::close(fd);
        return kDamaged;
    }
    unsigned char head[32];
    const long long fileLen = st.st_size;
    auto refuse = [&](const std::string& why) {
        std::fprintf(stderr, "%s: cannot be repaired safely: %s; nothing was changed\n",
                     data.c_str(), why.c_str());
        ::close(fd);
        return kDamaged;
    };
    if (::pread(fd, head, 32, 0) != 32) return refuse("shorter than a data file header");
    const Layout l = layoutOf(fd, fileLen, head[0]);
    if (!l.ok) return refuse(l.problem);
    const unsigned hdrLen = head[8] | (head[9] << 8), recLen = head[10] | (head[11] << 8);
    const unsigned long count =
        head[4] | (head[5] << 8) | (head[6] << 16) | (static_cast<unsigned long>(head[7]) << 24);
    if (hdrLen != l.headerLen)
        std::printf("%s: the header says its length is %u, the field descriptors give %u\n",
                    data.c_str(), hdrLen, l.headerLen);
    if (recLen != l.recordLen)
        std::printf("%s: the header says records are %u bytes, the field descriptors give %u\n",
                    data.c_str(), recLen, l.recordLen);
    const long long body = fileLen - l.headerLen;
    const unsigned long whole = static_cast<unsigned long>(body / l.recordLen);
    long long rest = body % l.recordLen;
    unsigned char last = 0;
    if (rest > 0 && ::pread(fd, &last, 1, fileLen - 1) == 1 && last == 0x1A) --rest;
    // Every counted record must begin where a record begins.
    std::vector<char> run(static_cast<std::size_t>(l.recordLen) * 256);
    for (unsigned long n = 0; n < whole;) {
        const unsigned long k = std::min<unsigned long>(256, whole - n);
        const std::size_t want = static_cast<std::size_t>(k) * l.recordLen;
        if (::pread(fd, run.data(), want, l.headerLen + static_cast<long long>(n) * l.recordLen) !=
            static_cast<ssize_t>(want))
            return refuse("the records cannot be read");
        for (unsigned long j = 0; j < k; ++j) {
            const char flag = run[static_cast<std::size_t>(j) * l.recordLen];
            if (flag != ' ' && flag != '*')
                return refuse("record " + std::to_string(n + j + 1) +
                              " does not start where the field descriptors say records start");
        }
        n += k;
    }
    unsigned char fixed[32];
    std::memcpy(fixed, head, 32);
    put16(fixed + 8, l.headerLen);
    put16(fixed + 10, l.recordLen);
    for (int b = 0; b < 4; ++b) fixed[4 + b] = static_cast<unsigned char>(whole >> (8 * b));
    const std::string cdx = indexOf(data);
    if (!cdx.empty() && !tagNames(cdx).empty()) fixed[28] |= 1;
    if (rest > 0)
        std::printf("%s: %lld bytes of a partial record after record %lu are left as they are\n",
                    data.c_str(), rest, whole);
    if (std::memcmp(fixed, head, 32) != 0) {
        if (::pwrite(fd, fixed, 32, 0) != 32 || ::fdatasync(fd) != 0) {
            std::fprintf(stderr, "%s: the header cannot be written: %s\n", data.c_str(),
                         std::strerror(errno));
            ::close(fd);
            return kDamaged;
        }
        if (whole != count)
            std::printf("%s: record count %lu set to %lu from the file length\n", data.c_str(),
                        count, whole);
        if ((fixed[28] & 1) && !(head[28] & 1))
            std::printf("%s: the header marks its production index again\n", data.c_str());
    }
    ::close(fd);
    return kSound;
}

}  // namespace tables_admin
