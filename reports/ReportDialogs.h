#pragma once
// The report dialogs and windows: Reservation Report Options (165), the reservation report
// window (166), Utilization Report Options (152) and the utilization report window (153).
// Their rules live in ReservationReport.h and UtilizationReport.h; these classes only map the
// controls to and from those values, show the messages and hold the report lines the report
// job (ReportJob.h) made. The commands run them through appReportDialogs(), so tests script
// the answers.
#include <QAbstractListModel>
#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "reports/ReportJob.h"
#include "reports/ReportLines.h"
#include "reports/ReportPrinting.h"
#include "reports/ReservationReport.h"
#include "reports/UtilizationReport.h"
#include "tables/RecordRows.h"

class QCheckBox;
class QDateEdit;
class QDateTimeEdit;
class QLabel;
class QListView;
class QPushButton;

namespace quorvane {

class CZUKRecDoc;

// The lines of a report for a list view with uniform rows: a million lines show at once,
// because the view asks only for the rows it draws. The lines stay in their compact store
// (one buffer, one offset per line) rather than as a vector of rows.
class ReportLinesModel final : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    void setLines(ReportLines lines);
    const ReportLines& lines() const { return lines_; }
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    ReportLines lines_;
};

// A date control that shows the date only but keeps the time of day it was given, so the
// instant read back carries it (the range rules compare whole instants).
class DateInstantEdit;

class CResReportDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 165;
    static constexpr int kStartDate = 1134, kEndDate = 1135, kFacilities = 1119,
                         kFacilityLabel = 1258, kCustomers = 1251, kHelp = 1260;
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
    DateInstantEdit* start_;
    DateInstantEdit* end_;
    QListView* facilities_;
    QListView* customers_;
    std::vector<RecordRow> customerRows_;
};

// What both report windows share: the list, the group label, OK, Print, Print Preview and
// Save as PDF, all drawing through drawReport().
class ReportWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPrint = 1108;
    const ReportLines& lines() const { return model_->lines(); }
    QListView* list() const { return list_; }
    // The printed heading, the print job's name and the page style.
    virtual QString heading() const = 0;
    virtual QString docName() const = 0;
    virtual ReportPageStyle pageStyle() const = 0;

    void print();
    void printPreview();
    void saveAsPdf();
    // The report into a PDF file; false when it cannot be written (`error` says why).
    bool writePdf(const QString& path, QString* error = nullptr);

protected:
    // The window's document goes to `target`; without a printer, into its PDF beside the group.
    PrintRequest printRequest(PrintTarget target);
    ReportWindow(CZUKRecDoc& doc, int dialogId, int listId, int labelId, const QString& title,
                 const QString& label, QWidget* parent);
    CZUKRecDoc& doc_;
    ReportLinesModel* model_;
    QListView* list_;

private:
    int dialogId_;
};

class CResReportData : public ReportWindow {
    Q_OBJECT
public:
    static constexpr int kDialogId = 166, kList = 1186, kGroupLabel = 1185;
    CResReportData(CZUKRecDoc& doc, const ReportCriteria& criteria, QWidget* parent = nullptr);
    // Runs the report job on the criteria into the list (the first showing does it on its
    // own, after the "Generating" line has been drawn).
    void generate();
    QString heading() const override;
    QString docName() const override { return QStringLiteral("Reservation Report"); }
    ReportPageStyle pageStyle() const override { return kReservationPageStyle; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    ReportCriteria criteria_;
    bool generated_ = false;
};

class CUtilizationDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 152;
    static constexpr int kStartDate = 1134, kEndDate = 1135, kStartHour = 1132, kEndHour = 1133,
                         kStartHourLabel = 1130, kEndHourLabel = 1131, kUseWindow = 1127,
                         kFacilities = 1119, kHelp = 1141;
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
    DateInstantEdit* start_;
    DateInstantEdit* end_;
    QDateTimeEdit* startHour_;
    QDateTimeEdit* endHour_;
    QLabel* startHourLabel_;
    QLabel* endHourLabel_;
    QCheckBox* useWindow_;
    QListView* facilities_;
};

class CUtilizationReportDlg : public ReportWindow {
    Q_OBJECT
public:
    static constexpr int kDialogId = 153, kList = 1136, kGroupLabel = 1137;
    // Shows the lines of a utilization report job.
    CUtilizationReportDlg(CZUKRecDoc& doc, const ReportJob& job, QWidget* parent = nullptr);
    QString heading() const override;
    QString docName() const override { return QStringLiteral("Utilization"); }
    ReportPageStyle pageStyle() const override { return kUtilizationPageStyle; }
};

// The modal steps of the report commands.
class ReportDialogs {
public:
    virtual ~ReportDialogs() = default;
    // Each options dialog returns the options it was left with by OK; nothing on Cancel.
    virtual std::optional<ReservationOptions> askReservationOptions(CZUKRecDoc& doc,
                                                                    std::int64_t defaultStart,
                                                                    QWidget* parent) = 0;
    virtual void showReservationReport(CZUKRecDoc& doc, const ReportCriteria& criteria,
                                       QWidget* parent) = 0;
    virtual std::optional<UtilizationOptions> askUtilizationOptions(CZUKRecDoc& doc,
                                                                    std::int64_t defaultStart,
                                                                    int defaultHour,
                                                                    QWidget* parent) = 0;
    virtual void showUtilizationReport(CZUKRecDoc& doc, const ReportJob& job, QWidget* parent) = 0;
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
