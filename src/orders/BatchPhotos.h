#pragma once

// Which of the chosen files a batch watermark or retouch takes: the photos, never the videos an
// order may hold beside them. Shared by the orders workspace and the command line.

#include <QStringList>

namespace tavrin::BatchPhotos {

// The photos among `files`, in their order; videos are left out without a word.
QStringList photosOf(const QStringList& files);

} // namespace tavrin::BatchPhotos
