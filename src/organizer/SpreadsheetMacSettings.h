#pragma once

// What the desktop keeps per spreadsheet: the folders, the programme day and event, names typed
// by hand, the done mark and the photos last copied for each row.

#include "base/JsonWriter.h"
#include "base/TavrinJSON.h"
#include "organizer/PhotoCopierMemory.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <algorithm>
#include <optional>
#include <vector>

namespace tavrin {

struct ManualRiderName {
    QString lastName;
    QString firstName;

    bool operator==(const ManualRiderName&) const = default;
};

// Each photo as it was copied (or found already there) lives in the data folder's database, not
// here: the file would otherwise grow with every photo of the show.
struct RememberedPhotoTransfer {
    // The names of the photos of the row's group at the time of the run, in group order. Kept
    // as read: only their count is shown, and a season's names are read and written again at
    // every change of the file.
    QJsonArray fileNames;
    QString rangeLabel;

    bool operator==(const RememberedPhotoTransfer&) const = default;
};

struct SpreadsheetMacSettings {
    // Kept and written back as read; nothing sets them.
    std::optional<QByteArray> importBookmark;
    std::optional<QString> importName;
    std::optional<QString> importCopyName;
    std::optional<QByteArray> sourceBookmark;
    std::optional<QString> sourceName;
    std::optional<QByteArray> destinationBookmark;
    std::optional<QString> destinationName;
    std::optional<QString> selectedDayName;
    std::optional<QString> selectedEventID;
    // Kept and written back as read.
    std::optional<QString> customEventName;
    // Keyed by canonical assigned number.
    QMap<QString, ManualRiderName> manualRiders;
    bool isCompleted = false;
    // Keyed by row identifier.
    QMap<QUuid, RememberedPhotoTransfer> rememberedTransfers;
    // Each time the spreadsheet became the class being shot, oldest first: the photos taken from
    // one of these times until another spreadsheet's next one are its own.
    QList<QDateTime> shotSince;

    bool operator==(const SpreadsheetMacSettings&) const = default;
};

// Writes a map keyed by identifiers as an object with the upper-case identifiers as keys, in
// sorted order.
template <typename V, typename F>
void writeUuidMap(JsonWriter& w, const QMap<QUuid, V>& map, F writeValue)
{
    std::vector<std::pair<QByteArray, const V*>> entries;
    entries.reserve(size_t(map.size()));
    for (auto it = map.begin(); it != map.end(); ++it)
        entries.emplace_back(it.key().toString(QUuid::WithoutBraces).toUpper().toLatin1(), &it.value());
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    w.beginObject();
    // The key texts live in `entries` until the object is closed, as the writer requires.
    for (const auto& [key, value] : entries) {
        w.key(QLatin1StringView(key));
        writeValue(w, *value);
    }
    w.endObject();
}

// Reads such a map; also accepts an array alternating keys and values. Throws DecodingError.
template <typename V, typename F>
QMap<QUuid, V> readUuidMap(const QJsonValue& json, F readValue)
{
    QMap<QUuid, V> map;
    const auto insert = [&](const QJsonValue& key, const QJsonValue& value) {
        const std::optional<QUuid> id = TavrinJSON::uuid(key.toString());
        if (!key.isString() || !id) throw DecodingError(QStringLiteral("Identifiant invalide : ") + key.toString());
        map.insert(*id, readValue(TavrinJSON::asObject(value)));
    };
    if (json.isArray()) {
        const QJsonArray pairs = json.toArray();
        if (pairs.size() % 2 != 0) throw DecodingError(QStringLiteral("JSON invalide : paires attendues"));
        for (qsizetype i = 0; i < pairs.size(); i += 2) insert(pairs[i], pairs[i + 1]);
        return map;
    }
    const QJsonObject object = TavrinJSON::asObject(json);
    for (auto it = object.begin(); it != object.end(); ++it) insert(QJsonValue(it.key()), it.value());
    return map;
}

void writeJson(JsonWriter& w, const SpreadsheetMacSettings& settings);
// Every key is optional: an absent one reads as its default.
SpreadsheetMacSettings spreadsheetMacSettingsFromJson(const QJsonObject& o);
// The copies that files written before the database kept in each transfer (`copies`), by row;
// empty for newer files.
QMap<QUuid, QList<CopiedPhoto>> legacyCopiesFromJson(const QJsonObject& settings);

} // namespace tavrin
