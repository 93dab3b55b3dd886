#include "handover/HandOverArchive.h"

#include <QFile>

#include <algorithm>

#include <zlib.h>

namespace tavrin::HandOverArchive {

namespace {

void put16(QByteArray& out, quint32 v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}
void put32(QByteArray& out, quint32 v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// MS-DOS time and date of the modification, local time as archivers show it.
std::pair<quint16, quint16> dosTime(const QDateTime& when)
{
    const QDateTime local = when.isValid() ? when.toLocalTime() : QDateTime();
    if (!local.isValid() || local.date().year() < 1980 || local.date().year() > 2107) return {0, (0 << 9) | (1 << 5) | 1};
    const QTime t = local.time();
    const QDate d = local.date();
    return {quint16((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2)),
            quint16(((d.year() - 1980) << 9) | (d.month() << 5) | d.day())};
}

constexpr quint16 utf8Names = 0x0800;
constexpr quint16 versionNeeded = 20;

} // namespace

quint32 crc32(quint32 crc, const char* data, qsizetype size)
{
    // zlib takes lengths as unsigned int: long buffers go in slices.
    uLong value = crc;
    while (size > 0) {
        const uInt slice = uInt(std::min<qsizetype>(size, 1 << 30));
        value = ::crc32(value, reinterpret_cast<const Bytef*>(data), slice);
        data += slice;
        size -= slice;
    }
    return quint32(value);
}

std::optional<quint32> fileCrc32(const QString& path, qint64 expectedSize)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    quint32 crc = 0;
    qint64 total = 0;
    for (;;) {
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        crc = crc32(crc, chunk.constData(), n);
        total += n;
    }
    if (total != expectedSize) return std::nullopt;
    return crc;
}

bool fits(const QList<Entry>& entries)
{
    if (entries.size() >= 0xFFFF) return false;
    qint64 total = 22;
    for (const Entry& e : entries) total += 30 + 46 + 2 * e.name.toUtf8().size() + e.size;
    return total < 0xFFFFFFFFLL;
}

QList<Segment> layout(const QList<Entry>& entries)
{
    QList<Segment> segments;
    QByteArray central;
    qint64 offset = 0;
    for (int i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        const QByteArray name = e.name.toUtf8();
        // Plain variables: clang 14 (the fuzz build) cannot capture structured bindings in a lambda.
        const auto stamp = dosTime(e.modified);
        const quint16 time = stamp.first;
        const quint16 date = stamp.second;

        // From "version needed" to the extra field's length, both headers say the same.
        const auto common = [&](QByteArray& out) {
            put16(out, versionNeeded);
            put16(out, utf8Names);
            put16(out, 0); // stored
            put16(out, time);
            put16(out, date);
            put32(out, e.crc);
            put32(out, quint32(e.size));
            put32(out, quint32(e.size));
            put16(out, quint32(name.size()));
            put16(out, 0);
        };
        QByteArray local;
        put32(local, 0x04034b50);
        common(local);
        local.append(name);

        put32(central, 0x02014b50);
        put16(central, (3 << 8) | versionNeeded); // made on Unix, so the permissions below are read
        common(central);
        put16(central, 0); // comment
        put16(central, 0); // disk
        put16(central, 0); // internal attributes
        put32(central, quint32(0100644) << 16);
        put32(central, quint32(offset));
        central.append(name);

        offset += local.size() + e.size;
        segments.append({local, -1, local.size()});
        segments.append({{}, i, e.size});
    }
    QByteArray end = central;
    put32(end, 0x06054b50);
    put16(end, 0);
    put16(end, 0);
    put16(end, quint32(entries.size()));
    put16(end, quint32(entries.size()));
    put32(end, quint32(central.size()));
    put32(end, quint32(offset));
    put16(end, 0);
    segments.append({end, -1, end.size()});
    return segments;
}

qint64 totalSize(const QList<Segment>& segments)
{
    qint64 total = 0;
    for (const Segment& s : segments) total += s.size;
    return total;
}

} // namespace tavrin::HandOverArchive
