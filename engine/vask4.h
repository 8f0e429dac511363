// The engine context: settings, the standing error, open tables and the background workers.
#pragma once

#include <cstdint>

struct Data4;
struct Vask4impl;  // engine-internal state (open tables, workers, log), see engine/src/vask4impl.h

// Version and structure size a caller must pass to vask4init.
inline constexpr long VASK4_VERSION = 6500;
inline constexpr long VASK4_STRUCT_SIZE = 1554;

struct Vask4 {
    Vask4();
    ~Vask4();  // shuts the context down when still initialised
    Vask4(const Vask4&) = delete;
    Vask4& operator=(const Vask4&) = delete;

    // ---- settings (set to their defaults by vask4init) ----
    int autoOpen;           // 1: d4open opens the production index when header byte 28 bit 0 is set
    int safety;             // 1: create refuses to overwrite an existing file
    int errCreate;          // 1: report a refused create as -20; 0: leave code 60 silently
    int errOpen;            // 1: report a failed open (-60 ...); 0: leave code 70 silently
    int errFieldName;       // 1: d4field reports -210
    int errExpr;            // 1: expression parse errors are reported
    int errTagName;         // 1: d4tag reports -330
    int errGo;              // 1: d4go beyond the last record reports -70; 0: returns 5
    int errSkip;            // 1: d4skip without a current record reports -910
    int errOff;             // 1: errors are stored but not printed
    int compatibility;      // header form written on create: 25 or 30
    int collatingSequence;  // collation of new tags, 0 = machine order
    int collateCodePage;    // selects the general collation for new tags when not 0
    int codePage;           // written to header byte 29 on create
    int accessMode;         // 0 shared, 1 exclusive, 2 deny write
    int readOnly;           // 1: tables are opened without writing
    int lockAttempts;       // -1: try until granted
    int lockDelay;          // hundredths of a second between lock attempts
    int readLock;           // 1: d4go locks the record it reads
    int lockEnforce;        // 1: changes to an unlocked record are refused with -50
    int unlockAuto;  // 1 release all locks of the context before a new lock, 2 the table's, 0 none
    long largeOffset;      // extended offsets; 0 = off
    int errDefaultUnique;  // unique code a unique tag gets when opened
    int indexBlockSize;    // index block size in bytes
    int indexBlockMultiplier;
    int memSizeBlock;        // memo block size; values below 33 are raised to 33
    unsigned memSizeBuffer;  // sequential reader/writer buffer size
    char dateFormat[20];     // display form of dates
    int logOpen;             // 1: the first create or open looks for the transaction log

    // ---- state ----
    int errorCode;       // 0, a positive result code that was stored, or a negative error
    long errorLocation;  // location number of the last error
    int initialized;     // 1 between vask4init and vask4initUndo

    Vask4impl* impl;  // owned; created by vask4init
};

// Initialises the context. version must be VASK4_VERSION; a non-zero structSize must be
// VASK4_STRUCT_SIZE. noThreads == 1 runs without the read-ahead and delayed-write threads.
int vask4init(Vask4* c, long version = VASK4_VERSION, long structSize = VASK4_STRUCT_SIZE,
              int noThreads = 0);
// Closes every table of the context (flushing them), closes the log, stops the worker threads.
// Returns the last error code.
int vask4initUndo(Vask4* c);
// Number of initialised contexts in the process.
int vask4contextCount();
