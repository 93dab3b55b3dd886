#pragma once

// The files of a folder that count as videos (orders may hold them beside photos).

#include <QSet>
#include <QString>
#include <QStringView>

namespace tavrin::MediaFile {

// The 10 lower-case extensions of videos, without their dot.
const QSet<QString>& videoExtensions();

// The path's extension, lower-cased, is one of them.
bool isVideo(QStringView path);

} // namespace tavrin::MediaFile
