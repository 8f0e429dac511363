#pragma once
// The report dialogs and windows: Reservation Report Options (165), the reservation report
// window (166), Utilization Report Options (152) and the utilization report window (153).
// Their rules live in ReservationReport.h and UtilizationReport.h; these classes only map the
// controls to and from those values, show the messages and hold the report lines. The
// commands run them through appReportDialogs(), so tests script the answers.
#include <QAbstractListModel>
#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "reports/ReportLines.h"
#include "reports/ReportPrinting.h"
#include "reports/ReservationReport.h"
#include "reports/UtilizationReport.h"

class QCheckBox;
class QDateEdit;
class QDateTimeEdit;
class QLabel;
class QListView;
class QPrinter;
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
    // The OK step: refuses an end before the start ("Date Error"), otherwise stores the
    // criteria on the document.
    bool validate();

public slots:
    void accept() override;

private:
    CZUKRecDoc& doc_;
    DateInstantEdit* start_;
    DateInstantEdit* end_;
    QListView* facilities_;
    QListView* customers_;
    std::vector<CustomerListRow> customerRows_;
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
    // The report into a PDF file; false when it cannot be written.
    bool writePdf(const QString& path);

protected:
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
    explicit CResReportData(CZUKRecDoc& doc, QWidget* parent = nullptr);
    // Builds the report from the document's criteria into the list (the first showing does
    // it on its own, after the "Generating" line has been drawn).
    void generate();
    QString heading() const override;
    QString docName() const override { return QStringLiteral("Reservation Report"); }
    ReportPageStyle pageStyle() const override { return kReservationPageStyle; }

protected:
    void showEvent(QShowEvent* event) override;

private:
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
    // The OK step: the three refusals, otherwise the criteria stored on the document.
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
    CUtilizationReportDlg(CZUKRecDoc& doc, const UtilizationResult& result,
                          QWidget* parent = nullptr);
    QString heading() const override;
    QString docName() const override { return QStringLiteral("Utilization"); }
    ReportPageStyle pageStyle() const override { return kUtilizationPageStyle; }
};

// The modal steps of the report commands.
class ReportDialogs {
public:
    virtual ~ReportDialogs() = default;
    // Each options dialog stores the criteria on the document when it ends with OK.
    virtual bool askReservationOptions(CZUKRecDoc& doc, std::int64_t defaultStart,
                                       QWidget* parent) = 0;
    virtual void showReservationReport(CZUKRecDoc& doc, QWidget* parent) = 0;
    virtual bool askUtilizationOptions(CZUKRecDoc& doc, std::int64_t defaultStart, int defaultHour,
                                       QWidget* parent) = 0;
    virtual void showUtilizationReport(CZUKRecDoc& doc, const UtilizationResult& result,
                                       QWidget* parent) = 0;
    // The print dialog on the program's printer; false on Cancel.
    virtual bool askPrint(QPrinter& printer, QWidget* parent) = 0;
    virtual void preview(QPrinter& printer, const std::function<void(QPrinter&)>& paint,
                         QWidget* parent) = 0;
};

class QtReportDialogs final : public ReportDialogs {
public:
    bool askReservationOptions(CZUKRecDoc& doc, std::int64_t defaultStart,
                               QWidget* parent) override;
    void showReservationReport(CZUKRecDoc& doc, QWidget* parent) override;
    bool askUtilizationOptions(CZUKRecDoc& doc, std::int64_t defaultStart, int defaultHour,
                               QWidget* parent) override;
    void showUtilizationReport(CZUKRecDoc& doc, const UtilizationResult& result,
                               QWidget* parent) override;
    bool askPrint(QPrinter& printer, QWidget* parent) override;
    void preview(QPrinter& printer, const std::function<void(QPrinter&)>& paint,
                 QWidget* parent) override;
};

ReportDialogs& appReportDialogs();
void setAppReportDialogs(ReportDialogs* dialogs);  // nullptr restores the Qt dialogs

}  // namespace quorvane
