#include "reports/UtilizationReportDlg.h"

#include <QListView>

#include "app/ZUKRecDoc.h"

namespace quorvane {

CUtilizationReportDlg::CUtilizationReportDlg(CZUKRecDoc& doc, const ReportJob& job, QWidget* parent)
    : ReportWindow(doc,
                   {kDialogId, kList, kGroupLabel, "Utilization Report", "Utilization",
                    "Utilization Report", kUtilizationPageStyle},
                   doc.groupTitle(), parent) {
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    model_->setLines(job.lines);
}

}  // namespace quorvane
