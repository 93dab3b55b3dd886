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

QStringList PhotoFile::withoutPairedRaws(const QStringList& paths)
{
    const auto stem = [](const QString& path) {
        const qsizetype dot = path.lastIndexOf(u'.');
        return dot > path.lastIndexOf(u'/') ? path.left(dot) : path;
    };
    const auto isJpeg = [](const QString& path) {
        const QString extension = PathText::pathExtension(path).toString().toLower();
        return extension == u"jpg" || extension == u"jpeg";
    };
    QSet<QString> jpegs;
    for (const QString& path : paths)
        if (isJpeg(path)) jpegs.insert(stem(path));
    QStringList kept;
    for (const QString& path : paths)
        if (isJpeg(path) || !isPhoto(path) || !jpegs.contains(stem(path))) kept.append(path);
    return kept;
}

const QSet<QString>& MediaFile::videoExtensions()
{
    static const QSet<QString> set{QStringLiteral("mp4"), QStringLiteral("mov"), QStringLiteral("m4v"), QStringLiteral("avi"), QStringLiteral("mpg"),
                                   QStringLiteral("mpeg"), QStringLiteral("m4p"), QStringLiteral("webm"), QStringLiteral("mts"), QStringLiteral("m2ts")};
    return set;
}

bool MediaFile::isVideo(QStringView path) { return videoExtensions().contains(PathText::pathExtension(path).toString().toLower()); }

} // namespace tavrin
