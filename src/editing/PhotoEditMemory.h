#pragma once

// The journal of an edited photo: D/.tavrin-originals/N.edits.json beside the untouched copy. It
// holds the look of the visible file and the previous looks. A missing or damaged journal means
// the default look with no history; it is rewritten at the next save.

#include "editing/PhotoEditJournal.h"

#include <QString>

#include <functional>
#include <optional>

namespace tavrin::PhotoEditMemory {

QString journalPath(const QString& photo);

// Writes the journal atomically, creating the hidden folder; failures are ignored (the look is
// then simply not remembered).
void save(const PhotoEditJournal& journal, const QString& photo);
// None when the journal is missing, unreadable or lacks any key.
std::optional<PhotoEditJournal> read(const QString& photo);
// The journal, or the default look with an empty history.
PhotoEditJournal readOrDefault(const QString& photo);
// Deletes the journal; failures are ignored.
void remove(const QString& photo);

// Makes `settings` the current retouch, keeping the previous look in the history when it
// changes. The journal is saved in every case.
void recordRetouch(const PhotoRetouchSettings& settings, const QString& photo);

// Whoever shows thumbnails registers here to be told when a photo's pixels were rewritten.
void setThumbnailForgetter(std::function<void(const QString& photo)> forget);
void forgetThumbnail(const QString& photo);

} // namespace tavrin::PhotoEditMemory
