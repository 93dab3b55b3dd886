#pragma once

// Applies one settings value to a decoded bitmap through the fixed retouch chain, either for the
// editor's live preview or at full quality for the file written to disk. Radii scale with the
// image's long side against 3,000 pixels, so a 2,048-pixel preview looks like the full file.

#include "editing/PhotoRetouchSettings.h"
#include "editing/RetouchImage.h"

#include <optional>

namespace tavrin::PhotoRetoucher {

// The result has the input's size, values clamped to 0 … 1 as an 8-bit render would; none for an
// empty image. Neutral settings give back the input itself (same pixels, nothing copied).
std::optional<FloatImage> apply(const FloatImage& image, const PhotoRetouchSettings& settings, RetouchQuality quality);

// Automatic contrast's end points (linear), from a copy at most 480 pixels on its long side; none
// when they are less than 0.04 apart.
struct LuminanceEnds {
    float low;
    float high;
};
std::optional<LuminanceEnds> luminanceEnds(const FloatImage& image);

// The steps of the chain, in their order, exposed so that each can be checked on its own.
// Automatic end points are always taken from the encoded bitmap; pass it as `source` when
// `image` is held in linear light.
void autoContrastStep(FloatImage& image, Light light = Light::encoded, const FloatImage* source = nullptr);
void shadowsHighlightsStep(FloatImage& image, const PhotoRetouchSettings& settings, RetouchQuality quality,
                           Light light = Light::encoded);
void contrastStep(FloatImage& image, double contrast);
// Returns the sharpened image (in `image`'s buffer or `spare`'s), clamped to 0 … 1 by the unsharp
// mask when `clampToUnit` and the mask runs.
FloatImage sharpenStep(FloatImage image, FloatImage& spare, const PhotoRetouchSettings& settings, RetouchQuality quality,
                       bool clampToUnit = false);

} // namespace tavrin::PhotoRetoucher
