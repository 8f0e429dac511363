#pragma once
// A list box's contents as a thin model over plain Windows-1252 lines, and a delegate that
// draws a line's tabs at fixed stops (the customer lines line up their columns that way).
#include <QAbstractListModel>
#include <QStyledItemDelegate>
#include <string>
#include <vector>

namespace quorvane {

class LineListModel final : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    void setLines(std::vector<std::string> lines);
    const std::vector<std::string>& lines() const { return lines_; }
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    std::vector<std::string> lines_;
};

class TabStopDelegate final : public QStyledItemDelegate {
public:
    // `dialogUnits` of the dialog's font: a quarter of its average character width each.
    TabStopDelegate(int dialogUnits, QObject* parent);
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    int dialogUnits_;
};

}  // namespace quorvane
