#pragma once
// The New Group dialog (dialog 130): the facility type of the new group and its description.
#include <QDialog>
#include <QString>

class QButtonGroup;
class QLineEdit;
class QRadioButton;

namespace quorvane {

class CStartupDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 130;
    static constexpr int kFirstTypeButton = 1148;
    static constexpr int kTypeCount = 10;
    static constexpr int kOtherPosition = 9;
    static constexpr int kMaxText = 40;

    struct TypeChoice {
        const char* buttonText;
        const char* storedName;  // empty for "Other": the typed text is stored
    };
    static const TypeChoice kTypes[kTypeCount];

    explicit CStartupDlg(QWidget* parent = nullptr);

    // -1 while no type is chosen.
    int selectedPosition() const;
    void selectPosition(int position);
    void setOtherText(const QString& text);
    void setDescription(const QString& text);

    // The OK step: takes the type and description, or shows "You must specify a group type"
    // and returns false (the dialog stays open).
    bool validate();
    QString typeName() const { return typeName_; }
    QString description() const { return description_; }

public slots:
    void accept() override;

private:
    void updateOtherEdit();

    QButtonGroup* types_;
    QLineEdit* other_;
    QLineEdit* description_edit_;
    QString typeName_;
    QString description_;
};

}  // namespace quorvane
