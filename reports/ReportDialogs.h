#pragma once
// The report folder's dialog seam: the commands ask the options dialogs and show the report
// windows through appReportDialogs(), so tests script the answers. Includes every report
// dialog and window.
#include <cstdint>
#include <optional>

#include "reports/DayResDlg.h"
#include "reports/ExportDialogs.h"
#include "reports/ResReportData.h"
#include "reports/ResReportDlg.h"
#include "reports/UtilizationDlg.h"
#include "reports/UtilizationReportDlg.h"
#include "reports/core/ReportJob.h"

namespace quorvane {

class CZUKRecDoc;

// Every modal step of the report folder's commands: the options dialogs, the report windows,
// Day at a Glance and the exports' questions (the file choosers are the shell's appDialogs()).
// A step not overridden answers as Cancel and shows nothing: the Qt dialogs override every
// one, a test's script the ones it answers.
class ReportDialogs {
public:
    virtual ~ReportDialogs() = default;
    // Each options dialog returns the options it was left with by OK; nothing on Cancel.
    virtual std::optional<ReservationOptions> askReservationOptions(CZUKRecDoc& doc,
                                                                    std::int64_t defaultStart,
                                                                    QWidget* parent);
    virtual void showReservationReport(CZUKRecDoc& doc, const ReportCriteria& criteria,
                                       QWidget* parent);
    virtual std::optional<UtilizationOptions> askUtilizationOptions(CZUKRecDoc& doc,
                                                                    std::int64_t defaultStart,
                                                                    int defaultHour,
                                                                    QWidget* parent);
    virtual void showUtilizationReport(CZUKRecDoc& doc, const ReportJob& job, QWidget* parent);
    // Day at a Glance, drawn from `startHour` with bars of `occupiedColor` (0x00BBGGRR).
    virtual void showDayChart(CZUKRecDoc& doc, int startHour, std::uint32_t occupiedColor,
                              QWidget* parent);
    // CAddrFileExists: kDeleteId, kChangeNameId or kCancelId.
    virtual int askAddressFileExists(const QString& dataPath, QWidget* parent);
    virtual std::optional<CalendarScope> askCalendarScope(const std::vector<QString>& customers,
                                                          const std::vector<QString>& facilities,
                                                          QWidget* parent);
};

class QtReportDialogs final : public ReportDialogs {
public:
    std::optional<ReservationOptions> askReservationOptions(CZUKRecDoc& doc,
                                                            std::int64_t defaultStart,
                                                            QWidget* parent) override;
    void showReservationReport(CZUKRecDoc& doc, const ReportCriteria& criteria,
                               QWidget* parent) override;
    std::optional<UtilizationOptions> askUtilizationOptions(CZUKRecDoc& doc,
                                                            std::int64_t defaultStart,
                                                            int defaultHour,
                                                            QWidget* parent) override;
    void showUtilizationReport(CZUKRecDoc& doc, const ReportJob& job, QWidget* parent) override;
    void showDayChart(CZUKRecDoc& doc, int startHour, std::uint32_t occupiedColor,
                      QWidget* parent) override;
    int askAddressFileExists(const QString& dataPath, QWidget* parent) override;
    std::optional<CalendarScope> askCalendarScope(const std::vector<QString>& customers,
                                                  const std::vector<QString>& facilities,
                                                  QWidget* parent) override;
};

// The message of a report whose reservation table ended before its last record.
inline constexpr char kCutShortMessage[] =
    "The reservation table ended before its last record (the file was cut short while the "
    "report read it); the report is incomplete.";
void showCutShort();

// What a report needs of the group, for the report job.
ReportGroup reportGroup(const CZUKRecDoc& doc);

ReportDialogs& appReportDialogs();
void setAppReportDialogs(ReportDialogs* dialogs);  // nullptr restores the Qt dialogs

}  // namespace quorvane
