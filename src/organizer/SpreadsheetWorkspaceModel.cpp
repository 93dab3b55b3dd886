#include "organizer/SpreadsheetWorkspaceModel.h"

#include "numbers/AssignedNumber.h"
#include "numbers/PathText.h"
#include "organizer/FileErrors.h"
#include "organizer/FollowSession.h"
#include "organizer/ProgrammeReplacement.h"
#include "programme/TextFolding.h"

#include <QCoreApplication>

#include <cerrno>

namespace tavrin {

namespace {

const QString kRun = QStringLiteral("organizer run");
const QString kChooseEvent = QStringLiteral("Choisissez le jour, puis l’épreuve pour afficher les cavaliers.");

QString plural(bool when) { return when ? QStringLiteral("s") : QString(); }

// The keys found on two rows or more (sorted rather than hashed: most rows hold distinct keys).
QSet<QString> repeated(const std::vector<SpreadsheetWorkspaceModel::RowKeys>& keys,
                       std::optional<QString> SpreadsheetWorkspaceModel::RowKeys::*key)
{
    std::vector<const QString*> present;
    present.reserve(keys.size());
    for (const SpreadsheetWorkspaceModel::RowKeys& k : keys)
        if (k.*key) present.push_back(&*(k.*key));
    std::sort(present.begin(), present.end(), [](const QString* a, const QString* b) { return *a < *b; });
    QSet<QString> twice;
    for (size_t i = 1; i < present.size(); ++i)
        if (*present[i] == *present[i - 1]) twice.insert(*present[i]);
    return twice;
}

// The rows behind the issue count, the help and the summary line.
struct RowCounts {
    qsizetype named = 0, unnamed = 0, duplicated = 0;
    explicit RowCounts(const QList<PreviewRow>& rows)
    {
        for (const PreviewRow& r : rows) {
            if (!r.isBlank) ++(r.hasName ? named : unnamed);
            if (r.duplicateAssigned || r.duplicatePhoto) ++duplicated;
        }
    }
};

QString filesLabel(qsizetype count, const QString& rangeLabel, bool pluralFromTwo)
{
    return QString::number(count) + QStringLiteral(" fichier") + plural(pluralFromTwo ? count >= 2 : count != 1)
        + QStringLiteral(" · ") + rangeLabel;
}

// Names shown upper-cased the French way; ASCII names, most of them, need no case tables.
QString upperName(const QString& name)
{
    QString upper = name.trimmed();
    for (QChar& c : upper) {
        const char16_t u = c.unicode();
        if (u >= 0x80) return TextFolding::frenchUpper(name.trimmed());
        if (u >= u'a' && u <= u'z') c = QChar(char16_t(u - 32));
    }
    return upper;
}

} // namespace

QList<StatusMark> statusMarks(const PreviewRow& row)
{
    QList<StatusMark> marks;
    if (!row.isBlank && !row.hasName)
        marks.push_back({StatusMark::Tone::red, QStringLiteral("person.crop.circle.badge.questionmark"),
                         QStringLiteral("Pas de correspondance dans le programme")});
    if (row.duplicateAssigned || row.duplicatePhoto) {
        const QString text = row.duplicateAssigned && row.duplicatePhoto ? QStringLiteral("N° attribué et n° photo en doublon")
            : row.duplicateAssigned                                    ? QStringLiteral("N° attribué en doublon")
                                                                       : QStringLiteral("N° photo en doublon");
        marks.push_back({StatusMark::Tone::orange, QStringLiteral("square.on.square"), text});
    }
    if (!row.copyFailure.isEmpty())
        marks.push_back({StatusMark::Tone::red, QStringLiteral("exclamationmark.triangle.fill"), row.copyFailure});
    else if (!row.isBlank && row.hasName && !row.duplicateAssigned && !row.duplicatePhoto && row.filesTransferred)
        marks.push_back({StatusMark::Tone::green, QStringLiteral("checkmark.circle.fill"),
                         QStringLiteral("Ligne complète, photos transférées")});
    return marks;
}

struct SpreadsheetWorkspaceModel::PreviewContext {
    SpreadsheetMacSettings settings;
    std::optional<ProgrammeEvent> event;
    // Canonical number → index in the event's people (the first one wins).
    QHash<QString, qsizetype> catalogue;
    std::vector<RowKeys> keys;
    QSet<QString> duplicateAssigned;
    QSet<QString> duplicatePhotos;
};

struct SpreadsheetWorkspaceModel::RunOutcome {
    std::optional<OrganizerReport> report;
    QString error;
    qsizetype groupsFinished = 0;
    bool cancelled = false;
    QList<PhotoOrganizer::CopyFailure> failures;
    QHash<QUuid, QList<CopiedPhoto>> placed;
    QList<PhotoOrganizer::MisplacedCopy> misplaced;
};

struct SpreadsheetWorkspaceModel::Run {
    QUuid spreadsheetID;
    QString title;
    QString destination;
    QList<PhotoGroup> groups;
    // Our own flag rather than the job's: a cancelled job drops the result that says what was
    // copied.
    std::shared_ptr<std::atomic_bool> cancel = std::make_shared<std::atomic_bool>(false);
};

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
    dropPendingProgramme();
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

// ---- Preview rows

std::optional<QString> SpreadsheetWorkspaceModel::photoKey(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return std::nullopt;
    if (const std::optional<PhotoNumber> number = PhotoNumber::parse(trimmed))
        return number->prefix.toLower() + u'|' + QString::number(number->value);
    return trimmed.toLower();
}

std::vector<SpreadsheetWorkspaceModel::RowKeys> SpreadsheetWorkspaceModel::rowKeys(const QList<RowRecord>& rows) const
{
    // Every keystroke previews every row again while at most one changed: each row's keys are
    // kept with the texts they came from (and forgotten when rows pile up).
    if (m_rowMemo.size() > 2 * rows.size() + 64) m_rowMemo.clear();
    std::vector<RowKeys> keys;
    keys.reserve(size_t(rows.size()));
    for (const RowRecord& row : rows) {
        auto it = m_rowMemo.find(row.id);
        if (it == m_rowMemo.end() || it->photo != row.photoNumber || it->assigned != row.assignedNumber)
            it = m_rowMemo.insert(row.id, {row.photoNumber, row.assignedNumber,
                                           {AssignedNumber::canonical(row.assignedNumber), photoKey(row.photoNumber)}});
        keys.push_back(it->keys);
    }
    return keys;
}

SpreadsheetWorkspaceModel::PreviewContext SpreadsheetWorkspaceModel::previewContext(const SpreadsheetRecord& sheet) const
{
    PreviewContext context{m_workspace.settings(sheet.id), m_workspace.selectedEvent(sheet.id), {}, rowKeys(sheet.rows), {}, {}};
    context.duplicateAssigned = repeated(context.keys, &RowKeys::canonical);
    context.duplicatePhotos = repeated(context.keys, &RowKeys::photoKey);
    if (context.event) {
        // The event's index by number lasts as long as the programme.
        if (m_catalogueEventID != context.event->id) {
            m_catalogue.clear();
            m_catalogue.reserve(context.event->people.size());
            for (qsizetype i = 0; i < context.event->people.size(); ++i)
                if (!m_catalogue.contains(context.event->people[i].canonicalNumber))
                    m_catalogue.insert(context.event->people[i].canonicalNumber, i);
            m_catalogueEventID = context.event->id;
        }
        context.catalogue = m_catalogue;
    }
    return context;
}

PreviewRow SpreadsheetWorkspaceModel::previewRow(const RowRecord& row, qsizetype index, const PreviewContext& context) const
{
    const RowKeys& keys = context.keys[size_t(index)];
    const auto groupIt = m_groupIndex.constFind(row.id);
    const PhotoGroup* group = groupIt == m_groupIndex.constEnd() ? nullptr : &m_groups[*groupIt];
    std::optional<ImportedPerson> catalogue;
    if (group && group->person) catalogue = group->person;
    else if (keys.canonical && context.event)
        if (const auto it = context.catalogue.constFind(*keys.canonical); it != context.catalogue.constEnd())
            catalogue = context.event->people[*it];
    const std::optional<ImportedPerson> resolved = WorkspaceStore::resolvedPerson(context.settings, keys.canonical, catalogue);

    PreviewRow preview;
    preview.id = row.id;
    preview.photo = row.photoNumber;
    preview.assigned = row.assignedNumber;

    const auto remembered = context.settings.rememberedTransfers.constFind(row.id);
    const bool hasRemembered = remembered != context.settings.rememberedTransfers.constEnd();
    if (group && !group->files.isEmpty()) preview.photos = m_groupLabels[*groupIt];
    else if (hasRemembered)
        preview.photos = remembered->fileNames.isEmpty() ? QStringLiteral("—")
                                                         : filesLabel(remembered->fileNames.size(), remembered->rangeLabel, false);
    else if (group) preview.photos = QStringLiteral("0 fichier");
    else preview.photos = QStringLiteral("—");

    // A hand-typed name shows as typed; a programme name upper-cased; nothing for a row the
    // programme does not know.
    const ManualRiderName manual = keys.canonical ? context.settings.manualRiders.value(*keys.canonical) : ManualRiderName{};
    const auto displayed = [&](const QString& typed, const QString& fromPerson) -> QString {
        if (!typed.isEmpty()) return typed;
        if (!catalogue || !resolved) return QString();
        return upperName(fromPerson);
    };
    preview.lastName = displayed(manual.lastName, resolved ? resolved->lastName : QString());
    preview.firstName = displayed(manual.firstName, resolved ? resolved->firstName : QString());

    preview.fromCatalogue = catalogue.has_value();
    preview.hasName = resolved.has_value();
    preview.isBlank = row.isBlank();
    preview.duplicateAssigned = keys.canonical && context.duplicateAssigned.contains(*keys.canonical);
    preview.duplicatePhoto = keys.photoKey && context.duplicatePhotos.contains(*keys.photoKey);
    preview.filesTransferred = hasRemembered && !remembered->fileNames.isEmpty();
    // Green only while the row's photos are those copied: a corrected row gains or loses some.
    if (preview.filesTransferred && group && !group->files.isEmpty()) {
        const QSet<QString> copied(remembered->fileNames.begin(), remembered->fileNames.end());
        preview.filesTransferred = copied.size() == group->files.size()
            && std::all_of(group->files.begin(), group->files.end(),
                           [&](const QString& file) { return copied.contains(PathText::lastPathComponent(file).toString()); });
    }
    preview.copyFailure = m_copyFailures.value(row.id);
    return preview;
}

QList<PreviewRow> SpreadsheetWorkspaceModel::rowsForTable() const
{
    const std::optional<SpreadsheetRecord> sheet = spreadsheet();
    if (!sheet) return {};
    const PreviewContext context = previewContext(*sheet);
    QList<PreviewRow> rows;
    rows.reserve(sheet->rows.size());
    for (qsizetype i = 0; i < sheet->rows.size(); ++i) rows.push_back(previewRow(sheet->rows[i], i, context));
    return rows;
}

const PreviewRow* SpreadsheetWorkspaceModel::preview(const QUuid& rowID) const
{
    const auto it = m_previewIndex.constFind(rowID);
    return it == m_previewIndex.constEnd() ? nullptr : &m_previews[*it];
}

void SpreadsheetWorkspaceModel::refreshPreviews()
{
    const QList<PreviewRow> before = std::exchange(m_previews, rowsForTable());
    const QHash<QUuid, qsizetype> beforeIndex = std::exchange(m_previewIndex, {});
    m_previewIndex.reserve(m_previews.size());
    m_changedPreviews.clear();
    for (qsizetype i = 0; i < m_previews.size(); ++i) {
        const PreviewRow& preview = m_previews[i];
        m_previewIndex.insert(preview.id, i);
        const auto was = beforeIndex.constFind(preview.id);
        if (was == beforeIndex.constEnd() || before[*was] != preview) m_changedPreviews.insert(preview.id);
    }
    Q_EMIT previewsChanged();
}

int SpreadsheetWorkspaceModel::issueCount(const QList<PreviewRow>& rows)
{
    return int(std::count_if(rows.begin(), rows.end(), [](const PreviewRow& r) {
        return !r.isBlank && (!r.hasName || r.duplicateAssigned || r.duplicatePhoto);
    }));
}

QString SpreadsheetWorkspaceModel::issueHelp(const QList<PreviewRow>& rows)
{
    const int count = issueCount(rows);
    const RowCounts counts(rows);
    QString help = QString::number(count) + QStringLiteral(" erreur") + plural(count > 1);
    QStringList parts;
    if (counts.unnamed > 0) parts.push_back(QString::number(counts.unnamed) + QStringLiteral(" sans correspondance"));
    if (counts.duplicated > 0)
        parts.push_back(QString::number(counts.duplicated) + QStringLiteral(" numéro") + plural(counts.duplicated != 1)
                        + QStringLiteral(" en doublon"));
    if (!parts.isEmpty()) help += QStringLiteral(" : ") + parts.join(QStringLiteral(", "));
    return help;
}

QString SpreadsheetWorkspaceModel::summaryLine(const QList<PreviewRow>& rows) const
{
    if (!m_workspace.programme())
        return QStringLiteral("Importez le programme (fichier ou page internet), puis choisissez le jour et l’épreuve.");
    const std::optional<ProgrammeEvent> event = m_spreadsheetID ? m_workspace.selectedEvent(*m_spreadsheetID) : std::nullopt;
    if (!event) return kChooseEvent;
    const qsizetype riders = event->people.size();
    const RowCounts counts(rows);
    QString line = QString::number(riders) + QStringLiteral(" cavalier") + plural(riders >= 2) + QStringLiteral(" dans l’épreuve · ")
        + QString::number(counts.named) + QStringLiteral(" correspondance") + plural(counts.named >= 2);
    if (counts.unnamed > 0) line += QStringLiteral(" · ") + QString::number(counts.unnamed) + QStringLiteral(" sans nom");
    if (counts.duplicated > 0)
        line += QStringLiteral(" · ") + QString::number(counts.duplicated) + QStringLiteral(" doublon") + plural(counts.duplicated != 1);
    return line;
}

std::optional<QString> SpreadsheetWorkspaceModel::selectedEventTitle() const
{
    if (!m_spreadsheetID) return std::nullopt;
    if (const std::optional<ProgrammeEvent> event = m_workspace.selectedEvent(*m_spreadsheetID)) return event->title;
    const std::optional<QString> stored = settings().selectedEventID;
    if (!stored) return std::nullopt;
    const QStringList parts = stored->split(u'|', Qt::SkipEmptyParts);
    return parts.isEmpty() ? QString() : parts.last();
}

// ---- Choices

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

void SpreadsheetWorkspaceModel::importProgramme(const QString& path)
{
    dropPendingProgramme();
    StoredProgramme::ReadFile read;
    try {
        read = m_workspace.readProgramme(path);
    } catch (const Error& error) {
        m_parseError = error.message();
        Q_EMIT stateChanged();
        return;
    }
    if (const qsizetype lost = ProgrammeReplacement::rowsLosingTheirRider(m_library.snapshot(), m_workspace, read.document); lost > 0) {
        m_pendingProgramme = std::move(read);
        m_replaceQuestion = ProgrammeReplacement::question(lost);
        Q_EMIT replaceQuestionAsked();
        return;
    }
    replaceProgramme(read);
}

void SpreadsheetWorkspaceModel::answerReplaceQuestion(bool replace)
{
    if (!m_pendingProgramme) return;
    const StoredProgramme::ReadFile read = *m_pendingProgramme;
    m_pendingProgramme.reset();
    m_replaceQuestion.reset();
    if (replace) replaceProgramme(read);
    else StoredProgramme::discard(read);
}

void SpreadsheetWorkspaceModel::dropPendingProgramme()
{
    if (m_pendingProgramme) StoredProgramme::discard(*m_pendingProgramme);
    m_pendingProgramme.reset();
    m_replaceQuestion.reset();
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
