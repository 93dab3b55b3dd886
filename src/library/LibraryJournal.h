#pragma once

// The edits of a large library between two whole writes of "library.json": one line per write,
// appended and synced beside the file, holding only the records that write changed. Reading the
// file then the journal gives the library as it was last saved; writing the whole file again
// (compaction) ends the journal.

#include "library/LibrarySnapshot.h"

#include <QByteArray>
#include <QString>

namespace tavrin::LibraryJournal {

// The line that turns `from` into `to`: the days when they changed, the spreadsheets changed or
// added, the identifiers of those removed. Empty when nothing changed, or when `to` reorders the
// spreadsheets `from` had (new ones come last), which only a whole write keeps.
QByteArray line(const LibrarySnapshot& from, const LibrarySnapshot& to, bool* expressible = nullptr);

// Applies the journal's complete lines in order; a line torn by a crash mid-append is skipped. Applying a line twice changes nothing, so a journal left behind by a crash between
// the whole write and its removal is harmless. Returns the lines applied.
int apply(LibrarySnapshot& library, const QByteArray& journal);

// Appends and syncs the bytes; false when they could not be written whole.
bool append(const QString& path, const QByteArray& bytes);

} // namespace tavrin::LibraryJournal
