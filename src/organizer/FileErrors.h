#pragma once

// The French sentences for failed file operations, from the system's error number, so that a
// folder that cannot be read or written is explained the same way everywhere.

#include "base/Error.h"

#include <QString>

namespace tavrin::FileErrors {

// Listing a folder's contents.
Error unreadableFolder(const QString& path, int error);
// Creating a folder (with its parents).
Error uncreatableFolder(const QString& path, int error);

// Creates `path` and its missing parents; an existing folder is fine, anything else throws
// uncreatableFolder.
void createDirectories(const QString& path);

// True for the errors of a destination that has no room left.
bool isNoSpace(int error);

} // namespace tavrin::FileErrors
