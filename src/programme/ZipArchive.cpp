#include "programme/ZipArchive.h"

#include "numbers/NumberText.h"
#include "programme/XmlPatterns.h"

#include <QScopeGuard>
#include <QStringDecoder>

#include <zlib.h>

namespace tavrin {

ZipError ZipError::invalidArchive() { return ZipError(Kind::invalidArchive, QStringLiteral("Fichier Excel illisible.")); }

ZipError ZipError::unsupportedCompression()
{
    return ZipError(Kind::unsupportedCompression, QStringLiteral("Compression Excel non prise en charge."));
}

ZipError ZipError::decompressionFailed()
{
    return ZipError(Kind::decompressionFailed, QStringLiteral("Impossible de lire le fichier Excel."));
}

ZipError ZipError::tooLarge() { return ZipError(Kind::tooLarge, QStringLiteral("Ce fichier Excel est trop volumineux.")); }

ZipError ZipError::missingEntry(const QString& name)
{
    return ZipError(Kind::missingEntry, QStringLiteral("Feuille Excel introuvable."), name);
}

namespace ZipArchive {

namespace {

constexpr quint32 kEndSignature = 0x06054B50;
constexpr quint32 kCentralSignature = 0x02014B50;
constexpr quint32 kLocalSignature = 0x04034B50;
constexpr qsizetype kEndSize = 22, kCentralSize = 46, kLocalSize = 30, kMaxComment = 65535;

quint16 u16(QByteArrayView b, qsizetype at)
{
    return quint16(quint8(b[at])) | quint16(quint8(b[at + 1])) << 8;
}

quint32 u32(QByteArrayView b, qsizetype at) { return quint32(u16(b, at)) | quint32(u16(b, at + 2)) << 16; }

bool fits(QByteArrayView b, qint64 offset, qint64 length) { return offset >= 0 && length >= 0 && offset <= b.size() - length; }

QString utf8Name(QByteArrayView raw)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString name = decoder(raw);
    return decoder.hasError() ? QString() : name;
}

} // namespace

std::optional<qsizetype> findEOCD(QByteArrayView bytes)
{
    if (bytes.size() < kEndSize) return std::nullopt;
    const qsizetype lowest = std::max<qsizetype>(bytes.size() - (kMaxComment + kEndSize), 0);
    for (qsizetype at = bytes.size() - kEndSize; at >= lowest; --at)
        if (u32(bytes, at) == kEndSignature) return at;
    return std::nullopt;
}

QList<Entry> listing(QByteArrayView bytes)
{
    const auto end = findEOCD(bytes);
    if (!end) throw ZipError::invalidArchive();
    const int count = u16(bytes, *end + 10);
    qint64 at = u32(bytes, *end + 16);
    QList<Entry> entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        if (!fits(bytes, at, kCentralSize) || u32(bytes, at) != kCentralSignature) throw ZipError::invalidArchive();
        const qsizetype nameLength = u16(bytes, at + 28), extraLength = u16(bytes, at + 30),
                        commentLength = u16(bytes, at + 32);
        if (!fits(bytes, at + kCentralSize, nameLength)) throw ZipError::invalidArchive();
        entries.push_back(Entry{utf8Name(bytes.sliced(at + kCentralSize, nameLength)), u16(bytes, at + 10),
                                u32(bytes, at + 20), u32(bytes, at + 24), u32(bytes, at + 42)});
        at += kCentralSize + nameLength + extraLength + commentLength;
    }
    return entries;
}

namespace {

// Inflates into a buffer grown as the data needs, up to kMaxEntrySize bytes.
QByteArray inflateUnbounded(QByteArrayView compressed)
{
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) throw ZipError::decompressionFailed();
    const auto end = qScopeGuard([&] { inflateEnd(&stream); });
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = uInt(compressed.size());
    QByteArray out(qsizetype(std::min<qint64>(kMaxEntrySize, std::max<qint64>(compressed.size() * 4, 1 << 16))),
                   Qt::Uninitialized);
    for (;;) {
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + stream.total_out);
        stream.avail_out = uInt(out.size() - qsizetype(stream.total_out));
        const int status = ::inflate(&stream, Z_NO_FLUSH);
        if (status == Z_STREAM_END) break;
        if (status != Z_OK && status != Z_BUF_ERROR) throw ZipError::decompressionFailed();
        if (stream.avail_out > 0) break; // the data ends early: what it gave is kept
        if (out.size() >= kMaxEntrySize) {
            // Full at the bound: one more byte means the part is beyond it.
            char probe;
            stream.next_out = reinterpret_cast<Bytef*>(&probe);
            stream.avail_out = 1;
            ::inflate(&stream, Z_NO_FLUSH);
            if (stream.avail_out == 0) throw ZipError::tooLarge();
            break;
        }
        out.resize(qsizetype(std::min<qint64>(kMaxEntrySize, qint64(out.size()) * 2)));
    }
    if (stream.total_out == 0) throw ZipError::decompressionFailed();
    out.truncate(qsizetype(std::min<uLong>(stream.total_out, uLong(out.size()))));
    return out;
}

} // namespace

QByteArray inflate(QByteArrayView compressed, qint64 uncompressedSize)
{
    if (uncompressedSize > kMaxEntrySize) return inflateUnbounded(compressed);
    QByteArray out(qsizetype(std::max<qint64>(uncompressedSize, 1)), Qt::Uninitialized);
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) throw ZipError::decompressionFailed();
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = uInt(compressed.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    const int status = ::inflate(&stream, Z_FINISH);
    const qsizetype written = qsizetype(stream.total_out);
    inflateEnd(&stream);
    // A full buffer ends decoding without an error; corrupt data or nothing decoded fails.
    if (written == 0 || (status != Z_STREAM_END && status != Z_BUF_ERROR)) throw ZipError::decompressionFailed();
    out.truncate(written);
    return out;
}

QByteArray extract(QByteArrayView bytes, const Entry& entry)
{
    const qint64 at = entry.localHeaderOffset;
    if (!fits(bytes, at, kLocalSize) || u32(bytes, at) != kLocalSignature) throw ZipError::invalidArchive();
    const qint64 start = at + kLocalSize + u16(bytes, at + 26) + u16(bytes, at + 28);
    if (!fits(bytes, start, entry.compressedSize)) throw ZipError::invalidArchive();
    const QByteArrayView range = bytes.sliced(start, entry.compressedSize);
    switch (entry.compression) {
    case 0:
        if (range.size() > kMaxEntrySize) throw ZipError::tooLarge();
        return range.toByteArray();
    case 8:
        return inflate(range, entry.uncompressedSize);
    default:
        throw ZipError::unsupportedCompression();
    }
}

QByteArray data(const QString& name, QByteArrayView bytes) { return Reader(bytes).data(name); }

Reader::Reader(QByteArrayView bytes) : m_bytes(bytes), m_entries(listing(bytes))
{
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        const QString& entryName = m_entries[i].name;
        // The first entry in directory order wins, whether it matches fully or by suffix.
        const auto add = [&](const QString& key) {
            if (!m_firstByName.contains(key)) m_firstByName.insert(key, i);
        };
        add(entryName);
        for (qsizetype slash = entryName.indexOf(u'/'); slash >= 0; slash = entryName.indexOf(u'/', slash + 1))
            add(entryName.sliced(slash + 1));
    }
}

QByteArray Reader::data(const QString& name)
{
    const auto found = m_firstByName.constFind(name);
    if (found == m_firstByName.cend()) throw ZipError::missingEntry(name);
    return extract(m_entries[*found]);
}

QByteArray Reader::extract(const Entry& entry)
{
    const qint64 declared = entry.compression == 0 ? entry.compressedSize : entry.uncompressedSize;
    const qint64 cost = std::max<qint64>(4096, std::min(declared, kMaxEntrySize));
    if (cost > m_budget) {
        m_exhausted = true;
        throw ZipError::tooLarge();
    }
    m_budget -= cost;
    QByteArray data = ZipArchive::extract(m_bytes, entry);
    // A declared size is a guess until read: the bytes made count instead.
    m_budget += cost - std::max<qint64>(4096, data.size());
    return data;
}

QList<SheetDescriptor> sheetDescriptors(QByteArrayView workbookXml)
{
    using namespace XmlPatterns;
    QList<SheetDescriptor> sheets;
    if (!isValidUtf8(workbookXml)) return sheets;
    ElementScanner scanner(workbookXml, "sheet", true, false);
    while (const auto sheet = scanner.next()) {
        const auto name = attribute(sheet->attributes, "name");
        auto id = attribute(sheet->attributes, "r:id");
        if (!id) id = attribute(sheet->attributes, "id");
        if (name && id) sheets.push_back({QString::fromUtf8(decodeEntities(*name)), QString::fromUtf8(decodeEntities(*id))});
    }
    return sheets;
}

QList<Worksheet> worksheets(QByteArrayView bytes)
{
    Reader archive(bytes);
    return worksheets(archive);
}

QList<Worksheet> worksheets(Reader& archive)
{
    using namespace XmlPatterns;
    // Parts that are missing or unreadable are skipped, unless a bound was reached.
    const auto optionalPart = [&](const QString& name) -> std::optional<QByteArray> {
        try {
            return archive.data(name);
        } catch (const ZipError& e) {
            if (archive.exhausted() || e.kind() == ZipError::Kind::tooLarge) throw;
            return std::nullopt;
        }
    };

    const QByteArray workbook = archive.data(QStringLiteral("xl/workbook.xml"));
    QHash<QString, QString> targets;
    if (const auto rels = optionalPart(QStringLiteral("xl/_rels/workbook.xml.rels")); rels && isValidUtf8(*rels)) {
        ElementScanner relationships(*rels, "Relationship", true, false);
        while (const auto r = relationships.next()) {
            const auto id = attribute(r->attributes, "Id"), target = attribute(r->attributes, "Target");
            if (id && target)
                targets.insert(QString::fromUtf8(decodeEntities(*id)), QString::fromUtf8(decodeEntities(*target)));
        }
    }

    QList<Worksheet> found;
    for (const SheetDescriptor& sheet : sheetDescriptors(workbook)) {
        QString target = targets.value(sheet.relationshipID, QStringLiteral("worksheets/sheet%1.xml").arg(found.size() + 1));
        target.replace(u'\\', u'/');
        while (target.startsWith(u'/')) target.remove(0, 1);
        if (!target.startsWith(QLatin1StringView("xl/"))) target.prepend(QLatin1StringView("xl/"));
        if (auto xml = optionalPart(target)) found.push_back({sheet.name, std::move(*xml)});
    }
    if (!found.isEmpty()) return found;

    QList<Entry> parts;
    for (const Entry& e : archive.entries())
        if (e.name.startsWith(QLatin1StringView("xl/worksheets/sheet")) && e.name.endsWith(QLatin1StringView(".xml")))
            parts.push_back(e);
    std::stable_sort(parts.begin(), parts.end(), [](const Entry& a, const Entry& b) {
        return NumberText::compareCodePoints(a.name, b.name) < 0;
    });
    for (const Entry& e : parts) found.push_back({QStringLiteral("Feuille %1").arg(found.size() + 1), archive.extract(e)});
    if (found.isEmpty()) throw ZipError::missingEntry(QStringLiteral("xl/worksheets/sheet1.xml"));
    return found;
}

} // namespace ZipArchive
} // namespace tavrin
