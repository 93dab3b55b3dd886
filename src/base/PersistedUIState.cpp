#include "base/PersistedUIState.h"

#include "base/TavrinJSON.h"

namespace tavrin {

using namespace TavrinJSON;

QJsonObject toJson(const PersistedUIState& state)
{
    QJsonObject o;
    putOptional(o, QLatin1StringView("selectedDayID"), state.selectedDayID, uuidString);
    putOptional(o, QLatin1StringView("selectedSpreadsheetID"), state.selectedSpreadsheetID, uuidString);
    QJsonArray synced;
    for (const QUuid& id : state.syncedSpreadsheetIDs) synced.append(uuidString(id));
    o.insert(QLatin1StringView("syncedSpreadsheetIDs"), synced);
    return o;
}

PersistedUIState persistedUIStateFromJson(const QJsonObject& o)
{
    PersistedUIState state;
    state.selectedDayID = optionalUUID(o, QLatin1StringView("selectedDayID"));
    state.selectedSpreadsheetID = optionalUUID(o, QLatin1StringView("selectedSpreadsheetID"));
    if (o.contains(QLatin1StringView("syncedSpreadsheetIDs"))) {
        for (const QJsonValue& v : requireArray(o, QLatin1StringView("syncedSpreadsheetIDs"))) {
            const auto id = v.isString() ? uuid(v.toString()) : std::nullopt;
            if (!id) throw DecodingError(QStringLiteral("Identifiant invalide"));
            state.syncedSpreadsheetIDs.push_back(*id);
        }
    }
    return state;
}

} // namespace tavrin
