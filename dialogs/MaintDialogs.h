#pragma once
// The maintenance editor (dialog 155), the item chooser (156) in its four modes, the
// read-only item card (158) and an item's reservation list (157). The rules live in
// EditorCore; these classes map controls to and from it.
#include <QDialog>
#include <vector>

#include "dialogs/EditorDialogs.h"

class QLineEdit;
class QListView;

namespace quorvane {

class CZUKRecDoc;

class CAddMaint : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 155;
    static constexpr int kName = 1164, kNotes = 1029, kHelp = 1171;
    enum Mode { Add = 0, Modify = 1 };

    // In modify mode `initial` is the item at `record`.
    CAddMaint(CMaintenance& maintenance, Mode mode = Add, const MaintFields& initial = {},
              long record = 0, QWidget* parent = nullptr);

    MaintFields fields() const;
    void setFields(const MaintFields& f);
    // The OK step: the name check, then the store. False (the message shown) when refused.
    bool store();

public slots:
    void accept() override;

private:
    CMaintenance& maintenance_;
    Mode mode_;
    long record_;
    QLineEdit* name_;
    QLineEdit* notes_;
};

class CMaintListDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 156;
    static constexpr int kList = 1165, kHelp = 1173;

    CMaintListDlg(CMaintenance& maintenance, CSchedule& schedule, int mode,
                  QWidget* parent = nullptr);

    int mode() const { return mode_; }
    const std::vector<RecordRow>& rows() const { return model_->rows(); }
    QListView* list() const { return list_; }
    void fill();
    // The OK step (a double click too). False when the chooser stays open.
    bool choose();

public slots:
    void accept() override;
    void reject() override;

private:
    CMaintenance& maintenance_;
    CSchedule& schedule_;
    int mode_;
    QListView* list_;
    ChooserModel* model_;
};

class CListMaint : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 158;
    static constexpr int kName = 1168, kNotes = 1029, kHelp = 1172;
    explicit CListMaint(const MaintFields& fields, QWidget* parent = nullptr);
    MaintFields shown() const;

private:
    QLineEdit* name_;
    QLineEdit* notes_;
};

class CMaintResDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 157;
    static constexpr int kList = 1169, kShow = 1010, kHelp = 1170;
    static constexpr int kTabStop = 140;  // dialog units

    CMaintResDlg(CSchedule& schedule, CMaintenance& maintenance, const std::string& item,
                 const DayDate& from, QWidget* parent = nullptr);

    const std::vector<ReservationRow>& rows() const { return model_->rows(); }
    QListView* list() const { return list_; }
    void fill();
    void showReservation();

private:
    CSchedule& schedule_;
    CMaintenance& maintenance_;
    std::string item_;
    DayDate from_;
    QListView* list_;
    ReservationModel* model_;
};

// Runs the editor in add mode, or the chooser for `mode`, on the group's tables (the commands
// of the Maintenance and View menus).
void runAddMaintenance(CZUKRecDoc& doc, QWidget* parent);
void runMaintenanceChooser(CZUKRecDoc& doc, int mode, QWidget* parent);

}  // namespace quorvane
