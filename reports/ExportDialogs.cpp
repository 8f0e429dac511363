#include "reports/ExportDialogs.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/DialogButtons.h"

namespace quorvane {

CAddrFileExists::CAddrFileExists(const QString& dataPath, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Address File Exists"));
    auto* layout = new QVBoxLayout(this);
    auto* text = new QLabel(
        QStringLiteral("The address file %1 or its index file already exists.").arg(dataPath),
        this);
    text->setWordWrap(true);
    layout->addWidget(text);
    auto* row = new QHBoxLayout;
    auto button = [this, row](const QString& label, int id) {
        auto* b = new QPushButton(label, this);
        b->setObjectName(QString::number(id));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, id] {
            choice_ = id;
            done(id == kCancelId ? QDialog::Rejected : QDialog::Accepted);
        });
        row->addWidget(b);
        return b;
    };
    button(QStringLiteral("Delete Existing File"), kDeleteId);
    button(QStringLiteral("Change Name"), kChangeNameId);
    button(QStringLiteral("Cancel"), kCancelId)->setDefault(true);
    layout->addLayout(row);
}

CCalendarExportDlg::CCalendarExportDlg(const std::vector<QString>& customers,
                                       const std::vector<QString>& facilities, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Export to Calendar File"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel(QStringLiteral("Export the reservations from today on of:"), this));
    auto* grid = new QGridLayout;
    all_ = new QRadioButton(QStringLiteral("&Every facility of the group"), this);
    customer_ = new QRadioButton(QStringLiteral("One &customer:"), this);
    facility_ = new QRadioButton(QStringLiteral("One &facility:"), this);
    customers_ = new QComboBox(this);
    facilities_ = new QComboBox(this);
    for (const QString& c : customers) customers_->addItem(c);
    for (const QString& f : facilities) facilities_->addItem(f);
    all_->setObjectName(QString::number(kAllId));
    customer_->setObjectName(QString::number(kCustomerId));
    facility_->setObjectName(QString::number(kFacilityId));
    customers_->setObjectName(QString::number(kCustomerListId));
    facilities_->setObjectName(QString::number(kFacilityListId));
    customer_->setEnabled(!customers.empty());
    facility_->setEnabled(!facilities.empty());
    grid->addWidget(all_, 0, 0, 1, 2);
    grid->addWidget(customer_, 1, 0);
    grid->addWidget(customers_, 1, 1);
    grid->addWidget(facility_, 2, 0);
    grid->addWidget(facilities_, 2, 1);
    layout->addLayout(grid);
    all_->setChecked(true);
    auto sync = [this] {
        customers_->setEnabled(customer_->isChecked());
        facilities_->setEnabled(facility_->isChecked());
    };
    for (QRadioButton* b : {all_, customer_, facility_})
        connect(b, &QRadioButton::toggled, this, sync);
    sync();
    addDialogButtons(this, layout, kDialogId, kHelpId);
}

CalendarScope CCalendarExportDlg::scope() const {
    if (customer_->isChecked()) return {CalendarScope::Customer, customers_->currentIndex()};
    if (facility_->isChecked()) return {CalendarScope::Facility, facilities_->currentIndex()};
    return {};
}

void CCalendarExportDlg::setScope(const CalendarScope& scope) {
    (scope.kind == CalendarScope::Customer   ? customer_
     : scope.kind == CalendarScope::Facility ? facility_
                                             : all_)
        ->setChecked(true);
    if (scope.kind == CalendarScope::Customer) customers_->setCurrentIndex(scope.index);
    if (scope.kind == CalendarScope::Facility) facilities_->setCurrentIndex(scope.index);
}

}  // namespace quorvane
