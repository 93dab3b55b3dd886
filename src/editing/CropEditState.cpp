#include "editing/CropEditState.h"

#include "base/TavrinJSON.h"

#include <QJsonArray>

namespace tavrin {

using namespace Qt::Literals::StringLiterals;

QJsonObject toJson(const CropEditState& s)
{
    return QJsonObject{
        {"format"_L1, rawValue(s.format)},
        {"includeWatermark"_L1, s.includeWatermark},
        {"zoom"_L1, s.zoom},
        {"offset"_L1, QJsonArray{s.offset.width(), s.offset.height()}},
        {"angle"_L1, s.angle},
        {"retouch"_L1, toJson(s.retouch)},
        {"cropValidated"_L1, s.cropValidated},
    };
}

CropEditState cropEditStateFromJson(const QJsonObject& o)
{
    CropEditState s;
    const QString formatText = TavrinJSON::requireString(o, "format"_L1);
    const std::optional<PrintFormat> format = printFormatFromRaw(formatText);
    if (!format) throw DecodingError(QStringLiteral("Format d’impression inconnu : « %1 ».").arg(formatText));
    s.format = *format;
    s.includeWatermark = TavrinJSON::requireBool(o, "includeWatermark"_L1);
    s.zoom = TavrinJSON::requireDouble(o, "zoom"_L1);
    const QJsonArray offset = TavrinJSON::requireArray(o, "offset"_L1);
    if (offset.size() != 2 || !offset[0].isDouble() || !offset[1].isDouble())
        throw DecodingError(QStringLiteral("Le décalage du recadrage doit être une paire de nombres."));
    s.offset = QSizeF(offset[0].toDouble(), offset[1].toDouble());
    s.angle = TavrinJSON::requireDouble(o, "angle"_L1);
    s.retouch = photoRetouchSettingsFromJson(TavrinJSON::requireObject(o, "retouch"_L1));
    s.cropValidated = TavrinJSON::requireBool(o, "cropValidated"_L1);
    return s;
}

} // namespace tavrin
