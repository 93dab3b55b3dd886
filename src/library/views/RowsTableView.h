#pragma once

#include <QPersistentModelIndex>
#include <QTableView>

namespace tavrin {

class RowsTableModel;

// The spreadsheet of n° photo and n° attribué, typed like a spreadsheet at a show: typing
// replaces the cell, Enter commits and moves down (back to the column where a run of Tab began),
// Tab and Shift-Tab move right and left across the editable columns (wrapping to the next or
// previous row), Escape cancels, Delete clears. Copy, cut and paste carry blocks of cells as
// tab-separated lines, the way other spreadsheets and notes apps exchange them.
// Every commit is written by the store before the next key is handled, so no keystroke is lost.
class RowsTableView : public QTableView {
    Q_OBJECT

public:
    explicit RowsTableView(RowsTableModel* model, QWidget* parent = nullptr);

    RowsTableModel* rowsModel() const { return m_model; }

    // "Insérer une ligne au-dessus", "Insérer une ligne en dessous", "Supprimer la ligne" (only
    // where a row may be deleted) and "Ajouter une ligne", for the row menu and the toolbar.
    QAction* insertAboveAction() const { return m_insertAbove; }
    QAction* insertBelowAction() const { return m_insertBelow; }
    QAction* deleteRowAction() const { return m_deleteRow; }
    QAction* addRowAction() const { return m_addRow; }
    QAction* copyAction() const { return m_copy; }
    QAction* pasteAction() const { return m_paste; }

    void moveTo(int row, int column);
    // Stores what is being typed in the open editor, as leaving the cell would, and closes it:
    // before the table shows another spreadsheet, nothing typed is dropped.
    void commitEditor();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    void moveAcross(int direction);
    void moveDown(int step);
    // The row below `row` for Enter and Tab: from the row typed at the end, the blank row that
    // ends the table now.
    int rowBelow(int row) const;
    void clearSelectedCells();
    void copySelectedCells();
    void pasteClipboard();
    void startTyping(const QString& text);
    void updateActions();

    RowsTableModel* m_model;
    // The column where a run of Tab began: Enter goes back to it on the next row, so a row is
    // typed as photo, Tab, assigned, Enter.
    int m_tabAnchor = -1;
    bool m_moving = false;
    // The row being typed when it was the blank row that ends the table: rows another program or
    // a phone adds meanwhile land below it, and Enter must not lead into them, where typing would
    // replace their numbers.
    QPersistentModelIndex m_entryRow;
    QAction* m_insertAbove;
    QAction* m_insertBelow;
    QAction* m_deleteRow;
    QAction* m_addRow;
    QAction* m_copy;
    QAction* m_paste;
};

} // namespace tavrin
