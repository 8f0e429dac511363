#pragma once
// The customer editor (dialog 135) in add mode ("Add and New", "Add and Close") and in modify
// mode (one customer, "OK"). The rules run on a PersonFields value without widgets.
#include <QDialog>
#include <array>
#include <optional>
#include <string>

#include "reservations/core/BookingCore.h"
#include "tables/People.h"

class QLineEdit;
class QPushButton;

namespace quorvane {

// The 13 fields of a customer as the editor shows them (Windows-1252).
struct PersonFields {
    std::string first, mi, last, phone, ext, altPhone, altExt, org, address, city, state, zip,
        notes;
    bool operator==(const PersonFields&) const = default;
};

struct PersonFieldSpec {
    int id;
    int maxLength;
    const char* label;
    std::string PersonFields::*member;
};
// In dialog order: control id, the most characters the box takes, label, field.
extern const std::array<PersonFieldSpec, 13> kPersonFields;

// The current customer of the table as fields, and the fields into the table's current one.
PersonFields personFieldsOf(const CPeople& people);
void assignPerson(CPeople& people, const PersonFields& f);

// "A first and last name must be specified" ("Name Error") when either is empty or blanks.
std::optional<Message> checkPersonName(const PersonFields& f);
// Stores the customer: appended in add mode; in modify mode written over record `record` (a
// changed key moves that record to the new key). The "Add Error" message on a refusal (code
// 20: the customer exists); "Database Error" when the customer to modify is gone.
std::optional<Message> storePerson(CPeople& people, const PersonFields& f, bool modify,
                                   long record = 0);

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
