#pragma once
// Reservation Report Options (dialog 165): the date range, the facilities and the customers
// to include. Its rules are checkReservationOptions and storeReservationOptions
// (ReservationReport.h); the dialog maps its controls to and from ReservationOptions.
#include <QDialog>
#include <cstdint>
#include <vector>

#include "reports/ReportWidgets.h"
#include "reports/core/ReservationReport.h"
#include "tables/RecordRows.h"

class QListView;

namespace quorvane {

class CZUKRecDoc;

class CResReportDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 165;
    static constexpr int kStartDate = DateRangeRow::kStartDate, kEndDate = DateRangeRow::kEndDate,
                         kFacilities = 1119, kFacilityLabel = 1258, kCustomers = 1251, kHelp = 1260;
    CResReportDlg(CZUKRecDoc& doc, std::int64_t defaultStart, QWidget* parent = nullptr);

    ReservationOptions options() const;
    void setRange(std::int64_t start, std::int64_t end);
    void selectFacilities(const std::vector<int>& rows);
    void selectCustomers(const std::vector<int>& rows);
    // The OK step: refuses an end before the start ("Date Error").
    bool validate();

public slots:
    void accept() override;

private:
    CZUKRecDoc& doc_;
    DateRangeRow range_;
    QListView* facilities_;
    QListView* customers_;
    std::vector<RecordRow> customerRows_;
};

}  // namespace quorvane
