#pragma once

// Bitmaps in and out of the retouch chain: decoded libvips images and QImages become float RGBA
// (values 0 … 1, alpha 1 when the source has none) and go back as 8-bit or float images.

#include "editing/RetouchImage.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <vips/vips8>

namespace tavrin::RetouchBridges {

// Starts libvips once for the process; every function below calls it.
void ensureVips();

// Renders the image (grey or colour, 8 or 16 bits or float, with or without alpha) straight into
// a new float buffer. Throws tavrin::Error when libvips cannot render it.
FloatImage fromVips(const vips::VImage& image);
// An sRGB image over the same pixels (no copy; the buffer lives as long as the image), with the
// ICC profile set and no alpha band when the source had none; `eightBit` quantises to uchar.
vips::VImage toVips(const FloatImage& image, bool eightBit = true);

FloatImage fromQImage(const QImage& image);
// A Format_RGBA32FPx4 QImage sharing the pixels (read-only).
QImage toQImage(const FloatImage& image);

// Decodes a photo with its orientation applied; throws tavrin::Error with a French message.
FloatImage decodeFile(const QString& path);
// Writes in the format of the file's extension, ICC profile kept; throws tavrin::Error.
void writeFile(const FloatImage& image, const QString& path);

// An 8-bit image (no alpha) as JPEG bytes without metadata, for pages served on the network.
QByteArray jpegBytes(const vips::VImage& image, int quality);

} // namespace tavrin::RetouchBridges
