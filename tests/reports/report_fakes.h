#pragma once
// Reservations held in memory in key order, a time-zone guard, and a recording surface for
// the reports' tests.
#include <QString>
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <tuple>
#include <vector>

#include "app/GroupLayout.h"
#include "reports/ReportPrinting.h"
#include "reports/core/ReportSource.h"
#include "tables/Calendar.h"

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

struct DrawnText {
    int page, x, y;
    QString text;
};

// Pages of W = 8, L = 16 (height 14 + leading 2) of a given height; records every text.
class RecordingPages final : public ReportPages, public PaintSurface {
public:
    explicit RecordingPages(int height) : height_(height) {}
    std::vector<DrawnText> drawn;
    int page = 1;

    PaintSurface& surface() override { return *this; }
    int pageHeight() const override { return height_; }
    bool newPage() override {
        ++page;
        return true;
    }
    int charHeight() const override { return 14; }
    int externalLeading() const override { return 2; }
    int averageCharWidth() const override { return 8; }
    int textWidth(const QString& t) const override { return 8 * int(t.size()); }
    void drawText(int x, int y, const QString& t, std::int64_t) override {
        drawn.push_back({page, x, y, t});
    }
    void drawRectangle(const QRect&) override {}
    void fillRect(const QRect&, std::uint32_t) override {}

private:
    int height_;
};

}  // namespace quorvane::testing
