#pragma once
// The group window's own dialogs: the facility dialog (131), Modify Group Information (141)
// and Delete Old Reservations (140). Each edits a value; its rules are free functions on that
// value returning the message to show; `validate()` is the OK step (value, rule, message) and
// runs without exec(). The view runs them through the folder's seam, appDialogs()
// (AppDialogs.h), so tests script the answers.
#include <QDialog>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>

#include "base/Message.h"

class QDateEdit;
class QLineEdit;

namespace quorvane {

class CZUKRecDoc;
struct GroupFile;

struct FacilityAnswer {
    QString name, description;
    std::uint32_t defaultTime = 0;
};
struct GroupAnswer {
    QString typeName, description;
};

// ----- the facility dialog -----

// What the facility dialog edits, as typed.
struct FacilityForm {
    QString name, defaultTime, description;
};
// Its OK rule: "Invalid default reservation time" for a time that is none; in add mode "A
// <type> with this name already exists" for a name a slot of `group` has, the empty name
// included. `typeName` is the group's, as stored.
std::optional<Message> checkFacility(const FacilityForm& form, bool modify, const GroupFile& group,
                                     const std::string& typeName);
// A form the rule accepted as the group keeps it: in add mode the name as the reservations
// will store it ("Court 5 " is "Court 5"), the time in minutes.
FacilityAnswer facilityAnswer(const FacilityForm& form, bool modify);

class CAddRoomDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 131;
    static constexpr int kNameEdit = 1001, kTimeEdit = 1183, kDescriptionEdit = 1003, kHelp = 1086;
    // Add mode when `modify` is false; in modify mode the name is shown but cannot change.
    CAddRoomDlg(const CZUKRecDoc& doc, bool modify, const FacilityAnswer& initial = {},
                QWidget* parent = nullptr);

    FacilityForm form() const;
    void setForm(const FacilityForm& form);
    // The OK step: the form, its rule, the message or the answer.
    bool validate();
    const FacilityAnswer& answer() const { return answer_; }

public slots:
    void accept() override;

private:
    const CZUKRecDoc& doc_;
    bool modify_;
    QLineEdit* nameEdit_;
    QLineEdit* timeEdit_;
    QLineEdit* descriptionEdit_;
    FacilityAnswer answer_;
};

// ----- Modify Group Information -----

class CModifyGroupDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 141;
    static constexpr int kTypeEdit = 1111, kDescriptionEdit = 1000, kHelp = 1095;
    explicit CModifyGroupDlg(const GroupAnswer& initial, QWidget* parent = nullptr);
    GroupAnswer form() const;
    void setForm(const GroupAnswer& form);

private:
    QLineEdit* type_;
    QLineEdit* description_;
};

// ----- Delete Old Reservations -----

// Its OK rule: "The deletion date cannot be in the future" for a day after today.
std::optional<Message> checkDeletionDate(std::int64_t date, std::int64_t todayMidnight);

class CDeleteRes : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 140;
    static constexpr int kDateEdit = 1081, kHelp = 1086;
    // `date` is the proposed deletion date (seconds since 1970).
    explicit CDeleteRes(std::int64_t date, QWidget* parent = nullptr);
    void setDate(std::int64_t date);
    // The picked date at its local midnight.
    std::int64_t date() const;
    // The OK step: the date, its rule, the message.
    bool validate();

public slots:
    void accept() override;

private:
    QDateEdit* picker_;
    std::int64_t todayMidnight_;
};

}  // namespace quorvane
