#pragma once

// The untouched copy of an edited photo: D/.tavrin-originals/N for the photo D/N. The folder is
// hidden, so it is never listed as an order section or as media. The copy is made before the
// first edit and never refreshed, so that every edit can be undone back to the camera's file.

#include <QString>

namespace tavrin::PhotoOriginals {

inline constexpr QStringView folderName = u".tavrin-originals";

// D/.tavrin-originals
QString originalsFolder(const QString& photo);
// D/.tavrin-originals/N
QString backupPath(const QString& photo);

bool hasBackup(const QString& photo);

// Copies the photo byte for byte to its untouched copy unless one exists already. Throws
// tavrin::Error with a French message on file-system failure; no partial copy is left behind.
void ensureBackup(const QString& photo);

// Puts the untouched copy back over the photo, then removes the copy and the journal. Does
// nothing for a photo never edited. Throws tavrin::Error on file-system failure.
void restore(const QString& photo);

// Makes `target` a byte copy of `source` in one step (a hidden temporary file renamed over it),
// so that `target` is never missing or half-written. Throws tavrin::Error.
void replaceWithCopy(const QString& source, const QString& target);

} // namespace tavrin::PhotoOriginals
