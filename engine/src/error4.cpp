// Error codes, location texts and the error report.
#include "engine/error4.h"

#include <cstdio>
#include <cstdlib>

#include "engine/src/vask4impl.h"
#include "engine/vask4.h"

namespace {

struct Code4 {
    int code;
    const char* text;
};

const Code4 codeTable[] = {
    {-10, "Closing File"},
    {-20, "Creating File"},
    {-30, "Determining File Length"},
    {-40, "Setting File Length"},
    {-50, "Locking File"},
    {-60, "Opening File"},
    {-61, "Permission Error Opening File"},
    {-62, "Access Error Opening File"},
    {-63, "File Handle Count Overflow Error Opening File"},
    {-64, "File Find Error Opening File"},
    {-69, "Duplicate Instance Found Error Opening File"},
    {-70, "Reading File"},
    {-80, "Removing File"},
    {-90, "Renaming File"},
    {-250, "Seeking to File Position"},
    {-110, "Unlocking File"},
    {-120, "Writing to File"},
    {-200, "File is not a Data File"},
    {-210, "Unrecognized Field Name"},
    {-220, "Unrecognized Field Type"},
    {-230, "Record Length is too Large"},
    {-240, "Record Append Attempt Past End of File"},
    {-300, "Tag Entry Missing"},
    {-310, "Not a Correct Index File"},
    {-330, "Tag Name not Found"},
    {-340, "Unique Key Error"},
    {-350, "Tag Information Invalid"},
    {-360, "Candidate Key Error"},
    {-400, "Comma or Bracket Expected"},
    {-410, "Expression not Complete"},
    {-420, "Data File Name not Located"},
    {-422, "IIF() Needs Parameters of Same Length"},
    {-425, "SUBSTR() and STR() need Constant Parameters"},
    {-430, "Number of Parameters is Wrong"},
    {-440, "Overflow while Evaluating Expression"},
    {-450, "Right Bracket Missing"},
    {-460, "Sub-expression Type is Wrong"},
    {-470, "Unrecognized Function"},
    {-480, "Unrecognized Operator"},
    {-490, "Unrecognized Value"},
    {-500, "Unterminated String"},
    {-510, "Expression Invalid for Tag"},
    {-610, "Optimization Error"},
    {-620, "Optimization Removal Failure"},
    {-630, "Optimization File Flushing Failure"},
    {-720, "Matching Slave Record Not Located"},
    {-710, "Relation Error"},
    {-730, "Relation Referred to Does Not Exist or is Not Initialized"},
    {-810, "Report Error"},
    {-811, "Error Creating Style"},
    {-812, "Error Selecting Style"},
    {-813, "Error Finding Style"},
    {-814, "Error Creating Area"},
    {-815, "Error Creating Group"},
    {-816, "Error Setting Group Reset-Expression"},
    {-817, "Error Creating Total"},
    {-818, "Error Creating Object"},
    {-819, "Error In Windows Output"},
    {-820, "Error In Report Output"},
    {-821, "Error Saving Report"},
    {-822, "Error Retrieving Report"},
    {-823, "Error In Sending Report to Data File"},
    {-910, "Unexpected Information"},
    {-920, "Out of Memory"},
    {-930, "Unexpected Parameter"},
    {-935, "Null Input Parameter unexpected"},
    {-950, "Unexpected Result"},
    {-960, "Structure Verification Failure"},
    {-970, "Data Structure Corrupt or not Initialized"},
    {-1010, "Function unsupported: library compiled with S4OFF_INDEX"},
    {-1020, "Function unsupported: library compiled with S4OFF_MEMO"},
    {-1030, "Function unsupported: library compiled with S4NO_RENAME"},
    {-1040, "Function unsupported: library compiled with S4OFF_WRITE"},
    {-1050, "Function unsupported: library not compiled with S4CLIPPER"},
    {-1060, "Function unsupported: library not compiled with S4LOCK_HOOK"},
    {-1090, "Function unsupported"},
    {-1095, "Application/Library version mismatch"},
    {-1110, "Memo File Corrupt"},
    {-1120, "Error Creating Memo File"},
    {-1200, "Transaction Violation Error"},
    {-1210, "Transaction Error"},
    {-1220, "Transaction Rollback Failure"},
    {-1230, "Transaction Commit Failure"},
    {-1240, "Error Appending Information to Log File"},
    {-1250, "Transaction state confliction"},
    {-1300, "Communication Information Corrupt"},
    {-1310, "Connection Failure"},
    {-1320, "Socket Failure"},
    {-1330, "Network Failure"},
    {-1340, "Failure Loading Communication DLL"},
    {-1350, "Network Timed Out"},
    {-1360, "Communication Message Corrupt"},
    {-1370, "Communication Packet Length Mismatch"},
    {-1380, "Communication Packet Corrupt"},
    {-1390, "system-level communication failure"},
    {-1400, "Ferrolith Capabilities Exceeded (system maxed out)"},
    {-1420, "Name not Found error"},
    {-1430, "Authorization Error (access denied)"},
    {-1440, "Invalid User ID Authorization Error (access denied)"},
    {-1450, "Invalid Password Authorization Error (access denied)"},
    {-1460, "Invalid TCP Address access Authorization Error (access denied)"},
    {-1470,
     "Server is not accepting any new connections at this time - contact System Administrator "
     "for details"},
    {-2100, "Server Failure"},
    {-2110, "Server Configuration Failure"},
};
static_assert(sizeof(codeTable) / sizeof(codeTable[0]) == 104);

// A location's first digit selects the table (6 wrapper classes, 8 conditions, 9 operations);
// its last four digits are the position in that table minus one. Positions not listed here
// are never passed by the engine.
struct Location4 {
    long location;
    long number;
    const char* text;
};

const Location4 locationTable[] = {
    // wrapper classes
    {60021, 60201, "Field4::lockCheck()"},
    {60039, 61012, "Str4::assign"},
    {60040, 61013, "Str4::str"},
    {60107, 61203, "Field4::changed"},
    {60120, 61301, "Field4info::add"},
    {60130, 61401, "Tag4info::add"},
    // conditions
    {80013, 80606, "attempt to write to a read-only file"},
    {80074, 81523, "WAIT4EVER lock conflicts with own local impeding lock"},
    {80075, 81524, "attempt to lock an unopened file"},
    {80097, 81714, "root <= 0L, or typeCode < 32"},
    {80109, 82103, "error creating tag"},
    {80137, 83805, "database corruption detected"},
    {80150, 84001, "cannot assign a unqiue setting to a non-unique tag"},
    {80177, 84801, "skip must be made from valid record number"},
    {80200, 85101, "attempt to d4write record to a non-existant record"},
    {80210, 85201, "invalid field definition"},
    {80215, 85206, "access mode must be 0, 1 or 2"},
    {80220, 85301, "file name too long"},
    // operations
    {90058, 90602, "file4close"},
    {90059, 90603, "file4create"},
    {90061, 90605, "file4flush"},
    {90063, 90607, "file4read"},
    {90064, 90608, "file4len"},
    {90065, 90609, "file4lenSet"},
    {90069, 90613, "file4lock"},
    {90070, 90614, "file4unlock"},
    {90071, 90615, "file4open"},
    {90075, 90619, "file4write"},
    {90080, 90701, "file4seqRead"},
    {90084, 90705, "file4seqWrite"},
    {90088, 90709, "file4writeDelay"},
    {90111, 91001, "vask4init"},
    {90130, 91102, "dfile4...()"},
    {90131, 91103, "d4append"},
    {90134, 91107, "d4appendStart"},
    {90140, 91302, "d4close"},
    {90142, 91401, "d4create"},
    {90146, 91601, "t4uniqueSet"},
    {90198, 92209, "d4bottom"},
    {90199, 92301, "d4top"},
    {90200, 92401, "d4tag"},
    {90204, 92409, "d4tagSelect"},
    {90205, 92410, "d4tagSelected"},
    {90215, 92601, "d4write"},
    {90218, 92604, "d4lock"},
    {90220, 92702, "d4lockAll"},
    {90226, 92708, "d4lockAppend"},
    {90229, 92711, "d4lockFile"},
    {90232, 92714, "d4lockTest"},
    {90235, 92801, "d4unlock"},
    {90246, 92907, "d4seek"},
    {90252, 93101, "d4go"},
    {90253, 93103, "d4goEof"},
    {90257, 93302, "d4changed"},
    {90258, 93303, "d4blank"},
    {90259, 93304, "d4deleted"},
    {90260, 93305, "d4delete"},
    {90261, 93306, "d4recall"},
    {90263, 93308, "d4numFields"},
    {90267, 93312, "d4recCount"},
    {90268, 93313, "d4recNo"},
    {90296, 94001, "d4field"},
    {90300, 94102, "d4flush"},
    {90303, 94109, "d4update"},
    {90307, 94301, "d4open"},
    {90345, 94507, "d4reindex"},
    {90349, 94601, "d4pack"},
    {90356, 94802, "d4skip"},
    {90380, 95301, "i4create"},
    {90385, 95306, "i4open"},
    {90400, 95501, "expr4parse"},
    {90420, 95701, "log4write"},
};

const char* const unknownText = "Invalid or Unknown Error Code";

bool fatalCode(int code) {
    return code == -910 || code == -920 || code == -950 || code == -970;
}

}  // namespace

const char* error4text(int code) {
    for (const Code4& e : codeTable)
        if (e.code == code) return e.text;
    return nullptr;
}

const char* error4locationText(long location, long* printedNumber) {
    long digit = location / 10000;
    long position = location % 10000 + 1;
    long size = digit == 6 ? 238 : digit == 8 ? 293 : digit == 9 ? 525 : 0;
    if (location >= 0 && position <= size) {
        for (const Location4& e : locationTable) {
            if (e.location == location) {
                if (printedNumber) *printedNumber = e.number;
                return e.text;
            }
        }
    }
    if (printedNumber) *printedNumber = location;
    return nullptr;
}

int error4(Vask4* c, int code, long location) {
    return error4describe(c, code, location, nullptr, nullptr, nullptr);
}

int error4describe(Vask4* c, int code, long location, const char* s1, const char* s2,
                   const char* s3) {
    if (c && c->impl && c->impl->log && !c->impl->inLog)
        log4append(c, "ERROR", nullptr, code, location);
    if (c) {
        c->errorCode = code;
        c->errorLocation = location;
        if (c->errOff) return code;
    }
    if (code != 0) {
        long number = location;
        const char* where = error4locationText(location, &number);
        const char* what = error4text(code);
        std::fprintf(stderr, "\n\nError Number");
        std::fprintf(stderr, "  %d, %ld\n", code, number);
        std::fprintf(stderr, "%s\n", what ? what : unknownText);
        std::fprintf(stderr, "%s\n", where ? where : unknownText);
        const char* extra[3] = {s1, s2, s3};
        for (const char* s : extra)
            if (s) std::fprintf(stderr, "\n%s", s);
        std::fprintf(stderr, "\n");
        std::fflush(stderr);
    }
    // No key-press wait: the program has no console to wait on.
    if (c) {
        c->errorCode = code;
        c->errorLocation = location;
    }
    if (fatalCode(code)) {
        if (c && c->initialized) vask4initUndo(c);
        std::fflush(nullptr);
        std::exit(code);
    }
    return code;
}

int error4code(const Vask4* c) {
    return c ? c->errorCode : e4parmNull;
}

int error4set(Vask4* c, int code) {
    if (!c) return e4parmNull;
    int old = c->errorCode;
    c->errorCode = code;
    return old;
}
