// Finding a table's files whatever the letter case of their names, and handing them to the
// engine, which upper-cases every table name.
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

Staged::~Staged() {
    for (const std::string& l : links_) ::unlink(l.c_str());
    if (!dir_.empty()) ::rmdir(dir_.c_str());
}

std::string Staged::prepare(const std::string& data) {
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

bool Staged::link(const std::string& target, const std::string& at) {
    char real[PATH_MAX];
    if (!::realpath(target.c_str(), real)) return false;
    if (::symlink(real, at.c_str()) != 0) return false;
    links_.push_back(at);
    return true;
}

std::string resolveTable(const std::string& arg) {
    if (isFile(arg)) return arg;
    std::string viaCase = findNoCase(folderOf(arg), nameOf(arg));
    if (!viaCase.empty() && isFile(viaCase)) return viaCase;
    std::string withExt = findNoCase(folderOf(arg), nameOf(arg) + ".dbf");
    if (!withExt.empty() && isFile(withExt)) return withExt;
    return {};
}

std::string indexOf(const std::string& data) {
    return findNoCase(folderOf(data), stemOf(nameOf(data)) + ".CDX");
}

std::string errorText(int code) {
    const char* t = error4text(code);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d", code);
    return t ? std::string(t) + " (" + buf + ")" : std::string("error ") + buf;
}

}  // namespace tables_admin
