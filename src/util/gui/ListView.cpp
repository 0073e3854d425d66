#include "util/gui/ListView.h"

#include <QHeaderView>
#include <QStyledItemDelegate>
#include <algorithm>
#include <memory>

#include "util/gui/twips.h"

namespace {

constexpr int kTagRole = Qt::UserRole + 1;
constexpr int kCheckedRole = Qt::UserRole + 2;
constexpr int kSmallIconRole = Qt::UserRole + 3;

Qt::Alignment alignmentOf(int code) {
    switch (code) {
        case 1: return Qt::AlignRight | Qt::AlignVCenter;
        case 2: return Qt::AlignHCenter | Qt::AlignVCenter;
        default: return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

// Aligns each column's texts as its header says, without storing anything in the rows (a row's
// sub-items are only those given to it).
class ColumnAlignmentDelegate : public QStyledItemDelegate {
public:
    ColumnAlignmentDelegate(const std::vector<int>& alignments, QObject* parent)
        : QStyledItemDelegate(parent), alignments_(alignments) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const auto column = static_cast<std::size_t>(index.column());
        if (column < alignments_.size()) option->displayAlignment = alignmentOf(alignments_[column]);
    }

private:
    const std::vector<int>& alignments_;
};

}  // namespace

ListView::ListView(QWidget* parent) : QTreeWidget(parent) {
    setItemDelegate(new ColumnAlignmentDelegate(alignments_, this));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    clearColumnHeaders();
    setLabelEdit(0);
}

void ListView::setCheckboxes(bool on) {
    if (on == checkboxes_) return;
    // The check marks move between the visible boxes and the kept value.
    std::vector<bool> marks;
    for (int i = 0; i < topLevelItemCount(); ++i) marks.push_back(rowChecked(topLevelItem(i)));
    checkboxes_ = on;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        topLevelItem(i)->setData(0, kCheckedRole, static_cast<bool>(marks[static_cast<std::size_t>(i)]));
        applyRowLook(topLevelItem(i));
    }
}

void ListView::setSorted(bool on) {
    setSortingEnabled(on);
    if (!on) header()->setSortIndicatorShown(false);
}

void ListView::setFullRowSelect(bool on) {
    fullRowSelect_ = on;
    setAllColumnsShowFocus(on);
}

void ListView::setLabelEdit(int mode) {
    labelEdit_ = mode;
    setEditTriggers(mode == 0 ? (QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed)
                              : QAbstractItemView::NoEditTriggers);
    for (int i = 0; i < topLevelItemCount(); ++i) applyRowLook(topLevelItem(i));
}

void ListView::setSmallIcons(const QList<QIcon>& images) {
    smallIcons_ = images;
    for (int i = 0; i < topLevelItemCount(); ++i) setRowSmallIcon(topLevelItem(i), rowSmallIcon(topLevelItem(i)));
}

void ListView::clearColumnHeaders() {
    alignments_.clear();
    widths_.clear();
    // The rows keep one cell even without headers, so they can still be selected.
    setColumnCount(1);
    headerItem()->setText(0, QString());
}

void ListView::addColumnHeader(const QString& caption, float widthTwips, int alignment) {
    const int column = static_cast<int>(alignments_.size());
    // The first column of a report list is always left-aligned.
    if (column == 0) alignment = 0;
    alignments_.push_back(alignment);
    widths_.push_back(widthTwips);
    setColumnCount(std::max(column + 1, 1));
    headerItem()->setText(column, caption);
    headerItem()->setTextAlignment(column, alignmentOf(alignment));
    setColumnWidth(column, util::gui::pixelsX(widthTwips));
}

QString ListView::columnCaption(int column) const {
    if (column < 1 || column > columnHeaderCount()) return QString();
    return headerItem()->text(column - 1);
}

float ListView::columnWidthTwips(int column) const {
    if (column < 1 || column > columnHeaderCount()) return 0;
    return widths_[static_cast<std::size_t>(column - 1)];
}

int ListView::columnAlignment(int column) const {
    if (column < 1 || column > columnHeaderCount()) return 0;
    return alignments_[static_cast<std::size_t>(column - 1)];
}

QTreeWidgetItem* ListView::row(int index) const {
    if (index < 1 || index > topLevelItemCount()) return nullptr;
    return topLevelItem(index - 1);
}

int ListView::indexOfRow(const QTreeWidgetItem* item) const {
    if (item == nullptr) return 0;
    return indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item)) + 1;
}

QTreeWidgetItem* ListView::addRow(const QString& text) {
    auto* item = new QTreeWidgetItem(this);  // owned by the list
    item->setText(0, text);
    applyRowLook(item);
    return item;
}

void ListView::removeRow(int index) {
    if (row(index) != nullptr) std::unique_ptr<QTreeWidgetItem> gone(takeTopLevelItem(index - 1));
}

QString ListView::rowText(const QTreeWidgetItem* item, int k) {
    if (item == nullptr || k < 0) return QString();
    return item->text(k);
}

void ListView::setRowText(QTreeWidgetItem* item, int k, const QString& text) {
    if (item == nullptr || k < 0) return;
    item->setText(k, text);
}

int ListView::subItemCount(const QTreeWidgetItem* item) {
    if (item == nullptr) return 0;
    return std::max(item->columnCount() - 1, 0);
}

QString ListView::rowTag(const QTreeWidgetItem* item) {
    return item != nullptr ? item->data(0, kTagRole).toString() : QString();
}

void ListView::setRowTag(QTreeWidgetItem* item, const QString& tag) {
    if (item != nullptr) item->setData(0, kTagRole, tag);
}

bool ListView::rowChecked(const QTreeWidgetItem* item) const {
    if (item == nullptr) return false;
    if (checkboxes_) return item->checkState(0) == Qt::Checked;
    return item->data(0, kCheckedRole).toBool();
}

void ListView::setRowChecked(QTreeWidgetItem* item, bool checked) {
    if (item == nullptr) return;
    item->setData(0, kCheckedRole, checked);
    if (checkboxes_) item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
}

std::int16_t ListView::rowSmallIcon(const QTreeWidgetItem* item) {
    return item != nullptr ? static_cast<std::int16_t>(item->data(0, kSmallIconRole).toInt()) : 0;
}

void ListView::setRowSmallIcon(QTreeWidgetItem* item, std::int16_t index) {
    if (item == nullptr) return;
    item->setData(0, kSmallIconRole, static_cast<int>(index));
    const bool shown = index >= 1 && index <= smallIcons_.size();
    item->setIcon(0, shown ? smallIcons_.at(index - 1) : QIcon());
}

QTreeWidgetItem* ListView::selectedRow() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void ListView::setSelectedRow(QTreeWidgetItem* item) {
    if (item == nullptr) {
        clearSelection();
        return;
    }
    setCurrentItem(item);
    item->setSelected(true);
}

void ListView::applyRowLook(QTreeWidgetItem* item) {
    Qt::ItemFlags flags = item->flags();
    flags.setFlag(Qt::ItemIsEditable, labelEdit_ == 0);
    flags.setFlag(Qt::ItemIsUserCheckable, checkboxes_);
    item->setFlags(flags);
    if (checkboxes_) {
        item->setCheckState(0, item->data(0, kCheckedRole).toBool() ? Qt::Checked : Qt::Unchecked);
    } else {
        item->setData(0, Qt::CheckStateRole, QVariant());
    }
}
