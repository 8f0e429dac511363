// Verification of a table against the operation logs of the processes that changed it.
#include "engine/lock4verify.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "engine/data4.h"
#include "engine/lock4.h"
#include "engine/tag4.h"

namespace {

struct Rec {
    std::string key, owner, seq;
    long ver = 0;
    bool deleted = false;
};

std::string trimmed(const char* s) {
    std::string t = s ? s : "";
    while (!t.empty() && t.back() == ' ') t.pop_back();
    return t;
}

std::string keyTextOf(long k) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "K%07ld", k);
    return buf;
}

void logLine(int fd, const std::string& s) {
    std::string line = s + "\n";
    // One write per acknowledged operation: a killed worker loses at most the line
    // being written, never one the kernel already has.
    ssize_t n = ::write(fd, line.data(), line.size());
    (void)n;
}

std::string fieldText(Field4* f) {
    std::string s = f4str(f);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

}  // namespace

int lock4verifyWork(const Lock4work& o, Lock4workResult* out) {
    const int me = o.owner;
    const long keySpace = o.keySpace > 0 ? o.keySpace : 1;
    std::mt19937 rng(o.seed * 7919u + static_cast<unsigned>(me));
    std::uniform_int_distribution<long> keyDist(0, keySpace - 1);
    std::uniform_int_distribution<int> opDist(0, 99);

    int logFd = ::open(o.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (logFd < 0) return 3;

    Vask4 c;
    if (vask4init(&c) != 0) return 4;
    Data4* d = d4open(&c, o.table.c_str());
    if (!d) return 5;
    Tag4* tag = d4tag(d, "KEYTAG");
    if (!tag) return 6;
    d4tagSelect(d, tag);
    Field4* fKey = d4field(d, "KEY");
    Field4* fOwner = d4field(d, "OWNER");
    Field4* fSeq = d4field(d, "SEQ");
    Field4* fVer = d4field(d, "VER");
    if (!fKey || !fOwner || !fSeq || !fVer) return 7;

    Lock4workResult& r = *out;
    r = Lock4workResult{};
    lock4statsReset();
    const auto t0 = std::chrono::steady_clock::now();
    const auto until = t0 + std::chrono::duration<double>(o.seconds > 0 ? o.seconds : 0);
    long seq = 0;
    char buf[64];
    for (;;) {
        if (o.ops > 0 ? r.ops >= o.ops : std::chrono::steady_clock::now() >= until) break;
        ++r.ops;
        const int pick = o.appendOnly ? 0 : opDist(rng);
        const std::string key = keyTextOf(keyDist(rng));
        if (pick < 60) {
            ++seq;
            Lock4stats before = lock4stats();
            int rc = d4appendStart(d, 0);
            if (rc == 0) rc = d4blank(d);
            if (rc == 0) {
                fKey->assign(key.c_str());
                std::snprintf(buf, sizeof buf, "%d", me);
                fOwner->assign(buf);
                std::snprintf(buf, sizeof buf, "%ld", seq);
                fSeq->assign(buf);
                fVer->assign("0");
                rc = d4append(d);
            }
            if (rc == 0) rc = d4flush(d);
            const long rec = d4recNo(d);
            int u = d4unlock(d);
            Lock4stats after = lock4stats();
            r.appendLockCalls +=
                (after.lockCalls - before.lockCalls) + (after.unlockCalls - before.unlockCalls);
            if (rc == 0 && u == 0) {
                ++r.appends;
                std::snprintf(buf, sizeof buf, "A %d %ld %ld ", me, seq, rec);
                logLine(logFd, buf + key);
            } else if (rc == r4unique) {
                ++r.refusedUnique;
            } else if (rc == r4locked) {
                ++r.refusedLock;
            } else {
                ++r.errors;
                break;
            }
            continue;
        }
        // Update or delete: find a record by key, lock it, read it again under the lock.
        int rc = d4seek(d, key.c_str());
        if (rc != 0) {
            if (rc < 0) {
                ++r.errors;
                break;
            }
            ++r.misses;
            continue;
        }
        const long rec = d4recNo(d);
        rc = d4lock(d, rec);
        if (rc == r4locked) {
            ++r.refusedLock;
            continue;
        }
        if (rc == 0) rc = d4go(d, rec);
        if (rc != 0) {
            ++r.errors;
            break;
        }
        if (d4deleted(d) || fieldText(fKey) != key) {
            ++r.misses;  // changed by someone else between the seek and the lock
            d4unlock(d);
            continue;
        }
        if (pick < 80) {
            const long ver = f4long(fVer) + 1;
            const std::string newKey = keyTextOf(keyDist(rng));
            fKey->assign(newKey.c_str());
            std::snprintf(buf, sizeof buf, "%ld", ver);
            fVer->assign(buf);
            rc = d4flush(d);
            if (rc == r4unique) {
                // The file keeps the old record; so must the buffer, or the unlock
                // would try the refused write again.
                d4changed(d, 0);
                ++r.refusedUnique;
            } else if (rc == r4locked) {
                d4changed(d, 0);
                ++r.refusedLock;
            } else if (rc == 0) {
                ++r.updates;
                std::snprintf(buf, sizeof buf, "U %ld %ld ", rec, ver);
                logLine(logFd, buf + newKey);
            }
        } else {
            rc = d4delete(d);
            if (rc == 0) rc = d4flush(d);
            if (rc == 0) {
                ++r.deletes;
                std::snprintf(buf, sizeof buf, "D %ld", rec);
                logLine(logFd, buf);
            } else if (rc == r4locked) {
                d4changed(d, 0);
                ++r.refusedLock;
            }
        }
        if (rc < 0) {
            ++r.errors;
            break;
        }
        if (d4unlock(d) < 0) {
            ++r.errors;
            break;
        }
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    Lock4stats st = lock4stats();
    r.lockCalls = st.lockCalls;
    r.unlockCalls = st.unlockCalls;
    d4close(d);
    vask4initUndo(&c);
    ::close(logFd);
    return r.errors ? 9 : 0;
}

int lock4verifyCreate(const std::string& table) {
    for (const char* ext : {".DBF", ".CDX"}) ::unlink((table + ext).c_str());
    Vask4 c;
    if (vask4init(&c) != 0) return -1;
    Field4info fields(c);
    fields.add("KEY", 'C', 8);
    fields.add("OWNER", 'C', 2);
    fields.add("SEQ", 'C', 8);
    fields.add("VER", 'C', 6);
    fields.add("PAD", 'C', 40);
    Tag4info tags(c);
    tags.add("KEYTAG", "KEY", ".NOT. DELETED()", r4unique, 0);
    Data4* d = d4create(&c, table.c_str(), fields.fields(), tags.tags());
    int rc = d ? 0 : (c.errorCode ? c.errorCode : -1);
    if (d) d4close(d);
    vask4initUndo(&c);
    return rc;
}

Lock4verdict lock4verifyTable(const std::string& table, const std::string& tagName,
                              const std::vector<std::string>& logs, bool exact) {
    Lock4verdict v;
    auto bad = [&](const std::string& what) {
        v.sound = false;
        if (v.problems.size() < 20) v.problems.push_back(what);
    };

    // The file itself: header count against the length.
    {
        const std::string path = table + ".DBF";
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        unsigned char h[12];
        struct stat st;
        if (fd < 0 || ::pread(fd, h, 12, 0) != 12 || ::fstat(fd, &st) != 0) {
            if (fd >= 0) ::close(fd);
            v.sound = false;
            v.summary = "cannot read " + path;
            return v;
        }
        const unsigned long count =
            h[4] | h[5] << 8 | h[6] << 16 | static_cast<unsigned long>(h[7]) << 24;
        const unsigned hdr = h[8] | h[9] << 8, rl = h[10] | h[11] << 8;
        const long long expect =
            static_cast<long long>(hdr) + static_cast<long long>(count) * rl + 1;
        if (st.st_size != expect) {
            char b[160];
            std::snprintf(b, sizeof b, "file length %lld, header count %lu wants %lld",
                          static_cast<long long>(st.st_size), count, expect);
            // Whole records beyond the count are what an appender killed between its
            // record write and its header write leaves; the next append reuses the place.
            const long long extra = static_cast<long long>(st.st_size) - expect;
            if (!exact && extra > 0 && rl > 0 && extra % rl == 0)
                v.notes.push_back(b);
            else
                bad(b);
        } else {
            char last = 0;
            if (::pread(fd, &last, 1, st.st_size - 1) != 1 || last != 0x1A)
                bad("the file does not end with 0x1A");
        }
        ::close(fd);
    }

    Vask4 c;
    if (vask4init(&c) != 0) {
        v.sound = false;
        v.summary = "engine context failed";
        return v;
    }
    Data4* d = d4open(&c, table.c_str());
    if (!d) {
        vask4initUndo(&c);
        v.sound = false;
        v.summary = "the table does not open";
        return v;
    }
    Field4* fKey = d4field(d, "KEY");
    Field4* fOwner = d4field(d, "OWNER");
    Field4* fSeq = d4field(d, "SEQ");
    Field4* fVer = d4field(d, "VER");
    Tag4* tag = tagName.empty() ? nullptr : d4tag(d, tagName.c_str());
    if (!fKey || !fOwner || !fSeq || !fVer || (!tagName.empty() && !tag)) {
        d4close(d);
        vask4initUndo(&c);
        v.sound = false;
        v.summary = "fields or tag missing";
        return v;
    }

    // Every record in file order.
    d4tagSelect(d, nullptr);
    const long count = d4recCount(d);
    v.records = count;
    std::vector<Rec> recs(static_cast<size_t>(count > 0 ? count : 0) + 1);
    std::map<std::pair<std::string, std::string>, long> byIdentity;
    std::map<std::string, long> liveKeys;
    for (long r = 1; r <= count; ++r) {
        if (d4go(d, r) != 0) {
            bad("record " + std::to_string(r) + " cannot be read");
            continue;
        }
        Rec& x = recs[r];
        x.key = trimmed(f4str(fKey));
        x.owner = trimmed(f4str(fOwner));
        x.seq = trimmed(f4str(fSeq));
        x.ver = f4long(fVer);
        x.deleted = d4deleted(d) != 0;
        auto id = std::make_pair(x.owner, x.seq);
        auto [it, fresh] = byIdentity.emplace(id, r);
        if (!fresh)
            bad("records " + std::to_string(it->second) + " and " + std::to_string(r) +
                " are the same append (" + x.owner + "/" + x.seq + ")");
        if (!x.deleted) {
            ++v.live;
            auto [k, first] = liveKeys.emplace(x.key, r);
            if (!first && tag)
                bad("live records " + std::to_string(k->second) + " and " + std::to_string(r) +
                    " share the key " + x.key);
        }
    }

    // The logs against the records.
    long appends = 0;
    std::map<long, std::pair<long, std::string>> lastUpdate;  // recno -> (ver, key)
    std::set<long> deletedByLog;
    std::set<long> appendedRecs;
    for (const std::string& log : logs) {
        std::ifstream in(log);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream ls(line);
            std::string op;
            ls >> op;
            if (op == "A") {
                std::string owner, seq, key;
                long rec = 0;
                if (!(ls >> owner >> seq >> rec >> key)) continue;  // a torn last line
                ++appends;
                appendedRecs.insert(rec);
                if (rec < 1 || rec > count) {
                    bad("acknowledged append " + owner + "/" + seq + " at record " +
                        std::to_string(rec) + " is missing");
                    continue;
                }
                const Rec& x = recs[rec];
                if (x.owner != owner || x.seq != seq)
                    bad("record " + std::to_string(rec) + " is " + x.owner + "/" + x.seq +
                        ", acknowledged as " + owner + "/" + seq);
                else if (!lastUpdate.count(rec) && x.ver == 0 && x.key != key)
                    bad("record " + std::to_string(rec) + " lost its key " + key);
            } else if (op == "U") {
                long rec = 0, ver = 0;
                std::string key;
                if (!(ls >> rec >> ver >> key)) continue;
                auto& u = lastUpdate[rec];
                if (ver > u.first) u = {ver, key};
            } else if (op == "D") {
                long rec = 0;
                if (ls >> rec) deletedByLog.insert(rec);
            }
        }
    }
    for (const auto& [rec, u] : lastUpdate) {
        if (rec < 1 || rec > count) continue;
        const Rec& x = recs[rec];
        if (x.ver < u.first)
            bad("record " + std::to_string(rec) + " has version " + std::to_string(x.ver) +
                ", update " + std::to_string(u.first) + " was acknowledged");
        else if (x.ver == u.first && x.key != u.second)
            bad("record " + std::to_string(rec) + " has key " + x.key + ", acknowledged " +
                u.second);
    }
    for (long rec : deletedByLog)
        if (rec >= 1 && rec <= count && !recs[rec].deleted)
            bad("acknowledged deletion of record " + std::to_string(rec) + " is undone");
    for (long r = 1; r <= count; ++r) {
        if (recs[r].deleted && !deletedByLog.count(r) && exact)
            bad("record " + std::to_string(r) + " is deleted without an acknowledged deletion");
        if (exact && !appendedRecs.count(r))
            bad("record " + std::to_string(r) + " comes from no acknowledged append");
    }
    if (exact && appends != count)
        bad("the table holds " + std::to_string(count) + " records, " + std::to_string(appends) +
            " appends were acknowledged");
    if (!exact && appends > count)
        bad(std::to_string(appends) + " appends acknowledged, only " + std::to_string(count) +
            " records");

    // The tag: exactly the live records, in key order, each found by a seek.
    if (tag) {
        d4tagSelect(d, tag);
        long inTag = 0;
        std::string prev;
        bool first = true;
        for (int rc = d4top(d); rc == 0 && !d4eof(d); rc = d4skip(d, 1)) {
            ++inTag;
            const long r = d4recNo(d);
            const std::string k = trimmed(f4str(fKey));
            if (r < 1 || r > count) {
                bad("the tag points at record " + std::to_string(r));
                break;
            }
            if (recs[r].deleted) bad("the tag still lists deleted record " + std::to_string(r));
            if (!first && !(prev < k)) bad("tag order broken at " + prev + " / " + k);
            prev = k;
            first = false;
            if (inTag > count + 1) {
                bad("the tag lists more entries than records");
                break;
            }
        }
        if (inTag != v.live)
            bad("the tag lists " + std::to_string(inTag) + " entries for " +
                std::to_string(v.live) + " live records");
        for (const auto& [k, r] : liveKeys) {
            if (d4seek(d, k.c_str()) != 0 || d4recNo(d) != r) {
                bad("seeking " + k + " does not find record " + std::to_string(r));
                break;
            }
        }
    }

    if (tag) {
        // The index file's own structure, and its entries against the records.
        std::string report;
        if (i4check(d, &report) != 0) {
            std::istringstream rs(report);
            std::string line;
            while (std::getline(rs, line))
                if (!line.empty()) bad("index check: " + line);
            if (report.empty()) bad("index check failed");
        }
    }
    d4close(d);
    vask4initUndo(&c);
    char b[160];
    std::snprintf(b, sizeof b, "%ld records, %ld live, %ld appends acknowledged%s", count, v.live,
                  appends,
                  !v.sound ? ""
                  : tag    ? ", keys unique, index matches"
                           : "");
    v.summary = v.problems.empty() ? b : std::string(b) + "; " + v.problems.front();
    return v;
}
