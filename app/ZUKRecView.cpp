#include "app/ZUKRecView.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

#include "app/Preferences.h"
#include "app/ZUKRecDoc.h"
#include "platform/AppSettings.h"

namespace quorvane {

CZUKRecView::CZUKRecView(CZUKRecDoc* doc, QWidget* parent)
    : QWidget(parent), doc_(doc), prefs_(ViewPreferences::load(AppSettings())) {
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    setPalette(palette);
    setMinimumSize(100, 100);
    connect(doc_, &CZUKRecDoc::contentsChanged, this, qOverload<>(&QWidget::update));
}

QString CZUKRecView::headerText(int count, const QString& typeName, const QString& description) {
    QString text = typeName;
    if (count == 1)
        while (text.endsWith(QLatin1Char('s'))) text.chop(1);
    if (!description.isEmpty()) text += QStringLiteral(" - ") + description;
    return QStringLiteral("%1 %2  %3")
        .arg(count)
        .arg(text, QStringLiteral("(click icon for reservations)"));
}

int CZUKRecView::headerX(int count, int textWidth, int charWidth) {
    int x;
    if (count <= 1)
        x = 3 * charWidth;
    else if (count == 2)
        x = 30 * charWidth - textWidth / 2;
    else
        x = 41 * charWidth - textWidth / 2;
    return std::max(x, charWidth);
}

void CZUKRecView::drawHeader(QPainter& painter, const CZUKRecDoc& doc) {
    const QFontMetrics metrics(painter.font(), painter.device());
    const int lineHeight = metrics.height() + metrics.leading();
    const QString text = headerText(doc.facilityCount(), doc.typeName(), doc.description());
    const int x =
        headerX(doc.facilityCount(), metrics.horizontalAdvance(text), metrics.averageCharWidth());
    const QPen old = painter.pen();
    painter.setPen(QColor(0, 0, 255));
    painter.drawText(x, lineHeight + metrics.ascent(), text);
    painter.setPen(old);
}

void CZUKRecView::showPreferences() {
    CPreferences sheet(prefs_, this);
    connect(&sheet, &CPreferences::stored, this, [this](const PreferencesStoreResult& result) {
        if (result.anyWritten) update();
    });
    sheet.exec();
}

void CZUKRecView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    drawHeader(painter, *doc_);
}

}  // namespace quorvane
