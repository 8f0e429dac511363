// The fault sweep's judgement of one trial: the group read back as the program reads it, the
// check and the repair it names, and what the operation's shape allows.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

#include "fault_sweep_internal.h"
#include "group/GroupFile.h"
#include "reports/core/KFSClass.h"
#include "tables/TableCore.h"

extern char** environ;

namespace faultsweep {

// ----- files -----

std::vector<std::string> listFolder(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool readFile(const std::string& path, std::string& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    out.clear();
    char buf[65536];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, size_t(n));
    ::close(fd);
    return n == 0;
}

bool writeFile(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    ::close(fd);
    return ok;
}

void removeFolder(const std::string& folder) {
    for (const std::string& n : listFolder(folder)) ::unlink((folder + "/" + n).c_str());
    ::rmdir(folder.c_str());
}

bool copyFolder(const std::string& from, const std::string& to) {
    removeFolder(to);
    if (::mkdir(to.c_str(), 0755) != 0) return false;
    for (const std::string& n : listFolder(from)) {
        std::string bytes;
        if (!readFile(from + "/" + n, bytes) || !writeFile(to + "/" + n, bytes)) return false;
    }
    return true;
}

// Reads the pipe to its end into `out` and closes it.
void drain(int fd, std::string& out) {
    out.clear();
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, size_t(n));
    ::close(fd);
}

// Runs a program, its output to `out`; the exit status, or -1.
int runProgram(const std::vector<std::string>& args, std::string& out) {
    int pipeFd[2];
    if (::pipe(pipeFd) != 0) return -1;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, pipeFd[1], 1);
    posix_spawn_file_actions_adddup2(&fa, pipeFd[1], 2);
    posix_spawn_file_actions_addclose(&fa, pipeFd[0]);
    std::vector<std::string> a = args;
    std::vector<char*> argv;
    for (std::string& s : a) argv.push_back(s.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int sp = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(pipeFd[1]);
    drain(pipeFd[0], out);
    if (sp != 0) return -1;
    int st = 0;
    ::waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// Runs quorvane-tables in a child process of this program (the tool is compiled in: no program
// to load for each of the many checks), its output to `out`; the exit status, or -1.
int runTables(const std::vector<std::string>& args, std::string& out) {
    int pipeFd[2];
    if (::pipe(pipeFd) != 0) return -1;
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFd[0]);
        ::dup2(pipeFd[1], 1);
        ::dup2(pipeFd[1], 2);
        const int rc = quorvaneTables(args);
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(rc);
    }
    ::close(pipeFd[1]);
    drain(pipeFd[0], out);
    int st = 0;
    if (pid < 0 || ::waitpid(pid, &st, 0) != pid) return -1;
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// The check and the repairs it names: the installed tool when one is given, else the one
// compiled in.
int runCheckTool(const std::string& tool, std::vector<std::string> args, std::string& out) {
    if (tool.empty()) return runTables(args, out);
    args.insert(args.begin(), tool);
    return runProgram(args, out);
}

// ----- reading a group back -----

std::string scheduleRow(const CSchedule& s) {
    int mo, d, y, sh, sm, eh, em, cm, cd, cy, ch, cmi, rm, rd, ry;
    s.GetDate(mo, d, y);
    s.GetStart(sh, sm);
    s.GetEnd(eh, em);
    s.GetMade(cm, cd, cy, ch, cmi);
    s.GetRecurDate(rm, rd, ry);
    std::string first, mi, last, phone, ext, org;
    s.GetNames(first, mi, last, phone, ext, org);
    return tables::format(
        "R|%s|%s|%02d%02d|%02d%02d|%s|%s|%s|%s|%s|%s|%s|%04d%02d%02d%02d%02d|%d|%04d%02d%02d|%d",
        quorvane::dateKey(y, mo, d).c_str(), s.GetFacility().c_str(), sh, sm, eh, em, first.c_str(),
        mi.c_str(), last.c_str(), phone.c_str(), ext.c_str(), org.c_str(), s.GetNotes().c_str(), cy,
        cm, cd, ch, cmi, s.GetRecurDays(), ry, rm, rd, s.GetTypeFlag());
}

State readStateLoud(const std::string& group);

// The engine reports what it meets in a damaged copy on standard error; the sweep's verdict
// says it once.
State readState(const std::string& group) {
    std::fflush(stderr);
    const int saved = ::dup(2), devnull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ::dup2(devnull, 2);
    State st = readStateLoud(group);
    ::dup2(saved, 2);
    ::close(saved);
    ::close(devnull);
    return st;
}

State readStateLoud(const std::string& group) {
    State st;
    quorvane::GroupFile g;
    if (!quorvane::loadGroupFile(group, g).ok()) {
        st.problem = "the group file does not load";
        return st;
    }
    st.rows.push_back("G|" + g.typeName + "|" + g.description);
    for (int i = 0; i < g.count; ++i) {
        const auto& room = g.rooms[std::size_t(i)];
        st.rows.push_back(tables::format("G|%d|%s|%s|%u", i, room.name.c_str(),
                                         room.description.c_str(), room.defaultTime));
    }
    // The exported file, whole: its length and a digest of its bytes.
    std::string exported;
    // The address pair is there when its data file is (an index alone is a crash's leftover).
    const std::string pair = addressFile(group);
    const bool pairThere = readFile(pair, exported);
    for (const std::string& path : {exportFile(group), pair, CKFSClass::IndexName(pair)})
        if ((path == exportFile(group) || pairThere) && readFile(path, exported))
            st.rows.push_back("X|" + path.substr(path.rfind('/') + 1) + "|" +
                              std::to_string(exported.size()) + "|" +
                              std::to_string(std::hash<std::string>{}(exported)));
    Tables t;
    if (int r = t.open(group)) {
        st.problem = "the tables do not open (" + std::to_string(r) + ")";
        return st;
    }
    st.opens = true;
    std::map<std::string, std::vector<std::pair<int, int>>> days;  // date|facility -> intervals
    // A damaged index can chain its leaves into a circle: a walk that passes any real table's
    // size is reported instead of followed.
    constexpr long kSteps = 20000;
    long steps = 0;
    int r;
    for (r = t.s.First(); r == 0 && ++steps < kSteps; r = t.s.Next()) {
        if (t.s.IsDeleted()) continue;
        st.rows.push_back(scheduleRow(t.s));
        int mo, d, y, sh, sm, eh, em;
        t.s.GetDate(mo, d, y);
        t.s.GetStart(sh, sm);
        t.s.GetEnd(eh, em);
        days[quorvane::dateKey(y, mo, d) + "|" + t.s.GetFacility()].push_back(
            {sh * 60 + sm, eh * 60 + em});
    }
    if (r != 3 && r != 1) st.problem = "the reservations end with " + std::to_string(r);
    if (steps >= kSteps) st.problem = "the walk of the reservations does not end";
    steps = 0;
    for (r = t.p.First(); r == 0 && ++steps < kSteps; r = t.p.Next()) {
        if (t.p.IsDeleted()) continue;
        std::string f, mi, l, ph, ext;
        t.p.GetName(f, mi, l);
        t.p.GetPhone(ph, ext);
        st.rows.push_back("P|" + f + "|" + mi + "|" + l + "|" + ph + "|" + ext + "|" +
                          t.p.GetOrg() + "|" + t.p.GetNotes());
    }
    if (r != 3 && r != 1 && st.problem.empty())
        st.problem = "the customers end with " + std::to_string(r);
    if (steps >= kSteps) st.problem = "the walk of the customers does not end";
    steps = 0;
    for (r = t.m.First(); r == 0 && ++steps < kSteps; r = t.m.Next()) {
        if (t.m.IsDeleted()) continue;
        st.rows.push_back("M|" + t.m.GetName() + "|" + t.m.GetNotes());
    }
    if (r != 3 && r != 1 && st.problem.empty())
        st.problem = "the maintenance items end with " + std::to_string(r);
    if (steps >= kSteps) st.problem = "the walk of the maintenance items does not end";
    for (auto& [key, spans] : days) {
        std::sort(spans.begin(), spans.end());
        for (std::size_t i = 1; i < spans.size(); ++i)
            if (spans[i].first < spans[i - 1].second) st.overlaps.push_back(key);
    }
    std::sort(st.rows.begin(), st.rows.end());
    return st;
}

// a - b as multisets of sorted rows.
std::vector<std::string> minus(const std::vector<std::string>& a,
                               const std::vector<std::string>& b) {
    std::vector<std::string> out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

bool within(const std::vector<std::string>& part, const std::vector<std::string>& whole) {
    return std::includes(whole.begin(), whole.end(), part.begin(), part.end());
}

// ----- one trial -----

Told parseReport(const std::string& text) {
    Told t;
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        if (word == "fired") {
            t.fired = true;
        } else if (word == "ack") {
            std::string unit;
            int code = 0;
            in >> unit >> code;
            t.acks.push_back({unit, code});
        } else if (word == "told") {
            in >> t.code;
            t.toldAny = true;
        }
    }
    return t;
}

// The hidden name a file replacement writes under before its rename (".NAME.xxxxxx~").
bool temporaryName(const std::string& name) {
    return name.size() > 9 && name[0] == '.' && name.back() == '~' && name[name.size() - 8] == '.';
}

// The row of a unit (a reservation's date) among the operation's changes.
bool unitPresent(const std::string& unit, const std::vector<std::string>& changes,
                 const std::vector<std::string>& rows) {
    for (const std::string& c : changes)
        if (c.compare(0, 2 + unit.size(), "R|" + unit) == 0 &&
            std::binary_search(rows.begin(), rows.end(), c))
            return true;
    return false;
}

Judgement judge(const Operation& op, const Baseline& base, const std::string& folder,
                const std::string& tablesTool, const Told& told, bool errorFault, bool killed,
                const std::set<std::string>& ackedUnits) {
    Judgement j;
    auto bad = [&](const std::string& why) {
        if (j.outcome != Outcome::unsound) j.why = why;
        j.outcome = Outcome::unsound;
    };
    const std::string group = folder + "/" + kGroupName;
    State opened = readState(group);
    // A process killed (or a power loss) between creating a replacement's temporary file and
    // renaming it leaves the file behind: nothing can remove it then. It is counted, and only
    // then allowed; a failure the program saw must remove it. So is the address pair's index
    // without its data file, left between the pair's two renames, which the next export of the
    // pair replaces. A record rewrite's journal is
    // settled by the opening above: none may be left after it.
    std::vector<std::string> files = listFolder(folder), left = minus(files, base.files);
    const std::string pairIndex = CKFSClass::IndexName(addressFile(kGroupName));
    const bool pairThere = std::count(files.begin(), files.end(), addressFile(kGroupName)) > 0;
    if (killed && !left.empty() && std::all_of(left.begin(), left.end(), [&](const std::string& n) {
            return temporaryName(n) || (n == pairIndex && !pairThere);
        })) {
        j.temporaryLeft = true;
        files = base.files;
    }
    // An operation that creates files (the address pair) leaves them all or none.
    if (files != base.files && files != base.filesAfter) {
        std::string names;
        for (const std::string& n : listFolder(folder)) names += " " + n;
        bad("the folder holds other files:" + names);
    }
    // A group the program refuses must be one the check names a repair for; it is judged
    // again once that repair ran.
    const bool refused = !opened.opens;
    std::string out;
    int rc = runCheckTool(tablesTool, {"check", folder}, out);
    // What the program meets opening and reading the tables, the check must find.
    if (rc == 0 && !opened.problem.empty()) bad("check says sound, but " + opened.problem);
    if (rc != 0) {
        // Each damaged table names its repair; run it, then check again.
        std::istringstream lines(out);
        std::string line, table;
        bool named = false;
        while (std::getline(lines, line)) {
            if (!line.empty() && line[0] != ' ') table = line.substr(0, line.find(':'));
            const bool repair = line.find("run repair") != std::string::npos;
            const bool reindex = line.find("run reindex") != std::string::npos;
            if ((repair || reindex) && !table.empty()) {
                std::string ignored;
                runCheckTool(tablesTool, {repair ? "repair" : "reindex", table}, ignored);
                named = true;
            }
        }
        rc = runCheckTool(tablesTool, {"check", folder}, out);
        if (!named || rc != 0) {
            bad("check after the named repair: " + out);
            return j;
        }
        if (j.outcome == Outcome::sound) j.outcome = refused ? Outcome::refused : Outcome::repaired;
        opened = readState(group);
        if (!opened.problem.empty())
            bad("after the repair the group does not open: " + opened.problem);
    }
    if (!opened.overlaps.empty()) bad("overlapping reservations on " + opened.overlaps.front());
    const std::vector<std::string>& rows = opened.rows;
    const std::vector<std::string> extra = minus(rows, base.before),
                                   missing = minus(base.before, rows);
    const bool none = extra.empty() && missing.empty();
    const bool all = rows == base.after;
    switch (op.shape) {
        case Shape::atomic:
            if (!none && !all)
                bad("the operation is half there (" + std::to_string(extra.size()) +
                    " more: " + (extra.empty() ? std::string("-") : extra.front()) + "; " +
                    std::to_string(missing.size()) +
                    " fewer: " + (missing.empty() ? std::string("-") : missing.front()) + ")");
            break;
        case Shape::units:
            if (!within(extra, base.added) || !within(missing, base.removed))
                bad("records other than the operation's changed");
            break;
        case Shape::same:
            if (!none) bad("the live records changed");
            break;
    }
    if (told.code == 0 && !all && op.shape != Shape::same)
        bad("told of success, but not all there");
    if (errorFault && told.code == 0 && !op.silent)
        bad("a write failed and the caller was told of success");
    if (errorFault && !told.toldAny && !op.silent)
        bad("a write failed and the caller was told nothing");
    for (const std::string& unit : ackedUnits) {
        const bool adds = unitPresent(unit, base.added, base.added);
        const bool present =
            adds ? unitPresent(unit, base.added, rows) : !unitPresent(unit, base.removed, rows);
        if (!present) bad("acknowledged change of " + unit + " is not there");
    }
    return j;
}

}  // namespace faultsweep
