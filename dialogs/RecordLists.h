#pragma once
// The two lists the customer and maintenance commands open, each one dialog for both kinds of
// record: the chooser (dialogs 137 and 156, in the four modes of ChooserMode) and a record's
// reservations from a date on (138 and 157). The chooser only chooses: what happens to the
// chosen record is the command's (EditorCommands). The kinds differ only in their ids, title,
// the walk that fills them and the rule that picks a line's record again.
#include <QDialog>
#include <QSize>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/EditorDialogs.h"

class QListView;

namespace quorvane {

// ----- the chooser -----

class CRecordChooserDlg : public QDialog {
    Q_OBJECT
public:
    // The command's part: the table stands on the chosen record. True closes the chooser;
    // false keeps it open for the next choice, its selection cleared.
    using Chosen = std::function<bool(long record, QWidget* chooser)>;

    int mode() const { return mode_; }
    const std::vector<RecordRow>& rows() const { return model_->rows(); }
    QListView* list() const { return list_; }
    void setChosen(Chosen chosen) { chosen_ = std::move(chosen); }
    // Re-reads the records into the list; a damaged table shows what was read and says so.
    void fill();
    // The OK step (a double click too): picks the selected record again and hands it to the
    // command. False when the chooser stays open.
    bool choose();

public slots:
    void accept() override;
    void reject() override;

protected:
    struct Kind {
        int dialogId, listId, helpId;
        int tabStop;  // dialog units, 0: none
        QSize minimum;
        const char* readError;  // said with the engine's code after it
        std::function<int(std::vector<RecordRow>&)> read;
        std::function<std::optional<Message>(const std::vector<RecordRow>&, int)> pick;
    };
    CRecordChooserDlg(Kind kind, int mode, const std::string& title, QWidget* parent);

private:
    Kind kind_;
    int mode_;
    Chosen chosen_;
    QListView* list_;
    RowListModel<RecordRow>* model_;
};

class CPersonListDlg : public CRecordChooserDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 137;
    static constexpr int kList = 1043, kHelp = 1090;
    static constexpr int kTabStop = 100;  // dialog units
    CPersonListDlg(CPeople& people, int mode, QWidget* parent = nullptr);
};

class CMaintListDlg : public CRecordChooserDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 156;
    static constexpr int kList = 1165, kHelp = 1173;
    CMaintListDlg(CMaintenance& maintenance, int mode, QWidget* parent = nullptr);
};

// ----- a record's reservations -----

class CRecordResDlg : public QDialog {
    Q_OBJECT
public:
    const std::vector<ReservationRow>& rows() const { return model_->rows(); }
    QListView* list() const { return list_; }
    void fill();
    // "Show Reservation" (a double click too): the detail of the selected reservation, and
    // its notes written back when changed on OK.
    void showReservation();

protected:
    struct Kind {
        int dialogId, listId, showId, helpId, tabStop;
        std::function<int(CSchedule&, const DayDate&, std::vector<ReservationRow>&)> walk;
        std::function<std::optional<Message>(CSchedule&, const ReservationRow&, ListedReservation&)>
            read;
        // Said before the detail, which still shows (an item renamed or deleted since the
        // booking); may be empty.
        std::function<std::optional<Message>(const ListedReservation&)> remark;
    };
    // The list runs from `from` on (the choosers pass today).
    CRecordResDlg(Kind kind, CSchedule& schedule, const DayDate& from, const std::string& title,
                  QWidget* parent);

private:
    Kind kind_;
    CSchedule& schedule_;
    DayDate from_;
    QListView* list_;
    ReservationModel* model_;
};

class CPersonResDlg : public CRecordResDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 138;
    static constexpr int kList = 1044, kShow = 1010, kHelp = 1091;
    static constexpr int kTabStop = 140;  // dialog units: past the date and the two times
    CPersonResDlg(CSchedule& schedule, const CustomerName& who, const DayDate& from,
                  QWidget* parent = nullptr);
};

class CMaintResDlg : public CRecordResDlg {
    Q_OBJECT
public:
    static constexpr int kDialogId = 157;
    static constexpr int kList = 1169, kShow = 1010, kHelp = 1170;
    static constexpr int kTabStop = 140;  // dialog units
    CMaintResDlg(CSchedule& schedule, CMaintenance& maintenance, const std::string& item,
                 const DayDate& from, QWidget* parent = nullptr);
};

}  // namespace quorvane
