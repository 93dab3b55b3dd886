// Two libraries made one: the sync merge of a phone's library, and the three-way merge of what
// another program wrote to the same file.
#include "library/LibraryStore.h"

#include "base/RecordMerge.h"

#include <QHash>

#include <algorithm>

namespace tavrin {

namespace {

const QDateTime& later(const QDateTime& local, const QDateTime& incoming) { return incoming >= local ? incoming : local; }

// The last blank rows are one: the table always ends on a single blank row to type into.
void keepOneTrailingBlankRow(QList<RowRecord>& rows)
{
    while (rows.size() > 1 && rows.last().isBlank() && rows[rows.size() - 2].isBlank()) rows.removeLast();
    if (rows.isEmpty() || !rows.last().isBlank()) rows.push_back(RowRecord::blank());
}

} // namespace

SpreadsheetRecord LibraryStore::mergedSpreadsheet(const SpreadsheetRecord& local, const SpreadsheetRecord& incoming)
{
    SpreadsheetRecord result = local;
    result.dayID = incoming.dayID;
    if (incoming.updatedAt > local.updatedAt) {
        result.title = incoming.title;
        result.isOpen = incoming.isOpen;
    }
    result.rows = mergedRows(local.rows, incoming.rows);
    result.updatedAt = later(local.updatedAt, incoming.updatedAt);
    return result;
}

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

namespace {

// Whether merging `incoming` into `local` would give `local` back, but for the new identifier
// of the blank row that ends it: same day, nothing newer from the phone, and its filled rows are
// the local ones in the same order, which already end on one blank row.
bool mergeKeeps(const SpreadsheetRecord& local, const SpreadsheetRecord& incoming)
{
    if (local.dayID != incoming.dayID || incoming.updatedAt > local.updatedAt) return false;
    if (local.rows.isEmpty() || !local.rows.last().isBlank()) return false;
    const qsizetype localEnd = local.rows.size() - 1;
    if (localEnd > 0 && local.rows[localEnd - 1].isBlank()) return false;
    qsizetype k = 0;
    for (const RowRecord& row : incoming.rows) {
        if (row.isBlank()) continue;
        if (k == localEnd || local.rows[k] != row) return false;
        ++k;
    }
    if (k == localEnd) return true;
    // Local rows after the phone's stay only if the phone does not hold them too.
    QSet<QUuid> incomingIDs;
    incomingIDs.reserve(k);
    for (qsizetype i = 0; i < k; ++i) incomingIDs.insert(local.rows[i].id);
    for (qsizetype i = k; i < localEnd; ++i)
        if (incomingIDs.contains(local.rows[i].id)) return false;
    return true;
}

} // namespace

bool LibraryStore::mergeInto(LibrarySnapshot& local, const LibrarySnapshot& incoming, QList<QUuid>& touched, bool& daysChanged)
{
    daysChanged = false;
    if (!incoming.days.isEmpty()) {
        QHash<QUuid, qsizetype> dayIndex;
        dayIndex.reserve(local.days.size());
        for (qsizetype i = 0; i < local.days.size(); ++i) dayIndex.insert(local.days[i].id, i);
        for (const DayRecord& d : incoming.days) {
            const auto it = dayIndex.constFind(d.id);
            if (it == dayIndex.constEnd()) {
                dayIndex.insert(d.id, local.days.size());
                local.days.push_back(d);
                daysChanged = true;
            } else if (std::as_const(local.days)[*it] != d) {
                local.days[*it] = d;
                daysChanged = true;
            }
        }
    }

    QHash<QUuid, qsizetype> sheetIndex;
    sheetIndex.reserve(local.spreadsheets.size() + incoming.spreadsheets.size());
    for (qsizetype i = 0; i < local.spreadsheets.size(); ++i) sheetIndex.insert(local.spreadsheets[i].id, i);
    // Spreadsheets this merge added: an incoming duplicate replaces an earlier incoming one.
    QSet<QUuid> added;
    for (const SpreadsheetRecord& s : incoming.spreadsheets) {
        const auto it = sheetIndex.constFind(s.id);
        if (it == sheetIndex.constEnd()) {
            sheetIndex.insert(s.id, local.spreadsheets.size());
            local.spreadsheets.push_back(s);
            added.insert(s.id);
        } else if (added.contains(s.id)) {
            local.spreadsheets[*it] = s;
            continue;
        } else {
            const SpreadsheetRecord& current = std::as_const(local.spreadsheets)[*it];
            if (mergeKeeps(current, s)) continue;
            SpreadsheetRecord merged = mergedSpreadsheet(current, s);
            local.spreadsheets[*it] = std::move(merged);
        }
        touched.push_back(s.id);
    }
    const bool changed = daysChanged || !touched.isEmpty();
    if (changed) {
        local.version = 1;
        local.updatedAt = later(local.updatedAt, incoming.updatedAt);
    }
    return changed;
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

} // namespace tavrin
