// Data files: create, open, close and record-level access.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "engine/error4.h"
#include "engine/field4.h"
#include "engine/vask4.h"

struct Data4;  // an open table; defined in engine/src/data4impl.h
struct Tag4;   // a tag of a compound index; defined by the index code

// Field definition (input of d4create); a list ends with an entry whose name is empty or null.
struct FIELD4INFO {
    const char* name;
    short type;
    unsigned short len;
    unsigned short dec;
    unsigned short nulls;  // 190 marks a null-capable field
};
inline constexpr unsigned short r4null = 190;

// Tag definition (input of d4create); a list ends with an entry whose name is empty or null.
struct TAG4INFO {
    const char* name;
    const char* expression;
    const char* filter;
    short unique;
    unsigned short descending;
};

// Growable field definition list.
class Field4info {
public:
    explicit Field4info(Vask4& c) : c_(&c) {}
    int add(const char* name, char type, int len = 0, int dec = 0, unsigned short nulls = 0);
    const FIELD4INFO* fields();  // terminated by an entry with a null name
    int numFields() const { return static_cast<int>(list_.size()); }
    void free();

private:
    Vask4* c_;
    std::deque<std::string> names_;
    std::vector<FIELD4INFO> list_;
    std::vector<FIELD4INFO> out_;
};

// Growable tag definition list.
class Tag4info {
public:
    explicit Tag4info(Vask4& c) : c_(&c) {}
    int add(const char* name, const char* expression, const char* filter = nullptr,
            short unique = 0, unsigned short descending = 0);
    const TAG4INFO* tags();
    int numTags() const { return static_cast<int>(list_.size()); }
    void free();

private:
    Vask4* c_;
    std::deque<std::string> texts_;
    std::vector<TAG4INFO> list_;
    std::vector<TAG4INFO> out_;
};

Data4* d4create(Vask4* c, const char* name, const FIELD4INFO* fields,
                const TAG4INFO* tags = nullptr);
Data4* d4open(Vask4* c, const char* name);
int d4close(Data4* d);

int d4numFields(Data4* d);
Field4* d4fieldJ(Data4* d, int j);  // 1-based
Field4* d4field(Data4* d, const char* name);
const char* d4fileName(Data4* d);  // the file name as opened
const char* d4alias(Data4* d);     // the file-name part without folder and extension
Vask4* d4vask(Data4* d);
char* d4record(Data4* d);
long d4recWidth(Data4* d);

long d4recNo(Data4* d);
long d4recCount(Data4* d);
int d4bof(Data4* d);
int d4eof(Data4* d);
int d4deleted(Data4* d);
int d4changed(Data4* d, int flag);  // flag < 0 only queries; returns the previous value

int d4go(Data4* d, long rec, int oldCopy = 0);
int d4top(Data4* d);
int d4bottom(Data4* d);
int d4skip(Data4* d, long count = 1);
int d4seek(Data4* d, const char* key);
int d4goEof(Data4* d);
// A walk in tag order (a report, a list of a day) is one operation. Between d4walkStart and
// d4walkEnd a shared table steps through the index as it was when the walk looked at its
// change counter, instead of looking at every step, and reads the records ahead in runs
// (records that lie in key order in whole stretches); what it read serves the later steps of
// that walk only. Records read for a later leaf are followed by a new look, and a change
// found then starts the step again on the index as it is, so the walk never shows a record
// where the index no longer has it. Every lock, unlock or write of the handle, and d4walkEnd, drops it all; a walk
// started after another user's d4unlock sees that user's change. Calls nest; in exclusive
// and deny-write modes the file caches already serve the walk and these do nothing.
int d4walkStart(Data4* d);
int d4walkEnd(Data4* d);
// Reads up to `count` whole records from record `first` on into `out` (d4recWidth bytes each,
// the deletion flag first) with one read, cut to the records the table holds; the current
// record does not move. The number of records read, or a negative error.
long d4readRecords(Data4* d, long first, long count, char* out);

int d4blank(Data4* d);
int d4appendStart(Data4* d, int copyFlag = 0);
int d4append(Data4* d);
int d4delete(Data4* d);
int d4recall(Data4* d);
int d4flush(Data4* d);
int d4update(Data4* d);  // writes a changed current record
int d4pack(Data4* d);
// The journals of interrupted record rewrites left beside the data file `table` (their paths).
// A rewrite whose changes span a sector boundary is journaled so a power loss cannot tear it;
// whoever next opens the table for writing settles what its writer left.
std::vector<std::string> d4journalsLeft(const char* table);

Tag4* d4tag(Data4* d, const char* name);
int d4tagSelect(Data4* d, Tag4* tag);  // nullptr: record-number order
Tag4* d4tagSelected(Data4* d);
int d4reindex(Data4* d);

// Locking. Until byte-range locks are built these grant every request; the
// calls already stand where records, appends and whole files must be locked.
int d4lock(Data4* d, long rec);
int d4lockAppend(Data4* d);
int d4lockFile(Data4* d);
int d4lockAll(Data4* d);
int d4lockTest(Data4* d, long rec);  // 1 when this handle may change the record
int d4unlock(Data4* d);
