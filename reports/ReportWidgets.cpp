#include "reports/ReportWidgets.h"

#include <QBoxLayout>
#include <QLabel>
#include <QListView>
#include <algorithm>

#include "app/ZUKRecDoc.h"
#include "base/Clock.h"
#include "group/GroupFile.h"
#include "platform/RowListModel.h"
#include "platform/TextCodec.h"

namespace quorvane {

DateRangeRow::DateRangeRow(QWidget* owner, QBoxLayout* layout, std::int64_t defaultStart) {
    auto* dates = new QHBoxLayout;
    start_ = new DateInstantEdit(kStartDate, owner);
    end_ = new DateInstantEdit(kEndDate, owner);
    dates->addWidget(new QLabel(QStringLiteral("Start Date"), owner));
    dates->addWidget(start_);
    dates->addWidget(new QLabel(QStringLiteral("End Date"), owner));
    dates->addWidget(end_);
    layout->addLayout(dates);
    const std::int64_t now = appClock().now();
    end_->setInstant(now);
    start_->setInstant(std::min(defaultStart, now));
}

void DateRangeRow::setRange(std::int64_t start, std::int64_t end) {
    start_->setInstant(start);
    end_->setInstant(end);
}

QListView* selectionList(QWidget* owner, int id, const std::vector<QString>& rows, bool multi) {
    auto* view = new QListView(owner);
    view->setObjectName(QString::number(id));
    auto* model = new RowListModel<QString>([](const QString& row) { return row; }, view);
    model->setRows(rows);
    view->setModel(model);
    view->setSelectionMode(multi ? QAbstractItemView::MultiSelection
                                 : QAbstractItemView::SingleSelection);
    view->setUniformItemSizes(true);
    return view;
}

std::vector<int> selectedRows(const QListView* view) {
    std::vector<int> rows;
    for (const QModelIndex& i : view->selectionModel()->selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void selectRows(QListView* view, const std::vector<int>& rows) {
    view->clearSelection();
    for (int r : rows)
        view->selectionModel()->select(view->model()->index(r, 0), QItemSelectionModel::Select);
}

std::vector<QString> facilityRows(const CZUKRecDoc& doc) {
    std::vector<QString> rows;
    for (int i = 0; i < doc.facilityCount(); ++i)
        rows.push_back(fromCp1252(doc.group().rooms[std::size_t(i)].name));
    return rows;
}

QLabel* label(QWidget* owner, int id, const QString& text) {
    auto* l = new QLabel(text, owner);
    l->setObjectName(QString::number(id));
    return l;
}

}  // namespace quorvane
