#pragma once

// The batch edits of the orders workspace: watermark and retouch applied to ordered photos,
// always from the untouched copy and recorded in the photo's journal, so that each can be undone
// and re-rendered. Plain file work without shared state; safe off the main thread.

#include "editing/CropEditState.h"
#include "editing/PhotoRetouchSettings.h"

#include <QString>

#include <optional>

namespace tavrin::PhotoEdits {

// Draws the watermark along the bottom of the photo (its validated page, or the whole retouched
// photo), recording it in the journal unless it is already included. Throws PhotoEditError or a
// file-system tavrin::Error.
void applyWatermark(const QString& photo, const QString& watermark);

// Makes `settings` the photo's retouch and re-renders it; neutral settings change nothing at all.
// The watermark is drawn again when the look includes it and the file can be read.
void applyRetouch(const QString& photo, const PhotoRetouchSettings& settings,
                  const std::optional<QString>& watermark = std::nullopt);

// Makes `look` the photo's current look (the previous one goes into the history when it differs)
// and renders the visible file from the untouched copy. Without a watermark file nothing is
// drawn, even when the look includes one; a watermark file that cannot be read is an error.
void applyLook(const QString& photo, const CropEditState& look, const std::optional<QString>& watermark = std::nullopt);

} // namespace tavrin::PhotoEdits
