#include "organizer/SpreadsheetMacSettings.h"

#include <QJsonDocument>

namespace tavrin {

using namespace TavrinJSON;

namespace {

const QLatin1StringView kImportBookmark("importBookmark"), kImportName("importName"), kImportCopyName("importCopyName"),
    kSourceBookmark("sourceBookmark"), kSourceName("sourceName"), kDestinationBookmark("destinationBookmark"),
    kDestinationName("destinationName"), kSelectedDayName("selectedDayName"), kSelectedEventID("selectedEventID"),
    kCustomEventName("customEventName"), kManualRiders("manualRiders"), kIsCompleted("isCompleted"),
    kRememberedTransfers("rememberedTransfers"), kLastName("lastName"), kFirstName("firstName"), kFileNames("fileNames"),
    kRangeLabel("rangeLabel"), kCopies("copies"), kModified("modified"), kModifiedNanoseconds("modifiedNanoseconds"),
    kSize("size"), kSource("source"), kTarget("target"), kMade("made"), kShotSince("shotSince");

void writeOptional(JsonWriter& w, QLatin1StringView key, const std::optional<QString>& text)
{
    if (text) w.field(key, *text);
}

void writeOptionalData(JsonWriter& w, QLatin1StringView key, const std::optional<QByteArray>& data)
{
    if (!data) return;
    w.key(key);
    w.data(*data);
}

// Older files kept the date in whole seconds and nanoseconds: a JSON number holds nanoseconds
// since the epoch only approximately.
CopiedPhoto copyFromJson(const QJsonObject& o)
{
    return CopiedPhoto{requireString(o, kSource), requireInt(o, kSize),
                       requireInt(o, kModified) * 1000000000 + requireInt(o, kModifiedNanoseconds), requireString(o, kTarget),
                       o.value(kMade).toBool(false)};
}

void writeTransfer(JsonWriter& w, const RememberedPhotoTransfer& transfer)
{
    w.beginObject();
    // On one line: a season holds tens of thousands of names.
    w.key(kFileNames);
    w.encoded(QJsonDocument(transfer.fileNames).toJson(QJsonDocument::Compact));
    w.field(kRangeLabel, transfer.rangeLabel);
    w.endObject();
}

RememberedPhotoTransfer transferFromJson(const QJsonObject& o)
{
    RememberedPhotoTransfer transfer;
    transfer.fileNames = requireArray(o, kFileNames);
    for (const QJsonValueConstRef name : std::as_const(transfer.fileNames))
        if (!name.isString()) throw DecodingError(QStringLiteral("Type inattendu : ") + kFileNames);
    transfer.rangeLabel = requireString(o, kRangeLabel);
    return transfer;
}

} // namespace

void writeJson(JsonWriter& w, const SpreadsheetMacSettings& s)
{
    w.beginObject();
    writeOptional(w, kCustomEventName, s.customEventName);
    writeOptionalData(w, kDestinationBookmark, s.destinationBookmark);
    writeOptional(w, kDestinationName, s.destinationName);
    writeOptionalData(w, kImportBookmark, s.importBookmark);
    writeOptional(w, kImportCopyName, s.importCopyName);
    writeOptional(w, kImportName, s.importName);
    w.field(kIsCompleted, s.isCompleted);
    // Canonical numbers are any text: the map goes through the writer's escaping object path.
    QJsonObject riders;
    for (auto it = s.manualRiders.begin(); it != s.manualRiders.end(); ++it)
        riders.insert(it.key(), QJsonObject{{kFirstName, it->firstName}, {kLastName, it->lastName}});
    w.key(kManualRiders);
    w.value(QJsonValue(riders));
    w.key(kRememberedTransfers);
    writeUuidMap(w, s.rememberedTransfers, writeTransfer);
    writeOptional(w, kSelectedDayName, s.selectedDayName);
    writeOptional(w, kSelectedEventID, s.selectedEventID);
    if (!s.shotSince.isEmpty()) {
        w.key(kShotSince);
        w.beginArray();
        for (const QDateTime& since : s.shotSince) w.value(since);
        w.endArray();
    }
    writeOptionalData(w, kSourceBookmark, s.sourceBookmark);
    writeOptional(w, kSourceName, s.sourceName);
    w.endObject();
}

SpreadsheetMacSettings spreadsheetMacSettingsFromJson(const QJsonObject& o)
{
    SpreadsheetMacSettings s;
    s.importBookmark = optionalData(o, kImportBookmark);
    s.importName = optionalString(o, kImportName);
    s.importCopyName = optionalString(o, kImportCopyName);
    s.sourceBookmark = optionalData(o, kSourceBookmark);
    s.sourceName = optionalString(o, kSourceName);
    s.destinationBookmark = optionalData(o, kDestinationBookmark);
    s.destinationName = optionalString(o, kDestinationName);
    s.selectedDayName = optionalString(o, kSelectedDayName);
    s.selectedEventID = optionalString(o, kSelectedEventID);
    s.customEventName = optionalString(o, kCustomEventName);
    if (o.contains(kManualRiders)) {
        const QJsonObject riders = requireObject(o, kManualRiders);
        for (auto it = riders.begin(); it != riders.end(); ++it) {
            const QJsonObject rider = asObject(it.value());
            s.manualRiders.insert(it.key(), ManualRiderName{requireString(rider, kLastName), requireString(rider, kFirstName)});
        }
    }
    s.isCompleted = optionalBool(o, kIsCompleted).value_or(false);
    if (o.contains(kRememberedTransfers))
        s.rememberedTransfers = readUuidMap<RememberedPhotoTransfer>(o.value(kRememberedTransfers), transferFromJson);
    if (o.contains(kShotSince))
        for (const QJsonValue& since : requireArray(o, kShotSince)) {
            const std::optional<QDateTime> time = date(since.toString());
            if (!time) throw DecodingError(QStringLiteral("Date invalide : ") + since.toString());
            s.shotSince.push_back(*time);
        }
    return s;
}

QMap<QUuid, QList<CopiedPhoto>> legacyCopiesFromJson(const QJsonObject& settings)
{
    QMap<QUuid, QList<CopiedPhoto>> copies;
    if (!settings.contains(kRememberedTransfers)) return copies;
    const auto rowCopies = [](const QJsonObject& transfer) {
        QList<CopiedPhoto> list;
        if (transfer.contains(kCopies))
            for (const QJsonValue& copy : requireArray(transfer, kCopies)) list.push_back(copyFromJson(asObject(copy)));
        return list;
    };
    copies = readUuidMap<QList<CopiedPhoto>>(settings.value(kRememberedTransfers), rowCopies);
    copies.removeIf([](const auto& row) { return row.value().isEmpty(); });
    return copies;
}

} // namespace tavrin
