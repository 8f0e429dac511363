// Compiled form of an expression and the function table, shared by the parser and the evaluator.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/expr4.h"

struct E4item;
struct E4run;
using E4function = void (*)(E4run& run, const E4item& item);

// Parameter-count marker for .AND. and .OR. (two or more logical operands).
constexpr int E4ANY = -1;

enum class E4kind : uint8_t {
    end,       // end of the table
    field,     // field reference (one row per field type)
    constant,  // string or numeric constant
    logical,   // .TRUE. .FALSE.
    unary,     // .NOT.
    binary,    // infix operators, .AND. .OR.
    function,  // NAME(...)
};

// One row of the function and operator table.
struct E4row {
    E4function fn;
    const char* name;  // nullptr for the overload rows that follow a named row
    int code;
    int nameLen;
    int priority;
    char result;
    int numParms;
    std::array<char, 3> parms;
    E4kind kind;
};

extern const E4row e4rows[];        // the table: kE4rowCount rows and an end row
extern const int kE4rowCount;       // 158
extern const E4row e4compatRows[];  // "==" (exact character equality), ended by an end row

// One compiled item, in evaluation order.
struct E4item {
    const E4row* row = nullptr;
    int fieldIndex = 0;   // field items: 1-based field number
    int fieldOffset = 0;  // field items: offset in the record buffer
    int numParms = 0;
    int len = 0;        // result length
    int pos = 0;        // result position in the evaluation buffer
    int extra = 0;      // constant offset, substring start, STR length
    int extra2 = 0;     // substring length, STR decimals, pad character
    int firstParm = 0;  // index into Expr4::parms of this item's operands
};

struct Expr4 {
    Expr4source* source = nullptr;
    Expr4source* owned = nullptr;  // adapter created for a Data4, freed with the expression
    std::string text;
    std::vector<E4item> items;
    std::vector<int> parms;             // operand item indices, per item from firstParm
    std::array<char, 512> constants{};  // string and numeric constants, date-format text
    int constUsed = 0;
    char type = 0;
    int len = 0;
    int bufLen = 0;           // evaluation buffer bytes the items need
    std::vector<char> value;  // the last value or key, copied out of the shared buffer
};

// State of one evaluation (lives in the process-wide evaluation state while it runs).
struct E4run {
    Expr4* expr;
    const char* record;
    char* buf;
    int* actLen;  // actual length of each item's value (C values may be shorter than item.len)
    int current;  // index of the item being evaluated
};

// Helpers shared by the parser and the evaluator.
int e4parseDateFormatLen(const char* picture);
