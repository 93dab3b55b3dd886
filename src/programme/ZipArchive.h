#pragma once

// A minimal read-only zip reader over a buffer in memory: what workbooks need (stored and
// deflated entries) and nothing more — no writing, zip64, encryption or checksums.

#include "base/Error.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

namespace tavrin {

class ZipError : public Error {
public:
    enum class Kind { invalidArchive, unsupportedCompression, decompressionFailed, missingEntry, tooLarge };

    // "Fichier Excel illisible.": no end record, a record outside the buffer, a wrong signature.
    static ZipError invalidArchive();
    // "Compression Excel non prise en charge.": a method other than stored and deflate.
    static ZipError unsupportedCompression();
    // "Impossible de lire le fichier Excel.": undecodable data.
    static ZipError decompressionFailed();
    // "Ce fichier Excel est trop volumineux.": the file, a part or its cells beyond the bounds
    // that keep a hostile file from exhausting memory.
    static ZipError tooLarge();
    // "Feuille Excel introuvable."
    static ZipError missingEntry(const QString& name);

    Kind kind() const noexcept { return m_kind; }
    const QString& entryName() const noexcept { return m_entryName; }

private:
    ZipError(Kind kind, QString message, QString entryName = {})
        : Error(std::move(message)), m_kind(kind), m_entryName(std::move(entryName))
    {
    }
    Kind m_kind;
    QString m_entryName;
};

namespace ZipArchive {

struct Entry {
    // UTF-8 path inside the archive; empty when the bytes are not valid UTF-8.
    QString name;
    quint16 compression = 0;
    qint64 compressedSize = 0;
    qint64 uncompressedSize = 0;
    qint64 localHeaderOffset = 0;

    bool operator==(const Entry&) const = default;
};

// No entry may inflate to more than this: a spreadsheet part is a few megabytes at most, and data
// beyond it is a hostile file or one too large to read ("Ce fichier Excel est trop volumineux.").
constexpr qint64 kMaxEntrySize = 64 * 1024 * 1024;

// Offset of the end-of-central-directory record, searched backwards over the longest comment.
std::optional<qsizetype> findEOCD(QByteArrayView bytes);

// The central directory, in order.
QList<Entry> listing(QByteArrayView bytes);

// The entry's bytes; never more than its declared uncompressed size.
QByteArray extract(QByteArrayView bytes, const Entry& entry);

// Raw DEFLATE into a buffer of max(uncompressedSize, 1) bytes; output beyond it is cut off. A
// declared size beyond kMaxEntrySize is not trusted: the data is inflated as far as it goes, and
// is too large only when it really gives more than kMaxEntrySize bytes.
QByteArray inflate(QByteArrayView compressed, qint64 uncompressedSize);

// The first entry named `name` or ending with "/" + `name`.
QByteArray data(const QString& name, QByteArrayView bytes);

// An archive listed once, for reading many entries: lookups by name cost no directory walk, and
// the bytes extracted altogether are bounded so that a file holding many copies of a large
// entry cannot exhaust memory.
class Reader {
public:
    explicit Reader(QByteArrayView bytes);

    const QList<Entry>& entries() const { return m_entries; }
    // As ZipArchive::data.
    QByteArray data(const QString& name);
    QByteArray extract(const Entry& entry);
    // A read was refused because the reads before it used up the bound below.
    bool exhausted() const { return m_exhausted; }

    // Every read together may produce this much; each read counts for at least 4 KiB, and for
    // what it declares (at most kMaxEntrySize) until it is read.
    static constexpr qint64 kMaxTotalSize = 128 * 1024 * 1024;

private:
    QByteArrayView m_bytes;
    QList<Entry> m_entries;
    QHash<QString, qsizetype> m_firstByName; // full names and every suffix after a "/"
    qint64 m_budget = kMaxTotalSize;
    bool m_exhausted = false;
};

// A sheet as the workbook part lists it: its display name and the relationship to its XML part.
struct SheetDescriptor {
    QString name;
    QString relationshipID;
};

// The sheets of xl/workbook.xml in order; sheets without a name or a relationship are left out.
QList<SheetDescriptor> sheetDescriptors(QByteArrayView workbookXml);

// A worksheet of a workbook: the sheet's display name and its XML part.
struct Worksheet {
    QString name;
    QByteArray xml;
};

// The workbook's worksheets in workbook order, found through the workbook's relationships (or the
// default part names when they are missing); "Feuille Excel introuvable." when there is none.
QList<Worksheet> worksheets(QByteArrayView bytes);
QList<Worksheet> worksheets(Reader& archive);

} // namespace ZipArchive
} // namespace tavrin
