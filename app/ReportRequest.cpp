#include "app/ReportRequest.h"

#include <QRegularExpression>

namespace quorvane {

namespace {
ReportPrinter& printerSlot() {
    static ReportPrinter printer;
    return printer;
}

std::optional<ReportKind> kindFromName(const QString& name) {
    if (name == QLatin1String("reservations")) return ReportKind::Reservations;
    if (name == QLatin1String("utilization")) return ReportKind::Utilization;
    if (name == QLatin1String("day")) return ReportKind::Day;
    return std::nullopt;
}
}  // namespace

QString reportKindName(ReportKind kind) {
    switch (kind) {
        case ReportKind::Reservations:
            return QStringLiteral("reservations");
        case ReportKind::Utilization:
            return QStringLiteral("utilization");
        case ReportKind::Day:
            return QStringLiteral("day");
    }
    return {};
}

QString reportUsage() {
    return QStringLiteral(
        "usage: quorvane --print-report reservations|utilization|day [--from YYYY-MM-DD] "
        "[--to YYYY-MM-DD] [--facility NAME]... [--hours HH-HH] [--date YYYY-MM-DD] "
        "[--print-to FILE.pdf] GROUP.rec");
}

std::optional<DayDate> parseIsoDate(const QString& text) {
    static const QRegularExpression form(QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) return std::nullopt;
    const DayDate d{m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()};
    if (d.year < 1900 || !isValidDate(d)) return std::nullopt;
    return d;
}

std::optional<ReportRequest> makeReportRequest(const ReportArguments& args, QString* error) {
    auto fail = [error](const QString& why) -> std::optional<ReportRequest> {
        if (error) *error = why;
        return std::nullopt;
    };
    ReportRequest r;
    const std::optional<ReportKind> kind = kindFromName(args.kind);
    if (!kind)
        return fail(QStringLiteral("--print-report: \"%1\" is not a report; choose reservations, "
                                   "utilization or day")
                        .arg(args.kind));
    r.kind = *kind;
    if (args.positional.size() != 1)
        return fail(args.positional.isEmpty()
                        ? QStringLiteral("--print-report needs a group file")
                        : QStringLiteral("--print-report prints one group file, not %1")
                              .arg(args.positional.size()));
    r.groupPath = args.positional.front();
    if (!r.groupPath.endsWith(QLatin1String(".rec"), Qt::CaseInsensitive))
        return fail(QStringLiteral("%1 is not a group file (*.rec)").arg(r.groupPath));

    const bool day = r.kind == ReportKind::Day;
    for (const auto& [name, value] : {std::pair{QStringLiteral("--from"), &args.from},
                                      std::pair{QStringLiteral("--to"), &args.to}}) {
        if (value->isEmpty()) continue;
        if (day) return fail(name + QStringLiteral(" does not apply to the day chart; use --date"));
        const std::optional<DayDate> d = parseIsoDate(*value);
        if (!d) return fail(QStringLiteral("%1: %2 is not a date (YYYY-MM-DD)").arg(name, *value));
        (name == QLatin1String("--from") ? r.from : r.to) = d;
    }
    if (r.from && r.to && *r.to < *r.from)
        return fail(QStringLiteral("--to must not be before --from"));
    if (!args.date.isEmpty()) {
        if (!day)
            return fail(
                QStringLiteral("--date applies to the day chart only; use --from and --to"));
        r.date = parseIsoDate(args.date);
        if (!r.date)
            return fail(QStringLiteral("--date: %1 is not a date (YYYY-MM-DD)").arg(args.date));
    }
    for (const QString& name : args.facilities) {
        if (day) return fail(QStringLiteral("--facility does not apply to the day chart"));
        if (name.trimmed().isEmpty()) return fail(QStringLiteral("--facility needs a name"));
        if (!r.facilities.contains(name)) r.facilities << name;
    }
    if (!args.hours.isEmpty()) {
        static const QRegularExpression form(QStringLiteral("^(\\d{1,2})-(\\d{1,2})$"));
        const QRegularExpressionMatch m = form.match(args.hours);
        const int first = m.hasMatch() ? m.captured(1).toInt() : -1;
        const int last = m.hasMatch() ? m.captured(2).toInt() : -1;
        if (r.kind == ReportKind::Reservations)
            return fail(QStringLiteral("--hours does not apply to the reservation report"));
        if (!m.hasMatch())
            return fail(QStringLiteral("--hours: %1 is not an hour range (HH-HH)").arg(args.hours));
        if (day && (first > 12 || last != first + 12))
            return fail(
                QStringLiteral("--hours: the day chart shows 12 hours from an hour of 0 "
                               "to 12, for example 08-20"));
        // As in the options dialog, an ending hour of midnight (00) after a later start is the
        // midnight that ends the day.
        const int end = !day && last == 0 && first > 0 ? 24 : last;
        if (!day && (first > 23 || end > 24 || end <= first))
            return fail(
                QStringLiteral("--hours: the first hour (0-23) must come before the last "
                               "(1-24)"));
        r.firstHour = first;
        r.lastHour = end;
    }
    r.printTo = args.printTo;
    if (!r.printTo.isEmpty() && !r.printTo.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        return fail(QStringLiteral("--print-to: %1 is not a PDF file name (*.pdf)").arg(r.printTo));
    return r;
}

void setReportPrinter(ReportPrinter printer) {
    printerSlot() = std::move(printer);
}

const ReportPrinter& reportPrinter() {
    return printerSlot();
}

}  // namespace quorvane
