#pragma once
// The utilization report window (dialog 153): shows and prints the lines of the utilization
// job the command ran.
#include "reports/ReportWindow.h"
#include "reports/core/ReportJob.h"

namespace quorvane {

class CUtilizationReportDlg : public ReportWindow {
    Q_OBJECT
public:
    static constexpr int kDialogId = 153, kList = 1136, kGroupLabel = 1137;
    // Shows the lines of a utilization report job.
    CUtilizationReportDlg(CZUKRecDoc& doc, const ReportJob& job, QWidget* parent = nullptr);
};

}  // namespace quorvane
