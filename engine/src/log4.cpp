// The transaction log "C4.LOG": used only when it already exists in the current folder.
// One line per entry: "<date> <time> PUBLIC <kind> <file> <record>[ <extra>]".
#include <cstdio>
#include <ctime>

#include "engine/clock4.h"
#include "engine/error4.h"
#include "engine/src/vask4impl.h"

void log4open(Vask4* c) {
    Vask4impl* impl = c->impl;
    impl->logTried = true;
    auto f = std::make_unique<File4>();
    int savedCode = c->errorCode;
    long savedLoc = c->errorLocation;
    if (file4openMode(f.get(), c, "C4.LOG", 0, false, false) == 0) impl->log = std::move(f);
    // A missing log is normal: no error remains.
    c->errorCode = savedCode;
    c->errorLocation = savedLoc;
    if (impl->log) log4append(c, "OPEN", nullptr, 0);
}

void log4close(Vask4* c) {
    if (!c->impl || !c->impl->log) return;
    ++c->impl->inLog;
    file4close(c->impl->log.get());
    c->impl->log.reset();
    --c->impl->inLog;
}

void log4append(Vask4* c, const char* kind, const char* file, long rec, long extra) {
    if (!c || !c->impl || !c->impl->log || c->impl->inLog) return;
    std::time_t t = static_cast<std::time_t>(clock4now());
    std::tm tm{};
    localtime_r(&t, &tm);
    char line[400];
    int n = std::snprintf(line, sizeof line, "%04d-%02d-%02d %02d:%02d:%02d PUBLIC %s %s %ld",
                          tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                          tm.tm_sec, kind, file && *file ? file : "-", rec);
    if (n < 0) return;
    if (extra != 0 && n < static_cast<int>(sizeof line))
        n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), " %ld", extra);
    if (n >= static_cast<int>(sizeof line) - 1) n = static_cast<int>(sizeof line) - 2;
    line[n++] = '\n';
    // Failures to log are not allowed to disturb the operation being logged.
    ++c->impl->inLog;
    int silent = c->errOff;
    int savedCode = c->errorCode;
    long savedLoc = c->errorLocation;
    c->errOff = 1;
    File4* f = c->impl->log.get();
    std::int64_t end = file4len(f);
    if (end >= 0) file4write(f, end, line, static_cast<unsigned>(n));
    c->errOff = silent;
    c->errorCode = savedCode;
    c->errorLocation = savedLoc;
    --c->impl->inLog;
}
