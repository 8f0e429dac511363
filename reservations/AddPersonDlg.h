#pragma once
// The customer editor (dialog 135) in add mode ("Add and New", "Add and Close") and in modify
// mode (one customer, "OK"). The rules run on a PersonFields value without widgets.
#include <QDialog>

#include "dialogs/core/CustomerFields.h"

class QLineEdit;
class QPushButton;

namespace quorvane {

class CAddPersonDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 135;
    static constexpr int kAddAndNew = 1192, kHelp = 1085;
    enum Mode { Add = 0, Modify = 1 };

    // In modify mode `initial` is the customer at `record`.
    explicit CAddPersonDlg(CPeople& people, Mode mode = Add, const PersonFields& initial = {},
                           long record = 0, QWidget* parent = nullptr);

    PersonFields fields() const;
    void setFields(const PersonFields& f);
    // The buttons' steps. Both store the customer after the name check; "Add and New" then
    // empties every box and stays, "Add and Close" (OK in modify mode) closes. False (the
    // message shown) when refused.
    bool addAndNew();
    bool addAndClose();
    // Customers stored since the dialog opened.
    int stored() const { return stored_; }

public slots:
    void accept() override;

private:
    bool store();

    CPeople& people_;
    Mode mode_;
    long record_;
    std::array<QLineEdit*, 13> edits_{};
    int stored_ = 0;
};

}  // namespace quorvane
