#include <gtest/gtest.h>

#include <QPixmap>

#include "platform/runtime_error.h"
#include "support/messagebox_recorder.h"
#include "util/EDiv.h"
#include "util/gui/ListView.h"

using data::Variant;

namespace {

QTreeWidgetItem* addRow(ListView& list, const QString& text, const QString& tag = QString(),
                        const QStringList& subItems = {}) {
    QTreeWidgetItem* item = list.addRow(text);
    ListView::setRowTag(item, tag);
    for (int k = 0; k < subItems.size(); ++k) list.setRowText(item, k + 1, subItems.at(k));
    return item;
}

QStringList tags(const ListView& list) {
    QStringList out;
    for (int i = 1; i <= list.rowCount(); ++i) out << ListView::rowTag(list.row(i));
    return out;
}

QIcon swatch(Qt::GlobalColor colour) {
    QPixmap p(16, 16);
    p.fill(colour);
    return QIcon(p);
}

}  // namespace

TEST(CreateListViewCol, ColumnsFromTriplesAndTheReportSettings) {
    ListView list;
    list.setSorted(true);
    EDiv& e = eFun();
    e.CreateListViewCol(list, {Variant(QString()), Variant(std::int32_t{3600}), Variant(std::int16_t{2})});
    EXPECT_EQ(list.columnHeaderCount(), 1);
    EXPECT_EQ(list.columnCaption(1), "");
    EXPECT_FLOAT_EQ(list.columnWidthTwips(1), 3600);
    EXPECT_EQ(list.columnAlignment(1), 0);  // the first column is always left-aligned
    EXPECT_EQ(list.View(), 3);
    EXPECT_TRUE(list.FullRowSelect());
    EXPECT_FALSE(list.Sorted());
    EXPECT_EQ(list.LabelEdit(), 1);

    e.CreateListViewCol(list, {Variant(QStringLiteral("Código")), Variant(1200), Variant(0), Variant(QStringLiteral("Valor")),
                               Variant(1500)});
    EXPECT_EQ(list.columnHeaderCount(), 1);
    EXPECT_EQ(list.columnCaption(1), "Código");

    e.CreateListViewCol(list, {Variant(QStringLiteral("A")), Variant(QStringLiteral("largo")), Variant(0),
                               Variant(QStringLiteral("B")), Variant(900), Variant(1), Variant(QStringLiteral("C")),
                               Variant(900), Variant(7)});
    ASSERT_EQ(list.columnHeaderCount(), 1);  // a bad width or alignment adds no column
    EXPECT_EQ(list.columnCaption(1), "B");
    EXPECT_EQ(list.columnAlignment(1), 0);
    e.CreateListViewCol(list, {});
    EXPECT_EQ(list.columnHeaderCount(), 0);
}

TEST(CheckMarks, AllCheckedCheckAndInvert) {
    testsupport::MessageBoxRecorder boxes;
    ListView list;
    EDiv& e = eFun();
    EXPECT_FALSE(e.IsTodosChecked(list));
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_EQ(boxes.shown[0].text, "O Listview não tem CheckBoxes!");
    EXPECT_EQ(boxes.shown[0].style, 16);

    list.setCheckboxes(true);
    EXPECT_TRUE(e.IsTodosChecked(list));  // an empty list
    addRow(list, QStringLiteral("a"));
    addRow(list, QStringLiteral("b"));
    addRow(list, QStringLiteral("c"));
    EXPECT_FALSE(e.IsTodosChecked(list));
    e.CheckListView(list, true);
    EXPECT_TRUE(e.IsTodosChecked(list));
    list.setRowChecked(list.row(2), false);
    e.InverteSelecao(list);
    EXPECT_FALSE(list.rowChecked(list.row(1)));
    EXPECT_TRUE(list.rowChecked(list.row(2)));
    e.InverteSelecao(list);
    EXPECT_TRUE(list.rowChecked(list.row(1)));
    EXPECT_FALSE(list.rowChecked(list.row(2)));
    EXPECT_EQ(list.row(1)->checkState(0), Qt::Checked);  // what the user sees

    // Without boxes the marks are kept and come back with them.
    list.setCheckboxes(false);
    e.CheckListView(list, false);
    EXPECT_FALSE(list.rowChecked(list.row(1)));
    list.setRowChecked(list.row(3), true);
    list.setCheckboxes(true);
    EXPECT_EQ(list.row(3)->checkState(0), Qt::Checked);
    EXPECT_EQ(boxes.shown.size(), 1U);
}

TEST(CheckMarks, ListsBeyondTheSixteenBitRowCounter) {
    ListView list;
    list.setCheckboxes(true);
    for (int i = 0; i < 32768; ++i) list.addRow(QString());
    EDiv& e = eFun();
    EXPECT_THROW(e.CheckListView(list, true), platform::RuntimeError);
    EXPECT_THROW(e.IsTodosChecked(list), platform::RuntimeError);
    EXPECT_THROW(e.RemoveItemsFromListView(list, QStringLiteral("x")), platform::RuntimeError);
    EXPECT_NO_THROW(e.InverteSelecao(list));
    EXPECT_FALSE(list.rowChecked(list.row(1)));
}

TEST(RemoveItemsFromListView, EveryRowWithTheTagGoes) {
    ListView list;
    for (const QString& t : {QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("X"), QStringLiteral("X")})
        addRow(list, t, t);
    EDiv& e = eFun();
    e.RemoveItemsFromListView(list, QStringLiteral("X"));
    EXPECT_EQ(tags(list), QStringList{QStringLiteral("Y")});
    e.RemoveItemsFromListView(list, QStringLiteral("x"));  // tags compare exactly
    EXPECT_EQ(list.rowCount(), 1);

    addRow(list, QStringLiteral("sem"), QString());
    addRow(list, QStringLiteral("sem2"), QString());
    e.RemoveItemsFromListView(list);
    EXPECT_EQ(tags(list), QStringList{QStringLiteral("Y")});
}

TEST(MoveListViewItem, SwapsTextsTagsIconsAndMarksWithTheNeighbour) {
    ListView list;
    eFun().CreateListViewCol(list, {Variant(QStringLiteral("Nome")), Variant(1500), Variant(0),
                                    Variant(QStringLiteral("Código")), Variant(900), Variant(1)});
    list.setCheckboxes(true);
    list.setSmallIcons({swatch(Qt::red), swatch(Qt::blue)});
    QTreeWidgetItem* r1 = addRow(list, QStringLiteral("um"), QStringLiteral("t1"), {QStringLiteral("1a")});
    QTreeWidgetItem* r2 = addRow(list, QStringLiteral("dois"), QStringLiteral("t2"), {QStringLiteral("2a")});
    QTreeWidgetItem* r3 = addRow(list, QStringLiteral("três"), QStringLiteral("t3"), {QStringLiteral("3a")});
    list.setRowSmallIcon(r2, 1);
    list.setRowSmallIcon(r3, 2);
    list.setRowChecked(r2, true);
    EDiv& e = eFun();

    list.setSelectedRow(r1);
    e.MoveListViewItem(list, r1, 2);
    EXPECT_EQ(ListView::rowText(r1, 0), "um");
    list.setSelectedRow(r3);
    e.MoveListViewItem(list, r3, 1);
    EXPECT_EQ(ListView::rowText(r3, 0), "três");

    list.setSelectedRow(r2);
    e.MoveListViewItem(list, r2, 1);
    EXPECT_EQ(ListView::rowText(r2, 0), "três");
    EXPECT_EQ(ListView::rowText(r2, 1), "3a");
    EXPECT_EQ(ListView::rowTag(r2), "t3");
    EXPECT_EQ(ListView::rowSmallIcon(r2), 2);
    EXPECT_FALSE(list.rowChecked(r2));
    EXPECT_EQ(ListView::rowText(r3, 0), "dois");
    EXPECT_EQ(ListView::rowText(r3, 1), "2a");
    EXPECT_EQ(ListView::rowTag(r3), "t2");
    EXPECT_EQ(ListView::rowSmallIcon(r3), 1);
    EXPECT_TRUE(list.rowChecked(r3));
    EXPECT_EQ(list.selectedRow(), r3);

    // Only 1 and 2 name a direction; a row short of sub-items stops the move unchanged.
    EXPECT_THROW(e.MoveListViewItem(list, r3, 3), platform::RuntimeError);
    QTreeWidgetItem* r4 = addRow(list, QStringLiteral("quatro"), QStringLiteral("t4"));
    EXPECT_THROW(e.MoveListViewItem(list, r3, 1), platform::RuntimeError);
    EXPECT_EQ(ListView::rowText(r4, 0), "quatro");
    EXPECT_EQ(ListView::rowText(r3, 0), "dois");

    ListView empty;
    EXPECT_NO_THROW(e.MoveListViewItem(empty, nullptr, 1));
    e.RowListview(empty);
    EXPECT_TRUE(empty.FullRowSelect());
}
