// The engine context: initialisation, defaults, shut-down and the two worker threads.
#include "engine/vask4.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/io4.h"
#include "engine/src/data4impl.h"
#include "engine/src/vask4impl.h"

namespace {
std::mutex countMutex;
int contextCount = 0;

void setDefaults(Vask4* c) {
    c->autoOpen = 1;
    c->safety = 1;
    c->errCreate = 1;
    c->errOpen = 1;
    c->errFieldName = 1;
    c->errExpr = 1;
    c->errTagName = 1;
    c->errGo = 1;
    c->errSkip = 1;
    c->errOff = 0;
    c->compatibility = 25;
    c->collatingSequence = 0;
    c->collateCodePage = 0;
    c->codePage = 0;
    c->accessMode = 0;
    c->readOnly = 0;
    c->lockAttempts = -1;
    c->lockDelay = 100;
    c->readLock = 0;
    c->lockEnforce = 0;
    c->unlockAuto = 1;
    c->largeOffset = 0;
    c->errDefaultUnique = r4unique;
    c->indexBlockSize = 512;
    c->indexBlockMultiplier = 1;
    c->memSizeBlock = 512;
    c->memSizeBuffer = 32768;
    std::strcpy(c->dateFormat, "MM/DD/YY");
    c->logOpen = 1;
}
}  // namespace

Vask4::Vask4() : impl(nullptr) {
    setDefaults(this);
    errorCode = 0;
    errorLocation = 0;
    initialized = 0;
}

Vask4::~Vask4() {
    if (initialized) vask4initUndo(this);
    delete impl;
}

// Carries out one request and marks it done.
static void perform(Request4* r) {
    File4* f = r->file;
    long result;
    if (r->write)
        result =
            static_cast<long>(io4()->pwrite(f->fd, r->data, r->len, static_cast<off_t>(r->pos)));
    else
        result =
            static_cast<long>(io4()->pread(f->fd, r->data, r->len, static_cast<off_t>(r->pos)));
    if (result < 0) result = -errno;
    if (r->write && r->writeback && result == static_cast<long>(r->len))
        io4()->startWriteback(f->fd, static_cast<off_t>(r->pos), static_cast<off_t>(r->len));
    r->result = result;
    // The completion runs before the request is marked done: once done, the owner may
    // free the request at any moment.
    if (r->completion) r->completion(r);
    {
        std::lock_guard<std::mutex> g(f->m);
        if (r->write && result != static_cast<long>(r->len))
            f->delayedErrno = result < 0 ? static_cast<int>(-result) : ENOSPC;
        r->done = true;
        f->pending--;
        // Notified under the lock: the waiter may destroy the file right after.
        f->cv.notify_all();
    }
}

void Worker4::start() {
    stop = false;
    running = true;
    thread = std::thread([this] {
        std::unique_lock<std::mutex> lk(m);
        for (;;) {
            event.wait(lk, [this] { return stop || head != nullptr; });
            if (!head) break;  // told to stop and nothing left to do
            Request4* r = head;
            head = r->next;
            if (!head) tail = nullptr;
            lk.unlock();
            perform(r);
            lk.lock();
        }
    });
}

void Worker4::post(Request4* r) {
    // The thread starts with the first request: most contexts (a table opened to look up a
    // day) never post one, and starting and joining two threads cost more than the open.
    if (!running) {
        try {
            start();
        } catch (const std::system_error&) {
            running = false;
            perform(r);  // no thread to be had: done here and now
            return;
        }
    }
    {
        std::lock_guard<std::mutex> g(m);
        r->next = nullptr;
        if (tail)
            tail->next = r;
        else
            head = r;
        tail = r;
    }
    event.notify_one();
}

void Worker4::finish() {
    if (!running) return;
    {
        std::lock_guard<std::mutex> g(m);
        stop = true;
    }
    event.notify_all();
    thread.join();
    running = false;
}

int vask4init(Vask4* c, long version, long structSize, int noThreads) {
    if (!c) return e4parmNull;
    if (c->initialized) vask4initUndo(c);
    if (version != VASK4_VERSION) {
        c->initialized = 0;
        std::string lib = "Library: " + std::to_string(VASK4_VERSION);
        std::string hdr = "Headers: " + std::to_string(version);
        return error4describe(c, e4version, L4_vask4init, lib.c_str(), hdr.c_str());
    }
    if (structSize != 0 && structSize != VASK4_STRUCT_SIZE) {
        c->initialized = 0;
        std::string lib = "Library struct size: " + std::to_string(VASK4_STRUCT_SIZE);
        std::string hdr = "Header struct size: " + std::to_string(structSize);
        return error4describe(c, e4verify, L4_vask4init, lib.c_str(), hdr.c_str());
    }
    setDefaults(c);
    c->errorCode = 0;
    c->errorLocation = 0;
    delete c->impl;
    c->impl = new Vask4impl;
    // The worker threads start when first needed (Worker4::post).
    if (noThreads != 1) c->impl->threads = true;
    c->initialized = 1;
    std::lock_guard<std::mutex> g(countMutex);
    ++contextCount;
    return 0;
}

int vask4initUndo(Vask4* c) {
    if (!c) return e4parmNull;
    if (!c->initialized) return c->errorCode;
    Vask4impl* impl = c->impl;
    // Close in reverse order of opening; d4close takes the table out of the list.
    while (!impl->tables.empty()) {
        Data4* d = impl->tables.back();
        d4close(d);
        if (!impl->tables.empty() && impl->tables.back() == d) impl->tables.pop_back();
    }
    log4close(c);
    impl->reader.finish();
    impl->writer.finish();
    impl->threads = false;
    c->initialized = 0;
    delete impl;
    c->impl = nullptr;
    {
        std::lock_guard<std::mutex> g(countMutex);
        --contextCount;
    }
    return c->errorCode;
}

int vask4contextCount() {
    std::lock_guard<std::mutex> g(countMutex);
    return contextCount;
}
