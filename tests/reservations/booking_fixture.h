#pragma once
// A reservation table in a temporary folder, and quick ways to book and list on it.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "reservations/core/BookingCore.h"
#include "tables/Schedule.h"

namespace quorvane::testing {

// A scratch folder removed with the object.
struct ScratchDir {
    std::filesystem::path path;
    ScratchDir() {
        char tmpl[] = "/tmp/quorvane-booking-XXXXXX";
        if (mkdtemp(tmpl)) path = tmpl;
    }
    ~ScratchDir() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
};

// Sets TZ for the test's life and restores it.
struct ZoneGuard {
    std::string old;
    bool had = false;
    explicit ZoneGuard(const char* zone) {
        if (const char* z = getenv("TZ")) {
            old = z;
            had = true;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneGuard() {
        if (had)
            setenv("TZ", old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
};

inline BookingRequest request(const std::string& facility, DayDate first, int sh, int sm, int eh,
                              int em, const std::string& last = "Jansen") {
    BookingRequest q;
    q.facility = facility;
    q.firstDay = first;
    q.throughDay = first;
    q.startHH = sh;
    q.startMM = sm;
    q.endHH = eh;
    q.endMM = em;
    q.first = "Anna";
    q.mi = "B";
    q.last = last;
    q.phone = "555-0101";
    q.madeDate = DayDate{2026, 1, 5};
    q.madeHH = 9;
    q.madeMM = 15;
    return q;
}

class BookingTableTest : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string group;
    CSchedule table;
    std::vector<Message> messages;
    BookingHooks hooks;

    void SetUp() override {
        group = (dir.path / "Courts.rec").string();
        ASSERT_EQ(table.Create(group), 0);
        hooks.message = [this](const Message& m) { messages.push_back(m); };
    }

    BookingOutcome book(const BookingRequest& q) {
        FacilityDay day;
        return bookReservation(table, q, day, hooks);
    }
    // The days of `facility` holding a reservation starting at `startClock`, in date order.
    std::vector<DayDate> daysBooked(const std::string& facility, int startClock) {
        std::vector<DayDate> out;
        for (int r = table.First(); r == 0; r = table.Next()) {
            int h, m, mo, d, y;
            table.GetStart(h, m);
            table.GetDate(mo, d, y);
            if (table.GetFacility() == facility && h * 100 + m == startClock)
                out.push_back(DayDate{y, mo, d});
        }
        return out;
    }
};

}  // namespace quorvane::testing
