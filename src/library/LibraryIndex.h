#pragma once

// Where each spreadsheet sits in "library.json", written beside it ("library.index") whenever
// this program writes the whole file: a command that touches one spreadsheet reads that one
// and the journal, not the whole library. A cache: missing, damaged or made for another version
// of the file (another program wrote it), it is not used.

#include "base/JsonFile.h"
#include "library/LibrarySnapshot.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>
#include <utility>

namespace tavrin::LibraryIndex {

struct Entry {
    QUuid id;
    QUuid dayID;
    QString title;
    qint64 start = 0; // the spreadsheet's object: bytes [start, end) of the file
    qint64 end = 0;
};

struct Index {
    JsonFile::Version file;
    QList<Entry> spreadsheets;
};

// The byte ranges of the objects of the file's "spreadsheets" array, in order, whatever the
// layout or key order of the file; none when the bytes are not such a file.
std::optional<QList<std::pair<qint64, qint64>>> spreadsheetRanges(const QByteArray& file);

// The index of `file` (the bytes of the library file at `version`, holding `library`); empty
// when its spreadsheets cannot be found in it.
QByteArray encode(const JsonFile::Version& version, const LibrarySnapshot& library, const QByteArray& file);
std::optional<Index> decode(const QByteArray& bytes);

// Replaces the index (not synced: it is a cache); empty bytes remove it.
void write(const QString& path, const QByteArray& bytes);

} // namespace tavrin::LibraryIndex
