#pragma once
// The reservation report window (dialog 166): shows "Generating" first, then the lines of the
// report job the report command runs for its criteria, and prints them.
#include "reports/ReportWindow.h"
#include "reports/core/ReportCriteria.h"

namespace quorvane {

class CResReportData : public ReportWindow {
    Q_OBJECT
public:
    static constexpr int kDialogId = 166, kList = 1186, kGroupLabel = 1185;
    CResReportData(CZUKRecDoc& doc, const ReportCriteria& criteria, QWidget* parent = nullptr);
    // Shows the lines of the report command's job for the criteria (the first showing asks
    // for them on its own, after the "Generating" line has been drawn).
    void generate();

protected:
    void showEvent(QShowEvent* event) override;

private:
    ReportCriteria criteria_;
    bool generated_ = false;
};

}  // namespace quorvane
