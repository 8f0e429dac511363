#include "reports/UtilizationReportDlg.h"

#include <QListView>

#include "app/ZUKRecDoc.h"

namespace quorvane {

CUtilizationReportDlg::CUtilizationReportDlg(CZUKRecDoc& doc, const ReportJob& job, QWidget* parent)
    : ReportWindow(doc, kDialogId, kList, kGroupLabel, QStringLiteral("Utilization Report"),
                   doc.groupTitle(), parent) {
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    model_->setLines(job.lines);
}

QString CUtilizationReportDlg::heading() const {
    return QStringLiteral("Utilization Report for %1").arg(doc_.description());
}

}  // namespace quorvane
