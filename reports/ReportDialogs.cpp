#include "reports/ReportDialogs.h"

#include "app/ZUKRecDoc.h"
#include "group/GroupFile.h"
#include "platform/DialogSeam.h"
#include "platform/Prompter.h"

namespace quorvane {

void showCutShort() {
    appPrompter().message(QString::fromLatin1(kCutShortMessage), QStringLiteral("Database Error"),
                          PromptIcon::Stop);
}

// ----- the Qt dialogs -----

std::optional<ReservationOptions> QtReportDialogs::askReservationOptions(CZUKRecDoc& doc,
                                                                         std::int64_t defaultStart,
                                                                         QWidget* parent) {
    CResReportDlg dialog(doc, defaultStart, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.options();
}

void QtReportDialogs::showReservationReport(CZUKRecDoc& doc, const ReportCriteria& criteria,
                                            QWidget* parent) {
    CResReportData window(doc, criteria, parent);
    window.exec();
}

std::optional<UtilizationOptions> QtReportDialogs::askUtilizationOptions(CZUKRecDoc& doc,
                                                                         std::int64_t defaultStart,
                                                                         int defaultHour,
                                                                         QWidget* parent) {
    CUtilizationDlg dialog(doc, defaultStart, defaultHour, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.options();
}

void QtReportDialogs::showUtilizationReport(CZUKRecDoc& doc, const ReportJob& job,
                                            QWidget* parent) {
    CUtilizationReportDlg window(doc, job, parent);
    window.exec();
}

void QtReportDialogs::showDayChart(CZUKRecDoc& doc, int startHour, std::uint32_t occupiedColor,
                                   QWidget* parent) {
    CDayResDlg chart(doc, startHour, occupiedColor, parent);
    chart.exec();
}

int QtReportDialogs::askAddressFileExists(const QString& dataPath, QWidget* parent) {
    CAddrFileExists dlg(dataPath, parent);
    dlg.exec();
    return dlg.choice();
}

std::optional<CalendarScope> QtReportDialogs::askCalendarScope(
    const std::vector<QString>& customers, const std::vector<QString>& facilities,
    QWidget* parent) {
    CCalendarExportDlg dlg(customers, facilities, parent);
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    return dlg.scope();
}

// ----- the steps a script leaves alone: Cancel -----

std::optional<ReservationOptions> ReportDialogs::askReservationOptions(CZUKRecDoc&, std::int64_t,
                                                                       QWidget*) {
    return std::nullopt;
}
void ReportDialogs::showReservationReport(CZUKRecDoc&, const ReportCriteria&, QWidget*) {}
std::optional<UtilizationOptions> ReportDialogs::askUtilizationOptions(CZUKRecDoc&, std::int64_t,
                                                                       int, QWidget*) {
    return std::nullopt;
}
void ReportDialogs::showUtilizationReport(CZUKRecDoc&, const ReportJob&, QWidget*) {}
void ReportDialogs::showDayChart(CZUKRecDoc&, int, std::uint32_t, QWidget*) {}
int ReportDialogs::askAddressFileExists(const QString&, QWidget*) {
    return CAddrFileExists::kCancelId;
}
std::optional<CalendarScope> ReportDialogs::askCalendarScope(const std::vector<QString>&,
                                                             const std::vector<QString>&,
                                                             QWidget*) {
    return std::nullopt;
}

ReportGroup reportGroup(const CZUKRecDoc& doc) {
    ReportGroup group;
    group.description = doc.group().description;
    for (int i = 0; i < kSlots; ++i)
        group.slotNames[std::size_t(i)] = doc.group().rooms[std::size_t(i)].name;
    group.facilityCount = doc.facilityCount();
    return group;
}

ReportDialogs& appReportDialogs() {
    return DialogSeam<ReportDialogs, QtReportDialogs>::get();
}

void setAppReportDialogs(ReportDialogs* dialogs) {
    DialogSeam<ReportDialogs, QtReportDialogs>::set(dialogs);
}

}  // namespace quorvane
