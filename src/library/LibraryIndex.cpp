#include "library/LibraryIndex.h"

#include <QDataStream>
#include <QFile>
#include <QIODevice>

#include <cstdio>

namespace tavrin::LibraryIndex {

namespace {
constexpr quint32 kMagic = 0x54564c49; // "TVLI"
constexpr quint32 kFormat = 1;
} // namespace

std::optional<QList<std::pair<qint64, qint64>>> spreadsheetRanges(const QByteArray& file)
{
    QList<std::pair<qint64, qint64>> ranges;
    const char* p = file.constData();
    const qsizetype n = file.size();
    int depth = 0;
    bool inSheets = false, sawSheets = false;
    qsizetype stringStart = -1;
    QByteArrayView lastTopString;
    qint64 objectStart = -1;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = p[i];
        if (stringStart >= 0) {
            if (c == '\\') ++i;
            else if (c == '"') {
                if (depth == 1) lastTopString = QByteArrayView(p + stringStart + 1, i - stringStart - 1);
                stringStart = -1;
            }
            continue;
        }
        switch (c) {
        case '"': stringStart = i; break;
        case '{':
        case '[':
            if (depth == 1 && c == '[' && lastTopString == "spreadsheets") inSheets = sawSheets = true;
            if (depth == 2 && inSheets && c == '{') objectStart = i;
            ++depth;
            break;
        case '}':
        case ']':
            --depth;
            if (depth < 0) return std::nullopt;
            if (depth == 2 && inSheets && c == '}') ranges.push_back({objectStart, i + 1});
            if (depth == 1 && inSheets && c == ']') inSheets = false;
            break;
        default: break;
        }
    }
    if (depth != 0 || stringStart >= 0 || !sawSheets) return std::nullopt;
    return ranges;
}

QByteArray encode(const JsonFile::Version& version, const LibrarySnapshot& library, const QByteArray& file)
{
    const auto ranges = spreadsheetRanges(file);
    if (!ranges || ranges->size() != library.spreadsheets.size()) return {};
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << kMagic << kFormat << version.device << version.inode << version.size << version.modifiedNs
        << qint64(library.spreadsheets.size());
    for (qsizetype i = 0; i < ranges->size(); ++i) {
        const SpreadsheetRecord& s = library.spreadsheets[i];
        out << s.id << s.dayID << s.title << (*ranges)[i].first << (*ranges)[i].second;
    }
    return bytes;
}

std::optional<Index> decode(const QByteArray& bytes)
{
    QDataStream in(bytes);
    quint32 magic = 0, format = 0;
    Index index;
    index.file.exists = true;
    qint64 count = 0;
    in >> magic >> format >> index.file.device >> index.file.inode >> index.file.size >> index.file.modifiedNs >> count;
    if (magic != kMagic || format != kFormat || count < 0 || count > bytes.size()) return std::nullopt;
    index.spreadsheets.reserve(count);
    for (qint64 i = 0; i < count; ++i) {
        Entry e;
        in >> e.id >> e.dayID >> e.title >> e.start >> e.end;
        index.spreadsheets.push_back(std::move(e));
    }
    if (in.status() != QDataStream::Ok) return std::nullopt;
    return index;
}

void write(const QString& path, const QByteArray& bytes)
{
    if (bytes.isEmpty()) {
        QFile::remove(path);
        return;
    }
    const QString temporary = path + QStringLiteral(".new");
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        QFile::remove(temporary);
        QFile::remove(path);
        return;
    }
    file.close();
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0) QFile::remove(temporary);
}

} // namespace tavrin::LibraryIndex
