#pragma once
// The maintenance editor (dialog 155) and the read-only cards of a customer (151) and an item
// (158). The customer editor is the booking folder's CAddPersonDlg.
#include <QDialog>
#include <array>
#include <string>

#include "dialogs/core/EditorCore.h"
#include "reservations/AddPersonDlg.h"

class QLineEdit;

namespace quorvane {

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

}  // namespace quorvane
