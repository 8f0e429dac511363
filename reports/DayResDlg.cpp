#include "reports/DayResDlg.h"

#include <QDateEdit>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/GroupCommands.h"
#include "app/GroupLayout.h"
#include "app/ZUKRecDoc.h"
#include "base/Clock.h"
#include "group/GroupFile.h"
#include "platform/Help.h"
#include "platform/Prompter.h"
#include "platform/TextCodec.h"
#include "reports/DayGlance.h"
#include "reports/ReportPrinting.h"

namespace quorvane {

namespace {

QFont chartFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

}  // namespace

DayRowArea::DayRowArea(CDayResDlg& dlg, int position, QWidget* parent)
    : QFrame(parent), dlg_(dlg), position_(position) {
    setObjectName(QString::number(CDayResDlg::kRowAreaIds[std::size_t(position)]));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

void DayRowArea::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QPainterSurface surface(painter);
    paintDayRow(surface, dlg_.items(), position_, dlg_.startHour(), dlg_.quarterWidth(), rect(),
                dlg_.occupiedColor());
    // Hour marks and the frame, so a bar can be read against the scale above.
    painter.setPen(QColor(200, 200, 200));
    for (int hour = 1; hour < kDayHours; ++hour) {
        const int x = hour * 4 * dlg_.quarterWidth();
        painter.drawLine(x, 0, x, height() / 4);
        painter.drawLine(x, height() - 1 - height() / 4, x, height() - 1);
    }
    painter.setPen(QColor(128, 128, 128));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

CDayResDlg::CDayResDlg(CZUKRecDoc& doc, int startHour, std::uint32_t occupiedColor, QWidget* parent)
    : QDialog(parent),
      doc_(doc),
      startHour_(std::clamp(startHour, 0, kMaxStartHour)),
      color_(occupiedColor) {
    setWindowTitle(QStringLiteral("Day at a Glance"));
    setObjectName(QString::number(kDialogId));
    const QFont fixed = chartFont();
    const int w = std::max(1, QFontMetrics(fixed).horizontalAdvance(QLatin1Char('.')));

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    const LocalTime now = appClock().localNow();
    date_ = {now.year, now.month, now.day};
    dateEdit_ = new QDateEdit(QDate(date_.year, date_.month, date_.day), this);
    dateEdit_->setObjectName(QString::number(kDateId));
    dateEdit_->setDisplayFormat(QStringLiteral("dddd, MMMM d, yyyy"));
    dateEdit_->setCalendarPopup(true);
    top->addWidget(dateEdit_);
    top->addSpacing(12);
    auto* hourLabel = new QLabel(QStringLiteral("&Starting hour:"), this);
    hourEdit_ = new QLineEdit(QString::number(startHour_), this);
    hourEdit_->setObjectName(QString::number(kStartHourId));
    hourEdit_->setMaxLength(2);
    hourEdit_->setFixedWidth(
        QFontMetrics(hourEdit_->font()).horizontalAdvance(QStringLiteral("000")) + 12);
    hourLabel->setBuddy(hourEdit_);
    upDown_ = new UpDownControl(this);
    upDown_->setObjectName(QString::number(kUpDownId));
    upDown_->setRange(0, kMaxStartHour);
    upDown_->setPosition(startHour_);
    top->addWidget(hourLabel);
    top->addWidget(hourEdit_);
    top->addWidget(upDown_);
    top->addStretch(1);
    auto* refreshButton = new QPushButton(QStringLiteral("&Refresh"), this);
    refreshButton->setObjectName(QString::number(kRefreshId));
    refreshButton->setAutoDefault(false);
    top->addWidget(refreshButton);
    layout->addLayout(top);

    // Columns: facility buttons, a gap, one character cell, the 48 quarter cells. The scales
    // start one cell left of the bars, so each hour's number stands over its first quarter.
    auto* chart = new QGridLayout;
    chart->setHorizontalSpacing(0);
    chart->setVerticalSpacing(2);
    chart->setColumnMinimumWidth(1, 8);
    chart->setColumnMinimumWidth(2, w);
    auto scaleLabel = [&](int id) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::number(id));
        label->setFont(fixed);
        label->setContentsMargins(0, 0, 0, 0);
        label->setIndent(0);
        label->setMargin(0);
        return label;
    };
    upperScale_ = scaleLabel(kUpperScaleId);
    lowerScale_ = scaleLabel(kLowerScaleId);
    chart->addWidget(upperScale_, 0, 2, 1, 2);
    const int rowHeight = QPushButton(QStringLiteral("Court")).sizeHint().height();
    for (int i = 0; i < 15; ++i) {
        auto* button = new QPushButton(this);
        button->setObjectName(QString::number(kRowButtonIds[std::size_t(i)]));
        button->setAutoDefault(false);
        button->setMinimumWidth(QFontMetrics(button->font()).horizontalAdvance(QString(16, 'M')));
        auto* area = new DayRowArea(*this, i, this);
        area->setFixedSize(kDayQuarters * w, rowHeight);
        button->hide();
        area->hide();
        chart->addWidget(button, 1 + i, 0);
        chart->addWidget(area, 1 + i, 3);
        rowButtons_[std::size_t(i)] = button;
        rowAreas_[std::size_t(i)] = area;
        connect(button, &QPushButton::clicked, this, [this, i] { openRow(i); });
    }
    chart->addWidget(lowerScale_, 16, 2, 1, 2);
    layout->addLayout(chart);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QString::number(kOkId));
    ok->setDefault(true);
    auto* print = new QPushButton(QStringLiteral("&Print"), this);
    print->setObjectName(QString::number(kPrintId));
    print->setAutoDefault(false);
    auto* help = new QPushButton(QStringLiteral("&Help"), this);
    help->setObjectName(QString::number(kHelpId));
    help->setAutoDefault(false);
    for (QPushButton* b : {ok, print, help}) bottom->addWidget(b);
    layout->addLayout(bottom);

    // Opening: the quarter width from the first row's area, the rows of the group's
    // facilities, the day's items.
    quarterWidth_ = std::max(1, rowAreas_[0]->width() / kDayQuarters);
    const GroupFile& group = doc_.group();
    for (int i = 0; i < std::min(group.count, 15); ++i) {
        rowButtons_[std::size_t(i)]->setText(fromCp1252(group.rooms[std::size_t(i)].name));
        rowButtons_[std::size_t(i)]->show();
        rowAreas_[std::size_t(i)]->show();
    }
    updateScaleLabels();
    loadItems();

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(refreshButton, &QPushButton::clicked, this, &CDayResDlg::refresh);
    connect(print, &QPushButton::clicked, this, &CDayResDlg::printChart);
    connect(help, &QPushButton::clicked, this,
            [] { appHelp().showTopic(helpContext(unsigned(kDialogId))); });
    connect(dateEdit_, &QDateEdit::dateChanged, this, &CDayResDlg::refresh);
    connect(upDown_, &UpDownControl::moved, this, [this](int value) {
        hourEdit_->setText(QString::number(value));
        upDownMoved();
    });
}

bool CDayResDlg::readFields() {
    const QDate d = dateEdit_->date();
    date_ = {d.year(), d.month(), d.day()};
    int hour = startHour_;
    // Blanks are trimmed before the conversion: one that Windows-1252 cannot hold would
    // become a '?' and refuse an hour that is right.
    const std::string message = readStartHour(toCp1252(hourEdit_->text().trimmed()), hour);
    if (!message.empty()) {
        appPrompter().message(fromCp1252(message), {}, PromptIcon::Warning);
        hourEdit_->setFocus();
        hourEdit_->selectAll();
        return false;
    }
    startHour_ = hour;
    upDown_->setPosition(hour);
    return true;
}

void CDayResDlg::updateScaleLabels() {
    const QString scale = QString::fromLatin1(dayScaleText(startHour_));
    upperScale_->setText(scale);
    lowerScale_->setText(scale);
    lowerScale_->setVisible(lowerScaleShown(doc_.facilityCount()));
}

void CDayResDlg::loadItems() {
    chart_ = loadDayChart(
        doc_.group(),
        [this](const std::string& key, std::vector<_SCHEDITEM>& out) {
            return doc_.dayItems(key, out);
        },
        date_);
}

void CDayResDlg::refresh() {
    readFields();
    updateScaleLabels();
    loadItems();
    update();
    for (DayRowArea* area : rowAreas_) area->update();
}

void CDayResDlg::upDownMoved() {
    // Only the drawing follows the hour; the day's items stay as loaded.
    readFields();
    updateScaleLabels();
    update();
    for (DayRowArea* area : rowAreas_) area->update();
}

void CDayResDlg::setDate(const DayDate& date) {
    dateEdit_->setDate(QDate(date.year, date.month, date.day));
}

void CDayResDlg::openRow(int position) {
    if (position < 0 || position >= doc_.facilityCount()) return;
    const FacilityOpener& open = facilityOpener();
    if (!open) return;
    if (open(doc_, position, date_, this)) refresh();
}

PrintDocument CDayResDlg::document() const {
    // The rows' names as loaded, the hour as it stands now (the up-down only redraws).
    return dayChartDocument(chart_, startHour_);
}

void CDayResDlg::printChart() {
    // The fields are read first: a wrong starting hour is said before anything is printed.
    if (!readFields()) return;
    PrintRequest request;
    const PrintDocument chart = document();
    request.pdfPath = pdfBeside(doc_.basePath(), chart.name);
    request.parent = this;
    const PrintOutcome outcome = printDocument(chart, request);
    if (outcome.status == PrintOutcome::Failed)
        appPrompter().message(
            QStringLiteral("The chart could not be printed: %1").arg(outcome.error),
            QStringLiteral("Print Error"), PromptIcon::Stop);
}

}  // namespace quorvane
