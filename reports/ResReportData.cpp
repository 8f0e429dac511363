#include "reports/ResReportData.h"

#include <QListView>
#include <QTimer>

#include "app/ZUKRecDoc.h"
#include "platform/Prompter.h"
#include "reports/ReportCommands.h"
#include "reports/ReportDialogs.h"

namespace quorvane {

namespace {

void showReadError(int code) {
    appPrompter().message(
        QStringLiteral("The reservation table could not be read to its end (error %1); the "
                       "report shows the reservations read before it.")
            .arg(code),
        QStringLiteral("Database Error"), PromptIcon::Stop);
}

}  // namespace

CResReportData::CResReportData(CZUKRecDoc& doc, const ReportCriteria& criteria, QWidget* parent)
    : ReportWindow(doc,
                   {kDialogId, kList, kGroupLabel, "Reservation Report", "Reservation Report",
                    "Reservation Report", kReservationPageStyle},
                   doc.description(), parent),
      criteria_(criteria) {
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    ReportLines waiting;
    waiting.append("**** Generating reservation report ****");
    model_->setLines(std::move(waiting));
}

void CResReportData::showEvent(QShowEvent* event) {
    ReportWindow::showEvent(event);
    // The "Generating" line is drawn first; the report replaces it once built.
    if (!generated_) QTimer::singleShot(0, this, &CResReportData::generate);
}

void CResReportData::generate() {
    if (generated_) return;
    generated_ = true;
    ReportJob job = reservationReportJob(doc_, criteria_);
    model_->setLines(std::move(job.lines));
    if (job.outOfMemory)
        appPrompter().message(QStringLiteral("Out of memory, report stopped"), {},
                              PromptIcon::None);
    if (job.readError < 0) showReadError(job.readError);
    if (job.cutShort) showCutShort();
}

}  // namespace quorvane
