#pragma once
// The pieces the report options dialogs and windows share: the date-range row both options
// dialogs begin with, the selection lists and the facility names, the control labels.
#include <QDateEdit>
#include <QString>
#include <cstdint>
#include <vector>

#include "base/Clock.h"

class QBoxLayout;
class QLabel;
class QListView;
class QWidget;

namespace quorvane {

class CZUKRecDoc;

// A date control that shows the date only but keeps the time of day it was given, so the
// instant read back carries it (the range rules compare whole instants).
class DateInstantEdit final : public QDateEdit {
public:
    DateInstantEdit(int id, QWidget* parent) : QDateEdit(parent) {
        setObjectName(QString::number(id));
        setCalendarPopup(true);
        setDisplayFormat(QStringLiteral("dddd, MMMM d, yyyy"));
        setDateRange(QDate(1900, 1, 1), QDate(9999, 12, 31));
        setMinimumWidth(
            fontMetrics().horizontalAdvance(QStringLiteral("Wednesday, September 30, 2026")) + 40);
    }
    void setInstant(std::int64_t t) {
        const LocalTime l = Clock::toLocal(t);
        hour_ = l.hour;
        minute_ = l.minute;
        second_ = l.second;
        setDate(QDate(l.year, l.month, l.day));
    }
    // The shown date at the time of day the control was given.
    std::int64_t instant() const {
        const QDate d = date();
        return Clock::fromLocal(d.year(), d.month(), d.day(), hour_, minute_, second_);
    }

private:
    int hour_ = 0, minute_ = 0, second_ = 0;
};

// "Start Date [...] End Date [...]", the row both report options dialogs begin with. It
// proposes the range from `defaultStart` (or now, when that is later) to now.
class DateRangeRow {
public:
    static constexpr int kStartDate = 1134, kEndDate = 1135;
    DateRangeRow(QWidget* owner, QBoxLayout* layout, std::int64_t defaultStart);
    void setRange(std::int64_t start, std::int64_t end);
    std::int64_t start() const { return start_->instant(); }
    std::int64_t end() const { return end_->instant(); }

private:
    DateInstantEdit* start_;
    DateInstantEdit* end_;
};

// A list of `rows` with control id `id`, one or many lines selectable.
QListView* selectionList(QWidget* owner, int id, const std::vector<QString>& rows, bool multi);
// The selected lines, ascending.
std::vector<int> selectedRows(const QListView* view);
void selectRows(QListView* view, const std::vector<int>& rows);
// The group's facility names by position.
std::vector<QString> facilityRows(const CZUKRecDoc& doc);
// A label with a control id.
QLabel* label(QWidget* owner, int id, const QString& text);

}  // namespace quorvane
