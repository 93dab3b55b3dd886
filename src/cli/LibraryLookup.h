#pragma once

// Days and spreadsheets named on the command line: by identifier (any case), or by exact name
// when only one record has it. Throws the French reason otherwise.

#include "library/LibrarySnapshot.h"

#include <QUuid>

namespace tavrin::cli {

QUuid dayNamed(const LibrarySnapshot& library, const QString& text);
QUuid spreadsheetNamed(const LibrarySnapshot& library, const QString& text);

} // namespace tavrin::cli
