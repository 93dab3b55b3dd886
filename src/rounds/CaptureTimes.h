#pragma once

// When each photo of a folder was taken: the EXIF original date with its sub-seconds (and its
// offset when the camera wrote one), read from the file's header only; the file's modification
// time when the photo carries no usable date.

#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace tavrin {

struct PhotoCapture {
    QString path;
    QDateTime time;        // milliseconds kept
    bool fromExif = false; // false: the file's modification time

    bool operator==(const PhotoCapture&) const = default;
};

namespace CaptureTimes {

// The EXIF original date and sub-seconds of one file; none when it has none or is unreadable.
// Without an offset in the file the date is taken as local time, as cameras write it.
std::optional<QDateTime> exifTime(const QString& path);
// The same from the first bytes of a file (a JPEG's start, or a TIFF-based raw file).
std::optional<QDateTime> exifTime(QByteArrayView header);

// exifTime, else the modification time (never fails for an existing file).
PhotoCapture capture(const QString& path);

// Every photo of the folder (immediate children, hidden files skipped), read on all cores,
// in file-name order. Throws the French reason when the folder cannot be listed. `progress`,
// when given, hears how many photos were read, from one thread at a time.
QList<PhotoCapture> folder(const QString& directory, const std::function<void(qsizetype done, qsizetype total)>& progress = {});

} // namespace CaptureTimes
} // namespace tavrin
