#pragma once

#include "library/LibrarySnapshot.h"

#include <QHash>
#include <QList>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <optional>

class QMenu;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;
class QVBoxLayout;

namespace tavrin {

class CapsuleMenu;
class LibraryStore;

// Whether a spreadsheet is done, and how to change it. The flag belongs to the workspace store;
// until one is bound every spreadsheet reads "not done" and the mark cannot be toggled.
struct SpreadsheetDoneMarks {
    std::function<bool(const QUuid& spreadsheetID)> isDone;
    std::function<void(const QUuid& spreadsheetID, bool done)> setDone;
};

// The Tableur sidebar: the days in their order, each with its spreadsheets (newest first), the
// filled-row count and done mark of each spreadsheet, their context actions, the "plus" menu and
// the empty states. A container at its foot holds the sync controls.
class MacSidebar : public QWidget {
    Q_OBJECT

public:
    // What each row of tree() holds.
    enum ItemRole { KindRole = Qt::UserRole, IDRole, CountRole, DoneRole };
    enum ItemKind { DayKind, SpreadsheetKind, EmptyDayKind };

    explicit MacSidebar(LibraryStore& store, QWidget* parent = nullptr);

    std::optional<QUuid> selectedDayID() const;
    std::optional<QUuid> selectedSpreadsheetID() const;
    // Selects the spreadsheet when it exists (with its day), else the day when it exists, else
    // nothing.
    void select(const std::optional<QUuid>& dayID, const std::optional<QUuid>& spreadsheetID);

    void setDoneMarks(SpreadsheetDoneMarks marks);
    // Re-reads every done mark (call it when the workspace store changes).
    void refreshDoneMarks();

    // "1 ligne", "2 lignes": the filled-row count of a spreadsheet (a row names a rider's photos,
    // not one photo).
    static QString rowCountText(qsizetype filledRows);

    // A spreadsheet's title as its row shows it at the sidebar's width (elided in the middle);
    // the full title is the row's help.
    QString shownTitle(const QUuid& spreadsheetID) const;
    // Where a spreadsheet row paints its title, left of its count and done mark.
    static QRect spreadsheetTitleRect(const QRect& row, int countWidth);

    // The context menu of a day or spreadsheet row; the caller owns it.
    QMenu* contextMenu(const QUuid& id);
    QTreeWidget* tree() const { return m_tree; }
    CapsuleMenu* plusMenu() const { return m_plus; }
    QWidget* syncFooter() const { return m_syncFooter; }

Q_SIGNALS:
    void selectionChanged();
    void newDayRequested();
    // A null day means the selected day.
    void newSpreadsheetRequested(const QUuid& dayID);
    void renameDayRequested(const QUuid& dayID);
    void renameSpreadsheetRequested(const QUuid& spreadsheetID);
    // "Supprimer le jour" and "Supprimer": the Tableur view asks, deletes and offers the undo.
    void deleteDayRequested(const QUuid& dayID);
    void deleteSpreadsheetRequested(const QUuid& spreadsheetID);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // `spreadsheetID` names the one spreadsheet changed, null for wider changes.
    void reload(const QUuid& spreadsheetID);
    // Each spreadsheet's row and what it shows.
    struct ShownSheet {
        QTreeWidgetItem* item = nullptr;
        QString title;
        QList<RowRecord> rows;
    };
    void showSheet(ShownSheet& shown, const SpreadsheetRecord& sheet);
    // Emits selectionChanged when the selected day or spreadsheet differs from the last one said.
    void noteSelection();
    void rebuild(const QList<QUuid>& structure);
    void updateInPlace();
    QTreeWidgetItem* itemFor(const QUuid& id) const;
    bool isDone(const QUuid& spreadsheetID) const;
    void toggleDone(const QUuid& spreadsheetID);
    QWidget* emptyDayRow(const QUuid& dayID, const QString& dayName);

    LibraryStore& m_store;
    SpreadsheetDoneMarks m_marks;
    QStackedWidget* m_stack;
    QTreeWidget* m_tree;
    CapsuleMenu* m_plus;
    QWidget* m_syncFooter;
    QList<QUuid> m_structure;
    QHash<QUuid, ShownSheet> m_shown;
    bool m_rebuilding = false;
    std::optional<QUuid> m_notedDay;
    std::optional<QUuid> m_notedSpreadsheet;
};

} // namespace tavrin
