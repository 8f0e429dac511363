#pragma once
// Reservations held in memory in key order and a time-zone guard, for the reports' tests.
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <tuple>
#include <vector>

#include "base/Calendar.h"
#include "reports/core/ReportSource.h"

namespace quorvane::testing {

inline ReservationRecord booking(int y, int m, int d, std::string facility, int sh, int sm, int eh,
                                 int em, std::string last = "Smith", std::string first = "John",
                                 std::string mi = "Q", std::string phone = "555-1234",
                                 std::string ext = "") {
    ReservationRecord r;
    r.year = y;
    r.month = m;
    r.day = d;
    r.facility = std::move(facility);
    r.startHour = sh;
    r.startMinute = sm;
    r.endHour = eh;
    r.endMinute = em;
    r.last = std::move(last);
    r.first = std::move(first);
    r.mi = std::move(mi);
    r.phone = std::move(phone);
    r.ext = std::move(ext);
    return r;
}

// Rows sorted as the reservation tag sorts them: date key, facility padded to 20, start time.
class MemoryCursor final : public ReservationCursor {
public:
    explicit MemoryCursor(std::vector<ReservationRecord> rows) : rows_(std::move(rows)) {
        std::sort(rows_.begin(), rows_.end(), [](const auto& a, const auto& b) {
            return std::make_tuple(a.dateNumber(), pad(a.facility), a.startHour, a.startMinute) <
                   std::make_tuple(b.dateNumber(), pad(b.facility), b.startHour, b.startMinute);
        });
    }
    int first() override { return at(0); }
    int seekDate(const std::string& key) override {
        std::size_t i = 0;
        while (i < rows_.size() && dateKey(rows_[i].year, rows_[i].month, rows_[i].day) < key) ++i;
        return at(i);
    }
    int next() override { return at(pos_ + 1); }
    void read(ReservationRecord& out) const override { out = rows_[pos_]; }
    int failAt = -1;  // a step onto this row fails with an error, as a damaged table would

private:
    static std::string pad(const std::string& s) {
        return s + std::string(20 - std::min<std::size_t>(20, s.size()), ' ');
    }
    int at(std::size_t i) {
        if (int(i) == failAt) return -1;
        if (i >= rows_.size()) return 3;
        pos_ = i;
        return 0;
    }
    std::vector<ReservationRecord> rows_;
    std::size_t pos_ = 0;
};

// Runs a test in a time zone with clock changes, restoring the previous one afterwards.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool had_ = false;
    std::string old_;
};

}  // namespace quorvane::testing
