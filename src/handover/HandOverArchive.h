#pragma once

// The archive of every handed-over file: a ZIP with stored entries (photos do not compress), laid
// out in advance so that it is streamed from the files themselves with an exact length.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

namespace tavrin::HandOverArchive {

quint32 crc32(quint32 crc, const char* data, qsizetype size);
// CRC-32 of a whole file, read in chunks; none when it cannot be read in full.
std::optional<quint32> fileCrc32(const QString& path, qint64 expectedSize);

struct Entry {
    QString name;
    qint64 size = 0;
    quint32 crc = 0;
    QDateTime modified;
};

// One stretch of the archive: bytes held here, or a whole file (by its index in the entries).
struct Segment {
    QByteArray bytes;
    int fileIndex = -1;
    qint64 size = 0;
};

// False when the entries do not fit a classic ZIP (4 GiB, 65 535 entries).
bool fits(const QList<Entry>& entries);
// Local headers, file data and the central directory, in order.
QList<Segment> layout(const QList<Entry>& entries);
qint64 totalSize(const QList<Segment>& segments);

} // namespace tavrin::HandOverArchive
