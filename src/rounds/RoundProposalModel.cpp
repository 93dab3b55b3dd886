#include "rounds/RoundProposalModel.h"

#include "base/Error.h"
#include "library/LibraryStore.h"
#include "numbers/AssignedNumber.h"
#include "numbers/PhotoNumber.h"
#include "organizer/FileErrors.h"
#include "organizer/WorkspaceStore.h"

#include <algorithm>
#include <cerrno>

namespace tavrin {

qsizetype appendRows(LibraryStore& library, const QUuid& spreadsheetID, const QList<std::pair<QString, QString>>& rows)
{
    QList<LibraryStore::NewRow> added;
    for (const auto& [photo, assigned] : rows) added.append({QUuid(), {photo, assigned}});
    return library.insertRows(spreadsheetID, added).size();
}

qsizetype insertRowsInPhotoOrder(LibraryStore& library, const QUuid& spreadsheetID, const QList<std::pair<QString, QString>>& rows)
{
    const std::optional<SpreadsheetRecord> sheet = library.snapshot().spreadsheet(spreadsheetID);
    if (!sheet) return 0;
    QList<LibraryStore::NewRow> added;
    for (const auto& [photo, assigned] : rows) {
        QUuid before;
        if (const std::optional<PhotoNumber> number = PhotoNumber::parse(photo))
            for (const RowRecord& row : sheet->rows) {
                const std::optional<PhotoNumber> typed = PhotoNumber::parse(row.photoNumber);
                if (typed && typed->value > number->value) {
                    before = row.id;
                    break;
                }
            }
        added.append({before, {photo, assigned}});
    }
    return library.insertRows(spreadsheetID, added).size();
}

RoundProposalModel::RoundProposalModel(LibraryStore& library, WorkspaceStore& workspace, QObject* parent)
    : QObject(parent), m_library(library), m_workspace(workspace)
{
    // A row typed (or synced) meanwhile is a new fixed point.
    connect(&library, &LibraryStore::snapshotChanged, this, [this](const QUuid& id) {
        if (!m_result || id != m_spreadsheet) return;
        realign();
        Q_EMIT changed();
    });
    // Another photo folder or event: what is shown was read from the previous one.
    connect(&workspace, &WorkspaceStore::settingsChanged, this, [this](const QUuid& id) {
        if (id != m_spreadsheet || (!m_result && !m_message) || proposalInputs() == m_proposedFrom) return;
        propose();
    });
}

std::pair<std::optional<QByteArray>, std::optional<QString>> RoundProposalModel::proposalInputs() const
{
    if (!m_spreadsheet) return {};
    const SpreadsheetMacSettings settings = m_workspace.settings(*m_spreadsheet);
    return {settings.sourceBookmark, settings.selectedEventID};
}

void RoundProposalModel::setSpreadsheet(const std::optional<QUuid>& spreadsheetID)
{
    if (spreadsheetID == m_spreadsheet) return;
    m_spreadsheet = spreadsheetID;
    ignore();
}

bool RoundProposalModel::canPropose() const
{
    if (!m_spreadsheet) return false;
    return m_workspace.settings(*m_spreadsheet).sourceBookmark.has_value() && m_workspace.selectedEvent(*m_spreadsheet).has_value();
}

void RoundProposalModel::propose()
{
    m_result.reset();
    m_message.reset();
    m_absent.clear();
    m_notInJumpOff.clear();
    m_answers.clear();
    m_proposedFrom = proposalInputs();
    try {
        if (!m_spreadsheet) return;
        const SpreadsheetMacSettings settings = m_workspace.settings(*m_spreadsheet);
        if (!settings.sourceBookmark) throw Error(QStringLiteral("Choisissez d’abord le dossier des photos."));
        const std::optional<ProgrammeEvent> event = m_workspace.selectedEvent(*m_spreadsheet);
        if (!event) throw Error(QStringLiteral("Choisissez d’abord l’épreuve de ce tableur dans le programme."));
        const std::optional<QString> folder = m_workspace.resolveFolder(WorkspaceStore::FolderKind::source, *m_spreadsheet);
        if (!folder) throw FileErrors::unreadableFolder(settings.sourceName.value_or(QString()), ENOENT);
        m_captures = CaptureTimes::folder(*folder);
        if (m_captures.isEmpty())
            throw Error(QStringLiteral("Le dossier « ") + settings.sourceName.value_or(*folder) + QStringLiteral(" » ne contient aucune photo."));
        // File dates say when photos were copied, not when they were taken: no round shows in them.
        if (std::none_of(m_captures.begin(), m_captures.end(), [](const PhotoCapture& capture) { return capture.fromExif; }))
            throw Error(QStringLiteral("Ces photos n’ont pas d’heure de prise de vue : impossible de trouver les passages."));
        m_people = event->people;
        realign();
    } catch (const Error& error) {
        m_message = error.message();
    }
    Q_EMIT changed();
}

const RoundProposal::Result& RoundProposalModel::result() const
{
    static const RoundProposal::Result none;
    return m_result ? *m_result : none;
}

QString RoundProposalModel::riderName(const QString& number) const
{
    for (const ImportedPerson& person : m_people)
        if (person.canonicalNumber == number) return person.displayName();
    return number;
}

void RoundProposalModel::setAbsent(const QString& number, bool absent, bool jumpOff)
{
    QStringList& list = jumpOff ? m_notInJumpOff : m_absent;
    if (absent == list.contains(number)) return;
    if (absent) list.append(number);
    else list.removeAll(number);
    realign();
    Q_EMIT changed();
}

void RoundProposalModel::setNumber(qsizetype row, const QString& number)
{
    if (!m_result || row < 0 || row >= m_result->rows.size()) return;
    const QString photo = m_result->rows[row].photoNumber;
    m_answers.removeIf([&](const auto& answer) { return answer.first == photo; });
    if (const std::optional<QString> canonical = AssignedNumber::canonical(number)) m_answers.append({photo, *canonical});
    realign();
    Q_EMIT changed();
}

void RoundProposalModel::realign()
{
    if (!m_spreadsheet || m_captures.isEmpty()) return;
    const std::optional<SpreadsheetRecord> sheet = m_library.snapshot().spreadsheet(*m_spreadsheet);
    QList<RowRecord> rows = sheet ? sheet->rows : QList<RowRecord>();
    // Answers count as typed rows, so they become fixed points too.
    for (const auto& [photo, number] : m_answers) rows.append({QUuid(), photo, number});
    RoundProposal::Result result = RoundProposal::propose(m_captures, m_people, rows, m_absent, m_notInJumpOff);
    m_result = std::move(result);
}

qsizetype RoundProposalModel::acceptableCount() const
{
    if (!m_result) return 0;
    return std::count_if(m_result->rows.begin(), m_result->rows.end(), [](const ProposedRow& row) { return !row.doubtful; }) +
           m_answers.size();
}

qsizetype RoundProposalModel::accept()
{
    if (!m_result || !m_spreadsheet) return 0;
    QList<std::pair<QString, QString>> rows = m_answers;
    for (const ProposedRow& row : m_result->rows)
        if (!row.doubtful) rows.append({row.photoNumber, row.assignedNumber});
    // In photo order, as the rounds were found.
    QList<std::pair<QString, QString>> ordered;
    for (const ProposedRow& round : m_result->rounds)
        for (const auto& row : rows)
            if (row.first == round.photoNumber) ordered.append(row);
    const qsizetype added = insertRowsInPhotoOrder(m_library, *m_spreadsheet, ordered);
    ignore();
    return added;
}

void RoundProposalModel::ignore()
{
    const bool had = m_result.has_value() || m_message.has_value();
    m_result.reset();
    m_message.reset();
    m_captures.clear();
    m_people.clear();
    m_absent.clear();
    m_notInJumpOff.clear();
    m_answers.clear();
    if (had) Q_EMIT changed();
}

} // namespace tavrin
