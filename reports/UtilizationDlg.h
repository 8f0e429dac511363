#pragma once
// Utilization Report Options (dialog 152): the date range, the hour window and the facilities.
// Its rules are checkUtilizationOptions and storeUtilizationOptions (UtilizationReport.h); the
// dialog maps its controls to and from UtilizationOptions.
#include <QDialog>
#include <cstdint>
#include <vector>

#include "reports/ReportWidgets.h"
#include "reports/core/UtilizationReport.h"

class QCheckBox;
class QDateTimeEdit;
class QLabel;
class QListView;

namespace quorvane {

class CZUKRecDoc;

class CUtilizationDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 152;
    static constexpr int kStartDate = DateRangeRow::kStartDate, kEndDate = DateRangeRow::kEndDate,
                         kStartHour = 1132, kEndHour = 1133, kStartHourLabel = 1130,
                         kEndHourLabel = 1131, kUseWindow = 1127, kFacilities = 1119, kHelp = 1141;
    CUtilizationDlg(CZUKRecDoc& doc, std::int64_t defaultStart, int defaultHour,
                    QWidget* parent = nullptr);

    UtilizationOptions options() const;
    void setRange(std::int64_t start, std::int64_t end);
    void setHours(int startHour, int endHour);
    void setUseWindow(bool on);
    void selectFacilities(const std::vector<int>& rows);
    // The OK step: the three refusals.
    bool validate();

public slots:
    void accept() override;

private:
    void enableHours();

    CZUKRecDoc& doc_;
    DateRangeRow range_;
    QDateTimeEdit* startHour_;
    QDateTimeEdit* endHour_;
    QLabel* startHourLabel_;
    QLabel* endHourLabel_;
    QCheckBox* useWindow_;
    QListView* facilities_;
};

}  // namespace quorvane
