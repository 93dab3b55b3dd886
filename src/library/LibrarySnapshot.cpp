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

void writeJson(JsonWriter& w, const RowRecord& row)
{
    w.beginObject();
    w.field(kAssignedNumber, row.assignedNumber);
    w.field(kId, row.id);
    w.field(kPhotoNumber, row.photoNumber);
    w.endObject();
}

void writeJson(JsonWriter& w, const SpreadsheetRecord& s)
{
    w.beginObject();
    w.field(kCreatedAt, s.createdAt);
    w.field(kDayID, s.dayID);
    w.field(kId, s.id);
    w.field(kIsOpen, s.isOpen);
    w.array(kRows, s.rows);
    w.field(kTitle, s.title);
    w.field(kUpdatedAt, s.updatedAt);
    w.endObject();
}

void writeJson(JsonWriter& w, const DayRecord& d)
{
    w.beginObject();
    w.field(kCreatedAt, d.createdAt);
    w.field(kId, d.id);
    w.field(kName, d.name);
    w.field(kSortIndex, d.sortIndex);
    w.endObject();
}

void writeJson(JsonWriter& w, const LibrarySnapshot& snapshot)
{
    w.beginObject();
    w.array(kDays, snapshot.days);
    w.array(kSpreadsheets, snapshot.spreadsheets);
    w.field(kUpdatedAt, snapshot.updatedAt);
    w.field(kVersion, snapshot.version);
    w.endObject();
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

QByteArray encodeLibrary(const LibrarySnapshot& snapshot) { return JsonWriter::document(snapshot); }

LibrarySnapshot decodeLibrary(const QByteArray& data) { return librarySnapshotFromJson(decodeObject(data)); }

} // namespace tavrin
