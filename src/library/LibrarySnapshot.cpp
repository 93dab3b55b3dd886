#include "library/LibrarySnapshot.h"

#include "base/JsonRecord.h"
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

// The fields of each record, keys in ascending order.
static auto jsonFields(const RowRecord*)
{
    return std::tuple{JsonRecord::field(kAssignedNumber, &RowRecord::assignedNumber), JsonRecord::field(kId, &RowRecord::id),
                      JsonRecord::field(kPhotoNumber, &RowRecord::photoNumber)};
}

static auto jsonFields(const SpreadsheetRecord*)
{
    return std::tuple{JsonRecord::field(kCreatedAt, &SpreadsheetRecord::createdAt),
                      JsonRecord::field(kDayID, &SpreadsheetRecord::dayID), JsonRecord::field(kId, &SpreadsheetRecord::id),
                      JsonRecord::field(kIsOpen, &SpreadsheetRecord::isOpen), JsonRecord::field(kRows, &SpreadsheetRecord::rows),
                      JsonRecord::field(kTitle, &SpreadsheetRecord::title),
                      JsonRecord::field(kUpdatedAt, &SpreadsheetRecord::updatedAt)};
}

static auto jsonFields(const DayRecord*)
{
    return std::tuple{JsonRecord::field(kCreatedAt, &DayRecord::createdAt), JsonRecord::field(kId, &DayRecord::id),
                      JsonRecord::field(kName, &DayRecord::name), JsonRecord::field(kSortIndex, &DayRecord::sortIndex)};
}

static auto jsonFields(const LibrarySnapshot*)
{
    return std::tuple{JsonRecord::field(kDays, &LibrarySnapshot::days), JsonRecord::field(kSpreadsheets, &LibrarySnapshot::spreadsheets),
                      JsonRecord::field(kUpdatedAt, &LibrarySnapshot::updatedAt), JsonRecord::field(kVersion, &LibrarySnapshot::version)};
}

void writeJson(JsonWriter& w, const RowRecord& row) { JsonRecord::write(w, row); }
void writeJson(JsonWriter& w, const SpreadsheetRecord& s) { JsonRecord::write(w, s); }
void writeJson(JsonWriter& w, const DayRecord& d) { JsonRecord::write(w, d); }
void writeJson(JsonWriter& w, const LibrarySnapshot& snapshot) { JsonRecord::write(w, snapshot); }

RowRecord rowRecordFromJson(const QJsonObject& o) { return JsonRecord::read<RowRecord>(o); }
SpreadsheetRecord spreadsheetRecordFromJson(const QJsonObject& o) { return JsonRecord::read<SpreadsheetRecord>(o); }
DayRecord dayRecordFromJson(const QJsonObject& o) { return JsonRecord::read<DayRecord>(o); }
LibrarySnapshot librarySnapshotFromJson(const QJsonObject& o) { return JsonRecord::read<LibrarySnapshot>(o); }

QByteArray encodeLibrary(const LibrarySnapshot& snapshot) { return JsonWriter::document(snapshot); }

LibrarySnapshot decodeLibrary(const QByteArray& data) { return librarySnapshotFromJson(decodeObject(data)); }

} // namespace tavrin
