#include "library/LibraryStore.h"

#include "base/AppSupport.h"
#include "base/RecordMerge.h"
#include "base/TavrinJSON.h"
#include "base/TavrinTheme.h"
#include "base/UserDefaults.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace tavrin {

namespace {

qint64 nextSortIndex(const QList<DayRecord>& days)
{
    qint64 largest = -1;
    for (const DayRecord& d : days) largest = std::max(largest, d.sortIndex);
    return largest + 1;
}

const QDateTime& later(const QDateTime& local, const QDateTime& incoming) { return incoming >= local ? incoming : local; }

// The sync merge of one spreadsheet known to both sides.
SpreadsheetRecord mergedSpreadsheet(const SpreadsheetRecord& local, const SpreadsheetRecord& incoming)
{
    SpreadsheetRecord result = local;
    result.dayID = incoming.dayID;
    if (incoming.updatedAt > local.updatedAt) {
        result.title = incoming.title;
        result.isOpen = incoming.isOpen;
    }
    result.rows = LibraryStore::mergedRows(local.rows, incoming.rows);
    result.updatedAt = later(local.updatedAt, incoming.updatedAt);
    return result;
}

} // namespace

LibraryStore::LibraryStore(QObject* parent)
    : QObject(parent),
      m_libraryFile(AppSupport::fileInFolder(QStringLiteral("library.json")),
                    {decodeLibrary, [this] { return encodeLibrary(m_snapshot); },
                     [this](const LibrarySnapshot& base, const LibrarySnapshot& theirs) { return takeIn(base, theirs); },
                     LibrarySnapshot::empty}),
      m_uiStateFile(AppSupport::fileInFolder(QStringLiteral("ui-state.json")))
{
    m_snapshot = m_libraryFile.load().value_or(LibrarySnapshot::empty());
    m_uiState = m_uiStateFile
                    .load<PersistedUIState>([](const QByteArray& data) {
                        return persistedUIStateFromJson(TavrinJSON::decodeObject(data));
                    })
                    .value_or(PersistedUIState{});
    m_appearance = appearancePreferenceFrom(UserDefaults::standard().string(kAppearanceKey).value_or(QString()));
}

void LibraryStore::setUIState(const PersistedUIState& state)
{
    if (state == m_uiState) return;
    m_uiState = state;
    Q_EMIT uiStateChanged();
}

qsizetype LibraryStore::indexOfSpreadsheet(const QUuid& id) const
{
    for (qsizetype i = 0; i < m_snapshot.spreadsheets.size(); ++i)
        if (m_snapshot.spreadsheets[i].id == id) return i;
    return -1;
}

void LibraryStore::writeUIState()
{
    const QByteArray data = TavrinJSON::encode(toJson(m_uiState));
    // An identical file is already on disk; skipping the rewrite keeps every keystroke to one fsync.
    if (data == m_writtenUIState && !m_uiStateFile.holdsUnreadableFile() && QFile::exists(m_uiStateFile.path())) return;
    if (m_uiStateFile.write(data)) m_writtenUIState = data;
}

void LibraryStore::persist(bool notify, const std::optional<QUuid>& dirtying)
{
    if (dirtying) {
        PersistedUIState state = m_uiState;
        state.syncedSpreadsheetIDs.removeAll(*dirtying);
        setUIState(state);
        writeUIState();
    }
    m_snapshot.updatedAt = TavrinJSON::now();
    m_snapshot.version = 1;
    const bool tookInOthers = m_libraryFile.save().tookIn;
    // Another program's changes may touch any spreadsheet.
    Q_EMIT snapshotChanged(tookInOthers ? QUuid() : dirtying.value_or(QUuid()));
    if (notify && !m_isApplyingRemote && onChange) onChange();
}

void LibraryStore::ensureTrailingBlankRow(const QUuid& spreadsheetID)
{
    // Looked up again: a write may have taken in another program's spreadsheets.
    const qsizetype index = indexOfSpreadsheet(spreadsheetID);
    if (index < 0) return;
    SpreadsheetRecord& sheet = m_snapshot.spreadsheets[index];
    if (sheet.rows.isEmpty() || sheet.rows.last().isBlank()) return;
    sheet.rows.push_back(RowRecord::blank());
    persist(true, sheet.id);
}

DayRecord LibraryStore::addDay(const std::optional<QString>& name)
{
    const EditGroup step(*this);
    const QDateTime now = TavrinJSON::now();
    QString trimmed = name ? name->trimmed() : QString();
    if (trimmed.isEmpty()) trimmed = TavrinTheme::defaultDayName(now);
    DayRecord day{QUuid::createUuid(), trimmed, now, nextSortIndex(m_snapshot.days)};
    m_snapshot.days.push_back(day);
    persist(true, std::nullopt);
    return day;
}

void LibraryStore::renameDay(const QUuid& id, const QString& name)
{
    const EditGroup step(*this);
    for (DayRecord& d : m_snapshot.days) {
        if (d.id == id) {
            d.name = name.trimmed();
            persist(true, std::nullopt);
            return;
        }
    }
}

void LibraryStore::deleteDay(const QUuid& id)
{
    const EditGroup step(*this);
    m_snapshot.days.removeIf([&](const DayRecord& d) { return d.id == id; });
    m_snapshot.spreadsheets.removeIf([&](const SpreadsheetRecord& s) { return s.dayID == id; });
    persist(true, std::nullopt);
}

SpreadsheetRecord LibraryStore::addSpreadsheet(const QUuid& dayID, const QString& title)
{
    const EditGroup step(*this);
    const QDateTime now = TavrinJSON::now();
    QString trimmed = title.trimmed();
    if (trimmed.isEmpty()) trimmed = QStringLiteral("Nouveau tableur");
    SpreadsheetRecord sheet{QUuid::createUuid(), dayID, trimmed, now, now, true, {RowRecord::blank()}};
    m_snapshot.spreadsheets.push_back(sheet);
    persist(true, sheet.id);
    return sheet;
}

void LibraryStore::renameSpreadsheet(const QUuid& id, const QString& title)
{
    const EditGroup step(*this);
    const qsizetype i = indexOfSpreadsheet(id);
    if (i < 0) return;
    m_snapshot.spreadsheets[i].title = title.trimmed();
    m_snapshot.spreadsheets[i].updatedAt = TavrinJSON::now();
    persist(true, id);
}

void LibraryStore::deleteSpreadsheet(const QUuid& id)
{
    const EditGroup step(*this);
    m_snapshot.spreadsheets.removeIf([&](const SpreadsheetRecord& s) { return s.id == id; });
    if (m_uiState.syncedSpreadsheetIDs.contains(id)) {
        PersistedUIState state = m_uiState;
        state.syncedSpreadsheetIDs.removeAll(id);
        setUIState(state);
    }
    persist(true, std::nullopt);
}

std::optional<RowRecord> LibraryStore::addRow(const QUuid& spreadsheetID)
{
    const EditGroup step(*this);
    const qsizetype i = indexOfSpreadsheet(spreadsheetID);
    if (i < 0) return std::nullopt;
    const RowRecord row = RowRecord::blank();
    m_snapshot.spreadsheets[i].rows.push_back(row);
    m_snapshot.spreadsheets[i].updatedAt = TavrinJSON::now();
    persist(true, spreadsheetID);
    return row;
}

std::optional<RowRecord> LibraryStore::insertRow(const QUuid& spreadsheetID, const QUuid& rowID, bool before)
{
    const EditGroup step(*this);
    const qsizetype i = indexOfSpreadsheet(spreadsheetID);
    if (i < 0) return std::nullopt;
    SpreadsheetRecord& sheet = m_snapshot.spreadsheets[i];
    const auto it = std::find_if(sheet.rows.cbegin(), sheet.rows.cend(), [&](const RowRecord& r) { return r.id == rowID; });
    if (it == sheet.rows.cend()) return std::nullopt;
    const qsizetype at = std::min<qsizetype>((it - sheet.rows.cbegin()) + (before ? 0 : 1), sheet.rows.size());
    const RowRecord row = RowRecord::blank();
    sheet.rows.insert(at, row);
    sheet.updatedAt = TavrinJSON::now();
    persist(true, spreadsheetID);
    return row;
}

void LibraryStore::updateRow(const QUuid& spreadsheetID, const QUuid& rowID, const std::optional<QString>& photoNumber,
                             const std::optional<QString>& assignedNumber)
{
    const EditGroup step(*this);
    const qsizetype i = indexOfSpreadsheet(spreadsheetID);
    if (i < 0) return;
    SpreadsheetRecord& sheet = m_snapshot.spreadsheets[i];
    const auto it = std::find_if(sheet.rows.begin(), sheet.rows.end(), [&](const RowRecord& r) { return r.id == rowID; });
    if (it == sheet.rows.end()) return;
    if (photoNumber) it->photoNumber = *photoNumber;
    if (assignedNumber) it->assignedNumber = *assignedNumber;
    sheet.updatedAt = TavrinJSON::now();
    persist(true, spreadsheetID);
    ensureTrailingBlankRow(spreadsheetID);
}

void LibraryStore::updateRows(const QUuid& spreadsheetID, const QUuid& firstRowID, const QList<RowPatch>& patches)
{
    const EditGroup step(*this);
    const qsizetype i = indexOfSpreadsheet(spreadsheetID);
    if (i < 0 || patches.isEmpty()) return;
    SpreadsheetRecord& sheet = m_snapshot.spreadsheets[i];
    const auto it = std::find_if(sheet.rows.cbegin(), sheet.rows.cend(), [&](const RowRecord& r) { return r.id == firstRowID; });
    if (it == sheet.rows.cend()) return;
    qsizetype at = it - sheet.rows.cbegin();
    for (const RowPatch& patch : patches) {
        if (at == sheet.rows.size()) sheet.rows.push_back(RowRecord::blank());
        RowRecord& row = sheet.rows[at++];
        if (patch.photoNumber) row.photoNumber = *patch.photoNumber;
        if (patch.assignedNumber) row.assignedNumber = *patch.assignedNumber;
    }
    if (!sheet.rows.last().isBlank()) sheet.rows.push_back(RowRecord::blank());
    sheet.updatedAt = TavrinJSON::now();
    persist(true, spreadsheetID);
}

QList<QUuid> LibraryStore::insertRows(const QUuid& spreadsheetID, const QList<NewRow>& rows)
{
    const EditGroup step(*this);
    const qsizetype i = indexOfSpreadsheet(spreadsheetID);
    if (i < 0 || rows.isEmpty()) return {};
    QList<RowRecord>& sheetRows = m_snapshot.spreadsheets[i].rows;
    QList<QUuid> made;
    for (const NewRow& wanted : rows) {
        RowRecord row = RowRecord::blank();
        row.photoNumber = wanted.numbers.photoNumber.value_or(QString());
        row.assignedNumber = wanted.numbers.assignedNumber.value_or(QString());
        qsizetype at = -1;
        if (!wanted.before.isNull())
            for (qsizetype k = 0; k < sheetRows.size() && at < 0; ++k)
                if (sheetRows[k].id == wanted.before) at = k;
        if (at < 0) {
            at = sheetRows.size();
            while (at > 0 && sheetRows[at - 1].isBlank()) --at;
        }
        sheetRows.insert(at, row);
        made.push_back(row.id);
    }
    if (!sheetRows.last().isBlank()) sheetRows.push_back(RowRecord::blank());
    m_snapshot.spreadsheets[i].updatedAt = TavrinJSON::now();
    persist(true, spreadsheetID);
    return made;
}

void LibraryStore::deleteRow(const QUuid& spreadsheetID, const QUuid& rowID)
{
    const EditGroup step(*this);
    const qsizetype i = indexOfSpreadsheet(spreadsheetID);
    if (i < 0) return;
    SpreadsheetRecord& sheet = m_snapshot.spreadsheets[i];
    sheet.rows.removeIf([&](const RowRecord& r) { return r.id == rowID; });
    if (sheet.rows.isEmpty()) sheet.rows.push_back(RowRecord::blank());
    sheet.updatedAt = TavrinJSON::now();
    persist(true, spreadsheetID);
}

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

void LibraryStore::replaceFromRemote(const LibrarySnapshot& incoming)
{
    const bool incomingEmpty = incoming.days.isEmpty() && incoming.spreadsheets.isEmpty();
    const bool localFilled = !m_snapshot.days.isEmpty() || !m_snapshot.spreadsheets.isEmpty();
    if (incomingEmpty && localFilled) return;
    m_isApplyingRemote = true;
    m_snapshot = merged(m_snapshot, incoming);
    m_snapshot.version = 1;
    persist(false, std::nullopt);
    m_isApplyingRemote = false;
}

bool LibraryStore::takeIn(const LibrarySnapshot& base, const LibrarySnapshot& theirs)
{
    // Another program's changes are no part of the step being recorded: the state before it
    // takes them in too, so that undoing the step leaves them.
    if (m_stepDepth > 0) m_openStep.before = threeWayMerged(base, m_openStep.before, theirs);
    LibrarySnapshot both = threeWayMerged(base, m_snapshot, theirs);
    if (both == m_snapshot) return false;
    m_snapshot = std::move(both);
    return true;
}

void LibraryStore::followDiskChanges()
{
    m_libraryFile.follow(this, [this] { reloadIfChanged(); });
}

bool LibraryStore::reloadIfChanged()
{
    const auto taken = m_libraryFile.reload();
    if (!taken.changed) return false;
    // Changes of ours that never reached the disk go there now.
    if (taken.heldMore) persist(false, std::nullopt);
    else Q_EMIT snapshotChanged(QUuid());
    return true;
}

namespace {

// The last blank rows are one: the table always ends on a single blank row to type into.
void keepOneTrailingBlankRow(QList<RowRecord>& rows)
{
    while (rows.size() > 1 && rows.last().isBlank() && rows[rows.size() - 2].isBlank()) rows.removeLast();
    if (rows.isEmpty() || !rows.last().isBlank()) rows.push_back(RowRecord::blank());
}

} // namespace

LibrarySnapshot LibraryStore::threeWayMerged(const LibrarySnapshot& base, const LibrarySnapshot& ours,
                                             const LibrarySnapshot& theirs)
{
    using RecordMerge::pick;
    const auto dayID = [](const DayRecord& d) { return d.id; };
    const auto sheetID = [](const SpreadsheetRecord& s) { return s.id; };
    const auto rowID = [](const RowRecord& r) { return r.id; };

    LibrarySnapshot result;
    result.version = 1;
    result.updatedAt = later(ours.updatedAt, theirs.updatedAt);
    result.days = RecordMerge::byId(base.days, ours.days, theirs.days, dayID,
                                    [](const DayRecord* b, const DayRecord& o, const DayRecord& t) {
                                        if (!b) return o;
                                        DayRecord d = o;
                                        d.name = pick(b->name, o.name, t.name);
                                        d.sortIndex = pick(b->sortIndex, o.sortIndex, t.sortIndex);
                                        return d;
                                    });
    result.spreadsheets = RecordMerge::byId(
        base.spreadsheets, ours.spreadsheets, theirs.spreadsheets, sheetID,
        [&](const SpreadsheetRecord* b, const SpreadsheetRecord& o, const SpreadsheetRecord& t) {
            const SpreadsheetRecord none{};
            const SpreadsheetRecord& bs = b ? *b : none;
            SpreadsheetRecord s = o;
            s.dayID = pick(bs.dayID, o.dayID, t.dayID);
            s.title = pick(bs.title, o.title, t.title);
            s.isOpen = pick(bs.isOpen, o.isOpen, t.isOpen);
            s.updatedAt = later(o.updatedAt, t.updatedAt);
            s.rows = RecordMerge::byId(bs.rows, o.rows, t.rows, rowID,
                                       [](const RowRecord* br, const RowRecord& orow, const RowRecord& trow) {
                                           if (!br) return orow;
                                           RowRecord r = orow;
                                           r.photoNumber = pick(br->photoNumber, orow.photoNumber, trow.photoNumber);
                                           r.assignedNumber = pick(br->assignedNumber, orow.assignedNumber, trow.assignedNumber);
                                           return r;
                                       });
            keepOneTrailingBlankRow(s.rows);
            return s;
        });
    // A spreadsheet kept (added or changed on one side) whose day the other side removed brings
    // its day back rather than being left out of every day.
    QSet<QUuid> days;
    for (const DayRecord& d : result.days) days.insert(d.id);
    for (const SpreadsheetRecord& s : result.spreadsheets) {
        if (days.contains(s.dayID)) continue;
        for (const LibrarySnapshot* side : {&ours, &theirs, &base})
            if (const std::optional<DayRecord> day = side->day(s.dayID)) {
                result.days.push_back(*day);
                days.insert(day->id);
                break;
            }
    }
    return result;
}

LibrarySnapshot LibraryStore::merged(const LibrarySnapshot& local, const LibrarySnapshot& incoming)
{
    // Insertion-ordered indexes: local records first, incoming ones replacing or appended.
    QList<DayRecord> days = local.days;
    QHash<QUuid, qsizetype> dayIndex;
    dayIndex.reserve(days.size() + incoming.days.size());
    for (qsizetype i = 0; i < days.size(); ++i) dayIndex.insert(days[i].id, i);
    for (const DayRecord& d : incoming.days) {
        const auto it = dayIndex.constFind(d.id);
        if (it != dayIndex.constEnd()) {
            days[*it] = d;
        } else {
            dayIndex.insert(d.id, days.size());
            days.push_back(d);
        }
    }

    QList<SpreadsheetRecord> sheets = local.spreadsheets;
    QHash<QUuid, qsizetype> sheetIndex;
    sheetIndex.reserve(sheets.size() + incoming.spreadsheets.size());
    for (qsizetype i = 0; i < sheets.size(); ++i) sheetIndex.insert(sheets[i].id, i);
    // Which slots still hold the local record: an incoming duplicate replaces an earlier incoming one.
    QList<bool> fromIncoming(sheets.size(), false);
    for (const SpreadsheetRecord& s : incoming.spreadsheets) {
        const auto it = sheetIndex.constFind(s.id);
        if (it == sheetIndex.constEnd()) {
            sheetIndex.insert(s.id, sheets.size());
            sheets.push_back(s);
            fromIncoming.push_back(true);
        } else if (fromIncoming[*it]) {
            sheets[*it] = s;
        } else {
            sheets[*it] = mergedSpreadsheet(sheets[*it], s);
        }
    }

    LibrarySnapshot result;
    result.version = 1;
    result.updatedAt = later(local.updatedAt, incoming.updatedAt);
    result.days = std::move(days);
    result.spreadsheets = std::move(sheets);
    return result;
}

QList<RowRecord> LibraryStore::mergedRows(const QList<RowRecord>& local, const QList<RowRecord>& incoming)
{
    QList<RowRecord> result;
    result.reserve(local.size() + incoming.size() + 1);
    QSet<QUuid> incomingIDs;
    incomingIDs.reserve(incoming.size());
    for (const RowRecord& r : incoming) {
        if (r.isBlank()) continue;
        result.push_back(r);
        incomingIDs.insert(r.id);
    }
    // A blank row inserted among the local rows stays: it is there to be typed into, perhaps
    // right now. The blank rows that end the list give way to the one appended below.
    qsizetype localEnd = local.size();
    while (localEnd > 0 && local[localEnd - 1].isBlank()) --localEnd;
    for (qsizetype i = 0; i < localEnd; ++i)
        if (!incomingIDs.contains(local[i].id)) result.push_back(local[i]);
    result.push_back(RowRecord::blank());
    return result;
}

void LibraryStore::setAppearance(AppearancePreference appearance)
{
    if (appearance != m_appearance) {
        m_appearance = appearance;
        Q_EMIT appearanceChanged();
    }
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setString(kAppearanceKey, rawValue(appearance));
    defaults.synchronize();
}

void LibraryStore::updateUIState(const std::optional<QUuid>& selectedDayID, const std::optional<QUuid>& selectedSpreadsheetID)
{
    const PersistedUIState state{selectedDayID, selectedSpreadsheetID, m_uiState.syncedSpreadsheetIDs};
    if (state == m_uiState) return;
    setUIState(state);
    writeUIState();
}

void LibraryStore::flush()
{
    persist(false, std::nullopt);
    writeUIState();
    UserDefaults::standard().synchronize();
}

void LibraryStore::setImportBanner(const QString& banner)
{
    m_lastImportBanner = banner;
    ++m_importGeneration;
    Q_EMIT importGenerationChanged();
}

std::optional<QString> LibraryStore::importTavrinFile(const QString& path)
{
    if (QFileInfo(path).suffix().toLower() != u"tavrin") return std::nullopt;
    TavrinTransferPackage package;
    try {
        QFile file(path);
        // No transfer file comes near the size of a whole library file; a larger one is not read.
        if (!file.open(QIODevice::ReadOnly) || file.size() > JsonFile::maxSize) throw Error(kImportFailedBanner);
        package = transferPackageFromJson(TavrinJSON::decodeObject(file.readAll()));
    } catch (const std::exception&) {
        setImportBanner(kImportFailedBanner);
        return kImportFailedBanner;
    }
    mergeImported(package);
    QString banner;
    if (package.kind == TavrinTransferPackage::Kind::spreadsheet) {
        const QString title = package.spreadsheets.isEmpty() ? package.day.name : package.spreadsheets.first().title;
        banner = QStringLiteral("Tableur « ") + title + QStringLiteral(" » importé");
    } else if (package.spreadsheets.isEmpty()) {
        banner = QStringLiteral("Jour « ") + package.day.name + QStringLiteral(" » importé");
    } else {
        const qsizetype n = package.spreadsheets.size();
        banner = QStringLiteral("Jour « ") + package.day.name + QStringLiteral(" » importé · ") + QString::number(n)
                 + QStringLiteral(" tableur") + (n == 1 ? QString() : QStringLiteral("s"));
    }
    setImportBanner(banner);
    return banner;
}

void LibraryStore::mergeImported(const TavrinTransferPackage& package)
{
    m_isApplyingRemote = true;
    const QUuid dayID = package.day.id;
    if (!m_snapshot.day(dayID)) {
        DayRecord day = package.day;
        day.sortIndex = nextSortIndex(m_snapshot.days);
        m_snapshot.days.push_back(day);
    }
    for (SpreadsheetRecord sheet : package.spreadsheets) {
        sheet.dayID = dayID;
        const qsizetype i = indexOfSpreadsheet(sheet.id);
        if (i >= 0) m_snapshot.spreadsheets[i] = mergedSpreadsheet(m_snapshot.spreadsheets[i], sheet);
        else m_snapshot.spreadsheets.push_back(sheet);
    }
    PersistedUIState state = m_uiState;
    state.selectedDayID = dayID;
    if (!package.spreadsheets.isEmpty()) state.selectedSpreadsheetID = package.spreadsheets.first().id;
    setUIState(state);
    writeUIState();
    persist(false, std::nullopt);
    m_isApplyingRemote = false;
}

} // namespace tavrin
