// What the three scheduling tables share: their own engine context, one open table with one
// selected tag, the bound fields, the pack-on-close request and the text conversions.
#pragma once

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/Format.h"
#include "engine/data4.h"
#include "engine/vask4.h"

struct Tag4;

namespace tables {

// One field of a table layout as the application creates and expects it.
struct FieldSpec {
    const char* name;
    char type;
    int width;
    bool optional = false;  // missing from the older layout one field short (the reservations' ORG)
};

// One table layout: its fields in file order and its single tag.
struct TableSpec {
    const FieldSpec* fields;
    int numFields;
    const char* tag;
    const char* expression;
    const char* filter;
};

// Reads a number the way every stored number is read: leading blanks skipped, digits up to
// the first non-digit, at most len characters. Blank or damaged text gives 0; a value too
// large for the member stops at the digits that fit.
// Inline: a walk reads some fifteen numbers of every record.
inline int parseNumber(const char* text, std::size_t len) {
    if (!text) return 0;
    std::size_t i = 0;
    while (i < len && text[i] == ' ') ++i;
    long value = 0;
    for (; i < len && text[i] >= '0' && text[i] <= '9'; ++i) {
        long next = value * 10 + (text[i] - '0');
        if (next > INT_MAX) break;
        value = next;
    }
    return static_cast<int>(value);
}
// The text with its trailing blanks removed.
std::string trimRight(const char* text);
// The table path of a group's own table: the group path with everything from the last "."
// of its file name cut.
std::string groupBase(const std::string& groupPath);
// The group's folder: everything up to and including the last "/", or empty.
std::string groupFolder(const std::string& groupPath);
// Why a table that did not open may simply be out of reach rather than damaged: another
// user holds it to themselves (a rebuild or pack), or it cannot be written here (a read-only
// folder, mount or file). Other for everything else, damage included. The engine's spelling
// of the name is used (its file-name part upper-case).
enum class Reach { Other, InUse, ReadOnly };
Reach tableReach(const std::string& path);
// The one formatter, by its old name here.
using quorvane::format;

class TableCore {
public:
    explicit TableCore(const TableSpec& spec);
    ~TableCore();
    TableCore(const TableCore&) = delete;
    TableCore& operator=(const TableCore&) = delete;

    // Creates the table with the layout and its tag; returns the context's error code.
    int create(const std::string& path);
    // Opens the table, checks its layout against the expected one, selects the tag and
    // sets the unique handling; 0 or the code that refused it (nothing stays open then).
    int open(const std::string& path);
    // Closes the table, packing it first when a deletion asked for it; releases the context.
    int close();

    bool isOpen() const { return data_ != nullptr; }
    Data4* data() const { return data_; }
    Vask4& context() { return c_; }
    const std::string& path() const { return path_; }
    // Field handle j (in layout order); nullptr for an optional field the table lacks.
    Field4* field(int j) const { return fields_[static_cast<std::size_t>(j)]; }
    bool hasField(int j) const { return field(j) != nullptr; }
    int numFieldsInFile() const { return numFieldsInFile_; }

    void setPackNeeded() { packNeeded_ = true; }
    bool packNeeded() const { return packNeeded_; }

    // Text of field j without trailing blanks, or as stored; empty when the field is absent.
    std::string text(int j) const;
    // The same into out, whose storage is reused: a walk reads every record into the same
    // strings, and a fresh string each time was most of its allocations.
    void textInto(int j, std::string& out) const;
    std::string raw(int j) const;
    // The number in count characters of field j from position from (0 when absent).
    int number(int j, std::size_t from = 0, std::size_t count = 0xFFFF) const {
        // The parse stops at the first non-digit, a NUL included, so no length scan is needed.
        const Slot& s = slots_[static_cast<std::size_t>(j)];
        if (!data_ || from >= s.width) return 0;
        return parseNumber(base() + s.offset + from, std::min(count, s.width - from));
    }
    // The bytes of field j in the record buffer and their count.
    const char* bytes(int j, std::size_t& len) const;
    // Assigns field j (ignored for an absent field); the engine cuts a longer text.
    void assign(int j, const std::string& text);

    // Positioning through the tag; each returns the engine's code.
    int seek(const std::string& key);
    int top();
    int next();
    int go(long rec);
    long recNo() const;
    // True when the record in the buffer carries the deletion mark (another user may have
    // deleted a record this user still lists).
    bool deleted() const;
    // True when field j, read as text() reads it, equals `text` (no string is made).
    bool textIs(int j, const std::string& text) const;

    // Visits, in tag order, the records of the tag's entries from `key` on (a shorter key
    // matches as a prefix; empty: all), read in large blocks instead of one step at a time.
    // `keep` is asked for each live record, `visit` then called for each kept one in tag
    // order; during both the field readers, recNo() and deleted() read that record. The
    // table's current record does not move. 0, the engine's code, or e4read when the data
    // file ends before records the tag lists (the ones it holds were still visited).
    int scan(const std::string& key, const std::function<bool()>& keep,
             const std::function<void()>& visit);
    // The most one read of a scan takes (tests make it small to reach every way of reading).
    void setScanRead(std::size_t bytes) { scanRead_ = std::max<std::size_t>(bytes, 1); }
    // The record-write tails: insert, rewrite in full (after blank and assignments), removal.
    int appendStart();
    int blank();
    int append();
    // A rewrite releases every lock of the table afterwards, unless `release` is false (a
    // change of many records under the whole-table lock keeps it to the end).
    int rewrite(bool release = true);
    int remove(bool flushNow);
    // Add, Update and Delete of the three tables: a blank record filled by `fill` (the
    // table's own field assignments) appended or rewritten over the current one; a deletion
    // mark, with the pack at close when asked.
    int addRecord(const std::function<void()>& fill);
    int updateRecord(const std::function<void()>& fill, bool release = true);
    int deleteRecord(bool flushNow, bool pack);
    // Forgets a write the engine refused (its standing error and the changed record buffer),
    // so that earlier writes can be put back.
    void dropFailedWrite();
    int lockAppend();
    // The index locks of the table (d4lockIndex), held until unlock.
    int lockIndex();
    int lockAll();
    int unlock();

private:
    int initContext();
    int openedRule() const;
    int bind(bool checkLayout);
    // Puts the record buffer back as the file holds it after a refused write, so that the
    // refused change does not stay pending for the next positioning call to retry.
    void dropPendingChange(long rec);

    // The record bytes the field readers read: the engine's current record, or while a scan
    // runs the record it is looking at.
    const char* base() const { return view_ ? view_ : d4record(data_); }

    const TableSpec& spec_;
    const char* view_ = nullptr;
    long viewRec_ = 0;
    Vask4 c_;
    Data4* data_ = nullptr;
    Tag4* tag_ = nullptr;
    std::vector<Field4*> fields_;
    struct Slot {
        std::size_t offset = 0;
        std::size_t width = 0;  // 0: the field is absent
    };
    std::vector<Slot> slots_;
    std::string path_;
    std::unique_ptr<Field4info> fieldInfo_;
    std::unique_ptr<Tag4info> tagInfo_;
    bool packNeeded_ = false;
    int numFieldsInFile_ = 0;
    std::size_t scanRead_ = std::size_t(1) << 20;
    std::vector<long> scanRecs_;  // kept from one scan to the next (see scan)
    std::vector<char> scanBlock_;
};

// What the three tables' classes share: each keeps one record in memory over its TableCore,
// filled by its readRecord(result) (which passes on a failed positioning's code) and written
// from its build(). The derived class names this base a friend for those two.
template <class Table>
class RecordTable {
public:
    RecordTable(const RecordTable&) = delete;
    RecordTable& operator=(const RecordTable&) = delete;

    // Closes the table, packing it first when a deletion asked for it.
    int Close() { return core_.close(); }
    bool IsOpen() const { return core_.isOpen(); }
    int First() { return self().readRecord(core_.top()); }
    int Next() { return self().readRecord(core_.next()); }
    int GoTo(long recordNumber) { return self().readRecord(core_.go(recordNumber)); }
    long GetRecordNumber() const { return core_.recNo(); }
    // True when the record last read carries the deletion mark: GoTo reads a deleted record.
    bool IsDeleted() const { return core_.deleted(); }
    int Add() {
        return core_.addRecord([this] { self().build(); });
    }

protected:
    explicit RecordTable(const TableSpec& spec) : core_(spec) {}
    ~RecordTable() {
        if (core_.isOpen()) core_.close();
    }

    TableCore core_;

private:
    Table& self() { return static_cast<Table&>(*this); }
};

}  // namespace tables
