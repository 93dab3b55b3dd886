#pragma once

#include "library/LibraryStore.h"

#include <QAbstractTableModel>
#include <QSet>

#include <functional>
#include <optional>

namespace tavrin {

// The rows of one spreadsheet as a table, kept in step with the library store row by row: an
// edit, insertion or deletion anywhere (here, on a phone, in an import) becomes the matching
// insert, remove or dataChanged, never a reset, so an open editor and the current cell survive
// while the user types.
//
// The two number columns come first. Other screens add theirs (rider names, photos, status
// marks) with appendColumn: a column reads its data from the row through its `data` function,
// may accept typed text through `edit`, and is repainted with refreshRows when what it shows
// changes outside the library (a new plan, a new programme).
class RowsTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    struct Column {
        QString title;
        // Qt roles (DisplayRole, EditRole, DecorationRole, ToolTipRole…) for one row.
        std::function<QVariant(const RowRecord& row, int role)> data;
        // Stores typed text; empty for read-only columns.
        std::function<void(const RowRecord& row, const QString& text)> edit;
        int preferredWidth = 130;
    };

    enum { photoNumberColumn = 0, assignedNumberColumn = 1 };

    explicit RowsTableModel(LibraryStore& store, QObject* parent = nullptr);

    LibraryStore& store() const { return m_store; }
    void setSpreadsheet(const std::optional<QUuid>& spreadsheetID);
    const std::optional<QUuid>& spreadsheetID() const { return m_spreadsheetID; }

    int appendColumn(Column column);
    const Column& column(int index) const { return m_columns[index]; }
    // Announces the cells of columns first…last in the given rows as changed; only those, so that
    // the rest of the table (and an editor open there) is left alone.
    void refreshRows(const QSet<QUuid>& rowIDs, int firstColumn, int lastColumn);
    bool isEditable(int column) const;

    const RowRecord& rowAt(int row) const { return m_rows[row]; }
    int rowOf(const QUuid& rowID) const;
    // False for the only row and for the trailing blank row in which new numbers are typed.
    bool canDelete(int row) const;

    // Row operations through the store; each returns the row index of the new row.
    int insertBlankRow(int row, bool before);
    int addBlankRow();
    void deleteRowAt(int row);

    // Pastes a block of cells with its top-left at (row, column): cells land in consecutive
    // columns, read-only ones are skipped, and numbers pasted past the end add rows. The numbers
    // are written in one go. Returns the rows pasted into, or -1 when nothing could be pasted.
    int paste(int row, int column, const QList<QStringList>& block);
    // The text of some cells as a block: the rows and columns they span, tab between cells,
    // line feed between rows, empty text for the cells of the span that are not among them.
    QString textOf(const QModelIndexList& cells) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void onSnapshotChanged(const QUuid& spreadsheetID);
    QList<RowRecord> storedRows() const;
    void apply(QList<RowRecord> next);
    // The id of the row an edit goes to: the stored row, or a new stored row for the ready row.
    QUuid storedRowID(int row);

    LibraryStore& m_store;
    std::optional<QUuid> m_spreadsheetID;
    QList<Column> m_columns;
    QList<RowRecord> m_rows;
};

} // namespace tavrin
