#include "photofiles/MediaThumbnailer.h"

#include "base/BackgroundJobs.h"
#include "base/TavrinModules.h"
#include "editing/PhotoComposer.h"
#include "editing/RetouchBridges.h"
#include "photofiles/EmbeddedPreview.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <vips/vips8>

#include <glib.h>
#include <sys/stat.h>

#include <algorithm>
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

// Entries kept for writing while thumbnails are still being made: about 30 MB.
constexpr qsizetype kMaxUnwritten = 64;

// Preview reads mostly wait for the disk.
constexpr int kPreviewThreads = 4;

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

BackgroundJobs* MediaThumbnailer::jobs(QPointer<BackgroundJobs>& manager, int threads, bool low)
{
    if (!manager && QCoreApplication::instance()) {
        // Owned by the application, so its pool is drained before the process ends.
        manager = new BackgroundJobs(nullptr, threads, low ? BackgroundJobs::Priority::low : BackgroundJobs::Priority::normal);
        manager->moveToThread(QCoreApplication::instance()->thread());
        manager->setParent(QCoreApplication::instance());
        if (&manager == &m_thumbnailJobs) QObject::connect(manager, &BackgroundJobs::idle, manager, [this] { writeEntries(); });
        if (&manager == &m_previewJobs) QObject::connect(manager, &BackgroundJobs::idle, manager, [this] { startHeldBack(); });
    }
    return manager;
}

void MediaThumbnailer::thumbnail(const QString& path, bool isVideo, int maxPixel, QObject* context, Delivery done, Delivery preview)
{
    const QString file = absolute(path);
    const QString key = cacheKey(file);
    const QString jobKey = memoryKey(key, maxPixel);
    const QImage hit = lookup(jobKey);
    if (!hit.isNull()) {
        done(key, hit);
        return;
    }
    if (isVideo) preview = {};
    const bool joined = m_inFlight.contains(jobKey);
    InFlight& job = m_inFlight[jobKey];
    if (!joined) {
        job.file = file;
        job.key = key;
        job.isVideo = isVideo;
        job.maxPixel = maxPixel;
        m_queued.push_back(jobKey);
        // Started once the caller has asked for everything it shows now.
        if (m_queued.size() == 1) QMetaObject::invokeMethod(jobs(m_thumbnailJobs, 0, false), [this] { startQueued(); }, Qt::QueuedConnection);
    }
    // A preview already read is handed over at once.
    if (preview && job.previewRead && !job.preview.isNull()) preview(key, job.preview);
    job.waiters.push_back({context, std::move(done), std::move(preview)});
}

void MediaThumbnailer::startQueued()
{
    BackgroundJobs* previews = jobs(m_previewJobs, kPreviewThreads, false);
    const QStringList queued = std::exchange(m_queued, {});
    // Every preview first: each costs a read of a few kilobytes, where a thumbnail costs a whole
    // photo's decoding. Their threads mostly wait for the disk, so there are more of them.
    for (const QString& jobKey : queued) {
        const auto it = m_inFlight.find(jobKey);
        if (it == m_inFlight.end()) continue;
        const bool wanted = std::any_of(it->waiters.cbegin(), it->waiters.cend(), [](const Waiter& w) { return bool(w.preview); });
        if (!wanted || !previews) continue;
        previews->run(jobKey,
                      [file = it->file, maxPixel = it->maxPixel](const JobContext&) { return EmbeddedPreview::read(file, maxPixel); },
                      [this, jobKey](const QImage& image) { deliverPreview(jobKey, image); });
    }
    // Then the thumbnails in the order asked, once the previews are on screen.
    m_heldBack += queued;
    if (!previews || previews->pendingCount() == 0) startHeldBack();
}

void MediaThumbnailer::startHeldBack()
{
    BackgroundJobs* manager = jobs(m_thumbnailJobs, 0, false);
    for (const QString& jobKey : std::exchange(m_heldBack, {})) {
        const auto it = m_inFlight.find(jobKey);
        if (it == m_inFlight.end() || it->started || !manager) continue;
        it->started = true;
        manager->run(jobKey,
                     [this, file = it->file, isVideo = it->isVideo, maxPixel = it->maxPixel](const JobContext&) {
                         Made made;
                         made.image = make(file, isVideo, maxPixel, made.pending);
                         return made;
                     },
                     [this, jobKey](const Made& made) { deliver(jobKey, made); });
    }
}

void MediaThumbnailer::deliverPreview(const QString& jobKey, const QImage& image)
{
    const auto it = m_inFlight.find(jobKey);
    if (it == m_inFlight.end()) return;
    it->previewRead = true;
    it->preview = image;
    if (image.isNull()) return;
    const QString key = it->key;
    // Copied: a delivery may ask for or cancel thumbnails, which changes the table.
    const QList<Waiter> waiters = it->waiters;
    for (const Waiter& waiter : waiters)
        if (waiter.preview && waiter.context) waiter.preview(key, image);
}

void MediaThumbnailer::deliver(const QString& jobKey, const Made& made)
{
    const auto it = m_inFlight.find(jobKey);
    if (it == m_inFlight.end()) return;
    const InFlight job = *it;
    m_inFlight.erase(it);
    // Stored under the key read before making: a file rewritten meanwhile gets a new key anyway.
    if (!made.image.isNull()) store(jobKey, made.image);
    for (const Waiter& waiter : job.waiters)
        if (waiter.context) waiter.done(job.key, made.image);
    // The shared entries are written once the thumbnails asked for are all made, on a niced thread
    // of their own, so the PNG encoding never holds up a thumbnail on screen.
    // (The manager counts a job out before its delivery: none pending means this was the last.)
    if (made.pending.folder != 0) m_unwritten.push_back({job.file, made.pending});
    if (m_unwritten.size() >= kMaxUnwritten || (m_thumbnailJobs && m_thumbnailJobs->pendingCount() == 0)) writeEntries();
}

void MediaThumbnailer::writeEntries()
{
    BackgroundJobs* writer = jobs(m_entryWriter, 1, true);
    if (!writer) return;
    for (auto& [file, pending] : std::exchange(m_unwritten, {}))
        writer->run(QString(), [file = file, pending = pending](const JobContext&) { pending.write(file); });
}

void MediaThumbnailer::cancel(const QString& path, int maxPixel, QObject* context)
{
    const QString jobKey = memoryKey(cacheKey(absolute(path)), maxPixel);
    const auto it = m_inFlight.find(jobKey);
    if (it == m_inFlight.end()) return;
    it->waiters.removeIf([context](const Waiter& w) { return !w.context || w.context == context; });
    if (!it->waiters.isEmpty()) return;
    m_inFlight.erase(it);
    m_queued.removeAll(jobKey);
    m_heldBack.removeAll(jobKey);
    if (m_thumbnailJobs) m_thumbnailJobs->cancel(jobKey);
    if (m_previewJobs) m_previewJobs->cancel(jobKey);
}

void MediaThumbnailer::waitForDone()
{
    for (;;) {
        bool busy = !m_queued.isEmpty() || !m_unwritten.isEmpty() || !m_heldBack.isEmpty();
        if (!m_heldBack.isEmpty() && (!m_previewJobs || m_previewJobs->pendingCount() == 0)) startHeldBack();
        if (!m_unwritten.isEmpty() && (!m_thumbnailJobs || m_thumbnailJobs->pendingCount() == 0)) writeEntries();
        for (BackgroundJobs* manager : {m_previewJobs.data(), m_thumbnailJobs.data(), m_entryWriter.data()}) {
            if (!manager || manager->pendingCount() == 0) continue;
            busy = true;
            manager->waitForDone();
        }
        // Deliveries, and the entry writes they start, come through the event loop.
        QCoreApplication::sendPostedEvents();
        if (!busy) return;
    }
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
