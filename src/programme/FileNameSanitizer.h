#pragma once

// Turns a rider's name into a folder name that every file system accepts.

#include <QString>
#include <QStringView>

namespace tavrin::FileNameSanitizer {

// The characters / : \ ? % * | " < > become spaces, runs of white space one space, and the
// result is trimmed.
QString sanitize(QStringView text);

} // namespace tavrin::FileNameSanitizer
