#pragma once
// The report list of the system's screens: column headers with caption, width (twips) and
// alignment, rows addressed from 1 with their texts (Text and the sub-items' texts), a Tag, a
// small icon taken from the list's image list, a check mark, and the selected row. The list
// members of EDiv and the choice dialog work on it.

#include <QHeaderView>
#include <QIcon>
#include <QList>
#include <QString>
#include <QTreeWidget>
#include <cstdint>
#include <vector>

class ListView : public QTreeWidget {
    Q_OBJECT
    Q_PROPERTY(bool Checkboxes READ Checkboxes WRITE setCheckboxes)
    Q_PROPERTY(bool Sorted READ Sorted WRITE setSorted)
    Q_PROPERTY(bool FullRowSelect READ FullRowSelect WRITE setFullRowSelect)
    Q_PROPERTY(int View READ View WRITE setView)
    Q_PROPERTY(int LabelEdit READ LabelEdit WRITE setLabelEdit)
    Q_PROPERTY(bool HideColumnHeaders READ HideColumnHeaders WRITE setHideColumnHeaders)

public:
    explicit ListView(QWidget* parent = nullptr);

    // ---- list settings --------------------------------------------------------------------
    bool Checkboxes() const { return checkboxes_; }
    void setCheckboxes(bool on);
    bool Sorted() const { return isSortingEnabled(); }
    void setSorted(bool on);
    bool FullRowSelect() const { return fullRowSelect_; }
    void setFullRowSelect(bool on);
    int View() const { return view_; }  // 3 = report, the only view shown
    void setView(int view) { view_ = view; }
    int LabelEdit() const { return labelEdit_; }  // 0 automatic, 1 manual (no editing in place)
    void setLabelEdit(int mode);
    bool HideColumnHeaders() const { return header()->isHidden(); }
    void setHideColumnHeaders(bool hide) { header()->setHidden(hide); }

    // The image list of the small icons; an empty list means none is set.
    void setSmallIcons(const QList<QIcon>& images);
    bool hasSmallIcons() const { return !smallIcons_.isEmpty(); }

    // ---- column headers (from 1) ----------------------------------------------------------
    void clearColumnHeaders();
    // Alignment: 0 left, 1 right, 2 centred; the first column is always left-aligned, as the
    // platform's report lists always showed it.
    void addColumnHeader(const QString& caption, float widthTwips, int alignment);
    int columnHeaderCount() const { return static_cast<int>(alignments_.size()); }
    QString columnCaption(int column) const;
    float columnWidthTwips(int column) const;
    int columnAlignment(int column) const;

    // ---- rows (from 1) --------------------------------------------------------------------
    int rowCount() const { return topLevelItemCount(); }
    QTreeWidgetItem* row(int index) const;  // nullptr outside 1..rowCount()
    int indexOfRow(const QTreeWidgetItem* item) const;  // 0 when not a row of this list
    QTreeWidgetItem* addRow(const QString& text);
    void removeRow(int index);
    void clearRows() { clear(); }

    // Text 0 is the row's Text, text k the text of its sub-item k.
    static QString rowText(const QTreeWidgetItem* item, int k);
    void setRowText(QTreeWidgetItem* item, int k, const QString& text);
    static int subItemCount(const QTreeWidgetItem* item);

    static QString rowTag(const QTreeWidgetItem* item);
    static void setRowTag(QTreeWidgetItem* item, const QString& tag);

    // The row's check mark; kept even while the list shows no check boxes.
    bool rowChecked(const QTreeWidgetItem* item) const;
    void setRowChecked(QTreeWidgetItem* item, bool checked);

    // The row's small icon: its place in the image list (0 = none).
    static std::int16_t rowSmallIcon(const QTreeWidgetItem* item);
    void setRowSmallIcon(QTreeWidgetItem* item, std::int16_t index);

    QTreeWidgetItem* selectedRow() const;
    void setSelectedRow(QTreeWidgetItem* item);

private:
    void applyRowLook(QTreeWidgetItem* item);

    bool checkboxes_ = false;
    bool fullRowSelect_ = false;
    int view_ = 0;
    int labelEdit_ = 0;
    QList<QIcon> smallIcons_;
    std::vector<int> alignments_;
    std::vector<float> widths_;
};
