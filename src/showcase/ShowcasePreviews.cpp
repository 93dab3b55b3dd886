#include "showcase/ShowcasePreviews.h"

#include "editing/PhotoComposer.h"
#include "editing/RetouchBridges.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace tavrin {

namespace {

QByteArray stamp(const QString& path)
{
    const QFileInfo info(path);
    return path.toUtf8() + '|' + QByteArray::number(info.size()) + '|' +
           QByteArray::number(info.lastModified().toMSecsSinceEpoch());
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

ShowcasePreviews::ShowcasePreviews(QString cacheFolder, std::optional<QString> watermark, int longSide)
    : m_folder(std::move(cacheFolder)), m_watermark(std::move(watermark)), m_longSide(longSide)
{
    QDir().mkpath(m_folder);
    // Previews of past shows go after a month, so that the cache does not grow from show to show.
    const QDateTime monthAgo = QDateTime::currentDateTime().addDays(-30);
    for (const QFileInfo& old : QDir(m_folder).entryInfoList({QStringLiteral("*.jpg")}, QDir::Files))
        if (old.lastModified() < monthAgo) QFile::remove(old.absoluteFilePath());
    if (m_watermark) m_watermarkStamp = stamp(*m_watermark);
}

QString ShowcasePreviews::defaultCacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/tavrin/showcase");
}

QString ShowcasePreviews::cachedFile(const QString& photoPath) const
{
    // The photo's and the watermark's identity and dates: a changed file gets a new preview.
    const QByteArray key = stamp(photoPath) + '|' + m_watermarkStamp + '|' + QByteArray::number(m_longSide);
    return m_folder + u'/' + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex()) +
           QStringLiteral(".jpg");
}

QByteArray ShowcasePreviews::preview(const QString& photoPath)
{
    const QString file = cachedFile(photoPath);
    if (QByteArray cached = readFile(file); !cached.isEmpty()) return cached;
    {
        QMutexLocker lock(&m_mutex);
        // Someone else is making it: wait for theirs.
        while (m_making.contains(file)) m_done.wait(&m_mutex);
        if (QByteArray cached = readFile(file); !cached.isEmpty()) return cached;
        m_making.insert(file, 1);
    }
    m_makers.acquire();
    const QByteArray jpeg = make(photoPath);
    m_makers.release();
    if (!jpeg.isEmpty()) {
        QSaveFile out(file);
        if (out.open(QIODevice::WriteOnly)) {
            out.write(jpeg);
            out.commit();
        }
    }
    QMutexLocker lock(&m_mutex);
    m_making.remove(file);
    m_done.wakeAll();
    return jpeg;
}

QByteArray ShowcasePreviews::make(const QString& photoPath) const
{
    try {
        PhotoComposer::ensureVips();
        std::optional<vips::VImage> image = PhotoComposer::loadImage(photoPath, m_longSide);
        if (!image) return {};
        vips::VImage canvas = *image;
        if (canvas.has_alpha())
            canvas = canvas.flatten(vips::VImage::option()->set("background", std::vector<double>{255, 255, 255}));
        if (m_watermark) {
            if (std::optional<vips::VImage> mark = PhotoComposer::loadImage(*m_watermark))
                canvas = PhotoComposer::drawBottomCoverWatermark(*mark, canvas);
        }
        if (canvas.has_alpha()) canvas = canvas.extract_band(0, vips::VImage::option()->set("n", canvas.bands() - 1));
        if (canvas.format() != VIPS_FORMAT_UCHAR) canvas = canvas.cast(VIPS_FORMAT_UCHAR);
        return RetouchBridges::jpegBytes(canvas, 82);
    } catch (const std::exception&) {
        return {};
    }
}

} // namespace tavrin
