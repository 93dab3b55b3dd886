#pragma once

// Applies one settings value to a decoded bitmap through the fixed retouch chain (RetouchChain),
// either for the editor's live preview or at full quality for the file written to disk. Radii
// scale with the image's long side against 3,000 pixels, so a 2,048-pixel preview looks like the
// full file.

#include "editing/PhotoRetouchSettings.h"
#include "editing/RetouchChain.h"
#include "editing/RetouchImage.h"

#include <QImage>

#include <functional>
#include <optional>

#include <vips/vips8>

namespace tavrin::PhotoRetoucher {

// The result has the input's size, values clamped to 0 … 1 as an 8-bit render would; none for an
// empty image. Neutral settings give back the input itself (same pixels, nothing copied).
std::optional<FloatImage> apply(const FloatImage& image, const PhotoRetouchSettings& settings, RetouchQuality quality);
// The same, asking `stillWanted` (from any thread) between steps and between bands of rows; when
// it says no the render stops early and gives nothing. Lets a newer preview cut an older one short.
std::optional<FloatImage> apply(const FloatImage& image, const PhotoRetouchSettings& settings, RetouchQuality quality,
                                const std::function<bool()>& stillWanted);

// A decoded photo made whole in memory, as the retouch of a photo reads it: decoding happens here,
// so a damaged photo throws tavrin::Error now.
vips::VImage inMemory(const vips::VImage& photo);
// The retouch of a photo held in memory, as an 8-bit image of its size and bands with its ICC
// profile. 8-bit RGB and RGBA photos go through the chain as bytes, widened to floats only band by
// band, so that no float copy of the whole photo is made; others through a float bitmap. None
// when `stillWanted` said no.
std::optional<vips::VImage> apply(const vips::VImage& photo, const PhotoRetouchSettings& settings, RetouchQuality quality,
                                  const std::function<bool()>& stillWanted = {});
// The same, the chain running beside whoever reads the result: its rows can be read as soon as
// their band is done, so the JPEG encoder writes the first rows while the chain works on the
// last. It cannot be stopped; reading the image waits for the rows it asks for.
vips::VImage applyAlongside(const vips::VImage& photo, const PhotoRetouchSettings& settings, RetouchQuality quality);

// The retouch of an 8-bit image of four bytes a pixel (RGBA8888 or RGBX8888, as the crop editor
// shows its working copy) into a new image of the same format, through the chain as bytes: what a
// slider move costs the preview. Null when `stillWanted` said no; other formats are converted.
QImage apply(const QImage& image, const PhotoRetouchSettings& settings, RetouchQuality quality,
             const std::function<bool()>& stillWanted = {});
// The same, starting from what `memo` kept of the render before over the same image (the rows
// before the first step whose settings changed) and keeping what the next one can use: a slider
// move recomputes the steps from the moved one on.
QImage apply(const QImage& image, const PhotoRetouchSettings& settings, RetouchQuality quality,
             const std::function<bool()>& stillWanted, RetouchChain::Memo& memo);

// Automatic contrast's end points (linear), from a copy at most 480 pixels on its long side; none
// when they are less than 0.04 apart.
using LuminanceEnds = RetouchChain::LuminanceEnds;
std::optional<LuminanceEnds> luminanceEnds(const FloatImage& image);

// Single steps of the chain on an encoded bitmap, each as the chain runs it on its own.
void autoContrastStep(FloatImage& image);
void shadowsHighlightsStep(FloatImage& image, const PhotoRetouchSettings& settings, RetouchQuality quality);
void contrastStep(FloatImage& image, double contrast);

} // namespace tavrin::PhotoRetoucher
