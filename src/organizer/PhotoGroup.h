#pragma once

// One row's share of a folder of photos: the files from the row's photo number up to, not
// including, the next row's, and the rider matched with the row's assigned number.

#include "library/LibrarySnapshot.h"
#include "numbers/PhotoNumber.h"
#include "programme/ProgrammeDocument.h"

#include <QStringList>

#include <optional>

namespace tavrin {

struct PhotoGroup {
    RowRecord row;
    // The rider of the programme, none when the row's number matches nobody.
    std::optional<ImportedPerson> person;
    PhotoNumber start;
    // The next row's photo number; none for the last row, which runs to the end of the folder.
    std::optional<PhotoNumber> endExclusive;
    // Absolute paths, in photo-number order.
    QStringList files;

    bool isMatched() const { return person.has_value(); }
    // "DUPONT JEAN", or the number for a rider without names or a row matching nobody.
    QString folderName() const;
    // "0042 → avant 0050", "DSC0120 → fin du dossier".
    QString rangeLabel() const;

    bool operator==(const PhotoGroup&) const = default;
};

} // namespace tavrin
