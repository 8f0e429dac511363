#pragma once
// The modal dialogs the exports open besides the file chooser (which goes through
// appDialogs()): "the address file exists" and the calendar export's choice. They are run
// through the folder's seam, appReportDialogs(), so tests script the answers.
#include <QDialog>
#include <QString>
#include <string>
#include <vector>

class QComboBox;
class QRadioButton;

namespace quorvane {

// Shown when the chosen address file, or its index file, exists.
class CAddrFileExists : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDeleteId = 1191;
    static constexpr int kChangeNameId = 1;
    static constexpr int kCancelId = 2;
    explicit CAddrFileExists(const QString& dataPath, QWidget* parent = nullptr);
    // The id of the button that closed it (kCancelId when closed otherwise).
    int choice() const { return choice_; }

private:
    int choice_ = kCancelId;
};

// Whose coming reservations go to the calendar file.
struct CalendarScope {
    enum Kind { All, Customer, Facility } kind = All;
    int index = -1;  // into the customer or facility list given to the dialog
};

class CCalendarExportDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 171;
    static constexpr int kAllId = 1201, kCustomerId = 1202, kFacilityId = 1203;
    static constexpr int kCustomerListId = 1204, kFacilityListId = 1205, kHelpId = 1206;
    CCalendarExportDlg(const std::vector<QString>& customers,
                       const std::vector<QString>& facilities, QWidget* parent = nullptr);
    CalendarScope scope() const;
    void setScope(const CalendarScope& scope);

private:
    QRadioButton* all_;
    QRadioButton* customer_;
    QRadioButton* facility_;
    QComboBox* customers_;
    QComboBox* facilities_;
};

}  // namespace quorvane
