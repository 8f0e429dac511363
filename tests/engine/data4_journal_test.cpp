// A record rewrite whose changes span a sector boundary goes through a journal beside the
// table; one left behind by a writer that died is settled by the next opener.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "data4_testutil.h"

using namespace engine_test;

namespace {

// Counts the journals created; fails writes of the data file at one offset (the record and its
// restoring) so that a journal is left as by a writer that died.
class JournalIo : public Io4 {
public:
    JournalIo() : before_(io4set(this)) {}
    ~JournalIo() override { io4set(before_); }
    int open(const char* path, int flags, mode_t mode) override {
        const std::string p = path;
        if ((flags & O_CREAT) && p.size() > 2 && p.compare(p.size() - 2, 2, "~j") == 0) ++journals;
        return Io4::open(path, flags, mode);
    }
    ssize_t pwrite(int fd, const void* buf, size_t len, off_t pos) override {
        if (pos == failAt) {
            errno = EIO;
            return -1;
        }
        return Io4::pwrite(fd, buf, len, pos);
    }
    int journals = 0;
    off_t failAt = -1;

private:
    Io4* before_;
};

// Notes to the field's end: a change on both sides of any boundary inside the record.
const std::string kLongNotes = "new notes " + std::string(70, 'x');

class DataJournal : public ContextTest {
protected:
    void SetUp() override {
        ContextTest::SetUp();
        Data4* d = d4create(&c, path().c_str(), exampleFields());
        ASSERT_NE(d, nullptr);
        for (int i = 1; i <= 6; ++i)
            ASSERT_EQ(appendRow(d, {"name" + std::to_string(i), "notes", "08", "00"}), 0);
        ASSERT_EQ(d4close(d), 0);
        const auto b = readBytes(path());
        headerLen = le16(b, 8);
        recordLen = le16(b, 10);
        // The first record across the boundary at 512, with its name before it.
        for (rec = 1; pos(rec) + 22 > 512 || pos(rec) + recordLen <= 512; ++rec) {
        }
    }
    std::string path() const { return dir.file("T.DBF"); }
    off_t pos(long r) const { return off_t(headerLen + (r - 1) * recordLen); }
    std::vector<std::string> left() const { return d4journalsLeft(path().c_str()); }
    // Rewrites record `rec`'s fields; 0 or the engine's code.
    int rewrite(const char* name, const char* notes) {
        Data4* d = d4open(&c, path().c_str());
        if (!d) return -1;
        int r = d4go(d, rec, 0);
        if (r == 0) {
            d4field(d, "NAME")->assign(name);
            d4field(d, "NOTES")->assign(notes);
            r = d4flush(d);
        }
        d4close(d);
        error4set(&c, 0);
        return r;
    }
    // Record `rec`'s name and notes as the next opener reads them, trailing blanks cut.
    std::string read() {
        Data4* d = d4open(&c, path().c_str());
        std::string v = d && d4go(d, rec, 0) == 0
                            ? fieldText(d, "NAME") + "|" + fieldText(d, "NOTES") + "|"
                            : "-";
        if (d) d4close(d);
        for (std::size_t at; (at = v.find(" |")) != std::string::npos;) v.erase(at, 1);
        return v;
    }
    unsigned headerLen = 0, recordLen = 0;
    long rec = 1;
};

TEST_F(DataJournal, OnlyRewritesAcrossABoundaryAreJournaledAndNoneIsLeft) {
    ASSERT_LT(pos(rec), 512);
    struct {
        const char *name, *notes;
        int journals;
    } cases[] = {{"new name", "notes", 0},              // inside the first sector
                 {"new name", kLongNotes.c_str(), 1},   // on both sides of 512
                 {"new name", kLongNotes.c_str(), 0}};  // nothing changed
    for (const auto& k : cases) {
        JournalIo io;
        ASSERT_EQ(rewrite(k.name, k.notes), 0);
        EXPECT_EQ(io.journals, k.journals) << k.name << " / " << k.notes;
        EXPECT_TRUE(left().empty());
        EXPECT_EQ(read(), std::string(k.name) + "|" + k.notes + "|");
    }
}

// A failing record write that cannot be undone either leaves the journal; what the next opener
// then finds on the disk decides whether the rewrite is finished or the journal dropped.
TEST_F(DataJournal, TheNextOpenerSettlesAJournalLeftBehind) {
    enum class Then { untouched, firstSectorNew, journalCut, rewrittenSince };
    struct {
        Then then;
        const char *name, *notes;
    } cases[] = {{Then::untouched, "new name", kLongNotes.c_str()},
                 {Then::firstSectorNew, "new name", kLongNotes.c_str()},
                 {Then::journalCut, "name", "notes"},
                 {Then::rewrittenSince, "other", "other notes"}};
    for (const auto& k : cases) {
        ASSERT_EQ(rewrite("name", "notes"), 0);
        ::chmod(path().c_str(), 0664);
        {
            const mode_t mask = ::umask(077);
            JournalIo io;
            io.failAt = pos(rec);
            EXPECT_NE(rewrite("new name", kLongNotes.c_str()), 0);
            ::umask(mask);
        }
        const auto journals = left();
        ASSERT_EQ(journals.size(), 1u);
        // Another user who may read the table may settle it, whatever the writer's umask.
        struct stat table {
        }, journalStat{};
        ASSERT_EQ(::stat(path().c_str(), &table), 0);
        ASSERT_EQ(::stat(journals[0].c_str(), &journalStat), 0);
        EXPECT_EQ(journalStat.st_mode & 0777, table.st_mode & 0666);
        auto bytes = readBytes(path());
        auto journal = readBytes(journals[0]);
        if (k.then == Then::firstSectorNew) {
            // The new image's bytes before the boundary, as a torn write leaves them.
            const auto image = journal.begin() + 32 + recordLen;
            std::copy(image, image + (512 - pos(rec)), bytes.begin() + pos(rec));
        } else if (k.then == Then::rewrittenSince) {
            const char* other = "other notes";
            std::copy(other, other + 5, bytes.begin() + pos(rec) + 1);
            std::copy(other, other + 11, bytes.begin() + pos(rec) + 22);
        } else if (k.then == Then::journalCut) {
            journal.resize(journal.size() - 1);
            writeBytes(journals[0], journal);
        }
        writeBytes(path(), bytes);
        EXPECT_EQ(read(), std::string(k.name) + "|" + k.notes + "|") << int(k.then);
        EXPECT_TRUE(left().empty()) << int(k.then);
    }
    // A link planted under a journal's name goes; what it points at is untouched.
    const auto table = readBytes(path());
    const std::string record = read();
    ASSERT_EQ(::symlink(path().c_str(), dir.file(".T.DBF.1~j").c_str()), 0);
    EXPECT_EQ(read(), record);
    EXPECT_TRUE(left().empty());
    EXPECT_EQ(readBytes(path()), table);
}

}  // namespace
