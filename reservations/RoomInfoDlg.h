#pragma once
// A facility's reservation list for one day (dialog 133), opened by a left click on the
// facility in the group window: move to another day, make a reservation, cancel one or the
// rest of its series, show one with its notes editable, print the list.
#include <QDialog>
#include <cstdint>
#include <string>

#include "platform/Printing.h"
#include "reservations/core/BookingCore.h"

class QDateEdit;
class QListView;

namespace quorvane {

class CZUKRecDoc;
class LineListModel;
class PaintSurface;

class CRoomInfoDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 133;
    static constexpr int kList = 1006, kDate = 1011, kDescription = 1003, kMake = 1007,
                         kCancel = 1008, kShow = 1010, kPrint = 1108, kHelp = 1085, kOk = 1;

    // The facility in `slot` of the document's group; `defaultTime` its default reservation
    // length in minutes; `date` the day to show (year 0: today by the clock).
    CRoomInfoDlg(CZUKRecDoc& doc, int slot, std::uint32_t defaultTime, const DayDate& date = {},
                 QWidget* parent = nullptr);

    // Refills the list and the start and end arrays with the facility's day.
    void LoadDay(int month, int day, int year);
    // The day shown; setting it works as a change of the date picker.
    DayDate date() const { return date_; }
    void setDate(const DayDate& date);
    const FacilityDay& day() const { return day_; }
    const std::string& facility() const { return facility_; }
    // Set once a reservation was made or cancelled here.
    bool changed() const { return changed_; }
    int selected() const;
    void select(int row);

    void makeReservation();
    void cancelReservation();
    void showReservation();
    // The print dialog, then the page on the program's printer (or its PDF beside the group
    // when there is no printer); a failure is said.
    void print();
    // The page as the document "RoomReservations".
    PrintDocument document() const;
    // The page: the date at 2 line heights, the title at 4, the description at 6, the list
    // lines from 9 on, each one line lower; all one average character width from the left.
    void drawPage(PaintSurface& surface) const;

private:
    void showDay();
    // Says that another user changed or cancelled the listed reservation, and reads the day
    // again.
    void listChanged();

    CZUKRecDoc& doc_;
    std::string facility_, description_;
    std::uint32_t defaultTime_;
    DayDate date_, openingDate_;
    FacilityDay day_;
    bool changed_ = false;
    bool settingPicker_ = false;
    QListView* list_;
    LineListModel* model_;
    QDateEdit* picker_;
};

// The view's left click: the list of the facility in `slot` on `date`, run modally. True
// when reservations were made or cancelled.
bool openFacilityList(CZUKRecDoc& doc, int slot, const DayDate& date, QWidget* parent);
// "&Add Customer": the customer editor in add mode.
void addCustomer(CZUKRecDoc& doc, QWidget* parent);

}  // namespace quorvane
