// List-view members of EDiv: columns from a description array, check marks, removing rows by
// tag and moving a row. Row counters are 16-bit, as the system's were: a list of more than
// 32767 rows is an overflow for the members that let their errors reach the caller.

#include <exception>

#include "platform/messagebox.h"
#include "platform/runtime_error.h"
#include "util/EDiv.h"
#include "util/gui/ListView.h"

namespace {

std::int16_t rowCounter(const ListView& list) {
    if (list.rowCount() > 32767) platform::raiseOverflow();
    return static_cast<std::int16_t>(list.rowCount());
}

}  // namespace

void EDiv::CreateListViewCol(ListView& lstView, const std::vector<Variant>& aData) {
    lstView.clearColumnHeaders();
    lstView.setSorted(false);
    lstView.setFullRowSelect(true);
    lstView.setView(3);
    lstView.setLabelEdit(1);
    for (std::size_t i = 0; i + 2 < aData.size(); i += 3) {
        try {
            const QString caption = aData[i].toString();
            const double width = aData[i + 1].toDouble();
            const std::int16_t alignment = aData[i + 2].toInt16();
            if (alignment < 0 || alignment > 2) continue;  // not an alignment: no column
            lstView.addColumnHeader(caption, static_cast<float>(width), alignment);
        } catch (const std::exception&) {
        }
    }
}

void EDiv::RowListview(ListView& lstView) { lstView.setFullRowSelect(true); }

bool EDiv::IsTodosChecked(ListView& lvwListView) {
    if (!lvwListView.Checkboxes()) {
        platform::MsgBox(QStringLiteral("O Listview não tem CheckBoxes!"), platform::mb::Critical);
        return false;
    }
    const std::int16_t count = rowCounter(lvwListView);
    for (std::int16_t i = 1; i <= count; ++i) {
        if (!lvwListView.rowChecked(lvwListView.row(i))) return false;
    }
    return true;
}

void EDiv::CheckListView(ListView& lvwList, bool blnValue) {
    const std::int16_t count = rowCounter(lvwList);
    for (std::int16_t i = 1; i <= count; ++i) lvwList.setRowChecked(lvwList.row(i), blnValue);
}

void EDiv::InverteSelecao(ListView& lvwList) {
    // A list too long for the row counter is passed over, as its loop could not start.
    if (lvwList.rowCount() > 32767) return;
    for (int i = 1; i <= lvwList.rowCount(); ++i) {
        QTreeWidgetItem* item = lvwList.row(i);
        lvwList.setRowChecked(item, !lvwList.rowChecked(item));
    }
}

void EDiv::RemoveItemsFromListView(ListView& lvwListView, const QString& strTagToRemove) {
    rowCounter(lvwListView);
    int i = 1;
    while (i <= lvwListView.rowCount()) {
        if (ListView::rowTag(lvwListView.row(i)) == strTagToRemove) {
            lvwListView.removeRow(i);
            i = 1;
        } else {
            ++i;
        }
    }
}

void EDiv::MoveListViewItem(ListView& lvwListView, QTreeWidgetItem* Item, std::int32_t UpDown) {
    const std::int16_t count = rowCounter(lvwListView);
    if (count == 0) return;
    const int at = lvwListView.indexOfRow(Item);
    if (at == 0) platform::raiseSubscript();
    int neighbourAt = 0;
    if (UpDown == 2) {
        if (at == 1) return;
        neighbourAt = at - 1;
    } else if (UpDown == 1) {
        if (at == count) return;
        neighbourAt = at + 1;
    }
    QTreeWidgetItem* neighbour = lvwListView.row(neighbourAt);
    if (neighbour == nullptr) platform::raiseSubscript();

    const int n = ListView::subItemCount(lvwListView.selectedRow());
    // Both rows are read in full before either is written: a row short of sub-items stops the
    // move with nothing changed.
    if (ListView::subItemCount(Item) < n || ListView::subItemCount(neighbour) < n) platform::raiseSubscript();

    struct Saved {
        QString tag;
        std::int16_t icon = 0;
        bool checked = false;
        std::vector<QString> texts;
    };
    auto save = [&](QTreeWidgetItem* row) {
        Saved s;
        s.tag = ListView::rowTag(row);
        if (lvwListView.hasSmallIcons()) s.icon = ListView::rowSmallIcon(row);
        if (lvwListView.Checkboxes()) s.checked = lvwListView.rowChecked(row);
        for (int k = 0; k <= n; ++k) s.texts.push_back(ListView::rowText(row, k));
        return s;
    };
    const Saved mine = save(Item);
    const Saved theirs = save(neighbour);
    for (int k = 0; k <= n; ++k) {
        lvwListView.setRowText(Item, k, theirs.texts[static_cast<std::size_t>(k)]);
        lvwListView.setRowText(neighbour, k, mine.texts[static_cast<std::size_t>(k)]);
    }
    ListView::setRowTag(Item, theirs.tag);
    ListView::setRowTag(neighbour, mine.tag);
    if (lvwListView.hasSmallIcons()) {
        lvwListView.setRowSmallIcon(Item, theirs.icon);
        lvwListView.setRowSmallIcon(neighbour, mine.icon);
    }
    if (lvwListView.Checkboxes()) {
        lvwListView.setRowChecked(Item, theirs.checked);
        lvwListView.setRowChecked(neighbour, mine.checked);
    }
    lvwListView.setSelectedRow(neighbour);
}
