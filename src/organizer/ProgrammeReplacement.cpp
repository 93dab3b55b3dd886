#include "organizer/ProgrammeReplacement.h"

#include "numbers/AssignedNumber.h"
#include "organizer/WorkspaceStore.h"
#include "programme/TextFolding.h"

#include <QSet>

namespace tavrin::ProgrammeReplacement {

namespace {

QSet<QString> numbers(const ProgrammeEvent& event)
{
    QSet<QString> out;
    for (const ImportedPerson& person : event.people) out.insert(person.canonicalNumber);
    return out;
}

QSet<QString> numbers(const ProgrammeDocument& document)
{
    QSet<QString> out;
    for (const ProgrammeDay& day : document.days)
        for (const ProgrammeEvent& event : day.events) out += numbers(event);
    return out;
}

// The event a spreadsheet would follow in `next`, found as the store finds it after a new reading.
const ProgrammeEvent* eventIn(const ProgrammeDocument& next, const QString& dayName, const QString& eventID, const QString& title)
{
    for (const ProgrammeDay& day : next.days) {
        if (day.name != dayName && TextFolding::folded(day.name) != TextFolding::folded(dayName)) continue;
        for (const ProgrammeEvent& event : day.events)
            if (event.id == eventID) return &event;
        for (const ProgrammeEvent& event : day.events)
            if (event.title == title) return &event;
    }
    return nullptr;
}

} // namespace

qsizetype rowsLosingTheirRider(const LibrarySnapshot& library, const WorkspaceStore& workspace, const ProgrammeDocument& next)
{
    qsizetype lost = 0;
    for (const SpreadsheetRecord& sheet : library.spreadsheets) {
        const std::optional<ProgrammeEvent> today = workspace.selectedEvent(sheet.id);
        if (!today) continue;
        const SpreadsheetMacSettings settings = workspace.settings(sheet.id);
        const QSet<QString> before = numbers(*today);
        const ProgrammeEvent* following = eventIn(next, settings.selectedDayName.value_or(QString()), today->id, today->title);
        const QSet<QString> after = following ? numbers(*following) : QSet<QString>();
        for (const RowRecord& row : sheet.rows) {
            const std::optional<QString> canonical = AssignedNumber::canonical(row.assignedNumber);
            if (!canonical || !before.contains(*canonical) || after.contains(*canonical)) continue;
            if (settings.manualRiders.contains(*canonical)) continue;
            ++lost;
        }
    }
    return lost;
}

qsizetype rowsLosingTheirRider(const LibrarySnapshot& library, const std::optional<ProgrammeDocument>& current,
                               const ProgrammeDocument& next)
{
    if (!current) return 0;
    const QSet<QString> before = numbers(*current), after = numbers(next);
    qsizetype lost = 0;
    for (const SpreadsheetRecord& sheet : library.spreadsheets)
        for (const RowRecord& row : sheet.rows) {
            const std::optional<QString> canonical = AssignedNumber::canonical(row.assignedNumber);
            if (canonical && before.contains(*canonical) && !after.contains(*canonical)) ++lost;
        }
    return lost;
}

qsizetype riderCount(const ProgrammeDocument& document) { return numbers(document).size(); }

QString question(qsizetype rows)
{
    const bool many = rows > 1;
    return QStringLiteral("Remplacer le programme ? ") + QString::number(rows)
        + (many ? QStringLiteral(" lignes qui trouvent leur cavalier n’en trouveraient plus.")
                : QStringLiteral(" ligne qui trouve son cavalier n’en trouverait plus."));
}

QString banner(const QString& name, const ProgrammeDocument& document)
{
    const qsizetype riders = riderCount(document);
    return QStringLiteral("Programme remplacé par « ") + name + QStringLiteral(" » (") + QString::number(riders)
        + (riders > 1 ? QStringLiteral(" cavaliers).") : QStringLiteral(" cavalier)."));
}

} // namespace tavrin::ProgrammeReplacement

namespace tavrin {

void PendingProgramme::hold(StoredProgramme::ReadFile read, qsizetype rowsLosingTheirRider)
{
    drop();
    m_read = std::move(read);
    m_question = ProgrammeReplacement::question(rowsLosingTheirRider);
}

std::optional<StoredProgramme::ReadFile> PendingProgramme::answer(bool replace)
{
    if (!m_read) return std::nullopt;
    std::optional<StoredProgramme::ReadFile> read = std::move(m_read);
    m_read.reset();
    m_question.reset();
    if (replace) return read;
    StoredProgramme::discard(*read);
    return std::nullopt;
}

void PendingProgramme::drop()
{
    if (m_read) StoredProgramme::discard(*m_read);
    m_read.reset();
    m_question.reset();
}

} // namespace tavrin
