#pragma once

// The files of a folder that count as photos.

#include <QSet>
#include <QString>
#include <QStringView>

namespace tavrin::PhotoFile {

// The 17 lower-case extensions of photos, without their dot.
const QSet<QString>& extensions();

// The path's extension, lower-cased, is one of them.
bool isPhoto(QStringView path);

} // namespace tavrin::PhotoFile
