#include "organizer/OrganizerHistory.h"

#include "base/TavrinJSON.h"

namespace tavrin {

using namespace TavrinJSON;

namespace {
const QLatin1StringView kId("id"), kSpreadsheetID("spreadsheetID"), kSpreadsheetTitle("spreadsheetTitle"), kDate("date"),
    kHeadline("headline"), kMessages("messages"), kTitle("title"), kEntries("entries");
} // namespace

void writeJson(JsonWriter& w, const OrganizerHistoryEntry& e)
{
    w.beginObject();
    w.field(kDate, e.date);
    w.field(kHeadline, e.headline);
    w.field(kId, e.id);
    w.array(kMessages, e.messages);
    w.field(kSpreadsheetID, e.spreadsheetID);
    w.field(kSpreadsheetTitle, e.spreadsheetTitle);
    w.endObject();
}

void writeJson(JsonWriter& w, const OrganizerHistorySection& s)
{
    w.beginObject();
    w.array(kEntries, s.entries);
    w.field(kId, s.id);
    w.field(kTitle, s.title);
    w.endObject();
}

OrganizerHistoryEntry organizerHistoryEntryFromJson(const QJsonObject& o)
{
    OrganizerHistoryEntry e{requireUUID(o, kId), requireUUID(o, kSpreadsheetID), requireString(o, kSpreadsheetTitle),
                            requireDate(o, kDate), requireString(o, kHeadline), {}};
    for (const QJsonValue& message : requireArray(o, kMessages)) {
        if (!message.isString()) throw DecodingError(QStringLiteral("Type inattendu : ") + kMessages);
        e.messages.push_back(message.toString());
    }
    return e;
}

} // namespace tavrin
