#pragma once

#include <QString>

class QSplitter;

namespace tavrin::SplitterMemory {

// Gives `splitter` the pane sizes it had when the user last moved it (kept in the user defaults
// under `key`, so they come back at the next start) and remembers every later move.
void remember(QSplitter* splitter, const QString& key);
// Applies the stored sizes again, for a splitter whose panes come and go (the crop editor
// beside the gallery); nothing when none were stored for this number of panes.
void restore(QSplitter* splitter, const QString& key);

} // namespace tavrin::SplitterMemory
