#pragma once

// What a run remembers of each photo it copied (or found already copied) into a rider folder:
// enough for the next run to know, without reading a byte, that the photo is still there.

#include <QList>
#include <QMultiHash>
#include <QString>

namespace tavrin {

struct CopiedPhoto {
    // The photo's path at the time.
    QString source;
    // Its size and modification time (nanoseconds since the epoch) at the time.
    qint64 size = 0;
    qint64 modified = 0;
    // The path of its copy in the rider folder.
    QString target;
    // The copy was written by Tavrin (not found there already): ours to move if it ever lands
    // in the wrong rider folder.
    bool made = false;

    bool operator==(const CopiedPhoto&) const = default;
};

// Remembered copies by source path; one photo may have been copied into several folders.
using CopyMemory = QMultiHash<QString, CopiedPhoto>;

} // namespace tavrin
