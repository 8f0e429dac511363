// quorvane-tables: the administrator's tool for the xBase tables of a group folder.
//
//   check FOLDER|FILE...        checks every table's data file and compound index
//   reindex FILE                rebuilds the index (table opened exclusively)
//   pack FILE                   removes deleted records and rebuilds the index
//   repair FILE                 sets the header's lengths from the field descriptors and
//                               its record count from the file length (never shortening the
//                               file, writing nothing unless the records line up), then
//                               rebuilds the index
//   dump [--tag NAME] [--raw] FILE
//                               prints the records as CSV in the order of a tag, text in
//                               UTF-8 (--raw: the table's own Windows-1252 bytes)
//
// It works on any data file with a compound production index, not only the scheduler's own.
// Exit status: 0 when everything checked is sound, 1 when damage was found or an operation
// failed, 2 on a usage error.
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

#include "base/Cp1252.h"
#include "engine/cdx4.h"
#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/expr4.h"
#include "engine/field4.h"
#include "engine/index4io.h"
#include "engine/lock4.h"
#include "engine/tag4.h"
#include "engine/vask4.h"

namespace {

constexpr int kSound = 0, kDamaged = 1, kUsage = 2;

std::string upper(std::string s) {
    for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return s;
}

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string stemOf(const std::string& name) {
    size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool isFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isDir(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool hasExtension(const std::string& name, const char* ext) {
    std::string e = std::string(".") + ext;
    return name.size() > e.size() && upper(name.substr(name.size() - e.size())) == upper(e);
}

// The file in folder whose name equals name apart from letter case, or empty.
std::string findNoCase(const std::string& folder, const std::string& name) {
    std::string dirPath = folder.empty() ? "." : folder;
    DIR* dir = ::opendir(dirPath.c_str());
    if (!dir) return {};
    std::string found;
    while (dirent* e = ::readdir(dir)) {
        if (upper(e->d_name) == upper(name)) {
            found = folder + e->d_name;
            if (std::string(e->d_name) == name) break;  // an exact match wins
        }
    }
    ::closedir(dir);
    return found;
}

// The engine upper-cases the file-name part of every table name. A table whose files are
// named otherwise is reached through upper-case links in a private folder; the links point
// at the files themselves, so locks, writes and truncation act on them.
class Staged {
public:
    Staged() = default;
    Staged(const Staged&) = delete;
    Staged& operator=(const Staged&) = delete;
    ~Staged() {
        for (const std::string& l : links_) ::unlink(l.c_str());
        if (!dir_.empty()) ::rmdir(dir_.c_str());
    }
    // data: the data file as found. Returns the name to give the engine, or empty.
    std::string prepare(const std::string& data) {
        std::string folder = folderOf(data), name = nameOf(data);
        if (upper(name) == name && hasExtension(name, "DBF")) return data;
        char tmpl[] = "/tmp/quorvane-tables-XXXXXX";
        if (!::mkdtemp(tmpl)) return {};
        dir_ = tmpl;
        std::string stem = stemOf(name);
        std::string engineName = dir_ + "/" + upper(stem) + ".DBF";
        if (!link(data, engineName)) return {};
        for (const char* ext : {"CDX", "FPT"}) {
            std::string sibling = findNoCase(folder, stem + "." + ext);
            if (!sibling.empty()) link(sibling, dir_ + "/" + upper(stem) + "." + ext);
        }
        return engineName;
    }

private:
    bool link(const std::string& target, const std::string& at) {
        char real[PATH_MAX];
        if (!::realpath(target.c_str(), real)) return false;
        if (::symlink(real, at.c_str()) != 0) return false;
        links_.push_back(at);
        return true;
    }
    std::string dir_;
    std::vector<std::string> links_;
};

// The data file an argument names: the file itself, or the name with a "dbf" extension.
std::string resolveTable(const std::string& arg) {
    if (isFile(arg)) return arg;
    std::string viaCase = findNoCase(folderOf(arg), nameOf(arg));
    if (!viaCase.empty() && isFile(viaCase)) return viaCase;
    std::string withExt = findNoCase(folderOf(arg), nameOf(arg) + ".dbf");
    if (!withExt.empty() && isFile(withExt)) return withExt;
    return {};
}

// The production index file of a data file, or empty when there is none.
std::string indexOf(const std::string& data) {
    return findNoCase(folderOf(data), stemOf(nameOf(data)) + ".CDX");
}

std::string errorText(int code) {
    const char* t = error4text(code);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d", code);
    return t ? std::string(t) + " (" + buf + ")" : std::string("error ") + buf;
}

// One engine context with errors kept quiet: the tool prints its own verdicts.
struct Context {
    Vask4 c;
    explicit Context(int accessMode = 0, bool autoOpen = true) {
        vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
        c.errOff = 1;
        c.accessMode = accessMode;
        c.autoOpen = autoOpen ? 1 : 0;
        c.lockAttempts = 1;
        c.errTagName = 0;
    }
    ~Context() { vask4initUndo(&c); }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
};

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

// The tag definitions an index file's headers hold, read without the table layer: it must
// work when the index no longer opens as part of its table.
struct TagDefinition {
    std::string name, expression, filter;
    int unique = 0;
    bool descending = false;
};

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

enum class Rebuild { reindex, pack };

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

// A CSV field: quoted when it holds a comma, a quote, a line break or blanks at its ends.
std::string csv(const std::string& s) {
    bool quote = s.find_first_of(",\"\r\n") != std::string::npos ||
                 (!s.empty() && (s.front() == ' ' || s.back() == ' '));
    if (!quote) return s;
    std::string out = "\"";
    for (char ch : s) {
        if (ch == '"') out += '"';
        out += ch;
    }
    return out + "\"";
}

// The tables hold Windows-1252 text; the person reading the dump has a UTF-8 terminal or
// spreadsheet. Every byte has a code point (the five undefined ones keep their own number), so
// the conversion loses nothing.
std::string utf8FromCp1252(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const char16_t c = quorvane::cp1252::toUnicode(static_cast<unsigned char>(ch));
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

int cmdDump(const std::string& data, bool tagGiven, const std::string& tagName, bool raw) {
    Staged staged;
    std::string name = staged.prepare(data);
    Context ctx;
    // A dump only reads: it works on a folder the administrator may not write (a backup, the
    // installed samples).
    ctx.c.readOnly = 1;
    Data4* d = name.empty() ? nullptr : d4open(&ctx.c, name.c_str());
    if (!d) {
        std::fprintf(stderr, "%s: cannot be opened: %s\n", data.c_str(),
                     errorText(ctx.c.errorCode).c_str());
        return kDamaged;
    }
    std::string wanted = tagName;
    if (!tagGiven) {
        std::vector<std::string> names = tagNames(indexOf(data));
        if (!names.empty()) wanted = names.front();
    }
    Tag4* tag = nullptr;
    if (!wanted.empty()) {
        tag = d4tag(d, upper(wanted).c_str());
        if (!tag) {
            std::fprintf(stderr, "%s: no tag %s\n", data.c_str(), wanted.c_str());
            error4set(&ctx.c, 0);
            d4close(d);
            return kDamaged;
        }
    }
    d4tagSelect(d, tag);
    const int n = d4numFields(d);
    std::string line = "RECNO,DELETED";
    for (int j = 1; j <= n; ++j) line += "," + csv(f4name(d4fieldJ(d, j)));
    std::printf("%s\n", line.c_str());
    int r = d4top(d);
    while (r == 0) {
        line = std::to_string(d4recNo(d)) + "," + (d4deleted(d) ? "1" : "0");
        for (int j = 1; j <= n; ++j) {
            Field4* f = d4fieldJ(d, j);
            std::string value = f4type(f) == 'C'
                                    ? std::string(f4ptr(f), static_cast<size_t>(f4len(f)))
                                    : std::string(f->str());
            line += "," + csv(raw ? value : utf8FromCp1252(value));
        }
        std::printf("%s\n", line.c_str());
        r = d4skip(d, 1);
    }
    int standing = ctx.c.errorCode;
    error4set(&ctx.c, 0);
    d4close(d);
    if (r != r4eof) {
        std::fprintf(stderr, "%s: reading stopped: %s\n", data.c_str(),
                     errorText(standing ? standing : r).c_str());
        return kDamaged;
    }
    return kSound;
}

// To standard output when asked for with --help, to standard error after a wrong command line.
void usage(FILE* to = stderr) {
    std::fprintf(to,
                 "usage: quorvane-tables check FOLDER|FILE...\n"
                 "       quorvane-tables reindex FILE\n"
                 "       quorvane-tables pack FILE\n"
                 "       quorvane-tables repair FILE\n"
                 "       quorvane-tables dump [--tag NAME] [--raw] FILE\n"
                 "       quorvane-tables --help\n"
                 "Checks, rebuilds, repairs and lists xBase tables with a compound index.\n"
                 "\n"
                 "Options:\n"
                 "  --tag NAME  dump: list in the order of this tag ('' for record order)\n"
                 "  --raw       dump: the text as the table's Windows-1252 bytes, not UTF-8\n"
                 "  -h, --help  print this usage and end\n"
                 "\n"
                 "Exit status 0 when everything checked is sound, 1 when damage was found or a\n"
                 "command failed, 2 on wrong arguments.\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        usage(args.empty() ? stderr : stdout);
        return args.empty() ? kUsage : kSound;
    }
    const std::string cmd = args[0];
    args.erase(args.begin());
    if (cmd == "check") {
        if (args.empty()) return usage(), kUsage;
        return cmdCheck(args);
    }
    bool tagGiven = false;
    bool raw = false;
    std::string tag;
    while (cmd == "dump" && !args.empty()) {
        if (args[0] == "--tag" && args.size() >= 2 && !tagGiven) {
            tagGiven = true;
            tag = args[1];
            args.erase(args.begin(), args.begin() + 2);
        } else if (args[0] == "--raw" && !raw) {
            raw = true;
            args.erase(args.begin());
        } else {
            break;
        }
    }
    if ((cmd != "dump" && cmd != "reindex" && cmd != "pack" && cmd != "repair") ||
        args.size() != 1) {
        usage();
        return kUsage;
    }
    std::string data = resolveTable(args[0]);
    if (data.empty()) {
        std::fprintf(stderr, "%s: no such table\n", args[0].c_str());
        return kDamaged;
    }
    if (cmd == "dump") return cmdDump(data, tagGiven, tag, raw);
    if (cmd == "repair") {
        if (int r = repairData(data)) return r;
        return rebuildTable(data, Rebuild::reindex);
    }
    return rebuildTable(data, cmd == "pack" ? Rebuild::pack : Rebuild::reindex);
}
