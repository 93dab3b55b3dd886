#pragma once

// Thumbnails of the orders gallery and the watermark list: photos through libvips shrink-on-load,
// videos through their first frame. One process-wide memory cache keyed by path, modification
// second and size, so a rewritten file never shows a stale image; the shared freedesktop
// thumbnail folders are read and written too, so the file manager and Tavrin reuse each other's.
// While a photo's thumbnail is made, the camera's embedded preview can stand in for it; it is
// handed to the caller only, never cached as the thumbnail.

#include <QCache>
#include <QHash>
#include <QImage>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

namespace tavrin {

class BackgroundJobs;

class MediaThumbnailer {
public:
    using Delivery = std::function<void(const QString& key, const QImage& image)>;

    // The one instance of the process; its memory cache is safe from any thread.
    static MediaThumbnailer& shared();

    // "path|whole seconds of the modification date|size in bytes", 0 where unreadable.
    static QString cacheKey(const QString& path);

    // Asynchronous, from the main thread: a memory hit is delivered at once, otherwise the thumbnail
    // is made in the background. `done` runs on the main thread (dropped if `context` is gone) with
    // the key the image was made for, so a caller can ignore a result for an older revision of the
    // file. A null image means the file could not be read. `preview`, when given, first receives
    // the camera's embedded preview of a photo that has one. Requests for a file and size already
    // being made join that job; previews of the requests of one event-loop turn are read before
    // their thumbnails are made, in the order asked.
    void thumbnail(const QString& path, bool isVideo, int maxPixel, QObject* context, Delivery done, Delivery preview = {});
    // `context` no longer wants that thumbnail (its cell scrolled far away); the job stops when
    // nobody else waits for it.
    void cancel(const QString& path, int maxPixel, QObject* context);
    // Blocks until every job started has delivered and every freedesktop entry is written, for the
    // tests and the benchmarks.
    void waitForDone();
    // Thumbnails being made, for the tests.
    int jobsInFlight() const { return int(m_inFlight.size()); }
    // Synchronous, for the command line and the tests.
    QImage thumbnailNow(const QString& path, bool isVideo, int maxPixel);

    // Forgets the file's images under every key and size, and its freedesktop entries.
    void remove(const QString& path);
    void clearMemory();
    // Byte budget of the memory cache; the least recently used images go first.
    void setMemoryBudget(qint64 bytes);
    qint64 memoryBudget() const;
    bool inMemory(const QString& path, int maxPixel) const;

    // Whether the freedesktop folders are used (on by default).
    void setSharedCacheEnabled(bool enabled);

    // Longest side at most maxPixel, orientation applied, never enlarged. Null when unreadable.
    static QImage photoThumbnail(const QString& path, int maxPixel);
    // First frame, the track rotation applied, within maxPixel × maxPixel. Null on failure.
    static QImage videoThumbnail(const QString& path, int maxPixel);

private:
    MediaThumbnailer();
    QImage lookup(const QString& memoryKey) const;
    void store(const QString& memoryKey, const QImage& image);
    // A shared entry made at its folder's size, to be written after the image is handed over.
    struct PendingEntry {
        QImage image;
        int folder = 0;
        void write(const QString& path) const;
    };
    QImage make(const QString& path, bool isVideo, int maxPixel) const;
    QImage make(const QString& path, bool isVideo, int maxPixel, PendingEntry& pending) const;

    struct Waiter {
        QPointer<QObject> context;
        Delivery done;
        Delivery preview;
    };
    struct InFlight {
        QString file;
        QString key;
        bool isVideo = false;
        int maxPixel = 0;
        QList<Waiter> waiters;
        QImage preview;
        bool previewRead = false;
        bool started = false;
    };
    struct Made {
        QImage image;
        PendingEntry pending;
    };
    void startQueued();
    void deliverPreview(const QString& jobKey, const QImage& image);
    void deliver(const QString& jobKey, const Made& made);
    void writeEntries();
    void startHeldBack();
    BackgroundJobs* jobs(QPointer<BackgroundJobs>& manager, int threads, bool low);

    // Main thread only: the jobs by "key@size", and those asked for during this event-loop turn.
    QHash<QString, InFlight> m_inFlight;
    QStringList m_queued;
    QList<std::pair<QString, PendingEntry>> m_unwritten;
    QStringList m_heldBack; // thumbnails waiting for their batch's previews
    QPointer<BackgroundJobs> m_previewJobs;
    QPointer<BackgroundJobs> m_thumbnailJobs;
    QPointer<BackgroundJobs> m_entryWriter;

    mutable QMutex m_mutex;
    mutable QCache<QString, QImage> m_cache;
    bool m_sharedCache = true;
};

// The freedesktop thumbnail folders ($XDG_CACHE_HOME/thumbnails or ~/.cache/thumbnails).
namespace SharedThumbnails {

QString root();
// The file URI the entries are named after and tagged with.
QString fileUri(const QString& path);
// The folder size used for a request: 128, 256, 512 or 1024; 0 when larger than every folder.
int folderSize(int maxPixel);
// The entry of `path` in the folder of that size.
QString entryPath(const QString& path, int folderSize);
// A valid entry (URI, modification second and, when present, size matching the file) of the
// folder for maxPixel or a larger one, scaled down to maxPixel. Null when there is none.
QImage read(const QString& path, int maxPixel);
// Writes `image`, made at folderSize, atomically with owner-only permissions. Files inside the
// thumbnail folders themselves are never thumbnailed. False when nothing was written.
bool write(const QString& path, const QImage& image, int folderSize);
// Deletes the file's entries in every folder.
void remove(const QString& path);

} // namespace SharedThumbnails

} // namespace tavrin
