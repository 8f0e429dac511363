#pragma once
// The customer chooser (dialog 137) in its four modes, the read-only customer card (151) and
// a customer's reservation list (138). The rules live in EditorCore; these classes map
// controls to and from it.
#include <QDialog>
#include <array>
#include <functional>
#include <vector>

#include "dialogs/EditorDialogs.h"
#include "reservations/AddPersonDlg.h"

class QLineEdit;
class QListView;

namespace quorvane {

class CZUKRecDoc;

class CPersonListDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 137;
    static constexpr int kList = 1043, kHelp = 1090;
    static constexpr int kTabStop = 100;  // dialog units

    CPersonListDlg(CPeople& people, CSchedule& schedule, int mode, QWidget* parent = nullptr);

    int mode() const { return mode_; }
    const std::vector<RecordRow>& rows() const { return model_->rows(); }
    QListView* list() const { return list_; }
    // Re-reads the customers into the list; a damaged table shows what was read and says so.
    void fill();
    // The OK step (a double click too): acts on the selected customer by mode. False when the
    // chooser stays open.
    bool choose();
    // Called after reservations were changed (a customer's change carried to them).
    void setReservationsChanged(std::function<void()> changed) {
        reservationsChanged_ = std::move(changed);
    }

public slots:
    void accept() override;
    void reject() override;

private:
    // After a change of the customer at `record`: offers to carry it to the reservations from
    // today on that carry the old copy, and does it when the answer is yes.
    void offerCarry(const CustomerCopy& before, long record);

    CPeople& people_;
    CSchedule& schedule_;
    int mode_;
    std::function<void()> reservationsChanged_;
    QListView* list_;
    ChooserModel* model_;
};

class CListPerson : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 151;
    static constexpr int kHelp = 1118;
    explicit CListPerson(const PersonFields& fields, QWidget* parent = nullptr);
    // The text shown in the box of control `id` (Windows-1252).
    std::string shown(int id) const;

private:
    std::array<QLineEdit*, 13> edits_{};
};

class CPersonResDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 138;
    static constexpr int kList = 1044, kShow = 1010, kHelp = 1091;
    static constexpr int kTabStop = 140;  // dialog units: past the date and the two times

    // The list runs from `from` on (the chooser passes today).
    CPersonResDlg(CSchedule& schedule, const CustomerName& who, const DayDate& from,
                  QWidget* parent = nullptr);

    const std::vector<ReservationRow>& rows() const { return model_->rows(); }
    QListView* list() const { return list_; }
    void fill();
    // "Show Reservation" (a double click too): the detail of the selected reservation, and
    // its notes written back when changed on OK.
    void showReservation();

private:
    CSchedule& schedule_;
    CustomerName who_;
    DayDate from_;
    QListView* list_;
    ReservationModel* model_;
};

// Runs the chooser for `mode` on the group's tables (the commands of the Customers and View
// menus).
void runCustomerChooser(CZUKRecDoc& doc, int mode, QWidget* parent);

}  // namespace quorvane
