// The list model every list of the program uses: rows as values, text asked for per line.
#include "platform/RowListModel.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QListView>

namespace quorvane {
namespace {

struct Line {
    int number = 0;
};

TEST(RowListModel, GivesTheTextOfExistingLinesOnly) {
    RowListModel<Line> model([](const Line& l) { return QString::number(l.number); });
    EXPECT_EQ(model.rowCount(), 0);
    model.setRows({{7}, {8}, {9}});
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.rowCount(model.index(0)), 0) << "a list: no line has children";
    EXPECT_EQ(model.data(model.index(2)).toString(), "9");
    EXPECT_FALSE(model.data(model.index(3)).isValid());
    EXPECT_FALSE(model.data(model.index(0), Qt::EditRole).isValid());
    EXPECT_EQ(model.row(-1), nullptr);
    EXPECT_EQ(model.row(3), nullptr);
    ASSERT_NE(model.row(1), nullptr);
    EXPECT_EQ(model.row(1)->number, 8);
}

TEST(RowListModel, AViewOfAMillionLinesAsksOnlyForTheLinesItShows) {
    long asked = 0;
    RowListModel<Line> model([&asked](const Line& l) {
        ++asked;
        return QString::number(l.number);
    });
    std::vector<Line> rows(1000000);
    for (int i = 0; i < int(rows.size()); ++i) rows[std::size_t(i)].number = i;
    model.setRows(std::move(rows));

    QListView view;
    view.setUniformItemSizes(true);
    view.setModel(&model);
    view.resize(300, 400);
    view.show();
    QApplication::processEvents();
    view.scrollToBottom();
    QApplication::processEvents();
    EXPECT_GT(asked, 0) << "the view drew some lines";
    EXPECT_LT(asked, 5000) << "but not every line";
}

}  // namespace
}  // namespace quorvane
