#include "orders/MediaThumbnailer.h"

#include "base/TavrinModules.h"
#include "editing/PhotoComposer.h"
#include "editing/RetouchBridges.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QThreadPool>

#include <vips/vips8>

#include <glib.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>

namespace tavrin {
namespace {

// About four hundred gallery cells of 480 pixels.
constexpr qint64 kDefaultBudget = 192LL * 1024 * 1024;
constexpr int kFolderSizes[] = {128, 256, 512, 1024};

struct FileStamp {
    qint64 mtime = 0;
    qint64 size = 0;
};

FileStamp stampOf(const QString& path)
{
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    return {static_cast<qint64>(st.st_mtim.tv_sec), static_cast<qint64>(st.st_size)};
}

QString absolute(const QString& path) { return QFileInfo(path).absoluteFilePath(); }

QString memoryKey(const QString& key, int maxPixel) { return key + u'@' + QString::number(maxPixel); }

QImage scaledWithin(const QImage& image, int maxPixel)
{
    const int longest = std::max(image.width(), image.height());
    if (image.isNull() || longest <= maxPixel) return image;
    // Rounded, not truncated: 512 × 341 becomes 480 × 320 as a direct thumbnail would.
    const auto side = [&](int length) { return std::max(1, int(std::lround(double(length) * maxPixel / longest))); };
    return image.scaled(side(image.width()), side(image.height()), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

bool makeOwnerDirectory(const QString& path)
{
    if (::mkdir(QFile::encodeName(path).constData(), 0700) == 0) return true;
    return QFileInfo(path).isDir();
}

QString folderName(int size)
{
    switch (size) {
    case 128: return QStringLiteral("normal");
    case 256: return QStringLiteral("large");
    case 512: return QStringLiteral("x-large");
    default: return QStringLiteral("xx-large");
    }
}

bool insideThumbnailRoot(const QString& path)
{
    const QString root = QFileInfo(SharedThumbnails::root()).canonicalFilePath();
    const QString file = QFileInfo(path).canonicalFilePath();
    return !root.isEmpty() && !file.isEmpty() && file.startsWith(root + u'/');
}

} // namespace

namespace SharedThumbnails {

QString root()
{
    QString base = qEnvironmentVariable("XDG_CACHE_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + QStringLiteral("/.cache");
    return base + QStringLiteral("/thumbnails");
}

QString fileUri(const QString& path)
{
    // GLib's escaping, the one the file managers hash.
    gchar* uri = g_filename_to_uri(QFile::encodeName(absolute(path)).constData(), nullptr, nullptr);
    if (!uri) return {};
    const QString text = QString::fromUtf8(uri);
    g_free(uri);
    return text;
}

int folderSize(int maxPixel)
{
    for (const int size : kFolderSizes)
        if (size >= maxPixel) return size;
    return 0;
}

QString entryPath(const QString& path, int size)
{
    const QByteArray md5 = QCryptographicHash::hash(fileUri(path).toUtf8(), QCryptographicHash::Md5).toHex();
    return root() + u'/' + folderName(size) + u'/' + QString::fromLatin1(md5) + QStringLiteral(".png");
}

QImage read(const QString& path, int maxPixel)
{
    const int first = folderSize(maxPixel);
    if (first == 0) return {};
    const FileStamp stamp = stampOf(path);
    if (stamp.mtime == 0) return {};
    const QString uri = fileUri(path);
    for (const int size : kFolderSizes) {
        if (size < first) continue;
        QImage entry;
        if (!entry.load(entryPath(path, size), "PNG")) continue;
        // An entry of another revision of the file, or of another file, is ignored.
        if (entry.text(QStringLiteral("Thumb::URI")) != uri) continue;
        if (entry.text(QStringLiteral("Thumb::MTime")) != QString::number(stamp.mtime)) continue;
        const QString bytes = entry.text(QStringLiteral("Thumb::Size"));
        if (!bytes.isEmpty() && bytes != QString::number(stamp.size)) continue;
        return scaledWithin(entry, maxPixel);
    }
    return {};
}

bool write(const QString& path, const QImage& image, int size)
{
    if (image.isNull() || folderSize(size) != size || insideThumbnailRoot(path)) return false;
    const FileStamp stamp = stampOf(path);
    if (stamp.mtime == 0) return false;
    const QString top = root();
    QDir().mkpath(QFileInfo(top).path());
    const QString folder = top + u'/' + folderName(size);
    if (!makeOwnerDirectory(top) || !makeOwnerDirectory(folder)) return false;

    QImage entry = scaledWithin(image, size);
    entry.setText(QStringLiteral("Thumb::URI"), fileUri(path));
    entry.setText(QStringLiteral("Thumb::MTime"), QString::number(stamp.mtime));
    entry.setText(QStringLiteral("Thumb::Size"), QString::number(stamp.size));
    entry.setText(QStringLiteral("Software"), QStringLiteral("Tavrin"));
    // A temporary file of the same folder (created 0600) renamed over the entry: a reader never
    // sees half a PNG.
    QTemporaryFile temporary(folder + QStringLiteral("/.tavrin-XXXXXX.png"));
    // Light compression: the entry is written on the way to the screen, and level 1 costs a
    // fifth of the default for a slightly larger file.
    if (!temporary.open() || !entry.save(&temporary, "PNG", 80) || !temporary.flush()) return false;
    const QString target = entryPath(path, size);
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(), QFile::encodeName(target).constData()) != 0)
        return false;
    temporary.setAutoRemove(false);
    return true;
}

void remove(const QString& path)
{
    for (const int size : kFolderSizes) QFile::remove(entryPath(path, size));
}

} // namespace SharedThumbnails

MediaThumbnailer& MediaThumbnailer::shared()
{
    static MediaThumbnailer instance;
    return instance;
}

MediaThumbnailer::MediaThumbnailer() { m_cache.setMaxCost(kDefaultBudget); }

QString MediaThumbnailer::cacheKey(const QString& path)
{
    const QString file = absolute(path);
    const FileStamp stamp = stampOf(file);
    return file + u'|' + QString::number(stamp.mtime) + u'|' + QString::number(stamp.size);
}

QImage MediaThumbnailer::photoThumbnail(const QString& path, int maxPixel)
{
    if (maxPixel <= 0) return {};
    try {
        RetouchBridges::ensureVips();
        // Shrink-on-load from the full image (never an embedded preview), upright, never enlarged.
        const vips::VImage thumbnail = vips::VImage::thumbnail(
            QFile::encodeName(path).constData(), maxPixel, vips::VImage::option()->set("size", VIPS_SIZE_DOWN));
        return PhotoComposer::toQImage(thumbnail);
    } catch (const std::exception&) {
        return {};
    }
}

QImage MediaThumbnailer::videoThumbnail(const QString& path, int maxPixel)
{
    if (maxPixel <= 0) return {};
    try {
        RetouchBridges::ensureVips();
        // The video libraries are loaded by the first video thumbnail, never at start-up.
        using FramePng = bool (*)(const char* path, int maxPixel, std::vector<uint8_t>* png);
        static const auto framePng = reinterpret_cast<FramePng>(TavrinModules::resolve(
            QStringLiteral("tavrin_video.so"), "tavrin_video_frame_png", QStringLiteral("vignettes des vidéos")));
        std::vector<uint8_t> png;
        if (!framePng || !framePng(QFile::encodeName(path).constData(), maxPixel, &png) || png.empty()) return {};
        const vips::VImage frame = vips::VImage::new_from_buffer(png.data(), png.size(), "");
        return scaledWithin(PhotoComposer::toQImage(frame), maxPixel);
    } catch (const std::exception&) {
        return {};
    }
}

QImage MediaThumbnailer::lookup(const QString& key) const
{
    const QMutexLocker lock(&m_mutex);
    const QImage* image = m_cache.object(key);
    return image ? *image : QImage();
}

void MediaThumbnailer::store(const QString& key, const QImage& image)
{
    const QMutexLocker lock(&m_mutex);
    m_cache.insert(key, new QImage(image), std::max<qsizetype>(1, image.sizeInBytes()));
}

QImage MediaThumbnailer::make(const QString& path, bool isVideo, int maxPixel) const
{
    PendingEntry pending;
    const QImage image = make(path, isVideo, maxPixel, pending);
    pending.write(path);
    return image;
}

void MediaThumbnailer::PendingEntry::write(const QString& path) const
{
    if (folder != 0) SharedThumbnails::write(path, image, folder);
}

QImage MediaThumbnailer::make(const QString& path, bool isVideo, int maxPixel, PendingEntry& pending) const
{
    bool shared = false;
    {
        const QMutexLocker lock(&m_mutex);
        shared = m_sharedCache;
    }
    const int folder = shared ? SharedThumbnails::folderSize(maxPixel) : 0;
    if (folder != 0) {
        const QImage known = SharedThumbnails::read(path, maxPixel);
        if (!known.isNull()) return known;
    }
    // Made at the folder's size so the entry written serves every request up to it.
    const int made = folder != 0 ? folder : maxPixel;
    const QImage image = isVideo ? videoThumbnail(path, made) : photoThumbnail(path, made);
    if (image.isNull()) return {};
    if (folder != 0) pending = {image, folder};
    return scaledWithin(image, maxPixel);
}

QImage MediaThumbnailer::thumbnailNow(const QString& path, bool isVideo, int maxPixel)
{
    const QString file = absolute(path);
    const QString key = memoryKey(cacheKey(file), maxPixel);
    QImage image = lookup(key);
    if (!image.isNull()) return image;
    image = make(file, isVideo, maxPixel);
    if (!image.isNull()) store(key, image);
    return image;
}

void MediaThumbnailer::thumbnail(const QString& path, bool isVideo, int maxPixel, QObject* context, Delivery done)
{
    const QString file = absolute(path);
    const QString key = cacheKey(file);
    const QImage hit = lookup(memoryKey(key, maxPixel));
    if (!hit.isNull()) {
        done(key, hit);
        return;
    }
    QPointer<QObject> receiver(context);
    QThreadPool::globalInstance()->start([this, file, key, isVideo, maxPixel, receiver, done = std::move(done)] {
        PendingEntry pending;
        const QImage image = make(file, isVideo, maxPixel, pending);
        // Stored under the key read before making: a file rewritten meanwhile gets a new key anyway.
        if (!image.isNull()) store(memoryKey(key, maxPixel), image);
        if (receiver)
            QMetaObject::invokeMethod(receiver.data(), [receiver, done, key, image] {
                if (receiver) done(key, image);
            }, Qt::QueuedConnection);
        // The shared entry is written once the gallery has its image.
        pending.write(file);
    });
}

void MediaThumbnailer::remove(const QString& path)
{
    const QString file = absolute(path);
    static const QRegularExpression tail(QStringLiteral("^\\d+\\|\\d+@\\d+$"));
    {
        const QMutexLocker lock(&m_mutex);
        const QString prefix = file + u'|';
        for (const QString& key : m_cache.keys())
            if (key.startsWith(prefix) && tail.match(QStringView(key).mid(prefix.size())).hasMatch()) m_cache.remove(key);
    }
    SharedThumbnails::remove(file);
}

void MediaThumbnailer::clearMemory()
{
    const QMutexLocker lock(&m_mutex);
    m_cache.clear();
}

void MediaThumbnailer::setMemoryBudget(qint64 bytes)
{
    const QMutexLocker lock(&m_mutex);
    m_cache.setMaxCost(std::max<qint64>(1, bytes));
}

qint64 MediaThumbnailer::memoryBudget() const
{
    const QMutexLocker lock(&m_mutex);
    return m_cache.maxCost();
}

bool MediaThumbnailer::inMemory(const QString& path, int maxPixel) const
{
    const QMutexLocker lock(&m_mutex);
    return m_cache.contains(memoryKey(cacheKey(path), maxPixel));
}

void MediaThumbnailer::setSharedCacheEnabled(bool enabled)
{
    const QMutexLocker lock(&m_mutex);
    m_sharedCache = enabled;
}

} // namespace tavrin
