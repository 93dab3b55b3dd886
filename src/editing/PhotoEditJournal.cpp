#include "editing/PhotoEditJournal.h"

#include "base/TavrinJSON.h"

namespace tavrin {

using namespace Qt::Literals::StringLiterals;

void PhotoEditJournal::pushHistory(const CropEditState& state)
{
    history.append(state);
    if (history.size() > historyLimit) history.remove(0, history.size() - historyLimit);
}

void PhotoEditJournal::advance(const CropEditState& next)
{
    pushHistory(current);
    current = next;
}

QJsonObject toJson(const PhotoEditJournal& j)
{
    return QJsonObject{
        {"current"_L1, toJson(j.current)},
        {"history"_L1, TavrinJSON::toArray(j.history, [](const CropEditState& s) { return toJson(s); })},
    };
}

PhotoEditJournal photoEditJournalFromJson(const QJsonObject& o)
{
    PhotoEditJournal j;
    j.current = cropEditStateFromJson(TavrinJSON::requireObject(o, "current"_L1));
    j.history = TavrinJSON::requireList<CropEditState>(o, "history"_L1, cropEditStateFromJson);
    return j;
}

} // namespace tavrin
