#pragma once
// Day at a Glance (dialog 139): one row per facility with its bars over twelve hours, the
// date, the starting hour, Refresh, Print and Help; a row's button opens that facility's
// reservation list. Where bars and printed texts go is reports/core/DayGlanceLayout.h; DayGlance.h
// paints it.
#include <QDialog>
#include <QFrame>
#include <array>
#include <cstdint>
#include <vector>

#include "group/DayState.h"
#include "platform/Printing.h"
#include "platform/UpDownControl.h"
#include "reports/core/DayChart.h"

class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace quorvane {

class CZUKRecDoc;
class CDayResDlg;

// A row's drawing area: it paints the dialog's bars of its facility.
class DayRowArea final : public QFrame {
public:
    DayRowArea(CDayResDlg& dlg, int position, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    CDayResDlg& dlg_;
    int position_;
};

class CDayResDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 139;
    static constexpr int kOkId = 1, kRefreshId = 1045, kUpperScaleId = 1046, kDateId = 1047,
                         kLowerScaleId = 1073, kUpDownId = 1075, kStartHourId = 1077,
                         kHelpId = 1087, kPrintId = 1108;
    static constexpr std::array<int, 15> kRowButtonIds = {
        1049, 1050, 1051, 1052, 1053, 1054, 1055, 1056, 1057, 1058, 1059, 1060, 1074, 1076, 1078};
    static constexpr std::array<int, 15> kRowAreaIds = {
        1061, 1064, 1067, 1068, 1071, 1063, 1066, 1062, 1069, 1070, 1065, 1072, 1084, 1085, 1086};

    // The starting hour and the bar colour (0x00BBGGRR) come from the caller's settings;
    // changes of the hour here are not stored.
    CDayResDlg(CZUKRecDoc& doc, int startHour, std::uint32_t occupiedColor,
               QWidget* parent = nullptr);

    // Handlers, callable without a click.
    void refresh();
    void upDownMoved();
    void printChart();
    void openRow(int position);
    // Reads the starting hour and the date; false after the range message (the hour stays).
    bool readFields();

    int startHour() const { return startHour_; }
    const DayDate& date() const { return date_; }
    void setDate(const DayDate& date);  // as the date control does: then Refresh
    const std::vector<_SCHEDITEM>& items() const { return chart_.items; }
    int quarterWidth() const { return quarterWidth_; }
    std::uint32_t occupiedColor() const { return color_; }
    // The chart as it stands, as a document to print (printChart hands it to printDocument).
    PrintDocument document() const;

private:
    void updateScaleLabels();
    void loadItems();

    CZUKRecDoc& doc_;
    int startHour_;
    std::uint32_t color_;
    DayDate date_;
    DayChart chart_;  // as loaded for date_
    int quarterWidth_ = 1;
    QDateEdit* dateEdit_;
    QLineEdit* hourEdit_;
    UpDownControl* upDown_;
    QLabel* upperScale_;
    QLabel* lowerScale_;
    std::array<QPushButton*, 15> rowButtons_{};
    std::array<DayRowArea*, 15> rowAreas_{};
};

}  // namespace quorvane
