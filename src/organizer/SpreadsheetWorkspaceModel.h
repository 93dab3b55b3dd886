#pragma once

// The logic of the spreadsheet workspace for the spreadsheet shown: the plan of its photo
// folder (rebuilt 30 ms after the last change), the preview rows with names, photo ranges and
// marks, the summary and issue lines, the choices, and the organisation run, whose copies go on
// off the main thread and whose results are applied back on it.

#include "base/BackgroundJobs.h"
#include "library/LibraryStore.h"
#include "organizer/PhotoOrganizer.h"
#include "organizer/PreviewRow.h"
#include "organizer/ProgrammeReplacement.h"
#include "organizer/WorkspaceStore.h"

#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

namespace tavrin {

class FollowSession;

class SpreadsheetWorkspaceModel : public QObject {
    Q_OBJECT

public:
    // What a row's numbers come to: its canonical assigned number and its photo key.
    struct RowKeys {
        std::optional<QString> canonical;
        std::optional<QString> photoKey;
    };

    SpreadsheetWorkspaceModel(LibraryStore& library, WorkspaceStore& workspace, QObject* parent = nullptr);
    // A run still going is stopped between two files and what it copied is recorded.
    ~SpreadsheetWorkspaceModel() override;

    LibraryStore& library() const { return m_library; }
    WorkspaceStore& workspace() const { return m_workspace; }

    // Shows a spreadsheet: its persisted choices are restored, then the plan is rebuilt (at once
    // for the first one shown, 30 ms later when the shown spreadsheet changes).
    void setSpreadsheet(const std::optional<QUuid>& spreadsheetID);
    const std::optional<QUuid>& spreadsheetID() const { return m_spreadsheetID; }
    std::optional<SpreadsheetRecord> spreadsheet() const;
    SpreadsheetMacSettings settings() const;

    // The plan as the programme matches it (what the previews tell apart from typed names).
    const QList<PhotoGroup>& groups() const { return m_groups; }
    // The plan as the run uses it: a name typed by hand wins over the programme's, and so names
    // the rider's folder.
    QList<PhotoGroup> runGroups() const;
    const std::optional<QString>& parseError() const { return m_parseError; }
    // Copies standing in a rider folder their photo no longer belongs to, as the plan stands:
    // a run moves the movable ones and names the others.
    const QList<PhotoOrganizer::MisplacedCopy>& plannedMoves() const { return m_plannedMoves; }
    // What keeps the source folder from giving photos: it is missing, or it holds none (and
    // where they are when a sub-folder holds some).
    const std::optional<QString>& sourceProblem() const { return m_sourceProblem; }

    // Every row of the spreadsheet, in stored order, blank rows included.
    QList<PreviewRow> rowsForTable() const;
    // The preview of one row as last computed (kept in step with the rows, plan and settings).
    const PreviewRow* preview(const QUuid& rowID) const;
    const QList<PreviewRow>& previews() const { return m_previews; }
    // The rows whose preview the last previewsChanged changed (or added).
    const QSet<QUuid>& changedPreviews() const { return m_changedPreviews; }

    // "dsc|42" for DSC_0042 and dsc42; the trimmed text lower-cased when it holds no number.
    static std::optional<QString> photoKey(const QString& text);

    static int issueCount(const QList<PreviewRow>& rows);
    // "3 erreurs : 2 sans correspondance, 1 numéro en doublon".
    static QString issueHelp(const QList<PreviewRow>& rows);
    // "24 cavaliers dans l’épreuve · 18 correspondances · 2 sans nom · 1 doublon", or what to
    // choose first.
    QString summaryLine(const QList<PreviewRow>& rows) const;
    std::optional<QString> selectedEventTitle() const;

    // Folders chosen, an event selected and at least one group, and no run going.
    bool canRun() const;
    // Why the run cannot start, in the words shown to the user; none when it can.
    std::optional<QString> runBlocker() const;

    // Choices, through the workspace store. A programme that would leave rows that match today
    // without a rider waits for an answer to replaceQuestion; any other replaces at once.
    void importProgramme(const QString& path);
    // « Remplacer le programme ? 4 lignes qui trouvent leur cavalier n’en trouveraient plus. »
    const std::optional<QString>& replaceQuestion() const { return m_pendingProgramme.question(); }
    // The answer: « Remplacer » or « Annuler ».
    void answerReplaceQuestion(bool replace);
    // « Programme remplacé par « facture.pdf » (1 cavalier). » after a replacement, until it is
    // undone or another programme comes.
    const std::optional<QString>& replacementBanner() const { return m_replacementBanner; }
    void undoProgrammeReplacement();
    void importFolder(WorkspaceStore::FolderKind kind, const QString& path);
    void selectDay(const QString& name);
    void selectEvent(const QString& eventID);
    // A hand-typed last or first name for a row's number (the other name stays as stored).
    void setManualName(const QUuid& rowID, const std::optional<QString>& lastName, const std::optional<QString>& firstName);

    void scheduleRebuild(bool resetReport);
    void rebuildPlan();

    // Starts the run of the shown spreadsheet: nothing happens without a resolvable
    // destination; otherwise the plan is rebuilt and the copies start off the main thread.
    void runOrganizer();
    // Stops the run between two files.
    void cancelRun();
    bool isRunning() const { return bool(m_run); }
    // The last run's report (until another spreadsheet is shown).
    const std::optional<OrganizerReport>& lastReport() const { return m_lastReport; }

    // Following the arrival of photos: each row's photos are copied as soon as its range closes.
    // Why it cannot start, in the words shown to the user; none when it can.
    std::optional<QString> followBlocker() const;
    // A start that fails leaves its French reason as the error text.
    void startFollowing();
    // Copies the last range and records the session in the history (also when another
    // spreadsheet is shown and when the application quits).
    void stopFollowing();
    bool isFollowing() const { return bool(m_follow); }
    // « Suivi : 3 dossiers · 12 photos copiées · dernière copie il y a 8 s »; empty when off.
    QString followStatus() const;

    // Opens a folder for the user (the file manager); empty where there is none.
    std::function<void(const QString& folder)> openFolder;

Q_SIGNALS:
    // The plan was rebuilt.
    void planChanged();
    // The previews changed (rows, plan, names or transfers).
    void previewsChanged();
    // The choices, the error text, the running mark or the report changed.
    void stateChanged();
    void runProgress(qint64 done, qint64 total, const QString& rider);
    void runFinished();
    // Following started or stopped, or copied photos.
    void followChanged();
    // A programme waits for the answer to replaceQuestion.
    void replaceQuestionAsked();
    // The replacement banner appeared or went.
    void replacementBannerChanged();

private:
    struct Run;
    struct RunOutcome;
    struct PreviewContext;

    std::vector<RowKeys> rowKeys(const QList<RowRecord>& rows) const;
    PreviewContext previewContext(const SpreadsheetRecord& sheet) const;
    PreviewRow previewRow(const RowRecord& row, qsizetype index, const PreviewContext& context) const;
    void refreshPreviews();
    void onSettingsChanged(const QUuid& spreadsheetID);
    void onProgrammeChanged();
    void setGroups(QList<PhotoGroup> groups);
    void finishRun(const RunOutcome& outcome);
    void replaceProgramme(const StoredProgramme::ReadFile& read);
    void showFollowFailures(const FollowSession& session);

    LibraryStore& m_library;
    WorkspaceStore& m_workspace;
    std::optional<QUuid> m_spreadsheetID;
    QList<PhotoGroup> m_groups;
    // Row identifier → its group, and each group's photos label.
    QHash<QUuid, qsizetype> m_groupIndex;
    QStringList m_groupLabels;
    QList<PhotoOrganizer::MisplacedCopy> m_plannedMoves;
    PendingProgramme m_pendingProgramme;
    std::optional<QString> m_replacementBanner;
    std::optional<QString> m_parseError;
    std::optional<QString> m_sourceProblem;
    // Rows of the shown spreadsheet whose last run failed to copy photos → what to show.
    QHash<QUuid, QString> m_copyFailures;
    QList<PreviewRow> m_previews;
    struct RowMemo {
        QString photo;
        QString assigned;
        RowKeys keys;
    };
    mutable QHash<QUuid, RowMemo> m_rowMemo;
    // Canonical number → index in the people of the event m_catalogueEventID.
    mutable QHash<QString, qsizetype> m_catalogue;
    mutable std::optional<QString> m_catalogueEventID;
    QHash<QUuid, qsizetype> m_previewIndex;
    QSet<QUuid> m_changedPreviews;
    QTimer m_rebuildTimer;
    // The source folder, so that photos arriving or leaving rebuild the plan.
    QFileSystemWatcher m_sourceWatcher;
    bool m_pendingReset = false;
    bool m_shownOnce = false;
    // What the plan was last built from, so that settings changes elsewhere (names, marks) do
    // not list the folder again.
    std::tuple<std::optional<QByteArray>, std::optional<QString>, std::optional<QString>> m_planInputs;
    std::unique_ptr<Run> m_run;
    std::optional<OrganizerReport> m_lastReport;
    std::unique_ptr<FollowSession> m_follow;
    // The organisation run's copies. Last, so that it is gone before what its results touch.
    BackgroundJobs m_jobs{nullptr, 1};
};

} // namespace tavrin
