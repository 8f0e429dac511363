#pragma once
// The parts of quorvane-tables shared by its commands: finding a table's files, opening it
// through the engine, and the checks that pack, reindex and repair end with.
#include <sys/types.h>

#include <string>
#include <vector>

#include "engine/vask4.h"

struct Data4;

namespace tables_admin {

// Exit status: sound, damage found (or a command failed), wrong arguments.
constexpr int kSound = 0, kDamaged = 1, kUsage = 2;

std::string upper(std::string s);
std::string folderOf(const std::string& path);
std::string nameOf(const std::string& path);
std::string stemOf(const std::string& name);
bool isFile(const std::string& path);
bool isDir(const std::string& path);
bool hasExtension(const std::string& name, const char* ext);
// The file in folder whose name equals name apart from letter case, or empty.
std::string findNoCase(const std::string& folder, const std::string& name);
// The data file an argument names: the file itself, or the name with a "dbf" extension.
std::string resolveTable(const std::string& arg);
// The production index file of a data file, or empty when there is none.
std::string indexOf(const std::string& data);
std::string errorText(int code);

// The engine upper-cases the file-name part of every table name. A table whose files are
// named otherwise is reached through upper-case links in a private folder; the links point
// at the files themselves, so locks, writes and truncation act on them.
class Staged {
public:
    Staged() = default;
    Staged(const Staged&) = delete;
    Staged& operator=(const Staged&) = delete;
    ~Staged();
    // data: the data file as found. Returns the name to give the engine, or empty.
    std::string prepare(const std::string& data);

private:
    bool link(const std::string& target, const std::string& at);
    std::string dir_;
    std::vector<std::string> links_;
};

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

// The tag definitions an index file's headers hold, read without the table layer: it must
// work when the index no longer opens as part of its table.
struct TagDefinition {
    std::string name, expression, filter;
    int unique = 0;
    bool descending = false;
};

int readTagDefinitions(const std::string& cdx, std::vector<TagDefinition>& out, std::string& why);
bool ownTagMustBeUnique(const TagDefinition& t);
std::vector<std::string> tagNames(const std::string& cdx);
bool unsupportedLayout(int code);
// The tags whose key or filter do not compile on the table, one line each.
std::vector<std::string> foreignTags(Vask4* c, Data4* plain, const std::string& cdx);

// The commands. Each prints its verdict and returns the exit status.
int checkTable(const std::string& data);
int cmdCheck(const std::vector<std::string>& args);
enum class Rebuild { reindex, pack };
int rebuildTable(const std::string& data, Rebuild what);
int repairData(const std::string& data);
int cmdDump(const std::string& data, bool tagGiven, const std::string& tagName, bool raw);

}  // namespace tables_admin
