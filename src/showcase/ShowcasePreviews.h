#pragma once

// The showcase's previews: a photo reduced to about 1,600 pixels on its long side with the
// orders' watermark laid over its bottom, made once into a disk cache and read from there after.
// The full file is never served. Thread-safe; at most two previews are made at once for visitors,
// and one photo asked for by several visitors is made only once. A rider's folder that fills has
// its previews made ahead, one at a time at low priority, so that a visitor's first look finds
// them ready; a visitor never waits for that queue. The cache is bounded: past its size, the
// previews of the riders looked at longest ago go first.

#include "base/BackgroundJobs.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <optional>

namespace tavrin {

class ShowcasePreviews {
public:
    static constexpr qint64 defaultBound = 2LL * 1024 * 1024 * 1024;

    // `watermark`: the image laid along the bottom (none: previews without one).
    ShowcasePreviews(QString cacheFolder, std::optional<QString> watermark, int longSide = 1600, qint64 bound = defaultBound);
    ~ShowcasePreviews();

    // The preview's JPEG bytes; empty when the photo cannot be read. The photo's folder counts as
    // its rider, looked at now.
    QByteArray preview(const QString& photoPath);
    // The file the preview of this photo is cached in (whether made yet or not).
    QString cachedFile(const QString& photoPath) const;

    // Makes ahead the previews of a rider's folder, listed by `photos` when the work starts; a
    // newer call for the same folder replaces one not yet done.
    void prepare(const QString& riderFolder, std::function<QStringList()> photos);
    // Photos listed for ahead-of-time work and not yet done.
    int pendingAhead() const { return m_pending.load(); }
    void waitForAhead();

    // The bytes of previews in the cache, and the bound they are kept under.
    qint64 cacheBytes() const;
    qint64 bound() const { return m_bound; }

    static QString defaultCacheFolder();

private:
    QByteArray make(const QString& photoPath) const;
    void store(const QString& file, const QByteArray& jpeg);
    // Removes previews until the cache is within its bound.
    void trim();
    void saveLooked();

    QString m_folder;
    std::optional<QString> m_watermark;
    QByteArray m_watermarkStamp;
    int m_longSide;
    qint64 m_bound;
    QSemaphore m_makers{2};
    mutable QMutex m_mutex;
    QWaitCondition m_done;
    QHash<QString, int> m_making; // cache files being made
    // When each rider (by its tag in the cache files' names) was last looked at, in ms.
    QHash<QString, qint64> m_looked;
    qint64 m_bytes = 0;
    QMutex m_trimming;
    std::atomic<int> m_pending{0};
    // Last: gone (its jobs finished) before what they use.
    BackgroundJobs m_ahead{nullptr, 1, BackgroundJobs::Priority::low};
};

} // namespace tavrin
