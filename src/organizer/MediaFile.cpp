#include "organizer/MediaFile.h"

#include "numbers/PathText.h"
#include "organizer/PhotoFile.h"

namespace tavrin {

const QSet<QString>& PhotoFile::extensions()
{
    static const QSet<QString> set{QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("png"), QStringLiteral("heic"), QStringLiteral("heif"), QStringLiteral("tif"),
                                   QStringLiteral("tiff"), QStringLiteral("webp"), QStringLiteral("raw"), QStringLiteral("dng"), QStringLiteral("cr2"), QStringLiteral("cr3"),
                                   QStringLiteral("nef"), QStringLiteral("arw"), QStringLiteral("orf"), QStringLiteral("rw2"), QStringLiteral("raf")};
    return set;
}

bool PhotoFile::isPhoto(QStringView path) { return extensions().contains(PathText::pathExtension(path).toString().toLower()); }

const QSet<QString>& MediaFile::videoExtensions()
{
    static const QSet<QString> set{QStringLiteral("mp4"), QStringLiteral("mov"), QStringLiteral("m4v"), QStringLiteral("avi"), QStringLiteral("mpg"),
                                   QStringLiteral("mpeg"), QStringLiteral("m4p"), QStringLiteral("webm"), QStringLiteral("mts"), QStringLiteral("m2ts")};
    return set;
}

bool MediaFile::isVideo(QStringView path) { return videoExtensions().contains(PathText::pathExtension(path).toString().toLower()); }

} // namespace tavrin
