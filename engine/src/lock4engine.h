// What the engine's own modules (file layer, data files, index glue) call of the lock layer.
// Not part of the public interface.
#pragma once

#include <cstddef>

struct Data4;
struct DataFile4;
struct File4;
struct Vask4;
class Lock4table;

// After a file was opened or created: admits the opening under the access mode against
// every other opening of the file (in any process). 0, or the failure (−60 "Opening File"
// reported; r4noOpen left silently when report is false). The caller closes fd on failure.
int lock4engineShare(Vask4* c, int fd, int accessMode, bool readOnly, const char* name,
                     bool report);

// Steps 1-5 of an append: the append lock, the re-read count and the lock of the record
// about to be written. 0 and *recordOut = count + 1 (0 when the table needs no lock:
// file lock held or opened in mode 1 or 2), 50 refused with nothing changed, or an error.
int lock4engineAppend(Data4* d, long* recordOut);

// The index locks of every index file of the table (rounds, dropping cached nodes of each
// index granted). 0, 50 or an error.
int lock4engineIndexLock(Data4* d);
// Whether index i of the table is locked by it (or needs no lock: mode 1 or 2).
bool lock4engineIndexHeld(Data4* d, std::size_t i);

// The lock list of any other file of the engine (index files): created on first use and
// dropped by file4close through lock4engineFileClosed.
class Lock4file;
Lock4file* lock4engineFileLocks(File4* f);
void lock4engineFileClosed(File4* f);

// Installed by the index glue: fills t->indexes with the lock lists of d's index files and
// sets t->hooks.indexLocked. Without it a table has no index locks.
using Lock4indexBinder = void (*)(Data4* d, Lock4table* t);
void lock4engineIndexBinderSet(Lock4indexBinder binder);
// Binds again (the lock layer also does before every use of the index lists).
void lock4engineIndexRebind(Data4* d);

// A table handle is being closed: its locks go, its bookkeeping is freed.
void lock4engineTableClose(Data4* d);
// A data file (and its memo file) is being closed.
void lock4engineFileClose(DataFile4* df);
// The data file's descriptor was replaced (file4adopt): its lock list follows the new one.
void lock4engineFileReplaced(DataFile4* df);
