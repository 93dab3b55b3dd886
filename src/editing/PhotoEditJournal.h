#pragma once

// What is kept beside a photo's untouched copy: the look of the visible file and the previous
// looks for undo, oldest first.

#include "editing/CropEditState.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>

namespace tavrin {

struct PhotoEditJournal {
    // Undo goes back this far; older looks are dropped.
    static constexpr int historyLimit = 80;

    CropEditState current;
    QList<CropEditState> history;

    bool operator==(const PhotoEditJournal&) const = default;

    // Appends `state` to the history, dropping the oldest entries beyond the limit.
    void pushHistory(const CropEditState& state);
    // Pushes the current look and makes `next` current.
    void advance(const CropEditState& next);
};

QJsonObject toJson(const PhotoEditJournal& journal);
// Both keys, and every key of each look, are required; throws DecodingError otherwise.
PhotoEditJournal photoEditJournalFromJson(const QJsonObject& object);

} // namespace tavrin
