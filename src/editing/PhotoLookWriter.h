#pragma once

// The one way a look reaches the visible file of a photo, for the crop editor, the batch edits
// and the command line alike: keep the untouched copy, start from it (the file itself when there
// is none), decode, retouch, lay out the validated page or the watermark, write through a hidden
// temporary renamed over the file, and tell the thumbnails. Between the slow stages it asks
// whether the result is still wanted, and stops without touching the visible file when not.

#include "editing/CropEditState.h"

#include <QString>

#include <functional>
#include <optional>

#include <vips/vips8>

namespace tavrin::PhotoLookWriter {

// Asked between stages; false drops the write.
using StillWanted = std::function<bool()>;

// Renders `look` from the untouched copy over `photo`. The watermark, given when the look
// includes it, goes over the bottom of the validated page, or of the whole retouched photo when no
// crop was validated. A look that changes nothing (no validated crop, neutral retouch, no
// watermark) gives back the untouched bytes exactly. Returns false when dropped because no longer
// wanted. Throws PhotoEditError or a file-system tavrin::Error; the visible file is then untouched.
bool write(const QString& photo, const CropEditState& look, const std::optional<vips::VImage>& watermark = std::nullopt,
           const StillWanted& stillWanted = {});

} // namespace tavrin::PhotoLookWriter
