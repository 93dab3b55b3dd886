#pragma once

// The library typed during a competition: days holding spreadsheets holding rows. The four
// records live together because they are only ever read and written as one file.

#include "base/JsonWriter.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

namespace tavrin {

struct RowRecord {
    QUuid id;
    QString photoNumber;
    QString assignedNumber;

    // Both numbers empty once white space and line breaks are trimmed.
    bool isBlank() const;
    static RowRecord blank();

    bool operator==(const RowRecord&) const = default;
};

struct SpreadsheetRecord {
    QUuid id;
    QUuid dayID;
    QString title;
    QDateTime createdAt;
    QDateTime updatedAt;
    bool isOpen = true;
    QList<RowRecord> rows;

    // Rows whose photo number is not empty after trimming spaces and tabs (line breaks count).
    qsizetype filledRowCount() const;

    bool operator==(const SpreadsheetRecord&) const = default;
};

struct DayRecord {
    QUuid id;
    QString name;
    QDateTime createdAt;
    qint64 sortIndex = 0;

    bool operator==(const DayRecord&) const = default;
};

struct LibrarySnapshot {
    qint64 version = 1;
    QDateTime updatedAt;
    QList<DayRecord> days;
    QList<SpreadsheetRecord> spreadsheets;

    static LibrarySnapshot empty();

    std::optional<DayRecord> day(const QUuid& id) const;
    std::optional<SpreadsheetRecord> spreadsheet(const QUuid& id) const;
    // Newest first; equal creation times keep their array order.
    QList<SpreadsheetRecord> spreadsheetsIn(const QUuid& dayID) const;
    // By sortIndex, then newest first; remaining ties keep their array order.
    QList<DayRecord> sortedDays() const;

    bool operator==(const LibrarySnapshot&) const = default;
};

void writeJson(JsonWriter& w, const RowRecord& row);
void writeJson(JsonWriter& w, const SpreadsheetRecord& spreadsheet);
void writeJson(JsonWriter& w, const DayRecord& day);
void writeJson(JsonWriter& w, const LibrarySnapshot& snapshot);

// Strict: every key is required; any missing key, wrong type or bad date throws DecodingError.
RowRecord rowRecordFromJson(const QJsonObject& o);
SpreadsheetRecord spreadsheetRecordFromJson(const QJsonObject& o);
DayRecord dayRecordFromJson(const QJsonObject& o);
LibrarySnapshot librarySnapshotFromJson(const QJsonObject& o);

QByteArray encodeLibrary(const LibrarySnapshot& snapshot);
LibrarySnapshot decodeLibrary(const QByteArray& data);

} // namespace tavrin
