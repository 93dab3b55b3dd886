#pragma once

// The classes marked as being shot, with the source folder each one's photos go to, as the
// reception needs them.

#include "reception/ReceptionSession.h"

namespace tavrin {

class LibraryStore;
class WorkspaceStore;

namespace ShotClasses {

// One entry per time a spreadsheet was made the class being shot. A spreadsheet without a source
// folder gets an empty folder: its photos stay in the reception folder.
QList<ShotClass> of(const LibraryStore& library, WorkspaceStore& workspace);

} // namespace ShotClasses
} // namespace tavrin
