#pragma once

// One look of an ordered photo: print format and crop, rotation, retouch and watermark. The crop
// geometry (format, zoom, offset, angle) applies only once the user validated a crop.

#include "editing/PhotoRetouchSettings.h"
#include "editing/PrintFormat.h"

#include <QJsonObject>
#include <QSizeF>

namespace tavrin {

struct CropEditState {
    PrintFormat format = PrintFormat::a5;
    bool includeWatermark = false;
    // 1 = the largest crop of the format's aspect inside the photo; 2 = half as wide.
    double zoom = 1;
    // Displacement of the crop centre, in pixels of the upright photo, y downwards.
    QSizeF offset{0, 0};
    // Degrees; positive turns the photo clockwise under the crop.
    double angle = 0;
    PhotoRetouchSettings retouch;
    bool cropValidated = false;

    bool operator==(const CropEditState&) const = default;
};

// "offset" is a [width, height] array; every key is written.
QJsonObject toJson(const CropEditState& state);
// Every key is required; a missing key or a wrong type throws DecodingError.
CropEditState cropEditStateFromJson(const QJsonObject& object);

} // namespace tavrin
