// Arbitrary text compiled against a table of C, N, D and L fields (and the binary numeric
// types), then evaluated for a few records, among them one full of arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/expr4.h"

namespace {

struct Table : Expr4memTable {
    Table() {
        addField("NAME", 'C', 10);
        addField("CITY", 'C', 254);
        addField("AMOUNT", 'N', 8, 2);
        addField("DAY", 'D', 8);
        addField("FLAG", 'L', 1);
        addField("SEATS", 'I', 4);
        addField("PRICE", 'Y', 8);
        addField("RATE", 'B', 8);
        addField("STAMP", 'T', 8);
        setAlias("T");
    }
};

void evaluate(Expr4* e) {
    char* p = nullptr;
    int n = expr4key(e, &p);
    if (n != expr4keyLen(e)) __builtin_trap();
    n = expr4vary(e, &p);
    if (n < 0 || n > expr4len(e)) __builtin_trap();
    (void)expr4double(e);
    if (expr4type(e) == 'L' && expr4true(e) < 0) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Table table;
    std::string text(reinterpret_cast<const char*>(data), size);
    for (int forTag = 0; forTag < 2; ++forTag) {
        table.clearError();
        Expr4* e = expr4parseSource(&table, text.c_str(), forTag == 1);
        if (!e) {
            if (table.lastError() >= 0) __builtin_trap();  // a failure must carry its code
            continue;
        }
        // an ordinary record, a blank one, and one made of the input's bytes
        table.blank();
        table.set("NAME", "Smith");
        table.set("CITY", "Springfield");
        table.set("AMOUNT", "  -12.50");
        table.set("DAY", "20240229");
        table.set("FLAG", "T");
        evaluate(e);
        table.blank();
        evaluate(e);
        char* rec = table.buffer();
        int len = table.recordLength();
        for (int i = 0; i < len; ++i) rec[i] = size ? static_cast<char>(data[i % size]) : ' ';
        evaluate(e);
        expr4free(e);
    }
    return 0;
}
