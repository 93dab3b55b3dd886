#pragma once

#include <QUuid>
#include <QWidget>

#include <optional>

class QLabel;
class QVBoxLayout;

namespace tavrin {

class LibraryStore;
class RowsTableModel;
class RowsTableView;

// The detail of a selected spreadsheet: its title, day and photo count over the rows table.
// The workspace screen adds its controls above the table (programme, day, event, folders) and
// its panels below it (history) through the two slots, and its columns through the model.
class SpreadsheetPane : public QWidget {
    Q_OBJECT

public:
    explicit SpreadsheetPane(LibraryStore& store, QWidget* parent = nullptr);

    void setSpreadsheet(const std::optional<QUuid>& spreadsheetID);
    std::optional<QUuid> spreadsheetID() const;

    RowsTableModel* model() const { return m_model; }
    RowsTableView* table() const { return m_table; }
    QVBoxLayout* aboveTable() const { return m_above; }
    QVBoxLayout* belowTable() const { return m_below; }

private:
    void updateHeader();

    LibraryStore& m_store;
    RowsTableModel* m_model;
    RowsTableView* m_table;
    QLabel* m_title;
    QLabel* m_subtitle;
    QVBoxLayout* m_above;
    QVBoxLayout* m_below;
};

} // namespace tavrin
