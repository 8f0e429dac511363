#pragma once
// Doubles for the group window's tests: a paint surface that records every call with fixed
// metrics (W = 8, L = 16), and group tables held in memory that log their calls.
#include <QString>
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "app/GroupLayout.h"
#include "group/GroupTables.h"

namespace quorvane::testing {

class RecordingSurface final : public PaintSurface {
public:
    struct Text {
        int x, y;
        QString text;
        std::int64_t color;
    };
    struct Fill {
        QRect rect;
        std::uint32_t color;
    };
    std::vector<Text> texts;
    std::vector<QRect> rects;
    std::vector<Fill> fills;

    int charHeight() const override { return 14; }
    int externalLeading() const override { return 2; }
    int averageCharWidth() const override { return 8; }
    int textWidth(const QString& t) const override { return 8 * int(t.size()); }
    void drawText(int x, int y, const QString& t, std::int64_t color) override {
        texts.push_back({x, y, t, color});
    }
    void drawRectangle(const QRect& r) override { rects.push_back(r); }
    void fillRect(const QRect& r, std::uint32_t color) override { fills.push_back({r, color}); }

    const Text* find(const QString& t) const {
        for (const Text& x : texts)
            if (x.text == t) return &x;
        return nullptr;
    }
};

struct FakeReservation {
    std::string date, facility;
    int sh = 0, sm = 0, eh = 0, em = 0;
    std::string last, org;
};

// The tables of one group in memory. `log` records the calls in order ("lock", "unlock",
// "deleteFacility:Court 2", "close:maintenance" ...); failN makes that open or create fail.
class FakeTables final : public GroupTables {
public:
    std::vector<FakeReservation>* rows;  // shared by the tables of one test's "folder"
    std::vector<std::string>* log;
    std::vector<std::string> fail;  // "openReservations", "createPeople", ...
    int lockResult = 0;
    int loads = 0;

    FakeTables(std::vector<FakeReservation>* r, std::vector<std::string>* l) : rows(r), log(l) {}

    int step(const char* what) {
        log->push_back(what);
        return std::find(fail.begin(), fail.end(), what) != fail.end() ? -60 : 0;
    }
    int createReservations(const std::string&) override { return step("createReservations"); }
    int openReservations(const std::string&) override { return step("openReservations"); }
    int createPeople(const std::string&) override { return step("createPeople"); }
    int openPeople(const std::string&) override { return step("openPeople"); }
    int createMaintenance(const std::string&) override { return step("createMaintenance"); }
    int openMaintenance(const std::string&) override { return step("openMaintenance"); }
    void closeReservations() override { log->push_back("close:reservations"); }
    void closePeople() override { log->push_back("close:people"); }
    void closeMaintenance() override { log->push_back("close:maintenance"); }
    int lockGroup() override {
        log->push_back("lock");
        return lockResult;
    }
    void unlockGroup() override { log->push_back("unlock"); }

    int loadDay(const std::string& key, const std::function<int(const std::string&)>& find,
                std::vector<_SCHEDITEM>& out) override {
        ++loads;
        out.clear();
        std::vector<FakeReservation> day;
        for (const FakeReservation& r : *rows)
            if (r.date == key) day.push_back(r);
        std::sort(day.begin(), day.end(), [](const auto& a, const auto& b) {
            return std::tie(a.facility, a.sh, a.sm) < std::tie(b.facility, b.sh, b.sm);
        });
        for (const FakeReservation& r : day) {
            const int slot = find(r.facility);
            if (slot >= 0) out.push_back({slot, r.sh, r.sm, r.eh, r.em, r.last, r.org});
        }
        return 0;
    }
    int deleteBefore(const std::string& key) override {
        log->push_back("deleteBefore:" + key);
        const auto n = std::erase_if(*rows, [&](const auto& r) { return r.date < key; });
        return int(n);
    }
    int deleteFacility(const std::string& name) override {
        log->push_back("deleteFacility:" + name);
        return int(std::erase_if(*rows, [&](const auto& r) { return r.facility == name; }));
    }
};

}  // namespace quorvane::testing
