#include "library/LibrarySnapshot.h"

#include "base/TavrinJSON.h"
#include "base/Text.h"

#include <algorithm>

namespace tavrin {

using namespace TavrinJSON;

namespace {
const QLatin1StringView kId("id"), kPhotoNumber("photoNumber"), kAssignedNumber("assignedNumber"), kDayID("dayID"),
    kTitle("title"), kCreatedAt("createdAt"), kUpdatedAt("updatedAt"), kIsOpen("isOpen"), kRows("rows"), kName("name"),
    kSortIndex("sortIndex"), kVersion("version"), kDays("days"), kSpreadsheets("spreadsheets");
}

bool RowRecord::isBlank() const { return photoNumber.trimmed().isEmpty() && assignedNumber.trimmed().isEmpty(); }

RowRecord RowRecord::blank() { return RowRecord{QUuid::createUuid(), QString(), QString()}; }

qsizetype SpreadsheetRecord::filledRowCount() const
{
    return std::count_if(rows.begin(), rows.end(),
                         [](const RowRecord& r) { return !Text::trimmedSpacesAndTabs(r.photoNumber).isEmpty(); });
}

LibrarySnapshot LibrarySnapshot::empty()
{
    LibrarySnapshot s;
    s.version = 1;
    s.updatedAt = TavrinJSON::now();
    return s;
}

std::optional<DayRecord> LibrarySnapshot::day(const QUuid& id) const
{
    for (const DayRecord& d : days)
        if (d.id == id) return d;
    return std::nullopt;
}

std::optional<SpreadsheetRecord> LibrarySnapshot::spreadsheet(const QUuid& id) const
{
    for (const SpreadsheetRecord& s : spreadsheets)
        if (s.id == id) return s;
    return std::nullopt;
}

QList<SpreadsheetRecord> LibrarySnapshot::spreadsheetsIn(const QUuid& dayID) const
{
    QList<SpreadsheetRecord> result;
    for (const SpreadsheetRecord& s : spreadsheets)
        if (s.dayID == dayID) result.push_back(s);
    std::stable_sort(result.begin(), result.end(),
                     [](const SpreadsheetRecord& a, const SpreadsheetRecord& b) { return a.createdAt > b.createdAt; });
    return result;
}

QList<DayRecord> LibrarySnapshot::sortedDays() const
{
    QList<DayRecord> result = days;
    std::stable_sort(result.begin(), result.end(), [](const DayRecord& a, const DayRecord& b) {
        if (a.sortIndex != b.sortIndex) return a.sortIndex < b.sortIndex;
        return a.createdAt > b.createdAt;
    });
    return result;
}

QJsonObject toJson(const RowRecord& row)
{
    return QJsonObject{{kAssignedNumber, row.assignedNumber}, {kId, uuidString(row.id)}, {kPhotoNumber, row.photoNumber}};
}

QJsonObject toJson(const SpreadsheetRecord& s)
{
    QJsonArray rows;
    for (const RowRecord& r : s.rows) rows.append(toJson(r));
    return QJsonObject{{kCreatedAt, encodeDate(s.createdAt)}, {kDayID, uuidString(s.dayID)}, {kId, uuidString(s.id)},
                       {kIsOpen, s.isOpen}, {kRows, rows}, {kTitle, s.title}, {kUpdatedAt, encodeDate(s.updatedAt)}};
}

QJsonObject toJson(const DayRecord& d)
{
    return QJsonObject{{kCreatedAt, encodeDate(d.createdAt)}, {kId, uuidString(d.id)}, {kName, d.name},
                       {kSortIndex, d.sortIndex}};
}

QJsonObject toJson(const LibrarySnapshot& snapshot)
{
    QJsonArray days, spreadsheets;
    for (const DayRecord& d : snapshot.days) days.append(toJson(d));
    for (const SpreadsheetRecord& s : snapshot.spreadsheets) spreadsheets.append(toJson(s));
    return QJsonObject{{kDays, days}, {kSpreadsheets, spreadsheets}, {kUpdatedAt, encodeDate(snapshot.updatedAt)},
                       {kVersion, snapshot.version}};
}

RowRecord rowRecordFromJson(const QJsonObject& o)
{
    return RowRecord{requireUUID(o, kId), requireString(o, kPhotoNumber), requireString(o, kAssignedNumber)};
}

SpreadsheetRecord spreadsheetRecordFromJson(const QJsonObject& o)
{
    SpreadsheetRecord s;
    s.id = requireUUID(o, kId);
    s.dayID = requireUUID(o, kDayID);
    s.title = requireString(o, kTitle);
    s.createdAt = requireDate(o, kCreatedAt);
    s.updatedAt = requireDate(o, kUpdatedAt);
    s.isOpen = requireBool(o, kIsOpen);
    s.rows = requireList<RowRecord>(o, kRows, rowRecordFromJson);
    return s;
}

DayRecord dayRecordFromJson(const QJsonObject& o)
{
    return DayRecord{requireUUID(o, kId), requireString(o, kName), requireDate(o, kCreatedAt), requireInt(o, kSortIndex)};
}

LibrarySnapshot librarySnapshotFromJson(const QJsonObject& o)
{
    LibrarySnapshot s;
    s.version = requireInt(o, kVersion);
    s.updatedAt = requireDate(o, kUpdatedAt);
    s.days = requireList<DayRecord>(o, kDays, dayRecordFromJson);
    s.spreadsheets = requireList<SpreadsheetRecord>(o, kSpreadsheets, spreadsheetRecordFromJson);
    return s;
}

QByteArray encodeLibrary(const LibrarySnapshot& snapshot) { return encode(toJson(snapshot)); }

LibrarySnapshot decodeLibrary(const QByteArray& data) { return librarySnapshotFromJson(decodeObject(data)); }

} // namespace tavrin
