#pragma once

// Copies of received photos: written as the organiser writes (hidden temporary, then a rename
// that never replaces), and, for the backup, verified by reading the copy back from the disk
// and comparing its XXH3 hash with the received file's before it takes its name.

#include <QString>

namespace tavrin::VerifiedCopy {

// XXH3-64 of the whole file. Throws FileCopy::Failure.
quint64 hashFile(const QString& path);

// A JPEG whose end marker is there (trailing zero padding allowed); any other file is taken as
// complete once its upload ended. A cut upload that the server saw as ended fails this.
bool looksComplete(const QString& path);

enum class Outcome { copied, alreadyThere, failed };

struct Result {
    Outcome outcome = Outcome::failed;
    // errno of the failure; EEXIST: another file has the name; EIO: the read-back differed.
    int error = 0;
};

// Copies `source` to `folder`/`relativePath` (subfolders made; `folder` itself must exist).
// With `sourceHash`, the copy is flushed, read back and compared before it is named, and a file
// already at the name counts as there only with the same hash; without, the same size suffices.
Result copy(const QString& source, const QString& folder, const QString& relativePath, const quint64* sourceHash);

} // namespace tavrin::VerifiedCopy
