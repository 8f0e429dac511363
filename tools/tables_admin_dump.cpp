// dump: the records as CSV in the order of a tag.
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

#include "tools/tables_admin.h"

namespace tables_admin {

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

}  // namespace tables_admin
