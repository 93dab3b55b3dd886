#include "showcase/ShowcasePreviews.h"

#include "editing/PhotoComposer.h"
#include "editing/RetouchBridges.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
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

// A preview's file name starts with its rider's tag: the cache can drop a rider's previews together.
QString riderTag(const QString& photoPath)
{
    const QByteArray folder = QFileInfo(photoPath).absolutePath().toUtf8();
    return QString::fromLatin1(QCryptographicHash::hash(folder, QCryptographicHash::Sha1).toHex().left(12));
}

QString tagOf(const QFileInfo& file)
{
    const QString name = file.completeBaseName();
    const qsizetype dash = name.indexOf(u'-');
    return dash > 0 ? name.left(dash) : QString();
}

const QString lookedFile = QStringLiteral("looked.json");

} // namespace

ShowcasePreviews::ShowcasePreviews(QString cacheFolder, std::optional<QString> watermark, int longSide, qint64 bound)
    : m_folder(std::move(cacheFolder)), m_watermark(std::move(watermark)), m_longSide(longSide), m_bound(bound)
{
    QDir().mkpath(m_folder);
    // Previews of past shows go after a month, so that the cache does not grow from show to show.
    const QDateTime monthAgo = QDateTime::currentDateTime().addDays(-30);
    for (const QFileInfo& old : QDir(m_folder).entryInfoList({QStringLiteral("*.jpg")}, QDir::Files)) {
        if (old.lastModified() < monthAgo) QFile::remove(old.absoluteFilePath());
        else m_bytes += old.size();
    }
    if (m_watermark) m_watermarkStamp = stamp(*m_watermark);
    QFile looked(m_folder + u'/' + lookedFile);
    if (looked.open(QIODevice::ReadOnly)) {
        const QJsonObject o = QJsonDocument::fromJson(looked.readAll()).object();
        for (auto it = o.begin(); it != o.end(); ++it) m_looked.insert(it.key(), qint64(it.value().toDouble()));
    }
    trim();
}

ShowcasePreviews::~ShowcasePreviews()
{
    m_ahead.cancelAll();
    m_ahead.waitForDone();
    saveLooked();
}

void ShowcasePreviews::saveLooked()
{
    QJsonObject o;
    {
        QMutexLocker lock(&m_mutex);
        for (auto it = m_looked.begin(); it != m_looked.end(); ++it) o.insert(it.key(), double(it.value()));
    }
    QSaveFile out(m_folder + u'/' + lookedFile);
    if (out.open(QIODevice::WriteOnly)) {
        out.write(QJsonDocument(o).toJson(QJsonDocument::Compact));
        out.commit();
    }
}

qint64 ShowcasePreviews::cacheBytes() const
{
    QMutexLocker lock(&m_mutex);
    return m_bytes;
}

void ShowcasePreviews::store(const QString& file, const QByteArray& jpeg)
{
    if (jpeg.isEmpty()) return;
    const qint64 before = QFileInfo(file).size();
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) return;
    out.write(jpeg);
    if (!out.commit()) return;
    {
        QMutexLocker lock(&m_mutex);
        m_bytes += jpeg.size() - before;
    }
    trim();
}

void ShowcasePreviews::trim()
{
    if (cacheBytes() <= m_bound) return;
    QMutexLocker trimming(&m_trimming);
    // Each rider's last use: its last look, or its newest preview when made since.
    struct Entry {
        QString path;
        qint64 size, modified;
    };
    QHash<QString, QList<Entry>> byRider;
    QHash<QString, qint64> lastUse;
    qint64 total = 0;
    for (const QFileInfo& info : QDir(m_folder).entryInfoList({QStringLiteral("*.jpg")}, QDir::Files)) {
        const QString tag = tagOf(info);
        const qint64 modified = info.lastModified().toMSecsSinceEpoch();
        byRider[tag].append({info.absoluteFilePath(), info.size(), modified});
        lastUse[tag] = std::max(lastUse.value(tag), modified);
        total += info.size();
    }
    {
        QMutexLocker lock(&m_mutex);
        for (auto it = lastUse.begin(); it != lastUse.end(); ++it) it.value() = std::max(it.value(), m_looked.value(it.key()));
    }
    QStringList riders = byRider.keys();
    std::sort(riders.begin(), riders.end(), [&](const QString& a, const QString& b) { return lastUse[a] < lastUse[b]; });
    for (const QString& rider : riders) {
        QList<Entry>& files = byRider[rider];
        std::sort(files.begin(), files.end(), [](const Entry& a, const Entry& b) { return a.modified < b.modified; });
        for (const Entry& file : files) {
            if (total <= m_bound) break;
            if (QFile::remove(file.path)) total -= file.size;
        }
        if (total <= m_bound) break;
    }
    QMutexLocker lock(&m_mutex);
    m_bytes = total;
}

QString ShowcasePreviews::defaultCacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/tavrin/showcase");
}

QString ShowcasePreviews::cachedFile(const QString& photoPath) const
{
    // The photo's and the watermark's identity and dates: a changed file gets a new preview.
    const QByteArray key = stamp(photoPath) + '|' + m_watermarkStamp + '|' + QByteArray::number(m_longSide);
    return m_folder + u'/' + riderTag(photoPath) + u'-' + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex()) +
           QStringLiteral(".jpg");
}

QByteArray ShowcasePreviews::preview(const QString& photoPath)
{
    const QString file = cachedFile(photoPath);
    {
        QMutexLocker lock(&m_mutex);
        m_looked.insert(riderTag(photoPath), QDateTime::currentMSecsSinceEpoch());
    }
    if (QByteArray cached = readFile(file); !cached.isEmpty()) return cached;
    {
        QMutexLocker lock(&m_mutex);
        // Another visitor is making it: wait for theirs. The ahead-of-time queue is never waited
        // for; at worst both make it.
        while (m_making.contains(file)) m_done.wait(&m_mutex);
        if (QByteArray cached = readFile(file); !cached.isEmpty()) return cached;
        m_making.insert(file, 1);
    }
    m_makers.acquire();
    const QByteArray jpeg = make(photoPath);
    m_makers.release();
    store(file, jpeg);
    QMutexLocker lock(&m_mutex);
    m_making.remove(file);
    m_done.wakeAll();
    return jpeg;
}

void ShowcasePreviews::prepare(const QString& riderFolder, std::function<QStringList()> photos)
{
    m_ahead.run(QFileInfo(riderFolder).absoluteFilePath(), [this, photos = std::move(photos)](const JobContext& job) {
        const QStringList listed = photos();
        int left = int(listed.size());
        m_pending += left;
        for (const QString& photo : listed) {
            if (job.isStale()) break;
            const QString file = cachedFile(photo);
            if (!QFileInfo::exists(file)) store(file, make(photo));
            --left;
            --m_pending;
        }
        m_pending -= left;
        saveLooked();
    });
}

void ShowcasePreviews::waitForAhead() { m_ahead.waitForDone(); }

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
