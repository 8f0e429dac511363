#include "tables/TableCore.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "engine/error4.h"
#include "engine/field4.h"
#include "engine/lock4.h"
#include "engine/tag4.h"

namespace tables {

std::string trimRight(const char* text) {
    if (!text) return {};
    std::size_t n = std::strlen(text);
    while (n > 0 && text[n - 1] == ' ') --n;
    return std::string(text, n);
}

Reach tableReach(const std::string& path) {
    std::string name = path;
    const std::size_t slash = name.rfind('/');
    for (std::size_t i = slash == std::string::npos ? 0 : slash + 1; i < name.size(); ++i)
        name[i] = char(std::toupper(static_cast<unsigned char>(name[i])));
    const int fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == EACCES || errno == EPERM || errno == EROFS ? Reach::ReadOnly : Reach::Other;
    struct stat st {};
    Reach r = Reach::Other;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && lock4shareOpen(fd, lock4shared, true) == 1)
        r = Reach::InUse;
    ::close(fd);  // the probe's share locks go with it
    return r;
}

std::string groupBase(const std::string& groupPath) {
    // Only a "." in the file name ends the stem: a dotted folder name stays whole.
    std::size_t slash = groupPath.rfind('/');
    std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = groupPath.rfind('.');
    if (dot == std::string::npos || dot <= nameStart) return groupPath;
    return groupPath.substr(0, dot);
}

std::string groupFolder(const std::string& groupPath) {
    std::size_t slash = groupPath.rfind('/');
    return slash == std::string::npos ? std::string() : groupPath.substr(0, slash + 1);
}

TableCore::TableCore(const TableSpec& spec)
    : spec_(spec),
      fields_(static_cast<std::size_t>(spec.numFields), nullptr),
      slots_(static_cast<std::size_t>(spec.numFields)) {
    vask4init(&c_);
    // Changes to unlocked records are refused until a create or open starts the table's use;
    // that start re-initialises the context, which switches it off again.
    c_.lockEnforce = 1;
}

TableCore::~TableCore() {
    if (data_) close();
    if (c_.initialized) vask4initUndo(&c_);
}

int TableCore::initContext() {
    if (c_.initialized) vask4initUndo(&c_);
    data_ = nullptr;
    tag_ = nullptr;
    fields_.assign(fields_.size(), nullptr);
    slots_.assign(slots_.size(), Slot{});
    numFieldsInFile_ = 0;
    return vask4init(&c_);
}

int TableCore::openedRule() const {
    // With open errors reported a failed open leaves a negative code; with them off any
    // non-zero code means the table did not open.
    if (c_.errOpen) return c_.errorCode < 0 ? c_.errorCode : 0;
    return c_.errorCode;
}

int TableCore::create(const std::string& path) {
    path_ = path;
    if (int r = initContext()) return r;
    fieldInfo_ = std::make_unique<Field4info>(c_);
    tagInfo_ = std::make_unique<Tag4info>(c_);
    for (int j = 0; j < spec_.numFields; ++j)
        fieldInfo_->add(spec_.fields[j].name, spec_.fields[j].type, spec_.fields[j].width, 0, 0);
    tagInfo_->add(spec_.tag, spec_.expression, spec_.filter, r4unique, 0);
    data_ = d4create(&c_, path_.c_str(), fieldInfo_->fields(), tagInfo_->tags());
    if (c_.errorCode != 0 || !data_) {
        int code = c_.errorCode != 0 ? c_.errorCode : r4noCreate;
        if (data_) d4close(data_);
        data_ = nullptr;
        return code;
    }
    if (int r = bind(false)) return r;
    // Building the new index locked the whole table; other users of a shared folder table
    // (the next group's customers) must not wait for this object's first write to see it go.
    d4unlock(data_);
    return c_.errorCode;
}

int TableCore::open(const std::string& path) {
    path_ = path;
    if (int r = initContext()) return r;
    data_ = d4open(&c_, path_.c_str());
    int failed = openedRule();
    if (failed || !data_) {
        if (data_) d4close(data_);
        data_ = nullptr;
        return failed ? failed : r4noOpen;
    }
    if (int r = bind(true)) return r;
    // The first entry of the tag, read once: an index whose root pointer is damaged opens
    // (the engine keeps such an index reachable for a rebuild), but the program must refuse
    // it rather than show a table that looks empty or half.
    if (int r = d4top(data_); r < 0) {
        d4close(data_);
        data_ = nullptr;
        tag_ = nullptr;
        fields_.assign(fields_.size(), nullptr);
        return r;
    }
    return 0;
}

int TableCore::bind(bool checkLayout) {
    numFieldsInFile_ = d4numFields(data_);
    if (checkLayout) {
        // A table of another layout is refused before anything reads it: fields taken by
        // name from a different record would come out shifted or cut.
        for (int j = 0; j < spec_.numFields; ++j) {
            const FieldSpec& want = spec_.fields[j];
            Field4* f = nullptr;
            for (int k = 1; k <= numFieldsInFile_ && !f; ++k) {
                Field4* cand = d4fieldJ(data_, k);
                if (cand && strcasecmp(f4name(cand), want.name) == 0) f = cand;
            }
            if (!f) {
                // An optional field may be missing only from the older layout that lacks
                // just that one field.
                if (want.optional && numFieldsInFile_ == spec_.numFields - 1) continue;
                int r = error4describe(&c_, e4fieldName, L4_d4field, want.name, d4fileName(data_));
                d4close(data_);
                data_ = nullptr;
                return r;
            }
            if (f4type(f) != want.type || f4len(f) != want.width) {
                int r = error4describe(&c_, e4data, L4_d4open, d4fileName(data_), want.name);
                d4close(data_);
                data_ = nullptr;
                return r;
            }
        }
    }
    tag_ = d4tag(data_, spec_.tag);
    if (!tag_) {
        int r = c_.errorCode < 0 ? c_.errorCode : error4(&c_, e4tagName, L4_d4tag);
        d4close(data_);
        data_ = nullptr;
        return r;
    }
    d4tagSelect(data_, tag_);
    if (checkLayout) t4uniqueSet(tag_, r4unique);
    for (int j = 0; j < spec_.numFields; ++j) {
        const FieldSpec& want = spec_.fields[j];
        if (want.optional && checkLayout) {
            // Looked up silently: its absence is a layout the table knows.
            Field4* found = nullptr;
            for (int k = 1; k <= numFieldsInFile_ && !found; ++k) {
                Field4* cand = d4fieldJ(data_, k);
                if (cand && strcasecmp(f4name(cand), want.name) == 0) found = cand;
            }
            fields_[static_cast<std::size_t>(j)] = found;
        } else {
            fields_[static_cast<std::size_t>(j)] = d4field(data_, want.name);
        }
    }
    if (c_.errorCode < 0) {
        int r = c_.errorCode;
        d4close(data_);
        data_ = nullptr;
        tag_ = nullptr;
        fields_.assign(fields_.size(), nullptr);
        return r;
    }
    // Where each field lies in the record buffer, so that reads need no call per field.
    const char* record = d4record(data_);
    for (std::size_t j = 0; j < fields_.size(); ++j) {
        Field4* f = fields_[j];
        slots_[j] = f ? Slot{static_cast<std::size_t>(f4ptr(f) - record),
                             static_cast<std::size_t>(f4len(f))}
                      : Slot{};
    }
    return 0;
}

int TableCore::close() {
    int result = 0;
    if (data_) {
        result = d4close(data_);
        data_ = nullptr;
        tag_ = nullptr;
        fields_.assign(fields_.size(), nullptr);
    }
    if (packNeeded_ && c_.initialized) {
        packNeeded_ = false;
        // The pack needs the table to itself; when another user has it open the reopen is
        // refused and the deleted records wait for a later close.
        c_.accessMode = 1;
        Data4* d = d4open(&c_, path_.c_str());
        if (d && openedRule() == 0) {
            Tag4* t = d4tag(d, spec_.tag);
            if (t) {
                d4tagSelect(d, t);
                t4uniqueSet(t, r4unique);
            }
            if (d4lockAll(d) == 0) {
                int r = d4pack(d);
                if (result == 0 && r < 0) result = r;
            }
            d4close(d);
        } else if (d) {
            d4close(d);
        }
    }
    if (c_.initialized) vask4initUndo(&c_);
    return result;
}

// Fields are read straight from the record buffer: the bytes a text copy would hold, without
// the copy (these reads are most of the time a day's walk takes).
const char* TableCore::bytes(int j, std::size_t& len) const {
    const Slot& s = slots_[static_cast<std::size_t>(j)];
    if (!data_ || s.width == 0) {
        len = 0;
        return "";
    }
    // A text ends at a NUL byte, as the field's text copy would.
    const char* p = base() + s.offset;
    len = strnlen(p, s.width);
    return p;
}

namespace {

// The length of a stored text: trailing blanks go first (most of a text field, so eight at a
// time), then a NUL in what is left ends it.
std::size_t textLength(const char* p, std::size_t n) {
    static constexpr char kBlanks[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    while (n >= 8 && std::memcmp(p + n - 8, kBlanks, 8) == 0) n -= 8;
    while (n > 0 && p[n - 1] == ' ') --n;
    if (const void* nul = std::memchr(p, 0, n)) {
        n = static_cast<std::size_t>(static_cast<const char*>(nul) - p);
        while (n > 0 && p[n - 1] == ' ') --n;
    }
    return n;
}

}  // namespace

std::string TableCore::text(int j) const {
    std::string out;
    textInto(j, out);
    return out;
}

void TableCore::textInto(int j, std::string& out) const {
    const Slot& s = slots_[static_cast<std::size_t>(j)];
    if (!data_ || s.width == 0) return out.clear();
    const char* p = base() + s.offset;
    const std::size_t n = textLength(p, s.width);
    out.assign(p, n);
}

std::string TableCore::raw(int j) const {
    std::size_t n;
    const char* p = bytes(j, n);
    return std::string(p, n);
}

void TableCore::assign(int j, const std::string& text) {
    Field4* f = field(j);
    if (f) f->assign(text.c_str(), text.size());
}

int TableCore::seek(const std::string& key) {
    if (!data_) return r4noOpen;
    return d4seek(data_, key.c_str());
}

int TableCore::top() {
    if (!data_) return r4noOpen;
    return d4top(data_);
}

int TableCore::next() {
    if (!data_) return r4noOpen;
    // Without a current record (nothing read yet, a refused append) there is nothing to
    // step from: stepping would be the engine's fatal error, so the walk simply ends.
    if (d4recNo(data_) <= 0) return r4eof;
    if (d4eof(data_)) return r4eof;
    return d4skip(data_, 1);
}

int TableCore::go(long rec) {
    if (!data_) return r4noOpen;
    int r = d4go(data_, rec, 1);
    // A record that is no longer there (another user's pack, a stale list row) is reported
    // and returned, but must not leave the error standing: every later call of the table
    // would fail at once until the group is closed.
    if (r == e4read && c_.errorCode == e4read) error4set(&c_, 0);
    return r;
}

long TableCore::recNo() const {
    if (view_) return viewRec_;
    return data_ ? d4recNo(data_) : -1;
}

bool TableCore::deleted() const {
    if (view_) return view_[0] == '*';
    return data_ && d4recNo(data_) > 0 && d4deleted(data_) > 0;
}

bool TableCore::textIs(int j, const std::string& want) const {
    const Slot& s = slots_[static_cast<std::size_t>(j)];
    if (!data_ || s.width == 0) return want.empty();
    // As text() reads it, without making the string. Most fields a walk asks differ from
    // the first bytes on: those are compared before the text's length is worked out.
    const char* p = base() + s.offset;
    if (want.size() > s.width || std::memcmp(p, want.data(), want.size()) != 0) return false;
    return textLength(p, s.width) == want.size();
}

int TableCore::scan(const std::string& key, const std::function<bool()>& keep,
                    const std::function<void()>& visit) {
    if (!data_) return r4noOpen;
    // The blocks are read from the file: a change of the current record still held in the
    // buffer (a deletion is written by the next positioning call) must reach it first.
    if (d4changed(data_, -1) > 0)
        if (int r = d4flush(data_)) return r;
    // The record numbers and the read buffer of the last scan serve this one: fresh, their
    // megabytes were a fifth of a list's time in page faults and zero-filling. (Taken out of
    // the members for the scan, so a scan started from `visit` gets buffers of its own.)
    struct Reuse {
        TableCore* t;
        std::vector<long> recs;
        std::vector<char> block;
        explicit Reuse(TableCore* core) : t(core) {
            recs.swap(t->scanRecs_);
            block.swap(t->scanBlock_);
        }
        ~Reuse() {
            recs.swap(t->scanRecs_);
            block.swap(t->scanBlock_);
        }
    } reuse(this);
    std::vector<long>& recs = reuse.recs;
    std::vector<char>& block = reuse.block;
    if (int r = d4seekRecords(data_, key.c_str(), recs)) return r;
    const std::size_t width = static_cast<std::size_t>(d4recWidth(data_));
    // Read in record order, in runs: neighbours closer than kGap records share one read, and
    // a read holds at most about 1 MiB.
    // A table written in key order (bookings made day by day) has its entries in record
    // order already: then the records are visited as they are read, with no order to sort
    // and no copies kept (on a large table those took more time than the reading, much of
    // it in page faults for their memory).
    const bool inOrder = std::is_sorted(recs.begin(), recs.end());
    struct ViewReset {
        TableCore* t;
        ~ViewReset() { t->view_ = nullptr, t->viewRec_ = 0; }
    } reset{this};
    bool cutShort = false;
    // Makes record rec of a block read from record `first` (`got` records came) the one the
    // field readers read; false when the file ends before it (a crash or another program cut
    // it) or it was deleted after its entry was read.
    auto look = [&](long rec, long first, long got, const std::vector<char>& block) {
        if (rec - first >= got) {
            cutShort = true;
            return false;
        }
        const char* bytes = block.data() + std::size_t(rec - first) * width;
        if (bytes[0] == '*') return false;
        view_ = bytes;
        viewRec_ = rec;
        return true;
    };
    // Out of order but within a few MiB of the file (a customer list, added in no order of
    // names): the whole stretch in one read, visited straight from it in key order.
    if (!inOrder && !recs.empty()) {
        const auto [lo, hi] = std::minmax_element(recs.begin(), recs.end());
        const long first = *lo, count = *hi - *lo + 1;
        if (std::size_t(count) * width <= 8 * scanRead_) {
            if (block.size() < std::size_t(count) * width) block.resize(std::size_t(count) * width);
            const long got = d4readRecords(data_, first, count, block.data());
            if (got < 0) return int(got);
            for (const long rec : recs)
                if (look(rec, first, got, block) && keep()) visit();
            return cutShort ? e4read : 0;
        }
    }
    const long runMax = std::max<long>(1, long(scanRead_ / width));
    // Out of order only within short stretches (a day's bookings are made court by court but
    // listed by court name): the entries are taken in stretches whose records lie within one
    // read of about 1 MiB, each read once and visited straight from it in key order. Worth it
    // while the reads bring few records no entry asked for and are not many small ones; else
    // the sort below.
    if (!inOrder && !recs.empty()) {
        auto stretch = [&](std::size_t i, long& lo, long& hi) {
            lo = hi = recs[i];
            for (++i; i < recs.size(); ++i) {
                const long r = recs[i], l = std::min(lo, r), h = std::max(hi, r);
                if (h - l >= runMax) break;
                lo = l, hi = h;
            }
            return i;
        };
        std::size_t stretches = 0;
        long spanned = 0, lo, hi;
        for (std::size_t i = 0; i < recs.size(); ++stretches) {
            i = stretch(i, lo, hi);
            spanned += hi - lo + 1;
        }
        if (std::size_t(spanned) <= 2 * recs.size() &&
            stretches * std::size_t(runMax) <= 4 * std::size_t(spanned)) {
            if (block.size() < std::size_t(runMax) * width)
                block.resize(std::size_t(runMax) * width);
            for (std::size_t i = 0; i < recs.size();) {
                const std::size_t end = stretch(i, lo, hi);
                const long got = d4readRecords(data_, lo, hi - lo + 1, block.data());
                if (got < 0) return int(got);
                for (; i < end; ++i)
                    if (look(recs[i], lo, got, block) && keep()) visit();
            }
            return cutShort ? e4read : 0;
        }
    }
    std::vector<std::size_t> order;
    if (!inOrder) {
        order.resize(recs.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return recs[a] < recs[b]; });
    }
    auto at = [&](std::size_t i) { return inOrder ? i : order[i]; };
    constexpr long kGap = 64;
    if (block.size() < std::size_t(runMax) * width) block.resize(std::size_t(runMax) * width);
    std::vector<char> kept;
    std::vector<std::pair<std::size_t, std::size_t>> keptAt;  // tag position, offset in kept
    for (std::size_t i = 0; i < recs.size();) {
        const long first = recs[at(i)];
        std::size_t j = i + 1;
        while (j < recs.size() && recs[at(j)] - recs[at(j - 1)] <= kGap &&
               recs[at(j)] - first < runMax)
            ++j;
        const long count = recs[at(j - 1)] - first + 1;
        const long got = d4readRecords(data_, first, count, block.data());
        if (got < 0) return int(got);
        for (; i < j; ++i) {
            if (!look(recs[at(i)], first, got, block) || !keep()) continue;
            if (inOrder) {
                visit();
            } else {
                keptAt.push_back({order[i], kept.size()});
                kept.insert(kept.end(), view_, view_ + width);
            }
        }
    }
    std::sort(keptAt.begin(), keptAt.end());
    for (const auto& [position, offset] : keptAt) {
        view_ = kept.data() + offset;
        viewRec_ = recs[position];
        visit();
    }
    // What could be read was visited; the caller still learns that records are missing.
    return cutShort ? e4read : 0;
}

int TableCore::appendStart() {
    if (!data_) return r4noOpen;
    return d4appendStart(data_, 0);
}

int TableCore::addRecord(const std::function<void()>& fill) {
    if (!isOpen()) return r4noOpen;
    if (int r = appendStart()) return r;
    if (int r = blank()) return r;
    fill();
    return append();
}

int TableCore::updateRecord(const std::function<void()>& fill, bool release) {
    if (!isOpen()) return r4noOpen;
    if (int r = blank()) return r;
    fill();
    return rewrite(release);
}

int TableCore::deleteRecord(bool flushNow, bool pack) {
    const int r = remove(flushNow);
    if (pack) setPackNeeded();
    return r;
}

int TableCore::blank() {
    if (!data_) return r4noOpen;
    return d4blank(data_);
}

int TableCore::append() {
    if (!data_) return r4noOpen;
    int r = d4append(data_);
    // The record is acknowledged only once it is on the disk: a failed sync is a failed add.
    if (r == 0) r = d4flush(data_);
    d4unlock(data_);
    return r;
}

int TableCore::rewrite(bool release) {
    if (!data_) return r4noOpen;
    long rec = d4recNo(data_);
    int r = d4flush(data_);
    if (release) d4unlock(data_);
    if (r != 0) dropPendingChange(rec);
    return r;
}

int TableCore::remove(bool flushNow) {
    if (!data_) return r4noOpen;
    int r = d4delete(data_);
    if (r != 0 || !flushNow) return r;
    r = d4flush(data_);
    d4unlock(data_);
    return r;
}

void TableCore::dropPendingChange(long rec) {
    if (!data_ || rec <= 0 || c_.errorCode < 0) return;
    d4changed(data_, 0);
    d4go(data_, rec, 1);
}

void TableCore::dropFailedWrite() {
    if (!data_) return;
    error4set(&c_, 0);
    d4changed(data_, 0);
}

int TableCore::lockAppend() {
    if (!data_) return r4noOpen;
    return d4lockAppend(data_);
}

int TableCore::lockIndex() {
    if (!data_) return r4noOpen;
    return d4lockIndex(data_);
}

int TableCore::lockAll() {
    if (!data_) return r4noOpen;
    return d4lockAll(data_);
}

int TableCore::unlock() {
    if (!data_) return r4noOpen;
    return d4unlock(data_);
}

}  // namespace tables
