#pragma once

#include <QUuid>
#include <QWidget>

class QSplitter;
class QStackedWidget;
class QVBoxLayout;

namespace tavrin {

class EmptyState;
class LibraryStore;
class MacSidebar;
class SpreadsheetPane;

// The Tableur section: the sidebar of days and spreadsheets beside the detail, which is the
// selected spreadsheet's pane or, without a selected spreadsheet, the "Créez un tableur" state.
// It creates, renames and deletes through the naming alerts and remembers the selection.
class TableurView : public QWidget {
    Q_OBJECT

public:
    explicit TableurView(LibraryStore& store, QWidget* parent = nullptr);

    MacSidebar* sidebar() const { return m_sidebar; }
    SpreadsheetPane* spreadsheetPane() const { return m_pane; }
    EmptyState* emptyDetail() const { return m_emptyDetail; }
    // Where the sync badge goes, under the buttons of "Créez un tableur".
    QVBoxLayout* syncBadgeSlot() const;

    // Open the naming alerts: "Nom du jour", "Nom du tableur" (for `dayID`, or the selected day
    // when null), "Renommer le jour", "Renommer le tableur".
    void newDay();
    void newSpreadsheet(const QUuid& dayID = QUuid());
    void renameDay(const QUuid& dayID);
    void renameSpreadsheet(const QUuid& spreadsheetID);

    // What "Enregistrer" does in the two naming alerts.
    void createDay(const QString& name);
    void createSpreadsheet(const QString& title, const QUuid& dayID = QUuid());

    // Selects what the persisted selection names; from then on every change of selection is
    // saved.
    void restoreSelection();

private:
    void selectionChanged();

    LibraryStore& m_store;
    MacSidebar* m_sidebar;
    SpreadsheetPane* m_pane;
    EmptyState* m_emptyDetail;
    QStackedWidget* m_detail;
    QSplitter* m_splitter;
    bool m_restored = false;
};

} // namespace tavrin
