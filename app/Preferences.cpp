#include "app/Preferences.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/AppDialogs.h"
#include "platform/AppSettings.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "platform/UpDownControl.h"

namespace quorvane {

namespace {
QLabel* wrappedLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}
}  // namespace

CPreferencePage::CPreferencePage(PreferencesModel& model, int dialogId, const QString& title,
                                 QWidget* parent)
    : QWidget(parent), model_(model), dialogId_(dialogId), title_(title) {
    setObjectName(QString::number(dialogId));
    setHelpDialogId(this, dialogId);
}

void CPreferencePage::setModified(bool modified) {
    if (modified_ == modified) return;
    modified_ = modified;
    emit modifiedChanged(modified);
}

// Page 1 -------------------------------------------------------------------------------------

CRefreshNetwork::CRefreshNetwork(PreferencesModel& model, QWidget* parent)
    : CPreferencePage(model, kDialogId, QStringLiteral("Refresh Network Reservations"), parent) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(wrappedLabel(
        QStringLiteral("You only need to set this property if\n  1) You are sharing groups over a "
                       "network and\n  2) You keep these groups open for extended periods of time"),
        this));
    refresh_ = new QCheckBox(QStringLiteral("Refresh network reservations"), this);
    refresh_->setObjectName(QString::number(kRefresh));
    refresh_->setChecked(model_.refresh);
    layout->addWidget(refresh_);
    layout->addWidget(wrappedLabel(
        QStringLiteral("This setting causes some minor network overhead but insures that your "
                       "display will be updated when a reservation made by another user becomes "
                       "active."),
        this));
    layout->addWidget(wrappedLabel(
        QStringLiteral("Set the following property only if network reservations are still not "
                       "being seen after setting the above property. Some networks require this."),
        this));
    flush_ = new QCheckBox(QStringLiteral("Force network buffer flush"), this);
    flush_->setObjectName(QString::number(kFlush));
    flush_->setChecked(model_.forceNetworkFlush);
    layout->addWidget(flush_);
    layout->addStretch();
    connect(refresh_, &QCheckBox::clicked, this, [this] { setModified(true); });
    connect(flush_, &QCheckBox::clicked, this, [this] { setModified(true); });
}

void CRefreshNetwork::save() {
    model_.refresh = refresh_->isChecked();
    model_.forceNetworkFlush = flush_->isChecked();
}

// Page 2 -------------------------------------------------------------------------------------

CStartHourDlg::CStartHourDlg(PreferencesModel& model, QWidget* parent)
    : CPreferencePage(model, kDialogId, QStringLiteral("Starting Hour"), parent) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(wrappedLabel(
        QStringLiteral("The Day at a Glance dialog shows reservations for a 12 hour period. Enter "
                       "the starting hour from 0 (midnight) to 12 (noon) you would like for this "
                       "period. For example, entering 8 will cause the dailog to show reservations "
                       "from 8:00 A.M. to 8:00 P.M."),
        this));
    auto* row = new QHBoxLayout;
    hour_ = new QLineEdit(model_.startHourText, this);
    hour_->setObjectName(QString::number(kHourEdit));
    hour_->setMaximumWidth(60);
    auto* upDown = new UpDownControl(this, QSize(18, 12));
    upDown->setBuddy(hour_);
    upDown->setRange(prefs::kMinStartHour, prefs::kMaxStartHour);
    upDown->setObjectName(QString::number(kUpDown));
    row->addWidget(hour_);
    row->addWidget(upDown);
    row->addStretch();
    layout->addLayout(row);
    layout->addStretch();
    connect(hour_, &QLineEdit::textChanged, this, [this] { setModified(true); });
}

void CStartHourDlg::save() {
    model_.startHourText = hour_->text();
}

QString CStartHourDlg::validate() const {
    PreferencesModel probe = model_;
    probe.startHourText = hour_->text();
    return probe.validateStartHour();
}

// Page 3 -------------------------------------------------------------------------------------

CDeleteOldRes::CDeleteOldRes(PreferencesModel& model, QWidget* parent)
    : CPreferencePage(model, kDialogId, QStringLiteral("Delete Reservations"), parent) {
    auto* layout = new QVBoxLayout(this);
    label_ = new QLabel(QStringLiteral("Enter the number of days to keep old reservations:"), this);
    label_->setObjectName(QString::number(kDaysLabel));
    layout->addWidget(label_);
    days_ = new QLineEdit(model_.daysText, this);
    days_->setObjectName(QString::number(kDaysEdit));
    days_->setMaximumWidth(80);
    layout->addWidget(days_);
    doNotDelete_ =
        new QCheckBox(QStringLiteral("Do not automatically delete old reservations"), this);
    doNotDelete_->setObjectName(QString::number(kDoNotDelete));
    doNotDelete_->setChecked(model_.doNotDelete);
    layout->addWidget(doNotDelete_);
    layout->addStretch();
    connect(doNotDelete_, &QCheckBox::clicked, this, [this] {
        updateEnabled();
        setModified(true);
    });
    connect(days_, &QLineEdit::textEdited, this, [this] { setModified(true); });
    updateEnabled();
}

void CDeleteOldRes::updateEnabled() {
    const bool enabled = !doNotDelete_->isChecked();
    label_->setEnabled(enabled);
    days_->setEnabled(enabled);
}

void CDeleteOldRes::save() {
    model_.daysText = days_->text();
    model_.doNotDelete = doNotDelete_->isChecked();
}

QString CDeleteOldRes::validate() const {
    PreferencesModel probe = model_;
    probe.daysText = days_->text();
    return probe.validateDays();
}

// Pages 4 and 5 ------------------------------------------------------------------------------

CColorPage::CColorPage(PreferencesModel& model, bool occupied, QWidget* parent)
    : CPreferencePage(
          model, occupied ? kOccupiedId : kUnoccupiedId,
          occupied ? QStringLiteral("Reservation Color") : QStringLiteral("Background Color"),
          parent),
      occupied_(occupied) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(wrappedLabel(
        occupied ? QStringLiteral("Set the text color shown when an facility is currently reserved")
                 : QStringLiteral("Set a facility icon's background color"),
        this));
    swatch_ = new QLabel(this);
    swatch_->setFixedSize(120, 40);
    swatch_->setFrameShape(QFrame::Box);
    swatch_->setAlignment(Qt::AlignCenter);
    layout->addWidget(swatch_);
    auto* row = new QHBoxLayout;
    auto* select = new QPushButton(QStringLiteral("Select Color"), this);
    select->setObjectName(QString::number(kSelectColor));
    auto* reset = new QPushButton(QStringLiteral("Reset to Default"), this);
    reset->setObjectName(QString::number(kResetColor));
    row->addWidget(select);
    row->addWidget(reset);
    row->addStretch();
    layout->addLayout(row);
    layout->addStretch();
    connect(select, &QPushButton::clicked, this, &CColorPage::selectColor);
    connect(reset, &QPushButton::clicked, this, &CColorPage::resetColor);
    updateSwatch();
}

int CColorPage::color() const {
    return occupied_ ? model_.occupiedColor : model_.unoccupiedColor;
}

void CColorPage::selectColor() {
    const std::optional<QColor> chosen = appDialogs().chooseColor(colorFromRef(color()), this);
    if (!chosen) return;
    if (occupied_)
        model_.selectOccupiedColor(refFromColor(*chosen));
    else
        model_.selectUnoccupiedColor(refFromColor(*chosen));
    updateSwatch();
    setModified(true);
}

void CColorPage::resetColor() {
    if (occupied_)
        model_.resetOccupiedColor();
    else
        model_.resetUnoccupiedColor();
    updateSwatch();
    setModified(true);
}

void CColorPage::updateSwatch() {
    const QColor c = colorFromRef(color());
    // The occupied colour is a text colour, the background colour a fill: show each as used.
    if (occupied_) {
        swatch_->setText(QStringLiteral("Occupant"));
        swatch_->setStyleSheet(QStringLiteral("color: %1; background: white;").arg(c.name()));
    } else {
        swatch_->setText(QString());
        swatch_->setStyleSheet(QStringLiteral("background: %1;").arg(c.name()));
    }
}

// The sheet ----------------------------------------------------------------------------------

CPreferences::CPreferences(ViewPreferences& copies, QWidget* parent)
    : QDialog(parent), copies_(copies), model_(copies, appSettings()) {
    setWindowTitle(QStringLiteral("Preferences"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    pages_ << new CRefreshNetwork(model_, this) << new CStartHourDlg(model_, this)
           << new CDeleteOldRes(model_, this) << new COccupiedColor(model_, this)
           << new CUnoccupiedColor(model_, this);
    for (CPreferencePage* p : pages_) {
        tabs_->addTab(p, p->title());
        connect(p, &CPreferencePage::modifiedChanged, this, &CPreferences::updateApply);
    }
    layout->addWidget(tabs_);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QString::number(kOk));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QString::number(kCancel));
    apply_ = buttons->addButton(QDialogButtonBox::Apply);
    apply_->setObjectName(QString::number(kApply));
    QPushButton* help = buttons->addButton(QDialogButtonBox::Help);
    help->setObjectName(QString::number(kHelp));
    connect(ok, &QPushButton::clicked, this, &CPreferences::accept);
    connect(cancel, &QPushButton::clicked, this, &CPreferences::reject);
    connect(apply_, &QPushButton::clicked, this, &CPreferences::apply);
    connect(help, &QPushButton::clicked, this,
            [this] { appHelp().showTopic(helpContext(page(currentPage())->dialogId())); });
    layout->addWidget(buttons);

    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
        if (switching_) return;
        const int wanted = index + 1;
        if (!leavePage(current_)) {
            switching_ = true;
            tabs_->setCurrentIndex(current_ - 1);
            switching_ = false;
            return;
        }
        current_ = wanted;
        if (current_ == prefs::kPageDelete) deletePageShown_ = true;
    });
    updateApply();
}

CPreferencePage* CPreferences::page(int number) const {
    return number >= 1 && number <= pages_.size() ? pages_[number - 1] : nullptr;
}

int CPreferences::currentPage() const {
    return current_;
}

bool CPreferences::setCurrentPage(int number) {
    if (!page(number)) return false;
    tabs_->setCurrentIndex(number - 1);
    return current_ == number;
}

bool CPreferences::leavePage(int number) {
    CPreferencePage* p = page(number);
    const QString message = p->validate();
    if (!message.isEmpty()) {
        appPrompter().message(message);
        return false;
    }
    p->save();
    return true;
}

bool CPreferences::store() {
    if (!leavePage(current_)) return false;
    for (CPreferencePage* p : pages_) p->save();
    result_ = model_.store(copies_);
    if (result_.invalid.page != 0) {
        appPrompter().message(result_.invalid.message);
        switching_ = true;
        tabs_->setCurrentIndex(result_.invalid.page - 1);
        switching_ = false;
        current_ = result_.invalid.page;
        return false;
    }
    for (CPreferencePage* p : pages_) p->setModified(false);
    emit stored(result_);
    return true;
}

bool CPreferences::apply() {
    if (deletePageShown_) return store();
    if (!leavePage(current_)) return false;
    for (CPreferencePage* p : pages_) p->setModified(false);
    return true;
}

void CPreferences::accept() {
    if (store()) QDialog::accept();
}

void CPreferences::updateApply() {
    bool any = false;
    for (CPreferencePage* p : pages_) any = any || p->isModified();
    apply_->setEnabled(any);
}

}  // namespace quorvane
