// Engine result codes, error codes and the error report.
#pragma once

struct Vask4;

// Result codes that are not errors.
enum : int {
    r4success = 0,
    r4after = 2,
    r4eof = 3,
    r4bof = 4,
    r4entry = 5,
    r4unique = 20,
    r4locked = 50,
    r4noCreate = 60,
    r4noOpen = 70,
    r4noTag = 80,
};

// Error codes (negative). The full table with texts lives in error4.cpp.
enum : int {
    e4close = -10,
    e4create = -20,
    e4len = -30,
    e4lenSet = -40,
    e4lock = -50,
    e4open = -60,
    e4permiss = -61,
    e4access = -62,
    e4numFiles = -63,
    e4fileFind = -64,
    e4instance = -69,
    e4read = -70,
    e4remove = -80,
    e4rename = -90,
    e4unlock = -110,
    e4write = -120,
    e4data = -200,
    e4fieldName = -210,
    e4fieldType = -220,
    e4recordLen = -230,
    e4append = -240,
    e4seek = -250,
    e4entry = -300,
    e4index = -310,
    e4tagName = -330,
    e4unique = -340,
    e4tagInfo = -350,
    e4candidate = -360,
    e4info = -910,
    e4memory = -920,
    e4parm = -930,
    e4parmNull = -935,
    e4result = -950,
    e4verify = -960,
    e4struct = -970,
    e4notIndex = -1010,
    e4notSupported = -1090,
    e4version = -1095,
    e4memoCorrupt = -1110,
    e4memoCreate = -1120,
    e4transAppend = -1240,
};

// Reports an error as the engine does for its own errors and returns code.
int error4(Vask4* c, int code, long location);
// The same with up to three extra texts (a file name, an expression, a tag name).
int error4describe(Vask4* c, int code, long location, const char* s1, const char* s2 = nullptr,
                   const char* s3 = nullptr);
// The standing error code of the context; error4set replaces it and returns the old one.
int error4code(const Vask4* c);
int error4set(Vask4* c, int code);

// Text of an error code, or nullptr when the code is not in the table.
const char* error4text(int code);
// Text and printed number of a location, or nullptr when the location is not known.
const char* error4locationText(long location, long* printedNumber);

// Location numbers passed by the engine's call sites. Operations (first digit 9):
enum : long {
    L4_vask4init = 90111,
    L4_d4create = 90142,
    L4_d4open = 90307,
    L4_d4close = 90140,
    L4_d4field = 90296,
    L4_d4numFields = 90263,
    L4_d4recCount = 90267,
    L4_d4recNo = 90268,
    L4_d4go = 90252,
    L4_d4goEof = 90253,
    L4_d4top = 90199,
    L4_d4bottom = 90198,
    L4_d4skip = 90356,
    L4_d4seek = 90246,
    L4_d4blank = 90258,
    L4_d4appendStart = 90134,
    L4_d4append = 90131,
    L4_d4delete = 90260,
    L4_d4recall = 90261,
    L4_d4deleted = 90259,
    L4_d4changed = 90257,
    L4_d4flush = 90300,
    L4_d4update = 90303,
    L4_d4write = 90215,
    L4_d4pack = 90349,
    L4_d4tag = 90200,
    L4_d4tagSelect = 90204,
    L4_d4tagSelected = 90205,
    L4_d4reindex = 90345,
    L4_t4uniqueSet = 90146,
    L4_d4lock = 90218,
    L4_d4lockAll = 90220,
    L4_d4lockAppend = 90226,
    L4_d4lockFile = 90229,
    L4_d4lockTest = 90232,
    L4_d4unlock = 90235,
    L4_i4create = 90380,
    L4_i4open = 90385,
    L4_file4close = 90058,
    L4_file4create = 90059,
    L4_file4flush = 90061,
    L4_file4len = 90064,
    L4_file4lenSet = 90065,
    L4_file4read = 90063,
    L4_file4lock = 90069,
    L4_file4unlock = 90070,
    L4_file4open = 90071,
    L4_file4write = 90075,
    L4_file4seqRead = 90080,
    L4_file4seqWrite = 90084,
    L4_file4writeDelay = 90088,
    L4_dfile4 = 90130,
    L4_expr4parse = 90400,
    L4_log4 = 90420,
    // Wrapper classes (first digit 6):
    L4_Str4assign = 60039,
    L4_Str4str = 60040,
    L4_Field4lockCheck = 60021,
    L4_Field4changed = 60107,
    L4_Field4info = 60120,
    L4_Tag4info = 60130,
    // Conditions (first digit 8):
    L4_readOnlyWrite = 80013,
    L4_lockOwnImpeding = 80074,
    L4_lockUnopened = 80075,
    L4_rootInvalid = 80097,
    L4_tagCreate = 80109,
    L4_corrupt = 80137,
    L4_nonUniqueTag = 80150,
    L4_skipInvalid = 80177,
    L4_writeNoRecord = 80200,
    L4_fieldDefinition = 80210,
    L4_accessMode = 80215,
    L4_fileNameLength = 80220,
};
