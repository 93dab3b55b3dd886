#pragma once

// The history panel of the spreadsheet workspace: past runs grouped by spreadsheet under the
// spreadsheets' current titles, folded or not as the user left it.

#include "library/LibraryStore.h"
#include "organizer/WorkspaceStore.h"

#include <QObject>

namespace tavrin {

inline const QString kTableurHistoryExpandedKey = QStringLiteral("tableurHistoryExpanded");

class OrganizerHistoryPanel : public QObject {
    Q_OBJECT

public:
    // Runs shown per entry.
    static constexpr qsizetype maxMessagesShown = 4;

    OrganizerHistoryPanel(WorkspaceStore& workspace, LibraryStore& library, QObject* parent = nullptr);

    // The workspace's sections, titled after the spreadsheets still in the library.
    QList<OrganizerHistorySection> sections() const;

    // True until the user folds the panel ("tableurHistoryExpanded").
    bool expanded() const;
    void setExpanded(bool expanded);
    void toggle() { setExpanded(!expanded()); }
    QString toggleHelp() const;

    // "4 déc. 2026 à 23:18", in local time.
    static QString dateText(const QDateTime& date);

Q_SIGNALS:
    void changed();

private:
    WorkspaceStore& m_workspace;
    LibraryStore& m_library;
    QStringList m_shownTitles;
};

} // namespace tavrin
