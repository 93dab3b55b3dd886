#include "orders/BatchPhotos.h"

#include "organizer/MediaFile.h"

namespace tavrin::BatchPhotos {

QStringList photosOf(const QStringList& files)
{
    QStringList photos;
    for (const QString& file : files)
        if (!MediaFile::isVideo(file)) photos.push_back(file);
    return photos;
}

} // namespace tavrin::BatchPhotos
