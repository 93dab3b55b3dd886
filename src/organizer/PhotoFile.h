#pragma once

// The files of a folder that count as photos.

#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace tavrin::PhotoFile {

// The 17 lower-case extensions of photos, without their dot.
const QSet<QString>& extensions();

// The path's extension, lower-cased, is one of them.
bool isPhoto(QStringView path);

// A RAW sent with its JPEG (DSC_0412.NEF beside DSC_0412.JPG) is one photo, and the JPEG is the
// one shown and sold: the paths without such RAW files, in their order.
QStringList withoutPairedRaws(const QStringList& paths);

} // namespace tavrin::PhotoFile
