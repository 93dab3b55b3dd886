#include "organizer/SpreadsheetWorkspaceModel.h"

// The state of the workspace, the photographer's choices and the following of arriving photos;
// the previews and the plan and run live in SpreadsheetWorkspacePreview.cpp and
// SpreadsheetWorkspaceRun.cpp.

#include "organizer/FollowSession.h"
#include "organizer/ProgrammeReplacement.h"
#include "organizer/SpreadsheetWorkspaceShared.h"

#include <QCoreApplication>

namespace tavrin {

using workspace_detail::kChooseEvent;
using workspace_detail::kRun;

SpreadsheetWorkspaceModel::SpreadsheetWorkspaceModel(LibraryStore& library, WorkspaceStore& workspace, QObject* parent)
    : QObject(parent), m_library(library), m_workspace(workspace)
{
    m_rebuildTimer.setSingleShot(true);
    m_rebuildTimer.setInterval(30);
    connect(&m_rebuildTimer, &QTimer::timeout, this, [this] {
        if (m_pendingReset) m_parseError.reset();
        rebuildPlan();
    });
    connect(&m_library, &LibraryStore::snapshotChanged, this, [this](const QUuid& id) {
        if (!m_spreadsheetID || (!id.isNull() && id != *m_spreadsheetID)) return;
        refreshPreviews();
        scheduleRebuild(false);
    });
    connect(&m_sourceWatcher, &QFileSystemWatcher::directoryChanged, this, [this] { scheduleRebuild(false); });
    connect(&m_workspace, &WorkspaceStore::settingsChanged, this, &SpreadsheetWorkspaceModel::onSettingsChanged);
    connect(&m_workspace, &WorkspaceStore::programmeChanged, this, &SpreadsheetWorkspaceModel::onProgrammeChanged);
    // Replaced again or undone elsewhere: the banner has nothing left to undo.
    connect(&m_workspace, &StoredProgramme::replacementChanged, this, [this] {
        if (m_replacementBanner && !m_workspace.canUndoReplacement()) {
            m_replacementBanner.reset();
            Q_EMIT replacementBannerChanged();
        }
    });
    // Quitting copies the last range and writes the history while the stores are still there.
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, &SpreadsheetWorkspaceModel::stopFollowing);
}

SpreadsheetWorkspaceModel::~SpreadsheetWorkspaceModel()
{
    // Whoever listens may be going away too (the screen that owns this model): the last range
    // followed and a run's results are recorded without telling anyone.
    m_library.disconnect(this);
    m_workspace.disconnect(this);
    blockSignals(true);
    if (m_follow) {
        m_follow->disconnect(this);
        m_follow.reset();
    }
    if (!m_run) return;
    m_run->cancel->store(true);
    m_jobs.waitFor(kRun);
}

void SpreadsheetWorkspaceModel::setSpreadsheet(const std::optional<QUuid>& spreadsheetID)
{
    if (spreadsheetID == m_spreadsheetID) return;
    stopFollowing();
    m_spreadsheetID = spreadsheetID;
    m_groups.clear();
    m_groupIndex.clear();
    m_groupLabels.clear();
    m_lastReport.reset();
    m_copyFailures.clear();
    if (m_spreadsheetID) m_workspace.restorePersistedChoices(*m_spreadsheetID);
    refreshPreviews();
    if (!m_shownOnce && m_spreadsheetID) {
        m_shownOnce = true;
        m_rebuildTimer.stop();
        rebuildPlan();
    } else {
        scheduleRebuild(true);
    }
    Q_EMIT stateChanged();
}

std::optional<SpreadsheetRecord> SpreadsheetWorkspaceModel::spreadsheet() const
{
    return m_spreadsheetID ? m_library.snapshot().spreadsheet(*m_spreadsheetID) : std::nullopt;
}

SpreadsheetMacSettings SpreadsheetWorkspaceModel::settings() const
{
    return m_spreadsheetID ? m_workspace.settings(*m_spreadsheetID) : SpreadsheetMacSettings{};
}

void SpreadsheetWorkspaceModel::onSettingsChanged(const QUuid& spreadsheetID)
{
    if (spreadsheetID != m_spreadsheetID) return;
    const SpreadsheetMacSettings s = settings();
    if (std::tie(s.sourceBookmark, s.selectedDayName, s.selectedEventID) != m_planInputs) scheduleRebuild(false);
    refreshPreviews();
    Q_EMIT stateChanged();
}

void SpreadsheetWorkspaceModel::onProgrammeChanged()
{
    m_catalogueEventID.reset();
    if (m_spreadsheetID) m_workspace.restorePersistedChoices(*m_spreadsheetID);
    refreshPreviews();
    scheduleRebuild(false);
    Q_EMIT stateChanged();
}

// ---- Following

std::optional<QString> SpreadsheetWorkspaceModel::followBlocker() const
{
    if (isRunning()) return QStringLiteral("Organisation en cours…");
    if (!m_spreadsheetID) return QStringLiteral("Choisissez un tableur.");
    const SpreadsheetMacSettings s = settings();
    if (!s.sourceBookmark) return QStringLiteral("Choisissez d’abord le dossier des photos.");
    if (!s.destinationBookmark) return QStringLiteral("Choisissez d’abord le dossier de destination.");
    if (!m_workspace.selectedEvent(*m_spreadsheetID)) return kChooseEvent;
    return std::nullopt;
}

void SpreadsheetWorkspaceModel::startFollowing()
{
    if (m_follow || followBlocker()) return;
    auto session = std::make_unique<FollowSession>(m_library, m_workspace, *m_spreadsheetID);
    FollowSession* follow = session.get();
    // The copies are remembered as transfers, which turns their rows green; the plan is
    // rebuilt so that the photo ranges shown keep up with the folder.
    connect(follow, &FollowSession::copied, this, [this, follow] {
        showFollowFailures(*follow);
        scheduleRebuild(false);
        Q_EMIT followChanged();
    });
    connect(follow, &FollowSession::failed, this, [this, follow] { showFollowFailures(*follow); });
    connect(follow, &FollowSession::looked, this, [this, follow] {
        if (follow->failures() != m_copyFailures) showFollowFailures(*follow);
    });
    try {
        follow->start();
    } catch (const Error& error) {
        m_parseError = error.message();
        Q_EMIT followChanged();
        Q_EMIT stateChanged();
        return;
    }
    m_follow = std::move(session);
    m_lastReport.reset();
    showFollowFailures(*follow);
    Q_EMIT followChanged();
    Q_EMIT stateChanged();
}

void SpreadsheetWorkspaceModel::stopFollowing()
{
    if (!m_follow) return;
    const std::unique_ptr<FollowSession> session = std::move(m_follow);
    session->disconnect(this);
    const OrganizerReport report = session->stop();
    if (report.copied > 0 || report.alreadyPresent > 0 || report.failed > 0) m_lastReport = report;
    m_copyFailures = session->failures();
    refreshPreviews();
    scheduleRebuild(false);
    Q_EMIT followChanged();
    Q_EMIT stateChanged();
}

QString SpreadsheetWorkspaceModel::followStatus() const { return m_follow ? m_follow->statusLine() : QString(); }

void SpreadsheetWorkspaceModel::showFollowFailures(const FollowSession& session)
{
    m_copyFailures = session.failures();
    refreshPreviews();
}

// ---- Choices

void SpreadsheetWorkspaceModel::importProgramme(const QString& path)
{
    m_pendingProgramme.drop();
    StoredProgramme::ReadFile read;
    try {
        read = m_workspace.readProgramme(path);
    } catch (const Error& error) {
        m_parseError = error.message();
        Q_EMIT stateChanged();
        return;
    }
    if (const qsizetype lost = ProgrammeReplacement::rowsLosingTheirRider(m_library.snapshot(), m_workspace, read.document); lost > 0) {
        m_pendingProgramme.hold(std::move(read), lost);
        Q_EMIT replaceQuestionAsked();
        return;
    }
    replaceProgramme(read);
}

void SpreadsheetWorkspaceModel::answerReplaceQuestion(bool replace)
{
    if (const auto read = m_pendingProgramme.answer(replace)) replaceProgramme(*read);
}

void SpreadsheetWorkspaceModel::replaceProgramme(const StoredProgramme::ReadFile& read)
{
    const bool replacing = m_workspace.programme().has_value();
    try {
        m_workspace.putInPlace(read);
    } catch (const Error& error) {
        StoredProgramme::discard(read);
        m_parseError = error.message();
        Q_EMIT stateChanged();
        return;
    }
    m_parseError.reset();
    if (replacing && m_workspace.canUndoReplacement()) m_replacementBanner = ProgrammeReplacement::banner(read.name, read.document);
    else m_replacementBanner.reset();
    Q_EMIT replacementBannerChanged();
    rebuildPlan();
}

void SpreadsheetWorkspaceModel::undoProgrammeReplacement()
{
    if (!m_workspace.canUndoReplacement()) return;
    try {
        m_workspace.undoReplacement();
    } catch (const Error& error) {
        m_parseError = error.message();
        Q_EMIT stateChanged();
        return;
    }
    m_replacementBanner.reset();
    Q_EMIT replacementBannerChanged();
    rebuildPlan();
}

void SpreadsheetWorkspaceModel::importFolder(WorkspaceStore::FolderKind kind, const QString& path)
{
    if (m_spreadsheetID) m_workspace.storeFolder(path, kind, *m_spreadsheetID);
}

void SpreadsheetWorkspaceModel::selectDay(const QString& name)
{
    if (m_spreadsheetID) m_workspace.selectDay(name, *m_spreadsheetID);
}

void SpreadsheetWorkspaceModel::selectEvent(const QString& eventID)
{
    if (m_spreadsheetID) m_workspace.selectEvent(eventID, *m_spreadsheetID);
}

void SpreadsheetWorkspaceModel::setManualName(const QUuid& rowID, const std::optional<QString>& lastName,
                                              const std::optional<QString>& firstName)
{
    const std::optional<SpreadsheetRecord> sheet = spreadsheet();
    if (!sheet) return;
    for (const RowRecord& row : sheet->rows)
        if (row.id == rowID) {
            m_workspace.setManualRider(sheet->id, row.assignedNumber, lastName, firstName);
            return;
        }
}

} // namespace tavrin
