// A record rewrite whose changes span a sector boundary goes through a journal beside the
// table; one left behind by a writer that died is settled by the next opener.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "data4_testutil.h"

using namespace engine_test;

namespace {

// Fails every write of the data file at one offset (the record and its restoring), so that a
// journaled rewrite leaves its journal as a writer that died does.
class FailingRecordIo : public Io4 {
public:
    explicit FailingRecordIo(off_t at) : at_(at), before_(io4set(this)) {}
    ~FailingRecordIo() override { io4set(before_); }
    ssize_t pwrite(int fd, const void* buf, size_t len, off_t pos) override {
        if (pos != at_) return Io4::pwrite(fd, buf, len, pos);
        errno = EIO;
        return -1;
    }

private:
    off_t at_;
    Io4* before_;
};

// Notes to the field's end: a change on both sides of any boundary inside the record.
const std::string kLong = "new notes " + std::string(70, 'x');

class DataJournal : public ContextTest {
protected:
    void SetUp() override {
        ContextTest::SetUp();
        Data4* d = d4create(&c, path().c_str(), exampleFields());
        ASSERT_NE(d, nullptr);
        for (int i = 1; i <= 6; ++i) ASSERT_EQ(appendRow(d, {"name", "notes", "08", "00"}), 0);
        ASSERT_EQ(d4close(d), 0);
        const auto b = readBytes(path());
        headerLen = le16(b, 8);
        recordLen = le16(b, 10);
        // The first record across the boundary at 512, with its name before it.
        while (pos(rec) + 22 > 512 || pos(rec) + recordLen <= 512) ++rec;
    }
    std::string path() const { return dir.file("T.DBF"); }
    off_t pos(long r) const { return off_t(headerLen + (r - 1) * recordLen); }
    std::vector<std::string> left() const { return d4journalsLeft(path().c_str()); }
    int rewrite(const std::string& name, const std::string& notes) {
        Data4* d = d4open(&c, path().c_str());
        int r = d ? d4go(d, rec, 0) : -1;
        if (r == 0) {
            d4field(d, "NAME")->assign(name.c_str());
            d4field(d, "NOTES")->assign(notes.c_str());
            r = d4flush(d);
        }
        if (d) d4close(d);
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

// A failing record write that cannot be undone either leaves a journal only where the rewrite
// spans a boundary; what the next opener then finds decides whether it finishes the rewrite or
// drops the journal.
TEST_F(DataJournal, RewritesAcrossABoundaryAreJournaledAndSettledByTheNextOpener) {
    enum class Then { inOneSector, untouched, firstSectorNew, journalCut, rewrittenSince };
    const struct {
        Then then;
        std::string notes, expect;
    } cases[] = {{Then::inOneSector, "notes", "name|notes|"},
                 {Then::untouched, kLong, "new name|" + kLong + "|"},
                 {Then::firstSectorNew, kLong, "new name|" + kLong + "|"},
                 {Then::journalCut, kLong, "name|notes|"},
                 {Then::rewrittenSince, kLong, "other|other notes|"}};
    for (const auto& k : cases) {
        SCOPED_TRACE(int(k.then));
        ASSERT_EQ(rewrite("name", "notes"), 0);
        ::chmod(path().c_str(), 0664);
        {
            const mode_t mask = ::umask(077);
            FailingRecordIo io(pos(rec));
            EXPECT_NE(rewrite("new name", k.notes), 0);
            ::umask(mask);
        }
        const auto journals = left();
        ASSERT_EQ(journals.size(), k.then == Then::inOneSector ? 0u : 1u);
        auto bytes = readBytes(path());
        if (!journals.empty()) {
            // Another user who may read the table may settle it, whatever the writer's umask.
            struct stat table {
            }, journal{};
            ASSERT_EQ(::stat(path().c_str(), &table), 0);
            ASSERT_EQ(::stat(journals[0].c_str(), &journal), 0);
            EXPECT_EQ(journal.st_mode & 0777, table.st_mode & 0666);
        }
        auto journal = journals.empty() ? bytes : readBytes(journals[0]);
        if (k.then == Then::firstSectorNew) {
            // The new image's bytes before the boundary, as a torn write leaves them.
            const auto image = journal.begin() + 32 + recordLen;
            std::copy(image, image + (512 - pos(rec)), bytes.begin() + pos(rec));
        } else if (k.then == Then::rewrittenSince) {
            const std::string other = "other notes";
            std::copy(other.begin(), other.begin() + 5, bytes.begin() + pos(rec) + 1);
            std::copy(other.begin(), other.end(), bytes.begin() + pos(rec) + 22);
        } else if (k.then == Then::journalCut) {
            journal.pop_back();
            writeBytes(journals[0], journal);
        }
        writeBytes(path(), bytes);
        EXPECT_EQ(read(), k.expect);
        EXPECT_TRUE(left().empty());
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
