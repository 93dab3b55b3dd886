#include "library/views/RowsTableModel.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <climits>

namespace tavrin {

RowsTableModel::RowsTableModel(LibraryStore& store, QObject* parent) : QAbstractTableModel(parent), m_store(store)
{
    // The two typed numbers: shown and edited as typed, each stored alone by updateRow.
    auto numberColumn = [this](const QString& title, QString RowRecord::*field, bool photo) {
        return Column{
            title,
            [field](const RowRecord& row, int role) -> QVariant {
                if (role == Qt::DisplayRole || role == Qt::EditRole) return row.*field;
                return {};
            },
            [this, photo](const RowRecord& row, const QString& text) {
                m_store.updateRow(*m_spreadsheetID, row.id, photo ? std::optional(text) : std::nullopt,
                                  photo ? std::nullopt : std::optional(text));
            },
        };
    };
    m_columns.push_back(numberColumn(QStringLiteral("N° photo"), &RowRecord::photoNumber, true));
    m_columns.push_back(numberColumn(QStringLiteral("N° attribué"), &RowRecord::assignedNumber, false));
    connect(&m_store, &LibraryStore::snapshotChanged, this, &RowsTableModel::onSnapshotChanged);
}

void RowsTableModel::setSpreadsheet(const std::optional<QUuid>& spreadsheetID)
{
    beginResetModel();
    m_spreadsheetID = spreadsheetID;
    m_rows = storedRows();
    endResetModel();
}

int RowsTableModel::appendColumn(Column column)
{
    const int index = int(m_columns.size());
    beginInsertColumns(QModelIndex(), index, index);
    m_columns.push_back(std::move(column));
    endInsertColumns();
    return index;
}

void RowsTableModel::refreshRows(const QSet<QUuid>& rowIDs, int firstColumn, int lastColumn)
{
    for (int k = 0; k < m_rows.size();) {
        if (!rowIDs.contains(m_rows[k].id)) {
            ++k;
            continue;
        }
        int end = k;
        while (end < m_rows.size() && rowIDs.contains(m_rows[end].id)) ++end;
        Q_EMIT dataChanged(index(k, firstColumn), index(end - 1, lastColumn));
        k = end;
    }
}

bool RowsTableModel::isEditable(int column) const
{
    return column >= 0 && column < m_columns.size() && bool(m_columns[column].edit);
}

int RowsTableModel::rowOf(const QUuid& rowID) const
{
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].id == rowID) return i;
    return -1;
}

bool RowsTableModel::canDelete(int row) const
{
    if (row < 0 || row >= m_rows.size() || !m_spreadsheetID) return false;
    const std::optional<SpreadsheetRecord> sheet = m_store.snapshot().spreadsheet(*m_spreadsheetID);
    if (!sheet || sheet->rows.size() <= 1) return false;
    return !(row == m_rows.size() - 1 && m_rows[row].isBlank());
}

// A spreadsheet received from elsewhere may end without a blank row; the table still offers one,
// stored only when something is typed into it.
QList<RowRecord> RowsTableModel::storedRows() const
{
    if (!m_spreadsheetID) return {};
    const std::optional<SpreadsheetRecord> sheet = m_store.snapshot().spreadsheet(*m_spreadsheetID);
    if (!sheet) return {};
    QList<RowRecord> rows = sheet->rows;
    if (rows.isEmpty() || !rows.last().isBlank()) rows.push_back(RowRecord{});
    return rows;
}

QUuid RowsTableModel::storedRowID(int row)
{
    if (!m_rows[row].id.isNull()) return m_rows[row].id;
    const std::optional<RowRecord> added = m_store.addRow(*m_spreadsheetID);
    return added ? added->id : QUuid();
}

int RowsTableModel::insertBlankRow(int row, bool before)
{
    if (!m_spreadsheetID || row < 0 || row >= m_rows.size()) return -1;
    const LibraryStore::EditGroup step(m_store);
    const QUuid anchor = storedRowID(row);
    const std::optional<RowRecord> inserted = m_store.insertRow(*m_spreadsheetID, anchor, before);
    return inserted ? rowOf(inserted->id) : -1;
}

int RowsTableModel::addBlankRow()
{
    if (!m_spreadsheetID) return -1;
    const std::optional<RowRecord> added = m_store.addRow(*m_spreadsheetID);
    return added ? rowOf(added->id) : -1;
}

void RowsTableModel::deleteRowAt(int row)
{
    if (!canDelete(row)) return;
    m_store.deleteRow(*m_spreadsheetID, m_rows[row].id);
}

int RowsTableModel::paste(int row, int column, const QList<QStringList>& block)
{
    if (!m_spreadsheetID || row < 0 || row >= m_rows.size() || column < 0 || block.isEmpty()) return -1;
    // One paste, one step to undo.
    const LibraryStore::EditGroup step(m_store);
    int rows = int(block.size());
    if (column <= assignedNumberColumn) {
        QList<LibraryStore::RowPatch> patches;
        for (const QStringList& line : block) {
            LibraryStore::RowPatch patch;
            for (int j = 0; j < line.size(); ++j) {
                if (column + j == photoNumberColumn) patch.photoNumber = line[j];
                if (column + j == assignedNumberColumn) patch.assignedNumber = line[j];
            }
            patches.push_back(patch);
        }
        const QUuid first = storedRowID(row);
        if (first.isNull()) return -1;
        m_store.updateRows(*m_spreadsheetID, first, patches);
        row = rowOf(first);
        if (row < 0) return -1;
    } else {
        // Names and other columns never add rows: a name needs the numbers of its row.
        rows = std::min(rows, int(m_rows.size()) - row);
    }
    // The other columns cell by cell, each through its own store.
    for (int i = 0; i < rows; ++i) {
        const QStringList& line = block[i];
        for (int j = 0; j < line.size(); ++j) {
            const int c = column + j;
            if (c > assignedNumberColumn && isEditable(c) && row + i < m_rows.size()) setData(index(row + i, c), line[j]);
        }
    }
    return rows;
}

QString RowsTableModel::textOf(const QModelIndexList& cells) const
{
    if (cells.isEmpty()) return {};
    int top = INT_MAX, bottom = -1, left = INT_MAX, right = -1;
    QHash<QPair<int, int>, QString> texts;
    for (const QModelIndex& cell : cells) {
        if (!cell.isValid() || cell.model() != this) continue;
        top = std::min(top, cell.row());
        bottom = std::max(bottom, cell.row());
        left = std::min(left, cell.column());
        right = std::max(right, cell.column());
        QVariant text = data(cell, Qt::EditRole);
        if (!text.isValid()) text = data(cell, Qt::DisplayRole);
        texts.insert({cell.row(), cell.column()}, text.toString());
    }
    QStringList lines;
    for (int r = top; r <= bottom; ++r) {
        QStringList line;
        for (int c = left; c <= right; ++c) line.push_back(texts.value({r, c}));
        lines.push_back(line.join(u'\t'));
    }
    return lines.join(u'\n');
}

void RowsTableModel::onSnapshotChanged(const QUuid& spreadsheetID)
{
    if (!m_spreadsheetID || (!spreadsheetID.isNull() && spreadsheetID != *m_spreadsheetID)) return;
    apply(storedRows());
}

void RowsTableModel::apply(QList<RowRecord> next)
{
    // The blank row at the end, where new numbers are typed, stays the same row whatever its
    // identifier: the offered row becomes the stored one, and a merge that replaced the trailing
    // blank row by a new one keeps it in place, with any editor open in it.
    if (!m_rows.isEmpty() && m_rows.last().isBlank() && !next.isEmpty() && next.last().isBlank()
        && rowOf(next.last().id) < 0
        && std::none_of(next.cbegin(), next.cend(), [&](const RowRecord& r) { return r.id == m_rows.last().id; }))
        m_rows.last().id = next.last().id;

    QSet<QUuid> nextIDs;
    for (const RowRecord& r : next) nextIDs.insert(r.id);

    // Removed rows, in runs from the bottom.
    for (int i = int(m_rows.size()) - 1; i >= 0;) {
        if (nextIDs.contains(m_rows[i].id)) {
            --i;
            continue;
        }
        int first = i;
        while (first > 0 && !nextIDs.contains(m_rows[first - 1].id)) --first;
        beginRemoveRows(QModelIndex(), first, i);
        m_rows.remove(first, i - first + 1);
        endRemoveRows();
        i = first - 1;
    }

    // Rows that stayed but came back in another order (a merge): a layout change that moves the
    // current cell and any editor with their row.
    QSet<QUuid> keptIDs;
    for (const RowRecord& r : m_rows) keptIDs.insert(r.id);
    QHash<QUuid, int> newPosition;
    for (const RowRecord& r : next)
        if (keptIDs.contains(r.id)) newPosition.insert(r.id, int(newPosition.size()));
    bool reordered = false;
    for (int i = 0; i < m_rows.size() && !reordered; ++i) reordered = newPosition.value(m_rows[i].id) != i;
    if (reordered) {
        Q_EMIT layoutAboutToBeChanged();
        QList<RowRecord> rows(m_rows.size());
        for (const RowRecord& r : m_rows) rows[newPosition.value(r.id)] = r;
        const QModelIndexList from = persistentIndexList();
        QModelIndexList to;
        for (const QModelIndex& index : from) to.push_back(this->index(newPosition.value(m_rows[index.row()].id), index.column()));
        m_rows = std::move(rows);
        changePersistentIndexList(from, to);
        Q_EMIT layoutChanged();
    }

    // New rows, in runs.
    for (int k = 0; k < next.size();) {
        if (k < m_rows.size() && m_rows[k].id == next[k].id) {
            ++k;
            continue;
        }
        int end = k;
        while (end < next.size() && !keptIDs.contains(next[end].id)) ++end;
        beginInsertRows(QModelIndex(), k, end - 1);
        for (int j = k; j < end; ++j) m_rows.insert(j, next[j]);
        endInsertRows();
        k = end;
    }

    // Changed contents, in runs.
    const int lastColumn = columnCount() - 1;
    for (int k = 0; k < next.size();) {
        if (m_rows[k] == next[k]) {
            ++k;
            continue;
        }
        int end = k;
        while (end < next.size() && m_rows[end] != next[end]) {
            m_rows[end] = next[end];
            ++end;
        }
        Q_EMIT dataChanged(index(k, 0), index(end - 1, lastColumn));
        k = end;
    }
}

int RowsTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }

int RowsTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_columns.size()); }

QVariant RowsTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size()) return {};
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
    return m_columns[index.column()].data(m_rows[index.row()], role);
}

bool RowsTableModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !isEditable(index.column()) || !m_spreadsheetID) return false;
    const QString text = value.toString();
    if (data(index, Qt::EditRole).toString() == text) return true;
    // The offered row stored and typed into: one step.
    const LibraryStore::EditGroup step(m_store);
    const int row = rowOf(storedRowID(index.row()));
    if (row < 0) return false;
    // A copy: the edit rewrites the rows while it runs.
    const RowRecord target = m_rows[row];
    m_columns[index.column()].edit(target, text);
    return true;
}

Qt::ItemFlags RowsTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (isEditable(index.column())) f |= Qt::ItemIsEditable;
    return f;
}

QVariant RowsTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal) return section < m_columns.size() ? m_columns[section].title : QVariant();
    return section + 1;
}

} // namespace tavrin
