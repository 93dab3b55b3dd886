#pragma once

// Turns an untouched photo and a look into the file the customer receives: decoding with the
// orientation applied, the crop of a print format, the page at print resolution with the watermark
// along its bottom, and a write that never leaves a half-written file. Also the crop geometry the
// crop editor uses while a handle is dragged. Rectangles are in pixels of the upright photo,
// origin top-left, y downwards.

#include "editing/CropEdge.h"
#include "editing/CropEditState.h"
#include "editing/PrintFormat.h"

#include <QImage>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <optional>

#include <vips/vips8>

namespace tavrin::PhotoComposer {

// --- Crop geometry -------------------------------------------------------------------------

// The largest rectangle of `aspect` (width / height) centred in the photo.
QRectF baseCrop(QSizeF imageSize, double aspect);
// Base width over crop width, at least 0.2 (a crop five times the base reaches beyond the photo).
double zoom(const QRectF& crop, QSizeF imageSize, double aspect);
// Moves the rectangle (size kept) so that 18 % of its smaller side, or of the photo's, stays on
// the photo along each axis.
QRectF keepOverlap(QRectF rect, QSizeF imageSize);
// One handle dragged by `delta`, the aspect kept, within the minimum and maximum sizes.
QRectF resizedCrop(const QRectF& from, CropEdge edge, QSizeF delta, QSizeF imageSize, double aspect);
// The crop of a look (its zoom and offset, in the format's aspect for the photo's orientation).
QRectF cropRect(const CropEditState& look, QSizeF imageSize);
// Pixels of the printed page at 300 dpi: a4 3508 × 2480, a5 2480 × 1748 (swapped for portrait).
QSize printSize(PrintFormat format, bool landscape);

// --- Images --------------------------------------------------------------------------------

// Starts libvips once for the process.
void ensureVips();

// Decodes the file with its orientation applied, as 8-bit sRGB-shaped bands (alpha kept) with its
// ICC profile; none when it cannot be read. With `maxPixel`, a shrink-on-load thumbnail whose long
// side is at most that.
std::optional<vips::VImage> loadImage(const QString& path, std::optional<int> maxPixel = std::nullopt);
// The same for one pass from top to bottom (a render written straight to a file): decoding then
// overlaps the render and the write. A photo that must be turned upright is opened as loadImage does.
std::optional<vips::VImage> loadImageForOnePass(const QString& path);
// Already-decoded image made upright and 8-bit.
vips::VImage orientedImage(const vips::VImage& decoded);
// The image as an 8-bit sRGB QImage owning its pixels (RGBA when it has alpha); null when libvips
// cannot render it.
QImage toQImage(vips::VImage image);

// The image at `size` (rounded, at least 1 pixel), Lanczos-filtered; the image itself when the size
// is its own. None when libvips fails.
std::optional<vips::VImage> resampled(const vips::VImage& image, QSizeF size);

// The watermark spread over the canvas' full width with its own aspect, standing on the bottom
// edge, centred; whatever rises above the canvas is cut. Gives the canvas with the watermark on it.
vips::VImage drawBottomCoverWatermark(const vips::VImage& watermark, const vips::VImage& canvas);

// The page of a validated look: the crop at print resolution on white, the photo turned by the
// look's angle about the crop centre, the watermark over the bottom when one is given. Throws
// PhotoEditError(composeFailed) when the page cannot be made.
vips::VImage renderValidatedLook(const vips::VImage& photo, const CropEditState& look,
                                 const std::optional<vips::VImage>& watermark = std::nullopt);

// The retouched photo (retouch of the look at full quality, the photo itself when the retoucher
// gives nothing) and, for a validated look, its page with the watermark. What the visible file of
// an edited photo holds.
vips::VImage renderLook(const vips::VImage& photo, const CropEditState& look,
                        const std::optional<vips::VImage>& watermark = std::nullopt);

// The file's type from its extension: "png", "tiff", "heic", "heif" (when libvips can write HEIF)
// or "jpg" for anything else.
QString outputType(const QString& path);

// Writes the image over `path` in the type of its extension (JPEG at quality 97), through a hidden
// ".UUID.ext" file in the same folder renamed over the visible one. Only the ICC profile is kept;
// the pixels are upright so no orientation is written. On failure the visible file is untouched,
// no temporary file remains, and tavrin::Error is thrown.
void write(const vips::VImage& image, const QString& path);

} // namespace tavrin::PhotoComposer
