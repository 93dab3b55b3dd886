#pragma once

#include <QJsonObject>
#include <QList>
#include <QUuid>

#include <optional>

namespace tavrin {

// The selection that survives restarts ("ui-state.json"). Every key is optional on reading, so a
// file written by an older version still loads.
struct PersistedUIState {
    std::optional<QUuid> selectedDayID;
    std::optional<QUuid> selectedSpreadsheetID;
    QList<QUuid> syncedSpreadsheetIDs;

    bool operator==(const PersistedUIState&) const = default;
};

QJsonObject toJson(const PersistedUIState& state);
PersistedUIState persistedUIStateFromJson(const QJsonObject& object);

} // namespace tavrin
