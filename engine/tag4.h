// Tags and index files of a table: the record-level face of the compound index.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/data4.h"

struct Index4;  // an open index file of a table
struct Tag4;

// Creates an index file for the table with the listed tags and builds them from the
// records; name null: the production index (the data file's name with "CDX").
Index4* i4create(Data4* d, const char* name, const TAG4INFO* tags);
// Opens an index file and all its tags.
Index4* i4open(Data4* d, const char* name);
int i4close(Index4* i);

// Memory the sorter of a build (create, reindex, pack) may hold before it spools sorted
// runs to the temporary folder; 0 restores the default. Returns the previous value.
std::size_t i4sortMemorySet(std::size_t bytes);

// Tag properties.
const char* t4alias(Tag4* t);
const char* t4expr(Tag4* t);
const char* t4filter(Tag4* t);
int t4unique(Tag4* t);  // the unique code in force
// Changes the unique handling: 20, 25 or -340 for a unique tag, 15 or -360 for a candidate.
int t4uniqueSet(Tag4* t, short code);

// Key maintenance for one record (used by record writes and appends): the keys of oldRec
// leave every tag whose key or filter value changed and those of newRec go in. A unique
// refusal (20) or an error puts back what was already changed and stops.
int d4writeKeys(Data4* d, long rec, const char* oldRec, const char* newRec);
// Puts the keys of oldRec back in place of those of newRec (undoes d4writeKeys).
int d4unwriteKeys(Data4* d, long rec, const char* oldRec, const char* newRec);

// Takes the index locks of every index file of the table (as key maintenance does) and reads
// the trees again, so that a walk made while they are held sees no other user's half-written
// change. Held until d4unlock. 0, 50 refused, or an error.
int d4lockIndex(Data4* d);

// The record numbers of the selected tag's entries from the first key at or after `key` to
// the end of the tag, in tag order, read in one pass over its leaves: a filter that must look
// at many records in tag order reads them afterwards in large blocks (d4readRecords) instead
// of one step at a time. A key shorter than the tag's compares as a prefix, as in d4seek.
// Entries of records beyond the table are left out; the table's current record and the tag's
// position do not move. Ascending character tags only. 0, 80 without a selected tag, or an
// error.
int d4seekRecords(Data4* d, const char* key, std::vector<long>& out);

// Verifies every index of the table: the tree rules and that each tag holds exactly the
// records passing its filter with the key its expression gives. 0 when sound, else -310 with
// the problems (one a line) in *report.
int i4check(Data4* d, std::string* report);
