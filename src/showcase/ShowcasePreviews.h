#pragma once

// The showcase's previews: a photo reduced to about 1,600 pixels on its long side with the
// orders' watermark laid over its bottom, made once into a disk cache and read from there after.
// The full file is never served. Thread-safe; at most two previews are made at once, and one
// photo asked for by several visitors is made only once.

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QWaitCondition>

#include <optional>

namespace tavrin {

class ShowcasePreviews {
public:
    // `watermark`: the image laid along the bottom (none: previews without one).
    ShowcasePreviews(QString cacheFolder, std::optional<QString> watermark, int longSide = 1600);

    // The preview's JPEG bytes; empty when the photo cannot be read.
    QByteArray preview(const QString& photoPath);
    // The file the preview of this photo is cached in (whether made yet or not).
    QString cachedFile(const QString& photoPath) const;

    static QString defaultCacheFolder();

private:
    QByteArray make(const QString& photoPath) const;

    QString m_folder;
    std::optional<QString> m_watermark;
    QByteArray m_watermarkStamp;
    int m_longSide;
    QSemaphore m_makers{2};
    QMutex m_mutex;
    QWaitCondition m_done;
    QHash<QString, int> m_making; // cache files being made
};

} // namespace tavrin
