// The one customer line and walk that the choosers, Make Reservation and the report share.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tables/People.h"
#include "tables/RecordRows.h"
#include "tables_testutil.h"

namespace quorvane {
namespace {

TEST(RecordRows, CustomerLineInBothLooks) {
    struct Case {
        const char *phone, *ext, *mi, *org;
        CustomerLineStyle style;
        const char* line;
    } cases[] = {
        {"555-0101", "", "K", "", CustomerLineStyle::kList, "555-0101         \tVos, Els K  \t"},
        {"555-0101", "", "K", "", CustomerLineStyle::kBooking,
         "555-0101         \tVos, Els   K  \t"},
        // Only the lists cut the phone to its column's 15 characters.
        {"0031-20-5550101-99", "12", "", "Club", CustomerLineStyle::kList,
         "0031-20-5550101 x-12 \tVos, Els   \t(Club)"},
        {"0031-20-5550101-99", "12", "", "Club", CustomerLineStyle::kBooking,
         "0031-20-5550101-99 x-12 \tVos, Els     \t(Club)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(customerLine(c.phone, c.ext, "Vos", "Els", c.mi, c.org, c.style), c.line)
            << c.phone << ' ' << int(c.style);
}

TEST(RecordRows, BothLooksListTheSameRecordsInKeyOrder) {
    tables_test::ScratchDir dir;
    CPeople p;
    ASSERT_EQ(p.Create(dir.file("Courts.rec")), 0);
    for (const char* last : {"Smith", "Jansen", "Bakker"}) {
        p.Clear();
        p.SetName("Ann", "", last);
        p.SetPhone("555-0100", "");
        ASSERT_EQ(p.Add(), 0);
    }
    std::vector<RecordRow> list, booking;
    ASSERT_EQ(customerRows(p, list), 0);
    ASSERT_EQ(customerRows(p, booking, CustomerLineStyle::kBooking), 0);
    ASSERT_EQ(list.size(), 3u);
    ASSERT_EQ(booking.size(), 3u);
    EXPECT_EQ(list[0].line, "555-0100         \tBakker, Ann   \t");
    EXPECT_EQ(list[2].line, "555-0100         \tSmith, Ann   \t");
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(list[i].record, booking[i].record);
    EXPECT_EQ(list[0].record, 3);

    // A deleted customer is passed, and one whose record the file no longer holds (cut by a
    // crash or another program) is missing from a list that says so.
    ASSERT_EQ(p.Seek("Ann", "", "Jansen", "555-0100", ""), 0);
    ASSERT_EQ(p.Delete(false), 0);
    const std::string file = dir.file("RECPEOPLE.DBF");
    ASSERT_EQ(p.Close(), 0);
    // The end-of-file mark and half of the last record go.
    std::filesystem::resize_file(file, std::filesystem::file_size(file) - 1 - 100);
    ASSERT_EQ(p.Open(dir.file("Courts.rec")), 0);
    EXPECT_LT(customerRows(p, list), 0);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].line, "555-0100         \tSmith, Ann   \t");
}

}  // namespace
}  // namespace quorvane
