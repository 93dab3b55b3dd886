#include "organizer/OrganizerHistoryPanel.h"

#include "base/UserDefaults.h"

#include <QLocale>

namespace tavrin {

OrganizerHistoryPanel::OrganizerHistoryPanel(WorkspaceStore& workspace, LibraryStore& library, QObject* parent)
    : QObject(parent), m_workspace(workspace), m_library(library)
{
    connect(&m_workspace, &WorkspaceStore::historyChanged, this, &OrganizerHistoryPanel::changed);
    // Titles follow renames and deletions; every keystroke changes the library, rarely a title.
    connect(&m_library, &LibraryStore::snapshotChanged, this, [this] {
        QStringList titles;
        for (const OrganizerHistorySection& section : sections()) titles.push_back(section.title);
        if (titles == m_shownTitles) return;
        m_shownTitles = titles;
        Q_EMIT changed();
    });
}

QList<OrganizerHistorySection> OrganizerHistoryPanel::sections() const
{
    QList<OrganizerHistorySection> sections = m_workspace.historySections();
    for (OrganizerHistorySection& section : sections)
        if (const std::optional<SpreadsheetRecord> sheet = m_library.snapshot().spreadsheet(section.id)) section.title = sheet->title;
    return sections;
}

bool OrganizerHistoryPanel::expanded() const { return UserDefaults::standard().boolValue(kTableurHistoryExpandedKey).value_or(true); }

void OrganizerHistoryPanel::setExpanded(bool expanded)
{
    if (expanded == this->expanded() && UserDefaults::standard().contains(kTableurHistoryExpandedKey)) return;
    UserDefaults::standard().setBool(kTableurHistoryExpandedKey, expanded);
    Q_EMIT changed();
}

QString OrganizerHistoryPanel::toggleHelp() const
{
    return expanded() ? QStringLiteral("Replier l’historique") : QStringLiteral("Déplier l’historique");
}

QString OrganizerHistoryPanel::dateText(const QDateTime& date)
{
    const QLocale french(QLocale::French, QLocale::France);
    const QDateTime local = date.toLocalTime();
    return french.toString(local.date(), QStringLiteral("d MMM yyyy")) + QStringLiteral(" à ")
        + french.toString(local.time(), QStringLiteral("HH:mm"));
}

} // namespace tavrin
