#include "organizer/SpreadsheetWorkspaceModel.h"

// The plan of the photo folder and the organisation run: its copies go on off the main thread
// and their results are applied back on it.

#include "organizer/FileErrors.h"
#include "organizer/SpreadsheetWorkspaceShared.h"

#include <cerrno>

namespace tavrin {

using workspace_detail::filesLabel;
using workspace_detail::kChooseEvent;
using workspace_detail::kRun;

struct SpreadsheetWorkspaceModel::RunOutcome {
    std::optional<OrganizerReport> report;
    QString error;
    qsizetype groupsFinished = 0;
    bool cancelled = false;
    QList<PhotoOrganizer::CopyFailure> failures;
    QHash<QUuid, QList<CopiedPhoto>> placed;
    QList<PhotoOrganizer::MisplacedCopy> misplaced;
};

// ---- Plan

void SpreadsheetWorkspaceModel::scheduleRebuild(bool resetReport)
{
    m_pendingReset = resetReport;
    m_rebuildTimer.start();
}

void SpreadsheetWorkspaceModel::setGroups(QList<PhotoGroup> groups)
{
    m_groups = std::move(groups);
    // What the previews show of each group, worked out once per plan rather than per preview.
    m_groupIndex.clear();
    m_groupIndex.reserve(m_groups.size());
    m_groupLabels.clear();
    m_groupLabels.reserve(m_groups.size());
    for (qsizetype i = 0; i < m_groups.size(); ++i) {
        const PhotoGroup& group = m_groups[i];
        m_groupIndex.insert(group.row.id, i);
        m_groupLabels.push_back(group.files.isEmpty() ? QString() : filesLabel(group.files.size(), group.rangeLabel(), true));
    }
    // Copies a run would move into each row's folder, shown before the run.
    m_plannedMoves.clear();
    if (m_spreadsheetID && !m_groups.isEmpty()) {
        const CopyMemory memory = m_workspace.rememberedCopies(*m_spreadsheetID);
        if (!memory.isEmpty())
            if (const std::optional<QString> destination = m_workspace.resolveFolder(WorkspaceStore::FolderKind::destination, *m_spreadsheetID))
                m_plannedMoves = PhotoOrganizer::misplacedCopies(runGroups(), *destination, memory);
    }
    QHash<QUuid, QList<PhotoOrganizer::MisplacedCopy>> incoming;
    for (const PhotoOrganizer::MisplacedCopy& move : m_plannedMoves)
        if (move.movable) incoming[move.rowID].push_back(move);
    for (auto it = incoming.constBegin(); it != incoming.constEnd(); ++it)
        if (const auto index = m_groupIndex.constFind(it.key()); index != m_groupIndex.constEnd())
            m_groupLabels[*index] += PhotoOrganizer::movedFromText(*it, true);
    Q_EMIT planChanged();
    refreshPreviews();
    Q_EMIT stateChanged();
}

void SpreadsheetWorkspaceModel::rebuildPlan()
{
    m_rebuildTimer.stop();
    const std::optional<SpreadsheetRecord> sheet = spreadsheet();
    if (!sheet) return setGroups({});
    const SpreadsheetMacSettings s = m_workspace.settings(sheet->id);
    m_planInputs = std::tie(s.sourceBookmark, s.selectedDayName, s.selectedEventID);
    m_sourceProblem.reset();
    const std::optional<QString> source = m_workspace.resolveFolder(WorkspaceStore::FolderKind::source, sheet->id);
    // A card's photos copied in after the folder was chosen would otherwise leave the run waiting.
    const QStringList watched = m_sourceWatcher.directories();
    if (!source || watched != QStringList{*source}) {
        if (!watched.isEmpty()) m_sourceWatcher.removePaths(watched);
        if (source) m_sourceWatcher.addPath(*source);
    }
    if (!source) {
        // A chosen folder that is gone (a card taken out, a folder renamed) is named as such.
        if (s.sourceBookmark) m_sourceProblem = FileErrors::unreadableFolder(s.sourceName.value_or(QString()), ENOENT).message();
        return setGroups({});
    }
    const std::optional<ProgrammeEvent> event = m_workspace.selectedEvent(sheet->id);
    try {
        qsizetype photos = 0;
        QList<PhotoGroup> groups = PhotoOrganizer::plan(*sheet, event ? event->people : QList<ImportedPerson>(), *source, &photos);
        if (m_parseError && !m_parseError->startsWith(QStringLiteral("Aucune épreuve"))) m_parseError.reset();
        if (photos == 0) m_sourceProblem = PhotoOrganizer::noPhotoMessage(*source);
        setGroups(std::move(groups));
    } catch (const Error& error) {
        m_parseError = error.message();
        setGroups({});
    }
}

// ---- Run

QList<PhotoGroup> SpreadsheetWorkspaceModel::runGroups() const
{
    QList<PhotoGroup> groups = m_groups;
    if (m_spreadsheetID)
        for (PhotoGroup& group : groups) group.person = m_workspace.resolvedPerson(*m_spreadsheetID, group.row.assignedNumber, group.person);
    return groups;
}

std::optional<QString> SpreadsheetWorkspaceModel::runBlocker() const
{
    if (isRunning()) return QStringLiteral("Organisation en cours…");
    // Both would copy the same photos at once, each unaware of the other's copies.
    if (m_follow) return QStringLiteral("Arrêtez d’abord le suivi de l’arrivée des photos.");
    if (!m_spreadsheetID) return QStringLiteral("Choisissez un tableur.");
    const SpreadsheetMacSettings s = settings();
    if (!s.sourceBookmark) return QStringLiteral("Choisissez d’abord le dossier des photos.");
    if (!s.destinationBookmark) return QStringLiteral("Choisissez d’abord le dossier de destination.");
    if (!m_workspace.selectedEvent(*m_spreadsheetID)) return kChooseEvent;
    if (m_sourceProblem) return m_sourceProblem;
    if (m_groups.isEmpty()) {
        if (m_parseError) return m_parseError;
        return QStringLiteral("Aucune ligne avec n° photo et n° attribué à organiser.");
    }
    return std::nullopt;
}

bool SpreadsheetWorkspaceModel::canRun() const { return !runBlocker(); }

void SpreadsheetWorkspaceModel::runOrganizer()
{
    if (m_run || !m_spreadsheetID) return;
    const QUuid id = *m_spreadsheetID;
    const std::optional<QString> destination = m_workspace.resolveFolder(WorkspaceStore::FolderKind::destination, id);
    if (!destination) {
        if (const std::optional<QString> name = settings().destinationName) {
            m_parseError = QStringLiteral("Le dossier de destination « ") + *name + QStringLiteral(" » est introuvable.");
            Q_EMIT stateChanged();
        }
        return;
    }
    // The rows and files as they are now.
    rebuildPlan();
    if (m_groups.isEmpty() || m_sourceProblem) return;

    m_run = std::make_unique<Run>();
    m_run->spreadsheetID = id;
    m_run->title = spreadsheet()->title;
    m_run->destination = *destination;
    m_run->groups = runGroups();
    m_lastReport.reset();
    m_copyFailures.clear();

    m_jobs.run(kRun, [this, groups = m_run->groups, destination = m_run->destination, cancel = m_run->cancel,
                      memory = m_workspace.rememberedCopies(id)](const JobContext& job) {
        PhotoOrganizer::RunControl control;
        control.cancelRequested = cancel.get();
        control.memory = &memory;
        control.progress = [this, &job](qint64 done, qint64 total, const QString& rider) {
            job.postProgress([this, done, total, rider] { Q_EMIT runProgress(done, total, rider); }, done >= total);
        };
        RunOutcome outcome;
        try {
            outcome.report = PhotoOrganizer::execute(groups, destination, &control);
        } catch (const Error& error) {
            outcome.error = error.message();
        } catch (...) {
            // Whatever stops it, the run must end with what it copied so far.
            outcome.error = QStringLiteral("L’organisation s’est arrêtée sur une erreur inattendue.");
        }
        outcome.groupsFinished = control.groupsFinished;
        outcome.cancelled = control.cancelled;
        outcome.failures = control.failures;
        outcome.placed = std::move(control.placed);
        outcome.misplaced = std::move(control.misplaced);
        return outcome;
    }, [this](const RunOutcome& outcome) { finishRun(outcome); });
    Q_EMIT stateChanged();
}

void SpreadsheetWorkspaceModel::cancelRun()
{
    if (m_run) m_run->cancel->store(true);
}

void SpreadsheetWorkspaceModel::finishRun(const RunOutcome& outcome)
{
    const std::unique_ptr<Run> run = std::move(m_run);
    if (!run) return;
    if (!outcome.report) {
        m_parseError = outcome.error;
    } else {
        // Only rows whose photos all arrived count as transferred; the others lose an older mark.
        QSet<QUuid> failedRows;
        for (const PhotoOrganizer::CopyFailure& failure : outcome.failures) failedRows.insert(failure.rowID);
        QList<PhotoGroup> transferred;
        for (const PhotoGroup& group : run->groups.first(outcome.groupsFinished))
            if (!failedRows.contains(group.row.id)) transferred.push_back(group);
        QSet<QString> movedAway;
        for (const PhotoOrganizer::MisplacedCopy& move : outcome.misplaced)
            if (move.movedTo) movedAway.insert(move.copy.target);
        m_workspace.forgetCopies(movedAway, run->spreadsheetID);
        m_workspace.rememberTransfers(transferred, run->spreadsheetID, outcome.placed);
        m_workspace.forgetTransfers(failedRows, run->spreadsheetID);
        m_workspace.recordOrganizer(*outcome.report, run->spreadsheetID, run->title);
        // Done only when every photo is in its folder, copied now or before.
        const bool complete = !outcome.cancelled && outcome.report->failed == 0
            && (outcome.report->copied > 0 || outcome.report->alreadyPresent > 0);
        if (complete) m_workspace.setCompleted(true, run->spreadsheetID);
        else if (outcome.report->failed > 0 && m_workspace.settings(run->spreadsheetID).isCompleted)
            m_workspace.setCompleted(false, run->spreadsheetID);
        if (!outcome.cancelled && outcome.report->copied > 0 && openFolder) openFolder(run->destination);
        if (run->spreadsheetID == m_spreadsheetID) {
            m_lastReport = outcome.report;
            for (const PhotoOrganizer::CopyFailure& failure : outcome.failures)
                m_copyFailures.insert(failure.rowID, PhotoOrganizer::failureMessage(failure));
            refreshPreviews();
        }
    }
    Q_EMIT runFinished();
    Q_EMIT stateChanged();
}

} // namespace tavrin
