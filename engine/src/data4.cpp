// Data files: naming, create, open with its header checks, close, field lookup.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "engine/clock4.h"
#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/io4.h"
#include "engine/src/data4impl.h"
#include "engine/src/lock4engine.h"
#include "engine/src/vask4impl.h"

namespace {

const Index4Hooks* installedHooks = nullptr;

unsigned le16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}
unsigned long le32(const unsigned char* p) {
    return static_cast<unsigned long>(p[0]) | (static_cast<unsigned long>(p[1]) << 8) |
           (static_cast<unsigned long>(p[2]) << 16) | (static_cast<unsigned long>(p[3]) << 24);
}
void put16(unsigned char* p, unsigned v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void put32(unsigned char* p, unsigned long v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
char upper(char ch) {
    return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch;
}

bool sameName(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (upper(*a) != upper(*b)) return false;
    while (*b == ' ') ++b;  // a name given with trailing blanks still matches
    return *a == 0 && *b == 0;
}

// Restrictiveness of the access modes: shared < deny write < exclusive.
int modeRank(int mode) {
    return mode == 1 ? 2 : mode == 2 ? 1 : 0;
}

bool isMemoType(char t) {
    return t == 'M' || t == 'G';
}
bool level30OnlyOnOpen(char t) {
    return t == 'T' || t == 'Y' || t == '0';
}
bool knownType(char t) {
    return t != 0 && std::strchr("CNFDLMGBTYIPOQRVWZ12345", t) != nullptr;
}
bool binaryWidthType(char t) {
    return t == 'C' || t == 'O' || t == 'W';
}

DataFile4* findFile(Vask4* c, const std::string& path) {
    for (DataFile4* df : c->impl->files)
        if (df->name == path) return df;
    return nullptr;
}

void removeFrom(std::vector<DataFile4*>& v, DataFile4* df) {
    v.erase(std::remove(v.begin(), v.end(), df), v.end());
}

// Reads and checks the header and descriptors. Nothing is changed in the file.
int readHeader(DataFile4* df, Vask4* c) {
    const char* name = df->name.c_str();
    unsigned char h[32];
    long n = file4read(&df->file, 0, h, 32);
    if (n < 0) return static_cast<int>(n);
    if (n < 32) return error4describe(c, e4data, L4_d4open, name);
    df->version = h[0];
    df->yy = h[1];
    df->mm = h[2];
    df->dd = h[3];
    df->numRecs = le32(h + 4);
    df->headerLen = le16(h + 8);
    df->recordLen = le16(h + 10);
    df->tableFlags = h[28];
    df->codePage = h[29];
    if (df->recordLen == 0) return error4describe(c, e4data, L4_d4open, name);
    df->level = df->version == 0x30 ? 30 : 25;
    // Room for at least the terminator, and all of it inside the file.
    std::int64_t fileLen = file4len(&df->file);
    if (fileLen < 0) return static_cast<int>(fileLen);
    if (df->headerLen < 33 || df->headerLen > fileLen)
        return error4describe(c, e4data, L4_d4open, name);
    if (c->largeOffset == 0 && df->accessMode != 0) {
        std::int64_t body = fileLen - df->headerLen;
        std::int64_t expect = static_cast<std::int64_t>(df->numRecs) * df->recordLen;
        // The quotient must match; the one trailing end-of-file byte is allowed explicitly
        // so that one-byte records are not miscounted.
        if (body / df->recordLen != static_cast<std::int64_t>(df->numRecs) && body != expect + 1)
            return error4describe(c, e4data, L4_d4open, name);
    }
    unsigned area = df->headerLen - 32;
    std::vector<unsigned char> desc(area);
    if (int r = file4readAll(&df->file, 32, desc.data(), area)) return r;
    unsigned long sum = 1;
    int nullCapable = 0;
    df->fields.clear();
    for (unsigned pos = 0;; pos += 32) {
        if (pos >= area) return error4describe(c, e4data, L4_d4open, name);  // no terminator
        // 0x0D ends the descriptors; some older writers left a 0x0A there instead.
        if (desc[pos] == 0x0D || desc[pos] == 0x0A) {
            // The header ends after the terminator (and, in version 0x30 files, the 263-byte
            // database container link); writers may pad it with zeros. Anything else there is
            // a damaged length that would read every record from the wrong place.
            const unsigned link = df->version == 0x30 ? 263 : 0;
            for (unsigned at = pos + 1 + link; at < area; ++at)
                if (desc[at] != 0) return error4describe(c, e4data, L4_d4open, name);
            break;
        }
        if (pos + 32 > area) return error4describe(c, e4data, L4_d4open, name);  // truncated
        const unsigned char* e = &desc[pos];
        Field4rec f{};
        std::memcpy(f.name, e, 11);
        f.name[11] = 0;
        for (char& ch : f.name) ch = upper(ch);
        f.type = static_cast<char>(e[11]);
        if (!knownType(f.type) && f.type != '0')
            return error4describe(c, e4fieldType, L4_d4open, name, f.name);
        if (level30OnlyOnOpen(f.type) && df->level != 30)
            return error4describe(c, e4fieldType, L4_d4open, name, f.name);
        if (f.type == '0' && std::strcmp(f.name, "_NULLFLAGS") != 0)
            return error4describe(c, e4fieldType, L4_d4open, name, f.name);
        if (binaryWidthType(f.type)) {
            f.len = le16(e + 16);
            f.dec = 0;
        } else {
            f.len = e[16];
            f.dec = e[17];
        }
        f.flags = e[18];
        f.offset = static_cast<unsigned>(sum);
        f.nullBit = -1;
        if (df->level == 30 && (f.flags & 2) && f.type != '0') f.nullBit = nullCapable++;
        sum += f.len;
        if (sum > 0xFFFFFFFFul) return error4describe(c, e4data, L4_d4open, name);
        df->fields.push_back(f);
    }
    if (c->largeOffset == 0 && sum != df->recordLen)
        return error4describe(c, e4data, L4_d4open, name);
    if (sum > df->recordLen) return error4describe(c, e4data, L4_d4open, name);
    df->nFields = static_cast<int>(df->fields.size());
    df->nUserFields = df->nFields;
    df->nullFlagsField = -1;
    for (int i = 0; i < df->nFields; ++i)
        if (df->fields[i].type == '0') df->nullFlagsField = i;
    if (df->nFields > 0 && df->fields.back().type == '0') df->nUserFields--;
    // Null bits must lie inside the _NullFlags field.
    if (nullCapable > 0) {
        if (df->nullFlagsField < 0 ||
            static_cast<unsigned>(nullCapable) > df->fields[df->nullFlagsField].len * 8u)
            for (Field4rec& f : df->fields) f.nullBit = -1;
    }
    df->memoCount = 0;
    for (const Field4rec& f : df->fields)
        if (isMemoType(f.type)) df->memoCount++;
    return 0;
}

Data4* makeHandle(Vask4* c, DataFile4* df) {
    Data4* d = new Data4;
    d->c = c;
    d->df = df;
    unsigned r = df->recordLen;
    d->storage.assign(3 * (static_cast<size_t>(r) + 1), ' ');
    d->record = d->storage.data();
    d->recordOld = d->record + r + 1;
    d->recordBlank = d->recordOld + r + 1;
    d->record[r] = d->recordOld[r] = d->recordBlank[r] = 0;
    // A blank record has no field set to null: its _NullFlags bytes are zero, not blanks
    // (a blank byte would mark every field on bit 5 of a flag byte as null).
    if (df->nullFlagsField >= 0) {
        const Field4rec& nf = df->fields[static_cast<size_t>(df->nullFlagsField)];
        if (nf.offset + nf.len <= r) std::memset(d->recordBlank + nf.offset, 0, nf.len);
    }
    d->recNum = -1;
    d->fields.reserve(df->fields.size());
    for (Field4rec& f : df->fields) d->fields.push_back(std::make_unique<Field4>(d, &f));
    return d;
}

void closeFile(DataFile4* df) {
    if (df->memo) file4close(df->memo.get());
    df->memo.reset();
    file4close(&df->file);
}

}  // namespace

void index4hooksInstall(const Index4Hooks* hooks) {
    installedHooks = hooks;
}
const Index4Hooks* index4hooks() {
    return installedHooks ? installedHooks : index4builtinHooks();
}

bool dfile4name(const char* in, const char* extension, std::string* out) {
    std::string s(in ? in : "");
    size_t start = s.rfind('/');
    start = start == std::string::npos ? 0 : start + 1;
    if (s.find('.', start) == std::string::npos && extension && *extension)
        s += std::string(".") + extension;
    for (size_t i = start; i < s.size(); ++i) s[i] = upper(s[i]);
    if (s.size() > 257 || s.size() == start) return false;  // 258-byte name buffer
    *out = s;
    return true;
}

std::string d4nameWithExtension(Data4* d, const char* extension) {
    std::string s = d->df->name;
    size_t start = s.rfind('/');
    start = start == std::string::npos ? 0 : start + 1;
    size_t dot = s.rfind('.');
    if (dot != std::string::npos && dot >= start) s.resize(dot);
    // The extension replaces the data file's own even when the stem keeps a "." (A.B.DBF
    // has the index A.B.CDX, not A.B).
    if (extension && *extension) s += std::string(".") + extension;
    std::string out;
    dfile4name(s.c_str(), nullptr, &out);
    return out;
}

static Data4* openTable(Vask4* c, const char* name) {
    if (!c) {
        error4(nullptr, e4parmNull, L4_d4open);
        return nullptr;
    }
    if (!c->initialized || d4errorStanding(c)) return nullptr;
    if (!name) {
        error4(c, e4parmNull, L4_d4open);
        return nullptr;
    }
    if (c->logOpen && !c->impl->logTried) log4open(c);
    std::string path;
    if (!dfile4name(name, "DBF", &path)) {
        if (c->errOpen)
            error4describe(c, e4open, L4_fileNameLength, name);
        else
            error4set(c, r4noOpen);
        return nullptr;
    }
    if (c->accessMode < 0 || c->accessMode > 2) {
        if (c->errOpen)
            error4describe(c, e4open, L4_accessMode, path.c_str());
        else
            error4set(c, r4noOpen);
        return nullptr;
    }
    DataFile4* df = findFile(c, path);
    if (df) {
        // A second opening in this context shares the file; it may not ask for more than the
        // first one got.
        if (modeRank(c->accessMode) > modeRank(df->accessMode)) {
            if (c->errOpen)
                error4describe(c, e4open, L4_d4open, path.c_str());
            else
                error4set(c, r4noOpen);
            return nullptr;
        }
        df->refs++;
    } else {
        df = new DataFile4;
        df->c = c;
        df->name = path;
        size_t start = path.rfind('/');
        start = start == std::string::npos ? 0 : start + 1;
        df->alias = path.substr(start, path.rfind('.') - start);
        df->accessMode = c->accessMode;
        df->readOnly = c->readOnly != 0;
        if (file4open(&df->file, c, path.c_str()) != 0) {
            delete df;
            return nullptr;
        }
        if (readHeader(df, c) != 0) {
            closeFile(df);
            delete df;
            return nullptr;
        }
        bool memo = df->level == 30 ? (df->tableFlags & 2) != 0 : (df->version & 0x80) != 0;
        if (memo) {
            std::string memoName = path.substr(0, path.rfind('.')) + ".FPT";
            df->memo = std::make_unique<File4>();
            if (file4open(df->memo.get(), c, memoName.c_str()) != 0) {
                df->memo.reset();
                closeFile(df);
                delete df;
                return nullptr;
            }
        }
        df->refs = 1;
        c->impl->files.push_back(df);
    }
    const bool first = df->refs == 1;
    Data4* d = makeHandle(c, df);
    c->impl->tables.push_back(d);
    if ((df->tableFlags & 1) && c->autoOpen) {
        const Index4Hooks* hooks = index4hooks();
        int r = hooks && hooks->open ? hooks->open(d) : -1;
        if (r != 0) {
            // The table may not be used without its production index: its keys would go stale.
            if (c->errorCode >= 0) {
                std::string cdx = d4nameWithExtension(d, "CDX");
                if (c->errOpen)
                    error4describe(c, e4open, L4_d4open, cdx.c_str());
                else
                    error4set(c, r4noOpen);
            }
            int saved = c->errorCode;
            d4close(d);
            c->errorCode = saved;
            return nullptr;
        }
    }
    if (first) d4journalSettle(d);
    return d;
}

static Data4* createTable(Vask4* c, const char* name, const FIELD4INFO* fields,
                          const TAG4INFO* tags) {
    if (!c) {
        error4(nullptr, e4parmNull, L4_d4create);
        return nullptr;
    }
    if (!c->initialized || d4errorStanding(c)) return nullptr;
    if (!name || !fields) {
        error4(c, e4parmNull, L4_d4create);
        return nullptr;
    }
    if (c->logOpen && !c->impl->logTried) log4open(c);
    auto refuse = [c](const char* what) -> Data4* {
        if (c->errCreate)
            error4describe(c, e4create, L4_d4create, what);
        else
            error4set(c, r4noCreate);
        return nullptr;
    };
    std::string path;
    if (!dfile4name(name, "DBF", &path)) return refuse(name);
    if (findFile(c, path)) return refuse(path.c_str());
    if (c->accessMode < 0 || c->accessMode > 2) {
        error4set(c, r4noCreate);
        return nullptr;
    }
    const int level = c->compatibility == 30 ? 30 : 25;

    struct Desc {
        char name[11];
        char type;
        unsigned width;
        unsigned char lenByte, decByte, flags;
    };
    std::vector<Desc> desc;
    unsigned long recLen = 1;
    int nullCapable = 0;
    bool memo = false;
    for (const FIELD4INFO* f = fields; f->name && f->name[0]; ++f) {
        Desc e{};
        for (int i = 0; i < 10 && f->name[i]; ++i) e.name[i] = upper(f->name[i]);
        char t = upper(static_cast<char>(f->type & 0xFF));
        unsigned len = f->len;
        unsigned dec = f->dec;
        bool only30 = false;
        switch (t) {
            case 'C':
                e.width = len;
                e.decByte = static_cast<unsigned char>(len >> 8);
                break;
            case 'N':
            case 'F':
                if (len > 255 || dec > 255)
                    return error4describe(c, e4data, L4_fieldDefinition, path.c_str(), e.name),
                           nullptr;
                e.width = len;
                e.decByte = static_cast<unsigned char>(dec);
                break;
            case 'D':
                e.width = 8;
                break;
            case 'L':
                e.width = 1;
                break;
            case 'M':
            case 'G':
                e.width = level == 30 ? 4 : 10;
                memo = true;
                break;
            case 'X':
                only30 = true;
                t = 'M';
                e.width = 4;
                e.flags = 4;
                memo = true;
                break;
            case 'B':
                only30 = true;
                e.width = 8;
                e.decByte = static_cast<unsigned char>(dec);
                e.flags = 4;
                break;
            case 'T':
                only30 = true, e.width = 8, e.flags = 4;
                break;
            case 'Y':
                only30 = true, e.width = 8, e.decByte = 4, e.flags = 4;
                break;
            case 'I':
            case 'P':
                only30 = true, e.width = 4, e.flags = 4;
                break;
            case 'Q':
            case 'R':
                only30 = true, e.width = 2, e.flags = 4;
                break;
            case '1':
            case '5':
                only30 = true, e.width = 8, e.flags = 4;
                break;
            case '2':
            case '3':
                only30 = true, e.width = 6, e.flags = 4;
                break;
            case '4':
            case 'V':
                only30 = true, e.width = 16, e.flags = 4;
                break;
            case 'O':
            case 'W':
                only30 = true;
                e.width = ((len + 1) & ~1u) + (t == 'O' ? 2 : 0);
                if (e.width > 0xFFFF)
                    return error4describe(c, e4recordLen, L4_d4create, path.c_str()), nullptr;
                e.decByte = static_cast<unsigned char>(e.width >> 8);
                e.flags = 4;
                break;
            case 'Z':
                only30 = true;
                t = 'C';
                e.width = len;
                e.decByte = static_cast<unsigned char>(len >> 8);
                e.flags = 4;
                break;
            default:
                error4describe(c, e4fieldType, L4_d4create, path.c_str(), e.name);
                return nullptr;
        }
        if (only30 && level != 30) {
            error4describe(c, e4data, L4_d4create, path.c_str(), e.name);
            return nullptr;
        }
        if (f->nulls == r4null) {
            if (level != 30) {
                error4describe(c, e4data, L4_d4create, path.c_str(), e.name);
                return nullptr;
            }
            e.flags |= 2;
            nullCapable++;
        }
        e.type = t;
        e.lenByte = static_cast<unsigned char>(e.width);
        recLen += e.width;
        desc.push_back(e);
        if (recLen > 0x1FFFF) break;  // already far too long; stop before anything overflows
    }
    if (desc.empty()) {
        error4describe(c, e4data, L4_fieldDefinition, path.c_str());
        return nullptr;
    }
    if (nullCapable > 0) {
        Desc e{};
        std::memcpy(e.name, "_NullFlags", 10);
        e.type = '0';
        e.width = static_cast<unsigned>((nullCapable + 7) / 8);
        e.lenByte = static_cast<unsigned char>(e.width);
        e.flags = 5;
        recLen += e.width;
        desc.push_back(e);
    }
    // The record length is stored in 16 bits: anything longer cannot be written at all.
    if (recLen > 0xFFFF || (recLen == 0xFFFF && c->largeOffset == 0)) {
        error4describe(c, e4recordLen, L4_d4create, path.c_str());
        return nullptr;
    }
    unsigned long headerLen = 32ul * desc.size() + (level == 30 ? 296 : 33);
    if (headerLen >= 0xFFFF) {
        error4describe(c, e4recordLen, L4_d4create, path.c_str());
        return nullptr;
    }

    File4 file;
    if (file4create(&file, c, path.c_str()) != 0) return nullptr;
    int year, month, day;
    clock4today(&year, &month, &day);
    unsigned char h[32] = {};
    h[0] = level == 30 ? 0x30 : memo ? 0xF5 : 0x03;
    h[1] = static_cast<unsigned char>(year % 100);
    h[2] = static_cast<unsigned char>(month);
    h[3] = static_cast<unsigned char>(day);
    put16(h + 8, static_cast<unsigned>(headerLen));
    put16(h + 10, static_cast<unsigned>(recLen));
    h[28] = (level == 30 && memo) ? 2 : 0;
    h[29] = static_cast<unsigned char>(c->codePage);
    int r;
    {
        File4seqWrite w;
        r = file4seqWriteInit(&w, &file, 0, 2048);
        if (r == 0) r = file4seqWrite(&w, h, 32);
        unsigned offset = 1;
        for (const Desc& e : desc) {
            if (r) break;
            unsigned char b[32] = {};
            std::memcpy(b, e.name, 11);
            b[11] = static_cast<unsigned char>(e.type);
            put32(b + 12, offset);
            b[16] = e.lenByte;
            b[17] = e.decByte;
            b[18] = e.flags;
            offset += e.width;
            r = file4seqWrite(&w, b, 32);
        }
        if (r == 0) {
            if (level == 30) {
                const char end = 0x0D;
                r = file4seqWrite(&w, &end, 1);
                if (r == 0) r = file4seqWriteRepeat(&w, 263, 0);
            } else {
                const char end[2] = {0x0D, 0x1A};
                r = file4seqWrite(&w, end, 2);
            }
        }
        if (r == 0) r = file4seqWriteFlush(&w);
    }
    if (r == 0) r = file4flush(&file);
    file4close(&file);
    if (r != 0) {
        io4()->unlink(path.c_str());  // a half-written header must not be left behind
        return nullptr;
    }
    if (memo) {
        std::string memoName = path.substr(0, path.rfind('.')) + ".FPT";
        File4 m;
        if (file4create(&m, c, memoName.c_str()) != 0) return nullptr;
        unsigned block = static_cast<unsigned>(std::max(33, std::min(c->memSizeBlock, 0xFFFF)));
        unsigned char mh[512] = {};
        unsigned long next = (512 + block - 1) / block;
        mh[0] = static_cast<unsigned char>(next >> 24);
        mh[1] = static_cast<unsigned char>(next >> 16);
        mh[2] = static_cast<unsigned char>(next >> 8);
        mh[3] = static_cast<unsigned char>(next);
        mh[6] = static_cast<unsigned char>(block >> 8);
        mh[7] = static_cast<unsigned char>(block);
        r = file4write(&m, 0, mh, sizeof mh);
        if (r == 0) r = file4flush(&m);
        file4close(&m);
        if (r != 0) return nullptr;
    }
    Data4* d = d4open(c, path.c_str());
    if (!d) return nullptr;
    if (tags && tags[0].name && tags[0].name[0]) {
        const Index4Hooks* hooks = index4hooks();
        int rc = hooks && hooks->create ? hooks->create(d, tags)
                                        : error4describe(c, e4notIndex, L4_i4create, path.c_str());
        if (rc != 0) {
            int saved = c->errorCode != 0 ? c->errorCode : rc;
            d4close(d);
            c->errorCode = saved;
            return nullptr;
        }
    }
    return d;
}

int d4close(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4close);
    Vask4* c = d->c;
    DataFile4* df = d->df;
    // Closing goes on whatever fails, so that nothing stays open; the first error is returned.
    int result = d4writeCurrent(d);
    int r = d4unlock(d);
    if (result == 0 && r < 0) result = r;
    lock4engineTableClose(d);  // before its files go: the lock lists live with them
    const Index4Hooks* hooks = index4hooks();
    if (hooks && hooks->close && (!d->indexes.empty() || !d->tags.empty())) {
        r = hooks->close(d);
        if (result == 0 && r < 0) result = r;
    }
    auto& tables = c->impl->tables;
    tables.erase(std::remove(tables.begin(), tables.end(), d), tables.end());
    // The handle's locks go while the file and its lock lists still exist: the last close of
    // the file frees those lists.
    lock4engineTableClose(d);
    if (--df->refs <= 0) {
        if (df->fileChanged && !df->readOnly) {
            int year, month, day;
            clock4today(&year, &month, &day);
            df->yy = static_cast<unsigned char>(year % 100);
            df->mm = static_cast<unsigned char>(month);
            df->dd = static_cast<unsigned char>(day);
            r = dfile4writeHeader(df, df->accessMode == 1 || df->headerDirty);
            if (result == 0 && r < 0) result = r;
        }
        lock4engineFileClose(df);
        if (df->memo) {
            r = file4close(df->memo.get());
            if (result == 0 && r < 0) result = r;
            df->memo.reset();
        }
        r = file4close(&df->file);
        if (result == 0 && r < 0) result = r;
        removeFrom(c->impl->files, df);
        delete df;
    }
    delete d;
    return result;
}

int dfile4writeHeader(DataFile4* df, bool countToo) {
    unsigned char h[10];
    h[0] = df->version;
    h[1] = df->yy;
    h[2] = df->mm;
    h[3] = df->dd;
    put32(h + 4, df->numRecs);
    put16(h + 8, df->headerLen);
    int r = file4write(&df->file, 0, h, countToo ? 10 : 4);
    if (r == 0 && countToo) df->headerDirty = false;
    return r;
}

int dfile4recCountRefresh(DataFile4* df, bool force) {
    if (df->accessMode != 0) {
        df->countStale = false;  // nobody else can append
        return 0;
    }
    if (!df->countStale && !force) return 0;
    unsigned char b[4];
    long n = file4read(&df->file, 4, b, 4);
    if (n < 0) return static_cast<int>(n);
    if (n == 4) df->numRecs = le32(b);
    df->countStale = false;
    return 0;
}

int d4numFields(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4numFields);
    return d->df->nUserFields;
}

Field4* d4fieldJ(Data4* d, int j) {
    if (!d) {
        error4(nullptr, e4parmNull, L4_d4field);
        return nullptr;
    }
    if (j < 1 || j > d->df->nUserFields) return nullptr;
    return d->fields[j - 1].get();
}

Field4* d4field(Data4* d, const char* name) {
    if (!d || !name) {
        error4(d ? d->c : nullptr, e4parmNull, L4_d4field);
        return nullptr;
    }
    for (int i = 0; i < d->df->nUserFields; ++i)
        if (sameName(d->df->fields[i].name, name)) return d->fields[i].get();
    if (d->c->errFieldName) error4describe(d->c, e4fieldName, L4_d4field, name);
    return nullptr;
}

const char* d4fileName(Data4* d) {
    return d ? d->df->name.c_str() : nullptr;
}
const char* d4alias(Data4* d) {
    return d ? d->df->alias.c_str() : nullptr;
}
Vask4* d4vask(Data4* d) {
    return d ? d->c : nullptr;
}
char* d4record(Data4* d) {
    return d ? d->record : nullptr;
}
long d4recWidth(Data4* d) {
    if (!d) return error4(nullptr, e4parmNull, L4_d4recCount);
    return static_cast<long>(d->df->recordLen);
}

// ---- definition lists ----

int Field4info::add(const char* name, char type, int len, int dec, unsigned short nulls) {
    if (!name || !*name || len < 0 || len > 0xFFFF || dec < 0 || dec > 0xFFFF)
        return error4(c_, e4parm, L4_Field4info);
    names_.emplace_back(name);
    list_.push_back(FIELD4INFO{names_.back().c_str(), static_cast<short>(type),
                               static_cast<unsigned short>(len), static_cast<unsigned short>(dec),
                               nulls});
    return 0;
}

const FIELD4INFO* Field4info::fields() {
    out_ = list_;
    out_.push_back(FIELD4INFO{nullptr, 0, 0, 0, 0});
    return out_.data();
}

void Field4info::free() {
    list_.clear();
    out_.clear();
    names_.clear();
}

int Tag4info::add(const char* name, const char* expression, const char* filter, short unique,
                  unsigned short descending) {
    if (!name || !*name || !expression) return error4(c_, e4parm, L4_Tag4info);
    texts_.emplace_back(name);
    const char* n = texts_.back().c_str();
    texts_.emplace_back(expression);
    const char* e = texts_.back().c_str();
    const char* f = nullptr;
    if (filter) {
        texts_.emplace_back(filter);
        f = texts_.back().c_str();
    }
    list_.push_back(TAG4INFO{n, e, f, unique, descending});
    return 0;
}

const TAG4INFO* Tag4info::tags() {
    out_ = list_;
    out_.push_back(TAG4INFO{nullptr, nullptr, nullptr, 0, 0});
    return out_.data();
}

void Tag4info::free() {
    list_.clear();
    out_.clear();
    texts_.clear();
}

// Building a handle allocates (buffers, field tables, index caches). Running out of memory
// there is reported as -920, which ends the program after closing the open files, rather
// than an exception escaping through the engine's C-style interface.
Data4* d4open(Vask4* c, const char* name) {
    try {
        return openTable(c, name);
    } catch (const std::bad_alloc&) {
        error4(c, e4memory, L4_d4open);
        return nullptr;
    }
}

Data4* d4create(Vask4* c, const char* name, const FIELD4INFO* fields, const TAG4INFO* tags) {
    try {
        return createTable(c, name, fields, tags);
    } catch (const std::bad_alloc&) {
        error4(c, e4memory, L4_d4create);
        return nullptr;
    }
}
