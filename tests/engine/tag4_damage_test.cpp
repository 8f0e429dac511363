// Tables and indexes damaged by one flipped bit: every walk in tag order ends, and the damage
// is reported as such (the same verdict as the index check), never walked in circles.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/data4.h"
#include "engine/error4.h"
#include "engine/tag4.h"
#include "tests/engine/data4_testutil.h"

#if __has_include("engine/expr4.h")

using namespace engine_test;

namespace {

const FIELD4INFO kFields[] = {{"NAME", 'C', 40, 0, 0}, {nullptr, 0, 0, 0, 0}};
const TAG4INFO kTags[] = {{"BYNAME", "NAME", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
constexpr int kRows = 600;  // several leaves

std::string name(int i) {
    char b[48];
    std::snprintf(b, sizeof b, "K%05d padding to fill the key", i);
    return b;
}

void makeTable(const std::string& path) {
    Vask4 c;
    vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
    Data4* d = d4create(&c, path.c_str(), kFields, kTags);
    ASSERT_NE(d, nullptr);
    for (int i = 1; i <= kRows; ++i) ASSERT_EQ(appendRow(d, {name(i)}), 0);
    d4close(d);
    vask4initUndo(&c);
}

// Steps through the tag from one end; the number of records seen and the last code. A walk
// that would loop is cut off at ten times the table.
struct Walked {
    long seen = 0;
    int code = 0;
};
Walked walk(Data4* d, bool forward, bool declared) {
    Walked w;
    if (declared) d4walkStart(d);
    w.code = forward ? d4top(d) : d4bottom(d);
    while (w.code == 0 && w.seen < 10 * kRows) {
        ++w.seen;
        w.code = d4skip(d, forward ? 1 : -1);
    }
    if (declared) d4walkEnd(d);
    return w;
}

}  // namespace

TEST(Tag4Damage, ARecordWhoseKeyDisagreesWithItsEntryEndsEveryWalkAsDamage) {
    struct Case {
        const char* what;
        char letter;  // record 300's first key byte becomes this
    };
    // 'A' sorts before every entry (re-finding from it went back to the start for ever), 'Z'
    // after every entry (it jumped to the end, losing the records between).
    const Case cases[] = {{"sorts before its entry", 'A'}, {"sorts after its entry", 'Z'}};
    for (const Case& k : cases) {
        ScratchDir dir;
        const std::string path = dir.file("T.DBF");
        makeTable(path);
        std::vector<unsigned char> b = readBytes(path);
        b[le16(b, 8) + 299 * le16(b, 10) + 1] = static_cast<unsigned char>(k.letter);
        writeBytes(path, b);
        for (int mode : {0, 1, 2}) {  // shared, exclusive, read-only
            for (bool forward : {true, false}) {
                for (bool declared : {false, true}) {
                    SCOPED_TRACE(std::string(k.what) + " mode " + std::to_string(mode) +
                                 (forward ? " forward" : " backward") +
                                 (declared ? " in a walk" : ""));
                    Vask4 c;
                    vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
                    c.errOff = 1;
                    c.accessMode = mode == 2 ? 0 : mode;
                    c.readOnly = mode == 2;
                    Data4* d = d4open(&c, path.c_str());
                    ASSERT_NE(d, nullptr);
                    d4tagSelect(d, d4tag(d, "BYNAME"));
                    const Walked w = walk(d, forward, declared);
                    EXPECT_LE(w.seen, kRows);
                    EXPECT_EQ(w.code, e4index);
                    EXPECT_EQ(error4code(&c), e4index);
                    error4set(&c, 0);
                    std::string report;
                    EXPECT_NE(i4check(d, &report), 0) << "the check agrees";
                    d4close(d);
                    vask4initUndo(&c);
                }
            }
        }
    }
}

// Refused when the table is opened, or at the first read in tag order (an index whose root
// pointer a crash left behind still opens, to be rebuilt).
TEST(Tag4Damage, DamagedLengthsAndRootPointersAreRefused) {
    struct Case {
        const char* what;
        const char* file;
        size_t offset;  // 0: the tag's root pointer
        unsigned char bit;
    };
    const Case cases[] = {
        {"header length + 256", "T.DBF", 9, 0x01},
        {"header length + 1", "T.DBF", 8, 0x01},
        {"tag root pointer + 64 KiB", "T.CDX", 0, 0x01},
        {"tag root pointer + 512", "T.CDX", 0, 0x02},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        ScratchDir dir;
        makeTable(dir.file("T.DBF"));
        const std::string path = dir.file(k.file);
        std::vector<unsigned char> b = readBytes(path);
        // The tag's header follows the directory's (two blocks of 512 at the start).
        const size_t at = k.offset ? k.offset : 1024 + (k.bit == 0x01 ? 2 : 1);
        b[at] ^= k.bit;
        writeBytes(path, b);
        Vask4 c;
        vask4init(&c, VASK4_VERSION, VASK4_STRUCT_SIZE, 1);
        c.errOff = 1;
        Data4* d = d4open(&c, dir.file("T.DBF").c_str());
        if (d) {
            d4tagSelect(d, d4tag(d, "BYNAME"));
            EXPECT_EQ(d4top(d), e4index);
            error4set(&c, 0);
            d4close(d);
        } else {
            EXPECT_LT(error4code(&c), 0);
        }
        vask4initUndo(&c);
    }
}

#endif
