#pragma once
// A report printed without a window, from the command line or a scheduled job:
//   quorvane --print-report reservations|utilization|day [--from YYYY-MM-DD] [--to YYYY-MM-DD]
//            [--facility NAME]... [--hours HH-HH] [--date YYYY-MM-DD] [--print-to FILE.pdf]
//            GROUP.rec
// The options stand for what a person would pick in the report's options dialog: --from is
// 00:00 of its day, --to 23:59 of its day, no --facility means every facility.
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "base/Calendar.h"
#include "reports/core/ReportKind.h"

namespace quorvane {

struct ReportRequest {
    ReportKind kind = ReportKind::Reservations;
    QString groupPath;
    std::optional<DayDate> from, to;  // reservations and utilization
    QStringList facilities;           // names as the group spells them; empty: all
    std::optional<int> firstHour;     // --hours: utilization window, or the chart's first hour
    std::optional<int> lastHour;      //   (24 is the midnight that ends the day)
    std::optional<DayDate> date;      // day: the chart's date
    QString printTo;                  // PDF file; empty: the printer, or GROUP.pdf without one
};

// The option values as given (the parser hands them over after taking them off the line).
struct ReportArguments {
    QString kind;
    QString from, to, hours, date, printTo;
    QStringList facilities;
    QStringList positional;
};

// Checks and converts the arguments. On failure returns nothing and sets `error` to one line
// that says what is wrong ("--from: 2026-02-30 is not a date (YYYY-MM-DD)").
std::optional<ReportRequest> makeReportRequest(const ReportArguments& args, QString* error);

// "YYYY-MM-DD", a real calendar date.
std::optional<DayDate> parseIsoDate(const QString& text);

QString reportKindName(ReportKind kind);
QString reportUsage();

// The report layer prints the request; the executable installs it (reports/Install.cpp).
// Returns the exit status: 0 printed, 1 the group, the report or the printer failed.
using ReportPrinter = std::function<int(const ReportRequest&)>;
void setReportPrinter(ReportPrinter printer);
const ReportPrinter& reportPrinter();

}  // namespace quorvane
