#pragma once

// The small picture a camera writes into its JPEG's EXIF segment. Read from the file's first
// segments only (a few kilobytes, never the compressed photo), it lets the gallery show every
// photo of an order at once while the real thumbnails are made from the full images.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace tavrin::EmbeddedPreview {

// What the JPEG's header segments say, read without touching the compressed data.
struct Header {
    QByteArray exif;  // the APP1 segment's payload ("Exif\0\0" and the TIFF structure), empty when none
    QSize stored;     // the photo's size as stored (before orientation), empty when no frame header was reached
};
Header readHeader(const QString& path);

// The camera's preview turned upright, cropped to the photo's shape when the camera padded it
// with bars, longest side at most maxPixel (0: as stored). Null when the file has no JPEG preview
// or it cannot be decoded.
QImage read(const QString& path, int maxPixel = 0);

} // namespace tavrin::EmbeddedPreview
