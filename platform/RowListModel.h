#pragma once
// Every list of the program (reservations of a day, customers, maintenance items, report
// lines) is a thin model over plain rows: the rows are values filled without widgets and
// tested as values, and the list view asks for the text of only the lines it shows, so a list
// of a million lines opens at once (set the view's uniformItemSizes).
#include <QAbstractListModel>
#include <QString>
#include <functional>
#include <utility>
#include <vector>

namespace quorvane {

template <typename Row>
class RowListModel : public QAbstractListModel {
public:
    using TextOf = std::function<QString(const Row&)>;

    explicit RowListModel(TextOf textOf, QObject* parent = nullptr)
        : QAbstractListModel(parent), textOf_(std::move(textOf)) {}

    // Replaces every row; views keep nothing of the old ones.
    void setRows(std::vector<Row> rows) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
    }
    const std::vector<Row>& rows() const { return rows_; }
    // The row on line `line`, or nullptr outside the list (no selection is -1).
    const Row* row(int line) const {
        return line >= 0 && std::size_t(line) < rows_.size() ? &rows_[std::size_t(line)] : nullptr;
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : int(rows_.size());
    }
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override {
        const Row* r = index.isValid() && index.column() == 0 ? row(index.row()) : nullptr;
        if (!r || role != Qt::DisplayRole) return {};
        return textOf_(*r);
    }

private:
    TextOf textOf_;
    std::vector<Row> rows_;
};

}  // namespace quorvane
