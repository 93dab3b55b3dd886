#pragma once

#include "library/LibraryStore.h"

#include <QFrame>
#include <QTimer>
#include <QUuid>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QAction;
class QLabel;
class QMessageBox;
class QSplitter;
class QStackedWidget;
class QVBoxLayout;

namespace tavrin {

class EmptyState;
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

    // "Supprimer" of a spreadsheet, at once; "Supprimer le jour" asks first when the day holds
    // rows. Either is followed by the banner that can undo it.
    void deleteSpreadsheet(const QUuid& spreadsheetID);
    void deleteDay(const QUuid& dayID);
    // The question asked before deleting a day that holds rows.
    static QString deleteDayQuestion(const QString& dayName, qsizetype spreadsheets);

    // "Annuler" and "Rétablir" of the notes (Ctrl+Z, Ctrl+Shift+Z or Ctrl+Y) in the table and
    // the sidebar; they show what they changed.
    QAction* undoAction() const { return m_undo; }
    QAction* redoAction() const { return m_redo; }
    void undo();
    void redo();
    // An undo that comes before the notes' own while `pending` says so (a programme replaced just
    // now in the screen below the table): Ctrl+Z and the menu's « Annuler » do it first.
    void setPriorityUndo(std::function<bool()> pending, std::function<void()> undo);
    // The undo action's state, after the priority undo came or went.
    void refreshUndo();

    // The banner shown for a while after a deletion, and its "Annuler".
    QWidget* deletionBanner() const { return m_banner; }
    QString deletionBannerText() const;
    QAbstractButton* deletionBannerUndo() const { return m_bannerUndo; }
    static constexpr int deletionBannerMilliseconds = 10000;

private:
    void selectionChanged();
    void showDeletionBanner(const QString& text);
    // Selects what an undo or redo changed.
    void reveal(const std::optional<LibraryStore::NotesFocus>& focus);

    LibraryStore& m_store;
    MacSidebar* m_sidebar;
    SpreadsheetPane* m_pane;
    EmptyState* m_emptyDetail;
    QStackedWidget* m_detail;
    QSplitter* m_splitter;
    QAction* m_undo;
    QAction* m_redo;
    QFrame* m_banner;
    QLabel* m_bannerText;
    QAbstractButton* m_bannerUndo;
    QTimer m_bannerTimer;
    quint64 m_bannerStep = 0;
    std::function<bool()> m_priorityPending;
    std::function<void()> m_priorityUndo;
    bool m_restored = false;
};

} // namespace tavrin
