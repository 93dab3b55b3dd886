#pragma once

// The organizer's work on folders: cutting a folder of photos into one group per spreadsheet
// row, copying the groups into rider folders, and preparing empty rider folders.

#include "base/Error.h"
#include "organizer/OrganizerReport.h"
#include "organizer/PhotoCopier.h"
#include "organizer/PhotoGroup.h"

#include <QHash>
#include <QList>
#include <QString>

#include <atomic>
#include <functional>

namespace tavrin::PhotoOrganizer {

// Sorts the usable rows by photo number, lists the folder and gives each row the photos from
// its number up to the next row's, matched with `catalog` by canonical assigned number.
// Throws the folder's error (a French message) when it cannot be listed.
// `photoCount`, when given, receives the number of photos the folder holds.
QList<PhotoGroup> plan(const SpreadsheetRecord& spreadsheet, const QList<ImportedPerson>& catalog,
                       const QString& sourceDirectory, qsizetype* photoCount = nullptr);

// For a folder without photos of its own: says so and, when one of its sub-folders holds
// photos (a card's root over DCIM/100NIKON), names the first such sub-folder.
QString noPhotoMessage(const QString& folder);

// The photos of one row that could not be copied.
struct CopyFailure {
    QUuid rowID;
    QStringList files;
    // The system's error number of the first failure.
    int error = 0;
};

// "Copie impossible (disque plein) : 3.jpg, 4.jpg", as shown beside the row.
QString failureMessage(const CopyFailure& failure);

// A remembered copy of a photo standing in a rider folder other than the one its row names now
// (its row's number or rider was corrected after the copy).
struct MisplacedCopy {
    QUuid rowID;
    // As remembered.
    CopiedPhoto copy;
    // The rider folders it stands in and belongs to.
    QString fromFolder;
    QString toFolder;
    // Written by Tavrin and unchanged since (its photo too): the run moves it. Any other file
    // stays where it is and the report names it.
    bool movable = false;
    // Where it went, once moved.
    std::optional<QString> movedTo;

    bool operator==(const MisplacedCopy&) const = default;
};

// The copies of `source` that `memory` remembers in another rider folder of `destination` than
// `folderName`, still there.
QList<MisplacedCopy> misplacedCopies(const QString& source, const QString& destination, const QString& folderName,
                                     const CopyMemory& memory);
// The same for every photo of the plan, in plan order.
QList<MisplacedCopy> misplacedCopies(const QList<PhotoGroup>& groups, const QString& destination, const CopyMemory& memory);

// « ROUSSEL NATHAN : DSC_0129.JPG n’appartient plus à ce cavalier (laissée dans le dossier) ».
QString leftInPlaceMessage(const MisplacedCopy& misplaced);
// « · 1 photo déplacée depuis ROUSSEL NATHAN », one part per folder the photos came from.
QString movedFromText(const QList<MisplacedCopy>& moved, bool toCome = false);

// How a run is followed and stopped from another thread.
struct RunControl {
    // Before each file: files done so far, files in all, the rider being copied.
    std::function<void(qint64 done, qint64 total, const QString& rider)> progress;
    // Checked between two files.
    const std::atomic_bool* cancelRequested = nullptr;
    // What earlier runs copied: photos remembered there and unchanged are not even read.
    const CopyMemory* memory = nullptr;

    // Filled in by execute: the groups processed to the end, whether the run stopped early, the
    // rows whose copies failed (in run order).
    qsizetype groupsFinished = 0;
    bool cancelled = false;
    QList<CopyFailure> failures;
    // Per row, every photo that now stands in its rider folder, copied or already there.
    QHash<QUuid, QList<CopiedPhoto>> placed;
    // What the copiers read and wrote, all folders together.
    PhotoCopier::Counters counters;
    // Copies met in a wrong rider folder: moved (movedTo set) or left there, in run order.
    QList<MisplacedCopy> misplaced;
};

// The rider's name, or the number followed by " (sans nom dans le programme)".
QString rowLabel(const PhotoGroup& group);

// Copies every group into destination/folderName, never replacing a file and never copying again
// a photo whose bytes already stand at one of its names there, and reports one line per row.
// A copy remembered in another rider folder (the row was corrected since) is moved rather than
// copied again when it is Tavrin's own and unchanged; otherwise it is left and named. Throws when the destination or a rider folder cannot be created (files already
// copied stay). A cancelled run reports what it did and says so in its last line. The
// temporary files of killed copies are removed from each rider folder written to.
OrganizerReport execute(const QList<PhotoGroup>& groups, const QString& destination, RunControl* control = nullptr);

// One empty "NOM PRENOM" folder per person in destination; folders already there (whatever
// their case) are left as they are. Throws when the destination cannot be created.
OrganizerReport createEmptyRiderFolders(const QList<ImportedPerson>& people, const QString& destination);

} // namespace tavrin::PhotoOrganizer
