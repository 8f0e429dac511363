#pragma once
// The New Group dialog (dialog 130): the facility type of the new group and its description.
// Built the way every dialog is: NewGroupForm holds what it asks, checkNewGroup and
// newGroupTypeName are its rules, and CStartupDlg only moves the form in and out of its
// controls and shows the rule's message.
#include <QDialog>
#include <QString>
#include <optional>

#include "platform/DialogButtons.h"

class QButtonGroup;
class QLineEdit;

namespace quorvane {

struct NewGroupForm {
    int position = -1;    // the chosen type button 0-9; -1 while none is chosen
    QString otherText;    // the typed type, taken only with "Other"
    QString description;  // optional
    bool operator==(const NewGroupForm&) const = default;
};

// The type name the group will store: the chosen type's stored spelling, or the typed text
// with "Other"; empty when there is none.
QString newGroupTypeName(const NewGroupForm& form);
// The OK rule: "You must specify a group type" while there is no type name.
std::optional<Message> checkNewGroup(const NewGroupForm& form);

class CStartupDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 130;
    // Control ids.
    static constexpr int kFirstTypeButton = 1148;  // the ten type buttons are 1148-1157
    static constexpr int kOtherEdit = 1111;
    static constexpr int kDescriptionEdit = 1000;
    static constexpr int kHelpButton = 1094;

    static constexpr int kTypeCount = 10;
    static constexpr int kOtherPosition = 9;
    static constexpr int kMaxText = 40;

    struct TypeChoice {
        const char* buttonText;
        const char* storedName;  // empty for "Other": the typed text is stored
    };
    static const TypeChoice kTypes[kTypeCount];

    explicit CStartupDlg(QWidget* parent = nullptr);

    // The controls as a form and back: the one way in and out of the dialog.
    NewGroupForm form() const;
    void setForm(const NewGroupForm& form);

    // The OK step: takes the type and description, or shows the rule's message and returns
    // false (the dialog stays open).
    bool validate();
    QString typeName() const { return typeName_; }
    QString description() const { return description_; }

public slots:
    void accept() override;

private:
    void updateOtherEdit();
    int selectedPosition() const;  // -1 while no type is chosen

    QButtonGroup* types_;
    QLineEdit* other_;
    QLineEdit* description_edit_;
    QString typeName_;
    QString description_;
};

}  // namespace quorvane
