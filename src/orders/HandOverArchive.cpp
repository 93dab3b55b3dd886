#include "orders/HandOverArchive.h"

#include <QFile>

#include <array>

namespace tavrin::HandOverArchive {

namespace {

constexpr std::array<quint32, 256> makeTable()
{
    std::array<quint32, 256> table{};
    for (quint32 n = 0; n < 256; ++n) {
        quint32 c = n;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}
constexpr std::array<quint32, 256> crcTable = makeTable();

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
    crc = ~crc;
    for (qsizetype i = 0; i < size; ++i) crc = crcTable[(crc ^ uchar(data[i])) & 0xFF] ^ (crc >> 8);
    return ~crc;
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
        const auto [time, date] = dosTime(e.modified);

        QByteArray local;
        put32(local, 0x04034b50);
        put16(local, versionNeeded);
        put16(local, utf8Names);
        put16(local, 0); // stored
        put16(local, time);
        put16(local, date);
        put32(local, e.crc);
        put32(local, quint32(e.size));
        put32(local, quint32(e.size));
        put16(local, quint32(name.size()));
        put16(local, 0);
        local.append(name);

        put32(central, 0x02014b50);
        put16(central, (3 << 8) | versionNeeded); // made on Unix, so the permissions below are read
        put16(central, versionNeeded);
        put16(central, utf8Names);
        put16(central, 0);
        put16(central, time);
        put16(central, date);
        put32(central, e.crc);
        put32(central, quint32(e.size));
        put32(central, quint32(e.size));
        put16(central, quint32(name.size()));
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
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
