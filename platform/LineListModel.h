#pragma once
// A list box's contents as rows of Windows-1252 lines, and a delegate that
// draws a line's tabs at fixed stops (the customer lines line up their columns that way).
#include <QStyledItemDelegate>
#include <string>
#include <vector>

#include "platform/RowListModel.h"

namespace quorvane {

// A list of Windows-1252 lines.
class LineListModel final : public RowListModel<std::string> {
public:
    explicit LineListModel(QObject* parent = nullptr);
    void setLines(std::vector<std::string> lines) { setRows(std::move(lines)); }
    const std::vector<std::string>& lines() const { return rows(); }
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
