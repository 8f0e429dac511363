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
#include <cstdio>
#include <string>
#include <vector>

#include "tools/tables_admin.h"

using namespace tables_admin;

namespace {

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
