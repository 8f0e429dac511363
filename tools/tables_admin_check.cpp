// check: a table's header, lengths, index and records, each problem named with the repair
// that mends it.
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

struct Header {
    bool ok = false;
    std::string problem;
    unsigned long count = 0;
    unsigned headerLen = 0;
    unsigned recordLen = 0;
    unsigned char flags = 0;
    long long fileLen = 0;
};

Header readHeader(const std::string& path) {
    Header h;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        h.problem = std::string("cannot be read: ") + std::strerror(errno);
        return h;
    }
    unsigned char b[32];
    ssize_t n = ::pread(fd, b, sizeof b, 0);
    struct stat st;
    if (::fstat(fd, &st) != 0) st.st_size = 0;
    ::close(fd);
    h.fileLen = st.st_size;
    if (n != 32) {
        h.problem = "shorter than a data file header";
        return h;
    }
    h.count = b[4] | (b[5] << 8) | (b[6] << 16) | (static_cast<unsigned long>(b[7]) << 24);
    h.headerLen = b[8] | (b[9] << 8);
    h.recordLen = b[10] | (b[11] << 8);
    h.flags = b[28];
    if (h.recordLen == 0 || h.headerLen < 33 || h.headerLen > h.fileLen) {
        h.problem = "not a data file (its header lengths make no sense)";
        return h;
    }
    h.ok = true;
    return h;
}

// Whether the file length agrees with the header's record count (the end-of-file byte may
// be missing: some writers leave it out).
std::string lengthProblem(const Header& h) {
    long long body = h.fileLen - h.headerLen;
    long long want = static_cast<long long>(h.count) * h.recordLen;
    if (body == want || body == want + 1) return {};
    long long whole = body / h.recordLen;
    long long rest = body % h.recordLen;
    // The start of a record an interrupted append left behind the counted ones: no part of
    // the table (the next append writes over it), and repair leaves it, as it never shortens
    // a file.
    if (whole == static_cast<long long>(h.count)) return {};
    char buf[200];
    if (rest > 1)
        std::snprintf(buf, sizeof buf,
                      "the header counts %lu records, the file holds %lld and a partial record; "
                      "run repair",
                      h.count, whole);
    else
        std::snprintf(buf, sizeof buf,
                      "the header counts %lu records, the file holds %lld; run repair", h.count,
                      whole);
    return buf;
}

int readTagDefinitions(const std::string& cdx, std::vector<TagDefinition>& out, std::string& why) {
    int fd = ::open(cdx.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        why = std::string("cannot be read: ") + std::strerror(errno);
        return -1;
    }
    cdx4::Index ix(std::make_unique<Index4FdIo>(fd, true));
    if (int r = ix.open()) {
        why = ix.lastText().empty() ? errorText(r) : ix.lastText();
        return r;
    }
    for (auto& t : ix.tags()) {
        TagDefinition d;
        d.name = t->name();
        d.expression = t->keyExpr();
        d.filter = t->filterExpr();
        d.unique = t->candidate() ? 15 : t->unique() ? r4unique : 0;
        d.descending = t->descending();
        out.push_back(d);
    }
    return 0;
}

// The tags of the scheduler's own tables. The program takes their tables only with these
// tags unique (one reservation per facility and start, one customer per name), so a tag of
// one of these names and keys that is not unique has a damaged options byte, and a rebuild
// makes it unique again rather than keep the damage.
bool ownTagMustBeUnique(const TagDefinition& t) {
    static const char* const kOwn[][2] = {{"SCHEDTAG", "DATE+ROOMNAME+STARTHH+STARTMM"},
                                          {"PEOPLETAG", "LASTNAME+FIRSTNAME+MI+PHONE+EXT"},
                                          {"MAINTENANC", "NAME"}};
    for (const auto& own : kOwn)
        if (upper(t.name) == own[0] && upper(t.expression) == own[1]) return t.unique == 0;
    return false;
}

std::vector<std::string> tagNames(const std::string& cdx) {
    std::vector<TagDefinition> defs;
    std::string why;
    std::vector<std::string> names;
    if (!cdx.empty() && readTagDefinitions(cdx, defs, why) == 0)
        for (const auto& d : defs) names.push_back(d.name);
    return names;
}

std::string join(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& x : v) s += (s.empty() ? "" : " ") + x;
    return s.empty() ? "-" : s;
}

void splitLines(const std::string& text, const std::string& suffix, std::vector<std::string>& out) {
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (end > at) out.push_back(text.substr(at, end - at) + suffix);
        at = end + 1;
    }
}

// The version byte and the field types of a data file's header, for the report of a table
// this program does not read ("version byte 0x31, field types C N +").
std::string layoutText(const std::string& path, const Header& h) {
    std::vector<unsigned char> head(h.headerLen);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return {};
    const ssize_t n = ::pread(fd, head.data(), head.size(), 0);
    ::close(fd);
    if (n < 32) return {};
    char version[40];
    std::snprintf(version, sizeof version, "version byte 0x%02x", head[0]);
    std::string types;
    for (ssize_t at = 32; at + 32 <= n && head[at] != 0x0D && head[at] != 0x0A; at += 32) {
        const unsigned char t = head[at + 11];
        const std::string one = std::isprint(t) ? std::string(1, char(t)) : "?";
        if (types.find(one) == std::string::npos) types += (types.empty() ? "" : " ") + one;
    }
    return std::string(version) + ", field types " + (types.empty() ? "-" : types);
}

// The engine codes that mean "written by a program whose table layout or index expressions
// this engine does not take", as opposed to damage: a rebuild cannot mend them.
bool unsupportedLayout(int code) {
    return code == e4fieldType || code == e4notSupported || code == e4version;
}
bool unsupportedExpression(int code) {
    return code == e4fieldName || code == e4unrecFunction || code == e4unrecOperator ||
           code == e4unrecValue || code == e4typeSub || code == e4complete;
}

// The tags whose key or filter do not compile on the table (they name fields or functions
// the table does not have, as tags of a database container's tables may), one line each.
std::vector<std::string> foreignTags(Vask4* c, Data4* plain, const std::string& cdx) {
    std::vector<TagDefinition> defs;
    std::string why;
    std::vector<std::string> lines;
    if (cdx.empty() || readTagDefinitions(cdx, defs, why) != 0) return lines;
    for (const TagDefinition& t : defs) {
        for (const std::string* text : {&t.expression, &t.filter}) {
            if (text->empty()) continue;
            error4set(c, 0);
            Expr4* e = expr4parseTag(plain, text->c_str());
            const int code = c->errorCode;
            error4set(c, 0);
            if (e) {
                expr4free(e);
                continue;
            }
            lines.push_back(
                "tag " + t.name + ": " + (text == &t.filter ? "filter" : "key") + " \"" + *text +
                "\" does not compile on this table: " + errorText(code ? code : e4index));
        }
    }
    return lines;
}

// Counts the live records and finds those the program cannot read: a read that fails, and
// a deletion flag other than blank or '*' (neither live nor deleted: a damaged byte).
void lookAtRecords(Vask4& c, Data4* d, long records, long& live,
                   std::vector<std::string>& problems) {
    constexpr int kShown = 5;
    int odd = 0;
    for (long n = 1; n <= records; ++n) {
        if (int r = d4go(d, n, 0); r != 0) {
            problems.push_back("record " + std::to_string(n) +
                               " cannot be read: " + errorText(c.errorCode ? c.errorCode : r));
            error4set(&c, 0);
            return;
        }
        const unsigned char flag = static_cast<unsigned char>(d4record(d)[0]);
        if (flag != ' ' && flag != '*' && ++odd <= kShown) {
            char buf[120];
            std::snprintf(buf, sizeof buf,
                          "record %ld has the deletion flag 0x%02x (neither blank nor '*')", n,
                          flag);
            problems.push_back(buf);
        }
        if (!d4deleted(d)) ++live;
    }
    if (odd > kShown)
        problems.push_back(std::to_string(odd - kShown) + " more records have such a flag");
}

// Checks one table; prints its verdict line and the problems below it.
int checkTable(const std::string& data) {
    Header h = readHeader(data);
    if (!h.ok) {
        std::printf("%s: DAMAGED\n  %s\n", data.c_str(), h.problem.c_str());
        return kDamaged;
    }
    std::vector<std::string> problems;
    if (std::string p = lengthProblem(h); !p.empty()) problems.push_back(p);
    // The check writes nothing: a rewrite a writer left half done is settled by the repair
    // (or by the program's next opening).
    for (const std::string& journal : d4journalsLeft(data.c_str()))
        problems.push_back("an interrupted record rewrite is left beside it (" + nameOf(journal) +
                           "); run repair");
    std::string cdx = indexOf(data);
    const bool wantsIndex = (h.flags & 1) != 0;
    if (wantsIndex && cdx.empty()) problems.push_back("the production index file is missing");
    // Without the flag the index beside the table is never opened with it, so its keys are
    // not kept: a program that needs the index refuses the table.
    if (!wantsIndex && !cdx.empty())
        problems.push_back("the header (byte 28) does not mark the production index " +
                           nameOf(cdx) + " that is beside it; run repair");
    std::vector<std::string> tags = wantsIndex ? tagNames(cdx) : std::vector<std::string>();
    if (wantsIndex && !cdx.empty()) {
        std::vector<TagDefinition> defs;
        std::string why;
        if (readTagDefinitions(cdx, defs, why) == 0)
            for (const TagDefinition& t : defs)
                if (ownTagMustBeUnique(t))
                    problems.push_back("tag " + t.name +
                                       ": not unique, as this program's tag of that name always "
                                       "is (its options byte is damaged); run reindex");
    }

    Staged staged;
    std::string name = staged.prepare(data);
    long records = static_cast<long>(h.count), live = -1;
    // Reasons the table is another program's that this engine does not take; they replace
    // the verdict DAMAGED, and no repair is advised: none can help.
    std::vector<std::string> unsupported;
    if (name.empty()) {
        problems.push_back("cannot be prepared for opening");
    } else {
        Context ctx;
        ctx.c.readOnly = 1;
        Data4* d = d4open(&ctx.c, name.c_str());
        if (!d) {
            int code = ctx.c.errorCode;
            // Tell a damaged index from a damaged data file.
            Context bare(0, false);
            Data4* plain = d4open(&bare.c, name.c_str());
            if (plain) {
                if (unsupportedExpression(code)) unsupported = foreignTags(&bare.c, plain, cdx);
                if (unsupported.empty() && unsupportedExpression(code))
                    unsupported.push_back("the index's expressions do not compile on this table: " +
                                          errorText(code));
                if (unsupported.empty())
                    problems.push_back("the index does not open: " + errorText(code) +
                                       "; run reindex");
                d4close(plain);
            } else if (unsupportedLayout(bare.c.errorCode)) {
                unsupported.push_back("written with a layout this program does not read (" +
                                      layoutText(data, h) + "): " + errorText(bare.c.errorCode));
            } else {
                problems.push_back("the data file does not open: " + errorText(bare.c.errorCode));
            }
        } else {
            // A consistent view: nobody writes while the table is looked at. Others may have
            // it open for their daily work, which refuses the lock: the table is then read as
            // they read it, and a problem counts only when it is still there on a second
            // and third look (a write of theirs may have been under way).
            const bool locked = d4lockAll(d) == 0;
            error4set(&ctx.c, 0);
            std::vector<std::string> found;
            for (int look = 0; look < (locked ? 1 : 3); ++look) {
                found.clear();
                records = d4recCount(d);
                live = 0;
                lookAtRecords(ctx.c, d, records, live, found);
                std::string report;
                if (i4check(d, &report) != 0) {
                    splitLines(report, "; run reindex", found);
                    if (report.empty()) found.push_back("the index check failed; run reindex");
                }
                error4set(&ctx.c, 0);
                if (found.empty()) break;
            }
            problems.insert(problems.end(), found.begin(), found.end());
            d4unlock(d);
            d4close(d);
        }
    }
    if (!unsupported.empty()) {
        std::printf("%s: records %ld, tags %s: UNSUPPORTED\n", data.c_str(), records,
                    wantsIndex ? join(tags).c_str() : "none (no index)");
        for (const auto& p : unsupported) std::printf("  %s\n", p.c_str());
        for (const auto& p : problems) std::printf("  %s\n", p.c_str());
        std::printf("  this program cannot check or rebuild it; use the program that made it\n");
        return kDamaged;
    }
    std::printf("%s: records %ld, live %s, tags %s: %s\n", data.c_str(), records,
                live < 0 ? "?" : std::to_string(live).c_str(),
                wantsIndex ? join(tags).c_str() : "none (no index)",
                problems.empty() ? "sound" : "DAMAGED");
    for (const auto& p : problems) std::printf("  %s\n", p.c_str());
    return problems.empty() ? kSound : kDamaged;
}

int cmdCheck(const std::vector<std::string>& args) {
    int result = kSound;
    for (const std::string& arg : args) {
        std::vector<std::string> tables;
        if (isDir(arg)) {
            std::string folder = arg.back() == '/' ? arg : arg + "/";
            if (DIR* dir = ::opendir(folder.c_str())) {
                while (dirent* e = ::readdir(dir))
                    if (hasExtension(e->d_name, "DBF") && isFile(folder + e->d_name))
                        tables.push_back(folder + e->d_name);
                ::closedir(dir);
            }
            std::sort(tables.begin(), tables.end());
            if (tables.empty()) std::printf("%s: no tables\n", arg.c_str());
        } else {
            std::string t = resolveTable(arg);
            if (t.empty()) {
                std::printf("%s: no such table\n", arg.c_str());
                result = kDamaged;
                continue;
            }
            tables.push_back(t);
        }
        for (const auto& t : tables)
            if (checkTable(t) != kSound) result = kDamaged;
    }
    return result;
}

}  // namespace tables_admin
