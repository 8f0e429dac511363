#include "reports/ResReportDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QVBoxLayout>

#include "group/GroupTables.h"
#include "app/ZUKRecDoc.h"
#include "platform/DialogButtons.h"
#include "platform/LineListModel.h"
#include "platform/Printing.h"
#include "platform/TextCodec.h"

namespace quorvane {

CResReportDlg::CResReportDlg(CZUKRecDoc& doc, std::int64_t defaultStart, QWidget* parent)
    : QDialog(parent), doc_(doc), range_(this, new QVBoxLayout(this), defaultStart) {
    setObjectName(QString::number(kDialogId));
    setModal(true);
    setWindowTitle(QStringLiteral("Reservation Report Options"));
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    auto* lists = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(label(this, kFacilityLabel,
                          QStringLiteral("Include Only Selected %1(s)").arg(doc.typeName())));
    facilities_ = selectionList(this, kFacilities, facilityRows(doc), true);
    left->addWidget(facilities_);
    auto* right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("Include Only Selected Customers"), this));
    CPeople* people = doc.tables() ? doc.tables()->people() : nullptr;
    if (people) customerRows(*people, customerRows_);
    std::vector<QString> customerTexts;
    for (const RecordRow& row : customerRows_) customerTexts.push_back(fromCp1252(row.line));
    customers_ = selectionList(this, kCustomers, customerTexts, true);
    customers_->setFont(printerFont());
    // Tabs at every 100 dialog units, as in the other customer choosers: the names and the
    // organizations line up in columns. The list scrolls sideways rather than cut them.
    customers_->setItemDelegate(new TabStopDelegate(100, customers_));
    customers_->setTextElideMode(Qt::ElideNone);
    customers_->setMinimumWidth(560);
    right->addWidget(customers_);
    lists->addLayout(left, 1);
    lists->addLayout(right, 2);
    layout->addLayout(lists);
    const DialogButtons buttons = addDialogButtons(this, layout, kDialogId, kHelp, false);
    connect(buttons.ok, &QPushButton::clicked, this, &CResReportDlg::accept);
}

ReservationOptions CResReportDlg::options() const {
    ReservationOptions o;
    o.start = range_.start();
    o.end = range_.end();
    o.facilities = selectedRows(facilities_);
    for (int row : selectedRows(customers_))
        o.customerRecords.push_back(customerRows_[std::size_t(row)].record);
    return o;
}

void CResReportDlg::setRange(std::int64_t start, std::int64_t end) {
    range_.setRange(start, end);
}

void CResReportDlg::selectFacilities(const std::vector<int>& rows) {
    selectRows(facilities_, rows);
}

void CResReportDlg::selectCustomers(const std::vector<int>& rows) {
    selectRows(customers_, rows);
}

bool CResReportDlg::validate() {
    const ReservationOptions o = options();
    if (const auto refusal = checkReservationOptions(o)) {
        showMessage(*refusal);
        return false;
    }
    return true;
}

void CResReportDlg::accept() {
    if (validate()) QDialog::accept();
}

}  // namespace quorvane
