// Key and filter expressions: compiler and evaluator.
//
// A tag stores its key and filter as text; expr4parse compiles such a text against the fields of
// a table into an Expr4, and expr4key / expr4true evaluate it for a record.  The table is reached
// through Expr4source so that the compiler also works on records held in memory (tests, fuzzing).
#pragma once

#include <cstdint>

#include "engine/error4.h"

struct Data4;
struct Expr4;

// Parse error codes (the engine's error table holds their texts).  Every error of compiling
// and evaluating is reported with the location L4_expr4parse and the expression as extra text.
enum : int {
    e4commaExpected = -400,  // "Comma or Bracket Expected"
    e4complete = -410,       // "Expression not Complete"
    e4dataName = -420,       // "Data File Name not Located"
    e4lengthErr = -422,      // "IIF() Needs Parameters of Same Length"
    e4notConstant = -425,    // "SUBSTR() and STR() need Constant Parameters"
    e4numParms = -430,       // "Number of Parameters is Wrong"
    e4overflow = -440,       // "Overflow while Evaluating Expression"
    e4rightMissing = -450,   // "Right Bracket Missing"
    e4typeSub = -460,        // "Sub-expression Type is Wrong"
    e4unrecFunction = -470,  // "Unrecognized Function"
    e4unrecOperator = -480,  // "Unrecognized Operator"
    e4unrecValue = -490,     // "Unrecognized Value"
    e4unterminated = -500,   // "Unterminated String"
    e4tagExpr = -510,        // "Expression Invalid for Tag"
};

// One field of the table an expression is compiled against.
struct Expr4field {
    const char* name;  // NUL-terminated; compared case-insensitively
    char type;         // descriptor type letter: C N F D L M G B I Y T P Q R O W Z V 1-5
    int len;           // width in the record
    int decimals;
    int offset;  // position of the field's first byte in the record buffer
};

// What the compiler and the evaluator need from a table.
class Expr4source {
public:
    virtual ~Expr4source() = default;
    virtual int numFields() const = 0;
    virtual Expr4field field(int j) const = 0;  // 1-based
    virtual const char* record() const = 0;     // the record buffer of the table in use
    virtual long recNo() const = 0;
    virtual long recCount() const = 0;
    // The alias a non-tag expression may put before a field name ("ALIAS->NAME").
    virtual const char* alias() const { return ""; }
    // Picture used by DTOC and CTOD.
    virtual const char* dateFormat() const { return "MM/DD/YY"; }
    // True while the context holds an error: compiling is refused then.
    virtual bool errorPending() const { return false; }
    // The context's expression-error setting.
    virtual bool reportExprErrors() const { return true; }
    // Reports an error (the text is the expression) and returns the code.
    virtual int error(int code, long location, const char* text) = 0;
};

// A table held in memory: fields are appended in order, the record buffer starts with the
// deletion flag.  Errors are remembered rather than printed.
class Expr4memTable : public Expr4source {
public:
    Expr4memTable();
    ~Expr4memTable() override;
    Expr4memTable(const Expr4memTable&) = delete;
    Expr4memTable& operator=(const Expr4memTable&) = delete;

    void addField(const char* name, char type, int len, int decimals = 0);
    // Copies text into the field, blank-padded (or cut) to its width.
    void set(const char* name, const char* text);
    void setBytes(const char* name, const void* bytes, int n);
    void setDeleted(bool deleted);
    void blank();
    char* buffer();
    int recordLength() const;
    void setRecNo(long n) { recNo_ = n; }
    void setRecCount(long n) { recCount_ = n; }
    void setAlias(const char* a);
    void setDateFormat(const char* f);
    void setReportErrors(bool on) { report_ = on; }

    int lastError() const { return lastError_; }
    long lastLocation() const { return lastLocation_; }
    void clearError() {
        lastError_ = 0;
        lastLocation_ = 0;
    }

    int numFields() const override;
    Expr4field field(int j) const override;
    const char* record() const override;
    long recNo() const override { return recNo_; }
    long recCount() const override { return recCount_; }
    const char* alias() const override;
    const char* dateFormat() const override;
    bool reportExprErrors() const override { return report_; }
    int error(int code, long location, const char* text) override;

private:
    struct Impl;
    Impl* impl_;
    long recNo_ = 1;
    long recCount_ = 1;
    bool report_ = true;
    int lastError_ = 0;
    long lastLocation_ = 0;
};

// Compiles text against a table; nullptr after an error (reported through the table's context).
Expr4* expr4parse(Data4* data, const char* text);
// The same for a tag's key or filter: no alias prefix other than FIELD-> is allowed.
Expr4* expr4parseTag(Data4* data, const char* text);
// Compiles against any source; the source must outlive the expression.
Expr4* expr4parseSource(Expr4source* source, const char* text, bool forTag = false);
void expr4free(Expr4* expr);

// Result type letter: C L n d D N F B I Y T P Q R M G O W Z V 1-5 (n: number, d: date number).
char expr4type(const Expr4* expr);
// Result length in bytes as compiled (a field's width, 8 for numbers and dates, 1 for logicals).
int expr4len(const Expr4* expr);
// Length of the key expr4key produces: the length for C, 8 for numbers, dates and date-times,
// 4 for the 4- and 2-byte integers, 1 for logicals.
int expr4keyLen(const Expr4* expr);
// True when the key is character data (padded with blanks; other keys are padded with 0x00).
bool expr4keyIsChar(const Expr4* expr);
const char* expr4text(const Expr4* expr);
Expr4source* expr4sourceOf(const Expr4* expr);

// Evaluates the key for a record buffer (nullptr: the table's record buffer).  *key points into
// the expression and stays valid until the next evaluation of the same expression.  Returns the
// key length, or a negative error code.
int expr4key(Expr4* expr, char** key, const char* record = nullptr);
// Logical evaluation: 1 true, 0 false, negative when the expression is not logical.
int expr4true(Expr4* expr, const char* record = nullptr);
// The raw value: *result points at the value bytes (C: the characters, n/d: a host double,
// L: 'T' or 'F'); returns the value's length.  Same lifetime as expr4key's pointer.
int expr4vary(Expr4* expr, char** result, const char* record = nullptr);
// Numeric value of an n, d, N, F, B, I, Y, P, Q, R or D expression (0 for other types).
double expr4double(Expr4* expr, const char* record = nullptr);

// Byte-comparable key forms (the forms other xBase programs store for N, F, B, Y, T and D tags):
// the IEEE double big-endian, with the sign bit set for zero and positive values and every bit
// inverted for negative ones.  -0.0 is stored as 0.0; NaN is stored as 0.0.
void expr4keyDouble(double value, unsigned char out[8]);
double expr4keyDoubleValue(const unsigned char in[8]);
// A date key: its Julian day number (0 for a blank date) in the double form.
void expr4keyDate(long julian, unsigned char out[8]);
// A 4-byte integer key: big-endian with the sign bit inverted.
void expr4keyInt(int32_t value, unsigned char out[4]);

// Julian day numbers (1 January 2000 is 2451545).  0 stands for a blank or invalid date.
long expr4julian(int year, int month, int day);
// From the 8 characters "CCYYMMDD" of a D field.
long expr4julianText(const char* ccyymmdd);
// To "CCYYMMDD" (8 blanks for 0 or a day outside years 1-9999).  No NUL is written.
void expr4julianToText(long julian, char out[8]);

// DATE() and TIME() read the engine's clock (clock4now).
