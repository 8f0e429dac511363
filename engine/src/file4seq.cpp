// Sequential reader and writer for whole-file passes (pack, reindex, create).
#include <algorithm>
#include <cstring>

#include "engine/error4.h"
#include "engine/file4.h"
#include "engine/vask4.h"

namespace {
unsigned bufferWanted(File4* f, unsigned bufferSize) {
    if (bufferSize) return bufferSize;
    return f->c ? f->c->memSizeBuffer : 32768;
}

// Both passes work on two buffers of one size, so one can be in flight while the other is
// used; the second is dropped when memory only allows a smaller one.
bool allocPair(File4* f, unsigned bufferSize, char* (&buf)[2], unsigned& cap) {
    buf[0] = file4bufferAlloc(bufferWanted(f, bufferSize), &cap);
    if (!buf[0]) return false;
    unsigned got = 0;
    buf[1] = file4bufferAlloc(cap, &got);
    if (buf[1] && got != cap) {
        delete[] buf[1];
        buf[1] = nullptr;
    }
    return true;
}
}  // namespace

File4seqRead::~File4seqRead() {
    file4seqReadInitUndo(this);
}

int file4seqReadInit(File4seqRead* s, File4* f, std::int64_t pos, unsigned bufferSize) {
    file4seqReadInitUndo(s);
    s->file = f;
    // The pass must see everything written so far.
    if (int r = file4writeBehindFlush(f)) return r;
    if (!allocPair(f, bufferSize, s->buf, s->cap))
        return error4describe(f->c, e4memory, L4_file4seqRead, f->name.c_str());
    s->cur = 0;
    s->off = s->avail = 0;
    s->loaded = false;
    s->ahead = false;
    s->nextPos = pos;
    // First block now, the second one ahead.
    file4readAhead(f, &s->req[0], s->nextPos, s->buf[0], s->cap);
    s->nextPos += s->cap;
    if (s->buf[1]) {
        file4readAhead(f, &s->req[1], s->nextPos, s->buf[1], s->cap);
        s->nextPos += s->cap;
        s->ahead = true;
    }
    return 0;
}

void file4seqReadInitUndo(File4seqRead* s) {
    for (Request4& r : s->req) file4wait(&r);
    delete[] s->buf[0];
    delete[] s->buf[1];
    s->buf[0] = s->buf[1] = nullptr;
    s->cap = 0;
    s->file = nullptr;
}

long file4seqRead(File4seqRead* s, void* ptr, unsigned len) {
    if (!s->file || !s->buf[0]) return e4parm;
    char* p = static_cast<char*>(ptr);
    unsigned done = 0;
    while (done < len) {
        if (!s->loaded) {
            file4wait(&s->req[s->cur]);
            long n = s->req[s->cur].result;
            if (n < 0)
                return error4describe(s->file->c, e4read, L4_file4seqRead, s->file->name.c_str());
            s->avail = static_cast<unsigned>(n);
            s->off = 0;
            s->loaded = true;
        }
        if (s->off < s->avail) {
            unsigned take = std::min(len - done, s->avail - s->off);
            std::memcpy(p + done, s->buf[s->cur] + s->off, take);
            s->off += take;
            done += take;
            continue;
        }
        if (s->avail < s->cap) break;  // end of file
        // This buffer is used up: request the block after the one read ahead into it, then
        // move on to the other buffer.
        if (s->buf[1]) {
            file4readAhead(s->file, &s->req[s->cur], s->nextPos, s->buf[s->cur], s->cap);
            s->nextPos += s->cap;
            s->cur ^= 1;
        } else {
            file4readAhead(s->file, &s->req[0], s->nextPos, s->buf[0], s->cap);
            s->nextPos += s->cap;
        }
        s->loaded = false;
    }
    return static_cast<long>(done);
}

int file4seqReadAll(File4seqRead* s, void* ptr, unsigned len) {
    long n = file4seqRead(s, ptr, len);
    if (n < 0) return static_cast<int>(n);
    if (n != static_cast<long>(len))
        return error4describe(s->file->c, e4read, L4_file4seqRead, s->file->name.c_str());
    return 0;
}

File4seqWrite::~File4seqWrite() {
    file4seqWriteInitUndo(this);
}

int file4seqWriteInit(File4seqWrite* s, File4* f, std::int64_t pos, unsigned bufferSize) {
    file4seqWriteInitUndo(s);
    s->file = f;
    if (int r = file4writeBehindFlush(f)) return r;
    if (!allocPair(f, bufferSize, s->buf, s->cap))
        return error4describe(f->c, e4memory, L4_file4seqWrite, f->name.c_str());
    s->cur = 0;
    s->used = 0;
    s->pos = pos;
    s->error = 0;
    return 0;
}

namespace {
int handOff(File4seqWrite* s) {
    if (s->used == 0) return 0;
    int r;
    if (s->buf[1]) {
        r = file4writeDelay(s->file, &s->req[s->cur], s->pos, s->buf[s->cur], s->used, nullptr,
                            nullptr);
        s->cur ^= 1;
        file4wait(&s->req[s->cur]);  // the other buffer must be written before it is refilled
    } else {
        r = file4write(s->file, s->pos, s->buf[0], s->used);
    }
    s->pos += s->used;
    s->used = 0;
    if (r < 0) s->error = r;
    return r;
}
}  // namespace

int file4seqWrite(File4seqWrite* s, const void* ptr, unsigned len) {
    if (!s->file || !s->buf[0]) return e4parm;
    if (s->error) return s->error;
    const char* p = static_cast<const char*>(ptr);
    while (len > 0) {
        unsigned take = std::min(len, s->cap - s->used);
        std::memcpy(s->buf[s->cur] + s->used, p, take);
        s->used += take;
        p += take;
        len -= take;
        if (s->used == s->cap)
            if (int r = handOff(s)) return r;
    }
    return 0;
}

int file4seqWriteRepeat(File4seqWrite* s, long count, char ch) {
    char block[512];
    std::memset(block, ch, sizeof block);
    while (count > 0) {
        unsigned n = static_cast<unsigned>(std::min<long>(count, sizeof block));
        if (int r = file4seqWrite(s, block, n)) return r;
        count -= n;
    }
    return 0;
}

int file4seqWriteFlush(File4seqWrite* s) {
    if (!s->file) return 0;
    int r = s->error ? s->error : handOff(s);
    for (Request4& q : s->req) file4wait(&q);
    int w = file4writeBehindFlush(s->file);  // reports a failed delayed write
    if (r == 0 && w < 0) r = w;
    if (r < 0) s->error = r;
    return r;
}

void file4seqWriteInitUndo(File4seqWrite* s) {
    for (Request4& r : s->req) file4wait(&r);
    delete[] s->buf[0];
    delete[] s->buf[1];
    s->buf[0] = s->buf[1] = nullptr;
    s->cap = 0;
    s->used = 0;
    s->file = nullptr;
}
