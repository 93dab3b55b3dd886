#pragma once

// The photos real cameras and phones wrote, kept beside the repository (not in it): their EXIF
// layouts, orientations and faults are what Tavrin meets at a show. Tests loop over them and name
// the files that fail.

#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSize>
#include <QStringList>

#include <algorithm>
#include <vips/vips8>

namespace tavrin::test {

// Empty when the samples are not on this machine.
inline QString cameraSamplesDir()
{
    const QStringList candidates{sourceDir() + QStringLiteral("/../shared/samples/cameras"),
                                 sourceDir() + QStringLiteral("/../../shared/samples/cameras"),
                                 QStringLiteral("/work/shared/samples/cameras")};
    for (const QString& candidate : candidates)
        if (QDir(candidate).exists()) return QDir(candidate).absolutePath();
    return {};
}

inline constexpr const char* kNoCameraSamples = "the camera samples (shared/samples/cameras) are not on this machine";

// Every JPEG under the samples, sorted, damaged ones included.
inline QStringList cameraPhotos()
{
    QStringList photos;
    QDirIterator it(cameraSamplesDir(), {QStringLiteral("*.jpg")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) photos.push_back(it.next());
    std::sort(photos.begin(), photos.end());
    return photos;
}

// The file whose pixels cannot be decoded (the ones under invalid/ only have broken metadata).
inline bool isDamagedCameraPhoto(const QString& path) { return QFileInfo(path).fileName() == QLatin1String("corrupted.jpg"); }

// The photo's size once turned upright, from libvips' reading of its stored size and orientation.
inline QSize uprightSize(const QString& path)
{
    const vips::VImage header = vips::VImage::new_from_file(QFile::encodeName(path).constData());
    const int orientation = header.get_typeof(VIPS_META_ORIENTATION) ? header.get_int(VIPS_META_ORIENTATION) : 1;
    return orientation >= 5 && orientation <= 8 ? QSize(header.height(), header.width()) : QSize(header.width(), header.height());
}

// Whether two sizes have the same shape within a pixel of rounding at the smaller one's scale.
inline bool sameShape(QSize a, QSize b)
{
    if (a.isEmpty() || b.isEmpty()) return false;
    if ((a.width() >= a.height()) != (b.width() >= b.height()) && a.width() != a.height() && b.width() != b.height()) return false;
    const double ra = double(a.width()) / a.height(), rb = double(b.width()) / b.height();
    const QSize small = a.width() * a.height() < b.width() * b.height() ? a : b;
    return std::abs(ra - rb) <= ra * 2.0 / std::min(small.width(), small.height()) + 1e-9;
}

} // namespace tavrin::test
