// The steps of the notes that Ctrl+Z undoes: one step per user action, whatever it wrote, and
// where the table's focus goes when a step is undone or redone.
#include "library/LibraryStore.h"

#include "base/TavrinJSON.h"

#include <algorithm>
#include <utility>

namespace tavrin {

namespace {

// The notes themselves: what a step changes, whatever the dates of the writes.
bool sameNotes(const SpreadsheetRecord& a, const SpreadsheetRecord& b)
{
    return a.id == b.id && a.dayID == b.dayID && a.title == b.title && a.isOpen == b.isOpen && a.rows == b.rows;
}

bool sameNotes(const LibrarySnapshot& a, const LibrarySnapshot& b)
{
    if (a.days != b.days || a.spreadsheets.size() != b.spreadsheets.size()) return false;
    for (qsizetype i = 0; i < a.spreadsheets.size(); ++i)
        if (!sameNotes(a.spreadsheets[i], b.spreadsheets[i])) return false;
    return true;
}

const SpreadsheetRecord* findSheet(const LibrarySnapshot& library, const QUuid& id)
{
    for (const SpreadsheetRecord& s : library.spreadsheets)
        if (s.id == id) return &s;
    return nullptr;
}

} // namespace

void LibraryStore::beginStep()
{
    if (m_stepDepth++ > 0) return;
    m_openStep = NotesStep{0, m_snapshot, {}, m_uiState.syncedSpreadsheetIDs, {}};
}

void LibraryStore::endStep()
{
    if (--m_stepDepth > 0) return;
    NotesStep step = std::exchange(m_openStep, NotesStep{});
    if (sameNotes(step.before, m_snapshot)) return;
    step.id = m_nextStepID++;
    step.after = m_snapshot;
    step.syncedAfter = m_uiState.syncedSpreadsheetIDs;
    m_undoSteps.push_back(std::move(step));
    if (m_undoSteps.size() > maxNotesSteps) m_undoSteps.removeFirst();
    m_redoSteps.clear();
    Q_EMIT notesHistoryChanged();
}

void LibraryStore::replay(const NotesStep& step, bool backwards)
{
    LibrarySnapshot from = backwards ? step.after : step.before;
    LibrarySnapshot to = backwards ? step.before : step.after;
    // The dates of writes made since are no change of the notes.
    for (LibrarySnapshot* side : {&from, &to})
        for (SpreadsheetRecord& sheet : side->spreadsheets)
            if (const SpreadsheetRecord* current = findSheet(m_snapshot, sheet.id)) sheet.updatedAt = current->updatedAt;
    // The step's change, merged into the library as it is now: records the step did not touch
    // keep what phones and other programs brought since, and a value changed again since the
    // step (a cell a phone typed into afterwards) keeps that later value.
    LibrarySnapshot result = threeWayMerged(from, m_snapshot, to);
    const QDateTime now = TavrinJSON::now();
    for (SpreadsheetRecord& sheet : result.spreadsheets) {
        const SpreadsheetRecord* current = findSheet(m_snapshot, sheet.id);
        // Dated now so that a phone's older copy does not take the title back at the next sync.
        if (current && !sameNotes(*current, sheet)) sheet.updatedAt = now;
    }
    m_snapshot.days = std::move(result.days);
    m_snapshot.spreadsheets = std::move(result.spreadsheets);

    // A spreadsheet whose rows come back as they were synced is synced again, and the other way.
    const QList<QUuid>& syncedFrom = backwards ? step.syncedAfter : step.syncedBefore;
    const QList<QUuid>& syncedTo = backwards ? step.syncedBefore : step.syncedAfter;
    PersistedUIState state = m_uiState;
    for (const QUuid& id : syncedFrom)
        if (!syncedTo.contains(id)) state.syncedSpreadsheetIDs.removeAll(id);
    for (const QUuid& id : syncedTo)
        if (!syncedFrom.contains(id) && !state.syncedSpreadsheetIDs.contains(id) && findSheet(m_snapshot, id))
            state.syncedSpreadsheetIDs.push_back(id);
    setUIState(state);
    writeUIState();
    persist(true, std::nullopt);
}

LibraryStore::NotesFocus LibraryStore::focusOf(const NotesStep& step) const
{
    NotesFocus focus;
    // A day renamed, deleted or brought back: the day.
    for (const LibrarySnapshot* side : {&step.before, &step.after})
        for (const DayRecord& day : side->days)
            if (step.before.day(day.id) != step.after.day(day.id) && m_snapshot.day(day.id)) {
                focus.dayID = day.id;
                return focus;
            }
    for (const LibrarySnapshot* side : {&step.before, &step.after})
        for (const SpreadsheetRecord& sheet : side->spreadsheets) {
            const SpreadsheetRecord* before = findSheet(step.before, sheet.id);
            const SpreadsheetRecord* after = findSheet(step.after, sheet.id);
            if (before && after && sameNotes(*before, *after)) continue;
            const SpreadsheetRecord* now = findSheet(m_snapshot, sheet.id);
            if (!now) continue;
            focus.dayID = now->dayID;
            focus.spreadsheetID = now->id;
            // The first row the step changed that is still there.
            if (before && after)
                for (const RowRecord& row : now->rows) {
                    const auto inBefore = std::find_if(before->rows.cbegin(), before->rows.cend(),
                                                       [&](const RowRecord& r) { return r.id == row.id; });
                    const auto inAfter = std::find_if(after->rows.cbegin(), after->rows.cend(),
                                                      [&](const RowRecord& r) { return r.id == row.id; });
                    if (inBefore == before->rows.cend() || inAfter == after->rows.cend() || *inBefore != *inAfter) {
                        focus.rowID = row.id;
                        break;
                    }
                }
            return focus;
        }
    return focus;
}

std::optional<LibraryStore::NotesFocus> LibraryStore::undo()
{
    if (m_undoSteps.isEmpty()) return std::nullopt;
    return undoStep(m_undoSteps.last().id);
}

std::optional<LibraryStore::NotesFocus> LibraryStore::redo()
{
    if (m_redoSteps.isEmpty()) return std::nullopt;
    const NotesStep step = m_redoSteps.takeLast();
    replay(step, false);
    m_undoSteps.push_back(step);
    Q_EMIT notesHistoryChanged();
    return focusOf(step);
}

bool LibraryStore::canUndoStep(quint64 id) const
{
    return std::any_of(m_undoSteps.cbegin(), m_undoSteps.cend(), [id](const NotesStep& s) { return s.id == id; });
}

std::optional<LibraryStore::NotesFocus> LibraryStore::undoStep(quint64 id)
{
    const auto it = std::find_if(m_undoSteps.cbegin(), m_undoSteps.cend(), [id](const NotesStep& s) { return s.id == id; });
    if (it == m_undoSteps.cend()) return std::nullopt;
    const NotesStep step = *it;
    m_undoSteps.erase(it);
    replay(step, true);
    m_redoSteps.push_back(step);
    Q_EMIT notesHistoryChanged();
    return focusOf(step);
}

} // namespace tavrin
