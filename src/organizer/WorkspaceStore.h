#pragma once

// The spreadsheet workspace's long-lived store: per spreadsheet, the folders, programme day and
// event, hand-typed rider names, done mark and remembered transfers; the programme all
// spreadsheets share; and the history of organisation runs. Saved in "workspace.json" after
// every change, the programme in "programme.json" beside a copy of its file. The copies each
// run remembers, one per photo, are in the data folder's database.

#include "base/FolderReference.h"
#include "base/SharedJsonFile.h"
#include "organizer/OrganizerHistory.h"
#include "organizer/OrganizerReport.h"
#include "organizer/PhotoGroup.h"
#include "organizer/SpreadsheetMacSettings.h"
#include "organizer/StoredProgramme.h"

#include <QMap>
#include <QSet>

#include <memory>

namespace tavrin {

class Database;

// The content of "workspace.json".
struct WorkspaceFile;

class WorkspaceStore : public StoredProgramme {
    Q_OBJECT

public:
    enum class FolderKind { source, destination };
    static constexpr qsizetype maxHistoryEntries = 40;

    explicit WorkspaceStore(QObject* parent = nullptr);
    ~WorkspaceStore() override;

    // The stored settings, or the defaults (nothing is stored by reading).
    SpreadsheetMacSettings settings(const QUuid& spreadsheetID) const;
    const QMap<QUuid, SpreadsheetMacSettings>& allSettings() const { return m_settings; }
    // Newest first.
    const QList<OrganizerHistoryEntry>& actionHistory() const { return m_actionHistory; }
    const std::optional<QByteArray>& lastDestinationBookmark() const { return m_lastDestinationBookmark; }
    const std::optional<QString>& lastDestinationName() const { return m_lastDestinationName; }
    QString fileURL() const { return m_file.path(); }

    // The events of the programme day of that exact name; empty without one.
    QList<ProgrammeEvent> events(const std::optional<QString>& dayName) const;
    std::optional<ProgrammeEvent> selectedEvent(const QUuid& spreadsheetID) const;

    void selectDay(const std::optional<QString>& name, const QUuid& spreadsheetID);
    void selectEvent(const std::optional<QString>& eventID, const QUuid& spreadsheetID);
    void setCompleted(bool flag, const QUuid& spreadsheetID);
    // Makes the spreadsheet the class being shot (« Épreuve en cours ») from `since` on; nothing
    // when it already is.
    void markShot(const QUuid& spreadsheetID, const QDateTime& since);
    // The spreadsheet that was the class being shot at `time`; none before any was marked.
    std::optional<QUuid> shotAt(const QDateTime& time) const { return shotAt(m_settings, time); }
    static std::optional<QUuid> shotAt(const QMap<QUuid, SpreadsheetMacSettings>& settings, const QDateTime& time);
    // A none name keeps the stored one; both names blank remove the entry.
    void setManualRider(const QUuid& spreadsheetID, const QString& assigned, const std::optional<QString>& lastName,
                        const std::optional<QString>& firstName);
    // The hand-typed name for the number when there is one, else `catalog`.
    std::optional<ImportedPerson> resolvedPerson(const QUuid& spreadsheetID, const QString& assigned,
                                                 const std::optional<ImportedPerson>& catalog) const;
    // The same from a spreadsheet's settings and the number's canonical form.
    static std::optional<ImportedPerson> resolvedPerson(const SpreadsheetMacSettings& settings, const std::optional<QString>& canonical,
                                                        const std::optional<ImportedPerson>& catalog);

    void recordOrganizer(const OrganizerReport& report, const QUuid& spreadsheetID, const QString& title);
    // `placed`: per row, the photos as they stand in the rider folders after the run; they replace
    // what the row remembered.
    void rememberTransfers(const QList<PhotoGroup>& groups, const QUuid& spreadsheetID,
                           const QHash<QUuid, QList<CopiedPhoto>>& placed = {});
    // Every photo the spreadsheet's runs remember having put into a rider folder, by source path.
    CopyMemory rememberedCopies(const QUuid& spreadsheetID) const;
    // Copies that are no longer at these paths (moved to another rider folder) are forgotten,
    // and their photos no longer count as transferred for the rows that had them.
    void forgetCopies(const QSet<QString>& targets, const QUuid& spreadsheetID);
    // Rows whose photos did not all arrive in the last run are no longer marked as transferred.
    void forgetTransfers(const QSet<QUuid>& rowIDs, const QUuid& spreadsheetID);
    // One section per spreadsheet, the one with the newest run first.
    QList<OrganizerHistorySection> historySections() const;

    // When a spreadsheet is shown or the programme changes: inherit the last destination, follow
    // a day or event renamed by a new reading of the programme, and take up the folders.
    void restorePersistedChoices(const QUuid& spreadsheetID);
    void storeFolder(const QString& path, FolderKind kind, const QUuid& spreadsheetID);
    // The folder of that kind when its reference still resolves (access retained, a stale
    // reference refreshed); none otherwise.
    std::optional<QString> resolveFolder(FolderKind kind, const QUuid& spreadsheetID);

    // Every write takes in first what another program (tavrin-cli, a second window) wrote since.
    void persist() override;

Q_SIGNALS:
    // The settings of one spreadsheet changed.
    void settingsChanged(const QUuid& spreadsheetID);
    void historyChanged();

private:
    void store(const QUuid& spreadsheetID, const SpreadsheetMacSettings& settings);
    void refreshStaleBookmark(const QByteArray& old, const QByteArray& fresh);
    SharedJsonFileCore& ownFile() override { return m_file; }
    WorkspaceFile held() const;
    void hold(WorkspaceFile file);
    // Puts the merge of `base` (the file as last read or written here), what is held and
    // `theirs` (another program's file) in place, with its signals.
    bool takeIn(const WorkspaceFile& base, const WorkspaceFile& theirs);
    // The data folder's database, opened at the first need; none when it cannot be (the user is
    // told once), and runs then read the photos again.
    Database* database() const;
    // Moves the copies an older workspace.json kept into the database, once: the database first,
    // then the file without them, under the folder's lock, so that a crash between leaves the
    // old file beside a database that agrees with it, and the next start does it again.
    void migrateLegacyCopies();

    QMap<QUuid, SpreadsheetMacSettings> m_settings;
    QList<OrganizerHistoryEntry> m_actionHistory;
    std::optional<QByteArray> m_lastDestinationBookmark;
    std::optional<QString> m_lastDestinationName;
    SharedJsonFile<WorkspaceFile> m_file;
    FolderAccess m_access;
    mutable std::unique_ptr<Database> m_database;
    mutable bool m_databaseFailed = false;
};

} // namespace tavrin
